#include "tbpopup_win.h"

#include <mmsystem.h>

#include <algorithm>

#include "forms/application.h"
#include "forms/appservices.h"
#include "forms/form.h"
#include "tbanim_win.h"
#include "tbcommon_win.h"
#include "tbpopupfit.h"
#include "win/gdi.h"
#include "win/windowclass.h"

namespace toolbars {

namespace {

const wchar_t kPopupClass[] = L"QivTBPopupWindow";
// Played once already: later popups start the sound before they show.
bool g_soundPlayed = false;

RECT toRECT(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }
Rect toRect(const RECT& r) { return Rect{r.left, r.top, r.right, r.bottom}; }

void frame(HDC dc, RECT& r, int colorIndex) {
    FrameRect(dc, &r, GetSysColorBrush(colorIndex));
    InflateRect(&r, -1, -1);
}

HWND ownerWindow() {
    if (forms::Form* main = forms::Application::Instance().MainForm())
        if (main->Handle()) return main->Handle();
    return GetDesktopWindow();
}

// A small filled triangle (3 pixels each way) centred in the band.
void drawScrollArrow(HDC dc, const RECT& band, bool up) {
    const int cx = (band.left + band.right) / 2, cy = (band.top + band.bottom) / 2;
    POINT tri[3];
    if (up)
        tri[0] = {cx - 3, cy + 1}, tri[1] = {cx + 3, cy + 1}, tri[2] = {cx, cy - 2};
    else
        tri[0] = {cx - 3, cy - 1}, tri[1] = {cx + 3, cy - 1}, tri[2] = {cx, cy + 2};
    win::Pen pen(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_MENUTEXT)));
    win::Brush brush(CreateSolidBrush(GetSysColor(COLOR_MENUTEXT)));
    win::Select sp(dc, pen.get());
    win::Select sb(dc, brush.get());
    Polygon(dc, tri, 3);
}

}  // namespace

std::function<LRESULT(TTBPopupWindow*, WPARAM)> TTBPopupWindow::OnNotify;

TTBPopupWindow::TTBPopupWindow(TTBView* parentView, TTBCustomItem* item, TTBView* chevronParent)
    : chevron_(chevronParent != nullptr) {
    UINT classStyle = CS_SAVEBITS | CS_DBLCLKS;
    if (IsXPOrLater()) classStyle |= CS_DROPSHADOW;
    // The class keeps the style of its first registration.
    win::RegisterWindowClass({kPopupClass, proc, classStyle});
    HFONT font = nullptr;
    if (parentView)
        if (auto* gdi = dynamic_cast<GdiMetrics*>(&parentView->Window()->Metrics())) font = gdi->Font(false);
    metrics_.SetFont(font);
    wnd_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kPopupClass, L"", WS_POPUP, 0, 0, 240, 320,
                           ownerWindow(), nullptr, GetModuleHandleW(nullptr), this);
    if (!wnd_) throw forms::EInvalidOperation("The popup window cannot be made");
    TTBCustomItem* shown = chevronParent ? chevronParent->ParentItem() : item;
    view_ = std::make_unique<TTBView>(nullptr, parentView, &host_, shown, false, true, false);
    if (chevronParent) {
        view_->SetChevronParentView(chevronParent);
        view_->SetIsToolbar(true);
        view_->SetStyle(view_->Style() | (chevronParent->Style() & tbvsAlwaysShowHints));
    }
    if (parentView) {
        view_->SetStyle(view_->Style() | (parentView->Style() & tbvsUseHiddenAccels));
        view_->SetState(view_->State() | (parentView->State() & tbvsShowAccels));
    }
}

TTBPopupWindow::~TTBPopupWindow() {
    view_.reset();
    if (wnd_) {
        StopPopupAnimation(wnd_);
        SetWindowLongPtrW(wnd_, GWLP_USERDATA, 0);
        DestroyWindow(wnd_);
    }
}

