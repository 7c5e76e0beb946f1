#pragma once
// The standard controls: labels, buttons, speed buttons, check boxes, radio
// buttons and groups, group boxes, panels with bevels, edits, spin edits,
// combo boxes, list boxes (owner-drawn, item heights, hit tests), check-list
// boxes and scroll bars. System controls are used where Win32 has them.
#include "forms/controls.h"
#include "forms/stringlist.h"

namespace forms {

enum class Alignment { Left, Right, Center };
enum class TextLayout { Top, Center, Bottom };

class Label : public GraphicControl {
public:
    explicit Label(Component* owner);
    Alignment GetAlignment() const { return alignment_; }
    void SetAlignment(Alignment a);
    TextLayout Layout() const { return layout_; }
    void SetLayout(TextLayout l);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool on);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool on);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool on);
    void SetCaption(const std::string& text) override;

protected:
    void Paint(Canvas& canvas) override;
    void FontChanged() override;
    void adjustSize();

private:
    Alignment alignment_ = Alignment::Left;
    TextLayout layout_ = TextLayout::Top;
    bool autoSize_ = true, wordWrap_ = false, transparent_ = false;
};

class ButtonControl : public WinControl {
public:
    explicit ButtonControl(Component* owner);
    bool CanFocus() const override { return WinControl::CanFocus(); }

protected:
    bool ClicksOnMouseUp() const override { return false; }
};

class Button : public ButtonControl {
public:
    explicit Button(Component* owner);
    bool Default() const { return default_; }
    void SetDefault(bool on);
    bool Cancel() const { return cancel_; }
    void SetCancel(bool on) { cancel_ = on; }
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int r) { modalResult_ = r; }
    // Runs OnClick and sets the form's modal result.
    void Click() override;
    bool HandleMessage(win::Message& m) override;

protected:
    void FillCreateParams(CreateParams& p) override;

private:
    bool default_ = false, cancel_ = false;
    int modalResult_ = 0;
};

enum class CheckState { Unchecked, Checked, Grayed };

class CheckBox : public ButtonControl {
public:
    explicit CheckBox(Component* owner);
    bool Checked() const { return state_ == CheckState::Checked; }
    // A change runs OnClick.
    void SetChecked(bool on) { SetState(on ? CheckState::Checked : CheckState::Unchecked); }
    CheckState State() const { return state_; }
    void SetState(CheckState s);
    bool AllowGrayed() const { return allowGrayed_; }
    void SetAllowGrayed(bool on) { allowGrayed_ = on; }
    bool HandleMessage(win::Message& m) override;

protected:
    void FillCreateParams(CreateParams& p) override;
    void HandleCreated() override;

private:
    CheckState state_ = CheckState::Unchecked;
    bool allowGrayed_ = false;
};

class RadioButton : public ButtonControl {
public:
    explicit RadioButton(Component* owner);
    bool Checked() const { return checked_; }
    // Checking one unchecks the radio buttons of the same parent; a change
    // runs OnClick.
    void SetChecked(bool on);
    bool HandleMessage(win::Message& m) override;

protected:
    void FillCreateParams(CreateParams& p) override;
    void HandleCreated() override;

private:
    bool checked_ = false;
};

class GroupBox : public WinControl {
public:
    explicit GroupBox(Component* owner);

protected:
    void FillCreateParams(CreateParams& p) override;
    Rect AlignArea() const override;
};

// A group box with one radio button per item.
class RadioGroup : public GroupBox {
public:
    explicit RadioGroup(Component* owner);
    StringList& Items() { return items_; }
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int i);
    int Columns() const { return columns_; }
    void SetColumns(int c);
    RadioButton* Buttons(int i) const { return buttons_.at(size_t(i)); }

protected:
    void Resized() override;

private:
    void rebuild();
    void arrange();
    StringList items_;
    std::vector<RadioButton*> buttons_;
    int itemIndex_ = -1;
    int columns_ = 1;
    bool updating_ = false;
};

enum class Bevel { None, Lowered, Raised, Space };

class Panel : public CustomControl {
public:
    explicit Panel(Component* owner);
    Bevel BevelOuter() const { return outer_; }
    void SetBevelOuter(Bevel b);
    Bevel BevelInner() const { return inner_; }
    void SetBevelInner(Bevel b);
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int w);
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int w);
    Alignment GetAlignment() const { return alignment_; }
    void SetAlignment(Alignment a);
    NotifyEvent OnPaintPanel;

protected:
    void Paint(Canvas& canvas) override;
    Rect AlignArea() const override;

private:
    Bevel outer_ = Bevel::Raised, inner_ = Bevel::None;
    int bevelWidth_ = 1, borderWidth_ = 0;
    Alignment alignment_ = Alignment::Center;
};

class Edit : public WinControl {
public:
    explicit Edit(Component* owner);
    void SetCaption(const std::string& text) override;
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int n);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool on);
    void SelectAll();
    int SelStart() const;
    int SelLength() const;
    void SetSel(int start, int length);
    NotifyEvent OnChange;
    bool HandleMessage(win::Message& m) override;

protected:
    void FillCreateParams(CreateParams& p) override;
    void HandleCreated() override;
    bool ClicksOnMouseUp() const override { return false; }

private:
    int maxLength_ = 0;
    bool readOnly_ = false;
};

