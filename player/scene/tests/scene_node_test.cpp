#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "scene/anim.h"
#include "scene/contentlist.h"
#include "scene/light.h"
#include "scene/pelchunk.h"
#include "scene/engine.h"
#include "scene/scene.h"
#include "scene/tests/content_builder.h"

namespace {

class SceneNode : public ::testing::Test {
  protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset() {
        errReset();
        ltReset();
        matReset();
        visIdReset();
        pelResetObjectList();
    }
    static Mat4 identity() {
        Mat4 m;
        mtxIdentity(&m);
        return m;
    }
    static Mat4 translation(float x, float y, float z) {
        Mat4 m;
        mtxMakeTranslation(x, y, z, &m);
        return m;
    }
};

// Walks the node list both ways and compares it with the expected order.
void expectNodeList(const PelContent* c, const std::vector<ScnNode*>& want) {
    ASSERT_EQ(c->nodeCount, want.size());
    std::vector<ScnNode*> forward, backward;
    for (ScnNode* n = c->firstNode; n && forward.size() <= want.size(); n = n->next) forward.push_back(n);
    for (ScnNode* n = c->lastNode; n && backward.size() <= want.size(); n = n->prev)
        backward.insert(backward.begin(), n);
    EXPECT_EQ(forward, want);
    EXPECT_EQ(backward, want);
}

size_t lightCount() {
    size_t n = 0;
    for (LightRecord* l = ltFirst(); l; l = l->next) ++n;
    return n;
}

TEST_F(SceneNode, NullContentGivesBareNode) {
    Mat4 base = translation(1, 2, 3);
    ScnNode* node = nullptr;
    ASSERT_EQ(scnNodeCreate(nullptr, 7, nullptr, nullptr, &base, &node), 1);
    ASSERT_NE(node, nullptr);
    for (float e : node->base.m) EXPECT_EQ(e, 0.0f);
    EXPECT_EQ(node->flags, 0u);
    EXPECT_EQ(node->highlight, 0);
    EXPECT_EQ(scnSetHighlight(node, 0), 0);
    uint32_t remaining = 99;
    EXPECT_EQ(scnNodeFree(&node, &remaining), 1);
    EXPECT_EQ(node, nullptr);
    EXPECT_EQ(remaining, 0u);
    EXPECT_EQ(scnNodeFree(&node, nullptr), 1);  // empty holder
}

TEST_F(SceneNode, CreateSetsUpNode) {
    BuildSpec layout = twoPartSpec();
    PelContent* c = buildContent(layout);
    Mat4 base = translation(10, 0, 0);
    ScnNode* node = nullptr;
    ASSERT_EQ(scnNodeCreate(c, 42, nullptr, nullptr, &base, &node), 1);
    EXPECT_EQ(node->content, c);
    EXPECT_EQ(node->user, 42u);
    EXPECT_EQ(node->reqTime, SCN_TIME_UNSET);
    EXPECT_EQ(node->effTime, SCN_TIME_UNSET);
    EXPECT_EQ(node->highlight, -1);
    EXPECT_EQ(node->flags & (NODE_CHANGED | NODE_INVERSE_VALID), NODE_CHANGED);
    EXPECT_FLOAT_EQ(node->worldBox.min.x, 10.0f);
    EXPECT_FLOAT_EQ(node->worldBox.max.x, 12.0f);
    ASSERT_NE(node->materials, nullptr);
    EXPECT_FLOAT_EQ(node->materials[1].diffuse[1], 0.8f * 0.85f);
    EXPECT_EQ(node->parts, nullptr);

    // Pose change moves the box and marks the node.
    node->flags = NODE_INVERSE_VALID;
    Mat4 moved = translation(0, 5, 0);
    ASSERT_EQ(scnSetPose(node, &moved, 3.0f), 1);
    EXPECT_EQ(node->flags, uint32_t(NODE_CHANGED));
    EXPECT_FLOAT_EQ(node->worldBox.min.y, 5.0f);
    EXPECT_EQ(node->reqTime, 3.0f);
    EXPECT_EQ(node->effTime, 3.0f);
    ASSERT_EQ(scnSetTime(node, 4.0f), 1);
    EXPECT_EQ(node->reqTime, 4.0f);

    EXPECT_EQ(scnNodeFree(&node, nullptr), 1);
    EXPECT_EQ(pelFreeObject(&c), 1);
    EXPECT_EQ(c, nullptr);
    EXPECT_EQ(pelFirstObject(), nullptr);
}

struct FreeOrderCase {
    const char* name;
    std::vector<int> order;  // indices of the nodes in the order they are freed
};

TEST_F(SceneNode, NodeListStaysConsistentWhateverIsFreed) {
    const FreeOrderCase cases[] = {
        {"middle first", {1, 0, 2}},
        {"head first", {0, 1, 2}},
        {"tail first", {2, 1, 0}},
        {"tail then head", {2, 0, 1}},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        PelContent* c = buildContent(twoPartSpec());
        Mat4 base = identity();
        std::vector<ScnNode*> nodes(3), handles(3);
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(scnNodeCreate(c, i, nullptr, nullptr, &base, &nodes[i]), 1);
            handles[i] = nodes[i];
        }
        expectNodeList(c, nodes);
        std::vector<ScnNode*> alive = nodes;
        for (int idx : tc.order) {
            EXPECT_EQ(pelFreeObject(&c), 0);
            ASSERT_NE(c, nullptr);
            uint32_t remaining = 99;
            ASSERT_EQ(scnNodeFree(&handles[idx], &remaining), 1);
            EXPECT_EQ(handles[idx], nullptr);
            alive.erase(std::find(alive.begin(), alive.end(), nodes[idx]));
            EXPECT_EQ(remaining, alive.size());
            expectNodeList(c, alive);
        }
        EXPECT_EQ(pelFreeObject(&c), 1);
    }
}

