#include "imaging/renderer.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "imaging/box.h"
#include "imaging/depthSort.h"
#include "imaging/particleBrush.h"
#include "imaging/pictureScale.h"
#include "imaging/strokeBands.h"
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

// The chunks of the current bank, layer by layer, and where each starts in
// the collection order (the count at the end).
struct ChunkTable {
    std::vector<const Particle*> slots;
    std::vector<uint32_t> starts;
    uint32_t shift; // a key's index holds the chunk's ordinal above these bits
};

ChunkTable chunkTableOf(const ParticleStore& store) {
    const ParticleList* bank = store.currentBank();
    ChunkTable table;
    int32_t largestChunk = 1;
    for (int layer = 0; layer < kLayerCount; ++layer) {
        largestChunk = std::max(largestChunk, bank[layer].chunkSize);
    }
    table.shift = static_cast<uint32_t>(std::bit_width(static_cast<uint32_t>(largestChunk - 1)));
    uint32_t count = 0;
    for (int layer = 0; layer < kLayerCount; ++layer) {
        bank[layer].forEachChunk([&](std::span<const Particle> chunk) {
            assert(table.slots.size() < (std::size_t{1} << (32 - table.shift)));
            table.slots.push_back(chunk.data());
            table.starts.push_back(count);
            count += static_cast<uint32_t>(chunk.size());
        });
    }
    table.starts.push_back(count);
    return table;
}

// What a part of the collection found in its run of chunks.
struct PartFindings {
    Box box;
    bool empty = true;
    bool oneDepth = true; // every particle at z, the z of the first
    float z = 0.0f;
};

// visit(chunk ordinal, its particles, findings) for the chunks of the table
// in parts side by side, a run of neighbouring chunks each; the findings of
// the parts in chunk order.
template <typename Visit>
std::vector<PartFindings> inParts(const ChunkTable& table, platform::WorkerPool& workers,
                                  Visit visit) {
    const std::size_t chunks = table.slots.size();
    const auto parts = std::min(static_cast<std::size_t>(workers.workers()), chunks);
    std::vector<PartFindings> findings(parts);
    workers.run(static_cast<int>(parts), [&](int part) {
        const auto p = static_cast<std::size_t>(part);
        PartFindings found;
        for (std::size_t c = chunks * p / parts; c < chunks * (p + 1) / parts; ++c) {
            const std::span<const Particle> chunk(table.slots[c],
                                                  table.starts[c + 1] - table.starts[c]);
            visit(static_cast<uint32_t>(c), chunk, found);
        }
        findings[p] = found;
    });
    return findings;
}

// Whether every particle of the bank lies at the first one's z (so no z is
// NaN), with their box in box if so. Each part stops at the first that does
// not: a picture in depth shows it at once.
bool gatherOneDepth(const ChunkTable& table, platform::WorkerPool& workers, Box& box) {
    const std::vector<PartFindings> findings =
        inParts(table, workers, [](uint32_t, std::span<const Particle> chunk, PartFindings& found) {
            if (!found.oneDepth || chunk.empty()) {
                return;
            }
            found.z = found.empty ? chunk.front().position.z : found.z;
            found.empty = false;
            const float z = found.z;
            found.oneDepth = std::all_of(chunk.begin(), chunk.end(),
                                         [z](const Particle& p) { return p.position.z == z; });
            if (found.oneDepth) {
                found.box.includeAll(chunk);
            }
        });
    for (const PartFindings& found : findings) {
        if (!found.oneDepth || (!found.empty && found.z != findings.front().z)) {
            return false;
        }
        box.follow(found.box);
    }
    return true;
}

// Every particle of the current bank, in layer and list order (the order the
// sort starts from), and their bounding box. The box is gathered here, in
// memory order, rather than after the sort, by parts of the chunks side by
// side. Particles all at one depth (flat presets) get no keys: their drawing
// order is known without a sort.
class Collection {
  public:
    Collection(const ParticleStore& store, platform::WorkerPool& workers)
        : Collection(store, workers, chunkTableOf(store)) {}

