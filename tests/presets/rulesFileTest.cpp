#include "presets/rulesFile.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>

namespace bramblewisp {
namespace {

// Three lines, then a group of layer 0 from line 4 on.
const std::string kHead = "iterations = 5\n[seeds]\nspikes = 2\n";
const std::string kGroup = "[[group]]\nlayer = 0\nweight = 1\n";

std::string withRule(const std::string& rule) {
    return kHead + kGroup + "rules = [" + rule + "]\n";
}

std::string repeated(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) {
        all += text;
    }
    return all;
}

std::string problemOf(const std::string& text) {
    const SystemRead read = readSystem(text, "my.toml");
    return read.system ? "no problem" : read.problem.where + ": " + read.problem.what;
}

TEST(RulesFileTest, EveryBadFileGetsItsOneLine) {
    const std::string rule = "{ target = 0, scale = 0.5, step = 0.5 }";
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {std::string("iterations = 5\0\1", 16),
         "my.toml:1:15: control character 0x00 where text was expected: is this a rules file?"},
        {"iterations = 5 # caf\xe9\n",
         "my.toml:1:21: byte 0xe9 is not UTF-8: save the file as UTF-8"},
        {"# \xc3\xa9\xed\xa0\x80\n", "my.toml:1:4: byte 0xed is not UTF-8: save the file as UTF-8"},
        // Once undefined behaviour in the TOML library.
        {"iterations = \xc3\xa9\n",
         "my.toml:1:14: error while parsing value: could not determine value type"},
        {"iterations = \n",
         "my.toml:1:14: error while parsing key-value pair: expected value, saw '\\n'"},
        {std::string(kMaxRulesFileBytes + 1, '#'),
         "my.toml: is larger than 1 MB, too large for a rules file"},
        {"", "my.toml:1:1: the file needs iterations, a whole number from 0 to 100"},
        {"iterations = 5\n", "my.toml:1:1: the file needs seeds, a [seeds] table"},
        {kHead, "my.toml:1:1: layer 0, where the seeds start, has no group: add a [[group]] with "
                "layer = 0"},
        {"iterations = 5\n[seeds]\n" + kGroup + "rules = []\n",
         "my.toml:2:1: the system has no seeds: [seeds] needs spikes = a whole number from 1 to "
         "1000000, or particles = a list of seeds, each { position = [x, y, z], direction = [x, "
         "y, z] }"},
        // A misspelt key comes before the key it leaves missing.
        {kHead + "[[group]]\nlayer = 0\nwieght = 1\nrules = []\n",
         "my.toml:6:1: unknown key 'wieght' (did you mean weight?)"},
        {kHead + "colour = 3\n" + kGroup + "rules = []\n",
         "my.toml:4:1: unknown key 'colour': expected spikes or particles"},
        {kHead + "[[group]]\nlayer = 0\nrules = []\n",
         "my.toml:4:1: a group needs weight, a number above 0 and at most 1"},
        {kHead + "[group]\nlayer = 0\n", "my.toml:4:1: group must be written [[group]], once "
                                         "per group"},
        {"iterations = 3.5\n", "my.toml:1:14: iterations must be a whole number from 0 to 100"},
        {"iterations = 101\n", "my.toml:1:14: iterations must be a whole number from 0 to 100"},
        {"iterations = 5\n[seeds]\nspikes = 0\n",
         "my.toml:3:10: spikes must be a whole number from 1 to 1000000"},
        {"iterations = 5\nturnsFollowSeed = 1\n",
         "my.toml:2:19: turnsFollowSeed must be true or false"},
        {kHead + "[[group]]\nlayer = 4\n", "my.toml:5:9: layer must be a whole number from 0 to 3"},
        {kHead + "[[group]]\nlayer = 0\nweight = 0\n",
         "my.toml:6:10: weight must be a number above 0 and at most 1"},
        {kHead + "[[group]]\nlayer = 0\nweight = nan\n",
         "my.toml:6:10: weight must be a number above 0 and at most 1"},
        {kHead + "[[group]]\nlayer = 0\nweight = \"heavy\"\n",
         "my.toml:6:10: weight must be a number above 0 and at most 1"},
        {kHead + kGroup + "rules = 3\n",
         "my.toml:7:9: rules must be a list of rules, each { target = ..., scale = ..., step = "
         "... }"},
        {withRule("3"), "my.toml:7:10: a rule must be { target = ..., scale = ..., step = ... }"},
        {withRule("{ target = 0, scale = 0.5 }"),
         "my.toml:7:10: a rule needs step, a number from -10 to 10"},
        {withRule("{ target = 4, scale = 0.5, step = 0 }"),
         "my.toml:7:21: target must be a whole number from 0 to 3"},
        {withRule("{ target = 2, scale = 0.5, step = 0 }"),
         "my.toml:7:21: target 2 names a layer with no group: add a [[group]] with layer = 2"},
        {withRule("{ target = 0, scale = 1.5, step = 0 }"),
         "my.toml:7:32: scale must be a number from -1 to 1"},
        {withRule("{ target = 0, scale = -inf, step = 0 }"),
         "my.toml:7:32: scale must be a number from -1 to 1"},
        {withRule("{ target = 0, scale = 1, step = 10.5 }"),
         "my.toml:7:42: step must be a number from -10 to 10"},
        {withRule("{ target = 0, scale = 1, step = 0, turn = [1, 2] }"),
         "my.toml:7:52: turn must be a list of three angles [x, y, z]"},
        {withRule("{ target = 0, scale = 1, step = 0, turn = [0, 13, 0] }"),
         "my.toml:7:56: an angle must be a number of radians from -4pi to 4pi, or a fraction of "
         "pi such as \"pi/4\" or \"-2pi/3\""},
        {withRule("{ target = 0, scale = 1, step = 0, turn = [0, 0, \"pi/0\"] }"),
         "my.toml:7:59: an angle must be a number of radians from -4pi to 4pi, or a fraction of "
         "pi such as \"pi/4\" or \"-2pi/3\""},
        {withRule("{ target = 0, scale = 1, step = 0, jitter = \"yes\" }"),
         "my.toml:7:54: jitter must be true or false"},
        {withRule("{ target = 0, scale = 1, step = 0, stpe = 1 }"),
         "my.toml:7:45: unknown key 'stpe' (did you mean step?)"},
        {"iterations = 5\n[seeds]\nparticles = [{ position = [0, 0], direction = [0, 1, 0] }]\n",
         "my.toml:3:27: position must be a list of three numbers [x, y, z]"},
        {"iterations = 5\n[seeds]\nparticles = [{ position = [0, 0, 1e4], direction = [0, 1, "
         "0] }]\n",
         "my.toml:3:34: a coordinate must be a number from -1000 to 1000"},
        {"iterations = 5\n[seeds]\nparticles = [{ position = [0, 0, 0] }]\n" + kGroup +
             "rules = []\n",
         "my.toml:3:14: a seed needs direction, a list of three numbers [x, y, z]"},
        {"iterations = 5\n[seeds]\nparticles = [\n" +
             repeated("{ position = [0, 0, 0], direction = [0, 1, 0] },\n", 4097) + "]\n",
         "my.toml:4100:1: too many seeds: at most 4096"},
        {kHead + repeated(kGroup + "rules = []\n", 17), "my.toml:68:1: too many groups in layer 0: "
                                                        "at most 16"},
        {withRule(repeated(rule + ", ", 33)), "my.toml:7:1322: too many rules in a group: at most "
                                              "32"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(problemOf(c.text), c.expected) << c.text.substr(0, 200);
    }
}

// Groups and rules keep their order, the listed seeds come before the random
// spikes, and a turn may be written as a fraction of pi.
TEST(RulesFileTest, ReadsWhatTheFileSays) {
    const SystemRead read = readSystem(
        "iterations = 7\nturnsFollowSeed = true\n"
        "[seeds]\nspikes = 3\nparticles = [{ position = [1, 2, 3], direction = [0, -1_0.5, +0.25] "
        "}]\n" +
            kGroup + "rules = [{ target = 1, scale = 1, step = 0 }]\n" +
            "[[group]]\nlayer = 1\nweight = 0.25\nrules = [{ target = 0, turn = [\"-2pi/3\", "
            "\"3*pi/8\", 0.5], jitter = true, scale = -0.5, step = 2 }]\n" +
            "[[group]]\nlayer = 1\nweight = 0.75\nrules = []\n",
        "good.toml");
    ASSERT_TRUE(read.system) << read.problem.where << ": " << read.problem.what;
    const SystemDescription& system = *read.system;
    EXPECT_EQ(system.maxIterations, 7);
    EXPECT_TRUE(system.turnsFollowSeed);
    EXPECT_TRUE(system.randomSpikes);
    EXPECT_EQ(system.spikes, 3);
    ASSERT_EQ(system.seeds.size(), 1u);
    EXPECT_EQ(system.seeds[0].position.z, 3.0f);
    EXPECT_EQ(system.seeds[0].direction.y, -10.5f);
    EXPECT_EQ(system.seeds[0].direction.z, 0.25f);
    ASSERT_EQ(system.layers[1].size(), 2u);
    EXPECT_EQ(system.layers[1][1].weight, 0.75f);
    EXPECT_TRUE(system.layers[1][1].rules.empty());
    const RuleDescription& rule = system.layers[1][0].rules.at(0);
    EXPECT_EQ(rule.angleX, -2.0943952f);
    EXPECT_EQ(rule.angleY, 1.1780972f);
    EXPECT_EQ(rule.angleZ, 0.5f);
    EXPECT_TRUE(rule.jitter);
    EXPECT_EQ(rule.scale, -0.5f);
    EXPECT_EQ(rule.step, 2.0f);
}

// The decimal lies just above the midpoint of two floats, but within half a
// step of the double that is that midpoint: rounded through a double, it
// would fall to the even float below.
TEST(RulesFileTest, NumbersRoundOnceToTheNearestFloat) {
    const SystemRead read =
        readSystem(withRule("{ target = 0, scale = 0.5000000298023224, step = 0 }"), "near.toml");
    ASSERT_TRUE(read.system);
    EXPECT_EQ(std::bit_cast<uint32_t>(read.system->layers[0][0].rules[0].scale), 0x3F000001u);
    EXPECT_EQ(static_cast<float>(0.5000000298023224), 0.5f);
}

} // namespace
} // namespace bramblewisp
