#include "random/ranmar.h"

namespace bramblewisp {

void Ranmar::init(int32_t ij, int32_t kl) {
    // C++ division truncates toward zero, so negative seeds keep their sign
    // through the remainders and give sequences of their own.
    ij %= 31328;
    kl %= 30081;
    int32_t i = ((ij / 177) % 177) + 2;
    int32_t j = (ij % 177) + 2;
    int32_t k = ((kl / 169) % 178) + 1;
    int32_t l = kl % 169;
    for (int n = 1; n <= 97; ++n) {
        double s = 0.0;
        double t = 0.5;
        for (int bit = 0; bit < 24; ++bit) {
            int32_t m = (((i * j) % 179) * k) % 179;
            i = j;
            j = k;
            k = m;
            l = (53 * l + 1) % 169;
            if ((l * m) % 64 >= 32) {
                s += t;
            }
            t *= 0.5;
        }
        u[n] = static_cast<int32_t>(s * 16777216.0);
    }
    u[0] = 0;
    c = 362436;
    cd = 7654321;
    cm = 16777213;
    i97 = 97;
    j97 = 33;
}

} // namespace bramblewisp
