// Expansion units: making the table of a pass, building a picture's geometry from it, and
// how closely the pictures made from units agree with those of every symbol walked.
//
//   build/bench/unit_bench --benchmark_filter='Table|Geometry|Cancel'
//   build/bench/unit_bench --benchmark_filter=Agreement/5  # every demo at pass 5 (minutes at
//                                                         # pass 7: it walks them all)
#include "document/model/documentfigure.h"
#include "document/model/documentfile.h"
#include "engine/unitdrawing.h"
#include "engine/unittable.h"
#include "figure/figurepipeline.h"
#include "tests/view/pictureagreement.h"
#include "view/figurerenderer.h"
#include "view/offscreencontext.h"
#include "view/viewgeometry.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int pictureSize = 1000;

OffscreenContext &context()
{
    static OffscreenContext *c = [] {
        auto *created = new OffscreenContext;
        std::string error;
        if (!created->create(pictureSize, pictureSize, &error)) {
            std::fprintf(stderr, "unit_bench: no GL context: %s\n", error.c_str());
            std::exit(1);
        }
        return created;
    }();
    if (!c->makeCurrent()) {
        std::fprintf(stderr, "unit_bench: the GL context cannot be made current\n");
        std::exit(1);
    }
    return *c;
}

// The shipped demos, by name, read once.
const std::map<std::string, DocumentData> &demos()
{
    static const std::map<std::string, DocumentData> all = [] {
        std::map<std::string, DocumentData> read;
        for (const auto &entry : fs::recursive_directory_iterator(SPRIG_DEMOS_DIR)) {
            if (entry.path().extension() != ".lsd")
                continue;
            DocumentData document;
            std::string error;
            if (!readDocumentFile(entry.path().string(), document, &error)) {
                std::fprintf(stderr, "unit_bench: %s\n", error.c_str());
                std::exit(1);
            }
            read[entry.path().stem().string()] = document;
        }
        return read;
    }();
    return all;
}

FigureResult figureOf(const std::string &demo, int passes)
{
    DocumentData document = demos().at(demo);
    document.iterations = passes;
    return buildFigure(figureRequest(document));
}

FigureView viewAt(double zoom)
{
    FigureView view;
    if (zoom != 1.0) {
        view.zoom = zoom;
        view.centre = std::array<double, 3>{ 0.0, 0.0, 0.0 }; // where every figure starts
    }
    return view;
}

void BM_UnitTable(benchmark::State &state, const std::string &demo)
{
    const FigureResult figure = figureOf(demo, 7);
    const std::string axiom = *figureRequest(demos().at(demo)).axiom;
    for (auto _ : state) {
        const lsUnitTable::Made made = lsUnitTable::make(*figure.rules, axiom, figure.pass);
        if (!made.table) {
            state.SkipWithError(made.refusal.c_str());
            return;
        }
        state.counters["units"] = double(made.table->unitCount());
        state.counters["headings"] = double(made.table->headings().size());
    }
}

void BM_UnitGeometry(benchmark::State &state, const std::string &demo, double zoom)
{
    const FigureResult figure = figureOf(demo, 7);
    const lsUnitTable::Made made = figure.commands.units(figure.rules->angle, figure.rules->step);
    if (!made.table) {
        state.SkipWithError(made.refusal.c_str());
        return;
    }
    lsGeometry geometry;
    for (auto _ : state) {
        if (!lsBuildUnitGeometry(
                    *made.table, geometry,
                    viewReduction(made.table->box(), pictureSize, pictureSize, viewAt(zoom)))) {
            state.SkipWithError("no memory for the geometry");
            return;
        }
    }
    state.counters["vertices"] = double(geometry.vertexCount());
}

