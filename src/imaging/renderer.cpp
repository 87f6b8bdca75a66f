#include "imaging/renderer.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>
#include <span>
#include <vector>

#include "imaging/depthSort.h"
#include "imaging/particleBrush.h"
#include "imaging/pictureScale.h"
#include "platform/largeArray.h"
#include "platform/prefetch.h"

namespace bramblewisp {

namespace {

// What the sort moves: a particle's position z and where the particle is, in
// 8 bytes, so that comparing and swapping never touch the particles.
struct DepthKey {
    float z;
    uint32_t index; // chunk ordinal above `shift` bits, slot below
};

// atPosition finds a position's chunk from the first chunk of its bucket of
// 2^kBucketBits positions.
constexpr uint32_t kBucketBits = 10;

Vec3 endPoint(const Particle& p) {
    return Vec3{p.position.x + p.direction.x, p.position.y + p.direction.y,
                p.position.z + p.direction.z};
}

struct Box {
    Vec3 max{-1000000.0f, -1000000.0f, -1000000.0f};
    Vec3 min{1000000.0f, 1000000.0f, 1000000.0f};

    // A particle's stroke: its end, then its start.
    void include(const Particle& p) {
        include(endPoint(p));
        include(p.position);
    }

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

// Whether every particle of the bank lies at the first one's z (so no z is
// NaN), with their box in box if so. Stops at the first that does not: a
// picture in depth shows it at once.
bool gatherOneDepth(const ParticleList* bank, Box& box) {
    bool first = true;
    bool oneDepth = true;
    float z = 0.0f;
    for (int layer = 0; layer < kLayerCount && oneDepth; ++layer) {
        bank[layer].forEachChunk([&](std::span<const Particle> chunk) {
            for (std::size_t k = 0; k < chunk.size() && oneDepth; ++k) {
                const Particle& p = chunk[k];
                z = first ? p.position.z : z;
                first = false;
                oneDepth = p.position.z == z;
                box.include(p);
            }
        });
    }
    return oneDepth;
}

// Every particle of the current bank, in layer and list order (the order the
// sort starts from), and their bounding box. The box is gathered here, in
// memory order, rather than after the sort. Particles all at one depth (flat
// presets) get no keys: their drawing order is known without a sort.
class Collection {
  public:
    explicit Collection(const ParticleStore& store)
        : oneDepth(gatherOneDepth(store.currentBank(), box)),
          keys(oneDepth ? 0 : static_cast<std::size_t>(store.currentCount()),
               store.onLargeBlocks() && !oneDepth) {
        const ParticleList* bank = store.currentBank();
        if (!oneDepth) {
            box = Box{};
        }
        int32_t largestChunk = 1;
        for (int layer = 0; layer < kLayerCount; ++layer) {
            largestChunk = std::max(largestChunk, bank[layer].chunkSize);
        }
        shift = static_cast<uint32_t>(std::bit_width(static_cast<uint32_t>(largestChunk - 1)));
        for (int layer = 0; layer < kLayerCount; ++layer) {
            bank[layer].forEachChunk([&](std::span<const Particle> chunk) {
                const auto ordinal = static_cast<uint32_t>(chunkSlots.size());
                const auto used = static_cast<uint32_t>(chunk.size());
                assert(ordinal < (1u << (32 - shift)));
                chunkSlots.push_back(chunk.data());
                if (oneDepth) {
                    chunkStarts.push_back(count);
                    count += used;
                    return;
                }
                for (uint32_t k = 0; k < used; ++k) {
                    const Particle& p = chunk[k];
                    keys.push(DepthKey{p.position.z, (ordinal << shift) | k});
                    box.include(p);
                }
                count += used;
            });
        }
        if (oneDepth) {
            chunkStarts.push_back(count);
            // The first chunk of every bucket, for atPosition.
            for (uint32_t c = 0, position = 0; position < count;
                 position += uint32_t{1} << kBucketBits) {
                while (chunkStarts[c + 1] <= position) {
                    ++c;
                }
                firstChunks.push_back(c);
            }
        }
    }

    // The particle of a key.
    const Particle& operator[](uint32_t index) const {
        return chunkSlots[index >> shift][index & ((1u << shift) - 1)];
    }

    // The particle at a position of the collection order (one depth only).
    const Particle& atPosition(uint32_t position) const {
        uint32_t c = firstChunks[position >> kBucketBits];
        while (chunkStarts[c + 1] <= position) {
            ++c;
        }
        return chunkSlots[c][position - chunkStarts[c]];
    }

