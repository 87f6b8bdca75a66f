#pragma once

#include "imaging/bitmap.h"
#include "imaging/canvas.h"
#include "imaging/progress.h"
#include "platform/workerPool.h"
#include "system/particleSystem.h"

namespace bramblewisp {

// Draws the current generation far to near, fitted into 95% of the picture,
// in the colours of palette, telling progress each step. Without keepDepth
// the strokes leave the depth bitmap as it was, which saves a store per
// pixel when no one reads it. The strokes grow with the picture
// (imaging/pictureScale.h). The workers share the work; the picture is the
// same for any number of them.
void renderParticles(const Canvas& canvas, Bitmap& image, Bitmap& depth,
                     const ParticleSystem& system, bool dark, bool keepDepth, Progress& progress,
                     platform::WorkerPool& workers, int32_t palette = 0);

// How far every stroke's jitter and width may reach past the ends of its
// core line, in pixels, and stay inside a picture of this size: the fit
// leaves 2.5% of each side free.
int32_t strokeReach(int32_t width, int32_t height);

} // namespace bramblewisp
