#include "app/options.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "app/consoleTranscript.h"
#include "usageText.h"

namespace bramblewisp {
namespace {

struct LookupCase {
    std::vector<std::string> arguments; // position 0 is the program name
    const char* name;
    bool found;
    int32_t value;
};

TEST(OptionsTest, LookupScansTheWholeCommandLine) {
    const LookupCase cases[] = {
        {{"prog", "-time", "5"}, "-time", true, 5},
        {{"prog", "-TIME", "7"}, "-time", true, 7},
        {{"prog", "-Seed", "3"}, "-seed", true, 3},
        {{"prog", "-seed", "1", "-seed", "2"}, "-seed", true, 1},
        {{"-seed", "9"}, "-seed", true, 9},
        {{"prog", "-dark", "1", "-iter"}, "-iter", false, 77},
        {{"prog", "-seed", "-iter", "-iter", "3"}, "-iter", true, 0},
        {{"prog", "-seed", "-iter", "-iter", "3"}, "-seed", true, 0},
        {{"prog", "-timeout", "5"}, "-time", false, 77},
        // Only ASCII letters fold: carriage return is hyphen with bit 5 cleared.
        {{"prog", "\rtime", "5"}, "-time", false, 77},
        {{}, "-time", false, 77}};
    for (const LookupCase& c : cases) {
        std::vector<char*> argv;
        for (const std::string& argument : c.arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        const Options options{static_cast<int32_t>(argv.size()), argv.data()};
        int32_t value = 77;
        EXPECT_EQ(options.lookup(c.name, value), c.found) << c.name << " in case " << &c - cases;
        EXPECT_EQ(value, c.value) << c.name << " in case " << &c - cases;
    }
}

// 18446744073709551621 is 2^64 + 5: an accumulation that wraps would read 5.
TEST(OptionsTest, ParseDecimalIsPlainAndSaturates) {
    // clang-format off
    const std::pair<const char*, int32_t> cases[] = {
        {" \t\n\v\f\r42", 42}, {"+5", 5}, {"-5", -5}, {"12abc", 12}, {"", 0}, {"abc", 0},
        {"-", 0}, {"+-3", 0}, {"2147483647", INT_MAX}, {"2147483648", INT_MAX},
        {"4294967296", INT_MAX}, {"99999999999999999999999", INT_MAX},
        {"-2147483648", INT_MIN}, {"-2147483649", INT_MIN}, {"-4294967297", INT_MIN},
        {"18446744073709551621", INT_MAX}, {"-99999999999999999999", INT_MIN}};
    // clang-format on
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(parseDecimal(text), value) << '"' << text << '"';
    }
}

// Which arguments count as unknown options follows the lookup: a value is
// whatever comes after a name, even when it looks like an option.
TEST(OptionsTest, UnknownOptionsAreNamedWithAHint) {
    const std::string prefix = "ignoring unknown option ";
    const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
        {{"-tpye", "3", "-TIME", "1", "-Seed", "-x", "-5", "x", "-", "--", "-3e"},
         {"-tpye (did you mean -type?)"}},
        {{"--time", "30", "-time=30", "--Seed=", "-prefix", "2"},
         {"--time (options take one hyphen: -time)", "-time=30 (write -time 30)",
          "--Seed= (write -seed VALUE)", "-prefix (did you mean -prefx?)"}},
        {{"-timeout", "1", "-foo", "-bar", "-iter", "-cpu", "-spikes"},
         {"-timeout", "-foo", "-bar"}},
        {{"-dark", "-spiks"}, {}},
        {{"-wat"}, {"-wat"}}};
    for (const auto& [arguments, expected] : cases) {
        std::vector<std::string> words{"prog"};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        std::vector<std::string> lines;
        for (const std::string& line : expected) {
            lines.push_back(prefix + line);
        }
        EXPECT_EQ(unknownOptionWarnings(static_cast<int32_t>(argv.size()), argv.data()), lines)
            << arguments[0];
    }
}

TEST(OptionsTest, UsageTextByteForByte) {
    ConsoleTranscript transcript;
    transcript.console.usage();
    EXPECT_EQ(transcript.text(), kExpectedUsage);
}

} // namespace
} // namespace bramblewisp
