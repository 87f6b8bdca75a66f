#include "app/batch.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "app/evolution.h"
#include "app/picture.h"
#include "app/saveFile.h"
#include "app/version.h"
#include "imaging/contactSheet.h"
#include "imaging/pictureScale.h"
#include "imaging/progress.h"

namespace bramblewisp {

namespace {

// The particles of a generation at the detail limit of an 800 x 600
// picture, in both banks, and the renderer's keys: a picture of any type
// takes at most 64 MB besides its two bitmaps (the largest resident size of
// a run at -iter 12, less the program's own). It grows with the limit.
constexpr uint64_t kParticleRoom = uint64_t{80} << 20;
// What the batch itself holds besides its pictures (two open contact sheets
// of 9 MB), and a guard's starting estimate.
constexpr uint64_t kBatchRoom = uint64_t{32} << 20;
// A memory sample holds a 32-bit byte count.
constexpr uint64_t kSampleCap = std::numeric_limits<uint32_t>::max();

// Thrown through drawPicture once the batch is asked to stop; growth
// notices it within 1024 particles, rendering at its next step.
struct DrawingStopped {};

// A picture of a batch shows nothing of its stages (only the batch's lines
// are shown), keeps the memory note, and ends its drawing once a stop is
// asked for.
class PictureProgress final : public Progress {
  public:
    explicit PictureProgress(const std::function<int()>& stopSignal) : stopSignal(stopSignal) {}

    void stageBegins(Stage) override { stopIfAsked(); }
    void tick() override { stopIfAsked(); }
    void begin(Step) override { stopIfAsked(); }
    void stopped(Stop why) override { memoryEnding = memoryEnding || why == Stop::memoryEnding; }

    bool memoryEnding = false;

  private:
    void stopIfAsked() const {
        if (stopSignal() != 0) {
            throw DrawingStopped{};
        }
    }

    const std::function<int()>& stopSignal;
};

// A picture drawn and saved, waiting for its line.
struct Finished {
    int32_t particles = 0;
    int64_t milliseconds = 0;
    std::string file; // empty: not saved
    bool memoryEnding = false;
};

struct OpenSheet {
    std::unique_ptr<ContactSheet> sheet;
    bool failed = false; // no memory for it
    int32_t settled = 0; // cells placed or labelled
};

std::string signalName(int signal) {
    switch (signal) {
    case 1:
        return "SIGHUP";
    case 2:
        return "SIGINT";
    case 15:
        return "SIGTERM";
    default:
        return "signal " + std::to_string(signal);
    }
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

class Batch {
  public:
    Batch(const Settings& settings, const Bitmap* font, Console& console,
          platform::WorkerPool& workers, const BatchSources& sources, int32_t atOnce)
        : settings(settings), font(font), console(console), workers(workers), sources(sources),
          atOnce(atOnce), columns(static_cast<int32_t>(
                              std::ceil(std::sqrt(std::min(settings.count, kPicturesPerSheet))))),
          frequency(static_cast<double>(sources.budget.counterFrequency())), start(now()) {}

    int run() {
        workers.run(atOnce, [this](int) { work(); });
        const std::lock_guard lock(mutex);
        // After a stop the pictures still unshown, with gaps where drawing
        // stopped.
        for (const auto& [index, finished] : waiting) {
            showLine(index, finished);
        }
        console.batchSummary(summary());
        return notSaved == 0 && sheetsNotSaved == 0 ? 0 : 1;
    }

  private:
    double now() const { return static_cast<double>(sources.budget.counterNow()) / frequency; }
    bool stopAsked() const { return sources.stopSignal() != 0; }
    int32_t seedOf(int32_t index) const { return settings.seed + index; }

    void work() {
        for (std::optional<int32_t> index; (index = startDrawing());) {
            if (!drawAndSave(*index)) {
                return;
            }
        }
    }

    // The next picture to draw, counted as drawing; none when all are
    // taken or a stop was asked for. Waits while a picture is drawn alone.
    std::optional<int32_t> startDrawing() {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stopAsked() || (!aloneBusy && aloneWaiting == 0); });
        if (stopAsked() || next == settings.count) {
            return std::nullopt;
        }
        ++drawing;
        return next++;
    }

