#include "system/particleList.h"

#include <cassert>

namespace bramblewisp {

ParticleChunk::ParticleChunk(int32_t size, BlockPool* pool)
    : slots(pool != nullptr ? static_cast<Particle*>(pool->take())
                            : new Particle[static_cast<std::size_t>(size)]),
      pool(pool) {}

ParticleChunk::~ParticleChunk() {
    if (pool != nullptr) {
        pool->give(slots);
    } else {
        delete[] slots;
    }
}

std::size_t ParticleList::blockBytesFor(int32_t size) {
    return BlockPool::roundedBlock(sizeof(Particle) * static_cast<std::size_t>(size));
}

ParticleChunk* ParticleList::addChunk() {
    chunks.push_back(std::make_unique<ParticleChunk>(chunkSize, pool));
    return chunks.back().get();
}

void ParticleList::extendTo(int32_t newCount) {
    assert(newCount >= count);
    auto missing = static_cast<uint32_t>(newCount - count);
    const auto size = static_cast<uint32_t>(chunkSize);
    while (missing > 0) {
        ParticleChunk* last = chunks.empty() ? nullptr : chunks.back().get();
        if (last == nullptr || last->used >= size) {
            last = addChunk();
        }
        const uint32_t taken = std::min(missing, size - last->used);
        last->used += taken;
        missing -= taken;
    }
    count = newCount;
}

ParticleList::Writer ParticleList::writerAt(int32_t position, bool askAhead) {
    assert(position >= 0 && position <= count);
    // Every chunk but the last is full.
    const auto chunk = static_cast<std::size_t>(position / chunkSize);
    const int32_t slot = position % chunkSize;
    Writer writer;
    writer.askAhead = askAhead;
    writer.nextChunk = chunks.data() + chunk;
    if (slot > 0) {
        const ParticleChunk& first = **writer.nextChunk++;
        writer.slot = first.slots + slot;
        writer.chunkEnd = first.slots + first.used;
    }
    return writer;
}

void ParticleList::clear() {
    // Give the memory back: no chunk is kept for reuse.
    std::vector<std::unique_ptr<ParticleChunk>>().swap(chunks);
    count = 0;
}

} // namespace bramblewisp
