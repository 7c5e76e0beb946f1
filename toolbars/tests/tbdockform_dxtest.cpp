// Docks and dockable windows on a form with four docks and three bars,
// toolbars with their chevron and as the menu bar, tool windows, a layout
// saved and restored,
// driven by synthetic mouse input: a bar dragged by its handle from the
// top dock to the left dock, floated, resized by its frame and docked
// again by its caption (places and rows checked after each step); Escape
// cancels an outline drag; a bar that may not float stays put; closing a
// floating bar hides it and closing its frame closes the owner form.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

#include "forms/application.h"
#include "forms/exception.h"
#include "forms/form.h"
#include "tbdock_win.h"
#include "tbcommon_win.h"
#include "tbtoolbar_win.h"
#include "forms/inifile.h"
#include "tbwintest.h"
#include "win/windowclass.h"

namespace {

using namespace toolbars;
using tbtest::pump;
using tbtest::Steps;

// Steps run by timers: the loops under test dispatch them only once the
// input queued before them has been handled.
struct Later {
    HWND wnd = nullptr;
    std::map<UINT_PTR, std::function<void()>> due;
    UINT_PTR next = 1;
    Later() {
        win::RegisterWindowClass({L"QivTBDockTestLater", proc, 0});
        wnd = CreateWindowExW(0, L"QivTBDockTestLater", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(wnd, GWLP_USERDATA, LONG_PTR(this));
    }
    ~Later() { DestroyWindow(wnd); }
    void after(int ms, std::function<void()> f) {
        const UINT_PTR id = next++;
        due[id] = std::move(f);
        SetTimer(wnd, id, UINT(ms), nullptr);
    }
    static LRESULT CALLBACK proc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
        if (m == WM_TIMER) {
            KillTimer(h, wp);
            auto* self = reinterpret_cast<Later*>(GetWindowLongPtrW(h, GWLP_USERDATA));
            auto it = self ? self->due.find(wp) : self->due.end();
            if (self && it != self->due.end()) {
                auto f = std::move(it->second);
                self->due.erase(it);
                f();
            }
            return 0;
        }
        return DefWindowProcW(h, m, wp, lp);
    }
};

void input(DWORD flags) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    SendInput(1, &in, sizeof in);
}
void mouseTo(POINT p) {
    SetCursorPos(p.x, p.y);
    input(MOUSEEVENTF_MOVE);
}
void key(WORD vk) {
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof in[0]);
}

