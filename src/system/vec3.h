#pragma once

namespace bramblewisp {

struct Vec3 {
    float x;
    float y;
    float z;

    // Turns about the fixed x, then y, then z axis (Rz * Ry * Rx), in single
    // precision.
    void rotate(float ax, float ay, float az);
};

} // namespace bramblewisp
