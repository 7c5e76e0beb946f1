#include <windows.h>
#include <imm.h>
#include <windowsx.h>

#include <algorithm>

#include "forms/application.h"
#include "forms/appservices.h"
#include "tbcommon_win.h"
#include "tbhooks.h"
#include "tbimagelist_win.h"
#include "tbviewwin.h"
#include "win/gdi.h"
#include "win/wintext.h"

namespace toolbars {

namespace {
int sysColorIndex(TBColor c) {
    static const int index[] = {COLOR_BTNFACE,     COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT, COLOR_BTNTEXT,
                                COLOR_MENU,        COLOR_MENUTEXT,  COLOR_MENUHILIGHT,  COLOR_HIGHLIGHT,
                                COLOR_HIGHLIGHTTEXT, COLOR_GRAYTEXT, COLOR_WINDOW};
    return index[size_t(c)];
}
}  // namespace

COLORREF TBSysColor(TBColor c) { return GetSysColor(sysColorIndex(c)); }

// Metrics ---------------------------------------------------------------------------

GdiMetrics::~GdiMetrics() {
    if (dc_) {
        SelectObject(dc_, old_);
        DeleteDC(dc_);
    }
    if (bold_) DeleteObject(bold_);
}

void GdiMetrics::SetFont(HFONT font) {
    if (!font) font = TBMenuFont();
    font_ = font;
    if (bold_) DeleteObject(bold_);
    LOGFONTW lf{};
    GetObjectW(font, sizeof lf, &lf);
    lf.lfWeight = FW_BOLD;
    bold_ = CreateFontIndirectW(&lf);
    haveTm_[0] = haveTm_[1] = false;
}

HDC GdiMetrics::dc(bool bold) {
    if (!dc_) {
        dc_ = CreateCompatibleDC(nullptr);
        old_ = SelectObject(dc_, font_);
    }
    SelectObject(dc_, bold ? bold_ : font_);
    if (!haveTm_[bold]) {
        GetTextMetricsW(dc_, &tm_[bold]);
        haveTm_[bold] = true;
    }
    return dc_;
}

int GdiMetrics::TextWidth(const std::string& text, bool bold) {
    if (text.empty()) return 0;
    const std::wstring w = win::Wide(text);
    SIZE size{};
    GetTextExtentPoint32W(dc(bold), w.c_str(), int(w.size()), &size);
    return size.cx;
}

int GdiMetrics::TextHeight(bool bold) {
    dc(bold);
    return tm_[bold].tmHeight;
}

int GdiMetrics::ExternalLeading(bool bold) {
    dc(bold);
    return tm_[bold].tmExternalLeading;
}

int GdiMetrics::CheckMarkWidth() { return GetSystemMetrics(SM_CXMENUCHECK); }

// Canvas ------------------------------------------------------------------------------

GdiCanvas::GdiCanvas(HDC dc, POINT base, const GdiMetrics& fonts) : dc_(dc), base_(base), fonts_(fonts) {
    saved_ = SaveDC(dc);
    SetBkMode(dc, TRANSPARENT);
    SetViewportOrgEx(dc, base.x, base.y, nullptr);
}

GdiCanvas::~GdiCanvas() { RestoreDC(dc_, saved_); }

void GdiCanvas::SetOrigin(int x, int y) {
    SetViewportOrgEx(dc_, base_.x + x, base_.y + y, nullptr);
    SetBrushOrgEx(dc_, (base_.x + x) & 7, (base_.y + y) & 7, nullptr);
}

void GdiCanvas::FillRect(const Rect& r, TBColor c) {
    const RECT rc{r.left, r.top, r.right, r.bottom};
    ::FillRect(dc_, &rc, GetSysColorBrush(sysColorIndex(c)));
}

void GdiCanvas::FillDither(const Rect& r) {
    win::Brush brush(MakeDitherBrush());
    const COLORREF oldText = SetTextColor(dc_, TBSysColor(TBColor::BtnFace));
    const COLORREF oldBack = SetBkColor(dc_, TBSysColor(TBColor::BtnHighlight));
    const RECT rc{r.left, r.top, r.right, r.bottom};
    ::FillRect(dc_, &rc, brush.get());
    SetTextColor(dc_, oldText);
    SetBkColor(dc_, oldBack);
}

void GdiCanvas::DrawEdge(const Rect& r, unsigned edge, unsigned flags) {
    RECT rc{r.left, r.top, r.right, r.bottom};
    ::DrawEdge(dc_, &rc, edge, flags);
}

void GdiCanvas::DrawText(const std::string& text, const Rect& r, unsigned format, TBColor c) {
    win::Select font(dc_, fonts_.Font(bold));
    SetTextColor(dc_, TBSysColor(c));
    RECT rc{r.left, r.top, r.right, r.bottom};
    const std::wstring w = win::Wide(text);
    ::DrawTextW(dc_, w.c_str(), int(w.size()), &rc, format);
}

void GdiCanvas::DrawRotatedText(const std::string& text, const Rect& r, unsigned format, TBColor c) {
    win::Select font(dc_, fonts_.Font(bold));
    SetTextColor(dc_, TBSysColor(c));
    DrawRotatedCaption(dc_, text, RECT{r.left, r.top, r.right, r.bottom}, format);
}

void GdiCanvas::DrawImage(forms::CustomImageList* list, int index, int x, int y, bool enabled, bool checked,
                          bool hot) {
    if (auto* tb = dynamic_cast<TTBCustomImageList*>(list)) {
        forms::Canvas c(dc_);
        tb->DrawState(c, x, y, index, enabled, checked, hot);
    } else if (auto* il = dynamic_cast<forms::ImageList*>(list)) {
        forms::Canvas c(dc_);
        il->Draw(c, x, y, index, enabled);
    }
}

namespace {
std::vector<POINT> points(const std::vector<TBPoint>& pts) {
    std::vector<POINT> out;
    out.reserve(pts.size());
    for (const TBPoint& p : pts) out.push_back({p.x, p.y});
    return out;
}
}  // namespace

void GdiCanvas::Polyline(const std::vector<TBPoint>& pts, TBColor c) {
    win::Pen pen(CreatePen(PS_SOLID, 1, TBSysColor(c)));
    win::Select sel(dc_, pen.get());
    const auto p = points(pts);
    ::Polyline(dc_, p.data(), int(p.size()));
}

void GdiCanvas::FillPolygon(const std::vector<TBPoint>& pts, TBColor c) {
    win::Pen pen(CreatePen(PS_SOLID, 1, TBSysColor(c)));
    win::Brush brush(CreateSolidBrush(TBSysColor(c)));
    win::Select sp(dc_, pen.get());
    win::Select sb(dc_, brush.get());
    const auto p = points(pts);
    ::Polygon(dc_, p.data(), int(p.size()));
}

void GdiCanvas::DrawMenuArrow(const Rect& r, TBColor c) {
    const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    FillPolygon({{cx - 1, cy - 3}, {cx - 1, cy + 3}, {cx + 2, cy}}, c);
}

// Capture and tracking ------------------------------------------------------------------

namespace {

// Shared by the views of a thread: the first acquisition captures the mouse.
struct CaptureCounter {
    int count = 0;
    HWND wnd = nullptr;
};
thread_local CaptureCounter g_capture;

void acquireCapture(HWND wnd) {
    if (g_capture.count++ > 0) return;
    g_capture.wnd = wnd;
    SetCapture(wnd);
    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

void releaseCapture() {
    if (g_capture.count == 0 || --g_capture.count > 0) return;
    if (GetCapture() == g_capture.wnd) ReleaseCapture();
    g_capture.wnd = nullptr;
}

HWND hwndOf(TTBView* v) { return static_cast<HWND>(v->Window()->NativeHandle()); }

// The viewers' shift flags are the form layer's.
static_assert(tbssShift == forms::ssShift && tbssAlt == forms::ssAlt && tbssCtrl == forms::ssCtrl &&
              tbssDouble == forms::ssDouble);
TBShiftState keyShift() { return forms::KeyboardShift(); }

// The views of one tracking: the root and its open submenus, innermost last.
std::vector<TTBView*> chainOf(TTBView* root) {
    std::vector<TTBView*> chain;
    for (TTBView* v = root; v; v = v->OpenViewerView()) chain.push_back(v);
    return chain;
}

// The view whose window is under a screen point (client point out).
TTBView* viewAt(const std::vector<TTBView*>& chain, POINT screen, POINT& client) {
    HWND under = WindowFromPoint(screen);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        HWND h = hwndOf(*it);
        if (!h || under != h) continue;
        client = screen;
        ScreenToClient(h, &client);
        RECT cr{};
        GetClientRect(h, &cr);
        if (PtInRect(&cr, client)) return *it;
    }
    return nullptr;
}

POINT clientOf(TTBView* v, POINT screen) {
    ScreenToClient(hwndOf(v), &screen);
    return screen;
}


}  // namespace

void TTBView::TrackingLoop(bool startedByMouse, bool keyboardMode, TTBTrackResult& r, bool rightAllowed,
                           bool selectFirst) {
    HWND wnd = hwndOf(this);
    if (!wnd) return;
    SetKeyboardMode(keyboardMode);
    state_ |= tbvsTracking;
    acquireCapture(wnd);
    struct Leave {
        TTBView* v;
        ~Leave() {
            v->CloseChildPopups();
            v->state_ &= ~tbvsTracking;
            v->SetCapture(false);
            releaseCapture();
        }
    } leave{this};
    if (selectFirst) Select(FirstSelectable(), false);
    // Only a pointer that really moves hovers.
    POINT last{};
    GetCursorPos(&last);
    if (startedByMouse) {
        const DWORD pos = GetMessagePos();
        last = {GET_X_LPARAM(pos), GET_Y_LPARAM(pos)};
        if (selected_) {
            const POINT c = clientOf(this, last);
            selected_->MouseDown(StartShift, c.x - selected_->BoundsRect.left, c.y - selected_->BoundsRect.top, r);
            if (r.done) return;
            mouseOverSelected_ = true;
        }
    } else if (KeyboardMode()) {
        OpenChildPopup(true);
    }

    bool ignoreNextUp = false;
    while (!r.done && GetCapture() == wnd) {
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            WaitMessage();
            continue;
        }
        std::vector<TTBView*> chain = chainOf(this);
        TTBView* inner = chain.back();
        // A press outside this tracking's views ends it; the press stays queued.
        if (msg.message == WM_LBUTTONDOWN || msg.message == WM_RBUTTONDOWN || msg.message == WM_NCLBUTTONDOWN ||
            msg.message == WM_NCRBUTTONDOWN) {
            POINT c{};
            TTBView* target = viewAt(chain, msg.pt, c);
            if (!target) break;
            if (target == this && !isPopup_ && (msg.message == WM_LBUTTONDOWN || msg.message == WM_NCLBUTTONDOWN)) {
                TTBItemViewer* hit = ViewerFromPoint(c.x, c.y);
                if (!hit || !(hit->Item()->ItemStyle() & isSelectable) ||
                    (hit->Item()->ItemStyle() & isClicksTransparent))
                    break;
            }
        }
        if (!PeekMessageW(&msg, nullptr, msg.message, msg.message, PM_REMOVE)) continue;
        if (msg.message == WM_QUIT) {
            PostQuitMessage(int(msg.wParam));
            break;
        }
        POINT client{};
        switch (msg.message) {
        case WM_CONTEXTMENU:
        case 0x118:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
        case WM_MBUTTONDBLCLK: break;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_CHAR:
        case WM_SYSCHAR: {
            forms::Application::Instance().CancelHint();
            unsigned key = unsigned(msg.wParam);
            const bool buttonHeld = GetKeyState(VK_LBUTTON) < 0 || (rightAllowed && GetKeyState(VK_RBUTTON) < 0);
            if (buttonHeld && !(msg.message == WM_KEYDOWN && key == VK_F1)) break;
            if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
                if (key == VK_PROCESSKEY) key = ImmGetVirtualKey(msg.hwnd);
                if (inner->Selected()) inner->Selected()->KeyDown(key, keyShift());
                if (key) inner->HandleKey(key, keyShift(), r);
                if (key) TranslateMessage(&msg);
                break;
            }
            const char c = char(msg.wParam);
            bool unique = false;
            if (TTBItemViewer* v = inner->FindAccel(c, unique)) {
                inner->SelectByKey(v);
                if (unique) {
                    unsigned enter = VK_RETURN;
                    inner->HandleKey(enter, 0, r);
                }
            } else if ((c == ' ' || c == '-') && inner == this && !isPopup_ && HasActiveWindow()) {
                r.action = {};
                r.action.kind = TBDeferredKind::SysMenu;
                r.action.window = GetActiveWindow();
                r.action.key = c;
                r.done = true;
            } else {
                MessageBeep(0);
            }
            break;
        }
        case WM_KEYUP:
        case WM_SYSKEYUP: break;
        case WM_TIMER: {
            const UINT_PTR id = msg.wParam;
            TTBView* owner = nullptr;
            for (TTBView* v : chain)
                if (v->IsPopup() && hwndOf(v) == msg.hwnd) owner = v;
            if (owner && id >= UINT_PTR(kViewTimerBase) && id <= UINT_PTR(kViewTimerBase + tbtScrollDown))
                owner->TimerFired(TTBViewTimer(id - kViewTimerBase));
            else
                DispatchMessageW(&msg);
            break;
        }
        case WM_MOUSEMOVE:
        case WM_NCMOUSEMOVE: {
            if (msg.pt.x == last.x && msg.pt.y == last.y) break;
            last = msg.pt;
            TTBView* under = viewAt(chain, msg.pt, client);
            TTBView* captured = nullptr;
            for (TTBView* v : chain)
                if (v->Capture()) captured = v;
            for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
                if (captured && *it != captured) continue;
                const POINT c = clientOf(*it, msg.pt);
                (*it)->TrackHover(c.x, c.y, under == *it);
            }
            TTBView* target = captured ? captured : under;
            if (target && target->Selected()) {
                TTBItemViewer* s = target->Selected();
                const POINT c = clientOf(target, msg.pt);
                s->MouseMove(c.x - s->BoundsRect.left, c.y - s->BoundsRect.top);
                const int cursor = s->GetCursor(c.x - s->BoundsRect.left, c.y - s->BoundsRect.top);
                SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(cursor ? cursor : 32512)));
            }
            break;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN: {
            if (msg.message == WM_RBUTTONDOWN && !rightAllowed) break;
            ignoreNextUp = false;
            TTBView* under = viewAt(chain, msg.pt, client);
            if (!under) break;
            under->TrackHover(client.x, client.y, true);
            if (TTBItemViewer* hit = under->ViewerFromPoint(client.x, client.y)) {
                const TBShiftState shift = keyShift() | (msg.message == WM_LBUTTONDBLCLK ? tbssDouble : 0);
                hit->MouseDown(shift, client.x - hit->BoundsRect.left, client.y - hit->BoundsRect.top, r);
            }
            break;
        }
        case WM_LBUTTONUP:
        case WM_RBUTTONUP: {
            if (msg.message == WM_RBUTTONUP && !rightAllowed) break;
            TTBView* under = viewAt(chain, msg.pt, client);
            TTBView* captured = nullptr;
            for (TTBView* v : chain)
                if (v->Capture()) captured = v;
            TTBItemViewer* hit = under ? under->ViewerFromPoint(client.x, client.y) : nullptr;
            if (captured && captured->Selected() && hit != captured->Selected()) {
                // Released away from the pressed button.
                TTBItemViewer* s = captured->Selected();
                const POINT c = clientOf(captured, msg.pt);
                s->MouseUp(c.x - s->BoundsRect.left, c.y - s->BoundsRect.top, r);
            } else if (hit) {
                hit->MouseUp(client.x - hit->BoundsRect.left, client.y - hit->BoundsRect.top, r);
            } else if (ignoreNextUp) {
                ignoreNextUp = false;
            } else if (!under || !under->IsPopup()) {
                r.done = true;
            }
            break;
        }
        case WM_MOUSEWHEEL: {
            TTBView* under = viewAt(chain, msg.pt, client);
            if (under && under->Selected())
                under->Selected()->MouseWheel(GET_WHEEL_DELTA_WPARAM(msg.wParam), client.x, client.y);
            break;
        }
        default: DispatchMessageW(&msg); break;
        }
        // The long hint of the innermost selected item.
        std::vector<TTBView*> now = chainOf(this);
        TTBItemViewer* sel = nullptr;
        for (auto it = now.rbegin(); it != now.rend() && !sel; ++it) sel = (*it)->Selected();
        forms::Application::Instance().SetHint(sel ? forms::GetLongHint(sel->Item()->Hint()) : std::string());
    }
}

