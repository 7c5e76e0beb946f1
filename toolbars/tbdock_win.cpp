#include "tbdock_win.h"

#include <windowsx.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "forms/exception.h"
#include "tbcommon_win.h"
#include "win/gdi.h"
#include "win/wintext.h"

namespace toolbars {

namespace {

RECT toRECT(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }
Rect toRect(const RECT& r) { return Rect{r.left, r.top, r.right, r.bottom}; }

RECT screenRectOf(HWND wnd) {
    RECT r{};
    GetWindowRect(wnd, &r);
    return r;
}

// The dock's client rectangle on the screen.
RECT clientScreenRect(HWND wnd) {
    RECT r{};
    GetClientRect(wnd, &r);
    MapWindowPoints(wnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void collectDocks(forms::WinControl* parent, std::vector<TTBDock*>& out) {
    for (int i = 0; i < parent->ControlCount(); ++i) {
        forms::Control* c = parent->Controls(i);
        if (auto* d = dynamic_cast<TTBDock*>(c))
            out.push_back(d);
        else if (auto* w = dynamic_cast<forms::WinControl*>(c))
            if (!dynamic_cast<TTBCustomDockableWindow*>(c)) collectDocks(w, out);
    }
}

// A system cursor by its IDC_ number.
HCURSOR sysCursor(LPCSTR id) { return LoadCursorW(nullptr, MAKEINTRESOURCEW(reinterpret_cast<uintptr_t>(id))); }

void fillFrameBetween(HDC dc, const RECT& outer, const RECT& inner, int colorIndex) {
    win::Region a(CreateRectRgnIndirect(&outer));
    win::Region b(CreateRectRgnIndirect(&inner));
    CombineRgn(a.get(), a.get(), b.get(), RGN_DIFF);
    FillRgn(dc, a.get(), GetSysColorBrush(colorIndex));
}

// Tracks a pressed button of a window's frame with the capture until the
// mouse button is released: true when released over it (Escape cancels).
// pressed gives the pressed look while the cursor is over it.
bool trackFrameButton(HWND wnd, const std::function<Rect()>& button, bool& pressed) {
    auto redraw = [wnd] { RedrawWindow(wnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW); };
    pressed = true;
    redraw();
    SetCapture(wnd);
    bool over = true;
    while (GetCapture() == wnd) {
        MSG msg;
        if (!GetMessageW(&msg, nullptr, 0, 0)) {
            PostQuitMessage(int(msg.wParam));
            over = false;
            break;
        }
        if (msg.message == WM_MOUSEMOVE || msg.message == WM_LBUTTONUP) {
            POINT p{};
            GetCursorPos(&p);
            const RECT wr = screenRectOf(wnd);
            over = button().Contains(p.x - wr.left, p.y - wr.top);
            if (over != pressed) {
                pressed = over;
                redraw();
            }
            if (msg.message == WM_LBUTTONUP) break;
        } else if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
            over = false;
            break;
        } else {
            DispatchMessageW(&msg);
        }
    }
    if (GetCapture() == wnd) ReleaseCapture();
    pressed = false;
    redraw();
    return over;
}

}  // namespace

// Background ---------------------------------------------------------------------------

TTBBasicBackground::~TTBBasicBackground() {
    for (TTBDock* d : std::vector<TTBDock*>(users_)) d->SetBackground(nullptr);
}

void TTBBasicBackground::Changed() {
    for (TTBDock* d : users_) d->repaintAll();
}

// Dock ------------------------------------------------------------------------------

TTBDock::TTBDock(forms::Component* owner) : CustomControl(owner) {
    color_ = forms::clBtnFace;
    SetAlign(forms::Align::Top);
    layout_.OnInsertRemoveBar = [this](bool inserting, TBDockableWindow* w) {
        if (OnInsertRemoveBar) OnInsertRemoveBar(this, inserting, dynamic_cast<TTBCustomDockableWindow*>(w));
    };
}

TTBDock::~TTBDock() {
    SetBackground(nullptr);
    // The windows docked here go with the dock (its children); the others
    // forget it.
    for (TBDockableWindow* w : std::vector<TBDockableWindow*>(layout_.Docked())) {
        if (auto* dw = dynamic_cast<TTBCustomDockableWindow*>(w)) {
            if (dw->LastDock == this) dw->LastDock = nullptr;
            if (dw->DefaultDock == this) dw->DefaultDock = nullptr;
            if (dw->dock_ == this) dw->dock_ = nullptr;
        }
        layout_.RemoveWindow(w);
    }
}

void TTBDock::SetPosition(TTBDockPosition p) {
    layout_.SetPosition(p);
    static const forms::Align align[] = {forms::Align::Top, forms::Align::Bottom, forms::Align::Left,
                                         forms::Align::Right};
    SetAlign(align[p]);
}

void TTBDock::SetAllowDrag(bool on) {
    if (on == allowDrag_) return;
    allowDrag_ = on;
    for (TBDockableWindow* w : layout_.Docked())
        if (auto* dw = dynamic_cast<TTBCustomDockableWindow*>(w); dw && dw->Handle())
            SetWindowPos(dw->Handle(), nullptr, 0, 0, 0, 0,
                         SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ArrangeWindows();
}

void TTBDock::SetBackground(TTBBasicBackground* b) {
    if (b == background_) return;
    if (background_) {
        auto& u = background_->users_;
        u.erase(std::remove(u.begin(), u.end(), this), u.end());
    }
    background_ = b;
    if (b) b->users_.push_back(this);
    repaintAll();
}

void TTBDock::SetBackgroundOnToolbars(bool on) {
    if (on == backgroundOnToolbars_) return;
    backgroundOnToolbars_ = on;
    repaintAll();
}

void TTBDock::repaintAll() {
    if (!Handle()) return;
    RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

bool TTBDock::PaintBackground(HDC dc, const RECT& r, HWND of) {
    if (!BackgroundUsable() || !Handle()) return false;
    // The background's origin: the dock's place in its parent, then the
    // window's place in the dock.
    POINT origin{Left(), Top()};
    if (of && of != Handle()) {
        POINT p{0, 0};
        MapWindowPoints(of, Handle(), &p, 1);
        origin.x += p.x;
        origin.y += p.y;
    }
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
    background_->Paint(dc, r, origin);
    RestoreDC(dc, saved);
    return true;
}

LRESULT TTBDock::offerToWindows(UINT msg, WPARAM wp, LPARAM lp) {
    for (TBDockableWindow* w : std::vector<TBDockableWindow*>(layout_.Docked())) {
        auto* dw = dynamic_cast<TTBCustomDockableWindow*>(w);
        // Decided: only windows shown in this dock that process shortcuts
        // (toolbars with ProcessShortCuts or MenuBar) take part.
        if (!dw || !dw->Handle() || dw->CurrentDock() != this || !dw->EffectivelyEnabled() ||
            !IsWindowVisible(dw->Handle()) || !dw->TakesSystemCommands())
            continue;
        if (const LRESULT r = SendMessageW(dw->Handle(), msg, wp, lp)) return r;
    }
    return 0;
}

void TTBDock::SetBoundLines(TTBDockBoundLines lines) {
    layout_.SetBoundLines(lines);
    if (Handle())
        SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ArrangeWindows();
}

void TTBDock::SetParent(forms::WinControl* parent) {
    if (dynamic_cast<TTBCustomDockableWindow*>(parent) || dynamic_cast<TTBDock*>(parent))
        throw forms::EInvalidOperation("A TTBDock control cannot be placed inside a tool window or another TTBDock");
    CustomControl::SetParent(parent);
    ArrangeWindows();
}

void TTBDock::ArrangeWindows() {
    if (arranging_) {
        rearrange_ = true;
        return;
    }
    arranging_ = true;
    struct Done {
        bool& f;
        ~Done() { f = false; }
    } done{arranging_};
    // Taking its new thickness may realign the dock to a new length: once more then.
    for (int pass = 0; pass < 3; ++pass) {
        rearrange_ = false;
        layout_.Bounds = BoundsRect();
        layout_.LayOutDockedWindows();
        const Rect b = layout_.Bounds;
        if (!(b == BoundsRect())) forms::Control::SetBounds(b.left, b.top, b.Width(), b.Height());
        if (!rearrange_) break;
    }
}

void TTBDock::Resized() {
    CustomControl::Resized();
    ArrangeWindows();
}

bool TTBDock::HandleMessage(win::Message& m) {
    switch (m.msg) {
    case WM_NCCALCSIZE: {
        auto* r = reinterpret_cast<RECT*>(m.lParam);
        const TTBDockBoundLines b = layout_.BoundLines();
        if (b & blLeft) ++r->left;
        if (b & blTop) ++r->top;
        if (b & blRight) --r->right;
        if (b & blBottom) --r->bottom;
        m.result = 0;
        return true;
    }
    case WM_NCPAINT: {
        HDC dc = GetWindowDC(Handle());
        paintFrame(dc);
        ReleaseDC(Handle(), dc);
        m.result = 0;
        return true;
    }
    case WM_ERASEBKGND:
    case WM_PAINT: {
        if (!BackgroundUsable()) break;
        RECT r{};
        GetClientRect(Handle(), &r);
        if (m.msg == WM_PAINT) {
            // The background is all a dock shows.
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(Handle(), &ps);
            PaintBackground(dc, r, Handle());
            EndPaint(Handle(), &ps);
        } else {
            PaintBackground(HDC(m.wParam), r, Handle());
        }
        m.result = m.msg == WM_PAINT ? 0 : 1;
        return true;
    }
    case WM_MOVE:
        if (BackgroundUsable()) repaintAll();
        break;
    case WM_SYSCOLORCHANGE:
        if (background_) background_->Changed();
        break;
    case WM_SYSCOMMAND:
        m.result = offerToWindows(m.msg, m.wParam, m.lParam);
        return true;
    }
    return CustomControl::HandleMessage(m);
}

void TTBDock::paintFrame(HDC dc) {
    const TTBDockBoundLines b = layout_.BoundLines();
    if (!b || layout_.Shown().empty()) return;
    RECT r = screenRectOf(Handle());
    OffsetRect(&r, -r.left, -r.top);
    auto line = [&](int x0, int y0, int x1, int y1, int color) {
        const RECT l{x0, y0, x1, y1};
        FillRect(dc, &l, GetSysColorBrush(color));
    };
    if (b & blTop) line(0, 0, r.right, 1, COLOR_BTNSHADOW);
    if (b & blLeft) line(0, 0, 1, r.bottom, COLOR_BTNSHADOW);
    if (b & blBottom) line(0, r.bottom - 1, r.right, r.bottom, COLOR_BTNHIGHLIGHT);
    if (b & blRight) line(r.right - 1, 0, r.right, r.bottom, COLOR_BTNHIGHLIGHT);
}

// Dockable window ------------------------------------------------------------------

namespace {
// The dockable windows of the thread, and whether its application is active.
std::vector<TTBCustomDockableWindow*>& liveWindows() {
    thread_local std::vector<TTBCustomDockableWindow*> live;
    return live;
}
thread_local bool g_appActive = true;
}  // namespace

TTBCustomDockableWindow::TTBCustomDockableWindow(forms::Component* owner) : CustomControl(owner) {
    color_ = forms::clBtnFace;
    LaidOutRow = -1;
    liveWindows().push_back(this);
    SubscribeHooks(floatingHook, HookCodes(hpSendActivateApp) | HookCodes(hpSendWindowPosChanged));
}

TTBCustomDockableWindow::~TTBCustomDockableWindow() {
    destroying_ = true;
    auto& live = liveWindows();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
    UnsubscribeHooks(floatingHook);
    if (dock_) dock_->Layout().RemoveWindow(this);
    if (LastDock && LastDock != dock_) LastDock->Layout().RemoveWindow(this);
    dock_ = nullptr;
    if (floatParent_) {
        forms::Control::SetParent(nullptr);
        delete floatParent_;
        floatParent_ = nullptr;
    }
}

forms::Form* TTBCustomDockableWindow::ownerForm() const {
    if (floatParent_) return floatParent_->OwnerForm();
    forms::Form* f = ParentForm();
    if (!f) throw forms::EInvalidOperation("Control '" + Name() + "' has no parent window");
    return f;
}

Rect TTBCustomDockableWindow::DockedFrame() const {
    if (!dock_) return {};
    const int handle = dock_->AllowDrag() ? DragHandleSize(DragHandleStyle, CloseButtonWhenDocked) : 0;
    Rect f{2, 2, 2, 2};
    if (dock_->Vertical())
        f.top += handle;
    else
        f.left += handle;
    return f;
}

int TTBCustomDockableWindow::FloatingBorder() const {
    return GetSystemMetrics(Resizable ? SM_CXSIZEFRAME : SM_CXFIXEDFRAME);
}

int TTBCustomDockableWindow::FullLength(bool vertical) {
    const TBPoint c = CalcClientSize(dock_, vertical);
    const Rect f = DockedFrame();
    return vertical ? c.y + f.top + f.bottom : c.x + f.left + f.right;
}

int TTBCustomDockableWindow::MinimumLength(bool vertical) { return FullLength(vertical); }

TBPoint TTBCustomDockableWindow::ClientSize() {
    return CalcClientSize(dock_, dock_ ? dock_->Vertical() : false);
}

void TTBCustomDockableWindow::SetBounds(const Rect& r) {
    forms::Control::SetBounds(r.left, r.top, r.Width(), r.Height());
}

void TTBCustomDockableWindow::SetDockRow(int row) {
    DockRow = row;
    if (dock_) dock_->ArrangeWindows();
}

void TTBCustomDockableWindow::SetDockPos(int pos) {
    DockPos = pos;
    if (dock_) dock_->ArrangeWindows();
}

void TTBCustomDockableWindow::ArrangeSelf() {
    if (!Parent()) {
        ArrangeNeeded = true;
        return;
    }
    ArrangeNeeded = false;
    if (dock_) {
        dock_->ArrangeWindows();
    } else if (floating_ && floatParent_) {
        const TBPoint c = CalcClientSize(nullptr, false);
        forms::Control::SetBounds(0, 0, c.x, c.y);
        floatParent_->SetClientSize(c.x, c.y);
    }
}

void TTBCustomDockableWindow::SetCurrentDock(TTBDock* dock) {
    if (dock) moveTo(dock, false);
    else if (dock_) moveTo(nullptr, false);
}

void TTBCustomDockableWindow::SetFloating(bool on) {
    if (on == floating_) return;
    if (on)
        moveTo(nullptr, true);
    else if (TTBDock* d = LastDock ? LastDock : DefaultDock)
        moveTo(d, false);
}

void TTBCustomDockableWindow::moveTo(TTBDock* dock, bool floating) {
    forms::Form* owner = dock && dock->ParentForm() ? dock->ParentForm() : ownerForm();
    // The system hides and shows the window while re-parenting it: no
    // visibility change for the docks meanwhile.
    ++moving_;
    struct Moved {
        int& n;
        ~Moved() { --n; }
    } moved{moving_};
    TTBDock* old = dock_;
    if (old) old->Layout().BeginArrange();
    if (dock && dock != old) dock->Layout().BeginArrange();
    struct Unlock {
        TTBDock* a;
        TTBDock* b;
        ~Unlock() {
            for (TTBDock* d : {a, b})
                if (d) {
                    d->Layout().EndArrange();
                    d->ArrangeWindows();
                }
        }
    } unlock{old, dock != old ? dock : nullptr};
    ShrunkLength = 0;
    if (old) {
        if (UseLastDock && LastDock == old)
            old->Layout().UpdateShown(this, false);
        else
            old->Layout().RemoveWindow(this);
    }
    if (floating) {
        if (!floatParent_) floatParent_ = new TTBFloatingWindowParent(this, owner);
        const TBPoint c = CalcClientSize(nullptr, false);
        const TBFloatingFrame f = floatParent_->Frame();
        forms::Control::SetParent(floatParent_);
        // The position may come from anywhere (a saved layout): the frame is
        // kept on its monitor's work area and never smaller than its frame.
        const Rect wanted =
            Rect::Bounds(FloatingPosition.x, FloatingPosition.y, c.x + 2 * f.border, c.y + 2 * f.border + f.captionHeight);
        const Rect r = ClampPlacement(wanted, toRect(MonitorRectOfRect(toRECT(wanted), true)),
                                      TBPoint{2 * f.border + 1, 2 * f.border + f.captionHeight + 1});
        FloatingPosition = {r.left, r.top};
        forms::Control::SetBounds(0, 0, r.Width() - 2 * f.border, r.Height() - 2 * f.border - f.captionHeight);
        floatParent_->forms::Control::SetBounds(r.left, r.top, r.Width(), r.Height());
    } else {
        forms::Control::SetParent(dock ? static_cast<forms::WinControl*>(dock) : owner);
    }
    LaidOutRow = -1;
    dock_ = dock;
    floating_ = floating;
    if (Handle())
        SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (floatParent_) {
        if (floating)
            UpdateFloatingVisibility();
        else if (dragging_)
            floatParent_->SetShown(false);  // kept while a smooth drag may float again
        else {
            delete floatParent_;
            floatParent_ = nullptr;
        }
    }
    if (dock) {
        if (UseLastDock && !dragging_) {
            if (LastDock && LastDock != dock && LastDock != old) LastDock->Layout().RemoveWindow(this);
            LastDock = dock;
        }
        dock->Layout().AddWindow(this);
        dock->Layout().UpdateShown(this, Visible());
    }
    if (OnMove) OnMove(this);
    if (OnDockChanged) OnDockChanged(this);
}

void TTBCustomDockableWindow::VisibleChanged() {
    if (moving_) return;
    if (dock_) {
        dock_->Layout().UpdateShown(this, Visible());
        dock_->ArrangeWindows();
    }
    UpdateFloatingVisibility();
    if (OnVisibleChanged) OnVisibleChanged(this);
}

void TTBCustomDockableWindow::UpdateFloatingVisibility() {
    if (!floating_ || !floatParent_) return;
    bool shown = Visible() && (!HideWhenInactive || g_appActive);
    if (shown && FloatingMode == fmOnTopOfParentForm) {
        forms::Form* owner = floatParent_->OwnerForm();
        HWND o = owner ? owner->Handle() : nullptr;
        shown = o && IsWindowVisible(o) && !IsIconic(o);
    }
    if (shown != bool(IsWindowVisible(floatParent_->Handle()))) floatParent_->SetShown(shown);
}

void TTBCustomDockableWindow::floatingHook(TBHookProcCode code, void* window, uintptr_t wp, intptr_t lp) {
    HWND wnd = static_cast<HWND>(window);
    if (code == hpSendActivateApp) {
        g_appActive = wp != 0;
    } else if (code == hpSendWindowPosChanged) {
        // Only the owner forms' (or their ancestors') showing, hiding and frame changes count.
        const auto* pos = reinterpret_cast<const WINDOWPOS*>(lp);
        if (!pos || !(pos->flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW | SWP_FRAMECHANGED))) return;
        bool owns = false;
        for (TTBCustomDockableWindow* w : liveWindows()) {
            forms::Form* owner = w->floatParent_ ? w->floatParent_->OwnerForm() : nullptr;
            if (owner && owner->Handle() && (owner->Handle() == wnd || IsChild(wnd, owner->Handle()))) owns = true;
        }
        if (!owns) return;
    } else {
        return;
    }
    for (TTBCustomDockableWindow* w : std::vector<TTBCustomDockableWindow*>(liveWindows()))
        if (w->FloatingMode == fmOnTopOfParentForm || code == hpSendActivateApp) w->UpdateFloatingVisibility();
}

void TTBCustomDockableWindow::Close() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    if (!canClose) return;
    SetVisible(false);
    if (OnClose) OnClose(this);
}

void TTBCustomDockableWindow::KeepOnScreen(bool onlyWhenOutside) {
    if (!floating_ || !floatParent_) return;
    const RECT r = screenRectOf(floatParent_->Handle());
    const Rect area = toRect(MonitorRectOfRect(r, true));
    const Rect moved = KeepInside(toRect(r), area, onlyWhenOutside);
    if (!(moved == toRect(r))) {
        floatParent_->forms::Control::SetBounds(moved.left, moved.top, moved.Width(), moved.Height());
        FloatingPosition = {moved.left, moved.top};
    }
}

void TTBCustomDockableWindow::PlaceFloating(TBPoint topLeft) {
    FloatingPosition = topLeft;
    if (!floating_ || !floatParent_) return;
    const Rect wanted = Rect::Bounds(topLeft.x, topLeft.y, floatParent_->Width(), floatParent_->Height());
    const Rect r = ClampPlacement(wanted, toRect(MonitorRectOfRect(toRECT(wanted), true)), TBPoint{1, 1});
    FloatingPosition = {r.left, r.top};
    floatParent_->forms::Control::SetBounds(r.left, r.top, r.Width(), r.Height());
}

void TTBCustomDockableWindow::ToggleDocking() {
    if (floating_) {
        if (LastDock) {
            moveTo(LastDock, false);
        } else if (DefaultDock) {
            DockRow = 0;
            DockPos = -8;
            moveTo(DefaultDock, false);
        }
    } else if (dock_ && DockMode == dmCanFloat) {
        moveTo(nullptr, true);
        KeepOnScreen(true);
    }
}

Rect TTBCustomDockableWindow::closeButtonRect() const {
    if (!dock_ || !CloseButtonWhenDocked || !dock_->AllowDrag()) return {};
    const int s = DragHandleSize(DragHandleStyle, true) - 3;
    if (!dock_->Vertical()) return Rect::Bounds(3, 2, s, s);
    return Rect::Bounds(Width() - 2 - s, 3, s, s);
}

void TTBCustomDockableWindow::paintDockedFrame(HDC dc) {
    RECT r{0, 0, Width(), Height()};
    DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT | BF_ADJUST);
    FrameRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    const Rect f = DockedFrame();
    const RECT client{f.left, f.top, Width() - f.right, Height() - f.bottom};
    RECT inner{1, 1, Width() - 1, Height() - 1};
    fillFrameBetween(dc, inner, client, COLOR_BTNFACE);
    const bool vertical = dock_ && dock_->Vertical();
    const Rect close = closeButtonRect();
    if (dock_ && dock_->AllowDrag() && DragHandleStyle != dhNone) {
        const int bars = DragHandleStyle == dhDouble ? 2 : 1;
        const int inset = DragHandleStyle == dhSingle ? 1 : 0;
        int at = DragHandleGripOffset(DragHandleStyle, CloseButtonWhenDocked);
        for (int i = 0; i < bars; ++i, at += 3) {
            // Across the window from 2 pixels to the far side, short of the close button.
            RECT bar;
            if (!vertical) {
                const int top = 2 + inset + (CloseButtonWhenDocked ? close.bottom : 0);
                bar = {at, top, at + 3, Height() - 2 - inset};
            } else {
                const int right = CloseButtonWhenDocked ? close.left : Width() - 2 - inset;
                bar = {2 + inset, at, right, at + 3};
            }
            if (bar.right <= bar.left || bar.bottom <= bar.top) continue;
            DrawEdge(dc, &bar, BDR_RAISEDINNER, BF_RECT | BF_MIDDLE);
            if (!vertical)
                SetPixel(dc, bar.left, bar.bottom - 1, GetSysColor(COLOR_BTNHIGHLIGHT));
            else
                SetPixel(dc, bar.right - 1, bar.top, GetSysColor(COLOR_BTNHIGHLIGHT));
        }
    }
    if (CloseButtonWhenDocked && close.Width() > 0) {
        RECT b = toRECT(close);
        if (closePressed_)
            DrawEdge(dc, &b, BDR_SUNKENOUTER, BF_RECT);
        else if (closeHover_)
            DrawEdge(dc, &b, BDR_RAISEDINNER, BF_RECT);
        const int o = closePressed_ ? 1 : 0;
        win::Pen pen(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNTEXT)));
        win::Select sel(dc, pen.get());
        const int x0 = b.left + 2 + o, y0 = b.top + 2 + o, n = std::min(8, int(b.right - b.left - 4));
        for (int k = 0; k < 2; ++k) {
            MoveToEx(dc, x0 + k, y0, nullptr);
            LineTo(dc, x0 + n + k - 1, y0 + n);
            MoveToEx(dc, x0 + n - 1 - k, y0, nullptr);
            LineTo(dc, x0 - 1 - k, y0 + n);
        }
    }
}

