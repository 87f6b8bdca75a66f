// growGenerationInParts: the generation that growGeneration (its plain twin)
// grows, its children made by parts of the walk side by side.
#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "app/evolution.h"
#include "platform/prefetch.h"

namespace bramblewisp {

namespace {

// A part's share of a window, in chunks of the walked list. Each part but
// the first starts by skipping its copy of the rule generator to its place,
// about 400,000 instructions, against some 10 million for the part's work.
constexpr std::size_t kChunksPerPart = 32;
// A window's parents keep their memory while its children are made, so a
// run needs room for that many chunks above what the plain walk needs (3 MB
// at most). Many workers share a window in smaller parts, but no smaller
// than kFewestChunksPerPart: with 8, the lists of a run's middle generations
// (types 0, 1 and 4: 4 to 15 chunks each) were walked by one thread, up to
// 11 ms of type 1's 50, and parts of 2 chunks gained nothing more.
constexpr std::size_t kMostWindowChunks = 128;
constexpr std::size_t kFewestChunksPerPart = 4;

// What was decided for a particle, when not the index of its
// layer's group.
constexpr int32_t kNoChildren = -1; // no group, or too short
constexpr int32_t kCarried = -2;    // passed over unchanged into its own layer

using LayerCounts = std::array<int32_t, kLayerCount>;

// The particles of all four lists, which the overflow check weighs.
int64_t sumOf(const LayerCounts& counts) {
    return int64_t{counts[0]} + counts[1] + counts[2] + counts[3];
}

void addTo(LayerCounts& counts, const LayerCounts& more) {
    for (int l = 0; l < kLayerCount; ++l) {
        counts[l] += more[l];
    }
}

// A group of a layer: its running weight total, summed in double precision
// in the order the walk sums it, and what applying it to a fertile parent
// costs the rule generator and adds to each list of the next bank.
struct GroupPlan {
    double total;
    const RuleGroup* group;
    uint64_t draws;
    LayerCounts children{};
    bool drawingAhead = false; // its children made by emitDrawingAhead
};

std::vector<GroupPlan> plansOf(const RuleLayer& groups) {
    std::vector<GroupPlan> plans;
    double total = 0.0;
    for (const auto& group : groups) {
        total += group->weight;
        GroupPlan plan{total, group.get(), 0};
        for (const Rule& rule : group->rules) {
            plan.draws += static_cast<uint64_t>(rule.draws());
            ++plan.children[rule.targetLayer];
        }
        plan.drawingAhead = plan.draws > 0 && group->rules.size() <= RuleGroup::kMostRulesAhead;
        plans.push_back(plan);
    }
    return plans;
}

// Whether every group's running total is above the one before (and the
// first above 0), as when every weight is above 0: false for a NaN.
bool rises(const std::vector<GroupPlan>& plans) {
    double before = 0.0;
    for (const GroupPlan& plan : plans) {
        if (!(plan.total > before)) {
            return false;
        }
        before = plan.total;
    }
    return true;
}

// Where a part starts: its first chunk of the window, its place in the rule
// generator's stream (from the window's start), and the positions of its
// first children in the next bank's lists.
struct PartStart {
    std::size_t chunk;
    uint64_t draws;
    LayerCounts positions;
};

// What a chunk's particles take of the rule generator and add to each list
// of the next bank (carried particles included).
struct ChunkCounts {
    uint64_t draws = 0;
    LayerCounts children{};
};

// Making a child costs about as much as walking past four parents. Parts cut
// by chunks alone differed by up to a fifth (type 4's first parts have more
// fertile parents), and a window waits for its slowest part.
constexpr int64_t kParentsPerChild = 4;

// Room for a window's decisions, kept from one layer's walk to the next and
// never cleared: every slot is written before it is read. Clearing a fresh
// one for each walk took about 1.5 ms of type 0's growth on two workers.
class DecisionSlots {
  public:
    int32_t* atLeast(std::size_t count) {
        if (count > size) {
            slots.reset(new int32_t[count]); // left unset: see above
            size = count;
        }
        return slots.get();
    }

