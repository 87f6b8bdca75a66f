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
// its text) join as fields with the defaults that keep today's pictures, and
// commandLineOf writes those that change a picture.
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
    // Pictures of the seeds seed to seed + count - 1, the same but for it.
    int32_t count = 1;
    // The contact sheets' file; none: no sheet.
    std::optional<std::string> sheet;

    int32_t width = kPictureWidth; // pixels
    int32_t height = kPictureHeight;
    int32_t palette = 0; // 0 the blue-violet, 1 to kPaletteCount - 1 the others
    bool text = true;    // the count, remark and signature lines

    bool operator==(const Settings&) const = default;
};

inline constexpr int32_t kMostPictures = 1000000;

// Every option's value, the defaults where one is absent (-time, -mem and
// -cpu keep -1). A value that cannot be used gives the default and, in
// fallbacks, if given, one message for report naming the value used.
Settings readSettings(const Options& options, std::vector<std::string>* fallbacks = nullptr);

// The settings of a run, or none when -time, -mem or -cpu is missing.
std::optional<Settings> parseSettings(const Options& options,
                                      std::vector<std::string>* fallbacks = nullptr);

// Whether settings draw more than a single picture into a single file: a
// count above 1, or a contact sheet.
bool isBatch(const Settings& settings);

inline constexpr const char* kDefaultPictureFile = "testSystem.bmp";

// A file name for a picture of seed: every %d in pattern's file name is the
// seed and every %% a percent sign; without a %d, and when several pictures
// share the pattern, the seed goes before the extension ("a-17.png").
std::string nameForSeed(const std::string& pattern, int32_t seed, bool several);

// Where the picture of settings (its seed) is saved.
std::string picturePath(const Settings& settings);

// A contact sheet shows this many pictures at most; a batch of more has
// several, each named by its first seed.
inline constexpr int32_t kPicturesPerSheet = 100;
int32_t sheetCount(const Settings& settings);
std::string sheetPath(const Settings& settings, int32_t sheet);

// Why the files of settings cannot be named before any work: the seeds pass
// the 32-bit range, a %d stands in a directory, the sheet would take a
// picture's name. Empty when they can; where says which option.
struct NamesProblem {
    std::string where;
    std::string what;
};
std::optional<NamesProblem> namesProblem(const Settings& settings);

// What a picture of settings that grew generations carries in a PNG: the
// program, its version and the options that draw it again.
std::string recipeOf(const Settings& settings, int32_t generations);

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
