#pragma once

#include <cstdint>

namespace bramblewisp {

// Shared by the whole run and never reset, so the cycle runs on across
// generations.
extern int32_t spinCalls;
extern int32_t spinIndex;

// Turns the console spinner once every 64 calls.
void spinnerTick();

} // namespace bramblewisp
