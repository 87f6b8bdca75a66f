#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "system/blockPool.h"
#include "system/particle.h"

namespace bramblewisp {

// Particles per chunk of a list, and so per block of the store's pool: a list
// whose chunks do not fit the pool's blocks quietly takes them from the heap.
inline constexpr int32_t kChunkParticles = 1000;

// One block of storage; a stored particle never moves until its list is
// cleared. Slots fill in order, so the k-th filled particle is slots[k]: no
// table of fill positions is kept, as it would only ever hold 0, 1, 2, ...
struct ParticleChunk {
    // The slots come from pool when given one (whose blocks must hold size
    // particles), else from the heap.
    ParticleChunk(int32_t size, BlockPool* pool);
    ~ParticleChunk();
    ParticleChunk(const ParticleChunk&) = delete;
    ParticleChunk& operator=(const ParticleChunk&) = delete;

    Particle* slots;
    uint32_t used = 0;

  private:
    BlockPool* pool;
};

// The particles of one layer in one bank, in append order, stored in chunks.
// The chunk sequence is a vector of owning pointers rather than a linked list:
// it behaves the same and lets append find the last chunk at once.
class ParticleList {
  public:
    class Iterator {
      public:
        Iterator(const ParticleList* list, std::size_t chunk, int32_t index)
            : list(list), chunk(chunk), index(index) {}

        const Particle& operator*() const {
            const ParticleChunk& c = *list->chunks[chunk];
            return c.slots[index];
        }
        const Particle* operator->() const { return &**this; }
        Iterator& operator++() {
            ++index;
            if (index >= static_cast<int32_t>(list->chunks[chunk]->used)) {
                ++chunk;
                index = 0;
            }
            return *this;
        }
        bool operator==(const Iterator& other) const {
            return chunk == other.chunk && index == other.index;
        }

      private:
        const ParticleList* list;
        std::size_t chunk;
        int32_t index;
    };

    explicit ParticleList(int32_t chunkSize = kChunkParticles) : chunkSize(chunkSize) {}
    // Chunks from now on take their slots from pool, when its blocks fit
    // exactly chunkSize particles; the pool must outlive the list's chunks.
    void drawChunksFrom(BlockPool* chunkPool) {
        pool = chunkPool != nullptr && chunkPool->blockBytes == blockBytesFor(chunkSize) ? chunkPool
                                                                                         : nullptr;
    }

    ParticleList(const ParticleList&) = delete;
    ParticleList& operator=(const ParticleList&) = delete;

    Particle* append(const Particle& particle) {
        ParticleChunk* last = chunks.empty() ? nullptr : chunks.back().get();
        if (last == nullptr || last->used >= static_cast<uint32_t>(chunkSize)) {
            last = addChunk();
        }
        ++count;
        Particle* slot = &last->slots[last->used];
        *slot = particle;
        ++last->used;
        return slot;
    }

    Iterator begin() const { return Iterator(this, 0, 0); }
    Iterator end() const { return Iterator(this, chunks.size(), 0); }

    void clear();

    const int32_t chunkSize;
    std::vector<std::unique_ptr<ParticleChunk>> chunks;
    int32_t count = 0;

  private:
    static std::size_t blockBytesFor(int32_t size);
    ParticleChunk* addChunk();

    BlockPool* pool = nullptr;
};

} // namespace bramblewisp
