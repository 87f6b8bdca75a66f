#pragma once

#include "app/console.h"

namespace bramblewisp {

// Test-only variable: sets the number of threads that share a picture.
inline constexpr const char* kWorkersVariable = "BRAMBLEWISP_WORKERS";
inline constexpr int kMostWorkers = 256;

// The threads of the run's pool: the cores the process may use, unless
// BRAMBLEWISP_WORKERS holds a count from 1 to 256 (tests and CI run the
// golden pictures with several). A picture is the same for every count, so
// the variable changes only the speed; any other value is reported on the
// console and the cores are used. Either way, no more workers than the free
// memory has room for.
int workerCount(Console& console);

} // namespace bramblewisp
