#include "tbfloat.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace toolbars;

TEST(DragHandle, SizesAndGripOffsetsByStyleAndCloseButton) {
    struct Case {
        TTBDragHandleStyle style;
        bool close;
        int size, grip;
    };
    for (const Case& c : std::vector<Case>{{dhDouble, false, 9, 4},
                                           {dhNone, false, 0, 2},
                                           {dhSingle, false, 6, 3},
                                           {dhDouble, true, 14, 5},
                                           {dhNone, true, 14, 2},
                                           {dhSingle, true, 14, 7}}) {
        EXPECT_EQ(c.size, DragHandleSize(c.style, c.close)) << c.style << " " << c.close;
        EXPECT_EQ(c.grip, DragHandleGripOffset(c.style, c.close)) << c.style << " " << c.close;
    }
}

// A 200 x 100 floating frame with a border of 4 and a caption of 15.
TEST(FloatingFrame, HitCodes) {
    TBFloatingFrame f;
    f.border = 4;
    f.captionHeight = 15;
    struct Case {
        const char* what;
        TBPoint p;
        bool resizable, eightCorners, closeButton;
        int want;
    };
    const std::vector<Case> cases = {
        {"caption", {50, 8}, true, true, true, kHitCaption},
        {"close button", {190, 8}, true, true, true, kHitCloseButton},
        {"caption where a missing close button would be", {190, 8}, true, true, false, kHitCaption},
        {"left side", {1, 50}, true, true, true, kHitLeft},
        {"right side", {198, 50}, true, true, true, kHitRight},
        {"top side", {100, 1}, true, true, true, kHitTop},
        {"bottom side", {100, 98}, true, true, true, kHitBottom},
        {"top-left corner along the top", {10, 1}, true, true, true, kHitTopLeft},
        {"top-left corner along the left", {1, 10}, true, true, true, kHitTopLeft},
        {"bottom-right corner", {195, 98}, true, true, true, kHitBottomRight},
        {"bottom-left corner along the left", {1, 90}, true, true, true, kHitBottomLeft},
        {"top-right corner along the right", {198, 12}, true, true, true, kHitTopRight},
        {"four sides only: top first", {1, 1}, true, false, true, kHitTop},
        {"four sides only: bottom before left", {1, 98}, true, false, true, kHitBottom},
        {"four sides only: left", {1, 50}, true, false, true, kHitLeft},
        {"not resizable: no sizing codes", {1, 50}, false, true, true, kHitNone},
        {"not resizable: corners neither", {198, 98}, false, true, true, kHitNone},
        {"not resizable: the caption still drags", {50, 8}, false, true, true, kHitCaption},
    };
    for (const Case& c : cases) {
        f.resizable = c.resizable;
        f.eightCorners = c.eightCorners;
        f.closeButton = c.closeButton;
        EXPECT_EQ(c.want, FloatingHitTest(f, 200, 100, c.p)) << c.what;
    }
    f.captionHeight = 0;
    f.resizable = true;
    EXPECT_EQ(kHitTop, FloatingHitTest(f, 200, 100, {100, 1})) << "without a caption the top edge sizes";
}

TEST(FloatingFrame, CaptionAndCloseButtonRectangles) {
    TBFloatingFrame f;
    f.border = 3;
    f.captionHeight = 16;
    EXPECT_EQ((Rect{3, 3, 181, 18}), FloatingCaptionRect(f, 200)) << "shortened by the caption height";
    EXPECT_EQ((Rect{182, 3, 197, 18}), FloatingCloseButtonRect(f, 200));
    f.closeButton = false;
    EXPECT_EQ((Rect{3, 3, 197, 18}), FloatingCaptionRect(f, 200));
    EXPECT_EQ(Rect{}, FloatingCloseButtonRect(f, 200));
}

TEST(ResizeRect, EdgesMoveWithTheCursorWithinTheLimits) {
    const Rect start{100, 100, 300, 200};
    const TBPoint minimum{50, 40}, none{0, 0};
    struct Case {
        const char* what;
        int code, dx, dy;
        TBPoint maximum;
        Rect want;
    };
    const std::vector<Case> cases = {
        {"left edge", kHitLeft, -20, 7, none, {80, 100, 300, 200}},
        {"right edge", kHitRight, 30, 7, none, {100, 100, 330, 200}},
        {"top edge", kHitTop, 9, -10, none, {100, 90, 300, 200}},
        {"bottom-right corner", kHitBottomRight, 10, 20, none, {100, 100, 310, 220}},
        {"top-left corner", kHitTopLeft, 10, 20, none, {110, 120, 300, 200}},
        {"bottom-left corner", kHitBottomLeft, -5, 5, none, {95, 100, 300, 205}},
        {"top-right corner", kHitTopRight, 5, -5, none, {100, 95, 305, 200}},
        {"too narrow: the left edge stops at the minimum", kHitLeft, 190, 0, none, {250, 100, 300, 200}},
        {"too low: the bottom edge stops", kHitBottom, 0, -500, none, {100, 100, 300, 140}},
        {"the maximum holds the right edge", kHitRight, 500, 0, {260, 0}, {100, 100, 360, 200}},
        {"the maximum holds the top edge", kHitTop, 0, -500, {0, 150}, {100, 50, 300, 200}},
        {"not a sizing code", kHitCaption, 10, 10, none, start},
    };
    for (const Case& c : cases) EXPECT_EQ(c.want, ResizeRect(start, c.code, c.dx, c.dy, minimum, c.maximum)) << c.what;
}

TEST(KeepInside, MovesIntoTheWorkArea) {
    const Rect area{0, 0, 1000, 700};
    struct Case {
        const char* what;
        Rect r;
        bool onlyWhenOutside;
        Rect want;
    };
    const std::vector<Case> cases = {
        {"inside stays", {10, 10, 110, 60}, false, {10, 10, 110, 60}},
        {"past the right edge", {950, 10, 1050, 60}, false, {900, 10, 1000, 60}},
        {"past the bottom", {10, 680, 110, 730}, false, {10, 650, 110, 700}},
        {"above and left", {-50, -20, 50, 30}, false, {0, 0, 100, 50}},
        {"larger than the area: the left and top edges win", {-10, -10, 1200, 800}, false, {0, 0, 1210, 810}},
        {"partly outside but touching: left alone", {950, 10, 1050, 60}, true, {950, 10, 1050, 60}},
        {"wholly outside: moved in", {2000, 900, 2100, 950}, true, {900, 650, 1000, 700}},
    };
    for (const Case& c : cases) EXPECT_EQ(c.want, KeepInside(c.r, area, c.onlyWhenOutside)) << c.what;
}

TEST(ClampPlacement, ReadBackPlacesNeverLeaveTheScreenOrGoNegative) {
    const Rect area{0, 0, 1000, 700};
    struct Case {
        const char* what;
        Rect r;
        Rect want;
    };
    const std::vector<Case> cases = {
        {"a sane place stays", {100, 100, 300, 200}, {100, 100, 300, 200}},
        {"off screen", {-5000, 30000, -4800, 30100}, {0, 600, 200, 700}},
        {"negative size", {100, 100, 20, 50}, {100, 100, 130, 120}},
        {"larger than the area", {0, 0, 5000, 5000}, {0, 0, 1000, 700}},
    };
    for (const Case& c : cases) EXPECT_EQ(c.want, ClampPlacement(c.r, area, {30, 20})) << c.what;
}

}  // namespace
