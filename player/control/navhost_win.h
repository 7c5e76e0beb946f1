// The control as the host of its pointer navigation: NavController's view, capture, picks,
// object drags and hover over the control's camera, scene and slots.
#pragma once
#include <windows.h>

#include <vector>

#include "navcontrol.h"

class CQivPlayerCtl;
struct CamRecord;
struct ScnNode;

// The camera's clip distances for the scene box from its eye (with the walk's step base in
// walk-through); the camera is updated.
void qivSetClipDistances(CamRecord& camera, const Box3& box, bool walkThrough);

// What lies under a point of the control window.
struct QivPick {
    bool hit = false;
    int32_t slot = -1;       // the object slot of the hit node
    int32_t subObject = -1;  // its part
    Vec3 world{};
    float depth = 0;         // pixel depth of the hit
    int32_t material = -1, texture = -1;
};

class QivNavigation : public NavHost {
public:
    explicit QivNavigation(CQivPlayerCtl* ctl);
    ~QivNavigation() override;

    // Picks at a client point of the frame.
    QivPick pickAt(int x, int y);

    bool busy() override;
    bool movementAllowed(uint32_t kind) override;
    bool objectShown() override;
    bool walkThrough() override;
    void clientSize(int* w, int* h) override;
    const CamRecord& camera() override;
    void toFrame(float* x, float* y) override;
    Box3 sceneBox() override;
    void angles(float* phi, float* psi) override;
    void setAngles(float phi, float psi) override;
    void zoomBy(float factor) override;
    void setView(const NavView& v) override;
    void centreOnPickedPoint() override;
    float panDepth(int x, int y) override;
    int32_t movableObjectAt(int x, int y) override;
    void beginObjectDrag(int32_t slot, int pressX, int pressY, int x, int y) override;
    void objectDragMove(int x, int y, bool rightButton, int rightPressY, bool ctrl) override;
    void objectDragDepth(float offset, int x, int startY) override;
    void endObjectDrag(int x, int y) override;
    void grabObject(int32_t slot, int x, int y, bool restart) override;
    void setCapture() override;
    void releaseMouse() override;
    void trackHover(int x, int y) override;
    void forgetHover() override;
    void walkZone(int zone) override;
    void updateCursor(int x, int y) override;
    void invalidate() override;
    void dragEnded() override;

    // The scene goes: a running drag ends without events, the drag states are cleared and a
    // capture they hold is released.
    void sceneGone();
    // Move flags of the dragged object (0 without a drag).
    uint32_t dragFlags() const { return drag_.slot >= 0 ? drag_.flags : 0; }
    // A running object drag's move so far goes into the dragged slot's placement; the drag
    // goes on from there.
    void commitObjectDrag();
    // After the nodes were placed from the slots: the dragged nodes go back where the drag has
    // them.
    void keepObjectDrag();

    NavController nav;

private:
    // The world point under a client point at a pixel depth.
    Vec3 worldAt(float x, float y, float depth);
    // The moved nodes placed at their saved matrices shifted by offset.
    void placeMoved(const Vec3& offset);
    Vec3 movedCentre() const;

    CQivPlayerCtl* ctl_;
    struct ObjectDrag {
        int32_t slot = -1;
        int32_t through = -1;  // the slot grabbed, within slot: the groups on its way up name it
        uint32_t flags = 0;
        Vec3 grab{};           // world point grabbed
        float depth = 0;       // pixel depth of the move plane
        Vec3 accepted{};       // offset of the moved nodes from their start
        Vec3 target{};         // the point under the mouse at the last move
        std::vector<ScnNode*> nodes;      // zero-terminated
        std::vector<Mat4> saved;
        std::vector<ScnNode*> obstacles;  // zero-terminated
        ScnNode** contacts = nullptr;     // obstacles touched at the start
    } drag_;
    void endDrag();
    // The drag's slot and its moved nodes with the grab at a world point.
    void startDrag(int32_t slot, int32_t through, const Vec3& grab);
    // activeChild of the groups from the grabbed slot up to the dragged one.
    void markWay(bool on);
};