TEST_F(SceneNode, GlobalContentListUnlinksInAnyPosition) {
    PelContent* a = buildContent(twoPartSpec());
    PelContent* b = buildContent(twoPartSpec());
    PelContent* d = buildContent(twoPartSpec());
    EXPECT_EQ(pelFirstObject(), a);
    EXPECT_EQ(pelLastObject(), d);
    PelContent* keepB = b;
    ASSERT_EQ(pelFreeObject(&b), 1);  // middle
    EXPECT_EQ(a->next, d);
    EXPECT_EQ(d->prev, a);
    ASSERT_EQ(pelFreeObject(&a), 1);  // head
    EXPECT_EQ(pelFirstObject(), d);
    EXPECT_EQ(d->prev, nullptr);
    ASSERT_EQ(pelFreeObject(&d), 1);  // last one
    EXPECT_EQ(pelFirstObject(), nullptr);
    EXPECT_EQ(pelLastObject(), nullptr);
    (void)keepB;
    PelContent* none = nullptr;
    EXPECT_EQ(pelFreeObject(&none), 1);
}

TEST_F(SceneNode, FailedCreateLeavesNothingBehind) {
    // A content without faces and without material sets cannot make a node.
    BuildSpec layout;
    layout.positions = {{0, 0, 0}};
    layout.lights = {{1, 1, 1, {0, 0, 5}}};
    PelContent* c = buildContent(layout);
    Mat4 base = identity();
    ScnNode* node = reinterpret_cast<ScnNode*>(&base);  // stale value must be cleared
    EXPECT_EQ(scnNodeCreate(c, 0, nullptr, nullptr, &base, &node), 0);
    EXPECT_EQ(node, nullptr);
    EXPECT_EQ(c->nodeCount, 0u);
    EXPECT_EQ(c->firstNode, nullptr);
    EXPECT_EQ(lightCount(), 0u);
    EXPECT_EQ(pelFreeObject(&c), 1);
}

TEST_F(SceneNode, FacelessContentCopiesFirstMaterialSet) {
    BuildSpec layout;
    layout.positions = {{0, 0, 0}};
    PelContent* c = buildContent(layout);
    MatRecord recs[2] = {};
    recs[1].diffuse[0] = 0.25f;
    MatSet set = {2, nullptr, recs};
    MatSetLink link = {&set, {0, 0}, nullptr};
    c->matSets = &link;
    Mat4 base = identity();
    ScnNode* node = nullptr;
    ASSERT_EQ(scnNodeCreate(c, 0, nullptr, nullptr, &base, &node), 1);
    ASSERT_NE(node->materials, nullptr);
    EXPECT_NE(node->materials, recs);
    EXPECT_EQ(node->materials[1].diffuse[0], 0.25f);
    EXPECT_EQ(scnNodeFree(&node, nullptr), 1);
    EXPECT_EQ(pelFreeObject(&c), 1);
}

int gHookCalls = 0;
int gHookAnswer = 0;
int countingDestroyHook(ScnNode* node) {
    ++gHookCalls;
    EXPECT_EQ(node->content->nodeCount, 1u);  // still linked when asked
    return gHookAnswer;
}

