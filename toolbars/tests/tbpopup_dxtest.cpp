// Popup menus on a form: a toolbar's submenu opens as a topmost popup
// window under its item, nested popups open beside their parent item and
// close again by keys; with the menu animation on, the popup fades or
// slides in and ends showing exactly its own picture.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "forms/application.h"
#include "forms/form.h"
#include "tbanim_win.h"
#include "tbpopup_win.h"
#include "tbviewwin.h"
#include "tbwintest.h"

namespace {

using namespace toolbars;
using tbtest::pump;
using tbtest::Steps;

// A whole window's pixels (0x00RRGGBB): as it shows, or as it prints itself.
std::vector<uint32_t> pixelsOf(HWND wnd, bool printed, int& w, int& h) {
    RECT wr{};
    GetWindowRect(wnd, &wr);
    w = wr.right - wr.left;
    h = wr.bottom - wr.top;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    HDC src = GetWindowDC(wnd);
    HDC mem = CreateCompatibleDC(src);
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(src, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    if (printed)
        SendMessageW(wnd, WM_PRINT, WPARAM(mem), PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
    else
        BitBlt(mem, 0, 0, w, h, src, 0, 0, SRCCOPY);
    GdiFlush();
    std::vector<uint32_t> px(static_cast<uint32_t*>(bits), static_cast<uint32_t*>(bits) + size_t(w) * size_t(h));
    for (auto& p : px) p &= 0xFFFFFF;
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(wnd, src);
    return px;
}

struct PopupForm : ::testing::Test {
    forms::Form* form = nullptr;
    TBViewControl* bar = nullptr;
    TTBCustomItem* file = nullptr;
    TTBCustomItem* recent = nullptr;
    TTBCustomItem* exitItem = nullptr;
    TBFixedSettings settings;
    std::vector<WPARAM> notices;
    int exits = 0;

    static void SetUpTestSuite() {
        forms::Application::Instance().Initialize();
        forms::SetMessageLog([](const std::string&, const std::string&, UINT) { return IDOK; });
    }

    TTBCustomItem* add(TTBCustomItem* parent, const char* caption, bool submenu = false) {
        auto* it = new TTBItem(nullptr);
        it->SetCaption(caption);
        if (submenu) it->SetItemStyle(TTBItemStyles(it->ItemStyle() | isSubmenu));
        parent->Add(it);
        return it;
    }

    void SetUp() override {
        SetTBSettings(&settings);
        TTBPopupWindow::OnNotify = [this](TTBPopupWindow*, WPARAM wp) -> LRESULT {
            notices.push_back(wp);
            return 0;
        };
        form = new forms::Form(nullptr);
        form->SetCaption("Popups");
        form->SetBounds(60, 60, 500, 300);
        bar = new TBViewControl(form);
        bar->SetParent(form);
        file = add(bar->Items(), "&File", true);
        add(file, "&Open");
        recent = add(file, "&Recent", true);
        add(recent, "one");
        add(recent, "two");
        exitItem = add(file, "E&xit");
        exitItem->OnClick = [this](forms::Component*) { ++exits; };
        add(bar->Items(), "&Edit", true);
        form->Show();
        SetWindowPos(form->Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetForegroundWindow(form->Handle());
        pump();
    }

    void TearDown() override {
        delete form;
        pump();
        TTBPopupWindow::OnNotify = nullptr;
        SetLayeredUpdateMissingForTests(false);
        SetTBSettings(nullptr);
    }

    Rect screenRectOf(HWND wnd, const Rect& r) {
        RECT rc{r.left, r.top, r.right, r.bottom};
        MapWindowPoints(wnd, nullptr, reinterpret_cast<POINT*>(&rc), 2);
        return {rc.left, rc.top, rc.right, rc.bottom};
    }
    static HWND windowOf(TTBView* v) { return v ? static_cast<HWND>(v->Window()->NativeHandle()) : nullptr; }
    void click(TTBCustomItem* it) {
        const Rect r = bar->View()->Find(it)->BoundsRect;
        POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        POINT s = p;
        ClientToScreen(bar->Handle(), &s);
        SetCursorPos(s.x, s.y);
        PostMessageW(bar->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(p.x, p.y));
        PostMessageW(bar->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    }
    void key(WPARAM vk) { PostMessageW(bar->Handle(), WM_KEYDOWN, vk, 1); }
};

TEST_F(PopupForm, ASubmenuOpensUnderItsItemAndKeysWalkTheNestedPopups) {
    Steps steps;
    HWND outer = nullptr, inner = nullptr;
    Rect outerRect, innerRect, fileRect, recentRect;
    LONG exStyle = 0;
    DWORD classStyle = 0;
    bool outerVisible = false, innerVisible = false, outerGoneFirst = false;
    click(file);
    steps.post([&] {
        TTBView* popup = bar->View()->OpenViewerView();
        outer = windowOf(popup);
        if (!outer) return;
        outerVisible = IsWindowVisible(outer);
        RECT wr{};
        GetWindowRect(outer, &wr);
        outerRect = {wr.left, wr.top, wr.right, wr.bottom};
        fileRect = screenRectOf(bar->Handle(), bar->View()->Find(file)->BoundsRect);
        exStyle = GetWindowLongW(outer, GWL_EXSTYLE);
        classStyle = DWORD(GetClassLongPtrW(outer, GCL_STYLE));
        key(VK_DOWN);
        key(VK_DOWN);
        key(VK_RIGHT);
        steps.post([&] {
            TTBView* sub = bar->View()->OpenViewerView()->OpenViewerView();
            inner = windowOf(sub);
            if (!inner) return;
            innerVisible = IsWindowVisible(inner);
            RECT ir{};
            GetWindowRect(inner, &ir);
            innerRect = {ir.left, ir.top, ir.right, ir.bottom};
            recentRect = screenRectOf(outer, bar->View()->OpenViewerView()->Find(recent)->BoundsRect);
            key(VK_ESCAPE);
            steps.post([&] {
                outerGoneFirst = !IsWindow(inner) && IsWindow(outer);
                key(VK_ESCAPE);
                key(VK_ESCAPE);
            });
        });
    });
    pump();
    ASSERT_TRUE(outer) << "the submenu opened a popup window";
    EXPECT_TRUE(outerVisible);
    EXPECT_EQ(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, exStyle & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW));
    EXPECT_TRUE(classStyle & CS_SAVEBITS);
    EXPECT_EQ(fileRect.left, outerRect.left) << "left-aligned with its item";
    EXPECT_EQ(fileRect.bottom, outerRect.top) << "under its item";
    ASSERT_TRUE(inner) << "Right opened the nested popup";
    EXPECT_TRUE(innerVisible);
    EXPECT_EQ(recentRect.right - kPopupBorder, innerRect.left) << "beside its item, the borders overlapping";
    EXPECT_EQ(recentRect.top - kPopupBorder, innerRect.top);
    EXPECT_TRUE(outerGoneFirst) << "Escape closes the innermost popup only";
    EXPECT_FALSE(IsWindow(outer)) << "the last Escape closed every popup";
    EXPECT_EQ(nullptr, bar->View()->OpenViewerView());
    EXPECT_FALSE(bar->View()->State() & tbvsTracking);
    // Without animation the popup notified that it is shown.
    EXPECT_EQ((std::vector<WPARAM>{kPopupShown, kPopupShown}), notices);
}

TEST_F(PopupForm, APopupItemClickedByMouseRunsAndClosesThePopups) {
    Steps steps;
    HWND outer = nullptr;
    click(file);
    steps.post([&] {
        outer = windowOf(bar->View()->OpenViewerView());
        TTBView* popup = bar->View()->OpenViewerView();
        if (!popup) return;
        const Rect r = popup->Find(exitItem)->BoundsRect;
        POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ClientToScreen(outer, &p);
        SetCursorPos(p.x, p.y);
        PostMessageW(outer, WM_MOUSEMOVE, 0, 0);
        steps.post([&, p] {
            POINT c = p;
            ScreenToClient(outer, &c);
            PostMessageW(outer, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(c.x, c.y));
            PostMessageW(outer, WM_LBUTTONUP, 0, MAKELPARAM(c.x, c.y));
        });
    });
    pump();
    ASSERT_TRUE(outer);
    EXPECT_EQ(1, exits);
    EXPECT_FALSE(IsWindow(outer));
}

// Fade, slide, and a fade without the layered-window call (which slides).
struct AnimationCase {
    const char* name;
    bool fade;
    bool layeredMissing;
};

class PopupAnimation : public PopupForm, public ::testing::WithParamInterface<AnimationCase> {};

TEST_P(PopupAnimation, EndsShowingThePopupsOwnPicture) {
    const AnimationCase c = GetParam();
    settings.menuAnimation = true;
    settings.menuFade = c.fade;
    SetLayeredUpdateMissingForTests(c.layeredMissing);
    Steps steps;
    HWND outer = nullptr;
    bool runningAtStart = false, layeredAtStart = false, regionAtStart = false;
    std::vector<uint32_t> shown, printed;
    int w = 0, h = 0, w2 = 0, h2 = 0;
    click(file);
    steps.post([&] {
        outer = windowOf(bar->View()->OpenViewerView());
        if (!outer) return;
        runningAtStart = PopupAnimationRunning(outer);
        layeredAtStart = GetWindowLongW(outer, GWL_EXSTYLE) & WS_EX_LAYERED;
        HRGN rgn = CreateRectRgn(0, 0, 0, 0);
        regionAtStart = GetWindowRgn(outer, rgn) != ERROR;
        DeleteObject(rgn);
        steps.when([&] { return !notices.empty() && notices.back() == kPopupAnimated; },
                   [&] {
                       shown = pixelsOf(outer, false, w, h);
                       printed = pixelsOf(outer, true, w2, h2);
                       key(VK_ESCAPE);
                       key(VK_ESCAPE);
                   });
    });
    pump();
    ASSERT_TRUE(outer);
    EXPECT_EQ((std::vector<WPARAM>{kPopupAnimating, kPopupAnimated}), notices) << "the animation ran to its end";
    if (runningAtStart) {
        EXPECT_EQ(c.fade && !c.layeredMissing, layeredAtStart) << "a fade goes through a layered window";
        EXPECT_EQ(!c.fade || c.layeredMissing, regionAtStart) << "a slide through the window region";
    }
    int count = 0;
    const int* levels = LastAnimationLevels(count);
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(0, levels[i] % 16) << "level " << levels[i];
        EXPECT_GE(levels[i], 16);
        EXPECT_LE(levels[i], 240);
        if (i) EXPECT_GT(levels[i], levels[i - 1]);
    }
    ASSERT_EQ(w, w2);
    ASSERT_EQ(h, h2);
    ASSERT_GT(w, 2 * kPopupBorder);
    int differing = 0;
    for (size_t i = 0; i < shown.size(); ++i) differing += shown[i] != printed[i];
    EXPECT_EQ(0, differing) << "pixels of the last frame that differ from the popup's picture, of " << shown.size();
}

INSTANTIATE_TEST_SUITE_P(Kinds, PopupAnimation,
                         ::testing::Values(AnimationCase{"fade", true, false}, AnimationCase{"slide", false, false},
                                           AnimationCase{"fadeWithoutLayering", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
