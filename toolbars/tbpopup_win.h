#pragma once
// Popup menus: the window that shows a popup view of an item's children
// (a topmost tool window with a 3-pixel border, scroll arrows, the drop
// shadow where the system has one), opened beside or under its item on
// the item's monitor, shown with the popup animation and the menu sound.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "tbitem.h"
#include "tbview.h"
#include "tbviewwin.h"

namespace toolbars {

// Notification a popup window sends itself: wParam kPopupAnimating (an
// answer other than 0 refuses the animation), kPopupAnimated (the
// animation ended), kPopupShown (shown without animation).
constexpr UINT kTBMsgPopupNotify = 0x62A;
constexpr WPARAM kPopupAnimating = 1, kPopupAnimated = 2, kPopupShown = 3;
constexpr int kPopupBorder = 3;
constexpr int kPopupAnimationMs = 150;

class TTBPopupWindow : public TTBPopupHandle {
public:
    // The popup of item's children for the view it opens from (none: at a
    // screen point); chevron: the hidden items of a toolbar view.
    TTBPopupWindow(TTBView* parentView, TTBCustomItem* item, TTBView* chevronParent);
    ~TTBPopupWindow() override;
    TTBPopupWindow(const TTBPopupWindow&) = delete;
    TTBPopupWindow& operator=(const TTBPopupWindow&) = delete;

    TTBView* View() override { return view_.get(); }
    HWND Handle() const { return wnd_; }
    // The edges its animation slides in from (chosen by the placement).
    uint8_t AnimationDirections = 0;
    // Shows it (animated when the settings ask) or hides it.
    void SetShown(bool shown);

    // Every notification of popup windows (tests); the answer is the
    // message's.
    static std::function<LRESULT(TTBPopupWindow*, WPARAM)> OnNotify;

private:
    struct Host : TBViewWindow {
        explicit Host(TTBPopupWindow* p) : p(p) {}
        TTBPopupWindow* p;
        TBMetrics& Metrics() override { return p->metrics_; }
        void InvalidateRect(const Rect& r) override;
        void Update() override;
        void SetClientSize(int width, int height) override;
        int ClientWidth() override;
        int ClientHeight() override;
        uint32_t BackgroundRGB() override;
        uint32_t SysColorRGB(TBColor c) override { return TBSysColor(c); }
        void StartTimer(int id, int ms) override;
        void StopTimer(int id) override;
        bool ControlInfo(forms::Component*, int&, int&) override { return false; }
        void SetControlBounds(forms::Component*, const Rect&) override {}
        void* NativeHandle() override { return p->wnd_; }
    };

    static LRESULT CALLBACK proc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT handle(UINT msg, WPARAM wp, LPARAM lp);
    void paintBorder(HDC dc);
    void paintClient(HDC dc, const RECT& area);
    int backgroundColor() const { return chevron_ ? COLOR_BTNFACE : COLOR_MENU; }

    HWND wnd_ = nullptr;
    GdiMetrics metrics_;
    Host host_{this};
    std::unique_ptr<TTBView> view_;
    bool chevron_ = false;
};

// Opens the popup of an item's children from a view's viewer, or, without
// a view, at a screen point (alignment 0: the point is its left edge, 1
// its right edge, 2 its centre). Placed on the item's monitor, shown.
std::unique_ptr<TTBPopupWindow> OpenPopupWindow(TTBCustomItem* item, TTBView* parentView, TTBItemViewer* viewer,
                                                bool selectFirst, POINT at = {}, int alignment = 0);

}  // namespace toolbars
