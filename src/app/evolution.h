#pragma once

#include <cstdint>

#include "app/runBudget.h"
#include "imaging/progress.h"
#include "platform/workerPool.h"
#include "system/particleSystem.h"

namespace bramblewisp {

// Past this many particles in a generation, detail is finer than a pixel.
inline constexpr int32_t kDetailLimit = 1000000;
// Once the next bank holds this many, the rest of the walk is carried over.
inline constexpr int32_t kOverflowLimit = 1000000;
// The next bank's size is checked (and progress ticks) once per 1024
// particles of a list.
inline constexpr int32_t kCheckPeriodMask = 1023;

// The two limits of one picture: a larger picture has room for more detail
// (imaging/pictureScale.h).
struct DetailLimits {
    int32_t detail = kDetailLimit;
    int32_t overflow = kOverflowLimit;

    // Both limits times factor (at least 1), capped far below overflowing
    // a particle count.
    static DetailLimits scaledBy(double factor);
};

// Every particle of the current bank picks a group of its layer by weight and
// emits its children into the next bank; then the banks swap. Progress ticks
// once per 1024 particles walked.
void growGeneration(ParticleSystem& system, Progress& progress, const DetailLimits& limits = {});

// The same generation, to the bit, with the same progress: parts of the walk
// decide their particles side by side, each with its own copy of the choice
// generator, and then make the children, each with its own copy of the rule
// generator, both copies skipped to the part's place in their streams.
void growGenerationInParts(ParticleSystem& system, Progress& progress,
                           platform::WorkerPool& workers, const DetailLimits& limits = {});

// Grows iterations generations, capped by maxIterations (the cap is written
// back), unless memory or detail stops it first. Both loops tell progress
// of every generation and of an early stop, and return the generations
// grown; the workers share each one.
int32_t evolveFixed(ParticleSystem& system, int32_t& iterations, int32_t maxIterations,
                    RunBudget& budget, Progress& progress, platform::WorkerPool& workers,
                    const DetailLimits& limits = {});

// Grows generations until the deadline, memory or detail stops it.
int32_t evolveTimed(ParticleSystem& system, RunBudget& budget, Progress& progress,
                    platform::WorkerPool& workers, const DetailLimits& limits = {});

} // namespace bramblewisp
