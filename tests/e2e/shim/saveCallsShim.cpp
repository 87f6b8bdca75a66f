// Preloaded into the program by end-to-end tests: notes the calls that make a
// save last, in order, in the file BRAMBLEWISP_SHIM_LOG names, and delivers
// the signal BRAMBLEWISP_SHIM_SIGNAL names (if not 0) when a regular file is
// synced, the moment the finished temporary file exists. With
// BRAMBLEWISP_SHIM_FSYNC_ERROR (an errno value) that sync fails instead, as
// it does when the disk fills before the written bytes reach it. Both wait
// for the regular file's sync that BRAMBLEWISP_SHIM_FROM counts (1, the
// first, unless given); the error stays from then on, as a full disk does.
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void note(const std::string& event) {
    const char* log = std::getenv("BRAMBLEWISP_SHIM_LOG");
    const int fd = log != nullptr ? open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    if (fd >= 0) {
        const std::string line = event + "\n";
        static_cast<void>(write(fd, line.data(), line.size()) >= 0);
        close(fd);
    }
}

using Fsync = int (*)(int);
using Rename = int (*)(const char*, const char*);

// Regular files synced so far, by any thread.
std::atomic<int> filesSynced{0};

int variable(const char* name, int otherwise) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::atoi(value) : otherwise;
}

} // namespace

extern "C" int fsync(int fd) {
    struct stat status {};
    fstat(fd, &status);
    note(S_ISREG(status.st_mode) ? "fsync file" : "fsync directory");
    const int synced = S_ISREG(status.st_mode) ? ++filesSynced : 0;
    const int from = variable("BRAMBLEWISP_SHIM_FROM", 1);
    const int signal = variable("BRAMBLEWISP_SHIM_SIGNAL", 0);
    if (synced == from && signal > 0) {
        raise(signal);
    }
    const char* error = std::getenv("BRAMBLEWISP_SHIM_FSYNC_ERROR");
    if (synced >= from && error != nullptr && std::atoi(error) > 0) {
        errno = std::atoi(error);
        return -1;
    }
    return reinterpret_cast<Fsync>(dlsym(RTLD_NEXT, "fsync"))(fd);
}

extern "C" int rename(const char* from, const char* to) {
    note("rename");
    return reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "rename"))(from, to);
}
