#pragma once

#include <cstring>
#include <vector>

#include "system/particleList.h"

namespace bramblewisp {

// A list's particles in walk order, for comparing whole generations.
inline std::vector<Particle> contentsOf(const ParticleList& list) {
    std::vector<Particle> particles;
    for (const Particle& p : list) {
        particles.push_back(p);
    }
    return particles;
}

// Bit for bit, so that -0 and 0 or two NaNs are told apart as the code would.
inline bool sameParticles(const std::vector<Particle>& a, const std::vector<Particle>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Particle)) == 0);
}

} // namespace bramblewisp
