#include "presets/rulesFileText.h"

#include "presets/closestName.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <version>

#include "platform/platform.h"
#include "presets/rulesFile.h"

namespace bramblewisp {

namespace {

// The length of the UTF-8 sequence that starts text at i, or 0 when it is
// not one (overlong forms, surrogates and values past U+10FFFF included).
std::size_t sequenceLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) {
        return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u;
    };
    const unsigned lead = byte(i);
    const auto follows = [&](std::size_t k) { return (byte(k) & 0xC0u) == 0x80u; };
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return follows(i + 1) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned second = byte(i + 1);
        const bool fits = (lead != 0xE0 || second >= 0xA0) && (lead != 0xED || second < 0xA0);
        return fits && follows(i + 1) && follows(i + 2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned second = byte(i + 1);
        const bool fits = (lead != 0xF0 || second >= 0x90) && (lead != 0xF4 || second < 0x90);
        return fits && follows(i + 1) && follows(i + 2) && follows(i + 3) ? 4 : 0;
    }
    return 0;
}

std::string hexByte(unsigned char byte) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02x", byte);
    return hex;
}

// A whole number from 1 to 1000 at the front of text, which it then leaves.
std::optional<int> smallNumber(std::string_view& text) {
    int value = 0;
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9' && value <= 1000) {
        value = value * 10 + (text[digits++] - '0');
    }
    text.remove_prefix(digits);
    return digits > 0 && value >= 1 && value <= 1000 ? std::optional<int>(value) : std::nullopt;
}

} // namespace

std::optional<TextFault> firstTextFault(std::string_view text) {
    uint32_t line = 1;
    uint32_t column = 1;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') || byte == 0x7F) {
            return TextFault{line, column,
                             "control character " + hexByte(byte) +
                                 " where text was expected: is this a rules file?"};
        }
        const std::size_t length = sequenceLength(text, i);
        if (length == 0) {
            return TextFault{line, column,
                             "byte " + hexByte(byte) + " is not UTF-8: save the file as UTF-8"};
        }
        i += length;
        ++column;
        if (byte == '\n') {
            ++line;
            column = 1;
        }
    }
    return std::nullopt;
}

std::vector<std::size_t> lineStarts(std::string_view text) {
    std::vector<std::size_t> starts{0};
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            starts.push_back(i + 1);
        }
    }
    return starts;
}

std::string_view sourceSpan(std::string_view text, const std::vector<std::size_t>& lines,
                            uint32_t line, uint32_t column, uint32_t endLine, uint32_t endColumn) {
    if (line == 0 || line != endLine || line > lines.size() || column == 0 || endColumn < column) {
        return {};
    }
    // Columns count characters: step over whole UTF-8 sequences.
    std::size_t begin = lines[line - 1];
    for (uint32_t c = 1; c < column && begin < text.size() && text[begin] != '\n'; ++c) {
        begin += std::max<std::size_t>(1, sequenceLength(text, begin));
    }
    std::size_t end = begin;
    for (uint32_t c = column; c < endColumn && end < text.size() && text[end] != '\n'; ++c) {
        end += std::max<std::size_t>(1, sequenceLength(text, end));
    }
    return text.substr(begin, end - begin);
}

std::optional<float> nearestFloat(std::string_view written) {
    std::string digits;
    for (const char c : written) {
        if (c != '_') {
            digits.push_back(c);
        }
    }
    if (!digits.empty() && digits[0] == '+') {
        digits.erase(0, 1);
    }
    if (digits.empty() || digits.size() > 64) {
        return std::nullopt;
    }
    float value = 0.0f;
#if defined(__cpp_lib_to_chars)
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    const bool whole = error == std::errc() && end == digits.data() + digits.size();
#else
    // Older C++ libraries (the WebAssembly toolchain's) lack from_chars for
    // floats; the C library's strtof rounds once, correctly, as well.
    char* end = nullptr;
    errno = 0;
    value = std::strtof(digits.c_str(), &end);
    const bool whole = errno == 0 && end == digits.c_str() + digits.size();
#endif
    return whole ? std::optional<float>(value) : std::nullopt;
}

std::optional<PiFraction> piFractionOf(std::string_view written) {
    PiFraction fraction{false, 1, 1};
    if (!written.empty() && written[0] == '-') {
        fraction.negative = true;
        written.remove_prefix(1);
    }
    if (!written.empty() && written[0] >= '0' && written[0] <= '9') {
        const std::optional<int> numerator = smallNumber(written);
        if (!numerator) {
            return std::nullopt;
        }
        fraction.numerator = *numerator;
        if (!written.empty() && written[0] == '*') {
            written.remove_prefix(1);
        }
    }
    if (written.substr(0, 2) != "pi") {
        return std::nullopt;
    }
    written.remove_prefix(2);
    if (!written.empty() && written[0] == '/') {
        written.remove_prefix(1);
        const std::optional<int> denominator = smallNumber(written);
        if (!denominator) {
            return std::nullopt;
        }
        fraction.denominator = *denominator;
    }
    return written.empty() ? std::optional<PiFraction>(fraction) : std::nullopt;
}

std::string shownName(std::string_view text) {
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            shown += escaped;
        } else {
            shown.push_back(c);
        }
    }
    return shown;
}

std::string shownText(std::string_view text) {
    std::string quoted(1, '\'');
    quoted += shownName(text);
    quoted += '\'';
    return quoted;
}

std::string unknownKeyHint(std::string_view key, std::initializer_list<std::string_view> known) {
    const std::string_view closest =
        closestName(key, std::span<const std::string_view>(known.begin(), known.size()));
    if (!closest.empty()) {
        return " (did you mean " + std::string(closest) + "?)";
    }
    std::string list;
    for (const std::string_view candidate : known) {
        list += (list.empty() ? "" : candidate == *(known.end() - 1) ? " or " : ", ");
        list += candidate;
    }
    return ": expected " + list;
}

SystemRead loadSystem(const std::string& path) {
    if (path.empty()) {
        return {std::nullopt, {"-rules", "needs the path of a rules file"}};
    }
    std::string name = path;
    std::string problem;
    std::FILE* in = platform::openRegularFile(path, problem);
    const bool bareName = path.find_first_of("/\\") == std::string::npos;
    const std::string installed = bareName ? platform::installedDataDirectory() : std::string();
    if (in == nullptr && errno == ENOENT && !installed.empty()) {
        for (const std::string& candidate :
             {installed + "systems/" + path, installed + "systems/" + path + ".toml"}) {
            std::string ignored;
            in = platform::openRegularFile(candidate, ignored);
            if (in != nullptr) {
                name = candidate;
                break;
            }
        }
        if (in == nullptr) {
            problem += " (looked in the working directory and in " + installed + "systems)";
        }
    }
    if (in == nullptr) {
        return {std::nullopt, {shownName(path), problem}};
    }
    // One byte past the limit tells a file that is too large.
    std::string text(kMaxRulesFileBytes + 1, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), in));
    const bool failed = std::ferror(in) != 0;
    const int reason = errno;
    std::fclose(in);
    if (failed) {
        return {std::nullopt,
                {shownName(name), std::string("cannot be read: ") + std::strerror(reason)}};
    }
    return readSystem(text, name);
}

} // namespace bramblewisp
