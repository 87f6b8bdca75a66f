#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bramblewisp {

// A view of the command line; every option is a name followed by an integer.
struct Options {
    // Finds the first argument equal to name (ASCII letters in any case),
    // position 0 included, that has an argument after it, and converts that.
    bool lookup(const char* name, int32_t& value) const;
    // The same for an option whose value is text, such as a path.
    bool lookupText(const char* name, std::string& value) const;

    int32_t argumentCount;
    char** arguments;
};

// The optional options' values as given, defaults where absent; what they
// select (a type, an effect) is decided by the creators they are passed to.
struct OptionValues {
    int32_t dark = 0;
    int32_t seed = 0;
    int32_t prefx = 1;
    int32_t postfx = 0;
    int32_t spikes = 64;
    int32_t type = 0;
    int32_t iterations = -1;
    // Whether -type and -spikes were given, for a rules file to override or
    // honour them; the path of the rules file, if one was given.
    bool typeGiven = false;
    bool spikesGiven = false;
    std::optional<std::string> rules;
};

OptionValues readOptionValues(const Options& options);

// Plain decimal conversion: leading white space, a sign, digits up to the
// first non-digit; no digits give 0. Values beyond 32 bits saturate.
int32_t parseDecimal(const char* text);

// One message for report (no program name, no line break) for every
// argument that looks like an option, a hyphen or two and a letter, but is
// none of the eleven and is not the value of the one before it; unknown
// arguments are still ignored, but a typo should not pass for success. Close
// misspellings get a suggestion.
std::vector<std::string> unknownOptionWarnings(int32_t argumentCount, char** arguments);

} // namespace bramblewisp
