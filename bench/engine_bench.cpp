// The engine's benchmarks: rewriting against a plain memcpy of the same length, and the
// interpreter in measure mode and with the geometry sink, on four classic L-systems, over
// the generated string and over the same pass streamed without one.
//
//   build/bench/engine_bench                                   # every workload
//   build/bench/engine_bench --benchmark_filter='/(koch8|plantb6|plantx9|dragon16)$'
#include "engine/generation.h"
#include "engine/interpreter.h"
#include "engine/passstream.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Workload
{
    const char *name;
    const char *axiom;
    std::vector<std::pair<char, const char *>> rules;
    double degrees;
    int passes;
    std::uint64_t length; // of the final string, checked on every run
};

// The same four systems at a large size (the figures that matter) and a small one (the
// smoke run in CI).
const std::vector<Workload> &workloads()
{
    static const std::vector<Workload> all = {
        { "koch11", "F", { { 'F', "F+F-F-F+F" } }, 90.0, 11, 97656249 },
        { "plantb9", "F", { { 'F', "FF-[-F+F+F]+[+F-F-F]" } }, 22.5, 9, 364305260 },
        { "plantx16", "X", { { 'X', "F[+X][-X]FX" }, { 'F', "FF" } }, 25.7, 16, 258149251 },
        { "dragon26", "FX", { { 'X', "X+YF+" }, { 'Y', "-FX-Y" } }, 90.0, 26, 268435454 },
        { "koch8", "F", { { 'F', "F+F-F-F+F" } }, 90.0, 8, 781249 },
        { "plantb6", "F", { { 'F', "FF-[-F+F+F]+[+F-F-F]" } }, 22.5, 6, 711532 },
        { "plantx9", "X", { { 'X', "F[+X][-X]FX" }, { 'F', "FF" } }, 25.7, 9, 117071 },
        { "dragon16", "FX", { { 'X', "X+YF+" }, { 'Y', "-FX-Y" } }, 90.0, 16, 262142 },
    };
    return all;
}

std::unique_ptr<lsRuleSet> ruleSetOf(const Workload &w)
{
    auto set = lsNewRuleSet();
    for (const auto &[letter, text] : w.rules)
        lsNewRule(*set, letter, text);
    set->angle = w.degrees / 360.0 * 6.283185307179586;
    return set;
}

// The final string of one workload, kept while that workload's benchmarks run (they are
// registered one workload after the other), so that at most one large string is alive.
const lsString &finalString(const Workload &w)
{
    static const Workload *cached = nullptr;
    static lsString string;
    if (cached != &w) {
        string = lsString();
        string = lsGenerate(*ruleSetOf(w), w.axiom, w.passes).string;
        cached = &w;
    }
    return string;
}

bool checkLength(benchmark::State &state, const Workload &w, std::size_t length)
{
    if (length == w.length)
        return true;
    state.SkipWithError(
            ("final length " + std::to_string(length) + ", expected " + std::to_string(w.length))
                    .c_str());
    return false;
}

void rewrite(benchmark::State &state, const Workload &w)
{
    const auto set = ruleSetOf(w);
    // As when the app generates again: the process has had a string of this size before,
    // whose block the new one reuses (the first generation ever, into fresh memory, also
    // pays a page fault per page).
    lsGenerate(*set, w.axiom, w.passes);
    std::size_t length = 0;
    for (auto _ : state) {
        lsGeneration g = lsGenerate(*set, w.axiom, w.passes);
        length = g.string.size();
        benchmark::DoNotOptimize(g.string.data());
    }
    if (checkLength(state, w, length))
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * length));
}

void copy(benchmark::State &state, const Workload &w)
{
    const std::size_t length = w.length;
    lsString from = lsString::allocate(length);
    lsString to = lsString::allocate(length);
    if (from.isNull() || to.isNull()) {
        state.SkipWithError("out of memory");
        return;
    }
    std::memset(from.data(), 'F', length);
    std::memset(to.data(), 0, length);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), length);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * length));
}

void measure(benchmark::State &state, const Workload &w)
{
    const auto set = ruleSetOf(w);
    const lsString &s = finalString(w);
    if (!checkLength(state, w, s.size()))
        return;
    double box[6];
    for (auto _ : state) {
        lsMeasureString(*set, s.view(), box);
        benchmark::DoNotOptimize(box);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * s.size()));
}

