#pragma once

#include <cstdint>

#include "app/runBudget.h"
#include "presets/preset.h"
#include "system/particleSystem.h"

namespace bramblewisp {

// Past this many particles in a generation, detail is finer than a pixel.
inline constexpr int32_t kDetailLimit = 1000000;
// Once the next bank holds this many, the rest of the walk is carried over.
inline constexpr int32_t kOverflowLimit = 1000000;

// Every particle of the current bank picks a group of its layer by weight and
// emits its children into the next bank; then the banks swap.
void growGeneration(ParticleSystem& system);

// Grows iterations generations, capped by the preset (the cap is written
// back), unless memory or detail stops it first.
void evolveFixed(ParticleSystem& system, int32_t& iterations, const Preset& preset,
                 MemoryGuard& memory);

// Grows generations until the deadline, memory or detail stops it.
void evolveTimed(ParticleSystem& system, RunTimer& timer, MemoryGuard& memory);

} // namespace bramblewisp
