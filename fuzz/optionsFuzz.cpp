// Any argument vector: the arguments are the input split at NUL bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/options.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The usage text would flood the fuzzer's own output.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        std::abort();
    }
    return 0;
}

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

    bramblewisp::App app;
    const int32_t count = static_cast<int32_t>(words.size());
    if (app.parseOptions(count, arguments.data())) {
        if (!app.timer || !app.memory || !app.background) {
            std::abort();
        }
        if (app.preset.maxIterations != 8 && app.preset.maxIterations != 12) {
            std::abort();
        }
    } else if (app.timer || app.memory || app.background || app.postEffect) {
        std::abort();
    }
    return 0;
}
