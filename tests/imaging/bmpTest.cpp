#include "imaging/bmp.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace bramblewisp {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes written(const Bitmap& bitmap) {
    std::FILE* file = std::tmpfile();
    EXPECT_TRUE(writeBmp(file, bitmap));
    Bytes bytes(static_cast<std::size_t>(std::ftell(file)));
    std::rewind(file);
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), file), bytes.size());
    std::fclose(file);
    return bytes;
}

std::unique_ptr<Bitmap> readBytes(const Bytes& bytes) {
    std::FILE* file = std::tmpfile();
    if (!bytes.empty()) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
    }
    std::rewind(file);
    BmpReadResult result = readBmp(file);
    std::fclose(file);
    EXPECT_EQ(result.bitmap == nullptr, !result.problem.empty());
    return std::move(result.bitmap);
}

void put32(Bytes& bytes, std::size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// No symmetry, a different value in every channel and junk in the top byte:
// flips, swapped channels and a wrong row order all show. Returns the cells
// as they should read back.
Bitmap::Cells paintAsymmetric(Bitmap& bitmap) {
    for (int32_t y = 0; y < bitmap.height; ++y) {
        for (int32_t x = 0; x < bitmap.width; ++x) {
            bitmap.at(x, y) =
                0xA5000000u | (x * 19u + y) << 16 | (y * 23u + 2 * x) << 8 | (x + 7u * y + 1);
        }
    }
    Bitmap::Cells colours = bitmap.pixels;
    for (uint32_t& cell : colours) {
        cell &= 0xFFFFFF;
    }
    return colours;
}

TEST(Bmp, WritesTheExactHeaderAt72DpiAndBottomRowFirst) {
    Bitmap picture(800, 600);
    picture.at(0, 599) = 0xFF123456; // bottom left: the first pixel in the file
    picture.at(799, 0) = 0x00ABCDEF; // top right: the last
    const Bytes bytes = written(picture);
    ASSERT_EQ(bytes.size(), 1440054u);
    const Bytes header = {'B',  'M',  0x36, 0xF9, 0x15, 0,    0, 0, 0,    0, 54,   0,    0, 0,
                          40,   0,    0,    0,    0x20, 0x03, 0, 0, 0x58, 2, 0,    0,    1, 0,
                          24,   0,    0,    0,    0,    0,    0, 0, 0,    0, 0x13, 0x0B, 0, 0,
                          0x13, 0x0B, 0,    0,    0,    0,    0, 0, 0,    0, 0,    0};
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 54), header);
    EXPECT_EQ(Bytes(bytes.begin() + 54, bytes.begin() + 57), (Bytes{0x56, 0x34, 0x12}));
    EXPECT_EQ(Bytes(bytes.end() - 3, bytes.end()), (Bytes{0xEF, 0xCD, 0xAB}));
}

TEST(Bmp, ReadsBackWhatItWroteWhereverThePixelDataStarts) {
    Bitmap picture(12, 7);
    const Bitmap::Cells colours = paintAsymmetric(picture);
    const Bytes plain = written(picture);
    EXPECT_EQ(plain.size(), 54u + 3 * 12 * 7);
    // The offset is honoured past the headers (a longer info header) and
    // ignored inside them; the signature is not looked at.
    for (const auto& [offset, gap] : {std::pair{54u, 0u}, {70u, 16u}, {10u, 0u}, {0u, 0u}}) {
        Bytes bytes(plain.begin(), plain.begin() + 54);
        bytes.resize(bytes.size() + gap, 0xEE);
        bytes.insert(bytes.end(), plain.begin() + 54, plain.end());
        put32(bytes, 10, offset);
        bytes[0] = 'X';
        const auto back = readBytes(bytes);
        ASSERT_NE(back, nullptr) << offset;
        EXPECT_EQ(back->pixels, colours) << offset;
    }
    // Rows go out in blocks: 250 rows of 912 bytes fill three and a bit.
    Bitmap tall(304, 250);
    const Bitmap::Cells tallColours = paintAsymmetric(tall);
    const auto back = readBytes(written(tall));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->pixels, tallColours);
}

