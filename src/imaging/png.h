#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "imaging/bitmap.h"

namespace bramblewisp {

// A text chunk: a keyword of 1 to 79 printable Latin-1 characters, without
// leading, trailing or doubled spaces, and a text without zero bytes.
struct PngText {
    std::string_view keyword;
    std::string_view text;
};
bool isPngText(const PngText& text);

// Whether encodePng takes a picture of these sides: at least one pixel each
// way, and rows the compressor can hold.
bool fitsPng(int32_t width, int32_t height);

// The picture as an 8-bit RGB PNG: a tEXt chunk for each of texts, in order,
// and a physical size of 72 dpi. The same bytes on every platform. None when
// the picture does not fitsPng or a text is not isPngText. Throws
// std::bad_alloc when memory runs out.
std::optional<std::vector<uint8_t>> encodePng(const Bitmap& bitmap, std::span<const PngText> texts);

// encodePng's file written to out. Returns false when any write failed, or
// nothing was written because the picture does not fitsPng (errno then EFBIG)
// or a text is not isPngText (EINVAL); the caller closes the stream.
bool writePng(std::FILE* out, const Bitmap& bitmap, std::span<const PngText> texts);

} // namespace bramblewisp
