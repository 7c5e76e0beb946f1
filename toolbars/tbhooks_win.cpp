#include <windows.h>

#include "tbhooks.h"

namespace toolbars {

namespace {

thread_local HHOOK g_hooks[kHookKindCount] = {};

LRESULT CALLBACK callWndProcHook(int code, WPARAM wp, LPARAM lp) {
    if (code == HC_ACTION) {
        try {
            const auto* cwp = reinterpret_cast<const CWPSTRUCT*>(lp);
            if (cwp->message == WM_ACTIVATEAPP)
                CallHookSubscribers(hpSendActivateApp, cwp->hwnd, cwp->wParam, cwp->lParam);
            else if (cwp->message == WM_WINDOWPOSCHANGED)
                CallHookSubscribers(hpSendWindowPosChanged, cwp->hwnd, cwp->wParam, cwp->lParam);
        } catch (...) {
        }
    }
    return CallNextHookEx(g_hooks[hkCallWndProc], code, wp, lp);
}

LRESULT CALLBACK cbtHook(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_ACTIVATE) {
        try {
            CallHookSubscribers(hpCBTActivate, reinterpret_cast<HWND>(wp), 0, 0);
        } catch (...) {
        }
    }
    return CallNextHookEx(g_hooks[hkCBT], code, wp, lp);
}

LRESULT CALLBACK getMessageHook(int code, WPARAM wp, LPARAM lp) {
    if (code == HC_ACTION) {
        try {
            CallHookSubscribers(hpGetMessage, nullptr, wp, lp);
        } catch (...) {
        }
    }
    return CallNextHookEx(g_hooks[hkGetMessage], code, wp, lp);
}

struct SystemInstaller : TBHookInstaller {
    bool Install(TBHookKind kind) override {
        static const int ids[] = {WH_CALLWNDPROC, WH_CBT, WH_GETMESSAGE};
        static const HOOKPROC procs[] = {callWndProcHook, cbtHook, getMessageHook};
        if (g_hooks[kind]) return true;
        g_hooks[kind] = SetWindowsHookExA(ids[kind], procs[kind], nullptr, GetCurrentThreadId());
        return g_hooks[kind] != nullptr;
    }
    void Remove(TBHookKind kind) override {
        if (g_hooks[kind]) UnhookWindowsHookEx(g_hooks[kind]);
        g_hooks[kind] = nullptr;
    }
};

}  // namespace

TBHookInstaller& PlatformHookInstaller() {
    static SystemInstaller installer;
    return installer;
}

}  // namespace toolbars
