#include "tbanim_win.h"

#include <atomic>
#include <thread>
#include <vector>

#include "tbanim.h"
#include "tbpopupfit.h"

namespace toolbars {

namespace {

using UpdateLayeredFn = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD);

// What the system side of the one animation holds beside the portable
// record. The worker touches only the atomics and its own copies.
struct Animation {
    TBAnimationState state;
    HDC windowDC = nullptr, memDC = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ oldBitmap = nullptr;
    SIZE size{};
    RECT clientScreen{};
    std::atomic<int> level{0};
    std::atomic<bool> stop{false}, finished{false};
    std::atomic<int> pending{0};
    std::thread worker;
    bool running = false;  // between start and finish
    std::vector<int> levels;
};

Animation& anim() {
    static Animation a;
    return a;
}

UpdateLayeredFn g_updateLayered = nullptr;
bool g_lookedUp = false;
bool g_missingForTests = false;

UpdateLayeredFn updateLayered() {
    if (!g_lookedUp) {
        g_lookedUp = true;
        if (HMODULE user = GetModuleHandleA("user32.dll"))
            g_updateLayered = reinterpret_cast<UpdateLayeredFn>(
                reinterpret_cast<void*>(GetProcAddress(user, "UpdateLayeredWindow")));
    }
    return g_missingForTests ? nullptr : g_updateLayered;
}

BLENDFUNCTION blend(int alpha) { return BLENDFUNCTION{AC_SRC_OVER, 0, BYTE(alpha), 0}; }

void workerMain(HWND wnd, int durationMs, uint32_t sequence, RECT client) {
    Animation& a = anim();
    LARGE_INTEGER freq{}, start{}, now{};
    QueryPerformanceFrequency(&freq);
    const long long perMs = std::max<long long>(1, freq.QuadPart / 1000);
    QueryPerformanceCounter(&start);
    POINT last{};
    GetCursorPos(&last);
    int level = a.level.load();
    while (!a.stop.load()) {
        QueryPerformanceCounter(&now);
        const long long elapsed = (now.QuadPart - start.QuadPart) / perMs;
        POINT p{};
        bool inside = false;
        if (GetCursorPos(&p) && (p.x != last.x || p.y != last.y)) {
            inside = PtInRect(&client, p) != 0;
            last = p;
        }
        const TBAnimationTick t = AnimationTick(durationMs, elapsed, level, inside);
        if (t.kind == TBAnimationTick::Finish) break;
        if (t.kind == TBAnimationTick::Step) {
            a.level.store(level);
            if (a.pending.exchange(1) == 0) SendNotifyMessageW(wnd, kTBMsgAnimationStep, 0, LPARAM(sequence));
        } else {
            Sleep(DWORD(t.sleepMs));
        }
    }
    a.finished.store(true);
    SendNotifyMessageW(wnd, kTBMsgAnimationStep, 0, LPARAM(sequence));
}

// Final picture, resources freed, the end announced.
void finish() {
    Animation& a = anim();
    if (!a.running) return;
    a.running = false;
    TBAnimationRecord& r = a.state.Record();
    HWND wnd = static_cast<HWND>(r.window);
    if (IsWindow(wnd)) {
        if (r.fade)
            SetWindowLongW(wnd, GWL_EXSTYLE, GetWindowLongW(wnd, GWL_EXSTYLE) & ~WS_EX_LAYERED);
        else
            SetWindowRgn(wnd, nullptr, FALSE);
        BitBlt(a.windowDC, 0, 0, a.size.cx, a.size.cy, a.memDC, 0, 0, SRCCOPY);
    }
    SelectObject(a.memDC, a.oldBitmap);
    DeleteDC(a.memDC);
    DeleteObject(a.bitmap);
    ReleaseDC(wnd, a.windowDC);
    a.memDC = a.windowDC = nullptr;
    a.bitmap = nullptr;
    a.state.End();
    if (IsWindow(wnd)) SendNotifyMessageW(wnd, kTBMsgAnimationEnded, 0, 0);
}

void joinWorker() {
    Animation& a = anim();
    if (a.worker.joinable()) {
        a.stop.store(true);
        a.worker.join();
    }
}

// A running animation is stopped at program end.
struct AtExit {
    ~AtExit() {
        Animation& a = anim();
        if (a.worker.joinable()) {
            a.stop.store(true);
            a.worker.join();
        }
    }
} g_atExit;

}  // namespace

