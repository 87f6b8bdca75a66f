#pragma once

#include <cstdint>

#include "imaging/bitmap.h"

namespace bramblewisp {

// Many pictures side by side, small, each labelled with its seed, so that
// one can be chosen among them at a glance: a grid of cells filled row by
// row, on white (black for dark pictures).
class ContactSheet {
  public:
    // Room for pictures cells of pictureWidth x pictureHeight pictures,
    // columns to a row; the labels in font's glyphs, none without a font.
    ContactSheet(int32_t pictures, int32_t columns, int32_t pictureWidth, int32_t pictureHeight,
                 const Bitmap* font, int32_t fontCellWidth, bool dark);

    // A cell's picture, scaled down, and its seed below it. Different cells
    // may be placed from several threads at once.
    void place(int32_t cell, const Bitmap& picture, int32_t seed);
    // A cell's seed alone, for a picture that is not there.
    void label(int32_t cell, int32_t seed);

    // The longer side of a picture's thumbnail.
    static constexpr int32_t kThumbnailSide = 160;
    static constexpr int32_t kGap = 12;

  private:
    int32_t cellLeft(int32_t cell) const;
    int32_t cellTop(int32_t cell) const;

    const Bitmap* font;
    const int32_t fontCellWidth;
    const bool dark;
    const int32_t columns;
    const int32_t thumbnailWidth;
    const int32_t thumbnailHeight;
    // At least the widest seed's label: a label never reaches into the next
    // cell, which another thread may be filling.
    const int32_t cellWidth;
    const int32_t labelHeight;

  public:
    Bitmap image;
};

// picture scaled down into the width x height rectangle of target whose top
// left corner is (x, y): each pixel the rounded mean of the pixels whose
// area it covers.
void drawScaledDown(const Bitmap& picture, Bitmap& target, int32_t x, int32_t y, int32_t width,
                    int32_t height);

} // namespace bramblewisp
