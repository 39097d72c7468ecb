#pragma once

// Internal to the engine: the geometry of a picture, with the vertices it cannot tell
// apart merged (lsGeometryReduction), from a walk or from expansion units.

#include "engine/commandsource.h"
#include "engine/interpreter.h"
#include "engine/pipedwalk.h"
#include "engine/ruleset.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <new>
#include <span>

namespace lsDetail {

// Keeps the vertices a picture can tell apart (lsGeometryReduction), in arrays that grow
// as it needs. A strip's end arrives as a vertex number with the batch holding the
// vertices before it; take() ends the strip at its place.
//
// Merged runs leave segments of about the tolerance, and smoothed lines that short never
// reach their full colour (each pixel only gets part of the coverage of several). So where
// kept vertices that each end a merged run lie on one straight line, to within a quarter
// of the tolerance, they join into one segment. Figures whose segments all span a pixel
// merge nothing, and so join nothing either.
struct ReducingConsumer
{
    using Point = std::array<double, 3>;
    static constexpr int maxJoined = 32; // vertices one segment may replace

    ReducingConsumer(lsGeometry &g, const lsGeometryReduction &r)
        : geometry(g)
        , reduction(r)
    {
        if (reduction.pixelsPerUnit > 0.0)
            setScale(reduction.pixelsPerUnit);
    }

    void setScale(double pixelsPerUnit)
    {
        const double units = reduction.tolerance / pixelsPerUnit;
        merge2 = units * units;
    }

    void take(const double *xyz, std::size_t n, std::span<const std::size_t> ends)
    {
        box.grow(xyz, n);
        if (reduction.pixelsPerUnit <= 0.0) {
            const double half = std::max(box.maxX - box.minX, box.maxY - box.minY) * 0.5;
            if (half > 0.0)
                setScale(reduction.framingPixels / half);
        }
        std::size_t i = 0;
        for (const std::size_t end : ends) {
            if (end < taken + i || end - taken > n) {
                misplaced = true; // a strip end outside its batch: read nothing past it
                break;
            }
            i = mergeRun(xyz, i, end - taken);
            endStrip();
            hasPrevious = false;
        }
        mergeRun(xyz, i, n);
        taken += n;
    }

    static double distance2(const Point &a, const Point &b)
    {
        const double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
        return dx * dx + dy * dy + dz * dz;
    }

    // Vertices [i, end) of a batch, all in one strip; returns end. Most vertices of a
    // dense figure merge, so merging only compares and remembers where.
    std::size_t mergeRun(const double *xyz, std::size_t i, const std::size_t end)
    {
        const double *merged = nullptr; // the last vertex merged since `last`, in this run
        for (; i < end; ++i) {
            const double *v = xyz + 3 * i;
            if (reduction.region) {
                // A strip starts at the first segment that shows and ends before one
                // that does not.
                const bool started = hasPrevious;
                const Point before = previous;
                previous = { v[0], v[1], v[2] };
                hasPrevious = true;
                if (!started)
                    continue;
                if (!meetsRegion(before, v)) {
                    if (merged) {
                        pending = { merged[0], merged[1], merged[2] };
                        hasPending = true;
                        merged = nullptr;
                    }
                    endStrip();
                    continue;
                }
                if (stripKept == 0)
                    keep(before, false);
            }
            if (stripKept > 0) {
                // Without a region the whole run that merges is passed over at once; with
                // one, each vertex is looked at against it first.
                const std::size_t kept = mergeEnd(xyz, i, reduction.region ? i + 1 : end);
                if (kept != i) {
                    merged = xyz + 3 * (kept - 1);
                    i = kept - 1;
                    continue;
                }
            }
            keep({ v[0], v[1], v[2] }, hasPending || merged);
            merged = nullptr;
        }
        if (merged) {
            pending = { merged[0], merged[1], merged[2] };
            hasPending = true;
        }
        return i;
    }

    // The first of vertices [i, end) that does not merge into the last one kept: the
    // scan that most vertices of a dense figure end in, kept tight.
    std::size_t mergeEnd(const double *xyz, std::size_t i, const std::size_t end) const
    {
        const double x = last[0], y = last[1], z = last[2], limit = merge2;
        for (; i < end; ++i) {
            const double *v = xyz + 3 * i;
            const double dx = v[0] - x, dy = v[1] - y, dz = v[2] - z;
            if (!(dx * dx + dy * dy + dz * dz < limit))
                break;
        }
        return i;
    }

    // Whether the segment from a to b may reach into the region: its bounding box meets it.
    bool meetsRegion(const Point &a, const double *b) const
    {
        const std::array<double, 4> &r = *reduction.region;
        return std::max(a[0], b[0]) >= r[0] && std::min(a[0], b[0]) <= r[1]
               && std::max(a[1], b[1]) >= r[2] && std::min(a[1], b[1]) <= r[3];
    }

