#include "system/rule.h"

namespace bramblewisp {

namespace {

Ranmar startedRanmar() {
    Ranmar r;
    r.init(0, 0);
    return r;
}

// A symmetric random turn in [-amplitude, +amplitude), in steps of
// amplitude / 32768.
float jitterAngle(float amplitude) {
    const float u = static_cast<float>(ruleRandom.next() & 0xFFFF) * (1.0f / 65536.0f);
    return (u - 0.5f) * amplitude * 2.0f;
}

} // namespace

Ranmar ruleRandom = startedRanmar();

Rule::Rule(int32_t targetLayer, float angleX, float angleY, float angleZ, float directionFactor,
           float stepFactor, bool jitter)
    : jitter(jitter), targetLayer(targetLayer), angleX(angleX), angleY(angleY), angleZ(angleZ),
      directionFactor(directionFactor), stepFactor(stepFactor),
      turned(angleX != 0.0f || angleY != 0.0f || angleZ != 0.0f),
      fixedTurn(angleX, angleY, angleZ) {}

void Rule::apply(const Particle& parent, ParticleList* nextBank) const {
    const Vec3& p = parent.position;
    const Vec3& d = parent.direction;
    Particle child{{p.x + d.x * stepFactor, p.y + d.y * stepFactor, p.z + d.z * stepFactor},
                   {d.x * directionFactor, d.y * directionFactor, d.z * directionFactor}};
    if (turned) {
        if (jitter) {
            const float ax = jitterAngle(angleX);
            const float ay = jitterAngle(angleY);
            const float az = jitterAngle(angleZ);
            child.direction.rotate(ax, ay, az);
        } else {
            child.direction = fixedTurn.apply(child.direction);
        }
    }
    nextBank[targetLayer].append(child);
}

void RuleGroup::apply(const Particle& parent, ParticleList* nextBank) const {
    const Vec3& d = parent.direction;
    if (d.x * d.x + d.y * d.y + d.z * d.z >= kLengthLimit) {
        for (const Rule& rule : rules) {
            rule.apply(parent, nextBank);
        }
    }
}

} // namespace bramblewisp
