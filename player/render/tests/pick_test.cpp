// Picking: a table of two-quad scenes seen through the centre pixel, the
// point-in-rectangle rule, lists and parts, and the id picture read-out.
#include "render/pick.h"

#include <gtest/gtest.h>

#include <vector>

#include "render/clipplane.h"
#include "scene/anim.h"
#include "scene/engine.h"
#include "scene/tests/content_builder.h"

namespace {

// Looks down -z from z = 10; the centre pixel (320, 240) sees the z axis.
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

struct Quad {
    float z;
    bool reversed = false;  // faces away from the eye
    bool twoSided = false;
    float alpha = 0;        // material transparency
};

// One part of unit-square quads around the z axis, one material each.
PelContent* quads(const std::vector<Quad>& qs) {
    BuildSpec s;
    for (size_t i = 0; i < qs.size(); ++i) {
        const float z = qs[i].z;
        const uint32_t b = uint32_t(4 * i);
        s.positions.insert(s.positions.end(), {{-1, -1, z}, {1, -1, z}, {1, 1, z}, {-1, 1, z}});
        BuildFace f{{b, b + 1, b + 2, b + 3}, uint16_t(i), FACE_QUAD};
        if (qs[i].reversed) f = BuildFace{{b + 3, b + 2, b + 1, b}, uint16_t(i), FACE_QUAD};
        if (qs[i].twoSided) f.flags |= FACE_TWO_SIDED;
        s.faces.push_back(f);
        MatInput m = plainMaterial(1, 1, 1);
        m.alpha = qs[i].alpha;
        s.materials.push_back(m);
    }
    return buildContent(s);
}

struct Pick : ::testing::Test {
    void SetUp() override {
        errReset();
        clpReset();
    }
    void TearDown() override {
        for (ScnNode*& n : nodes) scnNodeFree(&n, nullptr);
        for (PelContent*& c : contents) pelFreeObject(&c);
        clpReset();
    }
    ScnNode* node(PelContent* c) {
        contents.push_back(c);
        ScnNode* n = nullptr;
        EXPECT_EQ(scnNodeCreate(c, 0, nullptr, nullptr, nullptr, &n), 1);
        nodes.push_back(n);
        return n;
    }
    std::vector<ScnNode*> nodes;
    std::vector<PelContent*> contents;
};

TEST_F(Pick, NearestFrontFaceWins) {
    struct Case {
        const char* name;
        std::vector<Quad> scene;
        uint32_t pickTransparent;
        float clipZ;   // keeps z <= clipZ when below 5
        int face;      // -1: nothing hit
    };
    const Case cases[] = {
        {"nearer face", {{0}, {1}}, 1, 9, 1},
        {"nearer face listed first", {{1}, {0}}, 1, 9, 0},
        {"equal distance: the later face", {{0}, {0}}, 1, 9, 1},
        {"transparent face skipped", {{0}, {1, false, false, 0.5f}}, 0, 9, 0},
        {"transparent face picked on request", {{0}, {1, false, false, 0.5f}}, 1, 9, 1},
        {"back face never hit", {{0}, {1, true}}, 1, 9, 0},
        {"double-sided face hit from behind", {{0}, {1, true, true}}, 1, 9, 1},
        {"only back faces", {{0, true}}, 1, 9, -1},
        {"clip plane between eye and face", {{0}, {1}}, 1, 0.5f, 0},
        {"everything clipped", {{1}}, 1, 0.5f, -1},
    };
    CamRecord cam = camera();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clpReset();
        if (c.clipZ < 5) {
            Vec3 n{0, 0, -1};
            ASSERT_EQ(clpAddPlane(&n, -c.clipZ, nullptr), 1);
        }
        ScnNode* n = node(quads(c.scene));
        ScnNode* list[2] = {n, nullptr};
        PickRecord r{};
        r.camera = &cam;
        r.first = list;
        r.x = 320, r.y = 240;
        r.pickTransparent = c.pickTransparent;
        ASSERT_EQ(pkPick(&r), 1);
        if (c.face < 0) {
            EXPECT_EQ(r.listTag, uint32_t(PK_NO_HIT));
            EXPECT_EQ(r.materialInput, nullptr);
            continue;
        }
        EXPECT_EQ(r.listTag, uint32_t(PK_FIRST_LIST));
        EXPECT_EQ(r.faceIndex, uint32_t(c.face));
        EXPECT_EQ(r.materialIndex, uint32_t(c.face));
        EXPECT_EQ(r.materialInput, &n->content->materials[c.face]);
        EXPECT_EQ(r.material.alpha, c.scene[size_t(c.face)].alpha);
        EXPECT_NEAR(r.hit.z, c.scene[size_t(c.face)].z, 1e-3f);
        EXPECT_NEAR(r.hit.x, 0.0f, 0.0125f);  // within a pixel
    }
}

