#pragma once

namespace bramblewisp {

struct Vec3 {
    float x;
    float y;
    float z;
};

} // namespace bramblewisp