    void endDrawing() {
        {
            const std::lock_guard lock(mutex);
            --drawing;
        }
        changed.notify_all();
    }

    // Until endAlone, no other picture is drawn; false when a stop came
    // while waiting for the others to finish.
    bool startAlone() {
        std::unique_lock lock(mutex);
        ++aloneWaiting;
        changed.wait(lock, [&] { return stopAsked() || (drawing == 0 && !aloneBusy); });
        --aloneWaiting;
        if (stopAsked()) {
            changed.notify_all();
            return false;
        }
        aloneBusy = true;
        return true;
    }

    void endAlone() {
        {
            const std::lock_guard lock(mutex);
            aloneBusy = false;
        }
        changed.notify_all();
    }

    enum class Drawn { yes, outOfMemory, stopped };

    // Draws picture into a new image, then leaves the pictures drawn side
    // by side (or the one drawn alone).
    Drawn draw(const Settings& picture, PictureProgress& progress, std::unique_ptr<Bitmap>& image,
               PictureResult& result, bool alone) {
        struct Leave {
            Batch& batch;
            bool alone;
            ~Leave() { alone ? batch.endAlone() : batch.endDrawing(); }
        } leave{*this, alone};
        try {
            image.reset();
            image = std::make_unique<Bitmap>(picture.width, picture.height);
            RunBudget budget(picture.timeLimit, sources.budget);
            budget.chargeParsing();
            // Pictures drawn side by side keep one thread each: a pool of one
            // runs the stages' jobs inline, by their plain single-threaded
            // roads, where the process's pool (busy with the batch) would run
            // the same parts inline one after another. A picture drawn with no
            // other beside it has the whole pool.
            std::optional<platform::WorkerPool> ownThread;
            if (atOnce > 1) {
                ownThread.emplace(1);
            }
            result = drawPicture(picture, *image, settings.text ? font : nullptr, budget, progress,
                                 ownThread ? *ownThread : workers);
            return Drawn::yes;
        } catch (const std::bad_alloc&) {
            return Drawn::outOfMemory;
        } catch (const DrawingStopped&) {
            return Drawn::stopped;
        }
    }

    // False when a stop ended the drawing.
    bool drawAndSave(int32_t index) {
        const double began = now();
        Settings picture = settings;
        picture.seed = seedOf(index);
        PictureProgress progress(sources.stopSignal);
        std::unique_ptr<Bitmap> image;
        PictureResult result{};
        Drawn drawn = draw(picture, progress, image, result, false);
        // The other pictures' memory counts in a guard's samples: a picture
        // that memory stopped is drawn again alone, as its single run is.
        if ((drawn == Drawn::outOfMemory || (drawn == Drawn::yes && progress.memoryEnding)) &&
            atOnce > 1) {
            if (!startAlone()) {
                return false;
            }
            PictureProgress alone(sources.stopSignal);
            drawn = draw(picture, alone, image, result, true);
            progress.memoryEnding = alone.memoryEnding;
        }
        if (drawn == Drawn::stopped || stopAsked()) {
            return false;
        }
        Finished finished{result.particles, 0, picturePath(picture), progress.memoryEnding};
        std::string reason = "out of memory";
        if (drawn == Drawn::outOfMemory ||
            !save(finished.file, *image, recipeOf(picture, result.generations), reason)) {
            report("cannot write " + finished.file, reason);
            finished.file.clear();
        }
        finished.milliseconds = std::llround((now() - began) * 1000.0);
        if (settings.sheet) {
            toSheet(index, drawn == Drawn::yes ? image.get() : nullptr);
        }
        finish(index, std::move(finished));
        return true;
    }

