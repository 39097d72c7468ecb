#include "view/motiongeometry.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

// Thins the strips at `spacing`; counts the vertices kept, and appends them to `out` when
// it is not null.
std::size_t thin(const lsGeometry &g, float spacing, lsGeometry *out)
{
    const float reach = spacing * spacing;
    const float *v = g.vertices.data();
    const auto apart = [&](std::size_t a, std::size_t b) {
        const float dx = v[3 * a] - v[3 * b], dy = v[3 * a + 1] - v[3 * b + 1],
                    dz = v[3 * a + 2] - v[3 * b + 2];
        return dx * dx + dy * dy + dz * dz >= reach;
    };
    const auto keep = [&](std::size_t i) {
        out->vertices.insert(out->vertices.end(), v + 3 * i, v + 3 * i + 3);
    };
    std::size_t kept = 0;
    for (std::size_t s = 0; s < g.stripFirst.size(); ++s) {
        const auto first = std::size_t(g.stripFirst[s]);
        const auto end = first + std::size_t(g.stripCount[s]);
        std::size_t last = first, strip = 1;
        if (out)
            out->stripFirst.push_back(std::int32_t(out->vertexCount()));
        for (std::size_t i = first + 1; i < end; ++i) {
            if (!apart(i, last))
                continue;
            if (out)
                keep(last);
            last = i;
            ++strip;
        }
        if (strip == 1) {
            if (out)
                out->stripFirst.pop_back();
            continue;
        }
        // The strip ends where it ended: its last vertex replaces the last one kept.
        if (out) {
            keep(end - 1);
            out->stripCount.push_back(std::int32_t(strip));
        }
        kept += strip;
    }
    return kept;
}

} // namespace

std::shared_ptr<const lsGeometry> motionGeometry(const lsGeometry &geometry,
                                                 std::size_t maxVertices)
{
    const float *v = geometry.vertices.data();
    double length = 0.0;
    std::size_t segments = 0;
    for (std::size_t s = 0; s < geometry.stripFirst.size(); ++s) {
        const auto first = std::size_t(geometry.stripFirst[s]);
        const auto end = first + std::size_t(geometry.stripCount[s]);
        for (std::size_t i = first + 1; i < end; ++i) {
            length += std::hypot(v[3 * i] - v[3 * i - 3], v[3 * i + 1] - v[3 * i - 2],
                                 v[3 * i + 2] - v[3 * i - 1]);
            ++segments;
        }
    }
    float spacing = segments > 0 ? float(length / double(segments)) : 0.0f;
    // A figure of no length keeps nothing; the count falls as the spacing grows.
    if (spacing > 0.0f) {
        while (thin(geometry, spacing, nullptr) > maxVertices && std::isfinite(spacing))
            spacing *= 1.25f;
    }
    try {
        auto coarse = std::make_shared<lsGeometry>();
        std::copy(geometry.box, geometry.box + 6, coarse->box);
        if (spacing > 0.0f && std::isfinite(spacing))
            thin(geometry, spacing, coarse.get());
        return coarse;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}
