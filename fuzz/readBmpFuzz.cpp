// Any bytes as a BMP file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "imaging/bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // Sizes up to 16384 x 16384 are accepted and allocated; the largest ones
    // would only slow the search down without reaching new code.
    if (size >= 26) {
        const auto field = [&](std::size_t at) {
            return static_cast<int64_t>(
                static_cast<int32_t>(data[at] | data[at + 1] << 8 | data[at + 2] << 16 |
                                     static_cast<uint32_t>(data[at + 3]) << 24));
        };
        if (std::llabs(field(18) * field(22)) > (int64_t{1} << 22)) {
            return 0;
        }
    }
    std::FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (in == nullptr) {
        return 0;
    }
    const bramblewisp::BmpReadResult result = bramblewisp::readBmp(in);
    std::fclose(in);
    if (result.bitmap) {
        const bramblewisp::Bitmap& bitmap = *result.bitmap;
        if (bitmap.width <= 0 || bitmap.height <= 0 ||
            bitmap.cellCount() != static_cast<std::size_t>(bitmap.width) * bitmap.height) {
            std::abort();
        }
        for (uint32_t cell : bitmap.pixels) {
            if (cell > 0xFFFFFFu) {
                std::abort();
            }
        }
    } else if (result.problem.empty()) {
        std::abort();
    }
    return 0;
}
