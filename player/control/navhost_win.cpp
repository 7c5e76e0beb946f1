// The control as the host of its pointer navigation: the view through the control's camera
// and angles, picks under the mouse, the capture, and the object drag with its collision
// steps and move events.
#include "navhost_win.h"

#include <algorithm>
#include <cmath>

#include "picks.h"
#include "qivctl_win.h"
#include "render/collision.h"
#include "render/pick.h"
#include "scene/engine.h"
#include "scene/vecops.h"
#include "slots.h"
#include "window_win.h"

using vec::add;
using vec::sub;

QivNavigation::QivNavigation(CQivPlayerCtl* ctl) : nav(this, &ctl->win().spin), ctl_(ctl) {}

QivNavigation::~QivNavigation() { endDrag(); }

QivPick QivNavigation::pickAt(int x, int y) {
    QivPick p;
    const QivControlState& s = ctl_->state();
    if (!s.viewValid || !s.sceneRoots || x < 0 || y < 0 || x >= s.frameWidth || y >= s.frameHeight) return p;
    float fx = float(x), fy = float(y);
    toFrame(&fx, &fy);
    PickRecord r{};
    r.camera = &s.camera;
    r.first = s.sceneRoots;
    r.x = fx;
    r.y = fy;
    if (!pkPick(&r) || r.listTag != PK_FIRST_LIST) return p;
    ScnNode* node = s.sceneRoots[r.nodeIndex];
    ScnNode* one[2] = {node, nullptr};
    const std::vector<int32_t> slots = qivctl::slotsOfNodes(s, one, 1);
    p.hit = true;
    p.slot = slots.empty() ? -1 : slots.front();
    p.subObject = int32_t(r.partIndex);
    p.world = r.hit;
    p.depth = navProject(s.camera.worldToPixel, r.hit).z;
    p.material = int32_t(r.materialIndex);
    if (r.texture && node && node->content && node->areaTextures)
        for (uint32_t i = 0; i < node->content->areaCount; ++i)
            if (node->areaTextures[i] == r.texture) p.texture = int32_t(i);
    return p;
}

bool QivNavigation::busy() { return ctl_->state().uiDead; }

bool QivNavigation::movementAllowed(uint32_t kind) {
    // Panning stays possible whatever the mask says.
    return kind == NavMovePan || (ctl_->userMovements() & kind) == 0;
}

bool QivNavigation::objectShown() { return ctl_->state().viewValid && ctl_->state().sceneRoots; }

bool QivNavigation::walkThrough() { return ctl_->displayProps().walkthrough; }

void QivNavigation::clientSize(int* w, int* h) {
    RECT r{};
    if (ctl_->hwnd()) GetClientRect(ctl_->hwnd(), &r);
    *w = r.right - r.left;
    *h = r.bottom - r.top;
}

const CamRecord& QivNavigation::camera() { return ctl_->state().camera; }

void QivNavigation::toFrame(float*, float* y) {
    const QivControlState& s = ctl_->state();
    if (s.camera.rowsUp) *y = float(s.frameHeight - 1) - *y;
}

Box3 QivNavigation::sceneBox() { return ctl_->win().sceneBox; }

void QivNavigation::angles(float* phi, float* psi) {
    *phi = ctl_->state().phi;
    *psi = ctl_->state().psi;
}

void QivNavigation::setAngles(float phi, float psi) {
    if (!ctl_->AnglesAllowed(phi, psi)) return;
    QivControlState& s = ctl_->state();
    s.phi = phi;
    s.psi = psi;
    ctl_->SetViewFromAngles();
    ctl_->FireOnChanged(qivdispid::Phi);
    ctl_->FireOnChanged(qivdispid::Psi);
    ctl_->Redraw(true);
}

void QivNavigation::zoomBy(float factor) { ctl_->ZoomBy(factor, true); }

void qivSetClipDistances(CamRecord& camera, const Box3& box, bool walkThrough) {
    const Vec3 diag = sub(box.max, box.min);
    const float r = walkThrough ? navStepBase(box, camera.eye) : 0.0f;
    navClipDistances(box, camera.eye, sub(camera.vrp, camera.eye), r,
                     std::sqrt(diag.x * diag.x + diag.y * diag.y + diag.z * diag.z), &camera.nearDist,
                     &camera.farDist);
    camUpdate(&camera);
}

