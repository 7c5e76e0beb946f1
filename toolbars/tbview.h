#pragma once
// Views: a view shows the children of one item (its parent item, or that
// item's LinkSubitems target) in a window: a toolbar line or a popup. It
// keeps one viewer per child, lays them out (margins, wrapping, separators
// that collapse or break lines, right alignment, stretching, the chevron's
// hidden items, popup scrolling), paints them, keeps the selection and the
// open submenu, and decides what mouse, keys and timers do while it tracks.
// The window and the system stay behind TBViewWindow; the tracking loop
// itself is the platform's.
#include <memory>
#include <vector>

#include "forms/component.h"
#include "tbitem.h"
#include "tbpaint.h"
#include "tbviewer.h"

namespace toolbars {

enum TTBViewOrientation { tbvoPopup = 0, tbvoVertical = 1, tbvoHorizontal = 2 };

// Style flags.
constexpr unsigned tbvsUseHiddenAccels = 1u << 0;  // hide underlines until the keyboard is used
constexpr unsigned tbvsAlwaysShowHints = 1u << 1;
constexpr unsigned tbvsMenuBar = 1u << 2;

// State flags.
constexpr unsigned tbvsTracking = 1u << 0;
constexpr unsigned tbvsMouseInWindow = 1u << 1;
constexpr unsigned tbvsDrawInOrder = 1u << 2;  // the first paint after showing
constexpr unsigned tbvsOpposite = 1u << 3;     // opened to the left of its parent item
constexpr unsigned tbvsIgnoreNextUp = 1u << 4;
constexpr unsigned tbvsShowAccels = 1u << 5;
constexpr unsigned tbvsKeyboardMode = 1u << 6;
constexpr unsigned tbvsNoAnimation = 1u << 7;

// Timer kinds: window timer 9000 + kind of popup windows.
enum TTBViewTimer { tbtOpen = 0, tbtClose = 1, tbtScrollUp = 2, tbtScrollDown = 3 };
constexpr int kViewTimerBase = 9000;
// Height of the scroll bands of popups.
constexpr int kScrollArrowBand = 19;

// Virtual keys the views handle.
constexpr unsigned tbVkTab = 0x09, tbVkReturn = 0x0D, tbVkMenu = 0x12, tbVkEscape = 0x1B, tbVkSpace = 0x20,
                   tbVkEnd = 0x23, tbVkHome = 0x24, tbVkLeft = 0x25, tbVkUp = 0x26, tbVkRight = 0x27,
                   tbVkDown = 0x28, tbVkF1 = 0x70, tbVkF10 = 0x79;

// What a view needs of its window.
class TBViewWindow {
public:
    virtual ~TBViewWindow() = default;
    // Measuring with the view's item font.
    virtual TBMetrics& Metrics() = 0;
    virtual void InvalidateRect(const Rect& r) = 0;
    // Paints what is invalid now.
    virtual void Update() = 0;
    virtual void SetClientSize(int width, int height) = 0;
    virtual int ClientWidth() = 0;
    virtual int ClientHeight() = 0;
    // The RGB value of the window's background colour.
    virtual uint32_t BackgroundRGB() = 0;
    virtual uint32_t SysColorRGB(TBColor c) = 0;
    // Window timers (only popup windows get them).
    virtual void StartTimer(int id, int ms) = 0;
    virtual void StopTimer(int id) = 0;
    // A control item's control: whether it lies in this window and is
    // visible, and its size.
    virtual bool ControlInfo(forms::Component* control, int& width, int& height) = 0;
    virtual void SetControlBounds(forms::Component* control, const Rect& r) = 0;
    // The platform's window (the tracking loop's), if any.
    virtual void* NativeHandle() { return nullptr; }
};

// One viewer whose place or visibility a layout changed.
struct TBLayoutChange {
    TTBItemViewer* viewer;
    Rect before;
    bool shownBefore;
};

class TTBView : public forms::Component, public TTBItemNotifyTarget {
public:
    TTBView(forms::Component* owner, TTBView* parentView, TBViewWindow* window, TTBCustomItem* parentItem,
            bool isToolbar, bool isPopup, bool usePriorityList);
    ~TTBView() override;

