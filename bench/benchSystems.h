#pragma once

#include <memory>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/progress.h"
#include "system/particleSystem.h"

namespace bramblewisp::bench {

// Growth and rendering report their headway to this sink, which drops it.
inline Progress quiet;

// A system of the given type grown for that many generations from the
// default seed, as a run with -iter would grow it.
std::unique_ptr<ParticleSystem> grownSystem(int type, int spikes, int generations);

// The particles of the current bank, layer by layer, with their layers.
struct Snapshot {
    std::vector<Particle> particles[4];
};
Snapshot snapshotOf(const ParticleSystem& system);
void restore(ParticleSystem& system, const Snapshot& snapshot);

// An 800 x 600 picture and depth map as a light grid background leaves them.
struct Picture {
    Picture();
    Bitmap image;
    Bitmap depth;
};

} // namespace bramblewisp::bench
