#include "linkwin_win.h"

#include <mshtml.h>
#include <shellapi.h>

#include <map>

#include "com/object.h"
#include "ctlmodule_win.h"
#include "dialogs_win.h"
#include "qivctl_win.h"

namespace {

const char kLinkClass[] = "QivHyperLink";
const char kRepeatClass[] = "QivRepeatButton";
const char kRepeatProp[] = "QivRepeatButton";
constexpr WORD kLinkCursorId = 214;
constexpr int kLinkTextMax = 2048;

bool g_linkClass = false, g_repeatClass = false;
WNDPROC g_buttonProc = nullptr;

bool registerLinkClass() {
    if (g_linkClass) return true;
    WNDCLASSA wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = qivModuleInstance();
    wc.lpszClassName = kLinkClass;
    if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    g_linkClass = true;
    return true;
}

LRESULT CALLBACK buttonClassProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    return CallWindowProcA(g_buttonProc, w, msg, wp, lp);
}

// The push button's own window procedure under a class name of the control's.
bool registerRepeatClass() {
    if (g_repeatClass) return true;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    if (!GetClassInfoExA(nullptr, "BUTTON", &wc)) return false;
    g_buttonProc = wc.lpfnWndProc;
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = buttonClassProc;
    wc.hInstance = qivModuleInstance();
    wc.lpszClassName = kRepeatClass;
    wc.style &= ~CS_GLOBALCLASS;
    if (!RegisterClassExA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    g_repeatClass = true;
    return true;
}

HWND createChild(const char* cls, const char* text, DWORD style, const RECT& r, HWND parent, INT_PTR id) {
    return CreateWindowExA(0, cls, text, style, r.left, r.top, r.right - r.left, r.bottom - r.top, parent,
                           reinterpret_cast<HMENU>(id), qivModuleInstance(), nullptr);
}

}  // namespace

// ---- opening an address ----

