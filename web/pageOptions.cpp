// The page's view of its command line, through the program's own parser, so
// that a link's values fall back exactly as the same command line's do.
#include <emscripten/emscripten.h>

#include <cstdint>

#include "app/options.h"
#include "imaging/backgrounds.h"
#include "imaging/postEffects.h"
#include "presets/preset.h"

using namespace bramblewisp;

extern "C" {

// Whether a run with these arguments finds name and a value after it.
EMSCRIPTEN_KEEPALIVE int32_t pageHasOption(int32_t argumentCount, char** arguments,
                                           const char* name) {
    int32_t ignored = 0;
    return Options{argumentCount, arguments}.lookup(name, ignored) ? 1 : 0;
}

// What a run with these arguments draws, as the page's controls show it:
// type, seed, iter, dark, prefx, postfx, spikes.
EMSCRIPTEN_KEEPALIVE void pageOptionValues(int32_t argumentCount, char** arguments, int32_t* out) {
    const OptionValues values = readOptionValues(Options{argumentCount, arguments});
    out[0] = selectedType(values.type);
    out[1] = values.seed;
    out[2] = values.iterations;
    out[3] = values.dark != 0 ? 1 : 0;
    out[4] = selectedBackground(values.prefx);
    out[5] = selectedPostEffect(values.postfx);
    out[6] = values.spikes;
}

} // extern "C"
