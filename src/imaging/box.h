#pragma once

#include <span>

#include "system/particle.h"

namespace bramblewisp {

// A particle's other end: the renderer draws it from position to here.
inline Vec3 endPoint(const Particle& p) {
    return Vec3{p.position.x + p.direction.x, p.position.y + p.direction.y,
                p.position.z + p.direction.z};
}

// The bounding box of the strokes, gathered one value at a time: a value
// strictly beyond an extreme replaces it, so of equal values (0 and -0) the
// first stays, and a NaN never enters.
struct Box {
    Vec3 max{-1000000.0f, -1000000.0f, -1000000.0f};
    Vec3 min{1000000.0f, 1000000.0f, 1000000.0f};

    // A particle's stroke: its end, then its start.
    void include(const Particle& p) {
        include(endPoint(p));
        include(p.position);
    }

    // include(p) for each particle of a run, in order, the extremes kept in
    // six plain floats meanwhile: held in the box itself, the compiler
    // shuffled them between vector lanes for every particle.
    void includeAll(std::span<const Particle> particles) {
        float highX = max.x, highY = max.y, highZ = max.z;
        float lowX = min.x, lowY = min.y, lowZ = min.z;
        for (const Particle& p : particles) {
            const Vec3 end = endPoint(p);
            include(end.x, highX, lowX);
            include(end.y, highY, lowY);
            include(end.z, highZ, lowZ);
            include(p.position.x, highX, lowX);
            include(p.position.y, highY, lowY);
            include(p.position.z, highZ, lowZ);
        }
        max = Vec3{highX, highY, highZ};
        min = Vec3{lowX, lowY, lowZ};
    }

    void include(const Vec3& v) {
        include(v.x, max.x, min.x);
        include(v.y, max.y, min.y);
        include(v.z, max.z, min.z);
    }

    static void include(float value, float& high, float& low) {
        if (value > high) {
            high = value;
        }
        if (value < low) {
            low = value;
        }
    }

    // This box, then a later run's: what one pass over both runs gives, for
    // the same strict comparisons let the later run's extreme in only where
    // one pass would take it. So runs gathered side by side merge in order.
    void follow(const Box& later) {
        follow(later.max.x, later.min.x, max.x, min.x);
        follow(later.max.y, later.min.y, max.y, min.y);
        follow(later.max.z, later.min.z, max.z, min.z);
    }

    static void follow(float laterHigh, float laterLow, float& high, float& low) {
        if (laterHigh > high) {
            high = laterHigh;
        }
        if (laterLow < low) {
            low = laterLow;
        }
    }
};

} // namespace bramblewisp
