#pragma once
// Forms: top-level windows built by code. A form shows modelessly or modally
// (ShowModal runs the loop until ModalResult is set), keeps a minimum and a
// maximum size, can centre itself, has a main menu, and handles the dialog
// keys (Tab, Enter for the default button, Escape for the cancel button)
// and the shortcuts of its menus.
#include "forms/controls.h"

namespace forms {

class MainMenu;
class Button;

constexpr int mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7;

enum class BorderStyle { None, Single, Sizeable, Dialog, ToolWindow, SizeToolWin };
enum class FormPosition { Designed, ScreenCenter, MainFormCenter, OwnerFormCenter };
enum class WindowState { Normal, Minimized, Maximized };
enum class CloseAction { None, Hide, Free, Minimize };
using BorderIcons = unsigned;
constexpr BorderIcons biSystemMenu = 1, biMinimize = 2, biMaximize = 4;

class Form : public WinControl {
public:
    // The window exists from here on (hidden).
    explicit Form(Component* owner);
    ~Form() override;

    void Show();
    // Asks OnCloseQuery, then OnClose; a modal form ends its loop.
    void Close();
    int ShowModal();
    bool Modal() const { return modal_; }
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int r) { modalResult_ = r; }

    void SetCaption(const std::string& text) override;
    BorderStyle GetBorderStyle() const { return borderStyle_; }
    void SetBorderStyle(BorderStyle s);
    BorderIcons GetBorderIcons() const { return borderIcons_; }
    void SetBorderIcons(BorderIcons b);
    FormPosition Position() const { return position_; }
    void SetPosition(FormPosition p) { position_ = p; }
    WindowState GetWindowState() const;
    // A hidden form takes the state when it is shown (it is not shown for it).
    void SetWindowState(WindowState s);
    // Outer size limits; 0 means none.
    void SetConstraints(int minW, int minH, int maxW = 0, int maxH = 0);
    int MinWidth() const { return minW_; }
    int MinHeight() const { return minH_; }
    void CenterOnScreen();
    void SetStayOnTop(bool on);

    MainMenu* Menu() const { return menu_; }
    void SetMenu(MainMenu* menu);
    Control* ActiveControl() const;
    void SetActiveControl(Control* c);

    // Clicks the enabled menu item (main menu, then popup menus the form
    // owns) whose shortcut is key with shift; true when one was clicked.
    bool IsShortCut(WORD key, ShiftState shift);
    // Tab, Enter and Escape as a dialog handles them; true when handled.
    bool DialogKey(WORD key, ShiftState shift, Control* focused);

    NotifyEvent OnShow, OnHide, OnActivate, OnDeactivate, OnDestroy;
    std::function<void(Component* sender, CloseAction& action)> OnClose;
    std::function<void(Component* sender, bool& canClose)> OnCloseQuery;
    std::function<void(Component* sender, Canvas& canvas)> OnPaint;

    bool HandleMessage(win::Message& m) override;
    bool CanFocus() const override { return false; }

protected:
    void FillCreateParams(CreateParams& p) override;
    void Paint(Canvas& canvas) override;
    HWND ownerWindow() const;
    void applyStyles();

    bool OnWmSizeForm(win::Message& m);
    bool OnWmClose(win::Message& m);
    bool OnWmCommand(win::Message& m);
    bool OnWmMinMax(win::Message& m);
    bool OnWmActivate(win::Message& m);
    bool OnWmMenu(win::Message& m);
    bool OnWmSysCommand(win::Message& m);
    bool OnWmMove(win::Message& m);

private:
    Button* findButton(bool wantDefault) const;

    bool modal_ = false;
    int modalResult_ = mrNone;
    BorderStyle borderStyle_ = BorderStyle::Sizeable;
    BorderIcons borderIcons_ = biSystemMenu | biMinimize | biMaximize;
    FormPosition position_ = FormPosition::Designed;
    int minW_ = 0, minH_ = 0, maxW_ = 0, maxH_ = 0;
    MainMenu* menu_ = nullptr;
    HWND lastFocus_ = nullptr;
    bool shownOnce_ = false;
    bool statePending_ = false;
    WindowState pendingState_ = WindowState::Normal;
};

}  // namespace forms
