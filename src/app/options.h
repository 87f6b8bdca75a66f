#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bramblewisp {

// A view of the command line; every option is a name followed by an integer.
struct Options {
    // Finds the first argument equal to name (ASCII letters in any case),
    // position 0 included, that has an argument after it, and converts that.
    bool lookup(const char* name, int32_t& value) const;

    int32_t argumentCount;
    char** arguments;
};

// Plain decimal conversion: leading white space, a sign, digits up to the
// first non-digit; no digits give 0. Values beyond 32 bits saturate.
int32_t parseDecimal(const char* text);

// One message for report (no program name, no line break) for every
// argument that looks like an option, a hyphen or two and a letter, but is
// none of the options and is not the value of the one before it; unknown
// arguments are still ignored, but a typo should not pass for success. Close
// misspellings get a suggestion.
std::vector<std::string> unknownOptionWarnings(int32_t argumentCount, char** arguments);

} // namespace bramblewisp
