#pragma once

#include "imaging/bitmap.h"
#include "imaging/canvas.h"
#include "system/particleSystem.h"

namespace bramblewisp {

// Draws the current generation far to near, fitted into 95% of the picture,
// and prints its progress words.
void renderParticles(const Canvas& canvas, Bitmap& image, Bitmap& depth,
                     const ParticleSystem& system, bool dark);

} // namespace bramblewisp
