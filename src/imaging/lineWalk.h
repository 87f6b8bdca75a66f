#pragma once

#include <bit>
#include <cassert>
#include <cstdint>
#include <cstdlib>

#include "imaging/bitmap.h"
#include "imaging/canvas.h"
#include "imaging/lineRun.h"
#include "imaging/pairedRun.h"
#include "imaging/rowBand.h"
#include "platform/simd.h"

namespace bramblewisp::lineWalk {

// The pixels of the line from (x0, y0) to (x1, y1), both inclusive, in walk
// order: visit(x, y, z) for each, z interpolated from z0 at the first
// endpoint to z1 at the second. The walk starts at the endpoint with the
// smaller major coordinate (x leads when the lengths tie) and visits major
// length + 1 pixels; the minor coordinate is a 16.16 accumulator that starts
// at the pixel centre and steps by the truncated quotient of the lengths.
template <typename Visit>
void plainPixels(int32_t x0, int32_t y0, int32_t x1, int32_t y1, float z0, float z1, Visit visit) {
    if (x0 == x1 && y0 == y1) {
        visit(x0, y0, z0);
        return;
    }
    const int32_t dx = std::abs(x0 - x1);
    const int32_t dy = std::abs(y0 - y1);
    const bool xMajor = dx >= dy;
    const bool fromFirst = xMajor ? x0 <= x1 : y0 <= y1;
    const int32_t startX = fromFirst ? x0 : x1;
    const int32_t startY = fromFirst ? y0 : y1;
    const int32_t endX = fromFirst ? x1 : x0;
    const int32_t endY = fromFirst ? y1 : y0;
    const float startZ = fromFirst ? z0 : z1;
    const float endZ = fromFirst ? z1 : z0;

    const int32_t major = xMajor ? dx : dy;
    const int32_t minor = xMajor ? dy : dx;
    const bool minorFalls = xMajor ? endY < startY : endX < startX;
    const int32_t step = (minorFalls ? -1 : 1) * (minor * 65536 / major);
    int32_t accumulator = (xMajor ? startY : startX) * 65536 + 32768;
    const float zStep = (endZ - startZ) / static_cast<float>(major);
    float z = startZ;
    for (int32_t i = 0; i <= major; ++i) {
        const int32_t across = accumulator >> 16;
        visit(xMajor ? startX + i : across, xMajor ? across : startY + i, z);
        accumulator += step;
        z += zStep;
    }
}

// Every line as it is meant to be drawn: the colour scaled once, each pixel of
// the walk blended with it and, with depth, its depth overwritten; in a band,
// the whole line is walked and only the pixels in its rows are drawn. The
// portable build draws with these walks; the fast ones below must match them
// bit for bit.
template <bool withDepth, typename Rows>
void plainRows(const Canvas& canvas, Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
               uint32_t colour, int strength, Bitmap* depth, float z0, float z1, Rows drawn) {
    assert(x0 >= 0 && x0 < bitmap.width && x1 >= 0 && x1 < bitmap.width);
    assert(y0 >= 0 && y0 < bitmap.height && y1 >= 0 && y1 < bitmap.height);
    assert(!depth || (depth->width == bitmap.width && depth->height == bitmap.height));
    const uint32_t scaled = canvas.scale(colour, strength);
    plainPixels(x0, y0, x1, y1, z0, z1, [&](int32_t x, int32_t y, float z) {
        if (!drawn(y)) {
            return;
        }
        uint32_t& cell = bitmap.at(x, y);
        cell = scaled + canvas.scale(cell, 31 - strength);
        if constexpr (withDepth) {
            depth->at(x, y) = std::bit_cast<uint32_t>(z);
        }
    });
}

template <bool withDepth>
void plain(const Canvas& canvas, Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
           uint32_t colour, int strength, Bitmap* depth, float z0, float z1) {
    plainRows<withDepth>(canvas, bitmap, x0, y0, x1, y1, colour, strength, depth, z0, z1,
                         [](int32_t) { return true; });
}

template <bool withDepth>
void plainInBand(const Canvas& canvas, Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1,
                 int32_t y1, uint32_t colour, int strength, Bitmap* depth, float z0, float z1,
                 RowBand band) {
    plainRows<withDepth>(canvas, bitmap, x0, y0, x1, y1, colour, strength, depth, z0, z1,
                         [band](int32_t y) { return band.holds(y); });
}

#if BRAMBLEWISP_SSE2
// One line of the fast walks, set up.
struct FastLine {
    int32_t startX;
    int32_t startY;
    int xMajor;
    int fromFirst;
    int32_t step;
    int32_t major;
};

inline FastLine setUpLine(const Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    assert(x0 >= 0 && x0 < bitmap.width && x1 >= 0 && x1 < bitmap.width);
    assert(y0 >= 0 && y0 < bitmap.height && y1 >= 0 && y1 < bitmap.height);
    assert(bitmap.width < 32768 && bitmap.height < 32768); // the 16-bit index arithmetic
    (void)bitmap;
    // Which endpoint starts and which axis leads differ from line to line
    // unpredictably, so they pick from two-element tables instead of
    // branching.
    const int32_t deltas[2] = {y1 - y0, x1 - x0};
    const int32_t lengths[2] = {absolute(deltas[0]), absolute(deltas[1])};
    const int xMajor = lengths[1] >= lengths[0];
    const int32_t major = lengths[xMajor];
    // A point has no major direction; it starts (and ends) at the first endpoint.
    const int fromFirst = deltas[xMajor] >= 0;
    const int32_t xs[2] = {x1, x0};
    const int32_t ys[2] = {y1, y0};
    const int32_t magnitude = fixedPointStep(lengths[1 - xMajor], major);
    // Negative when the minor coordinate falls from the start to the end.
    const int32_t flip = -static_cast<int32_t>((deltas[1 - xMajor] < 0) == (fromFirst != 0));
    return {xs[fromFirst], ys[fromFirst], xMajor, fromFirst, signedStep(magnitude, flip), major};
}

// lineWalk::plain, written for the short lines that dominate particle
// strokes: the set-up is selects rather than branches, the step's division a
// multiply, the blend one vector multiply for three channels, and a line
// without depth is walked from both ends at once.
template <bool withDepth>
inline void fast(const Canvas& canvas, Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1,
                 int32_t y1, uint32_t colour, int strength, Bitmap* depth, float z0, float z1) {
    assert(!depth || (depth->width == bitmap.width && depth->height == bitmap.height));
    const FastLine line = setUpLine(bitmap, x0, y0, x1, y1);
    // Each channel's two terms stay below 256, so the sums never carry.
    const uint32_t scaled =
        scaleChannels(colour, channelMultiplier(canvas.scaleMultipliers[strength]));
    const __m128i keep = channelMultiplier(canvas.scaleMultipliers[31 - strength]);
    if constexpr (withDepth) {
        const LineRun run = lineRun(bitmap.width, line.startX, line.startY, line.xMajor != 0,
                                    line.step, line.major);
        const DepthRamp ramp = depthRamp(z0, z1, line.fromFirst, line.major);
        runLine<withDepth>(
            bitmap.pixels.data(), depth->pixels.data(), run,
            [&](uint32_t old) { return scaled + scaleChannels(old, keep); }, ramp.z, ramp.step);
    } else {
        runLinePaired(bitmap.pixels.data(),
                      pairedRun(line.startX, line.startY, line.xMajor != 0, line.step, line.major),
                      cellIndexWeights(bitmap.width), scaled, keep);
    }
}

// fast in a band of rows: only the steps that fall in the band are walked,
// from one end.
template <bool withDepth>
inline void fastInBand(const Canvas& canvas, Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1,
                       int32_t y1, uint32_t colour, int strength, Bitmap* depth, float z0, float z1,
                       RowBand band) {
    assert(!depth || (depth->width == bitmap.width && depth->height == bitmap.height));
    const FastLine line = setUpLine(bitmap, x0, y0, x1, y1);
    const StepSpan span = stepsInBand(line.startY, line.xMajor != 0, line.step, line.major, band);
    if (span.first == span.end) {
        return;
    }
    const uint32_t scaled =
        scaleChannels(colour, channelMultiplier(canvas.scaleMultipliers[strength]));
    const __m128i keep = channelMultiplier(canvas.scaleMultipliers[31 - strength]);
    const LineRun run =
        lineRun(bitmap.width, line.startX, line.startY, line.xMajor != 0, line.step, line.major);
    const DepthRamp ramp = depthRamp(z0, z1, line.fromFirst, line.major);
    runLineSpan<withDepth>(
        bitmap.pixels.data(), withDepth ? depth->pixels.data() : nullptr, run,
        [&](uint32_t old) { return scaled + scaleChannels(old, keep); }, ramp.z, ramp.step, span);
}
#endif

// The walk this build draws with.
template <bool withDepth>
inline void draw(const Canvas& canvas, Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1,
                 int32_t y1, uint32_t colour, int strength, Bitmap* depth, float z0, float z1) {
#if BRAMBLEWISP_SSE2
    fast<withDepth>(canvas, bitmap, x0, y0, x1, y1, colour, strength, depth, z0, z1);
#else
    plain<withDepth>(canvas, bitmap, x0, y0, x1, y1, colour, strength, depth, z0, z1);
#endif
}

template <bool withDepth>
inline void drawInBand(const Canvas& canvas, Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1,
                       int32_t y1, uint32_t colour, int strength, Bitmap* depth, float z0, float z1,
                       RowBand band) {
#if BRAMBLEWISP_SSE2
    fastInBand<withDepth>(canvas, bitmap, x0, y0, x1, y1, colour, strength, depth, z0, z1, band);
#else
    plainInBand<withDepth>(canvas, bitmap, x0, y0, x1, y1, colour, strength, depth, z0, z1, band);
#endif
}

} // namespace bramblewisp::lineWalk