bool TTBCustomDockableWindow::trackCloseButton() {
    return trackFrameButton(Handle(), [this] { return closeButtonRect(); }, closePressed_);
}

bool TTBCustomDockableWindow::paintDockBackground(HDC dc, const RECT& r) {
    return dock_ && dock_->BackgroundOnToolbars() && dock_->PaintBackground(dc, r, Handle());
}

bool TTBCustomDockableWindow::HandleMessage(win::Message& m) {
    switch (m.msg) {
    case WM_ERASEBKGND:
    case WM_PAINT: {
        if (!dock_ || !dock_->BackgroundOnToolbars() || !dock_->BackgroundUsable()) break;
        RECT r{};
        GetClientRect(Handle(), &r);
        if (m.msg == WM_PAINT) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(Handle(), &ps);
            paintDockBackground(dc, r);
            EndPaint(Handle(), &ps);
        } else {
            paintDockBackground(HDC(m.wParam), r);
        }
        m.result = m.msg == WM_PAINT ? 0 : 1;
        return true;
    }
    case WM_NCCALCSIZE: {
        auto* r = reinterpret_cast<RECT*>(m.lParam);
        const Rect f = DockedFrame();
        r->left += f.left;
        r->top += f.top;
        r->right -= f.right;
        r->bottom -= f.bottom;
        m.result = 0;
        return true;
    }
    case WM_NCPAINT:
        if (dock_) {
            HDC dc = GetWindowDC(Handle());
            paintDockedFrame(dc);
            ReleaseDC(Handle(), dc);
        }
        m.result = 0;
        return true;
    case WM_NCHITTEST: {
        if (!dock_) break;
        const POINT p{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
        const RECT wr = screenRectOf(Handle());
        const Rect f = DockedFrame();
        const int x = p.x - wr.left, y = p.y - wr.top;
        if (Rect{f.left, f.top, Width() - f.right, Height() - f.bottom}.Contains(x, y)) {
            m.result = HTCLIENT;
        } else {
            m.result = closeButtonRect().Contains(x, y) ? kHitCloseButton : kHitDragHandle;
        }
        return true;
    }
    case WM_SETCURSOR:
        if (LOWORD(m.lParam) == kHitDragHandle && dock_ && dock_->AllowDrag() && DragHandleStyle != dhNone) {
            ::SetCursor(sysCursor(IDC_SIZEALL));
            m.result = TRUE;
            return true;
        }
        break;
    case WM_NCLBUTTONDOWN:
        if (m.wParam == WPARAM(kHitDragHandle) && dock_ && dock_->AllowDrag()) {
            BeginMoving(POINT{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)});
            m.result = 0;
            return true;
        }
        if (m.wParam == WPARAM(kHitCloseButton)) {
            if (trackCloseButton()) Close();
            m.result = 0;
            return true;
        }
        break;
    case WM_NCLBUTTONDBLCLK:
        if (m.wParam == WPARAM(kHitDragHandle) && dock_ && dock_->AllowDrag()) {
            ToggleDocking();
            m.result = 0;
            return true;
        }
        break;
    case WM_NCMOUSEMOVE: {
        const bool hover = m.wParam == WPARAM(kHitCloseButton);
        if (hover != closeHover_) {
            closeHover_ = hover;
            StartMouseTracking(Handle(), TME_LEAVE | TME_NONCLIENT);
            RedrawWindow(Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
        }
        break;
    }
    case WM_NCMOUSELEAVE:
    case WM_MOUSELEAVE:
    case WM_MOUSEMOVE:
        if (closeHover_ && GetCapture() != Handle()) {
            closeHover_ = false;
            RedrawWindow(Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
        }
        break;
    case WM_NCRBUTTONUP:
        SendMessageW(Handle(), WM_CONTEXTMENU, WPARAM(Handle()), m.lParam);
        m.result = 0;
        return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        if (!((dock_ && dock_->AllowDrag()) || floating_)) break;
        const POINT c{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
        // Nothing on content: a visible child control.
        HWND child = ChildWindowFromPointEx(Handle(), c, CWP_SKIPINVISIBLE);
        if (child && child != Handle()) break;
        if (m.msg == WM_LBUTTONDBLCLK) {
            ToggleDocking();
        } else {
            POINT s = c;
            ::ClientToScreen(Handle(), &s);
            BeginMoving(s);
        }
        m.result = 0;
        return true;
    }
    case WM_SHOWWINDOW: {
        const bool r = CustomControl::HandleMessage(m);
        if (m.lParam == 0) VisibleChanged();
        return r;
    }
    case WM_SETTEXT:
        if (floatParent_) {
            const bool r = CustomControl::HandleMessage(m);
            SetWindowTextW(floatParent_->Handle(), reinterpret_cast<const wchar_t*>(m.lParam));
            return r;
        }
        break;
    }
    return CustomControl::HandleMessage(m);
}

// The drag loop ------------------------------------------------------------------------

void TTBCustomDockableWindow::BeginMoving(POINT start) {
    forms::Form* owner = ownerForm();
    TTBDock* startDock = dock_;
    const int startRow = DockRow, startPos = DockPos;
    const bool startFloating = floating_;
    const TBPoint startFloatPos = FloatingPosition;
    HWND frameWnd = floating_ && floatParent_ ? floatParent_->Handle() : Handle();
    const RECT startRect = screenRectOf(frameWnd);
    const int oldW = std::max(1, int(startRect.right - startRect.left)),
              oldH = std::max(1, int(startRect.bottom - startRect.top));
    bool canSplit = false;
    if (startDock) {
        startDock->Layout().Placed = this;
        startDock->Layout().CommitNext();
        startDock->ArrangeWindows();
        canSplit = startDock->Layout().CanSplit();
    }

    // The docks it may drop into, each with the size it would have there.
    struct Target {
        TTBDock* dock;
        SIZE size;
    };
    std::vector<Target> targets;
    auto allowed = [&](TTBDock* d) {
        return d->AllowDrag() && (DockableTo & DockableBit(d->Position())) && d->Handle() && d->Showing();
    };
    auto sizeIn = [&](TTBDock* d) {
        TTBDock* keep = dock_;
        dock_ = d;  // the frame of that dock
        const TBPoint c = CalcClientSize(d, d->Vertical());
        const Rect f = DockedFrame();
        dock_ = keep;
        return SIZE{c.x + f.left + f.right, c.y + f.top + f.bottom};
    };
    if (startDock && allowed(startDock)) targets.push_back({startDock, sizeIn(startDock)});
    if (DockMode != dmCannotFloatOrChangeDocks) {
        std::vector<TTBDock*> docks;
        collectDocks(owner, docks);
        std::stable_sort(docks.begin(), docks.end(),
                         [](TTBDock* a, TTBDock* b) { return a->Position() < b->Position(); });
        for (TTBDock* d : docks)
            if (d != startDock && allowed(d)) targets.push_back({d, sizeIn(d)});
    }
    SIZE floatSize{};
    {
        const TBPoint c = CalcClientSize(nullptr, false);
        const int border = FloatingBorder();
        const int caption = ShowCaption ? GetSystemMetrics(SM_CYSMCAPTION) : 0;
        floatSize = {c.x + 2 * border, c.y + 2 * border + caption};
    }
    const POINT grab{start.x - startRect.left, start.y - startRect.top};

    // What an evaluation chose.
    struct Place {
        TTBDock* dock = nullptr;
        bool floating = false;
        bool none = true;  // nowhere (may not float)
        RECT rect{};
        int row = 0, pos = 0;
        bool newRow = false;
    };
    Place place;
    bool ctrl = GetKeyState(VK_CONTROL) < 0;
    HCURSOR startCursor = GetCursor();

    auto wouldRect = [&](POINT cur, SIZE s) {
        const int gx = MulDiv(grab.x, s.cx, oldW), gy = MulDiv(grab.y, s.cy, oldH);
        return RECT{cur.x - gx, cur.y - gy, cur.x - gx + s.cx, cur.y - gy + s.cy};
    };
    auto evaluate = [&](POINT cur) {
        Place p;
        if (startDock && startDock->Layout().Splitting) {
            p.dock = startDock;
            p.rect = wouldRect(cur, sizeIn(startDock));
        } else if (!ctrl) {
            for (const Target& t : targets) {
                RECT dr = screenRectOf(t.dock->Handle());
                const int tolX = 3 + MulDiv(25, t.size.cx, oldW), tolY = 3 + MulDiv(25, t.size.cy, oldH);
                InflateRect(&dr, t.dock->Vertical() ? tolX : 3, t.dock->Vertical() ? 3 : tolY);
                const RECT r = wouldRect(cur, t.size);
                RECT both{};
                if (!PtInRect(&dr, cur) || !IntersectRect(&both, &r, &dr)) continue;
                bool accept = true;
                if (t.dock->OnRequestDock) t.dock->OnRequestDock(t.dock, this, accept);
                if (!accept) continue;
                p.dock = t.dock;
                p.rect = r;
                break;
            }
        }
        if (p.dock) {
            p.none = false;
            const RECT dc = clientScreenRect(p.dock->Handle());
            const bool vertical = p.dock->Vertical();
            const int middle = vertical ? (p.rect.left + p.rect.right) / 2 - dc.left
                                        : (p.rect.top + p.rect.bottom) / 2 - dc.top;
            const TBDockLayout::DragRow row = p.dock->Layout().RowForDrag(middle, FullSize);
            p.row = row.row;
            p.newRow = row.newRow;
            p.pos = std::max(0, int(vertical ? p.rect.top - dc.top : p.rect.left - dc.left));
            if (p.dock == startDock && canSplit && !p.newRow && p.row == startRow &&
                std::abs(p.pos - startPos) > 9)
                p.dock->Layout().Splitting = true;
            if (p.dock != startDock || p.newRow || p.row != startRow) {
                canSplit = false;
                if (startDock) startDock->Layout().Splitting = false;
            }
        } else if (DockMode == dmCanFloat) {
            p.none = false;
            p.floating = true;
            const Rect work = toRect(MonitorRectOfPoint(cur, true));
            POINT c{std::clamp(int(cur.x), work.left, std::max(work.left, work.right - 1)),
                    std::clamp(int(cur.y), work.top, std::max(work.top, work.bottom - 1))};
            const RECT r = wouldRect(c, floatSize);
            const int inset = FloatingBorder() + 4;
            const Rect area{work.left - floatSize.cx + inset, work.top, work.right + floatSize.cx - inset,
                            work.bottom + floatSize.cy - inset};
            p.rect = toRECT(KeepInside(toRect(r), area, false));
        }
        return p;
    };

    auto apply = [&](const Place& p) {
        if (p.none) return;
        if (p.dock) {
            DockRow = p.row;
            DockPos = p.pos;
            OpensNewRow = p.newRow;
            if (dock_ != p.dock) moveTo(p.dock, false);
            if (!SmoothDrag) p.dock->Layout().CommitNext();
            p.dock->ArrangeWindows();
            OpensNewRow = false;
        } else {
            FloatingPosition = {p.rect.left, p.rect.top};
            if (!floating_)
                moveTo(nullptr, true);
            else
                floatParent_->forms::Control::SetBounds(p.rect.left, p.rect.top, floatParent_->Width(),
                                                        floatParent_->Height());
        }
    };

    // The outline of non-smooth dragging, on the locked desktop.
    HDC desktop = nullptr;
    RECT outline{};
    SIZE outlineSize{};
    bool outlineShown = false;
    auto drawOutline = [&](const Place& p) {
        if (!desktop) return;
        const bool show = !p.none;
        const int t = p.dock ? 1 : FloatingBorder();
        const SIZE s{t, t};
        DrawDitherFrame(desktop, show ? &p.rect : nullptr, outlineShown ? &outline : nullptr, s, outlineSize);
        outline = p.rect;
        outlineSize = s;
        outlineShown = show;
    };
    dragging_ = true;
    if (!SmoothDrag) {
        LockWindowUpdate(GetDesktopWindow());
        desktop = GetDCEx(GetDesktopWindow(), nullptr, DCX_WINDOW | DCX_CACHE | DCX_LOCKWINDOWUPDATE);
    }
    SetCapture(Handle());
    bool drop = false;
    POINT last = start;
    auto move = [&](bool force) {
        POINT cur{};
        GetCursorPos(&cur);
        if (!force && cur.x == last.x && cur.y == last.y) return;
        last = cur;
        place = evaluate(cur);
        if (place.none) {
            ::SetCursor(sysCursor(IDC_NO));
        } else if (startDock && startDock->Layout().Splitting) {
            ::SetCursor(sysCursor(startDock->Vertical() ? IDC_SIZENS : IDC_SIZEWE));
        } else {
            ::SetCursor(startCursor);
        }
        if (SmoothDrag)
            apply(place);
        else
            drawOutline(place);
    };
    while (GetCapture() == Handle()) {
        MSG msg;
        if (!GetMessageW(&msg, nullptr, 0, 0)) {
            PostQuitMessage(int(msg.wParam));
            break;
        }
        bool end = false;
        switch (msg.message) {
        case WM_LBUTTONUP:
            move(false);
            drop = true;
            end = true;
            break;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: end = true; break;
        case WM_KEYDOWN:
        case WM_KEYUP:
            if (msg.wParam == VK_ESCAPE && msg.message == WM_KEYDOWN) end = true;
            if (msg.wParam == VK_CONTROL && ctrl != (msg.message == WM_KEYDOWN)) {
                ctrl = msg.message == WM_KEYDOWN;
                move(true);
            }
            break;
        case WM_MOUSEMOVE: move(false); break;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
        case WM_MBUTTONDBLCLK:
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP:
        case WM_CHAR:
        case WM_SYSCHAR: break;
        default: DispatchMessageW(&msg); break;
        }
        if (end) break;
    }
    if (GetCapture() == Handle()) ReleaseCapture();
    if (desktop) {
        if (outlineShown) DrawDitherFrame(desktop, nullptr, &outline, outlineSize, outlineSize);
        ReleaseDC(GetDesktopWindow(), desktop);
        LockWindowUpdate(nullptr);
    }
    dragging_ = false;
    if (drop && !SmoothDrag) {
        apply(place);
    } else if (!drop && SmoothDrag) {
        // Cancelled: back where it started.
        DockRow = startRow;
        DockPos = startPos;
        if (startFloating) {
            FloatingPosition = startFloatPos;
            if (!floating_)
                moveTo(nullptr, true);
            else
                floatParent_->forms::Control::SetBounds(startFloatPos.x, startFloatPos.y, floatParent_->Width(),
                                                        floatParent_->Height());
        } else if (startDock) {
            if (dock_ != startDock) moveTo(startDock, false);
            startDock->ArrangeWindows();
        }
    }
    if (startDock) {
        startDock->Layout().Placed = nullptr;
        startDock->Layout().Splitting = false;
    }
    if (dock_) {
        if (UseLastDock) LastDock = dock_;
        dock_->Layout().CommitNext();
        dock_->ArrangeWindows();
    }
    if (floatParent_ && !floating_) {
        delete floatParent_;
        floatParent_ = nullptr;
    }
    if (floating_) KeepOnScreen(true);
}

// The resize loop of a floating window.
void TTBCustomDockableWindow::BeginSizing(int hitCode) {
    if (!floating_ || !floatParent_ || !Resizable) return;
    HWND frame = floatParent_->Handle();
    const RECT start = screenRectOf(frame);
    POINT p0{};
    GetCursorPos(&p0);
    TBPoint minimum, maximum;
    GetSizeLimits(minimum, maximum);
    const TBFloatingFrame f = floatParent_->Frame();
    const int fw = 2 * f.border, fh = 2 * f.border + f.captionHeight;
    const TBPoint minFrame{minimum.x + fw, minimum.y + fh};
    const TBPoint maxFrame{maximum.x ? maximum.x + fw : 0, maximum.y ? maximum.y + fh : 0};
    const bool clip = !MultipleMonitors();
    if (clip) {
        const RECT work = PrimaryMonitorRect(true);
        ClipCursor(&work);
    }
    HDC desktop = nullptr;
    RECT outline = start;
    const SIZE thick{f.border, f.border};
    if (!SmoothDrag) {
        LockWindowUpdate(GetDesktopWindow());
        desktop = GetDCEx(GetDesktopWindow(), nullptr, DCX_WINDOW | DCX_CACHE | DCX_LOCKWINDOWUPDATE);
        DrawDitherFrame(desktop, &outline, nullptr, thick, thick);
    }
    auto applyRect = [&](const RECT& r) {
        floatParent_->forms::Control::SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
        const int cw = std::max(0, int(r.right - r.left) - fw), ch = std::max(0, int(r.bottom - r.top) - fh);
        FloatingResized(cw, ch);
        forms::Control::SetBounds(0, 0, cw, ch);
        FloatingPosition = {r.left, r.top};
    };
    SetCapture(Handle());
    bool done = false, cancelled = false;
    POINT last = p0;
    RECT current = start;
    while (!done && GetCapture() == Handle()) {
        MSG msg;
        if (!GetMessageW(&msg, nullptr, 0, 0)) {
            PostQuitMessage(int(msg.wParam));
            cancelled = true;
            break;
        }
        switch (msg.message) {
        case WM_MOUSEMOVE:
        case WM_LBUTTONUP: {
            POINT cur{};
            GetCursorPos(&cur);
            if (cur.x != last.x || cur.y != last.y) {
                last = cur;
                current = toRECT(ResizeRect(toRect(start), hitCode, cur.x - p0.x, cur.y - p0.y, minFrame, maxFrame));
                if (SmoothDrag) {
                    applyRect(current);
                } else {
                    DrawDitherFrame(desktop, &current, &outline, thick, thick);
                    outline = current;
                }
            }
            if (msg.message == WM_LBUTTONUP) done = true;
            break;
        }
        case WM_KEYDOWN:
            if (msg.wParam == VK_ESCAPE) {
                cancelled = done = true;
            }
            break;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
        case WM_KEYUP:
        case WM_CHAR: break;
        default: DispatchMessageW(&msg); break;
        }
    }
    if (GetCapture() == Handle()) ReleaseCapture();
    if (desktop) {
        DrawDitherFrame(desktop, nullptr, &outline, thick, thick);
        ReleaseDC(GetDesktopWindow(), desktop);
        LockWindowUpdate(nullptr);
    }
    if (clip) ClipCursor(nullptr);
    if (cancelled) {
        if (SmoothDrag) applyRect(start);
    } else {
        if (!SmoothDrag) applyRect(current);
        // The frame takes the size the window lays itself out to.
        ArrangeSelf();
    }
    KeepOnScreen(true);
}

// Floating window parent ----------------------------------------------------------------

TTBFloatingWindowParent::TTBFloatingWindowParent(TTBCustomDockableWindow* window, forms::Form* ownerForm)
    : Form(nullptr), window_(window), ownerForm_(ownerForm) {
    char name[64];
    snprintf(name, sizeof name, "NBFloatingWindowParent_%.8x", unsigned(reinterpret_cast<uintptr_t>(this)));
    SetName(name);
    SetWindowLongPtrW(Handle(), GWLP_HWNDPARENT,
                      LONG_PTR(window->FloatingMode == fmOnTopOfAllForms || !ownerForm ? nullptr : ownerForm->Handle()));
    DWORD style = WS_POPUP | WS_BORDER | WS_CLIPCHILDREN;
    if (window->Resizable) style |= WS_THICKFRAME;
    SetWindowLongW(Handle(), GWL_STYLE, LONG(style));
    SetWindowLongW(Handle(), GWL_EXSTYLE, WS_EX_TOOLWINDOW);
    SetWindowPos(Handle(), nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER |
                                                    SWP_NOACTIVATE);
    SetCaption(window->Caption());
}

TTBFloatingWindowParent::~TTBFloatingWindowParent() = default;

void TTBFloatingWindowParent::FillCreateParams(forms::CreateParams& p) {
    Form::FillCreateParams(p);
    p.style = WS_POPUP | WS_BORDER | WS_CLIPCHILDREN;
    p.exStyle = WS_EX_TOOLWINDOW;
}

TBFloatingFrame TTBFloatingWindowParent::Frame() const {
    TBFloatingFrame f;
    f.border = window_->FloatingBorder();
    f.captionHeight = window_->ShowCaption ? GetSystemMetrics(SM_CYSMCAPTION) : 0;
    f.closeButton = window_->CloseButton;
    f.resizable = window_->Resizable;
    return f;
}

void TTBFloatingWindowParent::SetShown(bool on) {
    SetVisibleFlag(on);
    if (!on) {
        SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
        return;
    }
    // Above all forms, or following its owner form's topmost state.
    const bool topmost = window_->FloatingMode == fmOnTopOfAllForms ||
                         (ownerForm_ && ownerForm_->Handle() &&
                          (GetWindowLongW(ownerForm_->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST));
    SetWindowPos(Handle(), topmost ? HWND_TOPMOST : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void TTBFloatingWindowParent::paintFrame(HDC dc, bool caption, bool button) {
    const TBFloatingFrame f = Frame();
    RECT r = screenRectOf(Handle());
    const int w = r.right - r.left, h = r.bottom - r.top;
    OffsetRect(&r, -r.left, -r.top);
    {
        RECT e = r;
        DrawEdge(dc, &e, EDGE_RAISED, BF_RECT | BF_ADJUST);
        const RECT inner{f.border, f.border, w - f.border, h - f.border};
        fillFrameBetween(dc, e, inner, COLOR_BTNFACE);
    }
    if (caption && f.captionHeight > 0) {
        RECT c = toRECT(FloatingCaptionRect(f, w));
        BOOL gradient = FALSE;
        SystemParametersInfoW(SPI_GETGRADIENTCAPTIONS, 0, &gradient, 0);
        DrawCaption(Handle(), dc, &c, DC_SMALLCAP | DC_TEXT | DC_ACTIVE | (gradient ? DC_GRADIENT : 0));
        const RECT line{f.border, f.border + f.captionHeight - 1, w - f.border, f.border + f.captionHeight};
        FillRect(dc, &line, GetSysColorBrush(COLOR_BTNFACE));
    }
    if (button && f.captionHeight > 0 && f.closeButton) {
        RECT b = toRECT(FloatingCloseButtonRect(f, w));
        RECT back = b;
        FillRect(dc, &back, GetSysColorBrush(COLOR_ACTIVECAPTION));
        RECT glyph{b.left, b.top + 2, b.right - 2, b.bottom - 2};
        DrawFrameControl(dc, &glyph, DFC_CAPTION, DFCS_CAPTIONCLOSE | (closePressed_ ? DFCS_PUSHED : 0));
    }
}

bool TTBFloatingWindowParent::trackCloseButton() {
    return trackFrameButton(
        Handle(),
        [this] {
            const RECT wr = screenRectOf(Handle());
            return FloatingCloseButtonRect(Frame(), wr.right - wr.left);
        },
        closePressed_);
}

bool TTBFloatingWindowParent::HandleMessage(win::Message& m) {
    switch (m.msg) {
    case WM_GETMINMAXINFO: {
        auto* mm = reinterpret_cast<MINMAXINFO*>(m.lParam);
        mm->ptMinTrackSize = {1, 1};
        mm->ptMaxTrackSize = {32767, 32767};
        m.result = 0;
        return true;
    }
    case WM_NCCALCSIZE: {
        auto* r = reinterpret_cast<RECT*>(m.lParam);
        const TBFloatingFrame f = Frame();
        r->left += f.border;
        r->right -= f.border;
        r->top += f.border + f.captionHeight;
        r->bottom -= f.border;
        if (r->right < r->left) r->right = r->left;
        if (r->bottom < r->top) r->bottom = r->top;
        m.result = 0;
        return true;
    }
    case WM_NCPAINT: {
        HDC dc = GetWindowDC(Handle());
        paintFrame(dc, true, true);
        ReleaseDC(Handle(), dc);
        m.result = 0;
        return true;
    }
    case WM_NCACTIVATE:
        // The frame is ours; the owner's caption stays active.
        m.result = TRUE;
        return true;
    case WM_SETTEXT: {
        const LRESULT r = DefWindowProcW(Handle(), m.msg, m.wParam, m.lParam);
        HDC dc = GetWindowDC(Handle());
        paintFrame(dc, true, false);
        ReleaseDC(Handle(), dc);
        m.result = r;
        return true;
    }
    case WM_PRINT:
        PrintWindowInto(Handle(), HDC(m.wParam), UINT(m.lParam), [this](HDC dc) { paintFrame(dc, true, true); });
        m.result = 0;
        return true;
    case WM_NCHITTEST: {
        const POINT p{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
        const RECT wr = screenRectOf(Handle());
        RECT cr = clientScreenRect(Handle());
        if (PtInRect(&cr, p)) {
            m.result = HTCLIENT;
            return true;
        }
        const int code = FloatingHitTest(Frame(), wr.right - wr.left, wr.bottom - wr.top,
                                         TBPoint{p.x - wr.left, p.y - wr.top});
        m.result = code == kHitNone ? HTBORDER : code;
        return true;
    }
    case WM_SETCURSOR: {
        const int code = LOWORD(m.lParam);
        if (code >= kHitLeft && code <= kHitBottomRight) break;
        if (code == kHitCaption || code == kHitCloseButton) {
            ::SetCursor(sysCursor(IDC_ARROW));
            m.result = TRUE;
            return true;
        }
        break;
    }
    case WM_NCLBUTTONDOWN: {
        const int code = int(m.wParam);
        m.result = 0;
        if (code >= kHitLeft && code <= kHitBottomRight) {
            if (window_->Resizable) window_->BeginSizing(code);
            return true;
        }
        if (code == kHitCloseButton) {
            if (trackCloseButton()) window_->Close();
            return true;
        }
        if (code == kHitCaption) {
            window_->BeginMoving(POINT{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)});
            return true;
        }
        break;
    }
    case WM_NCLBUTTONDBLCLK:
        if (m.wParam == WPARAM(kHitCaption)) {
            if (window_->LastDock || window_->DefaultDock) window_->ToggleDocking();
            m.result = 0;
            return true;
        }
        break;
    case WM_NCRBUTTONUP:
        SendMessageW(window_->Handle(), WM_CONTEXTMENU, WPARAM(window_->Handle()), m.lParam);
        m.result = 0;
        return true;
    case WM_CLOSE:
        if (ownerForm_ && ownerForm_->Handle()) SendMessageW(ownerForm_->Handle(), WM_CLOSE, 0, 0);
        m.result = 0;
        return true;
    case WM_ACTIVATE:
        if (ownerForm_ && ownerForm_->Handle()) {
            SendMessageW(ownerForm_->Handle(), WM_NCACTIVATE, LOWORD(m.wParam) != WA_INACTIVE, 0);
            if (LOWORD(m.wParam) != WA_INACTIVE && HWND(m.lParam) != ownerForm_->Handle()) {
                if (IsWindowVisible(Handle()))
                    SetActiveWindow(ownerForm_->Handle());
            }
        }
        m.result = 0;
        return true;
    case WM_MOUSEACTIVATE:
        SetWindowPos(Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        if (window_->FloatingMode == fmOnTopOfParentForm && window_->ActivateParent && ownerForm_ &&
            ownerForm_->Handle() && GetActiveWindow() != ownerForm_->Handle())
            SetActiveWindow(ownerForm_->Handle());
        m.result = MA_NOACTIVATE;
        return true;
    case WM_MOVE:
        if (window_->OnMove) window_->OnMove(window_);
        break;
    }
    return Form::HandleMessage(m);
}

}  // namespace toolbars
