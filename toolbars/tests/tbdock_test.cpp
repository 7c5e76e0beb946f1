#include "tbdock.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "forms/exception.h"

namespace {

using namespace toolbars;

// A toolbar len long and 22 thick (client), with a frame of 2 on each side.
// A wrap-mode toolbar that gets less than its length wraps into two lines.
struct FakeBar : TBDockableWindow {
    int len = 150, minimum = 50, thick = 22;
    TBShrinkMode mode = TBShrinkMode::None;
    Rect bounds;
    int arranged = 0;
    bool vertical = false;

    int FullLength(bool v) override { return len + 4; }
    int MinimumLength(bool v) override { return minimum + 4; }
    TBShrinkMode ShrinkMode() const override { return mode; }
    TBPoint ClientSize() override {
        const int along = ShrunkLength ? ShrunkLength - 4 : len;
        const int across = mode == TBShrinkMode::Wrap && ShrunkLength ? 2 * thick : thick;
        return vertical ? TBPoint{across, along} : TBPoint{along, across};
    }
    void SetBounds(const Rect& r) override {
        EXPECT_EQ(1, UpdatingBounds);
        bounds = r;
    }
    void Arrange() override { ++arranged; }
};

struct BarSpec {
    int row, pos, len;
    TBShrinkMode mode = TBShrinkMode::None;
    bool fullSize = false, stretch = false, newRow = false;
};
struct BarWant {
    int row, pos, length;
};

struct DockCase {
    const char* what;
    int dockLength;
    bool oneRow;
    std::vector<BarSpec> bars;
    std::vector<BarWant> want;
    int thickness;
};

const TBShrinkMode kChevron = TBShrinkMode::Chevron, kWrap = TBShrinkMode::Wrap, kNone = TBShrinkMode::None;

const DockCase kLayouts[] = {
    {"two fit in a row", 400, false, {{0, 0, 150}, {0, 154, 150}}, {{0, 0, 154}, {0, 154, 154}}, 26},
    {"the third wraps into a second row, as near its place as fits", 400, false,
     {{0, 0, 150}, {0, 154, 150}, {0, 308, 150}}, {{0, 0, 154}, {0, 154, 154}, {1, 246, 154}}, 52},
    {"windows without a position follow each other", 400, false, {{0, -1, 100}, {0, -1, 100}},
     {{0, 0, 104}, {0, 104, 104}}, 26},
    {"a gap asked for stays", 400, false, {{0, 0, 100}, {0, 200, 100}}, {{0, 0, 104}, {0, 200, 104}}, 26},
    {"a gap past the end closes up from the end", 400, false, {{0, 0, 100}, {0, 350, 100}},
     {{0, 0, 104}, {0, 296, 104}}, 26},
    {"one row: chevron bars shrink from the last", 400, true,
     {{0, 0, 150, kChevron}, {0, 154, 150, kChevron}, {0, 308, 150, kChevron}},
     {{0, 0, 154}, {0, 154, 154}, {0, 308, 92}}, 26},
    {"one row: down to their minimum, last first", 250, true,
     {{0, 0, 150, kChevron}, {0, 154, 150, kChevron}, {0, 308, 150, kChevron}},
     {{0, 0, 142}, {0, 142, 54}, {0, 196, 54}}, 26},
    {"chevron bars shrink in their row before it wraps", 300, false,
     {{0, 0, 150, kChevron}, {0, 154, 150, kChevron}, {0, 308, 150, kChevron}},
     {{0, 0, 154}, {0, 154, 92}, {0, 246, 54}}, 26},
    {"... and wrap when their minimums pass the room", 100, false,
     {{0, 0, 150, kChevron}, {0, 154, 150, kChevron}}, {{0, 0, 100}, {1, 0, 100}}, 52},
    {"a full-size window takes a row of its own and the whole length", 400, false,
     {{0, 0, 150}, {0, 154, 100, kNone, true}, {0, 200, 100}},
     {{1, 0, 154}, {0, 0, 400}, {1, 200, 104}}, 52},
    {"a stretching window at a row's end fills it", 400, false, {{0, 0, 150}, {0, 154, 100, kNone, false, true}},
     {{0, 0, 154}, {0, 154, 246}}, 26},
    {"a stretching window takes the gap after it", 400, false,
     {{0, 0, 150, kNone, false, true}, {0, 300, 50}}, {{0, 0, 300}, {0, 300, 54}}, 26},
    {"rows no window asks for close up", 400, false, {{0, 0, 100}, {5, 0, 100}, {9, 0, 100}},
     {{0, 0, 104}, {1, 0, 104}, {2, 0, 104}}, 78},
    {"a window asking for a new row gets one", 400, false, {{0, 0, 100}, {0, 104, 100, kNone, false, false, true}},
     {{1, 0, 104}, {0, 104, 104}}, 52},
    {"a wrapping bar alone in its row wraps", 300, false, {{0, 0, 400, kWrap}}, {{0, 0, 300}}, 48},
    {"a wrapping bar beside another does not", 400, true, {{0, 0, 300, kWrap}, {0, 304, 150}},
     {{0, 0, 304}, {0, 304, 154}}, 26},
};

TEST(DockLayout, RowsPositionsAndLengths) {
    for (const DockCase& c : kLayouts) {
        TBDockLayout dock;
        dock.Bounds = {0, 0, c.dockLength, 0};
        dock.LimitToOneRow = c.oneRow;
        std::vector<std::unique_ptr<FakeBar>> bars;
        dock.BeginArrange();
        for (const BarSpec& s : c.bars) {
            auto b = std::make_unique<FakeBar>();
            b->DockRow = s.row;
            b->DockPos = s.pos;
            b->len = s.len;
            b->mode = s.mode;
            b->FullSize = s.fullSize;
            b->Stretch = s.stretch;
            b->OpensNewRow = s.newRow;
            dock.AddWindow(b.get());
            dock.UpdateShown(b.get(), true);
            bars.push_back(std::move(b));
        }
        dock.EndArrange();
        ASSERT_EQ(c.want.size(), bars.size()) << c.what;
        std::vector<int> rowTop = {0};
        for (int t : dock.RowThicknesses()) rowTop.push_back(rowTop.back() + t);
        for (size_t i = 0; i < bars.size(); ++i) {
            const FakeBar& b = *bars[i];
            const BarWant& w = c.want[i];
            EXPECT_EQ(w.row, b.LaidOutRow) << c.what << ", bar " << i;
            EXPECT_EQ(w.pos, b.LaidOutPos) << c.what << ", bar " << i;
            EXPECT_EQ(w.length, b.bounds.Width()) << c.what << ", bar " << i;
            EXPECT_EQ(w.pos, b.bounds.left) << c.what << ", bar " << i;
            ASSERT_LT(size_t(w.row), rowTop.size()) << c.what;
            EXPECT_EQ(rowTop[size_t(w.row)], b.bounds.top) << c.what << ", bar " << i;
            EXPECT_EQ(w.length < b.len + 4 ? w.length : 0, b.ShrunkLength) << c.what << ", bar " << i;
            // Requested rows and positions stay as they were.
            EXPECT_EQ(c.oneRow ? 0 : c.bars[i].row, b.DockRow) << c.what << ", bar " << i;
        }
        EXPECT_EQ(c.thickness, dock.Bounds.Height()) << c.what;
    }
}

TEST(DockLayout, ThicknessFollowsTheEdgeTheDockSitsOn) {
    struct Case {
        TTBDockPosition position;
        Rect before;
        TTBDockBoundLines lines;
        Rect after;
        Rect bar;
    } cases[] = {
        {dpTop, {0, 10, 400, 10}, 0, {0, 10, 400, 36}, {0, 0, 154, 26}},
        {dpBottom, {0, 500, 400, 500}, 0, {0, 474, 400, 500}, {0, 0, 154, 26}},
        {dpBottom, {0, 500, 400, 500}, blTop | blBottom, {0, 472, 400, 500}, {0, 0, 154, 26}},
        {dpLeft, {0, 0, 0, 300}, 0, {0, 0, 26, 300}, {0, 0, 26, 154}},
        {dpRight, {600, 0, 600, 300}, blLeft, {573, 0, 600, 300}, {0, 0, 26, 154}},
    };
    for (const Case& c : cases) {
        TBDockLayout dock;
        dock.SetPosition(c.position);
        dock.SetBoundLines(c.lines);
        dock.Bounds = c.before;
        FakeBar bar;
        bar.vertical = dock.Vertical();
        bar.DockPos = 0;
        dock.AddWindow(&bar);
        dock.UpdateShown(&bar, true);
        EXPECT_EQ(c.after, dock.Bounds) << "position " << c.position << " lines " << c.lines;
        EXPECT_EQ(c.bar, bar.bounds) << "position " << c.position;
    }
}

TEST(DockLayout, EmptyDocksLockingCommitsAndQueries) {
    TBDockLayout dock;
    dock.Bounds = {0, 0, 400, 30};
    dock.LayOutDockedWindows();
    EXPECT_EQ(0, dock.Bounds.Height());
    dock.SetFixAlign(true);
    EXPECT_EQ(1, dock.Bounds.Height());

    FakeBar a, b, c;
    std::vector<std::pair<bool, TBDockableWindow*>> told;
    dock.OnInsertRemoveBar = [&](bool inserting, TBDockableWindow* w) { told.push_back({inserting, w}); };
    b.DockPos = 154;
    c.DockPos = 308;
    dock.BeginArrange();
    for (FakeBar* w : {&a, &b, &c}) {
        dock.AddWindow(w);
        dock.UpdateShown(w, true);
    }
    EXPECT_EQ(0, a.bounds.Width()) << "nothing arranged while locked";
    dock.CommitNext();
    dock.EndArrange();
    EXPECT_EQ(154, a.bounds.Width());
    ASSERT_EQ(3u, told.size());
    EXPECT_TRUE(told[2].first);
    EXPECT_EQ(&c, told[2].second);
    // The commit wrote where the wrapped window went.
    EXPECT_EQ(1, c.DockRow);
    EXPECT_EQ(246, c.DockPos);
    EXPECT_EQ(0, a.DockPos);
    EXPECT_EQ(1, dock.HighestRow(false));
    EXPECT_EQ(1, dock.HighestRow(true));

    bool fullSize = true;
    EXPECT_EQ(22, dock.RowThicknessOf(0, &fullSize));
    EXPECT_FALSE(fullSize);
    c.thick = 30;
    EXPECT_EQ(22, dock.MaxRowThicknessExcept(1, nullptr)) << "as laid out";
    EXPECT_EQ(0, dock.MaxRowThicknessExcept(1, &c));
    struct {
        int distance, row;
    } rows[] = {{0, 0}, {25, 0}, {26, 1}, {51, 1}, {52, 2}, {500, 2}};
    for (auto r : rows) EXPECT_EQ(r.row, dock.RowAtDistance(r.distance)) << r.distance;

    EXPECT_THROW(dock.SetPosition(dpLeft), forms::EInvalidOperation);
    EXPECT_EQ(dpTop, dock.Position());

    // A hidden window leaves the shown list and the others close up.
    dock.UpdateShown(&a, false);
    EXPECT_FALSE(told.back().first);
    EXPECT_EQ(-1, a.LaidOutRow);
    EXPECT_EQ(0, b.LaidOutRow);
    dock.RemoveWindow(&a);
    dock.RemoveWindow(&b);
    dock.RemoveWindow(&c);
    EXPECT_EQ(1, dock.Bounds.Height()) << "empty again, FixAlign";
    dock.SetPosition(dpLeft);
    EXPECT_TRUE(dock.Vertical());
}

TEST(DockLayout, TheRowADraggedWindowGoesTo) {
    // Rows 26 thick: row 0 of two bars, row 1 of a full-size one.
    TBDockLayout dock;
    dock.Bounds = {0, 0, 400, 0};
    FakeBar a, b, full;
    b.DockPos = 154;
    full.DockRow = 1;
    full.FullSize = true;
    for (FakeBar* w : {&a, &b, &full}) {
        dock.AddWindow(w);
        dock.UpdateShown(w, true);
    }
    ASSERT_EQ((std::vector<int>{26, 26}), dock.RowThicknesses());
    using R = TBDockLayout::DragRow;
    struct Case {
        int distance;
        bool fullSize;
        R want;
    } cases[] = {
        {-5, false, {0, true}},   {5, false, {0, true}},  {6, false, {0, false}}, {19, false, {0, false}},
        {20, false, {1, true}},   {38, false, {1, true}}, {39, false, {2, true}}, {100, false, {2, true}},
        {12, true, {0, true}},    {13, true, {1, true}},  {39, true, {2, true}},
    };
    for (const Case& c : cases) {
        const R got = dock.RowForDrag(c.distance, c.fullSize);
        EXPECT_EQ(c.want.row, got.row) << c.distance << (c.fullSize ? " full size" : "");
        EXPECT_EQ(c.want.newRow, got.newRow) << c.distance << (c.fullSize ? " full size" : "");
    }
}

TEST(DockLayout, AWindowThatShrinksIsArrangedOnce) {
    TBDockLayout dock;
    dock.Bounds = {0, 0, 300, 0};
    FakeBar bar;
    bar.len = 400;
    bar.mode = TBShrinkMode::Wrap;
    dock.AddWindow(&bar);
    dock.UpdateShown(&bar, true);
    EXPECT_EQ(300, bar.ShrunkLength);
    EXPECT_EQ(1, bar.arranged);
    EXPECT_EQ(44, bar.RowThickness);
    // Nothing changed: no new arrangement of its content.
    dock.LayOutDockedWindows();
    EXPECT_EQ(1, bar.arranged);
    // Room again: back to full length.
    dock.Bounds = {0, 0, 600, dock.Bounds.bottom};
    dock.LayOutDockedWindows();
    EXPECT_EQ(0, bar.ShrunkLength);
    EXPECT_EQ(2, bar.arranged);
    EXPECT_EQ(26, dock.Bounds.Height());
}

}  // namespace
