#pragma once

#include <cassert>
#include <cstddef>
#include <new>
#include <type_traits>

#include "app/platform.h"

namespace bramblewisp {

// A fixed-capacity array of plain values, filled once: on memory that may sit
// on huge pages (see platform::allocateLarge) when asked to, else on the heap.
template <typename T>
class LargeArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

  public:
    LargeArray(std::size_t capacity, bool onLargeBlocks)
        : capacity(capacity), large(onLargeBlocks),
          items(static_cast<T*>(large ? platform::allocateLarge(bytes()) : ::operator new(bytes()))) {}
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
