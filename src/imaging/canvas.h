#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>

#include "imaging/bitmap.h"
#include "imaging/rowBand.h"

namespace bramblewisp {

namespace canvasTables {

using ScaleTable = std::array<std::array<uint8_t, 32>, 256>;

// T[v][k] = v * k / 31 with the single-precision number nearest 1/31, which
// lies just below it, so whole products come out one less (T[v][31] = v - 1).
// The product is exact in double precision.
constexpr ScaleTable makeScaleTable() {
    constexpr float kOneThirtyFirst = 0.032258064f;
    ScaleTable table{};
    for (int v = 0; v < 256; ++v) {
        for (int k = 0; k < 32; ++k) {
            table[v][k] = static_cast<uint8_t>(static_cast<double>(v * k) *
                                               static_cast<double>(kOneThirtyFirst));
        }
    }
    return table;
}

// For every strength k a multiplier m with floor(v * m / 65536) = T[v][k]
// for every v: one 16-bit multiply then scales the three channels of a
// colour at once. Each v allows the m from ceil(T * 65536 / v) up to
// floor(((T + 1) * 65536 - 1) / v); the first m of all those ranges at or
// after a point just below k * 1082401 / 2^9 (T[v][k] is about v * k *
// 1082401 / 2^25) is taken. Worked out by the compiler, which fails the
// build should a strength have none.
constexpr std::array<uint16_t, 32> makeScaleMultipliers(const ScaleTable& table) {
    std::array<uint16_t, 32> multipliers{};
    for (int k = 0; k < 32; ++k) {
        const int64_t estimate = (static_cast<int64_t>(k) * 1082401) >> 9;
        int64_t low = estimate < 64 ? 0 : estimate - 64;
        int64_t high = std::min<int64_t>(65535, estimate + 64);
        for (int64_t v = 1; v < 256; ++v) {
            const int64_t t = table[v][k];
            low = std::max(low, (t * 65536 + v - 1) / v);
            high = std::min(high, ((t + 1) * 65536 - 1) / v);
        }
        if (low > high) {
            throw std::logic_error("no 16-bit multiplier reproduces the blend table");
        }
        multipliers[k] = static_cast<uint16_t>(low);
    }
    return multipliers;
}

} // namespace canvasTables

// Translucent drawing: a channel blends as T[source][k] + T[old][31 - k] for
// a strength k in 0..31, through a table of pre-scaled values fixed when the
// program is built. The lines are walked in imaging/lineWalk.h, each by the
// width of the bitmap it draws on.
class Canvas {
  public:
    uint8_t blendChannel(uint32_t source, uint32_t old, int strength) const {
        return static_cast<uint8_t>(scaleTable[source][strength] + scaleTable[old][31 - strength]);
    }
    uint32_t blend(uint32_t colour, uint32_t old, int strength) const;

    // The three channels of colour, each as T[channel][strength]; bits 24-31
    // come out zero. A blend is scale(colour, k) + scale(old, 31 - k): the
    // two terms of a channel never sum above 255.
    uint32_t scale(uint32_t colour, int strength) const {
        return (static_cast<uint32_t>(scaleTable[(colour >> 16) & 255][strength]) << 16) |
               (static_cast<uint32_t>(scaleTable[(colour >> 8) & 255][strength]) << 8) |
               scaleTable[colour & 255][strength];
    }

    // A one-pixel line, both endpoints inclusive and inside the bitmap.
    void drawLine(Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour,
                  int strength) const;

    // The same pixels; also overwrites their depths with z interpolated from
    // z0 at (x0, y0) to z1 at (x1, y1), with no depth test.
    void drawLineDepth(Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                       uint32_t colour, int strength, Bitmap& depth, float z0, float z1) const;

    // The same two, drawing only the line's pixels in the band's rows.
    void drawLine(Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour,
                  int strength, RowBand band) const;
    void drawLineDepth(Bitmap& bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                       uint32_t colour, int strength, Bitmap& depth, float z0, float z1,
                       RowBand band) const;

    static constexpr canvasTables::ScaleTable scaleTable = canvasTables::makeScaleTable();
    static constexpr std::array<uint16_t, 32> scaleMultipliers =
        canvasTables::makeScaleMultipliers(scaleTable);
};

} // namespace bramblewisp
