#include "app/options.h"

#include <cstdio>
#include <limits>

namespace bramblewisp {

namespace {

char foldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(const char* argument, const char* name) {
    for (; *argument != '\0' && *name != '\0'; ++argument, ++name) {
        if (foldCase(*argument) != foldCase(*name)) {
            return false;
        }
    }
    return *argument == *name;
}

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

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

OptionValues readOptionValues(const Options& options) {
    OptionValues values;
    options.lookup("-dark", values.dark);
    options.lookup("-seed", values.seed);
    options.lookup("-prefx", values.prefx);
    options.lookup("-postfx", values.postfx);
    options.lookup("-spikes", values.spikes);
    options.lookup("-type", values.type);
    options.lookup("-iter", values.iterations);
    return values;
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

void printUsage() {
    static constexpr const char* kLines[] = {
        "Bramblewisp-generator by Quill Marrowby\n",
        "\n",
        "Usage: <program-exe> -param value -param value ...\n",
        "Parameters:\n",
        "(general - required)\n",
        "  -time      Allowed time to run (in seconds)\n",
        "  -mem       dummy\n",
        "  -cpu       dummy\n",
        "(tweaks - optional)\n",
        "  -seed      Seed for random\n",
        "  -iter      # of iterations (0 to 8 - more at your risk!) overrides -time\n",
        "  -dark      Should background be dark (0 or 1)\n",
        "  -prefx     Background fx (0,1,2)\n",
        "  -postfx    Post fx (0,1,2 or 3)\n",
        "  -spikes    Initial system size (1 to 100)\n",
        "  -type      System type (0,1,2,3,4)\n",
        "\n",
        "Exaple usage: <program-exe> -time 100 -mem 32 -cpu 600 -dark 1\n",
    };
    for (const char* line : kLines) {
        std::fputs(line, stdout);
    }
}

} // namespace bramblewisp
