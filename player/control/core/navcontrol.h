// Pointer navigation of the viewer: the drag states that button presses, mouse moves and
// releases go through (rotate, zoom, pan, walk-through, walk-look, object drag), the spin
// that a quick release leaves running and the walk that continues while a button is held.
// The window code reads the message, the keys and the clock and calls in; the view itself is
// read and changed through NavHost.
#pragma once
#include <cstdint>

#include "navigation.h"
#include "scene/camera.h"

// What the controller reads and drives; the control implements it.
class NavHost {
public:
    virtual ~NavHost() = default;
    virtual bool busy() { return false; }   // a modal operation runs: presses and moves are ignored
    // The user-movement mask: false for a kind (NavMoveRotate, NavMoveZoom, NavMoveWalk) it blocks.
    virtual bool movementAllowed(uint32_t kind) { return true; }
    virtual bool objectShown() = 0;         // something to navigate
    virtual bool walkThrough() = 0;
    virtual void clientSize(int* width, int* height) = 0;
    virtual const CamRecord& camera() = 0;  // its matrices for pan, walk-look and picks
    // A client point in the camera's pixel coordinates (rows may run upwards).
    virtual void toFrame(float* x, float* y) {}
    virtual Box3 sceneBox() = 0;
    virtual void angles(float* phi, float* psi) = 0;
    // Through the viewing setter: announces Phi and Psi, recomputes the view and redraws.
    virtual void setAngles(float phi, float psi) = 0;
    virtual void zoomBy(float factor) = 0;
    // Eye and view reference point set together; the view is recomputed and redrawn.
    virtual void setView(const NavView& view) = 0;
    virtual void centreOnPickedPoint() {}
    // Screen depth of the pan reference: the picked point under (x, y), else the view
    // reference point's depth.
    virtual float panDepth(int x, int y) = 0;
    // Slot of the outermost movable object under the point, or -1.
    virtual int32_t movableObjectAt(int x, int y) { return -1; }
    // The drag starts at the press point (pressX, pressY); the mouse is at (x, y).
    virtual void beginObjectDrag(int32_t slot, int pressX, int pressY, int x, int y) {}
    // rightButton: the move goes across the move plane by the vertical travel from rightPressY.
    virtual void objectDragMove(int x, int y, bool rightButton, int rightPressY, bool ctrl) {}
    // Right-button release during an object drag: the depth grows by the travel.
    virtual void objectDragDepth(float offset, int x, int startY) {}
    // Left release: the object is placed at (x, y) and the move ends.
    virtual void endObjectDrag(int x, int y) {}
    // The drag takes slot, grabbed at (x, y) on the move plane. restart: a drag runs and goes
    // on with slot (its move so far kept); else a drag starts on slot.
    virtual void grabObject(int32_t slot, int x, int y, bool restart) {}
    virtual void setCapture() = 0;
    // Releases a capture: hover and tooltip end, the mouse-released notice is posted.
    virtual void releaseMouse() = 0;
    virtual void trackHover(int x, int y) {}
    virtual void forgetHover() {}
    virtual void walkZone(int zone) {}      // the cursor follows the zone
    virtual void updateCursor(int x, int y) {}
    virtual void invalidate() {}
    // A drag ended: the frame is drawn again when the edge filter applies.
    virtual void dragEnded() {}
};

struct NavKeys {
    bool ctrl = false, shift = false;
};

// A walk step never counts more time than this since the last one (a stalled frame or a pause
// between scripted steps does not make a jump).
constexpr uint32_t NAV_WALK_ELAPSED_MAX = 1000;

// Kinds of user movement (the bits of the user-movement mask).
enum : uint32_t { NavMoveRotate = 1, NavMovePan = 2, NavMoveZoom = 4, NavMoveWalk = 8 };

class NavController {
public:
    // spin: the view's spin clock when the host keeps it, else the controller's own.
    explicit NavController(NavHost* host, NavSpin* spin = nullptr) : host_(host), spin_(spin ? spin : &ownSpin_) {}

