#include "app/options.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "presets/closestName.h"

namespace bramblewisp {

namespace {

char foldCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(const char* argument, const char* name) {
    for (; *argument != '\0' && *name != '\0'; ++argument, ++name) {
        if (foldCase(*argument) != foldCase(*name)) {
            return false;
        }
    }
    return *argument == *name;
}

// Literals: each view ends where its NUL does.
constexpr std::string_view kOptionNames[] = {
    "-time", "-mem", "-cpu", "-seed", "-iter", "-dark", "-prefx", "-postfx", "-spikes", "-type",
    // The system, where the pictures go, their size,
    // colours and text, how many.
    "-rules", "-out", "-width", "-height", "-palette", "-text", "-count", "-sheet"};

bool isOptionName(const char* argument) {
    return std::any_of(
        std::begin(kOptionNames), std::end(kOptionNames),
        [argument](std::string_view name) { return sameName(argument, name.data()); });
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool looksLikeOption(const std::string& argument) {
    const std::size_t hyphens = argument.rfind("--", 0) == 0 ? 2 : 1;
    return argument.size() > hyphens && argument[0] == '-' && isLetter(argument[hyphens]);
}

std::string hintFor(const std::string& argument) {
    const std::size_t hyphens = argument.rfind("--", 0) == 0 ? 2 : 1;
    const std::size_t equals = argument.find('=');
    // From the last hyphen before the letters up to any equals sign.
    const std::string name = argument.substr(hyphens - 1, equals - std::min(equals, hyphens - 1));
    if (isOptionName(name.c_str())) {
        std::string canonical = name;
        std::transform(canonical.begin(), canonical.end(), canonical.begin(), foldCase);
        if (equals != std::string::npos) {
            const std::string value = argument.substr(equals + 1);
            return " (write " + canonical + " " + (value.empty() ? "VALUE" : value) + ")";
        }
        return " (options take one hyphen: " + canonical + ")";
    }
    const std::string_view closest = closestName(name, kOptionNames);
    return closest.empty() ? "" : " (did you mean " + std::string(closest) + "?)";
}

bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

} // namespace

bool Options::lookup(const char* name, int32_t& value) const {
    for (int32_t i = 0; i < argumentCount - 1; ++i) {
        if (sameName(arguments[i], name)) {
            value = parseDecimal(arguments[i + 1]);
            return true;
        }
    }
    return false;
}

bool Options::lookupText(const char* name, std::string& value) const {
    for (int32_t i = 0; i < argumentCount - 1; ++i) {
        if (sameName(arguments[i], name)) {
            value = arguments[i + 1];
            return true;
        }
    }
    return false;
}

bool Options::named(const char* name) const {
    for (int32_t i = 1; i < argumentCount; ++i) {
        if (sameName(arguments[i], name)) {
            return true;
        }
    }
    return false;
}

Request requestOf(int32_t argumentCount, char** arguments) {
    for (int32_t i = 1; i < argumentCount; ++i) {
        if (sameName(arguments[i], "-h") || sameName(arguments[i], "--help")) {
            return Request::help;
        }
        if (sameName(arguments[i], "--version")) {
            return Request::version;
        }
    }
    return Request::picture;
}

int32_t parseDecimal(const char* text) {
    while (isSpace(*text)) {
        ++text;
    }
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') {
        ++text;
    }
    // Accumulate the magnitude, stopping once it is past any 32-bit value.
    constexpr int64_t kBeyond = int64_t{1} << 32;
    int64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (magnitude < kBeyond) {
            magnitude = magnitude * 10 + (*text - '0');
        }
    }
    const int64_t value = negative ? -magnitude : magnitude;
    constexpr int64_t low = std::numeric_limits<int32_t>::min();
    constexpr int64_t high = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(value < low ? low : value > high ? high : value);
}

std::vector<std::string> unknownOptionWarnings(int32_t argumentCount, char** arguments) {
    std::vector<std::string> warnings;
    for (int32_t i = 1; i < argumentCount; ++i) {
        const std::string argument = arguments[i];
        if (!looksLikeOption(argument) || isOptionName(arguments[i]) ||
            isOptionName(arguments[i - 1])) {
            continue;
        }
        warnings.push_back("ignoring unknown option " + argument + hintFor(argument));
    }
    return warnings;
}

} // namespace bramblewisp
