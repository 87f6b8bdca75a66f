// The page's program: the command-line program's run, called for every
// picture of one module instance (a picture is a value, so each run starts
// afresh), and the last picture kept for the page's other format.
#include <emscripten/emscripten.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "app/app.h"
#include "app/console.h"
#include "app/saveFile.h"
#include "platform/platform.h"

using namespace bramblewisp;

namespace {

// The page's own state, outside the program's core: the picture of the
// latest run and the recipe its PNG carries.
struct Kept {
    std::unique_ptr<Bitmap> image;
    std::string recipe;
};
Kept kept;

} // namespace

extern "C" {

// main's run, with the picture kept once it is saved: the exit status.
EMSCRIPTEN_KEEPALIVE int32_t pageRun(int32_t argumentCount, char** arguments) {
    kept = {};
    platform::prepareProcess();
    int32_t status = 0;
    {
        Console console(stdout, stderr);
        status = App(console, BudgetSources::platform(),
                     [](std::unique_ptr<Bitmap> image, const std::string& recipe) {
                         kept = {std::move(image), recipe};
                     })
                     .run(argumentCount, arguments);
        console.reportLostOutput();
    }
    std::fflush(nullptr);
    return status;
}

// Saves the kept picture to path as the program saves it, a PNG with its
// recipe: 1 when done, 0 when there is no picture or saving failed.
EMSCRIPTEN_KEEPALIVE int32_t pageSaveAs(const char* path) {
    std::string reason;
    return kept.image && savePicture(path, *kept.image, kept.recipe, reason) ? 1 : 0;
}

// Lets the kept picture go.
EMSCRIPTEN_KEEPALIVE void pageForget() {
    kept = {};
}

} // extern "C"
