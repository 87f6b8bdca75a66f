#pragma once

#include <bit>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/prefetch.h"
#include "random/ranmar.h"
#include "system/particleList.h"
#include "system/rotation.h"
#include "system/turnTables.h"

namespace bramblewisp {

// A parent whose squared direction length is below this has no children:
// 0.004 * 0.004 as single precision computes it (1.6000002e-5).
inline constexpr float kLengthLimit = std::bit_cast<float>(0x378637BEu);

// One rewrite: emits one child into the next bank's list of targetLayer.
// Rules are built once and never changed, so the turn of a fixed rule is
// computed once here.
struct Rule {
    Rule(int32_t targetLayer, float angleX, float angleY, float angleZ, float directionFactor,
         float stepFactor, bool jitter);

    // A jittered rule draws its three turns from random.
    void apply(const Particle& parent, ParticleList* nextBank, Ranmar& random) const;
    Particle child(const Particle& parent, Ranmar& random) const;
    // A jittered rule's child, its three steps drawn beforehand; and the
    // cache lines of their turns asked for ahead.
    Particle childOfSteps(const Particle& parent, const int32_t* steps) const;
    void fetchTurns(const int32_t* steps) const;

    // How many numbers each child takes from the rule generator.
    int32_t draws() const { return turned && jitter ? 3 : 0; }

    const bool jitter;
    const int32_t targetLayer;
    const float angleX;
    const float angleY;
    const float angleZ;
    const float directionFactor;
    const float stepFactor;

    // The jittered turns' tables for x, y and z (see
    // ParticleSystem::tableJitteredTurns); without them every turn is worked
    // out afresh, to the same bits.
    std::atomic<TurnTables::Entry>* turnTables[3] = {nullptr, nullptr, nullptr};

  private:
    SineCosine jitterTurn(int axis, float amplitude, Ranmar& random) const;
    SineCosine turnOfStep(int axis, float amplitude, int32_t step) const;
    Particle unturnedChild(const Particle& parent) const {
        const Vec3& p = parent.position;
        const Vec3& d = parent.direction;
        return {{p.x + d.x * stepFactor, p.y + d.y * stepFactor, p.z + d.z * stepFactor},
                {d.x * directionFactor, d.y * directionFactor, d.z * directionFactor}};
    }

    const bool turned; // at least one stored angle is non-zero
    const Rotation fixedTurn;
};

// A weighted choice of a layer: every rule of the chosen group emits one
// child.
struct RuleGroup {
    explicit RuleGroup(float weight) : weight(weight) {}

    void apply(const Particle& parent, ParticleList* nextBank, Ranmar& random) const;

    // Whether a parent is long enough to have children.
    static bool fertile(const Particle& parent) {
        const Vec3& d = parent.direction;
        return d.x * d.x + d.y * d.y + d.z * d.z >= kLengthLimit;
    }
    // The children of a fertile parent, through the writers of the next
    // bank's lists, by layer.
    void emit(const Particle& parent, ParticleList::Writer* nextBank, Ranmar& random) const;
    // emit for a group of at most kMostRulesAhead rules, some jittered: the
    // same children, their turns looked up side by side.
    void emitDrawingAhead(const Particle& parent, ParticleList::Writer* nextBank,
                          Ranmar& random) const;

    float weight;
    std::vector<Rule> rules;
    static constexpr std::size_t kMostRulesAhead = 16;
};

// The groups of one layer, in the order in which their weights accumulate.
using RuleLayer = std::vector<std::unique_ptr<RuleGroup>>;

} // namespace bramblewisp
