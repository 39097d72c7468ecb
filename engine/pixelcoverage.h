#pragma once

// Internal to the engine: how densely a drawing covers the pixels of a picture that does not
// turn, so that a drawing from expansion units can tell where more segments would change no
// pixel.

#include "engine/interpreter.h"

#include <array>
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
    // How many times the segments must pass near a pixel, at separate places, for it to
    // count as touched: the pixels a fine mesh passes near once or twice are often left
    // partly covered, and rows drawn over them would fill its holes.
    static constexpr std::uint8_t touches = 3;

    // The picture of a drawing whose points lie in `box` (lsBoxIndex).
    PixelCoverage(const lsGeometryReduction::Picture &picture, const double *box);

    // Marks the pixels a segment (figure points) from the last point given to here touches:
    // those whose middles lie near it, which a line two pixels wide along it covers mostly or
    // in full. Marks nothing of a segment that reaches behind the eye.
    void lineTo(const std::array<double, 3> &point);
    // The start of the next segment, not marking anything.
    void moveTo(const std::array<double, 3> &point);

    // Finds the solid pixels: those around which the segments marked touch every pixel up
    // to solidReach pixels away, `touches` times each. Lines two pixels wide drawn that
    // densely cover them in full, and so do rows a pixel apart. False when there are none,
    // or when cancel (may be null) was seen set.
    bool findSolid(const std::atomic<bool> *cancel);
    // Whether every pixel within solidReach pixels of the box (lsBoxIndex, figure units) is
    // solid: whatever is drawn inside the box then changes none of them.
    bool solid(const double *box) const;
    // Calls row(from, to) with the figure points (x, y, z) at the ends of each row of solid
    // pixels: drawn as lines two pixels wide, they cover every solid pixel in full.
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
                row(figurePoint(first, y + 0.5), figurePoint(x, y + 0.5));
            }
        }
    }

private:
    // The pixel a figure point lies on (column, row); false when it is at or behind the eye.
    bool project(const std::array<double, 3> &point, double &column, double &row) const;
    // The figure point on the plane of rows that lies on a pixel (column, row).
    std::array<double, 3> figurePoint(double column, double row) const;
    // The pixels a box (lsBoxIndex) may reach; false when it may reach behind the eye.
    bool
    pixelsOf(const double *box, double &left, double &right, double &bottom, double &top) const;
    // Marks the four pixels whose middles are nearest to a point (pixels).
    void markNear(double x, double y);

    int mWidth;
    int mHeight;
    std::array<double, 12> mToPixels;   // the picture's
    std::array<double, 12> mProject;    // the same for the drawing's points
    bool mAffine = false;               // no z and no w: x and y go to pixels as they are
    std::array<double, 9> mFromPlane{}; // the inverse of toPixels' linear part
    bool mRowsPlaced = false;           // whether it has one, and so rows a place
    double mRowDepth;
    double mPenColumn = 0.0, mPenRow = 0.0; // the pixel of the last point given
    bool mPenShown = false;                 // that point is in front of the eye
    std::vector<std::uint8_t> mTouched;     // per pixel, up to `touches`
    long mLastBlock = -1;                   // the four pixels marked last
    std::vector<std::uint32_t> mSolidSums;  // solid pixels below and left of each corner
};

inline bool
PixelCoverage::project(const std::array<double, 3> &point, double &column, double &row) const
{
    const std::array<double, 12> &m = mProject;
    const double x = point[0], y = point[1], z = point[2];
    if (mAffine) {
        column = m[0] * x + m[1] * y + m[3];
        row = m[4] * x + m[5] * y + m[7];
        return true;
    }
    const double w = m[8] * x + m[9] * y + m[10] * z + m[11];
    if (!(w > 0.0))
        return false;
    const double reciprocal = 1.0 / w;
    column = (m[0] * x + m[1] * y + m[2] * z + m[3]) * reciprocal;
    row = (m[4] * x + m[5] * y + m[6] * z + m[7]) * reciprocal;
    return true;
}

} // namespace lsDetail
