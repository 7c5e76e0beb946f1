#pragma once
// A dock's arrangement of the windows docked in it, over abstract windows:
// which row each goes to (rows of their own, wrapping, empty rows closed
// up), where along the row, how long (chevron and wrapping toolbars shrink
// when a row overflows, full-size and stretching windows grow), how thick
// each row is, and how thick the dock becomes across its edge. The Windows
// layer measures and moves the real windows.
#include <functional>
#include <vector>

#include "tbcommon.h"

namespace toolbars {

enum TTBDockPosition { dpTop, dpBottom, dpLeft, dpRight };

// Bound lines of a dock's edges, a set.
using TTBDockBoundLines = unsigned;
constexpr TTBDockBoundLines blTop = 1, blBottom = 2, blLeft = 4, blRight = 8;

// How a docked window gives up length when its row overflows.
enum class TBShrinkMode { None, Wrap, Chevron };

// What a dock reads and writes of a dockable window. Sizes are client
// sizes; lengths along the dock include the window's frame. A docked
// window's frame across the dock is kDockedFrame.
class TBDockableWindow {
public:
    virtual ~TBDockableWindow() = default;

    // Requested row and position (-1: wherever it goes).
    int DockRow = 0;
    int DockPos = -1;
    bool FullSize = false;  // the whole length of the dock, in a row of its own
    bool Stretch = false;   // grows into the room after it
    // Asks for a row of its own (set while it is dragged).
    bool OpensNewRow = false;
    // Where the last arrangement put it (-1: not shown in the dock).
    int LaidOutRow = 0;
    int LaidOutPos = 0;
    // Its client extent across the dock in the last arrangement.
    int RowThickness = 0;
    // The length the dock granted; 0 when not shrunk.
    int ShrunkLength = 0;
    int UpdatingBounds = 0;
    bool ArrangeNeeded = false;

    virtual bool Destroying() const { return false; }
    // Its length along the dock with its frame, as it is now.
    virtual int FullLength(bool vertical) = 0;
    // The shortest it may be along the dock (with its frame).
    virtual int MinimumLength(bool vertical) = 0;
    virtual TBShrinkMode ShrinkMode() const { return TBShrinkMode::None; }
    // Its client size as it is now.
    virtual TBPoint ClientSize() = 0;
    // Its client size for the dock's orientation once ShrunkLength changed.
    virtual TBPoint SizeForDock(bool vertical) { return ClientSize(); }
    // Placed by the dock (in the dock's client coordinates).
    virtual void SetBounds(const Rect& r) = 0;
    // Lays out its own content again after a resize.
    virtual void Arrange() {}
};

// Across the dock, a docked window's frame (2 pixels on each side) is added
// to the thickest window of a row.
constexpr int kDockedFrame = 4;

class TBDockLayout {
public:
    TTBDockPosition Position() const { return position_; }
    // Raises forms::EInvalidOperation when windows are docked already.
    void SetPosition(TTBDockPosition p);
    bool Vertical() const { return position_ == dpLeft || position_ == dpRight; }
    TTBDockBoundLines BoundLines() const { return boundLines_; }
    void SetBoundLines(TTBDockBoundLines lines);
    // The bound lines on the left and right, and on the top and bottom.
    int NonClientWidth() const { return ncWidth_; }
    int NonClientHeight() const { return ncHeight_; }
    bool FixAlign() const { return fixAlign_; }
    void SetFixAlign(bool v);
    bool LimitToOneRow = false;
    bool Loading = false;
    // A client-aligned dock is never resized by its arrangement.
    bool ClientAligned = false;
    // The dock's rectangle in its parent; the arrangement sets its
    // thickness (a bottom dock keeps its bottom edge, a right dock its right).
    Rect Bounds;
    // A window became shown in the dock (true) or left it.
    std::function<void(bool inserting, TBDockableWindow* w)> OnInsertRemoveBar;

    // Membership: every window whose dock this is, and those of them shown.
    void AddWindow(TBDockableWindow* w);
    void RemoveWindow(TBDockableWindow* w);
    // The window is (or is no longer) parented to the dock and visible.
    void UpdateShown(TBDockableWindow* w, bool shown);
    const std::vector<TBDockableWindow*>& Docked() const { return docked_; }
    const std::vector<TBDockableWindow*>& Shown() const { return shown_; }

    // Bulk changes arrange once at the end.
    void BeginArrange() { ++lock_; }
    void EndArrange();
    // The next arrangement writes the laid-out rows and positions back.
    void CommitNext() { commit_ = true; }
    void CommitPositions();
    // The window the drag loop places, and whether it pushes its
    // neighbours (keeps its list place while sorting).
    TBDockableWindow* Placed = nullptr;
    bool Splitting = false;
    // Set by an arrangement when the placed window shares an overflowing row.
    bool CanSplit() const { return canSplit_; }

    void LayOutDockedWindows();

    // Row queries.
    int HighestRow(bool laidOut) const;
    // The client extent across the dock of the thickest shown window laid
    // out in the row; fullSize tells whether one of them is FullSize.
    int RowThicknessOf(int row, bool* fullSize = nullptr) const;
    // The largest RowThickness in the row, leaving out one window.
    int MaxRowThicknessExcept(int row, const TBDockableWindow* except) const;
    // The row at a distance from the dock's inner edge (one past the last
    // row when beyond them all).
    int RowAtDistance(int distance) const;
    // The row a dragged window goes to when the middle of its rectangle
    // lies at a distance from the edge where row 0 starts: near a row's
    // edges (a quarter of its thickness, half where a full-size window is
    // involved) a new row opens before it; in between it joins the row
    // unless a full-size window is involved; past the last row a new row
    // follows. Thicknesses are those of the last arrangement, so distances
    // match where the rows are.
    struct DragRow {
        int row;
        bool newRow;
        bool operator==(const DragRow&) const = default;
    };
    DragRow RowForDrag(int distance, bool draggedFullSize) const;
    // Thickness of each row of the last arrangement (frames included).
    const std::vector<int>& RowThicknesses() const { return rowThickness_; }

private:
    void setThickness(int t);
    bool isShown(const TBDockableWindow* w) const;

    TTBDockPosition position_ = dpTop;
    TTBDockBoundLines boundLines_ = 0;
    int ncWidth_ = 0, ncHeight_ = 0;
    bool fixAlign_ = false;
    std::vector<TBDockableWindow*> docked_, shown_;
    int lock_ = 0;
    bool pending_ = false;
    bool commit_ = false;
    bool canSplit_ = false;
    std::vector<int> rowThickness_;
};

}  // namespace toolbars
