// A form with a toolbar view of 20 items and a menu-bar view, driven by
// messages: items paint where the layout puts them (pixels read back from
// the window), hover and press follow the mouse, the keyboard skips
// separators and disabled items, a click runs its handler once, a change
// repaints only what it moved, and the hooks go with the last view.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "forms/application.h"
#include "forms/form.h"
#include "tbhooks.h"
#include "tbviewwin.h"
#include "tbwintest.h"

namespace {

using namespace toolbars;
using tbtest::pump;
using tbtest::Steps;

uint32_t rgb(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }
uint32_t sys(int index) { return rgb(GetSysColor(index)); }

// The client area of a window as 0x00RRGGBB, read from the screen.
struct Grab {
    int w = 0, h = 0;
    std::vector<uint32_t> px;
    explicit Grab(HWND wnd) {
        UpdateWindow(wnd);
        GdiFlush();
        RECT rc;
        GetClientRect(wnd, &rc);
        w = rc.right;
        h = rc.bottom;
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        HDC src = GetDC(wnd);
        HDC mem = CreateCompatibleDC(src);
        void* bits = nullptr;
        HBITMAP bmp = CreateDIBSection(src, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(mem, bmp);
        BitBlt(mem, 0, 0, w, h, src, 0, 0, SRCCOPY);
        GdiFlush();
        px.assign(static_cast<uint32_t*>(bits), static_cast<uint32_t*>(bits) + size_t(w) * size_t(h));
        for (auto& p : px) p &= 0xFFFFFF;
        SelectObject(mem, old);
        DeleteObject(bmp);
        DeleteDC(mem);
        ReleaseDC(wnd, src);
    }
    uint32_t at(int x, int y) const { return px[size_t(y) * size_t(w) + size_t(x)]; }
    int count(const Rect& r, uint32_t colour) const {
        int n = 0;
        for (int y = std::max(0, r.top); y < std::min(h, r.bottom); ++y)
            for (int x = std::max(0, r.left); x < std::min(w, r.right); ++x) n += at(x, y) == colour;
        return n;
    }
};

constexpr uint32_t imageColour(int i) { return 0x200000u * uint32_t(i % 7 + 1) + 0x0D00u * uint32_t(i) + 0x31u; }

struct ToolbarForm : ::testing::Test {
    forms::Form* form = nullptr;
    TBViewControl* bar = nullptr;
    TBViewControl* menu = nullptr;
    forms::ImageList* images = nullptr;
    TTBCustomItem* items[20] = {};
    TTBCustomItem* menuItems[6] = {};
    int clicks[20] = {};
    int menuClicks[6] = {};
    static bool isSeparator(int i) { return i == 4 || i == 9 || i == 14; }

    static void SetUpTestSuite() {
        forms::Application::Instance().Initialize();
        forms::SetMessageLog([](const std::string&, const std::string&, UINT) { return IDOK; });
    }

    void SetUp() override {
        form = new forms::Form(nullptr);
        form->SetCaption("Toolbars");
        form->SetBounds(40, 40, 760, 200);
        images = new forms::ImageList(form, 16, 16);
        forms::Bitmap strip(16 * 20, 16);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16 * 20; ++x) strip.Bits()[y * 16 * 20 + x] = imageColour(x / 16);
        images->Add(strip);

        menu = new TBViewControl(form, true);
        menu->SetParent(form);
        const char* captions[] = {"&File", "&Edit", "|", "&View", "&Tools", "&Help"};
        for (int i = 0; i < 6; ++i) {
            TTBCustomItem* it = captions[i][0] == '|' ? static_cast<TTBCustomItem*>(new TTBSeparatorItem(nullptr))
                                                      : new TTBItem(nullptr);
            it->SetCaption(captions[i][0] == '|' ? "" : captions[i]);
            it->SetItemStyle(TTBItemStyles(it->ItemStyle() | (captions[i][0] == '|' ? 0 : isSubmenu)));
            it->OnClick = [this, i](forms::Component*) { ++menuClicks[i]; };
            menu->Items()->Add(it);
            menuItems[i] = it;
        }
        menuItems[3]->SetEnabled(false);

