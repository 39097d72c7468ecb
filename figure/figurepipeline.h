#pragma once

#include "engine/generation.h"
#include "engine/interpreter.h"
#include "engine/lsstring.h"
#include "engine/ruleset.h"
#include "figure/figurepass.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The most symbols a pass may have to be drawn: a streamed walk over them takes a few
// minutes.
inline constexpr std::uint64_t kMaxFigureSymbols = std::uint64_t(1) << 36;

// Everything one figure is made from, copied when it is asked for, so that later edits
// cannot reach the work under way.
struct FigureRequest
{
    std::optional<std::string> axiom; // none: the figure is empty (the background only)
    std::vector<std::string> letters; // the first byte of each is the rule's letter
    std::vector<std::string> rules;
    double angle = 0.0; // degrees
    int passes = 4;
    std::uint64_t stringBudget = kMaxStringBytes; // longer passes are streamed
    std::uint64_t lengthLimit = kMaxFigureSymbols;
    std::uint64_t geometryBudget = kMaxGeometryBytes;
};

// Why the figure shows the pass it shows, or why it shows none.
enum class FigureOutcome {
    Complete,       // every pass asked for
    LengthLimit,    // the next pass has more symbols than the length limit
    GeometryBudget, // drawing the next pass would need more than the geometry budget
    OutOfMemory,    // the memory for the next pass could not be had (with `nothing`: for any)
    Cancelled,      // nothing new: the work was cancelled
};

// How far the rewriting got.
struct FigureProgress
{
    int pass = 0;          // the pass being made
    int passes = 0;        // the passes asked for
    double fraction = 0.0; // of that pass's string
};

using FigureProgressFn = std::function<void(const FigureProgress &)>;

struct FigureResult
{
    FigureOutcome outcome = FigureOutcome::Complete;
    int requested = 0; // passes asked for
    int pass = 0;      // passes shown
    // When a limit stopped it: what the pass after the one shown would have needed (bytes,
    // or symbols for the length limit), and the limit.
    std::uint64_t refusedBytes = 0;
    std::uint64_t budgetBytes = 0;
    bool hasAxiom = false;
    std::shared_ptr<const lsRuleSet> rules; // with the request's angle
    // The pass shown; null when cancelled, and when not even the axiom's or the rules' memory
    // could be had (then `nothing` is set). A caller may move it on (to the view that draws
    // it): length keeps its size.
    FigurePass commands;
    bool nothing = false; // there is no pass to show: outcome is OutOfMemory
    std::uint64_t length = 0;
    lsGeometryCount count; // of the commands, before any reduction: known exactly
};

// Rewrites and sizes one figure: the pass shown is the last one asked for whose drawing
// fits the geometry budget and whose memory can be had. A pass whose string would pass the
// string budget is streamed instead of rewritten. The geometry itself is built for the
// picture by whoever draws it, reduced to what the picture can show, so the budget bounds
// only what no reduction sheds: the stack of saved turtle states, known exactly from the
// rules before anything is made. A streamed pass is thus handed on at once; rewriting polls
// cancel (may be null) about every millisecond, and a cancelled request gives outcome
// Cancelled and nothing else. progress (may be empty) hears how far rewriting got, called
// on this thread.
FigureResult buildFigure(const FigureRequest &request,
                         const std::atomic<bool> *cancel = nullptr,
                         const FigureProgressFn &progress = {});
