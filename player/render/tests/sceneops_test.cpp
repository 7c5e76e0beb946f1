#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "render/tests/renderer_fixture.h"
#include "render/updregion.h"
#include "scene/sceneops.h"

// Lets the huge-allocation case below see a failed allocation instead of a sanitizer stop.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

class SceneOps : public ::testing::Test {
  protected:
    void SetUp() override { resetRenderState(); }
    void TearDown() override {
        for (ScnNode*& n : nodes) freeNode(n);
        for (PelContent*& c : contents) pelFreeObject(&c);
        resetRenderState();
    }
    std::vector<ScnNode*> nodes;
    std::vector<PelContent*> contents;

    PelContent* keep(PelContent* c) {
        contents.push_back(c);
        return c;
    }
    ScnNode* node(PelContent* c, const Mat4* base = nullptr) {
        nodes.push_back(makeNode(c, base));
        return nodes.back();
    }
    // count triangles side by side in z = 0, facing +z; one part.
    PelContent* strip(uint32_t count, float scale = 1.0f, uint16_t material = 0) {
        SampleMesh m;
        m.shape.materials = {sampleMaterial(0.8f, 0.8f, 0.8f), sampleMaterial(0.2f, 0.3f, 0.9f)};
        for (uint32_t i = 0; i < count; ++i) {
            const float x = float(i) * scale * 0.2f;
            const uint32_t a = m.vertex({x, 0, 0}, {0, 0, 1}, 0, 0), b = m.vertex({x + 0.18f * scale, 0, 0}, {0, 0, 1}, 1, 0),
                           c = m.vertex({x, 0.18f * scale, 0}, {0, 0, 1}, 0, 1);
            m.tri(a, b, c, material);
        }
        return keep(m.build());
    }
};

// The face budget is shared out over the roots and put back afterwards.
TEST_F(SceneOps, RenderListSharesTheFaceBudget) {
    PelContent* c = strip(10);
    ScnNode* roots[4] = {node(c), node(c), node(c), nullptr};
    CamRecord cam = testCamera(64, 48, {1, 0.1f, 4}, {1, 0.1f, 0}, {0, 1, 0});
    PicRecord* frame = nullptr;
    ASSERT_EQ(fzCreate(64, 48, 2, &frame), 1);
    struct Case {
        uint32_t budget;
        size_t triangles;
    } cases[] = {{0, 30}, {10, 9}, {2, 3}, {100, 30}};
    for (const Case& k : cases) {
        DrawRecorder rec;
        ScnRenderJob job{};
        job.camera = &cam;
        job.target = frame;
        job.kind = SCN_KIND_FLAT;
        job.faceBudget = k.budget;
        EXPECT_EQ(scnRenderList(&job, roots, nullptr), 1);
        EXPECT_EQ(DrawRecorder::tris().size(), k.triangles) << "budget " << k.budget;
        EXPECT_EQ(job.faceBudget, k.budget);
        EXPECT_GT(job.rect.w, 0);
    }
    // Refused kinds change nothing.
    ScnRenderJob job{};
    job.camera = &cam;
    job.target = frame;
    job.kind = 130;
    job.faceBudget = 7;
    job.rect = {1, 2, 3, 4};
    EXPECT_EQ(scnRenderList(&job, roots, nullptr), 0);
    EXPECT_EQ(job.faceBudget, 7u);
    EXPECT_EQ(job.rect.x, 1);
    EXPECT_EQ(job.rect.h, 4);
    // With a region the rectangles go there.
    UpdateRegion* region = nullptr;
    ASSERT_EQ(rgnCreate(&region), 1);
    job.kind = SCN_KIND_FLAT;
    EXPECT_EQ(scnRenderList(&job, roots, region), 1);
    EXPECT_NE(region->first, nullptr);
    EXPECT_EQ(job.rect.w, region->bounds.w);
    rgnFree(&region);
    fzFree(&frame);
}

