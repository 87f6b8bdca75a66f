// The turns' own correctly rounded sine and cosine against the C library's
// float ones, over every jitter angle of one amplitude.
#include <benchmark/benchmark.h>

#include <cmath>

#include "system/sineCosine.h"
#include "system/turnTables.h"

namespace bramblewisp::bench {

namespace {

template <typename SineCosineOf>
void overJitterAngles(benchmark::State& state, SineCosineOf sineCosine) {
    constexpr float amplitude = 1.5707964f;
    for (auto _ : state) {
        for (int32_t step = 0; step < kJitterSteps; ++step) {
            benchmark::DoNotOptimize(sineCosine(jitterAngle(step, amplitude)));
        }
    }
    state.SetItemsProcessed(state.iterations() * kJitterSteps);
}

void sineCosineOwn(benchmark::State& state) {
    overJitterAngles(state, sineCosineOf);
}

void sineCosineLibrary(benchmark::State& state) {
    overJitterAngles(state, [](float angle) {
        return SineCosine{std::sin(angle), std::cos(angle)};
    });
}

} // namespace

BENCHMARK(sineCosineOwn)->Unit(benchmark::kMicrosecond);
BENCHMARK(sineCosineLibrary)->Unit(benchmark::kMicrosecond);

} // namespace bramblewisp::bench
