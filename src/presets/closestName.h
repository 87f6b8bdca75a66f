#pragma once

#include <span>
#include <string_view>

namespace bramblewisp {

// The candidate that word most likely misspells, for a "did you mean": one
// within two edits (insert, delete, replace, swap two neighbours; letter case
// ignored) of a short word or three of a longer one, the first of equally
// close ones; empty when none is. Two edits in a short word make another
// word rather than a typo, and a word of more than 32 letters is no typo of
// a name at all (nor worth a table of its length).
std::string_view closestName(std::string_view word, std::span<const std::string_view> candidates);

} // namespace bramblewisp
