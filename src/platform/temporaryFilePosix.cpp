// The pictures' temporary files on POSIX systems: created beside the picture,
// removed by an ending signal while they exist, synced before they replace
// the older picture; and the ending signals that a batch of pictures catches
// to stop in good order.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

namespace bramblewisp::platform {

namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// A slot's life: taken by a save, filled with the file's name (signals
// blocked on that thread), pending while the file exists, free again once it
// is in place or removed. A handler that removes the file marks it handled
// first, so that no save can take the slot and change the name it reads.
enum SlotState : int { slotFree, slotFilling, slotPending, slotHandled };

// Every member initialised, so that the slots are initialised as constants:
// with path left out, a loop at start touched all 64 of their pages.
struct Slot {
    std::atomic<int> state{slotFree};
    char path[4096]{};
};

// Lock-free atomics are safe in a signal handler and between threads alike.
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

// The signal handler's state, shared by every thread that saves.
Slot slots[kMostTemporaryFiles];
std::atomic<bool> catching{false};
std::atomic<int> caught{0};

void removePendingFiles() {
    for (Slot& slot : slots) {
        int state = slot.state.load(std::memory_order_acquire);
        // Another thread is between mkostemp and marking its file pending:
        // a few system calls, and signals cannot run on that thread then.
        while (state == slotFilling) {
            state = slot.state.load(std::memory_order_acquire);
        }
        if (state == slotPending && slot.state.compare_exchange_strong(state, slotHandled)) {
            unlink(slot.path);
        }
    }
}

extern "C" void onEndingSignal(int signal) {
    int none = 0;
    if (catching.load() && caught.compare_exchange_strong(none, signal)) {
        return;
    }
    removePendingFiles();
    // Ends the process by the signal's default action once the handler
    // returns, so the caller still sees which signal it was.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    raise(signal);
}

// Installed once and left in place: with nothing to remove and nothing
// caught, the handler ends the process as the default action would. A
// signal the caller chose to ignore (nohup) stays ignored. SA_RESTART: a
// caught signal must not fail the writes under way.
void watchEndingSignals() {
    for (const int signal : kEndingSignals) {
        struct sigaction previous {};
        sigaction(signal, nullptr, &previous);
        if (previous.sa_handler == SIG_IGN || previous.sa_handler == onEndingSignal) {
            continue;
        }
        struct sigaction action {};
        action.sa_handler = onEndingSignal;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
}

// Holds the ending signals back from this thread for its lifetime, so that a
// file and its registration for removal come and go together.
class EndingSignalsBlocked {
  public:
    EndingSignalsBlocked() {
        sigset_t set;
        sigemptyset(&set);
        for (const int signal : kEndingSignals) {
            sigaddset(&set, signal);
        }
        pthread_sigmask(SIG_BLOCK, &set, &previous);
    }
    ~EndingSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }
    EndingSignalsBlocked(const EndingSignalsBlocked&) = delete;
    EndingSignalsBlocked& operator=(const EndingSignalsBlocked&) = delete;

  private:
    sigset_t previous;
};

int takeSlot() {
    for (int k = 0; k < kMostTemporaryFiles; ++k) {
        int free = slotFree;
        if (slots[k].state.compare_exchange_strong(free, slotFilling)) {
            return k;
        }
    }
    return -1;
}

// A slot that a dying handler marked handled stays so: the process ends.
void releaseSlot(int slot) {
    int state = slotPending;
    if (!slots[slot].state.compare_exchange_strong(state, slotFree) && state == slotFilling) {
        slots[slot].state.store(slotFree, std::memory_order_release);
    }
}

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

TemporaryFile createTemporaryFile(const std::string& nextTo, std::string& reason) {
    const std::string pattern = nextTo + ".XXXXXX";
    if (pattern.size() >= sizeof slots[0].path) {
        reason = std::strerror(ENAMETOOLONG);
        return {};
    }
    watchEndingSignals();
    const EndingSignalsBlocked blocked;
    const int slot = takeSlot();
    if (slot < 0) {
        reason = "too many files being saved at once";
        return {};
    }
    char* path = slots[slot].path;
    std::memcpy(path, pattern.c_str(), pattern.size() + 1);
    const int fd = mkostemp(path, O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        releaseSlot(slot);
        return {};
    }
    slots[slot].state.store(slotPending, std::memory_order_release);
    // mkstemp makes the file private; a picture gets the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        reason = std::strerror(errno);
        close(fd);
        unlink(path);
        releaseSlot(slot);
        return {};
    }
    return {file, path, slot};
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
        releaseSlot(from.slot);
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
    releaseSlot(temporary.slot);
}

void catchEndingSignals() {
    catching.store(true);
    watchEndingSignals();
}

int caughtEndingSignal() {
    return caught.load(std::memory_order_relaxed);
}

void endBySignal(int signal) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    // Delivered to this thread at once, unless it blocks the signal.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    std::_Exit(128 + signal);
}

} // namespace bramblewisp::platform