RECT screenRect(HWND wnd) {
    RECT r{};
    GetWindowRect(wnd, &r);
    return r;
}
POINT centre(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

// A bar of a fixed size along and across a dock; floating it keeps the
// size its frame was resized to.
struct Bar : TTBCustomDockableWindow {
    explicit Bar(forms::Component* owner) : TTBCustomDockableWindow(owner) {}
    TBPoint floatSize{100, 22};
    TBPoint CalcClientSize(TTBDock* dock, bool vertical) override {
        if (!dock) return floatSize;
        return vertical ? TBPoint{22, 100} : TBPoint{100, 22};
    }
    void FloatingResized(int w, int h) override { floatSize = {w, h}; }
};

struct DockForm : ::testing::Test {
    forms::Form* form = nullptr;
    TTBDock* docks[4] = {};
    Bar* bars[3] = {};
    int formCloses = 0;

    static void SetUpTestSuite() {
        forms::Application::Instance().Initialize();
        forms::SetMessageLog([](const std::string&, const std::string&, UINT) { return IDOK; });
    }

    void SetUp() override {
        form = new forms::Form(nullptr);
        form->SetCaption("Docks");
        form->SetBounds(40, 40, 640, 480);
        form->OnCloseQuery = [this](forms::Component*, bool& canClose) {
            ++formCloses;
            canClose = false;
        };
        const TTBDockPosition where[] = {dpTop, dpBottom, dpLeft, dpRight};
        const char* dockNames[] = {"TopDock", "BottomDock", "LeftDock", "RightDock"};
        for (int i = 0; i < 4; ++i) {
            docks[i] = new TTBDock(form);
            docks[i]->SetPosition(where[i]);
            docks[i]->SetName(std::string(dockNames[i]));
            docks[i]->SetParent(form);
        }
        for (int i = 0; i < 3; ++i) {
            bars[i] = new Bar(form);
            bars[i]->SetName("Bar" + std::to_string(i));
            bars[i]->SetCaption("Bar " + std::to_string(i));
            bars[i]->DockRow = i == 2 ? 1 : 0;
            bars[i]->DockPos = i == 1 ? 150 : 0;
            bars[i]->SetCurrentDock(docks[0]);
        }
        form->Show();
        SetWindowPos(form->Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetForegroundWindow(form->Handle());
        pump();
    }

    void TearDown() override {
        form->OnCloseQuery = nullptr;
        delete form;
        pump();
    }

    TTBDock* top() const { return docks[0]; }
    POINT clientPoint(int x, int y) const {
        POINT p{x, y};
        ClientToScreen(form->Handle(), &p);
        return p;
    }
    TTBDock* left() const { return docks[2]; }
    // Presses at a point, moves through the points (a step each), then
    // releases or presses a key (Escape) instead.
    void drag(POINT from, std::vector<POINT> path, WORD cancelKey = 0, std::function<void()> midway = nullptr) {
        Later later;
        mouseTo(from);
        pump();
        input(MOUSEEVENTF_LEFTDOWN);
        int at = 40;
        for (const POINT& p : path) {
            later.after(at, [p] { mouseTo(p); });
            at += 60;
        }
        later.after(at, [&] {
            if (midway) midway();
            if (cancelKey)
                key(cancelKey);
            else
                input(MOUSEEVENTF_LEFTUP);
        });
        const DWORD end = GetTickCount() + 3000;
        while (GetTickCount() < end && !later.due.empty()) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            Sleep(5);
        }
        if (cancelKey) input(MOUSEEVENTF_LEFTUP);
        pump();
    }
    // A point on the drag handle of a docked bar.
    POINT handleOf(Bar* b) {
        const RECT r = screenRect(b->Handle());
        return b->CurrentDock()->Vertical() ? POINT{(r.left + r.right) / 2, r.top + 4}
                                            : POINT{r.left + 4, (r.top + r.bottom) / 2};
    }
    POINT captionOf(Bar* b) {
        const RECT r = screenRect(b->FloatingParent()->Handle());
        const TBFloatingFrame f = b->FloatingParent()->Frame();
        return {r.left + 20, r.top + f.border + f.captionHeight / 2};
    }
};

TEST_F(DockForm, TheBarsLieInRowsAndTheDockIsAsThickAsItsRows) {
    for (Bar* b : bars) ASSERT_EQ(top(), b->CurrentDock());
    EXPECT_EQ(0, bars[0]->Top());
    EXPECT_EQ(0, bars[1]->Top());
    EXPECT_EQ(26, bars[2]->Top()) << "row 1 below row 0 (22 + the frame of 4)";
    EXPECT_EQ(0, bars[0]->Left());
    EXPECT_EQ(150, bars[1]->Left()) << "at its DockPos";
    EXPECT_EQ(110, bars[0]->Width()) << "100 with a frame of 2 + 2 and the single drag handle of 6";
    EXPECT_EQ(52, top()->Height());
    EXPECT_EQ(0, left()->Width()) << "an empty dock is not there";
    EXPECT_EQ(100, bars[0]->ClientWidth());
    EXPECT_EQ(22, bars[0]->ClientHeight());
    EXPECT_THROW(docks[1]->SetParent(top()), forms::EInvalidOperation) << "no dock inside a dock";
    EXPECT_EQ(form, docks[1]->Parent());
    EXPECT_THROW(top()->SetPosition(dpLeft), forms::EInvalidOperation) << "a dock holding windows keeps its edge";
    EXPECT_EQ(dpTop, top()->Position());
}

TEST_F(DockForm, ABarIsDraggedToTheLeftDockFloatedResizedAndDockedAgain) {
    // Top dock to the left dock.
    const POINT intoLeft = clientPoint(2, 200);
    drag(handleOf(bars[0]), {POINT{intoLeft.x + 40, intoLeft.y}, intoLeft});
    ASSERT_EQ(left(), bars[0]->CurrentDock()) << "dropped on the left dock";
    EXPECT_EQ(26, left()->Width()) << "22 across with its frame of 4";
    EXPECT_EQ(26, bars[0]->Width());
    EXPECT_EQ(110, bars[0]->Height()) << "the drag handle on top in a vertical dock";
    EXPECT_EQ((std::vector<TBDockableWindow*>{bars[1], bars[2]}), top()->Layout().Shown());
    EXPECT_EQ(0, bars[1]->Top()) << "the top dock keeps its other bars in their rows";
    EXPECT_EQ(26, bars[2]->Top());
    EXPECT_EQ(left(), bars[0]->LastDock);

    // Out to float in the middle of the form.
    const POINT middle = centre(screenRect(form->Handle()));
    drag(handleOf(bars[0]), {POINT{middle.x - 30, middle.y}, middle});
    ASSERT_TRUE(bars[0]->Floating());
    ASSERT_TRUE(bars[0]->FloatingParent());
    HWND frame = bars[0]->FloatingParent()->Handle();
    EXPECT_TRUE(IsWindowVisible(frame));
    EXPECT_EQ(nullptr, bars[0]->CurrentDock());
    EXPECT_EQ(0, left()->Width()) << "the left dock is empty again";
    EXPECT_EQ(100, bars[0]->ClientWidth());
    EXPECT_EQ(22, bars[0]->ClientHeight());
    const RECT floated = screenRect(frame);
    EXPECT_TRUE(PtInRect(&floated, middle)) << "the frame lies under the cursor";
    EXPECT_EQ(WS_EX_TOOLWINDOW, GetWindowLongW(frame, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);

    // Resized from its bottom-right corner.
    const POINT corner{floated.right - 2, floated.bottom - 2};
    drag(corner, {POINT{corner.x + 20, corner.y + 15}, POINT{corner.x + 40, corner.y + 30}});
    const RECT resized = screenRect(frame);
    EXPECT_EQ(floated.left, resized.left) << "the top-left corner stays";
    EXPECT_EQ(floated.top, resized.top);
    EXPECT_EQ(floated.right + 40, resized.right);
    EXPECT_EQ(floated.bottom + 30, resized.bottom);
    EXPECT_EQ(140, bars[0]->ClientWidth()) << "the bar takes the frame's new client size";
    EXPECT_EQ(52, bars[0]->ClientHeight());

    // Docked again by its caption, into row 0 after the bar there.
    const RECT topArea = screenRect(top()->Handle());
    drag(captionOf(bars[0]), {POINT{topArea.left + 300, topArea.top + 30}, POINT{topArea.left + 320, topArea.top + 2}});
    ASSERT_EQ(top(), bars[0]->CurrentDock());
    EXPECT_FALSE(bars[0]->Floating());
    EXPECT_EQ(nullptr, bars[0]->FloatingParent()) << "the floating frame is gone";
    EXPECT_EQ(0, bars[0]->LaidOutRow) << "the middle of the row joins it";
    EXPECT_EQ(0, bars[1]->LaidOutRow);
    EXPECT_EQ(1, bars[2]->LaidOutRow);
    EXPECT_GE(bars[0]->Left(), bars[1]->Left() + bars[1]->Width());
    EXPECT_EQ(52, top()->Height());
    EXPECT_EQ(110, bars[0]->Width()) << "its docked size again";
}

TEST_F(DockForm, DraggedPastTheLastRowABarOpensARowOfItsOwn) {
    const RECT dock = screenRect(top()->Handle());
    const POINT from = handleOf(bars[1]);
    drag(from, {POINT{from.x + 10, dock.top + 45}, POINT{from.x + 20, dock.top + 50}});
    ASSERT_EQ(top(), bars[1]->CurrentDock());
    EXPECT_EQ(0, bars[0]->LaidOutRow);
    EXPECT_EQ(1, bars[2]->LaidOutRow);
    EXPECT_EQ(2, bars[1]->LaidOutRow) << "a new row after the last";
    EXPECT_EQ(2, bars[1]->DockRow) << "the drop committed the rows";
    EXPECT_EQ(78, top()->Height());
    EXPECT_EQ(52, bars[1]->Top());
}

TEST_F(DockForm, EscapeEndsAnOutlineDragWithNothingMoved) {
    bars[1]->SmoothDrag = false;
    const RECT before = screenRect(bars[1]->Handle());
    bool stillDocked = false;
    const POINT middle = centre(screenRect(form->Handle()));
    drag(handleOf(bars[1]), {POINT{middle.x, middle.y - 20}, middle}, VK_ESCAPE,
         [&] { stillDocked = bars[1]->CurrentDock() == top(); });
    EXPECT_TRUE(stillDocked) << "only the outline moves while dragging";
    EXPECT_EQ(top(), bars[1]->CurrentDock());
    const RECT after = screenRect(bars[1]->Handle());
    EXPECT_TRUE(EqualRect(&before, &after));
    EXPECT_EQ(150, bars[1]->DockPos);
}

TEST_F(DockForm, AnOutlineDragDropsWhereTheOutlineWas) {
    bars[1]->SmoothDrag = false;
    const POINT intoLeft = clientPoint(2, 250);
    drag(handleOf(bars[1]), {POINT{intoLeft.x + 40, intoLeft.y}, intoLeft});
    EXPECT_EQ(left(), bars[1]->CurrentDock());
}

TEST_F(DockForm, ABarThatMayNotFloatStaysWhenDroppedOffTheDocks) {
    bars[2]->DockMode = dmCannotFloat;
    const POINT middle = centre(screenRect(form->Handle()));
    HCURSOR during = nullptr;
    drag(handleOf(bars[2]), {POINT{middle.x, middle.y - 20}, middle}, 0, [&] { during = GetCursor(); });
    EXPECT_EQ(LoadCursorW(nullptr, MAKEINTRESOURCEW(32648)), during) << "the no-entry cursor off the docks";
    EXPECT_EQ(top(), bars[2]->CurrentDock());
    EXPECT_FALSE(bars[2]->Floating());
}

TEST_F(DockForm, AFloatingPlaceOffTheScreenIsBroughtBack) {
    bars[2]->FloatingPosition = {-30000, 40000};
    bars[2]->SetFloating(true);
    pump();
    ASSERT_TRUE(bars[2]->Floating());
    RECT r = screenRect(bars[2]->FloatingParent()->Handle());
    RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    RECT both{};
    EXPECT_TRUE(IntersectRect(&both, &r, &screen) && EqualRect(&both, &r)) << "wholly on the screen";
    EXPECT_EQ(r.left, bars[2]->FloatingPosition.x);
    EXPECT_EQ(100, bars[2]->ClientWidth());
}

TEST_F(DockForm, AFloatingBarHidesWithItsFormAndWhileTheApplicationIsInactive) {
    bars[1]->FloatingPosition = {300, 300};
    bars[1]->SetFloating(true);
    bars[2]->FloatingPosition = {300, 360};
    bars[2]->HideWhenInactive = false;
    bars[2]->SetFloating(true);
    pump();
    HWND frame1 = bars[1]->FloatingParent()->Handle(), frame2 = bars[2]->FloatingParent()->Handle();
    ASSERT_TRUE(IsWindowVisible(frame1));
    SendMessageW(form->Handle(), WM_ACTIVATEAPP, FALSE, 0);
    EXPECT_FALSE(IsWindowVisible(frame1)) << "another application is active";
    EXPECT_TRUE(IsWindowVisible(frame2)) << "HideWhenInactive off";
    SendMessageW(form->Handle(), WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_TRUE(IsWindowVisible(frame1)) << "back with this application";
    ShowWindow(form->Handle(), SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(frame1)) << "its owner form is hidden";
    EXPECT_FALSE(IsWindowVisible(frame2));
    // Hiding the active form left the application inactive: only the bar
    // that does not hide while inactive comes back with the form.
    ShowWindow(form->Handle(), SW_SHOWNA);
    EXPECT_TRUE(IsWindowVisible(frame2));
}

TEST_F(DockForm, ClosingAFloatingBarHidesItAndClosingItsFrameClosesTheForm) {
    int closed = 0;
    bars[0]->OnClose = [&](forms::Component*) { ++closed; };
    bars[0]->FloatingPosition = {300, 300};
    bars[0]->SetFloating(true);
    pump();
    ASSERT_TRUE(bars[0]->Floating());
    HWND frame = bars[0]->FloatingParent()->Handle();
    ASSERT_TRUE(IsWindowVisible(frame));
    // Alt+F4 on the frame: the owner form is asked to close.
    SendMessageW(frame, WM_CLOSE, 0, 0);
    EXPECT_EQ(1, formCloses);
    EXPECT_TRUE(IsWindowVisible(frame)) << "the bar itself stays";
    // Its close button.
    const RECT r = screenRect(frame);
    const Rect button = FloatingCloseButtonRect(bars[0]->FloatingParent()->Frame(), r.right - r.left);
    const POINT p{r.left + (button.left + button.right) / 2, r.top + (button.top + button.bottom) / 2};
    mouseTo(p);
    pump();
    input(MOUSEEVENTF_LEFTDOWN);
    input(MOUSEEVENTF_LEFTUP);
    pump();
    EXPECT_EQ(1, closed);
    EXPECT_FALSE(bars[0]->Visible());
    EXPECT_FALSE(IsWindowVisible(frame));
    // Double-clicking the caption docks it to its last dock.
    bars[0]->SetVisible(true);
    pump();
    EXPECT_TRUE(IsWindowVisible(frame));
    SendMessageW(frame, WM_NCLBUTTONDBLCLK, kHitCaption, 0);
    EXPECT_EQ(top(), bars[0]->CurrentDock());
}


// A toolbar of n buttons "Button 0" ... that count their clicks.
TTBToolbar* buttonBar(forms::Component* owner, int n, std::vector<int>& clicks) {
    auto* tb = new TTBToolbar(owner);
    tb->SetName("Buttons");
    clicks.assign(size_t(n), 0);
    for (int i = 0; i < n; ++i) {
        auto* it = new TTBItem(nullptr);
        it->SetCaption("Button " + std::to_string(i));
        it->OnClick = [&clicks, i](forms::Component*) { ++clicks[size_t(i)]; };
        tb->Items()->Add(it);
    }
    return tb;
}

TTBItemViewer* chevronViewer(TTBToolbar* tb) { return tb->View()->FindOrNull(tb->ChevronItem()); }

TEST_F(DockForm, AToolbarShorterThanItsItemsShowsTheChevronWhosePopupRunsTheHiddenItems) {
    std::vector<int> clicks;
    TTBToolbar* tb = buttonBar(form, 14, clicks);
    tb->DockRow = 2;
    tb->SetCurrentDock(top());
    pump();
    const int full = tb->FullLength(false);
    ASSERT_GT(full, top()->ClientWidth()) << "eight captions are longer than the form";
    EXPECT_EQ(top()->ClientWidth(), tb->Width()) << "shrunk to the dock's length";
    EXPECT_EQ(tb->Width(), tb->ShrunkLength);
    TTBItemViewer* chev = chevronViewer(tb);
    ASSERT_TRUE(chev);
    ASSERT_TRUE(chev->Show) << "the chevron shows";
    EXPECT_TRUE(tb->ChevronItem()->Enabled());
    std::vector<TTBCustomItem*> hidden;
    for (int i = 0; i < tb->View()->ViewerCount(); ++i) {
        TTBItemViewer* v = tb->View()->Viewers(i);
        if (v != chev && !v->Show) hidden.push_back(v->Item());
        if (v != chev && v->Show) EXPECT_LE(v->BoundsRect.right, chev->BoundsRect.left) << "before the chevron";
    }
    ASSERT_FALSE(hidden.empty());
    EXPECT_EQ(tb->Items()->Items(13), hidden.back()) << "items go from the end";

    // The chevron's popup lists the hidden items; one of them is run.
    Steps steps;
    std::vector<TTBCustomItem*> offered;
    steps.when([&] { return tb->View()->OpenViewerView() != nullptr; },
               [&] {
                   TTBView* popup = tb->View()->OpenViewerView();
                   if (!popup) {
                       PostMessageW(tb->Handle(), WM_KEYDOWN, VK_ESCAPE, 1);  // no popup: end the loop
                       return;
                   }
                   for (int i = 0; i < popup->ViewerCount(); ++i)
                       if (popup->Viewers(i)->Show) offered.push_back(popup->Viewers(i)->Item());
                   TTBItemViewer* chosen = popup->FindOrNull(hidden.back());
                   popup->Select(chosen, false);
                   PostMessageW(tb->Handle(), WM_KEYDOWN, chosen ? VK_RETURN : VK_ESCAPE, 1);
               });
    // Opened from the keyboard: the chevron selected, its popup opens.
    tb->View()->Select(chev, false);
    tb->View()->EnterToolbarLoop(false, true, false);
    pump();
    EXPECT_EQ(hidden, offered) << "the popup offers exactly the hidden items";
    EXPECT_EQ(1, clicks[13]) << "and runs the one chosen";
    for (int i = 0; i < 13; ++i) EXPECT_EQ(0, clicks[size_t(i)]) << i;

    // Clicked with the mouse: the popup opens and a click in it runs an item.
    offered.clear();
    RECT cr = {chev->BoundsRect.left, chev->BoundsRect.top, chev->BoundsRect.right, chev->BoundsRect.bottom};
    MapWindowPoints(tb->Handle(), nullptr, reinterpret_cast<POINT*>(&cr), 2);
    mouseTo(centre(cr));
    pump();
    // Polled by timers, which come after the input queued before them
    // (posted polls would hold the click back).
    Later later;
    bool ran = false;
    int polls = 0;
    std::function<void()> poll = [&] {
        TTBView* popup = tb->View()->OpenViewerView();
        TTBItemViewer* chosen = popup ? popup->FindOrNull(hidden.front()) : nullptr;
        if (!chosen) {
            if (++polls < 60) {
                later.after(50, poll);
            } else {  // stuck: close the popup, then end the loop
                PostMessageW(tb->Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
                PostMessageW(tb->Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
            }
            return;
        }
        for (int i = 0; i < popup->ViewerCount(); ++i)
            if (popup->Viewers(i)->Show) offered.push_back(popup->Viewers(i)->Item());
        HWND pw = static_cast<HWND>(popup->Window()->NativeHandle());
        RECT r = {chosen->BoundsRect.left, chosen->BoundsRect.top, chosen->BoundsRect.right, chosen->BoundsRect.bottom};
        MapWindowPoints(pw, nullptr, reinterpret_cast<POINT*>(&r), 2);
        mouseTo(centre(r));
        input(MOUSEEVENTF_LEFTDOWN);
        input(MOUSEEVENTF_LEFTUP);
    };
    later.after(50, poll);
    input(MOUSEEVENTF_LEFTDOWN);
    input(MOUSEEVENTF_LEFTUP);
    const DWORD end = GetTickCount() + 5000;
    while (GetTickCount() < end && !ran) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        ran = clicks[14 - hidden.size()] > 0;
        Sleep(5);
    }
    pump();
    EXPECT_EQ(hidden, offered) << "the clicked chevron offers the hidden items";
    EXPECT_EQ(1, clicks[14 - hidden.size()]) << "and the click in it runs the one under the pointer";

    // A wider form: every item fits and the chevron goes.
    form->SetBounds(form->Left(), form->Top(), full + 200, form->Height());
    pump();
    EXPECT_FALSE(chevronViewer(tb)->Show);
    EXPECT_EQ(full, tb->Width());
    EXPECT_EQ(0, tb->ShrunkLength);
}

TEST_F(DockForm, AltAndALetterOpenAMenuOfTheMenuBar) {
    auto* mb = new TTBToolbar(form);
    mb->SetName("MainMenu");
    const char* captions[] = {"&File", "&Edit", "&Help"};
    TTBCustomItem* tops[3] = {};
    int opened = 0;
    for (int i = 0; i < 3; ++i) {
        auto* it = new TTBItem(nullptr);
        it->SetCaption(captions[i]);
        it->SetItemStyle(TTBItemStyles(it->ItemStyle() | isSubmenu));
        auto* sub = new TTBItem(nullptr);
        sub->SetCaption("&Open");
        it->Add(sub);
        mb->Items()->Add(it);
        tops[i] = it;
    }
    tops[1]->OnPopup = [&](TTBCustomItem*, bool) { ++opened; };
    mb->SetMenuBar(true);
    EXPECT_TRUE(mb->FullSize);
    EXPECT_EQ(TBShrinkMode::Wrap, mb->ShrinkMode());
    EXPECT_FALSE(mb->CloseButton);
    EXPECT_TRUE(mb->ProcessShortCuts());
    mb->DockRow = 0;
    mb->SetCurrentDock(top());
    pump();
    EXPECT_EQ(0, mb->LaidOutRow) << "a row of its own";
    EXPECT_EQ(1, bars[0]->LaidOutRow);
    EXPECT_EQ(top()->ClientWidth(), mb->Width()) << "the whole length of the dock";

    Steps steps;
    TTBCustomItem* openedItem = nullptr;
    steps.when([&] { return mb->View()->OpenViewerView() != nullptr; },
               [&] {
                   if (TTBItemViewer* v = mb->View()->OpenViewer()) openedItem = v->Item();
                   PostMessageW(mb->Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
                   PostMessageW(mb->Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
               });
    PostMessageW(form->Handle(), WM_SYSCHAR, 'e', 1 << 29);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_SYSCHAR, WM_SYSCHAR, PM_REMOVE));
    EXPECT_EQ(UINT(WM_NULL), msg.message) << "the menu bar took the character";
    const DWORD end = GetTickCount() + 3000;
    while (GetTickCount() < end && !openedItem) pump();
    pump();
    EXPECT_EQ(tops[1], openedItem) << "Alt+E opens Edit";
    EXPECT_EQ(1, opened);
    EXPECT_FALSE(mb->View()->State() & tbvsTracking) << "Escape left the menu bar";

    // A letter no item has beeps and is taken; the minus key is left alone.
    EXPECT_EQ(1, SendMessageW(mb->Handle(), WM_SYSCOMMAND, SC_KEYMENU, 'z'));
    EXPECT_EQ(0, SendMessageW(mb->Handle(), WM_SYSCOMMAND, SC_KEYMENU, '-'));
    EXPECT_EQ(0, SendMessageW(mb->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0)) << "other commands go on";
}

TEST_F(DockForm, AToolWindowResizedByItsFrameKeepsItsClientSizeRules) {
    auto* tw = new TTBToolWindow(form);
    tw->SetName("Tools");
    EXPECT_EQ(32, tw->Width()) << "a new tool window is 32 x 32";
    EXPECT_EQ(32, tw->Height());
    tw->SetClientAreaSize(120, 80);
    tw->FloatingPosition = {200, 200};
    tw->SetCurrentDock(top());
    pump();
    EXPECT_EQ(120, tw->ClientWidth());
    EXPECT_EQ(80, tw->ClientHeight());
    tw->SetFloating(true);
    pump();
    ASSERT_TRUE(tw->Floating());
    EXPECT_EQ(120, tw->ClientWidth());
    EXPECT_EQ(80, tw->ClientHeight());

    HWND frame = tw->FloatingParent()->Handle();
    // Far inwards from the bottom-right corner: it stops at 32 x 32.
    RECT r = screenRect(frame);
    POINT corner{r.right - 2, r.bottom - 2};
    drag(corner, {POINT{corner.x - 50, corner.y - 40}, POINT{corner.x - 300, corner.y - 300}});
    EXPECT_EQ(32, tw->ClientWidth());
    EXPECT_EQ(32, tw->ClientHeight());
    EXPECT_EQ(32, tw->ClientAreaWidth());
    // With a maximum width, outwards stops there; no maximum height is none.
    tw->SetMaxClientSize(150, 0);
    r = screenRect(frame);
    corner = {r.right - 2, r.bottom - 2};
    drag(corner, {POINT{corner.x + 100, corner.y + 100}, POINT{corner.x + 200, corner.y + 200}});
    EXPECT_EQ(150, tw->ClientWidth());
    EXPECT_EQ(232, tw->ClientHeight());
    EXPECT_EQ(150, tw->ClientAreaWidth());
    // Docked again it keeps the size it was given.
    tw->SetCurrentDock(left());
    pump();
    EXPECT_EQ(150, tw->ClientWidth());
    EXPECT_EQ(232, tw->ClientHeight());
}

std::string tempIni(const char* leaf) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + leaf + std::to_string(GetCurrentProcessId()) + ".ini";
}

TEST_F(DockForm, ALayoutSavedAndRestoredGivesTheSameDocksRowsPositionsAndVisibility) {
    auto* tw = new TTBToolWindow(form);
    tw->SetName("Tools");
    tw->LoadSaveWidthHeight = true;
    tw->SetClientAreaSize(90, 60);
    tw->SetCurrentDock(docks[3]);
    // Bar 0 to the left dock, bar 1 floating, bar 2 hidden in row 1.
    bars[0]->DockPos = 30;
    bars[0]->SetCurrentDock(left());
    bars[1]->FloatingPosition = {320, 260};
    bars[1]->SetFloating(true);
    bars[2]->SetVisible(false);
    pump();
    tw->SetFloating(true);
    tw->FloatingParent()->forms::Control::SetBounds(150, 300, tw->FloatingParent()->Width(),
                                                    tw->FloatingParent()->Height());
    tw->SetClientAreaSize(110, 70);
    pump();
    struct Seen {
        TTBDock* dock;
        bool floating, visible;
        int row, pos, dockRow, dockPos;
        Rect bounds;
        RECT frame;
    };
    auto seen = [&] {
        std::vector<Seen> all;
        const std::vector<TTBCustomDockableWindow*> windows{bars[0], bars[1], bars[2], tw};
        for (TTBCustomDockableWindow* w : windows) {
            Seen s{w->CurrentDock(), w->Floating(), w->Visible(), w->LaidOutRow, w->LaidOutPos, w->DockRow, w->DockPos,
                   w->BoundsRect(), {}};
            if (w->FloatingParent()) s.frame = screenRect(w->FloatingParent()->Handle());
            all.push_back(s);
        }
        return all;
    };
    const std::vector<Seen> before = seen();
    const std::string ini = tempIni("tblayout");
    ASSERT_TRUE(TBSaveWindowPositionsIni(form, ini, "Toolbar."));

    // Everything back in the top dock, shown, then the layout loaded.
    for (Bar* b : bars) {
        b->SetVisible(true);
        b->DockRow = 0;
        b->DockPos = -1;
        b->SetCurrentDock(top());
    }
    tw->SetCurrentDock(top());
    tw->SetClientAreaSize(40, 40);
    pump();
    int arranged = 0;
    left()->OnInsertRemoveBar = [&](TTBDock*, bool, TTBCustomDockableWindow*) { ++arranged; };
    TBLoadWindowPositionsIni(form, ini, "Toolbar.");
    pump();
    const std::vector<Seen> after = seen();
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(before[i].dock, after[i].dock) << i;
        EXPECT_EQ(before[i].floating, after[i].floating) << i;
        EXPECT_EQ(before[i].visible, after[i].visible) << i;
        EXPECT_EQ(before[i].dockRow, after[i].dockRow) << i;
        EXPECT_EQ(before[i].dockPos, after[i].dockPos) << i;
        if (before[i].dock && before[i].visible) {
            EXPECT_EQ(before[i].row, after[i].row) << i;
            EXPECT_EQ(before[i].bounds, after[i].bounds) << i;
        }
        if (before[i].floating) EXPECT_TRUE(EqualRect(&before[i].frame, &after[i].frame)) << i;
    }
    EXPECT_EQ(110, tw->ClientAreaWidth()) << "the tool window's client size came back";
    EXPECT_EQ(70, tw->ClientAreaHeight());
    EXPECT_EQ(1, arranged) << "bar 0 entered the left dock once";

    // A hostile file: another revision is ignored, an unknown dock falls back
    // to the default dock, places off the screen are brought back.
    {
        forms::IniFile f(ini);
        f.WriteInteger("Toolbar.Bar0", "Rev", 7);
        f.WriteString("Toolbar.Bar2", "DockedTo", "NoSuchDock");
        f.WriteInteger("Toolbar.Bar1", "FloatLeft", -40000);
        f.WriteInteger("Toolbar.Bar1", "FloatTop", 2147483647);
        ASSERT_TRUE(f.UpdateFile());
    }
    bars[0]->SetCurrentDock(docks[1]);
    bars[2]->DefaultDock = docks[1];
    TBLoadWindowPositionsIni(form, ini, "Toolbar.");
    pump();
    EXPECT_EQ(docks[1], bars[0]->CurrentDock()) << "a section of another revision is left alone";
    EXPECT_EQ(docks[1], bars[2]->CurrentDock()) << "an unknown dock: the default dock";
    ASSERT_TRUE(bars[1]->Floating());
    const RECT fr = screenRect(bars[1]->FloatingParent()->Handle());
    const RECT work = MonitorRectOfRect(fr, true);
    EXPECT_TRUE(fr.left >= work.left && fr.top >= work.top && fr.right <= work.right && fr.bottom <= work.bottom)
        << fr.left << "," << fr.top << " " << fr.right << "," << fr.bottom;
    DeleteFileA(ini.c_str());

    // A window without a name cannot be saved.
    bars[2]->SetName("");
    EXPECT_THROW(TBSaveWindowPositionsIni(form, ini, "Toolbar."), forms::Exception);
    DeleteFileA(ini.c_str());
}

// Stripes 8 pixels wide, placed by the origin the dock hands over.
struct Stripes : TTBBasicBackground {
    static constexpr COLORREF a = RGB(0xAA, 0x33, 0x00), b = RGB(0x00, 0x44, 0xCC);
    static COLORREF at(int x) { return (x / 8) % 2 ? b : a; }
    void Paint(HDC dc, const RECT& r, POINT origin) override {
        for (int x = r.left; x < r.right; ++x) {
            HBRUSH br = CreateSolidBrush(at(x + origin.x));
            const RECT col{x, r.top, x + 1, r.bottom};
            FillRect(dc, &col, br);
            DeleteObject(br);
        }
    }
};

COLORREF pixelOf(HWND wnd, POINT screen) {
    RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    ScreenToClient(wnd, &screen);
    HDC dc = GetDC(wnd);
    const COLORREF c = GetPixel(dc, screen.x, screen.y);
    ReleaseDC(wnd, dc);
    return c;
}

TEST_F(DockForm, DocksPaintTheirSharedBackgroundBehindTheirWindowsInLine) {
    Stripes stripes;
    top()->SetBackground(&stripes);
    left()->SetBackground(&stripes);
    bars[0]->SetCurrentDock(left());
    pump();
    // Where the form's client x is, the stripe is: in both docks and behind the bars.
    auto expect = [&](HWND wnd, POINT screen, const char* what) {
        POINT client = screen;
        ScreenToClient(form->Handle(), &client);
        EXPECT_EQ(Stripes::at(client.x), pixelOf(wnd, screen)) << what << " at form x " << client.x;
    };
    const RECT dockR = screenRect(top()->Handle());
    for (int dx : {300, 305, 309, 600}) expect(top()->Handle(), POINT{dockR.left + dx, dockR.top + 10}, "top dock");
    POINT barClient{0, 0};
    ClientToScreen(bars[1]->Handle(), &barClient);
    for (int dx : {3, 9, 14}) expect(bars[1]->Handle(), POINT{barClient.x + dx, barClient.y + 5}, "behind bar 1");
    POINT leftClient{0, 0};
    ClientToScreen(bars[0]->Handle(), &leftClient);
    for (int dx : {1, 7, 12}) expect(bars[0]->Handle(), POINT{leftClient.x + dx, leftClient.y + 30}, "left dock's bar");

    // Not behind the windows when asked so; none once the background goes.
    top()->SetBackgroundOnToolbars(false);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(face, pixelOf(bars[1]->Handle(), POINT{barClient.x + 3, barClient.y + 5}));
    expect(top()->Handle(), POINT{dockR.left + 300, dockR.top + 10}, "the dock itself still");
    top()->SetBackground(nullptr);
    EXPECT_EQ(face, pixelOf(top()->Handle(), POINT{dockR.left + 300, dockR.top + 10}));
    left()->SetBackground(nullptr);
}

TEST_F(DockForm, SystemCommandsGoToTheDockedWindowsThatTakeShortcuts) {
    std::vector<int> clicks;
    TTBToolbar* tb = buttonBar(form, 2, clicks);
    tb->SetCurrentDock(left());
    pump();
    EXPECT_EQ(0, SendMessageW(left()->Handle(), WM_SYSCOMMAND, SC_KEYMENU, 'b')) << "a plain toolbar takes none";
    tb->SetMenuBar(true);
    pump();
    EXPECT_EQ(1, SendMessageW(left()->Handle(), WM_SYSCOMMAND, SC_KEYMENU, 'q')) << "the menu bar answers (a beep)";
    EXPECT_EQ(0, SendMessageW(left()->Handle(), WM_SYSCOMMAND, SC_KEYMENU, '-'));
    tb->SetEnabled(false);
    EXPECT_EQ(0, SendMessageW(left()->Handle(), WM_SYSCOMMAND, SC_KEYMENU, 'q')) << "a disabled window is skipped";
}

}  // namespace
