#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/prefetch.h"
#include "system/blockPool.h"
#include "system/particle.h"

namespace bramblewisp {

// Particles per chunk of a list, and so per block of the store's pool: a list
// whose chunks do not fit the pool's blocks quietly takes them from the heap.
inline constexpr int32_t kChunkParticles = 1000;

// One block of storage. Its slots fill from the first on, so the filled ones
// are slots[0 .. used - 1] in append order, and none moves until its list is
// cleared.
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

// The particles of one layer in one bank, in append order. Storing them in
// chunks lets a list grow by whole blocks without moving what it holds (a
// rule's child is copied in once and stays), and give its memory back chunk
// by chunk. Only the last chunk has free slots, so append finds its slot at
// once.
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

    // Where writers that fill a list side by side put their particles: each
    // writes the run of positions that starts at its own.
    class Writer {
      public:
        void put(const Particle& particle) {
            if (slot == chunkEnd) {
                const ParticleChunk& chunk = **nextChunk++;
                slot = chunk.slots;
                chunkEnd = chunk.slots + chunk.used;
            }
            if (askAhead && chunkEnd - slot > kAskAhead) {
                platform::prefetchForWrite(slot + kAskAhead);
            }
            *slot++ = particle;
        }

      private:
        friend class ParticleList;
        // A generation's chunks reuse blocks that the walk before has just
        // read, perhaps on another core, and a store to a line that another
        // core holds waits for it: the slot this far ahead is asked for (1 to
        // 4% off a run with two workers on two far-apart cores).
        static constexpr std::ptrdiff_t kAskAhead = 16;
        bool askAhead = false;
        Particle* slot = nullptr;
        Particle* chunkEnd = nullptr;
        const std::unique_ptr<ParticleChunk>* nextChunk = nullptr;
    };

    // Makes room for the particles up to newCount, to be written through
    // writers before the list is read: positions count .. newCount - 1 hold
    // no particles yet. Only this allocates, so the writers need no lock.
    void extendTo(int32_t newCount);
    // A writer for the positions from position on (at most count);
    // askAhead where platform::canPrefetchForWrite.
    Writer writerAt(int32_t position, bool askAhead = false);

    // One particle at a time; the walks of a whole generation visit the
    // chunks instead, which spares them a chunk test per particle.
    Iterator begin() const { return Iterator(this, 0, 0); }
    Iterator end() const { return Iterator(this, chunks.size(), 0); }

    // Each chunk's particles in append order, one span per chunk.
    template <typename Visit> void forEachChunk(Visit visit) const {
        for (const auto& chunk : chunks) {
            visit(std::span<const Particle>(chunk->slots, chunk->used));
        }
    }

    // The same, giving each chunk back as soon as it has been visited, so
    // that a walk filling other lists never needs room for both at once.
    // The list is empty afterwards.
    template <typename Visit> void drain(Visit visit) {
        for (auto& chunk : chunks) {
            visit(std::span<const Particle>(chunk->slots, chunk->used));
            chunk.reset();
        }
        clear();
    }

    // The same, window chunks at a time: visit(spans, nextSpans) gets the
    // window's spans and those of the window after it (none after the
    // last), and the window's chunks are given back once it returns.
    template <typename Visit> void drainByWindows(std::size_t window, Visit visit) {
        std::vector<std::span<const Particle>> spans, nextSpans;
        auto spansFrom = [&](std::size_t first, std::vector<std::span<const Particle>>& out) {
            out.clear();
            for (std::size_t c = first; c < std::min(chunks.size(), first + window); ++c) {
                out.emplace_back(chunks[c]->slots, chunks[c]->used);
            }
        };
        spansFrom(0, nextSpans);
        for (std::size_t first = 0; first < chunks.size(); first += window) {
            spans.swap(nextSpans);
            spansFrom(first + window, nextSpans);
            visit(std::span<const std::span<const Particle>>(spans),
                  std::span<const std::span<const Particle>>(nextSpans));
            for (std::size_t c = first; c < std::min(chunks.size(), first + window); ++c) {
                chunks[c].reset();
            }
        }
        clear();
    }

    void clear();

    std::size_t chunkCount() const { return chunks.size(); }

    const int32_t chunkSize;
    int32_t count = 0;

  private:
    static std::size_t blockBytesFor(int32_t size);
    ParticleChunk* addChunk();

    std::vector<std::unique_ptr<ParticleChunk>> chunks;
    BlockPool* pool = nullptr;
};

} // namespace bramblewisp
