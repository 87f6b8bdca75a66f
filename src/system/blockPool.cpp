#include "system/blockPool.h"

#include <stdexcept>

#include "platform/platform.h"

namespace bramblewisp {

BlockPool::BlockPool(std::size_t blockBytes) : blockBytes(roundedBlock(blockBytes)) {
    if (this->blockBytes == 0 || this->blockBytes > kSlabBytes) {
        throw std::invalid_argument("a pool block must be larger than 0 and fit a slab");
    }
}

BlockPool::~BlockPool() {
    for (void* slab : slabs) {
        platform::releaseLarge(slab, kSlabBytes);
    }
}

void* BlockPool::take() {
    if (!freeBlocks.empty()) {
        void* block = freeBlocks.back();
        freeBlocks.pop_back();
        return block;
    }
    if (unusedBytes < blockBytes) {
        // Room for every block there will be on the free list first: a
        // failure then leaks nothing, and give never allocates.
        slabs.reserve(slabs.size() + 1);
        freeBlocks.reserve(carvedBlocks + kSlabBytes / blockBytes);
        unused = static_cast<char*>(platform::allocateLarge(kSlabBytes));
        slabs.push_back(unused);
        unusedBytes = kSlabBytes;
    }
    void* block = unused;
    unused += blockBytes;
    unusedBytes -= blockBytes;
    ++carvedBlocks;
    return block;
}

} // namespace bramblewisp