    Box box;
    const bool oneDepth;
    LargeArray<DepthKey> keys; // none at one depth
    uint32_t count = 0;

  private:
    std::vector<const Particle*> chunkSlots;
    // One depth only: where each chunk starts in the collection order (and
    // the count at the end), and the first chunk of every bucket.
    std::vector<uint32_t> chunkStarts;
    std::vector<uint32_t> firstChunks;
    uint32_t shift;
};

// The fit keeps every projected point less than 0.475 of a side from the
// centre, so a side of n pixels leaves at least n / 2 - ceil(0.475 n)
// pixels on either side; one less allows for rounding in the projection.
int32_t freeMargin(int32_t n) {
    return std::max<int32_t>(0, n / 2 - (475 * n + 999) / 1000 - 1);
}

} // namespace

int32_t strokeReach(int32_t width, int32_t height) {
    return std::min(freeMargin(width), freeMargin(height));
}

void renderParticles(const Canvas& canvas, Bitmap& image, Bitmap& depth,
                     const ParticleSystem& system, bool dark, bool keepDepth, Progress& progress,
                     int32_t palette) {
    progress.begin(Progress::Step::collect);
    Collection collection(*system.store);
    LargeArray<DepthKey>& keys = collection.keys;
    progress.collected(static_cast<int32_t>(collection.count));
    progress.begin(Progress::Step::sort);
    if (!collection.oneDepth) {
        depthSort(keys.data(), keys.data() + keys.size(), depthsort::FartherFirst{});
    }

    progress.begin(Progress::Step::fit);
    const Box& box = collection.box;
    const float width = static_cast<float>(image.width);
    const float height = static_cast<float>(image.height);
    const float centreX = (box.min.x + box.max.x) * 0.5f;
    const float centreY = (box.min.y + box.max.y) * 0.5f;
    const float scale = 0.95f * std::min(width / (box.max.x - box.min.x + 0.1f),
                                         height / (box.max.y - box.min.y + 0.1f));

    progress.begin(Progress::Step::draw);
    // The jitter and the width shrink to stay inside the picture, which
    // only ever happens to pictures far smaller than 800 x 600.
    const PictureScale pictureScale(image.width, image.height);
    const int32_t reach = strokeReach(image.width, image.height);
    int32_t lineWidth = pictureScale.lineWidth();
    int32_t jitterScale = pictureScale.jitterScale();
    while (lineWidth > 1 && lineWidth / 2 > reach) {
        --lineWidth;
    }
    while (jitterScale > 0 && jitterOf(255, jitterScale) + lineWidth / 2 > reach) {
        --jitterScale;
    }
    const ParticleBrush brush{canvas,   image,     depth,   255.0f / (box.max.z - box.min.z + 0.1f),
                              dark,     keepDepth, palette, jitterScale,
                              lineWidth};
    StrokeJitter jitter = startedStrokeJitter();
    auto project = [&](const Vec3& v) {
        return Vec3{(v.x - centreX) * scale, (v.y - centreY) * scale, v.z - box.min.z};
    };
    // The particles particleAt(0 .. count - 1), in that order.
    auto drawInOrder = [&](std::size_t count, auto particleAt) {
        constexpr std::size_t kAhead = 16;
        auto fetch = [&](std::size_t i) -> const Particle& {
            // The sorted order jumps all over the store.
            if (i + kAhead < count) {
                platform::prefetch(&particleAt(i + kAhead));
            }
            return particleAt(i);
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
            brush.drawFour(a, b, jitter);
        }
        for (; i < count; ++i) {
            const Particle& p = fetch(i);
            brush.drawParticle(project(p.position), project(endPoint(p)), jitter);
        }
    };
    if (!collection.oneDepth) {
        drawInOrder(keys.size(),
                    [&](std::size_t i) -> const Particle& { return collection[keys[i].index]; });
        return;
    }
    // A multiple of four, so that only the last window draws strokes singly.
    constexpr std::ptrdiff_t kWindow = 2048;
    const Particle* window[kWindow];
    const auto count = static_cast<std::ptrdiff_t>(collection.count);
    for (std::ptrdiff_t begin = 0; begin < count; begin += kWindow) {
        const std::ptrdiff_t end = std::min(count, begin + kWindow);
        const Particle** next = window;
        depthsort::equalKeysOrder(count, begin, end, [&](std::ptrdiff_t position) {
            *next++ = &collection.atPosition(static_cast<uint32_t>(position));
        });
        drawInOrder(static_cast<std::size_t>(end - begin),
                    [&](std::size_t i) -> const Particle& { return *window[i]; });
    }
}

} // namespace bramblewisp
