#pragma once

namespace bramblewisp {

// A turn about one axis, as the matrix takes it: single-precision sine and
// cosine of the angle.
struct SineCosine {
    float sine;
    float cosine;
};

// The correctly rounded single-precision sine and cosine of an angle, in
// plain double arithmetic of our own: the platform's sinf and cosf differ in
// the last bit between C libraries (and even between CPUs), and a picture must
// not. Exact for every angle a run turns by; |angle| >= 2^20 gives NaN.
SineCosine sineCosineOf(float angle);

} // namespace bramblewisp
