// The backgrounds and post effects, each over a whole 800 x 600 picture.
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
    for (auto _ : state) {
        auto effect = createBackground(static_cast<int32_t>(state.range(0)), 0, false);
        effect->fill(canvas, picture.image, picture.depth);
        benchmark::DoNotOptimize(picture.image.pixels.data());
    }
}

void postEffect(benchmark::State& state) {
    Picture picture;
    const auto effect = createPostEffect(static_cast<int32_t>(state.range(0)));
    for (auto _ : state) {
        effect->apply(picture.image, picture.depth);
        benchmark::DoNotOptimize(picture.image.pixels.data());
    }
}

} // namespace

BENCHMARK(background)->ArgName("prefx")->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(postEffect)->ArgName("postfx")->DenseRange(1, 3)->Unit(benchmark::kMillisecond);

} // namespace bramblewisp::bench