TEST_F(SceneNode, RefusingDestroyHookKeepsNodeIntact) {
    PelContent* c = buildContent(twoPartSpec());
    Mat4 base = identity();
    ScnNode* node = nullptr;
    ASSERT_EQ(scnNodeCreate(c, 0, nullptr, nullptr, &base, &node), 1);
    node->destroyHook = countingDestroyHook;
    gHookCalls = 0;
    gHookAnswer = 0;
    ScnNode* holder = node;
    uint32_t remaining = 99;
    EXPECT_EQ(scnNodeFree(&holder, &remaining), 0);
    EXPECT_EQ(gHookCalls, 1);
    EXPECT_EQ(holder, node);
    EXPECT_EQ(remaining, 99u);
    expectNodeList(c, {node});
    EXPECT_NE(node->materials, nullptr);
    EXPECT_EQ(pelFreeObject(&c), 0);

    gHookAnswer = 1;
    EXPECT_EQ(scnNodeFree(&holder, &remaining), 1);
    EXPECT_EQ(gHookCalls, 2);
    EXPECT_EQ(remaining, 0u);
    EXPECT_EQ(pelFreeObject(&c), 1);
}

TEST_F(SceneNode, OwnedChildrenGoWithTheParent) {
    PelContent* c = buildContent(twoPartSpec());
    Mat4 base = identity();
    ScnNode *parent = nullptr, *owned = nullptr, *shared = nullptr;
    ASSERT_EQ(scnNodeCreate(nullptr, 0, nullptr, nullptr, &base, &parent), 1);
    ASSERT_EQ(scnNodeCreate(c, 0, nullptr, nullptr, &base, &owned), 1);
    ASSERT_EQ(scnNodeCreate(c, 0, nullptr, nullptr, &base, &shared), 1);
    auto* l2 = static_cast<ScnChildLink*>(memAllocZ(sizeof(ScnChildLink)));
    auto* l1 = static_cast<ScnChildLink*>(memAllocZ(sizeof(ScnChildLink)));
    *l2 = {shared, 0.0f, 0, nullptr};
    *l1 = {owned, 10.0f, 1, l2};
    parent->children = l1;
    ASSERT_EQ(scnNodeFree(&parent, nullptr), 1);
    expectNodeList(c, {shared});
    EXPECT_EQ(scnNodeFree(&shared, nullptr), 1);
    EXPECT_EQ(pelFreeObject(&c), 1);
}

TEST_F(SceneNode, NodeLightsFollowThePlacement) {
    BuildSpec layout = twoPartSpec();
    layout.lights = {{1, 0.5f, 0.25f, {0, 0, 5}}, {0, 1, 0, {1, 1, 1}}};
    PelContent* c = buildContent(layout);
    Mat4 base = translation(10, 0, 0);
    int token = 0;
    ScnNode* node = nullptr;
    ASSERT_EQ(scnNodeCreate(c, 0, nullptr, &token, &base, &node), 1);
    EXPECT_EQ(node->lightList, &token);
    ASSERT_NE(node->lights, nullptr);
    ASSERT_EQ(lightCount(), 2u);
    LightRecord* l = node->lights[0];
    EXPECT_EQ(l, ltFirst());
    EXPECT_NE(l->kind, 0);
    EXPECT_NE(l->on, 0);
    EXPECT_EQ(l->user, reinterpret_cast<uintptr_t>(node));
    EXPECT_FLOAT_EQ(l->pos.x, 10.0f);
    EXPECT_FLOAT_EQ(l->pos.z, 5.0f);
    EXPECT_FLOAT_EQ(l->g, 0.5f);
    Mat4 moved = translation(0, -3, 0);
    ASSERT_EQ(scnSetPose(node, &moved, 0.0f), 1);
    EXPECT_FLOAT_EQ(l->pos.x, 0.0f);
    EXPECT_FLOAT_EQ(l->pos.y, -3.0f);
    EXPECT_FLOAT_EQ(node->lights[1]->pos.y, -2.0f);
    ltUpdateActive(1, 0);
    EXPECT_EQ(ltFirstActive(), l);
    EXPECT_EQ(scnNodeFree(&node, nullptr), 1);
    EXPECT_EQ(lightCount(), 0u);
    EXPECT_EQ(ltFirstActive(), nullptr);
    EXPECT_EQ(pelFreeObject(&c), 1);
}

