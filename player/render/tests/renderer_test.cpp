#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include "render/tests/renderer_fixture.h"

namespace {

class Renderer : public ::testing::Test {
  protected:
    void SetUp() override {
        resetRenderState();
        const float dir[3] = {-0.3f, 0.5f, -0.8f}, white[3] = {1, 1, 1};
        ltAdd(0, dir, white, 0, &light);
    }
    void TearDown() override {
        for (ScnNode*& n : nodes) freeNode(n);
        for (PelContent*& c : contents) pelFreeObject(&c);
        fzFree(&frame);
        resetRenderState();
    }
    LightRecord* light = nullptr;
    PicRecord* frame = nullptr;
    std::vector<ScnNode*> nodes;
    std::vector<PelContent*> contents;

    ScnNode* node(PelContent* c, const Mat4* base = nullptr) {
        contents.push_back(c);
        nodes.push_back(makeNode(c, base));
        return nodes.back();
    }
    // A unit cube whose faces are smooth (edges drawn only on the silhouette or open).
    ScnNode* cube(uint16_t extraFlags = FACE_EDGES_ONLY) {
        SampleMesh m;
        m.shape.materials = {sampleMaterial(0.9f, 0.4f, 0.2f)};
        m.box({0, 0, 0}, {1, 1, 1}, 0, extraFlags);
        return node(m.build());
    }
    ScnRenderJob job(CamRecord* cam, uint32_t kind, ScnNode* n) {
        if (!frame) fzCreate(uint32_t(cam->pixW), uint32_t(cam->pixH), 2, &frame);
        ScnRenderJob j{};
        j.node = n;
        j.camera = cam;
        j.target = frame;
        j.kind = kind;
        return j;
    }
};

// Distinct screen segments among the recorded lines (either direction).
size_t distinctSegments() {
    std::set<std::vector<int>> s;
    for (const RecordedLine& l : DrawRecorder::lines()) {
        std::vector<int> a = {int(std::lround(l.p0[0])), int(std::lround(l.p0[1]))};
        std::vector<int> b = {int(std::lround(l.p1[0])), int(std::lround(l.p1[1]))};
        if (b < a) std::swap(a, b);
        a.insert(a.end(), b.begin(), b.end());
        s.insert(a);
    }
    return s.size();
}

// Seen from a corner, three faces of the cube are visible: 9 edges in all, 6 on the silhouette.
TEST_F(Renderer, CubeEdgesPerWireAndHiddenKind) {
    ScnNode* n = cube();
    CamRecord cam = testCamera(200, 150, {5, -6, 4}, {0, 0, 0});
    struct Case {
        uint32_t kind;
        size_t lines, distinct;
    } cases[] = {
        {SCN_KIND_WIRE_ALL, 9, 9},    // each shared edge once
        {SCN_KIND_WIRE, 6, 6},        // silhouette only
        {SCN_KIND_HIDDEN, 6, 6},      // the same edges, faces filled
        {SCN_KIND_HIDDEN_ALL, 12, 9}, // every edge of every visible face
    };
    for (const Case& k : cases) {
        DrawRecorder rec;
        ScnRenderJob j = job(&cam, k.kind, n);
        ASSERT_EQ(scnRenderScene(&j), 1);
        EXPECT_EQ(DrawRecorder::lines().size(), k.lines) << "kind " << k.kind;
        EXPECT_EQ(distinctSegments(), k.distinct) << "kind " << k.kind;
    }
    // Without the smooth flag every edge of every visible face is drawn.
    ScnNode* hard = cube(0);
    DrawRecorder rec;
    ScnRenderJob j = job(&cam, SCN_KIND_WIRE, hard);
    ASSERT_EQ(scnRenderScene(&j), 1);
    EXPECT_EQ(DrawRecorder::lines().size(), 12u);
}

// Back-face kinds fill every face, back faces in the back colour.
TEST_F(Renderer, HiddenBackKindFillsBackFaces) {
    ScnNode* n = cube();
    CamRecord cam = testCamera(200, 150, {5, -6, 4}, {0, 0, 0});
    DrawRecorder rec;
    ScnRenderJob j = job(&cam, SCN_KIND_HIDDEN_BACK, n);
    ASSERT_EQ(scnRenderScene(&j), 1);
    ASSERT_EQ(DrawRecorder::tris().size(), 12u);
    size_t yellow = 0;
    for (const RecordedTri& t : DrawRecorder::tris())
        if (t.a->b == 0.5f) ++yellow;
    EXPECT_EQ(yellow, 6u);
    EXPECT_EQ(DrawRecorder::lines().size(), 24u);
}

// Every changed pixel lies inside the update rectangle; drawing again gives the same image.
TEST_F(Renderer, UpdateRectangleCoversTheDrawingAndFramesRepeat) {
    ScnNode* n = cube(0);
    CamRecord cam = testCamera(96, 72, {5, -6, 4}, {0, 0, 0});
    for (uint32_t kind : {SCN_KIND_WIRE, SCN_KIND_HIDDEN, SCN_KIND_FLAT, SCN_KIND_GOURAUD_TEX}) {
        ScnRenderJob j = job(&cam, kind, n);
        fzSetClearColor(0.1f, 0.2f, 0.3f);
        fzClear(frame, nullptr);
        const size_t bytes = size_t(frame->width) * frame->height * 2;
        std::vector<uint8_t> cleared(frame->pixels, frame->pixels + bytes);
        ASSERT_EQ(scnRenderScene(&j), 1);
        std::vector<uint8_t> first(frame->pixels, frame->pixels + bytes);
        size_t changed = 0;
        for (int32_t y = 0; y < frame->height; ++y)
            for (int32_t x = 0; x < frame->width; ++x) {
                const size_t o = (size_t(y) * frame->width + x) * 2;
                if (std::memcmp(&first[o], &cleared[o], 2) == 0) continue;
                ++changed;
                EXPECT_TRUE(x >= j.rect.x && x < j.rect.x + j.rect.w && y >= j.rect.y && y < j.rect.y + j.rect.h)
                    << "kind " << kind << " pixel " << x << "," << y;
            }
        EXPECT_GT(changed, 50u) << "kind " << kind;
        fzClear(frame, nullptr);
        ASSERT_EQ(scnRenderScene(&j), 1);
        EXPECT_EQ(std::memcmp(frame->pixels, first.data(), bytes), 0) << "kind " << kind;
    }
}

TEST_F(Renderer, KindsAndMissingParts) {
    ScnNode* n = cube();
    CamRecord cam = testCamera(64, 48, {5, -6, 4}, {0, 0, 0});
    ScnRenderJob j = job(&cam, 8, n);
    EXPECT_EQ(scnRenderScene(&j), 0);
    j.kind = SCN_KIND_FLAT;
    j.camera = nullptr;
    EXPECT_EQ(scnRenderScene(&j), 0);
    j.camera = &cam;
    j.target = nullptr;
    EXPECT_EQ(scnRenderScene(&j), 0);
    EXPECT_EQ(scnRenderScene(nullptr), 0);
    // Routed to the hardware: kinds above 64 answer at once.
    dxActive = 1;
    j.kind = 130;
    EXPECT_EQ(scnRenderScene(&j), 1);
    j.kind = 129;  // switches routing off for the call and has no case
    j.target = frame;
    EXPECT_EQ(scnRenderScene(&j), 0);
    EXPECT_EQ(dxActive, 1);
    dxActive = 0;
    // A node without content or one outside the view: empty rectangle, result 1.
    ScnNode* bare = makeNode(nullptr);
    j = job(&cam, SCN_KIND_FLAT, bare);
    j.rect = {1, 1, 1, 1};
    EXPECT_EQ(scnRenderScene(&j), 1);
    EXPECT_EQ(j.rect.w, 0);
    freeNode(bare);
    Mat4 away;
    mtxMakeTranslation(0, 0, 500, &away);
    n->base = away;
    mtxTransformBox(&n->content->box, &n->worldBox, &away);
    j = job(&cam, SCN_KIND_FLAT, n);
    DrawRecorder rec;
    EXPECT_EQ(scnRenderScene(&j), 1);
    EXPECT_EQ(j.rect.w, 0);
    EXPECT_TRUE(DrawRecorder::tris().empty());
}

// Frames count by frame numbers instead of sweeping every record: marks of an earlier frame
// never count, also for records the frames in between did not touch, for a second node of
// the same content, and when the content's frame numbers go round. Each frame equals the
// same frame drawn by a node without a history.
TEST_F(Renderer, EveryFrameEqualsAFreshOne) {
    auto sphere = [] {
        SampleMesh m;
        m.shape.materials = {sampleMaterial(0.8f, 0.6f, 0.3f, 0.5f)};
        m.sphere({0.2f, 0, 0}, 1.0f, 24, 16, 0, FACE_EDGES_ONLY);
        return m.build();
    };
    CamRecord front = testCamera(96, 72, {0, -5, 1}, {0, 0, 0});
    CamRecord back = testCamera(96, 72, {0.5f, 5, -1}, {0, 0, 0});
    auto draw = [&](ScnNode* n, CamRecord* cam, uint32_t kind) {
        ScnRenderJob j = job(cam, kind, n);
        fzClear(frame, nullptr);
        EXPECT_EQ(scnRenderScene(&j), 1);
        const size_t bytes = size_t(frame->width) * frame->height * 2;
        return std::vector<uint8_t>(frame->pixels, frame->pixels + bytes);
    };
    struct Step {
        float degrees;  // the node's turn about z
        CamRecord* cam;
        uint32_t kind;
        bool twin;  // a second node of the content is drawn just before
    } steps[] = {
        {0, &front, SCN_KIND_GOURAUD_TEX, false},  {180, &front, SCN_KIND_GOURAUD_TEX, false},
        {180, &back, SCN_KIND_GOURAUD_TEX, false}, {180, &back, SCN_KIND_WIRE, false},
        {90, &back, SCN_KIND_FLAT, false},         {90, &front, SCN_KIND_GOURAUD_TEX, true},
        {90, &back, SCN_KIND_HIDDEN, false},       {90, &front, SCN_KIND_GOURAUD_TEX, false},
    };
    for (uint32_t start : {0u, UINT32_MAX - 3}) {
        ScnNode* n = node(sphere());
        ScnNode* twin = makeNode(n->content);
        Mat4 twinTurn;
        mtxMakeRotation(2, 33.0f, &twinTurn);
        scnSetPose(twin, &twinTurn, SCN_TIME_UNSET);
        n->content->frameNo = start;
        float pose = 0.0f;
        int index = 0;
        for (const Step& s : steps) {
            Mat4 turn;
            mtxMakeRotation(2, s.degrees, &turn);
            if (s.degrees != pose) scnSetPose(n, &turn, SCN_TIME_UNSET);
            pose = s.degrees;
            if (s.twin) draw(twin, s.cam, s.kind);
            const std::vector<uint8_t> drawn = draw(n, s.cam, s.kind);
            ScnNode* fresh = node(sphere());
            scnSetPose(fresh, &turn, SCN_TIME_UNSET);
            EXPECT_TRUE(drawn == draw(fresh, s.cam, s.kind)) << "start " << start << " step " << index;
            ++index;
        }
        EXPECT_LT(n->content->frameNo, 20u);
        freeNode(twin);
    }
}

// Level of detail: the override and the screen diagonal choose among the child links.
TEST_F(Renderer, LevelOfDetailChoice) {
    auto strip = [&](int count) {
        SampleMesh m;
        m.shape.materials = {sampleMaterial(0.5f, 0.5f, 0.5f)};
        for (int i = 0; i < count; ++i) {
            const float x = float(i) * 0.25f;
            m.tri(m.vertex({x, 0, 0}, {0, 0, 1}, 0, 0), m.vertex({x + 0.2f, 0, 0}, {0, 0, 1}, 0, 0),
                  m.vertex({x, 0.2f, 0}, {0, 0, 1}, 0, 0), 0);
        }
        return m.build();
    };
    ScnNode* parent = node(strip(4));
    ScnNode* child1 = node(strip(2));
    ScnNode* child2 = node(strip(1));
    auto* l1 = static_cast<ScnChildLink*>(memAllocZ(sizeof(ScnChildLink)));
    auto* l2 = static_cast<ScnChildLink*>(memAllocZ(sizeof(ScnChildLink)));
    *l1 = {child1, 0.0f, 0, l2};
    *l2 = {child2, 0.0f, 0, nullptr};
    parent->children = l1;
    CamRecord cam = testCamera(64, 48, {0.5f, 0.1f, 3}, {0.5f, 0.1f, 0}, {0, 1, 0});
    struct Case {
        int32_t override;
        float d1, d2;
        size_t triangles;
    } cases[] = {
        {0, 0, 0, 4},    {1, 0, 0, 2},      {2, 0, 0, 1},   {5, 0, 0, 1},
        {-1, 0, 0, 4},   // diagonal at least the first distance: the node itself
        {-1, 1e9f, 0, 2}, // below the first, not below the second: first child
        {-1, 1e9f, 1e9f, 1},
    };
    for (const Case& k : cases) {
        scnSetLodOverride(k.override);
        l1->distance = k.d1;
        l2->distance = k.d2;
        DrawRecorder rec;
        ScnRenderJob j = job(&cam, SCN_KIND_FLAT, parent);
        ASSERT_EQ(scnRenderScene(&j), 1);
        EXPECT_EQ(DrawRecorder::tris().size(), k.triangles) << k.override << " " << k.d1 << " " << k.d2;
    }
    int32_t o = 9;
    EXPECT_EQ(scnGetLodOverride(&o), 1);
    EXPECT_EQ(o, -1);
    parent->children = nullptr;
    memFree(l1);
    memFree(l2);

    // A level-of-detail chain of the content: the coarser content is drawn for the call only.
    PelContent* own = parent->content;
    PelLodLink c2 = {child2->content, 0.0f, 0, nullptr};
    PelLodLink c1 = {child1->content, 0.0f, 0, &c2};
    own->lod = &c1;
    struct Chain {
        int32_t override;
        float d1, d2;
        size_t triangles;
    } chain[] = {{0, 0, 0, 4}, {1, 0, 0, 2}, {2, 0, 0, 1}, {-1, 1e9f, 1e9f, 4}, {-1, -1, 1e9f, 2}, {-1, -1, -1, 1}};
    for (const Chain& k : chain) {
        scnSetLodOverride(k.override);
        c1.distance = k.d1;
        c2.distance = k.d2;
        DrawRecorder rec;
        ScnRenderJob j = job(&cam, SCN_KIND_FLAT, parent);
        ASSERT_EQ(scnRenderScene(&j), 1);
        EXPECT_EQ(DrawRecorder::tris().size(), k.triangles) << "chain " << k.override << " " << k.d1 << " " << k.d2;
        EXPECT_EQ(parent->content, own);
    }
    own->lod = nullptr;
    scnSetLodOverride(-1);
}

// Three squares side by side in the plane z = 0, one part each (part i at x = 3 (i - 1)),
// seen from above; part 0's material is translucent.
class RendererParts : public Renderer {
  protected:
    CamRecord cam = testCamera(240, 80, {0, 0, 10}, {0, 0, 0}, {0, 1, 0});
    ScnNode* n = nullptr;
    float centreX[3] = {};

