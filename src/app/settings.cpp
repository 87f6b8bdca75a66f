#include "app/settings.h"

#include <string>
#include <utility>

#include "imaging/backgrounds.h"
#include "imaging/postEffects.h"
#include "presets/preset.h"
#include "presets/rulesFileText.h"

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

RulesOutcome readRules(const Options& options, Settings& settings) {
    RulesOutcome outcome;
    std::string path;
    if (!options.lookupText("-rules", path)) {
        return outcome;
    }
    SystemRead read = loadSystem(path);
    if (!read.system) {
        outcome.refusal = std::move(read.problem);
        return outcome;
    }
    int32_t spikes = 0;
    if (read.system->randomSpikes && options.lookup("-spikes", spikes)) {
        read.system->spikes = spikes;
    }
    settings.rules = std::make_shared<const SystemDescription>(std::move(*read.system));
    if (int32_t type = 0; options.lookup("-type", type)) {
        // The path shown as the reader's messages show file names.
        outcome.note =
            FileProblem{"-type " + std::to_string(type),
                        "ignored: the rules file " + shownName(path) + " gives the system"};
    }
    return outcome;
}

std::shared_ptr<const SystemDescription> systemOf(const Settings& settings) {
    if (settings.rules) {
        return settings.rules;
    }
    return std::make_shared<const SystemDescription>(createPreset(settings.type, settings.spikes));
}

} // namespace bramblewisp
