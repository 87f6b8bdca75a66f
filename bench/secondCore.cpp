// How much of a second core the machine gives now: the time of two threads
// each doing the same work side by side, over one thread alone, for
// arithmetic and for reads from random places in memory. About 1.00 is a
// whole second core; on a shared virtual machine either rises while the
// host lends the second core, or its memory's bandwidth, elsewhere.
// bench/versus prints both beside each row, as a two-worker ratio from such
// a moment says more about the host than about the build.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <numeric>
#include <thread>
#include <vector>

namespace {

// Eight independent chains of adds and exclusive ors: many instructions a
// cycle, so a second thread on the same core would show.
uint64_t spin(uint64_t steps) {
    uint64_t a = 1, b = 2, c = 3, d = 4, e = 5, f = 6, g = 7, h = 8;
    for (uint64_t i = 0; i < steps; ++i) {
        a += i;
        b ^= i;
        c += a;
        d ^= b;
        e += c;
        f ^= d;
        g += e;
        h ^= f;
        // Keeps the chains in the loop: the compiler may not fold them.
        asm volatile("" : "+r"(a), "+r"(b), "+r"(c), "+r"(d), "+r"(e), "+r"(f), "+r"(g), "+r"(h));
    }
    return a + b + c + d + e + f + g + h;
}

// One cycle through 32 MB in random order (Sattolo's shuffle), each read
// waiting for the one before, as a stroke's particle fetch does.
std::vector<uint32_t> randomCycle() {
    constexpr uint32_t kEntries = uint32_t{1} << 23;
    std::vector<uint32_t> next(kEntries);
    std::iota(next.begin(), next.end(), 0u);
    uint64_t state = 0x9E3779B97F4A7C15u;
    for (uint32_t i = kEntries - 1; i > 0; --i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::swap(next[i], next[state % i]);
    }
    return next;
}

uint32_t chase(const std::vector<uint32_t>& next, uint32_t from, uint32_t steps) {
    for (uint32_t i = 0; i < steps; ++i) {
        from = next[from];
    }
    return from;
}

template <typename Work> double millisecondsOf(Work work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// The best of five times for two threads over the best for one.
template <typename Work> double twoOverOne(Work work) {
    double alone = 1e300, together = 1e300;
    for (int round = 0; round < 5; ++round) {
        alone = std::min(alone, millisecondsOf([&] { work(0); }));
        together = std::min(together, millisecondsOf([&] {
                                std::thread other([&] { work(1); });
                                work(0);
                                other.join();
                            }));
    }
    return together / alone;
}

} // namespace

int main() {
    volatile uint64_t sink = 0;
    const double arithmetic = twoOverOne([&](int) { sink = spin(30'000'000); });
    const std::vector<uint32_t> next = randomCycle();
    const double memory = twoOverOne([&](int thread) {
        sink = chase(next, thread == 0 ? 0u : static_cast<uint32_t>(next.size() / 2), 200'000);
    });
    std::printf("%.2f %.2f\n", arithmetic, memory);
    return 0;
}
