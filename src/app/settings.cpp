#include "app/settings.h"

#include <limits>
#include <string>
#include <unordered_set>
#include <utility>

#include "app/version.h"
#include "imaging/backgrounds.h"
#include "imaging/palette.h"
#include "imaging/postEffects.h"
#include "presets/preset.h"
#include "presets/rulesFileText.h"

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

// A path's value, or "" for a name given last with no value after it, which
// is refused rather than ignored: the file would go where the user did not
// say.
std::optional<std::string> pathOption(const Options& options, const char* name) {
    if (std::string path; options.lookupText(name, path)) {
        return path;
    }
    if (options.named(name)) {
        return "";
    }
    return std::nullopt;
}

#ifdef _WIN32
constexpr const char* kSeparators = "/\\";
#else
constexpr const char* kSeparators = "/";
#endif

// Where pattern's %d placeholders stand, %% being a percent sign.
std::vector<std::size_t> placeholders(const std::string& pattern) {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i + 1 < pattern.size(); ++i) {
        if (pattern[i] == '%' && (pattern[i + 1] == 'd' || pattern[i + 1] == '%')) {
            if (pattern[i + 1] == 'd') {
                found.push_back(i);
            }
            ++i;
        }
    }
    return found;
}

bool placeholderInDirectory(const std::string& pattern) {
    const std::vector<std::size_t> found = placeholders(pattern);
    const std::size_t slash = pattern.find_last_of(kSeparators);
    return !found.empty() && slash != std::string::npos && found.front() < slash;
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
    settings.out = pathOption(options, "-out");
    settings.count = withinOrDefault(options, "-count", 1, kMostPictures, 1,
                                     "1 to " + std::to_string(kMostPictures), fallbacks);
    settings.sheet = pathOption(options, "-sheet");

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

bool isBatch(const Settings& settings) {
    return settings.count > 1 || settings.sheet.has_value();
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
    settings.rulesFile = path;
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

std::string nameForSeed(const std::string& pattern, int32_t seed, bool several) {
    std::string name;
    bool placed = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char after = i + 1 < pattern.size() && pattern[i] == '%' ? pattern[i + 1] : '\0';
        if (after == 'd') {
            name += std::to_string(seed);
            placed = true;
            ++i;
        } else if (after == '%') {
            name += '%';
            ++i;
        } else {
            name += pattern[i];
        }
    }
    if (placed || !several) {
        return name;
    }
    const std::size_t slash = name.find_last_of(kSeparators);
    std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        dot = name.size();
    }
    return name.substr(0, dot) + "-" + std::to_string(seed) + name.substr(dot);
}

std::string picturePath(const Settings& settings) {
    return nameForSeed(settings.out.value_or(kDefaultPictureFile), settings.seed,
                       settings.count > 1);
}

int32_t sheetCount(const Settings& settings) {
    return (settings.count + kPicturesPerSheet - 1) / kPicturesPerSheet;
}

std::string sheetPath(const Settings& settings, int32_t sheet) {
    return nameForSeed(settings.sheet.value_or(""), settings.seed + sheet * kPicturesPerSheet,
                       sheetCount(settings) > 1);
}

std::optional<NamesProblem> namesProblem(const Settings& settings) {
    const int64_t last = int64_t{settings.seed} + settings.count - 1;
    if (last > std::numeric_limits<int32_t>::max()) {
        return NamesProblem{"-count " + std::to_string(settings.count),
                            "the seeds " + std::to_string(settings.seed) + " to " +
                                std::to_string(last) + " pass 2147483647, the largest seed"};
    }
    const char* inDirectory = "%d can stand in the file's name only, not in a directory";
    if (settings.out && placeholderInDirectory(*settings.out)) {
        return NamesProblem{"-out " + *settings.out, inDirectory};
    }
    if (!settings.sheet) {
        return std::nullopt;
    }
    if (placeholderInDirectory(*settings.sheet)) {
        return NamesProblem{"-sheet " + *settings.sheet, inDirectory};
    }
    std::unordered_set<std::string> sheets;
    for (int32_t sheet = 0; sheet < sheetCount(settings); ++sheet) {
        sheets.insert(sheetPath(settings, sheet));
    }
    Settings picture = settings;
    for (int32_t k = 0; k < settings.count; ++k) {
        picture.seed = settings.seed + k;
        if (sheets.count(picturePath(picture)) != 0) {
            return NamesProblem{"-sheet " + *settings.sheet, "would replace the picture of seed " +
                                                                 std::to_string(picture.seed)};
        }
    }
    return std::nullopt;
}

std::string commandLineOf(const Settings& settings) {
    std::string line;
    const auto add = [&line](const char* name, const std::string& value) {
        line.append(line.empty() ? "" : " ").append(name).append(" ").append(value);
    };
    const std::pair<const char*, int32_t> options[] = {
        {"-time", settings.timeLimit},   {"-mem", settings.memOption},
        {"-cpu", settings.cpuOption},    {"-seed", settings.seed},
        {"-iter", settings.iterations},  {"-dark", settings.dark ? 1 : 0},
        {"-prefx", settings.background}, {"-postfx", settings.postEffect},
    };
    for (const auto& [name, value] : options) {
        add(name, std::to_string(value));
    }
    if (!settings.rules) {
        add("-spikes", std::to_string(settings.spikes));
        add("-type", std::to_string(settings.type));
    } else {
        // The file gives the system: a -type would only be ignored with a
        // note, and -spikes counts the file's random spikes, if it has any.
        add("-rules", settings.rulesFile);
        if (settings.rules->randomSpikes) {
            add("-spikes", std::to_string(settings.rules->spikes));
        }
    }
    // Only where they differ from the defaults, so that the recipe of a
    // picture of the design's options names the design's options alone.
    if (settings.width != kPictureWidth || settings.height != kPictureHeight) {
        add("-width", std::to_string(settings.width));
        add("-height", std::to_string(settings.height));
    }
    if (settings.palette != 0) {
        add("-palette", std::to_string(settings.palette));
    }
    if (!settings.text) {
        add("-text", "0");
    }
    return line;
}

std::string recipeOf(const Settings& settings, int32_t generations) {
    Settings used = settings;
    used.iterations = generations;
    return std::string("bramblewisp ") + kVersion + " " + commandLineOf(used);
}

} // namespace bramblewisp
