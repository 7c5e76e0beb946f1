// Pointer navigation drag states.
#include "navcontrol.h"

#include <algorithm>
#include <cstdlib>

void NavController::reset() {
    captured_ = left_ = right_ = leftDrag_ = rightDrag_ = false;
    rotate_ = zoom_ = pan_ = walkLook_ = false;
    walkButton_ = walkMoved_ = viewMoved_ = false;
    panByKey_ = zoomByKey_ = false;
    dragSlot_ = -1;
}

void NavController::startCapture() {
    captured_ = true;
    host_->setCapture();
}

void NavController::release() {
    if (!captured_) return;
    captured_ = false;
    host_->releaseMouse();
}

void NavController::captureLost() {
    if (dragSlot_ >= 0) {
        host_->setCapture();  // an object drag keeps the mouse
        return;
    }
    if (!captured_) return;
    captured_ = left_ = right_ = false;
}

void NavController::dragObject(int32_t slot, int x, int y) {
    if (slot < 0) return;
    const bool restart = dragSlot_ >= 0;
    if (!restart) {
        rotate_ = zoom_ = pan_ = walkLook_ = false;
        left_ = leftDrag_ = true;
        downX_ = x;
        downY_ = y;
    }
    dragSlot_ = slot;
    if (!captured_) startCapture();
    host_->grabObject(slot, x, y, restart);
}

bool NavController::leftDown(int x, int y, NavKeys keys, uint32_t now) {
    if (host_->busy()) return false;
    if (zoom_ && right_) return true;  // a zoom drag of the right button runs
    downX_ = x;
    downY_ = y;
    if (host_->walkThrough()) {
        lastWalk_ = now;
        walked_ = true;
        walkStep(x, y, keys, false, now);
        walkButton_ = true;
        walkMoved_ = false;
        startCapture();
        host_->invalidate();
        return true;
    }
    left_ = true;
    leftDrag_ = false;
    viewMoved_ = false;
    navSpinStop(spin_);  // a click stops the spin
    if ((keys.ctrl || zoom_) && host_->movementAllowed(NavMoveZoom)) {
        zoom_ = true;
        lastZoomY_ = y;
    } else if (!keys.ctrl && (keys.shift || pan_)) {
        pan_ = true;
        beginPan(x, y);
    } else if (rotate_ && host_->movementAllowed(NavMoveRotate)) {
        host_->angles(&basePhi_, &basePsi_);
        anchorX_ = x;
        anchorY_ = y;
    } else {
        // The rotation or the object drag starts once the mouse has moved far enough.
        host_->updateCursor(x, y);
        return true;
    }
    leftDrag_ = true;
    startCapture();
    return true;
}

bool NavController::mouseMove(int x, int y, NavKeys keys, uint32_t now, int dragX, int dragY) {
    if (!host_->objectShown() || host_->busy()) return false;
    const bool walk = host_->walkThrough();
    if (walk && !right_) walkStep(x, y, keys, walkButton_, now);
    int w = 0, h = 0;
    host_->clientSize(&w, &h);
    const bool dragging = rotate_ || zoom_ || pan_ || walkLook_ || dragSlot_ >= 0 || walkButton_;
    if ((x < 0 || y < 0 || x >= w || y >= h) && !dragging) {
        release();
        host_->forgetHover();
        return true;
    }
    host_->trackHover(x, y);
    const bool rightFar = std::abs(x - rightX_) >= dragX || std::abs(y - rightY_) >= dragY;
    const bool leftFar = std::abs(x - downX_) >= dragX || std::abs(y - downY_) >= dragY;
    if (rightFar && right_ && !rightDrag_ && !keys.shift && dragSlot_ < 0) {
        if (walk) {
            walkLook_ = host_->movementAllowed(NavMoveWalk);
        } else if (host_->movementAllowed(NavMoveZoom)) {
            zoom_ = true;
            lastZoomY_ = rightY_;
        }
        rightDrag_ = true;  // a drag, zooming or not: no context menu on release
        if (!captured_) startCapture();
        host_->updateCursor(x, y);
    } else if (leftFar && left_ && !leftDrag_ && !walk) {
        const int32_t slot = keys.ctrl || keys.shift ? -1 : host_->movableObjectAt(downX_, downY_);
        bool started = true;
        if (keys.shift) {
            pan_ = true;
            beginPan(x, y);
        } else if (keys.ctrl) {
            zoom_ = started = host_->movementAllowed(NavMoveZoom);
            lastZoomY_ = y;
        } else if (slot >= 0) {
            dragSlot_ = slot;
            host_->beginObjectDrag(slot, downX_, downY_, x, y);
        } else if (host_->movementAllowed(NavMoveRotate)) {
            rotate_ = true;
            host_->centreOnPickedPoint();  // may move the view: the base angles are read after it
            host_->angles(&basePhi_, &basePsi_);
            anchorX_ = x;
            anchorY_ = y;
        } else {
            started = false;  // rotation blocked: the press stays a click
        }
        if (started) {
            leftDrag_ = true;
            if (!captured_) startCapture();
        }
    }
    if (dragSlot_ >= 0) {
        host_->objectDragMove(x, y, right_, rightY_, keys.ctrl);
    } else if (rotate_) {
        rotateTo(x, y, now);
    } else if (zoom_) {
        if (y != lastZoomY_) {
            const float f = navZoomDragFactor(lastZoomY_, y);
            lastZoomY_ = y;
            host_->zoomBy(f);
            viewMoved_ = true;
        }
    } else if (pan_) {
        panTo(x, y);
    } else if (walkLook_) {
        walkLookTo(x, y);
    }
    host_->updateCursor(x, y);
    return true;
}

