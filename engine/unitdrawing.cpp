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
constexpr unsigned pollUnits = 1024;

// Past this many vertices kept per pixel of the picture, a drawing is dense enough that
// drawing its solid pixels as rows instead is worth a second traversal.
constexpr double denseVerticesPerPixel = 0.25;

// Draws the units of a pass into a sink.
//
// A drawing that counts (`counted`, may be null) marks the pixels its segments touch; once
// the reduction would keep more than `vertexLimit` of its vertices, it only marks them and
// sends nothing more. A drawing that knows the solid pixels (`solid`, may be null) leaves
// out every unit and segment that lies within them, and draws them as rows a pixel apart
// instead: what it leaves out could only have covered pixels that the rows cover in full,
// so a picture of a dense figure costs what its pixels do.
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
        , mMerge2(std::pow(reduction.tolerance / reduction.pixelsPerUnit, 2))
    { }

    // False when cancelled.
    bool drawPass()
    {
        UnitTurtle t{ 0.0, 0.0, 0.0, mTable.step(), 0, false };
        startStrip({ t.x, t.y, t.z });
        Level top{ *this, mTable.passes() };
        if (!lsDetail::walkUnitOps(mTable.rules().axiom(), mTable.passes(), t, mStack, top))
            return false;
        if (mSolid) {
            mSolid->solidRows(
                    [this](const std::array<double, 3> &from, const std::array<double, 3> &to) {
                        startStrip({ from[0], from[1], from[2] });
                        send({ to[0], to[1], to[2] });
                    });
        }
        return true;
    }

    // Whether it stopped sending at its vertex limit.
    bool muted() const { return mMuted; }

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
        void vertex(const UnitTurtle &t) { drawer.lineTo({ t.x, t.y, t.z }); }
        void pop(const UnitTurtle &t) { drawer.jumpTo({ t.x, t.y, t.z }); }
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
            jumpTo({ t.x, t.y, t.z });
            return true;
        }
        if (!showsDetail(box)) {
            // One segment to where it leaves the turtle: its start is the last vertex drawn.
            lsDetail::advance(t, u);
            lineTo({ t.x, t.y, t.z });
            return true;
        }
        if (u.outline != lsUnit::noOutline && u.childReach * std::abs(t.step) <= mDetail) {
            // Every child is one segment: the outline has them all.
            for (const lsUnitPoint &p : mTable.outline(u)) {
                const Point at{ t.x + t.step * p.x, t.y + t.step * p.y, t.z + t.step * p.z };
                if (p.jump)
                    jumpTo(at);
                else
                    lineTo(at);
            }
            lsDetail::advance(t, u);
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

    // A segment from the pen to p, left out where every pixel it could reach is solid.
    void lineTo(const Point &p)
    {
        if (mSolid) {
            const double box[6] = { std::min(mPen.x, p.x), std::max(mPen.x, p.x),
                                    std::min(mPen.y, p.y), std::max(mPen.y, p.y),
                                    std::min(mPen.z, p.z), std::max(mPen.z, p.z) };
            if (mSolid->solid(box)) {
                jumpTo(p);
                return;
            }
        }
        if (mLifted)
            startStrip(mPen);
        send(p);
        mPen = p;
    }

    // The pen to p without drawing (a ']' that pops): the next segment starts a strip there.
    void jumpTo(const Point &p)
    {
        mPen = p;
        mLifted = true;
    }

    void startStrip(const Point &p)
    {
        if (!mMuted) {
            if (mSink.full())
                mSink.grow();
            mSink.restart();
        }
        mStripStart = true;
        send(p);
        mLifted = false;
    }

    void send(const Point &p)
    {
        if (!mMuted) {
            if (mSink.full())
                mSink.grow();
            mSink.vertex(p.x, p.y, p.z);
            // About the vertices the reduction keeps: those that start a strip or lie the
            // merging distance or more from the last one counted.
            const double dx = p.x - mCountedAt.x, dy = p.y - mCountedAt.y, dz = p.z - mCountedAt.z;
            if (mStripStart || dx * dx + dy * dy + dz * dz >= mMerge2) {
                mCountedAt = p;
                mMuted = ++mVertices > mVertexLimit;
            }
        }
        if (mCounted) {
            if (mStripStart)
                mCounted->moveTo({ p.x, p.y, p.z });
            else
                mCounted->lineTo({ p.x, p.y, p.z });
        }
        mStripStart = false;
    }

    const lsUnitTable &mTable;
    const std::optional<std::array<double, 4>> mRegion;
    const double mDetail; // the size below which a unit is one segment
    const std::atomic<bool> *mCancel;
    PipeSink &mSink;
    PixelCoverage *const mCounted;
    const PixelCoverage *const mSolid;
    const std::size_t mVertexLimit;
    const double mMerge2;      // the squared distance below which the reduction merges vertices
    std::size_t mVertices = 0; // about the vertices the reduction keeps of those sent
    Point mCountedAt{ 0.0, 0.0, 0.0 };
    bool mMuted = false;
    std::vector<UnitTurtle> mStack;
    unsigned mUnits = 0;
    Point mPen{ 0.0, 0.0, 0.0 }; // where the last segment ended, or the turtle jumped to
    bool mLifted = true;         // the pen jumped: the next segment starts a strip
    bool mStripStart = false;    // the next vertex sent starts a strip
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
                coverage.emplace(*picture, table.box());
                vertexLimit = std::size_t(denseVerticesPerPixel * pixels);
            }
        }
        bool muted = false;
        bool drawn = draw(table, geometry, reduction, cancel, coverage ? &*coverage : nullptr,
                          nullptr, vertexLimit, muted);
        if (drawn && muted) {
            // The first drawing stopped sending: only the second makes the geometry.
            const bool solid = coverage->findSolid(cancel);
            drawn = !(cancel && cancel->load(std::memory_order_relaxed))
                    && draw(table, geometry, reduction, cancel, nullptr,
                            solid ? &*coverage : nullptr, SIZE_MAX, muted);
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