// Content and faces first, opaque before translucent, larger first; equals keep their order.
TEST_F(SceneOps, DrawingOrderIsStableAndConsistent) {
    PelContent* small = strip(2, 1.0f);
    PelContent* large = strip(2, 3.0f);
    PelContent* glassy = strip(2, 5.0f, 1);
    ScnNode* bare = node(nullptr);
    ScnNode* s1 = node(small);
    ScnNode* s2 = node(small);
    ScnNode* big = node(large);
    ScnNode* glass = node(glassy);
    glass->materials[1].alpha = 0.5f;
    ScnNode* in[6] = {bare, s1, glass, s2, big, nullptr};
    ScnNode** list = nullptr;
    ASSERT_EQ(scnMakeIdList(5, in, &list), 1);
    std::vector<ScnNode*> got(list, list + 5);
    EXPECT_EQ(got, (std::vector<ScnNode*>{big, s1, s2, glass, bare}));
    EXPECT_EQ(list[5], nullptr);
    EXPECT_EQ(scnCompareDrawOrder(&s1, &s2), 0);
    EXPECT_EQ(scnCompareDrawOrder(&bare, &bare), 0);
    EXPECT_EQ(scnCompareDrawOrder(&big, &s1), -1);
    EXPECT_EQ(scnCompareDrawOrder(&s1, &big), 1);

    // Insertion keeps the order: a third small node goes after the two equal ones.
    ScnNode* s3 = node(small);
    ScnNode* room[7] = {};
    std::memcpy(room, list, 6 * sizeof(ScnNode*));
    EXPECT_EQ(scnInsertSorted(s3, room, 6), 3);
    EXPECT_EQ(room[3], s3);
    EXPECT_EQ(room[5], bare);
    EXPECT_EQ(room[6], nullptr);
    EXPECT_EQ(scnInsertSorted(s3, nullptr, 6), -1);

    EXPECT_EQ(scnFreeIdList(&list), 1);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(scnFreeIdList(&list), 1);
    EXPECT_EQ(scnMakeIdList(0, in, &list), 0);
}

// Tagged records reconcile the face flags of their material with the record they replace.
TEST_F(SceneOps, TaggedRecordsReconcileFaceFlags) {
    struct Case {
        uint32_t oldFlags, newFlags;
        uint16_t faceBefore, faceAfter;
        uint32_t storedFlags;
    } cases[] = {
        // untagged: texture bits come from the old record, faces untouched
        {qivMatFlagIsTextured | qivMatFlagIsTexMask, 0, FACE_COLORKEY, FACE_COLORKEY,
         qivMatFlagIsTextured | qivMatFlagIsTexMask},
        // tagged, old not textured: 0x200 follows flag 16, 0x10 and 0x400 cleared
        {0, MAT_TAG | qivMatFlagTwoSided | qivMatFlagIsTextured, FACE_COLORKEY | FACE_ENVMAP, FACE_TWO_SIDED,
         MAT_TAG | qivMatFlagTwoSided},
        // tagged, old textured: key and env-map bits follow the new record
        {qivMatFlagIsTextured, MAT_TAG | qivMatFlagIsTexMask | qivMatFlagIsTexRefl, FACE_TWO_SIDED,
         FACE_COLORKEY | FACE_ENVMAP, MAT_TAG | qivMatFlagIsTextured | qivMatFlagIsTexMask | qivMatFlagIsTexRefl},
    };
    for (const Case& k : cases) {
        PelContent* c = strip(2);
        c->materials[0].flags = k.oldFlags;
        c->faces[0].flags = uint16_t(c->faces[0].flags | k.faceBefore);
        c->areaCount = 1;
        ScnNode* n = node(c);
        MatInput rec = sampleMaterial(0.1f, 0.9f, 0.1f);
        rec.flags = k.newFlags;
        MatInput old{};
        ASSERT_EQ(pelReplaceMaterial(&rec, c, 0, &old), 1);
        EXPECT_EQ(old.flags, k.oldFlags);
        EXPECT_EQ(c->materials[0].flags, k.storedFlags);
        EXPECT_EQ(c->faces[0].flags & (FACE_COLORKEY | FACE_ENVMAP | FACE_TWO_SIDED), k.faceAfter);
        EXPECT_FLOAT_EQ(n->materials[0].colDifuse[1], 0.9f);
    }
}

TEST_F(SceneOps, MaterialCallsRefuseBadArguments) {
    PelContent* c = strip(1);
    ScnNode* n = node(c);
    MatInput rec = sampleMaterial(1, 0, 0), out{};
    EXPECT_EQ(pelReplaceMaterial(nullptr, c, 0, &out), 0);
    EXPECT_EQ(pelReplaceMaterial(&rec, nullptr, 0, &out), 0);
    EXPECT_EQ(pelReplaceMaterial(&rec, c, 0, nullptr), 0);
    EXPECT_EQ(pelReplaceMaterial(&rec, c, c->materialCount, &out), 0);
    EXPECT_EQ(pelGetMaterial(c, c->materialCount, &out), 0);
    EXPECT_EQ(scnGetMaterial(nullptr, n, 0, &out), 0);
    EXPECT_EQ(scnGetMaterial(&rec, nullptr, 0, &out), 0);
    EXPECT_EQ(scnGetMaterial(&rec, n, 0, nullptr), 0);
    EXPECT_EQ(scnGetMaterial(&rec, n, 5, &out), 0);
    MatInput badArea = rec;
    badArea.area = 3;  // the content has no areas
    EXPECT_EQ(scnReplaceMaterial(n, 0, &badArea), 0);
    uint32_t v, t, q, dt, dq;
    EXPECT_EQ(pelCountFaces(c, &v, &t, &q, &dt, nullptr), 0);
    EXPECT_EQ(pelCountFaces(nullptr, &v, &t, &q, &dt, &dq), 0);
}