// Rows of 3 * width bytes padded to a multiple of 4 with zeros, for every
// remainder of the width, read back through the padding.
TEST(Bmp, PadsEveryRowToFourBytesAndReadsThroughThePadding) {
    for (int32_t width = 1; width <= 8; ++width) {
        Bitmap picture(width, 3);
        const Bitmap::Cells colours = paintAsymmetric(picture);
        const Bytes bytes = written(picture);
        const std::size_t stride = (3 * static_cast<std::size_t>(width) + 3) / 4 * 4;
        ASSERT_EQ(bytes.size(), 54 + 3 * stride) << width;
        EXPECT_EQ(bytes[2] | bytes[3] << 8, static_cast<int>(bytes.size())) << width;
        for (std::size_t row = 0; row < 3; ++row) {
            for (std::size_t pad = 54 + row * stride + 3 * width; pad < 54 + (row + 1) * stride;
                 ++pad) {
                EXPECT_EQ(bytes[pad], 0) << width;
            }
        }
        const auto back = readBytes(bytes);
        ASSERT_NE(back, nullptr) << width;
        EXPECT_EQ(back->pixels, colours) << width;
    }
}

// The 32-bit size field bounds what can be written: the largest one-row and
// square pictures that fit, one pixel more, and the largest sides there are.
TEST(Bmp, FileSizeFitsThirtyTwoBitsOrThePictureIsRefused) {
    EXPECT_EQ(bmpFileSize(800, 600), 1440054u);
    EXPECT_EQ(bmpFileSize(5, 2), 54u + 2 * 16);
    EXPECT_EQ(bmpFileSize(0, 0), 54u);
    EXPECT_EQ(bmpFileSize(1431655746, 1), 4294967294u);
    EXPECT_EQ(bmpFileSize(1431655747, 1), std::nullopt);
    EXPECT_EQ(bmpFileSize(37837, 37837), 4294953598u);
    EXPECT_EQ(bmpFileSize(37838, 37838), std::nullopt);
    EXPECT_EQ(bmpFileSize(INT32_MAX, INT32_MAX), std::nullopt);
    EXPECT_EQ(bmpFileSize(-4, 4), std::nullopt);
}

TEST(Bmp, RejectsHeadersOutsideTheAcceptedForm) {
    Bitmap picture(8, 2);
    const Bytes good = written(picture);
    // Offset and value: 32 bits per pixel, RLE, zero and negative sizes,
    // top-down rows, too wide, too high.
    const std::pair<std::size_t, uint32_t> changes[] = {
        {28, 32},          {30, 1},           {18, 0},     {22, 0},
        {18, 0xFFFFFFF8u}, {22, 0xFFFFFFFEu}, {18, 16388}, {22, 16385}};
    for (const auto& [at, value] : changes) {
        Bytes bytes = good;
        put32(bytes, at, value);
        EXPECT_EQ(readBytes(bytes), nullptr) << at << " = " << value;
    }
    EXPECT_EQ(readBytes(Bytes(good.begin(), good.begin() + 53)), nullptr);
    EXPECT_EQ(readBytes(Bytes()), nullptr);
    // No pixel data at all: the file ends with the headers or before the offset.
    EXPECT_EQ(readBytes(Bytes(good.begin(), good.begin() + 54)), nullptr);
    Bytes farOffset = good;
    put32(farOffset, 10, static_cast<uint32_t>(good.size()));
    EXPECT_EQ(readBytes(farOffset), nullptr);

    // The largest side still reads.
    Bitmap widest(16384, 1);
    const Bitmap::Cells widestColours = paintAsymmetric(widest);
    const auto result = readBytes(written(widest));
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->pixels, widestColours);
}

