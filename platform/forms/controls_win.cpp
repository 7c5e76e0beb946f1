#include "forms/controls.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <memory>
#include <unordered_map>

#include "forms/application.h"
#include "forms/form.h"
#include "forms/menus.h"
#include "win/gdi.h"
#include "win/windowclass.h"
#include "win/wintext.h"

namespace forms {

namespace {

std::unordered_map<HWND, Control*>& handles() {
    static std::unordered_map<HWND, Control*> map;
    return map;
}

int g_nextCtlId = 100;
const wchar_t kClassName[] = L"QivFormsWindow";

struct DragState {
    Control* source = nullptr;
    bool started = false;
    POINT start{};
    Control* target = nullptr;
    bool accept = false;
} g_drag;

Control* controlAt(POINT screen) {
    HWND h = WindowFromPoint(screen);
    return Control::FromHandle(h);
}

}  // namespace

ShiftState KeyboardShift() {
    ShiftState s = 0;
    if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
    if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
    if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
    return s;
}

std::string GetShortHint(const std::string& hint) {
    const size_t bar = hint.find('|');
    return bar == std::string::npos ? hint : hint.substr(0, bar);
}

std::string GetLongHint(const std::string& hint) {
    const size_t bar = hint.find('|');
    return bar == std::string::npos ? hint : hint.substr(bar + 1);
}

// Control ---------------------------------------------------------------------

namespace {
std::unordered_map<const Control*, std::shared_ptr<bool>>& aliveFlags() {
    static std::unordered_map<const Control*, std::shared_ptr<bool>> flags;
    return flags;
}
std::shared_ptr<bool> aliveOf(const Control* c) {
    auto& f = aliveFlags()[c];
    if (!f) f = std::make_shared<bool>(true);
    return f;
}
}  // namespace

Control::Control(Component* owner) : Component(owner) {
    ctlId_ = g_nextCtlId++;
    font_.OnChange = [this] {
        parentFont_ = false;
        FontChanged();
    };
}

Control::~Control() {
    auto it = aliveFlags().find(this);
    if (it != aliveFlags().end()) {
        *it->second = false;
        aliveFlags().erase(it);
    }
    if (g_drag.source == this) g_drag = {};
    if (g_drag.target == this) g_drag.target = nullptr;
    Application::Instance().ControlGone(this);
    DestroyComponents();
    SetParent(nullptr);
    DestroyHandle();
}

Form* Control::ParentForm() const {
    const Control* c = this;
    while (c->parent_) c = c->parent_;
    return dynamic_cast<Form*>(const_cast<Control*>(c));
}

HWND Control::ParentHandle() const { return parent_ ? parent_->hwnd_ : nullptr; }

void Control::SetParent(WinControl* parent) {
    if (parent == parent_) return;
    if (parent_) {
        auto& list = parent_->controls_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        if (align_ != Align::None) parent_->Realign();
    }
    WinControl* old = parent_;
    parent_ = parent;
    if (!parent_) {
        DestroyHandle();
        return;
    }
    parent_->controls_.push_back(this);
    if (parentFont_) parentFontChanged();
    if (parentColor_) parentColorChanged();
    if (hwnd_ && parent_->hwnd_)
        ::SetParent(hwnd_, parent_->hwnd_);
    else if (hwnd_ && !parent_->hwnd_)
        DestroyHandle();
    else if (parent_->hwnd_)
        CreateHandle();
    (void)old;
    if (hwnd_) EnableWindow(hwnd_, EffectivelyEnabled());
    if (align_ != Align::None) parent_->Realign();
}

void Control::CreateHandle() {
    if (hwnd_) return;
    const bool top = dynamic_cast<Form*>(this) != nullptr;
    if (!top && (!parent_ || !parent_->hwnd_)) return;
    CreateParams p;
    if (top) p.style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    FillCreateParams(p);
    if (visible_ && !top) p.style |= WS_VISIBLE;
    if (!top) p.style = p.style & ~DWORD(WS_DISABLED);
    win::RegisterWindowClass({kClassName, WindowProc, CS_DBLCLKS, nullptr, nullptr,
                              LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1))});
    const std::wstring text = win::Wide(caption_);
    HWND h = CreateWindowExW(p.exStyle, p.className ? p.className : kClassName, text.c_str(), p.style,
                             bounds_.left, bounds_.top, bounds_.Width(), bounds_.Height(),
                             top ? ParentHandle() : parent_->hwnd_,
                             top ? nullptr : reinterpret_cast<HMENU>(INT_PTR(ctlId_)), GetModuleHandleW(nullptr),
                             this);
    if (!h) return;
    if (!hwnd_) {
        hwnd_ = h;
        handles()[h] = this;
    }
    if (p.className) {
        subclassed_ = true;
        ownDrawn_ = false;
        SetWindowSubclass(h, SubclassProc, 1, reinterpret_cast<DWORD_PTR>(this));
    }
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Handle()), FALSE);
    if (!top) EnableWindow(h, EffectivelyEnabled());
    HandleCreated();
}

