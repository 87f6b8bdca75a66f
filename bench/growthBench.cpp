// One generation of type 0 from about 250,000 to about 900,000 particles:
// the plain walk (Arg 0), or shared by Arg workers.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "app/evolution.h"
#include "benchSystems.h"

namespace bramblewisp::bench {

namespace {

void growGenerationType0(benchmark::State& state) {
    const auto seeded = grownSystem(0, 140, 6);
    const Snapshot start = snapshotOf(*seeded);
    auto system = grownSystem(0, 140, 0);
    const auto workerCount = static_cast<int>(state.range(0));
    platform::WorkerPool workers(std::max(workerCount, 1));
    int64_t children = 0;
    for (auto _ : state) {
        state.PauseTiming();
        restore(*system, start);
        state.ResumeTiming();
        if (workerCount == 0) {
            growGeneration(*system, quiet);
        } else {
            growGenerationInParts(*system, quiet, workers);
        }
        children += system->store->currentCount();
        state.PauseTiming();
        for (int layer = 0; layer < kLayerCount; ++layer) {
            system->store->currentBank()[layer].clear();
        }
        system->store->swapBanks();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(children);
    state.counters["children"] = static_cast<double>(children) / state.iterations();
}

} // namespace

// Wall time: the workers' time is not the main thread's.
BENCHMARK(growGenerationType0)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

} // namespace bramblewisp::bench