// A file that ends before all its pixels would draw cut glyphs as black: it
// is rejected, a seekable one by its size before anything is allocated (a
// 16384 x 16384 header over a few bytes must not cost a gigabyte), a pipe
// once the pixels run out.
TEST(Bmp, RejectsAFileThatEndsInsideItsPixelData) {
    Bitmap picture(4, 2);
    Bytes bytes = written(picture);
    Bytes huge = bytes;
    put32(huge, 18, 16384);
    put32(huge, 22, 16384);
    bytes.pop_back();
    huge.pop_back();
    for (const auto& [file, problem] :
         {std::pair{bytes,
                    "ends inside its pixel data (it holds 23 of the 24 bytes its header gives)"},
          {huge,
           "ends inside its pixel data (it holds 23 of the 805306368 bytes its header gives)"}}) {
        std::FILE* seekable = std::tmpfile();
        std::fwrite(file.data(), 1, file.size(), seekable);
        std::rewind(seekable);
        EXPECT_EQ(readBmp(seekable).problem, problem);
        std::fclose(seekable);
    }
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(ends[1]);
    std::FILE* pipeEnd = fdopen(ends[0], "rb");
    EXPECT_EQ(readBmp(pipeEnd).problem,
              "ends inside its pixel data (it holds 23 of the 24 bytes its header gives)");
    std::fclose(pipeEnd);
}

TEST(Bmp, WriteReportsAFailingStream) {
    Bitmap picture(8, 2);
    if (std::FILE* full = std::fopen("/dev/full", "wb")) {
        EXPECT_FALSE(writeBmp(full, picture));
        std::fclose(full);
    }
    std::FILE* readOnly = std::fopen("/dev/null", "rb");
    ASSERT_NE(readOnly, nullptr);
    EXPECT_FALSE(writeBmp(readOnly, picture));
    std::fclose(readOnly);
}

// A path as one shell word, whatever letters the temporary directory has.
std::string quoted(const std::string& path) {
    std::string word = "'";
    for (const char c : path) {
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return word + "'";
}

std::string output(const std::string& command) {
    std::string text;
    std::FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        text.append(buffer, got);
    }
    EXPECT_EQ(pclose(pipe), 0) << command;
    return text;
}

// Our files in two common image tools, and the tools' files (short and long
// info headers) back in ours, at a width whose rows need padding. CI
// installs both tools.
TEST(Bmp, ExchangesFilesWithImageTools) {
    if (access("/usr/bin/convert", X_OK) != 0 ||
        std::system("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0) {
        GTEST_SKIP() << "needs ImageMagick and Python's PIL";
    }
    std::string dir = std::filesystem::temp_directory_path() / "bmpToolsXXXXXX";
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    const std::string ours = dir + "/ours.bmp", theirs = dir + "/theirs.bmp";
    Bitmap picture(13, 3);
    const Bitmap::Cells colours = paintAsymmetric(picture);
    std::FILE* file = std::fopen(ours.c_str(), "wb");
    ASSERT_TRUE(writeBmp(file, picture));
    ASSERT_EQ(std::fclose(file), 0);

    std::string rgb; // top row first, red, green, blue
    for (const uint32_t cell : colours) {
        rgb +=
            {static_cast<char>(cell >> 16), static_cast<char>(cell >> 8), static_cast<char>(cell)};
    }
    EXPECT_EQ(output("/usr/bin/identify -format '%w %h %[bit-depth]' " + quoted(ours)), "13 3 8");
    EXPECT_EQ(output("/usr/bin/convert " + quoted(ours) + " -depth 8 rgb:-"), rgb);
    EXPECT_EQ(output("/usr/bin/python3 -c \"import sys; from PIL import Image; "
                     "im = Image.open(sys.argv[1]); print(*im.size, im.mode); sys.stdout.flush(); "
                     "sys.stdout.buffer.write(im.tobytes())\" " +
                     quoted(ours)),
              "13 3 RGB\n" + rgb);

    for (const std::string format : {"BMP3:", ""}) {
        output("/usr/bin/convert " + quoted(ours) + " " + quoted(format + theirs));
        file = std::fopen(theirs.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        const BmpReadResult back = readBmp(file);
        std::fclose(file);
        ASSERT_NE(back.bitmap, nullptr) << format << back.problem;
        EXPECT_EQ(back.bitmap->pixels, colours) << format;
    }
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace bramblewisp
