#include "app/settings.h"

#include <string>

#include "imaging/backgrounds.h"
#include "imaging/palette.h"
#include "imaging/postEffects.h"
#include "presets/preset.h"

namespace bramblewisp {

namespace {

// The value of option name if it lies in low..high, else fallback, with a
// note of the value used.
int32_t withinOrDefault(const Options& options, const char* name, int32_t low, int32_t high,
                        int32_t fallback, const std::string& expected,
                        std::vector<std::string>* fallbacks) {
    int32_t value = fallback;
    if (!options.lookup(name, value) || (value >= low && value <= high)) {
        return value;
    }
    if (fallbacks != nullptr) {
        fallbacks->push_back(std::string(name) + " " + std::to_string(value) + ": expected " +
                             expected + "; using " + std::to_string(fallback));
    }
    return fallback;
}

} // namespace

Settings readSettings(const Options& options, std::vector<std::string>* fallbacks) {
    Settings settings;
    options.lookup("-time", settings.timeLimit);
    options.lookup("-mem", settings.memOption);
    options.lookup("-cpu", settings.cpuOption);
    int32_t dark = 0;
    options.lookup("-dark", dark);
    settings.dark = dark != 0;
    options.lookup("-seed", settings.seed);
    options.lookup("-prefx", settings.background);
    settings.background = selectedBackground(settings.background);
    options.lookup("-postfx", settings.postEffect);
    settings.postEffect = selectedPostEffect(settings.postEffect);
    options.lookup("-spikes", settings.spikes);
    options.lookup("-type", settings.type);
    settings.type = selectedType(settings.type);
    options.lookup("-iter", settings.iterations);

    settings.width = withinOrDefault(options, "-width", kMinimumSide, kMaximumSide, kPictureWidth,
                                     "16 to 16384", fallbacks);
    settings.height = withinOrDefault(options, "-height", kMinimumSide, kMaximumSide,
                                      kPictureHeight, "16 to 16384", fallbacks);
    if (int64_t{settings.width} * settings.height > kMaximumPixels) {
        if (fallbacks != nullptr) {
            fallbacks->push_back("-width " + std::to_string(settings.width) + " -height " +
                                 std::to_string(settings.height) +
                                 ": expected at most 64 million pixels; using 800 x 600");
        }
        settings.width = kPictureWidth;
        settings.height = kPictureHeight;
    }
    settings.palette = withinOrDefault(options, "-palette", 0, kPaletteCount - 1, 0,
                                       "0 to " + std::to_string(kPaletteCount - 1), fallbacks);
    settings.text = withinOrDefault(options, "-text", 0, 1, 1, "0 or 1", fallbacks) != 0;
    return settings;
}

std::optional<Settings> parseSettings(const Options& options, std::vector<std::string>* fallbacks) {
    int32_t ignored = 0;
    // All three are looked up before any is tested.
    const bool hasTime = options.lookup("-time", ignored);
    const bool hasMem = options.lookup("-mem", ignored);
    const bool hasCpu = options.lookup("-cpu", ignored);
    if (!hasTime || !hasMem || !hasCpu) {
        return std::nullopt;
    }
    return readSettings(options, fallbacks);
}

} // namespace bramblewisp
