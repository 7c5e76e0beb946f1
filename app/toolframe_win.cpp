#include "toolframe_win.h"

#include <windowsx.h>

#include <algorithm>

#include "forms/form.h"
#include "forms/inifile.h"
#include "forms/menus.h"

namespace stellwerk {

// ToolItem --------------------------------------------------------------------

ToolItem::ToolItem(forms::Component* owner) : GraphicControl(owner) {
    SetBounds(0, 0, 24, 24);
    SetParentColor(true);
}

void ToolItem::SetChecked(bool on) {
    if (on == checked_) return;
    checked_ = on;
    if (on && GroupIndex != 0 && Parent())
        for (int i = 0; i < Parent()->ControlCount(); ++i)
            if (auto* other = dynamic_cast<ToolItem*>(Parent()->Controls(i)))
                if (other != this && other->GroupIndex == GroupIndex && other->checked_) {
                    other->checked_ = false;
                    other->Invalidate();
                }
    Invalidate();
}

void ToolItem::Click() {
    if (!EffectivelyEnabled()) return;
    if (AutoCheck) SetChecked(GroupIndex != 0 || !checked_);
    GraphicControl::Click();
}

void ToolItem::setHot(bool on) {
    if (on == hot_) return;
    hot_ = on;
    Invalidate();
    if (OnSelect) OnSelect(this, on);
}

bool ToolItem::HandleMessage(win::Message& m) {
    switch (m.msg) {
    case WM_MOUSEMOVE:
        if (EffectivelyEnabled()) setHot(true);
        break;
    case WM_LBUTTONDOWN:
        pressed_ = true;
        Invalidate();
        break;
    case WM_LBUTTONUP: {
        pressed_ = false;
        const bool handled = GraphicControl::HandleMessage(m);
        if (!ClientRect().Contains(GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam))) setHot(false);
        Invalidate();
        return handled;
    }
    case WM_MOUSELEAVE:
        if (!pressed_) setHot(false);
        break;
    case WM_CAPTURECHANGED:
        pressed_ = false;
        break;
    }
    return GraphicControl::HandleMessage(m);
}

