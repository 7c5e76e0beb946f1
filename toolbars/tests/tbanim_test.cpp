#include "tbanim.h"

#include <gtest/gtest.h>

#include <vector>

#include "tbpopupfit.h"

namespace {

using namespace toolbars;

// Runs the worker on a clock that moves only by its sleeps (and by a
// fixed cost per look); returns the levels stepped to.
std::vector<int> run(int duration, int startLevel, int costPerLook, long long* endedAt = nullptr,
                     int pointerAtMs = -1) {
    std::vector<int> levels;
    int level = startLevel;
    long long now = 0;
    for (int looks = 0; looks < 10000; ++looks) {
        const bool inside = pointerAtMs >= 0 && now >= pointerAtMs;
        const TBAnimationTick t = AnimationTick(duration, now, level, inside);
        if (t.kind == TBAnimationTick::Finish) break;
        if (t.kind == TBAnimationTick::Step) levels.push_back(level);
        if (t.kind == TBAnimationTick::Sleep) {
            EXPECT_GE(t.sleepMs, 1);
            now += t.sleepMs;
        }
        now += costPerLook;
    }
    if (endedAt) *endedAt = now;
    return levels;
}

TEST(PopupAnimation, LevelsAreSixteenthsUpToTheDuration) {
    const std::vector<int> all = {16, 32, 48, 64, 80, 96, 112, 128, 144, 160, 176, 192, 208, 224, 240};
    struct Case {
        const char* what;
        int duration, startLevel, cost;
        std::vector<int> want;
    } cases[] = {
        {"a slide starts from nothing", 150, 0, 0, all},
        {"a fade starts at 32", 150, kFadeStartLevel, 0, {48, 64, 80, 96, 112, 128, 144, 160, 176, 192, 208, 224, 240}},
        {"a slow machine skips levels but keeps their order", 150, 0, 25, {}},
    };
    for (const Case& c : cases) {
        long long ended = 0;
        const std::vector<int> got = run(c.duration, c.startLevel, c.cost, &ended);
        if (c.cost == 0) {
            EXPECT_EQ(c.want, got) << c.what;
        } else {
            ASSERT_FALSE(got.empty()) << c.what;
            for (size_t i = 1; i < got.size(); ++i) EXPECT_LT(got[i - 1], got[i]) << c.what;
            for (int l : got) EXPECT_EQ(0, l % 16) << c.what;
        }
        // The worker ends by the duration (plus one sleep and look at most).
        EXPECT_LE(ended, c.duration + c.cost + 20) << c.what;
        EXPECT_GE(ended, c.duration * 15 / 16) << c.what;
    }
}

TEST(PopupAnimation, EndsAtOnceWithoutDurationOrWhenThePointerComesIn) {
    int level = 0;
    EXPECT_EQ(TBAnimationTick::Finish, AnimationTick(0, 0, level, false).kind);
    EXPECT_EQ(TBAnimationTick::Finish, AnimationTick(-5, 10, level, false).kind);
    EXPECT_EQ(TBAnimationTick::Finish, AnimationTick(150, 150, level, false).kind);
    EXPECT_EQ(0, level);
    const std::vector<int> got = run(150, 0, 0, nullptr, 50);
    ASSERT_FALSE(got.empty());
    EXPECT_LT(got.back(), 112) << "the pointer came in at a third of the way";
}

TEST(PopupAnimation, SlideOffsetsPerDirection) {
    struct Case {
        uint8_t directions;
        int level;
        TBPoint want;
    } cases[] = {
        {tbadFromTop, 0, {0, -100}},
        {tbadFromTop, 255, {0, 0}},
        {tbadFromBottom, 128, {0, 50}},
        {tbadFromLeft, 64, {-150, 0}},
        {tbadFromRight, 64, {150, 0}},
        {tbadFromTop | tbadFromLeft, 128, {-100, -50}},
        {0, 16, {0, 0}},
    };
    for (const Case& c : cases) {
        const TBPoint got = SlideOffset(200, 100, c.level, c.directions);
        EXPECT_EQ(c.want.x, got.x) << int(c.directions) << " at " << c.level;
        EXPECT_EQ(c.want.y, got.y) << int(c.directions) << " at " << c.level;
    }
}

TEST(PopupAnimation, AStepMessageOfAnEarlierAnimationIsNotTheCurrents) {
    TBAnimationState s;
    int window = 0;
    EXPECT_FALSE(s.IsCurrent(0)) << "nothing runs";
    s.Begin(&window, 150, false, tbadFromTop);
    const uint32_t first = s.Sequence();
    EXPECT_TRUE(s.IsCurrent(first));
    s.Record().level = 96;
    // A new start clears the record but not the count.
    s.Begin(&window, 150, true, 0);
    EXPECT_EQ(kFadeStartLevel, s.Record().level);
    const uint32_t second = s.Sequence();
    EXPECT_NE(first, second);
    EXPECT_FALSE(s.IsCurrent(first));
    EXPECT_TRUE(s.IsCurrent(second));
    s.End();
    EXPECT_FALSE(s.IsCurrent(second));
}

}  // namespace
