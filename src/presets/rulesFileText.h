#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The text side of rules files, apart from the TOML: bytes, numbers as
// written, and names as shown.
namespace bramblewisp {

// The first byte that is not text: a control character or a byte that does
// not belong in UTF-8. Columns count characters, as the TOML library does.
struct TextFault {
    uint32_t line;
    uint32_t column;
    std::string what;
};
std::optional<TextFault> firstTextFault(std::string_view text);

// The offset at which each line starts.
std::vector<std::size_t> lineStarts(std::string_view text);

// The text from (line, column) up to (endLine, endColumn), lines and columns
// counted from 1 and columns in characters; empty when the span is not on
// one line.
std::string_view sourceSpan(std::string_view text, const std::vector<std::size_t>& lines,
                            uint32_t line, uint32_t column, uint32_t endLine, uint32_t endColumn);

// The float nearest to a TOML decimal (underscores and a leading plus sign
// allowed), rounded once; nothing when it is none.
std::optional<float> nearestFloat(std::string_view written);

// "pi", "pi/4", "-2pi/3", "3*pi/8": numerator and denominator from 1 to 1000.
struct PiFraction {
    bool negative;
    int numerator;
    int denominator;
};
std::optional<PiFraction> piFractionOf(std::string_view written);

// Text quoted for a message, control characters escaped.
std::string shownText(std::string_view text);
// The same without the quotes, for file names.
std::string shownName(std::string_view text);

// " (did you mean weight?)" for a near miss, else the keys that belong.
std::string unknownKeyHint(std::string_view key, std::initializer_list<std::string_view> known);

} // namespace bramblewisp
