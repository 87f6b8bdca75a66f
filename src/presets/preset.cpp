#include "presets/preset.h"

#include <stdexcept>

#include "presets/builtInSystems.h"
#include "presets/rulesFile.h"

namespace bramblewisp {

int32_t selectedType(int32_t type) {
    return type >= 0 && type <= 4 ? type : 0;
}

std::string_view builtInSystemText(int32_t type) {
    return kBuiltInSystems[selectedType(type)];
}

SystemDescription createPreset(int32_t type, int32_t spikes) {
    const int32_t selected = selectedType(type);
    const char name[] = {'t', 'y', 'p', 'e', static_cast<char>('0' + selected), '\0'};
    SystemRead read = readSystem(builtInSystemText(selected), name);
    if (!read.system) {
        // The tests read every built-in file: only a broken build gets here.
        throw std::logic_error("built-in " + read.problem.where + ": " + read.problem.what);
    }
    if (read.system->randomSpikes) {
        read.system->spikes = spikes;
    }
    return std::move(*read.system);
}

} // namespace bramblewisp