// A failed rebuild leaves the content and every node as they were and reports 0.
TEST_F(SceneOps, ReplaceMaterialFailureKeepsNodeMaterials) {
    if (sizeof(size_t) < 8) GTEST_SKIP() << "the oversized rebuild needs 64-bit sizes";
    PelContent* c = strip(1);
    ScnNode* n = node(c);
    MatRecord* before = n->materials;
    const uint32_t realCount = c->materialCount;
    c->materialCount = 0x7FFFFFFF;  // the rebuild cannot be allocated
    MatInput rec = sampleMaterial(0, 0, 1), old{};
    EXPECT_EQ(pelReplaceMaterial(&rec, c, 0, &old), 0);
    c->materialCount = realCount;
    EXPECT_EQ(n->materials, before);
    EXPECT_FLOAT_EQ(c->materials[0].colDifuse[2], 0.8f);
    errReset();
}

TEST_F(SceneOps, MaterialInfoRoundTrip) {
    PelContent* c = strip(1);
    ScnNode* n = node(c);
    MatInput info{};
    ASSERT_EQ(scnGetMaterialInfo(n, 0, &info), 1);
    const MatRecord before = n->materials[0];
    MatInput changed = info;
    changed.colDifuse[0] = 0.1f;
    ASSERT_EQ(scnReplaceMaterial(n, 0, &changed), 1);
    EXPECT_FLOAT_EQ(n->materials[0].colDifuse[0], 0.1f);
    ASSERT_EQ(scnReplaceMaterial(n, 0, &info), 1);
    EXPECT_EQ(std::memcmp(&before, &n->materials[0], sizeof before), 0);
    EXPECT_EQ(scnGetMaterialInfo(n, 1 + c->materialCount, &info), 0);
}

TEST_F(SceneOps, CountFaces) {
    SampleMesh m;
    m.shape.materials = {sampleMaterial(1, 1, 1)};
    m.box({0, 0, 0}, {1, 1, 1}, 0);
    m.tri(0, 1, 2, 0, FACE_TWO_SIDED);
    m.tri(0, 2, 3, 0);
    PelContent* c = keep(m.build());
    c->faces[0].flags |= FACE_TWO_SIDED;
    uint32_t v, t, q, dt, dq;
    ASSERT_EQ(pelCountFaces(c, &v, &t, &q, &dt, &dq), 1);
    EXPECT_EQ(v, 24u);
    EXPECT_EQ(t, 2u);
    EXPECT_EQ(q, 6u);
    EXPECT_EQ(dt, 1u);
    EXPECT_EQ(dq, 1u);
}

// Two boxes as separate nodes against one content holding both.
TEST_F(SceneOps, MatchNodes) {
    auto boxes = [&](int count, float dx) {
        SampleMesh m;
        for (int i = 0; i < count; ++i) {
            m.shape.materials.push_back(sampleMaterial(0.5f, 0.5f, 0.5f));
            m.box({float(i) * 3.0f + dx, 0, 0}, {1, 1, 1}, uint16_t(i));
            m.endPart();
        }
        return keep(m.build());
    };
    PelContent* both = boxes(2, 0.0f);
    PelContent* single = boxes(1, 0.0f);
    Mat4 second;
    mtxMakeTranslation(3, 0, 0, &second);
    Mat4 moved;
    mtxMakeTranslation(0, 5, 0, &moved);
    ScnNode* a = node(single, &moved);
    Mat4 secondMoved;
    mtxMultiply(&second, &moved, &secondMoved);
    ScnNode* b = node(single, &secondMoved);
    ScnNode* list[3] = {a, b, nullptr};
    uint32_t match = 7;
    Mat4 out{};
    ASSERT_EQ(pelMatchNodes(both, list, &match, &out), 1);
    ASSERT_EQ(match, 1u);
    Vec3 p = {4, 1, 1}, q;
    mtxTransformPoint(&p, &q, &out);
    EXPECT_NEAR(q.x, 4, 1e-4);
    EXPECT_NEAR(q.y, 6, 1e-4);
    EXPECT_NEAR(q.z, 1, 1e-4);

    // Totals that differ give no match before anything is walked.
    ScnNode* one[2] = {a, nullptr};
    ASSERT_EQ(pelMatchNodes(both, one, &match, &out), 1);
    EXPECT_EQ(match, 0u);
    both->vertexCount -= 1;
    ASSERT_EQ(pelMatchNodes(both, list, &match, &out), 1);
    EXPECT_EQ(match, 0u);
    both->vertexCount += 1;

    // A flat content has a singular frame: no match.
    SampleMesh flat;
    flat.shape.materials = {sampleMaterial(0.5f, 0.5f, 0.5f)};
    const uint32_t i0 = flat.vertex({0, 0, 0}, {0, 0, 1}, 0, 0), i1 = flat.vertex({1, 0, 0}, {0, 0, 1}, 0, 0),
                   i2 = flat.vertex({2, 0, 0}, {0, 0, 1}, 0, 0);
    flat.tri(i0, i1, i2, 0);
    PelContent* line = keep(flat.build());
    ScnNode* l = node(line);
    ScnNode* ll[2] = {l, nullptr};
    ASSERT_EQ(pelMatchNodes(line, ll, &match, &out), 1);
    EXPECT_EQ(match, 0u);
    EXPECT_EQ(pelMatchNodes(line, ll, nullptr, &out), 0);
}

