// The page's view of its command line, through the program's own parser, so
// that a link's values fall back exactly as the same command line's do.
#include <emscripten/emscripten.h>

#include <cstdint>

#include "app/options.h"
#include "app/settings.h"

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
    const Settings settings = readSettings(Options{argumentCount, arguments});
    out[0] = settings.type;
    out[1] = settings.seed;
    out[2] = settings.iterations;
    out[3] = settings.dark ? 1 : 0;
    out[4] = settings.background;
    out[5] = settings.postEffect;
    out[6] = settings.spikes;
}

} // extern "C"