    // Whether q lies on the segment from `from` to p, to within a quarter of the tolerance.
    bool onChord(const Point &q, const Point &p) const
    {
        Point d, w;
        double dd = 0.0, wd = 0.0;
        for (int i = 0; i < 3; ++i) {
            d[i] = p[i] - from[i];
            w[i] = q[i] - from[i];
            dd += d[i] * d[i];
            wd += w[i] * d[i];
        }
        if (!(wd >= 0.0 && wd <= dd && dd > 0.0))
            return false;
        const double t = wd / dd;
        const Point foot{ from[0] + t * d[0], from[1] + t * d[1], from[2] + t * d[2] };
        return distance2(q, foot) * 16.0 <= merge2;
    }

    // Whether p goes on from the last segment kept in a straight line, to within a turn of
    // rounding.
    bool goesStraightOn(const Point &p) const
    {
        constexpr double straight = 1e-9; // radians
        Point a, b;
        double ab = 0.0, a2 = 0.0, b2 = 0.0;
        for (int i = 0; i < 3; ++i) {
            a[i] = last[i] - from[i];
            b[i] = p[i] - last[i];
            ab += a[i] * b[i];
            a2 += a[i] * a[i];
            b2 += b[i] * b[i];
        }
        const double cx = a[1] * b[2] - a[2] * b[1], cy = a[2] * b[0] - a[0] * b[2],
                     cz = a[0] * b[1] - a[1] * b[0];
        return ab > 0.0 && cx * cx + cy * cy + cz * cz <= straight * straight * a2 * b2;
    }

    // p ends a merged run when `afterMerge`.
    void keep(const Point &p, bool afterMerge)
    {
        hasPending = false;
        if (joinsStraight && stripKept >= 2 && goesStraightOn(p)) {
            // The vertex it replaces lies on the longer segment, and so does all it replaced.
            if (joinedCount < maxJoined)
                joined[joinedCount++] = last;
            float *const end = geometry.vertices.data() + geometry.vertices.size();
            for (int i = 0; i < 3; ++i)
                end[i - 3] = static_cast<float>(p[i]);
            last = p;
            return;
        }
        if (stripKept >= 2 && lastAfterMerge && afterMerge && joinedCount < maxJoined
            && onChord(last, p)
            && std::all_of(joined.begin(), joined.begin() + joinedCount,
                           [&](const Point &q) { return onChord(q, p); })) {
            joined[joinedCount++] = last;
            float *const end = geometry.vertices.data() + geometry.vertices.size();
            for (int i = 0; i < 3; ++i)
                end[i - 3] = static_cast<float>(p[i]);
            last = p;
            return;
        }
        from = last;
        joinedCount = 0;
        last = p;
        lastAfterMerge = afterMerge;
        ++stripKept;
        if (geometry.vertices.size() / 3 >= reduction.maxVertices)
            throw std::bad_alloc(); // more than the caller has room for
        for (int i = 0; i < 3; ++i)
            geometry.vertices.push_back(static_cast<float>(p[i]));
    }
    void endStrip()
    {
        if (stripKept == 1) {
            geometry.vertices.resize(geometry.vertices.size() - 3); // never left its start
        } else if (stripKept > 1) {
            if (hasPending)
                keep(pending, true);
            const auto count = static_cast<std::int64_t>(geometry.vertexCount());
            if (count > INT32_MAX)
                throw std::bad_alloc(); // more than a GL index can count
            geometry.stripFirst.push_back(static_cast<std::int32_t>(count - stripKept));
            geometry.stripCount.push_back(static_cast<std::int32_t>(stripKept));
        }
        stripKept = 0;
        hasPending = false;
        lastAfterMerge = false;
    }

    lsGeometry &geometry;
    const lsGeometryReduction reduction;
    // Whether segments that go on straight join whatever their length: the picture then
    // has no paler pixel where they meet. A walk's segments a pixel long or more are left
    // as they are, so that they draw as they would one by one.
    bool joinsStraight = false;
    double merge2 = 0.0; // the squared distance below which vertices merge
    std::size_t taken = 0;
    Point last{};     // the vertex kept last
    Point from{};     // the one kept before it, where its segment starts
    Point pending{};  // the vertex merged last, when one came after `last`
    Point previous{}; // with a region: the vertex before, kept or not
    bool hasPrevious = false;
    bool hasPending = false;
    bool lastAfterMerge = false;
    bool misplaced = false;              // a strip ended where its batch had no vertex
    std::array<Point, maxJoined> joined; // vertices the last segment replaced
    int joinedCount = 0;
    std::int64_t stripKept = 0; // vertices of the current strip kept so far
    Box box;
};

// The reduced geometry: no count beforehand, since the picture, not the string, sets
// its size. Storage of an earlier build is written again. False when the walk was
// cancelled or the memory could not be had (geometry is then empty).
[[nodiscard]] bool buildReducedGeometry(const lsRuleSet &rules,
                                        lsCommandSource &commands,
                                        lsGeometry &geometry,
                                        const lsGeometryReduction &reduction);

} // namespace lsDetail