  private:
    std::unique_ptr<int32_t[]> slots;
    std::size_t size = 0;
};

using Window = std::span<const std::span<const Particle>>;

// One layer's walk, a window of chunks at a time: the parts take their
// particles' choice draws and decide their fates exactly as the plain walk
// does, counting where the children go and how many rule numbers they take;
// running totals of those counts give each part its places, and the parts
// make the children side by side, each into its own places. A part that has
// made its children decides its share of the next window in the same job:
// a job of the pool costs a wake of a sleeping worker, which a shared host
// may serve late (2 to 8 ms of a run here).
class LayerWalk {
  public:
    LayerWalk(ParticleSystem& system, int layer, Progress& progress, platform::WorkerPool& workers,
              int32_t overflowLimit, bool askToWrite, std::array<DecisionSlots, 2>& slots)
        : system(system), layer(layer), progress(progress), workers(workers),
          overflowLimit(overflowLimit), askToWrite(askToWrite), slots(slots),
          next(system.store->nextBank()), plans(plansOf(system.layers[layer])),
          totalsRise(rises(plans)) {}

    void walk() {
        ParticleList& list = system.store->currentBank()[layer];
        chunkSize = static_cast<std::size_t>(list.chunkSize);
        const auto workerCount = static_cast<std::size_t>(workers.workers());
        list.drainByWindows(
            std::min(kChunksPerPart * workerCount, kMostWindowChunks),
            [&](Window window, Window following) { walkWindow(window, following); });
    }

  private:
    // The window's children, its decisions made first unless they were made
    // ahead; the following window is decided ahead where the parts can.
    void walkWindow(Window window, Window following) {
        const int parts = partsFor(window);
        if (!decidedAhead) {
            decide(window, parts);
        }
        prepareMaking(window, parts);
        decidedAhead =
            parts > 1 && !overflowing && !following.empty() && partsFor(following) == parts;
        if (!decidedAhead) {
            makeChildren(window, parts, Window{});
            return;
        }
        planDecisions(following, parts, slots[1 - current]);
        makeChildren(window, parts, following);
        keepOrReplay(following, parts);
        current = 1 - current;
    }

    int partsFor(Window window) const {
        return static_cast<int>(std::clamp<std::size_t>(
            window.size() / kFewestChunksPerPart, 1, static_cast<std::size_t>(workers.workers())));
    }

    // The decisions over a window, in parts where that keeps the walk's
    // order, else one particle after another.
    void decide(Window window, int parts) {
        if (parts == 1 || overflowing) {
            decisionsInto(slots[current], window);
            decideSerially(window);
            return;
        }
        planDecisions(window, parts, slots[current]);
        workers.run(parts, [&](int part) { decidePart(window, part, parts); });
        keepOrReplay(window, parts);
    }

    // The parts' decisions of the window planned last, or, where an overflow
    // check would have found the bank full, the walk's own one by one.
    void keepOrReplay(Window window, int parts) {
        if (!keepDecisions(parts)) {
            decideSerially(window);
        }
    }

    // Where each part starts making the window's children, and the room for
    // them in the next bank's lists.
    void prepareMaking(Window window, int parts) {
        decisions = slots[current].atLeast(window.size() * chunkSize);
        cutForMaking(window, parts, nextCounts());
        for (int l = 0; l < kLayerCount; ++l) {
            next[l].extendTo(starts[static_cast<std::size_t>(parts)].positions[l]);
        }
    }

    void decisionsInto(DecisionSlots& room, Window window) {
        decided = room.atLeast(window.size() * chunkSize);
        chunkCounts.resize(window.size());
    }

    // The parts that make the window's children, each about an equal share
    // of the work, and where each starts; the first children go to `first`.
    void cutForMaking(Window window, int parts, LayerCounts first) {
        const auto partCount = static_cast<std::size_t>(parts);
        auto work = [&](std::size_t c) {
            return kParentsPerChild * sumOf(chunkCounts[c].children) +
                   static_cast<int64_t>(window[c].size());
        };
        int64_t total = 0;
        for (std::size_t c = 0; c < window.size(); ++c) {
            total += work(c);
        }
        starts.resize(partCount + 1);
        PartStart at{0, 0, first};
        int64_t done = 0;
        std::size_t part = 0;
        for (std::size_t c = 0; c < window.size(); ++c) {
            // Part k starts at the first chunk with k / parts of the work
            // before it.
            while (part < partCount && done * parts >= total * static_cast<int64_t>(part)) {
                starts[part++] = at;
            }
            at.chunk = c + 1;
            at.draws += chunkCounts[c].draws;
            addTo(at.positions, chunkCounts[c].children);
            done += work(c);
        }
        while (part <= partCount) {
            starts[part++] = at;
        }
    }

    // The next bank's list lengths so far.
    LayerCounts nextCounts() const {
        LayerCounts counts;
        for (int l = 0; l < kLayerCount; ++l) {
            counts[l] = next[l].count;
        }
        return counts;
    }