void TTBView::EnterToolbarLoop(bool byMouse, bool keyboardMode, bool selectFirst) {
    if (isPopup_ || (state_ & tbvsTracking)) return;
    state_ &= tbvsShowAccels;
    TTBTrackResult r;
    TrackingLoop(byMouse, keyboardMode, r, false, selectFirst);
    StopAllTimers();
    CloseChildPopups();
    SetAccelsVisible(false);
    Select(nullptr, false);
    SetKeyboardMode(false);
    if (HWND wnd = hwndOf(this)) {
        POINT p{};
        GetCursorPos(&p);
        const bool inside = WindowFromPoint(p) == wnd;
        ScreenToClient(wnd, &p);
        HotTrack(p.x, p.y, inside);
    }
    if (r.action.kind == TBDeferredKind::Click && r.action.item)
        r.action.item->PostClick(r.action.playSound);
    else if (r.action.kind != TBDeferredKind::None)
        PostDeferredAction(r.action);
}

// The view control -----------------------------------------------------------------------

namespace {
std::vector<TBViewControl*>& liveControls() {
    thread_local std::vector<TBViewControl*> live;
    return live;
}
}  // namespace

TBViewControl::TBViewControl(forms::Component* owner, bool menuBar) : CustomControl(owner), menuBar_(menuBar) {
    root_ = std::make_unique<TTBRootItem>(nullptr);
    root_->SetParentComponent(this);
    view_ = std::make_unique<TTBView>(nullptr, nullptr, &host_, root_.get(), true, false, !menuBar);
    if (menuBar) view_->SetStyle(tbvsUseHiddenAccels | tbvsMenuBar);
    color_ = forms::clBtnFace;
    liveControls().push_back(this);
    LoadMouseTracking();
    SubscribeHooks(activateHook, HookCodes(hpSendActivateApp));
    if (menuBar) SubscribeHooks(sysCharHook, HookCodes(hpGetMessage));
}

