#pragma once

#include <cstdint>

namespace bramblewisp {

// The run's time budget in seconds on a monotonic counter. Every lap taken
// before and during growth is subtracted from the deadline by its callers.
class RunTimer {
  public:
    using Counter = int64_t (*)();

    // The counter is the platform's unless a test supplies one.
    explicit RunTimer(double allowedSeconds, Counter frequency = nullptr, Counter now = nullptr);

    // Seconds since the previous lap (or construction); restarts the lap.
    double lap();

    double deadline;
    double last;
    double frequency;

  private:
    double now() const;
    Counter counter;
};

// The free memory the process can still commit, in KB, against a running
// estimate of what the next generation needs.
class MemoryGuard {
  public:
    using Sampler = uint32_t (*)(); // bytes

    explicit MemoryGuard(Sampler sampler = nullptr);

    // The free memory in KB (at most 4194303).
    int32_t sample();

    // Adds factor times the memory consumed since the last sample to the
    // estimate and keeps the new sample.
    void charge(int32_t factor);

    // Whether the free memory no longer exceeds the estimate.
    bool isEnding() const { return availableKB <= estimateKB; }

    int32_t availableKB;
    int32_t estimateKB;

  private:
    Sampler sampler;
};

} // namespace bramblewisp
