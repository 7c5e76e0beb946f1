#include "tbcommon_win.h"

#include <algorithm>
#include <vector>

#include "tbcommon.h"
#include "win/gdi.h"
#include "win/wintext.h"

namespace toolbars {

namespace {

OSVERSIONINFOA versionInfo() {
    static const OSVERSIONINFOA info = [] {
        OSVERSIONINFOA v{};
        v.dwOSVersionInfoSize = sizeof v;
        GetVersionExA(&v);
        return v;
    }();
    return info;
}

// The registry key of the user's desktop settings.
constexpr char kDesktopKey[] = "Control Panel\\Desktop";

int menuShowDelayFromRegistry() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return MenuShowDelayFromRegistry(TBRegValue::KeyMissing, {});
    char buffer[32];
    DWORD size = sizeof buffer, type = 0;
    const LONG rc = RegQueryValueExA(key, "MenuShowDelay", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (rc == ERROR_FILE_NOT_FOUND) return MenuShowDelayFromRegistry(TBRegValue::ValueMissing, {});
    if (rc != ERROR_SUCCESS) return MenuShowDelayFromRegistry(TBRegValue::OtherError, {});
    if (type != REG_SZ) return MenuShowDelayFromRegistry(TBRegValue::WrongType, {});
    return MenuShowDelayFromRegistry(TBRegValue::Ok, std::string_view(buffer, std::min<DWORD>(size, sizeof buffer)));
}

struct SystemSettings : TBSystemSettings {
    int MenuShowDelay() override {
        if (WindowsMajorVersion() < 4) return 400;
        INT v = 0;
        if (SystemParametersInfoA(SPI_GETMENUSHOWDELAY, 0, &v, 0)) return ClampMenuShowDelay(v);
        // Read once per process.
        static const int fromRegistry = menuShowDelayFromRegistry();
        return fromRegistry;
    }
    bool FlatMenus() override {
        BOOL on = FALSE;
        return IsXPOrLater() && SystemParametersInfoA(0x1022 /* SPI_GETFLATMENU */, 0, &on, 0) && on;
    }
    bool KeyboardCues() override {
        BOOL on = FALSE;
        if (WindowsMajorVersion() < 5 || !SystemParametersInfoA(0x100A /* SPI_GETKEYBOARDCUES */, 0, &on, 0)) return true;
        return on;
    }
    bool MenuAnimation() override {
        BOOL on = FALSE;
        return SystemParametersInfoA(SPI_GETMENUANIMATION, 0, &on, 0) && on;
    }
    bool MenuFade() override {
        BOOL on = FALSE;
        return SystemParametersInfoA(SPI_GETMENUFADE, 0, &on, 0) && on;
    }
    bool MenuDropAlignment() override { return GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0; }
    bool SoundConfigured(const std::string& name) override {
        const OSVERSIONINFOA v = versionInfo();
        if (v.dwPlatformId != VER_PLATFORM_WIN32_NT || v.dwMajorVersion < 5) return true;
        const std::string path = "AppEvents\\Schemes\\Apps\\.Default\\" + name + "\\.Current";
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
        char buffer[4];
        DWORD size = sizeof buffer;
        const LONG rc = RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(key);
        if (rc == ERROR_MORE_DATA) return true;  // too long for the buffer: set
        return rc == ERROR_SUCCESS && size > 1 && buffer[0] != '\0';
    }
};

}  // namespace

TBSystemSettings& TBSystemDefaultSettings() {
    static SystemSettings settings;
    return settings;
}

int WindowsMajorVersion() { return int(versionInfo().dwMajorVersion); }

bool IsXPOrLater() {
    const OSVERSIONINFOA v = versionInfo();
    return v.dwPlatformId == VER_PLATFORM_WIN32_NT &&
           (v.dwMajorVersion > 5 || (v.dwMajorVersion == 5 && v.dwMinorVersion > 0));
}

RECT PrimaryMonitorRect(bool workArea) {
    RECT r{};
    if (workArea && SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0)) return r;
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

bool MultipleMonitors() {
    const int n = GetSystemMetrics(SM_CMONITORS);
    return n != 0 && n != 1;
}

namespace {
// The multi-monitor functions, looked up by name once.
struct MonitorFunctions {
    using FromRect = HMONITOR(WINAPI*)(LPCRECT, DWORD);
    using FromPoint = HMONITOR(WINAPI*)(POINT, DWORD);
    using Info = BOOL(WINAPI*)(HMONITOR, LPMONITORINFO);
    FromRect fromRect = nullptr;
    FromPoint fromPoint = nullptr;
    Info info = nullptr;
    MonitorFunctions() {
        HMODULE user = GetModuleHandleA("user32.dll");
        if (!user) return;
        fromRect = reinterpret_cast<FromRect>(reinterpret_cast<void*>(GetProcAddress(user, "MonitorFromRect")));
        fromPoint = reinterpret_cast<FromPoint>(reinterpret_cast<void*>(GetProcAddress(user, "MonitorFromPoint")));
        info = reinterpret_cast<Info>(reinterpret_cast<void*>(GetProcAddress(user, "GetMonitorInfoA")));
    }
    bool usable() const { return fromRect && fromPoint && info && MultipleMonitors(); }
};

const MonitorFunctions& monitors() {
    static const MonitorFunctions m;
    return m;
}

RECT monitorRect(HMONITOR m, bool workArea) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!m || !monitors().info(m, &info)) return PrimaryMonitorRect(workArea);
    return workArea ? info.rcWork : info.rcMonitor;
}
}  // namespace