TEST_F(SceneNode, AreaTexturesAreCopied) {
    BuildSpec layout = twoPartSpec();
    layout.areaCount = 2;
    PelContent* c = buildContent(layout);
    TexRecord* textures[2] = {reinterpret_cast<TexRecord*>(0x10), nullptr};
    Mat4 base = identity();
    ScnNode* node = nullptr;
    ASSERT_EQ(scnNodeCreate(c, 0, textures, nullptr, &base, &node), 1);
    ASSERT_NE(node->areaTextures, nullptr);
    EXPECT_NE(node->areaTextures, textures);
    EXPECT_EQ(node->areaTextures[0], textures[0]);
    EXPECT_EQ(scnNodeFree(&node, nullptr), 1);
    EXPECT_EQ(pelFreeObject(&c), 1);
}

TEST_F(SceneNode, HighlightTable) {
    PelContent* c = buildContent(twoPartSpec());  // two parts
    Mat4 base = identity();
    ScnNode* node = nullptr;
    ASSERT_EQ(scnNodeCreate(c, 0, nullptr, nullptr, &base, &node), 1);
    struct Case {
        int32_t index;
        int result;
        int32_t stored;
    } cases[] = {{1, 1, 1}, {-1, 1, -1}, {0, 1, 0}, {-7, 1, -1}, {2, 0, -1}, {INT32_MIN, 1, -1}, {100, 0, -1}};
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.index);
        EXPECT_EQ(scnSetHighlight(node, tc.index), tc.result);
        EXPECT_EQ(node->highlight, tc.stored);
    }
    EXPECT_EQ(scnSetHighlight(nullptr, 0), 0);
    EXPECT_EQ(scnNodeFree(&node, nullptr), 1);
    EXPECT_EQ(pelFreeObject(&c), 1);
}

TEST_F(SceneNode, PartQueries) {
    BuildSpec layout = twoPartSpec();
    layout.areaCount = 3;
    layout.materials[1].flags = qivMatFlagIsTextured;
    layout.materials[1].area = 2;
    PelContent* c = buildContent(layout);
    uint32_t n = 0;
    EXPECT_EQ(pelGetSubObjectCount(c, &n), 1);
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(pelGetSubObjectCount(nullptr, &n), 0);
    EXPECT_EQ(pelGetTrackCount(c, &n), 1);
    EXPECT_EQ(n, 0u);
    uint8_t mats[2], areas[3];
    std::memset(mats, 7, sizeof mats);
    std::memset(areas, 7, sizeof areas);
    ASSERT_EQ(pelPartUsage(c, 1, mats, areas), 1);
    EXPECT_EQ(mats[0], 0);
    EXPECT_EQ(mats[1], 1);
    EXPECT_EQ(areas[0], 0);
    EXPECT_EQ(areas[1], 0);
    EXPECT_EQ(areas[2], 1);
    ASSERT_EQ(pelPartUsage(c, 0, mats, nullptr), 1);
    EXPECT_EQ(mats[0], 1);
    EXPECT_EQ(mats[1], 0);
    EXPECT_EQ(pelPartUsage(c, 2, mats, areas), 0);

    // Part names and object texts go through the multilingual lists.
    ASSERT_EQ(pelSetSubObjectName(c, 1, "EN", "Wheel"), 1);
    char* text = nullptr;
    ASSERT_EQ(pelGetLangText(c->textList1, c->textList1Size, "EN", 0, 1, &text), 1);
    EXPECT_STREQ(text, "Wheel");
    memFreeRefT(&text);
    EXPECT_EQ(pelSetSubObjectName(c, 2, "EN", "x"), 0);
    EXPECT_EQ(pelGetObjectText(c, 0, "EN", &text), 1);  // no second list
    EXPECT_EQ(text, nullptr);
    ASSERT_EQ(pelSetLangText(&c->textList2, &c->textList2Size, "Hello", 0, "EN", 1), 1);
    EXPECT_EQ(pelGetObjectText(c, 0, "EN", &text), 1);
    EXPECT_STREQ(text, "Hello");
    memFreeRefT(&text);
    EXPECT_EQ(pelGetObjectText(c, 0, "FR", &text), 0);
    EXPECT_EQ(pelGetObjectText(c, 0, "EN", nullptr), 0);
    EXPECT_EQ(pelFreeObject(&c), 1);
}

