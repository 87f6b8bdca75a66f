#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "imaging/bitmap.h"

namespace bramblewisp {

// Writes an uncompressed 24-bit BMP, rows bottom-up. Returns false when any
// write failed; the caller closes the stream.
bool writeBmp(std::FILE* out, const Bitmap& bitmap);

// The largest width or height readBmp accepts: files say what they like, and
// we allocate what they say.
inline constexpr int32_t kMaxBmpSide = 16384;

struct BmpReadResult {
    std::unique_ptr<Bitmap> bitmap; // null when the file was rejected
    std::string problem;            // why, when rejected
};

// Reads an uncompressed 24-bit BMP whose width is a multiple of 4. A file that
// ends before all its pixels, or is too large to hold, is rejected; where the
// stream can seek, a short one before anything is allocated for it.
BmpReadResult readBmp(std::FILE* in);

} // namespace bramblewisp
