#pragma once

#include "imaging/bitmap.h"
#include "imaging/canvas.h"
#include "random/ranmar.h"
#include "random/ranmarStream.h"
#include "system/vec3.h"

namespace bramblewisp {

// Jitters every stroke. Started with (0, 0) before main and never again, so
// the jitter depends only on how many strokes came before.
extern RanmarStream splatRandom;

// Turns one particle into a stroke of five translucent, jittered lines.
struct ParticleBrush {
    // a and b: x and y in pixels from the picture's centre (y up), z a depth
    // from the nearest point of the cloud. drawPlain's stroke, jittered from
    // splatRandom, in the vector unit where it is built.
    void drawParticle(const Vec3& a, const Vec3& b) const;
    // Exactly drawParticle(a[k], b[k]) for k = 0 to 3, in that order, for
    // less work than four calls.
    void drawFour(const Vec3* a, const Vec3* b) const;

    // The stroke written plainly, its sixteen jitter values drawn from random
    // one line at a time. The portable build draws every stroke with it (from
    // splatRandom); the vector unit's stroke must leave the same pixels and
    // take the same draws. Random is Ranmar or RanmarStream.
    template <typename Random> void drawPlain(const Vec3& a, const Vec3& b, Random& random) const;

    const Canvas& canvas;
    Bitmap& image;
    Bitmap& depth;
    float depthScale; // turns a depth into a shade 0..254
    bool dark;
    bool keepDepth = true; // false: the depth bitmap is left alone

  private:
    template <bool withDepth> void stroke(const Vec3& a, const Vec3& b) const;
    void drawFourWithoutDepth(const Vec3* a, const Vec3* b) const;
};

} // namespace bramblewisp