TBViewControl::~TBViewControl() {
    if (menuBar_) UnsubscribeHooks(sysCharHook);
    UnsubscribeHooks(activateHook);
    ReleaseMouseTracking();
    auto& live = liveControls();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
    view_.reset();
    root_.reset();
}

int TBViewControl::LiveCount() { return int(liveControls().size()); }

void TBViewControl::Arrange() {
    view_->InvalidateLayout();
    view_->UpdateLayout();
}

void TBViewControl::FontChanged() {
    CustomControl::FontChanged();
    Arrange();
}

void TBViewControl::Host::InvalidateRect(const Rect& r) {
    if (c->OnInvalidate) c->OnInvalidate(r);
    TBControlViewHost::InvalidateRect(r);
}

void TBControlViewHost::InvalidateRect(const Rect& r) {
    if (!w_->Handle()) return;
    const RECT rc{r.left, r.top, r.right, r.bottom};
    ::InvalidateRect(w_->Handle(), &rc, FALSE);
}

void TBControlViewHost::Update() {
    if (w_->Handle()) UpdateWindow(w_->Handle());
}

void TBControlViewHost::SetClientSize(int width, int height) { w_->forms::Control::SetClientSize(width, height); }
int TBControlViewHost::ClientWidth() { return w_->forms::Control::ClientWidth(); }
int TBControlViewHost::ClientHeight() { return w_->forms::Control::ClientHeight(); }
uint32_t TBControlViewHost::BackgroundRGB() { return forms::ColorToRGB(w_->Color()); }

