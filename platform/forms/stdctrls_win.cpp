#include "forms/stdctrls.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "forms/application.h"
#include "forms/form.h"
#include "forms/textutil.h"
#include "win/wintext.h"

namespace forms {

namespace {

UINT textFlags(Alignment a) {
    return a == Alignment::Center ? DT_CENTER : a == Alignment::Right ? DT_RIGHT : DT_LEFT;
}

}  // namespace

// Label -----------------------------------------------------------------------

Label::Label(Component* owner) : GraphicControl(owner) {
    SetParentColor(true);
    SetBounds(0, 0, 65, 13);
}

void Label::SetAlignment(Alignment a) {
    alignment_ = a;
    Invalidate();
}
void Label::SetLayout(TextLayout l) {
    layout_ = l;
    Invalidate();
}
void Label::SetAutoSize(bool on) {
    autoSize_ = on;
    adjustSize();
}
void Label::SetWordWrap(bool on) {
    wordWrap_ = on;
    adjustSize();
    Invalidate();
}
void Label::SetTransparent(bool on) {
    transparent_ = on;
    Invalidate();
}

void Label::SetCaption(const std::string& text) {
    Control::SetCaption(text);
    adjustSize();
}

void Label::FontChanged() {
    Control::FontChanged();
    adjustSize();
}

void Label::adjustSize() {
    if (!autoSize_ || GetAlign() != Align::None || wordWrap_) return;
    HDC dc = GetDC(nullptr);
    Canvas c(dc);
    c.font = GetFont();
    Rect r{0, 0, 10000, 100};
    c.DrawText(Caption().empty() ? std::string(" ") : Caption(), r, DT_CALCRECT | DT_SINGLELINE);
    ReleaseDC(nullptr, dc);
    SetBounds(Left(), Top(), r.Width(), r.Height());
}

void Label::Paint(Canvas& canvas) {
    Rect r = ClientRect();
    UINT flags = textFlags(alignment_) | (wordWrap_ ? DT_WORDBREAK : DT_SINGLELINE);
    if (!wordWrap_) flags |= layout_ == TextLayout::Center ? DT_VCENTER : layout_ == TextLayout::Bottom ? DT_BOTTOM : 0;
    if (!EffectivelyEnabled()) canvas.font.SetColor(clGrayText);
    canvas.DrawText(Caption(), r, flags);
}

// Buttons ---------------------------------------------------------------------

ButtonControl::ButtonControl(Component* owner) : WinControl(owner) {
    tabStop_ = true;
    SetParentColor(true);
}

Button::Button(Component* owner) : ButtonControl(owner) {}

void Button::FillCreateParams(CreateParams& p) {
    p.className = WC_BUTTONW;
    p.style |= WS_TABSTOP | (default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
}

void Button::SetDefault(bool on) {
    default_ = on;
    if (Handle()) SendMessageW(Handle(), BM_SETSTYLE, on ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void Button::Click() {
    if (!EffectivelyEnabled()) return;
    if (modalResult_)
        if (Form* f = ParentForm()) f->SetModalResult(modalResult_);
    Control::Click();
}

bool Button::HandleMessage(win::Message& m) {
    if (m.msg == kReflect + WM_COMMAND && HIWORD(m.wParam) == BN_CLICKED) {
        Click();
        return true;
    }
    return ButtonControl::HandleMessage(m);
}

CheckBox::CheckBox(Component* owner) : ButtonControl(owner) { SetBounds(0, 0, 97, 17); }

void CheckBox::FillCreateParams(CreateParams& p) {
    p.className = WC_BUTTONW;
    p.style |= WS_TABSTOP | BS_3STATE;
}

void CheckBox::HandleCreated() {
    SendMessageW(Handle(), BM_SETCHECK, state_ == CheckState::Checked ? BST_CHECKED
                                        : state_ == CheckState::Grayed ? BST_INDETERMINATE
                                                                       : BST_UNCHECKED, 0);
}

void CheckBox::SetState(CheckState s) {
    if (s == state_) return;
    state_ = s;
    if (Handle()) HandleCreated();
    Click();
}

bool CheckBox::HandleMessage(win::Message& m) {
    if (m.msg == kReflect + WM_COMMAND && HIWORD(m.wParam) == BN_CLICKED) {
        if (state_ == CheckState::Unchecked)
            SetState(CheckState::Checked);
        else if (state_ == CheckState::Checked)
            SetState(allowGrayed_ ? CheckState::Grayed : CheckState::Unchecked);
        else
            SetState(CheckState::Unchecked);
        return true;
    }
    return ButtonControl::HandleMessage(m);
}

RadioButton::RadioButton(Component* owner) : ButtonControl(owner) { SetBounds(0, 0, 113, 17); }

void RadioButton::FillCreateParams(CreateParams& p) {
    p.className = WC_BUTTONW;
    p.style |= WS_TABSTOP | BS_RADIOBUTTON;
}

void RadioButton::HandleCreated() { SendMessageW(Handle(), BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0); }

void RadioButton::SetChecked(bool on) {
    if (on == checked_) return;
    checked_ = on;
    if (Handle()) HandleCreated();
    if (on && Parent())
        for (int i = 0; i < Parent()->ControlCount(); ++i)
            if (auto* r = dynamic_cast<RadioButton*>(Parent()->Controls(i)))
                if (r != this) r->SetChecked(false);
    if (on) Click();
}

bool RadioButton::HandleMessage(win::Message& m) {
    if (m.msg == kReflect + WM_COMMAND && HIWORD(m.wParam) == BN_CLICKED) {
        SetChecked(true);
        return true;
    }
    return ButtonControl::HandleMessage(m);
}

GroupBox::GroupBox(Component* owner) : WinControl(owner) {
    SetBounds(0, 0, 185, 105);
    SetParentColor(true);
}

void GroupBox::FillCreateParams(CreateParams& p) {
    p.className = WC_BUTTONW;
    p.style |= BS_GROUPBOX | WS_CLIPCHILDREN;
    p.exStyle |= WS_EX_CONTROLPARENT;
}

Rect GroupBox::AlignArea() const {
    Rect r = ClientRect();
    return {r.left + 2, r.top + 15, r.right - 2, r.bottom - 2};
}

RadioGroup::RadioGroup(Component* owner) : GroupBox(owner) {
    items_.OnChange = [this] { rebuild(); };
}

void RadioGroup::rebuild() {
    for (RadioButton* b : buttons_) delete b;
    buttons_.clear();
    for (int i = 0; i < items_.Count(); ++i) {
        auto* b = new RadioButton(nullptr);
        b->SetCaption(items_[i]);
        b->OnClick = [this, i](Component*) {
            if (updating_) return;
            itemIndex_ = i;
            Click();
        };
        b->SetParent(this);
        buttons_.push_back(b);
    }
    if (itemIndex_ >= items_.Count()) itemIndex_ = -1;
    arrange();
    SetItemIndex(itemIndex_);
}

void RadioGroup::arrange() {
    if (buttons_.empty()) return;
    const Rect area = AlignArea();
    const int cols = std::max(columns_, 1);
    const int rows = (int(buttons_.size()) + cols - 1) / cols;
    const int w = (area.Width() - 8) / cols;
    const int h = std::max(rows ? (area.Height() - 4) / rows : 17, 1);
    for (size_t i = 0; i < buttons_.size(); ++i) {
        const int c = int(i) / rows, r = int(i) % rows;
        buttons_[i]->SetBounds(area.left + 6 + c * w, area.top + r * h + (h - 17) / 2, w, 17);
    }
}

void RadioGroup::Resized() {
    GroupBox::Resized();
    arrange();
}

void RadioGroup::SetItemIndex(int i) {
    if (i < -1 || i >= items_.Count()) i = -1;
    itemIndex_ = i;
    updating_ = true;
    for (size_t k = 0; k < buttons_.size(); ++k) buttons_[k]->SetChecked(int(k) == i);
    updating_ = false;
}

void RadioGroup::SetColumns(int c) {
    columns_ = std::max(c, 1);
    arrange();
}

// Panel -----------------------------------------------------------------------

Panel::Panel(Component* owner) : CustomControl(owner) { SetBounds(0, 0, 185, 41); }

void Panel::SetBevelOuter(Bevel b) {
    outer_ = b;
    Realign();
    Invalidate();
}
void Panel::SetBevelInner(Bevel b) {
    inner_ = b;
    Realign();
    Invalidate();
}
void Panel::SetBevelWidth(int w) {
    bevelWidth_ = w;
    Realign();
    Invalidate();
}
void Panel::SetBorderWidth(int w) {
    borderWidth_ = w;
    Realign();
    Invalidate();
}
void Panel::SetAlignment(Alignment a) {
    alignment_ = a;
    Invalidate();
}

Rect Panel::AlignArea() const {
    Rect r = ClientRect();
    int inset = borderWidth_;
    if (outer_ != Bevel::None) inset += bevelWidth_;
    if (inner_ != Bevel::None) inset += bevelWidth_;
    return {r.left + inset, r.top + inset, r.right - inset, r.bottom - inset};
}

void Panel::Paint(Canvas& canvas) {
    Rect r = ClientRect();
    auto bevel = [&](Bevel b) {
        if (b == Bevel::None) return;
        if (b != Bevel::Space) {
            const TColor tl = b == Bevel::Raised ? clBtnHighlight : clBtnShadow;
            const TColor br = b == Bevel::Raised ? clBtnShadow : clBtnHighlight;
            for (int i = 0; i < bevelWidth_; ++i) {
                canvas.pen.color = tl;
                canvas.MoveTo(r.left + i, r.bottom - 1 - i);
                canvas.LineTo(r.left + i, r.top + i);
                canvas.LineTo(r.right - 1 - i, r.top + i);
                canvas.pen.color = br;
                canvas.LineTo(r.right - 1 - i, r.bottom - 1 - i);
                canvas.LineTo(r.left + i, r.bottom - 1 - i);
            }
        }
        r = {r.left + bevelWidth_, r.top + bevelWidth_, r.right - bevelWidth_, r.bottom - bevelWidth_};
    };
    bevel(outer_);
    r = {r.left + borderWidth_, r.top + borderWidth_, r.right - borderWidth_, r.bottom - borderWidth_};
    bevel(inner_);
    if (!Caption().empty()) {
        if (!EffectivelyEnabled()) canvas.font.SetColor(clGrayText);
        canvas.DrawText(Caption(), r, textFlags(alignment_) | DT_VCENTER | DT_SINGLELINE);
    }
    if (OnPaintPanel) OnPaintPanel(this);
}

// Edit ------------------------------------------------------------------------

Edit::Edit(Component* owner) : WinControl(owner) {
    tabStop_ = true;
    color_ = clWindow;
    SetBounds(0, 0, 121, 21);
}

void Edit::FillCreateParams(CreateParams& p) {
    p.className = WC_EDITW;
    p.style |= WS_TABSTOP | ES_AUTOHSCROLL | (readOnly_ ? ES_READONLY : 0);
    p.exStyle |= WS_EX_CLIENTEDGE;
}

void Edit::HandleCreated() {
    if (maxLength_) SendMessageW(Handle(), EM_LIMITTEXT, WPARAM(maxLength_), 0);
}

void Edit::SetCaption(const std::string& text) {
    if (Handle() && Text() == text) return;
    Control::SetCaption(text);
}

void Edit::SetMaxLength(int n) {
    maxLength_ = n;
    if (Handle()) SendMessageW(Handle(), EM_LIMITTEXT, WPARAM(n), 0);
}

void Edit::SetReadOnly(bool on) {
    readOnly_ = on;
    if (Handle()) SendMessageW(Handle(), EM_SETREADONLY, on, 0);
}

void Edit::SelectAll() { SetSel(0, -1); }

int Edit::SelStart() const {
    DWORD s = 0;
    if (Handle()) SendMessageW(Handle(), EM_GETSEL, WPARAM(&s), 0);
    return int(s);
}

int Edit::SelLength() const {
    DWORD s = 0, e = 0;
    if (Handle()) SendMessageW(Handle(), EM_GETSEL, WPARAM(&s), LPARAM(&e));
    return int(e - s);
}

void Edit::SetSel(int start, int length) {
    if (Handle()) SendMessageW(Handle(), EM_SETSEL, WPARAM(start), length < 0 ? -1 : LPARAM(start + length));
}

bool Edit::HandleMessage(win::Message& m) {
    if (m.msg == kReflect + WM_COMMAND && HIWORD(m.wParam) == EN_CHANGE) {
        // The caption follows what the user typed.
        const std::string t = Text();
        if (t != Caption()) SetCaptionField(t);
        if (OnChange) OnChange(this);
        return true;
    }
    return WinControl::HandleMessage(m);
}

SpinEdit::SpinEdit(Component* owner) : Edit(owner) { SetCaption("0"); }

int SpinEdit::clamp(int v) const {
    if (max_ != min_) v = std::min(std::max(v, min_), max_);
    return v;
}

int SpinEdit::Value() const { return clamp(ToInt(Text()).value_or(min_)); }

void SpinEdit::SetValue(int v) { SetCaption(std::to_string(clamp(v))); }

void SpinEdit::SetRange(int min, int max) {
    min_ = min;
    max_ = max;
}

void SpinEdit::HandleCreated() {
    Edit::HandleCreated();
    updown_ = CreateWindowExW(0, UPDOWN_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, Handle(), nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    Resized();
}

void SpinEdit::Resized() {
    Edit::Resized();
    if (!updown_) return;
    const int h = ClientHeight(), w = std::min(15, ClientWidth());
    SetWindowPos(updown_, nullptr, ClientWidth() - w, 0, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(Handle(), EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, w + 1));
}

bool SpinEdit::HandleMessage(win::Message& m) {
    if (m.msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(m.lParam)->hwndFrom == updown_ &&
        reinterpret_cast<NMHDR*>(m.lParam)->code == UDN_DELTAPOS) {
        const auto* nm = reinterpret_cast<NMUPDOWN*>(m.lParam);
        SetValue(Value() - nm->iDelta * increment_);
        m.result = 1;
        return true;
    }
    if (m.msg == WM_KEYDOWN && (m.wParam == VK_UP || m.wParam == VK_DOWN) && !OnKeyDown) {
        SetValue(Value() + (m.wParam == VK_UP ? increment_ : -increment_));
        return true;
    }
    return Edit::HandleMessage(m);
}

// ComboBox --------------------------------------------------------------------

ComboBox::ComboBox(Component* owner) : WinControl(owner) {
    tabStop_ = true;
    color_ = clWindow;
    SetBounds(0, 0, 145, 21);
    items_.OnChange = [this] { syncItems(); };
}

void ComboBox::FillCreateParams(CreateParams& p) {
    p.className = WC_COMBOBOXW;
    p.style |= WS_TABSTOP | WS_VSCROLL | CBS_AUTOHSCROLL |
               (style_ == ComboStyle::DropDownList ? CBS_DROPDOWNLIST
                : style_ == ComboStyle::Simple     ? CBS_SIMPLE
                                                   : CBS_DROPDOWN);
}

namespace {

// Characters typed into a combo box's edit field reach the combo's key filter.
LRESULT CALLBACK comboEditProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* combo = reinterpret_cast<ComboBox*>(data);
    if (msg == WM_CHAR && combo && combo->OnKeyPress) {
        wchar_t wc = wchar_t(wp);
        char c = 0;
        if (WideCharToMultiByte(CP_ACP, 0, &wc, 1, &c, 1, nullptr, nullptr) == 1) {
            try {
                combo->OnKeyPress(combo, c);
            } catch (...) {
                Application::Instance().HandleException(std::current_exception());
                return 0;
            }
            if (c == 0) return 0;
            MultiByteToWideChar(CP_ACP, 0, &c, 1, &wc, 1);
            wp = wc;
        }
    }
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(h, comboEditProc, 2);
    return DefSubclassProc(h, msg, wp, lp);
}

}  // namespace

void ComboBox::HandleCreated() {
    if (HWND edit = FindWindowExW(Handle(), nullptr, L"Edit", nullptr))
        SetWindowSubclass(edit, comboEditProc, 2, reinterpret_cast<DWORD_PTR>(this));
    syncItems();
    if (pendingIndex_ >= 0) SetItemIndex(pendingIndex_);
}

void ComboBox::syncItems() {
    if (!Handle()) return;
    const std::string text = Text();
    SendMessageW(Handle(), CB_RESETCONTENT, 0, 0);
    for (const auto& s : items_.Items()) SendMessageW(Handle(), CB_ADDSTRING, 0, LPARAM(win::Wide(s).c_str()));
    if (style_ != ComboStyle::DropDownList) SetWindowTextW(Handle(), win::Wide(text).c_str());
}

void ComboBox::SetStyle(ComboStyle s) {
    if (s == style_) return;
    style_ = s;
    if (Handle()) {
        DestroyHandle();
        CreateHandle();
    }
}

int ComboBox::ItemIndex() const {
    if (!Handle()) return pendingIndex_;
    return int(SendMessageW(Handle(), CB_GETCURSEL, 0, 0));
}

void ComboBox::SetItemIndex(int i) {
    pendingIndex_ = i;
    if (!Handle()) return;
    SendMessageW(Handle(), CB_SETCURSEL, WPARAM(i), 0);
    SetCaptionField(i >= 0 && i < items_.Count() ? items_[i] : std::string());
}

void ComboBox::SetCaption(const std::string& text) {
    const int i = items_.IndexOf(text);
    if (style_ == ComboStyle::DropDownList) {
        SetItemIndex(i);
        return;
    }
    Control::SetCaption(text);
}

bool ComboBox::HandleMessage(win::Message& m) {
    if (m.msg == kReflect + WM_COMMAND) {
        switch (HIWORD(m.wParam)) {
        case CBN_SELCHANGE: {
            const int i = ItemIndex();
            pendingIndex_ = i;
            SetCaptionField(i >= 0 && i < items_.Count() ? items_[i] : std::string());
            if (OnSelect) OnSelect(this);
            if (OnChange) OnChange(this);
            return true;
        }
        case CBN_EDITCHANGE:
            SetCaptionField(Text());
            if (OnChange) OnChange(this);
            return true;
        }
    }
    return WinControl::HandleMessage(m);
}

// ListBox ---------------------------------------------------------------------

ListBox::ListBox(Component* owner) : WinControl(owner) {
    tabStop_ = true;
    color_ = clWindow;
    SetBounds(0, 0, 121, 97);
    items_.OnChange = [this] { syncItems(); };
}

void ListBox::FillCreateParams(CreateParams& p) {
    p.className = WC_LISTBOXW;
    p.style |= WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
               (multiSelect_ ? LBS_EXTENDEDSEL : 0) |
               (style_ == ListStyle::OwnerDrawFixed      ? LBS_OWNERDRAWFIXED
                : style_ == ListStyle::OwnerDrawVariable ? LBS_OWNERDRAWVARIABLE
                                                         : 0);
    p.exStyle |= WS_EX_CLIENTEDGE;
}

void ListBox::HandleCreated() {
    if (style_ == ListStyle::OwnerDrawFixed) SendMessageW(Handle(), LB_SETITEMHEIGHT, 0, itemHeight_);
    syncItems();
    if (pendingIndex_ >= 0) SetItemIndex(pendingIndex_);
}

void ListBox::syncItems() {
    if (!Handle()) return;
    const int top = TopIndex();
    const int sel = ItemIndex();
    SendMessageW(Handle(), WM_SETREDRAW, FALSE, 0);
    SendMessageW(Handle(), LB_RESETCONTENT, 0, 0);
    for (const auto& s : items_.Items()) SendMessageW(Handle(), LB_ADDSTRING, 0, LPARAM(win::Wide(s).c_str()));
    if (sel >= 0 && sel < items_.Count()) SendMessageW(Handle(), LB_SETCURSEL, WPARAM(sel), 0);
    SetTopIndex(std::min(top, std::max(items_.Count() - 1, 0)));
    SendMessageW(Handle(), WM_SETREDRAW, TRUE, 0);
    Invalidate();
}

void ListBox::SetStyle(ListStyle s) {
    if (s == style_) return;
    style_ = s;
    if (Handle()) {
        DestroyHandle();
        CreateHandle();
    }
}

void ListBox::SetItemHeight(int h) {
    itemHeight_ = h;
    if (Handle() && style_ == ListStyle::OwnerDrawFixed) {
        SendMessageW(Handle(), LB_SETITEMHEIGHT, 0, h);
        Invalidate();
    }
}

void ListBox::SetMultiSelect(bool on) {
    if (on == multiSelect_) return;
    multiSelect_ = on;
    if (Handle()) {
        DestroyHandle();
        CreateHandle();
    }
}

int ListBox::ItemIndex() const {
    if (!Handle()) return pendingIndex_;
    if (multiSelect_) return int(SendMessageW(Handle(), LB_GETCARETINDEX, 0, 0));
    return int(SendMessageW(Handle(), LB_GETCURSEL, 0, 0));
}

void ListBox::SetItemIndex(int i) {
    pendingIndex_ = i;
    if (!Handle()) return;
    if (multiSelect_)
        SendMessageW(Handle(), LB_SETCARETINDEX, WPARAM(i), FALSE);
    else
        SendMessageW(Handle(), LB_SETCURSEL, WPARAM(i), 0);
}

bool ListBox::Selected(int i) const { return Handle() && SendMessageW(Handle(), LB_GETSEL, WPARAM(i), 0) > 0; }

void ListBox::SetSelected(int i, bool on) {
    if (!Handle()) return;
    if (multiSelect_)
        SendMessageW(Handle(), LB_SETSEL, on, LPARAM(i));
    else if (on)
        SetItemIndex(i);
}

int ListBox::TopIndex() const { return Handle() ? int(SendMessageW(Handle(), LB_GETTOPINDEX, 0, 0)) : 0; }
void ListBox::SetTopIndex(int i) {
    if (Handle()) SendMessageW(Handle(), LB_SETTOPINDEX, WPARAM(i), 0);
}

int ListBox::ItemAtPos(int x, int y, bool existing) const {
    if (!Handle()) return -1;
    for (int i = TopIndex(); i < items_.Count(); ++i) {
        const Rect r = ItemRect(i);
        if (r.top > ClientHeight()) break;
        if (y >= r.top && y < r.bottom && x >= 0 && x < ClientWidth()) return i;
    }
    return existing ? -1 : items_.Count();
}

Rect ListBox::ItemRect(int i) const {
    RECT rc{};
    if (Handle()) SendMessageW(Handle(), LB_GETITEMRECT, WPARAM(i), LPARAM(&rc));
    return {rc.left, rc.top, rc.right, rc.bottom};
}

void ListBox::DrawItem(int index, const Rect& rect, OwnerDrawState state) {
    Canvas& c = drawCanvas_;
    if (OnDrawItem) {
        OnDrawItem(this, index, rect, state);
        return;
    }
    c.brush.color = (state & odSelected) ? clHighlight : Color();
    c.FillRect(rect);
    c.font.SetColor((state & odSelected) ? clHighlightText : GetFont().Color());
    if (index >= 0 && index < items_.Count()) c.TextOut(rect.left + 2, rect.top + 1, items_[index]);
}

bool ListBox::HandleMessage(win::Message& m) {
    switch (m.msg) {
    case kReflect + WM_COMMAND:
        if (HIWORD(m.wParam) == LBN_SELCHANGE) {
            pendingIndex_ = ItemIndex();
            Click();
            return true;
        }
        if (HIWORD(m.wParam) == LBN_DBLCLK) {
            if (OnDblClick) OnDblClick(this);
            return true;
        }
        break;
    case kReflect + WM_MEASUREITEM: {
        auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(m.lParam);
        int h = itemHeight_;
        if (style_ == ListStyle::OwnerDrawVariable && OnMeasureItem) OnMeasureItem(this, int(mi->itemID), h);
        mi->itemHeight = UINT(std::max(h, 1));
        m.result = TRUE;
        return true;
    }
    case kReflect + WM_DRAWITEM: {
        auto* di = reinterpret_cast<DRAWITEMSTRUCT*>(m.lParam);
        drawCanvas_.SetHandle(di->hDC);
        drawCanvas_.font = GetFont();
        drawCanvas_.brush = {Color(), false};
        drawCanvas_.pen = {};
        OwnerDrawState st = 0;
        if (di->itemState & ODS_SELECTED) st |= odSelected;
        if (di->itemState & ODS_FOCUS) st |= odFocused;
        if (di->itemState & ODS_DISABLED) st |= odDisabled;
        const Rect r{di->rcItem.left, di->rcItem.top, di->rcItem.right, di->rcItem.bottom};
        if (int(di->itemID) >= 0) DrawItem(int(di->itemID), r, st);
        if (st & odFocused) drawCanvas_.DrawFocusRect(r);
        drawCanvas_.SetHandle(nullptr);
        m.result = TRUE;
        return true;
    }
    }
    return WinControl::HandleMessage(m);
}

CheckListBox::CheckListBox(Component* owner) : ListBox(owner) {
    SetStyle(ListStyle::OwnerDrawFixed);
    items_.OnChange = [this] {
        syncItems();
    };
}

bool CheckListBox::Checked(int i) const {
    return i >= 0 && i < const_cast<CheckListBox*>(this)->Items().Count() &&
           const_cast<CheckListBox*>(this)->Items().Objects(i) != nullptr;
}

void CheckListBox::SetChecked(int i, bool on) {
    if (i < 0 || i >= Items().Count()) return;
    Items().SetObject(i, on ? reinterpret_cast<void*>(1) : nullptr);
    Invalidate();
}

void CheckListBox::toggle(int i) {
    SetChecked(i, !Checked(i));
    if (OnClickCheck) OnClickCheck(this);
}

void CheckListBox::DrawItem(int index, const Rect& rect, OwnerDrawState state) {
    Canvas& c = GetCanvas();
    c.brush.color = Color();
    c.FillRect({rect.left, rect.top, rect.left + rect.Height() + 2, rect.bottom});
    const int s = std::min(rect.Height() - 2, 13);
    RECT box{rect.left + 2, rect.top + (rect.Height() - s) / 2, rect.left + 2 + s, rect.top + (rect.Height() - s) / 2 + s};
    DrawFrameControl(c.Handle(), &box, DFC_BUTTON, DFCS_BUTTONCHECK | (Checked(index) ? DFCS_CHECKED : 0));
    const Rect text{rect.left + rect.Height() + 2, rect.top, rect.right, rect.bottom};
    c.brush.color = (state & odSelected) ? clHighlight : Color();
    c.FillRect(text);
    c.font.SetColor((state & odSelected) ? clHighlightText : GetFont().Color());
    if (OnDrawItem) {
        OnDrawItem(this, index, text, state);
        return;
    }
    c.TextOut(text.left + 2, text.top + 1, Items()[index]);
}

bool CheckListBox::HandleMessage(win::Message& m) {
    if (m.msg == WM_LBUTTONDOWN) {
        const int x = GET_X_LPARAM(m.lParam), y = GET_Y_LPARAM(m.lParam);
        const int i = ItemAtPos(x, y, true);
        if (i >= 0 && x < ItemRect(i).Height() + 2) toggle(i);
    } else if (m.msg == WM_CHAR && m.wParam == ' ') {
        if (ItemIndex() >= 0) toggle(ItemIndex());
        return true;
    }
    return ListBox::HandleMessage(m);
}

// ScrollBar -------------------------------------------------------------------

ScrollBar::ScrollBar(Component* owner, ScrollKind kind) : WinControl(owner), kind_(kind) {
    SetBounds(0, 0, kind == ScrollKind::Horizontal ? 121 : 17, kind == ScrollKind::Horizontal ? 17 : 121);
}

void ScrollBar::FillCreateParams(CreateParams& p) {
    p.className = WC_SCROLLBARW;
    p.style |= kind_ == ScrollKind::Horizontal ? SBS_HORZ : SBS_VERT;
}

void ScrollBar::HandleCreated() { apply(); }

void ScrollBar::apply() {
    if (!Handle()) return;
    SCROLLINFO si{sizeof si, SIF_RANGE | SIF_POS, min_, max_, 0, position_, 0};
    SetScrollInfo(Handle(), SB_CTL, &si, TRUE);
}

void ScrollBar::SetRange(int min, int max) {
    min_ = min;
    max_ = std::max(min, max);
    position_ = std::min(std::max(position_, min_), max_);
    apply();
}

void ScrollBar::SetPosition(int p) {
    p = std::min(std::max(p, min_), max_);
    if (p == position_) return;
    position_ = p;
    apply();
    if (OnChange) OnChange(this);
}

bool ScrollBar::HandleMessage(win::Message& m) {
    if (m.msg == kReflect + WM_HSCROLL || m.msg == kReflect + WM_VSCROLL) {
        int p = position_;
        switch (LOWORD(m.wParam)) {
        case SB_LINELEFT: p -= SmallChange; break;
        case SB_LINERIGHT: p += SmallChange; break;
        case SB_PAGELEFT: p -= LargeChange; break;
        case SB_PAGERIGHT: p += LargeChange; break;
        case SB_LEFT: p = min_; break;
        case SB_RIGHT: p = max_; break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: {
            SCROLLINFO si{sizeof si, SIF_TRACKPOS};
            GetScrollInfo(Handle(), SB_CTL, &si);
            p = si.nTrackPos;
            break;
        }
        default: return true;
        }
        SetPosition(p);
        return true;
    }
    return WinControl::HandleMessage(m);
}

// SpeedButton -----------------------------------------------------------------

SpeedButton::SpeedButton(Component* owner) : GraphicControl(owner) {
    SetBounds(0, 0, 23, 22);
    SetParentColor(true);
}

void SpeedButton::SetDown(bool on) {
    if (group_ == 0) on = false;
    if (on == down_) return;
    down_ = on;
    if (on && Parent())
        for (int i = 0; i < Parent()->ControlCount(); ++i)
            if (auto* b = dynamic_cast<SpeedButton*>(Parent()->Controls(i)))
                if (b != this && b->group_ == group_ && b->down_) {
                    b->down_ = false;
                    b->Invalidate();
                }
    Invalidate();
}

void SpeedButton::Click() {
    if (group_ != 0) {
        if (!down_)
            SetDown(true);
        else if (allowAllUp_) {
            down_ = false;
            Invalidate();
        }
    }
    Control::Click();
}

void SpeedButton::Paint(Canvas& canvas) {
    Rect r = ClientRect();
    RECT rc{r.left, r.top, r.right, r.bottom};
    if (down_)
        DrawEdge(canvas.Handle(), &rc, BDR_SUNKENOUTER, BF_RECT);
    else if (!flat_)
        DrawEdge(canvas.Handle(), &rc, EDGE_RAISED, BF_RECT);
    const int shift = down_ ? 1 : 0;
    if (!glyph_.Empty()) {
        canvas.Draw((r.Width() - glyph_.Width()) / 2 + shift, (r.Height() - glyph_.Height()) / 2 + shift,
                    glyph_.Handle());
    } else if (!Caption().empty()) {
        Rect t{r.left + shift, r.top + shift, r.right + shift, r.bottom + shift};
        if (!EffectivelyEnabled()) canvas.font.SetColor(clGrayText);
        canvas.DrawText(Caption(), t, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
}

}  // namespace forms
