#include "app/runBudget.h"

#include <utility>

#include "platform/platform.h"

namespace bramblewisp {

BudgetSources BudgetSources::platform() {
    return {platform::counterFrequency, platform::counterNow, platform::committableBytes};
}

RunTimer::RunTimer(std::function<int64_t()> frequency, std::function<int64_t()> now)
    : counter(std::move(now)), frequency(static_cast<double>(frequency())) {
    last = this->now();
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

MemoryGuard::MemoryGuard(std::function<uint32_t()> freeBytes) : sampler(std::move(freeBytes)) {
    availableKB = sample();
}

int32_t MemoryGuard::sample() const {
    return static_cast<int32_t>(sampler() >> 10);
}

void MemoryGuard::charge(int32_t factor) {
    const int32_t current = sample();
    estimateKB += factor * (availableKB - current);
    availableKB = current;
}

RunBudget::RunBudget(int32_t timeLimit, BudgetSources sources)
    : timer(std::move(sources.counterFrequency), std::move(sources.counterNow)),
      deadline(timer.last + static_cast<double>(timeLimit)), memory(std::move(sources.freeBytes)) {
    deadline -= timeLimit * 0.5 + 5;
    memory.estimateKB += 4096;
}

void RunBudget::chargeParsing() {
    deadline -= timer.lap();
    memory.charge(1);
}

void RunBudget::chargeStage() {
    deadline -= timer.lap();
}

void RunBudget::sampleBeforeGrowth() {
    memory.availableKB = memory.sample();
}

bool RunBudget::memoryEnding() {
    memory.charge(4);
    return memory.availableKB <= memory.estimateKB;
}

bool RunBudget::reserveNextGeneration() {
    deadline -= 16.0 * timer.lap();
    return timer.last < deadline;
}

} // namespace bramblewisp
