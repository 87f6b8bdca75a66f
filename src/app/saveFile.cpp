#include "app/saveFile.h"

#include <cerrno>
#include <cstring>

#include "imaging/bmp.h"
#include "platform/platform.h"

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
            platform::removeFile(temporary.path);
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
    std::FILE* file = temporary.file;
    temporary.file = nullptr;
    errno = 0;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        const int error = !written ? writeError : errno;
        reason = error != 0 ? std::strerror(error) : "write failed";
        return false;
    }
    if (!platform::replaceFile(temporary.path, path, reason)) {
        return false;
    }
    guard.commit();
    return true;
}

} // namespace bramblewisp
