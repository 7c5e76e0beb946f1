#include "modalscript.h"

namespace qivtest {

ModalScript* ModalScript::current_ = nullptr;

ModalScript::ModalScript(std::vector<Step> steps, DWORD timeoutMs)
    : steps_(std::move(steps)), deadline_(GetTickCount() + timeoutMs) {
    current_ = this;
    timer_ = SetTimer(nullptr, 0, 30, tick);
}

ModalScript::~ModalScript() {
    if (timer_) KillTimer(nullptr, timer_);
    if (current_ == this) current_ = nullptr;
}

void CALLBACK ModalScript::tick(HWND, UINT, UINT_PTR, DWORD) {
    if (current_) current_->run();
}

void ModalScript::run() {
    if (busy_) return;
    busy_ = true;
    if (!timedOut_ && int(GetTickCount() - deadline_) > 0) timedOut_ = true;
    if (timedOut_) {
        for (HWND d : ThreadWindows()) PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
    } else if (next_ < steps_.size() && steps_[next_]()) {
        ++next_;
    }
    busy_ = false;
}

namespace {

BOOL CALLBACK collect(HWND w, LPARAM lp) {
    if (IsWindowVisible(w)) reinterpret_cast<std::vector<HWND>*>(lp)->push_back(w);
    return TRUE;
}

struct Search {
    int id;
    const wchar_t* cls;
    HWND found;
};

BOOL CALLBACK match(HWND w, LPARAM lp) {
    auto* s = reinterpret_cast<Search*>(lp);
    bool ok;
    if (s->cls) {
        wchar_t cls[64] = {};
        GetClassNameW(w, cls, 64);
        ok = lstrcmpiW(cls, s->cls) == 0;
    } else {
        ok = GetDlgCtrlID(w) == s->id;
    }
    if (!ok) return TRUE;
    s->found = w;
    return FALSE;
}

}  // namespace

std::vector<HWND> ThreadWindows() {
    std::vector<HWND> out;
    EnumThreadWindows(GetCurrentThreadId(), collect, reinterpret_cast<LPARAM>(&out));
    return out;
}

HWND OwnedDialog(HWND owner) {
    for (HWND d : ThreadWindows())
        if (GetWindow(d, GW_OWNER) == owner) return d;
    return nullptr;
}

HWND DialogWithControl(int id, const wchar_t* caption) {
    for (HWND d : ThreadWindows())
        if (Descendant(d, id) && (!caption || Text(d) == caption)) return d;
    return nullptr;
}

HWND Descendant(HWND root, int id) {
    Search s{id, nullptr, nullptr};
    if (root) EnumChildWindows(root, match, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND DescendantOfClass(HWND root, const wchar_t* cls) {
    Search s{0, cls, nullptr};
    if (root) EnumChildWindows(root, match, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

bool Click(HWND button) { return button && PostMessageW(button, BM_CLICK, 0, 0); }

bool Click(HWND root, int id) { return Click(Descendant(root, id)); }

std::wstring Text(HWND w) {
    wchar_t buf[1024] = {};
    if (w) GetWindowTextW(w, buf, 1024);
    return buf;
}

bool ConfirmFileDialog(HWND dialog, const std::string& path) {
    // The name field: the combo box of the explorer style, else the edit field.
    HWND name = Descendant(dialog, 0x47c);
    if (!name) name = Descendant(dialog, 0x480);
    if (!name) return false;
    SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(Descendant(dialog, IDOK)));
}

void PumpFor(DWORD ms) {
    const DWORD end = GetTickCount() + ms;
    MSG msg;
    while (int(end - GetTickCount()) > 0) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

}  // namespace qivtest
