// Driving modal windows in the tests: while a call that shows a modal dialog
// runs on this thread, a thread timer tries the script's steps in turn (each
// until it reports done). Past the deadline every dialog of the thread is
// cancelled (IDCANCEL to every window of the thread), so that no test waits on a modal window for ever.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace qivtest {

class ModalScript {
public:
    using Step = std::function<bool()>;
    explicit ModalScript(std::vector<Step> steps, DWORD timeoutMs = 20000);
    ~ModalScript();
    ModalScript(const ModalScript&) = delete;
    ModalScript& operator=(const ModalScript&) = delete;

    // Every step ran before the deadline.
    bool finished() const { return next_ == steps_.size() && !timedOut_; }
    size_t stepsDone() const { return next_; }

private:
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD);
    void run();

    std::vector<Step> steps_;
    size_t next_ = 0;
    DWORD deadline_;
    bool timedOut_ = false, busy_ = false;
    UINT_PTR timer_ = 0;
    static ModalScript* current_;
};

// Visible top-level windows of this thread; the one owned by owner.
std::vector<HWND> ThreadWindows();
HWND OwnedDialog(HWND owner);
// A window of this thread that has a descendant with this control id (and
// whose caption is this text when one is given).
HWND DialogWithControl(int id, const wchar_t* caption = nullptr);
// A descendant of root by control id, or by window class.
HWND Descendant(HWND root, int id);
HWND DescendantOfClass(HWND root, const wchar_t* cls);
// Posted button click (a click that opens a modal window must not block the step).
bool Click(HWND root, int id);
bool Click(HWND button);
std::wstring Text(HWND w);
// Fills a file dialog's name field and confirms it.
bool ConfirmFileDialog(HWND dialog, const std::string& path);
// Pumps messages for a while.
void PumpFor(DWORD ms);

}  // namespace qivtest
