#include "system/vec3.h"

#include "system/rotation.h"

namespace bramblewisp {

void Vec3::rotate(float ax, float ay, float az) {
    *this = Rotation(ax, ay, az).apply(*this);
}

} // namespace bramblewisp
