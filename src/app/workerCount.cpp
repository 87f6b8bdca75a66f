#include "app/workerCount.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/console.h"
#include "platform/platform.h"

namespace bramblewisp {

namespace {

// A worker thread reserves address space for its stack, and for a heap arena
// of its own once it allocates (8 and 64 MiB with glibc): under a tight limit
// on the address space or the data, that room goes to the picture instead.
constexpr uint64_t kRoomPerWorker = uint64_t{64} << 20;

} // namespace

int workerCount(Console& console) {
    int wanted = platform::usableCores();
    if (const char* value = std::getenv(kWorkersVariable)) {
        char* end = nullptr;
        const long count = std::strtol(value, &end, 10);
        if (end != value && *end == '\0' && count >= 1 && count <= kMostWorkers) {
            wanted = static_cast<int>(count);
        } else {
            console.report(kWorkersVariable, "expected a whole number from 1 to " +
                                                 std::to_string(kMostWorkers) + "; using " +
                                                 std::to_string(wanted) + " workers");
        }
    }
    const uint64_t fit = 1 + platform::committableBytes() / kRoomPerWorker;
    return static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(wanted), fit));
}

} // namespace bramblewisp
