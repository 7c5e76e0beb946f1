// Working memory kept between runs.
#include "scene/scratch.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

namespace {
constexpr size_t kFirstBlock = size_t(1) << 20;
std::atomic<size_t> g_keep{ScratchArena::kKeep};
// This thread's open runs, and the arena its outermost run holds.
thread_local uint32_t t_depth = 0;
thread_local ScratchArena* t_arena = nullptr;
}  // namespace

ScratchArena::~ScratchArena() { release(); }

ScratchArena& ScratchArena::shared() {
    static ScratchArena arena;
    return arena;
}

ScratchArena* ScratchArena::current() { return t_arena; }

void ScratchArena::setKeep(size_t bytes) { g_keep = bytes; }

size_t ScratchArena::keep() { return g_keep; }

ScratchRun::ScratchRun() {
    if (t_depth++ == 0 && ScratchArena::shared().owner_.try_lock()) t_arena = &ScratchArena::shared();
}

ScratchRun::~ScratchRun() {
    if (--t_depth == 0 && t_arena) {
        t_arena->endRun();
        t_arena->owner_.unlock();
        t_arena = nullptr;
    }
}

void* ScratchArena::take(size_t bytes, size_t align) {
    if (bytes == 0) bytes = 1;
    for (; at_ < blocks_.size(); ++at_) {
        Block& b = blocks_[at_];
        const size_t start = (size_t(-reinterpret_cast<uintptr_t>(b.base + b.used)) & (align - 1)) + b.used;
        if (start <= b.size && b.size - start >= bytes) {
            b.used = start + bytes;
            b.peak = std::max(b.peak, b.used);
            return b.base + start;
        }
    }
    // A new block at least as large as all held together, so that few blocks serve a run.
    if (bytes > SIZE_MAX / 2) throw std::bad_alloc();
    blocks_.reserve(blocks_.size() + 1);
    const size_t size = std::max({bytes + align, kFirstBlock, held()});
    auto* base = static_cast<unsigned char*>(std::malloc(size));
    if (!base) throw std::bad_alloc();
    blocks_.push_back({base, size, 0, 0});
    at_ = blocks_.size() - 1;
    return take(bytes, align);
}

void ScratchArena::give(void* p, size_t bytes, size_t align) {
    if (!p) return;
    auto* q = static_cast<unsigned char*>(p);
    bool ours = false;
    for (const Block& b : blocks_) ours = ours || (q >= b.base && q < b.base + b.size);
    if (!ours) {  // taken before the run began
        ::operator delete(p, std::align_val_t(align));
        return;
    }
    if (at_ >= blocks_.size()) return;
    Block& b = blocks_[at_];
    if (q >= b.base && q + std::max<size_t>(bytes, 1) == b.base + b.used) b.used = size_t(q - b.base);
}

size_t ScratchArena::held() const {
    size_t n = 0;
    for (const Block& b : blocks_) n += b.size;
    return n;
}

void ScratchArena::release() {
    for (Block& b : blocks_) std::free(b.base);
    blocks_.clear();
    at_ = 0;
}

void ScratchArena::endRun() {
    size_t need = 0, used = 0;
    for (const Block& b : blocks_) {
        need += b.peak;
        used += b.peak ? 1 : 0;
    }
    const size_t keep = g_keep;
    if (used > 1) {
        // A run that spread over several blocks: the next one gets a single block of its size.
        release();
        need += need / 8;
        if (need > keep) return;
        if (auto* base = static_cast<unsigned char*>(std::malloc(need))) blocks_.push_back({base, need, 0, 0});
        return;
    }
    // The largest blocks are kept first, up to the limit.
    std::sort(blocks_.begin(), blocks_.end(), [](const Block& a, const Block& b) { return a.size > b.size; });
    size_t kept = 0, n = 0;
    for (Block& b : blocks_) {
        if (kept + b.size <= keep) {
            kept += b.size;
            b.used = b.peak = 0;
            blocks_[n++] = b;
        } else {
            std::free(b.base);
        }
    }
    blocks_.resize(n);
    at_ = 0;
}
