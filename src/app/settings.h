#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/options.h"

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
// picture give equal settings. Later options (the picture's size, a palette,
// its text, the output path, a count of pictures, a contact sheet, a rules
// file) join as fields with the defaults that keep today's pictures.
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

} // namespace bramblewisp
