#pragma once

#include <cstdint>

#include "imaging/bitmap.h"
#include "imaging/rowBand.h"

namespace bramblewisp {

// Translucent drawing: a channel blends as T[source][k] + T[old][31 - k] for
// a strength k in 0..31, through a table of pre-scaled values. The lines are
// walked in imaging/lineWalk.h.
class Canvas {
  public:
    Canvas();

    // Every walk steps by the width of the bitmap it draws on, so binding
    // keeps nothing; the picture's bitmaps all share the bound one's size.
    void bind(const Bitmap&) {}

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

    uint8_t scaleTable[256][32]; // T[v][k]: v * k / 31 with a factor just below 1/31

    // For every strength k a multiplier m with floor(v * m / 65536) =
    // T[v][k] for every v; the construction checks all 256. It lets one
    // 16-bit multiply scale the three channels of a colour at once.
    uint16_t scaleMultipliers[32];

  private:
    uint16_t findScaleMultiplier(int strength) const;
};

} // namespace bramblewisp
