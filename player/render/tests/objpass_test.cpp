// The object node kind's hooks of the hierarchical pass: candidates by id and id planes, view
// records listed from the job's camera and entered.
#include "render/objpass.h"

#include <gtest/gtest.h>

#include "render/renderer.h"
#include "scene/tests/objnode_fixture.h"

namespace {

constexpr uint32_t N = SCN_ID_NONE;
using objnodeb::ObjNode;
using objnodeb::camera;

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
