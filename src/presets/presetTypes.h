#pragma once

#include <cstdint>

#include "presets/preset.h"

namespace bramblewisp {

// Random spikes growing tips that leave shortened copies behind.
class PresetType0 : public Preset {
  public:
    explicit PresetType0(int32_t spikes) : spikes(spikes) {}
    void buildRules(ParticleSystem& system) const override;
    void seedParticles(ParticleSystem& system) const override;
    int32_t maxIterations() const override { return 12; }

    int32_t spikes;
};

// Types 1 and 2 share one shape and differ in their turns.
class PresetType1 : public Preset {
  public:
    explicit PresetType1(int32_t spikes) : spikes(spikes) {}
    void buildRules(ParticleSystem& system) const override;
    void seedParticles(ParticleSystem& system) const override;
    int32_t maxIterations() const override { return 12; }

    int32_t spikes;
};

class PresetType2 : public Preset {
  public:
    explicit PresetType2(int32_t spikes) : spikes(spikes) {}
    void buildRules(ParticleSystem& system) const override;
    void seedParticles(ParticleSystem& system) const override;
    int32_t maxIterations() const override { return 12; }

    int32_t spikes;
};

// A flat six-armed figure; spikes is carried but not used.
class PresetType3 : public Preset {
  public:
    explicit PresetType3(int32_t spikes) : spikes(spikes) {}
    void buildRules(ParticleSystem& system) const override;
    void seedParticles(ParticleSystem& system) const override;
    int32_t maxIterations() const override { return 12; }

    int32_t spikes;
};

// A fixed column of seeds fanning out into randomly splitting branches.
class PresetType4 : public Preset {
  public:
    void buildRules(ParticleSystem& system) const override;
    void seedParticles(ParticleSystem& system) const override;
    int32_t maxIterations() const override { return 8; }
};

} // namespace bramblewisp
