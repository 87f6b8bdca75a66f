#include "system/particleList.h"

namespace bramblewisp {

ParticleChunk::ParticleChunk(int32_t size)
    : slots(std::make_unique_for_overwrite<Particle[]>(static_cast<std::size_t>(size))) {}

ParticleChunk* ParticleList::addChunk() {
    chunks.push_back(std::make_unique<ParticleChunk>(chunkSize));
    return chunks.back().get();
}

void ParticleList::clear() {
    // Give the memory back: no chunk is kept for reuse.
    std::vector<std::unique_ptr<ParticleChunk>>().swap(chunks);
    count = 0;
}

} // namespace bramblewisp
