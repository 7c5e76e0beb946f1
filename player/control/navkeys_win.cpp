// Keyboard of the control window: view keys, walk keys, lights, zoom and pan steps, and Shift
// and Ctrl switching a running mouse drag. The commands come from keyDownCommand and
// keyUpCommand; this layer reads the keys and carries them out.
#include <windows.h>

#include "navhost_win.h"
#include "picks.h"
#include "qivctl_win.h"
#include "useropts_win.h"
#include "window_win.h"

namespace {

POINT cursorIn(HWND w) {
    POINT pt{0, 0};
    GetCursorPos(&pt);
    if (w) ScreenToClient(w, &pt);
    return pt;
}

}  // namespace

qivctl::KeyContext CQivPlayerCtl::keyContext(bool ctrl, bool shift) {
    NavController& nav = navController();
    qivctl::KeyContext c;
    c.walkthrough = props_.walkthrough;
    c.walkMoving = nav.walking();
    c.shift = shift;
    c.ctrl = ctrl;
    c.inputDead = state_.uiDead;
    c.objectLoaded = state_.usedCount > 0 && state_.sceneRoots;
    c.viewSet = state_.viewValid;
    c.zoomDrag = nav.zooming() && !nav.zoomByKey();
    c.panDrag = nav.panning();
    c.panByKey = nav.panByKey();
    c.zoomByKey = nav.zoomByKey();
    c.objectGrabbed = nav.draggedObject() >= 0;
    c.mouseDrag = nav.leftDragging();
    c.rotateBlocked = !qivctl::rotateAllowed(userMovements_);
    c.hostStatusCallback = win_->statusCallback != nullptr;
    c.keyWalkSwitch = true;  // F2 is the walk-through item's shortcut in the popup menu
    c.walkSpeed = ctrl ? 2.0 : 1.0;
    return c;
}

void CQivPlayerCtl::toggleLight(int32_t which) {
    state_.lights = qivctl::lightsAfterToggle(state_.lights, which);
    qivctl::applyOwnLights(state_, state_.lights);
    FireOnChanged(qivdispid::Lights);
    Redraw(true);
}

