#pragma once

#include "engine/turtle.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

// The headings a turtle reaches from (0, 1, 0) by turning, numbered 0, 1, 2... as they are
// found. A turn rotates the heading about a fixed world axis, so what a heading turns into
// depends on that heading alone: each turn of each heading is worked out once, with the very
// arithmetic of the walk, and remembered.
//
// A heading is kept as the first vector found for it. A vector that differs from a kept one
// by no more than rounding (a few units in the last place per heading found) is that
// heading; one nearer to a kept one than any two turns can tell apart, yet further than
// rounding, is not told apart safely, and the set fails (an angle within a hair of a whole
// turn, or of a ratio whose turns almost repeat).
class lsHeadingSet
{
public:
    // About z ('+', '-') and about x ('>', '<'), by the angle or its negation ('!' swaps
    // the two).
    enum Turn : unsigned char {
        ZPositive,
        ZNegative,
        XPositive,
        XNegative
    };
    enum class Failure {
        None,
        TooMany,  // more headings than the budget
        TooClose, // two headings too close to tell apart
    };

    static constexpr std::uint32_t none = UINT32_MAX;

    // angle in radians, as the walk turns by it; at most `budget` headings.
    lsHeadingSet(double angle, std::size_t budget);

    // What `heading` turns into; none once the set has failed (failure() says why).
    std::uint32_t turned(std::uint32_t heading, Turn turn);
    // The same for a turn already worked out (none for another): for readers sharing a set
    // that no longer grows.
    std::uint32_t turnedBefore(std::uint32_t heading, Turn turn) const
    {
        return mTurns[heading][turn];
    }
    const slVector &vector(std::uint32_t heading) const { return mVectors[heading]; }
    std::size_t size() const { return mVectors.size(); }
    Failure failure() const { return mFailure; }

private:
    std::uint32_t find(const slVector &v);

    double mCos;
    double mSin;
    std::size_t mBudget;
    std::vector<slVector> mVectors;
    std::vector<std::array<std::uint32_t, 4>> mTurns;        // per heading, none until worked out
    std::unordered_map<std::uint64_t, std::uint32_t> mCells; // grid cell -> last heading in it
    std::vector<std::uint32_t> mInSameCell; // per heading: the one found before it in its cell
    Failure mFailure = Failure::None;
};