TEST_F(SceneNode, VisIdInitLimits) {
    struct Case {
        uint32_t faces, nodes;
        int result;
    } cases[] = {
        {0, 1, 0},
        {1u << 20, 1u << 10, 0},  // 21 + 11 bits
        {(1u << 20) - 1, (1u << 10) - 1, 1},  // 20 + 10 bits
        {(1u << 20) - 1, 1u << 10, 0},
        {1, 0, 1},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(testing::Message() << tc.faces << " faces, " << tc.nodes << " nodes");
        EXPECT_EQ(visIdInit(tc.faces, tc.nodes), tc.result);
    }
}

TEST_F(SceneNode, FaceIdColoursRoundTrip) {
    BuildSpec layout = twoPartSpec();  // faces face +z
    PelContent* c = buildContent(layout);
    Mat4 base = identity();
    ScnNode* node = nullptr;
    ASSERT_EQ(scnNodeCreate(c, 0, nullptr, nullptr, &base, &node), 1);
    auto look = [&](float z) {  // eye vector row of the inverse object-to-view matrix
        std::memset(&node->invObjToView, 0, sizeof(Mat4));
        node->invObjToView.m[10] = z;
    };

    // Byte examples for id 0.
    ASSERT_EQ(visIdInit(2, 1), 1);
    ASSERT_EQ(visIdSetNode(0), 1);
    uint32_t colour = 0;
    look(1.0f);
    ASSERT_EQ(visFaceIdColor(&c->faces[0], node, &colour), 1);
    EXPECT_EQ(colour, 0x00008000u);
    look(-1.0f);
    ASSERT_EQ(visFaceIdColor(&c->faces[0], node, &colour), 1);
    EXPECT_EQ(colour, 0x00800000u);

    // An id with bits in every byte: 0x2ABCDE1 (node 0xAAF378 behind 2 face bits, face 1).
    ASSERT_EQ(visIdInit(2, 0xAAF379), 1);
    ASSERT_EQ(visIdSetNode(0xAAF378), 1);
    look(1.0f);
    ASSERT_EQ(visFaceIdColor(&c->faces[1], node, &colour), 1);
    EXPECT_EQ(colour, 0xE105ABCDu);  // bits 8-15, 16-22 + front, 23-29, 0-7
    look(-1.0f);
    ASSERT_EQ(visFaceIdColor(&c->faces[1], node, &colour), 1);
    EXPECT_EQ(colour, 0xE1852BCDu);

    uint32_t dn = 0, front = 9;
    int32_t face = 0;
    ASSERT_EQ(visIdDecode(0, &dn, &face, &front), 1);
    EXPECT_EQ(face, -1);
    EXPECT_EQ(front, 9u);

    struct Case {
        uint32_t maxFaces, maxNodes, node, faceIndex;
        float eye;
    } cases[] = {{2, 3, 3, 1, 1.0f}, {2, 3, 2, 0, -1.0f}, {1000, 200000, 199999, 1, 1.0f}, {2, 1u << 20, 1u << 20, 1, -1.0f}};
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.node);
        ASSERT_EQ(visIdInit(tc.maxFaces, tc.maxNodes), 1);
        visIdSetNode(tc.node);
        look(tc.eye);
        ASSERT_EQ(visFaceIdColor(&c->faces[tc.faceIndex], node, &colour), 1);
        EXPECT_NE(colour, 0u);
        ASSERT_EQ(visIdDecode(colour, &dn, &face, &front), 1);
        EXPECT_EQ(dn, tc.node);
        EXPECT_EQ(face, int32_t(tc.faceIndex));
        EXPECT_EQ(front, tc.eye > 0 ? 1u : 0u);
    }

    // Ids beyond 30 bits give no colour; a node without content neither.
    ASSERT_EQ(visIdInit(2, 1), 1);
    visIdSetNode(1u << 29);
    ASSERT_EQ(visFaceIdColor(&c->faces[1], node, &colour), 1);
    EXPECT_EQ(colour, 0u);
    ScnNode bare{};
    colour = 5;
    EXPECT_EQ(visFaceIdColor(&c->faces[0], &bare, &colour), 1);
    EXPECT_EQ(colour, 0u);

    EXPECT_EQ(scnNodeFree(&node, nullptr), 1);
    EXPECT_EQ(pelFreeObject(&c), 1);
}

