// Memory, process start, opening without waiting and the program's name in a
// WebAssembly build, in node or a browser: one linear memory that grows up to
// a maximum and never shrinks. Clock and files come from the POSIX files,
// which the toolchain's C library serves; under node, web/nodePre.js (the
// host) does what that library cannot.
#include <emscripten/em_js.h>
#include <emscripten/heap.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>

#include "platform/platform.h"

namespace bramblewisp::platform {

namespace {

// Cache lines, as the native blocks start on huge pages; no fast path needs more.
constexpr std::size_t kAlignment = 64;

// Node's umask; a browser has none, so the usual 022. (JavaScript, which
// clang-format would take apart.)
// clang-format off
EM_JS(int, hostUmask, (), {
    return typeof process === 'object' && typeof process.umask === 'function' ? process.umask() : 18;
});

// The host's most for the linear memory, and what the process's limits
// leave it to grow by (infinite when unknown); a page has no host and the
// build's maximum holds.
EM_JS(double, hostMemoryMaximum, (), {
    const host = Module['bramblewispHost'];
    return host ? host.memoryMaximum() : -1;
});
EM_JS(double, hostGrowthRoom, (), {
    const host = Module['bramblewispHost'];
    return host ? host.growthRoom() : Infinity;
});

// Whether a standard stream is a terminal: node knows; a page has none.
EM_JS(int, hostIsTerminal, (int fd), {
    return typeof process === 'object' && typeof require === 'function' &&
        require('tty').isatty(fd) ? 1 : 0;
});

// A descriptor opened without waiting, -errno, or noHost.
EM_JS(int, hostOpenWithoutWaiting, (const char* path, int noHost), {
    const host = Module['bramblewispHost'];
    return host ? host.openWithoutWaiting(path) : noHost;
});

// The script node runs (build-web/bramblewisp.js); in a page, the path its
// worker gives the program in the file system in memory, where it puts the
// installed systems. Writes at most size bytes and returns the whole length.
EM_JS(int, scriptPath, (char* buffer, int size), {
    let path = Module['programPath'];
    if (!path) {
        if (typeof process !== 'object' || !process.argv || !process.argv[1]) return 0;
        path = require('path').resolve(process.argv[1]);
    }
    stringToUTF8(path, buffer, size);
    return lengthBytesUTF8(path);
});
// clang-format on

} // namespace

// The C library's umask starts at 0777, which would leave the saved picture
// unreadable (mode 000).
void prepareProcess() {
    umask(static_cast<mode_t>(hostUmask()));
}

// The build has no threads.
int usableCores() {
    return 1;
}

// Fresh linear memory is zeroed once by the engine and costs no page faults
// of ours, so large blocks are ordinary heap blocks.
void* allocateLarge(std::size_t bytes) {
    const std::size_t rounded =
        (std::max<std::size_t>(bytes, 1) + kAlignment - 1) / kAlignment * kAlignment;
    void* block = std::aligned_alloc(kAlignment, rounded);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void releaseLarge(void* block, std::size_t) {
    std::free(block);
}

// What the memory may still grow by: the machine's own free memory is
// neither visible nor usable beyond that maximum. The heap's top only rises,
// so the figure depends on the run alone and pictures stay reproducible.
// Under node the host sized the maximum to the process's limits, and growth
// past the memory's current size must also fit under its data limit.
uint64_t availableBytes() {
    const uint64_t top = reinterpret_cast<std::uintptr_t>(sbrk(0));
    const double hostMaximum = hostMemoryMaximum();
    const uint64_t maximum =
        hostMaximum >= 0 ? static_cast<uint64_t>(hostMaximum) : emscripten_get_heap_max();
    uint64_t room = top < maximum ? maximum - top : 0;
    const double growth = hostGrowthRoom();
    if (growth < static_cast<double>(room)) {
        const uint64_t size = emscripten_get_heap_size();
        room = std::min(room, (size > top ? size - top : 0) + static_cast<uint64_t>(growth));
    }
    return room;
}

bool hostTerminal(int fd) {
    return hostIsTerminal(fd) != 0;
}

// Node's own open keeps O_NONBLOCK, which the C library's drops on the way
// to it; a page's files live in memory, where nothing waits.
int openWithoutWaiting(const char* path) {
    constexpr int kNoHost = std::numeric_limits<int>::min();
    const int fd = hostOpenWithoutWaiting(path, kNoHost);
    if (fd != kNoHost) {
        if (fd < 0) {
            errno = -fd;
            return -1;
        }
        return fd;
    }
    return open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

// The script stands for the executable, so the data directory of a web
// build is share/bramblewisp beside build-web, as a native build's is beside
// build.
std::string executablePath() {
    std::string path(4096, '\0');
    const int length = scriptPath(path.data(), static_cast<int>(path.size()));
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) {
        return {};
    }
    path.resize(static_cast<std::size_t>(length));
    return path;
}

} // namespace bramblewisp::platform
