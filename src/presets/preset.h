#pragma once

#include <cstdint>
#include <string_view>

#include "presets/systemDescription.h"

namespace bramblewisp {

// -type 0 to 4 select types 0 to 4; every other value selects type 0.
int32_t selectedType(int32_t type);

// The rules file of a type as shipped in systems/, built into the program.
std::string_view builtInSystemText(int32_t type);

// The selected type, its random spikes (types 0 to 2) counted by spikes.
SystemDescription createPreset(int32_t type, int32_t spikes);

} // namespace bramblewisp