void TBControlViewHost::StartTimer(int id, int ms) {
    if (w_->Handle()) SetTimer(w_->Handle(), UINT_PTR(id), UINT(ms), nullptr);
}

void TBControlViewHost::StopTimer(int id) {
    if (w_->Handle()) KillTimer(w_->Handle(), UINT_PTR(id));
}

bool TBControlViewHost::ControlInfo(forms::Component* control, int& width, int& height) {
    auto* ctl = dynamic_cast<forms::Control*>(control);
    if (!ctl || ctl->Parent() != w_ || !ctl->Visible()) return false;
    width = ctl->Width();
    height = ctl->Height();
    return true;
}

void TBControlViewHost::SetControlBounds(forms::Component* control, const Rect& r) {
    if (auto* ctl = dynamic_cast<forms::Control*>(control)) ctl->SetBounds(r.left, r.top, r.Width(), r.Height());
}


bool TBViewControl::HandleMessage(win::Message& m) {
    if (!view_) return CustomControl::HandleMessage(m);  // going
    switch (m.msg) {
    case WM_PAINT: return onPaint(m);
    case WM_ERASEBKGND: m.result = 1; return true;
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (onMouse(m)) return true;
        break;
    case WM_TIMER:
        if (m.wParam >= UINT_PTR(kViewTimerBase) && m.wParam <= UINT_PTR(kViewTimerBase + tbtScrollDown)) {
            view_->TimerFired(TTBViewTimer(m.wParam - kViewTimerBase));
            return true;
        }
        break;
    case kTBMsgAccelEntry: return onAccel(m);
    case WM_SETTINGCHANGE:
        if (m.wParam == SPI_SETNONCLIENTMETRICS) {
            RefreshMenuFont();
            metrics_.SetFont(nullptr);
            Arrange();
        }
        break;
    }
    return CustomControl::HandleMessage(m);
}

