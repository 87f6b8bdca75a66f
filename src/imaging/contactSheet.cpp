#include "imaging/contactSheet.h"

#include <algorithm>
#include <string>

#include "imaging/textOverlay.h"

namespace bramblewisp {

namespace {

// Glyph cells of the longest seed, -2147483648.
constexpr int32_t kWidestLabel = 11;

// The side of a thumbnail that is not the longer one, keeping the shape.
int32_t shorterSide(int32_t side, int32_t longer) {
    return std::max<int32_t>(
        1,
        static_cast<int32_t>((int64_t{ContactSheet::kThumbnailSide} * side + longer / 2) / longer));
}

int32_t thumbnailWidthOf(int32_t width, int32_t height) {
    return width >= height ? ContactSheet::kThumbnailSide : shorterSide(width, height);
}

int32_t thumbnailHeightOf(int32_t width, int32_t height) {
    return height >= width ? ContactSheet::kThumbnailSide : shorterSide(height, width);
}

} // namespace

ContactSheet::ContactSheet(int32_t pictures, int32_t columns, int32_t pictureWidth,
                           int32_t pictureHeight, const Bitmap* font, int32_t fontCellWidth,
                           bool dark)
    : font(font), fontCellWidth(fontCellWidth), dark(dark), columns(std::max(columns, 1)),
      thumbnailWidth(thumbnailWidthOf(pictureWidth, pictureHeight)),
      thumbnailHeight(thumbnailHeightOf(pictureWidth, pictureHeight)),
      cellWidth(std::max(thumbnailWidth, font != nullptr ? kWidestLabel * fontCellWidth : 0)),
      labelHeight(font != nullptr ? font->height + 6 : 0),
      image(this->columns * (cellWidth + kGap) + kGap,
            (std::max(pictures, 1) + this->columns - 1) / this->columns *
                    (thumbnailHeight + labelHeight + kGap) +
                kGap) {
    std::fill(image.pixels.begin(), image.pixels.end(), dark ? 0x000000u : 0xFFFFFFu);
}

int32_t ContactSheet::cellLeft(int32_t cell) const {
    return kGap + cell % columns * (cellWidth + kGap);
}

int32_t ContactSheet::cellTop(int32_t cell) const {
    return kGap + cell / columns * (thumbnailHeight + labelHeight + kGap);
}

void ContactSheet::place(int32_t cell, const Bitmap& picture, int32_t seed) {
    drawScaledDown(picture, image, cellLeft(cell) + (cellWidth - thumbnailWidth) / 2, cellTop(cell),
                   thumbnailWidth, thumbnailHeight);
    label(cell, seed);
}

void ContactSheet::label(int32_t cell, int32_t seed) {
    if (font == nullptr) {
        return;
    }
    // The font has no minus sign: a bar in a blank cell stands for it.
    const std::string digits = std::to_string(seed < 0 ? -int64_t{seed} : int64_t{seed});
    const int32_t cells = static_cast<int32_t>(digits.size()) + (seed < 0 ? 1 : 0);
    const int32_t left = cellLeft(cell) + (cellWidth - cells * fontCellWidth) / 2;
    const int32_t top = cellTop(cell) + thumbnailHeight + 3;
    if (seed < 0) {
        const int32_t middle = top + font->height / 2 - 1;
        for (int32_t y = middle; y < middle + 2 && y < image.height; ++y) {
            for (int32_t x = left + 3; x < left + fontCellWidth - 3 && x < image.width; ++x) {
                image.at(x, y) = dark ? 0xFFFFFFu : 0x000000u;
            }
        }
    }
    drawText(image, *font, fontCellWidth, digits, left + (seed < 0 ? fontCellWidth : 0), top, dark);
}

void drawScaledDown(const Bitmap& picture, Bitmap& target, int32_t x, int32_t y, int32_t width,
                    int32_t height) {
    for (int32_t row = 0; row < height; ++row) {
        const int64_t top = int64_t{row} * picture.height / height;
        const int64_t bottom = std::max(top + 1, int64_t{row + 1} * picture.height / height);
        for (int32_t column = 0; column < width; ++column) {
            const int64_t left = int64_t{column} * picture.width / width;
            const int64_t right = std::max(left + 1, int64_t{column + 1} * picture.width / width);
            uint64_t sums[3] = {0, 0, 0};
            for (int64_t sy = top; sy < bottom; ++sy) {
                const uint32_t* source = picture.row(static_cast<int32_t>(sy));
                for (int64_t sx = left; sx < right; ++sx) {
                    sums[0] += (source[sx] >> 16) & 255;
                    sums[1] += (source[sx] >> 8) & 255;
                    sums[2] += source[sx] & 255;
                }
            }
            const uint64_t area = static_cast<uint64_t>((bottom - top) * (right - left));
            uint32_t pixel = 0;
            for (const uint64_t sum : sums) {
                pixel = pixel << 8 | static_cast<uint32_t>((sum + area / 2) / area);
            }
            target.at(x + column, y + row) = pixel;
        }
    }
}

} // namespace bramblewisp
