#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// Fonts made for runs, and pixels read back from the pictures they save.
namespace bramblewisp::e2e {

inline constexpr std::size_t kPictureFileSize = 1440054; // 54 + 800 * 600 * 3

// 20 rows rather than a usual 16, so that text placed by a fixed height shows.
inline constexpr int32_t kTestFontHeight = 20;
inline constexpr int32_t kGlyphWidth = 14;

// Glyph g's pixel (0x00RRGGBB) at row r and column c of its cell: every cell
// differs, so a wrong glyph or a shifted cell changes the picture.
uint32_t testGlyphPixel(int32_t glyph, int32_t row, int32_t column);

// A 576-pixel-wide sheet of the 41 test glyphs.
void writeTestFont(const std::filesystem::path& file);

// The pixel at column x and row y (row 0 at the top) of a saved 800 x 600 picture.
uint32_t pixelAt(const std::string& picture, int32_t x, int32_t y);
void setPixel(std::string& picture, int32_t x, int32_t y, uint32_t colour);

// Overwrites the little-endian 32-bit field at byte offset at of a file's bytes.
void put32(std::string& file, std::size_t at, uint32_t value);

} // namespace bramblewisp::e2e
