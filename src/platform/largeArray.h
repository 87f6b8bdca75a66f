#pragma once

#include <cassert>
#include <cstddef>
#include <new>
#include <type_traits>

#include "platform/platform.h"

namespace bramblewisp {

// For containers of a megabyte or more filled at once (the pictures): their
// blocks come from platform::allocateLarge, smaller ones from the heap. Fresh
// heap memory costs a page fault for every 4 KiB, and in a virtual machine a
// fault can cost ten microseconds.
template <typename T> struct LargeBlockAllocator {
    using value_type = T;
    static constexpr std::size_t kLargeBytes = std::size_t{1} << 20;

    LargeBlockAllocator() = default;
    template <typename U> LargeBlockAllocator(const LargeBlockAllocator<U>&) {}

    T* allocate(std::size_t n) {
        const std::size_t bytes = n * sizeof(T);
        return static_cast<T*>(bytes >= kLargeBytes ? platform::allocateLarge(bytes)
                                                    : ::operator new(bytes));
    }
    void deallocate(T* block, std::size_t n) {
        const std::size_t bytes = n * sizeof(T);
        if (bytes >= kLargeBytes) {
            platform::releaseLarge(block, bytes);
        } else {
            ::operator delete(block);
        }
    }
    friend bool operator==(const LargeBlockAllocator&, const LargeBlockAllocator&) { return true; }
};

// A fixed-capacity array of plain values, filled once: on memory that may sit
// on huge pages (see platform::allocateLarge) when asked to, else on the heap.
template <typename T> class LargeArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

  public:
    LargeArray(std::size_t capacity, bool onLargeBlocks)
        : capacity(capacity), large(onLargeBlocks),
          items(static_cast<T*>(large ? platform::allocateLarge(bytes())
                                      : ::operator new(bytes()))) {}
    ~LargeArray() {
        if (large) {
            platform::releaseLarge(items, bytes());
        } else {
            ::operator delete(items);
        }
    }
    LargeArray(const LargeArray&) = delete;
    LargeArray& operator=(const LargeArray&) = delete;

    void push(const T& value) {
        assert(count < capacity);
        items[count++] = value;
    }

    // Counts the first n values as filled, written through data() (by
    // several threads, say).
    void markFilled(std::size_t n) {
        assert(n <= capacity);
        count = n;
    }

    T* data() { return items; }
    const T* data() const { return items; }
    std::size_t size() const { return count; }
    T& operator[](std::size_t i) { return items[i]; }
    const T& operator[](std::size_t i) const { return items[i]; }

  private:
    std::size_t bytes() const { return capacity * sizeof(T); }

    std::size_t capacity;
    bool large;
    T* items;
    std::size_t count = 0;
};

} // namespace bramblewisp
