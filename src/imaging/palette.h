#pragma once

#include <array>
#include <cstdint>

namespace bramblewisp {

// A stroke channel from the stroke's shade (0 for the nearest depth, 254 for
// the farthest): base + shade * slope / 256, the division truncating.
struct ShadeRamp {
    int32_t base;
    int32_t slope;

    constexpr int32_t at(int32_t shade) const { return base + shade * slope / 256; }
};

// A ribbon channel from a draw of the background's generator:
// base + (draw mod 128) * slope / 128.
struct RibbonRamp {
    int32_t base;
    int32_t slope;

    constexpr int32_t at(int32_t draw) const { return base + draw % 128 * slope / 128; }
};

// The colours of a picture: its strokes, light and dark, and the ribbons and
// grid of the two generated backgrounds.
struct Palette {
    const char* name;
    std::array<ShadeRamp, 3> light; // red, green, blue of a stroke's core line
    std::array<ShadeRamp, 3> dark;
    // What each of a stroke's four jittered lines adds to the core line's
    // red, green and blue, in drawing order: the soft lines are paler.
    std::array<std::array<int32_t, 3>, 4> lifts;
    std::array<RibbonRamp, 3> gridRibbons; // light ribbons down the columns
    std::array<RibbonRamp, 3> fanRibbons;  // dark ribbons across the rows
    uint32_t gridOnLight;                  // the grid and fan lines
    uint32_t gridOnDark;
};

inline constexpr int32_t kPaletteCount = 7;

// The palette of -palette; 0 for a value out of range.
const Palette& paletteOf(int32_t palette);

// A stroke's five colours at one shade (0x00RRGGBB): its four jittered lines
// in drawing order, then its core line.
struct alignas(32) ShadeColours {
    uint32_t soft[4];
    uint32_t core;
};
using StrokeColours = std::array<ShadeColours, 256>;

// Every shade's colours of a palette in a light or dark run, worked out when
// the program is built, so a stroke looks its colours up by shade.
const StrokeColours& strokeColours(int32_t palette, bool dark);

} // namespace bramblewisp
