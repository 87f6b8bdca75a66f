#pragma once

#include <cstdint>
#include <span>

#include "system/blockPool.h"
#include "system/particleList.h"

namespace bramblewisp {

constexpr int kLayerCount = 4;

// Two banks of four layer lists: one holds the current generation while the
// other receives the next.
class ParticleStore {
  public:
    // Whether the chunks come from large slabs that may sit on huge pages
    // (the renderer's keys follow) is the caller's choice: it only pays
    // where memory is plentiful.
    explicit ParticleStore(bool onLargeBlocks);

    // The four lists of a bank, indexed by layer.
    ParticleList* currentBank() { return firstBankCurrent ? &lists[0] : &lists[kLayerCount]; }
    ParticleList* nextBank() { return firstBankCurrent ? &lists[kLayerCount] : &lists[0]; }
    const ParticleList* currentBank() const {
        return firstBankCurrent ? &lists[0] : &lists[kLayerCount];
    }
    const ParticleList* nextBank() const {
        return firstBankCurrent ? &lists[kLayerCount] : &lists[0];
    }

    int32_t currentCount() const { return bankCount(currentBank()); }
    int32_t nextCount() const { return bankCount(nextBank()); }

    void swapBanks() { firstBankCurrent = !firstBankCurrent; }

    // Bank 0, then bank 1, whichever is current.
    std::span<ParticleList> allLists() { return lists; }

    bool onLargeBlocks() const { return largeBlocks; }
    // Where the lists' chunks come from on large blocks.
    const BlockPool& pool() const { return chunkPool; }

  private:
    static int32_t bankCount(const ParticleList* bank) {
        return bank[0].count + bank[1].count + bank[2].count + bank[3].count;
    }

    // Declared before the lists, so that it outlives their chunks.
    BlockPool chunkPool{sizeof(Particle) * kChunkParticles};
    bool largeBlocks;
    ParticleList lists[2 * kLayerCount];
    bool firstBankCurrent = true;
};

} // namespace bramblewisp
