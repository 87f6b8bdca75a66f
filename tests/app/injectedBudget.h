#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "app/runBudget.h"

namespace bramblewisp {

// A clock and a memory sample driven by a test: the clock gives the readings
// one after another (construction takes the first, each lap the next), the
// memory the kilobytes one after another, the last repeating.
struct InjectedBudget {
    std::vector<int64_t> readings{0};
    std::vector<uint32_t> kilobytes{1u << 20};
    int64_t perSecond = 1000;
    std::size_t readingsTaken = 0;
    std::size_t samplesTaken = 0;

    // The sources read this object, which must outlive what they go into.
    BudgetSources sources() {
        return {
            [this] { return perSecond; }, [this] { return readings.at(readingsTaken++); },
            [this] { return kilobytes.at(std::min(samplesTaken++, kilobytes.size() - 1)) << 10; }};
    }
};

} // namespace bramblewisp
