#include "app/workerCount.h"

#include <cstdlib>
#include <string>

#include "app/console.h"
#include "platform/platform.h"

namespace bramblewisp {

int workerCount() {
    const int cores = platform::usableCores();
    const char* value = std::getenv(kWorkersVariable);
    if (value == nullptr) {
        return cores;
    }
    char* end = nullptr;
    const long count = std::strtol(value, &end, 10);
    if (end != value && *end == '\0' && count >= 1 && count <= kMostWorkers) {
        return static_cast<int>(count);
    }
    report(kWorkersVariable, "expected a whole number from 1 to " + std::to_string(kMostWorkers) +
                                 "; using " + std::to_string(cores) + " workers");
    return cores;
}

} // namespace bramblewisp
