#include "paintpath.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "scene/engine.h"

using namespace qivctl;

namespace {

PaintState st(bool valid, bool roots, bool buffer, int32_t kind = kRendererSoftware, bool again = false) {
    PaintState s;
    s.frameValid = valid;
    s.hasRoots = roots;
    s.hasFrameBuffer = buffer;
    s.rendererKind = kind;
    s.showAgain = again;
    s.controlWindow = true;
    return s;
}

using Cells = std::set<std::pair<int, int>>;

Cells cellsOf(const UpdateRegion* r) {
    Cells c;
    for (const UpdateRect* q = r->first; q; q = q->next)
        for (int y = q->y0; y < q->y1; ++y)
            for (int x = q->x0; x < q->x1; ++x) c.insert({x, y});
    return c;
}

Cells cellsOf(std::initializer_list<IRect> rects) {
    Cells c;
    for (const IRect& r : rects)
        for (int y = r.y; y < r.y + r.h; ++y)
            for (int x = r.x; x < r.x + r.w; ++x) c.insert({x, y});
    return c;
}

}  // namespace

TEST(PaintPlan, WhatOnePaintDoes) {
    struct {
        PaintState s;
        PaintAction action;
        bool counts;
    } cases[] = {
        {st(true, true, true), PaintAction::CopyAgain, true},
        {st(true, true, true, kRendererHardware), PaintAction::Nothing, true},
        {st(true, true, true, kRendererHardware, true), PaintAction::CopyAgain, true},
        {st(false, true, true), PaintAction::Render, true},
        // No root list: the frame buffer (a preview) is copied when there is one, else the
        // background is painted; nothing is copied from a missing buffer.
        {st(false, false, true), PaintAction::CopyAgain, true},
        {st(false, false, false), PaintAction::Background, false},
        {st(true, false, false, kRendererSoftware, true), PaintAction::Background, false},
        {st(false, false, true, kRendererHardware), PaintAction::Background, false},
        {st(true, true, false), PaintAction::Nothing, false},
        {st(false, true, false), PaintAction::Background, false},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        PaintPlan p = planPaint(cases[i].s);
        EXPECT_EQ(p.action, cases[i].action) << "case " << i;
        EXPECT_EQ(p.countsForStatistics, cases[i].counts) << "case " << i;
    }
}

TEST(PaintPlan, RayTraceAndHardware) {
    PaintState s = st(false, true, true);
    s.rayTraceRequested = true;
    PaintPlan p = planPaint(s);
    EXPECT_EQ(p.action, PaintAction::RayTrace);
    EXPECT_FALSE(p.countsForStatistics);
    s.hasFrameBuffer = false;
    EXPECT_EQ(planPaint(s).action, PaintAction::Background);

    s = st(false, true, true, kRendererHardware);
    s.hardwareDevice = true;
    p = planPaint(s);
    EXPECT_TRUE(p.hardware && p.createHardwareWindow && p.lockWholeFrame && p.clearFrame);
    s.hardwareWindow = true;
    s.showAgain = true;
    p = planPaint(s);
    EXPECT_FALSE(p.createHardwareWindow);
    EXPECT_TRUE(p.showHardwareWindow);
    s.hardwareWindow = false;
    s.controlWindow = false;
    p = planPaint(s);
    EXPECT_FALSE(p.hardware);  // drawn in software this time
    EXPECT_FALSE(p.createHardwareWindow);

    s = st(false, true, true);
    s.multiView = true;
    EXPECT_FALSE(planPaint(s).clearFrame);  // multi-view in software clears its own views
    s.rendererKind = kRendererHardware;
    EXPECT_TRUE(planPaint(s).clearFrame);
    EXPECT_FALSE(planPaint(st(false, true, true)).lockWholeFrame);
}

// Each frame copies its own changes and the previous frame's, never older ones.
TEST(PaintRegionsTest, CopiesThisAndPreviousFrameOnly) {
    PaintRegions r;
    ASSERT_TRUE(r.create());
    const IRect update{0, 0, 40, 30};
    const IRect a{0, 0, 4, 4}, b{10, 10, 3, 3}, c{20, 5, 2, 6};

    r.beginFrame();
    rgnAddRect(&a, r.current());
    EXPECT_EQ(cellsOf(r.finishFrame(update, false)), cellsOf({update}));  // first frame: whole update rectangle

    r.beginFrame();
    rgnAddRect(&b, r.current());
    EXPECT_EQ(cellsOf(r.finishFrame(update, true)), cellsOf({a, b}));

    r.beginFrame();
    rgnAddRect(&c, r.current());
    EXPECT_EQ(cellsOf(r.finishFrame(update, true)), cellsOf({b, c}));

    r.beginFrame();  // nothing changed: only where c was
    EXPECT_EQ(cellsOf(r.finishFrame(update, true)), cellsOf({c}));
    r.beginFrame();
    EXPECT_TRUE(cellsOf(r.finishFrame(update, true)).empty());
    // Part of the window exposed meanwhile is copied beside what changed.
    const IRect uncovered{30, 20, 5, 5};
    r.beginFrame();
    rgnAddRect(&a, r.current());
    EXPECT_EQ(cellsOf(r.finishFrame(uncovered, true, true)), cellsOf({a, uncovered}));
    r.free();
    EXPECT_FALSE(r.exists());
    EXPECT_EQ(r.finishFrame(update, true), nullptr);
}

