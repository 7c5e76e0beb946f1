// Small windows of the control's user interface: the hyperlink of the dialogs
// and the loading panel, the control bar's repeat button, the measuring and
// painting of the tooltip window, opening an address, and the title callback
// of a hosting frame.
#pragma once
#include <windows.h>

#include <string>

#include "linkwindows.h"

class CQivPlayerCtl;

// Shows an address in the browser window of the page that hosts the control;
// without one (or when it refuses) through the shell's "open".
void OpenUrl(CQivPlayerCtl* control, const char* address);

// Posted to the parent after a click on a hyperlink (WM_USER + 21).
constexpr UINT kQivLinkClickedMessage = WM_USER + 21;

class CHyperLink {
public:
    CHyperLink() = default;
    ~CHyperLink();
    CHyperLink(const CHyperLink&) = delete;
    CHyperLink& operator=(const CHyperLink&) = delete;

    // A visible child window of parent over rect (parent's client coordinates).
    HWND Create(HWND parent, const RECT& rect);
    void Destroy();
    void SetLink(const char* caption, const char* address, CQivPlayerCtl* control);
    void SetNormalColor(COLORREF color);
    void SetHoverColor(COLORREF color);

    HWND hwnd() const { return hwnd_; }
    const std::string& address() const { return address_; }
    const qivctl::LinkPointer& pointer() const { return pointer_; }

private:
    static LRESULT CALLBACK windowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT onMessage(UINT msg, WPARAM wp, LPARAM lp);
    void paint();
    void repaint();

    HWND hwnd_ = nullptr;
    CQivPlayerCtl* control_ = nullptr;
    std::string address_;
    qivctl::LinkPointer pointer_;
    HCURSOR cursor_ = nullptr;
    HFONT font_ = nullptr;
    COLORREF normal_ = qivctl::kLinkNormalColor, hover_ = qivctl::kLinkHoverColor;
};

// A push button of the control bar that runs its command once when pressed and
// again every kRepeatIntervalMs while it is held.
class CRepeatButton {
public:
    CRepeatButton() = default;
    ~CRepeatButton();
    CRepeatButton(const CRepeatButton&) = delete;
    CRepeatButton& operator=(const CRepeatButton&) = delete;

    // A button of the control's own button class (a push button underneath).
    HWND Create(HWND parent, const char* caption, int id);
    void Bind(CQivPlayerCtl* control, int command);
    HWND hwnd() const { return hwnd_; }
    bool pressed() const { return pressed_; }

private:
    static LRESULT CALLBACK windowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT onMessage(UINT msg, WPARAM wp, LPARAM lp);
    void run();

    HWND hwnd_ = nullptr;
    CQivPlayerCtl* control_ = nullptr;
    int command_ = 0;
    bool pressed_ = false;
};

// The control's tooltip window: its size for its text (rect's left and top
// given), and its painting.
void MeasureTooltip(HWND tooltip, RECT& rect);
void PaintTooltip(HWND tooltip);

// Title callback of a hosting frame (IQivHostHooks::SetTitleCallback): the
// window's plain title is kept per window while extra text follows it.
void CALLBACK OnTitleChange(HWND window, const char* extra, const char* filePath);

// Window classes of this file, at process detach.
void qivUnregisterLinkWindowClasses();
