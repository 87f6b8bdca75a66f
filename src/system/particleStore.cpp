#include "system/particleStore.h"

#include "platform/platform.h"

namespace bramblewisp {

namespace {

// Far more than the largest generation needs.
constexpr uint32_t kRoomForLargeBlocks = uint32_t{1} << 30;

} // namespace

ParticleStore::ParticleStore(Ranmar* random, std::array<RuleLayer, kLayerCount>* layers)
    : random(random), largeBlocks(platform::committableBytes() >= kRoomForLargeBlocks), layers(layers) {
    if (largeBlocks) {
        for (ParticleList& list : lists) {
            list.drawChunksFrom(&chunkPool);
        }
    }
}

} // namespace bramblewisp