TEST_F(Pick, PointRectangleListsAndParts) {
    CamRecord cam = camera();
    ScnNode* back = node(quads({{0}}));
    ScnNode* front = node(quads({{0}}));
    ScnNode* first[3] = {back, front, nullptr};
    ScnNode* second[2] = {node(quads({{0}})), nullptr};
    float hit[3];
    uint32_t tag = 9, index = 9, part = 9;
    // Equal distances: the first list wins over the second, the later node within a list.
    ASSERT_EQ(pkPickAtPoint(&cam, first, second, 320, 240, 1, hit, &tag, &index, nullptr, nullptr, nullptr, nullptr,
                            nullptr, &part),
              1);
    EXPECT_EQ(tag, uint32_t(PK_FIRST_LIST));
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(part, 0u);
    ASSERT_EQ(pkPickAtPoint(&cam, nullptr, second, 320, 240, 1, hit, &tag, &index, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr),
              1);
    EXPECT_EQ(tag, uint32_t(PK_SECOND_LIST));

    struct Point {
        float x, y;
        int result;
        uint32_t tag;
    };
    const Point points[] = {
        {10, 10, 1, PK_NO_HIT},     // background
        {641, 240, 1, PK_NO_HIT},   // one past the width still counts
        {642, 240, 0, PK_NO_HIT},
        {320, 481, 1, PK_NO_HIT},
        {-1, 240, 0, PK_NO_HIT},
    };
    for (const Point& p : points) {
        tag = 9;
        EXPECT_EQ(pkPickAtPoint(&cam, first, nullptr, p.x, p.y, 1, nullptr, &tag, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr),
                  p.result)
            << p.x << " " << p.y;
        EXPECT_EQ(tag, p.tag);
    }
}

TEST_F(Pick, AnimatedPartsAreHitWhereTheyAre) {
    CamRecord cam = camera();
    PelContent* c = quads({{0}});
    c->trackCount = 1;
    c->tracks = static_cast<AnimTrack*>(memAllocZ(sizeof(AnimTrack)));
    c->trackIndex = static_cast<uint32_t*>(memAllocZ(sizeof(uint32_t)));
    AnimTrack& t = c->tracks[0];
    mtxIdentity(&t.preMatrix);
    mtxIdentity(&t.postMatrix);
    t.lastTime = ANIM_TIME_UNSET;
    // Moves the quad from x = 0 to x = 3 over one time unit.
    AnimKey* keys = static_cast<AnimKey*>(memAllocZ(2 * sizeof(AnimKey)));
    float* values = static_cast<float*>(memAllocZ(18 * sizeof(float)));
    for (int i = 0; i < 2; ++i) {
        keys[i].value = values + 9 * i;
        keys[i].inTangent = keys[i].value + 3;
        keys[i].outTangent = keys[i].value + 6;
        keys[i].time = float(i);
    }
    values[9] = 3;
    animTangentsCompute(2, 3, keys);
    ASSERT_EQ(animListCreate(2, 3, keys, 1, nullptr, &t.position), 1);
    ScnNode* n = node(c);
    ASSERT_NE(n->parts, nullptr);
    ScnNode* list[2] = {n, nullptr};
    uint32_t tag = 9, animated = 9;
    ASSERT_EQ(pkPickAtPoint(&cam, list, nullptr, 320, 240, 1, nullptr, &tag, nullptr, nullptr, nullptr, nullptr,
                            &animated, nullptr, nullptr),
              1);
    EXPECT_EQ(tag, uint32_t(PK_FIRST_LIST));
    EXPECT_EQ(animated, 1u);
    ASSERT_EQ(scnSetTime(n, 1.0f), 1);  // now x in [2, 4]: the centre ray misses
    ASSERT_EQ(pkPickAtPoint(&cam, list, nullptr, 320, 240, 1, nullptr, &tag, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr),
              1);
    EXPECT_EQ(tag, uint32_t(PK_NO_HIT));
    float hit[3];
    // x = 3 at depth 10 lies 3 / 8 of the half width right of the centre.
    ASSERT_EQ(pkPickAtPoint(&cam, list, nullptr, 320 + 320 * 3.0f / 4.0f, 240, 1, hit, &tag, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr, nullptr),
              1);
    EXPECT_EQ(tag, uint32_t(PK_FIRST_LIST));
    EXPECT_NEAR(hit[0], 3.0f, 0.0125f);

    int32_t entry = 7;
    EXPECT_EQ(pkPartTrack(n, 0, &entry), 1);
    EXPECT_EQ(entry, 0);
    EXPECT_EQ(pkPartTrack(n, 1, &entry), 0);
    EXPECT_EQ(entry, -1);
    EXPECT_EQ(pkPartTrack(nullptr, 0, &entry), 0);
    ScnNode bare{};
    EXPECT_EQ(pkPartTrack(&bare, 5, &entry), 1);
    EXPECT_EQ(entry, -1);
}

TEST_F(Pick, IdPictureReadsStayInside) {
    uint16_t pixels[6] = {1, 2, 3, 4, 5, 6};
    PicRecord pic{};
    pic.pixels = reinterpret_cast<uint8_t*>(pixels);
    pic.width = 3;
    pic.height = 2;
    pic.bytesPerPixel = 2;
    struct Case {
        int32_t x, y;
        int result;
        uint16_t id;
    };
    const Case cases[] = {{0, 0, 1, 1}, {2, 1, 1, 6}, {3, 0, 0, 0}, {0, 2, 0, 0}, {-1, 0, 0, 0}, {0, -1, 0, 0}};
    for (const Case& c : cases) {
        uint16_t id = 0;
        EXPECT_EQ(pkReadId16(&pic, c.x, c.y, &id), c.result) << c.x << " " << c.y;
        EXPECT_EQ(id, c.id);
    }
    pic.bytesPerPixel = 1;
    uint16_t id = 0;
    EXPECT_EQ(pkReadId16(&pic, 0, 0, &id), 0);
}

}  // namespace
