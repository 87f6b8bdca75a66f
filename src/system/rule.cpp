#include "system/rule.h"

namespace bramblewisp {

Rule::Rule(int32_t targetLayer, float angleX, float angleY, float angleZ, float directionFactor,
           float stepFactor, bool jitter)
    : jitter(jitter), targetLayer(targetLayer), angleX(angleX), angleY(angleY), angleZ(angleZ),
      directionFactor(directionFactor), stepFactor(stepFactor),
      turned(angleX != 0.0f || angleY != 0.0f || angleZ != 0.0f),
      fixedTurn(angleX, angleY, angleZ) {}

SineCosine Rule::jitterTurn(int axis, float amplitude, Ranmar& random) const {
    const int32_t step = random.next() & 0xFFFF;
    std::atomic<TurnTables::Entry>* table = turnTables[axis];
    return table != nullptr ? TurnTables::lookUp(table, step, amplitude)
                            : sineCosineOf(jitterAngle(step, amplitude));
}

Particle Rule::child(const Particle& parent, Ranmar& random) const {
    const Vec3& p = parent.position;
    const Vec3& d = parent.direction;
    Particle born{{p.x + d.x * stepFactor, p.y + d.y * stepFactor, p.z + d.z * stepFactor},
                  {d.x * directionFactor, d.y * directionFactor, d.z * directionFactor}};
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

} // namespace bramblewisp
