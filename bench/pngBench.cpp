// A 3840 x 2160 picture, as a type 1 run would draw it on a grid
// background, encoded as PNG.
#include <benchmark/benchmark.h>

#include "benchSystems.h"
#include "imaging/backgrounds.h"
#include "imaging/canvas.h"
#include "imaging/png.h"
#include "imaging/renderer.h"

namespace bramblewisp::bench {

namespace {

void encodePng4K(benchmark::State& state) {
    Bitmap image(3840, 2160), depth(3840, 2160);
    Canvas canvas;
    WaveGridBackground(0, false).fill(canvas, image, depth);
    platform::WorkerPool workers(1);
    renderParticles(canvas, image, depth, *grownSystem(1, 64, 8), false, false, quiet, workers);
    const PngText recipe[] = {{"bramblewisp", "-type 1"}};
    std::size_t size = 0;
    for (auto _ : state) {
        size = encodePng(image, recipe).value().size();
    }
    state.counters["bytes"] = static_cast<double>(size);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(3 * image.cellCount()));
}

} // namespace

BENCHMARK(encodePng4K)->Unit(benchmark::kMillisecond)->MinTime(3.0);

} // namespace bramblewisp::bench