    // The particle of a key.
    const Particle& operator[](uint32_t index) const {
        return table.slots[index >> table.shift][index & ((1u << table.shift) - 1)];
    }

    // The particle at a position of the collection order (one depth only).
    const Particle& atPosition(uint32_t position) const {
        uint32_t c = firstChunks[position >> kBucketBits];
        while (table.starts[c + 1] <= position) {
            ++c;
        }
        return table.slots[c][position - table.starts[c]];
    }

    Box box;
    const bool oneDepth;
    LargeArray<DepthKey> keys; // none at one depth
    const uint32_t count;

  private:
    Collection(const ParticleStore& store, platform::WorkerPool& workers, ChunkTable chunks)
        : oneDepth(gatherOneDepth(chunks, workers, box)),
          keys(oneDepth ? 0 : chunks.starts.back(), store.onLargeBlocks() && !oneDepth),
          count(chunks.starts.back()), table(std::move(chunks)) {
        if (oneDepth) {
            // The first chunk of every bucket, for atPosition.
            for (uint32_t c = 0, position = 0; position < count;
                 position += uint32_t{1} << kBucketBits) {
                while (table.starts[c + 1] <= position) {
                    ++c;
                }
                firstChunks.push_back(c);
            }
            return;
        }
        DepthKey* out = keys.data();
        const std::vector<PartFindings> findings =
            inParts(table, workers,
                    [&](uint32_t ordinal, std::span<const Particle> chunk, PartFindings& found) {
                        DepthKey* key = out + table.starts[ordinal];
                        const uint32_t first = ordinal << table.shift;
                        for (uint32_t k = 0; k < chunk.size(); ++k) {
                            key[k] = DepthKey{chunk[k].position.z, first | k};
                        }
                        found.box.includeAll(chunk);
                    });
        keys.markFilled(count);
        box = Box{};
        for (const PartFindings& found : findings) {
            box.follow(found.box);
        }
    }

    ChunkTable table;
    // One depth only: the first chunk of every bucket.
    std::vector<uint32_t> firstChunks;
};

// The fit keeps every projected point less than 0.475 of a side from the
// centre, so a side of n pixels leaves at least n / 2 - ceil(0.475 n)
// pixels on either side; one less allows for rounding in the projection.
int32_t freeMargin(int32_t n) {
    return std::max<int32_t>(0, n / 2 - (475 * n + 999) / 1000 - 1);
}

// The fit: world x and y to pixels from the picture's centre, z from the
// nearest point of the cloud.
struct Projection {
    float centreX, centreY, scale, nearest;
    Vec3 operator()(const Vec3& v) const {
        return Vec3{(v.x - centreX) * scale, (v.y - centreY) * scale, v.z - nearest};
    }
};

// How far ahead of the drawing the particles are fetched: the sorted order
// jumps all over the store.
constexpr std::size_t kAhead = 16;

// particleAt(i) of particleAt(0 .. count - 1), the one kAhead later fetched
// meanwhile.
template <typename At>
const Particle& fetchAhead(std::size_t i, std::size_t count, const At& particleAt) {
    if (i + kAhead < count) {
        // Both ends: a 24-byte particle straddles two cache lines 3 times in 8.
        const Particle& ahead = particleAt(i + kAhead);
        platform::prefetch(&ahead.position);
        platform::prefetch(&ahead.direction.z);
    }
    return particleAt(i);
}

// Strokes of the one-depth drawing order in blocks of this many (a multiple
// of four, so that only the last block draws strokes singly).
constexpr std::ptrdiff_t kPlacesAtOnce = 2048;

// use(n, particleAt) for the strokes first to end - 1 of the one-depth
// drawing order, a block at a time, particleAt(0 .. n - 1) the block's
// particles: their places are noted first, so that each can be fetched
// ahead as the sorted order's are (one at a time, each stroke waited on
// memory).
template <typename Use>
void inOneDepthBlocks(const Collection& collection, std::ptrdiff_t first, std::ptrdiff_t end,
                      Use use) {
    const Particle* places[kPlacesAtOnce];
    const auto count = static_cast<std::ptrdiff_t>(collection.count);
    for (std::ptrdiff_t begin = first; begin < end; begin += kPlacesAtOnce) {
        const std::ptrdiff_t n = std::min(kPlacesAtOnce, end - begin);
        const Particle** next = places;
        depthsort::equalKeysOrder(count, begin, begin + n, [&](std::ptrdiff_t position) {
            *next++ = &collection.atPosition(static_cast<uint32_t>(position));
        });
        use(static_cast<std::size_t>(n),
            [&](std::size_t i) -> const Particle& { return *places[i]; });
    }
}

