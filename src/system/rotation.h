#pragma once

#include "system/sineCosine.h"
#include "system/vec3.h"

namespace bramblewisp {

// A turn about the fixed x axis by ax, then y by ay, then z by az (Rz * Ry *
// Rx on a column vector), in single precision, held as a matrix. Each entry
// is grouped as the turn's formula groups it, so a matrix built once gives
// the same bits as the formula worked out for every vector: fixed turns
// build theirs with their rule, jittered ones per child.
struct Rotation {
    float m[3][3];

    Rotation(float ax, float ay, float az)
        : Rotation(sineCosineOf(ax), sineCosineOf(ay), sineCosineOf(az)) {}

    Rotation(const SineCosine& x, const SineCosine& y, const SineCosine& z) {
        const float sx = x.sine, cx = x.cosine;
        const float sy = y.sine, cy = y.cosine;
        const float sz = z.sine, cz = z.cosine;
        m[0][0] = cy * cz;
        m[0][1] = sx * sy * cz - cx * sz;
        m[0][2] = cx * sy * cz + sx * sz;
        m[1][0] = cy * sz;
        m[1][1] = sx * sy * sz + cx * cz;
        m[1][2] = cx * sy * sz - sx * cz;
        m[2][0] = -sy;
        m[2][1] = sx * cy;
        m[2][2] = cx * cy;
    }

    Vec3 apply(const Vec3& v) const {
        return Vec3{m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z,
                    m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
                    m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
    }
};

} // namespace bramblewisp