void SetLayeredUpdateMissingForTests(bool missing) { g_missingForTests = missing; }

const int* LastAnimationLevels(int& count) {
    count = int(anim().levels.size());
    return anim().levels.data();
}

bool PopupAnimationRunning(HWND wnd) { return anim().running && anim().state.Record().window == wnd; }

void StopPopupAnimation(HWND wnd) {
    Animation& a = anim();
    // Only an animation with its worker: the capture's own WM_PRINT (which
    // erases and paints) comes before the worker.
    if (!a.worker.joinable() || (wnd && a.state.Record().window != wnd)) return;
    joinWorker();
    finish();
}

void StartPopupAnimation(HWND wnd, int durationMs, bool fade, uint8_t directions) {
    StopPopupAnimation(nullptr);
    Animation& a = anim();
    const UpdateLayeredFn layered = updateLayered();
    fade = fade && layered;
    a.state.Begin(wnd, durationMs, fade, directions);
    a.stop = false;
    a.finished = false;
    a.pending = 0;
    a.levels.clear();
    GetClientRect(wnd, &a.clientScreen);
    MapWindowPoints(wnd, nullptr, reinterpret_cast<POINT*>(&a.clientScreen), 2);

    RECT wr{};
    GetWindowRect(wnd, &wr);
    a.size = {wr.right - wr.left, wr.bottom - wr.top};
    a.windowDC = GetDCEx(wnd, nullptr, DCX_WINDOW | DCX_CACHE);
    a.bitmap = CreateCompatibleBitmap(a.windowDC, a.size.cx, a.size.cy);
    a.memDC = CreateCompatibleDC(a.windowDC);
    a.oldBitmap = SelectObject(a.memDC, a.bitmap);
    a.running = true;
    SendMessageW(wnd, WM_PRINT, WPARAM(a.memDC), PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
    // The capture holds the whole picture: a paint left over from building
    // the window would only end the animation at once.
    ValidateRect(wnd, nullptr);

    if (fade) {
        SetWindowLongW(wnd, GWL_EXSTYLE, GetWindowLongW(wnd, GWL_EXSTYLE) | WS_EX_LAYERED);
        a.level = kFadeStartLevel;
        POINT dst{wr.left, wr.top}, src{0, 0};
        BLENDFUNCTION b = blend(kFadeStartLevel);
        layered(wnd, nullptr, &dst, &a.size, a.memDC, &src, 0, &b, ULW_ALPHA);
    } else {
        a.level = 0;
        SetWindowRgn(wnd, CreateRectRgn(0, 0, 0, 0), FALSE);
    }
    a.state.Record().level = a.level;
    SetWindowPos(wnd, nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE | SWP_SHOWWINDOW |
                     SWP_NOOWNERZORDER | SWP_ASYNCWINDOWPOS);
    try {
        a.worker = std::thread(workerMain, wnd, durationMs, a.state.Sequence(), a.clientScreen);
    } catch (...) {
        finish();  // no thread: the final picture at once
    }
}

void PopupAnimationStep(uint32_t sequence) {
    Animation& a = anim();
    if (!a.running || !a.state.IsCurrent(sequence)) return;
    if (a.finished.load()) {
        joinWorker();
        finish();
        return;
    }
    TBAnimationRecord& r = a.state.Record();
    HWND wnd = static_cast<HWND>(r.window);
    const int level = a.level.load();
    r.level = level;
    a.levels.push_back(level);
    if (r.fade) {
        BLENDFUNCTION b = blend(level);
        if (const UpdateLayeredFn layered = updateLayered())
            layered(wnd, nullptr, nullptr, nullptr, nullptr, nullptr, 0, &b, ULW_ALPHA);
    } else {
        const TBPoint o = SlideOffset(a.size.cx, a.size.cy, level, r.directions);
        SetWindowRgn(wnd, CreateRectRgn(o.x, o.y, o.x + a.size.cx, o.y + a.size.cy), FALSE);
        BitBlt(a.windowDC, o.x, o.y, a.size.cx, a.size.cy, a.memDC, 0, 0, SRCCOPY);
    }
    a.pending.store(0);
}

}  // namespace toolbars