    // No more saves at once than the signal handler has places for.
    bool save(const std::string& path, const Bitmap& image, const std::string& recipe,
              std::string& reason) {
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return saving < platform::kMostTemporaryFiles; });
            ++saving;
        }
        const std::string software = std::string("bramblewisp ") + kVersion;
        const PngText texts[] = {{"bramblewisp", recipe}, {"Software", software}};
        bool saved = false;
        try {
            saved = savePictureFile(path, image, texts, reason);
        } catch (const std::bad_alloc&) {
            reason = "out of memory";
        }
        {
            const std::lock_guard lock(mutex);
            --saving;
        }
        changed.notify_all();
        return saved;
    }

    void report(const std::string& what, const std::string& why) {
        const std::lock_guard lock(mutex);
        console.report(what, why);
    }

    // The picture's cell on its sheet (its seed alone for a picture not
    // saved); the sheet is saved once all its cells are done.
    void toSheet(int32_t index, const Bitmap* image) {
        const int32_t number = index / kPicturesPerSheet;
        const int32_t cell = index % kPicturesPerSheet;
        const int32_t cells =
            std::min(kPicturesPerSheet, settings.count - number * kPicturesPerSheet);
        ContactSheet* sheet = nullptr;
        {
            const std::lock_guard lock(mutex);
            OpenSheet& open = sheets[number];
            if (!open.sheet && !open.failed) {
                try {
                    open.sheet = std::make_unique<ContactSheet>(cells, columns, settings.width,
                                                                settings.height, font,
                                                                kFontCellWidth, settings.dark);
                } catch (const std::bad_alloc&) {
                    open.failed = true;
                    ++sheetsNotSaved;
                    console.report("cannot write " + sheetPath(settings, number), "out of memory");
                }
            }
            sheet = open.sheet.get();
        }
        // Cells apart: no lock while the thumbnail is drawn.
        if (sheet != nullptr && image != nullptr) {
            sheet->place(cell, *image, seedOf(index));
        } else if (sheet != nullptr) {
            sheet->label(cell, seedOf(index));
        }
        std::unique_ptr<ContactSheet> full;
        {
            const std::lock_guard lock(mutex);
            OpenSheet& open = sheets[number];
            if (++open.settled == cells) {
                full = std::move(open.sheet);
                sheets.erase(number);
            }
        }
        if (full && !stopAsked()) {
            saveSheet(number, cells, *full);
        }
    }

    void saveSheet(int32_t number, int32_t cells, const ContactSheet& sheet) {
        Settings first = settings;
        first.seed = seedOf(number * kPicturesPerSheet);
        const std::string path = sheetPath(settings, number);
        std::string reason;
        const bool saved =
            save(path, sheet.image,
                 recipeOf(first, settings.iterations) + " -count " + std::to_string(cells), reason);
        const std::lock_guard lock(mutex);
        if (saved) {
            sheetNames[number] = path;
        } else {
            ++sheetsNotSaved;
            console.report("cannot write " + path, reason);
        }
    }

    // The lines of every picture up to the first one not yet finished.
    void finish(int32_t index, Finished finished) {
        const std::lock_guard lock(mutex);
        ++done;
        notSaved += finished.file.empty() ? 1 : 0;
        waiting.emplace(index, std::move(finished));
        while (!waiting.empty() && waiting.begin()->first == shown) {
            showLine(shown, waiting.begin()->second);
            waiting.erase(waiting.begin());
            ++shown;
        }
        const double elapsed = now() - start;
        console.batchProgress(done, settings.count, elapsed / done * (settings.count - done));
    }

    void showLine(int32_t index, const Finished& finished) {
        console.batchPicture(seedOf(index), finished.particles, finished.milliseconds,
                             finished.file, finished.memoryEnding);
    }

    std::string summary() const {
        const std::string seeds = settings.count == 1
                                      ? " picture of seed " + std::to_string(settings.seed)
                                      : " pictures of seeds " + std::to_string(settings.seed) +
                                            " to " + std::to_string(seedOf(settings.count - 1));
        const std::string took = secondsText(now() - start);
        const int32_t saved = done - notSaved;
        if (const int signal = sources.stopSignal(); signal != 0) {
            // The first picture not drawn, and every one after it, may be
            // drawn by a run of these options.
            int32_t from = 0;
            while (from < settings.count && (from < shown || waiting.count(from) != 0)) {
                ++from;
            }
            std::string text = "stopped by " + signalName(signal) + " after " + took + ": " +
                               std::to_string(saved) + " of " + std::to_string(settings.count) +
                               " pictures saved";
            if (from < settings.count) {
                text += "; to go on: -seed " + std::to_string(seedOf(from)) + " -count " +
                        std::to_string(settings.count - from);
            }
            return text;
        }
        std::string text =
            (notSaved == 0 ? std::to_string(settings.count)
                           : std::to_string(saved) + " of " + std::to_string(settings.count)) +
            seeds + " saved in " + took + ", " + std::to_string(atOnce) + " at a time";
        if (notSaved != 0) {
            text += "; " + std::to_string(notSaved) + " could not be saved";
        }
        if (sheetsNotSaved != 0) {
            text += "; " + std::to_string(sheetsNotSaved) + " of " +
                    std::to_string(sheetCount(settings)) + " sheets could not be saved";
        }
        if (!sheetNames.empty()) {
            text += sheetNames.size() == 1
                        ? "; sheet " + sheetNames.begin()->second
                        : "; " + std::to_string(sheetNames.size()) + " sheets, " +
                              sheetNames.begin()->second + " to " + sheetNames.rbegin()->second;
        }
        return text;
    }

    const Settings& settings;
    const Bitmap* font;
    Console& console;
    platform::WorkerPool& workers;
    const BatchSources& sources;
    const int32_t atOnce;
    const int32_t columns; // of every sheet
    const double frequency;
    const double start;

    // Everything below, and the console, under the mutex.
    std::mutex mutex;
    std::condition_variable changed;
    int32_t next = 0;    // the next picture to draw
    int32_t drawing = 0; // pictures being drawn side by side
    bool aloneBusy = false;
    int32_t aloneWaiting = 0;
    int32_t saving = 0;
    int32_t done = 0;
    int32_t notSaved = 0;
    int32_t shown = 0; // pictures whose lines are out, from the first
    std::map<int32_t, Finished> waiting;
    std::map<int32_t, OpenSheet> sheets;
    std::map<int32_t, std::string> sheetNames;
    int32_t sheetsNotSaved = 0;
};

} // namespace

