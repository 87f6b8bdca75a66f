// The picture's temporary file in a WebAssembly build. The C library's
// signals and fsync do nothing there, so under node the host (web/nodePre.js)
// watches the ending signals and flushes with node's own fsync; a page's
// files live in memory, where neither matters.
#include <emscripten/emscripten.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace bramblewisp::platform {

namespace {

// clang-format off
// Node runs a signal's listener only between calls into the program, so the
// listener must be there before the file is made, as native code blocks the
// signals around it.
EM_JS(void, hostWatchEndingSignals, (), {
    const host = Module['bramblewispHost'];
    if (host) host.watchEndingSignals();
});

// The files an ending signal removes: one more, or one fewer.
EM_JS(void, hostAddTemporaryFile, (const char* path), {
    const host = Module['bramblewispHost'];
    if (host) host.addTemporaryFile(path);
});
EM_JS(void, hostRemoveTemporaryFile, (const char* path), {
    const host = Module['bramblewispHost'];
    if (host) host.removeTemporaryFile(path);
});

// 0, or the errno of a failed flush.
EM_JS(int, hostSyncFile, (int fd), {
    const host = Module['bramblewispHost'];
    return host ? host.syncFile(fd) : 0;
});

EM_JS(void, hostSyncDirectory, (const char* path), {
    const host = Module['bramblewispHost'];
    if (host) host.syncDirectory(path);
});
// clang-format on

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

TemporaryFile createTemporaryFile(const std::string& nextTo, std::string& reason) {
    hostWatchEndingSignals();
    std::string pattern = nextTo + ".XXXXXX";
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        return {};
    }
    hostAddTemporaryFile(pattern.c_str());
    // mkstemp makes the file private; a picture gets the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        reason = std::strerror(errno);
        close(fd);
        unlink(pattern.c_str());
        hostRemoveTemporaryFile(pattern.c_str());
        return {};
    }
    return {file, pattern};
}

bool syncFile(std::FILE* file, std::string& reason) {
    if (std::fflush(file) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    const int error = hostSyncFile(fileno(file));
    if (error != 0) {
        reason = std::strerror(error);
        return false;
    }
    return true;
}

bool replaceFile(const TemporaryFile& from, const std::string& to, std::string& reason) {
    if (std::rename(from.path.c_str(), to.c_str()) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    hostRemoveTemporaryFile(from.path.c_str());
    // The new name reaches the disk with its directory.
    hostSyncDirectory(directoryOf(to).c_str());
    return true;
}

void removeTemporaryFile(const TemporaryFile& temporary) {
    unlink(temporary.path.c_str());
    hostRemoveTemporaryFile(temporary.path.c_str());
}

// Node runs a signal's listener only once the program has returned to it, so
// a batch cannot be asked to stop while it runs; the listener ends the
// process when it returns, removing any temporary file left.
void catchEndingSignals() {
    hostWatchEndingSignals();
}

int caughtEndingSignal() {
    return 0;
}

void endBySignal(int signal) {
    std::_Exit(128 + signal);
}

} // namespace bramblewisp::platform
