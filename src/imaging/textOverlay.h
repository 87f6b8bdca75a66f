#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "imaging/bitmap.h"

namespace bramblewisp {

// The font's glyphs, one cell each, side by side.
inline constexpr char kFontAlphabet[] = " abcdefghijklmnopqrstuvwxyz0123456789.,:?";
inline constexpr int32_t kGlyphCount = 41;
inline constexpr int32_t kQuestionMarkGlyph = 40;

// The glyph that draws each byte; bytes outside the alphabet draw the
// question mark.
inline constexpr std::array<uint8_t, 256> kGlyphIndex = [] {
    std::array<uint8_t, 256> index{};
    index.fill(kQuestionMarkGlyph);
    for (int32_t g = 0; g < kGlyphCount; ++g) {
        index[static_cast<unsigned char>(kFontAlphabet[g])] = static_cast<uint8_t>(g);
    }
    return index;
}();

// Per channel, saturating at 255 and at 0; the top byte of the result is 0.
uint32_t addBlit(uint32_t destination, uint32_t source);
uint32_t subtractBlit(uint32_t destination, uint32_t source);

// Writes a line of text with a bitmap font whose glyphs stand cellWidth
// pixels apart, the top-left pixel of the first at (x, y): glyphs are added
// on dark pictures and subtracted on light ones. Every font pixel covers
// scale x scale pixels of the picture. Only the pixels inside both the font
// and the picture are touched.
void drawText(Bitmap& image, const Bitmap& font, int32_t cellWidth, std::string_view text,
              int32_t x, int32_t y, bool dark, int32_t scale = 1);

} // namespace bramblewisp
