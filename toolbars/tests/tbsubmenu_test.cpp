// Views with submenus: items whose popups are views of fake windows, to
// follow the open submenu, the hover timers and the keys between levels.
#include <gtest/gtest.h>

#include <memory>

#include "tbfakes.h"

namespace {

using namespace toolbars;
using namespace tbtest;

struct FakePopup : TTBPopupHandle {
    FakeWindow window;
    std::unique_ptr<TTBView> view;
    int* alive;
    FakePopup(TTBView* parent, TTBCustomItem* item, bool selectFirst, int* alive) : alive(alive) {
        view = std::make_unique<TTBView>(nullptr, parent, &window, item, false, true, false);
        view->UpdateLayout();
        if (selectFirst) view->Select(view->FirstSelectable(), false);
        ++*alive;
    }
    ~FakePopup() override {
        view.reset();
        --*alive;
    }
    TTBView* View() override { return view.get(); }
};

// An item whose submenu opens as a fake popup.
struct SubItem : TTBItem {
    int* alive;
    int opened = 0;
    SubItem(int* alive) : TTBItem(nullptr), alive(alive) {
        SetItemStyle(TTBItemStyles(ItemStyle() | isSubmenu));
    }
    std::unique_ptr<TTBPopupHandle> OpenPopup(TTBView* parent, TTBItemViewer*, bool selectFirst) override {
        ++opened;
        return std::make_unique<FakePopup>(parent, this, selectFirst, alive);
    }
};

struct Menus : ::testing::Test {
    int alive = 0;
    TBFixedSettings settings;
    FakeWindow window;
    TTBRootItem root{nullptr};
    SubItem* file = nullptr;
    SubItem* edit = nullptr;
    SubItem* recent = nullptr;
    TTBItem* open = nullptr;
    std::unique_ptr<TTBView> bar;
    void SetUp() override {
        settings.menuShowDelay = 77;
        SetTBSettings(&settings);
        file = new SubItem(&alive);
        file->SetCaption("&File");
        root.Add(file);
        open = child(file, "&Open");
        recent = new SubItem(&alive);
        recent->SetCaption("&Recent");
        file->Add(recent);
        child(recent, "one");
        edit = new SubItem(&alive);
        edit->SetCaption("&Edit");
        root.Add(edit);
        child(edit, "Undo");
        bar = std::make_unique<TTBView>(nullptr, nullptr, &window, &root, true, false, false);
        bar->UpdateLayout();
    }
    void TearDown() override {
        bar.reset();
        SetTBSettings(nullptr);
    }
    TTBView* popup() { return bar->OpenViewerView(); }
};

TEST_F(Menus, OpeningAndClosingSubmenus) {
    bar->Select(bar->Find(file), false);
    bar->OpenChildPopup(true);
    ASSERT_TRUE(popup());
    EXPECT_EQ(bar->Find(file), bar->OpenViewer());
    EXPECT_TRUE(bar->IsPushed(bar->Find(file))) << "an open submenu's item shows pushed";
    EXPECT_EQ(open, popup()->Selected()->Item()) << "its first item selected";
    EXPECT_EQ(1, alive);
    bar->OpenChildPopup(true);
    EXPECT_EQ(1, file->opened) << "already open";
    bar->CloseChildPopups();
    EXPECT_EQ(0, alive);
    EXPECT_NE(0u, bar->State() & tbvsNoAnimation) << "the toolbar skips the next animation";
    // A disabled item opens nothing.
    edit->SetEnabled(false);
    bar->Select(bar->Find(edit), false);
    bar->OpenChildPopup(false);
    EXPECT_EQ(0, edit->opened);
}

TEST_F(Menus, HoverOpensAtOnceOnAToolbarInKeyboardModeAndByTimerInPopups) {
    bar->Select(bar->Find(file), false);
    bar->OpenChildPopup(false);
    bar->SetKeyboardMode(true);
    const Rect e = bar->Find(edit)->BoundsRect;
    bar->TrackHover(e.left + 2, e.top + 2, true);
    EXPECT_EQ(1, edit->opened) << "the next menu opens as the pointer reaches its item";
    EXPECT_EQ(edit, bar->OpenViewer()->Item());
    // Inside the popup a submenu item waits for the menu show delay.
    bar->Select(bar->Find(file), false);
    bar->CloseChildPopups();
    bar->OpenChildPopup(false);
    TTBView* p = popup();
    ASSERT_TRUE(p);
    FakeWindow& pw = *static_cast<FakeWindow*>(p->Window());
    const Rect r = p->Find(recent)->BoundsRect;
    p->TrackHover(r.left + 2, r.top + 2, true);
    EXPECT_EQ(0, recent->opened);
    ASSERT_EQ(1u, pw.timers.count(kViewTimerBase + tbtOpen));
    EXPECT_EQ(77, pw.timers[kViewTimerBase + tbtOpen]);
    p->TimerFired(tbtOpen);
    EXPECT_EQ(1, recent->opened);
    EXPECT_FALSE(p->TimerRunning(tbtOpen));
    // Back on another item: the close timer runs, and closes it.
    const Rect o = p->Find(open)->BoundsRect;
    p->TrackHover(o.left + 2, o.top + 2, true);
    EXPECT_TRUE(p->TimerRunning(tbtClose));
    p->TimerFired(tbtClose);
    EXPECT_EQ(nullptr, p->OpenViewer());
}

TEST_F(Menus, KeysMoveBetweenLevels) {
    TTBTrackResult r;
    bar->Select(bar->Find(file), false);
    unsigned key = tbVkDown;
    bar->HandleKey(key, 0, r);
    ASSERT_TRUE(popup()) << "Down opens the bar's submenu";
    EXPECT_TRUE(bar->KeyboardMode());
    TTBView* p = popup();
    key = tbVkDown;
    p->HandleKey(key, 0, r);
    EXPECT_EQ(recent, p->Selected()->Item());
    key = tbVkRight;
    p->HandleKey(key, 0, r);
    ASSERT_TRUE(p->OpenViewerView()) << "Right opens the selected submenu";
    TTBView* sub = p->OpenViewerView();
    key = tbVkLeft;
    sub->HandleKey(key, 0, r);
    EXPECT_EQ(nullptr, p->OpenViewerView()) << "Left closes it, back in the parent popup";
    key = tbVkRight;
    p->HandleKey(key, 0, r);
    key = tbVkEscape;
    p->OpenViewerView()->HandleKey(key, 0, r);
    EXPECT_EQ(nullptr, p->OpenViewerView());
    EXPECT_FALSE(r.done);
    // Right on an item without a submenu moves the bar to its next menu.
    key = tbVkUp;
    p->HandleKey(key, 0, r);
    EXPECT_EQ(open, p->Selected()->Item());
    key = tbVkRight;
    p->HandleKey(key, 0, r);
    EXPECT_EQ(edit, bar->Selected()->Item());
    ASSERT_TRUE(popup());
    EXPECT_EQ(edit, bar->OpenViewer()->Item()) << "and keeps a menu open";
    // Enter in a submenu clicks with the menu sound; Escape on the root ends.
    key = tbVkReturn;
    popup()->HandleKey(key, 0, r);
    EXPECT_TRUE(r.done);
    EXPECT_EQ("Undo", r.action.item->Caption());
    EXPECT_TRUE(r.action.playSound);
    bar->CloseChildPopups();
    EXPECT_EQ(0, alive);
}

TEST_F(Menus, ADoubleClickRunsTheDefaultItem) {
    auto* def = child(edit, "Redo");
    def->SetOptions(tboDefault);
    bar->Select(bar->Find(edit), false);
    TTBTrackResult r;
    bar->Find(edit)->MouseDown(tbssDouble, 2, 2, r);
    EXPECT_TRUE(r.done);
    EXPECT_EQ(def, r.action.item);
    bar->CloseChildPopups();
}

}  // namespace
