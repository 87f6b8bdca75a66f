#include "presets/closestName.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

namespace bramblewisp {

namespace {

constexpr std::size_t kLongestTypo = 32;

char foldCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Three rows of the edit table suffice: a swap looks two rows back.
std::size_t editDistance(std::string_view a, std::string_view b) {
    std::array<std::vector<std::size_t>, 3> rows;
    for (auto& row : rows) {
        row.resize(b.size() + 1);
    }
    for (std::size_t i = 0; i <= a.size(); ++i) {
        std::vector<std::size_t>& d = rows[i % 3];
        const std::vector<std::size_t>& up = rows[(i + 2) % 3];
        const std::vector<std::size_t>& upTwo = rows[(i + 1) % 3];
        for (std::size_t j = 0; j <= b.size(); ++j) {
            if (i == 0 || j == 0) {
                d[j] = i + j;
                continue;
            }
            const bool same = foldCase(a[i - 1]) == foldCase(b[j - 1]);
            d[j] = std::min({up[j] + 1, d[j - 1] + 1, up[j - 1] + (same ? 0 : 1)});
            if (i > 1 && j > 1 && foldCase(a[i - 1]) == foldCase(b[j - 2]) &&
                foldCase(a[i - 2]) == foldCase(b[j - 1])) {
                d[j] = std::min(d[j], upTwo[j - 2] + 1);
            }
        }
    }
    return rows[a.size() % 3][b.size()];
}

} // namespace

std::string_view closestName(std::string_view word, std::span<const std::string_view> candidates) {
    if (word.size() > kLongestTypo) {
        return {};
    }
    std::string_view closest;
    std::size_t best = word.size() > 5 ? 3 : 2;
    for (const std::string_view candidate : candidates) {
        const std::size_t distance = editDistance(word, candidate);
        if (distance < best) {
            best = distance;
            closest = candidate;
        }
    }
    return closest;
}

} // namespace bramblewisp