RECT MonitorRectOfRect(const RECT& r, bool workArea) {
    if (!monitors().usable()) return PrimaryMonitorRect(workArea);
    return monitorRect(monitors().fromRect(&r, MONITOR_DEFAULTTONEAREST), workArea);
}

RECT MonitorRectOfPoint(POINT p, bool workArea) {
    if (!monitors().usable()) return PrimaryMonitorRect(workArea);
    return monitorRect(monitors().fromPoint(p, MONITOR_DEFAULTTONEAREST), workArea);
}

int TextHeightOf(HDC dc) {
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    return tm.tmHeight;
}

int TextWidthOf(HDC dc, const std::string& text, bool stripPrefixes) {
    const std::string s = stripPrefixes ? StripAccelChars(text, [](char c) { return IsDBCSLeadByte(BYTE(c)) != 0; })
                                        : text;
    const std::wstring w = win::Wide(s);
    SIZE size{};
    GetTextExtentPoint32W(dc, w.c_str(), int(w.size()), &size);
    return size.cx;
}

namespace {
int CALLBACK fontExists(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}
}  // namespace

HFONT MakeRotatedFont(HDC dc) {
    LOGFONTA lf{};
    GetObjectA(GetCurrentObject(dc, OBJ_FONT), sizeof lf, &lf);
    lf.lfEscapement = lf.lfOrientation = 2700;
    lf.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    if (!lstrcmpiA(lf.lfFaceName, "MS Sans Serif") || !lstrcmpiA(lf.lfFaceName, "Microsoft Sans Serif"))
        lstrcpyA(lf.lfFaceName, "Arial");
    if (lstrlenA(lf.lfFaceName) < 31) {
        LOGFONTA vertical = lf;
        vertical.lfFaceName[0] = '@';
        lstrcpynA(vertical.lfFaceName + 1, lf.lfFaceName, 31);
        bool found = false;
        EnumFontFamiliesExA(dc, &vertical, fontExists, reinterpret_cast<LPARAM>(&found), 0);
        if (found) lf = vertical;
    }
    return CreateFontIndirectA(&lf);
}