    // The overflow check's counter after a further count of particles.
    int32_t checkAfter(uint64_t count) const {
        return static_cast<int32_t>((static_cast<uint64_t>(check) + count) &
                                    static_cast<uint64_t>(kCheckPeriodMask));
    }

    // The first chunk of a window's part.
    static std::size_t firstChunk(Window window, int part, int parts) {
        return window.size() * static_cast<std::size_t>(part) / static_cast<std::size_t>(parts);
    }

    // A particle's fate, as the plain walk decides it once the overflow
    // check has let it grow: its choice draw picks a group, which applies
    // if the particle is long enough. Counts what its children take.
    int32_t fateOf(const Particle& p, Ranmar& random, uint64_t& draws,
                   LayerCounts& children) const {
        const float u = static_cast<float>(random.next() & 0xFFFF) * (1.0f / 65536.0f);
        const std::size_t g = groupOf(u);
        if (g == plans.size() || !RuleGroup::fertile(p)) {
            return kNoChildren;
        }
        draws += plans[g].draws;
        addTo(children, plans[g].children);
        return static_cast<int32_t>(g);
    }

    // The first group whose running total reaches u, or plans.size(). Where
    // the totals never fall, that is the number of totals below u: counted
    // without a branch, as the draws are random and a branch mispredicted
    // every other particle (a quarter of type 3's deciding).
    std::size_t groupOf(float u) const {
        std::size_t g = 0;
        if (totalsRise) {
            for (const GroupPlan& plan : plans) {
                g += plan.total < u ? 1 : 0;
            }
            return g;
        }
        while (g < plans.size() && !(plans[g].total >= u)) {
            ++g;
        }
        return g;
    }

    // The walk's order, one particle after another: the plain twin of
    // deciding in parts, and the road once the next bank is full.
    void decideSerially(Window window) {
        LayerCounts planned = nextCounts();
        for (std::size_t c = 0; c < window.size(); ++c) {
            ChunkCounts counts;
            int32_t* decision = &decided[c * chunkSize];
            for (const Particle& p : window[c]) {
                if (!overflowing && check == 0) {
                    overflowing = sumOf(planned) + sumOf(counts.children) >= overflowLimit;
                    if (!overflowing) {
                        progress.tick();
                    }
                }
                if (overflowing) {
                    *decision++ = kCarried;
                    ++counts.children[layer];
                    continue;
                }
                check = (check + 1) & kCheckPeriodMask;
                *decision++ = fateOf(p, system.random, counts.draws, counts.children);
            }
            chunkCounts[c] = counts;
            addTo(planned, counts.children);
        }
    }

    // What a part's decisions found.
    struct PartDecisions {
        Ranmar random;            // the choice generator after the part's particles
        int64_t children = 0;     // in all four lists
        int32_t checks = 0;       // the overflow checks that fell in the part
        int64_t atLastCheck = -1; // its children before the last of them
    };

    // The decisions of the parts side by side, each drawing its choices from
    // a copy of the choice generator skipped to its first particle: a
    // particle takes one choice draw unless it is carried over, and that
    // only happens once the next bank is full. So the parts decide as if it
    // never fills (planDecisions, then decidePart for each part), and
    // keepDecisions keeps the window only if no overflow check would have
    // found it full (the children only add up, so the last check of a part
    // tells); else false, and nothing is changed. The generator and the
    // check are read, not changed, until then, so the next window can be
    // decided while this one's children are made, into the other room.
    void planDecisions(Window window, int parts, DecisionSlots& room) {
        const auto partCount = static_cast<std::size_t>(parts);
        before.assign(partCount + 1, 0); // particles before each part
        for (std::size_t part = 0; part < partCount; ++part) {
            before[part + 1] = before[part];
            for (std::size_t c = firstChunk(window, static_cast<int>(part), parts);
                 c < firstChunk(window, static_cast<int>(part) + 1, parts); ++c) {
                before[part + 1] += window[c].size();
            }
        }
        found.resize(partCount);
        choiceSkips.resize(partCount);
        decisionsInto(room, window);
    }

