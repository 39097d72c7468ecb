#include "engine/unitdrawing.h"

#include "engine/pipedwalk.h"
#include "engine/pixelcoverage.h"
#include "engine/reduction.h"
#include "engine/unitwalk.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <optional>
#include <vector>

namespace {

using lsDetail::PipeSink;
using lsDetail::PixelCoverage;
using lsDetail::UnitTurtle;

// How many units may be looked at between two looks at the cancellation flag: a few
// hundred microseconds.
constexpr unsigned pollUnits = 4096;

// Past this many vertices per pixel of the picture, a drawing is dense enough that drawing
// its solid pixels as rows instead is worth a second traversal.
constexpr double denseVerticesPerPixel = 0.25;

// Draws the units of a pass into a sink.
//
// A drawing that counts (`counted`, may be null) marks the pixels its segments cross; past
// `vertexLimit` vertices it only marks them, and sends nothing more. A drawing that knows
// the solid pixels (`solid`, may be null) leaves out every unit and segment that lies
// within them, and draws them as rows a pixel apart instead: what it leaves out could only
// have covered pixels that the rows cover in full, so a picture of a dense figure costs what
// its pixels do.
class UnitDrawer
{
public:
    UnitDrawer(const lsUnitTable &table,
               const lsGeometryReduction &reduction,
               const std::atomic<bool> *cancel,
               PipeSink &sink,
               PixelCoverage *counted,
               const PixelCoverage *solid,
               std::size_t vertexLimit)
        : mTable(table)
        , mRegion(reduction.region)
        , mDetail(2.0 * reduction.tolerance / reduction.pixelsPerUnit)
        , mCancel(cancel)
        , mSink(sink)
        , mCounted(counted)
        , mSolid(solid)
        , mVertexLimit(vertexLimit)
    { }

    // False when cancelled.
    bool drawPass()
    {
        UnitTurtle t{ 0.0, 0.0, 0.0, mTable.step(), 0, false };
        vertex(t);
        Level top{ *this, mTable.passes() };
        if (!lsDetail::walkUnitOps(mTable.rules().axiom(), mTable.passes(), t, mStack, top))
            return false;
        if (mSolid) {
            mSolid->solidRows([this](double x0, double x1, double y) {
                restart();
                vertex(Point{ x0, y, 0.0 });
                vertex(Point{ x1, y, 0.0 });
            });
        }
        return true;
    }

    // Whether it stopped sending at its vertex limit.
    bool muted() const { return mVertices > mVertexLimit; }

private:
    // The characters of a rule, each letter in them a unit of childPasses.
    struct Level
    {
        UnitDrawer &drawer;
        int childPasses;

        bool unit(int letter, UnitTurtle &t) { return drawer.unit(letter, childPasses, t); }
        std::uint32_t turn(std::uint32_t heading, lsHeadingSet::Turn turn)
        {
            return drawer.mTable.headings().turnedBefore(heading, turn);
        }
        const slVector &vector(std::uint32_t heading)
        {
            return drawer.mTable.headings().vector(heading);
        }
        void vertex(const UnitTurtle &t) { drawer.lineTo(t); }
        void pop(const UnitTurtle &t) { drawer.jumpTo(t); }
    };

    struct Point
    {
        double x, y, z;
    };

    bool unit(int letter, int passes, UnitTurtle &t)
    {
        if (++mUnits % pollUnits == 0 && mCancel && mCancel->load(std::memory_order_relaxed))
            return false;
        const lsUnit &u = mTable.unit(letter, passes, t.negated, t.heading);
        double box[6];
        lsDetail::placeBox(t, u, box);
        if (mSolid && mSolid->solid(box)) {
            lsDetail::advance(t, u);
            jumpTo(t);
            return true;
        }
        if (!showsDetail(box)) {
            // One segment to where it leaves the turtle: its start is the last vertex drawn.
            lsDetail::advance(t, u);
            lineTo(t);
            return true;
        }
        Level level{ *this, passes - 1 };
        return lsDetail::walkUnitOps(mTable.rules().rule(letter), passes - 1, t, mStack, level);
    }

    // Whether a unit with this box has detail the picture shows: it reaches into the
    // region, and spans more than a pixel.
    bool showsDetail(const double *box) const
    {
        if (mRegion) {
            const std::array<double, 4> &r = *mRegion;
            if (box[lsMaxX] < r[0] || box[lsMinX] > r[1] || box[lsMaxY] < r[2]
                || box[lsMinY] > r[3])
                return false;
        }
        const double dx = box[lsMaxX] - box[lsMinX], dy = box[lsMaxY] - box[lsMinY],
                     dz = box[lsMaxZ] - box[lsMinZ];
        return dx * dx + dy * dy + dz * dz > mDetail * mDetail;
    }

