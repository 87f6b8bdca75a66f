#include "app/saveFile.h"

#include <cerrno>
#include <cstring>

#include "app/platform.h"
#include "imaging/bmp.h"

namespace bramblewisp {

namespace {

// Removes the temporary file unless it was put in place, whatever happens
// in between (an out-of-memory exception included).
class TemporaryGuard {
  public:
    explicit TemporaryGuard(platform::TemporaryFile& temporary) : temporary(temporary) {}
    TemporaryGuard(const TemporaryGuard&) = delete;
    TemporaryGuard& operator=(const TemporaryGuard&) = delete;
    ~TemporaryGuard() {
        if (temporary.file != nullptr) {
            std::fclose(temporary.file);
        }
        if (!committed) {
            platform::removeTemporaryFile(temporary);
        }
    }
    void commit() { committed = true; }

  private:
    platform::TemporaryFile& temporary;
    bool committed = false;
};

} // namespace

bool saveBmpFile(const std::string& path, const Bitmap& image, std::string& reason) {
    platform::TemporaryFile temporary = platform::createTemporaryFile(path, reason);
    if (temporary.file == nullptr) {
        return false;
    }
    TemporaryGuard guard(temporary);
    errno = 0;
    const bool written = writeBmp(temporary.file, image);
    const int writeError = errno;
    if (!written) {
        reason = writeError != 0 ? std::strerror(writeError) : "write failed";
        return false;
    }
    // Synced before the rename: after a power cut the name shows either the
    // older picture or the whole new one.
    if (!platform::syncFile(temporary.file, reason)) {
        return false;
    }
    std::FILE* file = temporary.file;
    temporary.file = nullptr;
    if (std::fclose(file) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    if (!platform::replaceFile(temporary, path, reason)) {
        return false;
    }
    guard.commit();
    return true;
}

} // namespace bramblewisp