bool NavController::leftUp(int x, int y, NavKeys keys, uint32_t now) {
    if (host_->walkThrough() || walkButton_) {
        if (walkButton_) walkStep(x, y, keys, true, now);  // one last step
        walkButton_ = false;
        release();
        return true;
    }
    if (dragSlot_ >= 0) host_->endObjectDrag(x, y);
    if (rotate_ && spin_->keepSpinning) {
        float phi = 0, psi = 0;
        host_->angles(&phi, &psi);
        navSpinOnRelease(spin_, deltaH_, deltaV_, lastRotate_, now, phi, psi);
    }
    const bool dragged = leftDrag_;
    rotate_ = zoom_ = pan_ = false;
    left_ = leftDrag_ = false;
    dragSlot_ = -1;
    if (captured_ && dragged) host_->dragEnded();
    release();
    return true;
}

bool NavController::rightDown(int x, int y, NavKeys keys, uint32_t now) {
    if (host_->busy()) return false;
    rightX_ = x;
    rightY_ = y;
    if (host_->walkThrough()) walkStep(x, y, keys, false, now);
    right_ = true;
    rightDrag_ = dragSlot_ >= 0;
    return true;
}

bool NavController::rightUp(int x, int y, NavKeys keys, uint32_t now) {
    if (host_->walkThrough()) walkStep(x, y, keys, false, now);
    if (dragSlot_ >= 0 && right_) {
        int w = 0, h = 0;
        host_->clientSize(&w, &h);
        host_->objectDragDepth(navDragDepthOffset(rightY_, y, h), x, rightY_);
        if (left_) {
            right_ = false;
            return true;
        }
    }
    right_ = zoom_ = walkLook_ = false;
    if (!rightDrag_) return false;  // the default handling raises the context menu
    rightDrag_ = false;
    if (captured_) host_->dragEnded();
    release();
    return true;
}

bool NavController::walkTick(int x, int y, NavKeys keys, uint32_t now) {
    if (!host_->walkThrough() || !walkButton_) return false;
    const bool before = walkMoved_;
    walkMoved_ = false;
    walkStep(x, y, keys, true, now);
    const bool moved = walkMoved_;
    walkMoved_ = walkMoved_ || before;
    return moved;
}

bool NavController::spinTick(uint32_t now) {
    if (host_->walkThrough()) return false;
    float phi = 0, psi = 0;
    host_->angles(&phi, &psi);
    if (!navSpinTick(spin_, now, &phi, &psi)) return false;
    host_->setAngles(phi, psi);
    return true;
}

void NavController::panByKey(bool on, int x, int y) {
    panByKey_ = on;
    if (!on || !leftDrag_ || dragSlot_ >= 0 || host_->walkThrough()) return;
    rotate_ = zoom_ = false;
    pan_ = true;
    beginPan(x, y);
}

