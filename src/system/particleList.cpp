#include "system/particleList.h"

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

void ParticleList::clear() {
    // Give the memory back: no chunk is kept for reuse.
    std::vector<std::unique_ptr<ParticleChunk>>().swap(chunks);
    count = 0;
}

} // namespace bramblewisp
