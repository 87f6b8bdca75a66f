#pragma once

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>

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

  private:
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

    const std::ptrdiff_t width = bitmap.width;
    const int32_t dx = x1 - x0;
    const int32_t dy = y1 - y0;
    const int32_t lengthX = absolute(dx);
    const int32_t lengthY = absolute(dy);
    const bool xMajor = lengthX >= lengthY;
    const int32_t major = xMajor ? lengthX : lengthY;
    // A point has no major direction; it starts (and ends) at the first endpoint.
    const bool fromFirst = (xMajor ? dx : dy) >= 0;
    const int32_t startX = fromFirst ? x0 : x1;
    const int32_t startY = fromFirst ? y0 : y1;
    const int32_t towardEnd = xMajor ? dy : dx; // minor change, first to second
    const int32_t magnitude = fixedPointStep(xMajor ? lengthY : lengthX, major);
    const int32_t step = ((towardEnd < 0) == fromFirst) ? -magnitude : magnitude;
    const std::ptrdiff_t majorStep = xMajor ? 1 : width;
    const std::ptrdiff_t minorStep = xMajor ? width : 1;
    const int32_t startMinor = xMajor ? startY : startX;

    // Cell of (major i, minor m) = base + i * majorStep + m * minorStep.
    const std::ptrdiff_t base = startY * width + startX - startMinor * minorStep;
    int32_t accumulator = startMinor * 65536 + 32768;

    const uint8_t* keep = scaleColumns[31 - strength];
    const uint32_t scaled = (static_cast<uint32_t>(scaleTable[(colour >> 16) & 255][strength]) << 16) |
                            (static_cast<uint32_t>(scaleTable[(colour >> 8) & 255][strength]) << 8) |
                            scaleTable[colour & 255][strength];
    uint32_t* cells = bitmap.pixels.data();
    uint32_t* depthCells = withDepth ? depth->pixels.data() : nullptr;

    // Depth in single precision from the walk's start endpoint to its end.
    float z = fromFirst ? z0 : z1;
    const float zStep = major == 0 ? 0.0f : ((fromFirst ? z1 : z0) - z) / static_cast<float>(major);

    std::ptrdiff_t lineCell = base;
    for (int32_t left = major;; --left) {
        const std::ptrdiff_t cell = lineCell + (accumulator >> 16) * minorStep;
        const uint32_t old = cells[cell];
        // Each channel's two terms stay below 256, so the sums never carry.
        cells[cell] = scaled + ((static_cast<uint32_t>(keep[(old >> 16) & 255]) << 16) |
                                (static_cast<uint32_t>(keep[(old >> 8) & 255]) << 8) |
                                keep[old & 255]);
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
