#pragma once
// Docks, dockable windows and their floating frames (Windows layer). A
// dock sits on one edge of a form and places its windows in rows through
// its TBDockLayout; a dockable window draws its docked frame with a drag
// handle and an optional close button, is dragged between docks or out to
// float (a modal mouse loop with capture; Escape cancels; an XOR outline
// without smooth dragging), and floats in a small tool-window frame of its
// own that draws its small caption and close button and answers the hit
// codes for dragging, closing and resizing.
#include <windows.h>

#include <functional>
#include <vector>

#include "forms/controls.h"
#include "forms/form.h"
#include "tbdock.h"
#include "tbfloat.h"
#include "tbhooks.h"
#include "tbsavepos.h"

namespace toolbars {

class TTBCustomDockableWindow;
class TTBFloatingWindowParent;
class TTBDock;

// A painter that docks share behind their docked windows. Docks that use
// it are told when it changes or goes.
class TTBBasicBackground {
public:
    virtual ~TTBBasicBackground();
    virtual bool Usable() const { return true; }
    // Paints r of a device context whose (0, 0) lies at origin of the
    // background (so that neighbouring docks line up).
    virtual void Paint(HDC dc, const RECT& r, POINT origin) = 0;
    // The docks using it repaint.
    void Changed();

private:
    friend class TTBDock;
    std::vector<TTBDock*> users_;
};

// A set of dock positions.
using TTBDockableTo = unsigned;
constexpr TTBDockableTo DockableToAll = 0xF;
constexpr TTBDockableTo DockableBit(TTBDockPosition p) { return 1u << unsigned(p); }

class TTBDock : public forms::CustomControl {
public:
    explicit TTBDock(forms::Component* owner);
    ~TTBDock() override;

    TBDockLayout& Layout() { return layout_; }
    TTBDockPosition Position() const { return layout_.Position(); }
    // Raises forms::EInvalidOperation when the dock holds windows.
    void SetPosition(TTBDockPosition p);
    bool Vertical() const { return layout_.Vertical(); }
    bool AllowDrag() const { return allowDrag_; }
    void SetAllowDrag(bool on);
    void SetBoundLines(TTBDockBoundLines lines);
    TTBBasicBackground* Background() const { return background_; }
    void SetBackground(TTBBasicBackground* b);
    bool BackgroundOnToolbars() const { return backgroundOnToolbars_; }
    void SetBackgroundOnToolbars(bool on);
    bool BackgroundUsable() const { return background_ && background_->Usable(); }
    // Paints the background into r of a device context of a window inside
    // the dock's parent (the dock or a docked window): false when there is
    // no usable background.
    bool PaintBackground(HDC dc, const RECT& r, HWND of);
    // Raises forms::EInvalidOperation for a dockable window or a dock.
    void SetParent(forms::WinControl* parent) override;

    // Lays the shown windows out and sizes the dock across its edge.
    void ArrangeWindows();
    // Asked before a dragged window may drop here; clearing accept refuses.
    std::function<void(TTBDock* dock, TTBCustomDockableWindow* w, bool& accept)> OnRequestDock;
    std::function<void(TTBDock* dock, bool inserting, TTBCustomDockableWindow* w)> OnInsertRemoveBar;

    bool HandleMessage(win::Message& m) override;

protected:
    void Resized() override;

private:
    friend class TTBBasicBackground;
    void paintFrame(HDC dc);
    void repaintAll();
    // System commands offered to the docked windows; 0 when none answered.
    LRESULT offerToWindows(UINT msg, WPARAM wp, LPARAM lp);

    TBDockLayout layout_;
    TTBBasicBackground* background_ = nullptr;
    bool backgroundOnToolbars_ = true;
    bool allowDrag_ = true;
    bool arranging_ = false;
    bool rearrange_ = false;
};

// The base of toolbars and tool windows. Derived classes give their client
// size for a dock's orientation (or floating) and paint their content.
class TTBCustomDockableWindow : public forms::CustomControl, public TBDockableWindow {
public:
    explicit TTBCustomDockableWindow(forms::Component* owner);
    ~TTBCustomDockableWindow() override;
    using forms::Control::SetBounds;

    // Docked in (or none while floating or hidden).
    TTBDock* CurrentDock() const { return dock_; }
    // Docks it there (the parent change).
    void SetCurrentDock(TTBDock* dock);
    bool Floating() const { return floating_; }
    void SetFloating(bool on);
    TTBFloatingWindowParent* FloatingParent() const { return floatParent_; }
    // The floating frame's top-left corner on the screen.
    TBPoint FloatingPosition;

