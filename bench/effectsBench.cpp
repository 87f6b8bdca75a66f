// The backgrounds and post effects, each over a whole 800 x 600 picture, by
// one worker or two.
#include <benchmark/benchmark.h>

#include "benchSystems.h"
#include "imaging/backgrounds.h"
#include "imaging/canvas.h"
#include "imaging/postEffects.h"

namespace bramblewisp::bench {

namespace {

void background(benchmark::State& state) {
    Picture picture;
    Canvas canvas;
    platform::WorkerPool workers(static_cast<int>(state.range(1)));
    for (auto _ : state) {
        auto effect = createBackground(static_cast<int32_t>(state.range(0)), 0, false);
        effect->fill(canvas, picture.image, picture.depth, workers);
        benchmark::DoNotOptimize(picture.image.pixels.data());
    }
}

void postEffect(benchmark::State& state) {
    Picture picture;
    const auto effect = createPostEffect(static_cast<int32_t>(state.range(0)));
    platform::WorkerPool workers(static_cast<int>(state.range(1)));
    for (auto _ : state) {
        effect->apply(picture.image, picture.depth, workers);
        benchmark::DoNotOptimize(picture.image.pixels.data());
    }
}

} // namespace

// Wall time: the second worker's time is not the main thread's.
BENCHMARK(background)
    ->ArgNames({"prefx", "workers"})
    ->ArgsProduct({{0, 1, 2}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(postEffect)
    ->ArgNames({"postfx", "workers"})
    ->ArgsProduct({{1, 2, 3}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace bramblewisp::bench
