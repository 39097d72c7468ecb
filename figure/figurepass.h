#pragma once

#include "engine/commandsource.h"
#include "engine/lsstring.h"
#include "engine/ruleset.h"
#include "engine/unittable.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

// Passes shorter than this are walked even when expansion units could stand for them: the
// walk takes a few milliseconds, and draws every segment as it is.
inline constexpr std::uint64_t kMinUnitSymbols = std::uint64_t(1) << 20;

// The commands of the pass a figure shows: its string when that fits the string budget,
// or else the pass itself, expanded anew on every walk (lsPassStream) so that it never
// exists whole. Every walk reads them through an lsCommandSource, whichever they are.
//
// A pass made from rules keeps them, its axiom and its number, so that expansion units
// (lsUnitTable) can stand for its symbols: the table is made once per angle and step, on
// first use, and shared by every build that asks for it (zoom and pan do not make it again).
class FigurePass
{
public:
    FigurePass() = default; // none
    // Commands whose rules are not known: only ever walked.
    explicit FigurePass(lsString string);
    // The pass `passes` of axiom under rules, which must stay unchanged: the string, or
    // streamed when the string is null.
    FigurePass(std::shared_ptr<const lsRuleSet> rules,
               std::string axiom,
               int passes,
               lsString string = {});

    bool isNull() const { return !mRules && mString.isNull(); }
    bool isStreamed() const { return mRules && mString.isNull(); }
    // The exact number of commands.
    std::uint64_t length() const { return mLength; }
    // The string; null for streamed commands.
    const lsString &string() const { return mString; }

    // The pass `passes` of the same axiom under the same rules, streamed (an animation
    // grows through the passes before the one shown); null for commands whose rules are
    // not known.
    FigurePass earlier(int passes) const;

    // A walk from the first command. Throws std::bad_alloc when even a stream's small
    // tables cannot be had.
    std::unique_ptr<lsCommandSource> source() const;

    // The units of this pass turning by `angle` (radians) from a first step `step`, or why
    // it is walked instead (a short pass, rules that units cannot stand for, a table that
    // would cost more than the walk). Safe to call from several threads at once; cancel
    // (may be null) stops the table's making, which is then not kept.
    lsUnitTable::Made
    units(double angle, double step, const std::atomic<bool> *cancel = nullptr) const;

private:
    struct UnitCache;

    lsString mString;
    std::shared_ptr<const lsRuleSet> mRules;
    std::string mAxiom;
    int mPasses = 0;
    std::uint64_t mLength = 0;
    std::shared_ptr<UnitCache> mUnits;
};
