#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/options.h"
#include "presets/rulesFile.h"
#include "presets/systemDescription.h"

namespace bramblewisp {

// The picture's size without -width and -height, and its bounds.
inline constexpr int32_t kPictureWidth = 800;
inline constexpr int32_t kPictureHeight = 600;
inline constexpr int32_t kMinimumSide = 16;
inline constexpr int32_t kMaximumSide = 16384;
inline constexpr int64_t kMaximumPixels = 64000000;

// What one picture is drawn from: the options' values as the run uses them,
// each selection already made (an unknown type is type 0, an unknown
// background the grid), so that two command lines that draw the same
// picture into the same file give equal settings. Later options (the picture's size, a palette,
// its text, a count of pictures, a contact sheet) join as fields with the
// defaults that keep today's pictures, and commandLineOf writes them.
struct Settings {
    int32_t type = 0;        // system type 0 to 4
    int32_t seed = 0;        // of the choices, the seeding and the wave backgrounds
    int32_t iterations = -1; // generations; negative: as many as the time allows
    bool dark = false;
    int32_t background = 1; // 0 plain, 1 wave grid, 2 wave fan
    int32_t postEffect = 0; // 0 none, 1 and 2 outlines, 3 smoothing
    int32_t spikes = 64;    // seed particles of types 0 to 3
    int32_t timeLimit = -1; // seconds
    int32_t memOption = -1; // required, never used
    int32_t cpuOption = -1; // required, never used
    // The file to save; none: testSystem.bmp in the working directory. Empty
    // when -out came last, with no value, which refuses the run.
    std::optional<std::string> out;
    // The system a rules file describes, read once and shared by every
    // picture drawn from it (equal settings share the same one); null: the
    // built-in system of type, with spikes random spikes.
    std::shared_ptr<const SystemDescription> rules;
    std::string rulesFile; // its path as given, for the recipe

    int32_t width = kPictureWidth; // pixels
    int32_t height = kPictureHeight;
    int32_t palette = 0; // 0 the blue-violet, 1 to kPaletteCount - 1 the others
    bool text = true;    // the count, remark and signature lines

    bool operator==(const Settings&) const = default;
};

// Every option's value, the defaults where one is absent (-time, -mem and
// -cpu keep -1). A value of -width, -height, -palette or -text that cannot
// be used gives the default and, in fallbacks, one message for report
// naming the value used.
Settings readSettings(const Options& options, std::vector<std::string>* fallbacks = nullptr);

// The settings of a run, or none when -time, -mem or -cpu is missing.
std::optional<Settings> parseSettings(const Options& options,
                                      std::vector<std::string>* fallbacks = nullptr);

inline constexpr const char* kDefaultPictureFile = "testSystem.bmp";

// Where the picture of settings is saved.
std::string picturePath(const Settings& settings);

// The options that draw the same picture again, every one that changes it
// with its value, in one canonical order: "-time 1 -mem 1 -cpu 1 -seed 0
// ...". Where the file goes is no part of it.
std::string commandLineOf(const Settings& settings);

// The recipe a PNG carries: the program, its version and the options that
// draw the picture again, -iter being the generations grown, so that a timed
// picture can be drawn again too.
std::string recipeOf(const Settings& settings, int32_t generations);

// What -rules did to the settings, for the run to say: a problem that
// refuses the run before any work, or the note that -type is ignored.
struct RulesOutcome {
    std::optional<FileProblem> refusal;
    std::optional<FileProblem> note;
};

// Reads and parses the file that -rules names, if any, into settings.rules;
// -spikes, when given, counts its random spikes.
RulesOutcome readRules(const Options& options, Settings& settings);

// The system that settings draw.
std::shared_ptr<const SystemDescription> systemOf(const Settings& settings);

} // namespace bramblewisp