    void SetUp() override {
        Renderer::SetUp();
        SampleMesh m;
        MatInput glass = sampleMaterial(0.3f, 0.6f, 0.9f);
        glass.alpha = 0.5f;
        m.shape.materials = {glass, sampleMaterial(0.9f, 0.4f, 0.2f)};
        for (int i = 0; i < 3; ++i) {
            const float x = 3.0f * float(i - 1);
            const Vec3 up = {0, 0, 1};
            const uint32_t a = m.vertex({x - 0.5f, -0.5f, 0}, up, 0, 0), b = m.vertex({x + 0.5f, -0.5f, 0}, up, 1, 0),
                           c = m.vertex({x + 0.5f, 0.5f, 0}, up, 1, 1), d = m.vertex({x - 0.5f, 0.5f, 0}, up, 0, 1);
            m.quad(a, b, c, d, i == 0 ? 0 : 1);
            m.endPart();
            Vec3 centre = {x, 0, 0}, s;
            mtxProjectPoint(&centre, &s, &cam.worldToPixel);
            centreX[i] = s.x;
        }
        n = node(m.build());
        n->highlight = -1;
    }
    // Parts of the recorded triangles in drawing order, by their screen position.
    std::vector<int> partsDrawn() const {
        std::vector<int> out;
        for (const RecordedTri& t : DrawRecorder::tris()) {
            int best = 0;
            for (int i = 1; i < 3; ++i)
                if (std::fabs(t.cx - centreX[i]) < std::fabs(t.cx - centreX[best])) best = i;
            EXPECT_LT(std::fabs(t.cx - centreX[best]), std::fabs(centreX[1] - centreX[0]) / 4) << "a square's triangle";
            out.push_back(best);
        }
        return out;
    }
    std::vector<int> draw(uint32_t kind) {
        DrawRecorder rec;
        ScnRenderJob j = job(&cam, kind, n);
        EXPECT_EQ(scnRenderScene(&j), 1) << "kind " << kind;
        return partsDrawn();
    }
};

// The shaded kinds draw the opaque parts first and the translucent ones after them; the
// other kinds keep the order of the parts. The translucency mark follows the materials.
TEST_F(RendererParts, TranslucentPartsAfterOpaqueOnesInShadedKinds) {
    n->content->parts[2].flags |= PART_TRANSLUCENT;  // stale: recomputed every frame
    const std::vector<int> shadedOrder = {1, 1, 2, 2, 0, 0}, arrayOrder = {0, 0, 1, 1, 2, 2};
    for (uint32_t kind : {SCN_KIND_FLAT, SCN_KIND_FLAT_TEX, SCN_KIND_GOURAUD_TEX})
        EXPECT_EQ(draw(kind), shadedOrder) << "kind " << kind;
    EXPECT_EQ(draw(SCN_KIND_HIDDEN_NT), arrayOrder);
    EXPECT_NE(n->content->parts[0].flags & PART_TRANSLUCENT, 0u);
    EXPECT_EQ(n->content->parts[1].flags & PART_TRANSLUCENT, 0u);
    EXPECT_EQ(n->content->parts[2].flags & PART_TRANSLUCENT, 0u);
    // Hidden-line kinds with transparency leave the translucent square unfilled.
    EXPECT_EQ(draw(SCN_KIND_HIDDEN), (std::vector<int>{1, 1, 2, 2}));
}

// The ghost bit of a shaded kind draws every part but the highlighted one at translucency
// 0.3 (0.3 times the material's own when it has one); triangles carry the opacity.
TEST_F(RendererParts, GhostFlagSparesTheHighlightedPart) {
    struct Case {
        int32_t highlight;
        uint32_t kind;
        float translucency[3];
    } cases[] = {
        {1, SCN_KIND_GOURAUD_TEX, {0.5f, 0.0f, 0.0f}},
        {1, SCN_KIND_GOURAUD_TEX | SCN_KIND_GHOST, {0.15f, 0.0f, 0.3f}},
        {2, SCN_KIND_FLAT | SCN_KIND_GHOST, {0.15f, 0.3f, 0.0f}},
        {0, SCN_KIND_FLAT_TEX | SCN_KIND_GHOST, {0.5f, 0.3f, 0.3f}},
        {-1, SCN_KIND_FLAT | SCN_KIND_GHOST, {0.15f, 0.3f, 0.3f}},
    };
    for (const Case& k : cases) {
        n->highlight = k.highlight;
        const std::vector<int> parts = draw(k.kind);
        ASSERT_EQ(parts.size(), 6u) << "kind " << k.kind;
        for (size_t i = 0; i < parts.size(); ++i)
            EXPECT_FLOAT_EQ(DrawRecorder::tris()[i].alpha, 1.0f - k.translucency[parts[i]])
                << "kind " << k.kind << " highlight " << k.highlight << " part " << parts[i];
    }
}

// A planar part is culled when the eye lies behind its plane; a two-sided planar part only
// while node flag 64 is set.
TEST_F(RendererParts, PlaneCullWithItsTwoSidedExemption) {
    PelPart& part = n->content->parts[1];
    struct Case {
        uint32_t partFlags, nodeFlags;
        Vec3 normal;
        float dist;
        bool drawn;
    } cases[] = {
        {PART_PLANE_CULL, 0, {0, 0, 1}, 0, true},         // the eye (z = 10) in front
        {PART_PLANE_CULL, 0, {0, 0, -1}, 0, false},       // behind
        {PART_PLANE_CULL, 0, {0, 0, 1}, 20, false},       // the plane z = 20 faces up: behind it
        {PART_PLANE_CULL, 0, {0, 0, -1}, -20, true},      // the plane z = 20 faces down
        {PART_PLANE_CULL | PART_TWO_SIDED, 0, {0, 0, -1}, 0, true},
        {PART_PLANE_CULL | PART_TWO_SIDED, NODE_ID_PASS, {0, 0, -1}, 0, false},
        {PART_PLANE_CULL | PART_TWO_SIDED, NODE_ID_PASS, {0, 0, 1}, 0, true},
        {PART_TWO_SIDED, NODE_ID_PASS, {0, 0, -1}, 0, true},  // not planar: no test
    };
    for (const Case& k : cases) {
        part.flags = k.partFlags;
        part.planeNormal = k.normal;
        part.planeDist = k.dist;
        n->flags = (n->flags & ~uint32_t(NODE_ID_PASS)) | k.nodeFlags;
        const std::vector<int> parts = draw(SCN_KIND_FLAT);
        const bool drawn = std::count(parts.begin(), parts.end(), 1) == 2;
        EXPECT_EQ(drawn, k.drawn) << "flags " << k.partFlags << " node " << k.nodeFlags << " normal z " << k.normal.z
                                  << " distance " << k.dist;
        EXPECT_EQ(std::count(parts.begin(), parts.end(), 2), 2);
    }
}

// An animated content draws each part through its own local matrix; the node's matrices are
// back afterwards.
TEST_F(RendererParts, AnimatedPartsTakeTheirOwnMatrices) {
    PelContent* c = n->content;
    c->trackCount = 1;
    auto* parts = static_cast<ScnPart*>(memAllocZ(3 * sizeof(ScnPart)));
    ASSERT_NE(parts, nullptr);
    Mat4 base;
    mtxMakeTranslation(0, 0.5f, 0, &base);
    n->base = base;
    for (int i = 0; i < 3; ++i) {
        mtxMakeTranslation(0, i == 1 ? 1.0f : 0.0f, 0, &parts[i].local);
        mtxMultiply(&parts[i].local, &base, &parts[i].world);
        ASSERT_TRUE(mtxInvert(&parts[i].world, &parts[i].inverse));
    }
    n->parts = parts;
    const Mat4 savedView = [&] {
        Mat4 m;
        mtxMultiply(&base, &cam.worldToScreen, &m);
        return m;
    }();
    DrawRecorder rec;
    ScnRenderJob j = job(&cam, SCN_KIND_FLAT, n);
    ASSERT_EQ(scnRenderScene(&j), 1);
    const std::vector<int> drawn = partsDrawn();
    ASSERT_EQ(drawn.size(), 6u);
    // Each square's centre where its world matrix puts it.
    for (size_t i = 0; i < drawn.size(); i += 2) {
        const int p = drawn[i];
        Vec3 centre = {3.0f * float(p - 1), 0, 0}, world, screen;
        mtxTransformPoint(&centre, &world, &parts[p].world);
        mtxProjectPoint(&world, &screen, &cam.worldToPixel);
        const float cy = (DrawRecorder::tris()[i].cy + DrawRecorder::tris()[i + 1].cy) / 2.0f;
        EXPECT_NEAR(cy, screen.y, 3.0f) << "part " << p;
    }
    EXPECT_GT(std::fabs(DrawRecorder::tris()[2].cy - DrawRecorder::tris()[0].cy), 10.0f) << "part 1 moved alone";
    EXPECT_EQ(std::memcmp(&n->base, &base, sizeof base), 0);
    EXPECT_EQ(std::memcmp(&n->objToView, &savedView, sizeof savedView), 0);
    n->parts = nullptr;
    memFree(parts);
    c->trackCount = 0;
}

// Node flag 32 draws only the part with the chosen id, whatever its plane says, and puts the
// content back; an id that no part has draws the whole content.
TEST_F(RendererParts, SinglePartNarrowing) {
    PelContent* c = n->content;
    c->parts[2].id = 7;
    c->parts[2].flags = PART_PLANE_CULL;
    c->parts[2].planeNormal = {0, 0, -1};  // seen from behind
    const Box3 box = c->box;
    PelPart* const partArray = c->parts;
    n->flags |= NODE_PART_ALONE;
    struct Case {
        uint32_t id;
        std::vector<int> parts;
    } cases[] = {
        {7, {2, 2}},
        {1, {1, 1}},
        {2, {1, 1, 0, 0}},  // no part has id 2: everything but the culled part
    };
    for (const Case& k : cases) {
        n->partAlone = k.id;
        EXPECT_EQ(draw(SCN_KIND_FLAT), k.parts) << "id " << k.id;
        EXPECT_EQ(c->partCount, 3u);
        EXPECT_EQ(c->faceCount, 3u);
        EXPECT_EQ(c->parts, partArray);
        EXPECT_EQ(std::memcmp(&c->box, &box, sizeof box), 0);
        EXPECT_EQ(c->parts[2].flags & PART_PLANE_CULL, uint32_t(PART_PLANE_CULL));
    }
}

TEST_F(Renderer, FaceSizeMeasure) {
    PelVertex v[4] = {};
    v[0].pos = {0, 0, 0};
    v[1].pos = {1, 0, 0};
    v[2].pos = {1, 1, 0};
    v[3].pos = {0, 1, 0};
    PelFace tri{};
    tri.v[0] = 0, tri.v[1] = 1, tri.v[2] = 3;
    EXPECT_FLOAT_EQ(vecFaceSizeSq(v, &tri), 1.0f);
    PelFace quad{};
    quad.v[0] = 0, quad.v[1] = 1, quad.v[2] = 2, quad.v[3] = 3;
    quad.flags = FACE_QUAD;
    EXPECT_FLOAT_EQ(vecFaceSizeSq(v, &quad), 2.0f);
}

TEST_F(Renderer, PreviewBitmap) {
    ScnNode* n = cube(0);
    CamRecord cam = testCamera(320, 200, {5, -6, 4}, {0, 0, 0});
    ScnNode* list[2] = {n, nullptr};
    uint8_t* bmp = nullptr;
    ASSERT_EQ(scnRenderPreviewBmp(&cam, list, nullptr, 0, 0, 0, &bmp), 1);
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(picGet32(bmp + 2), SCN_PREVIEW_BMP_BYTES);
    EXPECT_EQ(picGet32(bmp + 18), 64u);
    EXPECT_EQ(picGet16(bmp + 28), 16u);
    EXPECT_EQ(picGet32(bmp + 34), 8192u);
    // The cube fills the middle of the picture: the centre pixel is not the clear colour.
    EXPECT_NE(picGet16(bmp + 54 + (32 * 64 + 32) * 2), 0u);
    memFree(bmp);
    const uint32_t animOff = 0;
    EXPECT_EQ(scnRenderPreviewBmp(&cam, list, &animOff, 0, 0, 0, &bmp), 0);
    // Nothing in view: no preview.
    CamRecord away = testCamera(320, 200, {5, -6, 4}, {10, -12, 8});
    EXPECT_EQ(scnRenderPreviewBmp(&away, list, nullptr, 0, 0, 0, &bmp), 0);
    EXPECT_EQ(bmp, nullptr);
}

}  // namespace
