#include "system/particleStore.h"

namespace bramblewisp {

ParticleStore::ParticleStore(Ranmar* random, std::array<RuleLayer, kLayerCount>* layers,
                             bool onLargeBlocks)
    : random(random), largeBlocks(onLargeBlocks), layers(layers) {
    if (largeBlocks) {
        for (ParticleList& list : lists) {
            list.drawChunksFrom(&chunkPool);
        }
    }
}

} // namespace bramblewisp
