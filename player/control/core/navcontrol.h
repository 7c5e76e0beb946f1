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
    virtual bool objectShown() = 0;         // something to navigate
    virtual bool walkThrough() = 0;
    virtual void clientSize(int* width, int* height) = 0;
    virtual const CamRecord& camera() = 0;  // its matrices for pan, walk-look and picks
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
    virtual void beginObjectDrag(int32_t slot, int x, int y) {}
    // rightButton: the move goes across the move plane by the vertical travel.
    virtual void objectDragMove(int x, int y, bool rightButton, bool ctrl) {}
    // Right-button release during an object drag: the depth grows by the travel.
    virtual void objectDragDepth(float offset, int x, int startY) {}
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

class NavController {
public:
    explicit NavController(NavHost* host) : host_(host) {}

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

    NavSpin& spin() { return spin_; }
    const NavSpin& spin() const { return spin_; }
    bool captured() const { return captured_; }
    bool rotating() const { return rotate_; }
    bool zooming() const { return zoom_; }
    bool panning() const { return pan_; }
    bool walkLooking() const { return walkLook_; }
    bool walkButton() const { return walkButton_; }
    bool leftButton() const { return left_; }
    bool rightButton() const { return right_; }
    bool dragStarted() const { return leftDrag_ || rightDrag_; }
    int32_t draggedObject() const { return dragSlot_; }
    int zone() const { return zone_; }
    // Every drag state cleared, the spin kept.
    void reset();

private:
    void startCapture();
    void beginPan(int x, int y);
    void panTo(int x, int y);
    void walkStep(int x, int y, NavKeys keys, bool move, uint32_t now);
    void walkLookTo(int x, int y);
    void rotateTo(int x, int y, uint32_t now);
    void release();

    NavHost* host_;
    NavSpin spin_;
    // Drag state
    bool captured_ = false, left_ = false, right_ = false;
    bool leftDrag_ = false, rightDrag_ = false;
    bool rotate_ = false, zoom_ = false, pan_ = false, walkLook_ = false;
    bool walkButton_ = false, walkMoved_ = false, viewMoved_ = false;
    int downX_ = 0, downY_ = 0;
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
    // Object drag
    int32_t dragSlot_ = -1;
};
