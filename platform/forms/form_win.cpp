#include "forms/form.h"

#include <windowsx.h>

#include <algorithm>
#include <functional>

#include "forms/application.h"
#include "forms/menus.h"
#include "forms/stdctrls.h"
#include "win/wintext.h"

namespace forms {

Form::Form(Component* owner) : WinControl(owner) {
    SetVisibleFlag(false);
    SetBounds(0, 0, 400, 300);
    CreateHandle();
}

Form::~Form() {
    if (OnDestroy) {
        try {
            OnDestroy(this);
        } catch (...) {
            Application::Instance().HandleException(std::current_exception());
        }
    }
    if (Application::Instance().MainForm() == this) Application::Instance().SetMainForm(nullptr);
    // The menu bar goes before the components (the menu among them) are freed.
    if (menu_) {
        menu_->SetWindowForm(nullptr);
        if (hwnd_) ::SetMenu(hwnd_, nullptr);
        menu_ = nullptr;
    }
}

HWND Form::ownerWindow() const {
    Application& app = Application::Instance();
    if (app.MainForm() == this) return nullptr;
    if (app.MainForm() && app.MainForm()->Handle() && IsWindowVisible(app.MainForm()->Handle()))
        return app.MainForm()->Handle();
    return app.Handle();
}

void Form::FillCreateParams(CreateParams& p) {
    p.style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    p.exStyle = WS_EX_CONTROLPARENT;
    switch (borderStyle_) {
    case BorderStyle::None: p.style |= WS_POPUP; break;
    case BorderStyle::Single: p.style |= WS_CAPTION | WS_BORDER; break;
    case BorderStyle::Sizeable: p.style |= WS_CAPTION | WS_THICKFRAME; break;
    case BorderStyle::Dialog:
        p.style |= WS_CAPTION | DS_MODALFRAME;
        p.exStyle |= WS_EX_DLGMODALFRAME;
        break;
    case BorderStyle::ToolWindow:
        p.style |= WS_CAPTION;
        p.exStyle |= WS_EX_TOOLWINDOW;
        break;
    case BorderStyle::SizeToolWin:
        p.style |= WS_CAPTION | WS_THICKFRAME;
        p.exStyle |= WS_EX_TOOLWINDOW;
        break;
    }
    if (borderStyle_ != BorderStyle::None && (borderIcons_ & biSystemMenu)) {
        p.style |= WS_SYSMENU;
        if (borderStyle_ != BorderStyle::Dialog && borderStyle_ != BorderStyle::ToolWindow &&
            borderStyle_ != BorderStyle::SizeToolWin) {
            if (borderIcons_ & biMinimize) p.style |= WS_MINIMIZEBOX;
            if (borderIcons_ & biMaximize) p.style |= WS_MAXIMIZEBOX;
        }
    }
}

void Form::applyStyles() {
    if (!hwnd_) return;
    CreateParams p;
    FillCreateParams(p);
    const LONG vis = GetWindowLongW(hwnd_, GWL_STYLE) & (WS_VISIBLE | WS_MAXIMIZE | WS_MINIMIZE | WS_DISABLED);
    SetWindowLongW(hwnd_, GWL_STYLE, LONG(p.style) | vis);
    SetWindowLongW(hwnd_, GWL_EXSTYLE, LONG(p.exStyle));
    SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void Form::SetBorderStyle(BorderStyle s) {
    borderStyle_ = s;
    applyStyles();
}

void Form::SetBorderIcons(BorderIcons b) {
    borderIcons_ = b;
    applyStyles();
}

void Form::SetCaption(const std::string& text) { Control::SetCaption(text); }

WindowState Form::GetWindowState() const {
    if (statePending_ && hwnd_ && !IsWindowVisible(hwnd_)) return pendingState_;
    if (hwnd_ && IsZoomed(hwnd_)) return WindowState::Maximized;
    if (hwnd_ && IsIconic(hwnd_)) return WindowState::Minimized;
    return WindowState::Normal;
}

void Form::SetWindowState(WindowState s) {
    if (!hwnd_) return;
    if (!IsWindowVisible(hwnd_)) {
        pendingState_ = s;
        statePending_ = true;
        return;
    }
    statePending_ = false;
    ShowWindow(hwnd_, s == WindowState::Maximized ? SW_MAXIMIZE : s == WindowState::Minimized ? SW_MINIMIZE : SW_RESTORE);
}

void Form::SetConstraints(int minW, int minH, int maxW, int maxH) {
    minW_ = minW;
    minH_ = minH;
    maxW_ = maxW;
    maxH_ = maxH;
    const int w = std::max(Width(), minW_), h = std::max(Height(), minH_);
    SetBounds(Left(), Top(), maxW_ ? std::min(w, maxW_) : w, maxH_ ? std::min(h, maxH_) : h);
}

void Form::CenterOnScreen() {
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const Rect r = CentreIn({work.left, work.top, work.right, work.bottom}, Width(), Height());
    SetBounds(r.left, r.top, r.Width(), r.Height());
}

void Form::SetStayOnTop(bool on) {
    if (hwnd_)
        SetWindowPos(hwnd_, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Form::SetMenu(MainMenu* menu) {
    if (menu_) menu_->SetWindowForm(nullptr);
    menu_ = menu;
    if (menu_) menu_->SetWindowForm(this);
    if (hwnd_) {
        ::SetMenu(hwnd_, menu_ ? menu_->Handle() : nullptr);
        DrawMenuBar(hwnd_);
    }
}

Control* Form::ActiveControl() const {
    HWND f = GetFocus();
    Control* c = f && IsChild(hwnd_, f) ? Control::FromHandle(f) : nullptr;
    return c && c != this ? c : nullptr;
}

void Form::SetActiveControl(Control* c) {
    if (c) c->SetFocus();
}

void Form::Show() {
    if (!hwnd_) return;
    SetVisibleFlag(true);
    if (!shownOnce_) {
        shownOnce_ = true;
        HWND owner = ownerWindow();
        SetWindowLongPtrW(hwnd_, GWLP_HWNDPARENT, LONG_PTR(owner));
        if (position_ == FormPosition::ScreenCenter)
            CenterOnScreen();
        else if (position_ != FormPosition::Designed) {
            Form* other = position_ == FormPosition::MainFormCenter ? Application::Instance().MainForm()
                                                                    : dynamic_cast<Form*>(Owner());
            if (other && other != this && other->Handle()) {
                RECT r;
                GetWindowRect(other->Handle(), &r);
                const Rect c = CentreIn({r.left, r.top, r.right, r.bottom}, Width(), Height());
                SetBounds(c.left, c.top, c.Width(), c.Height());
            } else {
                CenterOnScreen();
            }
        }
        if (OnShow) OnShow(this);
        if (!hwnd_) return;
    }
    if (statePending_) {
        statePending_ = false;
        ShowWindow(hwnd_, pendingState_ == WindowState::Maximized   ? SW_SHOWMAXIMIZED
                          : pendingState_ == WindowState::Minimized ? SW_SHOWMINIMIZED
                                                                    : SW_SHOWNORMAL);
    } else {
        WINDOWPLACEMENT wp{sizeof wp};
        GetWindowPlacement(hwnd_, &wp);
        ShowWindow(hwnd_, wp.showCmd == SW_SHOWMAXIMIZED ? SW_SHOWMAXIMIZED : SW_SHOW);
    }
    SetForegroundWindow(hwnd_);
    if (!ActiveControl()) SelectNext(nullptr, true);
}

void Form::Close() {
    if (modal_) {
        if (modalResult_ == mrNone) modalResult_ = mrCancel;
        return;
    }
    bool can = true;
    if (OnCloseQuery) OnCloseQuery(this, can);
    if (!can) return;
    CloseAction action = modal_ ? CloseAction::Hide
                                : (Application::Instance().MainForm() == this ? CloseAction::Free : CloseAction::Hide);
    if (OnClose) OnClose(this, action);
    if (action == CloseAction::None) return;
    if (Application::Instance().MainForm() == this) {
        Application::Instance().Terminate();
        if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
        return;
    }
    if (action == CloseAction::Minimize) {
        ShowWindow(hwnd_, SW_MINIMIZE);
        return;
    }
    SetVisibleFlag(false);
    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
    if (OnHide) OnHide(this);
    if (action == CloseAction::Free) delete this;
}

namespace {

BOOL CALLBACK collectEnabled(HWND h, LPARAM lp) {
    if (IsWindowVisible(h) && IsWindowEnabled(h)) reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
    return TRUE;
}

}  // namespace

int Form::ShowModal() {
    if (modal_ || !hwnd_) return mrCancel;
    Application& app = Application::Instance();
    app.CancelHint();
    // The other windows of the thread wait while the form shows.
    std::vector<HWND> disabled;
    EnumThreadWindows(GetCurrentThreadId(), collectEnabled, LPARAM(&disabled));
    HWND active = GetActiveWindow();
    disabled.erase(std::remove(disabled.begin(), disabled.end(), hwnd_), disabled.end());
    for (HWND h : disabled) EnableWindow(h, FALSE);
    modal_ = true;
    modalResult_ = mrNone;
    ++app.modalLevel_;
    try {
        Show();
        while (modalResult_ == mrNone && !app.Terminated()) {
            app.HandleMessage();
            if (modalResult_ != mrNone) {
                bool can = true;
                if (OnCloseQuery) OnCloseQuery(this, can);
                if (!can) modalResult_ = mrNone;
            }
        }
        if (app.Terminated() && modalResult_ == mrNone) modalResult_ = mrCancel;
    } catch (...) {
        app.HandleException(std::current_exception());
        if (modalResult_ == mrNone) modalResult_ = mrCancel;
    }
    --app.modalLevel_;
    modal_ = false;
    for (HWND h : disabled)
        if (IsWindow(h)) EnableWindow(h, TRUE);
    if (hwnd_) {
        SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        SetVisibleFlag(false);
    }
    if (active && IsWindow(active)) SetActiveWindow(active);
    CloseAction action = CloseAction::Hide;
    if (OnClose) OnClose(this, action);
    if (OnHide) OnHide(this);
    return modalResult_;
}

bool Form::IsShortCut(WORD key, ShiftState shift) {
    const ShortCut s = MakeShortCut(key, shift);
    if (menu_ && menu_->IsShortCut(s)) return true;
    for (int i = 0; i < ComponentCount(); ++i)
        if (auto* p = dynamic_cast<PopupMenu*>(Components(i)))
            if (p->IsShortCut(s)) return true;
    return false;
}

Button* Form::findButton(bool wantDefault) const {
    Button* found = nullptr;
    std::function<void(const WinControl*)> walk = [&](const WinControl* w) {
        for (int i = 0; i < w->ControlCount() && !found; ++i) {
            Control* c = w->Controls(i);
            if (auto* b = dynamic_cast<Button*>(c))
                if ((wantDefault ? b->Default() : b->Cancel()) && b->Showing() && b->EffectivelyEnabled()) found = b;
            if (auto* wc = dynamic_cast<WinControl*>(c)) walk(wc);
        }
    };
    walk(this);
    return found;
}

bool Form::DialogKey(WORD key, ShiftState shift, Control* focused) {
    if (key == VK_TAB && !(shift & (ssCtrl | ssAlt))) {
        SelectNext(focused, !(shift & ssShift));
        return true;
    }
    if (key == VK_RETURN) {
        Button* b = dynamic_cast<Button*>(focused);
        if (!b) b = findButton(true);
        if (b) {
            b->Click();
            return true;
        }
    }
    if (key == VK_ESCAPE) {
        if (Button* b = findButton(false)) {
            b->Click();
            return true;
        }
    }
    return false;
}

void Form::Paint(Canvas& canvas) {
    if (OnPaint) OnPaint(this, canvas);
}

bool Form::HandleMessage(win::Message& m) {
    using M = win::MessageMap<Form>;
    static const M map = {
        win::On<Form>(WM_SIZE, &Form::OnWmSizeForm),
        win::On<Form>(WM_MOVE, &Form::OnWmMove),
        win::On<Form>(WM_CLOSE, &Form::OnWmClose),
        win::On<Form>(WM_COMMAND, &Form::OnWmCommand),
        win::On<Form>(WM_GETMINMAXINFO, &Form::OnWmMinMax),
        win::On<Form>(WM_ACTIVATE, &Form::OnWmActivate),
        win::On<Form>(WM_MENUSELECT, &Form::OnWmMenu),
        win::On<Form>(WM_INITMENUPOPUP, &Form::OnWmMenu),
        win::On<Form>(WM_MEASUREITEM, &Form::OnWmMenu),
        win::On<Form>(WM_DRAWITEM, &Form::OnWmMenu),
        win::On<Form>(WM_SYSCOMMAND, &Form::OnWmSysCommand),
    };
    return map.Dispatch(this, m) || WinControl::HandleMessage(m);
}

bool Form::OnWmSizeForm(win::Message& m) {
    if (m.wParam == SIZE_MINIMIZED) return false;
    RECT r;
    GetWindowRect(hwnd_, &r);
    POINT tl{r.left, r.top};
    SetBoundsFromWindow(tl.x, tl.y, r.right - r.left, r.bottom - r.top);
    return false;
}

bool Form::OnWmMove(win::Message& m) {
    RECT r;
    GetWindowRect(hwnd_, &r);
    SetBoundsFromWindow(r.left, r.top, r.right - r.left, r.bottom - r.top);
    return false;
}

bool Form::OnWmClose(win::Message& m) {
    Close();
    return true;
}

bool Form::OnWmCommand(win::Message& m) {
    if (m.lParam != 0 || HIWORD(m.wParam) > 1) return false;
    if (MenuItem* item = MenuItem::FromCommand(LOWORD(m.wParam))) {
        item->Click();
        return true;
    }
    return false;
}

// The key menu (Alt, F10, Alt+letter) is offered to the application's
// hooks first (lParam: the message); a non-zero answer handles it.
bool Form::OnWmSysCommand(win::Message& m) {
    if ((m.wParam & 0xFFF0) != SC_KEYMENU) return false;
    win::Message copy = m;
    if (!SendMessageW(Application::Instance().Handle(), CM_APPSYSCOMMAND, 0, LPARAM(&copy))) return false;
    m.result = 0;
    return true;
}

bool Form::OnWmMinMax(win::Message& m) {
    auto* mm = reinterpret_cast<MINMAXINFO*>(m.lParam);
    if (minW_) mm->ptMinTrackSize.x = minW_;
    if (minH_) mm->ptMinTrackSize.y = minH_;
    if (maxW_) mm->ptMaxTrackSize.x = maxW_;
    if (maxH_) mm->ptMaxTrackSize.y = maxH_;
    return true;
}

bool Form::OnWmActivate(win::Message& m) {
    if (LOWORD(m.wParam) == WA_INACTIVE) {
        HWND f = GetFocus();
        if (f && IsChild(hwnd_, f)) lastFocus_ = f;
        if (OnDeactivate) OnDeactivate(this);
    } else {
        if (lastFocus_ && IsWindow(lastFocus_) && IsChild(hwnd_, lastFocus_)) ::SetFocus(lastFocus_);
        if (OnActivate) OnActivate(this);
    }
    return false;
}

bool Form::OnWmMenu(win::Message& m) {
    switch (m.msg) {
    case WM_MENUSELECT: {
        const UINT flags = HIWORD(m.wParam);
        MenuItem* item = nullptr;
        if (flags == 0xFFFF && !m.lParam) {
            Application::Instance().SetHint("");
            return false;
        }
        if (flags & MF_POPUP) {
            HMENU sub = GetSubMenu(HMENU(m.lParam), LOWORD(m.wParam));
            MENUITEMINFOW mi{sizeof mi, MIIM_DATA};
            if (sub && GetMenuItemInfoW(HMENU(m.lParam), LOWORD(m.wParam), TRUE, &mi))
                item = reinterpret_cast<MenuItem*>(mi.dwItemData);
        } else {
            item = MenuItem::FromCommand(LOWORD(m.wParam));
        }
        Application::Instance().SetHint(item ? GetLongHint(item->Hint()) : std::string());
        return false;
    }
    case WM_INITMENUPOPUP: {
        HMENU h = HMENU(m.wParam);
        MENUINFO mi{sizeof mi, MIM_MENUDATA};
        if (GetMenuInfo(h, &mi) && mi.dwMenuData) {
            auto* item = reinterpret_cast<MenuItem*>(mi.dwMenuData);
            if (item->OnClick) item->OnClick(item);
        }
        return false;
    }
    case WM_MEASUREITEM: {
        auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(m.lParam);
        if (mis->CtlType != ODT_MENU) return false;
        MenuItem* item = MenuItem::FromCommand(mis->itemID);
        forms::Menu* menu = item ? item->GetParentMenu() : nullptr;
        ImageList* images = menu ? menu->Images() : nullptr;
        mis->itemWidth = images ? UINT(images->Width()) : 16;
        mis->itemHeight = images ? UINT(images->Height()) : 16;
        m.result = TRUE;
        return true;
    }
    case WM_DRAWITEM: {
        auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(m.lParam);
        if (dis->CtlType != ODT_MENU) return false;
        MenuItem* item = MenuItem::FromCommand(dis->itemID);
        forms::Menu* menu = item ? item->GetParentMenu() : nullptr;
        if (menu && menu->Images()) {
            Canvas c(dis->hDC);
            menu->Images()->Draw(c, dis->rcItem.left, dis->rcItem.top, item->ImageIndex(), item->Enabled());
        }
        m.result = TRUE;
        return true;
    }
    }
    return false;
}

}  // namespace forms
