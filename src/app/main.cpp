#include <cstdio>

#include "app/app.h"
#include "app/console.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    bramblewisp::platform::prepareProcess();
    bramblewisp::Console console(stdout, stderr);
    const int status = bramblewisp::App(console).run(argc, argv);
    console.reportLostOutput();
    if (const int signal = bramblewisp::platform::caughtEndingSignal(); signal != 0) {
        bramblewisp::platform::endBySignal(signal);
    }
    return status;
}
