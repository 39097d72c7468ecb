#include "engine/generation.h"

#include <benchmark/benchmark.h>

static void BM_Rewrite(benchmark::State &state)
{
    const auto set = lsNewRuleSet();
    lsNewRule(*set, 'F', "F+F-F-F+F");
    for (auto _ : state) {
        lsGeneration g = lsGenerate(*set, "F", 8);
        benchmark::DoNotOptimize(g.string.data());
    }
}
BENCHMARK(BM_Rewrite);

BENCHMARK_MAIN();
