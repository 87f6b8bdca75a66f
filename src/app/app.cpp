#include "app/app.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "app/batch.h"
#include "app/options.h"
#include "app/picture.h"
#include "app/saveFile.h"
#include "app/settings.h"
#include "app/workerCount.h"
#include "imaging/bmp.h"
#include "platform/platform.h"
#include "platform/workerPool.h"

namespace bramblewisp {

int App::run(int32_t argumentCount, char** arguments) {
    try {
        switch (requestOf(argumentCount, arguments)) {
        case Request::help:
            console.help();
            return 0;
        case Request::version:
            console.version();
            return 0;
        case Request::picture:
            break;
        }
        for (const std::string& warning : unknownOptionWarnings(argumentCount, arguments)) {
            console.report(warning);
        }
        const Options options{argumentCount, arguments};
        std::vector<std::string> fallbacks;
        std::optional<Settings> settings = parseSettings(options, &fallbacks);
        if (!settings) {
            console.usage();
            return 0;
        }
        for (const std::string& fallback : fallbacks) {
            console.report(fallback);
        }
        // A file that cannot be used (where the pictures go, the rules) is
        // refused before any work: the budget must not go to a picture the
        // user did not ask for, or one that cannot be saved.
        if (!acceptOutputs(*settings)) {
            return 2;
        }
        const RulesOutcome rules = readRules(options, *settings);
        if (rules.refusal) {
            console.report(rules.refusal->where, rules.refusal->what);
            return 2;
        }
        if (rules.note) {
            console.report(rules.note->where, rules.note->what);
        }
        if (isBatch(*settings)) {
            // With -text 0 the font labels the sheet's thumbnails only.
            const std::unique_ptr<Bitmap> font =
                settings->text || settings->sheet
                    ? loadFont(settings->text ? kPicturesWithoutText : "the sheet shows no seeds",
                               true)
                    : nullptr;
            platform::WorkerPool workers(workerCount(console));
            // The first Ctrl+C stops the pictures in good order.
            platform::catchEndingSignals();
            return drawBatch(*settings, font.get(), console, workers, BatchSources{sources});
        }
        RunBudget budget(settings->timeLimit, sources);
        budget.chargeParsing();
        auto image = std::make_unique<Bitmap>(settings->width, settings->height);
        const std::unique_ptr<Bitmap> font =
            settings->text ? loadFont(kPictureWithoutText, false) : nullptr;
        // One pool for the process, started once the run is sure to draw.
        platform::WorkerPool workers(workerCount(console));
        const PictureResult drawn =
            drawPicture(*settings, *image, font.get(), budget, console, workers);
        const std::string recipe = recipeOf(*settings, drawn.generations);
        if (!save(*settings, recipe, *image)) {
            return 1;
        }
        if (saved) {
            saved(std::move(image), recipe);
        }
        return 0;
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
std::unique_ptr<Bitmap> App::loadFont(const std::string& without, bool reportAtOnce) {
    auto reportMissing = [&](const std::string& what, const std::string& why) {
        reportAtOnce ? console.report(what, why) : console.reportAfterStage(what, why);
    };
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
            reportMissing(place + " " + problem + "; " + without, {});
        }
        return font;
    }
    const std::string looked = places.size() > 1 ? " and at " + places[1] : "";
    reportMissing(std::string(kFontFile) + " cannot be opened",
                  missing + " (looked in the working directory" + looked + "); " + without);
    return nullptr;
}

bool App::acceptOutputs(const Settings& settings) {
    if (const std::optional<NamesProblem> problem = namesProblem(settings)) {
        console.report(problem->where, problem->what);
        return false;
    }
    // Every picture of a batch goes into the same directory as the first.
    if ((settings.out || isBatch(settings)) &&
        !acceptOutput(settings.out ? "-out" : "", settings.out.value_or(""),
                      picturePath(settings))) {
        return false;
    }
    return !settings.sheet || acceptOutput("-sheet", *settings.sheet, sheetPath(settings, 0));
}

bool App::acceptOutput(const std::string& option, const std::string& value,
                       const std::string& path) {
    const std::string where = option.empty() ? path : value.empty() ? option : option + " " + value;
    if (const std::string problem = outputProblem(path); !problem.empty()) {
        console.report(where, problem);
        return false;
    }
    // Replaced like any file: writing through the link would let whoever
    // made it choose which file a run overwrites.
    if (platform::pathKind(path) == platform::PathKind::symbolicLink) {
        console.report(where, "is a symbolic link; the picture replaces the link, not the "
                              "file it points to");
    }
    return true;
}

bool App::save(const Settings& settings, const std::string& recipe, const Bitmap& image) {
    console.stageBegins(Progress::Stage::saving);
    const std::string path = picturePath(settings);
    std::string reason;
    if (!savePicture(path, image, recipe, reason)) {
        console.stageFails();
        console.report("cannot write " + path, reason);
        return false;
    }
    console.stageEnds();
    return true;
}

} // namespace bramblewisp
