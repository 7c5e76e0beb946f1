#pragma once
// Window hooks shared by docks, toolbars and popups. Subscribers name the
// kinds of events they want; the thread's hooks that serve those kinds are
// installed with the first subscriber that needs them and removed with the
// last one. Everything here is per thread: hooks are installed for the
// subscribing thread and run on it.
#include <cstdint>
#include <vector>

namespace toolbars {

// What a subscriber is told of.
enum TBHookProcCode {
    hpSendActivateApp = 0,       // WM_ACTIVATEAPP sent to a window of the thread
    hpSendWindowPosChanged = 1,  // WM_WINDOWPOSCHANGED sent to one
    hpCBTActivate = 2,           // a window is about to be activated
    hpGetMessage = 3,            // a message is taken from the queue
};
using TBHookProcCodes = unsigned;  // set of 1 << TBHookProcCode
constexpr TBHookProcCodes HookCodes(TBHookProcCode c) { return 1u << c; }

// The system hooks behind them.
enum TBHookKind { hkCallWndProc = 0, hkCBT = 1, hkGetMessage = 2 };
constexpr int kHookKindCount = 3;
// The hook kind that serves a code: 0, 0, 1, 2.
TBHookKind HookKindOf(TBHookProcCode code);

// Kinds 0 and 1: the window and the message's parameters; kind 2: the
// window being activated; kind 3: the message's wParam and lParam (which
// points to the message).
using TBHookProc = void (*)(TBHookProcCode code, void* window, uintptr_t wParam, intptr_t lParam);

// Installs and removes the system's hooks for the current thread.
class TBHookInstaller {
public:
    virtual ~TBHookInstaller() = default;
    virtual bool Install(TBHookKind kind) = 0;
    virtual void Remove(TBHookKind kind) = 0;
};

// Adds a subscriber (the same procedure only gains a reference) and, unless
// told not to, installs the hooks its codes need.
void SubscribeHooks(TBHookProc proc, TBHookProcCodes codes, bool dontInstallNow = false);
// Drops one reference; hooks no subscriber needs any more are removed.
void UnsubscribeHooks(TBHookProc proc);
// Calls every subscriber of the code in order; a subscriber's exception is
// swallowed and the others are still called.
void CallHookSubscribers(TBHookProcCode code, void* window, uintptr_t wParam, intptr_t lParam);

// What the registry of this thread holds.
bool HookInstalled(TBHookKind kind);
int HookUseCount(TBHookKind kind);
int HookSubscriberCount();
// The thread's installer (the platform's; tests put their own).
TBHookInstaller* SetHookInstaller(TBHookInstaller* installer);
TBHookInstaller& PlatformHookInstaller();

}  // namespace toolbars
