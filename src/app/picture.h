#pragma once

#include <cstdint>

#include "app/runBudget.h"
#include "app/settings.h"
#include "imaging/bitmap.h"
#include "imaging/progress.h"
#include "platform/workerPool.h"

namespace bramblewisp {

inline constexpr int32_t kFontCellWidth = 14;

struct PictureResult {
    int32_t particles;   // in the generation drawn
    int32_t generations; // grown: with -iter this many, the same picture again
};

// Draws the picture of settings into image, whose size it takes: the
// background, the system grown within the budget, its strokes, the post
// effect and, with a font, the count, remark and signature lines. Every
// generator it draws from starts here, so the same settings always give the
// same picture, in any process and on any thread, with any number of
// workers sharing it. It prints nothing; its stages, generations and steps
// go to progress.
PictureResult drawPicture(const Settings& settings, Bitmap& image, const Bitmap* font,
                          RunBudget& budget, Progress& progress, platform::WorkerPool& workers);

} // namespace bramblewisp
