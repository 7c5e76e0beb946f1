#pragma once
// The arithmetic of dockable and floating windows, without the system: the
// docked frame and drag handle sizes, the floating frame's hit codes, the
// rectangle of a resize from one edge or corner within size limits, and
// keeping a window's rectangle on its monitor's work area.
#include "tbcommon.h"

namespace toolbars {

enum TTBDockMode { dmCanFloat, dmCannotFloat, dmCannotFloatOrChangeDocks };
enum TTBDragHandleStyle { dhDouble, dhNone, dhSingle };
enum TTBFloatingMode { fmOnTopOfParentForm, fmOnTopOfAllForms };

// Non-client hit codes of the framework's frames beside the system's
// sizing codes (HTLEFT 10 ... HTBOTTOMRIGHT 17).
constexpr int kHitDragHandle = 2000, kHitCloseButton = 2001, kHitCaption = 2002;
constexpr int kHitLeft = 10, kHitRight = 11, kHitTop = 12, kHitTopLeft = 13, kHitTopRight = 14, kHitBottom = 15,
              kHitBottomLeft = 16, kHitBottomRight = 17;
// 0 for "not ours" (the system's answer stands).
constexpr int kHitNone = 0;

// Across the drag handle of a docked window (its leading edge).
int DragHandleSize(TTBDragHandleStyle style, bool closeButtonWhenDocked);
// Where the first grip bar starts, from the handle's leading edge.
int DragHandleGripOffset(TTBDragHandleStyle style, bool closeButtonWhenDocked);

struct TBFloatingFrame {
    int border = 4;         // the floating border on each side
    int captionHeight = 0;  // the small caption height (0: no caption)
    bool closeButton = true;
    bool resizable = true;
    bool eightCorners = true;
};

// The caption band and its close button, in window coordinates of a
// window of the given size.
Rect FloatingCaptionRect(const TBFloatingFrame& f, int width);
Rect FloatingCloseButtonRect(const TBFloatingFrame& f, int width);
// The code at a point outside the client area (window coordinates).
int FloatingHitTest(const TBFloatingFrame& f, int width, int height, TBPoint p);

// A resize from the edge or corner of a sizing code by the cursor's offset:
// the dragged edges move, then the width and the height are brought within
// the limits (a maximum of 0: none) by moving the dragged edge again.
Rect ResizeRect(const Rect& start, int hitCode, int dx, int dy, TBPoint minSize, TBPoint maxSize);

// Moved into the area (right and bottom edges first, then left and top);
// with onlyWhenOutside nothing happens while it still intersects the area.
Rect KeepInside(const Rect& r, const Rect& area, bool onlyWhenOutside);
// A placement read back (from a window or a saved file): the size at least
// the minimum, at most the maximum (0: none) and the area, then moved wholly
// into the area. Every place or size that comes back from outside goes
// through here; the 64-bit form takes raw values that may be anything.
Rect ClampPlacement(const Rect& r, const Rect& area, TBPoint minSize, TBPoint maxSize = {});
Rect ClampPlacement(long long left, long long top, long long width, long long height, const Rect& area,
                    TBPoint minSize, TBPoint maxSize = {});
// A size alone (a client size read back) within the same limits.
TBPoint ClampSize(long long width, long long height, const Rect& area, TBPoint minSize, TBPoint maxSize = {});

}  // namespace toolbars
