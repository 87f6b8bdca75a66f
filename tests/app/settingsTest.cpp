#include "app/settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bramblewisp {
namespace {

std::optional<Settings> parsed(std::vector<std::string> words) {
    words.insert(words.begin(), "prog");
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    return parseSettings(Options{static_cast<int32_t>(argv.size()), argv.data()});
}

// The selections are made here, once: values out of range fall back as the
// run draws them.
TEST(SettingsTest, OptionsBecomeTheSettingsOfTheirPicture) {
    const std::vector<std::string> required{"-time", "10", "-mem", "0", "-cpu", "0"};
    Settings defaults;
    defaults.timeLimit = 10;
    defaults.memOption = 0;
    defaults.cpuOption = 0;
    const auto with = [&](auto change) {
        Settings s = defaults;
        change(s);
        return s;
    };
    const std::pair<std::vector<std::string>, Settings> cases[] = {
        {{}, defaults},
        {{"-prefx", "7", "-postfx", "4", "-type", "5"}, defaults},
        {{"-prefx", "-1", "-postfx", "-1", "-type", "-1"}, defaults},
        {{"-PREFX", "2", "-postfx", "3", "-type", "4", "-spikes", "1000"}, with([](Settings& s) {
             s.background = 2, s.postEffect = 3, s.type = 4, s.spikes = 1000;
         })},
        {{"-dark", "2", "-Seed", "-5", "-iter", "3", "-iter", "9"},
         with([](Settings& s) { s.dark = true, s.seed = -5, s.iterations = 3; })},
        {{"-prefx", "0", "-dark", "0"}, with([](Settings& s) { s.background = 0; })},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        std::vector<std::string> words = required;
        words.insert(words.end(), cases[i].first.begin(), cases[i].first.end());
        const std::optional<Settings> settings = parsed(words);
        ASSERT_TRUE(settings.has_value());
        EXPECT_TRUE(*settings == cases[i].second) << "case " << i;
    }
    EXPECT_FALSE(parsed({"-time", "10", "-mem", "0"}).has_value());
    EXPECT_FALSE(parsed({"-time", "10", "-mem", "0", "-seed", "1", "-cpu"}).has_value());
    EXPECT_TRUE(parsed({"-time", "x", "-mem", "-cpu", "-cpu", "1"}).has_value());
}

} // namespace
} // namespace bramblewisp
