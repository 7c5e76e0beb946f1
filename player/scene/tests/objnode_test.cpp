// Object node kind: ids on nodes and their lights, which lights shine for
// which scene, the lights-changed flag, and the hooks of the hierarchical pass.
#include "scene/objnode.h"

#include <gtest/gtest.h>

#include "render/light.h"
#include "render/renderer.h"
#include "scene/engine.h"
#include "scene/sceneops.h"
#include "scene/tests/content_builder.h"

namespace {

constexpr uint32_t N = SCN_ID_NONE;

CamRecord camera() {
    CamRecord c{};
    c.eye = {0, 0, 10};
    c.up = {0, 1, 0};
    c.viewDist = 10;
    c.nearDist = 1;
    c.farDist = 100;
    c.winXMin = -4, c.winXMax = 4, c.winYMin = -3, c.winYMax = 3;
    c.pixW = 640, c.pixH = 480;
    EXPECT_EQ(camUpdate(&c), 1);
    return c;
}

struct ObjNode : ::testing::Test {
    PelContent* content = nullptr;
    void SetUp() override {
        errReset();
        ltReset();
        scnResetSceneOps();
        scnResetObjectNodes();
        BuildSpec s = twoPartSpec();
        s.lights = {PelLight{1, 1, 1, {0, 0, 5}}};
        content = buildContent(s);
    }
    void TearDown() override {
        for (ScnNode*& n : nodes) scnNodeFree(&n, nullptr);
        pelFreeObject(&content);
        ltReset();
        scnResetSceneOps();
    }
    ScnNode* make(uint32_t a, uint32_t b, uint32_t flag2 = 0) {
        ScnNode* n = nullptr;
        EXPECT_EQ(scnCreateObjectNode(content, 0, nullptr, a, b, nullptr, flag2, nullptr, &n), 1);
        nodes.push_back(n);
        return n;
    }
    bool active(const LightRecord* l) {
        for (LightRecord* a = ltFirstActive(); a; a = a->nextActive)
            if (a == l) return true;
        return false;
    }
    std::vector<ScnNode*> nodes;
};

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

TEST_F(ObjNode, CandidateHookChecksIdsAndPlanes) {
    CamRecord cam = camera();  // eye at z = 10
    ScnNode* own = make(1, N);
    ScnRenderJob job{};
    job.node = own;
    job.camera = &cam;
    const float front[4] = {0, 0, 1, 0}, back[4] = {0, 0, -1, 0};
    struct Case {
        const char* name;
        uint32_t a, b;
        uint32_t flags;
        const float *pa, *pb;
        int answer;
    };
    const Case cases[] = {
        {"same id", 1, 2, 0, nullptr, nullptr, 1},
        {"other ids", 3, 4, 0, nullptr, nullptr, 0},
        {"one id unset", 3, N, 0, nullptr, nullptr, 1},
        {"view records only", 1, 1, SCN_OBJ_VIEW_ONLY, nullptr, nullptr, 0},
        {"match by A, plane A in front", 1, 2, SCN_OBJ_PLANES_VALID, front, back, 1},
        {"match by A, plane A behind", 1, 2, SCN_OBJ_PLANES_VALID, back, front, 0},
        {"match by B needs plane B", 2, 1, SCN_OBJ_PLANES_VALID, front, back, 0},
        {"equal ids, either plane", 1, 1, SCN_OBJ_PLANES_VALID, back, front, 1},
        {"equal ids, no plane", 1, 1, SCN_OBJ_PLANES_VALID, back, back, 0},
    };
    ScnNode* cand = make(0, 0);
    auto* ext = static_cast<ScnObjExt*>(cand->ext);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ext->idA = c.a, ext->idB = c.b, ext->flags = c.flags;
        for (int i = 0; i < 4; ++i) {
            ext->planeA[i] = c.pa ? c.pa[i] : 0;
            ext->planeB[i] = c.pb ? c.pb[i] : 0;
        }
        int answer = 7;
        ASSERT_EQ(scnObjCandidateHook(&job, cand, &answer), 1);
        EXPECT_EQ(answer, c.answer);
    }
    ScnNode plain{};
    int answer = 7;
    ASSERT_EQ(scnObjCandidateHook(&job, &plain, &answer), 1);
    EXPECT_EQ(answer, 0);
}

TEST_F(ObjNode, ViewRecordsAreListedAndEntered) {
    CamRecord cam = camera();
    ScnNode* own = make(1, N);
    ScnNode* room = make(2, N);
    auto* roomExt = static_cast<ScnObjExt*>(room->ext);
    roomExt->flags = SCN_OBJ_VIEW_ONLY;
    auto* ext = static_cast<ScnObjExt*>(own->ext);
    ext->viewCount = 4;
    ext->views = static_cast<ScnViewRecord*>(memAllocZ(4 * sizeof(ScnViewRecord)));
    for (uint32_t i = 0; i < 4; ++i) {
        ScnViewRecord& r = ext->views[i];
        r.box = {{-1, -1, 0}, {1, 1, 0}};
        r.plane[2] = 1;  // faces the eye
        r.targetId = 2;
        r.partAlone = 1;
    }
    ext->views[0].flags = SCN_VIEW_PART_ALONE;
    ext->views[1].targetId = 1;    // its own id: skipped
    ext->views[2].plane[2] = -1;   // seen from behind: skipped
    ext->views[3].flags = SCN_VIEW_ID_PASS;  // only while the id pass runs
    ScnRenderJob job{};
    job.node = own;
    job.camera = &cam;
    ASSERT_EQ(scnObjListHook(&job), 1);
    ASSERT_EQ(ext->firstVisible, &ext->views[0]);
    EXPECT_EQ(ext->views[0].nextVisible, nullptr);
    EXPECT_GT(ext->views[0].camera.pixW, 0);
    EXPECT_LT(ext->views[0].camera.pixW, cam.pixW);

    scnIdPassSwitch = 1;
    ASSERT_EQ(scnObjListHook(&job), 1);
    ASSERT_EQ(ext->firstVisible, &ext->views[0]);
    EXPECT_EQ(ext->views[0].nextVisible, &ext->views[3]);

    int enter = 0, repeat = 0;
    ASSERT_EQ(scnObjEnterHook(&job, room, &enter, &repeat), 1);
    EXPECT_EQ(enter, 1);
    EXPECT_EQ(repeat, 1);
    EXPECT_EQ(job.camera, &ext->views[0].camera);
    EXPECT_EQ(room->flags & NODE_PART_ALONE, uint32_t(NODE_PART_ALONE));
    EXPECT_EQ(room->partAlone, 1u);
    ASSERT_EQ(scnObjEnterHook(&job, room, &enter, &repeat), 1);
    EXPECT_EQ(enter, 1);
    EXPECT_EQ(repeat, 0);
    // A node that is not reached through view records is never entered.
    roomExt->flags = 0;
    ASSERT_EQ(scnObjEnterHook(&job, room, &enter, &repeat), 1);
    EXPECT_EQ(enter, 0);
}

}  // namespace
