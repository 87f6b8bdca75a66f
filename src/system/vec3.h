#pragma once

namespace bramblewisp {

struct Vec3 {
    float x;
    float y;
    float z;

    bool operator==(const Vec3&) const = default;
};

} // namespace bramblewisp
