// Object node kind: ids on nodes and their lights, which lights shine for
// which scene and the lights-changed flag.
#include "scene/objnode.h"

#include <gtest/gtest.h>

#include "scene/engine.h"
#include "scene/light.h"
#include "scene/sceneops.h"
#include "scene/tests/objnode_fixture.h"

namespace {

constexpr uint32_t N = SCN_ID_NONE;
using objnodeb::ObjNode;

TEST_F(ObjNode, LightEnableFollowsTheCurrentIds) {
    struct Case {
        uint32_t a, b, c1, c2;
        int shines;
    };
    const Case cases[] = {
        {1, 2, 1, 2, 1}, {1, 2, 2, 9, 1}, {1, 2, 9, 1, 1}, {1, 2, 3, 4, 0},
        {N, 5, 3, 4, 1}, {5, N, 3, 4, 1}, {0, 0, 0, 0, 1}, {3, 4, 1, 2, 0},
    };
    LightRecord l{};
    LtObjExt e{};
    l.ext = &e;
    for (const Case& c : cases) {
        e.idA = c.a, e.idB = c.b;
        scnLightIdA = c.c1, scnLightIdB = c.c2;
        EXPECT_EQ(ltObjIdsEnable(&l), c.shines) << c.a << " " << c.b << " for " << c.c1 << " " << c.c2;
    }
    l.ext = nullptr;
    EXPECT_EQ(ltObjIdsEnable(&l), 1);  // a light without ids always shines

    // Drawing the first of two nodes as a root: only its light joins the active list.
    ScnNode* first = make(1, 2);
    ScnNode* second = make(3, 4);
    ASSERT_NE(first->lights, nullptr);
    LightRecord* mine = first->lights[0];
    LightRecord* other = second->lights[0];
    EXPECT_EQ(mine->enable, ltObjIdsEnable);
    EXPECT_EQ(static_cast<LtObjExt*>(other->ext)->idB, 4u);
    scnLightIdA = 1, scnLightIdB = 2;
    ltUpdateActive(1, 0);
    EXPECT_TRUE(active(mine));
    EXPECT_FALSE(active(other));
    scnLightIdA = scnLightIdB = 4;
    ltUpdateActive(1, 0);
    EXPECT_FALSE(active(mine));
    EXPECT_TRUE(active(other));
}

TEST_F(ObjNode, LightsChangedOncePerRealChange) {
    ScnNode* n = make(0, 0);
    EXPECT_EQ(static_cast<ScnObjExt*>(n->ext)->flags, 0u);
    Mat4 base;
    mtxMakeTranslation(0, 0, 2, &base);
    ltUpdateActive(1, 0);
    ASSERT_EQ(ltChanged(), 0);
    ASSERT_EQ(scnSetObjectIds(n, 0, 0, &base), 1);
    EXPECT_EQ(ltChanged(), 0);
    EXPECT_EQ(n->base.m[14], 2.0f);
    ASSERT_EQ(scnSetObjectIdsAt(n, 6, 7, &base, 0.0f), 1);
    EXPECT_EQ(ltChanged(), 1);
    EXPECT_EQ(static_cast<LtObjExt*>(n->lights[0]->ext)->idA, 6u);
    ltUpdateActive(0, 0);
    EXPECT_EQ(ltChanged(), 0);
    ASSERT_EQ(scnSetObjectIds(n, 6, 7, &base), 1);
    EXPECT_EQ(ltChanged(), 0);

    // Planes are valid only after the plane setter.
    const float pa[4] = {0, 0, 1, 0}, pb[4] = {1, 0, 0, 0};
    ASSERT_EQ(scnSetObjectIdsPlanes(n, 6, 7, pa, pb, &base), 1);
    auto* ext = static_cast<ScnObjExt*>(n->ext);
    EXPECT_EQ(ext->flags & SCN_OBJ_PLANES_VALID, uint32_t(SCN_OBJ_PLANES_VALID));
    EXPECT_EQ(ext->planeB[0], 1.0f);
    ASSERT_EQ(scnSetObjectIds(n, 6, 7, &base), 1);
    EXPECT_EQ(ext->flags & SCN_OBJ_PLANES_VALID, 0u);

    // A plain node is not of this kind: refused, pose unchanged.
    ScnNode* plain = nullptr;
    ASSERT_EQ(scnNodeCreate(content, 0, nullptr, nullptr, nullptr, &plain), 1);
    nodes.push_back(plain);
    Mat4 before = plain->base;
    EXPECT_EQ(scnSetObjectIds(plain, 1, 1, &base), 0);
    EXPECT_EQ(std::memcmp(&before, &plain->base, sizeof before), 0);
    EXPECT_EQ(scnSetObjectIds(nullptr, 1, 1, &base), 0);

    // Creation on request marks flag 2; the extension goes with the node.
    ScnNode* marked = make(1, 1, 1);
    EXPECT_EQ(static_cast<ScnObjExt*>(marked->ext)->flags, uint32_t(SCN_OBJ_REQUESTED));
    ASSERT_EQ(scnNodeFree(&nodes.back(), nullptr), 1);
    nodes.pop_back();
}

TEST_F(ObjNode, LightsHookTakesTheNodesFirstId) {
    ScnNode* n = make(5, 6);
    int rebuild = 9;
    ASSERT_EQ(scnObjLightsHook(n, &rebuild), 1);
    EXPECT_EQ(rebuild, 1);
    EXPECT_EQ(scnLightIdA, 5u);
    EXPECT_EQ(scnLightIdB, 5u);
    ASSERT_EQ(scnObjLightsHook(n, &rebuild), 1);
    EXPECT_EQ(rebuild, 0);
}

}  // namespace
