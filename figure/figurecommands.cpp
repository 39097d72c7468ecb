#include "figure/figurecommands.h"

#include "engine/generation.h"
#include "engine/symbolstream.h"

FigureCommands::FigureCommands(lsString string)
    : mString(std::move(string))
    , mLength(mString.size())
{ }

FigureCommands::FigureCommands(std::shared_ptr<const lsRuleSet> rules,
                               std::string axiom,
                               int passes)
    : mRules(std::move(rules))
    , mAxiom(std::move(axiom))
    , mPasses(passes)
    , mLength(lsLengthAfter(*mRules, mAxiom, passes))
{ }

std::unique_ptr<lsCommandSource> FigureCommands::source() const
{
    if (mRules)
        return std::make_unique<lsSymbolStream>(*mRules, mAxiom, mPasses);
    return std::make_unique<lsStringSource>(mString.view());
}
