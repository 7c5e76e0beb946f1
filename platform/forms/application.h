#pragma once
// The application: its message loop with a removable application-wide
// message filter, idle handling, hints through one tooltip, the handler of
// exceptions that reach a window procedure, timers' window, and the one
// function through which every message box goes.
#include <windows.h>

#include <exception>
#include <functional>
#include <map>
#include <string>

#include "forms/controls.h"

namespace forms {

class Form;
class Timer;

// Message boxes: the one function every message goes through. Tests switch
// it to a log (SetMessageLog, or the environment variable QIV_MESSAGE_LOG
// naming a file that gets one "caption|text|flags" line per message; the
// answer is then QIV_MESSAGE_ANSWER, or the first button).
int ShowMessageBox(const std::string& text, const std::string& caption, UINT flags);
using MessageLog = std::function<int(const std::string& text, const std::string& caption, UINT flags)>;
void SetMessageLog(MessageLog log);

class Application {
public:
    static Application& Instance();

    // Common controls and the locale's decimal separator (no window yet).
    void Initialize();
    // The hidden application window, made on first use: owner of forms,
    // target of application messages (its hooks see every message sent to it).
    HWND Handle();
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title);

    Form* MainForm() const { return mainForm_; }
    void SetMainForm(Form* form) { mainForm_ = form; }
    // Shows the main form and runs the loop until the program ends.
    void Run();
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Handles every pending message.
    void ProcessMessages();
    // Waits for a message (idle handling first) and handles it.
    void HandleMessage();
    // Handles one message as the loop does; false when there was none.
    bool ProcessMessage();

    // The application-wide filter of queued messages (set to handled to
    // keep a message from its window). Forms that take it off keep the old
    // one and put it back.
    std::function<void(MSG& msg, bool& handled)> OnMessage;
    // Called when the queue is empty; done = false asks to be called again.
    std::function<void(bool& done)> OnIdle;
    // The long hint of the control under the mouse (or of a menu item) changed.
    std::function<void()> OnHint;
    // Replaces the message box of HandleException.
    std::function<void(const std::string& message)> OnException;
    // Shows the message of an exception that reached the loop or a window
    // procedure; the program goes on.
    void HandleException(std::exception_ptr e);

    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& hint);
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool on) { showHint_ = on; }
    int HintPause = 500;
    int HintHidePause = 2500;
    Control* HintControl() const { return hintControl_; }
    bool HintShown() const { return hintShown_; }
    const std::string& HintText() const { return hintText_; }
    void CancelHint();

    // Hooks of the application window: each sees the messages sent to it
    // first; true handles one. The id removes it.
    int HookMainWindow(std::function<bool(win::Message&)> hook);
    void UnhookMainWindow(int id);

    // Timers run on the application window.
    UINT_PTR StartTimer(Timer* t, UINT interval);
    void StopTimer(UINT_PTR id);

    void ControlGone(Control* c);
    int ModalLevel() const { return modalLevel_; }

private:
    friend class Form;
    Application() = default;
    static LRESULT CALLBACK AppProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
    void trackHint(const MSG& msg);
    void showHintNow();
    bool isKeyMessage(MSG& msg);

    HWND handle_ = nullptr;
    HWND tooltip_ = nullptr;
    std::string title_;
    Form* mainForm_ = nullptr;
    bool terminated_ = false;
    std::string hint_;
    bool showHint_ = true;
    Control* hintControl_ = nullptr;
    bool hintShown_ = false;
    std::string hintText_;
    std::map<int, std::function<bool(win::Message&)>> hooks_;
    int nextHook_ = 1;
    std::map<UINT_PTR, Timer*> timers_;
    UINT_PTR nextTimer_ = 100;
    int modalLevel_ = 0;
};

// A component that calls OnTimer every Interval milliseconds while enabled.
class Timer : public Component {
public:
    explicit Timer(Component* owner) : Component(owner) { update(); }
    ~Timer() override;
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on);
    UINT Interval() const { return interval_; }
    void SetInterval(UINT ms);
    NotifyEvent OnTimer;
    void Fire();

private:
    void update();
    bool enabled_ = true;
    UINT interval_ = 1000;
    UINT_PTR id_ = 0;
};

}  // namespace forms
