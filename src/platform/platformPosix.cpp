#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <new>
#include <sstream>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/sysinfo.h>
#endif
#include <unistd.h>

#include "platform/platform.h"

namespace bramblewisp::platform {

// WebAssembly has one linear memory and no kernel behind it: platformWeb.cpp
// allocates and measures memory there, prepares the process and names the
// program; the rest of this file serves it too.
#ifndef __EMSCRIPTEN__

namespace {

constexpr uint64_t kUnlimited = std::numeric_limits<uint64_t>::max();

// The first number of a file such as memory.max; kUnlimited for "max" or
// when the file cannot be read.
uint64_t readNumber(const std::string& path) {
    std::ifstream in(path);
    std::string word;
    if (!(in >> word) || word.empty() || word[0] < '0' || word[0] > '9') {
        return kUnlimited;
    }
    return std::strtoull(word.c_str(), nullptr, 10);
}

uint64_t memAvailable() {
    std::ifstream in("/proc/meminfo");
    std::string key;
    uint64_t kilobytes = 0;
    std::string unit;
    while (in >> key >> kilobytes) {
        std::getline(in, unit);
        if (key == "MemAvailable:") {
            return kilobytes * 1024;
        }
    }
#ifdef __linux__
    // Without /proc the kernel still answers, leaving out the page cache it
    // could reclaim: too little rather than too much.
    struct sysinfo info {};
    if (sysinfo(&info) == 0) {
        return (static_cast<uint64_t>(info.freeram) + info.bufferram) * info.mem_unit;
    }
#endif
    return kUnlimited;
}

uint64_t roomUnder(uint64_t limit, uint64_t used) {
    if (limit == kUnlimited) {
        return kUnlimited;
    }
    return used < limit ? limit - used : 0;
}

// The room left under the memory limits of this process's control group and
// of every group above it.
uint64_t cgroupRoom() {
    std::ifstream in("/proc/self/cgroup");
    // Without /proc, the group that a container shows as its root is the
    // nearest one whose limit can still be read.
    std::stringstream fallback("0::/\n1:memory:/\n");
    std::istream& lines = in ? static_cast<std::istream&>(in) : fallback;
    std::string line;
    uint64_t room = kUnlimited;
    while (std::getline(lines, line)) {
        // "0::/path" for version 2, "N:memory:/path" (among others) for version 1.
        const std::size_t first = line.find(':');
        const std::size_t second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) {
            continue;
        }
        const std::string controllers = line.substr(first + 1, second - first - 1);
        std::string path = line.substr(second + 1);
        const bool v2 = controllers.empty();
        std::stringstream list(controllers);
        std::string controller;
        bool v1Memory = false;
        while (std::getline(list, controller, ',')) {
            v1Memory = v1Memory || controller == "memory";
        }
        if (!v2 && !v1Memory) {
            continue;
        }
        const std::string root = v2 ? "/sys/fs/cgroup" : "/sys/fs/cgroup/memory";
        const std::string limitFile = v2 ? "/memory.max" : "/memory.limit_in_bytes";
        const std::string usageFile = v2 ? "/memory.current" : "/memory.usage_in_bytes";
        for (;;) {
            const std::string dir = root + (path == "/" ? "" : path);
            room =
                std::min(room, roomUnder(readNumber(dir + limitFile), readNumber(dir + usageFile)));
            if (path.empty() || path == "/") {
                break;
            }
            const std::size_t slash = path.find_last_of('/');
            path = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
        }
    }
    return room;
}

// What RLIMIT_AS and RLIMIT_DATA leave is the largest block the process can
// still map, so it is found by trying: that needs no /proc, and a mapping
// without backing costs no memory.
uint64_t processLimitRoom() {
    uint64_t limit = kUnlimited;
    for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        rlimit value{};
        if (getrlimit(resource, &value) == 0 && value.rlim_cur != RLIM_INFINITY) {
            limit = std::min<uint64_t>(limit, value.rlim_cur);
        }
    }
    if (limit == kUnlimited) {
        return kUnlimited;
    }
    const auto fits = [](uint64_t bytes) {
        void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (block == MAP_FAILED) {
            return false;
        }
        munmap(block, bytes);
        return true;
    };
    // Samples are capped at 32 bits; 64 KiB steps are finer than any
    // estimate they meet.
    constexpr uint64_t kStep = uint64_t{64} << 10;
    uint64_t low = 0;
    uint64_t high = std::min<uint64_t>(limit, uint64_t{1} << 32) / kStep * kStep;
    if (high > 0 && fits(high)) {
        return high;
    }
    while (high - low > kStep) {
        const uint64_t middle = (low + high) / 2 / kStep * kStep;
        (fits(middle) ? low : high) = middle;
    }
    return low;
}

// Transparent huge pages on x86-64 and most other Linux systems.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

// A huge page needs the whole of its aligned 2 MiB inside the mapping, so a
// block of half a huge page or more is mapped in whole huge pages: its last
// part would otherwise fault in 4 KiB at a time.
std::size_t mappedLength(std::size_t bytes) {
    const std::size_t page =
        bytes >= kHugePage / 2 ? kHugePage : static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return bytes == 0 ? page : (bytes + page - 1) / page * page;
}

} // namespace

