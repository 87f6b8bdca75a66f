#pragma once

#include "imaging/bitmap.h"
#include "imaging/canvas.h"
#include "imaging/progress.h"
#include "system/particleSystem.h"

namespace bramblewisp {

// Draws the current generation far to near, fitted into 95% of the picture,
// telling progress each step. Without keepDepth the strokes leave the depth
// bitmap as it was, which saves a store per pixel when no one reads it.
void renderParticles(const Canvas& canvas, Bitmap& image, Bitmap& depth,
                     const ParticleSystem& system, bool dark, bool keepDepth, Progress& progress);

} // namespace bramblewisp
