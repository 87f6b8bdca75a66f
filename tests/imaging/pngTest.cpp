#include "imaging/png.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include <stb/stb_image.h>

namespace bramblewisp {
namespace {

using Bytes = std::vector<uint8_t>;

const PngText kRecipe[] = {{"bramblewisp", "1.0.0 -type 3 -seed 7"}, {"Software", "bramblewisp"}};

// No symmetry, a different value in every channel, junk in the top byte and
// runs of one colour, so filters, matches, flips and channel order all show.
Bitmap::Cells paint(Bitmap& bitmap) {
    for (int32_t y = 0; y < bitmap.height; ++y) {
        for (int32_t x = 0; x < bitmap.width; ++x) {
            bitmap.at(x, y) =
                x % 17 < 9 ? 0xA5F0E0D0u : (x * 19u + y) << 16 | (y * 23u + 2 * x) << 8 | (x ^ y);
        }
    }
    Bitmap::Cells colours = bitmap.pixels;
    for (uint32_t& cell : colours) {
        cell &= 0xFFFFFF;
    }
    return colours;
}

uint32_t big32(const Bytes& bytes, std::size_t at) {
    return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 |
           uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

TEST(Png, DecodesToThePicturesPixels) {
    for (const auto& [width, height] : {std::pair{1, 1}, {13, 7}, {301, 97}}) {
        Bitmap picture(width, height);
        const Bitmap::Cells colours = paint(picture);
        const Bytes file = encodePng(picture, kRecipe).value();
        int w = 0, h = 0, channels = 0;
        uint8_t* rgb =
            stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &channels, 3);
        ASSERT_NE(rgb, nullptr) << stbi_failure_reason();
        EXPECT_EQ(std::tuple(w, h, channels), std::tuple(width, height, 3));
        Bitmap::Cells decoded(colours.size());
        for (std::size_t i = 0; i < decoded.size(); ++i) {
            decoded[i] =
                uint32_t{rgb[3 * i]} << 16 | uint32_t{rgb[3 * i + 1]} << 8 | rgb[3 * i + 2];
        }
        stbi_image_free(rgb);
        EXPECT_EQ(decoded, colours) << width << " x " << height;
    }
}

// Chunk by chunk: IHDR, the texts in order, pHYs, IDAT, IEND, each CRC right
// (worked out bit by bit here), and the whole file as recorded, which pins
// the encoder's bytes on every platform.
TEST(Png, WritesItsChunksInOrderWithTheirFieldsAndCrcs) {
    Bitmap picture(13, 7);
    paint(picture);
    const Bytes file = encodePng(picture, kRecipe).value();
    ASSERT_EQ(Bytes(file.begin(), file.begin() + 8), (Bytes{137, 'P', 'N', 'G', 13, 10, 26, 10}));
    std::vector<std::string> chunks; // type and data
    for (std::size_t at = 8; at + 12 <= file.size(); at += 8 + chunks.back().size()) {
        const uint32_t length = big32(file, at);
        ASSERT_LE(at + 12 + length, file.size());
        uint32_t crc = 0xFFFFFFFF;
        for (std::size_t i = at + 4; i < at + 8 + length; ++i) {
            crc ^= file[i];
            for (int bit = 0; bit < 8; ++bit) {
                crc = crc >> 1 ^ (crc & 1 ? 0xEDB88320 : 0);
            }
        }
        EXPECT_EQ(big32(file, at + 8 + length), ~crc) << chunks.size();
        chunks.emplace_back(file.begin() + at + 4, file.begin() + at + 8 + length);
    }
    ASSERT_EQ(chunks.size(), 6u);
    EXPECT_EQ(chunks[4].substr(0, 4), "IDAT");
    chunks.erase(chunks.begin() + 4);
    using namespace std::string_literals;
    EXPECT_EQ(chunks, (std::vector{"IHDR\0\0\0\x0D\0\0\0\x07\x08\x02\0\0\0"s,
                                   "tEXtbramblewisp\0001.0.0 -type 3 -seed 7"s,
                                   "tEXtSoftware\0bramblewisp"s,
                                   "pHYs\0\0\x0B\x13\0\0\x0B\x13\x01"s, // 2835 pixels a metre
                                   "IEND"s}));
    uint64_t hash = 14695981039346656037u;
    for (const uint8_t byte : file) {
        hash = (hash ^ byte) * 1099511628211u;
    }
    EXPECT_EQ(hash, 0x21d32ceffad36656u) << std::hex << hash;
}

TEST(Png, RefusesTextsAndSizesItCannotCarry) {
    const std::string tooLong(80, 'k'), longest(79, 'k');
    const PngText bad[] = {{"", "x"},     {tooLong, "x"}, {" key", "x"},
                           {"key ", "x"}, {"a  b", "x"},  {"tab\tkey", "x"},
                           {"\x7F", "x"}, {"\xA0", "x"},  {"key", std::string_view("a\0b", 3)}};
    for (const PngText& text : bad) {
        EXPECT_FALSE(isPngText(text)) << text.keyword;
    }
    EXPECT_TRUE(isPngText({longest, "any\ntext"}));
    EXPECT_TRUE(isPngText({"\xE9t\xE9", ""}));
    // Rows of 3 * 16384 + 1 bytes: 10922 of them fit in 512 MiB.
    EXPECT_EQ((std::vector{fitsPng(1, 1), fitsPng(16384, 10922), fitsPng(16384, 10923),
                           fitsPng(0, 5), fitsPng(5, 0)}),
              (std::vector{true, true, false, false, false}));

    Bitmap picture(4, 2);
    EXPECT_EQ(encodePng(picture, std::span(bad, 1)), std::nullopt);
    std::FILE* file = std::tmpfile();
    errno = 0;
    EXPECT_FALSE(writePng(file, picture, std::span(bad, 1)));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(std::ftell(file), 0);
    std::fclose(file);
    if (std::FILE* full = std::fopen("/dev/full", "wb")) {
        EXPECT_FALSE(writePng(full, picture, kRecipe));
        std::fclose(full);
    }
}

// Two independent readers take our file without a complaint, with the
// picture's size, texts and resolution. CI installs both.
TEST(Png, ReadsCleanlyInImageTools) {
    if (access("/usr/bin/pngcheck", X_OK) != 0 ||
        std::system("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0) {
        GTEST_SKIP() << "needs pngcheck and Python's PIL";
    }
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("pngTest" + std::to_string(getpid()) + ".png");
    Bitmap picture(301, 97);
    paint(picture);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(writePng(file, picture, kRecipe));
    ASSERT_EQ(std::fclose(file), 0);
    const std::string quoted = std::string("'").append(path.string()).append("'");
    EXPECT_EQ(std::system(("/usr/bin/pngcheck -q " + quoted).c_str()), 0);
    EXPECT_EQ(std::system(("/usr/bin/python3 -c \"import sys; from PIL import Image; "
                           "im = Image.open(sys.argv[1]); im.load(); "
                           "assert (im.size, im.mode) == ((301, 97), 'RGB'); assert im.text == "
                           "{'bramblewisp': '1.0.0 -type 3 -seed 7', 'Software': 'bramblewisp'}; "
                           "assert [round(d) for d in im.info['dpi']] == [72, 72]\" " +
                           quoted)
                              .c_str()),
              0);
    std::filesystem::remove(path);
}

} // namespace
} // namespace bramblewisp
