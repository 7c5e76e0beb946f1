#include "viewmaths.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace qivctl;

namespace {

constexpr double kTwoPi = 6.283185307179586;

struct BarCase {
    int32_t frame;
    double view;
    double scene;
};

const BarCase kBarCases[] = {
    {400, 2.0, 8.0}, {640, 1.0, 1.0}, {301, 0.37, 5.3}, {1023, 12.5, 3.0}, {64, 0.001, 900.0},
};

}  // namespace

// Every position a user can scroll to turns into a pan value that puts the bar back there.
TEST(ScrollBars, PanAndBarAreExactInverses) {
    for (const BarCase& c : kBarCases) {
        SCOPED_TRACE(testing::Message() << "frame " << c.frame << " view " << c.view << " scene " << c.scene);
        ScrollBarState h0, v0;
        ASSERT_TRUE(horizontalBarFromPan(c.frame, c.view, c.scene, 0.0, &h0));
        ASSERT_TRUE(verticalBarFromPan(c.frame, -c.view, c.scene, 0.0, &v0));
        EXPECT_EQ(h0.maximum, c.frame);
        EXPECT_EQ(h0.page, v0.page);
        for (int32_t pos = 0; pos <= c.frame - h0.page + 1; ++pos) {
            ScrollBarState bar = h0;
            bar.position = pos;
            double panX = panXFromHorizontalBar(bar, c.view, c.scene);
            ScrollBarState back;
            ASSERT_TRUE(horizontalBarFromPan(c.frame, c.view, c.scene, panX, &back));
            ASSERT_EQ(back.position, pos) << "horizontal";
            ASSERT_EQ(back.page, bar.page);

            bar = v0;
            bar.position = pos;
            double panY = panYFromVerticalBar(bar, -c.view, c.scene);
            ASSERT_TRUE(verticalBarFromPan(c.frame, -c.view, c.scene, panY, &back));
            ASSERT_EQ(back.position, pos) << "vertical";
        }
    }
}

// A centred view puts the thumb in the middle; moving the thumb right or down pans the
// view over the scene the way a document scrolls.
TEST(ScrollBars, CentreAndDirection) {
    ScrollBarState h;
    ASSERT_TRUE(horizontalBarFromPan(400, 2.0, 8.0, 0.0, &h));
    EXPECT_EQ(h.page, 101);
    EXPECT_NEAR(h.position + h.page / 2.0, 200.0, 1.0);
    ScrollBarState right = h;
    right.position += 10;
    EXPECT_LT(panXFromHorizontalBar(right, 2.0, 8.0), panXFromHorizontalBar(h, 2.0, 8.0));

    ScrollBarState v;
    ASSERT_TRUE(verticalBarFromPan(400, -2.0, 8.0, 0.0, &v));
    ScrollBarState down = v;
    down.position += 10;
    EXPECT_GT(panYFromVerticalBar(down, -2.0, 8.0), panYFromVerticalBar(v, -2.0, 8.0));
    // One bar unit is scene / frame.
    EXPECT_NEAR(panYFromVerticalBar(down, -2.0, 8.0) - panYFromVerticalBar(v, -2.0, 8.0), 10 * 8.0 / 400, 1e-12);
}

TEST(ScrollBars, ZeroSceneLeavesBarAlone) {
    ScrollBarState bar;
    bar.position = 7;
    EXPECT_FALSE(horizontalBarFromPan(400, 2.0, 0.0, 1.0, &bar));
    EXPECT_FALSE(verticalBarFromPan(400, 2.0, 0.0, 1.0, &bar));
    EXPECT_EQ(bar.position, 7);
    EXPECT_EQ(panXFromHorizontalBar(bar, 2.0, 0.0), 0.0);
    ScrollBarState empty;
    EXPECT_EQ(panYFromVerticalBar(empty, 2.0, 5.0), 0.0);
}