TEST(FrameStatistics, LineEveryTwoAndAHalfSeconds) {
    FrameStats s;
    s.on = true;
    s.triangles = 1234;
    s.startTick = 0xFFFFF000u;  // the tick counter wraps inside the period
    std::string line;
    uint32_t t = s.startTick;
    int lines = 0;
    for (int i = 0; i < 100; ++i) {
        t += 37;
        if (frameStatsCount(s, t, &line)) ++lines;
    }
    EXPECT_EQ(lines, 1);
    EXPECT_EQ(line, "1234 Triangles, 27.03 FPS");  // 68 frames in 2516 ms
    EXPECT_EQ(s.frames, 100u - 68u);
    FrameStats slow;
    slow.triangles = 3;
    EXPECT_FALSE(frameStatsCount(slow, 2500, &line));
    EXPECT_TRUE(frameStatsCount(slow, 10001, &line));
    EXPECT_EQ(line, "3 Triangles, 0.20 FPS");
}

TEST(FrameTicksAfterPaint, AskedOnlyWhileSomethingMoves) {
    EXPECT_TRUE(wantNextTick(true, true, false));
    EXPECT_TRUE(wantNextTick(true, false, true));
    EXPECT_FALSE(wantNextTick(true, false, false));
    EXPECT_FALSE(wantNextTick(false, true, true));
}

TEST(DisplayBackend, RendererKind) {
    EXPECT_EQ(rendererKindFor(0, true, true), kRendererHardware);
    EXPECT_EQ(rendererKindFor(0, true, false), kRendererSoftware);
    EXPECT_EQ(rendererKindFor(0, false, true), kRendererSoftware);
    EXPECT_EQ(rendererKindFor(kRendererSoftware, true, true), kRendererSoftware);
    EXPECT_EQ(rendererKindFor(kRendererHardware, false, false), kRendererHardware);
    EXPECT_EQ(rendererKindAfterRestart(kRendererHardware), kRendererSoftware);
    EXPECT_EQ(rendererKindAfterRestart(0), 0);
}

TEST(DisplayBackend, ChangeWithSameValuesRestartsNothing) {
    displayChangeReset();
    EXPECT_TRUE(displayChanged(32, 1024, 768));
    EXPECT_FALSE(displayChanged(32, 1024, 768));
    EXPECT_TRUE(displayChanged(16, 1024, 768));
    EXPECT_TRUE(displayChanged(16, 800, 600));
    EXPECT_FALSE(displayChanged(16, 800, 600));
    displayChangeReset();
    EXPECT_TRUE(displayChanged(16, 800, 600));
}

TEST(EdgeFilter, RunsOnlyWhenNothingMoves) {
    FilterState idle;
    idle.filterOn = true;
    idle.displayMode = 2;
    EXPECT_TRUE(filterRuns(idle));
    auto with = [&](auto change) {
        FilterState s = idle;
        change(s);
        return filterRuns(s);
    };
    EXPECT_FALSE(with([](FilterState& s) { s.multiView = true; }));
    EXPECT_FALSE(with([](FilterState& s) { s.mouseCaptured = true; }));
    EXPECT_FALSE(with([](FilterState& s) { s.animationRunning = true; }));
    EXPECT_FALSE(with([](FilterState& s) { s.spinPhi = 1e-9; }));
    EXPECT_FALSE(with([](FilterState& s) { s.spinPsi = -0.5; }));
    EXPECT_FALSE(with([](FilterState& s) { s.dragging = true; }));
    EXPECT_FALSE(with([](FilterState& s) { s.filterOn = false; }));
    EXPECT_FALSE(with([](FilterState& s) { s.overlayShown = true; }));
    for (int32_t mode : {0, 4, 5, 127}) EXPECT_FALSE(with([mode](FilterState& s) { s.displayMode = mode; })) << mode;
    for (int32_t mode : {1, 3}) EXPECT_TRUE(with([mode](FilterState& s) { s.displayMode = mode; })) << mode;
}