// At one depth the drawing order keeps neighbouring strokes together, so a
// window of the usual size lies within about 200 rows and a tenth of its
// strokes cross a band's edge. Windows twice as long (1.6 MB for three)
// took 2.5% off type 3's run; four times as long, 2.5 to 3% for 1.6 MB more.
constexpr std::size_t kOneDepthWindows = 2;

// Draws with every worker, each in its band of rows (strokeBands.h).
void drawInBands(const Collection& collection, const ParticleBrush& brush,
                 const Projection& project, platform::WorkerPool& workers) {
    const DepthKey* keys = collection.keys.data();
    drawInBands(
        brush, collection.count, workers,
        [&](std::size_t first, std::size_t end, StrokeFiller& filler) {
            auto addAll = [&](std::size_t n, const auto& particleAt) {
                for (std::size_t i = 0; i < n; ++i) {
                    const Particle& p = fetchAhead(i, n, particleAt);
                    filler.add(project(p.position), project(endPoint(p)));
                }
            };
            if (collection.oneDepth) {
                inOneDepthBlocks(collection, static_cast<std::ptrdiff_t>(first),
                                 static_cast<std::ptrdiff_t>(end), addAll);
                return;
            }
            addAll(end - first, [&](std::size_t i) -> const Particle& {
                return collection[keys[first + i].index];
            });
        },
        collection.oneDepth ? kOneDepthWindows * kStrokeWindow : kStrokeWindow);
}

} // namespace

int32_t strokeReach(int32_t width, int32_t height) {
    return std::min(freeMargin(width), freeMargin(height));
}

void renderParticles(const Canvas& canvas, Bitmap& image, Bitmap& depth,
                     const ParticleSystem& system, bool dark, bool keepDepth, Progress& progress,
                     platform::WorkerPool& workers, int32_t palette) {
    progress.begin(Progress::Step::collect);
    Collection collection(*system.store, workers);
    LargeArray<DepthKey>& keys = collection.keys;
    progress.collected(static_cast<int32_t>(collection.count));
    progress.begin(Progress::Step::sort);
    if (!collection.oneDepth) {
        depthSort(keys.data(), keys.data() + keys.size(), depthsort::FartherFirst{}, workers);
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
    const Projection project{centreX, centreY, scale, box.min.z};
    // One thread draws every stroke whole, as before the workers came.
    if (workers.available() > 1) {
        drawInBands(collection, brush, project, workers);
        return;
    }
    StrokeJitter jitter = startedStrokeJitter();
    // The particles particleAt(0 .. count - 1), in that order.
    auto drawInOrder = [&](std::size_t count, const auto& particleAt) {
        // Four at a time: the brush shares much of their work.
        std::size_t i = 0;
        for (; i + 4 <= count; i += 4) {
            Vec3 a[4], b[4];
            for (std::size_t k = 0; k < 4; ++k) {
                const Particle& p = fetchAhead(i + k, count, particleAt);
                a[k] = project(p.position);
                b[k] = project(endPoint(p));
            }
            brush.drawFour(a, b, jitter);
        }
        for (; i < count; ++i) {
            const Particle& p = fetchAhead(i, count, particleAt);
            brush.drawParticle(project(p.position), project(endPoint(p)), jitter);
        }
    };
    if (!collection.oneDepth) {
        drawInOrder(keys.size(),
                    [&](std::size_t i) -> const Particle& { return collection[keys[i].index]; });
        return;
    }
    inOneDepthBlocks(collection, 0, static_cast<std::ptrdiff_t>(collection.count), drawInOrder);
}

} // namespace bramblewisp
