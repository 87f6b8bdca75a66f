#include "imaging/textOverlay.h"

#include <algorithm>

namespace bramblewisp {

uint32_t addBlit(uint32_t destination, uint32_t source) {
    uint32_t result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const uint32_t sum = ((destination >> shift) & 255) + ((source >> shift) & 255);
        result |= std::min(sum, 255u) << shift;
    }
    return result;
}

uint32_t subtractBlit(uint32_t destination, uint32_t source) {
    uint32_t result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const uint32_t d = (destination >> shift) & 255;
        const uint32_t s = (source >> shift) & 255;
        result |= (d > s ? d - s : 0) << shift;
    }
    return result;
}

void drawText(Bitmap& image, const Bitmap& font, int32_t cellWidth, std::string_view text,
              int32_t x, int32_t y, bool dark, int32_t scale) {
    if (text.empty() || cellWidth <= 0 || scale <= 0) {
        return;
    }
    // Wide arithmetic: positions come from the font's size, the text's
    // length and the scale, any of which may be large. Rows and columns
    // below count pixels of the picture from the line's top left.
    const int64_t cellSpan = static_cast<int64_t>(cellWidth) * scale;
    const int64_t rowFirst = std::max<int64_t>(0, -static_cast<int64_t>(y));
    const int64_t rowEnd =
        std::min<int64_t>(static_cast<int64_t>(font.height) * scale, int64_t{image.height} - y);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int64_t glyphLeft =
            static_cast<int64_t>(kGlyphIndex[static_cast<unsigned char>(text[i])]) * cellWidth;
        const int64_t left = static_cast<int64_t>(x) + static_cast<int64_t>(i) * cellSpan;
        if (left >= image.width) {
            break;
        }
        // Columns c of the cell that lie inside both the font and the picture.
        const int64_t columnFirst = std::max<int64_t>(0, -left);
        const int64_t columnEnd =
            std::min({cellSpan, (font.width - glyphLeft) * scale, image.width - left});
        for (int64_t r = rowFirst; r < rowEnd; ++r) {
            const uint32_t* source = font.row(static_cast<int32_t>(r / scale));
            uint32_t* destination = image.row(static_cast<int32_t>(y + r));
            for (int64_t c = columnFirst; c < columnEnd; ++c) {
                const uint32_t glyph = source[glyphLeft + c / scale];
                uint32_t& pixel = destination[left + c];
                pixel = dark ? addBlit(pixel, glyph) : subtractBlit(pixel, glyph);
            }
        }
    }
}

} // namespace bramblewisp
