// Exports of demo figures, from the document to the file written: animations (every frame
// drawn on the EGL surfaceless context and encoded) and a large 3D model. Wall time per file.
//
//   build/bench/export_bench
//   build/bench/export_bench --benchmark_filter=Turn     # Bush 3D turning, 36 frames at 256x256
#include "document/model/documentfigure.h"
#include "document/model/documentfile.h"
#include "view/export/figureanimation.h"
#include "view/export/modelexport.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

DocumentData demo(const char *name)
{
    DocumentData document;
    std::string error;
    if (!readDocumentFile(std::string(SPRIG_DEMOS_DIR "/") + name, document, &error)) {
        std::fprintf(stderr, "export_bench: %s\n", error.c_str());
        std::exit(1);
    }
    return document;
}

std::string output(const char *name)
{
    return (std::filesystem::temp_directory_path() / name).string();
}

void animate(benchmark::State &state, const DocumentData &document, AnimationKind kind)
{
    AnimationOptions options;
    options.kind = kind;
    options.lineColor = document.color.rgba();
    options.backgroundColor = document.bgColor.rgba();
    const std::string path = output("sprig-export-bench.gif");
    for (auto _ : state) {
        const FigureRequest request = figureRequest(document);
        const FigureResult figure = buildFigure(request);
        std::string error;
        if (!writeAnimation(figure, request.angle, options, path, &error))
            state.SkipWithError(error.c_str());
    }
    state.counters["bytes"] = double(std::filesystem::file_size(path));
    std::filesystem::remove(path);
}

// sprig-render "Bush 3D.lsd" --size 256 --frames 36 -o bush.gif
void BM_TurnBush3D(benchmark::State &state)
{
    animate(state, demo("3D/Bush 3D.lsd"), AnimationKind::Turn);
}
BENCHMARK(BM_TurnBush3D)->Unit(benchmark::kMillisecond)->UseRealTime();

// sprig-render "Plant B.lsd" --iterations 6 --animate growth --size 256 -o plant.gif
void BM_GrowthPlantB(benchmark::State &state)
{
    DocumentData document = demo("Plants/Plant B.lsd");
    document.iterations = 6;
    animate(state, document, AnimationKind::Growth);
}
BENCHMARK(BM_GrowthPlantB)->Unit(benchmark::kMillisecond)->UseRealTime();

// sprig-render "Hilbert Curve 3D.lsd" --iterations 7 -o hilbert.obj: 2,097,152 vertices.
void BM_ModelHilbert3D7(benchmark::State &state)
{
    DocumentData document = demo("3D/Hilbert Curve 3D.lsd");
    document.iterations = 7;
    const FigureResult figure = buildFigure(figureRequest(document));
    ModelOptions options;
    options.name = "Hilbert Curve 3D";
    options.pass = figure.pass;
    const std::string path = output("sprig-export-bench.obj");
    for (auto _ : state) {
        std::string error;
        if (!writeModel(*figure.rules, *figure.commands.source(), options, path, &error))
            state.SkipWithError(error.c_str());
    }
    state.counters["bytes"] = double(std::filesystem::file_size(path));
    std::filesystem::remove(path);
}
BENCHMARK(BM_ModelHilbert3D7)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
