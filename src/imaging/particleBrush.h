#pragma once

#include <algorithm>
#include <cstdint>

#include "imaging/bitmap.h"
#include "imaging/canvas.h"
#include "imaging/palette.h"
#include "imaging/rowBand.h"
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

// The sixteen draws of a stroke from the jitter.
inline void takeSixteen(StrokeJitter& jitter, int32_t* draws) {
#if BRAMBLEWISP_SSE2
    jitter.fillSixteen(draws);
#else
    for (int k = 0; k < 16; ++k) {
        draws[k] = jitter.next();
    }
#endif
}

// The rows a stroke may touch, both inclusive.
struct StrokeRows {
    int32_t top;
    int32_t bottom;
};

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

    // The rows that the stroke from a to b with these sixteen draws may
    // touch: those of its jittered ends, widened by the line width.
    StrokeRows rowsOf(const Vec3& a, const Vec3& b, const int32_t* draws) const;

    // The stroke of drawParticle given its sixteen draws (takeSixteen), and
    // four such strokes in order; then the same stroke's pixels in the
    // band's rows alone, with their depths, as the whole stroke leaves them.
    void drawDrawn(const Vec3& a, const Vec3& b, const int32_t* draws) const;
    void drawFourDrawn(const Vec3* a, const Vec3* b, const int32_t* const* draws) const;
    void drawInBand(const Vec3& a, const Vec3& b, const int32_t* draws, RowBand band) const;
    // drawFourDrawn in a band: stroke k, where bit k of crossing is set,
    // reaches over the band's edges and leaves only its pixels in the band
    // (drawInBand), the others lie inside it. Strokes across an edge then
    // share the set-up of their neighbours instead of being drawn singly.
    void drawFourInBand(const Vec3* a, const Vec3* b, const int32_t* const* draws, RowBand band,
                        unsigned crossing) const;
    // One stroke of a band: drawInBand if it crosses an edge, else drawDrawn.
    void drawOneInBand(const Vec3& a, const Vec3& b, const int32_t* draws, RowBand band,
                       bool crossing) const {
        crossing ? drawInBand(a, b, draws, band) : drawDrawn(a, b, draws);
    }
    // drawPlain in a band, its draws given: the plain twin of drawInBand.
    void drawPlainInBand(const Vec3& a, const Vec3& b, const int32_t* draws, RowBand band) const;

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
    template <typename NextDraw, typename Walk>
    void plainStroke(const Vec3& a, const Vec3& b, NextDraw nextDraw, Walk walk) const;
    template <bool withDepth, bool inBand>
    void stroke(const Vec3& a, const Vec3& b, const int32_t* draws, RowBand band) const;
    template <bool withDepth, bool inBand>
    void scaledStroke(const Vec3& a, const Vec3& b, const int32_t* draws, RowBand band) const;
    // drawsOf(p): stroke p's sixteen draws, asked for just before it is drawn;
    // with inBand, the strokes whose bits are set in crossing are clipped to
    // the band.
    template <bool inBand, typename DrawsOf>
    void drawFourWithoutDepth(const Vec3* a, const Vec3* b, DrawsOf drawsOf, RowBand band = {},
                              unsigned crossing = 0) const;
};

// A jitter value from a draw: the low three bits, 0 to 7 pixels, with the
// next five below them as a fraction, times jitterScale / 256 and
// truncated; unscaled, just the low three bits.
inline int32_t jitterOf(int32_t draw, int32_t jitterScale) {
    const int32_t fine = ((draw & 7) << 5) | ((draw >> 3) & 31);
    return (fine * jitterScale) >> 13;
}

// The rows of the jittered lines' ends, widened by the width: the first
// endpoint's y moves by the third draw of each line, up (-) in lines 1 and
// 2 and down in 3 and 4, the second's by the first draw, down in lines 1 and
// 4 and up in 2 and 3 (the brush's table of signs).
inline StrokeRows ParticleBrush::rowsOf(const Vec3& a, const Vec3& b, const int32_t* draws) const {
    const int32_t ay = image.height / 2 - static_cast<int32_t>(a.y);
    const int32_t by = image.height / 2 - static_cast<int32_t>(b.y);
    auto rows = [&](auto jitter) {
        const int32_t firstUp = std::max(jitter(draws[2]), jitter(draws[6]));
        const int32_t firstDown = std::max(jitter(draws[10]), jitter(draws[14]));
        const int32_t secondUp = std::max(jitter(draws[4]), jitter(draws[8]));
        const int32_t secondDown = std::max(jitter(draws[0]), jitter(draws[12]));
        return StrokeRows{std::min(ay - firstUp, by - secondUp) - (lineWidth - 1) / 2,
                          std::max(ay + firstDown, by + secondDown) + lineWidth / 2};
    };
    if (jitterScale == kUnscaledJitter) {
        return rows([](int32_t draw) { return draw & 7; });
    }
    return rows([&](int32_t draw) { return jitterOf(draw, jitterScale); });
}

} // namespace bramblewisp
