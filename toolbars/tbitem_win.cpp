#include <windows.h>
#include <mmsystem.h>

#include "forms/appservices.h"
#include "tbitem.h"
#include "win/windowclass.h"

namespace toolbars {

namespace {

// The message of a deferred action.
constexpr UINT kDeferredMessage = 0x500;
const wchar_t kHiddenClass[] = L"QivTBDeferred";

LRESULT CALLBACK hiddenProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kDeferredMessage) {
        try {
            RunDeferredAction();
        } catch (...) {
            forms::HandleAppException(std::current_exception());
        }
        return 0;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

// One hidden message window per thread, made on demand.
struct HiddenWindow : TBDeferredPlatform {
    static HWND& handle() {
        thread_local HWND h = nullptr;
        return h;
    }
    void Post() override {
        HWND& h = handle();
        if (!h) {
            win::RegisterWindowClass({kHiddenClass, hiddenProc, 0});
            h = CreateWindowExW(0, kHiddenClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                                nullptr);
        }
        if (h) PostMessageW(h, kDeferredMessage, 0, 0);
    }
    void PlayMenuSound(const char* alias) override { PlaySoundA(alias, nullptr, SND_ALIAS | SND_ASYNC | SND_NODEFAULT); }
    void Carry(const TBDeferredAction& a) override {
        if (a.kind == TBDeferredKind::SysMenu) {
            SendMessageW(static_cast<HWND>(a.window), WM_SYSCOMMAND, SC_KEYMENU, LPARAM(a.key));
        } else if (a.kind == TBDeferredKind::Help) {
            HWND active = GetActiveWindow();
            const bool popup = active && (GetWindowLongW(active, GWL_EXSTYLE) & WS_EX_CONTEXTHELP);
            forms::RequestHelp(a.helpContext, popup);
        }
    }
    void ItemsGone() override {
        HWND& h = handle();
        if (h) DestroyWindow(h);
        h = nullptr;
    }
};

}  // namespace

TBDeferredPlatform& PlatformDeferred() {
    static HiddenWindow hidden;
    return hidden;
}

}  // namespace toolbars
