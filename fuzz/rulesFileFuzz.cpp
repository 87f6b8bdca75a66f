// Any text as a rules file: a system within the file's limits, or one
// problem that names the file.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/evolution.h"
#include "presets/rulesFile.h"

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool within(float value, float limit) {
    return std::isfinite(value) && std::fabs(value) <= limit;
}

void checkSystem(const bramblewisp::SystemDescription& system) {
    require(!system.seeds.empty() || system.randomSpikes);
    require(system.maxIterations >= 0 && system.maxIterations <= bramblewisp::kMaxIterationCap);
    require(!system.layers[0].empty());
    for (const auto& groups : system.layers) {
        require(groups.size() <= bramblewisp::kMaxGroupsPerLayer);
        for (const auto& group : groups) {
            require(group.weight > 0.0f && group.weight <= 1.0f);
            require(group.rules.size() <= bramblewisp::kMaxRulesPerGroup);
            for (const auto& rule : group.rules) {
                require(rule.target >= 0 && rule.target < bramblewisp::kLayerCount);
                require(!system.layers[static_cast<std::size_t>(rule.target)].empty());
                require(within(rule.angleX, 12.6f) && within(rule.angleY, 12.6f) &&
                        within(rule.angleZ, 12.6f));
                require(within(rule.scale, 1.0f) && within(rule.step, 10.0f));
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    bramblewisp::SystemRead read = bramblewisp::readSystem(text, "fuzz.toml");
    if (!read.system) {
        require(read.problem.where.rfind("fuzz.toml", 0) == 0 && !read.problem.what.empty());
        for (const char c : read.problem.what) {
            require(static_cast<unsigned char>(c) >= 0x20);
        }
        return 0;
    }
    checkSystem(*read.system);
    // A few spikes keep a generation quick; the rules still all run.
    read.system->spikes = read.system->spikes % 64;
    bramblewisp::ParticleSystem system;
    read.system->build(system);
    bramblewisp::Progress quiet;
    bramblewisp::growGeneration(system, quiet);
    return 0;
}