void Control::DestroyHandle() {
    if (!hwnd_) return;
    HWND h = hwnd_;
    DestroyWindow(h);
    handles().erase(h);
    hwnd_ = nullptr;
}

LRESULT CALLBACK Control::WindowProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        if (auto* c = static_cast<Control*>(cs->lpCreateParams)) {
            c->hwnd_ = h;
            handles()[h] = c;
        }
    }
    auto it = handles().find(h);
    if (it == handles().end()) return DefWindowProcW(h, msg, wp, lp);
    return it->second->Perform(msg, wp, lp);
}

LRESULT CALLBACK Control::SubclassProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* c = reinterpret_cast<Control*>(data);
    if (!c || c->hwnd_ != h) return DefSubclassProc(h, msg, wp, lp);
    return c->Perform(msg, wp, lp);
}

Control* Control::FromHandle(HWND hwnd) {
    for (HWND h = hwnd; h; h = GetParent(h)) {
        auto it = handles().find(h);
        if (it != handles().end()) return it->second;
    }
    return nullptr;
}

LRESULT Control::Perform(UINT msg, WPARAM wp, LPARAM lp) {
    win::Message m{msg, wp, lp};
    auto alive = aliveOf(this);
    try {
        if (!HandleMessage(m) && *alive) m.result = DefaultHandler(m);
    } catch (...) {
        Application::Instance().HandleException(std::current_exception());
    }
    return m.result;
}

LRESULT Control::DefaultHandler(win::Message& m) {
    if (!hwnd_) return 0;
    if (subclassed_) return DefSubclassProc(hwnd_, m.msg, m.wParam, m.lParam);
    return DefWindowProcW(hwnd_, m.msg, m.wParam, m.lParam);
}

bool Control::HandleMessage(win::Message& m) {
    using M = win::MessageMap<Control>;
    static const M map = {
        win::On<Control>(WM_PAINT, &Control::OnWmPaint),
        win::On<Control>(WM_ERASEBKGND, &Control::OnWmEraseBkgnd),
        win::OnRange<Control>(WM_MOUSEMOVE, WM_MBUTTONDBLCLK, &Control::OnWmMouse),
        win::On<Control>(WM_MOUSELEAVE, &Control::OnWmMouseLeave),
        win::On<Control>(WM_KEYDOWN, &Control::OnWmKey),
        win::On<Control>(WM_KEYUP, &Control::OnWmKey),
        win::On<Control>(WM_SYSKEYDOWN, &Control::OnWmKey),
        win::On<Control>(WM_CHAR, &Control::OnWmChar),
        win::On<Control>(WM_SETFOCUS, &Control::OnWmFocus),
        win::On<Control>(WM_KILLFOCUS, &Control::OnWmFocus),
        win::On<Control>(WM_CONTEXTMENU, &Control::OnWmContextMenu),
        win::On<Control>(WM_SETCURSOR, &Control::OnWmSetCursor),
        win::On<Control>(WM_NCDESTROY, &Control::OnWmNcDestroy),
        win::OnRange<Control>(kReflect + WM_CTLCOLORMSGBOX, kReflect + WM_CTLCOLORSTATIC, &Control::OnCtlColor),
    };
    return map.Dispatch(this, m);
}

