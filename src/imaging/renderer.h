#pragma once

#include "imaging/bitmap.h"
#include "imaging/canvas.h"
#include "imaging/progress.h"
#include "platform/workerPool.h"
#include "system/particleSystem.h"

namespace bramblewisp {

// Draws the current generation far to near, fitted into 95% of the picture,
// telling progress each step. Without keepDepth the strokes leave the depth
// bitmap as it was, which saves a store per pixel when no one reads it. The
// workers share the work; the picture is the same for any number of them.
void renderParticles(const Canvas& canvas, Bitmap& image, Bitmap& depth,
                     const ParticleSystem& system, bool dark, bool keepDepth, Progress& progress,
                     platform::WorkerPool& workers);

} // namespace bramblewisp
