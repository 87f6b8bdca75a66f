#include "app/app.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/evolution.h"
#include "app/options.h"
#include "app/platform.h"
#include "app/progressOutput.h"
#include "app/saveFile.h"
#include "imaging/backgrounds.h"
#include "imaging/bmp.h"
#include "imaging/postEffects.h"
#include "imaging/renderer.h"
#include "system/particleSystem.h"

namespace bramblewisp {

bool App::parseOptions(int32_t argumentCount, char** arguments) {
    const Options options{argumentCount, arguments};
    // All three lookups happen before any result is tested.
    const bool hasTime = options.lookup("-time", timeLimit);
    const bool hasMem = options.lookup("-mem", memOption);
    const bool hasCpu = options.lookup("-cpu", cpuOption);
    if (!hasTime || !hasMem || !hasCpu) {
        printUsage();
        return false;
    }

    timer = std::make_unique<RunTimer>(static_cast<double>(timeLimit));
    timer->deadline -= timeLimit * 0.5 + 5;
    memory = std::make_unique<MemoryGuard>();
    memory->estimateKB += 4096;

    const OptionValues values = readOptionValues(options);
    dark = values.dark != 0;
    seed = values.seed;
    background = createBackground(values.prefx, seed, dark);
    postEffect = createPostEffect(values.postfx);
    preset = createPreset(values.type, values.spikes);
    iterations = values.iterations;

    // The parsing itself is charged to the budget.
    timer->deadline -= timer->lap();
    memory->charge(1);
    return true;
}

void App::createBitmaps() {
    openStage("  create bitmaps...");
    canvas = std::make_unique<Canvas>();
    image = std::make_unique<Bitmap>(kPictureWidth, kPictureHeight);
    depth = std::make_unique<Bitmap>(kPictureWidth, kPictureHeight);
    canvas->bind(*image);
    loadFont();
    overlay = std::make_unique<TextOverlay>(font.get(), kFontCellWidth);
    buildGlyphIndex();
    closeStage(" OK\n");

    if (background) {
        openStage("  pre effect...");
        background->apply(*canvas, *image, *depth);
        closeStage(" OK\n");
    }
    timer->deadline -= timer->lap();
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
void App::loadFont() {
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
        if (in != nullptr) {
            BmpReadResult result = readBmp(in);
            std::fclose(in);
            font = std::move(result.bitmap);
            problem = result.problem;
        }
        if (!font) {
            warnAfterStage("bramblewisp: " + place + " " + problem +
                           "; the picture gets no text\n");
        }
        return;
    }
    const std::string looked = places.size() > 1 ? " and at " + places[1] : "";
    warnAfterStage(std::string("bramblewisp: ") + kFontFile + " cannot be opened: " + missing +
                   " (looked in the working directory" + looked + "); the picture gets no text\n");
}

void App::growAndRender() {
    openStage("  create system...");
    ParticleSystem& system = *ParticleSystem::instance();
    system.random.init(seed, 0);
    preset->buildRules(system);
    system.tableJitteredTurns();
    preset->seedParticles(system);
    closeStage(" OK\n");
    timer->deadline -= timer->lap();
    memory->availableKB = memory->sample();

    openStage("  evolve... ");
    if (iterations < 0) {
        evolveTimed(system, *timer, *memory);
    } else {
        evolveFixed(system, iterations, *preset, *memory);
    }
    closeStage(" OK\n");

    openStage("  render...");
    renderParticles(*canvas, *image, *depth, system, dark, postEffect && postEffect->readsDepth());
    closeStage(" OK\n");

    if (postEffect) {
        openStage("  post effect...");
        postEffect->apply(*canvas, *image, *depth);
        closeStage(" OK\n");
    }

    // The count and remark lines stand above the bottom edge by the font's height.
    if (font) {
        const int32_t fontHeight = font->height;
        drawText(std::to_string(system.store->currentCount()) + " particles", 5,
                 image->height - (2 * fontHeight + 10));
        drawText("size doesnt change, its 1.0 all the time", 25, image->height - fontHeight - 5);
    }
}

bool App::saveImage() {
    drawText("bramblewisp by wrenfold", 5, 5);
    openStage("  saving...");
    std::string reason;
    if (!saveBmpFile(kPictureFile, *image, reason)) {
        closeStage(" failed\n");
        releaseWarnings();
        std::fprintf(stderr, "bramblewisp: cannot write %s: %s\n", kPictureFile, reason.c_str());
        return false;
    }
    closeStage(" OK\n");
    return true;
}

void App::drawText(const std::string& text, int32_t x, int32_t y) {
    overlay->text = text;
    overlay->x = x;
    overlay->y = y;
    overlay->dark = dark;
    overlay->apply(*canvas, *image, *depth);
}

} // namespace bramblewisp
