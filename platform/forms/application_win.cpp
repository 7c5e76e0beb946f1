#include "forms/application.h"

#include <commctrl.h>
#include <ole2.h>

#include <cstdio>
#include <cstdlib>

#include "forms/exception.h"
#include "forms/form.h"
#include "forms/textutil.h"
#include "win/windowclass.h"
#include "win/wintext.h"

namespace forms {

namespace {

MessageLog g_log;

int firstButton(UINT flags) {
    switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL: return IDOK;
    case MB_YESNO:
    case MB_YESNOCANCEL: return IDYES;
    case MB_RETRYCANCEL: return IDRETRY;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    default: return IDOK;
    }
}

}  // namespace

void SetMessageLog(MessageLog log) { g_log = std::move(log); }

int ShowMessageBox(const std::string& text, const std::string& caption, UINT flags) {
    if (g_log) return g_log(text, caption, flags);
    char path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("QIV_MESSAGE_LOG", path, sizeof path);
    if (n > 0 && n < sizeof path) {
        if (FILE* f = std::fopen(path, "ab")) {
            std::fprintf(f, "%s|%s|%u\n", caption.c_str(), text.c_str(), flags);
            std::fclose(f);
        }
        char answer[16];
        const DWORD a = GetEnvironmentVariableA("QIV_MESSAGE_ANSWER", answer, sizeof answer);
        return a > 0 && a < sizeof answer ? std::atoi(answer) : firstButton(flags);
    }
    Application& app = Application::Instance();
    // No window is made for a message: programs report errors before they have one.
    return MessageBoxW(GetActiveWindow(), win::Wide(text).c_str(), win::Wide(caption.empty() ? app.Title() : caption).c_str(),
                       flags);
}

Application& Application::Instance() {
    static Application app;
    return app;
}

void Application::Initialize() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS |
                                             ICC_UPDOWN_CLASS | ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    char sep[4] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, sep, sizeof sep) > 0) SetLocaleDecimalSeparator(sep[0]);
}

