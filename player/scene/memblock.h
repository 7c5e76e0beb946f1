// Blocks of the engine's allocator owned by a unique pointer.
#pragma once
#include <cstdint>
#include <memory>

#include "scene/engine.h"

struct MemDeleter {
    void operator()(void* p) const { memFree(p); }
};
template <class T> using MemPtr = std::unique_ptr<T, MemDeleter>;

// A zero-filled array of count elements: null only when the size overflows or memory lacks
// (a count of 0 gives a block of its own).
template <class T> MemPtr<T> allocArray(uint64_t count) {
    if (count > SIZE_MAX / sizeof(T)) return MemPtr<T>();
    return MemPtr<T>(static_cast<T*>(memAllocZ(size_t(count * sizeof(T)))));
}