void CQivPlayerCtl::keyCommand(const qivctl::KeyCommand& c) {
    using K = qivctl::KeyCommand::Kind;
    NavController& nav = navController();
    const POINT at = cursorIn(hwnd());
    const uint32_t now = GetTickCount();
    const bool rotate = (userMovements_ & NavMoveRotate) == 0, zoom = (userMovements_ & NavMoveZoom) == 0;
    const bool walk = (userMovements_ & NavMoveWalk) == 0;
    switch (c.kind) {
        case K::None:
            return;
        case K::RayTraceFrame:
            OneTimeRaytrace();
            return;
        case K::DisplayFrame:
            win_->frameMode = state_.displayMode;
            Redraw(true);
            return;
        case K::ToggleLight:
            toggleLight(c.value);
            return;
        case K::ChangePhi:
        case K::ChangePsi:
            if (!rotate || !state_.viewValid) return;
            if (!AnglesAllowed(state_.phi + (c.kind == K::ChangePhi ? float(c.amount) : 0.0f),
                               state_.psi + (c.kind == K::ChangePsi ? float(c.amount) : 0.0f)))
                return;
            (c.kind == K::ChangePhi ? state_.phi : state_.psi) += float(c.amount);
            SetViewFromAngles();
            FireOnChanged(c.kind == K::ChangePhi ? qivdispid::Phi : qivdispid::Psi);
            break;
        case K::WalkSideways:
        case K::WalkTurn:
        case K::WalkLift:
        case K::WalkForward: {
            if (!walk || !state_.viewValid) return;
            const NavMotion m = c.kind == K::WalkSideways ? NavMotion::Sideways
                                : c.kind == K::WalkTurn   ? NavMotion::Turn
                                : c.kind == K::WalkLift   ? NavMotion::Lift
                                                          : NavMotion::Forward;
            nav.walkMotion(m, float(c.amount), now);
            break;
        }
        case K::WalkZoneAtCursor:
            nav.walkZoneAt(at.x, at.y, {GetAsyncKeyState(VK_CONTROL) < 0, GetAsyncKeyState(VK_SHIFT) < 0});
            break;
        case K::PanByKeyOn:
            nav.panByKey(true, at.x, at.y);
            break;
        case K::ZoomByKeyOn:
            nav.zoomByKey(true, at.x, at.y);
            break;
        case K::WalkthroughOff:
            put_Walkthrough(VARIANT_FALSE);
            return;
        case K::WalkthroughToggle:
            put_Walkthrough(props_.walkthrough ? VARIANT_FALSE : VARIANT_TRUE);
            return;
        case K::ResetView:
            if (!state_.sceneRoots) return;
            if (c.value) {  // Home: the first view
                state_.phi = kQivDefaultPhi;
                state_.psi = kQivDefaultPsi;
            }
            ShowAll();
            FireOnChanged(qivdispid::Phi);
            FireOnChanged(qivdispid::Psi);
            break;
        case K::MovePanX: {
            float pan = 0;
            get_PanX(&pan);
            put_PanX(pan + float(c.amount));
            break;
        }
        case K::MovePanY: {
            float pan = 0;
            get_PanY(&pan);
            put_PanY(pan + float(c.amount));
            break;
        }
        case K::ZoomStep:
            if (zoom) ZoomStep(c.value);
            break;
        case K::ToggleMultiView:
            state_.multiView = !state_.multiView;
            SetUse4DVision(state_.multiView ? 1 : 0);
            Redraw(true);
            return;
        case K::ToggleStatistics:
            ToggleStatistics();
            Redraw(true);
            return;
    }
    if (hwnd()) SetCursorForState(HTCLIENT);
    if (c.viewKey) {
        state_.frameValid = false;
        fireViewChange();
        Redraw(true);
    }
}

void CQivPlayerCtl::KeyInput(UINT msg, UINT key, bool ctrl, bool shift) {
    if (msg == WM_KEYDOWN) {
        // The 2D preview gives way to the object first.
        if (view2D()) Show2DView(VARIANT_FALSE);
        EndHover();
        keyCommand(qivctl::keyDownCommand(key, keyContext(ctrl, shift)));
        return;
    }
    if (msg != WM_KEYUP) return;
    NavController& nav = navController();
    const POINT at = cursorIn(hwnd());
    const qivctl::KeyUpCommand u = qivctl::keyUpCommand(key, keyContext(ctrl, shift));
    if (u.walkZoneAtCursor) nav.walkZoneAt(at.x, at.y, {ctrl, shift});
    if (u.endPanByKey) nav.panByKey(false, at.x, at.y);
    if (u.endZoomByKey) nav.zoomByKey(false, at.x, at.y);
    if (u.restartRotation) nav.restartRotation(at.x, at.y);
}

void CQivPlayerCtl::OnKeyDown(UINT key) {
    KeyInput(WM_KEYDOWN, key, GetAsyncKeyState(VK_CONTROL) < 0, GetAsyncKeyState(VK_SHIFT) < 0);
}

void CQivPlayerCtl::OnKeyUp(UINT key, bool resetCursor) {
    KeyInput(WM_KEYUP, key, GetAsyncKeyState(VK_CONTROL) < 0, GetAsyncKeyState(VK_SHIFT) < 0);
    if (resetCursor) {
        POINT pt;
        GetCursorPos(&pt);
        HWND under = WindowFromPoint(pt);
        if (under && GetWindowThreadProcessId(under, nullptr) == GetCurrentThreadId())
            SendMessageA(under, WM_SETCURSOR, WPARAM(under), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    }
    if (hwnd()) SetCursorForState(HTCLIENT);
}