TEST(ScrollBars, PositionForCode) {
    const ScrollBarState bar{0, 100, 20, 40};  // largest position 81
    struct {
        int32_t code, thumb, expected;
    } cases[] = {
        {ScrollLineUp, 0, 39},      {ScrollLineDown, 0, 41},    {ScrollPageUp, 0, 20},
        {ScrollPageDown, 0, 60},    {ScrollThumbPosition, 77, 77}, {ScrollThumbTrack, 5, 5},
        {ScrollThumbTrack, 500, 81}, {ScrollThumbTrack, -3, 0},  {ScrollTop, 0, 0},
        {ScrollBottom, 0, 81},      {ScrollEnd, 0, 40},         {99, 0, 40},
    };
    for (const auto& c : cases)
        EXPECT_EQ(scrollPositionForCode(bar, c.code, c.thumb), c.expected) << "code " << c.code;
    EXPECT_EQ(scrollPositionForCode({0, 100, 20, 0}, ScrollLineUp, 0), 0);
    EXPECT_EQ(scrollPositionForCode({0, 100, 20, 10}, ScrollPageUp, 0), 0);
    EXPECT_EQ(scrollPositionForCode({0, 100, 20, 70}, ScrollPageDown, 0), 81);
    EXPECT_EQ(scrollPositionForCode({0, 100, 20, 81}, ScrollLineDown, 0), 81);
}

// The track bar names a point of the animation's own range, which need not begin at 0.
TEST(TrackBar, TimeIncludesStart) {
    struct {
        double start, end;
        int32_t pos;
        double time;
    } cases[] = {
        {0, 10, 50, 5}, {2, 6, 0, 2}, {2, 6, 50, 4}, {2, 6, 100, 6}, {-1, 1, 25, -0.5}, {2, 6, 250, 6}, {2, 6, -4, 2},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(trackBarTime(c.start, c.end, c.pos), c.time);
}

TEST(TrackBar, PositionFollowsTimeInWholePercent) {
    const double ranges[][2] = {{0, 1}, {0.3, 7.9}, {-2, 3}, {10, 10.07}};
    for (const auto& r : ranges)
        for (int32_t p = 0; p <= 100; ++p)
            ASSERT_EQ(trackBarPosition(r[0], r[1], trackBarTime(r[0], r[1], p)), p) << r[0] << ".." << r[1];
    EXPECT_EQ(trackBarPosition(2, 6, 1), 0);
    EXPECT_EQ(trackBarPosition(2, 6, 9), 100);
    EXPECT_EQ(trackBarPosition(3, 3, 3), 0);
    EXPECT_EQ(trackBarPosition(0, 1, NAN), 0);
}

TEST(Angles, WrapKeepsSignWithinOneTurn) {
    struct {
        double in, out;
    } cases[] = {
        {0, 0}, {1, 1}, {-1, -1}, {kTwoPi + 0.5, 0.5}, {-kTwoPi - 0.5, -0.5}, {31.415928, 31.415928 - 5 * kTwoPi},
        {INFINITY, 0}, {NAN, 0},
    };
    for (const auto& c : cases) EXPECT_NEAR(wrapAngle(c.in), c.out, 1e-12) << c.in;
}

TEST(Animation, ClockRunsRepeatsAndFinishes) {
    AnimClock c;
    c.start = 1.5;
    c.end = 4.0;
    c.speed = 2.0;
    c.rate = 0.5;
    c.startTick = 0xFFFFFC18u;  // 1000 ms before the counter wraps
    EXPECT_EQ(animStep(c, 0xFFFFFC18u + 1000u), AnimStepResult::Running);
    EXPECT_DOUBLE_EQ(c.time, 2.5);
    EXPECT_EQ(animStep(c, 2000u), AnimStepResult::Finished);  // 3000 ms in: 4.5 is past the end
    EXPECT_DOUBLE_EQ(c.time, 4.0);

    c.autoRepeat = true;
    EXPECT_EQ(animStep(c, 2000u), AnimStepResult::Repeated);
    EXPECT_DOUBLE_EQ(c.time, 1.5);  // back to the range's start, not to 0
    EXPECT_EQ(c.startTick, 2000u);
    EXPECT_EQ(animStep(c, 2500u), AnimStepResult::Running);
    EXPECT_DOUBLE_EQ(c.time, 2.0);
}