bool TBViewControl::onPaint(win::Message&) {
    win::PaintDC pdc(Handle());
    const RECT rc = pdc.area();
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    if (w <= 0 || h <= 0) return true;
    win::MemoryDC mem(pdc.get());
    win::Bitmap bmp(CreateCompatibleBitmap(pdc.get(), w, h));
    win::Select sel(mem.get(), bmp.get());
    {
        win::Brush back(CreateSolidBrush(forms::ColorToRGB(Color())));
        const RECT all{0, 0, w, h};
        ::FillRect(mem.get(), &all, back.get());
        GdiCanvas canvas(mem.get(), POINT{-rc.left, -rc.top}, metrics_);
        view_->Paint(canvas, Rect{rc.left, rc.top, rc.right, rc.bottom});
    }
    BitBlt(pdc.get(), rc.left, rc.top, w, h, mem.get(), 0, 0, SRCCOPY);
    return true;
}

bool TBViewControl::onMouse(win::Message& m) {
    if (tracking_ || (view_->State() & tbvsTracking)) return false;
    const int x = GET_X_LPARAM(m.lParam), y = GET_Y_LPARAM(m.lParam);
    switch (m.msg) {
    case WM_MOUSEMOVE: {
        TTBItemViewer* before = view_->Selected();
        view_->HotTrack(x, y, true);
        StartMouseTracking(Handle(), TME_LEAVE);
        if (view_->Selected() != before) hotItemHint();
        return false;
    }
    case WM_MOUSELEAVE:
        view_->HotTrack(0, 0, false);
        hotItemHint();
        return false;
    default: {
        return TBTrackClickedItem(*view_, tracking_, x, y, m.msg == WM_LBUTTONDBLCLK);
    }
    }
}

