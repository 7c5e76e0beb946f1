// Working memory kept between runs: the temporary arrays of a run come from blocks that an
// earlier run already touched, so a repeated run does not wait for fresh pages. One arena
// serves the process; a run on another thread while it is taken uses the free store.
// Allocation bumps a pointer; only the newest allocation gives its room back.
#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <new>
#include <vector>

class ScratchArena {
public:
    ScratchArena() = default;
    ScratchArena(const ScratchArena&) = delete;
    ScratchArena& operator=(const ScratchArena&) = delete;
    ~ScratchArena();

    // bytes aligned to align (a power of two); throws std::bad_alloc.
    void* take(size_t bytes, size_t align);
    // Room of the newest allocation returns; other room waits for the end of the run.
    void give(void* p, size_t bytes, size_t align);
    // Bytes of the blocks held.
    size_t held() const;
    // Frees every block (not while a run holds the arena).
    void release();
    // Bytes of blocks kept between runs, at most (the rest is released when a run ends); the
    // default, and a new limit.
    static constexpr size_t kKeep = sizeof(void*) >= 8 ? size_t(64) << 20 : size_t(48) << 20;
    static void setKeep(size_t bytes);
    static size_t keep();

    static ScratchArena& shared();
    // The arena that this thread's open run holds, or null (no run, or another thread's run
    // holds it).
    static ScratchArena* current();

private:
    friend class ScratchRun;
    void endRun();
    struct Block {
        unsigned char* base;
        size_t size, used, peak;
    };
    std::vector<Block> blocks_;
    size_t at_ = 0;  // block being filled
    std::mutex owner_;
};

// One run: the outermost run of a thread takes the arena when it is free; when it ends,
// everything taken in it is free again. Arrays from the arena must not outlive the run they
// were taken in.
class ScratchRun {
public:
    ScratchRun();
    ~ScratchRun();
    ScratchRun(const ScratchRun&) = delete;
    ScratchRun& operator=(const ScratchRun&) = delete;
};

template <class T> struct ScratchAlloc {
    using value_type = T;
    ScratchAlloc() = default;
    template <class U> ScratchAlloc(const ScratchAlloc<U>&) {}
    T* allocate(size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
        if (ScratchArena* a = ScratchArena::current()) return static_cast<T*>(a->take(n * sizeof(T), alignof(T)));
        return static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t(alignof(T))));
    }
    void deallocate(T* p, size_t n) {
        if (ScratchArena* a = ScratchArena::current())
            a->give(p, n * sizeof(T), alignof(T));
        else
            ::operator delete(p, std::align_val_t(alignof(T)));
    }
    template <class U> bool operator==(const ScratchAlloc<U>&) const { return true; }
};

template <class T> using ScratchVec = std::vector<T, ScratchAlloc<T>>;
