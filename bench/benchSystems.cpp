#include "benchSystems.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "app/evolution.h"
#include "imaging/backgrounds.h"
#include "imaging/canvas.h"
#include "presets/preset.h"

namespace bramblewisp::bench {

QuietStdout::QuietStdout() {
    std::fflush(stdout);
    saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
}

QuietStdout::~QuietStdout() {
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
}

std::unique_ptr<ParticleSystem> grownSystem(int type, int spikes, int generations) {
    QuietStdout quiet;
    auto system = std::make_unique<ParticleSystem>();
    system->random.init(0, 0);
    const auto preset = createPreset(type, spikes);
    preset->buildRules(*system);
    system->tableJitteredTurns();
    preset->seedParticles(*system);
    for (int i = 0; i < generations; ++i) {
        growGeneration(*system);
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
    canvas.bind(image);
    WaveGridBackground(0, false).apply(canvas, image, depth);
}

} // namespace bramblewisp::bench
