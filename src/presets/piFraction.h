#pragma once

namespace bramblewisp {

// The 32-bit float nearest to numerator * pi / denominator.
constexpr float piFraction(int numerator, int denominator) {
    return static_cast<float>(3.14159265358979323846264338327950288L * numerator / denominator);
}

} // namespace bramblewisp
