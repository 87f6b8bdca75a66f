#include "imaging/canvas.h"

#include <algorithm>
#include <stdexcept>

#include "imaging/lineWalk.h"

namespace bramblewisp {

namespace {

// The single-precision number nearest 1/31 lies just below it, so whole
// products come out one less (T[v][31] = v - 1). The product is exact in
// double precision.
constexpr float kOneThirtyFirst = 0.032258064f;

} // namespace

uint16_t Canvas::findScaleMultiplier(int strength) const {
    // T[v][k] is about v * k * 1082401 / 2^25, so m lies near k * 1082401 / 2^9.
    const int64_t estimate = (static_cast<int64_t>(strength) * 1082401) >> 9;
    for (int64_t m = std::max<int64_t>(0, estimate - 64);
         m <= std::min<int64_t>(65535, estimate + 64); ++m) {
        bool exact = true;
        for (int v = 0; v < 256 && exact; ++v) {
            exact = ((v * m) >> 16) == scaleTable[v][strength];
        }
        if (exact) {
            return static_cast<uint16_t>(m);
        }
    }
    // Every strength has one; a different table would need another route.
    throw std::logic_error("no 16-bit multiplier reproduces the blend table");
}

Canvas::Canvas() {
    for (int v = 0; v < 256; ++v) {
        for (int k = 0; k < 32; ++k) {
            scaleTable[v][k] = static_cast<uint8_t>(static_cast<double>(v * k) *
                                                    static_cast<double>(kOneThirtyFirst));
        }
    }
    for (int k = 0; k < 32; ++k) {
        scaleMultipliers[k] = findScaleMultiplier(k);
    }
}

void Canvas::drawLine(Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                      uint32_t colour, int strength) const {
    lineWalk::draw<false>(*this, bitmap, x0, y0, x1, y1, colour, strength, nullptr, 0.0f, 0.0f);
}

void Canvas::drawLineDepth(Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                           uint32_t colour, int strength, Bitmap& depth, float z0, float z1) const {
    lineWalk::draw<true>(*this, bitmap, x0, y0, x1, y1, colour, strength, &depth, z0, z1);
}

void Canvas::drawLine(Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                      uint32_t colour, int strength, RowBand band) const {
    lineWalk::drawInBand<false>(*this, bitmap, x0, y0, x1, y1, colour, strength, nullptr, 0.0f,
                                0.0f, band);
}

void Canvas::drawLineDepth(Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                           uint32_t colour, int strength, Bitmap& depth, float z0, float z1,
                           RowBand band) const {
    lineWalk::drawInBand<true>(*this, bitmap, x0, y0, x1, y1, colour, strength, &depth, z0, z1,
                               band);
}

uint32_t Canvas::blend(uint32_t colour, uint32_t old, int strength) const {
    return (static_cast<uint32_t>(blendChannel((colour >> 16) & 255, (old >> 16) & 255, strength))
            << 16) |
           (static_cast<uint32_t>(blendChannel((colour >> 8) & 255, (old >> 8) & 255, strength))
            << 8) |
           blendChannel(colour & 255, old & 255, strength);
}

} // namespace bramblewisp
