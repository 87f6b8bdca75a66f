#include "system/particleStore.h"

namespace bramblewisp {

ParticleStore::ParticleStore(bool onLargeBlocks) : largeBlocks(onLargeBlocks) {
    if (largeBlocks) {
        for (ParticleList& list : lists) {
            list.drawChunksFrom(&chunkPool);
        }
    }
}

} // namespace bramblewisp
