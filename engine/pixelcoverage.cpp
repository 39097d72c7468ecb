#include "engine/pixelcoverage.h"

#include <algorithm>
#include <cmath>

namespace lsDetail {

namespace {

// Clips the segment from a to a + d (pixels) to [0, width] x [0, height]: the parameters
// t0 <= t1 of what lies inside, false when nothing does.
bool clip(double ax,
          double ay,
          double dx,
          double dy,
          double width,
          double height,
          double &t0,
          double &t1)
{
    t0 = 0.0;
    t1 = 1.0;
    const double p[4] = { -dx, dx, -dy, dy };
    const double q[4] = { ax, width - ax, ay, height - ay };
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
    }
    return t0 <= t1;
}

// Sums of a w x h grid of 0 and 1 below and left of each corner, (w + 1) x (h + 1). False
// (sums unfinished) once cancel (may be null) is seen set: it is looked at every few rows.
template<typename Cell>
bool cornerSums(int w,
                int h,
                Cell &&cell,
                const std::atomic<bool> *cancel,
                std::vector<std::uint32_t> &sums)
{
    const std::size_t stride = std::size_t(w) + 1;
    sums.assign(stride * (std::size_t(h) + 1), 0);
    for (int y = 0; y < h; ++y) {
        if (y % 64 == 0 && cancel && cancel->load(std::memory_order_relaxed))
            return false;
        std::uint32_t rowSum = 0;
        for (int x = 0; x < w; ++x) {
            rowSum += cell(x, y);
            sums[(y + 1) * stride + x + 1] = sums[y * stride + x + 1] + rowSum;
        }
    }
    return true;
}

// The cells set in [x0, x1) x [y0, y1) of a grid summed by cornerSums.
std::uint64_t countIn(const std::vector<std::uint32_t> &sums, int w, int x0, int y0, int x1, int y1)
{
    const std::size_t stride = std::size_t(w) + 1;
    return std::uint64_t(sums[y1 * stride + x1]) - sums[y0 * stride + x1] - sums[y1 * stride + x0]
           + sums[y0 * stride + x0];
}

} // namespace

PixelCoverage::PixelCoverage(const lsGeometryReduction::Picture &picture, double pixelsPerUnit)
    : mWidth(picture.width)
    , mHeight(picture.height)
    , mCentreX(picture.centreX)
    , mCentreY(picture.centreY)
    , mScale(pixelsPerUnit)
    , mTouched(std::size_t(mWidth) * std::size_t(mHeight), 0)
{ }

void PixelCoverage::addSegment(double x0, double y0, double x1, double y1)
{
    const double ax = column(x0), ay = row(y0);
    const double bx = column(x1), by = row(y1);
    const double dx = bx - ax, dy = by - ay;
    // Most segments of a dense drawing are shorter than a pixel: their end is enough, their
    // start being the end of the one before.
    if (std::abs(dx) <= 1.0 && std::abs(dy) <= 1.0) {
        markNear(bx, by);
        return;
    }
    double t0, t1;
    if (!clip(ax + 1.0, ay + 1.0, dx, dy, mWidth + 2.0, mHeight + 2.0, t0, t1))
        return;
    // Steps of at most half a pixel along the longer axis.
    const double span = std::max(std::abs(dx), std::abs(dy)) * (t1 - t0);
    const long steps = std::max(1L, static_cast<long>(std::ceil(span * 2.0)));
    for (long i = 0; i <= steps; ++i) {
        const double t = t0 + (t1 - t0) * double(i) / double(steps);
        markNear(ax + t * dx, ay + t * dy);
    }
}

void PixelCoverage::markNear(double x, double y)
{
    // The pixel whose middle is the nearest below and left of the point, offset by one so
    // that points just outside the picture still mark the pixels inside it.
    const double left = x + 0.5, bottom = y + 0.5;
    if (!(left >= 0.0 && bottom >= 0.0 && left < mWidth + 1.0 && bottom < mHeight + 1.0))
        return;
    const int x1 = int(left), y1 = int(bottom); // the corner's pixel, plus one each way
    const long block = long(y1) * (mWidth + 1) + x1;
    if (block == mLastBlock)
        return; // the run of tiny segments of a dense drawing stays in a block a while
    mLastBlock = block;
    if (x1 >= 1 && y1 >= 1 && x1 < mWidth && y1 < mHeight) {
        std::uint8_t *const below = &mTouched[std::size_t(y1 - 1) * mWidth + x1 - 1];
        below[0] = below[1] = 1;
        below[mWidth] = below[mWidth + 1] = 1;
        return;
    }
    for (int py = std::max(y1 - 1, 0); py <= std::min(y1, mHeight - 1); ++py)
        for (int px = std::max(x1 - 1, 0); px <= std::min(x1, mWidth - 1); ++px)
            mTouched[std::size_t(py) * mWidth + px] = 1;
}

bool PixelCoverage::findSolid(const std::atomic<bool> *cancel)
{
    std::vector<std::uint32_t> touched;
    if (!cornerSums(
                mWidth, mHeight,
                [&](int x, int y) { return mTouched[std::size_t(y) * mWidth + x]; }, cancel,
                touched))
        return false;
    constexpr int reach = solidReach;
    constexpr std::uint64_t around = (2 * reach + 1) * (2 * reach + 1);
    bool any = false;
    const auto solid = [&](int x, int y) {
        const bool is =
                x >= reach && y >= reach && x + reach < mWidth && y + reach < mHeight
                && countIn(touched, mWidth, x - reach, y - reach, x + reach + 1, y + reach + 1)
                           == around;
        any |= is;
        return std::uint32_t(is);
    };
    return cornerSums(mWidth, mHeight, solid, cancel, mSolidSums) && any;
}

bool PixelCoverage::solid(const double *box) const
{
    const double left = std::floor(column(box[lsMinX])) - solidReach;
    const double right = std::floor(column(box[lsMaxX])) + solidReach;
    const double bottom = std::floor(row(box[lsMinY])) - solidReach;
    const double top = std::floor(row(box[lsMaxY])) + solidReach;
    if (!(left >= 0.0 && bottom >= 0.0 && right < mWidth && top < mHeight))
        return false;
    const int x0 = int(left), x1 = int(right) + 1, y0 = int(bottom), y1 = int(top) + 1;
    return countIn(mSolidSums, mWidth, x0, y0, x1, y1) == std::uint64_t(x1 - x0) * (y1 - y0);
}

} // namespace lsDetail
