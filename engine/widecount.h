#pragma once

#include <string>

// Counts of a pass that may pass 2^64 (symbols, moves, vertices past pass 7 of many systems):
// 128 bits, saturating at the largest value, which stands for "too many to count".
__extension__ typedef unsigned __int128 lsWideCount;

inline constexpr lsWideCount lsWideCountOverflow = ~lsWideCount(0);

constexpr lsWideCount lsAddSaturating(lsWideCount a, lsWideCount b)
{
    return a > lsWideCountOverflow - b ? lsWideCountOverflow : a + b;
}

constexpr lsWideCount lsMultiplySaturating(lsWideCount a, lsWideCount b)
{
    return a != 0 && b > lsWideCountOverflow / a ? lsWideCountOverflow : a * b;
}

// The decimal digits of n.
std::string lsDecimal(lsWideCount n);
