#include "objectops.h"

#include <gtest/gtest.h>

#include <cmath>

#include "slots.h"

using namespace qivctl;

namespace {

// Stand-in nodes: never dereferenced; each stands for a unit cube around its slot's origin.
ScnNode* fakeNode(int i) { return reinterpret_cast<ScnNode*>(uintptr_t(0x1000 + 16 * i)); }

QivControlState fresh() {
    QivControlState s;
    qivStateInit(s, QivStateOptions{});
    return s;
}

Mat4 translation(float x, float y, float z) {
    Mat4 m;
    mtxMakeTranslation(x, y, z, &m);
    return m;
}

// The world box of a node: the cube [-0.5, 0.5]^3 through its slot's world placement.
NodeExtent cubes(const QivControlState& s) {
    return [&s](ScnNode* node, Box3* out) {
        for (int32_t id = 0; id < s.usedCount; ++id) {
            if (s.slots[size_t(id)].node != node) continue;
            Mat4 w;
            if (!slotWorldPlacement(s, id, &w)) return false;
            Box3 unit{{-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f}};
            mtxTransformBox(&unit, out, &w);
            return true;
        }
        return false;
    };
}

void expectNear(const Vec3& a, float x, float y, float z) {
    EXPECT_NEAR(a.x, x, 1e-4f);
    EXPECT_NEAR(a.y, y, 1e-4f);
    EXPECT_NEAR(a.z, z, 1e-4f);
}

Vec3 worldOrigin(const QivControlState& s, int32_t id) {
    Mat4 w;
    EXPECT_TRUE(slotWorldPlacement(s, id, &w));
    return Vec3{w.m[12], w.m[13], w.m[14]};
}

void clearNodes(QivControlState& s) {
    for (auto& slot : s.slots) slot.node = nullptr;
}

}  // namespace

TEST(ObjectOps, TurnKeepsThePositionRotateAndTranslateAfterDoNot) {
    Mat4 m = translation(2, 0, 0);
    ASSERT_TRUE(placementTurn(&m, 0, 0, 1, 90));
    EXPECT_NEAR(m.m[12], 2, 1e-6f);
    EXPECT_NEAR(m.m[13], 0, 1e-6f);
    // The object's x axis now points along y.
    EXPECT_NEAR(m.m[0], 0, 1e-6f);
    EXPECT_NEAR(std::fabs(m.m[1]), 1, 1e-6f);
    Mat4 before = m;
    EXPECT_FALSE(placementTurn(&m, 0, 0, 0, 45));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m.m[i], before.m[i]);

    // After the placement: in the parent's axes, whatever the object's own rotation.
    placementTranslateAfter(&m, 1, 0, 0);
    EXPECT_NEAR(m.m[12], 3, 1e-6f);
    EXPECT_NEAR(m.m[13], 0, 1e-6f);
    // In the object's own axes (the engine's translation) it goes along y.
    mtxTranslate(1, 0, 0, &m);
    EXPECT_NEAR(m.m[12], 3, 1e-5f);
    EXPECT_NEAR(std::fabs(m.m[13]), 1, 1e-5f);
}

TEST(ObjectOps, WorldBoxesOfObjectsAndGroups) {
    QivControlState s = fresh();
    int32_t g = slotNewGroup(s), a = slotAllocate(s), b = slotAllocate(s), hidden = slotAllocate(s),
            empty = slotNewGroup(s);
    s.slots[size_t(a)].node = fakeNode(1);
    s.slots[size_t(b)].node = fakeNode(2);
    s.slots[size_t(hidden)].node = fakeNode(3);
    s.slots[size_t(hidden)].visible = false;
    s.slots[size_t(hidden)].placement = translation(0, 0, 10);
    s.slots[size_t(b)].placement = translation(4, 0, 0);
    slotAddChild(s, g, a);
    slotAddChild(s, g, b);
    slotAddChild(s, g, hidden);
    s.slots[size_t(g)].placement = translation(0, 1, 0);

    Box3 box;
    ASSERT_TRUE(slotWorldBox(s, a, Members::Visible, cubes(s), &box));
    expectNear(box.min, -0.5f, 0.5f, -0.5f);
    ASSERT_TRUE(slotWorldBox(s, g, Members::Visible, cubes(s), &box));
    expectNear(box.min, -0.5f, 0.5f, -0.5f);
    expectNear(box.max, 4.5f, 1.5f, 0.5f);
    ASSERT_TRUE(slotWorldBox(s, g, Members::All, cubes(s), &box));
    EXPECT_NEAR(box.max.z, 10.5f, 1e-5f);
    EXPECT_FALSE(slotWorldBox(s, empty, Members::All, cubes(s), &box));
    EXPECT_FALSE(slotWorldBox(s, 99, Members::All, cubes(s), &box));
    EXPECT_FALSE(slotWorldBox(s, -1, Members::All, cubes(s), &box));
    clearNodes(s);
}

