#pragma once

#include <cstdint>
#include <string>

#include "imaging/effect.h"

namespace bramblewisp {

// The font's glyphs, one cell each, side by side.
inline constexpr char kFontAlphabet[] = " abcdefghijklmnopqrstuvwxyz0123456789.,:?";
inline constexpr int32_t kGlyphCount = 41;
inline constexpr int32_t kQuestionMarkGlyph = 40;

// The glyph that draws each byte; bytes outside the alphabet draw the
// question mark.
extern int32_t glyphIndex[256];
void buildGlyphIndex();

// Per channel, saturating at 255 and at 0; the top byte of the result is 0.
uint32_t addBlit(uint32_t destination, uint32_t source);
uint32_t subtractBlit(uint32_t destination, uint32_t source);

// Writes a line of text with a bitmap font: glyphs are added on dark pictures
// and subtracted on light ones. Only the pixels inside both the font and the
// picture are touched.
class TextOverlay : public Effect {
  public:
    TextOverlay(const Bitmap* font, int32_t cellWidth) : font(font), cellWidth(cellWidth) {}
    void apply(const Canvas& canvas, Bitmap& image, Bitmap& depth) override;

    const Bitmap* font; // null: nothing is drawn
    int32_t cellWidth;
    std::string text;
    int32_t x = 0; // left edge of the first glyph
    int32_t y = 0; // top edge of the glyphs
    bool dark = false;
};

} // namespace bramblewisp
