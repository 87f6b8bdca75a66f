#include "app/options.h"

#include <algorithm>
#include <limits>

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

constexpr const char* kOptionNames[] = {
    "-time", "-mem", "-cpu", "-seed", "-iter", "-dark", "-prefx", "-postfx", "-spikes", "-type",
    // The system, where the pictures go, their size,
    // colours and text, how many.
    "-rules", "-out", "-width", "-height", "-palette", "-text", "-count", "-sheet"};

bool isOptionName(const char* argument) {
    return std::any_of(std::begin(kOptionNames), std::end(kOptionNames),
                       [argument](const char* name) { return sameName(argument, name); });
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool looksLikeOption(const std::string& argument) {
    const std::size_t hyphens = argument.rfind("--", 0) == 0 ? 2 : 1;
    return argument.size() > hyphens && argument[0] == '-' && isLetter(argument[hyphens]);
}

// Edits (insert, delete, replace, swap two neighbours) from a to b, letter
// case ignored.
std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) {
        for (std::size_t j = 0; j <= b.size(); ++j) {
            if (i == 0 || j == 0) {
                d[i][j] = i + j;
                continue;
            }
            const bool same = foldCase(a[i - 1]) == foldCase(b[j - 1]);
            d[i][j] =
                std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (same ? 0 : 1)});
            if (i > 1 && j > 1 && foldCase(a[i - 1]) == foldCase(b[j - 2]) &&
                foldCase(a[i - 2]) == foldCase(b[j - 1])) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
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
    // Two edits in a short name make another word rather than a typo.
    const char* closest = nullptr;
    std::size_t best = name.size() > 5 ? 3 : 2;
    for (const char* candidate : kOptionNames) {
        const std::size_t distance = editDistance(name, candidate);
        if (distance < best) {
            best = distance;
            closest = candidate;
        }
    }
    return closest != nullptr ? std::string(" (did you mean ") + closest + "?)" : "";
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