void NavController::zoomByKey(bool on, int x, int y) {
    zoomByKey_ = on;
    if (!on || !leftDrag_ || dragSlot_ >= 0 || !host_->movementAllowed(NavMoveZoom)) return;
    rotate_ = pan_ = false;
    zoom_ = true;
    lastZoomY_ = y;
}

void NavController::restartRotation(int x, int y) {
    if (!leftDrag_ || dragSlot_ >= 0 || host_->walkThrough()) return;
    pan_ = zoom_ = false;
    if (!host_->movementAllowed(NavMoveRotate)) return;
    rotate_ = true;
    host_->angles(&basePhi_, &basePsi_);
    anchorX_ = x;
    anchorY_ = y;
}

uint32_t NavController::walkElapsed(uint32_t now) const {
    return walked_ ? std::min<uint32_t>(now - lastWalk_, NAV_WALK_ELAPSED_MAX) : 0;
}

bool NavController::walkThroughStep(int32_t dir, float howFar, uint32_t now) {
    const CamRecord& cam = host_->camera();
    const float r = navStepBase(host_->sceneBox(), cam.eye);
    const uint32_t elapsed = walkElapsed(now);
    NavView v{cam.eye, cam.vrp};
    const bool known = navWalkThroughStep(&v, dir, howFar, r, elapsed);
    lastWalk_ = now;
    walked_ = true;
    host_->setView(v);
    return known;
}

void NavController::walkMotion(NavMotion kind, float amount, uint32_t now) {
    const CamRecord& cam = host_->camera();
    NavView v{cam.eye, cam.vrp};
    navWalkMotion(&v, kind, amount, navStepBase(host_->sceneBox(), cam.eye), 0);
    lastWalk_ = now;
    walked_ = true;
    host_->setView(v);
}

void NavController::walkZoneAt(int x, int y, NavKeys keys) { walkStep(x, y, keys, false, lastWalk_); }

void NavController::beginPan(int x, int y) {
    const CamRecord& cam = host_->camera();
    panStart_ = {cam.eye, cam.vrp};
    panInverse_ = cam.pixelToWorld;
    panDepth_ = host_->panDepth(x, y);
    anchorX_ = x;
    anchorY_ = y;
}

void NavController::panTo(int x, int y) {
    float ax = float(anchorX_), ay = float(anchorY_), cx = float(x), cy = float(y);
    host_->toFrame(&ax, &ay);
    host_->toFrame(&cx, &cy);
    const Vec3 a = navUnproject(panInverse_, ax, ay, panDepth_);
    const Vec3 c = navUnproject(panInverse_, cx, cy, panDepth_);
    NavView v{};
    navPan(&v, panStart_, a, c);
    host_->setView(v);
    viewMoved_ = true;
}

void NavController::rotateTo(int x, int y, uint32_t now) {
    int w = 0, h = 0;
    host_->clientSize(&w, &h);
    const NavRotation r = navRotateDrag(basePhi_, basePsi_, anchorX_, anchorY_, x, y, w, h);
    deltaH_ = r.deltaH;
    deltaV_ = r.deltaV;
    lastRotate_ = now;
    host_->setAngles(r.phi, r.psi);
    viewMoved_ = true;
}

void NavController::walkLookTo(int x, int y) {
    const CamRecord& cam = host_->camera();
    const Vec3 at = navProject(cam.worldToPixel, cam.vrp);
    float fx = float(x), fy = float(y);
    host_->toFrame(&fx, &fy);
    const Vec3 target = navUnproject(cam.pixelToWorld, fx, fy, at.z);
    NavView v{cam.eye, cam.vrp};
    if (navWalkLook(&v, target)) host_->setView(v);
}

void NavController::walkStep(int x, int y, NavKeys keys, bool move, uint32_t now) {
    int w = 0, h = 0;
    host_->clientSize(&w, &h);
    zone_ = navWalkZone(x, y, w, h, keys.shift);
    host_->walkZone(zone_);
    if (zone_ == 4 || !move || !host_->movementAllowed(NavMoveWalk)) return;
    const CamRecord& cam = host_->camera();
    const float r = navStepBase(host_->sceneBox(), cam.eye);
    NavView v{cam.eye, cam.vrp};
    if (navWalk(&v, zone_, x, y, w, h, keys.ctrl, r, walkElapsed(now))) {
        host_->setView(v);
        walkMoved_ = true;
    }
    lastWalk_ = now;
    walked_ = true;
}
