#include "objectops.h"

#include <algorithm>
#include <cmath>

#include "slots.h"

namespace qivctl {

Box3 emptyBox() { return Box3{{1e10f, 1e10f, 1e10f}, {-1e10f, -1e10f, -1e10f}}; }

bool boxEmpty(const Box3& b) { return !(b.min.x <= b.max.x && b.min.y <= b.max.y && b.min.z <= b.max.z); }

Box3 boxUnion(const Box3& a, const Box3& b) {
    if (boxEmpty(a)) return b;
    if (boxEmpty(b)) return a;
    return Box3{{std::min(a.min.x, b.min.x), std::min(a.min.y, b.min.y), std::min(a.min.z, b.min.z)},
                {std::max(a.max.x, b.max.x), std::max(a.max.y, b.max.y), std::max(a.max.z, b.max.z)}};
}

bool placementTurn(Mat4* m, float axisX, float axisY, float axisZ, float degrees) {
    Mat4 r;
    if (!mtxMakeAxisRotation(axisX, axisY, axisZ, degrees, &r)) return false;
    if (mtxIsMarked(m)) mtxIdentity(m);
    const float t[3] = {m->m[12], m->m[13], m->m[14]};
    m->m[12] = m->m[13] = m->m[14] = 0;
    mtxPostMultiply(&r, m);
    m->m[12] += t[0];
    m->m[13] += t[1];
    m->m[14] += t[2];
    return true;
}

void placementTranslateAfter(Mat4* m, float x, float y, float z) {
    Mat4 t;
    mtxMakeTranslation(x, y, z, &t);
    if (mtxIsMarked(m)) mtxIdentity(m);
    mtxPostMultiply(&t, m);
}

namespace {

void addBoxes(const QivControlState& s, int32_t id, Members members, const NodeExtent& extent, int depth, Box3& box,
              bool& any) {
    if (depth > s.usedCount) return;
    const QivObjectSlot& slot = s.slots[size_t(id)];
    if (slot.node) {
        Box3 b;
        if (extent(slot.node, &b) && !boxEmpty(b)) {
            box = boxUnion(box, b);
            any = true;
        }
    }
    if (!slot.isGroup) return;
    for (int32_t c : slot.children) {
        if (!slotValid(s, c) || s.slots[size_t(c)].parent != id) continue;
        if (members == Members::Visible && !s.slots[size_t(c)].visible) continue;
        addBoxes(s, c, members, extent, depth + 1, box, any);
    }
}

// The placement that keeps a world placement under a new parent: world x inverse(parent's
// world). False when the parent's world cannot be inverted.
bool placementUnder(const QivControlState& s, int32_t parent, const Mat4& world, Mat4* out) {
    if (!slotValid(s, parent)) {
        *out = world;
        return true;
    }
    Mat4 parentWorld, inverse;
    if (!slotWorldPlacement(s, parent, &parentWorld) || !mtxInvert(&parentWorld, &inverse)) return false;
    mtxMultiply(&world, &inverse, out);
    return true;
}

}  // namespace

bool slotWorldBox(const QivControlState& s, int32_t id, Members members, const NodeExtent& extent, Box3* out) {
    if (!slotValid(s, id) || !extent) return false;
    Box3 box = emptyBox();
    bool any = false;
    addBoxes(s, id, members, extent, 0, box, any);
    if (!any) return false;
    *out = box;
    return true;
}

bool slotRecentreGroup(QivControlState& s, int32_t group, const NodeExtent& extent) {
    if (!slotIsGroup(s, group)) return false;
    Box3 box;
    if (!slotWorldBox(s, group, Members::All, extent, &box)) return false;
    const Vec3 centre{(box.min.x + box.max.x) * 0.5f, (box.min.y + box.max.y) * 0.5f, (box.min.z + box.max.z) * 0.5f};
    QivObjectSlot& g = s.slots[size_t(group)];
    // The centre in the group's parent space, where the group's translation lives.
    Mat4 parentWorld, toParent;
    mtxIdentity(&toParent);
    if (slotValid(s, g.parent) &&
        (!slotWorldPlacement(s, g.parent, &parentWorld) || !mtxInvert(&parentWorld, &toParent)))
        return false;
    Vec3 c;
    mtxTransformPoint(&centre, &c, &toParent);
    Mat4 oldPlacement = g.placement;
    if (mtxIsMarked(&oldPlacement)) mtxIdentity(&oldPlacement);
    Mat4 newPlacement = oldPlacement;
    newPlacement.m[12] = c.x;
    newPlacement.m[13] = c.y;
    newPlacement.m[14] = c.z;
    Mat4 newInverse;
    if (!mtxInvert(&newPlacement, &newInverse)) return false;
    // Each member: C' = C x G x inverse(G'), so that C' x G' = C x G.
    Mat4 keep;
    mtxMultiply(&oldPlacement, &newInverse, &keep);
    g.placement = newPlacement;
    for (int32_t c2 : g.children) {
        if (!slotValid(s, c2) || s.slots[size_t(c2)].parent != group) continue;
        Mat4& p = s.slots[size_t(c2)].placement;
        Mat4 out;
        mtxMultiply(&p, &keep, &out);
        p = out;
    }
    return true;
}

int32_t slotAddChildKeepPos(QivControlState& s, int32_t group, int32_t child, const NodeExtent& extent) {
    Mat4 world;
    if (!slotWorldPlacement(s, child, &world)) return -1;
    Mat4 placement;
    // Checked before the child moves: a group that cannot be inverted takes no child here.
    if (!slotIsGroup(s, group) || !placementUnder(s, group, world, &placement)) return -1;
    const int32_t index = slotAddChild(s, group, child);
    if (index < 0) return -1;
    s.slots[size_t(child)].placement = placement;
    slotRecentreGroup(s, group, extent);
    return index;
}

bool slotRemoveChildKeepPos(QivControlState& s, int32_t group, int32_t index, const NodeExtent& extent) {
    const int32_t child = slotChild(s, group, index);
    Mat4 world;
    const bool known = slotValid(s, child) && slotWorldPlacement(s, child, &world);
    if (!slotRemoveChild(s, group, index)) return false;
    if (known) s.slots[size_t(child)].placement = world;
    slotRecentreGroup(s, group, extent);
    return true;
}

DropResult dropSlot(float startZ, const Box3& startBox, const Box3& sceneBox, float minDropHeight, bool dropsDown,
                    bool animated, const DropWorld& world) {
    DropResult r;
    r.z = startZ;
    float step = (startBox.max.z - startBox.min.z) * 0.5f;
    if (dropsDown) step = -step;
    if (!std::isfinite(step) || !std::isfinite(startZ)) return r;
    float z = startZ + step * kDropLift;
    Box3 box = world.placeAt(z);
    uint32_t accepted = 0;
    while (r.steps < kDropMaxSteps) {
        const bool inside = dropsDown ? box.min.z > sceneBox.min.z : box.max.z < sceneBox.max.z;
        if (!inside || !(box.min.z > minDropHeight)) break;
        ++r.steps;
        if (world.collides()) {
            z = r.z;
            step *= 0.5f;
            if (++r.collisions > kDropMaxCollisions) break;
        } else {
            r.z = z;
            if (animated && ++accepted >= 2 && world.redraw) world.redraw();
        }
        if (std::fabs(step) < kDropMinStep) break;
        z += step;
        box = world.placeAt(z);
    }
    world.placeAt(r.z);
    return r;
}

}  // namespace qivctl
