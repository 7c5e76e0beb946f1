#include "cursors.h"

namespace qivctl {

namespace {

// Fly cursor types of zones 0 to 10: LEFTUP, UP, RIGHTUP, TURNLEFT, NOMOVE, TURNRIGHT, LEFT,
// DOWN, RIGHT, LIFTUP, LIFTDOWN.
constexpr int32_t kFlyOfZone[11] = {23, 29, 26, 27, 24, 28, 22, 21, 25, 30, 31};

}  // namespace

CursorChoice cursorForType(int32_t type) {
    CursorChoice c;
    if (type == CursorNone) {
        c.kind = CursorChoice::Hidden;
    } else if (type >= 2 && type <= 4) {
        c.kind = CursorChoice::System;
        c.id = type - 2;
    } else if (type >= 6 && type <= 15) {
        c.kind = CursorChoice::System;
        c.id = type - 3;
    } else if (type >= CursorLink && type <= 36) {
        static const int32_t resources[] = {214, 204, 218, 219, 226, 232, 233, 234, 235, 236, 237,
                                            238, 239, 240, 241, 242, 251, 252, 255, 253, 254};
        c.kind = CursorChoice::Resource;
        c.id = resources[type - CursorLink];
    }
    return c;
}

int32_t contextCursorType(const CursorState& s) {
    if (s.renderingHeldBack || !s.insideFrame) return CursorNone;
    if (s.walkthrough) {
        if (s.headMoving) return CursorAim;
        int32_t zone = s.flyZone >= 0 && s.flyZone <= 10 ? s.flyZone : 4;
        return kFlyOfZone[zone];
    }
    if (s.zoomDrag) return CursorZoom;
    if (s.panDrag) return CursorPan;
    if (s.objectGrabbed) return s.heldHidesCursor ? CursorNone : CursorGrabbed;
    switch (s.pressed) {
        case DragKind::Zoom: return CursorZoom;
        case DragKind::Pan: return CursorPan;
        case DragKind::Rotate: return CursorRot;
        case DragKind::None: break;
    }
    if (s.overAnimation) return CursorAutoAnim;
    if (s.overMovable) return CursorGrab;
    return CursorRot;
}

CursorChoice cursorFor(int32_t type, const CursorState& s) {
    if (type != CursorContext) return cursorForType(type);
    int32_t t = contextCursorType(s);
    if (t == CursorNone) return CursorChoice{};
    return cursorForType(t);
}

SetCursorAction setCursorAction(const SetCursorState& s) {
    if (!s.ownWindow) return SetCursorAction::NotHandled;
    if (!s.tooltip && !s.inputDead && s.objectLoaded && s.viewSet && s.clientHit) {
        if (s.statusText) return SetCursorAction::WaitCursor;
        return SetCursorAction::StateCursor;
    }
    if (s.statusText && s.viewSet) return SetCursorAction::WaitCursor;
    if (s.tooltip && s.cursorOverOther) return SetCursorAction::EndHover;
    return SetCursorAction::NotHandled;
}

}  // namespace qivctl