// Children keep their world places through grouping, ungrouping and re-centring, also
// under a rotated and scaled group inside another group.
TEST(ObjectOps, KeepPosGroupingKeepsWorldPlaces) {
    QivControlState s = fresh();
    int32_t outer = slotNewGroup(s), g = slotNewGroup(s), a = slotAllocate(s), b = slotAllocate(s);
    s.slots[size_t(a)].node = fakeNode(1);
    s.slots[size_t(b)].node = fakeNode(2);
    s.slots[size_t(a)].placement = translation(2, 0, 0);
    s.slots[size_t(b)].placement = translation(4, 2, 0);
    s.slots[size_t(outer)].placement = translation(0, 0, 5);
    slotAddChild(s, outer, g);
    Mat4& gp = s.slots[size_t(g)].placement;
    mtxMakeAxisRotation(0, 0, 1, 30, &gp);
    mtxScale(2, 2, 2, &gp);
    gp.m[12] = 1;

    EXPECT_EQ(slotAddChildKeepPos(s, g, a, cubes(s)), 0);
    expectNear(worldOrigin(s, a), 2, 0, 0);
    EXPECT_EQ(slotAddChildKeepPos(s, g, b, cubes(s)), 1);
    expectNear(worldOrigin(s, a), 2, 0, 0);
    expectNear(worldOrigin(s, b), 4, 2, 0);
    // The group's origin lies at the centre of its members' box.
    expectNear(worldOrigin(s, g), 3, 1, 0);
    EXPECT_EQ(s.slots[size_t(a)].parent, g);

    // Cycles are refused without changes.
    Mat4 before = s.slots[size_t(outer)].placement;
    EXPECT_EQ(slotAddChildKeepPos(s, g, outer, cubes(s)), -1);
    EXPECT_EQ(s.slots[size_t(outer)].parent, -1);
    EXPECT_EQ(s.slots[size_t(outer)].placement.m[14], before.m[14]);

    ASSERT_TRUE(slotRemoveChildKeepPos(s, g, 0, cubes(s)));
    EXPECT_EQ(s.slots[size_t(a)].parent, -1);
    expectNear(worldOrigin(s, a), 2, 0, 0);
    expectNear(worldOrigin(s, b), 4, 2, 0);
    expectNear(worldOrigin(s, g), 4, 2, 0);
    EXPECT_FALSE(slotRemoveChildKeepPos(s, g, 5, cubes(s)));
    clearNodes(s);
}

// A floor at z 0 to z 1 in a scene reaching down to -5: the dropped cube comes to rest on
// it within the halving precision, and the collision count stays bounded.
TEST(ObjectOps, DropComesToRestOnTheObstacle) {
    const float floorTop = 1.0f;
    float z = 0;
    int redraws = 0;
    DropWorld world;
    world.placeAt = [&](float nz) {
        z = nz;
        return Box3{{-0.5f, -0.5f, nz - 0.5f}, {0.5f, 0.5f, nz + 0.5f}};
    };
    world.collides = [&] { return z - 0.5f < floorTop; };
    world.redraw = [&] { ++redraws; };
    Box3 start{{-0.5f, -0.5f, 9.5f}, {0.5f, 0.5f, 10.5f}};
    Box3 scene{{-5, -5, -5}, {5, 5, 10.5f}};
    DropResult r = dropSlot(10, start, scene, -100, true, true, world);
    EXPECT_NEAR(r.z, 1.5f, 0.01f);
    EXPECT_GE(r.z - 0.5f, floorTop);
    EXPECT_EQ(z, r.z);  // left where it was accepted
    EXPECT_LE(r.collisions, kDropMaxCollisions + 1);
    EXPECT_GT(redraws, 0);

    // Without an obstacle, the scene's bottom or the minimum height ends the fall.
    world.collides = [] { return false; };
    r = dropSlot(10, start, scene, -100, true, false, world);
    EXPECT_GE(r.z - 0.5f, -5.0f);
    EXPECT_LT(r.z - 0.5f, -4.0f);
    r = dropSlot(10, start, scene, 3, true, false, world);
    EXPECT_GT(r.z - 0.5f, 3.0f);
    EXPECT_LT(r.z - 0.5f, 3.6f);
    // Upwards up to the scene's top; a start inside the obstacle stays put.
    r = dropSlot(0, Box3{{-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f}}, Box3{{-5, -5, -5}, {5, 5, 5}}, -100, false,
                 false, world);
    EXPECT_LE(r.z + 0.5f, 5.0f);
    EXPECT_GT(r.z + 0.5f, 4.4f);
    world.collides = [] { return true; };
    r = dropSlot(10, start, scene, -100, true, false, world);
    EXPECT_EQ(r.z, 10.0f);
    EXPECT_EQ(z, 10.0f);
    // Values that are not numbers leave the slot where it was.
    r = dropSlot(10, Box3{{0, 0, NAN}, {0, 0, 1}}, scene, -100, true, false, world);
    EXPECT_EQ(r.z, 10.0f);
}
