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

PixelCoverage::PixelCoverage(const lsGeometryReduction::Picture &picture, const double *box)
    : mWidth(picture.width)
    , mHeight(picture.height)
    , mToPixels(picture.toPixels)
    , mProject(picture.toPixels)
    , mRowDepth(picture.rowDepth)
    , mTouched(std::size_t(mWidth) * std::size_t(mHeight), 0)
{
    const std::array<double, 12> &m = mToPixels;
    const double det = m[0] * (m[5] * m[10] - m[6] * m[9]) - m[1] * (m[4] * m[10] - m[6] * m[8])
                       + m[2] * (m[4] * m[9] - m[5] * m[8]);
    mRowsPlaced = det != 0.0 && std::isfinite(det);
    if (mRowsPlaced)
        mFromPlane = { (m[5] * m[10] - m[6] * m[9]) / det, (m[2] * m[9] - m[1] * m[10]) / det,
                       (m[1] * m[6] - m[2] * m[5]) / det,  (m[6] * m[8] - m[4] * m[10]) / det,
                       (m[0] * m[10] - m[2] * m[8]) / det, (m[2] * m[4] - m[0] * m[6]) / det,
                       (m[4] * m[9] - m[5] * m[8]) / det,  (m[1] * m[8] - m[0] * m[9]) / det,
                       (m[0] * m[5] - m[1] * m[4]) / det };
    // A flat drawing's points share one z: with it in the offsets, a picture seen straight
    // on has one w, and its points go to pixels without a division.
    std::array<double, 12> &p = mProject;
    if (box[lsMinZ] == box[lsMaxZ]) {
        for (int r = 0; r < 12; r += 4) {
            p[r + 3] += p[r + 2] * box[lsMinZ];
            p[r + 2] = 0.0;
        }
    }
    mAffine =
            p[2] == 0.0 && p[6] == 0.0 && p[8] == 0.0 && p[9] == 0.0 && p[10] == 0.0 && p[11] > 0.0;
    if (mAffine) {
        for (int i = 0; i < 8; ++i)
            p[i] /= p[11];
        p[11] = 1.0;
    }
}

std::array<double, 3> PixelCoverage::figurePoint(double column, double row) const
{
    const std::array<double, 12> &m = mToPixels;
    const double w = mRowDepth;
    const double r[3] = { column * w - m[3], row * w - m[7], w - m[11] };
    const std::array<double, 9> &f = mFromPlane;
    return { f[0] * r[0] + f[1] * r[1] + f[2] * r[2], f[3] * r[0] + f[4] * r[1] + f[5] * r[2],
             f[6] * r[0] + f[7] * r[1] + f[8] * r[2] };
}

bool PixelCoverage::pixelsOf(const double *box,
                             double &left,
                             double &right,
                             double &bottom,
                             double &top) const
{
    const double mid[3] = { (box[lsMinX] + box[lsMaxX]) * 0.5, (box[lsMinY] + box[lsMaxY]) * 0.5,
                            (box[lsMinZ] + box[lsMaxZ]) * 0.5 };
    const double half[3] = { (box[lsMaxX] - box[lsMinX]) * 0.5, (box[lsMaxY] - box[lsMinY]) * 0.5,
                             (box[lsMaxZ] - box[lsMinZ]) * 0.5 };
    // The range of one row of toPixels over the box.
    const auto range = [&](const double *r, double &low, double &high) {
        const double at = r[0] * mid[0] + r[1] * mid[1] + r[2] * mid[2] + r[3];
        const double reach =
                std::abs(r[0]) * half[0] + std::abs(r[1]) * half[1] + std::abs(r[2]) * half[2];
        low = at - reach;
        high = at + reach;
    };
    double near, far, x0, x1, y0, y1;
    range(&mProject[0], x0, x1);
    range(&mProject[4], y0, y1);
    if (mAffine) {
        left = x0;
        right = x1;
        bottom = y0;
        top = y1;
        return true;
    }
    range(&mProject[8], near, far);
    if (!(near > 0.0))
        return false;
    // A quotient over positive divisors is least and most at the ends of both ranges.
    left = std::min(x0 / near, x0 / far);
    right = std::max(x1 / near, x1 / far);
    bottom = std::min(y0 / near, y0 / far);
    top = std::max(y1 / near, y1 / far);
    return true;
}

void PixelCoverage::moveTo(const std::array<double, 3> &point)
{
    mPenShown = project(point, mPenColumn, mPenRow);
}

void PixelCoverage::lineTo(const std::array<double, 3> &point)
{
    const double ax = mPenColumn, ay = mPenRow;
    const bool fromShown = mPenShown;
    moveTo(point);
    if (!fromShown || !mPenShown)
        return;
    const double bx = mPenColumn, by = mPenRow;
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
        below[0] += below[0] < touches;
        below[1] += below[1] < touches;
        below[mWidth] += below[mWidth] < touches;
        below[mWidth + 1] += below[mWidth + 1] < touches;
        return;
    }
    for (int py = std::max(y1 - 1, 0); py <= std::min(y1, mHeight - 1); ++py) {
        for (int px = std::max(x1 - 1, 0); px <= std::min(x1, mWidth - 1); ++px) {
            std::uint8_t &marks = mTouched[std::size_t(py) * mWidth + px];
            marks += marks < touches;
        }
    }
}

bool PixelCoverage::findSolid(const std::atomic<bool> *cancel)
{
    if (!mRowsPlaced)
        return false;
    std::vector<std::uint32_t> touched;
    if (!cornerSums(
                mWidth, mHeight,
                [&](int x, int y) { return mTouched[std::size_t(y) * mWidth + x] >= touches; },
                cancel, touched))
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
    double left, right, bottom, top;
    if (!pixelsOf(box, left, right, bottom, top))
        return false;
    left = std::floor(left) - solidReach;
    right = std::floor(right) + solidReach;
    bottom = std::floor(bottom) - solidReach;
    top = std::floor(top) + solidReach;
    if (!(left >= 0.0 && bottom >= 0.0 && right < mWidth && top < mHeight))
        return false;
    const int x0 = int(left), x1 = int(right) + 1, y0 = int(bottom), y1 = int(top) + 1;
    return countIn(mSolidSums, mWidth, x0, y0, x1, y1) == std::uint64_t(x1 - x0) * (y1 - y0);
}

} // namespace lsDetail
