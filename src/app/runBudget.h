#pragma once

#include <cstdint>
#include <functional>

namespace bramblewisp {

// Where a budget reads the time and the free memory: the platform's clock
// and memory sample unless a test supplies its own.
struct BudgetSources {
    std::function<int64_t()> counterFrequency; // ticks per second
    std::function<int64_t()> counterNow;       // a monotonic count of ticks
    std::function<uint32_t()> freeBytes;       // what the process can still commit

    static BudgetSources platform();
};

// Seconds on a monotonic counter, and the lap since the last one.
class RunTimer {
  public:
    RunTimer(std::function<int64_t()> frequency, std::function<int64_t()> now);

    // Seconds since the previous lap (or construction); restarts the lap.
    double lap();

    double last; // when the latest lap (or construction) was taken

  private:
    double now() const;

    std::function<int64_t()> counter;
    double frequency;
};

// The free memory, in KB of a 32-bit byte count, and a running estimate of
// what the next generation needs.
class MemoryGuard {
  public:
    explicit MemoryGuard(std::function<uint32_t()> freeBytes);

    // The free memory in KB (at most 4194303).
    int32_t sample() const;

    // Adds factor times the memory consumed since the last sample to the
    // estimate and keeps the new sample.
    void charge(int32_t factor);

    int32_t availableKB;
    int32_t estimateKB = 1024;

  private:
    std::function<uint32_t()> sampler;
};

// A run's time and memory budget: every step that moves the deadline or the
// memory estimate is one of these methods, called in this order. The
// deadline starts at half the allowed time minus five seconds, and every
// lap before and during growth is taken off it, growth's sixteen-fold.
class RunBudget {
  public:
    // Once the options are read: the deadline and the first memory sample.
    RunBudget(int32_t timeLimit, BudgetSources sources);

    // The options' parsing, charged to both budgets.
    void chargeParsing();
    // A stage of drawing before growth (the bitmaps and background, then the
    // system's building), charged to the deadline.
    void chargeStage();
    // The free memory, without touching the estimate (whether the particles
    // can go on large blocks).
    int32_t freeKB() const { return memory.sample(); }
    // The memory before growth; the consumption of the first generation is
    // measured from here.
    void sampleBeforeGrowth();

    // At the start of every generation, in both modes: whether memory is
    // ending, four times the last generation's consumption being reserved.
    bool memoryEnding();
    // The timed loop, before the memory test: whether the deadline has come
    // (a deadline that is not a number has).
    bool deadlinePassed() const { return !(timer.last < deadline); }
    // The timed loop, after the memory test: reserves sixteen times the
    // time since the last lap (the last generation) for the next one, and
    // whether it still fits before the deadline.
    bool reserveNextGeneration();

    // What the next generation is expected to need, in KB.
    int32_t estimateKB() const { return memory.estimateKB; }

  private:
    RunTimer timer;
    double deadline;
    MemoryGuard memory;
};

} // namespace bramblewisp