void TTBPopupWindow::SetShown(bool shown) {
    if (shown && !IsWindowVisible(wnd_) && !view_->Selected() &&
        !(view_->ParentView() && (view_->ParentView()->State() & tbvsNoAnimation)) && TBSettings().MenuAnimation()) {
        const bool fade = TBSettings().MenuFade();
        if ((fade || AnimationDirections) && SendMessageW(wnd_, kTBMsgPopupNotify, kPopupAnimating, 0) == 0) {
            StartPopupAnimation(wnd_, kPopupAnimationMs, fade, AnimationDirections);
            return;
        }
    }
    if (!shown) StopPopupAnimation(wnd_);
    SetWindowPos(wnd_, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | (shown ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
    if (shown) SendMessageW(wnd_, kTBMsgPopupNotify, kPopupShown, 0);
}

// The view's window ---------------------------------------------------------------

void TTBPopupWindow::Host::InvalidateRect(const Rect& r) {
    // Not shown yet: it is painted whole when it shows.
    if (!IsWindowVisible(p->wnd_)) return;
    const RECT rc = toRECT(r);
    ::InvalidateRect(p->wnd_, &rc, FALSE);
}
void TTBPopupWindow::Host::Update() { UpdateWindow(p->wnd_); }
void TTBPopupWindow::Host::SetClientSize(int width, int height) {
    SetWindowPos(p->wnd_, nullptr, 0, 0, width + 2 * kPopupBorder, height + 2 * kPopupBorder,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}
int TTBPopupWindow::Host::ClientWidth() {
    RECT r{};
    GetClientRect(p->wnd_, &r);
    return r.right;
}
int TTBPopupWindow::Host::ClientHeight() {
    RECT r{};
    GetClientRect(p->wnd_, &r);
    return r.bottom;
}
uint32_t TTBPopupWindow::Host::BackgroundRGB() {
    const COLORREF c = GetSysColor(p->backgroundColor());
    return (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
}
void TTBPopupWindow::Host::StartTimer(int id, int ms) { SetTimer(p->wnd_, UINT_PTR(id), UINT(ms), nullptr); }
void TTBPopupWindow::Host::StopTimer(int id) { KillTimer(p->wnd_, UINT_PTR(id)); }

// Messages -------------------------------------------------------------------------

LRESULT CALLBACK TTBPopupWindow::proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(h, GWLP_USERDATA, LONG_PTR(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<TTBPopupWindow*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (!self || msg == WM_NCCREATE) return DefWindowProcW(h, msg, wp, lp);
    try {
        return self->handle(msg, wp, lp);
    } catch (...) {
        forms::HandleAppException(std::current_exception());
        return 0;
    }
}

LRESULT TTBPopupWindow::handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case kTBMsgAnimationStep: PopupAnimationStep(uint32_t(lp)); return 0;
    case kTBMsgAnimationEnded: SendMessageW(wnd_, kTBMsgPopupNotify, kPopupAnimated, 0); return 0;
    case kTBMsgPopupNotify: return OnNotify ? OnNotify(this, wp) : 0;
    case WM_NCCALCSIZE: {
        auto* r = reinterpret_cast<RECT*>(lp);
        InflateRect(r, -kPopupBorder, -kPopupBorder);
        return 0;
    }
    case WM_NCPAINT: {
        HDC dc = GetWindowDC(wnd_);
        paintBorder(dc);
        ReleaseDC(wnd_, dc);
        return 0;
    }
    case WM_ERASEBKGND:
        StopPopupAnimation(wnd_);
        return 1;
    case WM_PAINT: {
        StopPopupAnimation(wnd_);
        win::PaintDC pdc(wnd_);
        paintClient(pdc.get(), pdc.area());
        return 0;
    }
    case WM_PRINT:
        PrintWindowInto(wnd_, HDC(wp), UINT(lp), [this](HDC dc) { paintBorder(dc); });
        return 0;
    case WM_PRINTCLIENT: {
        RECT r{};
        GetClientRect(wnd_, &r);
        paintClient(HDC(wp), r);
        return 0;
    }
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case WM_DESTROY: StopPopupAnimation(wnd_); break;
    case WM_TIMER:
        if (view_ && wp >= UINT_PTR(kViewTimerBase) && wp <= UINT_PTR(kViewTimerBase + tbtScrollDown)) {
            view_->TimerFired(TTBViewTimer(wp - kViewTimerBase));
            return 0;
        }
        break;
    }
    return DefWindowProcW(wnd_, msg, wp, lp);
}

void TTBPopupWindow::paintBorder(HDC dc) {
    RECT r{};
    GetWindowRect(wnd_, &r);
    OffsetRect(&r, -r.left, -r.top);
    if (FlatMenusOn()) {
        frame(dc, r, COLOR_BTNSHADOW);
        frame(dc, r, backgroundColor());
        frame(dc, r, backgroundColor());
    } else {
        DrawEdge(dc, &r, EDGE_RAISED, BF_RECT | BF_ADJUST);
        frame(dc, r, COLOR_BTNFACE);
    }
}

void TTBPopupWindow::paintClient(HDC dc, const RECT& area) {
    const int w = area.right - area.left, h = area.bottom - area.top;
    if (w <= 0 || h <= 0 || !view_) return;
    win::MemoryDC mem(dc);
    win::Bitmap bmp(CreateCompatibleBitmap(dc, w, h));
    win::Select sel(mem.get(), bmp.get());
    const RECT all{0, 0, w, h};
    ::FillRect(mem.get(), &all, GetSysColorBrush(backgroundColor()));
    {
        GdiCanvas canvas(mem.get(), POINT{-area.left, -area.top}, metrics_);
        view_->Paint(canvas, toRect(area));
    }
    RECT client{};
    GetClientRect(wnd_, &client);
    OffsetRect(&client, -area.left, -area.top);
    if (view_->ShowUpArrow())
        drawScrollArrow(mem.get(), RECT{client.left, client.top, client.right, client.top + kScrollArrowBand}, true);
    if (view_->ShowDownArrow())
        drawScrollArrow(mem.get(), RECT{client.left, client.bottom - kScrollArrowBand, client.right, client.bottom},
                        false);
    BitBlt(dc, area.left, area.top, w, h, mem.get(), 0, 0, SRCCOPY);
}

// Opening --------------------------------------------------------------------------

std::unique_ptr<TTBPopupWindow> OpenPopupWindow(TTBCustomItem* item, TTBView* parentView, TTBItemViewer* viewer,
                                                bool selectFirst, POINT at, int alignment) {
    if (TTBCustomItem* link = item->LinkSubitems()) link->DoPopup(item, true);
    item->DoPopup(item, false);
    TTBView* chevronParent = item->ChevronParentView();
    auto popup = std::make_unique<TTBPopupWindow>(parentView, item, chevronParent);
    TTBView* view = popup->View();
    HWND parentWnd = parentView ? static_cast<HWND>(parentView->Window()->NativeHandle()) : nullptr;
    const bool withView = parentView && viewer && parentWnd;

    TBPopupPlacement p;
    if (withView) {
        RECT ir = toRECT(viewer->BoundsRect);
        MapWindowPoints(parentWnd, nullptr, reinterpret_cast<POINT*>(&ir), 2);
        p.item = toRect(ir);
        p.monitor = parentView->MonitorRect.Width() > 0 ? parentView->MonitorRect
                                                        : toRect(MonitorRectOfRect(ir, false));
        for (int i = 0; i < parentView->ViewerCount(); ++i) {
            TTBItemViewer* v = parentView->Viewers(i);
            if (!v->Show) continue;
            RECT r = toRECT(v->BoundsRect);
            MapWindowPoints(parentWnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
            p.viewItems.push_back(toRect(r));
        }
    } else {
        p.item = Rect{at.x, at.y, at.x, at.y};
        p.monitor = toRect(MonitorRectOfPoint(at, false));
    }
    view->MonitorRect = p.monitor;
    if (!chevronParent) view->MaxHeight = p.monitor.Height() - 2 * kPopupBorder;
    if (selectFirst) view->Select(view->FirstSelectable(), false);
    view->UpdateLayout();

    RECT wr{};
    GetWindowRect(popup->Handle(), &wr);
    p.width = wr.right - wr.left;
    p.height = wr.bottom - wr.top;
    p.borderX = p.borderY = kPopupBorder;
    const Rect& it = p.item;
    const bool verticalBar = withView && parentView->Orientation() == tbvoVertical;
    if (!withView) {
        p.origin = TBPopupOrigin::AtPoint;
        p.alignment = alignment;
        p.x = at.x - (alignment == 1 ? p.width : alignment == 2 ? p.width / 2 : 0);
        p.y = at.y;
    } else if (parentView->IsPopup() && !parentView->IsToolbar()) {
        p.origin = TBPopupOrigin::Sideways;
        p.parentOpenedLeft = parentView->State() & tbvsOpposite;
        p.x = it.right - kPopupBorder;
        p.y = it.top - kPopupBorder;
    } else if (chevronParent) {
        p.origin = verticalBar ? TBPopupOrigin::VerticalToolbar : TBPopupOrigin::Below;
        if (verticalBar)
            p.x = it.left - p.width, p.y = it.top;
        else
            p.x = it.right - p.width, p.y = it.bottom;
    } else if (verticalBar) {
        p.origin = TBPopupOrigin::VerticalToolbar;
        p.x = it.left - p.width;
        p.y = it.top;
    } else {
        p.origin = TBPopupOrigin::Below;
        p.x = TBSettings().MenuDropAlignment() ? it.right - p.width : it.left;
        p.y = it.bottom;
    }
    FitPopupPosition(p);
    if (p.openedLeft) view->SetState(view->State() | tbvsOpposite);
    popup->AnimationDirections = p.directions;
    SetWindowPos(popup->Handle(), nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    const bool sound = SoundConfigured("MenuPopup");
    auto play = [] { PlaySoundA("MenuPopup", nullptr, SND_ALIAS | SND_ASYNC | SND_NODEFAULT); };
    if (sound && g_soundPlayed) play();
    popup->SetShown(true);
    if (sound && !g_soundPlayed) {
        UpdateWindow(popup->Handle());
        play();
        g_soundPlayed = true;
    }
    return popup;
}

std::unique_ptr<TTBPopupHandle> PlatformOpenPopup(TTBCustomItem* item, TTBView* parentView, TTBItemViewer* viewer,
                                                  bool selectFirst) {
    return OpenPopupWindow(item, parentView, viewer, selectFirst);
}

}  // namespace toolbars
