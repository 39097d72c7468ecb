#include "figure/figurepass.h"

#include "engine/generation.h"
#include "engine/passstream.h"

FigurePass::FigurePass(lsString string)
    : mString(std::move(string))
    , mLength(mString.size())
{ }

FigurePass::FigurePass(std::shared_ptr<const lsRuleSet> rules, std::string axiom, int passes)
    : mRules(std::move(rules))
    , mAxiom(std::move(axiom))
    , mPasses(passes)
    , mLength(lsLengthAfter(*mRules, mAxiom, passes))
{ }

std::unique_ptr<lsCommandSource> FigurePass::source() const
{
    if (mRules)
        return std::make_unique<lsPassStream>(*mRules, mAxiom, mPasses);
    return std::make_unique<lsStringSource>(mString.view());
}
