// The render of a type 1 generation of 1,653,427 particles: the whole pass,
// and its two hot parts, the depth sort and the stroke drawing; the pass and
// the sort on one worker and on two.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "benchSystems.h"
#include "imaging/depthSort.h"
#include "imaging/particleBrush.h"
#include "imaging/renderer.h"

namespace bramblewisp::bench {

namespace {

const ParticleSystem& bigSystem() {
    static const auto system = grownSystem(1, 64, 8);
    return *system;
}

std::vector<Particle> collected() {
    std::vector<Particle> all;
    const ParticleList* bank = bigSystem().store->currentBank();
    for (int layer = 0; layer < kLayerCount; ++layer) {
        for (const Particle& p : bank[layer]) {
            all.push_back(p);
        }
    }
    return all;
}

void renderParticlesType1(benchmark::State& state) {
    const ParticleSystem& system = bigSystem();
    Canvas canvas;
    platform::WorkerPool workers(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        Picture picture;
        state.ResumeTiming();
        renderParticles(canvas, picture.image, picture.depth, system, false, true, quiet, workers);
    }
    state.SetItemsProcessed(state.iterations() * system.store->currentCount());
}

// Arg: the workers that share the sort.
template <typename Record> void depthSortType1(benchmark::State& state) {
    platform::WorkerPool workers(static_cast<int>(state.range(0)));
    std::vector<Record> keys;
    for (const Particle& p : collected()) {
        keys.push_back(Record{p.position.z, static_cast<uint32_t>(keys.size())});
    }
    std::vector<Record> work;
    for (auto _ : state) {
        state.PauseTiming();
        work = keys;
        state.ResumeTiming();
        depthSort(work.data(), work.data() + work.size(), depthsort::FartherFirst{}, workers);
        benchmark::DoNotOptimize(work.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(keys.size()));
}

// The key beside a full pointer, and beside a 32-bit index.
struct WideRecord {
    WideRecord(float z, uint32_t index) : z(z), index(index) {}
    float z;
    uint64_t index;
};
struct CompactRecord {
    float z;
    uint32_t index;
};

// The order of 1,553,886 keys at one depth, as many as type 3 draws. Arg 0:
// through the sort; 1: read off the unsorted keys, a window at a time, as the
// renderer reads its particles.
void depthOrderOneDepth(benchmark::State& state) {
    std::vector<CompactRecord> keys(1553886);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        keys[i] = CompactRecord{0.0f, static_cast<uint32_t>(i)};
    }
    std::vector<CompactRecord> work;
    std::vector<CompactRecord> window(2048);
    const auto count = static_cast<std::ptrdiff_t>(keys.size());
    for (auto _ : state) {
        if (state.range(0) == 0) {
            state.PauseTiming();
            work = keys;
            state.ResumeTiming();
            depthSort(work.data(), work.data() + work.size(), depthsort::FartherFirst{});
            benchmark::DoNotOptimize(work.data());
            continue;
        }
        for (std::ptrdiff_t begin = 0; begin < count; begin += 2048) {
            const std::ptrdiff_t end = std::min(count, begin + 2048);
            CompactRecord* next = window.data();
            depthsort::equalKeysOrder(count, begin, end,
                                      [&](std::ptrdiff_t position) { *next++ = keys[position]; });
            benchmark::DoNotOptimize(window.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * count);
}

// First arg: 1 writes the depths (the outline post effects need them), 0
// skips them. Second arg: 1 draws four strokes at a time as the renderer
// does, 0 one at a time.
void drawStrokesType1(benchmark::State& state) {
    // The renderer's projection, applied once up front, in far-to-near order
    // so that the strokes touch the picture in the order of a real run.
    const std::vector<Particle> particles = collected();
    Vec3 low{1e6f, 1e6f, 1e6f}, high{-1e6f, -1e6f, -1e6f};
    for (const Particle& p : particles) {
        for (const Vec3& v :
             {p.position, Vec3{p.position.x + p.direction.x, p.position.y + p.direction.y,
                               p.position.z + p.direction.z}}) {
            low = Vec3{std::min(low.x, v.x), std::min(low.y, v.y), std::min(low.z, v.z)};
            high = Vec3{std::max(high.x, v.x), std::max(high.y, v.y), std::max(high.z, v.z)};
        }
    }
    const float scale =
        0.95f * std::min(800.0f / (high.x - low.x + 0.1f), 600.0f / (high.y - low.y + 0.1f));
    const float cx = (low.x + high.x) * 0.5f, cy = (low.y + high.y) * 0.5f;
    std::vector<std::pair<Vec3, Vec3>> strokes;
    for (const Particle& p : particles) {
        const Vec3& a = p.position;
        const Vec3 b{a.x + p.direction.x, a.y + p.direction.y, a.z + p.direction.z};
        strokes.emplace_back(Vec3{(a.x - cx) * scale, (a.y - cy) * scale, a.z - low.z},
                             Vec3{(b.x - cx) * scale, (b.y - cy) * scale, b.z - low.z});
    }
    std::stable_sort(strokes.begin(), strokes.end(),
                     [](const auto& s, const auto& t) { return s.first.z > t.first.z; });
    Canvas canvas;
    for (auto _ : state) {
        state.PauseTiming();
        Picture picture;
        const ParticleBrush brush{canvas,        picture.image,
                                  picture.depth, 255.0f / (high.z - low.z + 0.1f),
                                  false,         state.range(0) != 0};
        StrokeJitter jitter = startedStrokeJitter();
        state.ResumeTiming();
        std::size_t i = 0;
        if (state.range(1) != 0) {
            for (; i + 4 <= strokes.size(); i += 4) {
                const Vec3 a[4] = {strokes[i].first, strokes[i + 1].first, strokes[i + 2].first,
                                   strokes[i + 3].first};
                const Vec3 b[4] = {strokes[i].second, strokes[i + 1].second, strokes[i + 2].second,
                                   strokes[i + 3].second};
                brush.drawFour(a, b, jitter);
            }
        }
        for (; i < strokes.size(); ++i) {
            brush.drawParticle(strokes[i].first, strokes[i].second, jitter);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(strokes.size()));
}

} // namespace

// Wall time: the workers' time is not the main thread's.
BENCHMARK(renderParticlesType1)
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0);
BENCHMARK(depthSortType1<WideRecord>)
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK(depthSortType1<CompactRecord>)
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK(depthOrderOneDepth)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(drawStrokesType1)
    ->Args({0, 1})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0);

} // namespace bramblewisp::bench
