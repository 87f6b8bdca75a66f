#pragma once

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
};

} // namespace bramblewisp
