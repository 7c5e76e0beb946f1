#include "controlbar.h"

#include <gtest/gtest.h>

#include <vector>

using namespace qivctl;

namespace {

const BarMetrics kM{10, 10, 10, 10};

BarState state(bool hideControls, bool hideScrollBars, bool anim, bool rayTrace) {
    BarState s;
    s.hideControls = hideControls;
    s.hideScrollBars = hideScrollBars;
    s.hasAnimation = anim;
    s.rayTraceEnabled = rayTrace;
    return s;
}

const int32_t kBarIds[] = {BarRayTrace, BarHScroll, BarVScroll, BarPlus,  BarAuto,
                           BarMinus,    BarAnimStart, BarAnimStop, BarTrack};

}  // namespace

TEST(ControlBar, FrameSize) {
    struct {
        bool hideControls, hideScrollBars, anim;
        int32_t w, h;
    } cases[] = {
        {false, false, false, 390, 290}, {false, false, true, 390, 280}, {false, true, true, 400, 290},
        {false, true, false, 401, 301},  {true, false, false, 401, 301},  {true, false, true, 401, 301},
    };
    for (const auto& c : cases) {
        int32_t w, h;
        viewFrameSize(400, 300, kM, state(c.hideControls, c.hideScrollBars, c.anim, false), &w, &h);
        EXPECT_EQ(w, c.w) << c.hideControls << c.hideScrollBars << c.anim;
        EXPECT_EQ(h, c.h) << c.hideControls << c.hideScrollBars << c.anim;
    }
    int32_t w, h;
    viewFrameSize(5, 5, kM, state(false, false, true, false), &w, &h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
}

// The view frame and the visible bar children tile the client area: every pixel belongs to
// exactly one of them, in every state and at every size.
TEST(ControlBar, FrameAndChildrenTileTheClientArea) {
    for (int mask = 0; mask < 16; ++mask) {
        BarState s = state(mask & 1, mask & 2, mask & 4, mask & 8);
        for (int32_t W : {60, 97, 200})
            for (int32_t H : {50, 81}) {
                SCOPED_TRACE(testing::Message() << "state " << mask << " size " << W << "x" << H);
                BarLayout l = layoutBar(W, H, kM, s);
                std::vector<int> cover(size_t(W * H), 0);
                auto add = [&](const BarRect& r) {
                    for (int32_t y = r.y; y < r.y + r.h; ++y)
                        for (int32_t x = r.x; x < r.x + r.w; ++x)
                            if (x >= 0 && y >= 0 && x < W && y < H) ++cover[size_t(y * W + x)];
                            else ADD_FAILURE() << "outside the client at " << x << "," << y;
                };
                add({0, 0, std::min(l.frameWidth, W), std::min(l.frameHeight, H)});
                for (int32_t id : kBarIds)
                    if (l.item(id)->visible) add(l.item(id)->rect);
                for (int32_t y = 0; y < H; ++y)
                    for (int32_t x = 0; x < W; ++x)
                        ASSERT_EQ(cover[size_t(y * W + x)], 1) << "pixel " << x << "," << y;
            }
    }
}

TEST(ControlBar, HiddenControlsShowNoChild) {
    for (BarState s : {state(true, false, true, true), state(false, true, false, true)}) {
        BarLayout l = layoutBar(300, 200, kM, s);
        for (int32_t id : kBarIds) EXPECT_FALSE(l.item(id)->visible) << id;
        EXPECT_EQ(l.frameWidth, 301);
    }
}

TEST(ControlBar, ButtonsAndAnimationRow) {
    BarLayout l = layoutBar(300, 200, kM, state(false, false, false, false));
    EXPECT_FALSE(l.rayTrace.visible);
    EXPECT_EQ(l.hScroll.rect, (BarRect{0, 190, 280, 10}));  // room for two cells
    EXPECT_EQ(l.vScroll.rect, (BarRect{290, 0, 10, 180}));
    EXPECT_EQ(l.plus.rect, (BarRect{290, 180, 10, 10}));
    EXPECT_FALSE(l.track.visible);
    EXPECT_FALSE(l.track.enabled);
    EXPECT_FALSE(l.animStart.visible);

    l = layoutBar(300, 200, kM, state(false, false, false, true));
    EXPECT_TRUE(l.rayTrace.visible);
    EXPECT_EQ(l.hScroll.rect.w, 270);

    BarState s = state(false, false, true, false);
    l = layoutBar(300, 200, kM, s);
    EXPECT_TRUE(l.track.visible && l.track.enabled);
    EXPECT_EQ(l.track.rect.y, 180);
    EXPECT_TRUE(l.animStart.enabled);
    EXPECT_FALSE(l.animStop.enabled);
    s.animationRunning = true;
    l = layoutBar(300, 200, kM, s);
    EXPECT_FALSE(l.animStart.enabled);
    EXPECT_TRUE(l.animStop.enabled);

    l = layoutBar(300, 200, kM, state(false, true, true, true));  // scroll bars hidden: row at the bottom
    EXPECT_EQ(l.track.rect.y, 190);
    EXPECT_EQ(l.track.rect.x + l.track.rect.w, 300);
    EXPECT_FALSE(l.hScroll.visible);
    EXPECT_FALSE(l.rayTrace.visible);
}

// A size message for the size already laid out changes nothing, with the bars shown or not.
TEST(ControlBar, SameSizeNeedsNoNewFrame) {
    for (int mask = 0; mask < 8; ++mask) {
        BarState s = state(mask & 1, mask & 2, mask & 4, false);
        int32_t w, h;
        viewFrameSize(320, 240, kM, s, &w, &h);
        EXPECT_FALSE(sizeNeedsLayout(320, 240, kM, s, w, h)) << mask;
        EXPECT_TRUE(sizeNeedsLayout(321, 240, kM, s, w, h)) << mask;
        EXPECT_TRUE(sizeNeedsLayout(320, 100, kM, s, w, h)) << mask;
        EXPECT_FALSE(sizeNeedsLayout(0, 240, kM, s, w, h)) << mask;
    }
}

TEST(ControlBar, LoadingPanel) {
    struct {
        int32_t width;
        bool status;
        int32_t height;
    } cases[] = {{400, true, 6 * 13 + 79}, {200, true, 7 * 13 + 79}, {400, false, 13 + 75}, {200, false, 13 + 75}};
    for (const auto& c : cases) {
        BarState s = state(false, false, false, false);
        s.loadingPanel = true;
        s.statusText = c.status;
        s.linkTextWidth = 90;
        s.linkTextHeight = 13;
        BarLayout l = layoutBar(c.width + 10, 400, kM, s);
        ASSERT_TRUE(l.panel.visible);
        EXPECT_EQ(l.panel.rect.h, c.height) << c.width;
        EXPECT_NEAR(l.panel.rect.x * 2 + l.panel.rect.w, l.frameWidth, 1);
        EXPECT_NEAR(l.panel.rect.y * 2 + l.panel.rect.h, l.frameHeight, 1);
        EXPECT_TRUE(l.link.visible);
        EXPECT_EQ(l.link.rect.h, 13);
        EXPECT_EQ(l.progress.visible, c.status);
        EXPECT_EQ(l.cancel.visible, c.status);
        if (c.status) {
            EXPECT_EQ(l.cancel.rect.w, 70);
            EXPECT_EQ(l.panel.rect.x + l.panel.rect.w - l.cancel.rect.x, 72);
            for (const BarItem* i : {&l.link, &l.progress, &l.cancel}) {
                EXPECT_GE(i->rect.y, l.panel.rect.y);
                EXPECT_LE(i->rect.y + i->rect.h, l.panel.rect.y + l.panel.rect.h);
            }
            EXPECT_LE(l.link.rect.y + l.link.rect.h, l.progress.rect.y);
            EXPECT_LE(l.progress.rect.y + l.progress.rect.h, l.cancel.rect.y);
        }
    }
    BarLayout none = layoutBar(300, 200, kM, state(false, false, false, false));
    EXPECT_FALSE(none.panel.visible || none.link.visible || none.cancel.visible);
}

TEST(ControlBar, HitTest) {
    BarState s = state(false, false, true, true);
    s.loadingPanel = true;
    s.statusText = true;
    s.linkTextWidth = 60;
    s.linkTextHeight = 12;
    BarLayout l = layoutBar(400, 300, kM, s);
    struct {
        int32_t x, y, hit;
    } cases[] = {
        {5, 5, HitView},
        {389, 279, HitView},
        {395, 5, BarVScroll},
        {395, 285, BarPlus},
        {395, 295, BarMinus},
        {385, 295, BarAuto},
        {375, 295, BarRayTrace},
        {100, 295, BarHScroll},
        {5, 285, BarAnimStart},
        {30, 285, BarAnimStop},
        {200, 285, BarTrack},
        {l.cancel.rect.x + 1, l.cancel.rect.y + 1, BarCancel},
        {l.link.rect.x, l.link.rect.y, BarLink},
        {l.progress.rect.x + 3, l.progress.rect.y + 1, BarProgress},
        {-1, 5, HitNone},
        {400, 5, HitNone},
    };
    for (const auto& c : cases) EXPECT_EQ(barHitTest(l, c.x, c.y), c.hit) << c.x << "," << c.y;
}
