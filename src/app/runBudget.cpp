#include "app/runBudget.h"

#include "platform/platform.h"

namespace bramblewisp {

RunTimer::RunTimer(double allowedSeconds, Counter frequencyOf, Counter now)
    : counter(now != nullptr ? now : platform::counterNow) {
    frequency =
        static_cast<double>(frequencyOf != nullptr ? frequencyOf() : platform::counterFrequency());
    last = this->now();
    deadline = last + allowedSeconds;
}

double RunTimer::now() const {
    return static_cast<double>(counter()) / frequency;
}

double RunTimer::lap() {
    const double current = now();
    const double elapsed = current - last;
    last = current;
    return elapsed;
}

MemoryGuard::MemoryGuard(Sampler sampler)
    : sampler(sampler != nullptr ? sampler : platform::committableBytes) {
    availableKB = sample();
    estimateKB = 1024;
}

int32_t MemoryGuard::sample() {
    return static_cast<int32_t>(sampler() >> 10);
}

void MemoryGuard::charge(int32_t factor) {
    const int32_t current = sample();
    estimateKB += factor * (availableKB - current);
    availableKB = current;
}

} // namespace bramblewisp
