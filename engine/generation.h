#pragma once

#include "engine/commandsource.h"
#include "engine/interpreter.h"
#include "engine/lsstring.h"
#include "engine/ruleset.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>

// The result of rewriting an axiom several times.
struct lsGeneration
{
    lsString string;    // the last string that fitted the budget
    int iterations = 0; // passes actually done
    // True when the next pass would have been longer than the byte budget, so the
    // generation stopped early at `iterations` passes.
    bool stoppedAtBudget = false;
    // True when the memory for the requested passes could not be had: `string` then holds
    // the longest generation below them whose memory could be had.
    bool outOfMemory = false;
    // True when the generation was cancelled: `string` is then null and `iterations` 0.
    bool cancelled = false;
};

// Default ceiling on one generated string, in bytes.
inline constexpr std::uint64_t kMaxStringBytes = std::uint64_t(1) << 30;

// The exact length of the string after `iterations` passes, saturating at lsLengthOverflow.
// Computed from per-letter counts without building any string.
std::uint64_t lsLengthAfter(const lsRuleSet &ruleSet, std::string_view axiom, int iterations);

// What lsCountGeometry gives for the string after `iterations` passes, computed from
// per-letter counts without building or walking any string: a pass of billions of symbols
// is sized at once. None for a pass of more than 2^62 symbols.
std::optional<lsGeometryCount>
lsCountGeometryAfter(const lsRuleSet &ruleSet, std::string_view axiom, int iterations);

// Rewrites axiom `iterations` times (fewer when a pass would exceed byteBudget: it stops
// before the first pass longer than the budget). Gives the same bytes as calling
// lsIterateString pass by pass, but writes only the final string, copying whole expanded
// letters, so it needs no memory beyond that string and a small table. As a command source
// does, it polls cancel (may be null) about every megabyte written and tells progress (may
// be empty) how far it got; once cancel is seen set it returns with `cancelled` set.
lsGeneration lsGenerate(const lsRuleSet &ruleSet,
                        std::string_view axiom,
                        int iterations,
                        std::uint64_t byteBudget = kMaxStringBytes,
                        const std::atomic<bool> *cancel = nullptr,
                        const lsCommandSource::Progress &progress = {});
