#include "app/saveFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/version.h"
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
            platform::removeTemporaryFile(temporary);
        }
    }
    void commit() { committed = true; }

  private:
    platform::TemporaryFile& temporary;
    bool committed = false;
};

// ending in lower case, text in any.
bool endsWithFolded(const std::string& text, const std::string& ending) {
    const auto same = [](char lower, char any) {
        return lower == (any >= 'A' && any <= 'Z' ? static_cast<char>(any - 'A' + 'a') : any);
    };
    return text.size() >= ending.size() &&
           std::equal(ending.begin(), ending.end(), text.end() - ending.size(), same);
}

} // namespace

bool saveFile(const std::string& path, const std::function<bool(std::FILE*)>& write,
              std::string& reason) {
    platform::TemporaryFile temporary = platform::createTemporaryFile(path, reason);
    if (temporary.file == nullptr) {
        return false;
    }
    TemporaryGuard guard(temporary);
    errno = 0;
    const bool written = write(temporary.file);
    const int writeError = errno;
    if (!written) {
        reason = writeError != 0 ? std::strerror(writeError) : "write failed";
        return false;
    }
    // Synced before the rename: after a power cut the name shows either the
    // older file or the whole new one.
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

bool saveBmpFile(const std::string& path, const Bitmap& image, std::string& reason) {
    return saveFile(
        path, [&](std::FILE* out) { return writeBmp(out, image); }, reason);
}

std::optional<PictureFormat> pictureFormatOf(const std::string& path) {
    if (endsWithFolded(path, ".bmp")) {
        return PictureFormat::bmp;
    }
    if (endsWithFolded(path, ".png")) {
        return PictureFormat::png;
    }
    return std::nullopt;
}

bool savePictureFile(const std::string& path, const Bitmap& image, std::span<const PngText> texts,
                     std::string& reason) {
    if (pictureFormatOf(path) == PictureFormat::png) {
        return saveFile(
            path, [&](std::FILE* out) { return writePng(out, image, texts); }, reason);
    }
    return saveBmpFile(path, image, reason);
}

bool savePicture(const std::string& path, const Bitmap& image, const std::string& recipe,
                 std::string& reason) {
    const std::string software = std::string("bramblewisp ") + kVersion;
    const PngText texts[] = {{"bramblewisp", recipe}, {"Software", software}};
    return savePictureFile(path, image, texts, reason);
}

std::string outputProblem(const std::string& path) {
    if (!pictureFormatOf(path)) {
        return "a file name ending in .bmp or .png was expected";
    }
    switch (platform::pathKind(path)) {
    case platform::PathKind::directory:
        return "is a directory";
    case platform::PathKind::other:
        // A FIFO or a device would be replaced by the picture, or would hang
        // a run that opened it; it is never touched.
        return "is not a regular file";
    default:
        break;
    }
    // The save's own first step, undone: whatever keeps the temporary file
    // from being made (no such directory, no permission, a name too long)
    // would fail the run only after all its work.
    std::string reason;
    platform::TemporaryFile probe = platform::createTemporaryFile(path, reason);
    if (probe.file == nullptr) {
        return "cannot be written: " + reason;
    }
    std::fclose(probe.file);
    platform::removeTemporaryFile(probe);
    return {};
}

} // namespace bramblewisp
