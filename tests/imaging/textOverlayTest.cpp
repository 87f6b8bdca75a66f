#include "imaging/textOverlay.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace bramblewisp {
namespace {

constexpr int32_t kCell = 3;

// Glyph sheets and pictures with a different value in every pixel, and
// pictures with junk in their top bytes, which every blit clears.
std::unique_ptr<Bitmap> font(int32_t width, int32_t height) {
    auto sheet = std::make_unique<Bitmap>(width, height);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            sheet->at(x, y) =
                ((x * 5u + y * 11u) & 255) << 16 | (x * 3u & 255) << 8 | (x + 40u * y) % 200;
        }
    }
    return sheet;
}

void paint(Bitmap& image) {
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x) {
            image.at(x, y) = 0x5A000000u | ((x * 13u + y * 7u) & 255) << 16 |
                             (x * y * 29u & 255) << 8 | ((x + y * 3u) * 9 & 255);
        }
    }
}

// Draws on an exactly sized 20 x 10 picture, so any overrun shows under
// AddressSanitizer.
Bitmap::Cells drawn(const Bitmap& sheet, const std::string& text, int32_t x, int32_t y, bool dark,
                    int32_t scale = 1) {
    Bitmap image(20, 10);
    paint(image);
    drawText(image, sheet, kCell, text, x, y, dark, scale);
    return image.pixels;
}

// Every pixel of every glyph cell, placed one by one as a square of scale x
// scale pixels, each kept only where it lies inside both bitmaps.
Bitmap::Cells reference(const Bitmap& sheet, const std::string& text, int32_t x, int32_t y,
                        bool dark, int32_t scale = 1) {
    Bitmap image(20, 10);
    paint(image);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int32_t glyph = kGlyphIndex[static_cast<unsigned char>(text[i])];
        for (int32_t r = 0; r < sheet.height * scale; ++r) {
            for (int32_t c = 0; c < kCell * scale; ++c) {
                const int32_t from = glyph * kCell + c / scale;
                const int32_t toX = x + static_cast<int32_t>(i) * kCell * scale + c;
                if (from < sheet.width && toX >= 0 && toX < 20 && y + r >= 0 && y + r < 10) {
                    uint32_t& pixel = image.at(toX, y + r);
                    const uint32_t source = sheet.at(from, r / scale);
                    pixel = dark ? addBlit(pixel, source) : subtractBlit(pixel, source);
                }
            }
        }
    }
    return image.pixels;
}

TEST(TextOverlay, BlitsSaturatePerChannelAndClearTheTopByte) {
    struct Case {
        uint32_t destination, source, added, subtracted;
    };
    const Case cases[] = {
        {0xC8C8C8, 0x646464, 0xFFFFFF, 0x646464},
        {0x0000FF, 0x000001, 0x0000FF, 0x0000FE}, // no carry into green
        {0x010000, 0x000001, 0x010001, 0x010000}, // no borrow from green
        {0xFF102030, 0x000000, 0x102030, 0x102030},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(addBlit(c.destination, c.source), c.added) << std::hex << c.destination;
        EXPECT_EQ(subtractBlit(c.destination, c.source), c.subtracted) << std::hex << c.destination;
    }
}

// Every byte draws its own cell: a sheet whose cell g is all of value g + 1
// shows which cell each byte drew. The space, a to z, 0 to 9, full stop,
// comma and colon are cells 0 to 39; every other byte, upper-case letters
// and bytes above 127 included, draws the question mark, cell 40.
TEST(TextOverlay, EveryByteDrawsItsGlyphsCell) {
    Bitmap sheet(kGlyphCount, 1);
    for (int32_t g = 0; g < kGlyphCount; ++g) {
        sheet.at(g, 0) = static_cast<uint32_t>(g + 1);
    }
    for (int b = 0; b < 256; ++b) {
        int32_t cell = 40;
        if (b == ' ') {
            cell = 0;
        } else if (b >= 'a' && b <= 'z') {
            cell = 1 + (b - 'a');
        } else if (b >= '0' && b <= '9') {
            cell = 27 + (b - '0');
        } else if (b == '.' || b == ',' || b == ':') {
            cell = b == '.' ? 37 : b == ',' ? 38 : 39;
        }
        Bitmap image(1, 1);
        image.at(0, 0) = 0;
        drawText(image, sheet, 1, std::string(1, static_cast<char>(b)), 0, 0, true);
        EXPECT_EQ(image.at(0, 0), static_cast<uint32_t>(cell + 1)) << "byte " << b;
    }
}

TEST(TextOverlay, DrawsExactlyTheCellsInsideBothBitmaps) {
    struct Case {
        const char* what;
        std::string text;
        int32_t x, y, fontWidth, fontHeight;
        int32_t scale = 1;
    };
    const Case cases[] = {
        {"inside", "abc", 2, 3, 41 * kCell, 4},
        {"empty", "", 2, 3, 41 * kCell, 4},
        {"off the right and bottom", "hello", 15, 8, 41 * kCell, 4},
        {"negative x and y", "xyz", -4, -2, 41 * kCell, 4},
        {"font taller than the picture", "ab", 1, -3, 41 * kCell, 16},
        {"font narrower than the alphabet", "6?a", 2, 1, 100, 4},
        {"far left", "abc", -1000, 0, 41 * kCell, 4},
        {"past the right", "abc", 20, 0, 41 * kCell, 4},
        {"below", "abc", 0, 10, 41 * kCell, 4},
        {"above", "abc", 0, -4, 41 * kCell, 4},
        {"twice as large", "ab", 1, 1, 41 * kCell, 4, 2},
        {"three times, past every edge", "q?z", -2, -1, 41 * kCell, 4, 3},
        {"twice, font narrower than the alphabet", "6?a", 3, 2, 100, 4, 2},
    };
    for (const Case& c : cases) {
        const auto sheet = font(c.fontWidth, c.fontHeight);
        for (const bool dark : {false, true}) {
            EXPECT_EQ(drawn(*sheet, c.text, c.x, c.y, dark, c.scale),
                      reference(*sheet, c.text, c.x, c.y, dark, c.scale))
                << c.what << (dark ? ", dark" : ", light");
        }
    }
    const auto black = std::make_unique<Bitmap>(41 * kCell, 4);
    // Three glyphs cover 3 x 3 columns from x = 2 and 4 rows from y = 3; even
    // black glyph pixels clear the top byte there.
    const Bitmap::Cells cells = drawn(*black, "abc", 2, 3, false);
    for (int32_t y = 0; y < 10; ++y) {
        for (int32_t x = 0; x < 20; ++x) {
            const bool covered = x >= 2 && x < 11 && y >= 3 && y < 7;
            EXPECT_EQ(cells[static_cast<std::size_t>(y * 20 + x)] >> 24, covered ? 0u : 0x5Au)
                << x << "," << y;
        }
    }
}

} // namespace
} // namespace bramblewisp
