#include "scene/scratch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <thread>

namespace {

uintptr_t address(const void* p) { return reinterpret_cast<uintptr_t>(p); }

class ScratchTest : public ::testing::Test {
protected:
    void TearDown() override {
        ScratchArena::setKeep(ScratchArena::kKeep);
        ScratchArena::shared().release();
    }
};

// A second run gets the memory of the first; within a run the newest array gives its room back
// and arrays keep their alignment.
TEST_F(ScratchTest, RunsReuseTheirMemory) {
    ScratchArena::shared().release();
    uintptr_t first = 0;
    {
        ScratchRun run;
        ScratchVec<uint64_t> a(1000);
        first = address(a.data());
        std::iota(a.begin(), a.end(), uint64_t(0));
        EXPECT_EQ(uint64_t(999), a.back());
    }
    const size_t held = ScratchArena::shared().held();
    EXPECT_GT(held, 0u);
    {
        ScratchRun run;
        uintptr_t at = 0;
        {
            ScratchVec<uint64_t> a(1000);
            at = address(a.data());
            EXPECT_EQ(first, at) << "the second run starts where the first did";
        }
        ScratchVec<uint8_t> b(3);
        EXPECT_EQ(at, address(b.data())) << "the newest array's room came back";
        ScratchVec<double> c(5);
        EXPECT_EQ(0u, address(c.data()) % alignof(double));
        struct alignas(64) Wide {
            char x[64];
        };
        ScratchVec<Wide> d(2);
        EXPECT_EQ(0u, address(d.data()) % 64);
    }
    EXPECT_EQ(held, ScratchArena::shared().held()) << "nothing new was needed";
}

// A run spread over several blocks leaves one block of its size; what passes the limit is
// released; arrays made outside a run come from the free store.
TEST_F(ScratchTest, BlocksAreMergedAndLimited) {
    ScratchArena::shared().release();
    {
        ScratchRun run;
        ScratchVec<uint8_t> a(3u << 20), b(5u << 20);
        a[0] = b[0] = 1;
    }
    const size_t merged = ScratchArena::shared().held();
    EXPECT_GE(merged, size_t(8u << 20));
    {
        ScratchRun run;
        ScratchVec<uint8_t> a(3u << 20), b(5u << 20);
        EXPECT_EQ(merged, ScratchArena::shared().held()) << "both fit the merged block";
    }
    ScratchArena::setKeep(size_t(1) << 20);
    {
        ScratchRun run;
        ScratchVec<uint8_t> a(2u << 20);
    }
    EXPECT_EQ(0u, ScratchArena::shared().held()) << "blocks above the limit go";
    ScratchVec<uint32_t> outside(100, 7u);
    EXPECT_EQ(0u, ScratchArena::shared().held());
    EXPECT_EQ(7u, outside[99]);
}

// While one thread's run holds the arena, a run on another thread works from the free store.
TEST_F(ScratchTest, ARunOnAnotherThreadUsesTheFreeStore) {
    ScratchRun run;
    ScratchVec<uint32_t> mine(10, 1u);
    EXPECT_EQ(&ScratchArena::shared(), ScratchArena::current());
    const size_t held = ScratchArena::shared().held();
    bool ownArena = true;
    uint32_t sum = 0;
    std::thread other([&] {
        ScratchRun inner;
        ownArena = ScratchArena::current() != nullptr;
        ScratchVec<uint32_t> theirs(1000, 2u);
        sum = std::accumulate(theirs.begin(), theirs.end(), 0u);
    });
    other.join();
    EXPECT_FALSE(ownArena);
    EXPECT_EQ(2000u, sum);
    EXPECT_EQ(held, ScratchArena::shared().held());
    EXPECT_EQ(10u, std::accumulate(mine.begin(), mine.end(), 0u));
}

}  // namespace
