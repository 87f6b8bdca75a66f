// Any argument vector: the arguments are the input split at NUL bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/options.h"
#include "app/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::vector<std::string> words(1);
    for (std::size_t i = 0; i < size && words.size() < 64; ++i) {
        if (data[i] == 0) {
            words.emplace_back();
        } else {
            words.back().push_back(static_cast<char>(data[i]));
        }
    }
    std::vector<char*> arguments;
    for (std::string& word : words) {
        arguments.push_back(word.data());
        bramblewisp::parseDecimal(word.c_str());
    }
    arguments.push_back(nullptr);

    bramblewisp::unknownOptionWarnings(static_cast<int32_t>(words.size()), arguments.data());

    // Whatever the words, the settings select a picture the run can draw.
    const bramblewisp::Options options{static_cast<int32_t>(words.size()), arguments.data()};
    const bramblewisp::Settings read = bramblewisp::readSettings(options);
    if (read.type < 0 || read.type > 4 || read.background < 0 || read.background > 2 ||
        read.postEffect < 0 || read.postEffect > 3) {
        std::abort();
    }
    const std::optional<bramblewisp::Settings> parsed = bramblewisp::parseSettings(options);
    if (parsed && !(*parsed == read)) {
        std::abort();
    }
    return 0;
}
