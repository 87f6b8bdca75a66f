#include "app/options.h"

#include <gtest/gtest.h>

#include <climits>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/consoleTranscript.h"
#include "app/settings.h"
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
        {{"-widht", "9", "-pallete", "2", "-txet", "0", "-heigth"},
         {"-widht (did you mean -width?)", "-pallete (did you mean -palette?)",
          "-txet (did you mean -text?)", "-heigth (did you mean -height?)"}},
        {{"-dark", "-spiks"}, {}},
        {{"-otu", "a.png", "-out", "-a.png"}, {"-otu (did you mean -out?)"}},
        {{"-wat"}, {"-wat"}},
        // No typo of a name, however close its start: no hint, and no table
        // of its length.
        {{"-type" + std::string(100000, 'e')}, {"-type" + std::string(100000, 'e')}}};
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

// The picture's size, palette and text: values in range are taken, any
// other gives the default and one message naming the value used.
TEST(OptionsTest, PictureOptionsFallBackWithOneMessageEach) {
    struct Case {
        std::vector<std::string> arguments;
        int32_t width, height, palette;
        bool text;
        std::vector<std::string> messages;
    };
    const std::string pixels = ": expected at most 64 million pixels; using 800 x 600";
    const Case cases[] = {
        {{"-WIDTH", "1920", "-Height", "1080", "-palette", "6", "-text", "0"},
         1920,
         1080,
         6,
         false,
         {}},
        {{"-width", "16", "-height", "16384", "-palette", "0", "-text", "1"},
         16,
         16384,
         0,
         true,
         {}},
        {{"-width", "8000", "-height", "8000", "-width", "9"}, 8000, 8000, 0, true, {}},
        {{"-width", "0", "-height", "-3"},
         800,
         600,
         0,
         true,
         {"-width 0: expected 16 to 16384; using 800",
          "-height -3: expected 16 to 16384; using 600"}},
        {{"-width", "16385", "-height", "abc"},
         800,
         600,
         0,
         true,
         {"-width 16385: expected 16 to 16384; using 800",
          "-height 0: expected 16 to 16384; using 600"}},
        {{"-width", "16384", "-height", "3907"},
         800,
         600,
         0,
         true,
         {"-width 16384 -height 3907" + pixels}},
        {{"-width", "99999", "-height", "16384"},
         800,
         16384,
         0,
         true,
         {"-width 99999: expected 16 to 16384; using 800"}},
        {{"-palette", "-1", "-text", "2"},
         800,
         600,
         0,
         true,
         {"-palette -1: expected 0 to 6; using 0", "-text 2: expected 0 or 1; using 1"}},
        {{"-palette", "99"}, 800, 600, 0, true, {"-palette 99: expected 0 to 6; using 0"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words{"prog", "-time", "1", "-mem", "1", "-cpu", "1"};
        words.insert(words.end(), c.arguments.begin(), c.arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        std::vector<std::string> messages;
        const std::optional<Settings> settings =
            parseSettings(Options{static_cast<int32_t>(argv.size()), argv.data()}, &messages);
        ASSERT_TRUE(settings.has_value());
        EXPECT_EQ(settings->width, c.width) << c.arguments[1];
        EXPECT_EQ(settings->height, c.height) << c.arguments[1];
        EXPECT_EQ(settings->palette, c.palette) << c.arguments[1];
        EXPECT_EQ(settings->text, c.text) << c.arguments[1];
        EXPECT_EQ(messages, c.messages) << c.arguments[1];

        // A PNG's recipe names what was used, and read back gives it again.
        std::istringstream recipe(commandLineOf(*settings));
        std::vector<std::string> again{"prog"};
        again.insert(again.end(), std::istream_iterator<std::string>(recipe),
                     std::istream_iterator<std::string>());
        std::vector<char*> againArgv;
        for (std::string& word : again) {
            againArgv.push_back(word.data());
        }
        const std::optional<Settings> reread =
            parseSettings(Options{static_cast<int32_t>(againArgv.size()), againArgv.data()});
        ASSERT_TRUE(reread.has_value());
        EXPECT_EQ(*reread, *settings) << commandLineOf(*settings);
    }
}

TEST(OptionsTest, UsageTextByteForByte) {
    ConsoleTranscript transcript;
    transcript.console.usage();
    EXPECT_EQ(transcript.text(), kExpectedUsage);
}

} // namespace
} // namespace bramblewisp
