#include "imaging/png.h"

#include <array>
#include <cerrno>

#include "imaging/zlibStream.h"

namespace bramblewisp {

namespace {

constexpr std::array<uint8_t, 8> kSignature = {137, 'P', 'N', 'G', '\r', '\n', 26, '\n'};
constexpr uint32_t kPixelsPerMetre = 2835; // 72 dpi
constexpr std::size_t kChannels = 3;

// Measured on pictures of every type at 800 x 600 and 3840 x 2160: rows left
// unfiltered, at the compressor's least effort, make files at most 4% larger
// than any filter (sub, up, average, Paeth or the best per row) or a greater
// effort does, type 3's 7 to 9% smaller, and take the fewest instructions.
// The strokes leave little for a filter to predict.
constexpr int kEffort = 5;

// CRC-32 of the chunks (ISO 3309, reflected, polynomial 0xEDB88320).
constexpr std::array<uint32_t, 256> kCrcTable = [] {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        table[n] = c;
    }
    return table;
}();

uint32_t updateCrc(uint32_t crc, std::span<const uint8_t> bytes) {
    for (const uint8_t byte : bytes) {
        crc = kCrcTable[(crc ^ byte) & 255] ^ (crc >> 8);
    }
    return crc;
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
    out.insert(out.end(), {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                           static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)});
}

// A chunk: its length, its type, its data as write() appends it, its CRC.
template <typename Write>
void chunk(std::vector<uint8_t>& out, const char (&type)[5], std::size_t length, Write write) {
    put32(out, static_cast<uint32_t>(length));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    write();
    const std::span<const uint8_t> typeAndData(out.data() + start, out.size() - start);
    put32(out, updateCrc(0xFFFFFFFFu, typeAndData) ^ 0xFFFFFFFFu);
}

// The picture's rows as PNG stores them before compression: each a filter
// byte (0: none) and its red, green and blue bytes.
std::vector<uint8_t> filteredRows(const Bitmap& bitmap) {
    const std::size_t length = kChannels * static_cast<std::size_t>(bitmap.width);
    std::vector<uint8_t> rows((length + 1) * static_cast<std::size_t>(bitmap.height));
    uint8_t* out = rows.data();
    for (int32_t y = 0; y < bitmap.height; ++y) {
        *out++ = 0;
        for (const uint32_t cell :
             std::span(bitmap.row(y), static_cast<std::size_t>(bitmap.width))) {
            *out++ = static_cast<uint8_t>(cell >> 16);
            *out++ = static_cast<uint8_t>(cell >> 8);
            *out++ = static_cast<uint8_t>(cell);
        }
    }
    return rows;
}

} // namespace

bool isPngText(const PngText& text) {
    const std::string_view keyword = text.keyword;
    if (keyword.empty() || keyword.size() > 79 || keyword.front() == ' ' || keyword.back() == ' ' ||
        keyword.find("  ") != std::string_view::npos) {
        return false;
    }
    for (const char c : keyword) {
        const auto code = static_cast<uint8_t>(c);
        if (!((code >= 32 && code <= 126) || code >= 161)) {
            return false;
        }
    }
    return text.text.find('\0') == std::string_view::npos;
}

bool fitsPng(int32_t width, int32_t height) {
    return width > 0 && height > 0 &&
           (kChannels * static_cast<uint64_t>(width) + 1) * static_cast<uint64_t>(height) <=
               kMaxZlibInput;
}

std::optional<std::vector<uint8_t>> encodePng(const Bitmap& bitmap,
                                              std::span<const PngText> texts) {
    if (!fitsPng(bitmap.width, bitmap.height)) {
        return std::nullopt;
    }
    for (const PngText& text : texts) {
        if (!isPngText(text)) {
            return std::nullopt;
        }
    }
    const std::vector<uint8_t> pixels = zlibStream(filteredRows(bitmap), kEffort);

    std::vector<uint8_t> out(kSignature.begin(), kSignature.end());
    out.reserve(pixels.size() + 1024);
    chunk(out, "IHDR", 13, [&] {
        put32(out, static_cast<uint32_t>(bitmap.width));
        put32(out, static_cast<uint32_t>(bitmap.height));
        // 8 bits a channel, RGB, deflate, a filter byte per row, no interlace
        out.insert(out.end(), {8, 2, 0, 0, 0});
    });
    for (const PngText& text : texts) {
        chunk(out, "tEXt", text.keyword.size() + 1 + text.text.size(), [&] {
            out.insert(out.end(), text.keyword.begin(), text.keyword.end());
            out.push_back(0);
            out.insert(out.end(), text.text.begin(), text.text.end());
        });
    }
    chunk(out, "pHYs", 9, [&] {
        put32(out, kPixelsPerMetre);
        put32(out, kPixelsPerMetre);
        out.push_back(1); // the unit is the metre
    });
    chunk(out, "IDAT", pixels.size(), [&] { out.insert(out.end(), pixels.begin(), pixels.end()); });
    chunk(out, "IEND", 0, [] {});
    return out;
}

bool writePng(std::FILE* out, const Bitmap& bitmap, std::span<const PngText> texts) {
    if (!fitsPng(bitmap.width, bitmap.height)) {
        errno = EFBIG;
        return false;
    }
    const std::optional<std::vector<uint8_t>> file = encodePng(bitmap, texts);
    if (!file) {
        errno = EINVAL;
        return false;
    }
    return std::fwrite(file->data(), 1, file->size(), out) == file->size() &&
           std::fflush(out) == 0 && !std::ferror(out);
}

} // namespace bramblewisp