void DrawRotatedCaption(HDC dc, const std::string& text, const RECT& r, UINT flags) {
    const std::string plain = StripAccelChars(text);
    const std::wstring w = win::Wide(plain);
    win::Font rotated(MakeRotatedFont(dc));
    win::Select sel(dc, rotated.get());
    SIZE size{};
    GetTextExtentPoint32W(dc, w.c_str(), int(w.size()), &size);
    const int height = TextHeightOf(dc);
    // Running downwards: the text's baseline side is at the left.
    const int x = r.left + (r.right - r.left - height) / 2;
    const int y = r.top + (r.bottom - r.top - size.cx) / 2;
    const UINT oldAlign = SetTextAlign(dc, TA_BOTTOM);
    ExtTextOutW(dc, x, y, 0, nullptr, w.c_str(), UINT(w.size()), nullptr);
    SetTextAlign(dc, oldAlign);
    if (flags & DT_HIDEPREFIX) return;
    // Underline the accelerator along its extent.
    const char accel = AccelCharOf(text);
    if (!accel) return;
    size_t at = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '&') {
            if (text[i + 1] == '&') {
                ++i;
                ++at;
                continue;
            }
            if (text[i + 1] == accel) break;
            continue;
        }
        ++at;
    }
    const std::wstring before = win::Wide(plain.substr(0, std::min(at, plain.size())));
    SIZE pre{}, one{};
    GetTextExtentPoint32W(dc, before.c_str(), int(before.size()), &pre);
    const std::wstring ch = win::Wide(std::string(1, accel));
    GetTextExtentPoint32W(dc, ch.c_str(), 1, &one);
    win::Pen pen(CreatePen(PS_SOLID, 1, GetTextColor(dc)));
    win::Select ps(dc, pen.get());
    MoveToEx(dc, x - 2, y + pre.cx, nullptr);
    LineTo(dc, x - 2, y + pre.cx + one.cx);
}

HBRUSH MakeDitherBrush() {
    WORD rows[8];
    for (int i = 0; i < 8; ++i) rows[i] = (i & 1) ? 0xAA : 0x55;
    win::Bitmap bmp(CreateBitmap(8, 8, 1, 1, rows));
    return CreatePatternBrush(bmp.get());
}

void DrawDitherFrame(HDC dc, const RECT* newRect, const RECT* oldRect, SIZE newSize, SIZE oldSize) {
    auto frameRegion = [](const RECT& r, SIZE s) {
        HRGN outer = CreateRectRgnIndirect(&r);
        RECT in{r.left + s.cx, r.top + s.cy, r.right - s.cx, r.bottom - s.cy};
        if (in.right > in.left && in.bottom > in.top) {
            win::Region inner(CreateRectRgnIndirect(&in));
            CombineRgn(outer, outer, inner.get(), RGN_DIFF);
        }
        return outer;
    };
    win::Region region(CreateRectRgn(0, 0, 0, 0));
    if (newRect) {
        win::Region n(frameRegion(*newRect, newSize));
        CombineRgn(region.get(), region.get(), n.get(), RGN_XOR);
    }
    if (oldRect) {
        win::Region o(frameRegion(*oldRect, oldSize));
        CombineRgn(region.get(), region.get(), o.get(), RGN_XOR);
    }
    win::Brush brush(MakeDitherBrush());
    SelectClipRgn(dc, region.get());
    RECT box{};
    GetClipBox(dc, &box);
    win::Select sel(dc, brush.get());
    PatBlt(dc, box.left, box.top, box.right - box.left, box.bottom - box.top, PATINVERT);
    SelectClipRgn(dc, nullptr);
}

HRGN MakeEmptyRegion() { return CreateRectRgn(0, 0, 0, 0); }

void ClipToUpdateRegion(HWND wnd, HDC dc, HRGN region) {
    if (reinterpret_cast<UINT_PTR>(region) <= 1) return;
    RECT wr{};
    GetWindowRect(wnd, &wr);
    win::Region copy(CreateRectRgn(0, 0, 0, 0));
    CombineRgn(copy.get(), region, nullptr, RGN_COPY);
    OffsetRgn(copy.get(), -wr.left, -wr.top);
    if (SelectClipRgn(dc, copy.get()) == ERROR) {
        win::Region whole(CreateRectRgn(0, 0, wr.right - wr.left, wr.bottom - wr.top));
        SelectClipRgn(dc, whole.get());
    }
}

namespace {
struct OwnedWindows {
    HWND owner;
    std::vector<HWND> owned;
};
BOOL CALLBACK collectOwned(HWND w, LPARAM p) {
    auto* c = reinterpret_cast<OwnedWindows*>(p);
    if (GetWindow(w, GW_OWNER) == c->owner && (GetWindowLongA(w, GWL_STYLE) & WS_VISIBLE)) c->owned.push_back(w);
    return TRUE;
}
}  // namespace

