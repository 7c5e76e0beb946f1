#include "tbhooks.h"

#include <algorithm>

namespace toolbars {

namespace {

struct Subscriber {
    TBHookProc proc;
    int refs;
    TBHookProcCodes codes;
    int countedRefs;  // references that raised the hooks' use counts
};

struct Registry {
    std::vector<Subscriber> subscribers;
    int useCount[kHookKindCount] = {};
    bool installed[kHookKindCount] = {};
    TBHookInstaller* installer = nullptr;

    TBHookInstaller& inst() { return installer ? *installer : PlatformHookInstaller(); }
    ~Registry() {
        // The thread ends: its hooks go with it.
        for (int k = 0; k < kHookKindCount; ++k)
            if (installed[k]) {
                installed[k] = false;
                inst().Remove(TBHookKind(k));
            }
    }
};

Registry& reg() {
    thread_local Registry r;
    return r;
}

// The hook kinds that a set of codes needs.
unsigned kindsOf(TBHookProcCodes codes) {
    unsigned kinds = 0;
    for (int c = hpSendActivateApp; c <= hpGetMessage; ++c)
        if (codes & (1u << c)) kinds |= 1u << HookKindOf(TBHookProcCode(c));
    return kinds;
}

}  // namespace

TBHookKind HookKindOf(TBHookProcCode code) {
    switch (code) {
    case hpSendActivateApp:
    case hpSendWindowPosChanged: return hkCallWndProc;
    case hpCBTActivate: return hkCBT;
    case hpGetMessage: return hkGetMessage;
    }
    return hkCallWndProc;
}

void SubscribeHooks(TBHookProc proc, TBHookProcCodes codes, bool dontInstallNow) {
    Registry& r = reg();
    auto it = std::find_if(r.subscribers.begin(), r.subscribers.end(), [&](const Subscriber& s) { return s.proc == proc; });
    if (it == r.subscribers.end()) it = r.subscribers.insert(r.subscribers.end(), {proc, 0, codes, 0});
    ++it->refs;
    if (dontInstallNow) return;
    ++it->countedRefs;
    const unsigned kinds = kindsOf(codes);
    for (int k = 0; k < kHookKindCount; ++k) {
        if (!(kinds & (1u << k))) continue;
        ++r.useCount[k];
        if (!r.installed[k]) r.installed[k] = r.inst().Install(TBHookKind(k));
    }
}

void UnsubscribeHooks(TBHookProc proc) {
    Registry& r = reg();
    auto it = std::find_if(r.subscribers.begin(), r.subscribers.end(), [&](const Subscriber& s) { return s.proc == proc; });
    if (it == r.subscribers.end()) return;
    const unsigned kinds = kindsOf(it->codes);
    // References that installed nothing go first.
    const bool counted = it->refs == it->countedRefs;
    if (counted) --it->countedRefs;
    if (--it->refs == 0) r.subscribers.erase(it);
    if (!counted) return;
    for (int k = 0; k < kHookKindCount; ++k) {
        if (!(kinds & (1u << k)) || r.useCount[k] == 0) continue;
        if (--r.useCount[k] == 0 && r.installed[k]) {
            r.installed[k] = false;
            r.inst().Remove(TBHookKind(k));
        }
    }
    if (r.subscribers.empty()) r.subscribers.shrink_to_fit();
}

void CallHookSubscribers(TBHookProcCode code, void* window, uintptr_t wParam, intptr_t lParam) {
    // Subscribers may come and go while they are called.
    const std::vector<Subscriber> copy = reg().subscribers;
    for (const Subscriber& s : copy) {
        if (!(s.codes & (1u << code))) continue;
        const auto& now = reg().subscribers;
        if (std::none_of(now.begin(), now.end(), [&](const Subscriber& n) { return n.proc == s.proc; })) continue;
        try {
            s.proc(code, window, wParam, lParam);
        } catch (...) {
        }
    }
}

bool HookInstalled(TBHookKind kind) { return reg().installed[kind]; }
int HookUseCount(TBHookKind kind) { return reg().useCount[kind]; }
int HookSubscriberCount() { return int(reg().subscribers.size()); }

TBHookInstaller* SetHookInstaller(TBHookInstaller* installer) {
    TBHookInstaller* old = reg().installer;
    reg().installer = installer;
    return old;
}

}  // namespace toolbars