TEST_F(SceneOps, SubObjectNames) {
    PelContent* c = strip(1);
    ASSERT_EQ(pelSetSubObjectName(c, 0, "FR", "Bloc"), 1);
    char* name = nullptr;
    ASSERT_EQ(pelGetSubObjectName(c, 0, "FR", &name), 1);
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "Bloc");
    memFreeRef(reinterpret_cast<void**>(&name));
    EXPECT_EQ(pelGetSubObjectName(c, 1, "FR", &name), 0);
    EXPECT_EQ(pelGetSubObjectName(c, 0, "FR", nullptr), 0);
}

TEST_F(SceneOps, AreaTextures) {
    PelContent* c = strip(1);
    ScnNode* n = node(c);
    TexRecord* t[1] = {reinterpret_cast<TexRecord*>(0x1000)};
    EXPECT_EQ(scnSetAreaTextures(n, t), 0);  // the content has no areas
    EXPECT_EQ(scnSetAreaMaterial(0, nullptr, n), 0);
    EXPECT_EQ(scnSetAreaMaterial(0, nullptr, nullptr), 0);
    EXPECT_EQ(scnSetAreaTextures(n, nullptr), 1);
}

// The flat pass draws the list; the hierarchical pass draws the current node and the
// candidates its hooks accept; roots with a kind extension set the light ids.
TEST_F(SceneOps, RenderOneAndHierarchy) {
    PelContent* one = strip(1);
    PelContent* two = strip(2);
    ScnNode* a = node(one);
    ScnNode* b = node(two);
    uint32_t ids[2] = {7, 9};
    b->ext = ids;
    CamRecord cam = testCamera(64, 48, {0.2f, 0.1f, 3}, {0.2f, 0.1f, 0}, {0, 1, 0});
    PicRecord* frame = nullptr;
    ASSERT_EQ(fzCreate(64, 48, 2, &frame), 1);
    ScnNode* list[3] = {a, b, nullptr};
    ScnRenderJob job{};
    job.camera = &cam;
    job.target = frame;
    job.kind = SCN_KIND_FLAT;
    {
        DrawRecorder rec;
        ASSERT_EQ(scnRenderOne(&job, list, 0, 0), 1);
        EXPECT_EQ(DrawRecorder::tris().size(), 3u);
        EXPECT_GT(job.rect.w, 0);
        EXPECT_EQ(scnLightIdA, 7u);
        EXPECT_EQ(scnLightIdB, 9u);
    }
    {
        DrawRecorder rec;  // no hooks: the current node alone
        job.node = a;
        ASSERT_EQ(scnRenderOne(&job, list, 1, 0), 1);
        EXPECT_EQ(DrawRecorder::tris().size(), 1u);
        EXPECT_EQ(a->renderDepth, -1);
    }
    {
        DrawRecorder rec;  // the candidate hook takes b at this level: both are drawn
        a->listHook = [](ScnRenderJob*) { return 1; };
        a->candidateHook = [](ScnRenderJob*, ScnNode* c, int* answer) {
            *answer = c->content && c->content->faceCount == 2;
            return 1;
        };
        job.node = a;
        ASSERT_EQ(scnRenderOne(&job, list, 1, 0), 1);
        EXPECT_EQ(DrawRecorder::tris().size(), 3u);
        EXPECT_EQ(job.node, a);
        EXPECT_EQ(b->renderDepth, -1);
    }
    job.kind = 131;
    EXPECT_EQ(scnRenderOne(&job, list, 1, 0), 0);
    a->listHook = nullptr;
    a->candidateHook = nullptr;
    b->ext = nullptr;
    fzFree(&frame);
}

}  // namespace
