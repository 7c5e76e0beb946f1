#pragma once
// Controls: every control of the layer has a window of its own, in its
// parent's window. Control holds what all share (bounds, alignment, anchors,
// visibility, enabled state, caption, hint, font, colour, popup menu, mouse
// and key events, drag and drop); WinControl can hold child controls.
// Messages reach a control through its class's message map; notifications
// a parent window receives from a child (WM_COMMAND, WM_NOTIFY, WM_DRAWITEM,
// WM_MEASUREITEM, scrolling, colours) are reflected to the child as
// kReflect + message.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "forms/component.h"
#include "forms/graphics.h"
#include "forms/layout.h"
#include "win/messagemap.h"

namespace forms {

class WinControl;
class Form;
class PopupMenu;

constexpr UINT kReflect = 0xBC00;  // reflected notifications: kReflect + message
// Sent to every control of a form when the enabled state of an ancestor changed.
constexpr UINT CM_ENABLEDCHANGED = 0xB000 + 3;
// The application's window gets these before a key is dispatched.
constexpr UINT CM_APPKEYDOWN = 0xB016;
constexpr UINT CM_APPSYSCOMMAND = 0xB017;

enum class MouseButton { Left, Right, Middle };
using ShiftState = unsigned;
constexpr ShiftState ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64;
ShiftState KeyboardShift();

using NotifyEvent = std::function<void(Component* sender)>;
using MouseEvent = std::function<void(Component* sender, MouseButton button, ShiftState shift, int x, int y)>;
using MouseMoveEvent = std::function<void(Component* sender, ShiftState shift, int x, int y)>;
using KeyEvent = std::function<void(Component* sender, WORD& key, ShiftState shift)>;
using KeyPressEvent = std::function<void(Component* sender, char& key)>;
using DragOverEvent = std::function<void(Component* sender, Component* source, int x, int y, bool& accept)>;
using DragDropEvent = std::function<void(Component* sender, Component* source, int x, int y)>;

// The short part of a hint (before "|") and the long one (after it; the
// whole hint when there is no "|").
std::string GetShortHint(const std::string& hint);
std::string GetLongHint(const std::string& hint);

struct CreateParams {
    const wchar_t* className = nullptr;  // null: the layer's own class
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    bool subclass = false;  // a system class whose procedure is subclassed
};

class Control : public Component {
public:
    explicit Control(Component* owner);
    ~Control() override;

    WinControl* Parent() const { return parent_; }
    virtual void SetParent(WinControl* parent);
    Form* ParentForm() const;

    int Left() const { return bounds_.left; }
    int Top() const { return bounds_.top; }
    int Width() const { return bounds_.Width(); }
    int Height() const { return bounds_.Height(); }
    const Rect& BoundsRect() const { return bounds_; }
    void SetBounds(int left, int top, int width, int height);
    void SetLeft(int v) { SetBounds(v, Top(), Width(), Height()); }
    void SetTop(int v) { SetBounds(Left(), v, Width(), Height()); }
    void SetWidth(int v) { SetBounds(Left(), Top(), v, Height()); }
    void SetHeight(int v) { SetBounds(Left(), Top(), Width(), v); }
    virtual int ClientWidth() const;
    virtual int ClientHeight() const;
    void SetClientSize(int w, int h);
    Rect ClientRect() const { return {0, 0, ClientWidth(), ClientHeight()}; }

    Align GetAlign() const { return align_; }
    void SetAlign(Align a);
    Anchors GetAnchors() const { return anchors_; }
    void SetAnchors(Anchors a) { anchors_ = a; }

    bool Visible() const { return visible_; }
    void SetVisible(bool v);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible, and every parent too.
    bool Showing() const;
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool e);
    // Enabled, and every parent too.
    bool EffectivelyEnabled() const;

    const std::string& Caption() const { return caption_; }
    virtual void SetCaption(const std::string& text);
    std::string Text() const;
    void SetText(const std::string& text) { SetCaption(text); }

    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& hint) { hint_ = hint; }
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool on) {
        showHint_ = on;
        parentShowHint_ = false;
    }
    bool ParentShowHint() const { return parentShowHint_; }
    void SetParentShowHint(bool on) { parentShowHint_ = on; }
    // ShowHint, taken from the parent while ParentShowHint is set.
    bool EffectiveShowHint() const;

    Font& GetFont() { return font_; }
    const Font& GetFont() const { return font_; }
    bool ParentFont() const { return parentFont_; }
    void SetParentFont(bool on);
    TColor Color() const { return color_; }
    void SetColor(TColor c);
    bool ParentColor() const { return parentColor_; }
    void SetParentColor(bool on);

    PopupMenu* GetPopupMenu() const { return popupMenu_; }
    void SetPopupMenu(PopupMenu* menu);
    HCURSOR Cursor() const { return cursor_; }
    void SetCursor(HCURSOR c) { cursor_ = c; }

    // The window, made when the control has a parent with a window.
    HWND Handle() const { return hwnd_; }
    bool HandleAllocated() const { return hwnd_ != nullptr; }
    void Invalidate();
    void Repaint();
    void BringToFront();
    void SendToBack();
    POINT ClientToScreen(POINT p) const;
    POINT ScreenToClient(POINT p) const;
    bool Focused() const;
    virtual bool CanFocus() const { return false; }
    void SetFocus();

    // Runs OnClick (buttons, check boxes and menu items do more).
    virtual void Click();

    // Drag and drop within the program: dragging starts at once or after the
    // mouse moved 5 pixels; targets are asked through OnDragOver.
    enum class DragMode { Manual, Automatic };
    DragMode GetDragMode() const { return dragMode_; }
    void SetDragMode(DragMode m) { dragMode_ = m; }
    void BeginDrag(bool immediate);
    bool Dragging() const;

    NotifyEvent OnClick, OnDblClick, OnResize, OnEnter, OnExit, OnMouseEnter, OnMouseLeave;
    MouseEvent OnMouseDown, OnMouseUp;
    MouseMoveEvent OnMouseMove;
    KeyEvent OnKeyDown, OnKeyUp;
    KeyPressEvent OnKeyPress;
    DragOverEvent OnDragOver;
    DragDropEvent OnDragDrop;
    NotifyEvent OnStartDrag, OnEndDrag;

    // The control of a window of the layer (or the nearest one above it).
    static Control* FromHandle(HWND hwnd);
    // Handles one message of the control's window (tables first, then the
    // window's own procedure). No exception leaves it.
    LRESULT Perform(UINT msg, WPARAM wp, LPARAM lp);

    virtual bool HandleMessage(win::Message& m);

