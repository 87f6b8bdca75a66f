#include "imaging/canvas.h"

#include "imaging/lineWalk.h"

namespace bramblewisp {

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
