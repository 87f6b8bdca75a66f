#include "presets/rulesFile.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <utility>
#include <vector>

#include "presets/piFraction.h"
#include "presets/rulesFileText.h"

// Errors come back as values: no exception leaves the parser.
#define TOML_EXCEPTIONS 0
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

namespace bramblewisp {

namespace {

// What each value must be, as the messages say it.
constexpr const char* kLayer = "a whole number from 0 to 3";
constexpr const char* kWeight = "a number above 0 and at most 1";
constexpr const char* kScale = "a number from -1 to 1";
constexpr const char* kStep = "a number from -10 to 10";
constexpr const char* kIterations = "a whole number from 0 to 100";
constexpr const char* kSpikes = "a whole number from 1 to 1000000";
constexpr const char* kBoolean = "true or false";
constexpr const char* kTurn = "a list of three angles [x, y, z]";
constexpr const char* kAngle =
    "a number of radians from -4pi to 4pi, or a fraction of pi such as \"pi/4\" or \"-2pi/3\"";
constexpr const char* kPoint = "a list of three numbers [x, y, z]";
constexpr const char* kCoordinate = "a number from -1000 to 1000";
constexpr const char* kRules = "a list of rules, each { target = ..., scale = ..., step = ... }";
constexpr const char* kSeedList =
    "a list of seeds, each { position = [x, y, z], direction = [x, y, z] }";

// Turns beyond two whole turns either way add nothing.
constexpr float kMaxAngle = piFraction(4, 1);

struct Place {
    uint32_t line = 1;
    uint32_t column = 1;

    bool operator<(const Place& other) const {
        return line != other.line ? line < other.line : column < other.column;
    }
};

Place placeOf(const toml::source_region& region) {
    return {region.begin.line, region.begin.column};
}

class Reader {
  public:
    explicit Reader(std::string_view text) : text(text), lines(lineStarts(text)) {}

    SystemDescription read(const toml::table& root);

    // The first problem in the order of the file.
    std::optional<std::pair<Place, std::string>> first;

  private:
    void problem(Place at, std::string what) {
        if (!first || at < first->first) {
            first = {at, std::move(what)};
        }
    }
    void mustBe(const toml::node& node, std::string_view key, const char* expected) {
        problem(placeOf(node.source()), std::string(key) + " must be " + expected);
    }

    void checkKeys(const toml::table& table, std::initializer_list<std::string_view> known);
    const toml::node* need(const toml::table& table, std::string_view key, const char* owner,
                           const char* expected);

    std::optional<int32_t> whole(const toml::node& node, std::string_view key, int32_t low,
                                 int32_t high, const char* expected);
    std::optional<float> number(const toml::node& node);
    float ranged(const toml::node& node, std::string_view key, float low, float high,
                 const char* expected);
    float angle(const toml::node& node);
    bool boolean(const toml::node& node, std::string_view key);
    Vec3 point(const toml::node& node, std::string_view key);

    void readSeeds(const toml::table& root, SystemDescription& system);
    void readGroup(const toml::table& table, SystemDescription& system);
    RuleDescription readRule(const toml::node& node);

