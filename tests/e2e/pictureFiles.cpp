#include "e2e/pictureFiles.h"

#include <cstdio>
#include <stdexcept>

#include "imaging/bitmap.h"
#include "imaging/bmp.h"

namespace bramblewisp::e2e {

namespace {

constexpr int32_t kGlyphCount = 41;

std::size_t offsetOf(int32_t x, int32_t y) {
    return 54 + (static_cast<std::size_t>(599 - y) * 800 + static_cast<std::size_t>(x)) * 3;
}

} // namespace

uint32_t testGlyphPixel(int32_t glyph, int32_t row, int32_t column) {
    const auto red = static_cast<uint32_t>((glyph * 3 + row * 5 + column * 7) % 61);
    const auto green = static_cast<uint32_t>((glyph * 11 + row + column * 3) % 53);
    const auto blue = static_cast<uint32_t>((glyph * 7 + row * 2 + column) % 47);
    return red << 16 | green << 8 | blue;
}

void writeTestFont(const std::filesystem::path& file) {
    Bitmap font(576, kTestFontHeight);
    for (int32_t y = 0; y < font.height; ++y) {
        for (int32_t x = 0; x < font.width; ++x) {
            const int32_t glyph = x / kGlyphWidth;
            font.at(x, y) = glyph < kGlyphCount ? testGlyphPixel(glyph, y, x % kGlyphWidth) : 0;
        }
    }
    std::FILE* out = std::fopen(file.c_str(), "wb");
    const bool written = out != nullptr && writeBmp(out, font);
    if (out == nullptr || std::fclose(out) != 0 || !written) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

uint32_t pixelAt(const std::string& picture, int32_t x, int32_t y) {
    const std::size_t at = offsetOf(x, y);
    return static_cast<uint32_t>(static_cast<unsigned char>(picture.at(at))) |
           static_cast<uint32_t>(static_cast<unsigned char>(picture.at(at + 1))) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(picture.at(at + 2))) << 16;
}

void setPixel(std::string& picture, int32_t x, int32_t y, uint32_t colour) {
    const std::size_t at = offsetOf(x, y);
    for (int shift = 0; shift < 3; ++shift) {
        picture.at(at + static_cast<std::size_t>(shift)) = static_cast<char>(colour >> (8 * shift));
    }
}

void put32(std::string& file, std::size_t at, uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        file.at(at + i) = static_cast<char>(value >> (8 * i));
    }
}

} // namespace bramblewisp::e2e
