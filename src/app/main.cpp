#include <exception>
#include <new>
#include <string>

#include "app/app.h"
#include "app/console.h"
#include "app/options.h"
#include "platform/platform.h"

namespace {

int run(int argc, char** argv) {
    using bramblewisp::App;
    try {
        for (const std::string& warning : bramblewisp::unknownOptionWarnings(argc, argv)) {
            bramblewisp::report(warning);
        }
        App app;
        if (!app.parseOptions(argc, argv)) {
            return app.refused ? 2 : 0;
        }
        app.createBitmaps();
        app.growAndRender();
        return app.saveImage() ? 0 : 1;
    } catch (const std::bad_alloc&) {
        bramblewisp::report("out of memory");
        return 1;
    }
}

} // namespace

int main(int argc, char** argv) {
    bramblewisp::platform::prepareProcess();
    const int status = run(argc, argv);
    bramblewisp::console::reportLostOutput();
    return status;
}