    TTBDock* DefaultDock = nullptr;
    TTBDock* LastDock = nullptr;
    TTBDockableTo DockableTo = DockableToAll;
    TTBDockMode DockMode = dmCanFloat;
    TTBDragHandleStyle DragHandleStyle = dhSingle;
    TTBFloatingMode FloatingMode = fmOnTopOfParentForm;
    bool CloseButton = true;
    bool CloseButtonWhenDocked = false;
    bool Resizable = true;
    bool ShowCaption = true;
    bool SmoothDrag = true;
    bool UseLastDock = true;
    bool ActivateParent = true;
    // A floating window hides while the application is inactive.
    bool HideWhenInactive = true;

    std::function<void(TTBCustomDockableWindow* sender, bool& canClose)> OnCloseQuery;
    forms::NotifyEvent OnClose, OnDockChanged, OnVisibleChanged, OnMove;

    // OnCloseQuery, then hidden and OnClose.
    void Close();
    void SetDockRow(int row);
    void SetDockPos(int pos);
    // Computes its size again and has its dock (or frame) place it.
    void ArrangeSelf();
    // The drag loop from a screen point (the drag handle or the caption).
    void BeginMoving(POINT start);
    // The resize loop of a floating window from a sizing code.
    void BeginSizing(int hitCode);
    // Double-click docking: floating to LastDock or DefaultDock, docked to
    // floating.
    void ToggleDocking();
    // A floating window's frame put at a screen point, kept wholly on the
    // work area of its monitor.
    void PlaceFloating(TBPoint topLeft);
    // Its floating frame moved into the work area of the nearest monitor.
    void KeepOnScreen(bool onlyWhenOutside);
    // The docked frame on each side (the drag handle on the leading one).
    Rect DockedFrame() const;
    int FloatingBorder() const;
    // Shows or hides the floating frame by the visibility rule: shown and
    // not closed, its owner form (for fmOnTopOfParentForm) visible and not
    // minimised, and the application active unless HideWhenInactive is off.
    void UpdateFloatingVisibility();
    // The client size limits while floating (0: none).
    virtual void GetSizeLimits(TBPoint& minimum, TBPoint& maximum) { minimum = {1, 1}, maximum = {0, 0}; }

    // Saved positions: the kind of record and its limits, and the keys of
    // its own (the floating width, the client size) applied and captured.
    virtual void SavedInfo(TBSavedWindowInfo& info) {}
    virtual void LoadPositionExtras(const TBSavedPosition& p) {}
    virtual void SavePositionExtras(TBSavedPosition& p) {}
    // Whether it takes part when its dock offers system commands: a window
    // that processes shortcuts or is a menu bar.
    virtual bool TakesSystemCommands() const { return false; }

    // The dock's view of it.
    int FullLength(bool vertical) override;
    int MinimumLength(bool vertical) override;
    TBPoint ClientSize() override;
    TBPoint SizeForDock(bool vertical) override { return CalcClientSize(dock_, vertical); }
    void SetBounds(const Rect& r) override;
    bool Destroying() const override { return destroying_; }

    bool HandleMessage(win::Message& m) override;

protected:
    // The client size it wants in a dock of that orientation (dock null
    // and vertical false: floating).
    virtual TBPoint CalcClientSize(TTBDock* dock, bool vertical) = 0;
    // The floating frame's client size changed by resizing.
    virtual void FloatingResized(int clientWidth, int clientHeight) {}
    void VisibleChanged();

private:
    friend class TTBFloatingWindowParent;
    friend class TTBDock;
    void moveTo(TTBDock* dock, bool floating);
    void paintDockedFrame(HDC dc);
protected:
    // Fills r with its dock's background when the dock paints one behind
    // its windows: false when it does not.
    bool paintDockBackground(HDC dc, const RECT& r);
private:
    Rect closeButtonRect() const;
    bool trackCloseButton();
    forms::Form* ownerForm() const;
    static void floatingHook(TBHookProcCode code, void* window, uintptr_t wp, intptr_t lp);

    TTBDock* dock_ = nullptr;
    bool floating_ = false;
    TTBFloatingWindowParent* floatParent_ = nullptr;
    bool destroying_ = false;
    bool dragging_ = false;
    int moving_ = 0;
    bool closeHover_ = false, closePressed_ = false;
};

// The small frame of a floating window.
class TTBFloatingWindowParent : public forms::Form {
public:
    TTBFloatingWindowParent(TTBCustomDockableWindow* window, forms::Form* ownerForm);
    ~TTBFloatingWindowParent() override;
    TTBCustomDockableWindow* Window() const { return window_; }
    forms::Form* OwnerForm() const { return ownerForm_; }
    TBFloatingFrame Frame() const;
    // Shown or hidden without activating, moving or sizing.
    void SetShown(bool on);
    bool HandleMessage(win::Message& m) override;

protected:
    void FillCreateParams(forms::CreateParams& p) override;

private:
    friend class TTBCustomDockableWindow;
    void paintFrame(HDC dc, bool caption, bool button);
    bool trackCloseButton();

    TTBCustomDockableWindow* window_;
    forms::Form* ownerForm_;
    bool closePressed_ = false;
};

}  // namespace toolbars
