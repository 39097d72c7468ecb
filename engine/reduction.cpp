#include "engine/reduction.h"

#include "engine/pipedwalk.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <new>
#include <span>

namespace lsDetail {

namespace {

// Reduces a built geometry again at a fixed scale, keeping its box.
void reduceAgain(lsGeometry &geometry, const lsGeometryReduction &reduction)
{
    lsGeometry kept = std::move(geometry);
    geometry = lsGeometry();
    ReducingConsumer consumer(geometry, reduction);
    std::array<double, 3 * 512> batch;
    std::size_t fed = 0;
    for (std::size_t s = 0; s < kept.stripFirst.size(); ++s) {
        // Each strip after the first starts by ending the one before.
        const std::size_t stripStart = fed;
        std::span<const std::size_t> ends(&stripStart, s > 0 ? 1 : 0);
        const float *v = kept.vertices.data() + 3 * std::size_t(kept.stripFirst[s]);
        for (std::size_t left = std::size_t(kept.stripCount[s]); left > 0;) {
            const std::size_t n = std::min(left, batch.size() / 3);
            std::copy(v, v + 3 * n, batch.begin());
            consumer.take(batch.data(), n, ends);
            ends = {};
            v += 3 * n;
            left -= n;
            fed += n;
        }
    }
    consumer.take(batch.data(), 0, std::span(&fed, 1));
    std::copy(kept.box, kept.box + 6, geometry.box);
}

} // namespace

bool buildReducedGeometry(const lsRuleSet &rules,
                          lsCommandSource &commands,
                          lsGeometry &geometry,
                          const lsGeometryReduction &reduction)
{
    try {
        geometry.vertices.clear();
        geometry.stripFirst.clear();
        geometry.stripCount.clear();
        ReducingConsumer consumer(geometry, reduction);
        walkPipedInto(rules, commands, consumer);
        if (commands.cancelled() || consumer.misplaced) {
            geometry = lsGeometry();
            return false;
        }
        consumer.box.copyTo(geometry.box);
        const double half = std::max(geometry.box[lsMaxX] - geometry.box[lsMinX],
                                     geometry.box[lsMaxY] - geometry.box[lsMinY])
                            * 0.5;
        if (reduction.pixelsPerUnit <= 0.0 && half > 0.0) {
            // The scale followed the box: what was kept while the box was still small is
            // finer than the whole picture needs.
            lsGeometryReduction final = reduction;
            final.pixelsPerUnit = reduction.framingPixels / half;
            reduceAgain(geometry, final);
        }
    } catch (const std::bad_alloc &) {
        geometry = lsGeometry();
        return false;
    }
    return true;
}

} // namespace lsDetail
