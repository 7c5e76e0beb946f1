#include "tbsavepos.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>
#include <vector>

#include "tbfloat.h"
#include "tbtoolwin.h"

namespace {

using namespace toolbars;

// A tool window on a 1000 x 700 work area, its floating frame 8 wide and
// 23 high around the client, limits 32..400 x 32..0.
TBSavedWindowInfo toolWindow() {
    TBSavedWindowInfo i;
    i.Kind = TBSavedKind::ToolWindow;
    i.LoadSaveWidthHeight = true;
    i.WorkArea = {0, 0, 1000, 700};
    i.FloatFrame = {8, 23};
    i.MinClient = {32, 32};
    i.MaxClient = {400, 0};
    i.Current.DockRow = 2;
    i.Current.DockPos = 17;
    i.Current.ClientSize = {120, 90};
    return i;
}

TEST(SavedPositions, RoundTripThroughAnIniFileInKeyOrder) {
    forms::IniFile ini;
    const TBPositionStore store = IniPositionStore(ini, "Bars.");
    TBSavedWindowInfo info = toolWindow();
    TBSavedPosition p;
    p.Visible = false;
    p.DockedTo = kDockedToFloating;
    p.LastDock = "LeftDock";
    p.DockRow = 1;
    p.DockPos = 40;
    p.FloatPos = {300, 200};
    p.ClientSize = {150, 110};
    WriteSavedPosition(store, "Catalog", info, p);
    EXPECT_EQ((std::vector<std::string>{"Rev", "Visible", "DockedTo", "LastDock", "DockRow", "DockPos", "FloatLeft",
                                        "FloatTop", "ClientWidth", "ClientHeight"}),
              ini.ReadSection("Bars.Catalog"));
    EXPECT_EQ(2000, ini.ReadInteger("Bars.Catalog", "Rev", 0));

    TBSavedPosition back;
    ASSERT_TRUE(ReadSavedPosition(store, "Catalog", info, back));
    EXPECT_FALSE(back.Visible);
    EXPECT_EQ("+", back.DockedTo);
    EXPECT_EQ("LeftDock", back.LastDock);
    EXPECT_EQ(1, back.DockRow);
    EXPECT_EQ(40, back.DockPos);
    EXPECT_EQ((TBPoint{300, 200}), back.FloatPos);
    EXPECT_EQ((TBPoint{150, 110}), back.ClientSize);

    // A toolbar carries its floating width instead of a client size.
    TBSavedWindowInfo bar;
    bar.Kind = TBSavedKind::Toolbar;
    bar.WorkArea = info.WorkArea;
    bar.FloatFrame = {8, 23};
    p.FloatingWidth = 77;
    p.ClientSize = {};
    WriteSavedPosition(store, "Standard", bar, p);
    EXPECT_FALSE(ini.ValueExists("Bars.Standard", "ClientWidth"));
    ASSERT_TRUE(ReadSavedPosition(store, "Standard", bar, back));
    EXPECT_EQ(77, back.FloatingWidth);
}

TEST(SavedPositions, AnotherRevisionOrNoSectionLeavesTheWindowAsItIs) {
    forms::IniFile ini;
    ini.SetText("[Catalog]\nRev=1999\nVisible=0\nDockedTo=TopDock\nDockRow=5\n");
    const TBPositionStore store = IniPositionStore(ini, "");
    const TBSavedWindowInfo info = toolWindow();
    TBSavedPosition back;
    EXPECT_FALSE(ReadSavedPosition(store, "Catalog", info, back));
    EXPECT_TRUE(back.Visible);
    EXPECT_EQ(2, back.DockRow);
    EXPECT_EQ("", back.DockedTo);
    EXPECT_FALSE(ReadSavedPosition(store, "Missing", info, back));

    // Rev alone: every other key takes the window's current value.
    ini.SetText("[Catalog]\nRev=2000\n");
    ASSERT_TRUE(ReadSavedPosition(store, "Catalog", info, back));
    EXPECT_TRUE(back.Visible);
    EXPECT_EQ("", back.DockedTo);
    EXPECT_EQ(2, back.DockRow);
    EXPECT_EQ(17, back.DockPos);
    EXPECT_EQ((TBPoint{120, 90}), back.ClientSize);
}

TEST(SavedPositions, HostileValuesAreClampedToTheScreenAndTheLimits) {
    struct Case {
        const char* what;
        const char* section;
        TBPoint floatPos, client;
        int row, pos;
    };
    const std::vector<Case> cases = {
        {"negative everything", "FloatLeft=-5000\nFloatTop=-1\nClientWidth=-20\nClientHeight=-7\nDockRow=-3\nDockPos=-99",
         {0, 0}, {32, 32}, 0, -1},
        {"huge everything",
         "FloatLeft=2147483647\nFloatTop=2147483647\nClientWidth=2147483647\nClientHeight=2147483647\n"
         "DockRow=2147483647\nDockPos=2147483647",
         // 400 wide at most; as high as the work area less the frame.
         {1000 - 408, 0}, {400, 677}, kMaxSavedDockRow, 1000},
        {"the most negative", "FloatLeft=-2147483648\nFloatTop=-2147483648\nDockRow=-2147483648\nDockPos=-2147483648",
         {0, 0}, {120, 90}, 0, -1},
        {"unparsable text takes the defaults", "FloatLeft=left\nClientWidth=wide\nDockRow=x", {0, 0}, {120, 90}, 2, 17},
        {"a frame half off the right edge", "FloatLeft=950\nFloatTop=690\nClientWidth=100\nClientHeight=50",
         {1000 - 108, 700 - 73}, {100, 50}, 2, 17},
    };
    for (const Case& c : cases) {
        forms::IniFile ini;
        ini.SetText(std::string("[W]\nRev=2000\n") + c.section + "\n");
        TBSavedPosition back;
        ASSERT_TRUE(ReadSavedPosition(IniPositionStore(ini, ""), "W", toolWindow(), back)) << c.what;
        EXPECT_EQ(c.floatPos, back.FloatPos) << c.what << " " << back.FloatPos.x << "," << back.FloatPos.y;
        EXPECT_EQ(c.client, back.ClientSize) << c.what << " " << back.ClientSize.x << "," << back.ClientSize.y;
        EXPECT_EQ(c.row, back.DockRow) << c.what;
        EXPECT_EQ(c.pos, back.DockPos) << c.what;
    }

    // A toolbar's floating width stays between 0 (unlimited) and the work area.
    TBSavedWindowInfo bar;
    bar.Kind = TBSavedKind::Toolbar;
    bar.WorkArea = {0, 0, 1000, 700};
    for (const auto& [text, want] : std::vector<std::pair<const char*, int>>{
             {"-40", 0}, {"2147483647", 1000}, {"250", 250}}) {
        forms::IniFile ini;
        ini.SetText(std::string("[W]\nRev=2000\nFloatRightX=") + text + "\n");
        TBSavedPosition back;
        ASSERT_TRUE(ReadSavedPosition(IniPositionStore(ini, ""), "W", bar, back));
        EXPECT_EQ(want, back.FloatingWidth) << text;
    }
}

TEST(SavedPositions, ClientSizeIsReadOnlyWhenResizableAndLoadSaveWidthHeight) {
    forms::IniFile ini;
    ini.SetText("[W]\nRev=2000\nClientWidth=200\nClientHeight=150\n");
    for (const auto& [loadSave, resizable, want] : std::vector<std::tuple<bool, bool, TBPoint>>{
             {true, true, {200, 150}}, {true, false, {120, 90}}, {false, true, {120, 90}}}) {
        TBSavedWindowInfo info = toolWindow();
        info.LoadSaveWidthHeight = loadSave;
        info.Resizable = resizable;
        TBSavedPosition back;
        ASSERT_TRUE(ReadSavedPosition(IniPositionStore(ini, ""), "W", info, back));
        EXPECT_EQ(want, back.ClientSize) << loadSave << resizable;
    }
    // Written with LoadSaveWidthHeight even when not resizable.
    TBSavedWindowInfo info = toolWindow();
    info.Resizable = false;
    forms::IniFile out;
    WriteSavedPosition(IniPositionStore(out, ""), "W", info, info.Current);
    EXPECT_EQ(120, out.ReadInteger("W", "ClientWidth", 0));
}

TEST(ClampPlacement, RawValuesOfAnySizeLandOnTheArea) {
    const Rect area{-100, 0, 900, 700};
    EXPECT_EQ((Rect{800, 650, 900, 700}), ClampPlacement(LLONG_MAX / 4, INT_MAX, 100, 50, area, {10, 10}));
    EXPECT_EQ((Rect{-100, 0, 900, 700}), ClampPlacement(INT_MIN, INT_MIN, INT_MAX, INT_MAX, area, {10, 10}));
    EXPECT_EQ((Rect{0, 0, 300, 10}), ClampPlacement(0, 0, 500, -5, area, {10, 10}, {300, 0}));
    // A minimum larger than the area wins; the frame then starts at the area's corner.
    EXPECT_EQ((Rect{-100, 0, 1100, 800}), ClampPlacement(50, 50, 10, 10, area, {1200, 800}));
    EXPECT_EQ((TBPoint{32, 700}), ClampSize(-1, 5000, area, {32, 32}));
}

TEST(ToolWindowSize, RemembersTheClientSizeAndMeasuresStretchedWindowsAtTheirMinimum) {
    TBToolWindowSize s;
    EXPECT_EQ((TBPoint{32, 32}), s.Remembered);  // a new tool window is 32 x 32
    s.Remember({130, 100}, {10, 8}, true);
    EXPECT_EQ((TBPoint{120, 92}), s.Remembered);
    s.Remember({50, 40}, {10, 8}, false);
    EXPECT_EQ((TBPoint{50, 40}), s.Remembered);
    s.Remember({4, 4}, {10, 8}, true);
    EXPECT_EQ((TBPoint{0, 0}), s.Remembered);

    s.Remembered = {120, 90};
    s.MinClient = {40, 33};
    EXPECT_EQ((TBPoint{120, 90}), s.ForDock(true, false, false));
    EXPECT_EQ((TBPoint{40, 90}), s.ForDock(true, false, true));  // top dock: the minimum width
    EXPECT_EQ((TBPoint{120, 33}), s.ForDock(true, true, true));  // left dock: the minimum height
    EXPECT_EQ((TBPoint{120, 90}), s.ForDock(false, false, true));

    s.MinClient = {32, 32};
    EXPECT_EQ((TBPoint{32, 32}), s.Limit({5, -3}));
    EXPECT_EQ((TBPoint{5000, 5000}), s.Limit({5000, 5000}));  // maximum 0: none
    s.MaxClient = {300, 200};
    EXPECT_EQ((TBPoint{300, 200}), s.Limit({5000, 5000}));
}

}  // namespace