void QivNavigation::setView(const NavView& v) {
    QivControlState& s = ctl_->state();
    if (!std::isfinite(v.eye.x + v.eye.y + v.eye.z + v.vrp.x + v.vrp.y + v.vrp.z)) return;
    s.camera.eye = v.eye;
    s.camera.vrp = v.vrp;
    const float dx = v.eye.x - v.vrp.x, dy = v.eye.y - v.vrp.y, dz = v.eye.z - v.vrp.z;
    const float d = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (d > 0.0f) {
        s.phi = std::atan2(dy, dx);
        s.psi = std::asin(std::fmax(-1.0f, std::fmin(1.0f, dz / d)));
    }
    qivSetClipDistances(s.camera, ctl_->win().sceneBox, walkThrough());
    ctl_->Redraw(true);
    // A pan drag moves PanX and PanY.
    if (nav.panning()) ctl_->OnPanChanged();
}

void QivNavigation::centreOnPickedPoint() {
    QivControlState& s = ctl_->state();
    const Vec3& vrp = s.camera.vrp;
    if (std::fabs(vrp.x) < 1e-5f && std::fabs(vrp.y) < 1e-5f && std::fabs(vrp.z) < 1e-5f) return;
    const QivPick p = pickAt(s.frameWidth / 2, s.frameHeight / 2);
    if (!p.hit) return;
    const Box3& box = ctl_->win().sceneBox;
    const Vec3 diag = sub(box.max, box.min), toHit = sub(p.world, s.camera.eye);
    const float reach = 0.3f * std::sqrt(diag.x * diag.x + diag.y * diag.y + diag.z * diag.z);
    if (std::sqrt(toHit.x * toHit.x + toHit.y * toHit.y + toHit.z * toHit.z) <= reach)
        setView(NavView{s.camera.eye, p.world});
    ctl_->fireViewChange();
}

float QivNavigation::panDepth(int x, int y) {
    const QivPick p = pickAt(x, y);
    if (p.hit) return p.depth;
    const CamRecord& c = ctl_->state().camera;
    return navProject(c.worldToPixel, c.vrp).z;
}

int32_t QivNavigation::movableObjectAt(int x, int y) {
    const QivPick p = pickAt(x, y);
    return p.hit ? qivctl::slotMovableOwner(ctl_->state(), p.slot) : -1;
}

Vec3 QivNavigation::worldAt(float x, float y, float depth) {
    toFrame(&x, &y);
    return navUnproject(ctl_->state().camera.pixelToWorld, x, y, depth);
}

void QivNavigation::placeMoved(const Vec3& offset) {
    for (size_t i = 0; i < drag_.saved.size(); ++i) {
        Mat4 m = drag_.saved[i];
        m.m[12] += offset.x;
        m.m[13] += offset.y;
        m.m[14] += offset.z;
        scnSetPose(drag_.nodes[i], &m, drag_.nodes[i]->reqTime);
    }
}

Vec3 QivNavigation::movedCentre() const {
    Box3 box{{1e10f, 1e10f, 1e10f}, {-1e10f, -1e10f, -1e10f}};
    for (size_t i = 0; i < drag_.saved.size(); ++i) mtxBoxUnion(&drag_.nodes[i]->worldBox, &box);
    return {(box.min.x + box.max.x) * 0.5f, (box.min.y + box.max.y) * 0.5f, (box.min.z + box.max.z) * 0.5f};
}

void QivNavigation::startDrag(int32_t slot, int32_t through, const Vec3& grab) {
    QivControlState& s = ctl_->state();
    drag_.slot = slot;
    drag_.through = qivctl::slotIsWithin(s, through, slot) ? through : slot;
    drag_.flags = s.slots[size_t(slot)].moveFlags;
    drag_.grab = grab;
    drag_.depth = navProject(s.camera.worldToPixel, drag_.grab).z;
    drag_.accepted = {0, 0, 0};
    drag_.target = drag_.grab;
    drag_.nodes = qivctl::collisionSubjects(s, slot);
    for (ScnNode* n : drag_.nodes) drag_.saved.push_back(n->base);
    drag_.obstacles = qivctl::collisionObstacles(s.sceneRoots, drag_.nodes);
    drag_.nodes.push_back(nullptr);
    drag_.obstacles.push_back(nullptr);
    if ((drag_.flags & 0x80) && drag_.saved.size() && drag_.obstacles.size() > 1)
        colFindHits(drag_.nodes.data(), drag_.obstacles.data(), &drag_.contacts);
    markWay(true);
}

