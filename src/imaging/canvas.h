#pragma once

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define BRAMBLEWISP_SSE2 1
#endif

#include "imaging/bitmap.h"

namespace bramblewisp {

// Translucent drawing: a channel blends as T[source][k] + T[old][31 - k] for
// a strength k in 0..31, through a table of pre-scaled values.
class Canvas {
  public:
    Canvas();

    // Sets the row steps for the bitmap's width; every bitmap drawn on must
    // share it.
    void bind(const Bitmap& bitmap);

    uint8_t blendChannel(uint32_t source, uint32_t old, int strength) const {
        return static_cast<uint8_t>(scaleTable[source][strength] + scaleTable[old][31 - strength]);
    }
    uint32_t blend(uint32_t colour, uint32_t old, int strength) const;

    // A one-pixel line, both endpoints inclusive and inside the bitmap.
    void drawLine(Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                  uint32_t colour, int strength) const;

    // The same pixels; also overwrites their depths with z interpolated from
    // z0 at (x0, y0) to z1 at (x1, y1), with no depth test.
    void drawLineDepth(Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                       uint32_t colour, int strength, Bitmap& depth, float z0, float z1) const;

    uint8_t scaleTable[256][32]; // T[v][k]: v * k / 31 with a factor just below 1/31
    int32_t stepX[3];            // bytes for a move of -1, 0, +1 columns
    int32_t stepY[3];            // bytes for a move of -1, 0, +1 rows

    // T again, by strength: the 256 values one line needs are contiguous.
    uint8_t scaleColumns[32][256];
    // For every strength k a multiplier m with floor(v * m / 65536) =
    // T[v][k] for every v; the construction checks all 256. It lets one
    // 16-bit multiply scale the three channels of a colour at once.
    uint16_t scaleMultipliers[32];

  private:
    uint16_t findScaleMultiplier(int strength) const;

    template <bool withDepth>
    void walk(Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour,
              int strength, Bitmap* depth, float z0, float z1) const;
};

namespace canvasDetail {

// floor(n / d) for 0 <= n < 2^26 and 0 <= d < kShortLine by one multiply:
// with m = floor(2^37 / d) + 1 the error of n * m / 2^37 stays below 2^-11,
// less than the 1/d that separates n/d from the next whole number. Every line
// needs one such quotient and most lines are short. d = 0 gives 0.
inline constexpr int32_t kShortLine = 1024;

struct Reciprocals {
    constexpr Reciprocals() {
        for (int32_t d = 1; d < kShortLine; ++d) {
            of[d] = ((uint64_t{1} << 37) / static_cast<uint64_t>(d)) + 1;
        }
    }
    uint64_t of[kShortLine]{};
};

inline constexpr Reciprocals kReciprocals{};

inline int32_t fixedPointStep(int32_t minorLength, int32_t major) {
    const int32_t scaled = minorLength * 65536;
    if (major < kShortLine) [[likely]] {
        return static_cast<int32_t>((static_cast<uint64_t>(scaled) * kReciprocals.of[major]) >> 37);
    }
    return scaled / major;
}

inline int32_t absolute(int32_t v) { return v < 0 ? -v : v; }

} // namespace canvasDetail

// The walk visits major length + 1 cells from the endpoint with the smaller
// major coordinate, the minor coordinate in 16.16 fixed point from the pixel
// centre. Written for the short lines that dominate particle strokes: the
// set-up is selects rather than branches, and the colour is pre-scaled once.
template <bool withDepth>
inline void Canvas::walk(Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                         uint32_t colour, int strength, Bitmap* depth, float z0,
                         float z1) const {
    using namespace canvasDetail;
    assert(x0 >= 0 && x0 < bitmap.width && x1 >= 0 && x1 < bitmap.width);
    assert(y0 >= 0 && y0 < bitmap.height && y1 >= 0 && y1 < bitmap.height);
    assert(!depth || (depth->width == bitmap.width && depth->height == bitmap.height));

    // Which endpoint starts and which axis leads differ from line to line
    // unpredictably, so they pick from two-element tables instead of
    // branching.
    const std::ptrdiff_t width = bitmap.width;
    const int32_t deltas[2] = {y1 - y0, x1 - x0};
    const int32_t lengths[2] = {absolute(deltas[0]), absolute(deltas[1])};
    const int xMajor = lengths[1] >= lengths[0];
    const int32_t major = lengths[xMajor];
    // A point has no major direction; it starts (and ends) at the first endpoint.
    const int fromFirst = deltas[xMajor] >= 0;
    const int32_t xs[2] = {x1, x0};
    const int32_t ys[2] = {y1, y0};
    const int32_t startX = xs[fromFirst];
    const int32_t startY = ys[fromFirst];
    const int32_t magnitude = fixedPointStep(lengths[1 - xMajor], major);
    // Negative when the minor coordinate falls from the start to the end.
    const int32_t flip = -static_cast<int32_t>((deltas[1 - xMajor] < 0) == (fromFirst != 0));
    const int32_t step = (magnitude ^ flip) - flip;
    const std::ptrdiff_t steps[2] = {width, 1};
    const std::ptrdiff_t majorStep = steps[xMajor];
    const std::ptrdiff_t minorStep = steps[1 - xMajor];
    const int32_t starts[2] = {startX, startY};
    const int32_t startMinor = starts[xMajor];

    // Cell of (major i, minor m) = base + i * majorStep + m * minorStep.
    const std::ptrdiff_t base = startY * width + startX - startMinor * minorStep;
    int32_t accumulator = startMinor * 65536 + 32768;

#if BRAMBLEWISP_SSE2
    // T[v][k] = floor(v * m / 65536) for the strength's multiplier m, so one
    // 16-bit multiply scales three channels: the colour by k, the old cell by
    // 31 - k. Each channel's two terms stay below 256, so the sums never carry.
    const __m128i zero = _mm_setzero_si128();
    auto scaleChannels = [&](uint32_t cell, __m128i multiplier) {
        const __m128i channels = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(cell)), zero);
        const __m128i product = _mm_mulhi_epu16(channels, multiplier);
        return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(product, product)));
    };
    // The top byte's lane multiplies by 0: bits 24-31 come out zero.
    auto multiplier = [](uint16_t m) {
        const short v = static_cast<short>(m);
        return _mm_set_epi16(0, 0, 0, 0, 0, v, v, v);
    };
    const uint32_t scaled = scaleChannels(colour, multiplier(scaleMultipliers[strength]));
    const __m128i keepMultiplier = multiplier(scaleMultipliers[31 - strength]);
    auto blendCell = [&](uint32_t old) { return scaled + scaleChannels(old, keepMultiplier); };
