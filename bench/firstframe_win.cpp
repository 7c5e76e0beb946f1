// Time from process start to the first frame of an object, Stellwerk beside
// the stand-alone viewer on the same file, and the processor time each takes
// per second while idle with the object shown.
// A frame counts once the screen shows the viewer control's window with more
// than 3 % of its pixels away from its most frequent colour. Stellwerk runs
// from a copy in the temporary folder with a window of the viewer's size.
// usage: bench_firstframe_win.exe <folder of Stellwerk.exe> <QivPlayer.dll> <object file> [runs]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "benchutil.h"

namespace {

struct Window {
    HWND top = nullptr, viewer = nullptr;
};

struct Search {
    DWORD pid;
    Window found;
};

BOOL CALLBACK findChild(HWND h, LPARAM lp) {
    wchar_t cls[64] = {};
    GetClassNameW(h, cls, 64);
    if (wcscmp(cls, L"QivPlayerControl") == 0 && IsWindowVisible(h)) {
        *reinterpret_cast<HWND*>(lp) = h;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK findTop(HWND h, LPARAM lp) {
    auto* s = reinterpret_cast<Search*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid != s->pid || !IsWindowVisible(h)) return TRUE;
    HWND viewer = nullptr;
    EnumChildWindows(h, findChild, LPARAM(&viewer));
    if (!viewer) return TRUE;
    s->found = {h, viewer};
    return FALSE;
}

// The share of the window's pixels on the screen away from its most frequent colour.
double objectShare(HWND w) {
    RECT rc{};
    GetClientRect(w, &rc);
    if (rc.right <= 0 || rc.bottom <= 0) return 0;
    POINT origin{0, 0};
    ClientToScreen(w, &origin);
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = rc.right;
    bi.bmiHeader.biHeight = -rc.bottom;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, rc.right, rc.bottom, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    const size_t n = size_t(rc.right) * size_t(rc.bottom);
    std::vector<uint32_t> px(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + n);
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    for (uint32_t& p : px) p &= 0xFFFFFF;
    std::sort(px.begin(), px.end());
    size_t best = 0;
    for (size_t i = 0; i < n;) {
        size_t j = i;
        while (j < n && px[j] == px[i]) ++j;
        best = std::max(best, j - i);
        i = j;
    }
    return 1.0 - double(best) / double(n);
}

double ms(const LARGE_INTEGER& a, const LARGE_INTEGER& b) {
    static LARGE_INTEGER f = [] {
        LARGE_INTEGER q;
        QueryPerformanceFrequency(&q);
        return q;
    }();
    return double(b.QuadPart - a.QuadPart) * 1000.0 / double(f.QuadPart);
}

uint64_t cpuTicks(HANDLE process) {
    FILETIME c, e, k, u;
    if (!GetProcessTimes(process, &c, &e, &k, &u)) return 0;
    auto t = [](const FILETIME& f) { return uint64_t(f.dwHighDateTime) << 32 | f.dwLowDateTime; };
    return t(k) + t(u);
}

struct Run {
    double firstFrame = -1;  // ms
    double idleCpu = -1;     // ms of processor time per second
    int width = 0, height = 0;
};

// Starts the command, waits for the first frame and, when asked, measures the idle processor time.
Run measure(const std::string& cmd, const std::string& dir, bool idle) {
    Run r;
    STARTUPINFOA si{sizeof si};
    PROCESS_INFORMATION pi{};
    std::string c = cmd;
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    if (!CreateProcessA(nullptr, c.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.empty() ? nullptr : dir.c_str(),
                        &si, &pi))
        return r;
    Window w;
    for (;;) {
        QueryPerformanceCounter(&t1);
        if (ms(t0, t1) > 60000 || WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) break;
        if (!w.viewer) {
            Search s{pi.dwProcessId, {}};
            EnumWindows(findTop, LPARAM(&s));
            w = s.found;
        }
        if (w.viewer && objectShare(w.viewer) > 0.03) {
            r.firstFrame = ms(t0, t1);
            RECT rc{};
            GetClientRect(w.viewer, &rc);
            r.width = rc.right, r.height = rc.bottom;
            break;
        }
        Sleep(2);
    }
    if (idle && r.firstFrame >= 0) {
        Sleep(3000);
        const uint64_t a = cpuTicks(pi.hProcess);
        Sleep(5000);
        const uint64_t b = cpuTicks(pi.hProcess);
        r.idleCpu = double(b - a) / 10000.0 / 5.0;
    }
    if (w.top) PostMessageW(w.top, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(pi.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return r;
}

bool copyFile(const std::string& from, const std::string& to) { return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0; }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::printf("usage: bench_firstframe_win <folder of Stellwerk.exe> <QivPlayer.dll> <object file> [runs]\n");
        return 2;
    }
    const std::string from = std::string(argv[1]) + "\\", dll = argv[2], object = argv[3];
    const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
    benchutil::printLoad();

    // A copy of Stellwerk with its texts, its settings file written per run.
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    const std::string dir = std::string(tmp) + "stellwerk bench\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    CreateDirectoryA((dir + "Support").c_str(), nullptr);
    if (!copyFile(from + "Stellwerk.exe", dir + "Stellwerk.exe") ||
        !copyFile(from + "Support\\MsgLbl.txt", dir + "Support\\MsgLbl.txt") ||
        !copyFile(from + "Support\\Menu.txt", dir + "Support\\Menu.txt")) {
        std::printf("Stellwerk.exe and its Support folder were not found in %s\n", from.c_str());
        return 1;
    }

    std::vector<double> viewer, stellwerk;
    Run viewerIdle, stellwerkIdle;
    for (int i = 0; i < runs; ++i) {
        const bool last = i == runs - 1;
        Run v = measure("rundll32.exe \"" + dll + "\",DisplayObject \"" + object + "\"", "", last);
        if (v.firstFrame >= 0) viewer.push_back(v.firstFrame);
        if (last) viewerIdle = v;
        // Stellwerk's window sized so that its viewer is about as large as the stand-alone one.
        const int w = std::max(640, v.width + 480), h = std::max(480, v.height + 110);
        std::ofstream(dir + "stellwerk!.ini", std::ios::binary)
            << "[AppWindow]\r\nMax=0\r\nLeft=0\r\nTop=0\r\nWidth=" << w << "\r\nHeight=" << h << "\r\n";
        Run s = measure("\"" + dir + "Stellwerk.exe\" \"" + object + "\"", dir, last);
        if (s.firstFrame >= 0) stellwerk.push_back(s.firstFrame);
        if (last) stellwerkIdle = s;
    }
    if (viewer.empty() || stellwerk.empty()) {
        std::printf("no first frame seen (viewer %zu, Stellwerk %zu of %d runs)\n", viewer.size(), stellwerk.size(),
                    runs);
        return 1;
    }
    const double mv = benchutil::median(viewer), ms = benchutil::median(stellwerk);
    std::printf("process start to the first frame of %s, median of %d runs:\n", object.c_str(), runs);
    std::printf("  stand-alone viewer  %7.0f ms  (viewer window %d x %d)\n", mv, viewerIdle.width, viewerIdle.height);
    std::printf("  Stellwerk           %7.0f ms  (viewer window %d x %d)  %.2fx the viewer (target 1.25x)\n", ms,
                stellwerkIdle.width, stellwerkIdle.height, ms / mv);
    std::printf("processor time while idle with the object shown (5 s after 3 s of rest):\n");
    std::printf("  stand-alone viewer  %7.2f ms per second\n", viewerIdle.idleCpu);
    std::printf("  Stellwerk           %7.2f ms per second (target: no periodic work)\n", stellwerkIdle.idleCpu);
    return 0;
}