    // A segment from the pen to the turtle, left out where every pixel it could reach is
    // solid.
    void lineTo(const UnitTurtle &t)
    {
        const Point p{ t.x, t.y, t.z };
        if (mSolid) {
            const double box[6] = { std::min(mPen.x, p.x), std::max(mPen.x, p.x),
                                    std::min(mPen.y, p.y), std::max(mPen.y, p.y),
                                    std::min(mPen.z, p.z), std::max(mPen.z, p.z) };
            if (mSolid->solid(box)) {
                jumpTo(t);
                return;
            }
        }
        if (mLifted) {
            restart();
            vertex(mPen);
        }
        vertex(p);
    }

    // The pen to the turtle without drawing (a ']' that pops): the next segment starts a
    // strip there.
    void jumpTo(const UnitTurtle &t)
    {
        mPen = { t.x, t.y, t.z };
        mLifted = true;
    }

    void vertex(const Point &p)
    {
        if (++mVertices <= mVertexLimit) {
            if (mSink.full())
                mSink.grow();
            mSink.vertex(p.x, p.y, p.z);
        }
        if (mCounted && !mLifted)
            mCounted->addSegment(mPen.x, mPen.y, p.x, p.y);
        mPen = p;
        mLifted = false;
    }
    void vertex(const UnitTurtle &t) { vertex(Point{ t.x, t.y, t.z }); }

    void restart()
    {
        if (mVertices < mVertexLimit) {
            if (mSink.full())
                mSink.grow();
            mSink.restart();
        }
        mLifted = true;
    }

    const lsUnitTable &mTable;
    const std::optional<std::array<double, 4>> mRegion;
    const double mDetail; // the size below which a unit is one segment
    const std::atomic<bool> *mCancel;
    PipeSink &mSink;
    PixelCoverage *const mCounted;
    const PixelCoverage *const mSolid;
    const std::size_t mVertexLimit;
    std::size_t mVertices = 0; // drawn so far, sent or not
    std::vector<UnitTurtle> mStack;
    unsigned mUnits = 0;
    Point mPen{ 0.0, 0.0, 0.0 }; // where the last segment ended, or the turtle jumped to
    bool mLifted = true;         // the pen jumped: the next segment starts a strip
};

// Draws the pass into geometry, reduced, as UnitDrawer does; false when cancelled. Sets
// `muted` when it stopped at the vertex limit.
bool draw(const lsUnitTable &table,
          lsGeometry &geometry,
          const lsGeometryReduction &reduction,
          const std::atomic<bool> *cancel,
          PixelCoverage *counted,
          const PixelCoverage *solid,
          std::size_t vertexLimit,
          bool &muted)
{
    geometry.vertices.clear();
    geometry.stripFirst.clear();
    geometry.stripCount.clear();
    lsDetail::ReducingConsumer consumer(geometry, reduction);
    bool drawn = false;
    lsDetail::pipeInto(consumer, [&](PipeSink &sink) {
        UnitDrawer drawer(table, reduction, cancel, sink, counted, solid, vertexLimit);
        drawn = drawer.drawPass();
        muted = drawer.muted();
    });
    return drawn && !consumer.misplaced;
}

} // namespace

bool lsBuildUnitGeometry(const lsUnitTable &table,
                         lsGeometry &geometry,
                         const lsGeometryReduction &reduction,
                         const std::atomic<bool> *cancel)
{
    try {
        // The pixels are marked while the figure is drawn the plain way. Where that would
        // give many more vertices than the picture has pixels, it is drawn again with its
        // solid pixels as rows, and the first drawing only marks past that many.
        std::optional<PixelCoverage> coverage;
        std::size_t vertexLimit = SIZE_MAX;
        if (const auto &picture = reduction.picture) {
            const double pixels = double(picture->width) * double(picture->height);
            if (pixels <= double(PixelCoverage::maxPixels)) {
                coverage.emplace(*picture, reduction.pixelsPerUnit);
                vertexLimit = std::size_t(denseVerticesPerPixel * pixels);
            }
        }
        bool muted = false;
        bool drawn = draw(table, geometry, reduction, cancel, coverage ? &*coverage : nullptr,
                          nullptr, vertexLimit, muted);
        if (drawn && muted) {
            const bool solid = coverage->findSolid();
            drawn = draw(table, geometry, reduction, cancel, nullptr, solid ? &*coverage : nullptr,
                         SIZE_MAX, muted);
        }
        if (!drawn) {
            geometry = lsGeometry();
            return false;
        }
        std::copy(table.box(), table.box() + 6, geometry.box);
    } catch (const std::bad_alloc &) {
        geometry = lsGeometry();
        return false;
    }
    return true;
}
