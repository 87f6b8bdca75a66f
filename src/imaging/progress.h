#pragma once

#include <cstdint>

namespace bramblewisp {

// What the two long loops, growth and rendering, tell about their headway.
// They never print: the run hands them the console's sink, tests and
// benchmarks this one, which ignores everything.
class Progress {
  public:
    // The renderer's steps, in their order.
    enum class Step { collect, sort, fit, draw };

    Progress() = default;
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    virtual ~Progress() = default;

    // Growth: once per 1024 particles walked.
    virtual void tick() {}
    // Rendering: a step begins.
    virtual void begin(Step) {}
    // Rendering: the particles that will be drawn, once collected.
    virtual void collected(int32_t) {}
};

} // namespace bramblewisp