// Advised to use huge pages. Virtual machines differ here: on one host a
// fault for every 4 KiB cost about 10 microseconds, and huge pages made whole
// runs 15 to 33% faster whether they ran back to back or after an idle pause.
// On another, whose host takes back free 2 MiB blocks, huge pages made runs
// after an idle pause up to a third slower. On bare metal faults should cost
// little either way, and huge pages still spare the TLB.
void* allocateLarge(std::size_t bytes) {
    const std::size_t length = mappedLength(bytes);
    // Over-map by a huge page and trim to an aligned start. Under a tight
    // address-space limit the extra may not fit; the exact length then does,
    // merely without the alignment.
    void* mapped = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        mapped = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) {
            throw std::bad_alloc();
        }
        return mapped;
    }
    char* start = static_cast<char*>(mapped);
    const std::size_t head =
        (kHugePage - reinterpret_cast<std::uintptr_t>(start) % kHugePage) % kHugePage;
    if (head != 0) {
        munmap(start, head);
    }
    munmap(start + head + length, kHugePage - head);
#ifdef MADV_HUGEPAGE
    // Advice only: where it is refused, the memory is merely slower to fill.
    madvise(start + head, length, MADV_HUGEPAGE);
#endif
    return start + head;
}

void releaseLarge(void* block, std::size_t bytes) {
    munmap(block, mappedLength(bytes));
}

uint64_t availableBytes() {
    return std::min({memAvailable(), cgroupRoom(), processLimitRoom()});
}

void prepareProcess() {
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
}

#endif

uint32_t committableBytes() {
    return static_cast<uint32_t>(
        std::min<uint64_t>(availableBytes(), std::numeric_limits<uint32_t>::max()));
}

#ifdef __EMSCRIPTEN__
// platformWeb.cpp: the host's answer, as the toolchain's C library takes
// every standard stream for a terminal.
bool hostTerminal(int fd);
#endif

bool isTerminal(std::FILE* stream) {
#ifdef __EMSCRIPTEN__
    return hostTerminal(fileno(stream));
#else
    return isatty(fileno(stream)) != 0;
#endif
}

int64_t counterFrequency() {
    using Period = std::chrono::steady_clock::period;
    return Period::den / Period::num;
}

int64_t counterNow() {
    return std::chrono::steady_clock::now().time_since_epoch().count();
}

#ifdef __EMSCRIPTEN__
// platformWeb.cpp: node's own open, which keeps O_NONBLOCK.
int openWithoutWaiting(const char* path);
#else
// Without O_NONBLOCK, opening a FIFO waits for a writer; once the file is
// known to be regular, the flag changes nothing.
static int openWithoutWaiting(const char* path) {
    return open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}
#endif

std::FILE* openRegularFile(const std::string& path, std::string& problem) {
    const int fd = openWithoutWaiting(path.c_str());
    if (fd < 0) {
        problem = std::string("cannot be opened: ") + std::strerror(errno);
        return nullptr;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        problem = "is not a regular file";
        close(fd);
        errno = 0;
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "rb");
    if (file == nullptr) {
        const int error = errno;
        problem = std::string("cannot be opened: ") + std::strerror(error);
        close(fd);
        errno = error;
    }
    return file;
}

PathKind pathKind(const std::string& path) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) {
        return PathKind::missing;
    }
    return S_ISREG(status.st_mode)   ? PathKind::regularFile
           : S_ISDIR(status.st_mode) ? PathKind::directory
           : S_ISLNK(status.st_mode) ? PathKind::symbolicLink
                                     : PathKind::other;
}

#ifndef __EMSCRIPTEN__
namespace {

// The CPU quota of this process's control group and of every group above it
// (version 2), in whole cores rounded up; 0 where none is set.
int cgroupCores() {
    std::ifstream in("/proc/self/cgroup");
    std::string line;
    int cores = 0;
    while (std::getline(in, line)) {
        if (line.rfind("0::", 0) != 0) {
            continue;
        }
        std::string path = line.substr(3);
        for (;;) {
            std::ifstream limit("/sys/fs/cgroup" + (path == "/" ? "" : path) + "/cpu.max");
            std::string quota;
            uint64_t period = 0;
            if (limit >> quota >> period && quota != "max" && period > 0) {
                const uint64_t whole =
                    (std::strtoull(quota.c_str(), nullptr, 10) + period - 1) / period;
                const int limited = static_cast<int>(std::clamp<uint64_t>(whole, 1, 4096));
                cores = cores == 0 ? limited : std::min(cores, limited);
            }
            if (path.empty() || path == "/") {
                break;
            }
            const std::size_t slash = path.find_last_of('/');
            path = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
        }
    }
    return cores;
}

} // namespace

int usableCores() {
    long cores = sysconf(_SC_NPROCESSORS_ONLN);
#ifdef __linux__
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0) {
        cores = CPU_COUNT(&set);
    }
    if (const int quota = cgroupCores(); quota > 0) {
        cores = std::min<long>(cores, quota);
    }
#endif
    return static_cast<int>(std::clamp<long>(cores, 1, 4096));
}

std::string executablePath() {
    std::string path(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) {
        return {};
    }
    path.resize(static_cast<std::size_t>(length));
    return path;
}
#endif

std::string installedDataDirectory() {
    const std::string program = executablePath();
    if (program.empty()) {
        return {};
    }
    const std::filesystem::path prefix = std::filesystem::path(program).parent_path().parent_path();
    return (prefix / "share" / "bramblewisp" / "").string();
}

} // namespace bramblewisp::platform