bool Control::OnWmPaint(win::Message& m) {
    if (!ownDrawn_ || subclassed_) return false;
    win::PaintDC pdc(hwnd_);
    RECT rc;
    GetClientRect(hwnd_, &rc);
    // Painted off screen, then copied in one block.
    win::MemoryDC mem(pdc.get());
    win::Bitmap bmp(CreateCompatibleBitmap(pdc.get(), std::max<LONG>(rc.right, 1), std::max<LONG>(rc.bottom, 1)));
    win::Select sel(mem.get(), bmp.get());
    canvas_.SetHandle(mem.get());
    canvas_.font = font_;
    canvas_.brush = {color_, false};
    canvas_.pen = {};
    canvas_.FillRect({0, 0, rc.right, rc.bottom});
    Paint(canvas_);
    BitBlt(pdc.get(), 0, 0, rc.right, rc.bottom, mem.get(), 0, 0, SRCCOPY);
    canvas_.SetHandle(nullptr);
    return true;
}

bool Control::OnWmEraseBkgnd(win::Message& m) {
    if (!ownDrawn_ || subclassed_) return false;
    m.result = 1;
    return true;
}

bool Control::OnWmMouse(win::Message& m) {
    const int x = GET_X_LPARAM(m.lParam), y = GET_Y_LPARAM(m.lParam);
    ShiftState shift = KeyboardShift();
    if (m.wParam & MK_LBUTTON) shift |= ssLeft;
    if (m.wParam & MK_RBUTTON) shift |= ssRight;
    if (m.wParam & MK_MBUTTON) shift |= ssMiddle;
    auto alive = aliveOf(this);
    const bool own = ownDrawn_ && !subclassed_;
    switch (m.msg) {
    case WM_MOUSEMOVE: {
        if (!mouseInside_) {
            mouseInside_ = true;
            TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, hwnd_, 0};
            TrackMouseEvent(&t);
            if (OnMouseEnter) OnMouseEnter(this);
            if (!*alive) return true;
        }
        if (g_drag.source == this) {
            POINT p;
            GetCursorPos(&p);
            if (!g_drag.started && (std::abs(p.x - g_drag.start.x) > 4 || std::abs(p.y - g_drag.start.y) > 4)) {
                g_drag.started = true;
                if (OnStartDrag) OnStartDrag(this);
            }
            if (g_drag.started) {
                Control* t = controlAt(p);
                g_drag.target = t;
                g_drag.accept = false;
                if (t && t->OnDragOver) {
                    const POINT c = t->ScreenToClient(p);
                    t->OnDragOver(t, this, c.x, c.y, g_drag.accept);
                }
                ::SetCursor(LoadCursorA(nullptr, g_drag.accept ? IDC_ARROW : IDC_NO));
                return true;
            }
        }
        if (OnMouseMove) OnMouseMove(this, shift, x, y);
        return own;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK: {
        const bool dbl = m.msg == WM_LBUTTONDBLCLK || m.msg == WM_RBUTTONDBLCLK || m.msg == WM_MBUTTONDBLCLK;
        const MouseButton b = (m.msg == WM_LBUTTONDOWN || m.msg == WM_LBUTTONDBLCLK)   ? MouseButton::Left
                              : (m.msg == WM_RBUTTONDOWN || m.msg == WM_RBUTTONDBLCLK) ? MouseButton::Right
                                                                                       : MouseButton::Middle;
        if (dbl) shift |= ssDouble;
        if (b == MouseButton::Left && dragMode_ == DragMode::Automatic && !dbl) BeginDrag(false);
        if (own && b == MouseButton::Left) {
            pressed_ = true;
            SetCapture(hwnd_);
            if (CanFocus()) SetFocus();
        }
        if (OnMouseDown) OnMouseDown(this, b, shift, x, y);
        if (!*alive) return true;
        if (dbl && b == MouseButton::Left && own && OnDblClick) OnDblClick(this);
        return own;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        const MouseButton b = m.msg == WM_LBUTTONUP   ? MouseButton::Left
                              : m.msg == WM_RBUTTONUP ? MouseButton::Right
                                                      : MouseButton::Middle;
        if (g_drag.source == this && b == MouseButton::Left) {
            endDrag(true);
            if (!*alive) return true;
        }
        const bool wasPressed = pressed_;
        if (own && b == MouseButton::Left) {
            pressed_ = false;
            if (GetCapture() == hwnd_) ReleaseCapture();
        }
        if (OnMouseUp) OnMouseUp(this, b, shift, x, y);
        if (!*alive) return true;
        if (own && b == MouseButton::Left && wasPressed && ClicksOnMouseUp() && ClientRect().Contains(x, y)) Click();
        return own && b != MouseButton::Right;
    }
    default: return false;
    }
}

