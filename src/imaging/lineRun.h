#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace bramblewisp::lineWalk {

// The set-up of the fast walks (lineWalk.h, fourLines.h) that needs no vector
// unit: the same start, step and depth ramp as the plain walk, found without
// a branch or a division.

// floor(n / d) for 0 <= n < 2^26 and 0 <= d < kShortLine by one multiply:
// with m = floor(2^37 / d) + 1 the error of n * m / 2^37 stays below 2^-11,
// less than the 1/d that separates n/d from the next whole number. Every line
// needs one such quotient and most lines are short. d = 0 gives 0.
inline constexpr int32_t kShortLine = 1024;

struct Reciprocals {
    constexpr Reciprocals() {
        for (int32_t d = 1; d < kShortLine; ++d) {
            of[d] = ((uint64_t{1} << 37) / static_cast<uint64_t>(d)) + 1;
        }
    }
    uint64_t of[kShortLine]{};
};

inline constexpr Reciprocals kReciprocals{};

inline int32_t fixedPointStep(int32_t minorLength, int32_t major) {
    const int32_t scaled = minorLength * 65536;
    if (major < kShortLine) [[likely]] {
        return static_cast<int32_t>((static_cast<uint64_t>(scaled) * kReciprocals.of[major]) >> 37);
    }
    return scaled / major;
}

inline int32_t absolute(int32_t v) {
    return v < 0 ? -v : v;
}

// The step's magnitude, negated where flip is all ones.
inline int32_t signedStep(int32_t magnitude, int32_t flip) {
    return (magnitude ^ flip) - flip;
}

// Depth in single precision from the walk's start endpoint (the first one
// when fromFirst) to its end, one step per pixel.
struct DepthRamp {
    float z;
    float step;
};

inline DepthRamp depthRamp(float z0, float z1, int fromFirst, int32_t major) {
    const float zs[2] = {z1, z0};
    const float z = zs[fromFirst];
    return {z, (zs[1 - fromFirst] - z) / static_cast<float>(major + (major == 0))};
}

// One line's walk once it is set up: cell of (major i, minor m) = base +
// i * majorStep + m * minorStep, the minor coordinate the accumulator's
// whole part.
struct LineRun {
    std::ptrdiff_t base;
    std::ptrdiff_t majorStep;
    std::ptrdiff_t minorStep;
    int32_t accumulator;
    int32_t step;
    int32_t major;
};

// The walk from its start pixel: the major coordinate advances one whole
// cell per step, the minor one by step in 16.16 from the pixel centre.
inline LineRun lineRun(std::ptrdiff_t width, int32_t startX, int32_t startY, bool xMajor,
                       int32_t step, int32_t major) {
    const int32_t startMinor = xMajor ? startY : startX;
    return {xMajor ? startX : startY * width,
            xMajor ? 1 : width,
            xMajor ? width : 1,
            startMinor * 65536 + 32768,
            step,
            major};
}

template <bool withDepth, typename Blend>
inline void runLine(uint32_t* cells, uint32_t* depthCells, const LineRun& run, Blend blendCell,
                    float z, float zStep) {
    std::ptrdiff_t lineCell = run.base;
    int32_t accumulator = run.accumulator;
    for (int32_t left = run.major;; --left) {
        const std::ptrdiff_t cell = lineCell + (accumulator >> 16) * run.minorStep;
        cells[cell] = blendCell(cells[cell]);
        if constexpr (withDepth) {
            depthCells[cell] = std::bit_cast<uint32_t>(z);
            z += zStep;
        }
        if (left == 0) {
            break;
        }
        accumulator += run.step;
        lineCell += run.majorStep;
    }
}

} // namespace bramblewisp::lineWalk
