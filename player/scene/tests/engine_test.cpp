#include "scene/engine.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

struct EngineTest : ::testing::Test {
    void SetUp() override { errReset(); }
    void TearDown() override {
        errReset();
        memSetMmx(0);
    }
};

TEST_F(EngineTest, AllocZeroBytesGivesBlockWithoutReport) {
    void* p = memAllocZ(0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(*static_cast<unsigned char*>(p), 0);  // at least one usable byte
    EXPECT_EQ(errQueueSize(), 0u);
    memFree(p);

    auto* q = static_cast<unsigned char*>(memAllocZ(64));
    ASSERT_NE(q, nullptr);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(q[i], 0);
    memFree(q);
}

TEST_F(EngineTest, FailingAllocationReportsAtLevelOne) {
    EXPECT_EQ(memAlloc("file.cpp", 42, SIZE_MAX, "Thing", 3, "things", 8), nullptr);
    ASSERT_EQ(errQueueSize(), 1u);
    uint32_t level = 9, line = 0;
    char message[500], context[500];
    ASSERT_EQ(errPop(&level, message, context, &line), 1);
    EXPECT_EQ(level, 1u);
    EXPECT_STREQ(message, "No memory for <things>=3 times type <Thing>(size=8>");
    EXPECT_STREQ(context, "file.cpp");
    EXPECT_EQ(line, 42u);
}

TEST_F(EngineTest, AllocRefAndFreeRef) {
    void* holder = nullptr;
    EXPECT_EQ(memAllocRef(nullptr, 8), 0);
    EXPECT_EQ(memAllocRef(&holder, 0), 0);
    EXPECT_EQ(holder, nullptr);
    EXPECT_EQ(memAllocRef(&holder, SIZE_MAX), 0);  // failed allocation answers 0
    EXPECT_EQ(holder, nullptr);
    EXPECT_EQ(errQueueSize(), 1u);
    ASSERT_EQ(memAllocRef(&holder, 16), 1);
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(memFreeRef(nullptr), 0);
    EXPECT_EQ(memFreeRef(&holder), 1);
    EXPECT_EQ(holder, nullptr);
    EXPECT_EQ(memFreeRef(&holder), 1);  // an empty holder is no error
    int* typed = static_cast<int*>(memAllocZ(sizeof(int)));
    EXPECT_EQ(memFreeRefT(&typed), 1);
    EXPECT_EQ(typed, nullptr);
}

TEST_F(EngineTest, PopReturnsNewestFirst) {
    errSetContext("???", 99999);
    EXPECT_EQ(errReport(ERR_READ, "first %d", 1), 7);
    EXPECT_EQ(errReportPlain("second"), 6);
    uint32_t level = 0, line = 0;
    char message[500], context[500];
    ASSERT_EQ(errPop(&level, message, context, &line), 1);
    EXPECT_STREQ(message, "second");
    EXPECT_EQ(level, ERR_PLAIN);
    EXPECT_STREQ(context, "???");
    EXPECT_EQ(line, 99999u);
    ASSERT_EQ(errPop(&level, message, nullptr, nullptr), 1);
    EXPECT_STREQ(message, "first 1");
    EXPECT_EQ(level, ERR_READ);
    EXPECT_EQ(errPop(&level, message, context, &line), 0);
    EXPECT_EQ(errQueueSize(), 0u);
}

TEST_F(EngineTest, QueueDropsOldestBeyondBound) {
    for (size_t i = 0; i < ERR_QUEUE_MAX + 5; ++i) errReport(ERR_FORMAT, "%zu", i);
    EXPECT_EQ(errQueueSize(), ERR_QUEUE_MAX);
    char message[500];
    ASSERT_EQ(errPop(nullptr, message, nullptr, nullptr), 1);
    EXPECT_EQ(std::string(message), std::to_string(ERR_QUEUE_MAX + 4));
    while (errQueueSize() > 1) errPop(nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(errPop(nullptr, message, nullptr, nullptr), 1);
    EXPECT_STREQ(message, "5");
    errReport(ERR_LENGTH, "x");
    errReset();
    EXPECT_EQ(errQueueSize(), 0u);
    EXPECT_EQ(errPop(nullptr, nullptr, nullptr, nullptr), 0);
}

TEST_F(EngineTest, LongMessagesAreCut) {
    std::string longText(700, 'a');
    EXPECT_EQ(errReport(ERR_PLAIN, "%s", longText.c_str()), 499);
    std::string longContext(600, 'c');
    EXPECT_EQ(errPush(longContext.c_str(), 1, ERR_LENGTH, longText.c_str()), 1);
    for (int n = 0; n < 2; ++n) {
        char message[520], context[520];
        std::memset(message, 'Z', sizeof message);
        std::memset(context, 'Z', sizeof context);
        ASSERT_EQ(errPop(nullptr, message, context, nullptr), 1);
        EXPECT_EQ(std::strlen(message), 499u);
        EXPECT_EQ(message[500], 'Z');
        EXPECT_LE(std::strlen(context), 499u);
        EXPECT_EQ(context[500], 'Z');
    }
}

TEST_F(EngineTest, DebugTracePrintsNothing) {
    EXPECT_EQ(dbgPrintf("Connected %d bounding edges.\n", 3), 0);
    EXPECT_EQ(errQueueSize(), 0u);
}

TEST_F(EngineTest, MaskedFpuDividesByZeroToInfinity) {
    std::feclearexcept(FE_ALL_EXCEPT);
#ifdef FE_DOWNWARD
    const int before = std::fegetround();
    std::fesetround(FE_DOWNWARD);
#endif
#if defined(__GLIBC__) && defined(FE_DIVBYZERO)
    feenableexcept(FE_DIVBYZERO);  // would trap without the mask
#endif
    errMaskFpu();
#ifdef FE_UPWARD
    std::fesetround(FE_UPWARD);
#endif
    volatile float zero = 0.0f, one = 1.0f;
    volatile float q = one / zero;
    EXPECT_TRUE(std::isinf(q));
    errRestoreFpu();
#if defined(__GLIBC__) && defined(FE_DIVBYZERO)
    EXPECT_NE(fegetexcept() & FE_DIVBYZERO, 0);  // the previous mask is back
    fedisableexcept(FE_DIVBYZERO);
#endif
#ifdef FE_DOWNWARD
    EXPECT_EQ(std::fegetround(), FE_DOWNWARD);  // the whole environment is back
    std::fesetround(before);
#endif
    std::feclearexcept(FE_ALL_EXCEPT);
}

TEST_F(EngineTest, MmxDetectionAndFlag) {
#if defined(__x86_64__)
    EXPECT_EQ(memDetectMmx(), 1);
#else
    int d = memDetectMmx();
    EXPECT_TRUE(d == 0 || d == 1);
#endif
    EXPECT_EQ(memGetMmx(), 0);
    EXPECT_EQ(memSetMmx(5), 1);
    EXPECT_EQ(memGetMmx(), 1);
    EXPECT_EQ(memSetMmx(0), 1);
    EXPECT_EQ(memGetMmx(), 0);
}

TEST_F(EngineTest, Fill16And32AtAnyAlignment) {
    for (int mmx = 0; mmx < 2; ++mmx) {
        memSetMmx(mmx);
        alignas(16) unsigned char buffer[256];
        for (size_t offset = 0; offset < 8; ++offset) {
            std::memset(buffer, 0xEE, sizeof buffer);
            memFill16(buffer + offset, 0xABCD1234u, 0);
            for (unsigned char b : buffer) ASSERT_EQ(b, 0xEE);
            for (size_t count : {size_t(1), size_t(7), size_t(8), size_t(9), size_t(16), size_t(33), size_t(100)}) {
                std::memset(buffer, 0xEE, sizeof buffer);
                memFill16(buffer + offset, 0xABCD1234u, count);
                for (size_t i = 0; i < sizeof buffer; ++i) {
                    uint16_t expect = 0x1234;
                    bool inside = i >= offset && i < offset + 2 * count;
                    unsigned char want = inside ? reinterpret_cast<unsigned char*>(&expect)[(i - offset) & 1] : 0xEE;
                    ASSERT_EQ(buffer[i], want) << "mmx " << mmx << " offset " << offset << " count " << count
                                               << " byte " << i;
                }
            }
            std::memset(buffer, 0xEE, sizeof buffer);
            memFill32(buffer + offset, 0x89ABCDEFu, 37);
            for (size_t i = 0; i < sizeof buffer; ++i) {
                uint32_t expect = 0x89ABCDEFu;
                bool inside = i >= offset && i < offset + 148;
                unsigned char want = inside ? reinterpret_cast<unsigned char*>(&expect)[(i - offset) & 3] : 0xEE;
                ASSERT_EQ(buffer[i], want) << "mmx " << mmx << " offset " << offset << " byte " << i;
            }
        }
    }
}

}  // namespace
