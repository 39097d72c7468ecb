#include "figure/figurepass.h"

#include "engine/generation.h"
#include "engine/passstream.h"

#include <mutex>

// The table made last, or why there is none, for one angle and step.
struct FigurePass::UnitCache
{
    std::mutex lock;
    bool made = false;
    double angle = 0.0;
    double step = 0.0;
    lsUnitTable::Made units;
};

FigurePass::FigurePass(lsString string)
    : mString(std::move(string))
    , mLength(mString.size())
{ }

FigurePass::FigurePass(std::shared_ptr<const lsRuleSet> rules,
                       std::string axiom,
                       int passes,
                       lsString string)
    : mString(std::move(string))
    , mRules(std::move(rules))
    , mAxiom(std::move(axiom))
    , mPasses(passes)
    , mLength(mString.isNull() ? lsLengthAfter(*mRules, mAxiom, passes) : mString.size())
    , mUnits(std::make_shared<UnitCache>())
{ }

FigurePass FigurePass::earlier(int passes) const
{
    return mRules ? FigurePass(mRules, mAxiom, passes) : FigurePass();
}

std::unique_ptr<lsCommandSource> FigurePass::source() const
{
    if (isStreamed())
        return std::make_unique<lsPassStream>(*mRules, mAxiom, mPasses);
    return std::make_unique<lsStringSource>(mString.view());
}

lsUnitTable::Made
FigurePass::units(double angle, double step, const std::atomic<bool> *cancel) const
{
    lsUnitTable::Made made;
    if (!mRules) {
        made.refusal = "its rules are not known";
        return made;
    }
    if (mLength < kMinUnitSymbols) {
        made.refusal = "walking a pass this short is quicker";
        return made;
    }
    {
        std::lock_guard lock(mUnits->lock);
        if (mUnits->made && mUnits->angle == angle && mUnits->step == step)
            return mUnits->units;
    }
    // Made outside the lock, so that a build that waits can still be cancelled; two builds
    // at once may both make it, and the later keeps its own.
    lsRuleSet rules;
    for (std::size_t c = 0; c < rules.rules.size(); ++c) {
        if (mRules->rules[c])
            rules.rules[c] = std::make_unique<lsRule>(*mRules->rules[c]);
    }
    rules.angle = angle;
    rules.step = step;
    lsUnitLimits limits;
    // A table filled at about 15 ns per character read costs more than walking the pass
    // at about 2 ns per symbol once it reads an eighth as many.
    limits.work = mLength / 8;
    made = lsUnitTable::make(rules, mAxiom, mPasses, limits, cancel);
    if (!made.cancelled) {
        std::lock_guard lock(mUnits->lock);
        mUnits->made = true;
        mUnits->angle = angle;
        mUnits->step = step;
        mUnits->units = made;
    }
    return made;
}
