#include "imaging/palette.h"

#include <stdexcept>
#include <utility>

namespace bramblewisp {

namespace {

// Each palette: its name; the light and the dark ramps of red, green and
// blue (base, slope); the lifts of the four jittered lines; the grid's and
// the fan's ribbons (base, slope); the grid on light and on dark pictures.
// The comments give the core line's colour from the nearest to the farthest
// shade, light and dark.
// clang-format off
constexpr Palette kPalettes[kPaletteCount] = {
    // #6060A0 to #DFDFDF, #C0C0DC to #41415D: grey strokes with a bluer
    // channel, over light ribbons and a black grid (white in dark runs).
    {"blue-violet",
     {{{96, 128}, {96, 128}, {160, 64}}},
     {{{192, -128}, {192, -128}, {220, -128}}},
     {{{32, 32, 32}, {16, 16, 32}, {0, 0, 32}, {0, 0, 0}}},
     {{{255, -128}, {255, -128}, {255, -128}}},
     {{{0, 128}, {0, 128}, {0, 128}}},
     0x000000, 0xFFFFFF},
    // #96281E to #DFBD9F, #DF9664 to #6E190F: brick red to peach.
    {"ember",
     {{{150, 74}, {40, 151}, {30, 131}}},
     {{{223, -114}, {150, -126}, {100, -86}}},
     {{{32, 32, 32}, {32, 16, 16}, {32, 0, 0}, {0, 0, 0}}},
     {{{255, -56}, {235, -96}, {210, -112}}},
     {{{60, 90}, {10, 60}, {0, 50}}},
     0x301008, 0xFFE0C0},
    // #326E28 to #BDDFA9, #AADF82 to #1F5B1E: deep to pale green.
    {"moss",
     {{{50, 141}, {110, 114}, {40, 131}}},
     {{{170, -141}, {223, -134}, {130, -101}}},
     {{{32, 32, 32}, {16, 32, 16}, {0, 32, 0}, {0, 0, 0}}},
     {{{220, -80}, {255, -56}, {200, -100}}},
     {{{10, 50}, {50, 80}, {10, 50}}},
     0x0C2808, 0xE0FFD0},
    // #146478 to #A9DFDF, #82DFDC to #0A515F: teal.
    {"lagoon",
     {{{20, 151}, {100, 124}, {120, 104}}},
     {{{130, -121}, {223, -144}, {220, -126}}},
     {{{32, 32, 32}, {16, 32, 32}, {0, 32, 32}, {0, 0, 0}}},
     {{{200, -100}, {255, -60}, {255, -48}}},
     {{{0, 40}, {40, 80}, {50, 90}}},
     0x082830, 0xD0F8FF},
    // #8C3278 to #DFBDD7, #DFA0D7 to #641F5A: magenta to pink.
    {"heather",
     {{{140, 84}, {50, 141}, {120, 96}}},
     {{{223, -124}, {160, -131}, {215, -126}}},
     {{{32, 32, 32}, {32, 16, 32}, {32, 0, 32}, {0, 0, 0}}},
     {{{255, -48}, {220, -100}, {255, -56}}},
     {{{50, 80}, {0, 50}, {40, 80}}},
     0x280828, 0xFFD8F8},
    // #A06E14 to #DED29F, #DFC86E to #6E470A: ochre to gold.
    {"amber",
     {{{160, 63}, {110, 101}, {20, 141}}},
     {{{223, -114}, {200, -131}, {110, -101}}},
     {{{32, 32, 32}, {32, 32, 16}, {32, 32, 0}, {0, 0, 0}}},
     {{{255, -40}, {240, -72}, {180, -120}}},
     {{{60, 90}, {40, 60}, {0, 30}}},
     0x302000, 0xFFF0C0},
    // #28282D to #D6D6D9, #DCDCD8 to #3D3D3B: greys, over grey ribbons.
    {"ink",
     {{{40, 176}, {40, 176}, {45, 174}}},
     {{{220, -161}, {220, -161}, {216, -159}}},
     {{{32, 32, 32}, {16, 16, 16}, {8, 8, 8}, {0, 0, 0}}},
     {{{255, -96}, {255, -96}, {255, -96}}},
     {{{0, 96}, {0, 96}, {0, 96}}},
     0x000000, 0xFFFFFF},
};
// clang-format on

constexpr uint32_t rgb(int32_t red, int32_t green, int32_t blue) {
    return (static_cast<uint32_t>(red) << 16) | (static_cast<uint32_t>(green) << 8) |
           static_cast<uint32_t>(blue);
}

constexpr uint32_t shadeColour(const std::array<ShadeRamp, 3>& ramps, int32_t shade,
                               const std::array<int32_t, 3>& lift) {
    int32_t channels[3]{};
    for (int c = 0; c < 3; ++c) {
        channels[c] = ramps[c].at(shade) + lift[c];
        // A channel that wrapped would turn a pale line dark: the build
        // refuses such a palette.
        if (channels[c] < 0 || channels[c] > 255) {
            throw std::logic_error("a stroke channel leaves 0..255");
        }
    }
    return rgb(channels[0], channels[1], channels[2]);
}

constexpr StrokeColours makeStrokeColours(const Palette& palette, bool dark) {
    StrokeColours colours{};
    const std::array<ShadeRamp, 3>& ramps = dark ? palette.dark : palette.light;
    for (int32_t shade = 0; shade < 256; ++shade) {
        for (int line = 0; line < 4; ++line) {
            colours[shade].soft[line] = shadeColour(ramps, shade, palette.lifts[line]);
        }
        colours[shade].core = shadeColour(ramps, shade, {0, 0, 0});
    }
    return colours;
}

constexpr bool ribbonsStayInRange(const std::array<RibbonRamp, 3>& ramps) {
    for (const RibbonRamp& ramp : ramps) {
        for (int32_t draw = 0; draw < 128; ++draw) {
            if (ramp.at(draw) < 0 || ramp.at(draw) > 255) {
                return false;
            }
        }
    }
    return true;
}

constexpr bool allRibbonsStayInRange() {
    for (const Palette& palette : kPalettes) {
        if (!ribbonsStayInRange(palette.gridRibbons) || !ribbonsStayInRange(palette.fanRibbons)) {
            return false;
        }
    }
    return true;
}
static_assert(allRibbonsStayInRange(), "a ribbon channel leaves 0..255");

// One constant per palette and lightness: a compiler bounds the work of each
// constant it works out, and all fourteen tables in one would pass the bound.
template <int32_t palette, bool dark>
constexpr StrokeColours kStrokeColoursOf = makeStrokeColours(kPalettes[palette], dark);

template <int32_t... palettes>
constexpr std::array<std::array<const StrokeColours*, 2>, kPaletteCount>
strokeColourTables(std::integer_sequence<int32_t, palettes...>) {
    return {{{&kStrokeColoursOf<palettes, false>, &kStrokeColoursOf<palettes, true>}...}};
}

constexpr auto kStrokeColours =
    strokeColourTables(std::make_integer_sequence<int32_t, kPaletteCount>{});

} // namespace

const Palette& paletteOf(int32_t palette) {
    return kPalettes[palette >= 0 && palette < kPaletteCount ? palette : 0];
}

const StrokeColours& strokeColours(int32_t palette, bool dark) {
    return *kStrokeColours[palette >= 0 && palette < kPaletteCount ? palette : 0][dark ? 1 : 0];
}

} // namespace bramblewisp