// reuse: into the storage of an earlier (untimed) build, as the view rebuilds a figure at
// another angle; otherwise every build allocates its arrays in fresh memory.
void buildGeometry(benchmark::State &state, const Workload &w, bool reuse)
{
    const auto set = ruleSetOf(w);
    const lsString &s = finalString(w);
    if (!checkLength(state, w, s.size()))
        return;
    lsGeometry g;
    if (reuse && !lsBuildGeometry(*set, s.view(), g)) {
        state.SkipWithError("out of memory");
        return;
    }
    for (auto _ : state) {
        if (!reuse)
            g = lsGeometry();
        if (!lsBuildGeometry(*set, s.view(), g)) {
            state.SkipWithError("out of memory");
            return;
        }
        benchmark::DoNotOptimize(g.vertices.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * s.size()));
}

void geometry(benchmark::State &state, const Workload &w)
{
    buildGeometry(state, w, true);
}

void firstGeometry(benchmark::State &state, const Workload &w)
{
    buildGeometry(state, w, false);
}

// The geometry of a 1000-pixel picture, reduced as the view builds it: framed (one walk,
// whose scale follows the box), or zoomed 16 times about the box's centre, keeping what
// reaches the picture. The reduction works on the vertices on a second thread.
void buildReduced(benchmark::State &state, const Workload &w, double zoom)
{
    const auto set = ruleSetOf(w);
    const lsString &s = finalString(w);
    if (!checkLength(state, w, s.size()))
        return;
    constexpr double framingPixels = 500.0;
    lsGeometryReduction reduction;
    if (zoom == 1.0) {
        reduction.framingPixels = framingPixels;
    } else {
        double box[6];
        lsMeasureString(*set, s.view(), box);
        const double half = std::max(box[1] - box[0], box[3] - box[2]) / 2 / zoom;
        const double x = (box[0] + box[1]) / 2, y = (box[2] + box[3]) / 2;
        reduction.pixelsPerUnit = framingPixels / half;
        reduction.region = { x - half, x + half, y - half, y + half };
    }
    lsGeometry g;
    std::size_t kept = 0;
    for (auto _ : state) {
        if (!lsBuildGeometry(*set, s.view(), g, reduction)) {
            state.SkipWithError("out of memory");
            return;
        }
        kept = g.vertexCount();
        benchmark::DoNotOptimize(g.vertices.data());
    }
    state.counters["kept"] = static_cast<double>(kept);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * s.size()));
}

void reduced(benchmark::State &state, const Workload &w)
{
    buildReduced(state, w, 1.0);
}

void reducedZoom(benchmark::State &state, const Workload &w)
{
    buildReduced(state, w, 16.0);
}

// The pass expanded as it is walked, without the string: items are symbols, as for the
// walks over the string above.
void streamMeasure(benchmark::State &state, const Workload &w)
{
    const auto set = ruleSetOf(w);
    lsPassStream stream(*set, w.axiom, w.passes);
    if (!checkLength(state, w, stream.length()))
        return;
    double box[6];
    for (auto _ : state) {
        stream.rewind();
        if (!lsMeasureString(*set, stream, box)) {
            state.SkipWithError("cancelled");
            return;
        }
        benchmark::DoNotOptimize(box);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * w.length));
}

// Counting and building walk the stream twice, as the string is walked twice; into the
// storage of an earlier build, as for BM_Geometry.
void streamGeometry(benchmark::State &state, const Workload &w)
{
    const auto set = ruleSetOf(w);
    lsPassStream stream(*set, w.axiom, w.passes);
    if (!checkLength(state, w, stream.length()))
        return;
    lsGeometry g;
    if (!lsBuildGeometry(*set, stream, g)) {
        state.SkipWithError("out of memory");
        return;
    }
    for (auto _ : state) {
        stream.rewind();
        if (!lsBuildGeometry(*set, stream, g)) {
            state.SkipWithError("out of memory");
            return;
        }
        benchmark::DoNotOptimize(g.vertices.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * w.length));
}

void registerAll()
{
    using Body = void (*)(benchmark::State &, const Workload &);
    const std::pair<const char *, Body> kinds[] = {
        { "BM_Rewrite/", rewrite },
        { "BM_Memcpy/", copy },
        { "BM_Measure/", measure },
        { "BM_Geometry/", geometry },
        { "BM_FirstGeometry/", firstGeometry },
        { "BM_Reduced/", reduced },
        { "BM_ReducedZoom/", reducedZoom },
        { "BM_StreamMeasure/", streamMeasure },
        { "BM_StreamGeometry/", streamGeometry },
    };
    // Wall time: a walk's vertices are worked on by a second thread.
    for (const Workload &w : workloads()) {
        for (const auto &[prefix, body] : kinds) {
            benchmark::RegisterBenchmark((std::string(prefix) + w.name).c_str(), body, w)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
