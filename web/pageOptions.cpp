// The page's view of its command line, through the program's own parser, so
// that a link's values fall back exactly as the same command line's do.
#include <emscripten/emscripten.h>

#include <cstdint>

#include "app/options.h"
#include "app/settings.h"

using namespace bramblewisp;

extern "C" {

// Where the value that a run with these arguments reads for name stands,
// or -1. The parser itself finds it: over the first n arguments it finds
// the same value exactly when that value's index is below n.
EMSCRIPTEN_KEEPALIVE int32_t pageValueIndex(int32_t argumentCount, char** arguments,
                                            const char* name) {
    int32_t ignored = 0;
    if (!Options{argumentCount, arguments}.lookup(name, ignored)) {
        return -1;
    }
    int32_t fails = 1;
    int32_t finds = argumentCount;
    while (finds - fails > 1) {
        const int32_t middle = fails + (finds - fails) / 2;
        (Options{middle, arguments}.lookup(name, ignored) ? finds : fails) = middle;
    }
    return finds - 1;
}

// What a run with these arguments draws, as the page's controls show it:
// type, seed, iter, dark, prefx, postfx, spikes, and its time budget.
EMSCRIPTEN_KEEPALIVE void pageOptionValues(int32_t argumentCount, char** arguments, int32_t* out) {
    const Settings settings = readSettings(Options{argumentCount, arguments});
    out[0] = settings.type;
    out[1] = settings.seed;
    out[2] = settings.iterations;
    out[3] = settings.dark ? 1 : 0;
    out[4] = settings.background;
    out[5] = settings.postEffect;
    out[6] = settings.spikes;
    int32_t time = 0;
    Options{argumentCount, arguments}.lookup("-time", time);
    out[7] = time;
}

} // extern "C"
