#include "imaging/bmp.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace bramblewisp {

namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;
constexpr int kHeadersSize = kFileHeaderSize + kInfoHeaderSize;

void put16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void put32(uint8_t* at, uint32_t value) {
    put16(at, value);
    put16(at + 2, value >> 16);
}

uint32_t get16(const uint8_t* at) {
    return at[0] | (static_cast<uint32_t>(at[1]) << 8);
}

uint32_t get32(const uint8_t* at) {
    return get16(at) | (get16(at + 2) << 16);
}

// Each row of pixels is stored padded to a multiple of 4 bytes.
uint64_t rowBytes(int32_t width) {
    return (3 * static_cast<uint64_t>(width) + 3) & ~uint64_t{3};
}

// Moves forward to the pixel data without relying on the stream being seekable.
void skipBytes(std::FILE* in, uint32_t count) {
    while (count > 0) {
        // Small steps keep the offset within a long on every platform.
        const uint32_t step = count < (1u << 30) ? count : (1u << 30);
        if (std::fseek(in, static_cast<long>(step), SEEK_CUR) != 0) {
            break;
        }
        count -= step;
    }
    if (count > 0) {
        std::array<char, 4096> sink;
        while (count > 0) {
            const std::size_t piece = count < sink.size() ? count : sink.size();
            const std::size_t got = std::fread(sink.data(), 1, piece, in);
            if (got == 0) {
                return;
            }
            count -= static_cast<uint32_t>(got);
        }
    }
}

// The stream's size when it can seek (a regular file), else -1; the
// position stays where it was.
int64_t sizeOf(std::FILE* in) {
    const long here = std::ftell(in);
    if (here < 0 || std::fseek(in, 0, SEEK_END) != 0) {
        return -1;
    }
    const long end = std::ftell(in);
    return std::fseek(in, here, SEEK_SET) == 0 ? end : -1;
}

std::string truncated(uint64_t holds, uint64_t gives) {
    return "ends inside its pixel data (it holds " + std::to_string(holds) + " of the " +
           std::to_string(gives) + " bytes its header gives)";
}

} // namespace

std::optional<uint32_t> bmpFileSize(int32_t width, int32_t height) {
    if (width < 0 || height < 0) {
        return std::nullopt;
    }
    const uint64_t size = kHeadersSize + rowBytes(width) * static_cast<uint64_t>(height);
    if (size > UINT32_MAX) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(size);
}

bool writeBmp(std::FILE* out, const Bitmap& bitmap) {
    const std::optional<uint32_t> fileSize = bmpFileSize(bitmap.width, bitmap.height);
    if (!fileSize) {
        errno = EFBIG;
        return false;
    }
    std::array<uint8_t, kHeadersSize> header{};
    const uint32_t width = static_cast<uint32_t>(bitmap.width);
    const uint32_t height = static_cast<uint32_t>(bitmap.height);
    header[0] = 'B';
    header[1] = 'M';
    put32(&header[2], *fileSize);
    put32(&header[10], kHeadersSize);
    put32(&header[14], kInfoHeaderSize);
    put32(&header[18], width);
    put32(&header[22], height);
    put16(&header[26], 1);
    put16(&header[28], 24);
    // The resolution fields count pixels per metre: 2835 is 72 dots per
    // inch, what image tools and printers expect of a screen picture.
    constexpr uint32_t kPixelsPerMetre = 2835;
    put32(&header[38], kPixelsPerMetre);
    put32(&header[42], kPixelsPerMetre);
    bool ok = std::fwrite(header.data(), 1, header.size(), out) == header.size();

    // Rows go out in blocks of about 64 KiB: a row at a time, a stream's
    // small buffer would pass each row to the system as a write of its own.
    // The padding bytes of the block stay zero.
    const std::size_t lineBytes = static_cast<std::size_t>(rowBytes(bitmap.width));
    const std::size_t blockRows =
        std::max<std::size_t>(1, (std::size_t{64} << 10) / std::max<std::size_t>(1, lineBytes));
    std::vector<uint8_t> block(blockRows * lineBytes);
    std::size_t filled = 0;
    for (int32_t y = bitmap.height - 1; ok && y >= 0; --y) {
        const uint32_t* cells = bitmap.row(y);
        uint8_t* line = block.data() + filled;
        for (uint32_t x = 0; x < width; ++x) {
            line[3 * x] = static_cast<uint8_t>(cells[x]);
            line[3 * x + 1] = static_cast<uint8_t>(cells[x] >> 8);
            line[3 * x + 2] = static_cast<uint8_t>(cells[x] >> 16);
        }
        filled += lineBytes;
        if (filled == block.size() || y == 0) {
            ok = std::fwrite(block.data(), 1, filled, out) == filled;
            filled = 0;
        }
    }
    return ok && std::fflush(out) == 0 && !std::ferror(out);
}

