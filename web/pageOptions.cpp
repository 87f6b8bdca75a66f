// The page's view of its command line, through the program's own parser, so
// that a link's values fall back exactly as the same command line's do.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/options.h"
#include "app/settings.h"
#include "presets/systemDescription.h"

using namespace bramblewisp;

namespace {

// A JSON string: the bytes as they are but for what JSON must escape, so
// that the page decodes the same UTF-8 the program reads.
std::string jsonText(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

} // namespace

extern "C" {

// Where the value that a run with these arguments reads for name stands,
// or -1. The parser itself finds it: over the first n arguments it finds
// the same value exactly when that value's index is below n.
EMSCRIPTEN_KEEPALIVE int32_t pageValueIndex(int32_t argumentCount, char** arguments,
                                            const char* name) {
    int32_t ignored = 0;
    if (!Options{argumentCount, arguments}.lookup(name, ignored)) {
        return -1;
    }
    int32_t fails = 1;
    int32_t finds = argumentCount;
    while (finds - fails > 1) {
        const int32_t middle = fails + (finds - fails) / 2;
        (Options{middle, arguments}.lookup(name, ignored) ? finds : fails) = middle;
    }
    return finds - 1;
}

// What a run with these arguments draws, as the page's controls show it: a
// JSON object (malloc'd, the caller frees it) of every option's value after
// the selections, -iter as given and iterCap, the most generations its
// system grows (-1 when the rules file cannot be used, which refuses the
// run), and spikes as given and spikesUsed, the seeds drawn (-1: the system
// draws none at random).
EMSCRIPTEN_KEEPALIVE char* pageOptionValues(int32_t argumentCount, char** arguments) {
    const Options options{argumentCount, arguments};
    Settings settings = readSettings(options);
    const RulesOutcome rules = readRules(options, settings);
    int32_t iterCap = -1;
    int32_t spikesUsed = -1;
    if (!rules.refusal) {
        const auto system = systemOf(settings);
        iterCap = system->maxIterations;
        if (system->randomSpikes) {
            spikesUsed = std::clamp(system->spikes, 0, kMaxSpikes);
        }
    }
    int32_t time = 0;
    options.lookup("-time", time);
    std::string rulesPath;
    const bool hasRules = options.lookupText("-rules", rulesPath);
    std::string json = "{";
    const auto number = [&json](const char* name, int64_t value) {
        json +=
            std::string(json.size() > 1 ? "," : "") + "\"" + name + "\":" + std::to_string(value);
    };
    number("type", settings.type);
    number("seed", settings.seed);
    number("iter", settings.iterations);
    number("iterCap", iterCap);
    number("dark", settings.dark ? 1 : 0);
    number("prefx", settings.background);
    number("postfx", settings.postEffect);
    number("spikes", settings.spikes);
    number("spikesUsed", spikesUsed);
    number("time", time);
    number("width", settings.width);
    number("height", settings.height);
    number("palette", settings.palette);
    number("text", settings.text ? 1 : 0);
    json += ",\"out\":" + (settings.out ? jsonText(*settings.out) : "null");
    json += ",\"rules\":" + (hasRules ? jsonText(rulesPath) : "null");
    json += "}";
    char* out = static_cast<char*>(std::malloc(json.size() + 1));
    if (out != nullptr) {
        std::memcpy(out, json.c_str(), json.size() + 1);
    }
    return out;
}

} // extern "C"
