#include "app/app.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "app/options.h"
#include "app/picture.h"
#include "app/saveFile.h"
#include "app/settings.h"
#include "imaging/bmp.h"
#include "platform/platform.h"

namespace bramblewisp {

int App::run(int32_t argumentCount, char** arguments) {
    try {
        for (const std::string& warning : unknownOptionWarnings(argumentCount, arguments)) {
            console.report(warning);
        }
        std::vector<std::string> fallbacks;
        const std::optional<Settings> settings =
            parseSettings(Options{argumentCount, arguments}, &fallbacks);
        if (!settings) {
            console.usage();
            return 0;
        }
        for (const std::string& fallback : fallbacks) {
            console.report(fallback);
        }
        RunBudget budget(settings->timeLimit, sources);
        budget.chargeParsing();
        Bitmap image(settings->width, settings->height);
        const std::unique_ptr<Bitmap> font = settings->text ? loadFont() : nullptr;
        drawPicture(*settings, image, font.get(), budget, console);
        return save(image) ? 0 : 1;
    } catch (const std::bad_alloc&) {
        console.report("out of memory");
        return 1;
    }
}

namespace {

// The working directory first, then the font installed with the program, so
// that an installed program has its text wherever it runs.
std::vector<std::string> fontPlaces() {
    std::vector<std::string> places{kFontFile};
    const std::string installed = platform::installedDataDirectory();
    if (!installed.empty()) {
        places.push_back(installed + kFontFile);
    }
    return places;
}

} // namespace

// The first place that holds a font.bmp gives the font, or its problem.
std::unique_ptr<Bitmap> App::loadFont() {
    const std::vector<std::string> places = fontPlaces();
    std::string missing;
    for (const std::string& place : places) {
        std::string problem;
        std::FILE* in = platform::openRegularFile(place, problem);
        if (in == nullptr && (errno == ENOENT || errno == ENOTDIR)) {
            if (missing.empty()) {
                missing = std::strerror(errno);
            }
            continue;
        }
        std::unique_ptr<Bitmap> font;
        if (in != nullptr) {
            BmpReadResult result = readBmp(in);
            std::fclose(in);
            font = std::move(result.bitmap);
            problem = result.problem;
        }
        if (!font) {
            console.reportAfterStage(place + " " + problem + "; the picture gets no text");
        }
        return font;
    }
    const std::string looked = places.size() > 1 ? " and at " + places[1] : "";
    console.reportAfterStage(std::string(kFontFile) + " cannot be opened",
                             missing + " (looked in the working directory" + looked +
                                 "); the picture gets no text");
    return nullptr;
}

bool App::save(const Bitmap& image) {
    console.stageBegins(Progress::Stage::saving);
    std::string reason;
    if (!saveBmpFile(kPictureFile, image, reason)) {
        console.stageFails();
        console.report(std::string("cannot write ") + kPictureFile, reason);
        return false;
    }
    console.stageEnds();
    return true;
}

} // namespace bramblewisp