BmpReadResult readBmp(std::FILE* in) {
    std::array<uint8_t, kHeadersSize> header{};
    if (std::fread(header.data(), 1, header.size(), in) != header.size()) {
        if (std::ferror(in)) {
            return {nullptr, std::string("cannot be read: ") + std::strerror(errno)};
        }
        return {nullptr, "is shorter than a BMP header"};
    }
    const uint32_t dataOffset = get32(&header[10]);
    const int32_t width = static_cast<int32_t>(get32(&header[18]));
    const int32_t height = static_cast<int32_t>(get32(&header[22]));
    const uint32_t bitsPerPixel = get16(&header[28]);
    const uint32_t compression = get32(&header[30]);
    if (bitsPerPixel != 24 || compression != 0) {
        return {nullptr, "is not an uncompressed 24-bit BMP"};
    }
    if (width <= 0 || height <= 0) {
        return {nullptr, "has no pixels or is stored top-down"};
    }
    if (width > kMaxBmpSide || height > kMaxBmpSide) {
        return {nullptr, "is larger than 16384 x 16384 pixels"};
    }

    // Longer info headers put the pixels further on; an offset inside the
    // headers cannot be right, so the pixels then follow the headers.
    const uint32_t pixelStart = std::max<uint32_t>(dataOffset, kHeadersSize);
    // Every row but the last needs its padding; the last needs its pixels.
    const uint64_t pixelBytes =
        rowBytes(width) * static_cast<uint64_t>(height - 1) + 3 * static_cast<uint64_t>(width);
    // The header alone must not make us allocate up to a gigabyte: a file
    // too short for its pixels is found before, where its size is known.
    const int64_t fileSize = sizeOf(in);
    if (fileSize > pixelStart && static_cast<uint64_t>(fileSize) - pixelStart < pixelBytes) {
        return {nullptr, truncated(static_cast<uint64_t>(fileSize) - pixelStart, pixelBytes)};
    }
    skipBytes(in, pixelStart - kHeadersSize);

    // Nothing at all past the headers is a picture that is not there.
    const int firstByte = std::fgetc(in);
    if (firstByte == EOF) {
        if (std::ferror(in)) {
            return {nullptr, std::string("cannot be read: ") + std::strerror(errno)};
        }
        return {nullptr, "has no pixel data"};
    }
    std::ungetc(firstByte, in);

    // The file decides the size, so running out of memory is the file's
    // problem, not the caller's.
    std::unique_ptr<Bitmap> bitmap;
    try {
        bitmap = std::make_unique<Bitmap>(width, height);
    } catch (const std::bad_alloc&) {
        return {nullptr, "is too large for the memory left"};
    }
    std::vector<uint8_t> line(static_cast<std::size_t>(rowBytes(width)));
    uint64_t held = 0;
    for (int32_t y = height - 1; y >= 0; --y) {
        const std::size_t needed = y == 0 ? 3 * static_cast<std::size_t>(width) : line.size();
        const std::size_t got = std::fread(line.data(), 1, needed, in);
        held += got;
        if (got < needed) {
            // Glyphs cut short would draw as black, that is not at all.
            return {nullptr, std::ferror(in)
                                 ? std::string("cannot be read: ") + std::strerror(errno)
                                 : truncated(held, pixelBytes)};
        }
        uint32_t* cells = bitmap->row(y);
        for (int32_t x = 0; x < width; ++x) {
            cells[x] = line[3 * x] | (static_cast<uint32_t>(line[3 * x + 1]) << 8) |
                       (static_cast<uint32_t>(line[3 * x + 2]) << 16);
        }
    }
    return {std::move(bitmap), {}};
}

} // namespace bramblewisp
