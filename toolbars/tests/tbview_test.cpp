#include "tbview.h"

#include <gtest/gtest.h>

#include <memory>

#include "tbfakes.h"

namespace {

using namespace toolbars;
using namespace tbtest;

// A toolbar view with a chevron item, as toolbars have.
struct ChevronView : TTBView {
    TTBItem chevron{nullptr};
    ChevronView(TBViewWindow* w, TTBCustomItem* root, bool priority)
        : TTBView(nullptr, nullptr, w, root, true, false, priority) {
        chevron.SetItemStyle(TTBItemStyles(chevron.ItemStyle() | isSubmenu | isNoAutoOpen));
        RecreateAllViewers();
    }
    ~ChevronView() override { SetParentItem(nullptr); }
    TTBCustomItem* GetChevronItem() override { return &chevron; }
};

// Items of the toolbar: "x" * n is 12 + 6n wide and 19 high; "|" is a
// separator (6 x 6); "-" a separator that never breaks a line.
struct Bar : ::testing::Test {
    FakeWindow window;
    TTBRootItem root{nullptr};
    std::unique_ptr<TTBView> view;
    std::vector<TTBCustomItem*> items;

    void make(const std::vector<std::string>& spec, bool toolbar = true, bool popup = false) {
        for (const std::string& s : spec) {
            TTBCustomItem* it;
            if (s == "|" || s == "-") {
                it = child<TTBSeparatorItem>(&root);
                if (s == "-") it->SetItemStyle(TTBItemStyles(it->ItemStyle() | isNoLineBreak));
            } else {
                it = child(&root, s);
            }
            it->SetName("i" + std::to_string(items.size()));
            items.push_back(it);
        }
        if (!view) view = std::make_unique<TTBView>(nullptr, nullptr, &window, &root, toolbar, popup, false);
    }
    Rect at(int i) { return view->Find(items[size_t(i)])->BoundsRect; }
    bool shown(int i) { return view->Find(items[size_t(i)])->Show; }
    std::string shownList() {
        std::string s;
        for (size_t i = 0; i < items.size(); ++i) s += shown(int(i)) ? '1' : '0';
        return s;
    }
    TBPoint layout() { return view->UpdateLayout(); }
};

TEST_F(Bar, MarginsAndSeparatorsThatCollapse) {
    make({"|", "a", "|", "|", "b", "|"});
    const TBPoint size = layout();
    EXPECT_EQ("011010", shownList()) << "first, doubled and last separators go";
    EXPECT_EQ(Rect::Bounds(4, 2, 18, 19), at(1)) << "left margin 4, top 2";
    EXPECT_EQ(Rect::Bounds(22, 2, 6, 19), at(2)) << "a separator takes the line's thickness";
    EXPECT_EQ(Rect::Bounds(28, 2, 18, 19), at(4));
    EXPECT_EQ(50, size.x) << "right margin 4";
    EXPECT_EQ(22, size.y) << "bottom margin 1";
    EXPECT_EQ(50, window.width);
    items[4]->SetVisible(false);
    EXPECT_EQ("010000", shownList()) << "a separator between hidden items goes too";
}

TEST_F(Bar, AnEmptyViewOrOneOfSeparatorsIsTwentyThreeByTwentyTwo) {
    make({});
    EXPECT_EQ((TBPoint{23, 22}), layout());
    make({"|", "|", "|"});
    EXPECT_EQ((TBPoint{23, 22}), layout());
    EXPECT_EQ("000", shownList());
}

TEST_F(Bar, WrappingBreaksLinesAtSeparators) {
    make({"a", "b", "|", "c", "d", "|", "e", "f"});
    view->WrapOffset = 74;  // 70 less the right margin
    TBPoint size = layout();
    EXPECT_TRUE(view->Find(items[2])->LineBreak) << "c and d would not fit after it";
    EXPECT_EQ(Rect::Bounds(0, 21, 44, 6), at(2)) << "a line break spans the line, 6 high";
    EXPECT_EQ(Rect::Bounds(4, 27, 18, 19), at(3));
    EXPECT_EQ(Rect::Bounds(4, 52, 18, 19), at(6));
    EXPECT_EQ((TBPoint{44, 72}), size);
    // A separator that never breaks lines lets an item wrap instead.
    items[5]->SetItemStyle(TTBItemStyles(items[5]->ItemStyle() | isNoLineBreak));
    layout();
    EXPECT_FALSE(view->Find(items[5])->LineBreak);
    EXPECT_EQ(Rect::Bounds(40, 27, 6, 19), at(5));
    EXPECT_EQ(Rect::Bounds(46, 27, 18, 19), at(6));
    EXPECT_TRUE(view->Find(items[7])->LineBreak);
    EXPECT_EQ(Rect::Bounds(4, 46, 18, 19), at(7));
}

TEST_F(Bar, AnItemThatWrapsMakesTheNextSeparatorALineBreak) {
    make({"a", "b", "c", "|", "d"});
    view->WrapOffset = 54;
    layout();
    EXPECT_EQ(Rect::Bounds(4, 21, 18, 19), at(2)) << "c starts the second line";
    EXPECT_TRUE(view->Find(items[3])->LineBreak);
    EXPECT_EQ(Rect::Bounds(4, 46, 18, 19), at(4)) << "d comes after the break";
    // Without wrapping everything stays on one line.
    view->WrapOffset = 0;
    layout();
    EXPECT_FALSE(view->Find(items[3])->LineBreak);
    EXPECT_EQ(2, at(4).top);
}

TEST_F(Bar, RightAlignAndStretch) {
    make({"a", "b", "c"});
    items[1]->SetItemStyle(TTBItemStyles(items[1]->ItemStyle() | isRightAlign));
    view->WrapOffset = 100;
    layout();
    EXPECT_EQ(Rect::Bounds(4, 2, 18, 19), at(0));
    EXPECT_EQ(Rect::Bounds(60, 2, 18, 19), at(1)) << "b and what follows go to the far end";
    EXPECT_EQ(Rect::Bounds(78, 2, 18, 19), at(2));
    // A taller item makes the line thicker: stretch items fill it, others centre.
    FakeImages images(16, 20);
    items[0]->SetImages(&images);
    items[0]->SetImageIndex(0);
    items[2]->SetItemStyle(TTBItemStyles(items[2]->ItemStyle() | isStretch));
    layout();
    EXPECT_EQ(26, at(0).Height());
    EXPECT_EQ(Rect::Bounds(60, 5, 18, 19), at(1)) << "centred across the line";
    EXPECT_EQ(2, at(2).top);
    EXPECT_EQ(26, at(2).Height()) << "stretched to the line";
    items[0]->SetImages(nullptr);
}

TEST_F(Bar, VerticalLinesAreMirrored) {
    make({"a", "b", "c"});
    view->SetOrientation(tbvoVertical);
    view->WrapOffset = 40;  // two rotated items per column
    const TBPoint size = layout();
    EXPECT_EQ((TBPoint{38, 36}), size);
    EXPECT_EQ(Rect::Bounds(19, 0, 19, 18), at(0)) << "the first column at the right";
    EXPECT_EQ(Rect::Bounds(19, 18, 19, 18), at(1));
    EXPECT_EQ(Rect::Bounds(0, 0, 19, 18), at(2));
}

struct Chevron : Bar {
    std::unique_ptr<ChevronView> cview;
    void makeChevron(const std::vector<std::string>& spec, bool priority) {
        make(spec);
        view.reset();
        cview = std::make_unique<ChevronView>(&window, &root, priority);
        view.reset(cview.get());
    }
    void TearDown() override { view.release(); }
};

TEST_F(Chevron, HidesItemsFromTheEndButKeepsOne) {
    makeChevron({"a", "b", "|", "c", "d", "e"}, false);
    view->ChevronOffset = 60;
    view->ChevronSize = 12;
    TBPoint size = layout();
    EXPECT_EQ("110000", shownList()) << "the separator before the hidden items goes too";
    EXPECT_TRUE(view->Find(items[3])->Clipped);
    EXPECT_FALSE(view->Find(items[2])->Clipped) << "separators are hidden, not clipped";
    TTBItemViewer* chev = view->Find(&cview->chevron);
    EXPECT_TRUE(chev->Show);
    EXPECT_EQ(Rect::Bounds(48, 2, 12, 19), chev->BoundsRect);
    EXPECT_TRUE(cview->chevron.Enabled());
    EXPECT_EQ(60, size.x);
    view->ChevronOffset = 20;
    layout();
    EXPECT_EQ("100000", shownList()) << "one item stays";
    view->ChevronOffset = 200;
    layout();
    EXPECT_EQ("111111", shownList());
    EXPECT_FALSE(view->Find(&cview->chevron)->Show);
}

TEST_F(Chevron, ThePriorityListHidesTheLeastRecentlyClickedFirst) {
    makeChevron({"a", "b", "c", "d", "e"}, true);
    view->ChevronOffset = 60;
    view->ChevronSize = 12;
    TTBTrackResult r;
    view->ClickResult(view->Find(items[4]), r);
    EXPECT_EQ(items[4], r.action.item);
    layout();
    EXPECT_EQ("10001", shownList()) << "e was clicked last, so d, c and b go";
    view->ClickResult(view->Find(items[2]), r);
    layout();
    EXPECT_EQ("00101", shownList());
}

TEST_F(Bar, PopupsScrollBetweenArrowBands) {
    std::vector<std::string> spec;
    for (int i = 0; i < 10; ++i) spec.push_back(std::string(1, char('a' + i)));
    make(spec, false, true);
    view->MaxHeight = 100;
    TBPoint size = layout();
    EXPECT_EQ(100, size.y);
    EXPECT_FALSE(view->ShowUpArrow());
    EXPECT_TRUE(view->ShowDownArrow());
    EXPECT_EQ("1111000000", shownList()) << "rows 17 high; the fifth reaches into the band";
    EXPECT_TRUE(view->Find(items[4])->Clipped);
    view->ScrollOffset = 1000;
    layout();
    EXPECT_EQ(70, view->ScrollOffset) << "clamped to the overflow";
    EXPECT_TRUE(view->ShowUpArrow());
    EXPECT_FALSE(view->ShowDownArrow());
    EXPECT_EQ("0000001111", shownList());
    EXPECT_EQ(Rect::Bounds(0, 100 - 17, 46, 17), at(9));
    // The pointer resting on a band scrolls one row per 100 ms.
    view->ScrollOffset = 0;
    layout();
    view->TrackHover(10, 95, true);
    ASSERT_EQ(1u, window.timers.count(kViewTimerBase + tbtScrollDown));
    EXPECT_EQ(100, window.timers[kViewTimerBase + tbtScrollDown]);
    view->TimerFired(tbtScrollDown);
    EXPECT_EQ(4, view->ScrollOffset) << "the fifth row comes fully into view";
    EXPECT_EQ(81, at(4).bottom);
    view->TrackHover(10, 50, true);
    EXPECT_TRUE(window.timers.empty());
    view->ScrollOffset = 70;
    layout();
    view->TimerFired(tbtScrollDown);
    EXPECT_FALSE(view->TimerRunning(tbtScrollDown)) << "no down arrow: the timer stops";
}

TEST_F(Bar, ChangesRepaintAndRelayOutOnlyWhatChanged) {
    make({"aa", "bb", "cc", "dd", "ee"});
    layout();
    window.invalid.clear();
    window.updates = 0;
    items[2]->SetCaption("xx");
    EXPECT_EQ((std::vector<Rect>{at(2)}), window.invalid) << "same size: only the item repaints";
    EXPECT_EQ(0, window.updates);
    window.invalid.clear();
    items[2]->SetCaption("cccc");
    EXPECT_EQ(1, window.updates);
    for (const Rect& r : window.invalid) EXPECT_GE(r.left, at(2).left) << "a and b stay as they were";
    EXPECT_EQ(1 + 2 * 3, int(window.invalid.size())) << "c, then the old and new places of c, d and e";
    window.invalid.clear();
    items[4]->SetVisible(false);
    EXPECT_EQ(2u, window.invalid.size()) << "e's place, from its notice and its layout change";
    EXPECT_EQ(window.invalid[0], window.invalid[1]);
}

TEST_F(Bar, ViewersFollowInsertDeleteAndEmbeddedGroups) {
    make({"a", "b"});
    auto* group = new TTBItem(nullptr);
    group->SetItemStyle(TTBItemStyles(group->ItemStyle() | isEmbeddedGroup));
    auto* g1 = child(group, "g1");
    root.Insert(1, group);
    auto order = [&] {
        std::string s;
        for (int i = 0; i < view->ViewerCount(); ++i) s += view->Viewers(i)->Item()->Caption() + ",";
        return s;
    };
    EXPECT_EQ("a,,g1,b,", order());
    child(group, "g2");
    EXPECT_EQ("a,,g1,g2,b,", order());
    auto* g0 = new TTBItem(nullptr);
    g0->SetCaption("g0");
    group->Insert(0, g0);
    EXPECT_EQ("a,,g0,g1,g2,b,", order());
    layout();
    EXPECT_FALSE(view->Find(group)->Show) << "the group itself does not show";
    EXPECT_TRUE(view->Find(g1)->Show);
    root.Move(1, 0);
    EXPECT_EQ(",g0,g1,g2,a,b,", order());
    delete group;
    EXPECT_EQ("a,b,", order());
    EXPECT_THROW(view->Find(g1), ETBItemError);
    // Linking the root elsewhere shows the other item's children.
    TTBItem other(nullptr);
    child(&other, "o1");
    root.SetLinkSubitems(&other);
    EXPECT_EQ("o1,", order());
    child(&other, "o2");
    EXPECT_EQ("o1,o2,", order());
    root.SetLinkSubitems(nullptr);
    EXPECT_EQ("a,b,", order());
}

TEST_F(Bar, ControlItemsTakeTheirControlsSize) {
    make({"a"});
    forms::Component control;
    auto* ci = new TTBControlItem(nullptr, &control);
    ci->SetKeepControl(true);
    window.controls[&control] = {true, 50, 30, {}};
    root.Add(ci);
    layout();
    EXPECT_EQ(Rect::Bounds(22, 2, 50, 30), window.controls[&control].bounds);
    EXPECT_EQ(Rect::Bounds(4, 7, 18, 19), at(0)) << "centred on the thicker line";
    window.controls[&control].shown = false;
    view->InvalidateLayout();
    layout();
    EXPECT_FALSE(view->Find(ci)->Show);
}

// Keys and accelerators --------------------------------------------------------

TEST_F(Bar, KeyboardNavigationSkipsSeparatorsAndDisabledItems) {
    make({"&File", "|", "&Edit", "&View", "&Help"});
    items[3]->SetEnabled(false);
    layout();
    view->Select(view->Find(items[0]), false);
    TTBTrackResult r;
    unsigned key = tbVkRight;
    view->HandleKey(key, 0, r);
    EXPECT_EQ(0u, key) << "consumed";
    EXPECT_EQ(items[2], view->Selected()->Item());
    key = tbVkRight;
    view->HandleKey(key, 0, r);
    EXPECT_EQ(items[4], view->Selected()->Item()) << "past the disabled View";
    key = tbVkTab;
    view->HandleKey(key, 0, r);
    EXPECT_EQ(items[0], view->Selected()->Item()) << "wraps around";
    key = tbVkTab;
    view->HandleKey(key, tbssShift, r);
    EXPECT_EQ(items[4], view->Selected()->Item());
    key = tbVkHome;
    view->HandleKey(key, 0, r);
    EXPECT_EQ(items[0], view->Selected()->Item());
    key = tbVkEnd;
    view->HandleKey(key, 0, r);
    EXPECT_EQ(items[4], view->Selected()->Item());
    EXPECT_FALSE(r.done);
    key = tbVkReturn;
    view->HandleKey(key, 0, r);
    EXPECT_TRUE(r.done);
    EXPECT_EQ(TBDeferredKind::Click, r.action.kind);
    EXPECT_EQ(items[4], r.action.item);
    EXPECT_FALSE(r.action.playSound) << "no sound for a click on the root toolbar";
    TTBTrackResult esc;
    key = tbVkEscape;
    view->HandleKey(key, 0, esc);
    EXPECT_TRUE(esc.done);
    EXPECT_EQ(TBDeferredKind::None, esc.action.kind);
    key = 'Q';
    view->HandleKey(key, 0, esc);
    EXPECT_EQ(unsigned('Q'), key) << "other keys are left";
}

TEST_F(Bar, AcceleratorsAndFirstLetters) {
    make({"&Save", "&Open", "Sh&ow", "Print", "&Close"});
    items[4]->SetEnabled(false);
    layout();
    bool unique = false;
    TTBItemViewer* v = view->FindAccel('s', unique);
    ASSERT_TRUE(v);
    EXPECT_EQ(items[0], v->Item());
    EXPECT_TRUE(unique);
    v = view->FindAccel('O', unique);
    EXPECT_EQ(items[1], v->Item());
    EXPECT_FALSE(unique) << "Open and Show share o";
    view->Select(v, false);
    EXPECT_EQ(items[2], view->FindAccel('o', unique)->Item()) << "the search goes on from the selection";
    EXPECT_EQ(items[3], view->FindAccel('p', unique)->Item()) << "a caption without accelerator by its first letter";
    EXPECT_TRUE(unique);
    EXPECT_EQ(items[4], view->FindAccel('c', unique)->Item()) << "disabled items last";
    EXPECT_EQ(nullptr, view->FindAccel(' ', unique));
    EXPECT_EQ(nullptr, view->FindAccel('z', unique));
}

TEST_F(Bar, HoverSelectsAndPressShowsPushed) {
    make({"aa", "|", "bb"});
    layout();
    view->HotTrack(at(0).left + 2, 5, true);
    EXPECT_EQ(items[0], view->Selected()->Item());
    view->HotTrack(at(1).left + 2, 5, true);
    EXPECT_EQ(nullptr, view->Selected()) << "separators take no hover";
    view->HotTrack(at(2).left + 2, 5, true);
    TTBItemViewer* b = view->Selected();
    TTBTrackResult r;
    b->MouseDown(0, 2, 2, r);
    view->TrackHover(at(2).left + 2, 5, true);
    EXPECT_TRUE(view->IsPushed(b));
    view->TrackHover(at(0).left + 2, 5, true);
    EXPECT_FALSE(view->IsPushed(b)) << "off the button while holding it";
    EXPECT_EQ(b, view->Selected()) << "the pressed item stays selected";
    view->TrackHover(at(2).left + 2, 5, true);
    b->MouseUp(2, 2, r);
    EXPECT_TRUE(r.done);
    EXPECT_EQ(items[2], r.action.item);
    view->HotTrack(0, 0, false);
    EXPECT_EQ(nullptr, view->Selected());
}

TEST_F(Bar, PaintingPutsTheSelectedViewerLastAndHidesAccelsUntilTheKeyboard) {
    make({"&a", "&b", "&c"});
    layout();
    TBFixedSettings settings;
    settings.keyboardCues = false;
    SetTBSettings(&settings);
    view->SetStyle(tbvsUseHiddenAccels);
    view->Select(view->Find(items[0]), false);
    LogCanvas canvas;
    view->Paint(canvas, {0, 0, 1000, 1000});
    std::vector<std::string> texts;
    for (const auto& l : canvas.log)
        if (l.rfind("text", 0) == 0) texts.push_back(l.substr(0, 7) + (l.find("hide") != std::string::npos ? " hide" : ""));
    EXPECT_EQ((std::vector<std::string>{"text &b hide", "text &c hide", "text &a hide"}), texts);
    window.invalid.clear();
    view->SetAccelsVisible(true);
    EXPECT_EQ(3u, window.invalid.size()) << "captions with accelerators repaint";
    canvas.log.clear();
    view->Paint(canvas, at(1));
    ASSERT_EQ(1u, canvas.log.size()) << "only what the clip touches";
    EXPECT_EQ(std::string::npos, canvas.log[0].find("hide"));
    SetTBSettings(nullptr);
}

}  // namespace