    void decidePart(Window window, int part, int parts) {
        const auto p = static_cast<std::size_t>(part);
        PartDecisions partFound{system.random};
        if (before[p] > 0) {
            std::optional<RanmarSkip>& skip = choiceSkips[p];
            if (!skip || skip->count() != before[p]) {
                skip.emplace(before[p]);
            }
            skip->apply(partFound.random);
        }
        int32_t partCheck = checkAfter(before[p]);
        for (std::size_t c = firstChunk(window, part, parts);
             c < firstChunk(window, part + 1, parts); ++c) {
            ChunkCounts counts;
            int32_t* decision = &decided[c * chunkSize];
            for (const Particle& particle : window[c]) {
                if (partCheck == 0) {
                    ++partFound.checks;
                    partFound.atLastCheck = partFound.children + sumOf(counts.children);
                }
                partCheck = (partCheck + 1) & kCheckPeriodMask;
                *decision++ = fateOf(particle, partFound.random, counts.draws, counts.children);
            }
            chunkCounts[c] = counts;
            partFound.children += sumOf(counts.children);
        }
        found[p] = partFound;
    }

    // Called once the next bank holds every child before the window.
    bool keepDecisions(int parts) {
        int64_t planned = sumOf(nextCounts());
        for (const PartDecisions& partFound : found) {
            if (partFound.atLastCheck >= 0 && planned + partFound.atLastCheck >= overflowLimit) {
                return false;
            }
            planned += partFound.children;
        }
        for (const PartDecisions& partFound : found) {
            for (int32_t k = 0; k < partFound.checks; ++k) {
                progress.tick();
            }
        }
        system.random = found.back().random;
        check = checkAfter(before[static_cast<std::size_t>(parts)]);
        return true;
    }

    // The window's children; with a following window, each part then
    // decides its share of that one.
    void makeChildren(Window window, int parts, Window following) {
        Ranmar end;
        workers.run(parts, [&](int part) {
            Ranmar random = system.ruleRandom;
            const PartStart& start = starts[part];
            if (part > 0) {
                random.skip(start.draws);
            }
            ParticleList::Writer writers[kLayerCount];
            for (int l = 0; l < kLayerCount; ++l) {
                writers[l] = next[l].writerAt(start.positions[l], askToWrite);
            }
            for (std::size_t c = start.chunk; c < starts[part + 1].chunk; ++c) {
                const int32_t* decision = &decisions[c * chunkSize];
                for (const Particle& p : window[c]) {
                    const int32_t chosen = *decision++;
                    if (chosen >= 0) {
                        const GroupPlan& plan = plans[chosen];
                        plan.drawingAhead ? plan.group->emitDrawingAhead(p, writers, random)
                                          : plan.group->emit(p, writers, random);
                    } else if (chosen == kCarried) {
                        writers[layer].put(p);
                    }
                }
            }
            if (part == parts - 1) {
                end = random;
            }
            if (!following.empty()) {
                decidePart(following, part, parts);
            }
        });
        system.ruleRandom = end;
    }

    ParticleSystem& system;
    const int layer;
    Progress& progress;
    platform::WorkerPool& workers;
    const int32_t overflowLimit;
    const bool askToWrite; // the writers ask for their lines ahead
    // Two rooms: a window's decisions are read while the next one's are made.
    std::array<DecisionSlots, 2>& slots;
    std::size_t current = 0; // the room of the window whose children come next
    ParticleList* const next;
    const std::vector<GroupPlan> plans;
    const bool totalsRise; // every weight above 0
    std::size_t chunkSize = 0;
    // The periodic overflow check's state, over the whole list.
    int32_t check = 0;
    bool overflowing = false;
    bool decidedAhead = false;            // the next window's decisions are made
    int32_t* decisions = nullptr;         // per slot of the chunks whose children come next
    int32_t* decided = nullptr;           // per slot of the chunks being decided
    std::vector<ChunkCounts> chunkCounts; // of the window being decided
    std::vector<PartStart> starts;        // and the window's end
    std::vector<uint64_t> before;         // particles before each deciding part
    std::vector<PartDecisions> found;
    // Each part's skip of the choice generator: windows of whole chunks
    // skip by the same counts again and again.
    std::vector<std::optional<RanmarSkip>> choiceSkips;
};

} // namespace

void growGenerationInParts(ParticleSystem& system, Progress& progress,
                           platform::WorkerPool& workers, const DetailLimits& limits) {
    const bool askToWrite = platform::canPrefetchForWrite();
    std::array<DecisionSlots, 2> slots;
    for (int layer = 0; layer < kLayerCount; ++layer) {
        LayerWalk(system, layer, progress, workers, limits.overflow, askToWrite, slots).walk();
    }
    system.store->swapBanks();
}

} // namespace bramblewisp
