#pragma once

// Internal to the engine: how densely a drawing of a flat figure covers the pixels of its
// picture, so that a drawing from expansion units can tell where more segments would change
// no pixel.

#include "engine/interpreter.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace lsDetail {

class PixelCoverage
{
public:
    // Pictures larger than this are not followed: their marks would cost more memory, and
    // finding the solid pixels more time between two looks at a cancellation flag, than the
    // segments they save.
    static constexpr long long maxPixels = 2048LL * 2048LL;
    // How far from a pixel the segments must cross every pixel for it to be solid, and how
    // far around a segment every pixel must be solid for the segment to change none: lines
    // two pixels wide and smoothed reach less than this far from where they run.
    static constexpr int solidReach = 2;

    // A picture at `pixelsPerUnit` device pixels per figure unit.
    PixelCoverage(const lsGeometryReduction::Picture &picture, double pixelsPerUnit);

    // Marks the pixels a segment (figure units) touches: those whose middles lie near it,
    // which a line two pixels wide along it covers mostly or in full.
    void addSegment(double x0, double y0, double x1, double y1);

    // Finds the solid pixels: those around which the segments marked touch every pixel up
    // to solidReach pixels away. Lines two pixels wide drawn that densely cover them in
    // full, and so do rows a pixel apart. False when there are none, or when cancel (may be
    // null) was seen set.
    bool findSolid(const std::atomic<bool> *cancel);
    // Whether every pixel within solidReach pixels of the box (lsBoxIndex, figure units) is
    // solid: whatever is drawn inside the box then changes none of them.
    bool solid(const double *box) const;
    // Calls row(x0, x1, y) for each row of solid pixels from x0 to x1 at height y (figure
    // units): drawn as lines two pixels wide, they cover every solid pixel in full.
    template<typename Row>
    void solidRows(Row &&row) const
    {
        const std::size_t stride = std::size_t(mWidth) + 1;
        for (int y = 0; y < mHeight; ++y) {
            for (int x = 0; x < mWidth;) {
                const auto isSolid = [&](int column) {
                    return mSolidSums[(y + 1) * stride + column + 1]
                                   - mSolidSums[y * stride + column + 1]
                                   - mSolidSums[(y + 1) * stride + column]
                                   + mSolidSums[y * stride + column]
                           != 0;
                };
                if (!isSolid(x)) {
                    ++x;
                    continue;
                }
                const int first = x;
                while (x < mWidth && isSolid(x))
                    ++x;
                row(figureX(first), figureX(x), figureY(y + 0.5));
            }
        }
    }

private:
    double column(double x) const { return mWidth * 0.5 + (x - mCentreX) * mScale; }
    double row(double y) const { return mHeight * 0.5 + (y - mCentreY) * mScale; }
    double figureX(double column) const { return mCentreX + (column - mWidth * 0.5) / mScale; }
    double figureY(double row) const { return mCentreY + (row - mHeight * 0.5) / mScale; }
    // Marks the four pixels whose middles are nearest to a point (pixels).
    void markNear(double x, double y);

    int mWidth;
    int mHeight;
    double mCentreX;
    double mCentreY;
    double mScale;
    std::vector<std::uint8_t> mTouched;    // per pixel
    long mLastBlock = -1;                  // the four pixels marked last
    std::vector<std::uint32_t> mSolidSums; // solid pixels below and left of each corner
};

} // namespace lsDetail
