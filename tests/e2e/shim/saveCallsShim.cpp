// Preloaded into the program by end-to-end tests. It notes, in order, the
// calls that make a save last (fsync of the file, rename, fsync of its
// directory) in the file that BRAMBLEWISP_SHIM_LOG names, and with
// BRAMBLEWISP_SHIM_SIGNAL set it delivers that signal when the finished
// temporary file is synced: the moment a save is most exposed.
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void note(const char* event) {
    const char* log = std::getenv("BRAMBLEWISP_SHIM_LOG");
    const int fd = log != nullptr ? open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    if (fd >= 0) {
        const bool written = write(fd, event, std::strlen(event)) >= 0 && write(fd, "\n", 1) >= 0;
        static_cast<void>(written);
        close(fd);
    }
}

template <typename Function> Function real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int fsync(int fd) {
    struct stat status {};
    const bool regular = fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    note(regular ? "fsync file" : S_ISDIR(status.st_mode) ? "fsync directory" : "fsync other");
    if (const char* signal = std::getenv("BRAMBLEWISP_SHIM_SIGNAL"); signal != nullptr && regular) {
        raise(std::atoi(signal));
    }
    return real<int (*)(int)>("fsync")(fd);
}

extern "C" int rename(const char* from, const char* to) {
    note("rename");
    return real<int (*)(const char*, const char*)>("rename")(from, to);
}
