#include "imaging/canvas.h"

#include <cassert>
#include <cstdlib>

namespace bramblewisp {

namespace {

// The single-precision number nearest 1/31 lies just below it, so whole
// products come out one less (T[v][31] = v - 1). The product is exact in
// double precision.
constexpr float kOneThirtyFirst = 0.032258064f;

// A colour pre-scaled once per line, so a pixel costs three lookups of the
// old channels.
struct ScaledColour {
    ScaledColour(const uint8_t (*table)[32], uint32_t colour, int strength)
        : table(table), red(table[(colour >> 16) & 255][strength]),
          green(table[(colour >> 8) & 255][strength]), blue(table[colour & 255][strength]),
          keep(31 - strength) {}

    uint32_t over(uint32_t old) const {
        return ((red + table[(old >> 16) & 255][keep]) << 16) |
               ((green + table[(old >> 8) & 255][keep]) << 8) | (blue + table[old & 255][keep]);
    }

    const uint8_t (*table)[32];
    uint32_t red, green, blue;
    int keep;
};

// floor(n / d) for 0 <= n < 2^26 and 0 < d < kShortLine, by one multiply:
// with m = floor(2^37 / d) + 1 the error of n * m / 2^37 stays below 2^-11,
// less than the 1/d that separates n/d from the next whole number. A line's
// fixed-point step needs this once per line, and most lines are short.
constexpr int32_t kShortLine = 1024;

struct Reciprocals {
    Reciprocals() {
        for (int32_t d = 1; d < kShortLine; ++d) {
            of[d] = ((uint64_t{1} << 37) / static_cast<uint64_t>(d)) + 1;
        }
    }
    uint64_t of[kShortLine]{};
};

const Reciprocals reciprocals;

int32_t fixedPointStep(int32_t minorLength, int32_t major) {
    const int32_t scaled = minorLength * 65536;
    if (major < kShortLine) {
        return static_cast<int32_t>((static_cast<uint64_t>(scaled) * reciprocals.of[major]) >> 37);
    }
    return scaled / major;
}

// Walks the pixels of a line from the endpoint with the smaller major
// coordinate, the minor coordinate in 16.16 fixed point from the pixel centre.
// Visit receives the offset of each cell from the bitmap's first cell.
template <typename Visit>
void walkLine(int32_t width, int32_t x0, int32_t y0, int32_t x1, int32_t y1, Visit visit) {
    const int32_t dx = std::abs(x0 - x1);
    const int32_t dy = std::abs(y0 - y1);
    const bool xMajor = dx >= dy;
    const bool fromFirst = xMajor ? x0 < x1 : y0 < y1;
    const int32_t startX = fromFirst ? x0 : x1;
    const int32_t startY = fromFirst ? y0 : y1;
    const int32_t endX = fromFirst ? x1 : x0;
    const int32_t endY = fromFirst ? y1 : y0;

    const int32_t major = xMajor ? dx : dy;
    std::ptrdiff_t cell = static_cast<std::ptrdiff_t>(startY) * width + startX;
    if (major == 0) {
        visit(cell);
        return;
    }
    const int32_t startMinor = xMajor ? startY : startX;
    const int32_t magnitude = fixedPointStep(xMajor ? dy : dx, major);
    const int32_t step = (xMajor ? endY - startY : endX - startX) < 0 ? -magnitude : magnitude;
    const std::ptrdiff_t majorStep = xMajor ? 1 : width;
    const std::ptrdiff_t minorStep = xMajor ? width : 1;

    int32_t accumulator = startMinor * 65536 + 32768;
    int32_t minor = startMinor;
    for (int32_t i = 0;; ++i) {
        visit(cell);
        if (i == major) {
            break;
        }
        accumulator += step;
        const int32_t nextMinor = accumulator >> 16;
        cell += majorStep + (nextMinor - minor) * minorStep;
        minor = nextMinor;
    }
}

} // namespace

Canvas::Canvas() : stepX{-4, 0, 4}, stepY{0, 0, 0} {
    for (int v = 0; v < 256; ++v) {
        for (int k = 0; k < 32; ++k) {
            scaleTable[v][k] =
                static_cast<uint8_t>(static_cast<double>(v * k) * static_cast<double>(kOneThirtyFirst));
        }
    }
}

void Canvas::bind(const Bitmap& bitmap) {
    stepY[0] = -4 * bitmap.width;
    stepY[1] = 0;
    stepY[2] = 4 * bitmap.width;
}

uint32_t Canvas::blend(uint32_t colour, uint32_t old, int strength) const {
    return (static_cast<uint32_t>(blendChannel((colour >> 16) & 255, (old >> 16) & 255, strength))
            << 16) |
           (static_cast<uint32_t>(blendChannel((colour >> 8) & 255, (old >> 8) & 255, strength))
            << 8) |
           blendChannel(colour & 255, old & 255, strength);
}

void Canvas::drawLine(Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                      uint32_t colour, int strength) const {
    assert(x0 >= 0 && x0 < bitmap.width && x1 >= 0 && x1 < bitmap.width);
    assert(y0 >= 0 && y0 < bitmap.height && y1 >= 0 && y1 < bitmap.height);
    uint32_t* cells = bitmap.pixels.data();
    const ScaledColour scaled(scaleTable, colour, strength);
    walkLine(stepY[2] / 4, x0, y0, x1, y1,
             [&](std::ptrdiff_t cell) { cells[cell] = scaled.over(cells[cell]); });
}

void Canvas::drawLineDepth(Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                           uint32_t colour, int strength, Bitmap& depth, float z0,
                           float z1) const {
    assert(x0 >= 0 && x0 < bitmap.width && x1 >= 0 && x1 < bitmap.width);
    assert(y0 >= 0 && y0 < bitmap.height && y1 >= 0 && y1 < bitmap.height);
    assert(depth.width == bitmap.width && depth.height == bitmap.height);
    uint32_t* cells = bitmap.pixels.data();
    const ScaledColour scaled(scaleTable, colour, strength);
    if (x0 == x1 && y0 == y1) {
        const std::size_t cell = static_cast<std::size_t>(y0) * bitmap.width + x0;
        cells[cell] = scaled.over(cells[cell]);
        setDepth(depth, cell, z0);
        return;
    }

    // Depth runs from the walk's start endpoint to its end, in single precision.
    const int32_t dx = std::abs(x0 - x1);
    const int32_t dy = std::abs(y0 - y1);
    const bool fromFirst = dx >= dy ? x0 < x1 : y0 < y1;
    const float zStart = fromFirst ? z0 : z1;
    const float zEnd = fromFirst ? z1 : z0;
    const int32_t major = dx >= dy ? dx : dy;
    const float zStep = (zEnd - zStart) / static_cast<float>(major);
    float z = zStart;
    walkLine(stepY[2] / 4, x0, y0, x1, y1, [&](std::ptrdiff_t cell) {
        cells[cell] = scaled.over(cells[cell]);
        setDepth(depth, static_cast<std::size_t>(cell), z);
        z += zStep;
    });
}

} // namespace bramblewisp