bool TBTrackClickedItem(TTBView& view, bool& tracking, int x, int y, bool doubleClick) {
    view.HotTrack(x, y, true);
    TTBItemViewer* s = view.Selected();
    if (!s || (s->Item()->ItemStyle() & isClicksTransparent)) return false;
    tracking = true;
    struct Done {
        bool& f;
        ~Done() { f = false; }
    } done{tracking};
    view.StartShift = doubleClick ? tbssDouble : 0;
    view.EnterToolbarLoop(true, false, false);
    return true;
}

void TBShowHotItemHint(TTBView& view, forms::Control& control) {
    // The control's hint is the hot item's: the application shows its short
    // part (when the view shows hints or the item asks to) and takes its long
    // part, starting again for each item.
    std::string shortHint, longHint;
    if (TTBItemViewer* s = view.Selected()) {
        TTBCustomItem* it = s->Item();
        if ((view.Style() & tbvsAlwaysShowHints) || (it->EffectiveOptions() & tboShowHint))
            shortHint = it->GetHintText();
        if (!(it->EffectiveOptions() & tboLongHintInMenuOnly)) longHint = forms::GetLongHint(it->Hint());
    }
    control.SetHint(shortHint + "|" + longHint);
    control.SetShowHint(!shortHint.empty());
    forms::Application::Instance().CancelHint();
}

