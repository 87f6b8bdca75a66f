#include "app/spinner.h"

#include <cstdio>

namespace bramblewisp {

int32_t spinCalls = 0;
int32_t spinIndex = 0;

void spinnerTick() {
    static constexpr char kTurns[] = "|/-\\|/-\\";
    spinCalls = (spinCalls + 1) & 63;
    if (spinCalls != 0) {
        return;
    }
    spinIndex = (spinIndex + 1) & 7;
    std::printf("\b%c", kTurns[spinIndex]);
    std::fflush(stdout);
}

} // namespace bramblewisp
