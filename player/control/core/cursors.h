// Cursor of the control window: the cursor type's table and the context cursor chosen by
// the state of navigation. The window layer loads the cursors and sets the chosen one.
#pragma once
#include <cstdint>

namespace qivctl {

// Cursor type values (qivCursorTypes) with names of their own here.
enum CursorType : int32_t {
    CursorNone = 0,
    CursorContext = 1,
    CursorHand = 5,
    CursorLink = 16,
    CursorRot = 17,
    CursorZoom = 18,
    CursorPan = 19,
    CursorAutoAnim = 20,
    CursorFlyFirst = 21,  // FlyDOWN ... FlyLIFTDOWN: 21 to 31
    CursorAim = 32,
    CursorGrab = 33,
    CursorGrabbed = 34,
    CursorColorize = 35,
    CursorErase = 36,
};

struct CursorChoice {
    enum Kind { NotSet, Hidden, System, Resource } kind = NotSet;
    // System: index of the system cursor in the table order APPSTARTING, ARROW, CROSS, HELP,
    // IBEAM, NO, SIZEALL, SIZENESW, SIZENS, SIZENWSE, SIZEWE, UPARROW, WAIT (0 to 12).
    // Resource: the cursor's resource identifier.
    int32_t id = 0;
    bool operator==(const CursorChoice&) const = default;
};

// The cursor of a non-context type; type 5 and unknown types set none.
CursorChoice cursorForType(int32_t type);

enum class DragKind { None, Rotate, Zoom, Pan };

struct CursorState {
    bool renderingHeldBack = false;
    bool insideFrame = true;
    bool walkthrough = false;
    bool headMoving = false;      // walkthrough: the head is being turned
    int32_t flyZone = 4;          // walkthrough: zone of the mouse, 0 to 10
    bool zoomDrag = false;        // zooming by drag
    bool panDrag = false;         // panning by drag
    DragKind pressed = DragKind::None;  // what the pressed buttons and keys would do
    bool objectGrabbed = false;   // an object is held
    bool heldHidesCursor = false;
    bool overAnimation = false;   // over a sub-object that starts an animation
    bool overMovable = false;     // over an object that can be moved
};

// Cursor type of the context cursor (or CursorNone when none is set).
int32_t contextCursorType(const CursorState& state);
// The cursor to set for a cursor type in a state (type 1: the context cursor).
CursorChoice cursorFor(int32_t type, const CursorState& state);

// What a set-cursor message does (for the control window or the hardware window).
struct SetCursorState {
    bool ownWindow = true;       // the message is for the control or the hardware window
    bool tooltip = false;        // a hover tooltip object exists
    bool cursorOverOther = false;  // the cursor is over another window
    bool inputDead = false;
    bool objectLoaded = false;
    bool viewSet = false;
    bool clientHit = false;      // hit code HTCLIENT
    bool statusText = false;     // a status text is shown
};
enum class SetCursorAction { NotHandled, StateCursor, WaitCursor, EndHover };
SetCursorAction setCursorAction(const SetCursorState& s);

}  // namespace qivctl