#else
    const uint32_t scaled = (static_cast<uint32_t>(scaleTable[(colour >> 16) & 255][strength]) << 16) |
                            (static_cast<uint32_t>(scaleTable[(colour >> 8) & 255][strength]) << 8) |
                            scaleTable[colour & 255][strength];
    const uint8_t* keep = scaleColumns[31 - strength];
    auto blendCell = [&](uint32_t old) {
        return scaled + ((static_cast<uint32_t>(keep[(old >> 16) & 255]) << 16) |
                         (static_cast<uint32_t>(keep[(old >> 8) & 255]) << 8) | keep[old & 255]);
    };
#endif
    uint32_t* cells = bitmap.pixels.data();
    uint32_t* depthCells = withDepth ? depth->pixels.data() : nullptr;

    // Depth in single precision from the walk's start endpoint to its end.
    const float zs[2] = {z1, z0};
    float z = zs[fromFirst];
    const float zStep = (zs[1 - fromFirst] - z) / static_cast<float>(major + (major == 0));

    std::ptrdiff_t lineCell = base;
    for (int32_t left = major;; --left) {
        const std::ptrdiff_t cell = lineCell + (accumulator >> 16) * minorStep;
        cells[cell] = blendCell(cells[cell]);
        if constexpr (withDepth) {
            depthCells[cell] = std::bit_cast<uint32_t>(z);
            z += zStep;
        }
        if (left == 0) {
            break;
        }
        accumulator += step;
        lineCell += majorStep;
    }
}

inline void Canvas::drawLine(Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                             uint32_t colour, int strength) const {
    walk<false>(bitmap, x0, y0, x1, y1, colour, strength, nullptr, 0.0f, 0.0f);
}

inline void Canvas::drawLineDepth(Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                                  uint32_t colour, int strength, Bitmap& depth, float z0,
                                  float z1) const {
    walk<true>(bitmap, x0, y0, x1, y1, colour, strength, &depth, z0, z1);
}

} // namespace bramblewisp
