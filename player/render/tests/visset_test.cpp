// Visible set: hidden faces stay out, faces are listed once, node flags and refusals.
#include "render/visset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "render/tests/renderer_fixture.h"
#include "scene/tests/content_builder.h"

namespace {

// One square facing +z: centre (x, y), half side s, height z.
PelContent* square(float x, float y, float z, float s) {
    BuildSpec shape;
    shape.positions = {{x - s, y - s, z}, {x + s, y - s, z}, {x + s, y + s, z}, {x - s, y + s, z}};
    shape.faces = {{{0, 1, 2, 3}, 0, FACE_QUAD}};
    shape.materials = {plainMaterial(0.5f, 0.5f, 0.5f)};
    return buildContent(shape);
}

class VisSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetRenderState();
        cam = testCamera(kW, kH, {0, 0, 10}, {0, 0, 0}, {0, 1, 0});  // view of x in +-4, y in +-3 at z = 0
        front = square(-1.5f, 0, 1, 1.2f);
        hidden = square(-1.5f, 0, 0, 0.5f);
        shared = square(0, 0, 0, 0.4f);
        edge = square(-4, 2, 0, 0.6f);  // crosses the left edge
        Mat4 up, down;
        mtxMakeTranslation(2, 1, 0, &up);
        mtxMakeTranslation(2, -1.5f, 0, &down);
        nodes = {makeNode(front), makeNode(hidden), makeNode(shared, &up), makeNode(shared, &down), makeNode(edge)};
        for (uint32_t i = 0; i < nodes.size(); ++i) nodes[i]->user = 100 + i;
        list = nodes;
        list.push_back(nullptr);
    }
    void TearDown() override {
        for (ScnNode*& n : nodes) freeNode(n);
        for (PelContent* c : {front, hidden, shared, edge}) pelFreeObject(&c);
        resetRenderState();
    }
    static constexpr int32_t kW = 40, kH = 30;
    CamRecord cam{};
    PelContent *front = nullptr, *hidden = nullptr, *shared = nullptr, *edge = nullptr;
    std::vector<ScnNode*> nodes, list;
};

TEST_F(VisSetTest, HiddenFacesAreLeftOutAndSharedContentsListedOnce) {
    const IRect all{0, 0, kW, kH};
    VisSet* set = reinterpret_cast<VisSet*>(1);
    ASSERT_EQ(visVisibleSet(&cam, &all, list.data(), 1, &set), 1);
    ASSERT_NE(set, nullptr);

    // Every drawn node, in list order; the hidden one has no faces, the one at the edge is not inside.
    ASSERT_EQ(set->nodeCount, 5u);
    const uint32_t nodeFlags[5] = {VIS_NODE_INSIDE | VIS_NODE_HAS_FACES, VIS_NODE_INSIDE,
                                   VIS_NODE_INSIDE | VIS_NODE_HAS_FACES, VIS_NODE_INSIDE | VIS_NODE_HAS_FACES,
                                   VIS_NODE_HAS_FACES};
    for (uint32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(set->nodes[i].node, nodes[i]);
        EXPECT_EQ(set->nodes[i].user, 100 + i);
        EXPECT_EQ(set->nodes[i].flags, nodeFlags[i]) << i;
    }
    EXPECT_TRUE(nodes[4]->flags & VIS_MARK_BORDER);

    // One face per visible node: the large one once, both nodes of the shared content once each.
    ASSERT_EQ(set->faceCount, 4u);
    std::vector<ScnNode*> seen;
    for (uint32_t i = 0; i < set->faceCount; ++i) seen.push_back(set->faces[i].node);
    for (ScnNode* n : {nodes[0], nodes[2], nodes[3], nodes[4]}) EXPECT_EQ(std::count(seen.begin(), seen.end(), n), 1);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), nodes[1]), 0);

    for (uint32_t i = 0; i < set->faceCount; ++i) {
        const VisFace& f = set->faces[i];
        SCOPED_TRACE(f.user);
        EXPECT_EQ(f.user, f.node->user);
        EXPECT_EQ(f.texture, nullptr);
        // Quad, no edge marks given: all four edges count as marked.
        EXPECT_EQ(f.flags & 0x7F, VIS_FACE_QUAD | (0xFu << 3));
        const uint32_t inside = (f.flags >> 7) & 0xF;
        EXPECT_EQ(inside, f.node == nodes[4] ? 0xFu & ~0x9u : 0xFu);  // two corners beyond the left edge
        const PelVertex* v = f.node->content->vertices;
        for (int k = 0; k < 4; ++k) {
            Vec3 w;
            mtxTransformPoint(&v[k].pos, &w, &f.node->base);
            EXPECT_FLOAT_EQ(f.world[k].x, w.x);
            EXPECT_FLOAT_EQ(f.world[k].y, w.y);
        }
    }
    EXPECT_EQ(visFreeSet(&set), 1u);
    EXPECT_EQ(set, nullptr);
    EXPECT_EQ(visFreeSet(&set), 1u);
}

