#include "app/settings.h"

#include <utility>

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
    // A name with no value after it is refused rather than ignored: the
    // picture would go somewhere the user did not say.
    if (std::string out; options.lookupText("-out", out)) {
        settings.out = out;
    } else if (options.named("-out")) {
        settings.out = "";
    }
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

std::string picturePath(const Settings& settings) {
    return settings.out.value_or(kDefaultPictureFile);
}

std::string commandLineOf(const Settings& settings) {
    const std::pair<const char*, int32_t> options[] = {
        {"-time", settings.timeLimit},   {"-mem", settings.memOption},
        {"-cpu", settings.cpuOption},    {"-seed", settings.seed},
        {"-iter", settings.iterations},  {"-dark", settings.dark ? 1 : 0},
        {"-prefx", settings.background}, {"-postfx", settings.postEffect},
        {"-spikes", settings.spikes},    {"-type", settings.type},
    };
    std::string line;
    for (const auto& [name, value] : options) {
        if (!line.empty()) {
            line += ' ';
        }
        line.append(name).append(" ").append(std::to_string(value));
    }
    return line;
}

} // namespace bramblewisp
