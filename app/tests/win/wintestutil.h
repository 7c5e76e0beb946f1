// Helpers of Stellwerk's wine tests: paths, processes, the viewer drawn in
// software while a test runs, what the screen shows of a window, and the
// message loop run for the forms.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "forms/application.h"
#include "forms/controls.h"
#include "../../msgstrs.h"

namespace wintest {

inline std::string windowsPath(std::string p) {
    std::replace(p.begin(), p.end(), '/', '\\');
    return "Z:" + p;
}

inline std::string readAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

inline std::string tempFolder(const std::string& leaf) {
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    const std::string dir = std::string(tmp) + leaf + "\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

// Runs a command to its end; its exit code (0xFFFF when it did not start).
inline DWORD run(const std::string& cmd, DWORD waitMs = 60000) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string c = cmd;
    if (!CreateProcessA(nullptr, c.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 0xFFFF;
    DWORD code = 0xFFFE;
    if (WaitForSingleObject(pi.hProcess, waitMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    else
        TerminateProcess(pi.hProcess, 0xFFFE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

inline bool registerViewer(const char* dll) { return run("regsvr32.exe /s \"" + windowsPath(dll) + "\"") == 0; }

// The start of every suite that hosts the viewer in the program's forms: OLE, the
// application, the viewer registered, the program's texts from its Support folder, and
// message boxes to the log. Empty when every step worked, else what failed.
inline std::string startHostingSuite(const char* dll, const std::string& support, forms::MessageLog log) {
    OleInitialize(nullptr);
    forms::Application::Instance().Initialize();
    if (!registerViewer(dll)) return std::string("regsvr32 failed for ") + dll;
    if (!stellwerk::MsgLines().LoadFromFile(windowsPath(support + "/MsgLbl.txt"))) return "MsgLbl.txt unreadable";
    if (!stellwerk::MenuLines().LoadFromFile(windowsPath(support + "/Menu.txt"))) return "Menu.txt unreadable";
    forms::SetMessageLog(std::move(log));
    return "";
}

// The viewer's user option "Use3DHardware" off while it lives: Wine 8 keeps
// a child window's Direct3D output off the screen, software frames reach it.
class SoftwareViewer {
public:
    SoftwareViewer() {
        HKEY k = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &k, nullptr) !=
            ERROR_SUCCESS)
            return;
        DWORD size = sizeof saved_;
        had_ = RegQueryValueExA(k, "Use3DHardware", nullptr, nullptr, reinterpret_cast<BYTE*>(&saved_), &size) ==
               ERROR_SUCCESS;
        const DWORD off = 0;
        RegSetValueExA(k, "Use3DHardware", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off), sizeof off);
        RegCloseKey(k);
    }
    ~SoftwareViewer() {
        HKEY k = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_WRITE, &k) != ERROR_SUCCESS) return;
        if (had_)
            RegSetValueExA(k, "Use3DHardware", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&saved_), sizeof saved_);
        else
            RegDeleteValueA(k, "Use3DHardware");
        RegCloseKey(k);
    }

private:
    static constexpr const char* kKey = "Software\\Tarnwick\\Qiv Player";
    DWORD saved_ = 0;
    bool had_ = false;
};

// What the screen shows of a window's client area, 0x00RRGGBB.
inline std::vector<uint32_t> clientPixels(HWND w, int* width = nullptr, int* height = nullptr) {
    RECT rc{};
    GetClientRect(w, &rc);
    POINT origin = {0, 0};
    ClientToScreen(w, &origin);
    if (width) *width = rc.right;
    if (height) *height = rc.bottom;
    std::vector<uint32_t> px;
    if (rc.right <= 0 || rc.bottom <= 0) return px;
    px.resize(size_t(rc.right) * size_t(rc.bottom));
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = rc.right;
    bi.bmiHeader.biHeight = -rc.bottom;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, rc.right, rc.bottom, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<const uint32_t*>(bits)[i] & 0xFFFFFF;
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return px;
}

// The share of pixels farther than a small tolerance from a colour (0x00RRGGBB).
inline double shareUnlike(const std::vector<uint32_t>& px, uint32_t colour) {
    if (px.empty()) return 0;
    size_t n = 0;
    for (uint32_t p : px) {
        const int dr = int(p >> 16 & 255) - int(colour >> 16 & 255), dg = int(p >> 8 & 255) - int(colour >> 8 & 255),
                  db = int(p & 255) - int(colour & 255);
        if (std::abs(dr) + std::abs(dg) + std::abs(db) > 24) ++n;
    }
    return double(n) / double(px.size());
}

// The most frequent colour of the pixels.
inline uint32_t commonColour(const std::vector<uint32_t>& px) {
    std::vector<uint32_t> s = px;
    std::sort(s.begin(), s.end());
    uint32_t best = 0;
    size_t bestRun = 0;
    for (size_t i = 0; i < s.size();) {
        size_t j = i;
        while (j < s.size() && s[j] == s[i]) ++j;
        if (j - i > bestRun) bestRun = j - i, best = s[i];
        i = j;
    }
    return best;
}

// The viewer control's own window inside a window, or null.
inline HWND viewerWindow(HWND top) { return FindWindowExW(top, nullptr, L"QivPlayerControl", nullptr); }

struct FindDescendant {
    const wchar_t* cls;
    HWND found;
};

inline BOOL CALLBACK findDescendantStep(HWND h, LPARAM lp) {
    auto* f = reinterpret_cast<FindDescendant*>(lp);
    wchar_t name[64] = {};
    GetClassNameW(h, name, 64);
    if (wcscmp(name, f->cls) == 0 && IsWindowVisible(h)) {
        f->found = h;
        return FALSE;
    }
    return TRUE;
}

// The first visible window of a class below a window, or null.
inline HWND findDescendant(HWND top, const wchar_t* cls) {
    FindDescendant f{cls, nullptr};
    EnumChildWindows(top, findDescendantStep, LPARAM(&f));
    return f.found;
}

inline void pump() { forms::Application::Instance().ProcessMessages(); }

// Pumps until the condition holds or ms have passed; the condition's last value.
inline bool pumpUntil(const std::function<bool()>& done, DWORD ms = 10000) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (!done()) {
        if (GetTickCount64() > end) return false;
        pump();
        Sleep(10);
    }
    return true;
}

inline void pumpFor(DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (GetTickCount64() < end) {
        pump();
        Sleep(5);
    }
}

// Runs steps against the modal form of type T once it shows, one per idle pass.
template <class T>
class ModalScript {
public:
    explicit ModalScript(std::deque<std::function<void(T&)>> steps) : steps_(std::move(steps)) {
        forms::Application::Instance().OnIdle = [this](bool& done) {
            done = true;
            auto* d = dynamic_cast<T*>(forms::Control::FromHandle(GetActiveWindow()));
            if (!d || !d->Modal() || steps_.empty()) return;
            auto step = steps_.front();
            steps_.pop_front();
            step(*d);
            done = false;
        };
    }
    ~ModalScript() { forms::Application::Instance().OnIdle = nullptr; }
    bool finished() const { return steps_.empty(); }

private:
    std::deque<std::function<void(T&)>> steps_;
};

}  // namespace wintest