        bar = new TBViewControl(form);
        bar->SetParent(form);
        bar->SetTop(40);
        for (int i = 0; i < 20; ++i) {
            TTBCustomItem* it;
            if (isSeparator(i)) {
                it = new TTBSeparatorItem(nullptr);
            } else {
                it = new TTBItem(nullptr);
                if (i < 10) {
                    it->SetImages(images);
                    it->SetImageIndex(i);
                } else {
                    it->SetCaption("T" + std::to_string(i));
                }
                it->OnClick = [this, i](forms::Component*) { ++clicks[i]; };
            }
            bar->Items()->Add(it);
            items[i] = it;
        }
        items[7]->SetEnabled(false);
        form->Show();
        // Above other tests' windows: hover asks which window lies under the cursor.
        SetWindowPos(form->Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetForegroundWindow(form->Handle());
        pump();
    }

    void TearDown() override {
        delete form;
        pump();
    }

    Rect rectOf(TBViewControl* c, TTBCustomItem* it) { return c->View()->Find(it)->BoundsRect; }
    POINT screenCentre(TBViewControl* c, TTBCustomItem* it) {
        const Rect r = rectOf(c, it);
        POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ClientToScreen(c->Handle(), &p);
        return p;
    }
    void postMouse(TBViewControl* c, UINT msg, TTBCustomItem* it, WPARAM keys = 0) {
        const POINT s = screenCentre(c, it);
        SetCursorPos(s.x, s.y);
        POINT p = s;
        ScreenToClient(c->Handle(), &p);
        PostMessageW(c->Handle(), msg, keys, MAKELPARAM(p.x, p.y));
    }
    void postKey(HWND to, WPARAM vk) { PostMessageW(to, WM_KEYDOWN, vk, 1); }
};

TEST_F(ToolbarForm, ItemsPaintWhereTheLayoutPutsThem) {
    const Grab g(bar->Handle());
    ASSERT_EQ(bar->View()->BaseSize().x, g.w);
    const uint32_t face = sys(COLOR_BTNFACE), text = sys(COLOR_BTNTEXT);
    EXPECT_EQ(face, g.at(1, 1)) << "the margin shows the background";
    for (int i = 0; i < 20; ++i) {
        const Rect r = rectOf(bar, items[i]);
        ASSERT_TRUE(bar->View()->Find(items[i])->Show) << i;
        if (isSeparator(i)) {
            EXPECT_GT(g.count({r.left, r.top, r.right, r.bottom}, sys(COLOR_BTNSHADOW)), 5) << "etched line of " << i;
        } else if (i < 10) {
            const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
            if (i == 7) {
                EXPECT_NE(imageColour(i), g.at(cx, cy)) << "the disabled image is drawn greyed";
            } else {
                EXPECT_EQ(imageColour(i), g.at(cx, cy)) << "image of item " << i;
                EXPECT_EQ(imageColour(i), g.at(r.left + 4, r.top + 4)) << "its 16 x 16 square starts 3 in";
                EXPECT_EQ(face, g.at(r.left + 1, r.top + 1)) << "no frame at rest";
            }
        } else {
            EXPECT_GT(g.count(r, text), 5) << "caption of item " << i;
            EXPECT_EQ(0, g.count({r.right, r.top, r.right + 2, r.bottom}, text)) << "nothing spills from " << i;
        }
    }
    // The menu bar: captions in the button text colour, the disabled one embossed.
    const Grab m(menu->Handle());
    for (int i : {0, 1, 4, 5}) EXPECT_GT(m.count(rectOf(menu, menuItems[i]), text), 5) << "menu caption " << i;
    const Rect view = rectOf(menu, menuItems[3]);
    EXPECT_EQ(0, m.count(view, text)) << "the disabled caption";
    EXPECT_GT(m.count(view, sys(COLOR_BTNSHADOW)), 5);
}

TEST_F(ToolbarForm, HoverAndPressFollowTheMouseAndAClickRunsOnce) {
    const Rect r = rectOf(bar, items[1]);
    const uint32_t face = sys(COLOR_BTNFACE), light = sys(COLOR_BTNHIGHLIGHT), shadow = sys(COLOR_BTNSHADOW);
    postMouse(bar, WM_MOUSEMOVE, items[1]);
    pump();
    ASSERT_EQ(items[1], bar->View()->Selected() ? bar->View()->Selected()->Item() : nullptr);
    Grab hot(bar->Handle());
    EXPECT_EQ(light, hot.at(r.left, r.top)) << "hot: raised edge";
    EXPECT_EQ(shadow, hot.at(r.right - 1, r.bottom - 1));
    Steps steps;
    uint32_t pressedCorner = 0, awayCorner = 0;
    bool pushedWhileOver = false, pushedWhileAway = true;
    // Press, move away, come back, release: the steps run inside the loop.
    postMouse(bar, WM_LBUTTONDOWN, items[1], MK_LBUTTON);
    steps.post([&] {
        pushedWhileOver = bar->View()->IsPushed(bar->View()->Find(items[1]));
        pressedCorner = Grab(bar->Handle()).at(r.left, r.top);
        postMouse(bar, WM_MOUSEMOVE, items[3], MK_LBUTTON);
        steps.post([&] {
            pushedWhileAway = bar->View()->IsPushed(bar->View()->Find(items[1]));
            awayCorner = Grab(bar->Handle()).at(r.left, r.top);
            postMouse(bar, WM_MOUSEMOVE, items[1], MK_LBUTTON);
            postMouse(bar, WM_LBUTTONUP, items[1]);
        });
    });
    pump();
    EXPECT_TRUE(pushedWhileOver);
    EXPECT_EQ(shadow, pressedCorner) << "pressed: sunken edge";
    EXPECT_FALSE(pushedWhileAway);
    EXPECT_EQ(light, awayCorner) << "away from the pressed button it is only hot";
    EXPECT_EQ(1, clicks[1]) << "one click, one handler call";
    for (int i = 0; i < 20; ++i) {
        if (i != 1) EXPECT_EQ(0, clicks[i]) << i;
    }
    EXPECT_FALSE(bar->View()->State() & tbvsTracking);
    // Released elsewhere: no click.
    postMouse(bar, WM_LBUTTONDOWN, items[2], MK_LBUTTON);
    steps.post([&] { postMouse(bar, WM_LBUTTONUP, items[5]); });
    pump();
    EXPECT_EQ(0, clicks[2]);
    EXPECT_EQ(0, clicks[5]);
    // A disabled item takes no click.
    postMouse(bar, WM_LBUTTONDOWN, items[7], MK_LBUTTON);
    steps.post([&] { postMouse(bar, WM_LBUTTONUP, items[7]); });
    pump();
    EXPECT_EQ(0, clicks[7]);
    PostMessageW(bar->Handle(), WM_MOUSELEAVE, 0, 0);
    pump();
    EXPECT_EQ(nullptr, bar->View()->Selected());
    EXPECT_EQ(face, Grab(bar->Handle()).at(r.left, r.top)) << "cold again";
}

TEST_F(ToolbarForm, HintsFollowTheHotItem) {
    items[11]->SetHint("Eleven|The eleventh item");
    items[11]->SetOptions(tboShowHint);
    items[12]->SetHint("Twelve|The twelfth item");
    forms::Application& app = forms::Application::Instance();
    const int pause = app.HintPause;
    app.HintPause = 0;
    // The first move makes the item hot, the next one shows its hint.
    for (int i = 0; i < 2; ++i) postMouse(bar, WM_MOUSEMOVE, items[11]);
    app.ProcessMessages();
    EXPECT_TRUE(app.HintShown());
    EXPECT_EQ("Eleven", app.HintText());
    EXPECT_EQ("The eleventh item", app.Hint());
    for (int i = 0; i < 2; ++i) postMouse(bar, WM_MOUSEMOVE, items[12]);
    app.ProcessMessages();
    EXPECT_FALSE(app.HintShown()) << "its item does not ask for short hints";
    EXPECT_EQ("The twelfth item", app.Hint());
    app.HintPause = pause;
    app.CancelHint();
}

TEST_F(ToolbarForm, KeyboardNavigationSkipsSeparatorsAndDisabledItems) {
    postMouse(bar, WM_MOUSEMOVE, items[10]);
    pump();
    ASSERT_EQ(items[10], bar->View()->Selected()->Item()) << "hot before the keyboard takes over";
    Steps steps;
    std::vector<TTBCustomItem*> seen;
    auto note = [&] { seen.push_back(bar->View()->Selected() ? bar->View()->Selected()->Item() : nullptr); };
    steps.post(note);  // the first selectable item
    for (int i = 0; i < 6; ++i) {
        postKey(bar->Handle(), VK_RIGHT);
        steps.post(note);
    }
    postKey(bar->Handle(), VK_LEFT);
    steps.post(note);
    postKey(bar->Handle(), VK_RETURN);
    bar->View()->EnterToolbarLoop(false, true, true);
    pump();
    EXPECT_EQ((std::vector<TTBCustomItem*>{items[0], items[1], items[2], items[3], items[5], items[6], items[8],
                                          items[6]}),
              seen);
    EXPECT_EQ(1, clicks[6]);
    EXPECT_EQ(0, clicks[8]);
    // Escape leaves without a click.
    postKey(bar->Handle(), VK_END);
    postKey(bar->Handle(), VK_ESCAPE);
    bar->View()->EnterToolbarLoop(false, true, true);
    pump();
    EXPECT_EQ(0, clicks[19]);
    ASSERT_TRUE(bar->View()->Selected());
    EXPECT_EQ(items[10], bar->View()->Selected()->Item()) << "the item under the pointer is hot again";
}

TEST_F(ToolbarForm, AltAndALetterEnterTheMenuBar) {
    TBFixedSettings settings;
    settings.keyboardCues = false;
    SetTBSettings(&settings);
    Steps steps;
    std::vector<TTBCustomItem*> seen;
    bool accels = false;
    PostMessageW(form->Handle(), WM_SYSCHAR, 'e', 1 << 29);
    MSG msg;
    // Taking the character from the queue hands it to the menu bar.
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_SYSCHAR, WM_SYSCHAR, PM_REMOVE));
    EXPECT_EQ(UINT(WM_NULL), msg.message) << "the menu bar took the character";
    postKey(menu->Handle(), VK_RIGHT);
    steps.post([&] {
        seen.push_back(menu->View()->Selected() ? menu->View()->Selected()->Item() : nullptr);
        accels = menu->View()->AccelsVisible();
    });
    postKey(menu->Handle(), VK_RETURN);
    pump();
    EXPECT_EQ((std::vector<TTBCustomItem*>{menuItems[4]}), seen) << "from Edit past the separator and View";
    EXPECT_TRUE(accels) << "underlines show while the keyboard drives the bar";
    EXPECT_FALSE(menu->View()->AccelsVisible());
    EXPECT_EQ(1, menuClicks[4]);
    // A letter no item has is left to the window.
    PostMessageW(form->Handle(), WM_SYSCHAR, 'z', 1 << 29);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_SYSCHAR, WM_SYSCHAR, PM_REMOVE));
    EXPECT_EQ(UINT(WM_SYSCHAR), msg.message);
    SetTBSettings(nullptr);
}

