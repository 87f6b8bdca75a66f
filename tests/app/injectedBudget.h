#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "app/runBudget.h"

// Stand-ins for the platform's clock and memory sample, driven by the tests.
namespace bramblewisp::injected {

// Milliseconds: construction reads the first reading, each lap the next.
inline std::vector<int64_t> readings;
inline std::size_t readingIndex = 0;
inline int64_t perSecond() {
    return 1000;
}
inline int64_t readClock() {
    return readings.at(readingIndex++);
}

inline RunTimer timerWith(double allowedSeconds, std::vector<int64_t> milliseconds) {
    readings = std::move(milliseconds);
    readingIndex = 0;
    return RunTimer(allowedSeconds, perSecond, readClock);
}

// Free memory in bytes, one sample after another; the last one repeats.
inline std::vector<uint32_t> samples;
inline std::size_t sampleIndex = 0;
inline uint32_t sampleNow() {
    return samples.at(std::min(sampleIndex++, samples.size() - 1));
}

inline MemoryGuard guardWith(std::vector<uint32_t> kilobytes) {
    samples.clear();
    for (uint32_t kb : kilobytes) {
        samples.push_back(kb << 10);
    }
    sampleIndex = 0;
    return MemoryGuard(sampleNow);
}

} // namespace bramblewisp::injected