bool Control::OnWmMouseLeave(win::Message& m) {
    mouseInside_ = false;
    if (OnMouseLeave) OnMouseLeave(this);
    return false;
}

HWND Control::keyDownDone_ = nullptr;

void Control::Notification(Component* c, Operation op) {
    if (op == Operation::Remove && c == popupMenu_) popupMenu_ = nullptr;
}

bool Control::OnWmKey(win::Message& m) {
    if ((m.msg == WM_KEYDOWN || m.msg == WM_SYSKEYDOWN) && keyDownDone_ == hwnd_) {
        keyDownDone_ = nullptr;
        return false;
    }
    KeyEvent& e = m.msg == WM_KEYUP ? OnKeyUp : OnKeyDown;
    if (!e) return false;
    WORD key = WORD(m.wParam);
    e(this, key, KeyboardShift());
    if (key == 0) return true;
    m.wParam = key;
    return false;
}

bool Control::OnWmChar(win::Message& m) {
    if (!OnKeyPress) return false;
    wchar_t wc = wchar_t(m.wParam);
    char c = 0;
    if (WideCharToMultiByte(CP_ACP, 0, &wc, 1, &c, 1, nullptr, nullptr) != 1) return false;
    const char before = c;
    OnKeyPress(this, c);
    if (c == 0) return true;
    if (c != before) {
        MultiByteToWideChar(CP_ACP, 0, &c, 1, &wc, 1);
        m.wParam = wc;
    }
    return false;
}

bool Control::OnWmFocus(win::Message& m) {
    NotifyEvent& e = m.msg == WM_SETFOCUS ? OnEnter : OnExit;
    if (e) e(this);
    return false;
}

bool Control::OnWmContextMenu(win::Message& m) {
    if (!popupMenu_ || HWND(m.wParam) != hwnd_) return false;
    int x = GET_X_LPARAM(m.lParam), y = GET_Y_LPARAM(m.lParam);
    if (x == -1 && y == -1) {
        const POINT p = ClientToScreen({0, 0});
        x = p.x;
        y = p.y;
    }
    popupMenu_->SetPopupComponent(this);
    popupMenu_->Popup(x, y);
    return true;
}

bool Control::OnWmSetCursor(win::Message& m) {
    if (!cursor_ || LOWORD(m.lParam) != HTCLIENT || HWND(m.wParam) != hwnd_) return false;
    ::SetCursor(cursor_);
    m.result = TRUE;
    return true;
}

bool Control::OnWmNcDestroy(win::Message& m) {
    HWND h = hwnd_;
    m.result = DefaultHandler(m);
    if (subclassed_) RemoveWindowSubclass(h, SubclassProc, 1);
    subclassed_ = false;
    handles().erase(h);
    hwnd_ = nullptr;
    return true;
}

bool Control::OnWmSize(win::Message& m) { return false; }

bool Control::OnCtlColor(win::Message& m) {
    HDC dc = reinterpret_cast<HDC>(m.wParam);
    SetTextColor(dc, ColorToRGB(EffectivelyEnabled() ? font_.Color() : clGrayText));
    SetBkColor(dc, ColorToRGB(color_));
    static std::unordered_map<COLORREF, HBRUSH> brushes;  // shared for the whole run
    HBRUSH& b = brushes[ColorToRGB(color_)];
    if (!b) b = CreateSolidBrush(ColorToRGB(color_));
    m.result = reinterpret_cast<LRESULT>(b);
    return true;
}

void Control::SetBounds(int left, int top, int width, int height) {
    const Rect r = Rect::Bounds(left, top, std::max(width, 0), std::max(height, 0));
    if (r == bounds_) return;
    const bool sized = r.Width() != bounds_.Width() || r.Height() != bounds_.Height();
    bounds_ = r;
    applyBounds();
    if (sized) Resized();
    if (align_ != Align::None && parent_ && !parent_->aligning_) parent_->Realign();
}