void PrintWindowInto(HWND wnd, HDC dc, UINT flags, const std::function<void(HDC)>& ncPainter) {
    if ((flags & PRF_CHECKVISIBLE) && !IsWindowVisible(wnd)) return;
    if ((flags & PRF_NONCLIENT) && ncPainter) ncPainter(dc);
    RECT wr{};
    GetWindowRect(wnd, &wr);
    POINT origin{0, 0};
    ClientToScreen(wnd, &origin);
    const int dx = origin.x - wr.left, dy = origin.y - wr.top;
    POINT old{};
    OffsetViewportOrgEx(dc, dx, dy, &old);
    if (flags & PRF_CLIENT) {
        if (flags & PRF_ERASEBKGND) SendMessageA(wnd, WM_ERASEBKGND, WPARAM(dc), 0);
        SendMessageA(wnd, WM_PRINTCLIENT, WPARAM(dc), LPARAM(flags));
    }
    SetViewportOrgEx(dc, old.x, old.y, nullptr);
    auto printAt = [&](HWND w) {
        RECT r{};
        GetWindowRect(w, &r);
        POINT o{};
        OffsetViewportOrgEx(dc, r.left - wr.left, r.top - wr.top, &o);
        SendMessageA(w, WM_PRINT, WPARAM(dc), PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
        SetViewportOrgEx(dc, o.x, o.y, nullptr);
    };
    if (flags & PRF_CHILDREN)
        for (HWND c = GetWindow(wnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            if (GetWindowLongA(c, GWL_STYLE) & WS_VISIBLE) printAt(c);
    if (flags & PRF_OWNED) {
        OwnedWindows ctx{wnd, {}};
        EnumThreadWindows(GetWindowThreadProcessId(wnd, nullptr), collectOwned, reinterpret_cast<LPARAM>(&ctx));
        for (HWND w : ctx.owned) printAt(w);
    }
}

void DispatchPendingPaints() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(int(msg.wParam));
            return;
        }
        DispatchMessageW(&msg);
    }
}

void DiscardMessages(UINT first, UINT last) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, first, last, PM_REMOVE))
        if (msg.message == WM_QUIT) {
            PostQuitMessage(int(msg.wParam));
            return;
        }
}

namespace {
using TrackMouseEventFn = BOOL(WINAPI*)(LPTRACKMOUSEEVENT);
int g_trackingRefs = 0;
TrackMouseEventFn g_trackMouseEvent = nullptr;
}  // namespace

void LoadMouseTracking() {
    if (g_trackingRefs++ > 0) return;
    if (HMODULE user = GetModuleHandleA("user32.dll"))
        g_trackMouseEvent = reinterpret_cast<TrackMouseEventFn>(reinterpret_cast<void*>(GetProcAddress(user, "TrackMouseEvent")));
    if (!g_trackMouseEvent)
        if (HMODULE cc = GetModuleHandleA("comctl32.dll"))
            g_trackMouseEvent =
                reinterpret_cast<TrackMouseEventFn>(reinterpret_cast<void*>(GetProcAddress(cc, "_TrackMouseEvent")));
}

void ReleaseMouseTracking() {
    if (g_trackingRefs > 0 && --g_trackingRefs == 0) g_trackMouseEvent = nullptr;
}

bool StartMouseTracking(HWND wnd, DWORD flags) {
    if (!g_trackMouseEvent) return false;
    TRACKMOUSEEVENT t{sizeof t, flags, wnd, HOVER_DEFAULT};
    return g_trackMouseEvent(&t) != FALSE;
}

bool HasActiveWindow() { return GetActiveWindow() != nullptr; }

namespace {
win::Font& menuFont() {
    static win::Font font;
    return font;
}
}  // namespace

HFONT TBMenuFont() {
    if (!menuFont()) RefreshMenuFont();
    return menuFont().get();
}

void RefreshMenuFont() {
    NONCLIENTMETRICSW m{};
    m.cbSize = sizeof m;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0))
        menuFont().reset(CreateFontIndirectW(&m.lfMenuFont));
    else
        menuFont().reset(CreateFontW(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma"));
}

}  // namespace toolbars
