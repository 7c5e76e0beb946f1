#include "tbpopupfit.h"

#include <gtest/gtest.h>

namespace {

using namespace toolbars;

const Rect kPrimary{0, 0, 1024, 768};
// A second monitor left of the primary one, and one right of it.
const Rect kLeftMonitor{-1280, 0, 0, 1024};
const Rect kRightMonitor{1024, 0, 2048, 768};

struct FitCase {
    const char* what;
    TBPopupOrigin origin;
    Rect monitor;
    Rect item;
    int alignment;
    bool parentLeft;
    int x, y;  // where the popup starts
    int wantX, wantY;
    uint8_t wantDirections;
    bool wantOpenedLeft;
};

// Popups are 120 x 200 with borders of 3.
const FitCase kFits[] = {
    {"below an item, room enough", TBPopupOrigin::Below, kPrimary, {100, 10, 150, 30}, 0, false, 100, 30, 100, 30,
     tbadFromTop, false},
    {"below an item near the bottom opens above it", TBPopupOrigin::Below, kPrimary, {100, 700, 150, 720}, 0, false,
     100, 720, 100, 500, tbadFromBottom, false},
    {"no room above either: clamped, then moved beside the item", TBPopupOrigin::Below, {0, 0, 1024, 360},
     {100, 150, 150, 170}, 0, false, 100, 170, 150, 160, tbadFromLeft, false},
    {"beside an item with no room right goes left of it", TBPopupOrigin::Below, {0, 0, 1024, 360},
     {950, 150, 1000, 170}, 0, false, 950, 170, 830, 160, tbadFromRight, false},
    {"below an item at the right edge", TBPopupOrigin::Below, kPrimary, {950, 10, 1000, 30}, 0, false, 950, 30, 904,
     30, tbadFromTop, false},
    {"on the right monitor, past its right edge", TBPopupOrigin::Below, kRightMonitor, {1990, 10, 2040, 30}, 0,
     false, 1990, 30, 1928, 30, tbadFromTop, false},
    {"sideways with room", TBPopupOrigin::Sideways, kPrimary, {200, 100, 340, 120}, 0, false, 337, 97, 337, 97,
     tbadFromLeft, false},
    {"sideways at the right edge opens left", TBPopupOrigin::Sideways, kPrimary, {900, 100, 1000, 120}, 0, false,
     997, 97, 783, 97, tbadFromRight, true},
    {"sideways after a parent that opened left", TBPopupOrigin::Sideways, kPrimary, {500, 100, 640, 120}, 0, true,
     637, 97, 383, 97, tbadFromRight, true},
    {"an inherited left run with no room left turns right", TBPopupOrigin::Sideways, kPrimary, {60, 100, 200, 120},
     0, true, 197, 97, 197, 97, tbadFromLeft, false},
    {"sideways near the bottom goes up to the item's bottom", TBPopupOrigin::Sideways, kPrimary,
     {200, 700, 340, 720}, 0, false, 337, 697, 337, 523, tbadFromLeft, false},
    {"sideways on the left monitor at its right edge", TBPopupOrigin::Sideways, kLeftMonitor,
     {-200, 100, -60, 120}, 0, false, -63, 97, -317, 97, tbadFromRight, true},
    {"at a point, left-aligned, past the right edge", TBPopupOrigin::AtPoint, kPrimary, {1000, 300, 1000, 300}, 0,
     false, 1000, 300, 880, 300, tbadFromTop | tbadFromRight, false},
    {"at a point, right-aligned, past the left edge", TBPopupOrigin::AtPoint, kPrimary, {50, 300, 50, 300}, 1,
     false, -70, 300, 50, 300, tbadFromTop | tbadFromLeft, false},
    {"at a point on the right monitor, right-aligned past its left edge", TBPopupOrigin::AtPoint, kRightMonitor,
     {1050, 100, 1050, 100}, 1, false, 930, 100, 1050, 100, tbadFromTop | tbadFromLeft, false},
    {"at a point near the bottom opens above it", TBPopupOrigin::AtPoint, kPrimary, {300, 700, 300, 700}, 0, false,
     300, 700, 300, 500, tbadFromBottom | tbadFromLeft, false},
    {"from a vertical toolbar at the left edge goes right of it", TBPopupOrigin::VerticalToolbar, kPrimary,
     {0, 100, 30, 130}, 0, false, -120, 100, 30, 100, tbadFromLeft, false},
    {"from a vertical toolbar at the right edge stays left of it", TBPopupOrigin::VerticalToolbar, kPrimary,
     {994, 100, 1024, 130}, 0, false, 874, 100, 874, 100, tbadFromRight, false},
    {"from a vertical toolbar, no room either side: below the item", TBPopupOrigin::VerticalToolbar,
     {0, 0, 150, 768}, {20, 100, 50, 130}, 0, false, -100, 100, 0, 130, tbadFromTop, false},
    {"... or above it when below passes the bottom", TBPopupOrigin::VerticalToolbar, {0, 0, 150, 768},
     {20, 600, 50, 630}, 0, false, -100, 600, 0, 400, tbadFromBottom, false},
};

TEST(FitPopupPosition, EveryCaseOfPlacement) {
    for (const FitCase& c : kFits) {
        TBPopupPlacement p;
        p.origin = c.origin;
        p.monitor = c.monitor;
        p.item = c.item;
        p.alignment = c.alignment;
        p.width = 120;
        p.height = 200;
        p.borderX = p.borderY = 3;
        p.parentOpenedLeft = c.parentLeft;
        p.viewItems = {c.item};
        p.x = c.x;
        p.y = c.y;
        FitPopupPosition(p);
        EXPECT_EQ(c.wantX, p.x) << c.what;
        EXPECT_EQ(c.wantY, p.y) << c.what;
        EXPECT_EQ(c.wantDirections, p.directions) << c.what;
        EXPECT_EQ(c.wantOpenedLeft, p.openedLeft) << c.what;
        // Whatever happened, the popup lies on its monitor where it fits.
        EXPECT_GE(p.x, c.monitor.left) << c.what;
        EXPECT_GE(p.y, c.monitor.top) << c.what;
        EXPECT_LE(p.y + p.height, c.monitor.bottom) << c.what;
    }
}

}  // namespace
