#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bramblewisp {

// A view of the command line; every option is a name followed by a value,
// an integer but for the paths of -rules, -out and -sheet.
struct Options {
    // Finds the first argument equal to name (ASCII letters in any case),
    // position 0 included, that has an argument after it, and converts that.
    bool lookup(const char* name, int32_t& value) const;
    // The same for an option whose value is text, such as a path.
    bool lookupText(const char* name, std::string& value) const;
    // Whether an argument after the program's name is name, with a value
    // after it or not.
    bool named(const char* name) const;

    int32_t argumentCount;
    char** arguments;
};

// What an argument anywhere on the command line asks for instead of a
// picture: -h or --help, or --version (the first of them).
enum class Request { picture, help, version };
Request requestOf(int32_t argumentCount, char** arguments);

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
