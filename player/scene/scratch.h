// Working memory that stays with a thread between runs: the temporary arrays of a run come
// from blocks that an earlier run already touched, so a repeated run does not wait for fresh
// pages. Allocation bumps a pointer; only the newest allocation gives its room back.
#pragma once
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

class ScratchArena {
public:
    ScratchArena() = default;
    ScratchArena(const ScratchArena&) = delete;
    ScratchArena& operator=(const ScratchArena&) = delete;
    ~ScratchArena();

    // bytes aligned to align (a power of two up to 64); throws std::bad_alloc. Outside a run
    // the memory comes from the free store.
    void* take(size_t bytes, size_t align);
    // Room of the newest allocation returns; other room waits for the end of the run.
    void give(void* p, size_t bytes, size_t align);
    // Bytes of the blocks held.
    size_t held() const;
    // Frees every block (not inside a run).
    void release();
    // Bytes of blocks that a thread keeps between runs, at most (the rest is released when a
    // run ends); the default, and a new limit for every thread.
    static constexpr size_t kKeep = sizeof(void*) >= 8 ? size_t(64) << 20 : size_t(48) << 20;
    static void setKeep(size_t bytes);
    static size_t keep();

    static ScratchArena& local();  // this thread's

private:
    friend class ScratchRun;
    void endRun();
    struct Block {
        unsigned char* base;
        size_t size, used, peak;
    };
    std::vector<Block> blocks_;
    size_t at_ = 0;       // block being filled
    uint32_t depth_ = 0;  // open runs
};

// One run over this thread's arena: when the outermost run ends, everything taken in it is
// free again. Arrays from the arena must not outlive the run they were taken in.
class ScratchRun {
public:
    ScratchRun() : arena_(ScratchArena::local()) { ++arena_.depth_; }
    ~ScratchRun() {
        if (--arena_.depth_ == 0) arena_.endRun();
    }
    ScratchRun(const ScratchRun&) = delete;
    ScratchRun& operator=(const ScratchRun&) = delete;

private:
    ScratchArena& arena_;
};

template <class T> struct ScratchAlloc {
    using value_type = T;
    ScratchAlloc() = default;
    template <class U> ScratchAlloc(const ScratchAlloc<U>&) {}
    T* allocate(size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(ScratchArena::local().take(n * sizeof(T), alignof(T)));
    }
    void deallocate(T* p, size_t n) { ScratchArena::local().give(p, n * sizeof(T), alignof(T)); }
    template <class U> bool operator==(const ScratchAlloc<U>&) const { return true; }
};

template <class T> using ScratchVec = std::vector<T, ScratchAlloc<T>>;
