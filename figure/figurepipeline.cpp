#include "figure/figurepipeline.h"

#include "figure/figurelimits.h"
#include "figure/figurerules.h"

#include <cctype>
#include <cmath>
#include <cstdio>
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

std::string dataSize(std::uint64_t bytes)
{
    const char *units[] = { "bytes", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB" };
    double value = double(bytes);
    int unit = 0;
    while (value >= 1024.0 && unit < 6) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    if (unit == 0)
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    else
        std::snprintf(text, sizeof text,
                      value < 10.0 && value != std::floor(value) ? "%.1f %s" : "%.0f %s", value,
                      units[unit]);
    return text;
}

// 1234567 as "1,234,567".
std::string grouped(std::uint64_t n)
{
    const std::string digits = std::to_string(n);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            text += ',';
        text += digits[i];
    }
    return text;
}

FigureResult cancelled(const FigureRequest &request)
{
    FigureResult result;
    result.outcome = FigureOutcome::Cancelled;
    result.requested = request.passes;
    return result;
}

// The memory a reduced build of a figure cannot shed: its stack of saved turtle states.
std::uint64_t drawingBytes(const lsGeometryCount &count)
{
    return count.depth * sizeof(lsTurtleState);
}

FigureResult generate(const FigureRequest &request,
                      const std::atomic<bool> *cancel,
                      const FigureProgressFn &progress)
{
    FigureResult result;
    result.requested = request.passes;
    result.hasAxiom = request.axiom.has_value();
    std::shared_ptr<lsRuleSet> rules = makeRuleSet(request.letters, request.rules, request.angle);
    result.rules = rules;
    if (!result.hasAxiom) {
        result.commands = FigurePass(lsString(""));
        return result;
    }
    const std::string &axiom = *request.axiom;
    // The pass keeps rules of its own: a stream reads them on every walk, and expansion
    // units on every table, long after the caller has the result's to change (its angle).
    const std::shared_ptr<const lsRuleSet> kept =
            makeRuleSet(request.letters, request.rules, request.angle);
    Reporter reporter(progress, request.passes);
    // Whether a pass is too deep to draw; then it is what the figure steps back from.
    const auto tooDeep = [&](const lsGeometryCount &count) {
        if (drawingBytes(count) <= request.geometryBudget)
            return false;
        result.outcome = FigureOutcome::GeometryBudget;
        result.refusedBytes = drawingBytes(count);
        result.budgetBytes = request.geometryBudget;
        return true;
    };
    int passes = request.passes;
    if (passes > kMaxIterations) {
        // Past the window's passes (sprig-render only), a pass that expansion units draw is
        // shown whatever its length: what it costs follows the picture.
        FigurePass pass(kept, axiom, passes);
        const lsUnitTable::Made units = pass.units(kept->angle, kept->step, cancel);
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
            result.outcome = FigureOutcome::LengthLimit;
            result.refusedBytes = length;
            result.budgetBytes = request.lengthLimit;
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
        FigurePass streamed(kept, axiom, passes);
        bool byUnits = false;
        if (length >= kMinUnitSymbols) {
            const lsUnitTable::Made units = streamed.units(kept->angle, kept->step, cancel);
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
            if (generation.string.isNull()) {
                // Not even the axiom's memory could be had.
                result.outcome = FigureOutcome::OutOfMemory;
                result.nothing = true;
                return result;
            }
            if (generation.iterations < passes) {
                // Out of memory: the longest generation below whose memory could be had. A
                // stop further up stays the reason for passes below it.
                if (passes == request.passes)
                    result.outcome = FigureOutcome::OutOfMemory;
                result.pass = generation.iterations;
                count = lsCountGeometryAfter(*rules, axiom, result.pass);
                if (result.pass > 0 && tooDeep(*count)) {
                    passes = result.pass - 1;
                    continue;
                }
            }
            result.commands = FigurePass(kept, axiom, result.pass, std::move(generation.string));
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
        FigureResult result;
        result.outcome = FigureOutcome::OutOfMemory;
        result.requested = request.passes;
        return result;
    }
}

namespace {

// Why the pass after the one shown is not shown; "" for a complete figure.
std::string reason(const FigureResult &result)
{
    const std::string next = "pass " + std::to_string(result.pass + 1);
    switch (result.outcome) {
    case FigureOutcome::Complete:
        return {};
    case FigureOutcome::LengthLimit:
        return next + " would have "
               + (result.refusedBytes == lsLengthOverflow
                          ? "too many symbols to count"
                          : grouped(result.refusedBytes) + " symbols")
               + ", more than the " + grouped(result.budgetBytes) + " a figure may have";
    case FigureOutcome::GeometryBudget:
        return next + " would need " + dataSize(result.refusedBytes) + " to draw, more than the "
               + dataSize(result.budgetBytes) + " limit";
    case FigureOutcome::OutOfMemory:
        return "there was not enough memory for " + next;
    case FigureOutcome::Cancelled:
        return "stopped: the figure shown before stays";
    }
    return {};
}

std::string passOf(const FigureResult &result)
{
    return "pass " + std::to_string(result.pass) + " of " + std::to_string(result.requested);
}

} // namespace

std::string describeOutcome(const FigureResult &result, const std::string &name)
{
    std::string why;
    if (result.outcome == FigureOutcome::Complete)
        return {};
    if (result.outcome == FigureOutcome::Cancelled)
        why = reason(result);
    else if (result.nothing)
        why = "there was not enough memory for the figure";
    else
        why = "showing " + passOf(result) + ": " + reason(result);
    return name.empty() ? why : name + ": " + why;
}

std::string describeFigure(const FigureResult &result, double seconds)
{
    const std::uint64_t segments = result.count.vertices - result.count.strips;
    char time[32];
    std::snprintf(time, sizeof time, "%.2f s", seconds);
    std::string text = passOf(result) + ": " + grouped(result.length) + " symbols, "
                       + grouped(segments) + " segments, " + time;
    text[0] = 'P';
    std::string why = reason(result);
    if (!why.empty()) {
        why[0] = char(std::toupper(static_cast<unsigned char>(why[0])));
        text += ". " + why + ".";
    }
    return text;
}

std::string describeProgress(const FigureProgress &progress)
{
    return "Generating pass " + std::to_string(progress.pass) + " of "
           + std::to_string(progress.passes);
}
