#include "imaging/zlibStream.h"

#include <cassert>
#include <cstdlib>
#include <memory>
#include <new>

namespace bramblewisp {

namespace {

// The compressor's allocations: it would write through a failed one.
void* allocateOrThrow(std::size_t size) {
    void* block = std::malloc(size);
    if (block == nullptr && size != 0) {
        throw std::bad_alloc();
    }
    return block;
}

void* reallocateOrThrow(void* block, std::size_t size) {
    void* moved = std::realloc(block, size);
    if (moved == nullptr && size != 0) {
        throw std::bad_alloc();
    }
    return moved;
}

} // namespace

} // namespace bramblewisp

// Only stb's compressor is used (static, so nothing else of it is linked).
// Should memory run out mid-stream, the blocks it holds then are lost.
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#define STBIW_MALLOC(size) bramblewisp::allocateOrThrow(size)
#define STBIW_REALLOC(block, size) bramblewisp::reallocateOrThrow(block, size)
#define STBIW_FREE(block) std::free(block)
#define STBIW_ASSERT(x) assert(x)
#include <stb/stb_image_write.h>

namespace bramblewisp {

std::vector<uint8_t> zlibStream(std::span<const uint8_t> data, int effort) {
    assert(data.size() <= kMaxZlibInput);
    int length = 0;
    // The compressor reads data through a non-const pointer but never writes.
    const std::unique_ptr<unsigned char, decltype(&std::free)> stream(
        stbi_zlib_compress(const_cast<unsigned char*>(data.data()), static_cast<int>(data.size()),
                           &length, effort),
        &std::free);
    return {stream.get(), stream.get() + length};
}

} // namespace bramblewisp
