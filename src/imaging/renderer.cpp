#include "imaging/renderer.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "imaging/depthSort.h"
#include "imaging/particleBrush.h"

namespace bramblewisp {

namespace {

// What the sort moves: the key beside the particle, so comparing never
// chases a pointer.
struct DepthRecord {
    float z;
    const Particle* particle;
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

} // namespace

void renderParticles(const Canvas& canvas, Bitmap& image, Bitmap& depth,
                     const ParticleSystem& system, bool dark) {
    std::fputs("get ", stdout);
    std::fflush(stdout);
    const ParticleStore& store = *system.store;
    std::vector<DepthRecord> records;
    records.reserve(static_cast<std::size_t>(store.currentCount()));
    const ParticleList* bank = store.currentBank();
    for (int layer = 0; layer < kLayerCount; ++layer) {
        for (const Particle& p : bank[layer]) {
            records.push_back(DepthRecord{p.position.z, &p});
        }
    }
    std::printf("(%i) ", static_cast<int>(records.size()));
    std::fputs("sort ", stdout);
    std::fflush(stdout);

    depthSort(records.data(), records.data() + records.size(),
              [](const DepthRecord& a, const DepthRecord& b) { return a.z > b.z; });

    std::fputs("bbox ", stdout);
    std::fflush(stdout);
    Box box;
    for (const DepthRecord& record : records) {
        box.include(endPoint(*record.particle));
        box.include(record.particle->position);
    }
    const float width = static_cast<float>(image.width);
    const float height = static_cast<float>(image.height);
    const float centreX = (box.min.x + box.max.x) * 0.5f;
    const float centreY = (box.min.y + box.max.y) * 0.5f;
    const float scale = 0.95f * std::min(width / (box.max.x - box.min.x + 0.1f),
                                         height / (box.max.y - box.min.y + 0.1f));

    std::fputs("draw ", stdout);
    std::fflush(stdout);
    const ParticleBrush brush{canvas, image, depth, 255.0f / (box.max.z - box.min.z + 0.1f), dark};
    auto project = [&](const Vec3& v) {
        return Vec3{(v.x - centreX) * scale, (v.y - centreY) * scale, v.z - box.min.z};
    };
    for (const DepthRecord& record : records) {
        brush.drawParticle(project(record.particle->position), project(endPoint(*record.particle)));
    }
}

} // namespace bramblewisp
