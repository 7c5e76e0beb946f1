#pragma once
// Helpers of the toolbar framework's window tests: running the queue, and
// steps posted to a message window that the framework's modal loops
// dispatch while they run.
#include <windows.h>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "win/windowclass.h"

namespace tbtest {

inline void pump() {
    for (int round = 0; round < 3; ++round) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
}

struct Steps {
    static constexpr UINT kStep = WM_APP + 50;
    HWND wnd = nullptr;
    std::deque<std::function<void()>> queue;
    std::vector<std::unique_ptr<std::function<void()>>> polls;
    Steps() {
        win::RegisterWindowClass({L"QivTBTestSteps", proc, 0});
        wnd = CreateWindowExW(0, L"QivTBTestSteps", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                              nullptr);
        SetWindowLongPtrW(wnd, GWLP_USERDATA, LONG_PTR(this));
    }
    ~Steps() { DestroyWindow(wnd); }
    void post(std::function<void()> f) {
        queue.push_back(std::move(f));
        PostMessageW(wnd, kStep, 0, 0);
    }
    // Runs f once until() holds, or after the time is up.
    void when(std::function<bool()> until, std::function<void()> f, int timeoutMs = 3000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        polls.push_back(std::make_unique<std::function<void()>>());
        std::function<void()>* poll = polls.back().get();
        *poll = [this, until, f, end, poll] {
            if (until() || std::chrono::steady_clock::now() > end) {
                f();
                return;
            }
            Sleep(5);
            post(*poll);
        };
        post(*poll);
    }
    static LRESULT CALLBACK proc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
        if (m == kStep) {
            auto* self = reinterpret_cast<Steps*>(GetWindowLongPtrW(h, GWLP_USERDATA));
            if (self && !self->queue.empty()) {
                auto f = std::move(self->queue.front());
                self->queue.pop_front();
                f();
            }
            return 0;
        }
        return DefWindowProcW(h, m, wp, lp);
    }
};

}  // namespace tbtest
