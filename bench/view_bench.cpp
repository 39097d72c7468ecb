// Figure frames on the EGL surfaceless context: the per-frame path (measure, then the
// interpreter's immediate-mode draw) against the frame drawn from the geometry cache, and
// the time from a hand-over to the first frame from the cache. Every frame ends with
// glFinish, so the driver's work is inside the measured time.
//
//   build/bench/view_bench                               # the bracketed plant, 7 passes
//   build/bench/view_bench --benchmark_filter='/4$'      # the small smoke workload
#include "engine/generation.h"
#include "view/figurerenderer.h"
#include "view/offscreencontext.h"

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

namespace {

constexpr int frameSize = 512;

OffscreenContext &context()
{
    static OffscreenContext *c = [] {
        auto *created = new OffscreenContext;
        std::string error;
        if (!created->create(frameSize, frameSize, &error)) {
            std::fprintf(stderr, "view_bench: no GL context: %s\n", error.c_str());
            std::exit(1);
        }
        return created;
    }();
    if (!c->makeCurrent()) {
        std::fprintf(stderr, "view_bench: the GL context cannot be made current\n");
        std::exit(1);
    }
    return *c;
}

// The bracketed plant: F -> FF-[-F+F+F]+[+F-F-F] at 22.5 degrees; 5,692,268 characters
// after 7 passes.
struct Plant
{
    std::unique_ptr<lsRuleSet> rules;
    lsString string;
};

const Plant &plant(int passes)
{
    static std::map<int, Plant> cache;
    auto it = cache.find(passes);
    if (it == cache.end()) {
        Plant p{ lsNewRuleSet(), {} };
        p.rules->angle = 22.5 / 360.0 * 6.283185307179586;
        lsNewRule(*p.rules, 'F', "FF-[-F+F+F]+[+F-F-F]");
        p.string = lsGenerate(*p.rules, "F", passes).string;
        it = cache.emplace(passes, std::move(p)).first;
    }
    return it->second;
}

std::shared_ptr<const lsGeometry> build(const Plant &p)
{
    auto g = std::make_shared<lsGeometry>();
    if (!lsBuildGeometry(*p.rules, p.string.view(), *g)) {
        std::fprintf(stderr, "view_bench: no memory for the figure\n");
        std::exit(1);
    }
    return g;
}

void setCounters(benchmark::State &state, const Plant &p)
{
    state.counters["chars"] = static_cast<double>(p.string.size());
}

void BM_FrameImmediate(benchmark::State &state)
{
    context();
    const Plant &p = plant(static_cast<int>(state.range(0)));
    FigureRenderer renderer;
    for (auto _ : state) {
        renderer.drawImmediate(*p.rules, p.string.c_str(), frameSize, frameSize, 0.0);
        glFinish();
    }
    setCounters(state, p);
}

void BM_FrameCached(benchmark::State &state)
{
    context();
    const Plant &p = plant(static_cast<int>(state.range(0)));
    FigureRenderer renderer;
    renderer.setGeometry(build(p));
    renderer.draw(frameSize, frameSize, 0.0); // uploads the cache once
    glFinish();
    for (auto _ : state) {
        renderer.draw(frameSize, frameSize, 0.0);
        glFinish();
    }
    state.counters["vertices"] = static_cast<double>(renderer.geometry()->vertexCount());
    setCounters(state, p);
    renderer.releaseGL();
}

// A frame with the cache's box but no strips: everything Sprig does per cached frame
// (camera, state, the draw call) without the driver's per-vertex work.
void BM_FrameCachedSprigOnly(benchmark::State &state)
{
    context();
    const Plant &p = plant(static_cast<int>(state.range(0)));
    auto empty = std::make_shared<lsGeometry>();
    const auto full = build(p);
    std::copy(full->box, full->box + 6, empty->box);
    FigureRenderer renderer;
    renderer.setGeometry(empty);
    renderer.draw(frameSize, frameSize, 0.0);
    glFinish();
    for (auto _ : state)
        renderer.draw(frameSize, frameSize, 0.0);
    glFinish();
    renderer.releaseGL();
}

// From the string's hand-over to the first frame drawn from its cache: build the geometry,
// upload it and draw.
void BM_HandOverToFirstFrame(benchmark::State &state)
{
    context();
    const Plant &p = plant(static_cast<int>(state.range(0)));
    FigureRenderer renderer;
    for (auto _ : state) {
        renderer.setGeometry(build(p));
        renderer.draw(frameSize, frameSize, 0.0);
        glFinish();
    }
    setCounters(state, p);
    renderer.releaseGL();
}

BENCHMARK(BM_FrameImmediate)->Arg(7)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameCached)->Arg(7)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameCachedSprigOnly)->Arg(7)->Arg(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HandOverToFirstFrame)->Arg(7)->Arg(4)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