TEST_F(SceneNode, QuadPlaneWithDegenerateTriangle) {
    // Quad faces: (0,1,2) and (0,1,3) make the two triangles.
    BuildSpec layout;
    layout.positions = {
        {0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 1},    // first triangle degenerate
        {0, 0, 0}, {1, 0, 0}, {0, 1, 2}, {3, 0, 0},    // second triangle degenerate
        {0, 0, 0}, {2, 0, 0}, {0, 1, 0}, {0, 0, 1},    // both valid: xy plane and xz plane
    };
    layout.faces = {{{0, 1, 2, 3}, 0, FACE_QUAD}, {{4, 5, 6, 7}, 0, FACE_QUAD}, {{8, 9, 10, 11}, 0, FACE_QUAD}};
    layout.materials = {plainMaterial(1, 1, 1)};
    PelContent* c = buildContent(layout);
    struct Case {
        int face;
        Vec3 normal;
        float dist;
    } cases[] = {
        {0, {0, -1 / std::sqrt(2.0f), 1 / std::sqrt(2.0f)}, 0},  // plane of (0,1,3)
        {1, {0, -2 / std::sqrt(5.0f), 1 / std::sqrt(5.0f)}, 0},  // plane of (0,1,2)
        // Weights 2 (xy, normal +z) and 2 (xz, normal -y): equal halves.
        {2, {0, -1 / std::sqrt(2.0f), 1 / std::sqrt(2.0f)}, 0},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.face);
        Vec3 n;
        float d = 99;
        ASSERT_EQ(visFacePlane(c, &c->faces[tc.face], &n, &d), 1);
        EXPECT_NEAR(n.x, tc.normal.x, 1e-6);
        EXPECT_NEAR(n.y, tc.normal.y, 1e-6);
        EXPECT_NEAR(n.z, tc.normal.z, 1e-6);
        EXPECT_NEAR(d, tc.dist, 1e-6);
    }
    EXPECT_EQ(pelFreeObject(&c), 1);
}

TEST_F(SceneNode, DropUnusedVerticesKeepsAFullyUsedContent) {
    PelContent* c = buildContent(twoPartSpec());
    std::vector<PelVertex> before(c->vertices, c->vertices + c->vertexCount);
    std::vector<PelFace> faces(c->faces, c->faces + c->faceCount);
    ASSERT_EQ(pelDropUnusedVertices(c), 1);
    EXPECT_EQ(c->vertexCount, 7u);
    for (uint32_t i = 0; i < c->vertexCount; ++i) {
        EXPECT_EQ(c->vertices[i].pos.x, before[i].pos.x);
        EXPECT_EQ(c->vertices[i].scratch, i);
    }
    EXPECT_EQ(std::memcmp(c->faces, faces.data(), faces.size() * sizeof(PelFace)), 0);
    EXPECT_EQ(pelFreeObject(&c), 1);
}

TEST_F(SceneNode, DropUnusedVerticesPacksParts) {
    BuildSpec layout;
    // Part 0: vertices 0..4, 1 and 3 unused. Part 1: vertices 5..8, 5 unused.
    layout.positions = {{0, 0, 0}, {9, 9, 9}, {1, 0, 0}, {9, 9, 9}, {0, 1, 0},
                      {9, 9, 9}, {0, 0, 1}, {1, 0, 1}, {0, 1, 1}};
    layout.faces = {{{0, 2, 4, 0}, 0, 0}, {{6, 7, 8, 0}, 0, 0}};
    layout.parts = {{5, 1}, {4, 1}};
    layout.materials = {plainMaterial(1, 1, 1)};
    PelContent* c = buildContent(layout);
    c->faces[0].v[3] = 77;  // a triangle's fourth index becomes the third one
    ASSERT_EQ(pelDropUnusedVertices(c), 1);
    EXPECT_EQ(c->vertexCount, 6u);
    const uint32_t want0[4] = {0, 1, 2, 2}, want1[4] = {3, 4, 5, 5};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(c->faces[0].v[k], want0[k]);
        EXPECT_EQ(c->faces[1].v[k], want1[k]);
    }
    EXPECT_EQ(c->parts[0].firstVertex, c->vertices);
    EXPECT_EQ(c->parts[0].vertexCount, 3u);
    EXPECT_EQ(c->parts[1].firstVertex, c->vertices + 3);
    EXPECT_EQ(c->parts[1].vertexCount, 3u);
    const float wantX[6] = {0, 1, 0, 0, 1, 0};
    const float wantZ[6] = {0, 0, 0, 1, 1, 1};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(c->vertices[i].pos.x, wantX[i]);
        EXPECT_EQ(c->vertices[i].pos.z, wantZ[i]);
    }
    // Bad indices are refused before anything changes.
    c->faces[1].v[2] = 1000;
    EXPECT_EQ(pelDropUnusedVertices(c), 0);
    EXPECT_EQ(pelFreeObject(&c), 1);
}

