#pragma once

#include <cstdint>
#include <functional>

#include "app/console.h"
#include "app/runBudget.h"
#include "app/settings.h"
#include "imaging/bitmap.h"
#include "platform/platform.h"
#include "platform/workerPool.h"

namespace bramblewisp {

// What a batch reads besides its settings: the clock and the memory that
// its pictures' budgets sample, the free memory that sets how many pictures
// are drawn at once, and the ending signal that asks it to stop (0: none).
struct BatchSources {
    BudgetSources budget = BudgetSources::platform();
    std::function<uint64_t()> freeBytes = platform::availableBytes;
    std::function<int()> stopSignal = platform::caughtEndingSignal;
};

// Draws the pictures of the seeds settings.seed to seed + count - 1, each
// equal to the single run of its seed, side by side on the pool's workers
// (each picture on one), saves each to its own name and, with a sheet,
// their contact sheets; a line per picture in seed order and a summary go to
// the console. Returns 0 when every file was saved, else 1 (each failure
// reported). A stop asked for ends the drawing at once and saves nothing
// more; the caller then ends by the signal.
int drawBatch(const Settings& settings, const Bitmap* font, Console& console,
              platform::WorkerPool& workers, const BatchSources& sources = {});

// The most memory one picture of settings takes, in bytes.
uint64_t pictureMemoryBound(const Settings& settings);

// How many pictures of settings may be drawn at once, with freeBytes free,
// so that no picture's memory guard sees the others' memory as its own
// growth: a guard stops growth once the free memory falls a fifth below
// what it was when growth began (four times the consumption added to a
// small start), with samples capped at 32 bits. At least 1, at most
// workers and the count.
int32_t picturesAtOnce(const Settings& settings, uint64_t freeBytes, int32_t workers);

} // namespace bramblewisp