// A build of pass 7 of the Quadratic Gosper Curve at 2000 x 2000 cancelled 50 ms in:
// stop_ms runs from the flag being set to the build returning.
void BM_UnitCancel(benchmark::State &state)
{
    const FigureResult figure = figureOf("Quadratic Gosper Curve", 7);
    const lsUnitTable::Made made = figure.commands.units(figure.rules->angle, figure.rules->step);
    if (!made.table) {
        state.SkipWithError(made.refusal.c_str());
        return;
    }
    double stopMs = 0;
    for (auto _ : state) {
        std::atomic<bool> cancel{ false };
        lsGeometry geometry;
        std::chrono::steady_clock::time_point returned;
        std::thread build([&] {
            (void)lsBuildUnitGeometry(*made.table, geometry,
                                      viewReduction(made.table->box(), 2000, 2000, {}), &cancel);
            returned = std::chrono::steady_clock::now();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const auto set = std::chrono::steady_clock::now();
        cancel = true;
        build.join();
        stopMs =
                std::max(stopMs, std::chrono::duration<double, std::milli>(returned - set).count());
    }
    state.counters["stop_ms"] = stopMs;
}

// Every demo at one pass and zoom, at 1000 x 1000: the picture buildViewGeometry draws
// against the one its pass walked gives. The lowest agreement either way, over the demos.
void BM_UnitAgreement(benchmark::State &state, int passes, double zoom)
{
    context();
    FigureRenderer renderer;
    const FigureView view = viewAt(zoom);
    const auto picture = [&](std::shared_ptr<lsGeometry> geometry) {
        renderer.setGeometry(std::move(geometry));
        renderer.draw(pictureSize, pictureSize, 30.0, view);
        return captureImageRep(pictureSize, pictureSize);
    };
    for (auto _ : state) {
        double lowest = 1.0;
        int byUnits = 0;
        for (const auto &[name, document] : demos()) {
            const FigureResult figure = figureOf(name, passes);
            const double angle = figure.rules->angle, step = figure.rules->step;
            if (!figure.commands.units(angle, step).table)
                continue; // walked either way
            ++byUnits;
            auto drawn = std::make_shared<lsGeometry>();
            auto walked = std::make_shared<lsGeometry>();
            const auto source = figure.commands.source();
            if (!buildViewGeometry(figure.commands, angle, step, pictureSize, pictureSize, *drawn,
                                   view)
                || !buildViewGeometry(*figure.rules, *source, pictureSize, pictureSize, *walked,
                                      view)) {
                state.SkipWithError("no memory for a figure");
                return;
            }
            const lsImageRep shown = picture(drawn), expected = picture(walked);
            const double agreement = std::min(rendertest::litWithinAPixel(shown, expected),
                                              rendertest::litWithinAPixel(expected, shown));
            if (agreement < lowest)
                std::fprintf(stderr, "unit_bench: %s, pass %d, zoom %g: %.5f\n", name.c_str(),
                             passes, zoom, agreement);
            lowest = std::min(lowest, agreement);
        }
        state.counters["lowest"] = lowest;
        state.counters["demos"] = byUnits;
    }
}

void registerAll()
{
    for (const char *demo : { "Eighteen-Segment Koch Island", "Quadratic Gosper Curve",
                              "Koch Curve C", "Hilbert Curve 3D", "Bush 3D" })
        benchmark::RegisterBenchmark(("BM_UnitTable/" + std::string(demo)).c_str(), BM_UnitTable,
                                     std::string(demo))
                ->Unit(benchmark::kMillisecond);
    for (const char *demo :
         { "Eighteen-Segment Koch Island", "Quadratic Gosper Curve", "Koch Curve C" }) {
        for (const double zoom : { 1.0, 256.0 })
            benchmark::RegisterBenchmark(
                    ("BM_UnitGeometry/" + std::string(demo) + "/" + std::to_string(int(zoom)))
                            .c_str(),
                    BM_UnitGeometry, std::string(demo), zoom)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
    }
    benchmark::RegisterBenchmark("BM_UnitCancel", BM_UnitCancel)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(5);
    for (int passes = 5; passes <= 7; ++passes) {
        for (const double zoom : { 1.0, 16.0, 256.0 })
            benchmark::RegisterBenchmark(
                    ("BM_UnitAgreement/" + std::to_string(passes) + "/" + std::to_string(int(zoom)))
                            .c_str(),
                    BM_UnitAgreement, passes, zoom)
                    ->Unit(benchmark::kSecond)
                    ->Iterations(1);
    }
}

} // namespace

int main(int argc, char **argv)
{
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