void ToolItem::Paint(forms::Canvas& canvas) {
    const forms::Rect r = ClientRect();
    RECT rc{r.left, r.top, r.right, r.bottom};
    const bool enabled = EffectivelyEnabled();
    if (checked_ || (pressed_ && hot_)) {
        if (checked_ && !pressed_) {
            canvas.brush.color = forms::clBtnHighlight;
            canvas.FillRect({r.left + 1, r.top + 1, r.right - 1, r.bottom - 1});
        }
        DrawEdge(canvas.Handle(), &rc, BDR_SUNKENOUTER, BF_RECT);
    } else if (hot_ && enabled) {
        DrawEdge(canvas.Handle(), &rc, BDR_RAISEDINNER, BF_RECT);
    }
    const int shift = checked_ || pressed_ ? 1 : 0;
    const forms::Rect inner{r.left + 3 + shift, r.top + 3 + shift, r.right - 3 + shift, r.bottom - 3 + shift};
    if (Glyph) {
        Glyph(canvas, inner, enabled);
    } else if (!Caption().empty()) {
        forms::Rect t = inner;
        canvas.font.SetColor(enabled ? forms::clBtnText : forms::clGrayText);
        canvas.DrawText(Caption(), t, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
}

// ToolWindow ------------------------------------------------------------------

ToolWindow::ToolWindow(forms::Component* owner, ToolKind kind) : Panel(owner), kind_(kind) {
    SetBevelOuter(forms::Bevel::Raised);
    SetBevelInner(forms::Bevel::None);
}

void ToolWindow::SetCaption(const std::string& text) {
    forms::Control::SetCaption(text);
    Invalidate();
}

void ToolWindow::SetShown(bool on) {
    if (on == Visible()) return;
    SetVisible(on);
    if (OnVisibleChanged) OnVisibleChanged(this);
}

forms::Rect ToolWindow::AlignArea() const {
    forms::Rect r = ClientRect();
    if (kind_ == ToolKind::ToolWindow)
        r = {r.left + 2, r.top + kStrip + 2, r.right - 2, r.bottom - 2};
    else
        r = {r.left + kGrip, r.top + 1, r.right - 12, r.bottom - 1};
    return r;
}

int ToolWindow::ClientAreaWidth() const { return AlignArea().Width(); }
int ToolWindow::ClientAreaHeight() const { return AlignArea().Height(); }

void ToolWindow::SetClientAreaSize(int width, int height) {
    SetBounds(Left(), Top(), width + Width() - ClientAreaWidth(), height + Height() - ClientAreaHeight());
}

forms::Rect ToolWindow::closeBox() const {
    const forms::Rect r = ClientRect();
    if (kind_ == ToolKind::ToolWindow) return {r.right - kStrip - 1, r.top + 2, r.right - 3, r.top + kStrip};
    return {r.right - 11, r.top + 3, r.right - 2, r.top + 12};
}

void ToolWindow::Paint(forms::Canvas& canvas) {
    const forms::Rect r = ClientRect();
    RECT rc{r.left, r.top, r.right, r.bottom};
    DrawEdge(canvas.Handle(), &rc, BDR_RAISEDINNER, BF_RECT);
    const forms::Rect box = closeBox();
    if (kind_ == ToolKind::ToolWindow) {
        const forms::Rect strip{r.left + 2, r.top + 2, r.right - 2, r.top + kStrip};
        canvas.brush.color = forms::clGray;
        canvas.FillRect(strip);
        forms::Rect text{strip.left + 4, strip.top, box.left - 2, strip.bottom};
        canvas.font.SetColor(forms::clWhite);
        canvas.font.SetStyle(forms::fsBold);
        canvas.DrawText(forms::StripHotkey(Caption()), text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
        canvas.font.SetStyle(0);
    } else {
        // The grip toolbars are dragged by in the framework.
        for (int x : {r.left + 3, r.left + 5}) {
            canvas.pen.color = forms::clBtnHighlight;
            canvas.MoveTo(x, r.top + 3);
            canvas.LineTo(x, r.bottom - 3);
            canvas.pen.color = forms::clBtnShadow;
            canvas.MoveTo(x + 1, r.top + 3);
            canvas.LineTo(x + 1, r.bottom - 3);
        }
    }
    // The close box: a small cross.
    canvas.pen.color = kind_ == ToolKind::ToolWindow ? forms::clWhite : forms::clBtnText;
    const int cx = (box.left + box.right) / 2, cy = (box.top + box.bottom) / 2;
    for (int d = -1; d <= 0; ++d) {
        canvas.MoveTo(cx - 3 + d, cy - 3);
        canvas.LineTo(cx + 4 + d, cy + 4);
        canvas.MoveTo(cx + 3 + d, cy - 3);
        canvas.LineTo(cx - 4 + d, cy + 4);
    }
}

bool ToolWindow::HandleMessage(win::Message& m) {
    if (m.msg == WM_LBUTTONUP && closeBox().Contains(GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam))) {
        SetShown(false);
        return true;
    }
    return Panel::HandleMessage(m);
}

ToolItem* ToolWindow::AddItem(const char* name, const std::string& caption) {
    auto* item = new ToolItem(Owner());
    item->SetName(name);
    item->SetCaption(caption);
    item->SetParent(this);
    int w = 24;
    if (!caption.empty()) {
        forms::Canvas c(GetDC(nullptr));
        w = std::max(w, c.TextWidth(caption) + 10);
        ReleaseDC(nullptr, c.Handle());
    }
    item->SetBounds(nextItemLeft_, 1, w, 24);
    nextItemLeft_ += w;
    SetBounds(Left(), Top(), nextItemLeft_ + 14, 28);
    return item;
}

void ToolWindow::AddSeparator() { nextItemLeft_ += 6; }

// ToolFrame -------------------------------------------------------------------

ToolFrame::ToolFrame(forms::Form& form) : form_(form) {
    static const struct {
        const char* name;
        forms::Align align;
    } docks[] = {{"DockTop", forms::Align::Top},
                 {"DockBottom", forms::Align::Bottom},
                 {"DockLeft", forms::Align::Left},
                 {"DockRight", forms::Align::Right}};
    for (int i = 0; i < 4; ++i) {
        auto* d = new forms::Panel(&form);
        d->SetName(docks[i].name);
        d->SetBevelOuter(forms::Bevel::None);
        d->SetCaption("");
        d->SetBounds(0, 0, 200, 30);
        d->SetAlign(docks[i].align);
        d->SetParent(&form);
        docks_[i] = d;
    }
}

ToolWindow* ToolFrame::add(DockSide side, const char* name, ToolKind kind) {
    auto* w = new ToolWindow(&form_, kind);
    w->SetName(name);
    w->SetCaption(name);
    forms::Panel* dock = docks_[int(side)];
    const bool row = side == DockSide::Top || side == DockSide::Bottom;
    // After the windows already there.
    int at = 0;
    for (ToolWindow* o : windows_)
        if (o->Parent() == dock) at = std::max(at, row ? o->BoundsRect().right : o->BoundsRect().bottom);
    w->SetBounds(row ? at : 0, row ? 0 : at, 100, 28);
    w->SetParent(dock);
    windows_.push_back(w);
    return w;
}

ToolWindow* ToolFrame::MakeToolbar(DockSide side, const char* name) {
    ToolWindow* w = add(side, name, ToolKind::Toolbar);
    w->SetAlign(side == DockSide::Top || side == DockSide::Bottom ? forms::Align::Left : forms::Align::Top);
    w->Resizable = false;
    return w;
}

ToolWindow* ToolFrame::MakeToolWindow(DockSide side, const char* name, int clientWidth, int clientHeight,
                                      bool fill) {
    ToolWindow* w = add(side, name, ToolKind::ToolWindow);
    w->SetClientAreaSize(clientWidth, clientHeight);
    const bool row = side == DockSide::Top || side == DockSide::Bottom;
    w->SetAlign(fill ? forms::Align::Client : row ? forms::Align::Left : forms::Align::Top);
    return w;
}

void ToolFrame::Arrange() {
    for (int i = 0; i < 4; ++i) {
        forms::Panel* dock = docks_[i];
        const bool row = i < 2;
        int size = 0;
        for (ToolWindow* w : windows_)
            if (w->Parent() == dock && w->Visible()) size = std::max(size, row ? w->Height() : w->Width());
        dock->SetVisible(size > 0);
        if (size > 0) {
            if (row)
                dock->SetHeight(size);
            else
                dock->SetWidth(size);
        }
    }
    form_.Realign();
}

void ToolFrame::LoadPositions(const std::string& iniPath, const std::string& prefix) {
    const forms::IniFile ini(iniPath);
    for (ToolWindow* w : windows_) {
        const std::string section = prefix + w->Name();
        if (ini.ReadInteger(section, "Rev", 0) != 2000) continue;
        w->SetShown(ini.ReadInteger(section, "Visible", w->Visible() ? 1 : 0) != 0);
    }
    Arrange();
}

void ToolFrame::SavePositions(const std::string& iniPath, const std::string& prefix) const {
    forms::IniFile ini(iniPath);
    for (ToolWindow* w : windows_) {
        const std::string section = prefix + w->Name();
        ini.WriteInteger(section, "Rev", 2000);
        ini.WriteInteger(section, "Visible", w->Visible() ? 1 : 0);
        ini.WriteString(section, "DockedTo", w->Parent() ? w->Parent()->Name() : "");
    }
    ini.UpdateFile();
}

}  // namespace stellwerk