void OpenUrl(CQivPlayerCtl* control, const char* address) {
    if (!address || !*address) return;
    bool navigated = false;
    IOleClientSite* site = control ? control->clientSite() : nullptr;
    qcom::ComPtr<IOleContainer> container;
    if (site && SUCCEEDED(site->GetContainer(container.put())) && container) {
        qcom::ComPtr<IHTMLDocument2> document;
        qcom::ComPtr<IHTMLWindow2> window, top;
        if (SUCCEEDED(container->QueryInterface(__uuidof(IHTMLDocument2), reinterpret_cast<void**>(document.put()))) &&
            document && SUCCEEDED(document->get_parentWindow(window.put())) && window) {
            if (SUCCEEDED(window->get_top(top.put())) && top) window = top;
            qcom::Bstr url = qcom::Bstr::attach(AnsiToBstr(address, -1));
            navigated = url.get() && SUCCEEDED(window->navigate(url.get()));
        }
    }
    if (!navigated) ShellExecuteA(nullptr, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

// ---- CHyperLink ----

CHyperLink::~CHyperLink() {
    Destroy();
    if (font_) DeleteObject(font_);
}

HWND CHyperLink::Create(HWND parent, const RECT& rect) {
    Destroy();
    if (!registerLinkClass()) return nullptr;
    hwnd_ = createChild(kLinkClass, "", WS_CHILD | WS_VISIBLE, rect, parent, 0);
    if (hwnd_) {
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(windowProc));
    }
    return hwnd_;
}

void CHyperLink::Destroy() {
    if (!hwnd_) return;
    HWND w = hwnd_;
    SetWindowLongPtrA(w, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
    if (GetCapture() == w) ReleaseCapture();
    DestroyWindow(w);
}

void CHyperLink::SetLink(const char* caption, const char* address, CQivPlayerCtl* control) {
    address_ = address ? address : "";
    control_ = control;
    if (hwnd_) SetWindowTextA(hwnd_, caption ? caption : "");
    pointer_.hovering = false;
    pointer_.textWidth = 0;
    if (!cursor_) cursor_ = LoadCursorA(qivModuleInstance(), MAKEINTRESOURCEA(kLinkCursorId));
    if (!font_) {
        LOGFONTA lf{};
        GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
        lf.lfUnderline = TRUE;
        font_ = CreateFontIndirectA(&lf);
    }
}

void CHyperLink::SetNormalColor(COLORREF color) {
    normal_ = color;
    if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

void CHyperLink::SetHoverColor(COLORREF color) {
    hover_ = color;
    if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

void CHyperLink::repaint() { InvalidateRect(hwnd_, nullptr, FALSE); }

void CHyperLink::paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    if (!dc) return;
    char text[kLinkTextMax + 1] = {};
    const int n = GetWindowTextA(hwnd_, text, sizeof text);
    HGDIOBJ oldFont = SelectObject(dc, font_ ? static_cast<HGDIOBJ>(font_) : GetStockObject(DEFAULT_GUI_FONT));
    auto brush = reinterpret_cast<HBRUSH>(
        SendMessageA(GetParent(hwnd_), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd_)));
    SetBkMode(dc, OPAQUE);
    SetTextColor(dc, pointer_.hovering ? hover_ : normal_);
    if (pointer_.textWidth == 0 && n > 0) {
        SIZE size{};
        if (GetTextExtentPoint32A(dc, text, n, &size)) pointer_.textWidth = size.cx;
    }
    RECT client;
    GetClientRect(hwnd_, &client);
    FillRect(dc, &client, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
    DrawTextA(dc, text, n, &client, DT_SINGLELINE);
    SelectObject(dc, oldFont);
    EndPaint(hwnd_, &ps);
}

LRESULT CALLBACK CHyperLink::windowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<CHyperLink*>(GetWindowLongPtrA(w, GWLP_USERDATA));
    if (!self) return DefWindowProcA(w, msg, wp, lp);
    // The control (and this link with it) lives until the message is handled.
    qcom::ComPtr<IQivPlayer2> keep(self->control_);
    try {
        return self->onMessage(msg, wp, lp);
    } catch (...) {
        return 0;
    }
}

LRESULT CHyperLink::onMessage(UINT msg, WPARAM wp, LPARAM lp) {
    HWND w = hwnd_;
    switch (msg) {
        case WM_MOUSEMOVE: {
            RECT client;
            GetClientRect(w, &client);
            const int x = short(LOWORD(lp)), y = short(HIWORD(lp));
            switch (qivctl::linkMouseMove(pointer_, x, y, client.right, client.bottom)) {
                case qivctl::LinkMove::Enter:
                    SetCursor(cursor_ ? cursor_ : LoadCursor(nullptr, IDC_HAND));
                    SetCapture(w);
                    repaint();
                    break;
                case qivctl::LinkMove::Leave:
                    ReleaseCapture();
                    SetCursor(LoadCursor(nullptr, IDC_ARROW));
                    repaint();
                    break;
                case qivctl::LinkMove::None:
                    break;
            }
            return 0;
        }
        case WM_SETCURSOR:
            if (pointer_.hovering) {
                SetCursor(cursor_ ? cursor_ : LoadCursor(nullptr, IDC_HAND));
                return TRUE;
            }
            break;
        case WM_LBUTTONDOWN:
            if (qivctl::linkButtonDown(pointer_)) {
                if (GetCapture() == w) ReleaseCapture();
                InvalidateRect(w, nullptr, FALSE);
                UpdateWindow(w);
                PostMessageA(GetParent(w), kQivLinkClickedMessage, 0, 0);
                OpenUrl(control_, address_.c_str());
            }
            return 0;
        case WM_LBUTTONUP:
            qivctl::linkButtonUp(pointer_);
            return 0;
        case WM_CAPTURECHANGED:
            if (pointer_.hovering && reinterpret_cast<HWND>(lp) != w) {
                pointer_.hovering = false;
                repaint();
            }
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            paint();
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrA(w, GWLP_USERDATA, 0);
            hwnd_ = nullptr;
            break;
        default:
            break;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

// ---- CRepeatButton ----

CRepeatButton::~CRepeatButton() {
    if (hwnd_) {
        RemovePropA(hwnd_, kRepeatProp);
        DestroyWindow(hwnd_);
    }
}

HWND CRepeatButton::Create(HWND parent, const char* caption, int id) {
    if (!registerRepeatClass()) return nullptr;
    RECT r{0, 0, 0, 0};
    hwnd_ = createChild(kRepeatClass, caption, WS_CHILD | BS_PUSHBUTTON, r, parent, id);
    if (hwnd_) {
        SetPropA(hwnd_, kRepeatProp, this);
        SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(windowProc));
    }
    return hwnd_;
}

void CRepeatButton::Bind(CQivPlayerCtl* control, int command) {
    control_ = control;
    command_ = command;
}

void CRepeatButton::run() {
    if (control_) control_->BarCommand(command_);
}

LRESULT CALLBACK CRepeatButton::windowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = static_cast<CRepeatButton*>(GetPropA(w, kRepeatProp));
    if (!self) return CallWindowProcA(g_buttonProc, w, msg, wp, lp);
    qcom::ComPtr<IQivPlayer2> keep(self->control_);
    try {
        return self->onMessage(msg, wp, lp);
    } catch (...) {
        return 0;
    }
}

LRESULT CRepeatButton::onMessage(UINT msg, WPARAM wp, LPARAM lp) {
    HWND w = hwnd_;
    switch (msg) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            KillTimer(w, qivctl::kRepeatTimerId);
            SetFocus(w);
            run();
            if (!IsWindow(w)) return 0;
            SetTimer(w, qivctl::kRepeatTimerId, qivctl::kRepeatIntervalMs, nullptr);
            SetCapture(w);
            pressed_ = true;
            // The push button draws itself pressed.
            return CallWindowProcA(g_buttonProc, w, WM_LBUTTONDOWN, wp, lp);
        case WM_TIMER:
            if (wp == qivctl::kRepeatTimerId) {
                run();
                return 0;
            }
            break;
        case WM_LBUTTONUP:
            KillTimer(w, qivctl::kRepeatTimerId);
            pressed_ = false;
            if (GetCapture() == w) ReleaseCapture();
            return CallWindowProcA(g_buttonProc, w, msg, wp, lp);
        case WM_NCDESTROY: {
            KillTimer(w, qivctl::kRepeatTimerId);
            RemovePropA(w, kRepeatProp);
            hwnd_ = nullptr;
            pressed_ = false;
            return CallWindowProcA(g_buttonProc, w, msg, wp, lp);
        }
        default:
            break;
    }
    return CallWindowProcA(g_buttonProc, w, msg, wp, lp);
}

// ---- tooltip ----

void MeasureTooltip(HWND tooltip, RECT& rect) {
    char text[256] = {};
    const int n = GetWindowTextA(tooltip, text, sizeof text);
    rect.right = rect.left + 80;
    if (HDC dc = GetDC(tooltip)) {
        HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        DrawTextA(dc, text, n, &rect, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        SelectObject(dc, old);
        ReleaseDC(tooltip, dc);
    }
    rect.right += 4;
    rect.bottom += 4;
}

void PaintTooltip(HWND tooltip) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(tooltip, &ps);
    if (!dc) return;
    RECT r;
    GetClientRect(tooltip, &r);
    FillRect(dc, &r, GetSysColorBrush(COLOR_INFOBK));
    char text[256] = {};
    const int n = GetWindowTextA(tooltip, text, sizeof text);
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
    InflateRect(&r, -2, -2);
    DrawTextA(dc, text, n, &r, DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    EndPaint(tooltip, &ps);
}

// ---- title callback ----

void CALLBACK OnTitleChange(HWND window, const char* extra, const char* filePath) {
    static std::map<HWND, qivctl::WindowTitleBuffer> titles;
    try {
        for (auto it = titles.begin(); it != titles.end();)
            it = IsWindow(it->first) ? std::next(it) : titles.erase(it);
        if (!IsWindow(window)) return;
        char current[qivctl::kViewerTitleMax + 1] = {};
        GetWindowTextA(window, current, sizeof current);
        qivctl::WindowTitleBuffer& buffer = titles[window];
        const std::string title = buffer.change(current, extra, filePath, qivLoadString(IDS_PROJNAME));
        if (buffer.empty()) titles.erase(window);
        SetWindowTextA(window, title.c_str());
    } catch (...) {
    }
}

void qivUnregisterLinkWindowClasses() {
    if (g_linkClass) UnregisterClassA(kLinkClass, qivModuleInstance());
    if (g_repeatClass) UnregisterClassA(kRepeatClass, qivModuleInstance());
    g_linkClass = g_repeatClass = false;
}