// An edit for integers with an up-down button inside its right edge.
class SpinEdit : public Edit {
public:
    explicit SpinEdit(Component* owner);
    // The text as a number clamped to the range (MinValue when it is not one).
    int Value() const;
    void SetValue(int v);
    int MinValue() const { return min_; }
    int MaxValue() const { return max_; }
    void SetRange(int min, int max);
    int Increment() const { return increment_; }
    void SetIncrement(int i) { increment_ = i; }
    bool HandleMessage(win::Message& m) override;

protected:
    void HandleCreated() override;
    void Resized() override;

private:
    int clamp(int v) const;
    int min_ = 0, max_ = 0, increment_ = 1;
    HWND updown_ = nullptr;
};

enum class ComboStyle { DropDown, Simple, DropDownList };

class ComboBox : public WinControl {
public:
    explicit ComboBox(Component* owner);
    StringList& Items() { return items_; }
    int ItemIndex() const;
    void SetItemIndex(int i);
    ComboStyle Style() const { return style_; }
    void SetStyle(ComboStyle s);
    void SetCaption(const std::string& text) override;
    int DropDownCount() const { return dropDownCount_; }
    void SetDropDownCount(int n) { dropDownCount_ = n; }
    NotifyEvent OnChange, OnSelect;
    bool HandleMessage(win::Message& m) override;

protected:
    void FillCreateParams(CreateParams& p) override;
    void HandleCreated() override;

private:
    void syncItems();
    StringList items_;
    ComboStyle style_ = ComboStyle::DropDown;
    int dropDownCount_ = 8;
    int pendingIndex_ = -1;
};

enum class ListStyle { Standard, OwnerDrawFixed, OwnerDrawVariable };
using OwnerDrawState = unsigned;
constexpr OwnerDrawState odSelected = 1, odFocused = 2, odDisabled = 4;

class ListBox : public WinControl {
public:
    explicit ListBox(Component* owner);
    StringList& Items() { return items_; }
    int ItemIndex() const;
    void SetItemIndex(int i);
    ListStyle Style() const { return style_; }
    void SetStyle(ListStyle s);
    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int h);
    bool MultiSelect() const { return multiSelect_; }
    void SetMultiSelect(bool on);
    bool Selected(int i) const;
    void SetSelected(int i, bool on);
    int TopIndex() const;
    void SetTopIndex(int i);
    // The item at a client point; -1 when none (with existing false, the
    // position after the last item gives Count).
    int ItemAtPos(int x, int y, bool existing) const;
    Rect ItemRect(int i) const;
    Canvas& GetCanvas() { return drawCanvas_; }
    std::function<void(Component*, int index, const Rect& rect, OwnerDrawState state)> OnDrawItem;
    std::function<void(Component*, int index, int& height)> OnMeasureItem;
    bool HandleMessage(win::Message& m) override;

protected:
    void FillCreateParams(CreateParams& p) override;
    void HandleCreated() override;
    bool ClicksOnMouseUp() const override { return false; }
    virtual void DrawItem(int index, const Rect& rect, OwnerDrawState state);
    void syncItems();
    StringList items_;

private:
    ListStyle style_ = ListStyle::Standard;
    int itemHeight_ = 16;
    bool multiSelect_ = false;
    int pendingIndex_ = -1;
    Canvas drawCanvas_;
};

// A list box with a check box before each item.
class CheckListBox : public ListBox {
public:
    explicit CheckListBox(Component* owner);
    bool Checked(int i) const;
    void SetChecked(int i, bool on);
    NotifyEvent OnClickCheck;
    bool HandleMessage(win::Message& m) override;

protected:
    void DrawItem(int index, const Rect& rect, OwnerDrawState state) override;

private:
    void toggle(int i);
};

enum class ScrollKind { Horizontal, Vertical };

class ScrollBar : public WinControl {
public:
    explicit ScrollBar(Component* owner, ScrollKind kind = ScrollKind::Horizontal);
    int Position() const { return position_; }
    // A change runs OnChange.
    void SetPosition(int p);
    int Min() const { return min_; }
    int Max() const { return max_; }
    void SetRange(int min, int max);
    int SmallChange = 1, LargeChange = 1;
    NotifyEvent OnChange;
    bool HandleMessage(win::Message& m) override;

protected:
    void FillCreateParams(CreateParams& p) override;
    void HandleCreated() override;

private:
    void apply();
    ScrollKind kind_;
    int min_ = 0, max_ = 100, position_ = 0;
};

// A flat button drawn by the layer, optionally one of a group that stays down.
class SpeedButton : public GraphicControl {
public:
    explicit SpeedButton(Component* owner);
    bool Down() const { return down_; }
    void SetDown(bool on);
    int GroupIndex() const { return group_; }
    void SetGroupIndex(int g) { group_ = g; }
    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool on) { allowAllUp_ = on; }
    bool Flat() const { return flat_; }
    void SetFlat(bool on) {
        flat_ = on;
        Invalidate();
    }
    Bitmap& Glyph() { return glyph_; }
    void Click() override;

protected:
    void Paint(Canvas& canvas) override;

private:
    bool down_ = false, allowAllUp_ = false, flat_ = false;
    int group_ = 0;
    Bitmap glyph_;
};

}  // namespace forms
