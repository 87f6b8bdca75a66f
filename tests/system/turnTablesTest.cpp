#include "system/turnTables.h"

#include <gtest/gtest.h>

#include <bit>
#include <memory>

#include "platform/workerPool.h"
#include "system/particleSystem.h"

namespace bramblewisp {
namespace {

// Every entry of tables worked out first, by pools of one and several
// workers, holds the turn the formula gives: the runs over three tables meet
// inside one (two workers) and at their boundaries (three), and a signed
// zero keeps a table of its own.
TEST(TurnTablesTest, WorkedOutFirstAsTheFormula) {
    const float amplitudes[] = {0.7f, -0.0f, 1.3f, 0.7f};
    for (const int workerCount : {1, 2, 3}) {
        ParticleSystem system;
        auto group = std::make_unique<RuleGroup>(1.0f);
        group->rules.emplace_back(1, amplitudes[0], amplitudes[1], amplitudes[2], 0.8f, 0.0f, true);
        group->rules.emplace_back(1, amplitudes[3], amplitudes[3], amplitudes[3], 0.8f, 0.0f, true);
        system.layers[0].push_back(std::move(group));
        system.tableJitteredTurns();
        platform::WorkerPool workers(workerCount);
        system.workOutJitteredTurns(workers);
        const Rule& rule = system.layers[0][0]->rules[0];
        for (int axis = 0; axis < 3; ++axis) {
            const float amplitude = amplitudes[axis];
            for (int32_t step = 0; step < kJitterSteps; ++step) {
                const TurnTables::Entry bits =
                    rule.turnTables[axis][step].load(std::memory_order_relaxed);
                ASSERT_EQ(bits, std::bit_cast<TurnTables::Entry>(
                                    sineCosineOf(jitterAngle(step, amplitude))))
                    << workerCount << " workers, amplitude " << amplitude << ", step " << step;
            }
        }
    }
}

} // namespace
} // namespace bramblewisp
