// The picture's temporary file on POSIX systems: created beside the picture,
// removed by an ending signal while it exists, synced before it replaces the
// older picture.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

namespace bramblewisp::platform {

namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The temporary file that the handler removes; read only by the handler,
// written only while the signals are blocked.
char pendingPath[4096];
volatile sig_atomic_t pendingSet = 0;
struct sigaction previousActions[std::size(kEndingSignals)];

extern "C" void removePendingAndEnd(int signal) {
    if (pendingSet != 0) {
        unlink(pendingPath);
    }
    // Ends the process by the signal's default action once the handler
    // returns, so the caller still sees which signal it was.
    std::signal(signal, SIG_DFL);
    raise(signal);
}

// Holds the ending signals back for its lifetime, so that a file and its
// registration for removal come and go together.
class EndingSignalsBlocked {
  public:
    EndingSignalsBlocked() {
        sigset_t set;
        sigemptyset(&set);
        for (const int signal : kEndingSignals) {
            sigaddset(&set, signal);
        }
        sigprocmask(SIG_BLOCK, &set, &previous);
    }
    ~EndingSignalsBlocked() { sigprocmask(SIG_SETMASK, &previous, nullptr); }
    EndingSignalsBlocked(const EndingSignalsBlocked&) = delete;
    EndingSignalsBlocked& operator=(const EndingSignalsBlocked&) = delete;

  private:
    sigset_t previous;
};

void registerPending(const std::string& path) {
    std::memcpy(pendingPath, path.c_str(), path.size() + 1);
    pendingSet = 1;
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
        sigaction(kEndingSignals[i], nullptr, &previousActions[i]);
        // A signal the caller chose to ignore (nohup) stays ignored.
        if (previousActions[i].sa_handler != SIG_IGN) {
            struct sigaction action {};
            action.sa_handler = removePendingAndEnd;
            sigemptyset(&action.sa_mask);
            sigaction(kEndingSignals[i], &action, nullptr);
        }
    }
}

void forgetPending() {
    pendingSet = 0;
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
        sigaction(kEndingSignals[i], &previousActions[i], nullptr);
    }
}

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

TemporaryFile createTemporaryFile(const std::string& nextTo, std::string& reason) {
    std::string pattern = nextTo + ".XXXXXX";
    if (pattern.size() >= sizeof pendingPath) {
        reason = std::strerror(ENAMETOOLONG);
        return {};
    }
    const EndingSignalsBlocked blocked;
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        return {};
    }
    // mkstemp makes the file private; a picture gets the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        reason = std::strerror(errno);
        close(fd);
        unlink(pattern.c_str());
        return {};
    }
    registerPending(pattern);
    return {file, pattern};
}

bool syncFile(std::FILE* file, std::string& reason) {
    if (std::fflush(file) != 0 || fsync(fileno(file)) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}

bool replaceFile(const TemporaryFile& from, const std::string& to, std::string& reason) {
    {
        const EndingSignalsBlocked blocked;
        if (std::rename(from.path.c_str(), to.c_str()) != 0) {
            reason = std::strerror(errno);
            return false;
        }
        forgetPending();
    }
    // The new name reaches the disk with its directory. The picture is in
    // place either way, so a directory that cannot be opened or synced (some
    // file systems refuse) changes nothing about the result.
    const int directory = open(directoryOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        fsync(directory);
        close(directory);
    }
    return true;
}

void removeTemporaryFile(const TemporaryFile& temporary) {
    const EndingSignalsBlocked blocked;
    unlink(temporary.path.c_str());
    forgetPending();
}

} // namespace bramblewisp::platform