TEST_F(ToolbarForm, AChangeRepaintsAndRelaysOutOnlyWhatChanged) {
    std::vector<Rect> invalid;
    bar->OnInvalidate = [&](const Rect& r) { invalid.push_back(r); };
    const Rect before12 = rectOf(bar, items[12]);
    const Grab g0(bar->Handle());
    items[12]->SetCaption("A longer caption");
    ASSERT_FALSE(invalid.empty());
    for (const Rect& r : invalid) EXPECT_GE(r.left, before12.left) << "items before 12 are not repainted";
    const Grab g1(bar->Handle());
    for (int y = 0; y < g0.h; ++y)
        for (int x = 0; x < before12.left; ++x)
            ASSERT_EQ(g0.at(x, y), g1.at(x, y)) << "pixels left of item 12 at " << x << "," << y;
    EXPECT_GT(rectOf(bar, items[12]).Width(), before12.Width());
    EXPECT_GT(g1.count(rectOf(bar, items[12]), sys(COLOR_BTNTEXT)), g0.count(before12, sys(COLOR_BTNTEXT)));
    invalid.clear();
    const Rect before16 = rectOf(bar, items[16]);
    items[16]->SetVisible(false);
    for (const Rect& r : invalid) EXPECT_GE(r.left, before16.left);
    EXPECT_EQ(before16.left, rectOf(bar, items[17]).left) << "17 moved into 16's place";
    invalid.clear();
    items[2]->SetChecked(true);
    EXPECT_EQ((std::vector<Rect>{rectOf(bar, items[2])}), invalid) << "a check repaints its item alone";
    const Grab g2(bar->Handle());
    const Rect r2 = rectOf(bar, items[2]);
    EXPECT_EQ(sys(COLOR_BTNSHADOW), g2.at(r2.left, r2.top)) << "checked: sunken";
    bar->OnInvalidate = nullptr;
}

TEST_F(ToolbarForm, HooksAreGoneAfterTheLastViewIsFreed) {
    EXPECT_TRUE(HookInstalled(hkCallWndProc));
    EXPECT_TRUE(HookInstalled(hkGetMessage)) << "the menu bar's";
    EXPECT_EQ(2, TBViewControl::LiveCount());
    delete menu;
    menu = nullptr;
    EXPECT_FALSE(HookInstalled(hkGetMessage));
    EXPECT_TRUE(HookInstalled(hkCallWndProc)) << "the toolbar's";
    delete form;
    form = nullptr;
    EXPECT_EQ(0, TBViewControl::LiveCount());
    EXPECT_FALSE(HookInstalled(hkCallWndProc));
    EXPECT_EQ(0, HookSubscriberCount());
}

}  // namespace
