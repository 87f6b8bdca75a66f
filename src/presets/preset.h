#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>

#include "system/particleSystem.h"
#include "system/rule.h"

namespace bramblewisp {

// A system type: fills the four rule layers, places the seed particles and
// caps a fixed iteration count.
class Preset {
  public:
    virtual ~Preset() = default;
    virtual void buildRules(ParticleSystem& system) const = 0;
    virtual void seedParticles(ParticleSystem& system) const = 0;
    virtual int32_t maxIterations() const = 0;
};

// -type 0 to 4 select types 0 to 4; every other value selects type 0.
int32_t selectedType(int32_t type);
std::unique_ptr<Preset> createPreset(int32_t type, int32_t spikes);

// Building steps shared by every preset.

// Makes a group, adds its rules in order, then adds it to the layer.
void addGroup(ParticleSystem& system, int layer, float weight, std::initializer_list<Rule> rules);

void addSeed(ParticleSystem& system, const Vec3& position, const Vec3& direction);

// Seeds of unit length from the origin, spread evenly over the sphere; two
// draws of the system's generator per seed.
void seedRandomSpikes(ParticleSystem& system, int32_t spikes);

// More seeds than this would only exhaust memory before growth starts.
inline constexpr int32_t kMaxSpikes = 1000000;

// The 32-bit float nearest to numerator * pi / denominator.
constexpr float piFraction(int numerator, int denominator) {
    return static_cast<float>(3.14159265358979323846264338327950288L * numerator / denominator);
}

} // namespace bramblewisp
