#pragma once

// Internal to the engine: the geometry of a picture, with the vertices it cannot tell
// apart merged (lsGeometryReduction), from a walk or from expansion units.

#include "engine/commandsource.h"
#include "engine/interpreter.h"
#include "engine/pipedwalk.h"
#include "engine/ruleset.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <span>

namespace lsDetail {

// Keeps the vertices a picture can tell apart (lsGeometryReduction), in arrays that grow
// as it needs. A strip's end arrives as a vertex number with the batch holding the
// vertices before it; take() ends the strip at its place.
//
// Smoothed lines blend their ends: where two segments of a strip meet, a pixel gets part of
// its coverage from each, and the two blends leave it lighter than the line (down to three
// quarters of it), so a straight run of many segments shows a tick at every join. Merged
// runs also leave segments of about the tolerance, which never reach their full colour. So
// kept vertices that lie on one straight line join into one segment: each vertex a segment
// replaces stays within a quarter of the tolerance of it. Only the vertices where the line
// turns remain.
struct ReducingConsumer
{
    using Point = std::array<double, 3>;

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
        joinSlack = units * 0.25;
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
                    keep(before);
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
            keep({ v[0], v[1], v[2] });
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

    // How far q lies from the segment from `from` to p; infinite when it is not beside it.
    double offChord(const Point &q, const Point &p) const
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
            return std::numeric_limits<double>::infinity();
        const double t = wd / dd;
        const Point foot{ from[0] + t * d[0], from[1] + t * d[1], from[2] + t * d[2] };
        return std::sqrt(distance2(q, foot));
    }

    void keep(const Point &p)
    {
        hasPending = false;
        if (stripKept >= 2) {
            // Turning the segment from `from` about its start moves each vertex it replaced
            // by at most how far `last` is from the new segment: the sum of those distances
            // bounds them all, and grows only where the line bends.
            const double off = offChord(last, p);
            if (joined + off <= joinSlack) {
                joined += off;
                float *const end = geometry.vertices.data() + geometry.vertices.size();
                for (int i = 0; i < 3; ++i)
                    end[i - 3] = static_cast<float>(p[i]);
                last = p;
                return;
            }
        }
        from = last;
        joined = 0.0;
        last = p;
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
                keep(pending);
            const auto count = static_cast<std::int64_t>(geometry.vertexCount());
            if (count > INT32_MAX)
                throw std::bad_alloc(); // more than a GL index can count
            geometry.stripFirst.push_back(static_cast<std::int32_t>(count - stripKept));
            geometry.stripCount.push_back(static_cast<std::int32_t>(stripKept));
        }
        stripKept = 0;
        hasPending = false;
    }

    lsGeometry &geometry;
    const lsGeometryReduction reduction;
    double merge2 = 0.0;    // the squared distance below which vertices merge
    double joinSlack = 0.0; // how far a vertex a segment replaces may lie from it
    std::size_t taken = 0;
    Point last{};     // the vertex kept last
    Point from{};     // the one kept before it, where its segment starts
    Point pending{};  // the vertex merged last, when one came after `last`
    Point previous{}; // with a region: the vertex before, kept or not
    bool hasPrevious = false;
    bool hasPending = false;
    bool misplaced = false;     // a strip ended where its batch had no vertex
    double joined = 0.0;        // bounds how far the vertices the last segment replaced lie from it
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