TEST_F(VisSetTest, RectanglesListsAndEmptyPasses) {
    struct Case {
        IRect rect;
        int result;
    };
    const Case cases[] = {
        {{0, 0, kW + 1, kH}, 1},  // one pixel beyond the right edge is allowed
        {{0, 0, kW + 2, kH}, 0}, {{0, 0, kW, kH + 2}, 0}, {{-1, 0, 10, 10}, 0},
        {{5, 5, 0, 10}, 0},      {{20, 15, 10, 10}, 1},
    };
    for (const Case& c : cases) {
        VisSet* set = nullptr;
        EXPECT_EQ(visVisibleSet(&cam, &c.rect, list.data(), 1, &set), c.result) << c.rect.x << "," << c.rect.w;
        EXPECT_EQ(set != nullptr, c.result == 1);
        visFreeSet(&set);
    }
    const IRect all{0, 0, kW, kH};
    ScnNode* none[] = {nullptr};
    VisSet* set = reinterpret_cast<VisSet*>(1);
    EXPECT_EQ(visVisibleSet(&cam, &all, none, 1, &set), 0);
    EXPECT_EQ(set, nullptr);

    // A part of the view: the nodes reaching its border are not inside.
    const IRect corner{20, 0, 20, 15};  // upper right quarter: the upper shared node
    ASSERT_EQ(visVisibleSet(&cam, &corner, list.data(), 1, &set), 1);
    ASSERT_EQ(set->nodeCount, 1u);
    EXPECT_EQ(set->nodes[0].node, nodes[2]);
    EXPECT_EQ(set->faceCount, 1u);
    visFreeSet(&set);

    // Looking away: computed, but empty.
    CamRecord away = testCamera(kW, kH, {0, 0, 10}, {0, 0, 20}, {0, 1, 0});
    ASSERT_EQ(visVisibleSet(&away, &all, list.data(), 1, &set), 1);
    EXPECT_EQ(set->nodeCount, 0u);
    EXPECT_EQ(set->faceCount, 0u);
    visFreeSet(&set);

    // The other mode lists translucent faces only: none here.
    ASSERT_EQ(visVisibleSet(&cam, &all, list.data(), 0, &set), 1);
    EXPECT_EQ(set->faceCount, 0u);
    visFreeSet(&set);

    ScnRenderJob job{};
    job.camera = &cam;
    job.rect = all;
    EXPECT_EQ(visTestJob(&job, list.data(), &set), 1u);
    EXPECT_EQ(set, nullptr);
}

TEST(VisSetIds, CompareIsUnsigned) {
    const uint32_t values[] = {0u, 1u, 0x80000000u, 0xFFFFFFFFu};
    for (uint32_t a : values)
        for (uint32_t b : values) EXPECT_EQ(visCompareIds(&a, &b), a < b ? -1 : a > b ? 1 : 0);
}

}  // namespace