TEST_F(SceneNode, MergeVerticesWithinParts) {
    BuildSpec layout;
    // Part 0: 0 and 2 equal, 3 differs from 0 in u only. Part 1: 4 equals 0 but is in another part.
    layout.positions = {{1, 1, 1}, {0, 0, 0}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {0, 0, 0}, {0, 1, 0}};
    layout.us = {0.5f, 0, 0.5f, 0.25f, 0.5f, 0, 0};
    layout.faces = {{{2, 1, 3, 0}, 0, 0}, {{0, 1, 2, 3}, 0, FACE_QUAD}, {{4, 5, 6, 0}, 0, 0}};
    layout.parts = {{4, 2}, {3, 1}};
    layout.materials = {plainMaterial(1, 1, 1)};
    PelContent* c = buildContent(layout);
    ASSERT_EQ(pelMergeVertices(c), 1);
    uint32_t rep = c->faces[0].v[0];
    EXPECT_TRUE(rep == 0 || rep == 2);
    EXPECT_EQ(c->faces[1].v[0], rep);
    EXPECT_EQ(c->faces[1].v[2], rep);
    EXPECT_EQ(c->faces[0].v[2], 3u);
    EXPECT_EQ(c->faces[0].v[3], 3u);
    EXPECT_EQ(c->faces[1].v[3], 3u);
    EXPECT_EQ(c->faces[2].v[0], 4u);
    EXPECT_EQ(c->vertexCount, 7u);  // nothing removed
    ASSERT_EQ(pelDropUnusedVertices(c), 1);
    EXPECT_EQ(c->vertexCount, 6u);
    EXPECT_EQ(pelFreeObject(&c), 1);

    PelVertex a{}, b{};
    a.pos = {1, 2, 3};
    b.pos = {1, 2, 3};
    b.v = 0.5f;
    const PelVertex *pa = &a, *pb = &b;
    EXPECT_EQ(pelCompareVertices(&pa, &pb), -1);
    EXPECT_EQ(pelCompareVertices(&pb, &pa), 1);
    EXPECT_EQ(pelCompareVertices(&pa, &pa), 0);
}

struct WalkLog {
    std::vector<uint32_t> faces, marks;
};
WalkLog* gWalk = nullptr;
int walkCallback(uint32_t user, uint32_t face, uint32_t faceUser, uint32_t mark, Vec3* pos, float* u, float* v) {
    EXPECT_EQ(user, 5u);
    EXPECT_EQ(faceUser, face + 100);
    gWalk->faces.push_back(face);
    gWalk->marks.push_back(mark);
    *u = pos->x + 0.5f;
    *v = 0.25f;
    return 1;
}

TEST_F(SceneNode, ForEachFaceVertexMarksAndCopiesCoordinates) {
    PelContent* c = buildContent(twoPartSpec());
    c->faces[0].user = 100;
    c->faces[1].user = 101;
    c->faces[1].v[0] = 0;  // shares vertex 0 with the quad
    WalkLog log;
    gWalk = &log;
    ASSERT_EQ(pelForEachFaceVertex(c, 5, walkCallback), 1);
    gWalk = nullptr;
    EXPECT_EQ(log.faces, (std::vector<uint32_t>{0, 0, 0, 0, 1, 1, 1}));
    EXPECT_EQ(log.marks, (std::vector<uint32_t>{0, 0, 0, 0, 1, 0, 0}));
    EXPECT_FLOAT_EQ(c->vertices[1].u, 1.5f);
    EXPECT_FLOAT_EQ(c->vertices[1].eu, 1.5f);
    EXPECT_FLOAT_EQ(c->vertices[1].ev, 0.25f);
    EXPECT_EQ(pelForEachFaceVertex(nullptr, 0, walkCallback), 0);
    EXPECT_EQ(pelFreeObject(&c), 1);
}

