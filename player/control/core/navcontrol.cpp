// Pointer navigation drag states.
#include "navcontrol.h"

#include <cstdlib>

void NavController::reset() {
    captured_ = left_ = right_ = leftDrag_ = rightDrag_ = false;
    rotate_ = zoom_ = pan_ = walkLook_ = false;
    walkButton_ = walkMoved_ = viewMoved_ = false;
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

bool NavController::leftDown(int x, int y, NavKeys keys, uint32_t now) {
    if (host_->busy()) return false;
    if (zoom_ && right_) return true;  // a zoom drag of the right button runs
    downX_ = x;
    downY_ = y;
    if (host_->walkThrough()) {
        lastWalk_ = now;
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
    navSpinStop(&spin_);  // a click stops the spin
    if (keys.ctrl || zoom_) {
        zoom_ = true;
        lastZoomY_ = y;
    } else if (keys.shift || pan_) {
        pan_ = true;
        beginPan(x, y);
    } else if (rotate_) {
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
    const bool farEnough = std::abs(x - downX_) >= dragX || std::abs(y - downY_) >= dragY;
    if (farEnough && right_ && !rightDrag_ && !keys.shift && dragSlot_ < 0) {
        if (walk) {
            walkLook_ = true;
        } else {
            zoom_ = true;
            lastZoomY_ = downY_;
        }
        rightDrag_ = true;
        if (!captured_) startCapture();
        host_->updateCursor(x, y);
    } else if (farEnough && left_ && !leftDrag_ && !walk) {
        const int32_t slot = keys.ctrl || keys.shift ? -1 : host_->movableObjectAt(downX_, downY_);
        if (keys.shift) {
            pan_ = true;
            beginPan(x, y);
        } else if (keys.ctrl) {
            zoom_ = true;
            lastZoomY_ = y;
        } else if (slot >= 0) {
            dragSlot_ = slot;
            host_->beginObjectDrag(slot, x, y);
        } else {
            rotate_ = true;
            host_->angles(&basePhi_, &basePsi_);
            host_->centreOnPickedPoint();
            anchorX_ = x;
            anchorY_ = y;
        }
        leftDrag_ = true;
        if (!captured_) startCapture();
    }
    if (dragSlot_ >= 0) {
        host_->objectDragMove(x, y, right_, keys.ctrl);
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
    if (rotate_ && spin_.keepSpinning) {
        float phi = 0, psi = 0;
        host_->angles(&phi, &psi);
        navSpinOnRelease(&spin_, deltaH_, deltaV_, lastRotate_, now, phi, psi);
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
    downX_ = x;
    downY_ = y;
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
        host_->objectDragDepth(navDragDepthOffset(downY_, y, h), x, downY_);
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
    if (!navSpinTick(&spin_, now, &phi, &psi)) return false;
    host_->setAngles(phi, psi);
    return true;
}

void NavController::beginPan(int x, int y) {
    const CamRecord& cam = host_->camera();
    panStart_ = {cam.eye, cam.vrp};
    panInverse_ = cam.pixelToWorld;
    panDepth_ = host_->panDepth(x, y);
    anchorX_ = x;
    anchorY_ = y;
}

void NavController::panTo(int x, int y) {
    const Vec3 a = navUnproject(panInverse_, float(anchorX_), float(anchorY_), panDepth_);
    const Vec3 c = navUnproject(panInverse_, float(x), float(y), panDepth_);
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
    const Vec3 target = navUnproject(cam.pixelToWorld, float(x), float(y), at.z);
    NavView v{cam.eye, cam.vrp};
    if (navWalkLook(&v, target)) host_->setView(v);
}

void NavController::walkStep(int x, int y, NavKeys keys, bool move, uint32_t now) {
    int w = 0, h = 0;
    host_->clientSize(&w, &h);
    zone_ = navWalkZone(x, y, w, h, keys.shift);
    host_->walkZone(zone_);
    if (zone_ == 4 || !move) return;
    const CamRecord& cam = host_->camera();
    const float r = navStepBase(host_->sceneBox(), cam.eye);
    NavView v{cam.eye, cam.vrp};
    if (navWalk(&v, zone_, x, y, w, h, keys.ctrl, r, now - lastWalk_)) {
        host_->setView(v);
        walkMoved_ = true;
    }
    lastWalk_ = now;
}
