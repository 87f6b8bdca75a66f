#include "system/particleSystem.h"

namespace bramblewisp {

ParticleSystem::ParticleSystem() {
    random.init(0, 0);
    store = std::make_unique<ParticleStore>(&random, &layers);
}

ParticleSystem* ParticleSystem::instance() {
    // Lives until the process ends, as the run expects.
    static ParticleSystem* const system = new ParticleSystem();
    return system;
}

} // namespace bramblewisp