void TBViewControl::hotItemHint() { TBShowHotItemHint(*view_, *this); }

bool TBViewControl::onAccel(win::Message& m) {
    if (tracking_ || (view_->State() & tbvsTracking) || !Showing() || !EffectivelyEnabled()) return true;
    bool unique = false;
    TTBItemViewer* v = view_->FindAccel(char(m.wParam), unique);
    if (!v) return true;
    if (!v->Item()->Enabled()) unique = false;
    if (unique && v->Item()->Count() == 0 && !(v->Item()->ItemStyle() & isSubmenu)) {
        v->Item()->PostClick(false);
        return true;
    }
    tracking_ = true;
    struct Done {
        bool& f;
        ~Done() { f = false; }
    } done{tracking_};
    view_->SetAccelsVisible(true);
    view_->Select(v, false);
    view_->EnterToolbarLoop(false, true, false);
    return true;
}

void TBViewControl::activateHook(TBHookProcCode code, void*, uintptr_t wp, intptr_t) {
    if (code != hpSendActivateApp || wp) return;
    // The application lost the activation: no item stays hot.
    for (TBViewControl* c : std::vector<TBViewControl*>(liveControls()))
        if (!c->tracking_) c->view_->Select(nullptr, false);
}

void TBViewControl::sysCharHook(TBHookProcCode code, void*, uintptr_t wp, intptr_t lp) {
    if (code != hpGetMessage || wp != PM_REMOVE || GetCapture()) return;
    MSG* msg = reinterpret_cast<MSG*>(lp);
    if (msg->message != WM_SYSCHAR) return;
    HWND top = GetAncestor(msg->hwnd, GA_ROOT);
    for (TBViewControl* c : liveControls()) {
        if (!c->menuBar_ || !c->Handle() || GetAncestor(c->Handle(), GA_ROOT) != top) continue;
        bool unique = false;
        if (!c->view_->FindAccel(char(msg->wParam), unique)) continue;
        PostMessageW(c->Handle(), kTBMsgAccelEntry, msg->wParam, 0);
        msg->message = WM_NULL;
        return;
    }
}

}  // namespace toolbars
