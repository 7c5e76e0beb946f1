// Hover over the view: the sub-object under the mouse is named through SubObjectPicked, and
// after TooltipTimeout (timer 33) a tooltip window shows the name the host gave back, or the
// sub-object's own name.
#include <windows.h>

#include <string>

#include "com/module.h"
#include "ctlmodule_win.h"
#include "navhost_win.h"
#include "qivctl_win.h"
#include "scene/engine.h"
#include "scene/sceneops.h"
#include "win/wintext.h"
#include "window_win.h"

namespace {

const char kTooltipClass[] = "QivPlayerTooltip";
bool g_tooltipClass = false;

LRESULT CALLBACK tooltipProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(w, &ps);
            RECT r;
            GetClientRect(w, &r);
            FillRect(dc, &r, GetSysColorBrush(COLOR_INFOBK));
            char text[qivctl::kHoverNameMax + 1] = {};
            const int n = GetWindowTextA(w, text, int(sizeof text));
            HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
            TextOutA(dc, 1, 1, text, n);
            SelectObject(dc, old);
            EndPaint(w, &ps);
            return 0;
        }
        case WM_NCHITTEST:
            return HTTRANSPARENT;
        default:
            return DefWindowProcA(w, msg, wp, lp);
    }
}

void unregisterTooltipClass() {
    if (g_tooltipClass) UnregisterClassA(kTooltipClass, qivModuleInstance());
    g_tooltipClass = false;
}

bool registerTooltipClass() {
    if (g_tooltipClass) return true;
    WNDCLASSA wc{};
    wc.lpfnWndProc = tooltipProc;
    wc.hInstance = qivModuleInstance();
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kTooltipClass;
    if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    g_tooltipClass = true;
    qcom::module().atTerm(unregisterTooltipClass);
    return true;
}

// A sub-object's name in a language ("" when it has none).
std::string subObjectName(const ScnNode* node, int32_t index, const char* language) {
    char* text = nullptr;
    if (!node || !node->content || !pelGetSubObjectName(node->content, uint32_t(index), language, &text) || !text)
        return {};
    std::string s = text;
    memFreeRef(reinterpret_cast<void**>(&text));
    return s;
}

}  // namespace

void CQivPlayerCtl::TrackHover(int x, int y) {
    if (!hwnd()) return;
    hoverX_ = x;
    hoverY_ = y;
    const QivPick p = navigation().pickAt(x, y);
    if (p.hit) {
        const float world[3] = {p.world.x, p.world.y, p.world.z};
        SetLastPick(world, p.texture, p.material);
    }
    const int32_t slot = p.hit ? p.slot : -1;
    const int32_t index = slot >= 0 ? p.subObject : -1;
    if (slot == hoverSlot_ && index == hoverIndex_) return;
    hoverSlot_ = slot;
    hoverIndex_ = index;
    // While a tooltip shows, the next one follows at once.
    OnHoverSubObject(index, tooltip_ == nullptr);
}

void CQivPlayerCtl::OnHoverSubObject(int32_t index, bool delayed) {
    if (tooltip_) {
        DestroyWindow(tooltip_);
        tooltip_ = nullptr;
    }
    std::string local, database;
    if (index >= 0) {
        if (hwnd()) KillTimer(hwnd(), qivctl::kTooltipTimer);
        const ScnNode* node = hoverSlot_ >= 0 && size_t(hoverSlot_) < state_.slots.size()
                                  ? state_.slots[size_t(hoverSlot_)].node
                                  : nullptr;
        database = subObjectName(node, index, "XY");
        local = subObjectName(node, index, state_.language);
    }
    const qivctl::HoverTooltip::Event e = hoverText_.beginHover(index, local, database);
    std::wstring display;
    FireSubObjectPicked(index >= 0 ? hoverSlot_ : -1, e.index, win::Wide(e.localName), win::Wide(e.databaseName), display);
    const qivctl::TimerRequest t = hoverText_.afterEvent(win::Ansi(display.data(), display.size()), state_.tooltipTimeout, delayed);
    if (hwnd()) {
        if (t.kill) KillTimer(hwnd(), qivctl::kTooltipTimer);
        if (t.start) SetTimer(hwnd(), qivctl::kTooltipTimer, t.delay, nullptr);
        SetCursorForState(HTCLIENT);
    }
}

void CQivPlayerCtl::ShowTooltip() {
    HWND w = hwnd();
    if (!w) return;
    KillTimer(w, qivctl::kTooltipTimer);
    if (tooltip_) {
        DestroyWindow(tooltip_);
        tooltip_ = nullptr;
    }
    if (!hoverText_.hasText() || hoverX_ < 0) return;
    // Only while the mouse is over the control (or a child) and inside the frame.
    POINT cursor;
    GetCursorPos(&cursor);
    HWND under = WindowFromPoint(cursor);
    if (under != w && !IsChild(w, under)) return;
    POINT inside = cursor;
    ScreenToClient(w, &inside);
    if (inside.x < 0 || inside.y < 0 || inside.x >= state_.frameWidth || inside.y >= state_.frameHeight) return;
    if (!registerTooltipClass()) return;
    const std::string& text = hoverText_.text();
    SIZE size{};
    if (HDC dc = GetDC(w)) {
        HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        GetTextExtentPoint32A(dc, text.c_str(), int(text.size()), &size);
        SelectObject(dc, old);
        ReleaseDC(w, dc);
    }
    POINT at{hoverX_, hoverY_};
    ClientToScreen(w, &at);
    const qivctl::TooltipRect r = qivctl::tooltipRect(at.x, at.y, size.cx, size.cy);
    // Shown without taking the focus.
    HWND focus = GetFocus(), active = GetActiveWindow();
    tooltip_ = CreateWindowExA(qivctl::kTooltipExStyle, kTooltipClass, text.c_str(), qivctl::kTooltipStyle, r.x, r.y,
                               r.width, r.height, w, nullptr, qivModuleInstance(), nullptr);
    if (!tooltip_) return;
    ShowWindow(tooltip_, SW_SHOWNOACTIVATE);
    if (GetActiveWindow() != active && active) SetActiveWindow(active);
    if (GetFocus() != focus && focus) SetFocus(focus);
    SetCapture(w);
    SetCursorForState(HTCLIENT);
}

void CQivPlayerCtl::EndHover() {
    HWND w = hwnd();
    if (w) KillTimer(w, qivctl::kTooltipTimer);
    if (tooltip_) {
        DestroyWindow(tooltip_);
        tooltip_ = nullptr;
    }
    // The capture of the tooltip goes; a button drag keeps its own.
    if (w && GetCapture() == w && !(nav_ && navController().captured())) ReleaseCapture();
    hoverText_.end();
    hoverX_ = hoverY_ = -1;
}

void CQivPlayerCtl::ForgetHover() {
    if (hoverSlot_ >= 0 || hoverIndex_ >= 0) {
        hoverSlot_ = hoverIndex_ = -1;
        OnHoverSubObject(-1, true);
    }
    EndHover();
}
