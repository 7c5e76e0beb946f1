// qivshot: waits for a visible top-level window of a class (and, with --title, whose title
// begins with the text), captures it from the screen once its picture has settled
// (unchanged for --stable ms, at least --settle ms after the window appeared), writes the
// capture as a PNG picture and closes the window.
//   qivshot [--class NAME] [--title TEXT] [--timeout SECONDS] [--settle MS] [--stable MS] [--keep] out.png
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "png.h"

namespace {

struct Capture {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;
    bool operator==(const Capture& o) const { return width == o.width && height == o.height && rgb == o.rgb; }
};

int usage() {
    std::fprintf(stderr,
                 "usage: qivshot [--class NAME] [--title TEXT] [--timeout SECONDS] [--settle MS] [--stable MS] [--keep] "
                 "out.png\n");
    return 2;
}

struct Wanted {
    const std::string& cls;
    const std::string& title;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND w, LPARAM lp) {
    auto* want = reinterpret_cast<Wanted*>(lp);
    char cls[256] = {}, title[512] = {};
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextA(w, title, sizeof title);
    if (want->cls == cls && IsWindowVisible(w) && std::strncmp(title, want->title.c_str(), want->title.size()) == 0) {
        want->found = w;
        return FALSE;
    }
    return TRUE;
}

// Programs may have hidden windows of the same class: the first visible one counts.
HWND findVisible(const std::string& cls, const std::string& title) {
    Wanted want{cls, title, nullptr};
    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&want));
    return want.found;
}

// The window as the screen shows it (another process's window cannot draw itself into
// this process's device context).
bool capture(HWND w, Capture* out) {
    RECT r;
    if (!GetWindowRect(w, &r)) return false;
    // What lies outside the screen cannot be read from it.
    r.left = r.left < 0 ? 0 : r.left;
    r.top = r.top < 0 ? 0 : r.top;
    const LONG sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    if (r.right > sw) r.right = sw;
    if (r.bottom > sh) r.bottom = sh;
    const LONG width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 0 || height <= 0 || width > LONG(qivpng::kMaxSide) || height > LONG(qivpng::kMaxSide)) return false;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;  // top row first
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = dib && bits && mem;
    if (ok) {
        HGDIOBJ old = SelectObject(mem, dib);
        ok = BitBlt(mem, 0, 0, width, height, screen, r.left, r.top, SRCCOPY | CAPTUREBLT) != FALSE;
        GdiFlush();
        if (ok) {
            out->width = uint32_t(width);
            out->height = uint32_t(height);
            out->rgb.resize(size_t(width) * size_t(height) * 3);
            const uint8_t* p = static_cast<const uint8_t*>(bits);
            for (size_t i = 0, n = size_t(width) * size_t(height); i < n; ++i) {
                out->rgb[3 * i] = p[4 * i + 2];
                out->rgb[3 * i + 1] = p[4 * i + 1];
                out->rgb[3 * i + 2] = p[4 * i];
            }
        }
        SelectObject(mem, old);
    }
    if (dib) DeleteObject(dib);
    if (mem) DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return ok;
}

void pump() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
}

}  // namespace

int main(int argc, char** argv) {
    std::string cls = "Qiv Frame", title;
    double timeout = 60;
    DWORD settle = 1500, stable = 1000;
    bool keep = false;
    const char* outPath = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--class" && i + 1 < argc) {
            cls = argv[++i];
        } else if (a == "--title" && i + 1 < argc) {
            title = argv[++i];
        } else if (a == "--timeout" && i + 1 < argc) {
            timeout = std::atof(argv[++i]);
            if (!(timeout > 0 && timeout < 3600)) return usage();
        } else if (a == "--settle" && i + 1 < argc) {
            const long v = std::atol(argv[++i]);
            if (v < 0 || v > 600000) return usage();
            settle = DWORD(v);
        } else if (a == "--stable" && i + 1 < argc) {
            const long v = std::atol(argv[++i]);
            if (v < 0 || v > 600000) return usage();
            stable = DWORD(v);
        } else if (a == "--keep") {
            keep = true;
        } else if (!a.empty() && a[0] != '-' && !outPath) {
            outPath = argv[i];
        } else {
            return usage();
        }
    }
    if (!outPath) return usage();

    const ULONGLONG deadline = GetTickCount64() + ULONGLONG(timeout * 1000);
    HWND w = nullptr;
    while (!(w = findVisible(cls, title))) {
        if (GetTickCount64() >= deadline) {
            std::fprintf(stderr, "qivshot: no window of class \"%s\" titled \"%s...\" within %g s\n", cls.c_str(),
                         title.c_str(), timeout);
            return 1;
        }
        Sleep(100);
    }
    // The picture has settled when it stayed the same for the stable time, late enough.
    const ULONGLONG found = GetTickCount64();
    ULONGLONG sameSince = found;
    Capture last, now;
    bool settled = false, have = false;
    while (IsWindow(w)) {
        pump();
        if (capture(w, &now)) {
            const ULONGLONG t = GetTickCount64();
            if (!have || !(now == last)) {
                last = now;
                sameSince = t;
                have = true;
            } else if (t - sameSince >= stable && t - found >= settle) {
                settled = true;
                break;
            }
        }
        if (GetTickCount64() >= deadline) break;
        Sleep(200);
    }
    if (!have) {
        std::fprintf(stderr, "qivshot: the window could not be captured\n");
        return 1;
    }
    if (!qivpng::writeFile(outPath, last.rgb.data(), last.width, last.height)) {
        std::fprintf(stderr, "qivshot: %s could not be written\n", outPath);
        return 1;
    }
    std::printf("qivshot: %s, %u x %u%s\n", outPath, last.width, last.height, settled ? "" : " (still changing)");
    if (!keep && IsWindow(w)) {
        PostMessageA(w, WM_CLOSE, 0, 0);
        const ULONGLONG closing = GetTickCount64();
        while (IsWindow(w) && GetTickCount64() - closing < 10000) Sleep(50);
        if (IsWindow(w)) {
            std::fprintf(stderr, "qivshot: the window did not close\n");
            return 1;
        }
    }
    return 0;
}