uint64_t pictureMemoryBound(const Settings& settings) {
    const uint64_t pixels =
        uint64_t{static_cast<uint32_t>(settings.width)} * static_cast<uint32_t>(settings.height);
    const DetailLimits limits =
        DetailLimits::scaledBy(PictureScale(settings.width, settings.height).detailFactor());
    return 2 * pixels * sizeof(uint32_t) +
           kParticleRoom * static_cast<uint64_t>(limits.detail) / kDetailLimit;
}

int32_t picturesAtOnce(const Settings& settings, uint64_t freeBytes, int32_t workers) {
    // Each guard must keep seeing more than four fifths of what it saw when
    // growth began, whatever the others hold by then.
    const uint64_t kept = std::min(freeBytes, kSampleCap) / 5 * 4 + kBatchRoom;
    const uint64_t room = freeBytes > kept ? freeBytes - kept : 0;
    const uint64_t fit = room / pictureMemoryBound(settings);
    return static_cast<int32_t>(
        std::max<uint64_t>(1, std::min<uint64_t>({fit, static_cast<uint64_t>(workers),
                                                  static_cast<uint64_t>(settings.count)})));
}

int drawBatch(const Settings& settings, const Bitmap* font, Console& console,
              platform::WorkerPool& workers, const BatchSources& sources) {
    const int32_t atOnce = picturesAtOnce(settings, sources.freeBytes(), workers.workers());
    return Batch(settings, font, console, workers, sources, atOnce).run();
}

} // namespace bramblewisp
