#pragma once

#include <cstddef>
#include <vector>

namespace bramblewisp {

// Blocks of one size, carved from large slabs and recycled. A generation's
// chunks reuse the blocks that the walk of the one before has just freed, and
// the slabs may sit on huge pages, which spares a page fault for every 4 KiB
// of fresh particles. The slabs go back to the system when the pool dies.
class BlockPool {
  public:
    // At most 4 MiB.
    explicit BlockPool(std::size_t blockBytes);
    ~BlockPool();
    BlockPool(const BlockPool&) = delete;
    BlockPool& operator=(const BlockPool&) = delete;

    // Uninitialised storage of blockBytes, aligned for any scalar.
    void* take();
    // A block from take(), back for reuse. Never allocates.
    void give(void* block) noexcept { freeBlocks.push_back(block); }

    const std::size_t blockBytes;

    // Blocks handed out so far, free again or not.
    std::size_t carved() const { return carvedBlocks; }

    // What a pool made for bytes gives per block.
    static std::size_t roundedBlock(std::size_t bytes) {
        return (bytes + kAlignment - 1) / kAlignment * kAlignment;
    }

  private:
    static constexpr std::size_t kAlignment = alignof(std::max_align_t);
    static constexpr std::size_t kSlabBytes = std::size_t{4} << 20;

    std::vector<void*> freeBlocks;
    std::vector<void*> slabs;
    std::size_t carvedBlocks = 0; // in use or free, over all slabs
    char* unused = nullptr;       // the rest of the newest slab
    std::size_t unusedBytes = 0;
};

} // namespace bramblewisp
