#include "figure/figurepipeline.h"

#include "figure/figurelimits.h"
#include "figure/figurerules.h"

#include <new>

namespace {

// Reports the passes rewritten and how far each got, at most once per percent.
class Reporter
{
public:
    Reporter(const FigureProgressFn &progress, int passes)
        : mProgress(progress)
        , mPasses(passes)
    { }

    // Reports the start of a pass; the rewriting reports its progress through the function
    // returned.
    lsCommandSource::Progress pass(int pass)
    {
        if (!mProgress)
            return {};
        report({ pass, mPasses, 0.0 });
        return [this, pass](std::uint64_t done, std::uint64_t length) {
            const double fraction = length > 0 ? double(done) / double(length) : 1.0;
            if (fraction >= mLast + 0.01)
                report({ pass, mPasses, fraction });
        };
    }

private:
    void report(const FigureProgress &p)
    {
        mLast = p.fraction;
        mProgress(p);
    }

    const FigureProgressFn &mProgress;
    int mPasses;
    double mLast = 0.0;
};

FigureResult cancelled(const FigureRequest &request)
{
    FigureResult result;
    result.outcome = FigureOutcome::Cancelled;
    result.requested = request.passes;
    return result;
}

// Neither the figure nor any pass below it could be had.
FigureResult nothing(const FigureRequest &request)
{
    FigureResult result;
    result.outcome = FigureOutcome::OutOfMemory;
    result.requested = request.passes;
    result.hasAxiom = request.axiom.has_value();
    result.nothing = true;
    return result;
}

// The memory a reduced build of a figure cannot shed: its stack of saved turtle states.
std::uint64_t drawingBytes(const lsGeometryCount &count)
{
    constexpr std::uint64_t state = sizeof(lsTurtleState);
    return count.depth > UINT64_MAX / state ? UINT64_MAX : count.depth * state;
}

FigureResult generate(const FigureRequest &request,
                      const std::atomic<bool> *cancel,
                      const FigureProgressFn &progress)
{
    if (cancel && cancel->load())
        return cancelled(request);
    FigureResult result;
    result.requested = request.passes;
    result.hasAxiom = request.axiom.has_value();
    // Never changed once made: a stream reads it on every walk, on any thread.
    const std::shared_ptr<const lsRuleSet> rules =
            makeRuleSet(request.letters, request.rules, request.angle);
    result.rules = rules;
    if (!result.hasAxiom) {
        result.commands = FigurePass(lsString(""));
        return result;
    }
    const std::string &axiom = *request.axiom;
    Reporter reporter(progress, request.passes);
    const auto stopAt = [&](FigureOutcome outcome, std::uint64_t refused, std::uint64_t budget) {
        result.outcome = outcome;
        result.refusedBytes = refused;
        result.budgetBytes = budget;
    };
    // Whether a pass is too deep to draw; then it is what the figure steps back from.
    const auto tooDeep = [&](const lsGeometryCount &count) {
        if (drawingBytes(count) <= request.geometryBudget)
            return false;
        stopAt(FigureOutcome::GeometryBudget, drawingBytes(count), request.geometryBudget);
        return true;
    };
    int passes = request.passes;
    if (passes > kMaxIterations) {
        // Past the window's passes (sprig-render only), a pass that expansion units draw is
        // shown whatever its length: what it costs follows the picture.
        FigurePass pass(rules, axiom, passes);
        const lsUnitTable::Made units = pass.units(rules->angle, rules->step, cancel);
        if (units.cancelled)
            return cancelled(request);
        if (units.table) {
            const auto narrow = [](lsWideCount n) {
                return n > UINT64_MAX ? UINT64_MAX : std::uint64_t(n);
            };
            result.pass = passes;
            result.count = lsCountGeometryAfter(*rules, axiom, passes)
                                   .value_or(lsGeometryCount{ narrow(units.table->vertices()),
                                                              narrow(units.table->strips()), 0 });
            result.length = pass.length();
            result.commands = std::move(pass);
            return result;
        }
    }
    for (;;) {
        // Sized exactly before anything is made, from per-letter numbers.
        const std::uint64_t length = lsLengthAfter(*rules, axiom, passes);
        std::optional<lsGeometryCount> count = lsCountGeometryAfter(*rules, axiom, passes);
        if ((length > request.lengthLimit || !count) && passes > 0) {
            stopAt(FigureOutcome::LengthLimit, length, request.lengthLimit);
            --passes;
            continue;
        }
        if (passes > 0 && tooDeep(*count)) {
            --passes;
            continue;
        }
        result.pass = passes;
        // A pass that units draw needs no string: its table is made here, once, for the
        // builds that follow.
        FigurePass streamed(rules, axiom, passes);
        bool byUnits = false;
        if (length >= kMinUnitSymbols) {
            const lsUnitTable::Made units = streamed.units(rules->angle, rules->step, cancel);
            if (units.cancelled)
                return cancelled(request);
            byUnits = units.table != nullptr;
        }
        if (length > request.stringBudget || byUnits) {
            result.commands = std::move(streamed);
        } else {
            lsGeneration generation = lsGenerate(*rules, axiom, passes, request.stringBudget,
                                                 cancel, reporter.pass(passes));
            if (generation.cancelled)
                return cancelled(request);
            if (generation.string.isNull())
                return nothing(request); // not even the axiom's memory
            if (generation.iterations < passes) {
                // The longest generation below whose memory could be had: memory, not a
                // limit met further up, is why the pass after it is not shown.
                stopAt(FigureOutcome::OutOfMemory, 0, 0);
                result.pass = generation.iterations;
                count = lsCountGeometryAfter(*rules, axiom, result.pass);
                if (result.pass > 0 && tooDeep(*count)) {
                    passes = result.pass - 1;
                    continue;
                }
            }
            result.commands = FigurePass(rules, axiom, result.pass, std::move(generation.string));
        }
        result.count = *count; // none only for passes of more than 2^62 symbols
        result.length = result.commands.length();
        return result;
    }
}

} // namespace

FigureResult buildFigure(const FigureRequest &request,
                         const std::atomic<bool> *cancel,
                         const FigureProgressFn &progress)
{
    try {
        return generate(request, cancel, progress);
    } catch (const std::bad_alloc &) {
        // The small things around the figure (rules, tables) could not be had.
        return nothing(request);
    }
}
