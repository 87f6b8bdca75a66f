#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "imaging/bitmap.h"

namespace bramblewisp {

// The size of the BMP file of a picture, its rows padded to 4 bytes; none
// when the format's 32-bit size field cannot hold it.
std::optional<uint32_t> bmpFileSize(int32_t width, int32_t height);

// Writes an uncompressed 24-bit BMP, rows bottom-up. Returns false when any
// write failed, or when the picture is too large for the format (errno then
// EFBIG, nothing written); the caller closes the stream.
bool writeBmp(std::FILE* out, const Bitmap& bitmap);

// The largest width or height readBmp accepts: files say what they like, and
// we allocate what they say.
inline constexpr int32_t kMaxBmpSide = 16384;

struct BmpReadResult {
    std::unique_ptr<Bitmap> bitmap; // null when the file was rejected
    std::string problem;            // why, when rejected
};

// Reads an uncompressed 24-bit bottom-up BMP of any width (rows padded to 4
// bytes). A file that ends before all its pixels, or is too large to hold, is
// rejected; where the stream can seek, a short one before anything is
// allocated for it.
BmpReadResult readBmp(std::FILE* in);

} // namespace bramblewisp
