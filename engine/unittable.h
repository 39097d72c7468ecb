#pragma once

#include "engine/headingset.h"
#include "engine/ruleset.h"
#include "engine/unitrules.h"
#include "engine/widecount.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Expansion units: a letter with k passes still to apply stands for its whole expansion,
// a unit. Turns rotate the heading about fixed world axes, so what a unit does to the turtle
// depends on the heading and the sign of the angle it finds, not on where it starts or on
// the step: entered at position p with step s it draws p + s * g for each point g of a fixed
// set, and leaves the turtle at p + s * exit with the step s * scale. A table of units per
// (letter, passes left, sign, heading) gives a pass's box and counts without walking its
// symbols, and lets a drawing stop at units too small or too far off to show.
//
// Boxes are never rotated, so they stay as tight as the points: a unit's box at step 1 is
// the union of its children's, each scaled by the step at the child and moved to where it
// starts.
struct lsUnit
{
    static constexpr std::uint32_t noOutline = UINT32_MAX;

    double box[6];         // of its points at step 1 and of its entry, the origin (lsBoxIndex)
    double exit[3];        // where it leaves the turtle, at step 1
    double scale;          // the step it leaves, for a step of 1 (its '@' factors)
    std::uint32_t heading; // the heading it leaves (lsHeadingSet)
    bool flips;            // whether it leaves the angle's sign negated ('!')
    // What it draws when each of its children is one segment (lsUnitTable::outline): the
    // first point and their number, noOutline when the table keeps none; and the largest
    // child's reach (its box's diagonal, or a move's length) at step 1.
    std::uint32_t outline;
    std::uint32_t outlineSize;
    double childReach;
};

// A point of a unit's outline, at step 1 from its entry: where a move or a child unit left
// the turtle, or where a ']' put it back (`jump`: no segment leads there).
struct lsUnitPoint
{
    double x, y, z;
    bool jump;
};

// What a table may grow to before it gives up for the walk.
struct lsUnitLimits
{
    std::size_t headings = std::size_t(1) << 16;
    std::size_t units = std::size_t(1) << 20;         // of 104 bytes each, and the index
    std::size_t outlinePoints = std::size_t(1) << 22; // of 32 bytes each
    // Rule characters read to fill the table: when filling it costs more than walking the
    // pass would, the walk is the better way ...
    std::uint64_t work = UINT64_MAX;
    // ... and past a second or so of filling, a table is not worth waiting for.
    std::uint64_t maxWork = std::uint64_t(1) << 26;
};

class lsUnitTable
{
public:
    // A table, or why there is none.
    struct Made
    {
        std::shared_ptr<const lsUnitTable> table;
        std::string refusal; // when there is no table and it was not cancelled
        bool cancelled = false;
    };

    // The table for pass `passes` of axiom under rules (their angle and step), filled with
    // every unit the pass reaches, so that it is read-only from then on and can be shared.
    // cancel (may be null) is polled while it is filled.
    static Made make(const lsRuleSet &rules,
                     std::string_view axiom,
                     int passes,
                     const lsUnitLimits &limits = {},
                     const std::atomic<bool> *cancel = nullptr);

    int passes() const { return mPasses; }
    double step() const { return mStep; }
    const lsUnitRules &rules() const { return mRules; }
    const lsHeadingSet &headings() const { return mHeadings; }

    // The unit of a letter (its number in rules()) with `passes` passes left, entered with
    // the heading and the angle's sign: one the pass reaches.
    const lsUnit &unit(int letter, int passes, bool negated, std::uint32_t heading) const
    {
        return mUnits[find(key(letter, passes, negated, heading))];
    }

    // The whole pass, as a walk of its symbols finds it: the box of its vertices, and its
    // symbols, vertices (the start, one per move, one per ']' that pops) and strips.
    const double *box() const { return mBox; }
    lsWideCount length() const { return mLength; }
    lsWideCount vertices() const { return mVertices; }
    lsWideCount strips() const { return mStrips; }
    std::size_t unitCount() const { return mUnits.size(); }

    // A unit's outline (lsUnit::outline): what it draws when its children are segments.
    std::span<const lsUnitPoint> outline(const lsUnit &u) const
    {
        return { mOutlines.data() + u.outline, u.outlineSize };
    }

private:
    class Filler;

    lsUnitTable(const lsRuleSet &rules, std::string_view axiom, int passes, std::size_t headings);

    static constexpr std::uint32_t notFound = UINT32_MAX;

    std::uint64_t key(int letter, int passes, bool negated, std::uint32_t heading) const
    {
        const auto perHeading = std::uint64_t(mPasses + 1) * std::uint64_t(mRules.letterCount());
        return ((heading * perHeading + std::uint64_t(passes) * mRules.letterCount() + letter) << 1)
               | std::uint64_t(negated);
    }
    static std::size_t slotOf(std::uint64_t key, std::size_t mask)
    {
        return std::size_t((key * 0x9E3779B97F4A7C15ull) >> 32) & mask;
    }
    // The unit of a key, notFound for none.
    std::uint32_t find(std::uint64_t key) const
    {
        if (mKeys.empty())
            return notFound;
        const std::size_t mask = mKeys.size() - 1;
        for (std::size_t i = slotOf(key, mask);; i = (i + 1) & mask) {
            if (mKeys[i] == key + 1)
                return mSlots[i];
            if (mKeys[i] == 0)
                return notFound;
        }
    }
    void insert(std::uint64_t key, std::uint32_t index);

    lsUnitRules mRules;
    lsHeadingSet mHeadings;
    int mPasses;
    double mStep;
    std::vector<lsUnit> mUnits;
    std::vector<lsUnitPoint> mOutlines;
    // Open addressing, key + 1 (0 marks a free slot) -> unit.
    std::vector<std::uint64_t> mKeys;
    std::vector<std::uint32_t> mSlots;
    double mBox[6] = { 0, 0, 0, 0, 0, 0 };
    lsWideCount mLength = 0;
    lsWideCount mVertices = 1;
    lsWideCount mStrips = 1;
};
