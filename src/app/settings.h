#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/options.h"

namespace bramblewisp {

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
    // The file to save; none: testSystem.bmp in the working directory. Empty
    // when -out came last, with no value, which refuses the run.
    std::optional<std::string> out;

    bool operator==(const Settings&) const = default;
};

// Every option's value, the defaults where one is absent (-time, -mem and
// -cpu keep -1).
Settings readSettings(const Options& options);

// The settings of a run, or none when -time, -mem or -cpu is missing.
std::optional<Settings> parseSettings(const Options& options);

inline constexpr const char* kDefaultPictureFile = "testSystem.bmp";

// Where the picture of settings is saved.
std::string picturePath(const Settings& settings);

// The options that draw the same picture again, every one that changes it
// with its value, in one canonical order: "-time 1 -mem 1 -cpu 1 -seed 0
// ...". Where the file goes is no part of it.
std::string commandLineOf(const Settings& settings);

} // namespace bramblewisp