HWND Application::Handle() {
    if (!handle_) {
        win::RegisterWindowClass({L"QivFormsApplication", AppProc, 0});
        handle_ = CreateWindowExW(WS_EX_TOOLWINDOW, L"QivFormsApplication", win::Wide(title_).c_str(),
                                  WS_POPUP | WS_SYSMENU | WS_CAPTION | WS_MINIMIZEBOX, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    }
    return handle_;
}

void Application::SetTitle(const std::string& t) {
    title_ = t;
    if (handle_) SetWindowTextW(handle_, win::Wide(t).c_str());
}

LRESULT CALLBACK Application::AppProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    Application& app = Instance();
    try {
        win::Message m{msg, wp, lp};
        auto hooks = app.hooks_;
        for (auto& hook : hooks)
            if (hook.second(m)) return m.result;
        if (msg == WM_TIMER) {
            auto it = app.timers_.find(wp);
            if (it != app.timers_.end()) it->second->Fire();
            if (wp == 1) {
                KillTimer(h, 1);
                app.showHintNow();
            } else if (wp == 2) {
                KillTimer(h, 2);
                app.CancelHint();
            }
            return 0;
        }
    } catch (...) {
        app.HandleException(std::current_exception());
        return 0;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

void Application::HandleException(std::exception_ptr e) {
    std::string text = "Unknown error";
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& x) {
        text = x.what();
    } catch (...) {
    }
    try {
        if (OnException)
            OnException(text);
        else
            ShowMessageBox(text, title_, MB_OK | MB_ICONSTOP);
    } catch (...) {
    }
}

void Application::Run() {
    if (mainForm_) mainForm_->Show();
    while (!terminated_) HandleMessage();
}

void Application::Terminate() {
    if (!terminated_) PostQuitMessage(0);
    terminated_ = true;
}

void Application::ProcessMessages() {
    while (ProcessMessage()) {
    }
}

void Application::HandleMessage() {
    if (ProcessMessage()) return;
    bool done = true;
    if (OnIdle) {
        try {
            OnIdle(done);
        } catch (...) {
            HandleException(std::current_exception());
        }
    }
    if (done && !terminated_) WaitMessage();
}

bool Application::ProcessMessage() {
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (msg.message == WM_QUIT) {
        terminated_ = true;
        return true;
    }
    bool handled = false;
    if (OnMessage) {
        try {
            OnMessage(msg, handled);
        } catch (...) {
            HandleException(std::current_exception());
            handled = true;
        }
    }
    if (handled) return true;
    trackHint(msg);
    if (isKeyMessage(msg)) {
        Control::keyDownDone_ = nullptr;
        return true;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
}

bool Application::isKeyMessage(MSG& msg) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
    Control* c = Control::FromHandle(msg.hwnd);
    if (!c) return false;
    Form* form = c->ParentForm();
    if (!form) return false;
    CancelHint();
    const WORD key = WORD(msg.wParam);
    const ShiftState shift = KeyboardShift();
    try {
        // The control's own key handler comes first.
        if (c->OnKeyDown && c->Handle() == msg.hwnd) {
            WORD k = key;
            c->OnKeyDown(c, k, shift);
            if (k == 0) return true;
            msg.wParam = k;
            Control::keyDownDone_ = msg.hwnd;
        }
        if (form->IsShortCut(key, shift)) return true;
        win::Message m{CM_APPKEYDOWN, msg.wParam, msg.lParam};
        for (auto& hook : std::map<int, std::function<bool(win::Message&)>>(hooks_))
            if (hook.second(m)) return true;
        if (key == VK_TAB || key == VK_RETURN || key == VK_ESCAPE) {
            const LRESULT code = SendMessageW(msg.hwnd, WM_GETDLGCODE, msg.wParam, LPARAM(&msg));
            if (!(code & DLGC_WANTALLKEYS) && !(key == VK_TAB && (code & DLGC_WANTTAB)) &&
                form->DialogKey(key, shift, Control::FromHandle(msg.hwnd)))
                return true;
        }
    } catch (...) {
        HandleException(std::current_exception());
        return true;
    }
    return false;
}

void Application::SetHint(const std::string& hint) {
    if (hint == hint_) return;
    hint_ = hint;
    if (OnHint) {
        try {
            OnHint();
        } catch (...) {
            HandleException(std::current_exception());
        }
    }
}

void Application::trackHint(const MSG& msg) {
    switch (msg.message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_MOUSEWHEEL: CancelHint(); return;
    case WM_MOUSEMOVE: break;
    default: return;
    }
    Control* c = Control::FromHandle(msg.hwnd);
    if (c == hintControl_) return;
    CancelHint();
    hintControl_ = c;
    SetHint(c ? GetLongHint(c->Hint()) : std::string());
    if (c && c->EffectiveShowHint() && !GetShortHint(c->Hint()).empty()) {
        if (HintPause <= 0)
            showHintNow();
        else
            SetTimer(Handle(), 1, UINT(HintPause), nullptr);
    }
}

void Application::showHintNow() {
    if (!hintControl_ || !hintControl_->Handle()) return;
    hintText_ = GetShortHint(hintControl_->Hint());
    if (hintText_.empty()) return;
    if (!tooltip_) {
        tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                   0, 0, 0, 0, Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
        TOOLINFOW ti = {};
        ti.cbSize = TTTOOLINFOW_V1_SIZE;
        ti.uFlags = TTF_TRACK | TTF_ABSOLUTE;
        ti.hwnd = Handle();
        ti.uId = 1;
        ti.lpszText = const_cast<wchar_t*>(L"");
        SendMessageW(tooltip_, TTM_ADDTOOLW, 0, LPARAM(&ti));
        SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 400);
    }
    std::wstring text = win::Wide(hintText_);
    TOOLINFOW ti = {};
    ti.cbSize = TTTOOLINFOW_V1_SIZE;
    ti.hwnd = Handle();
    ti.uId = 1;
    ti.lpszText = text.data();
    SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, LPARAM(&ti));
    POINT p;
    GetCursorPos(&p);
    SendMessageW(tooltip_, TTM_TRACKPOSITION, 0, MAKELPARAM(p.x + 12, p.y + 20));
    SendMessageW(tooltip_, TTM_TRACKACTIVATE, TRUE, LPARAM(&ti));
    hintShown_ = true;
    if (HintHidePause > 0) SetTimer(Handle(), 2, UINT(HintHidePause), nullptr);
}

void Application::CancelHint() {
    if (handle_) {
        KillTimer(handle_, 1);
        KillTimer(handle_, 2);
    }
    if (hintShown_ && tooltip_) {
        TOOLINFOW ti = {};
        ti.cbSize = TTTOOLINFOW_V1_SIZE;
        ti.hwnd = Handle();
        ti.uId = 1;
        SendMessageW(tooltip_, TTM_TRACKACTIVATE, FALSE, LPARAM(&ti));
    }
    hintShown_ = false;
    hintText_.clear();
    hintControl_ = nullptr;
}

int Application::HookMainWindow(std::function<bool(win::Message&)> hook) {
    hooks_.emplace(nextHook_, std::move(hook));
    return nextHook_++;
}

void Application::UnhookMainWindow(int id) { hooks_.erase(id); }

UINT_PTR Application::StartTimer(Timer* t, UINT interval) {
    const UINT_PTR id = nextTimer_++;
    timers_[id] = t;
    SetTimer(Handle(), id, interval, nullptr);
    return id;
}

void Application::StopTimer(UINT_PTR id) {
    if (!id) return;
    timers_.erase(id);
    if (handle_) KillTimer(handle_, id);
}

void Application::ControlGone(Control* c) {
    if (hintControl_ == c) CancelHint();
    if (mainForm_ == c) mainForm_ = nullptr;
}

// Timer -----------------------------------------------------------------------

Timer::~Timer() { Application::Instance().StopTimer(id_); }

void Timer::SetEnabled(bool on) {
    enabled_ = on;
    update();
}

void Timer::SetInterval(UINT ms) {
    interval_ = ms;
    update();
}

void Timer::update() {
    Application::Instance().StopTimer(id_);
    id_ = 0;
    if (enabled_ && interval_ > 0) id_ = Application::Instance().StartTimer(this, interval_);
}

void Timer::Fire() {
    if (enabled_ && OnTimer) OnTimer(this);
}

}  // namespace forms