void QivNavigation::markWay(bool on) {
    QivControlState& s = ctl_->state();
    int32_t id = drag_.through;
    for (int32_t steps = 0; id != drag_.slot && qivctl::slotValid(s, id) && steps < s.usedCount; ++steps) {
        const int32_t parent = s.slots[size_t(id)].parent;
        if (!qivctl::slotValid(s, parent)) break;
        int32_t& active = s.slots[size_t(parent)].activeChild;
        if (on)
            active = id;
        else if (active == id)
            active = -1;
        id = parent;
    }
}

void QivNavigation::beginObjectDrag(int32_t slot, int pressX, int pressY, int x, int y) {
    endDrag();
    QivControlState& s = ctl_->state();
    if (!qivctl::slotValid(s, slot)) return;
    const QivPick p = pickAt(pressX, pressY);
    Vec3 grab{};
    if (p.hit) {
        grab = p.world;
    } else {
        Mat4 world{};
        qivctl::slotWorldPlacement(s, slot, &world);
        grab = {world.m[12], world.m[13], world.m[14]};
    }
    startDrag(slot, p.hit ? p.slot : slot, grab);
    if (drag_.flags & 0x20)
        ctl_->FireObjectMove(slot, slot, qivMvEvObjStart, drag_.grab.x, drag_.grab.y, drag_.grab.z);
    objectDragMove(x, y, false, pressY, false);
}

void QivNavigation::grabObject(int32_t slot, int x, int y, bool restart) {
    QivControlState& s = ctl_->state();
    if (!qivctl::slotValid(s, slot)) return;
    float depth = 0;
    int32_t through = slot;
    if (restart && drag_.slot >= 0) {
        commitObjectDrag();
        depth = drag_.depth;
        through = drag_.through;
    } else {
        // A new drag: the move plane through the slot's position.
        Mat4 world{};
        qivctl::slotWorldPlacement(s, slot, &world);
        depth = navProject(s.camera.worldToPixel, Vec3{world.m[12], world.m[13], world.m[14]}).z;
    }
    endDrag();
    Vec3 grab = worldAt(float(x), float(y), depth);
    if (!std::isfinite(grab.x + grab.y + grab.z)) grab = Vec3{0, 0, 0};
    startDrag(slot, through, grab);
    drag_.depth = depth;
    if (!restart && (drag_.flags & 0x20))
        ctl_->FireObjectMove(slot, slot, qivMvEvObjStart, drag_.grab.x, drag_.grab.y, drag_.grab.z);
}

void QivNavigation::commitObjectDrag() {
    QivControlState& s = ctl_->state();
    const int32_t slot = drag_.slot;
    if (slot < 0 || !qivctl::slotValid(s, slot)) return;
    // The world offset into the parent's space, then onto the slot's translation.
    Vec3 d = drag_.accepted;
    QivObjectSlot& o = s.slots[size_t(slot)];
    Mat4 parent{}, inverse{};
    if (qivctl::slotWorldPlacement(s, o.parent, &parent) && mtxInvert(&parent, &inverse)) {
        const Vec3 zero{0, 0, 0};
        Vec3 a{}, b{};
        mtxTransformPoint(&d, &a, &inverse);
        mtxTransformPoint(&zero, &b, &inverse);
        d = sub(a, b);
    }
    o.placement.m[12] += d.x;
    o.placement.m[13] += d.y;
    o.placement.m[14] += d.z;
    // The drag goes on from the committed place: the grab moved with the object.
    for (size_t i = 0; i < drag_.saved.size(); ++i) drag_.saved[i] = drag_.nodes[i]->base;
    drag_.grab = add(drag_.grab, drag_.accepted);
    drag_.accepted = {0, 0, 0};
}

void QivNavigation::keepObjectDrag() {
    const Vec3& a = drag_.accepted;
    if (drag_.slot < 0 || (a.x == 0 && a.y == 0 && a.z == 0)) return;
    // The nodes stand where their slots place them; the drag's move so far goes on top.
    for (size_t i = 0; i < drag_.saved.size(); ++i) {
        Mat4 m = drag_.nodes[i]->base;
        m.m[12] += a.x;
        m.m[13] += a.y;
        m.m[14] += a.z;
        scnSetPose(drag_.nodes[i], &m, drag_.nodes[i]->reqTime);
    }
}