// One animated part: x translation 0, 10, 40 at times 0, 1, 2.
class AnimatedNode : public SceneNode {
  protected:
    PelContent* c = nullptr;
    AnimTrack* track = nullptr;
    void SetUp() override {
        SceneNode::SetUp();
        c = buildContent(twoPartSpec());
        Mat4 frames[3];
        const float xs[3] = {0, 10, 40};
        for (int i = 0; i < 3; ++i) mtxMakeTranslation(xs[i], 0, 0, &frames[i]);
        AnimTrack* made = nullptr;
        ASSERT_EQ(animTrackFromFrames(3, frames, nullptr, 1.0f, &made), 1);
        c->tracks = static_cast<AnimTrack*>(memAllocZ(sizeof(AnimTrack)));
        std::memcpy(c->tracks, made, sizeof(AnimTrack));
        memFree(made);  // the lists now belong to the content's track
        c->trackCount = 1;
        c->trackIndex = static_cast<uint32_t*>(memAllocZ(2 * sizeof(uint32_t)));
        c->trackIndex[1] = 5;  // out of range: part 1 is not animated
        c->descCount = 1;
        c->descs = static_cast<AnimDesc*>(memAllocZ(sizeof(AnimDesc)));
        c->descs[0].start = 0.0f;
        c->descs[0].end = 2.0f;
        c->descs[0].firstTrack = c->tracks;
        c->descs[0].trackCount = 1;
        track = c->tracks;
    }
    void TearDown() override {
        EXPECT_EQ(pelFreeObject(&c), 1);
        SceneNode::TearDown();
    }
};

TEST_F(AnimatedNode, PartsFollowTheTrack) {
    Mat4 base = translation(0, 0, 100);
    ScnNode* node = nullptr;
    ASSERT_EQ(scnNodeCreate(c, 0, nullptr, nullptr, &base, &node), 1);
    ASSERT_NE(node->parts, nullptr);
    EXPECT_EQ(node->parts[0].track, track);
    EXPECT_EQ(node->parts[1].track, nullptr);
    EXPECT_EQ(node->effTime, 0.0f);

    ASSERT_EQ(scnSetTime(node, 2.0f), 1);
    EXPECT_NEAR(node->parts[0].local.m[12], 40.0f, 1e-4);
    EXPECT_NEAR(node->parts[0].world.m[12], 40.0f, 1e-4);
    EXPECT_NEAR(node->parts[0].world.m[14], 100.0f, 1e-4);
    EXPECT_NEAR(node->parts[0].inverse.m[12], -40.0f, 1e-4);
    // World box: part 0 moved by 40, part 1 (x 0..2) in place.
    EXPECT_NEAR(node->worldBox.min.x, 0.0f, 1e-4);
    EXPECT_NEAR(node->worldBox.max.x, 41.0f, 1e-4);
    EXPECT_NEAR(node->worldBox.min.z, 100.0f, 1e-4);

    Mat4 main;
    ASSERT_EQ(scnGetMainPartMatrix(node, &main), 1);  // part 1 is larger and not animated
    EXPECT_EQ(main.m[12], 0.0f);
    EXPECT_EQ(main.m[0], 1.0f);
    std::swap(node->parts[0].track, node->parts[1].track);
    ASSERT_EQ(scnGetMainPartMatrix(node, &main), 1);
    EXPECT_NEAR(main.m[12], 40.0f, 1e-4);
    std::swap(node->parts[0].track, node->parts[1].track);
    EXPECT_EQ(scnNodeFree(&node, nullptr), 1);
}

TEST_F(AnimatedNode, BackwardsDescriptorMirrorsTime) {
    Mat4 base = identity();
    ScnNode* node = nullptr;
    ASSERT_EQ(scnNodeCreate(c, 0, nullptr, nullptr, &base, &node), 1);
    c->descs[0].flags = ANIM_DESC_REVERSED;
    node->desc = &c->descs[0];
    struct Case {
        float t, eff;
    } cases[] = {{0.5f, 1.5f}, {2.0f, 0.0f}, {0.0f, 2.0f}};
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.t);
        ASSERT_EQ(scnSetPose(node, &base, tc.t), 1);
        EXPECT_EQ(node->reqTime, tc.t);
        EXPECT_FLOAT_EQ(node->effTime, tc.eff);
        Mat4 want;
        ASSERT_EQ(animTrackEvalMatrix(track, tc.eff, &want), 1);
        EXPECT_NEAR(node->parts[0].local.m[12], want.m[12], 1e-5);
        ASSERT_EQ(scnSetTime(node, tc.t), 1);
        EXPECT_FLOAT_EQ(node->effTime, tc.eff);
        EXPECT_NEAR(node->parts[0].local.m[12], want.m[12], 1e-5);
    }
    Mat4 at05;
    animTrackEvalMatrix(track, 0.5f, &at05);
    scnSetTime(node, 0.5f);
    EXPECT_GT(std::fabs(node->parts[0].local.m[12] - at05.m[12]), 1.0f);
    EXPECT_EQ(scnNodeFree(&node, nullptr), 1);
}

}  // namespace