    TBViewWindow* Window() const { return window_; }
    TTBCustomItem* ParentItem() const { return parentItem_; }
    void SetParentItem(TTBCustomItem* item);
    // The item whose children show: the parent item's LinkSubitems target,
    // or the parent item.
    TTBCustomItem* CurrentParentItem() const { return currentParentItem_; }
    TTBView* ParentView() const { return parentView_; }
    TTBView* RootView();
    TTBView* ChevronParentView() const { return chevronParentView_; }
    void SetChevronParentView(TTBView* v) { chevronParentView_ = v; }

    int ViewerCount() const { return int(viewers_.size()); }
    TTBItemViewer* Viewers(int i) const { return viewers_[size_t(i)].get(); }
    int InternalViewers() const { return internalViewers_; }
    // The viewer of an item; raises ETBItemError when it has none.
    TTBItemViewer* Find(TTBCustomItem* item) const;
    TTBItemViewer* FindOrNull(TTBCustomItem* item) const;
    int IndexOf(const TTBItemViewer* v) const;
    const std::vector<TTBItemViewer*>* PriorityList() const { return priority_.get(); }
    // A clicked item's viewer goes to the front of the chevron's order.
    void GivePriority(TTBItemViewer* v);
    void RecreateAllViewers();

    int Orientation() const { return orientation_; }
    void SetOrientation(int o);
    bool IsToolbar() const { return isToolbar_; }
    bool IsPopup() const { return isPopup_; }
    void SetIsToolbar(bool v) { isToolbar_ = v; }
    unsigned Style() const { return style_; }
    void SetStyle(unsigned s) { style_ = s; }
    unsigned State() const { return state_; }
    void SetState(unsigned s) { state_ = s; }
    bool KeyboardMode() const { return state_ & tbvsKeyboardMode; }
    void SetKeyboardMode(bool on);
    bool Customizing() const { return customizing_; }
    void SetCustomizing(bool v);

    // Selection.
    TTBItemViewer* Selected() const { return selected_; }
    void Select(TTBItemViewer* v, bool viaMouse);
    bool MouseOverSelected() const { return mouseOverSelected_; }
    void SetMouseOverSelected(bool on);
    // The view holds the capture (a pressed button).
    bool Capture() const { return capture_; }
    void SetCapture(bool on);
    // Selected and either its submenu is open or the pointer is on it while
    // the view holds the capture.
    bool IsPushed(const TTBItemViewer* v) const;

    // Submenus.
    TTBItemViewer* OpenViewer() const { return openViewer_; }
    TTBView* OpenViewerView() const { return openView_; }
    void OpenChildPopup(bool selectFirst);
    void CloseChildPopups();

    // Layout.
    virtual void SetWindowClientSize(int width, int height);
    // Lays out with controls placed; repaints what moved; sizes the window.
    virtual TBPoint UpdateLayout();
    virtual TTBCustomItem* GetChevronItem() { return nullptr; }
    virtual Rect LayoutMargins(int orientation);
    virtual TTBCustomItem* GetMDIButtonsItem() { return nullptr; }
    virtual TTBCustomItem* GetMDISystemMenuItem() { return nullptr; }
    virtual void InvalidateLayout();
    bool Validated() const { return validated_; }
    // Lays out again when invalid (not while updating).
    void ValidatePositions();
    bool Updating() const { return updateCount_ > 0; }
    // The layout: true when any viewer's rectangle, shown or line-break
    // flag changed (their old places go to changes when asked).
    bool CalculatePositions(bool canMoveControls, int orientation, int wrapOffset, int chevronOffset,
                            int chevronSize, TBPoint& total, std::vector<TBLayoutChange>* changes = nullptr);
    TBPoint BaseSize() const { return baseSize_; }
    int WrapOffset = 0;
    int ChevronOffset = 0;
    int ChevronSize = 0;
    // Popups: a maximum height (0: none) and the scroll state.
    int MaxHeight = 0;
    int ScrollOffset = 0;
    bool ShowUpArrow() const { return showUpArrow_; }
    bool ShowDownArrow() const { return showDownArrow_; }
    Rect MonitorRect;
    // Scrolls until the viewer is fully between the scroll bands.
    void ScrollSelectedIntoView();

    // Painting: every shown viewer but the selected one, the selected last.
    void Paint(TBCanvas& canvas, const Rect& clip);
    void InvalidateViewer(const TTBItemViewer* v);
    bool AccelsVisible() const;
    void SetAccelsVisible(bool on);