void QivNavigation::objectDragMove(int x, int y, bool rightButton, int rightPressY, bool ctrl) {
    if (drag_.slot < 0) return;
    int w = 0, h = 0;
    clientSize(&w, &h);
    float depth = drag_.depth, my = float(y);
    if (rightButton && !(drag_.flags & 0x10)) {
        // Across the move plane: the vertical travel moves in depth on the press row.
        const float offset = navDragDepthOffset(rightPressY, y, h);
        depth += offset;
        my = float(rightPressY);
        if (float(y - rightPressY) * float(y - rightPressY) > 20.0f && ctl_->hwnd()) {
            drag_.depth = depth;
            POINT pt{x, rightPressY};
            ClientToScreen(ctl_->hwnd(), &pt);
            SetCursorPos(pt.x, pt.y);
        }
    }
    drag_.target = worldAt(float(x), my, depth);
    const Vec3 move = navLockAxes(sub(drag_.target, drag_.grab), drag_.flags);
    if ((drag_.flags & 0x80) && !ctrl) {
        const Vec3 base = drag_.accepted;
        const Vec3 step = navCollisionWalk(sub(move, base), [&](const Vec3& offset) {
            placeMoved(add(base, offset));
            uint32_t hit = 0;
            colTestMove(drag_.nodes.data(), drag_.obstacles.data(), &drag_.contacts, &hit);
            return hit != 0;
        });
        drag_.accepted = add(base, step);
    } else {
        drag_.accepted = move;
    }
    placeMoved(drag_.accepted);
    ctl_->state().frameValid = false;
    ctl_->Redraw(true);
    if (drag_.flags & 0x40) {
        const Vec3 c = movedCentre();
        ctl_->FireObjectMoving(drag_.slot, drag_.slot, drag_.target.x, drag_.target.y, drag_.target.z, c.x, c.y,
                               c.z);
    }
}

void QivNavigation::objectDragDepth(float offset, int x, int startY) {
    if (drag_.slot < 0 || (drag_.flags & 0x10) || !std::isfinite(offset)) return;
    drag_.depth += offset;
    if (ctl_->hwnd()) {
        POINT pt{x, startY};
        ClientToScreen(ctl_->hwnd(), &pt);
        SetCursorPos(pt.x, pt.y);
    }
}

void QivNavigation::endObjectDrag(int x, int y) {
    if (drag_.slot < 0) return;
    objectDragMove(x, y, false, y, false);
    QivControlState& s = ctl_->state();
    const int32_t slot = drag_.slot;
    commitObjectDrag();
    const uint32_t flags = drag_.flags;
    const Vec3 at = drag_.target;
    endDrag();
    s.sceneChanged = true;
    ctl_->Redraw(true);
    if (flags & 0x20) ctl_->FireObjectMove(slot, slot, qivMvEvObjEnd, at.x, at.y, at.z);
}

void QivNavigation::endDrag() {
    markWay(false);
    if (drag_.contacts) memFree(drag_.contacts);
    drag_ = ObjectDrag{};
}

void QivNavigation::sceneGone() {
    endDrag();
    const bool held = nav.captured();
    nav.reset();
    if (held && ctl_->hwnd() && GetCapture() == ctl_->hwnd()) ReleaseCapture();
}

void QivNavigation::setCapture() {
    if (ctl_->hwnd()) SetCapture(ctl_->hwnd());
}

void QivNavigation::releaseMouse() {
    ctl_->EndHover();
    if (GetCapture() == ctl_->hwnd()) ReleaseCapture();
    if (ctl_->hwnd()) PostMessageW(ctl_->hwnd(), WM_USER + 254, 0, 0);
}

void QivNavigation::trackHover(int x, int y) { ctl_->TrackHover(x, y); }

void QivNavigation::forgetHover() { ctl_->ForgetHover(); }

void QivNavigation::walkZone(int zone) { ctl_->state().walkZone = zone; }

void QivNavigation::updateCursor(int, int) {
    if (ctl_->hwnd()) ctl_->SetCursorForState(HTCLIENT);
}

void QivNavigation::invalidate() { ctl_->Redraw(false); }

void QivNavigation::dragEnded() {
    if (ctl_->win().filter) ctl_->Redraw(true);
}