void Control::SetBoundsFromWindow(int left, int top, int width, int height) {
    const Rect r = Rect::Bounds(left, top, width, height);
    if (r == bounds_) return;
    const bool sized = r.Width() != bounds_.Width() || r.Height() != bounds_.Height();
    bounds_ = r;
    if (sized) Resized();
}

void Control::applyBounds() {
    if (hwnd_)
        SetWindowPos(hwnd_, nullptr, bounds_.left, bounds_.top, bounds_.Width(), bounds_.Height(),
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

void Control::Resized() {
    if (OnResize) OnResize(this);
}

int Control::ClientWidth() const {
    if (!hwnd_) return Width();
    RECT rc;
    GetClientRect(hwnd_, &rc);
    return rc.right;
}

int Control::ClientHeight() const {
    if (!hwnd_) return Height();
    RECT rc;
    GetClientRect(hwnd_, &rc);
    return rc.bottom;
}

void Control::SetClientSize(int w, int h) {
    SetBounds(Left(), Top(), w + Width() - ClientWidth(), h + Height() - ClientHeight());
}

void Control::SetAlign(Align a) {
    if (a == align_) return;
    align_ = a;
    RequestAlign();
}

void Control::RequestAlign() {
    if (parent_) parent_->Realign();
}

void Control::SetVisible(bool v) {
    if (v == visible_) return;
    visible_ = v;
    if (hwnd_) ShowWindow(hwnd_, v ? SW_SHOWNA : SW_HIDE);
    if (align_ != Align::None) RequestAlign();
}

bool Control::Showing() const {
    for (const Control* c = this; c; c = c->parent_)
        if (!c->visible_) return false;
    return true;
}

void Control::SetEnabled(bool e) {
    if (e == enabled_) return;
    enabled_ = e;
    EnabledChanged();
}

bool Control::EffectivelyEnabled() const {
    for (const Control* c = this; c; c = c->parent_)
        if (!c->enabled_) return false;
    return true;
}

void Control::EnabledChanged() {
    if (hwnd_ && parent_) EnableWindow(hwnd_, EffectivelyEnabled());
    if (hwnd_ && !parent_) EnableWindow(hwnd_, enabled_);
    Invalidate();
}

void Control::SetCaption(const std::string& text) {
    if (text == caption_) return;
    caption_ = text;
    if (hwnd_) SetWindowTextW(hwnd_, win::Wide(text).c_str());
    TextChanged();
    Invalidate();
}

std::string Control::Text() const {
    if (!hwnd_ || !subclassed_) return caption_;
    const int n = GetWindowTextLengthW(hwnd_);
    std::wstring w(size_t(n) + 1, L'\0');
    GetWindowTextW(hwnd_, w.data(), n + 1);
    w.resize(size_t(n));
    return win::Ansi(w.c_str(), w.size());
}

bool Control::EffectiveShowHint() const {
    for (const Control* c = this; c; c = c->parent_)
        if (!c->parentShowHint_) return c->showHint_;
    return Application::Instance().ShowHint();
}

void Control::SetParentFont(bool on) {
    parentFont_ = on;
    if (on) parentFontChanged();
}

void Control::parentFontChanged() {
    if (!parent_) return;
    auto keep = font_.OnChange;
    font_.OnChange = nullptr;
    font_ = parent_->font_;
    font_.OnChange = keep;
    parentFont_ = true;
    FontChanged();
}

void Control::FontChanged() {
    if (hwnd_) SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Handle()), TRUE);
    Invalidate();
}

void Control::SetColor(TColor c) {
    parentColor_ = false;
    if (c == color_) return;
    color_ = c;
    ColorChanged();
}

void Control::SetParentColor(bool on) {
    parentColor_ = on;
    if (on) parentColorChanged();
}

void Control::parentColorChanged() {
    if (!parent_) return;
    color_ = parent_->color_;
    ColorChanged();
}

