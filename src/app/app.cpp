#include "app/app.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/console.h"
#include "app/evolution.h"
#include "app/options.h"
#include "app/saveFile.h"
#include "imaging/backgrounds.h"
#include "imaging/bmp.h"
#include "imaging/postEffects.h"
#include "imaging/renderer.h"
#include "platform/platform.h"
#include "presets/rulesFile.h"
#include "system/particleSystem.h"

namespace bramblewisp {

namespace {

// Particles go on large blocks only where the free memory is far more than
// the largest generation needs: under a tight limit the slabs would make the
// memory use coarser than the memory guard can follow, and their idle
// blocks are of no use to other allocations.
constexpr int32_t kRoomForLargeBlocksKB = int32_t{1} << 20;

} // namespace

bool App::parseOptions(int32_t argumentCount, char** arguments) {
    const Options options{argumentCount, arguments};
    // All three lookups happen before any result is tested.
    const bool hasTime = options.lookup("-time", timeLimit);
    const bool hasMem = options.lookup("-mem", memOption);
    const bool hasCpu = options.lookup("-cpu", cpuOption);
    if (!hasTime || !hasMem || !hasCpu) {
        console::usage();
        return false;
    }
    const OptionValues values = readOptionValues(options);
    if (values.rules) {
        // Refused before any work: a run must not waste its budget on a
        // picture the user did not ask for.
        SystemRead read = loadSystem(*values.rules);
        if (!read.system) {
            report(read.problem.where, read.problem.what);
            refused = true;
            return false;
        }
        if (values.typeGiven) {
            report("-type " + std::to_string(values.type),
                   "ignored: the rules file " + *values.rules + " gives the system");
        }
        if (values.spikesGiven && read.system->randomSpikes) {
            read.system->spikes = values.spikes;
        }
        preset = std::move(*read.system);
    } else {
        preset = createPreset(values.type, values.spikes);
    }

    timer = std::make_unique<RunTimer>(static_cast<double>(timeLimit));
    timer->deadline -= timeLimit * 0.5 + 5;
    memory = std::make_unique<MemoryGuard>();
    memory->estimateKB += 4096;

    dark = values.dark != 0;
    seed = values.seed;
    background = createBackground(values.prefx, seed, dark);
    postEffect = createPostEffect(values.postfx);
    iterations = values.iterations;

    // The parsing itself is charged to the budget.
    timer->deadline -= timer->lap();
    memory->charge(1);
    return true;
}

void App::createBitmaps() {
    console::openStage(console::Stage::createBitmaps);
    canvas = std::make_unique<Canvas>();
    image = std::make_unique<Bitmap>(kPictureWidth, kPictureHeight);
    depth = std::make_unique<Bitmap>(kPictureWidth, kPictureHeight);
    canvas->bind(*image);
    loadFont();
    overlay = std::make_unique<TextOverlay>(font.get(), kFontCellWidth);
    buildGlyphIndex();
    console::closeStage();

    if (background) {
        console::openStage(console::Stage::preEffect);
        background->apply(*canvas, *image, *depth);
        console::closeStage();
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
            reportAfterStage(place + " " + problem + "; the picture gets no text");
        }
        return;
    }
    const std::string looked = places.size() > 1 ? " and at " + places[1] : "";
    reportAfterStage(std::string(kFontFile) + " cannot be opened",
                     missing + " (looked in the working directory" + looked +
                         "); the picture gets no text");
}

void App::growAndRender() {
    console::openStage(console::Stage::createSystem);
    ParticleSystem& system = *ParticleSystem::instance(memory->sample() >= kRoomForLargeBlocksKB);
    system.random.init(seed, 0);
    preset.build(system);
    system.tableJitteredTurns();
    ruleRandom = preset.ruleGenerator(seed);
    console::closeStage();
    timer->deadline -= timer->lap();
    memory->availableKB = memory->sample();

    console::openStage(console::Stage::evolve);
    if (iterations < 0) {
        evolveTimed(system, *timer, *memory);
    } else {
        evolveFixed(system, iterations, preset.maxIterations, *memory);
    }
    console::closeStage();

    console::openStage(console::Stage::render);
    renderParticles(*canvas, *image, *depth, system, dark, postEffect && postEffect->readsDepth(),
                    console::progress());
    console::closeStage();

    if (postEffect) {
        console::openStage(console::Stage::postEffect);
        postEffect->apply(*canvas, *image, *depth);
        console::closeStage();
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
    console::openStage(console::Stage::saving);
    std::string reason;
    if (!saveBmpFile(kPictureFile, *image, reason)) {
        console::failStage();
        report(std::string("cannot write ") + kPictureFile, reason);
        return false;
    }
    console::closeStage();
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
