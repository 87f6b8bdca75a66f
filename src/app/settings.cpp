#include "app/settings.h"

#include "imaging/backgrounds.h"
#include "imaging/postEffects.h"
#include "presets/preset.h"

namespace bramblewisp {

Settings readSettings(const Options& options) {
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
    return settings;
}

std::optional<Settings> parseSettings(const Options& options) {
    int32_t ignored = 0;
    // All three are looked up before any is tested.
    const bool hasTime = options.lookup("-time", ignored);
    const bool hasMem = options.lookup("-mem", ignored);
    const bool hasCpu = options.lookup("-cpu", ignored);
    if (!hasTime || !hasMem || !hasCpu) {
        return std::nullopt;
    }
    return readSettings(options);
}

} // namespace bramblewisp
