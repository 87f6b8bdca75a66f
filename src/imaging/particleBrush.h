#pragma once

#include "imaging/bitmap.h"
#include "imaging/canvas.h"
#include "imaging/palette.h"
#include "platform/simd.h"
#include "random/ranmar.h"
#include "random/ranmarStream.h"
#include "system/vec3.h"

namespace bramblewisp {

// Where the strokes take their jitter from: the stream that hands out sixteen
// draws at once where the vector unit is built, else the plain generator.
#if BRAMBLEWISP_SSE2
using StrokeJitter = RanmarStream;
#else
using StrokeJitter = Ranmar;
#endif

// Every picture's jitter starts here, whatever the seed, so it depends only on
// how many strokes came before in that picture.
inline StrokeJitter startedStrokeJitter() {
    StrokeJitter jitter;
    jitter.init(0, 0);
    return jitter;
}

// Turns one particle into a stroke of five translucent, jittered lines.
struct ParticleBrush {
    // a and b: x and y in pixels from the picture's centre (y up), z a depth
    // from the nearest point of the cloud. drawPlain's stroke, its sixteen
    // jitter values taken at once, in the vector unit where it is built.
    void drawParticle(const Vec3& a, const Vec3& b, StrokeJitter& jitter) const;
    // Exactly drawParticle(a[k], b[k], jitter) for k = 0 to 3, in that order,
    // for less work than four calls.
    void drawFour(const Vec3* a, const Vec3* b, StrokeJitter& jitter) const;

    // The stroke written plainly: the plain line walk, the colours worked
    // out from the palette, and the jitter drawn from the plain generator one
    // line at a time. The portable build draws every stroke with it; the
    // vector unit's stroke must leave the same pixels and take the same
    // draws.
    void drawPlain(const Vec3& a, const Vec3& b, Ranmar& jitter) const;

    static constexpr int32_t kUnscaledJitter = 256;

    const Canvas& canvas;
    Bitmap& image;
    Bitmap& depth;
    float depthScale; // turns a depth into a shade 0..254
    bool dark;
    bool keepDepth = true; // false: the depth bitmap is left alone
    int32_t palette = 0;   // imaging/palette.h
    // The jitter of a line's ends, 0 to 7 pixels, in 256ths: larger
    // pictures draw their strokes larger (imaging/pictureScale.h).
    int32_t jitterScale = kUnscaledJitter;
    int32_t lineWidth = 1; // pixels across every line of the stroke

  private:
    bool scaled() const { return jitterScale != kUnscaledJitter || lineWidth != 1; }
    template <bool withDepth> void stroke(const Vec3& a, const Vec3& b, StrokeJitter& jitter) const;
    template <bool withDepth>
    void scaledStroke(const Vec3& a, const Vec3& b, StrokeJitter& jitter) const;
    void drawFourWithoutDepth(const Vec3* a, const Vec3* b, StrokeJitter& jitter) const;
};

// A jitter value from a draw: the low three bits, 0 to 7 pixels, with the
// next five below them as a fraction, times jitterScale / 256 and
// truncated; unscaled, just the low three bits.
inline int32_t jitterOf(int32_t draw, int32_t jitterScale) {
    const int32_t fine = ((draw & 7) << 5) | ((draw >> 3) & 31);
    return (fine * jitterScale) >> 13;
}

} // namespace bramblewisp