protected:
    virtual void FillCreateParams(CreateParams& p) {}
    void Notification(Component* c, Operation op) override;
    virtual void CreateHandle();
    virtual void DestroyHandle();
    // After the window exists: apply state the window keeps itself.
    virtual void HandleCreated() {}
    LRESULT DefaultHandler(win::Message& m);
    virtual void FontChanged();
    virtual void ColorChanged() { Invalidate(); }
    virtual void TextChanged() {}
    virtual void EnabledChanged();
    virtual void Resized();
    // Paints the client area of own-drawn controls.
    virtual void Paint(Canvas& canvas) {}
    // Whether clicks come from the mouse (own-drawn controls) rather than
    // from the system control's notification.
    virtual bool ClicksOnMouseUp() const { return true; }
    void RequestAlign();
    Canvas& PaintCanvas() { return canvas_; }
    void SetVisibleFlag(bool v) { visible_ = v; }
    // The caption as the window already shows it.
    void SetCaptionField(const std::string& t) { caption_ = t; }
    // The window moved or was sized by the system.
    void SetBoundsFromWindow(int left, int top, int width, int height);
    HWND ParentHandle() const;

    // Message handlers of every control.
    bool OnWmPaint(win::Message& m);
    bool OnWmEraseBkgnd(win::Message& m);
    bool OnWmMouse(win::Message& m);
    bool OnWmMouseLeave(win::Message& m);
    bool OnWmKey(win::Message& m);
    bool OnWmChar(win::Message& m);
    bool OnWmFocus(win::Message& m);
    bool OnWmContextMenu(win::Message& m);
    bool OnWmSetCursor(win::Message& m);
    bool OnWmNcDestroy(win::Message& m);
    bool OnWmSize(win::Message& m);
    bool OnCtlColor(win::Message& m);

    bool ownDrawn_ = true;  // painted by Paint on the layer's class
    TColor color_ = clBtnFace;

private:
    friend class WinControl;
    friend class Application;
    static LRESULT CALLBACK WindowProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
    // The key-down the loop already gave to OnKeyDown (not given again).
    static HWND keyDownDone_;
    static LRESULT CALLBACK SubclassProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data);
    void parentFontChanged();
    void parentColorChanged();
    void applyBounds();
    void endDrag(bool drop);

    WinControl* parent_ = nullptr;
    Rect bounds_ = Rect::Bounds(0, 0, 75, 25);
    Align align_ = Align::None;
    Anchors anchors_ = kDefaultAnchors;
    bool visible_ = true;
    bool enabled_ = true;
    std::string caption_;
    std::string hint_;
    bool showHint_ = false;
    bool parentShowHint_ = true;
    Font font_;
    bool parentFont_ = true;
    bool parentColor_ = false;
    PopupMenu* popupMenu_ = nullptr;
    HCURSOR cursor_ = nullptr;
    DragMode dragMode_ = DragMode::Manual;
    bool mouseInside_ = false;
    bool pressed_ = false;
    bool subclassed_ = false;
    Canvas canvas_;

protected:
    HWND hwnd_ = nullptr;
    int ctlId_ = 0;
};

// A control that can hold child controls and take the focus.
class WinControl : public Control {
public:
    explicit WinControl(Component* owner);
    ~WinControl() override;
    int ControlCount() const { return int(controls_.size()); }
    Control* Controls(int i) const { return controls_.at(size_t(i)); }
    bool TabStop() const { return tabStop_; }
    void SetTabStop(bool on);
    bool CanFocus() const override;
    // Lays the aligned children out again.
    void Realign();
    // Children in tab order (their order among the parent's controls).
    void SelectNext(Control* current, bool forward);

    bool HandleMessage(win::Message& m) override;

protected:
    void CreateHandle() override;
    void FontChanged() override;
    void ColorChanged() override;
    void EnabledChanged() override;
    void Resized() override;
    // The area the aligned children share.
    virtual Rect AlignArea() const { return ClientRect(); }
    bool OnReflectable(win::Message& m);

    bool tabStop_ = false;

private:
    friend class Control;
    std::vector<Control*> controls_;
    int lastW_ = -1, lastH_ = -1;
    bool aligning_ = false;
};

// Lays a control's children out and paints them itself.
class CustomControl : public WinControl {
public:
    explicit CustomControl(Component* owner) : WinControl(owner) {}
    Canvas& GetCanvas() { return PaintCanvas(); }
};

// A control that is never focused and holds no children.
class GraphicControl : public Control {
public:
    explicit GraphicControl(Component* owner) : Control(owner) {}
};

}  // namespace forms