void Control::SetPopupMenu(PopupMenu* menu) {
    if (popupMenu_) popupMenu_->RemoveFreeNotification(this);
    popupMenu_ = menu;
    if (menu) menu->FreeNotification(this);
}

void Control::Invalidate() {
    if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

void Control::Repaint() {
    if (hwnd_) RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
}

void Control::BringToFront() {
    if (parent_) {
        auto& l = parent_->controls_;
        l.erase(std::remove(l.begin(), l.end(), this), l.end());
        l.push_back(this);
    }
    if (hwnd_) SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Control::SendToBack() {
    if (parent_) {
        auto& l = parent_->controls_;
        l.erase(std::remove(l.begin(), l.end(), this), l.end());
        l.insert(l.begin(), this);
    }
    if (hwnd_) SetWindowPos(hwnd_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

POINT Control::ClientToScreen(POINT p) const {
    if (hwnd_) ::ClientToScreen(hwnd_, &p);
    return p;
}

POINT Control::ScreenToClient(POINT p) const {
    if (hwnd_) ::ScreenToClient(hwnd_, &p);
    return p;
}

bool Control::Focused() const { return hwnd_ && GetFocus() == hwnd_; }

void Control::SetFocus() {
    if (hwnd_) ::SetFocus(hwnd_);
}

void Control::Click() {
    if (OnClick) OnClick(this);
}

void Control::BeginDrag(bool immediate) {
    if (!hwnd_) return;
    g_drag = {};
    g_drag.source = this;
    g_drag.started = immediate;
    GetCursorPos(&g_drag.start);
    SetCapture(hwnd_);
    if (immediate && OnStartDrag) OnStartDrag(this);
}

bool Control::Dragging() const { return g_drag.source == this && g_drag.started; }

void Control::endDrag(bool drop) {
    DragState d = g_drag;
    g_drag = {};
    if (GetCapture() == hwnd_) ReleaseCapture();
    if (!d.started) return;
    if (drop && d.accept && d.target && d.target->OnDragDrop) {
        POINT p;
        GetCursorPos(&p);
        const POINT c = d.target->ScreenToClient(p);
        d.target->OnDragDrop(d.target, this, c.x, c.y);
    }
    if (OnEndDrag) OnEndDrag(this);
}

// WinControl ------------------------------------------------------------------

WinControl::WinControl(Component* owner) : Control(owner) {}

WinControl::~WinControl() {
    DestroyComponents();
    while (!controls_.empty()) delete controls_.back();
}

void WinControl::CreateHandle() {
    Control::CreateHandle();
    if (!hwnd_) return;
    for (Control* c : std::vector<Control*>(controls_)) c->CreateHandle();
    lastW_ = ClientWidth();
    lastH_ = ClientHeight();
    Realign();
}

void WinControl::SetTabStop(bool on) {
    tabStop_ = on;
    if (hwnd_) {
        LONG s = GetWindowLongW(hwnd_, GWL_STYLE);
        SetWindowLongW(hwnd_, GWL_STYLE, on ? (s | WS_TABSTOP) : (s & ~WS_TABSTOP));
    }
}

bool WinControl::CanFocus() const { return hwnd_ && Showing() && EffectivelyEnabled(); }

void WinControl::Realign() {
    if (aligning_) return;
    aligning_ = true;
    std::vector<AlignItem> items;
    std::vector<Control*> aligned;
    for (Control* c : controls_)
        if (c->align_ != Align::None) {
            items.push_back({c->bounds_, c->align_, c->visible_});
            aligned.push_back(c);
        }
    if (!items.empty()) {
        AlignItems(AlignArea(), items);
        for (size_t i = 0; i < items.size(); ++i) {
            const Rect& r = items[i].bounds;
            aligned[i]->SetBounds(r.left, r.top, r.Width(), r.Height());
        }
    }
    aligning_ = false;
}

void WinControl::Resized() {
    const int w = ClientWidth(), h = ClientHeight();
    if (lastW_ >= 0 && (w != lastW_ || h != lastH_)) {
        for (Control* c : std::vector<Control*>(controls_))
            if (c->align_ == Align::None && c->anchors_ != kDefaultAnchors) {
                const Rect r = AnchorBounds(c->bounds_, c->anchors_, lastW_, lastH_, w, h);
                c->SetBounds(r.left, r.top, r.Width(), r.Height());
            }
    }
    if (hwnd_) {
        lastW_ = w;
        lastH_ = h;
    }
    Realign();
    Control::Resized();
}

void WinControl::FontChanged() {
    Control::FontChanged();
    for (Control* c : controls_)
        if (c->parentFont_) c->parentFontChanged();
}

void WinControl::ColorChanged() {
    Control::ColorChanged();
    for (Control* c : controls_)
        if (c->parentColor_) c->parentColorChanged();
}

void WinControl::EnabledChanged() {
    Control::EnabledChanged();
    for (Control* c : controls_) c->EnabledChanged();
}

void WinControl::SelectNext(Control* current, bool forward) {
    std::vector<WinControl*> order;
    std::function<void(WinControl*)> collect = [&](WinControl* w) {
        for (Control* c : w->controls_)
            if (auto* wc = dynamic_cast<WinControl*>(c)) {
                if (wc->tabStop_ && wc->CanFocus()) order.push_back(wc);
                if (wc->Showing() && wc->EffectivelyEnabled()) collect(wc);
            }
    };
    collect(this);
    if (order.empty()) return;
    auto it = std::find(order.begin(), order.end(), current);
    size_t i = 0;
    if (it != order.end()) {
        const size_t at = size_t(it - order.begin());
        i = forward ? (at + 1) % order.size() : (at + order.size() - 1) % order.size();
    } else if (!forward) {
        i = order.size() - 1;
    }
    order[i]->SetFocus();
}

bool WinControl::HandleMessage(win::Message& m) {
    using M = win::MessageMap<WinControl>;
    static const M map = {
        win::On<WinControl>(WM_COMMAND, &WinControl::OnReflectable),
        win::On<WinControl>(WM_NOTIFY, &WinControl::OnReflectable),
        win::On<WinControl>(WM_DRAWITEM, &WinControl::OnReflectable),
        win::On<WinControl>(WM_MEASUREITEM, &WinControl::OnReflectable),
        win::On<WinControl>(WM_DELETEITEM, &WinControl::OnReflectable),
        win::On<WinControl>(WM_COMPAREITEM, &WinControl::OnReflectable),
        win::On<WinControl>(WM_HSCROLL, &WinControl::OnReflectable),
        win::On<WinControl>(WM_VSCROLL, &WinControl::OnReflectable),
        win::On<WinControl>(WM_VKEYTOITEM, &WinControl::OnReflectable),
        win::On<WinControl>(WM_CHARTOITEM, &WinControl::OnReflectable),
        win::OnRange<WinControl>(WM_CTLCOLORMSGBOX, WM_CTLCOLORSTATIC, &WinControl::OnReflectable),
    };
    return map.Dispatch(this, m) || Control::HandleMessage(m);
}

bool WinControl::OnReflectable(win::Message& m) {
    HWND child = nullptr;
    switch (m.msg) {
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM: child = reinterpret_cast<HWND>(m.lParam); break;
    case WM_NOTIFY: child = reinterpret_cast<NMHDR*>(m.lParam)->hwndFrom; break;
    case WM_DRAWITEM: {
        auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(m.lParam);
        if (d->CtlType != ODT_MENU) child = d->hwndItem;
        break;
    }
    case WM_MEASUREITEM: {
        auto* d = reinterpret_cast<MEASUREITEMSTRUCT*>(m.lParam);
        if (d->CtlType != ODT_MENU) child = GetDlgItem(hwnd_, int(d->CtlID));
        break;
    }
    case WM_DELETEITEM: child = reinterpret_cast<DELETEITEMSTRUCT*>(m.lParam)->hwndItem; break;
    case WM_COMPAREITEM: child = reinterpret_cast<COMPAREITEMSTRUCT*>(m.lParam)->hwndItem; break;
    default: child = reinterpret_cast<HWND>(m.lParam); break;
    }
    if (!child || child == hwnd_) return false;
    auto it = handles().find(child);
    if (it == handles().end()) return false;
    m.result = it->second->Perform(kReflect + m.msg, m.wParam, m.lParam);
    return true;
}

}  // namespace forms
