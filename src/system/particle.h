#pragma once

#include "system/vec3.h"

namespace bramblewisp {

// A short directed segment: the renderer draws it from position to
// position + direction.
struct Particle {
    Vec3 position;
    Vec3 direction;

    bool operator==(const Particle&) const = default;
};

} // namespace bramblewisp
