#include <array>
#include <vector>

#include "presets/presetTypes.h"

namespace bramblewisp {

namespace {

struct Turn {
    bool jitter;
    float x, y, z;
};

// One rule of the shape shared by types 1 and 2, with each type's turn.
struct BranchRule {
    int32_t layer;
    float direction;
    float step;
    Turn type1;
    Turn type2;
};

struct BranchGroup {
    int layer;
    float weight;
    std::vector<BranchRule> rules;
};

constexpr bool off = false;
constexpr bool on = true;
constexpr float pi30 = piFraction(1, 30);
constexpr float pi20 = piFraction(1, 20);
constexpr float pi12 = piFraction(1, 12);
constexpr float pi10 = piFraction(1, 10);
constexpr float pi8 = piFraction(1, 8);
constexpr float pi7 = piFraction(1, 7);
constexpr float pi6 = piFraction(1, 6);
constexpr float pi4 = piFraction(1, 4);
constexpr float pi3 = piFraction(1, 3);
constexpr float pi2 = piFraction(1, 2);
constexpr float deg20 = 0.34906587f;

void buildBranchingRules(ParticleSystem& system, Turn BranchRule::*turnOfType) {
    // clang-format off
    const std::array<BranchGroup, 6> groups = {{
        {0, 0.8f, {
            // layer direction step   type 1 turn                type 2 turn
            {1,     0.3f,     0.0f,  {off, 0, 0, 0},            {off, 0, 0, 0}},
            {0,     0.7f,     0.3f,  {on, pi8, pi8, pi8},       {on, pi30, pi30, pi8}},
            {0,     0.7f,     0.3f,  {on, pi3, pi3, pi3},       {on, pi30, pi30, pi3}},
            {0,     0.6f,     0.3f,  {on, pi3, pi3, pi3},       {on, pi30, pi30, pi3}},
        }},
        {0, 0.2f, {
            {0,     0.3f,     0.0f,  {off, 0, 0, 0},            {off, 0, 0, 0}},
            {0,     0.3f,     0.3f,  {on, pi2, pi2, pi2},       {on, pi6, pi30, pi2}},
            {0,     0.3f,     0.2f,  {on, pi2, pi2, pi2},       {off, pi10, pi30, pi8}},
            {0,     0.3f,     0.1f,  {on, pi2, pi2, pi2},       {on, pi10, pi30, pi2}},
        }},
        {1, 0.5f, {
            {1,     1.0f,     0.0f,  {off, 0, 0, 0},            {off, 0, 0, 0}},
            {0,     0.9f,     0.2f,  {on, pi3, pi3, pi3},       {off, pi30, pi3, deg20}},
            {0,     0.8f,     0.3f,  {on, pi3, pi3, pi3},       {off, pi20, pi7, pi12}},
            {0,     0.8f,     0.3f,  {on, pi3, pi3, pi3},       {off, pi20, pi8, pi10}},
        }},
        {1, 0.5f, {
            {1,     1.0f,     0.0f,  {off, 0, 0, 0},            {off, 0, 0, 0}},
            {2,     0.9f,     0.2f,  {on, pi3, pi3, pi3},       {on, pi10, pi3, pi3}},
            {1,     0.8f,     0.3f,  {on, pi3, pi3, pi3},       {on, pi6, pi3, pi3}},
            {2,     0.8f,     0.3f,  {on, pi3, pi3, pi3},       {on, pi30, pi3, pi3}},
        }},
        {2, 0.5f, {
            {2,     1.0f,     0.0f,  {off, 0, 0, 0},            {off, 0, 0, 0}},
            {0,     0.8f,     0.1f,  {on, pi4, pi4, pi4},       {on, pi10, pi4, pi4}},
            {0,     0.8f,     0.3f,  {on, pi3, pi3, pi3},       {on, pi10, pi3, pi3}},
        }},
        {2, 0.5f, {
            {1,     1.0f,     0.0f,  {off, 0, 0, 0},            {off, 0, 0, 0}},
            {0,     0.8f,     0.1f,  {on, pi4, pi4, pi4},       {on, pi10, pi4, pi4}},
        }},
    }};
    // clang-format on

    for (const BranchGroup& group : groups) {
        auto made = std::make_unique<RuleGroup>(group.weight);
        for (const BranchRule& rule : group.rules) {
            const Turn& turn = rule.*turnOfType;
            made->rules.emplace_back(rule.layer, turn.x, turn.y, turn.z, rule.direction, rule.step,
                                     turn.jitter);
        }
        system.layers[group.layer].push_back(std::move(made));
    }
}

} // namespace

void PresetType1::buildRules(ParticleSystem& system) const {
    buildBranchingRules(system, &BranchRule::type1);
}

void PresetType1::seedParticles(ParticleSystem& system) const {
    seedRandomSpikes(system, spikes);
}

void PresetType2::buildRules(ParticleSystem& system) const {
    buildBranchingRules(system, &BranchRule::type2);
}

void PresetType2::seedParticles(ParticleSystem& system) const {
    seedRandomSpikes(system, spikes);
}

} // namespace bramblewisp
