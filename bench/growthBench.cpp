// One generation of type 0 from about 250,000 to about 900,000 particles.
#include <benchmark/benchmark.h>

#include "app/evolution.h"
#include "benchSystems.h"

namespace bramblewisp::bench {

namespace {

void growGenerationType0(benchmark::State& state) {
    const auto seeded = grownSystem(0, 140, 6);
    const Snapshot start = snapshotOf(*seeded);
    auto system = grownSystem(0, 140, 0);
    int64_t children = 0;
    for (auto _ : state) {
        state.PauseTiming();
        restore(*system, start);
        state.ResumeTiming();
        growGeneration(*system, quiet);
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

BENCHMARK(growGenerationType0)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace bramblewisp::bench
