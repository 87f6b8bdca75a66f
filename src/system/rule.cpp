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
    SineCosine* table = turnTables[axis];
    return table != nullptr ? TurnTables::lookUp(table, step, amplitude)
                            : sineCosineOf(jitterAngle(step, amplitude));
}

void Rule::apply(const Particle& parent, ParticleList* nextBank, Ranmar& random) const {
    const Vec3& p = parent.position;
    const Vec3& d = parent.direction;
    Particle child{{p.x + d.x * stepFactor, p.y + d.y * stepFactor, p.z + d.z * stepFactor},
                   {d.x * directionFactor, d.y * directionFactor, d.z * directionFactor}};
    if (turned) {
        if (jitter) {
            const SineCosine x = jitterTurn(0, angleX, random);
            const SineCosine y = jitterTurn(1, angleY, random);
            const SineCosine z = jitterTurn(2, angleZ, random);
            child.direction = Rotation(x, y, z).apply(child.direction);
        } else {
            child.direction = fixedTurn.apply(child.direction);
        }
    }
    nextBank[targetLayer].append(child);
}

void RuleGroup::apply(const Particle& parent, ParticleList* nextBank, Ranmar& random) const {
    const Vec3& d = parent.direction;
    if (d.x * d.x + d.y * d.y + d.z * d.z >= kLengthLimit) {
        for (const Rule& rule : rules) {
            rule.apply(parent, nextBank, random);
        }
    }
}

} // namespace bramblewisp
