#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "presets/piFraction.h"
#include "presets/rulesFile.h"
#include "presets/rulesFileText.h"

namespace bramblewisp {
namespace {

const std::filesystem::path kSystems = std::filesystem::path(BRAMBLEWISP_SOURCE_DIR) / "systems";

std::string contentsOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Whether the float is the one nearest to numerator * pi / denominator:
// within half a step of it, worked out in a wider type with pi in two parts.
bool nearestToPiFraction(float value, int numerator, int denominator) {
    const long double piHigh = 3.141592653589793116L;
    const long double piLow = 1.2246467991473532e-16L;
    const long double miss =
        (numerator * piHigh - denominator * static_cast<long double>(value)) + numerator * piLow;
    const float next = std::nextafter(value, 2 * value);
    return std::fabs(miss) < denominator * static_cast<long double>(next - value) / 2 * 0.999L;
}

// Every number of every shipped file is written as the float it stands for
// (the shortest digits that give it), and rounds to it through a double as
// well, so no reader of the text can take another; every fraction of pi
// gives the nearest float.
TEST(ShippedSystemsTest, EveryNumberIsItsFloatExactly) {
    int files = 0, numbers = 0, fractions = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kSystems)) {
        const std::string text = contentsOf(entry.path());
        const SystemRead read = readSystem(text, entry.path().filename().string());
        ASSERT_TRUE(read.system) << read.problem.where << ": " << read.problem.what;
        ++files;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            line = line.substr(0, line.find('#'));
            const std::regex token(R"rx("([^"]*)"|[A-Za-z_]\w*|([-+]?[0-9][0-9_.eE+-]*))rx");
            for (std::sregex_iterator it(line.begin(), line.end(), token), end; it != end; ++it) {
                if ((*it)[1].matched) {
                    const std::optional<PiFraction> f = piFractionOf((*it)[1].str());
                    ASSERT_TRUE(f) << line;
                    EXPECT_TRUE(nearestToPiFraction(piFraction(f->numerator, f->denominator),
                                                    f->numerator, f->denominator))
                        << line;
                    ++fractions;
                } else if ((*it)[2].matched) {
                    const std::string written = (*it)[2].str();
                    const std::optional<float> value = nearestFloat(written);
                    ASSERT_TRUE(value) << written;
                    char shortest[32];
                    *std::to_chars(shortest, shortest + 31, *value).ptr = '\0';
                    EXPECT_EQ(written, shortest) << line;
                    EXPECT_EQ(static_cast<float>(std::strtod(written.c_str(), nullptr)), *value);
                    ++numbers;
                }
            }
        }
    }
    EXPECT_GE(files, 5);
    EXPECT_GT(numbers, 400);
    EXPECT_GT(fractions, 100);
}

} // namespace
} // namespace bramblewisp
