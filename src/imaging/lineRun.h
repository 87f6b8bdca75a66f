#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "imaging/rowBand.h"

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

// The steps [first, end) of a walk whose pixels lie in a band of rows. The
// row never turns back along a walk, so they are one run: found by division,
// as a line usually leaves most of its steps to other bands.
struct StepSpan {
    int32_t first;
    int32_t end;
};

// floor(n / d) for d > 0.
inline int64_t floorQuotient(int64_t n, int64_t d) {
    return n / d - (n % d < 0);
}

inline StepSpan stepsInBand(int32_t startY, bool xMajor, int32_t step, int32_t major,
                            RowBand band) {
    int64_t first = 0;
    int64_t end = 0;
    if (!xMajor) {
        // Row startY + i.
        first = int64_t{band.begin} - startY;
        end = int64_t{band.end} - startY;
    } else {
        // Row floor(a(i) / 2^16) with a(i) = a(0) + i * step: it lies in the
        // band while begin * 2^16 <= a(i) < end * 2^16.
        const int64_t start = int64_t{startY} * 65536 + 32768;
        const int64_t low = int64_t{band.begin} * 65536 - start;
        const int64_t high = int64_t{band.end} * 65536 - start;
        if (step > 0) {
            first = floorQuotient(low + step - 1, step);
            end = floorQuotient(high + step - 1, step);
        } else if (step < 0) {
            first = floorQuotient(-high, -step) + 1;
            end = floorQuotient(-low, -step) + 1;
        } else {
            const bool inside = band.holds(startY);
            end = inside ? major + 1 : 0;
        }
    }
    const int64_t steps = int64_t{major} + 1;
    first = std::clamp<int64_t>(first, 0, steps);
    end = std::clamp<int64_t>(end, first, steps);
    return {static_cast<int32_t>(first), static_cast<int32_t>(end)};
}

// runLine over the steps of span alone. The depth is a running sum, so the
// skipped steps' additions are made all the same, in order: a product would
// round differently.
template <bool withDepth, typename Blend>
inline void runLineSpan(uint32_t* cells, uint32_t* depthCells, const LineRun& run, Blend blendCell,
                        float z, float zStep, StepSpan span) {
    if constexpr (withDepth) {
        for (int32_t i = 0; i < span.first; ++i) {
            z += zStep;
        }
    }
    std::ptrdiff_t lineCell = run.base + span.first * run.majorStep;
    int32_t accumulator = run.accumulator + span.first * run.step;
    for (int32_t i = span.first; i < span.end; ++i) {
        const std::ptrdiff_t cell = lineCell + (accumulator >> 16) * run.minorStep;
        cells[cell] = blendCell(cells[cell]);
        if constexpr (withDepth) {
            depthCells[cell] = std::bit_cast<uint32_t>(z);
            z += zStep;
        }
        accumulator += run.step;
        lineCell += run.majorStep;
    }
}

} // namespace bramblewisp::lineWalk
