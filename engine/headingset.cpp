#include "engine/headingset.h"

#include <algorithm>
#include <cmath>

namespace {

// Headings closer than this (in each component, for vectors of length 1) are not told apart
// safely: one turn by a thousandth of a degree still moves a heading 17 times as far. The grid
// that finds neighbours has cells at least this wide, so a vector's neighbours lie in the
// 27 cells around its own.
constexpr double apart = 1e-6;
constexpr double cellsPerUnit = 524288.0; // 2^19: cells of 1.9e-6

// How far apart two vectors for one heading may be: each heading is one turn of another,
// a few roundings away from exact, so the error grows with the chain that found it.
double sameWithin(std::size_t headings)
{
    return 1e-15 * double(std::max<std::size_t>(headings, 16));
}

std::int64_t cellOf(double component)
{
    return static_cast<std::int64_t>(std::floor(component * cellsPerUnit));
}

// 21 bits per component: headings stay within a hair of length 1.
std::uint64_t cellKey(std::int64_t x, std::int64_t y, std::int64_t z)
{
    constexpr std::int64_t offset = std::int64_t(1) << 20;
    constexpr std::uint64_t mask = (std::uint64_t(1) << 21) - 1;
    return (std::uint64_t(x + offset) & mask) << 42 | (std::uint64_t(y + offset) & mask) << 21
           | (std::uint64_t(z + offset) & mask);
}

double distance(const slVector &a, const slVector &b)
{
    return std::max({ std::abs(a.x - b.x), std::abs(a.y - b.y), std::abs(a.z - b.z) });
}

} // namespace

lsHeadingSet::lsHeadingSet(double angle, std::size_t budget)
    : mCos(std::cos(angle))
    , mSin(std::sin(angle))
    , mBudget(budget)
{
    // A turn that moves a heading by more than rounding but less than `apart` would pass
    // for no turn at all, however often it is taken.
    const double moves = std::hypot(1.0 - mCos, mSin);
    if (moves > 4.0 * 2.220446049250313e-16 && moves < apart)
        mFailure = Failure::TooClose;
    else
        find({ 0.0, 1.0, 0.0 });
}

std::uint32_t lsHeadingSet::turned(std::uint32_t heading, Turn turn)
{
    if (mFailure != Failure::None)
        return none;
    std::uint32_t &known = mTurns[heading][turn];
    if (known != none)
        return known;
    // As the walk turns (walkInline), the sine negated for a negative turn.
    const slVector h = mVectors[heading];
    const double t = turn == ZPositive || turn == XPositive ? mSin : -mSin;
    slVector v = h;
    if (turn == ZPositive || turn == ZNegative) {
        v.x = mCos * h.x + t * h.y;
        v.y = -t * h.x + mCos * h.y;
    } else {
        v.y = mCos * h.y - t * h.z;
        v.z = t * h.y + mCos * h.z;
    }
    const std::uint32_t found = find(v);
    if (found != none)
        mTurns[heading][turn] = found; // mTurns may have grown: not `known`
    return found;
}

std::uint32_t lsHeadingSet::find(const slVector &v)
{
    const std::int64_t x = cellOf(v.x), y = cellOf(v.y), z = cellOf(v.z);
    double nearest = apart;
    std::uint32_t nearestHeading = none;
    for (std::int64_t dx = -1; dx <= 1; ++dx) {
        for (std::int64_t dy = -1; dy <= 1; ++dy) {
            for (std::int64_t dz = -1; dz <= 1; ++dz) {
                const auto cell = mCells.find(cellKey(x + dx, y + dy, z + dz));
                if (cell == mCells.end())
                    continue;
                for (std::uint32_t h = cell->second; h != none; h = mInSameCell[h]) {
                    const double d = distance(v, mVectors[h]);
                    if (d < nearest) {
                        nearest = d;
                        nearestHeading = h;
                    }
                }
            }
        }
    }
    if (nearestHeading != none) {
        if (nearest <= sameWithin(mVectors.size()))
            return nearestHeading;
        mFailure = Failure::TooClose;
        return none;
    }
    if (mVectors.size() >= mBudget) {
        mFailure = Failure::TooMany;
        return none;
    }
    const auto id = static_cast<std::uint32_t>(mVectors.size());
    mVectors.push_back(v);
    mTurns.push_back({ none, none, none, none });
    auto [cell, added] = mCells.try_emplace(cellKey(x, y, z), id);
    mInSameCell.push_back(added ? none : cell->second);
    cell->second = id;
    return id;
}
