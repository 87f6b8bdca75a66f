#include "imaging/renderer.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "imaging/depthSort.h"
#include "imaging/particleBrush.h"
#include "system/largeArray.h"

namespace bramblewisp {

namespace {

// What the sort moves: a particle's position z and where the particle is, in
// 8 bytes, so that comparing and swapping never touch the particles.
struct DepthKey {
    float z;
    uint32_t index; // chunk ordinal above `shift` bits, slot below
};

struct Box {
    Vec3 max{-1000000.0f, -1000000.0f, -1000000.0f};
    Vec3 min{1000000.0f, 1000000.0f, 1000000.0f};

    void include(const Vec3& v) {
        include(v.x, max.x, min.x);
        include(v.y, max.y, min.y);
        include(v.z, max.z, min.z);
    }

    static void include(float value, float& high, float& low) {
        if (value > high) {
            high = value;
        }
        if (value < low) {
            low = value;
        }
    }
};

Vec3 endPoint(const Particle& p) {
    return Vec3{p.position.x + p.direction.x, p.position.y + p.direction.y,
                p.position.z + p.direction.z};
}

// References to every particle of the current bank, in layer and list order,
// and their bounding box. The box takes the same maxima and minima in any
// order, so it is gathered here, in memory order, rather than after the sort.
class Collection {
  public:
    explicit Collection(const ParticleStore& store)
        : keys(static_cast<std::size_t>(store.currentCount()), store.onLargeBlocks()) {
        const ParticleList* bank = store.currentBank();
        int32_t largestChunk = 1;
        for (int layer = 0; layer < kLayerCount; ++layer) {
            largestChunk = std::max(largestChunk, bank[layer].chunkSize);
        }
        shift = static_cast<uint32_t>(std::bit_width(static_cast<uint32_t>(largestChunk - 1)));
        for (int layer = 0; layer < kLayerCount; ++layer) {
            for (const auto& chunk : bank[layer].chunks) {
                const uint32_t ordinal = static_cast<uint32_t>(chunkSlots.size());
                assert(ordinal < (1u << (32 - shift)));
                chunkSlots.push_back(chunk->slots);
                for (uint32_t k = 0; k < chunk->used; ++k) {
                    const Particle& p = chunk->slots[k];
                    keys.push(DepthKey{p.position.z, (ordinal << shift) | k});
                    box.include(endPoint(p));
                    box.include(p.position);
                }
            }
        }
    }

    const Particle& operator[](uint32_t index) const {
        return chunkSlots[index >> shift][index & ((1u << shift) - 1)];
    }

    LargeArray<DepthKey> keys;
    Box box;

  private:
    std::vector<const Particle*> chunkSlots;
    uint32_t shift;
};

// Asks for a particle's cache line ahead of its use: the sorted order jumps
// all over the store.
void prefetch(const void* address) {
#if defined(__GNUC__)
    __builtin_prefetch(address);
#else
    (void)address;
#endif
}

} // namespace

void renderParticles(const Canvas& canvas, Bitmap& image, Bitmap& depth,
                     const ParticleSystem& system, bool dark, bool keepDepth) {
    std::fputs("get ", stdout);
    std::fflush(stdout);
    Collection collection(*system.store);
    LargeArray<DepthKey>& keys = collection.keys;
    std::printf("(%i) ", static_cast<int>(keys.size()));
    std::fputs("sort ", stdout);
    std::fflush(stdout);

    // Strokes all at one depth (flat presets) need no sort: their order is
    // read off the unsorted keys while drawing.
    const bool oneDepth = depthsort::allEqual(keys.data(), keys.data() + keys.size());
    if (!oneDepth) {
        depthSort(keys.data(), keys.data() + keys.size(), depthsort::FartherFirst{});
    }

    std::fputs("bbox ", stdout);
    std::fflush(stdout);
    const Box& box = collection.box;
    const float width = static_cast<float>(image.width);
    const float height = static_cast<float>(image.height);
    const float centreX = (box.min.x + box.max.x) * 0.5f;
    const float centreY = (box.min.y + box.max.y) * 0.5f;
    const float scale = 0.95f * std::min(width / (box.max.x - box.min.x + 0.1f),
                                         height / (box.max.y - box.min.y + 0.1f));

    std::fputs("draw ", stdout);
    std::fflush(stdout);
    const ParticleBrush brush{canvas, image, depth, 255.0f / (box.max.z - box.min.z + 0.1f), dark,
                              keepDepth};
    auto project = [&](const Vec3& v) {
        return Vec3{(v.x - centreX) * scale, (v.y - centreY) * scale, v.z - box.min.z};
    };
    // Keys in drawing order, count of them.
    auto drawInOrder = [&](const DepthKey* ordered, std::size_t count) {
        constexpr std::size_t kAhead = 16;
        auto fetch = [&](std::size_t i) -> const Particle& {
            if (i + kAhead < count) {
                prefetch(&collection[ordered[i + kAhead].index]);
            }
            return collection[ordered[i].index];
        };
        // Four at a time: the brush shares much of their work.
        std::size_t i = 0;
        for (; i + 4 <= count; i += 4) {
            Vec3 a[4], b[4];
            for (std::size_t k = 0; k < 4; ++k) {
                const Particle& p = fetch(i + k);
                a[k] = project(p.position);
                b[k] = project(endPoint(p));
            }
            brush.drawFour(a, b);
        }
        for (; i < count; ++i) {
            const Particle& p = fetch(i);
            brush.drawParticle(project(p.position), project(endPoint(p)));
        }
    };
    if (!oneDepth) {
        drawInOrder(keys.data(), keys.size());
        return;
    }
    // A multiple of four, so that only the last window draws strokes singly.
    constexpr std::ptrdiff_t kWindow = 2048;
    DepthKey window[kWindow];
    const auto count = static_cast<std::ptrdiff_t>(keys.size());
    for (std::ptrdiff_t begin = 0; begin < count; begin += kWindow) {
        const std::ptrdiff_t end = std::min(count, begin + kWindow);
        depthsort::equalKeysInOrder(keys.data(), count, begin, end, window);
        drawInOrder(window, static_cast<std::size_t>(end - begin));
    }
}

} // namespace bramblewisp
