#include "app/picture.h"

#include <memory>
#include <string>

#include "app/evolution.h"
#include "imaging/backgrounds.h"
#include "imaging/canvas.h"
#include "imaging/pictureScale.h"
#include "imaging/postEffects.h"
#include "imaging/renderer.h"
#include "imaging/textOverlay.h"
#include "system/particleSystem.h"

namespace bramblewisp {

namespace {

// Particles go on large blocks only where the free memory is far more than
// the largest generation needs: under a tight limit the slabs would make the
// memory use coarser than the memory guard can follow, and their idle
// blocks are of no use to other allocations.
constexpr int32_t kRoomForLargeBlocksKB = int32_t{1} << 20;

// The count and remark lines stand above the bottom edge by the font's
// height, the signature at the top left; in a larger picture all of it
// grows by whole pixels.
void label(Bitmap& image, const Bitmap& font, int32_t particles, bool dark) {
    const int32_t t = PictureScale(image.width, image.height).textScale();
    const int32_t fontHeight = font.height;
    drawText(image, font, kFontCellWidth, std::to_string(particles) + " particles", 5 * t,
             image.height - t * (2 * fontHeight + 10), dark, t);
    drawText(image, font, kFontCellWidth, "size doesnt change, its 1.0 all the time", 25 * t,
             image.height - t * (fontHeight + 5), dark, t);
    drawText(image, font, kFontCellWidth, "bramblewisp by wrenfold", 5 * t, 5 * t, dark, t);
}

} // namespace

PictureResult drawPicture(const Settings& settings, Bitmap& image, const Bitmap* font,
                          RunBudget& budget, Progress& progress, platform::WorkerPool& workers) {
    using Stage = Progress::Stage;
    const std::unique_ptr<PostEffect> postEffect = createPostEffect(settings.postEffect);
    const bool keepDepth = postEffect && postEffect->readsDepth();
    progress.stageBegins(Stage::createBitmaps);
    const Canvas canvas;
    // Depths no one reads are not kept: touching fresh memory is a good part
    // of a run's time.
    Bitmap depth(keepDepth ? image.width : 0, keepDepth ? image.height : 0);
    progress.stageEnds();

    progress.stageBegins(Stage::preEffect);
    createBackground(settings.background, settings.seed, settings.dark, settings.palette)
        ->fill(canvas, image, depth, workers);
    progress.stageEnds();
    budget.chargeStage();

    progress.stageBegins(Stage::createSystem);
    ParticleSystem system(budget.freeKB() >= kRoomForLargeBlocksKB);
    system.random.init(settings.seed, 0);
    const std::shared_ptr<const SystemDescription> description = systemOf(settings);
    description->build(system);
    system.tableJitteredTurns();
    // One thread works out only the entries its growth meets (a short run
    // meets few); workers sharing the tables gain by filling them first
    // (two workers: 0.965 to 0.981 of the time, types 0, 1, 2 and 4).
    if (workers.available() > 1) {
        system.workOutJitteredTurns(workers);
    }
    system.ruleRandom = description->ruleGenerator(settings.seed);
    progress.stageEnds();
    budget.chargeStage();
    budget.sampleBeforeGrowth();

    progress.stageBegins(Stage::evolve);
    const DetailLimits limits =
        DetailLimits::scaledBy(PictureScale(image.width, image.height).detailFactor());
    int32_t iterations = settings.iterations;
    const int32_t generations = iterations < 0
                                    ? evolveTimed(system, budget, progress, workers, limits)
                                    : evolveFixed(system, iterations, description->maxIterations,
                                                  budget, progress, workers, limits);
    progress.stageEnds();

    progress.stageBegins(Stage::render);
    renderParticles(canvas, image, depth, system, settings.dark, keepDepth, progress, workers,
                    settings.palette);
    progress.stageEnds();

    if (postEffect) {
        progress.stageBegins(Stage::postEffect);
        postEffect->apply(image, depth, workers);
        progress.stageEnds();
    }

    const PictureResult result{system.store->currentCount(), generations};
    if (font != nullptr && settings.text) {
        label(image, *font, result.particles, settings.dark);
    }
    return result;
}

} // namespace bramblewisp
