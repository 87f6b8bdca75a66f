#pragma once

#include <cstdint>

namespace bramblewisp {

// What drawing a picture tells about its headway: the stages, the
// generations grown and why growth stopped early, the spinner's ticks and
// the renderer's steps. Drawing never prints: a run hands it the console,
// tests and benchmarks this base, which ignores everything.
class Progress {
  public:
    // The stages of a picture, in their order.
    enum class Stage { createBitmaps, preEffect, createSystem, evolve, render, postEffect, saving };
    // The renderer's steps, in their order.
    enum class Step { collect, sort, fit, draw };
    // The two reasons that end growth early.
    enum class Stop { memoryEnding, detailReached };

    Progress() = default;
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    virtual ~Progress() = default;

    // A stage begins; it ends, or fails, before the next begins.
    virtual void stageBegins(Stage) {}
    virtual void stageEnds() {}
    virtual void stageFails() {}

    // Growth: a generation starts, and is done. The fixed-count loop shows
    // its numbers with a blank after them, the timed loop without.
    virtual void generationStarts() {}
    virtual void generationDone(int32_t /*number*/, bool /*blankAfter*/) {}
    // Growth stops before the generation it would grow next.
    virtual void stopped(Stop) {}
    // Growth: once per 1024 particles walked.
    virtual void tick() {}

    // Rendering: a step begins.
    virtual void begin(Step) {}
    // Rendering: the particles that will be drawn, once collected.
    virtual void collected(int32_t) {}
};

} // namespace bramblewisp