    // Button handlers: the physical button has been checked by the caller. Each answers
    // whether the message was handled.
    bool leftDown(int x, int y, NavKeys keys, uint32_t now);
    // Read draggedObject() first: the release ends an object drag (the caller places the
    // object and fires its events).
    bool leftUp(int x, int y, NavKeys keys, uint32_t now);
    bool rightDown(int x, int y, NavKeys keys, uint32_t now);
    // False when the release is left to the default handling (the context menu).
    bool rightUp(int x, int y, NavKeys keys, uint32_t now);
    // dragX, dragY: the system's drag distance.
    bool mouseMove(int x, int y, NavKeys keys, uint32_t now, int dragX, int dragY);
    // After each drawn frame: the walk goes on while its button is held; the spin turns.
    // True when the view changed.
    bool walkTick(int x, int y, NavKeys keys, uint32_t now);
    bool spinTick(uint32_t now);
    // Shift and Ctrl pressed or released during a left drag (x, y: the cursor): Shift pans
    // and Ctrl zooms from the cursor on; their release turns the drag back into a rotation
    // from the current angles (unless rotation is blocked).
    void panByKey(bool on, int x, int y);
    void zoomByKey(bool on, int x, int y);
    void restartRotation(int x, int y);
    // The walk zone of a point (for the cursor), without moving.
    void walkZoneAt(int x, int y, NavKeys keys);
    // WalkThroughStep: one motion by direction with the scene's step base, scaled by the time
    // since the last walk step (none for the first step, at most a second). False for an
    // unknown direction (nothing moves).
    bool walkThroughStep(int32_t dir, float howFar, uint32_t now);
    // A walk key's motion, without time scaling.
    void walkMotion(NavMotion kind, float amount, uint32_t now);
    // The capture went to another window: the button states end (an object drag keeps it).
    void captureLost();
    // An object drag goes on with slot, grabbed again at (x, y) (a grouping change); without
    // one running, slot is dragged from (x, y) as if the left button had taken it there.
    void dragObject(int32_t slot, int x, int y);

    NavSpin& spin() { return *spin_; }
    const NavSpin& spin() const { return *spin_; }
    bool captured() const { return captured_; }
    bool rotating() const { return rotate_; }
    bool zooming() const { return zoom_; }
    bool panning() const { return pan_; }
    bool walkLooking() const { return walkLook_; }
    bool walkButton() const { return walkButton_; }
    bool leftButton() const { return left_; }
    bool rightButton() const { return right_; }
    bool dragStarted() const { return leftDrag_ || rightDrag_; }
    bool leftDragging() const { return leftDrag_; }
    bool rightZooming() const { return zoom_ && rightDrag_; }
    bool panByKey() const { return panByKey_; }
    bool zoomByKey() const { return zoomByKey_; }
    // A walk motion is under way (the walk button is held).
    bool walking() const { return walkButton_; }
    int32_t draggedObject() const { return dragSlot_; }
    int zone() const { return zone_; }
    // Every drag state cleared, the spin kept.
    void reset();

private:
    void startCapture();
    void beginPan(int x, int y);
    void panTo(int x, int y);
    void walkStep(int x, int y, NavKeys keys, bool move, uint32_t now);
    // Time since the last walk step: none before the first, at most NAV_WALK_ELAPSED_MAX.
    uint32_t walkElapsed(uint32_t now) const;
    void walkLookTo(int x, int y);
    void rotateTo(int x, int y, uint32_t now);
    void release();

    NavHost* host_;
    NavSpin ownSpin_;
    NavSpin* spin_;
    // Drag state
    bool captured_ = false, left_ = false, right_ = false;
    bool leftDrag_ = false, rightDrag_ = false;
    bool rotate_ = false, zoom_ = false, pan_ = false, walkLook_ = false;
    bool walkButton_ = false, walkMoved_ = false, viewMoved_ = false;
    bool panByKey_ = false, zoomByKey_ = false;
    int downX_ = 0, downY_ = 0;    // left press
    int rightX_ = 0, rightY_ = 0;  // right press
    int anchorX_ = 0, anchorY_ = 0;
    int lastZoomY_ = 0;
    float basePhi_ = 0, basePsi_ = 0;
    float deltaH_ = 0, deltaV_ = 0;
    uint32_t lastRotate_ = 0;
    // Pan
    NavView panStart_{};
    Mat4 panInverse_{};
    float panDepth_ = 0;
    // Walk-through
    int zone_ = 4;
    uint32_t lastWalk_ = 0;
    bool walked_ = false;  // lastWalk_ holds the time of a walk step
    // Object drag
    int32_t dragSlot_ = -1;
};
