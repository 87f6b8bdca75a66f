#include "system/rule.h"

#include <cassert>

namespace bramblewisp {

Rule::Rule(int32_t targetLayer, float angleX, float angleY, float angleZ, float directionFactor,
           float stepFactor, bool jitter)
    : jitter(jitter), targetLayer(targetLayer), angleX(angleX), angleY(angleY), angleZ(angleZ),
      directionFactor(directionFactor), stepFactor(stepFactor),
      turned(angleX != 0.0f || angleY != 0.0f || angleZ != 0.0f),
      fixedTurn(angleX, angleY, angleZ) {}

SineCosine Rule::jitterTurn(int axis, float amplitude, Ranmar& random) const {
    const int32_t step = jitterStep(random.next());
    std::atomic<TurnTables::Entry>* table = turnTables[axis];
    return table != nullptr ? TurnTables::lookUp(table, step, amplitude)
                            : sineCosineOf(jitterAngle(step, amplitude));
}

// jitterTurn's twin for a step drawn beforehand. (jitterTurn drawing its own
// keeps Rule::child small enough to be inlined where the children are made.)
SineCosine Rule::turnOfStep(int axis, float amplitude, int32_t step) const {
    std::atomic<TurnTables::Entry>* table = turnTables[axis];
    return table != nullptr ? TurnTables::lookUp(table, step, amplitude)
                            : sineCosineOf(jitterAngle(step, amplitude));
}

void Rule::fetchTurns(const int32_t* steps) const {
    for (int axis = 0; axis < 3; ++axis) {
        if (turnTables[axis] != nullptr) {
            platform::prefetch(&turnTables[axis][steps[axis]]);
        }
    }
}

Particle Rule::childOfSteps(const Particle& parent, const int32_t* steps) const {
    Particle born = unturnedChild(parent);
    const SineCosine x = turnOfStep(0, angleX, steps[0]);
    const SineCosine y = turnOfStep(1, angleY, steps[1]);
    const SineCosine z = turnOfStep(2, angleZ, steps[2]);
    born.direction = Rotation(x, y, z).apply(born.direction);
    return born;
}

Particle Rule::child(const Particle& parent, Ranmar& random) const {
    Particle born = unturnedChild(parent);
    if (turned) {
        if (jitter) {
            const SineCosine x = jitterTurn(0, angleX, random);
            const SineCosine y = jitterTurn(1, angleY, random);
            const SineCosine z = jitterTurn(2, angleZ, random);
            born.direction = Rotation(x, y, z).apply(born.direction);
        } else {
            born.direction = fixedTurn.apply(born.direction);
        }
    }
    return born;
}

void Rule::apply(const Particle& parent, ParticleList* nextBank, Ranmar& random) const {
    nextBank[targetLayer].append(child(parent, random));
}

void RuleGroup::apply(const Particle& parent, ParticleList* nextBank, Ranmar& random) const {
    if (fertile(parent)) {
        for (const Rule& rule : rules) {
            rule.apply(parent, nextBank, random);
        }
    }
}

void RuleGroup::emit(const Particle& parent, ParticleList::Writer* nextBank, Ranmar& random) const {
    for (const Rule& rule : rules) {
        nextBank[rule.targetLayer].put(rule.child(parent, random));
    }
}

void RuleGroup::emitDrawingAhead(const Particle& parent, ParticleList::Writer* nextBank,
                                 Ranmar& random) const {
    assert(rules.size() <= kMostRulesAhead);
    // Every step first, in the order the rules draw them, so that the turn
    // tables' entries are fetched side by side: one after another, each
    // child waited on the cache for its own.
    int32_t steps[3 * kMostRulesAhead];
    int32_t* drawn = steps;
    for (const Rule& rule : rules) {
        if (rule.draws() != 0) {
            for (int axis = 0; axis < 3; ++axis) {
                drawn[axis] = jitterStep(random.next());
            }
            rule.fetchTurns(drawn);
            drawn += 3;
        }
    }
    const int32_t* next = steps;
    for (const Rule& rule : rules) {
        if (rule.draws() != 0) {
            nextBank[rule.targetLayer].put(rule.childOfSteps(parent, next));
            next += 3;
        } else {
            nextBank[rule.targetLayer].put(rule.child(parent, random));
        }
    }
}

} // namespace bramblewisp
