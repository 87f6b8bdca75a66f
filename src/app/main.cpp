#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "app/app.h"
#include "app/options.h"
#include "app/platform.h"
#include "app/progressOutput.h"

namespace {

int run(int argc, char** argv) {
    using bramblewisp::App;
    try {
        for (const std::string& warning : bramblewisp::unknownOptionWarnings(argc, argv)) {
            std::fprintf(stderr, "%s\n", warning.c_str());
        }
        App app;
        if (!app.parseOptions(argc, argv)) {
            return 0;
        }
        app.createBitmaps();
        app.growAndRender();
        return app.saveImage() ? 0 : 1;
    } catch (const std::bad_alloc&) {
        bramblewisp::releaseWarnings();
        std::fputs("bramblewisp: out of memory\n", stderr);
        return 1;
    }
}

} // namespace

int main(int argc, char** argv) {
    bramblewisp::platform::prepareProcess();
    const int status = run(argc, argv);
    bramblewisp::reportLostOutput();
    return status;
}