    // Timers of popups.
    void StartTimer(TTBViewTimer kind, int ms);
    void StopTimer(TTBViewTimer kind);
    void StopAllTimers();
    bool TimerRunning(TTBViewTimer kind) const { return timers_ & (1u << kind); }
    void TimerFired(TTBViewTimer kind);

    // Input decisions of tracking.
    TTBItemViewer* ViewerFromPoint(int x, int y) const;
    // The next (or previous) viewer keyboard navigation may select,
    // wrapping around; skips separators and disabled or hidden items.
    TTBItemViewer* NextSelectable(TTBItemViewer* current, bool forward) const;
    TTBItemViewer* FirstSelectable() const;
    // The viewer whose accelerator (or caption's first letter) is c,
    // searching from the selection; unique when searching from it finds it.
    TTBItemViewer* FindAccel(char c, bool& unique) const;
    // The pointer moved to (x, y) in this view while tracking (inside
    // tells whether it is over the window).
    void TrackHover(int x, int y, bool inside);
    // The pointer moved over the view while it does not track.
    void HotTrack(int x, int y, bool inside);
    virtual void HandleKey(unsigned& key, TBShiftState shift, TTBTrackResult& r);
    // Moves the selection by keyboard (opening a submenu in keyboard mode).
    void SelectByKey(TTBItemViewer* v);
    // A click of the selected item ends tracking with this result.
    void ClickResult(TTBItemViewer* v, TTBTrackResult& r);

    // Shift flags of the button press that starts a loop by mouse.
    TBShiftState StartShift = 0;
    // The modal tracking loop (platform layer).
    void TrackingLoop(bool startedByMouse, bool keyboardMode, TTBTrackResult& r, bool rightAllowed, bool selectFirst);
    // A non-popup view's loop: tracks, then carries out what was chosen.
    void EnterToolbarLoop(bool byMouse, bool keyboardMode, bool selectFirst);

    void ItemNotification(TTBCustomItem* ancestor, bool relayed, TTBItemChangeKind kind, int index,
                          TTBCustomItem* item) override;

protected:
    void Notification(forms::Component* component, Operation op) override;

private:
    void freeViewers();
    void addViewers(TTBCustomItem* parent, int& at, bool inPriority, TTBItemViewer* group);
    TTBItemViewer* groupViewerFor(TTBCustomItem* ancestor) const;
    void insertViewer(int at, TTBCustomItem* item);
    void deleteViewersOf(TTBCustomItem* item);
    void registerWith(TTBCustomItem* item);
    void unregisterFrom(TTBCustomItem* item);
    void linkChanged();
    int viewerIndexFor(TTBCustomItem* ancestor, int index) const;
    void scrollBy(bool down);

    // One viewer's place while laying out (kept between layouts).
    struct LayoutPos {
        Rect r;
        int along = 0, across = 0;
        bool show = false, clipped = false, lineBreak = false, lineSep = false, sep = false, control = false;
    };
    std::vector<LayoutPos> pos_;
    std::vector<int> groupAfter_, order_;
    std::vector<size_t> line_;

    TBViewWindow* window_;
    TTBCustomItem* parentItem_ = nullptr;
    TTBCustomItem* currentParentItem_ = nullptr;
    TTBView* parentView_;
    std::vector<std::unique_ptr<TTBItemViewer>> viewers_;
    int orientation_ = tbvoHorizontal;
    bool isToolbar_;
    bool isPopup_;
    unsigned style_ = 0;
    unsigned state_ = 0;
    TTBItemViewer* selected_ = nullptr;
    bool mouseOverSelected_ = false;
    bool capture_ = false;
    TTBItemViewer* openViewer_ = nullptr;
    std::unique_ptr<TTBPopupHandle> openPopup_;
    TTBView* openView_ = nullptr;
    TTBView* chevronParentView_ = nullptr;
    bool showUpArrow_ = false, showDownArrow_ = false;
    unsigned timers_ = 0;
    TBPoint baseSize_;
    std::unique_ptr<std::vector<TTBItemViewer*>> priority_;
    int internalViewers_ = 0;
    bool customizing_ = false;
    bool validated_ = false;
    int updateCount_ = 0;
    bool inLayout_ = false;
    bool destroying_ = false;
};

}  // namespace toolbars
