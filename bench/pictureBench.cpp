// A whole 3840 x 2160 picture of each type, as `-width 3840 -height 2160
// -iter 12` draws it without a font: the grid background, the growth up to
// the larger detail limit, the render and no post effect. Saving is not
// timed.
#include <benchmark/benchmark.h>

#include "app/picture.h"
#include "app/runBudget.h"
#include "app/settings.h"
#include "benchSystems.h"

namespace bramblewisp::bench {

namespace {

void drawPicture4K(benchmark::State& state) {
    Settings settings;
    settings.type = static_cast<int32_t>(state.range(0));
    settings.iterations = 12;
    settings.width = 3840;
    settings.height = 2160;
    int32_t particles = 0;
    platform::WorkerPool workers(1);
    for (auto _ : state) {
        Bitmap image(settings.width, settings.height);
        RunBudget budget(30, BudgetSources::platform());
        particles = drawPicture(settings, image, nullptr, budget, quiet, workers).particles;
    }
    state.counters["particles"] = particles;
}

} // namespace

BENCHMARK(drawPicture4K)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->MinTime(5.0);

} // namespace bramblewisp::bench
