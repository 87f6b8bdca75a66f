#include "system/particleSystem.h"

#include <cstddef>
#include <vector>

#include "platform/workerPool.h"

namespace bramblewisp {

ParticleSystem::ParticleSystem(bool onLargeBlocks) {
    random.init(0, 0);
    ruleRandom.init(0, 0);
    store = std::make_unique<ParticleStore>(onLargeBlocks);
}

void ParticleSystem::tableJitteredTurns() {
    auto eachJittered = [&](auto visit) {
        for (RuleLayer& groups : layers) {
            for (auto& group : groups) {
                for (Rule& rule : group->rules) {
                    if (rule.jitter) {
                        visit(rule);
                    }
                }
            }
        }
    };
    std::vector<float> amplitudes;
    eachJittered([&](const Rule& rule) {
        amplitudes.insert(amplitudes.end(), {rule.angleX, rule.angleY, rule.angleZ});
    });
    turnTables = std::make_unique<TurnTables>(amplitudes);
    eachJittered([&](Rule& rule) {
        rule.turnTables[0] = turnTables->tableOf(rule.angleX);
        rule.turnTables[1] = turnTables->tableOf(rule.angleY);
        rule.turnTables[2] = turnTables->tableOf(rule.angleZ);
    });
}

void ParticleSystem::workOutJitteredTurns(platform::WorkerPool& workers) {
    if (turnTables == nullptr) {
        return;
    }
    platform::inRuns(workers, static_cast<std::ptrdiff_t>(turnTables->entryCount()),
                     [&](std::ptrdiff_t first, std::ptrdiff_t end) {
                         turnTables->workOut(static_cast<std::size_t>(first),
                                             static_cast<std::size_t>(end));
                     });
}

} // namespace bramblewisp
