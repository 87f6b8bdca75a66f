#include "app/terminalSafe.h"

#include <cstdint>
#include <cstdio>

namespace bramblewisp {

namespace {

std::string hexEscape(const char* prefix, uint32_t value, int digits) {
    char text[12];
    std::snprintf(text, sizeof text, "%s%0*x", prefix, digits, static_cast<unsigned>(value));
    return text;
}

// The length of the well-formed UTF-8 sequence at text's start and its code
// point, or 0 when there is none (overlong forms and surrogates included).
std::size_t decode(std::string_view text, uint32_t& codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(0);
    const std::size_t length = lead < 0xC2   ? 0
                               : lead < 0xE0 ? 2
                               : lead < 0xF0 ? 3
                               : lead < 0xF5 ? 4
                                             : 0;
    if (length == 0 || text.size() < length) {
        return 0;
    }
    codePoint = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
        codePoint = codePoint << 6 | (byte(i) & 0x3F);
    }
    constexpr uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    return codePoint < kShortest[length] || surrogate || codePoint > 0x10FFFF ? 0 : length;
}

// C1 controls (a terminal may read U+009B as the start of an escape
// sequence), the bidirectional controls and the line and paragraph
// separators.
bool actsOnDisplay(uint32_t codePoint) {
    return (codePoint >= 0x80 && codePoint <= 0x9F) || codePoint == 0x61C || codePoint == 0x200E ||
           codePoint == 0x200F || (codePoint >= 0x2028 && codePoint <= 0x202E) ||
           (codePoint >= 0x2066 && codePoint <= 0x2069);
}

} // namespace

std::string terminalSafe(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    while (!text.empty()) {
        const auto byte = static_cast<uint8_t>(text[0]);
        std::size_t used = 1;
        uint32_t codePoint = 0;
        if (byte == '\n') {
            shown += "\\n";
        } else if (byte == '\r') {
            shown += "\\r";
        } else if (byte == '\t') {
            shown += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            shown += hexEscape("\\x", byte, 2);
        } else if (byte < 0x80) {
            shown += text[0];
        } else if ((used = decode(text, codePoint)) == 0) {
            used = 1;
            shown += hexEscape("\\x", byte, 2);
        } else if (actsOnDisplay(codePoint)) {
            shown += hexEscape("\\u", codePoint, 4);
        } else {
            shown += text.substr(0, used);
        }
        text.remove_prefix(used);
    }
    return shown;
}

} // namespace bramblewisp
