#include "benchSystems.h"

#include "app/evolution.h"
#include "imaging/backgrounds.h"
#include "imaging/canvas.h"
#include "presets/preset.h"

namespace bramblewisp::bench {

std::unique_ptr<ParticleSystem> grownSystem(int type, int spikes, int generations) {
    // On large blocks, as a run on a machine with memory to spare grows it.
    auto system = std::make_unique<ParticleSystem>(true);
    system->random.init(0, 0);
    createPreset(type, spikes).build(*system);
    system->tableJitteredTurns();
    for (int i = 0; i < generations; ++i) {
        growGeneration(*system, quiet);
    }
    return system;
}

Snapshot snapshotOf(const ParticleSystem& system) {
    Snapshot snapshot;
    for (int layer = 0; layer < kLayerCount; ++layer) {
        for (const Particle& p : system.store->currentBank()[layer]) {
            snapshot.particles[layer].push_back(p);
        }
    }
    return snapshot;
}

void restore(ParticleSystem& system, const Snapshot& snapshot) {
    for (int layer = 0; layer < kLayerCount; ++layer) {
        ParticleList& list = system.store->currentBank()[layer];
        list.clear();
        for (const Particle& p : snapshot.particles[layer]) {
            list.append(p);
        }
    }
}

Picture::Picture() : image(800, 600), depth(800, 600) {
    Canvas canvas;
    WaveGridBackground(0, false).fill(canvas, image, depth);
}

} // namespace bramblewisp::bench
