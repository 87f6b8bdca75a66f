#include "system/sineCosine.h"

#include <array>
#include <cstdint>
#include <limits>

namespace bramblewisp {

namespace {

// pi/2 as a head of 33 bits and a double tail: k * head and x - k * head are
// then exact for every float x below 2^20 and its nearest quadrant k.
constexpr double kHalfPiHead = 0x1.921fb544p+0;
constexpr double kHalfPiTail = 0x1.0b4611a626331p-34;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
// Adding and subtracting 1.5 * 2^52 rounds a double to the nearest integer.
constexpr double kRoundingShift = 0x1.8p52;

// 1/n! for n up to 16, each one correctly rounded division of an exact
// product.
constexpr std::array<double, 17> kInverseFactorials = [] {
    std::array<double, 17> inverse{};
    double factorial = 1.0;
    for (int n = 0; n < 17; ++n) {
        factorial *= n > 1 ? n : 1;
        inverse[n] = 1.0 / factorial;
    }
    return inverse;
}();

// 1/first! - r2 * (1/(first+2)! - r2 * (... 1/last!)), innermost first.
double alternatingSeries(double r2, int first, int last) {
    double p = kInverseFactorials[last];
    for (int n = last - 2; n >= first; n -= 2) {
        p = kInverseFactorials[n] - r2 * p;
    }
    return p;
}

// Taylor series on |r| <= pi/4, Horner's order fixed: within 1.5 double ulps,
// far inside the 2^-45 by which any result a run meets clears a float
// rounding boundary, so the one rounding to float is the correct one.
double sineOfReduced(double r) {
    const double r2 = r * r;
    return r - (r * r2) * alternatingSeries(r2, 3, 15);
}

double cosineOfReduced(double r) {
    const double r2 = r * r;
    return 1.0 - r2 * alternatingSeries(r2, 2, 16);
}

} // namespace

SineCosine sineCosineOf(float angle) {
    if (angle == 0.0f) {
        return {angle, 1.0f}; // the sine keeps the zero's sign
    }
    const double x = angle;
    if (!(x > -0x1p20 && x < 0x1p20)) {
        constexpr float nan = std::numeric_limits<float>::quiet_NaN();
        return {nan, nan};
    }
    const double k = (x * kTwoOverPi + kRoundingShift) - kRoundingShift;
    const double r = (x - k * kHalfPiHead) - k * kHalfPiTail;
    const double s = sineOfReduced(r);
    const double c = cosineOfReduced(r);
    switch (static_cast<uint32_t>(static_cast<int32_t>(k)) & 3u) {
    case 0:
        return {static_cast<float>(s), static_cast<float>(c)};
    case 1:
        return {static_cast<float>(c), static_cast<float>(-s)};
    case 2:
        return {static_cast<float>(-s), static_cast<float>(-c)};
    default:
        return {static_cast<float>(-c), static_cast<float>(s)};
    }
}

} // namespace bramblewisp