    std::string_view text;
    std::vector<std::size_t> lines;
    // Each rule's target, to check that the layer it names has groups.
    std::vector<std::pair<const toml::node*, int32_t>> targets;
};

void Reader::checkKeys(const toml::table& table, std::initializer_list<std::string_view> known) {
    for (const auto& [key, value] : table) {
        if (std::find(known.begin(), known.end(), key.str()) == known.end()) {
            problem(placeOf(key.source()),
                    "unknown key " + shownText(key.str()) + unknownKeyHint(key.str(), known));
        }
    }
}

const toml::node* Reader::need(const toml::table& table, std::string_view key, const char* owner,
                               const char* expected) {
    const toml::node* node = table.get(key);
    if (node == nullptr) {
        problem(placeOf(table.source()),
                std::string(owner) + " needs " + std::string(key) + ", " + expected);
    }
    return node;
}

std::optional<int32_t> Reader::whole(const toml::node& node, std::string_view key, int32_t low,
                                     int32_t high, const char* expected) {
    const auto* value = node.as_integer();
    if (value == nullptr || value->get() < low || value->get() > high) {
        mustBe(node, key, expected);
        return std::nullopt;
    }
    return static_cast<int32_t>(value->get());
}

// The float nearest to the number as written: read again from its own
// digits, since the double the TOML library holds may round to another.
std::optional<float> Reader::number(const toml::node& node) {
    if (const auto* value = node.as_integer()) {
        return static_cast<float>(value->get());
    }
    const auto* value = node.as_floating_point();
    if (value == nullptr || !std::isfinite(value->get())) {
        return std::nullopt;
    }
    const toml::source_region& at = node.source();
    const std::string_view written =
        sourceSpan(text, lines, at.begin.line, at.begin.column, at.end.line, at.end.column);
    return nearestFloat(written).value_or(static_cast<float>(value->get()));
}

float Reader::ranged(const toml::node& node, std::string_view key, float low, float high,
                     const char* expected) {
    const std::optional<float> value = number(node);
    if (!value || *value < low || *value > high) {
        mustBe(node, key, expected);
        return 0.0f;
    }
    return *value;
}

float Reader::angle(const toml::node& node) {
    std::optional<float> value;
    if (const auto* written = node.as_string()) {
        if (const std::optional<PiFraction> fraction = piFractionOf(written->get())) {
            const float size = piFraction(fraction->numerator, fraction->denominator);
            value = fraction->negative ? -size : size;
        }
    } else {
        value = number(node);
    }
    if (!value || std::fabs(*value) > kMaxAngle) {
        mustBe(node, "an angle", kAngle);
        return 0.0f;
    }
    return *value;
}

bool Reader::boolean(const toml::node& node, std::string_view key) {
    const auto* value = node.as_boolean();
    if (value == nullptr) {
        mustBe(node, key, kBoolean);
        return false;
    }
    return value->get();
}

Vec3 Reader::point(const toml::node& node, std::string_view key) {
    const toml::array* list = node.as_array();
    if (list == nullptr || list->size() != 3) {
        mustBe(node, key, kPoint);
        return {};
    }
    float xyz[3];
    for (std::size_t i = 0; i < 3; ++i) {
        xyz[i] = ranged((*list)[i], "a coordinate", -1000.0f, 1000.0f, kCoordinate);
    }
    return {xyz[0], xyz[1], xyz[2]};
}

SystemDescription Reader::read(const toml::table& root) {
    SystemDescription system;
    checkKeys(root, {"iterations", "turnsFollowSeed", "seeds", "group"});
    if (const toml::node* node = need(root, "iterations", "the file", kIterations)) {
        system.maxIterations =
            whole(*node, "iterations", 0, kMaxIterationCap, kIterations).value_or(0);
    }
    if (const toml::node* node = root.get("turnsFollowSeed")) {
        system.turnsFollowSeed = boolean(*node, "turnsFollowSeed");
    }
    readSeeds(root, system);

    const toml::node* groups = root.get("group");
    if (groups != nullptr && !groups->is_array_of_tables()) {
        problem(placeOf(groups->source()), "group must be written [[group]], once per group");
    } else if (groups != nullptr) {
        for (const toml::node& group : *groups->as_array()) {
            readGroup(*group.as_table(), system);
        }
    }

    // A particle sent to a layer without groups would end with the next
    // generation, and seeds in such a layer 0 would never grow.
    if (system.layers[0].empty()) {
        problem(placeOf(root.source()),
                "layer 0, where the seeds start, has no group: add a [[group]] with layer = 0");
    }
    for (const auto& [node, target] : targets) {
        if (system.layers[static_cast<std::size_t>(target)].empty()) {
            problem(placeOf(node->source()), "target " + std::to_string(target) +
                                                 " names a layer with no group: add a [[group]] "
                                                 "with layer = " +
                                                 std::to_string(target));
        }
    }
    return system;
}

void Reader::readSeeds(const toml::table& root, SystemDescription& system) {
    const toml::node* node = need(root, "seeds", "the file", "a [seeds] table");
    if (node == nullptr) {
        return;
    }
    const toml::table* seeds = node->as_table();
    if (seeds == nullptr) {
        mustBe(*node, "seeds", "a [seeds] table");
        return;
    }
    checkKeys(*seeds, {"spikes", "particles"});
    if (const toml::node* spikes = seeds->get("spikes")) {
        system.randomSpikes = true;
        system.spikes = whole(*spikes, "spikes", 1, kMaxSpikes, kSpikes).value_or(1);
    }
    if (const toml::node* particles = seeds->get("particles")) {
        const toml::array* list = particles->as_array();
        if (list == nullptr) {
            mustBe(*particles, "particles", kSeedList);
            return;
        }
        for (const toml::node& entry : *list) {
            if (system.seeds.size() == kMaxListedSeeds) {
                problem(placeOf(entry.source()),
                        "too many seeds: at most " + std::to_string(kMaxListedSeeds));
                break;
            }
            const toml::table* seed = entry.as_table();
            if (seed == nullptr) {
                mustBe(entry, "a seed", "{ position = [x, y, z], direction = [x, y, z] }");
                continue;
            }
            checkKeys(*seed, {"position", "direction"});
            Particle particle{};
            if (const toml::node* at = need(*seed, "position", "a seed", kPoint)) {
                particle.position = point(*at, "position");
            }
            if (const toml::node* towards = need(*seed, "direction", "a seed", kPoint)) {
                particle.direction = point(*towards, "direction");
            }
            system.seeds.push_back(particle);
        }
    }
    if (!system.randomSpikes && system.seeds.empty()) {
        problem(placeOf(seeds->source()),
                "the system has no seeds: [seeds] needs spikes = " + std::string(kSpikes) +
                    ", or particles = " + kSeedList);
    }
}

void Reader::readGroup(const toml::table& table, SystemDescription& system) {
    checkKeys(table, {"layer", "weight", "rules"});
    GroupDescription group;
    int32_t layer = 0;
    if (const toml::node* node = need(table, "layer", "a group", kLayer)) {
        layer = whole(*node, "layer", 0, kLayerCount - 1, kLayer).value_or(0);
    }
    if (const toml::node* node = need(table, "weight", "a group", kWeight)) {
        group.weight = ranged(*node, "weight", 0.0f, 1.0f, kWeight);
        if (group.weight == 0.0f) {
            mustBe(*node, "weight", kWeight);
        }
    }
    if (const toml::node* node = need(table, "rules", "a group", kRules)) {
        if (const toml::array* rules = node->as_array()) {
            for (const toml::node& rule : *rules) {
                if (group.rules.size() == kMaxRulesPerGroup) {
                    problem(placeOf(rule.source()), "too many rules in a group: at most " +
                                                        std::to_string(kMaxRulesPerGroup));
                    break;
                }
                group.rules.push_back(readRule(rule));
            }
        } else {
            mustBe(*node, "rules", kRules);
        }
    }
    auto& groups = system.layers[static_cast<std::size_t>(layer)];
    if (groups.size() == kMaxGroupsPerLayer) {
        problem(placeOf(table.source()), "too many groups in layer " + std::to_string(layer) +
                                             ": at most " + std::to_string(kMaxGroupsPerLayer));
        return;
    }
    groups.push_back(std::move(group));
}

RuleDescription Reader::readRule(const toml::node& node) {
    RuleDescription rule;
    const toml::table* table = node.as_table();
    if (table == nullptr) {
        mustBe(node, "a rule", "{ target = ..., scale = ..., step = ... }");
        return rule;
    }
    checkKeys(*table, {"target", "turn", "jitter", "scale", "step"});
    if (const toml::node* target = need(*table, "target", "a rule", kLayer)) {
        if (const std::optional<int32_t> layer = whole(*target, "target", 0, 3, kLayer)) {
            rule.target = *layer;
            targets.emplace_back(target, *layer);
        }
    }
    if (const toml::node* turn = table->get("turn")) {
        const toml::array* angles = turn->as_array();
        if (angles != nullptr && angles->size() == 3) {
            rule.angleX = angle((*angles)[0]);
            rule.angleY = angle((*angles)[1]);
            rule.angleZ = angle((*angles)[2]);
        } else {
            mustBe(*turn, "turn", kTurn);
        }
    }
    if (const toml::node* jitter = table->get("jitter")) {
        rule.jitter = boolean(*jitter, "jitter");
    }
    if (const toml::node* scale = need(*table, "scale", "a rule", kScale)) {
        rule.scale = ranged(*scale, "scale", -1.0f, 1.0f, kScale);
    }
    if (const toml::node* step = need(*table, "step", "a rule", kStep)) {
        rule.step = ranged(*step, "step", -10.0f, 10.0f, kStep);
    }
    return rule;
}

std::string at(const std::string& fileName, Place place) {
    return fileName + ":" + std::to_string(place.line) + ":" + std::to_string(place.column);
}

} // namespace

SystemRead readSystem(std::string_view text, const std::string& fileName) {
    const std::string name = shownName(fileName);
    if (text.size() > kMaxRulesFileBytes) {
        return {std::nullopt, {name, "is larger than 1 MB, too large for a rules file"}};
    }
    if (const std::optional<TextFault> fault = firstTextFault(text)) {
        return {std::nullopt, {at(name, {fault->line, fault->column}), fault->what}};
    }
    toml::parse_result parsed = toml::parse(text, std::string_view(fileName));
    if (!parsed) {
        const toml::parse_error& error = parsed.error();
        std::string what = shownName(error.description());
        if (!what.empty() && what[0] >= 'A' && what[0] <= 'Z') {
            what[0] = static_cast<char>(what[0] - 'A' + 'a');
        }
        return {std::nullopt, {at(name, placeOf(error.source())), what}};
    }
    Reader reader(text);
    SystemDescription system = reader.read(parsed.table());
    if (reader.first) {
        return {std::nullopt, {at(name, reader.first->first), reader.first->second}};
    }
    return {std::move(system), {}};
}

} // namespace bramblewisp
