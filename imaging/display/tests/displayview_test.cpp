#include "displayview.h"

#include <gtest/gtest.h>

#include "rubberband.h"

namespace imaging {
namespace {

TEST(RatioZoom, TheSmallerSideRatioAndNothingForAnEmptyPicture) {
    struct Case {
        Size picture, control;
        bool fits;
        double zoom;
    } cases[] = {
        {{200, 100}, {100, 100}, true, 0.5},  // width decides
        {{100, 400}, {100, 100}, true, 0.25},  // height decides
        {{50, 50}, {200, 100}, true, 2.0},     // enlarges
        {{100, 100}, {100, 100}, true, 1.0},
        {{0, 100}, {100, 100}, false, 0},
        {{100, 0}, {100, 100}, false, 0},
        {{100, 100}, {0, 100}, false, 0},
    };
    for (const Case& c : cases) {
        double z = -1;
        EXPECT_EQ(c.fits, RatioZoom(c.picture, c.control, z)) << c.picture.width << "x" << c.picture.height;
        if (c.fits) {
            EXPECT_DOUBLE_EQ(c.zoom, z) << c.picture.width << "x" << c.picture.height;
        }
    }
    // Nothing to fit leaves the zoom as it was (no division by zero, no NaN).
    DisplayView v;
    v.setZoom(3.0);
    v.fitRatio({0, 0}, {100, 100});
    EXPECT_EQ(3.0, v.zoom());
}

TEST(DisplayView, RatioOnAndOffReturnsToTheOriginAndZoom) {
    DisplayView v;
    v.setZoom(2.0);
    v.setOrigin({30, 40});
    v.ratioOn({400, 200}, {100, 100});
    EXPECT_EQ(0.25, v.zoom());
    EXPECT_EQ((Point{0, 0}), v.origin());
    v.ratioOff();
    EXPECT_EQ(2.0, v.zoom());
    EXPECT_EQ((Point{30, 40}), v.origin());
    // A new picture: zoom 1, origin and saved origin (0, 0).
    v.reset();
    EXPECT_EQ(1.0, v.zoom());
    v.ratioOn({100, 100}, {100, 100});
    v.ratioOff();
    EXPECT_EQ((Point{0, 0}), v.origin());
}

TEST(CentreAndTiles, OffsetsRoundTowardsZeroAndTilesCoverTheControl) {
    EXPECT_EQ((Point{25, 0}), CentreOffset({50, 100}, {100, 100}));
    EXPECT_EQ((Point{2, 2}), CentreOffset({5, 5}, {10, 10}));        // 2.5 -> 2
    EXPECT_EQ((Point{-2, -2}), CentreOffset({15, 15}, {10, 10}));    // -2.5 -> -2
    const std::vector<Point> tiles = TilePositions({40, 30}, {100, 60});
    const std::vector<Point> want = {{0, 0}, {40, 0}, {80, 0}, {0, 30}, {40, 30}, {80, 30}};
    EXPECT_EQ(want, tiles);
    EXPECT_EQ(1u, TilePositions({200, 200}, {100, 60}).size());
    EXPECT_TRUE(TilePositions({0, 30}, {100, 60}).empty());  // an empty picture: no endless loop
    EXPECT_TRUE(TilePositions({40, 30}, {0, 60}).empty());
}

TEST(UncoveredBands, TheClientLessThePicture) {
    const Rect client{0, 0, 100, 80};
    struct Case {
        Rect picture;
        std::vector<Rect> bands;
    } cases[] = {
        {{0, 0, 100, 80}, {}},
        {{0, 0, 60, 80}, {{60, 0, 100, 80}}},
        {{20, 10, 80, 70}, {{0, 0, 100, 10}, {0, 70, 100, 80}, {0, 10, 20, 70}, {80, 10, 100, 70}}},
        {{-50, -50, 150, 150}, {}},           // larger than the client
        {{200, 0, 300, 80}, {{0, 0, 100, 80}}},  // outside it
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.bands, UncoveredBands(client, c.picture)) << c.picture.left << "," << c.picture.top;
        // Bands and picture together cover the client exactly once.
        long area = 0;
        for (const Rect& b : c.bands) area += long(b.Width()) * b.Height();
        const long in = long(std::max(0, std::min(100, c.picture.right) - std::max(0, c.picture.left))) *
                        std::max(0, std::min(80, c.picture.bottom) - std::max(0, c.picture.top));
        EXPECT_EQ(100 * 80, area + in);
    }
}

TEST(ScrollLayout, BarsShowOnlyForALargerPictureInScrollingMode) {
    const DisplayOptions plain;
    DisplayView v;
    struct Case {
        const char* what;
        Size picture;
        DisplayOptions options;
        bool isBitmap;
        bool shown;
    } cases[] = {
        {"exactly the control's size", {100, 80}, plain, true, false},
        {"one pixel wider", {101, 80}, plain, true, true},
        {"higher", {100, 81}, plain, true, true},
        {"smaller", {50, 40}, plain, true, false},
        {"stretched", {300, 300}, {.stretch = true}, true, false},
        {"ratio", {300, 300}, {.stretchRatio = true}, true, false},
        {"no scrolling", {300, 300}, {.scrolling = false}, true, false},
        {"bars off", {300, 300}, {.showScrollbars = false}, true, false},
        {"no bitmap", {300, 300}, plain, false, false},
    };
    for (const Case& c : cases) {
        const ScrollLayout l = v.scrollLayout(c.picture, {100, 80}, c.options, c.isBitmap);
        EXPECT_EQ(c.shown, l.shown) << c.what;
        EXPECT_EQ(c.shown, l.vertical.shown && l.horizontal.shown && l.corner.shown) << c.what;
        if (!c.shown) {
            EXPECT_EQ(Rect::Bounds(-1, -1, -1, -1), l.vertical.bounds) << c.what;
            EXPECT_EQ(0, l.hMax) << c.what;
        }
    }
}

TEST(ScrollLayout, PlacesRangesAndPositions) {
    DisplayView v;
    v.setZoom(2.0);
    v.setOrigin({40, 500});
    const ScrollLayout l = v.scrollLayout({300, 200}, {100, 80}, DisplayOptions{}, true);
    ASSERT_TRUE(l.shown);
    EXPECT_EQ(Rect::Bounds(88, 1, 12, 67), l.vertical.bounds);
    EXPECT_EQ(Rect::Bounds(1, 68, 87, 12), l.horizontal.bounds);
    EXPECT_EQ(Rect::Bounds(88, 68, 12, 12), l.corner.bounds);
    EXPECT_EQ(300 * 2 - 100 + 12, l.hMax);
    EXPECT_EQ(80, l.hPos);                   // origin x 40 at zoom 2
    EXPECT_EQ(200 * 2 - 80 + 12, l.vMax);
    EXPECT_EQ(l.vMax, l.vPos);               // an origin beyond the range gives the maximum
    // Moving a bar sets the origin to the position over the zoom.
    v.horizontalBarMoved(51);
    v.verticalBarMoved(100);
    EXPECT_EQ((Point{26, 50}), v.origin());
}

TEST(ScrollLayout, HidingTheBarsLeavesNoEmptyBand) {
    DisplayView v;
    v.setZoom(2.0);
    // The picture's right edge 88 device pixels from the left: the bars' band of 12 would
    // be empty once they go.
    v.setOrigin({106, 0});
    v.scrollbarsHidden({150, 300}, {100, 80});
    EXPECT_EQ((Point{100, 0}), v.origin());
    EXPECT_LE(100, (150 - v.origin().x) * 2);
    // Never below 0, and an origin that leaves no band stays.
    v.setOrigin({10, 5});
    v.scrollbarsHidden({40, 300}, {100, 80});
    EXPECT_EQ((Point{0, 5}), v.origin());
}

TEST(Pan, StepsByTheDistanceOverTheZoomAndStopsAtTheEdges) {
    const Size picture{400, 300}, area{100, 100};
    struct Case {
        double zoom;
        Point start, last, current, want;
    } cases[] = {
        {1.0, {50, 50}, {60, 60}, {50, 40}, {60, 70}},     // drag left and up: origin grows
        {2.0, {50, 50}, {60, 60}, {50, 40}, {55, 60}},     // half as far at zoom 2
        {4.0, {50, 50}, {60, 60}, {59, 61}, {51, 49}},     // under one picture pixel: still one
        {1.0, {50, 50}, {60, 60}, {60, 60}, {50, 50}},     // no movement, no step
        {1.0, {5, 5}, {0, 0}, {100, 100}, {0, 0}},         // stops at 0
        {1.0, {295, 195}, {100, 100}, {0, 0}, {300, 200}},  // stops at the size less the visible part
        {0.5, {0, 0}, {100, 100}, {0, 0}, {200, 100}},     // 200 x 200 seen at zoom 0.5
    };
    for (const Case& c : cases) {
        DisplayView v;
        v.setZoom(c.zoom);
        v.setOrigin(c.start);
        v.pan(c.last, c.current, picture, area);
        EXPECT_EQ(c.want, v.origin()) << "zoom " << c.zoom << " from " << c.start.x << "," << c.start.y;
    }
    // A picture narrower than the control keeps origin x at 0.
    DisplayView v;
    v.setOrigin({0, 10});
    v.pan({50, 50}, {0, 40}, {80, 300}, area);
    EXPECT_EQ((Point{0, 20}), v.origin());
}

TEST(ZoomedPlacement, VisiblePartFromTheOriginOrTheWholePictureCentred) {
    struct Case {
        const char* what;
        double zoom;
        Point origin;
        Size picture;
        bool center;
        Rect source, dest;
    } cases[] = {
        {"1:1 larger", 1.0, {10, 20}, {300, 300}, false, Rect::Bounds(10, 20, 88, 68), Rect::Bounds(0, 0, 88, 68)},
        {"zoom 2 larger", 2.0, {10, 20}, {300, 300}, false, Rect::Bounds(10, 20, 44, 34), Rect::Bounds(0, 0, 88, 68)},
        {"zoom 3 rounds up", 3.0, {0, 0}, {300, 300}, false, Rect::Bounds(0, 0, 30, 23), Rect::Bounds(0, 0, 90, 69)},
        {"near the edge", 1.0, {250, 0}, {300, 300}, false, Rect::Bounds(250, 0, 50, 68), Rect::Bounds(0, 0, 50, 68)},
        {"smaller, centred", 1.0, {0, 0}, {40, 20}, true, Rect::Bounds(0, 0, 40, 20), Rect::Bounds(24, 24, 40, 20)},
        {"smaller, not centred", 2.0, {0, 0}, {20, 10}, false, Rect::Bounds(0, 0, 20, 10), Rect::Bounds(0, 0, 40, 20)},
        {"wider only", 1.0, {5, 0}, {200, 40}, true, Rect::Bounds(5, 0, 88, 40), Rect::Bounds(0, 14, 88, 40)},
    };
    for (const Case& c : cases) {
        DisplayView v;
        v.setZoom(c.zoom);
        v.setOrigin(c.origin);
        const DisplayView::Placement p = v.zoomedPlacement(c.picture, {88, 68}, c.center);
        EXPECT_EQ(c.source, p.source) << c.what;
        EXPECT_EQ(c.dest, p.dest) << c.what;
    }
    // The draw area is the control less the bars when they show.
    DisplayView v;
    EXPECT_EQ((Size{88, 68}), v.drawArea({100, 80}, DisplayOptions{}, true));
    EXPECT_EQ((Size{100, 80}), v.drawArea({100, 80}, DisplayOptions{}, false));
}

TEST(RubberBand, FarCornerKeepsTheAspectRatioInTheMousesQuadrant) {
    const Size control{200, 100};  // height / width 0.5
    struct Case {
        Point mouse;
        Rect outline;
    } cases[] = {
        {{80, 90}, {50, 50, 80, 65}},   // right and down
        {{20, 90}, {20, 50, 50, 65}},   // left and down
        {{80, 10}, {50, 35, 80, 50}},   // right and up
        {{10, 45}, {10, 30, 50, 50}},   // left and up
        {{50, 90}, {50, 50, 50, 50}},   // no horizontal distance: nothing
    };
    for (const Case& c : cases) {
        RubberBand band;
        band.begin({50, 50});
        ASSERT_TRUE(band.move(c.mouse, control));
        EXPECT_EQ(c.outline, band.outline()) << c.mouse.x << "," << c.mouse.y;
        Rect corners;
        ASSERT_TRUE(band.finish(corners));
        EXPECT_EQ(c.outline, corners);
        EXPECT_FALSE(band.active());
    }
    RubberBand idle;
    Rect corners;
    EXPECT_FALSE(idle.move({1, 1}, control));
    EXPECT_FALSE(idle.finish(corners));
}

}  // namespace
}  // namespace imaging
