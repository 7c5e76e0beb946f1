#include "frameticks.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace qivctl;

namespace {

struct Recorder {
    int started = 0;
    std::vector<uintptr_t> killed;
    std::vector<TickWindow> posted;
    uintptr_t nextTimer = 100;
    FrameTickTable* table = nullptr;  // set: each posted window asks again at once
};

FrameTickHooks hooksFor(Recorder& r) {
    FrameTickHooks h;
    h.context = &r;
    h.startTimer = [](void* c) {
        auto* r = static_cast<Recorder*>(c);
        ++r->started;
        return r->nextTimer++;
    };
    h.killTimer = [](void* c, uintptr_t t) { static_cast<Recorder*>(c)->killed.push_back(t); };
    h.postTick = [](void* c, TickWindow w) {
        auto* r = static_cast<Recorder*>(c);
        r->posted.push_back(w);
        if (r->table) r->table->request(w);
    };
    return h;
}

class FrameTicks : public ::testing::Test {
protected:
    void SetUp() override { table.setHooks(hooksFor(rec)); }
    FrameTickTable table;
    Recorder rec;
};

}  // namespace

TEST_F(FrameTicks, OneTimerServesAllWindowsOnce) {
    table.request(11);
    table.request(12);
    table.request(11);
    EXPECT_EQ(rec.started, 1);
    EXPECT_TRUE(table.timerPending());
    EXPECT_EQ(table.windows(), (std::vector<TickWindow>{11, 12}));
    table.fire();
    EXPECT_EQ(rec.posted, (std::vector<TickWindow>{11, 12}));
    EXPECT_EQ(rec.killed, (std::vector<uintptr_t>{100}));
    EXPECT_FALSE(table.timerPending());
    EXPECT_TRUE(table.windows().empty());
    // One-shot: the next tick needs a new request, which starts a new timer.
    table.request(12);
    EXPECT_EQ(rec.started, 2);
    table.request(0);
    EXPECT_EQ(table.windows(), (std::vector<TickWindow>{12}));
}

// Many controls on one page: every one of them animates, not only the first twenty.
TEST_F(FrameTicks, TableGrowsPastTwentyWindows) {
    for (TickWindow w = 1; w <= 64; ++w) table.request(w * 16);
    EXPECT_EQ(rec.started, 1);
    table.fire();
    ASSERT_EQ(rec.posted.size(), 64u);
    EXPECT_EQ(rec.posted[20], TickWindow(21 * 16));
    EXPECT_EQ(rec.posted.back(), TickWindow(64 * 16));
}

TEST_F(FrameTicks, RemoveKeepsOrderAndKillsTimerWhenEmpty) {
    table.request(1);
    table.request(2);
    table.request(3);
    table.remove(2);
    EXPECT_EQ(table.windows(), (std::vector<TickWindow>{1, 3}));
    EXPECT_TRUE(rec.killed.empty());
    table.remove(1);
    table.remove(3);
    EXPECT_EQ(rec.killed, (std::vector<uintptr_t>{100}));
    EXPECT_FALSE(table.timerPending());
    table.remove(3);  // not there
    table.fire();     // nothing pending: nothing killed or posted
    EXPECT_EQ(rec.killed.size(), 1u);
    EXPECT_TRUE(rec.posted.empty());
}

TEST_F(FrameTicks, WindowAskingAgainDuringTickGetsTheNextOne) {
    rec.table = &table;
    table.request(7);
    table.fire();
    EXPECT_EQ(rec.posted, (std::vector<TickWindow>{7}));
    EXPECT_EQ(table.windows(), (std::vector<TickWindow>{7}));
    EXPECT_EQ(rec.started, 2);
    EXPECT_TRUE(table.timerPending());
}

TEST_F(FrameTicks, TimerThatFailsToStartIsTriedAgain) {
    rec.nextTimer = 0;  // first start fails
    table.request(1);
    EXPECT_FALSE(table.timerPending());
    table.request(2);
    EXPECT_EQ(rec.started, 2);
    EXPECT_TRUE(table.timerPending());
}

TEST_F(FrameTicks, ConcurrentRequestsAreAllServed) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([this, t] {
            for (TickWindow w = 1; w <= 200; ++w) table.request(TickWindow(t * 1000) + w);
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(table.windows().size(), 800u);
    EXPECT_EQ(rec.started, 1);
}

TEST(FrameTicksGlobal, ResetForgetsHooksAndWindows) {
    Recorder rec;
    frameTicks().setHooks(hooksFor(rec));
    frameTicks().request(5);
    frameTicks().reset();
    EXPECT_TRUE(frameTicks().windows().empty());
    EXPECT_FALSE(frameTicks().timerPending());
    frameTicks().request(6);  // no hooks now
    frameTicks().fire();
    EXPECT_EQ(rec.started, 1);
    EXPECT_TRUE(rec.posted.empty());
    frameTicks().reset();
}
