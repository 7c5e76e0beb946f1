#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "render/light.h"
#include "scene/contentlist.h"
#include "scene/engine.h"
#include "scene/material.h"
#include "scene/scene.h"
#include "scene/tests/content_builder.h"
#include "scene/tests/lightlist_helpers.h"

namespace {

class Lights : public ::testing::Test, protected lighttest::LightListHelpers {
  protected:
    void SetUp() override {
        ltReset();
        ltResetShading();
        errReset();
        matReset();
        pelResetObjectList();
    }
    void TearDown() override {
        ltReset();
        ltResetShading();
        pelResetObjectList();
    }
};

// Material with e = 4: a = -0.125, c = 8, b = 8 - 1/1.125.
MatRecord material() {
    MatRecord m{};
    for (int i = 0; i < 3; ++i) {
        m.ambient[i] = 0.1f;
        m.diffuse[i] = 0.5f;
        m.texDiffuse[i] = 0.2f;
        m.specular[i] = 0.3f;
        m.modulation[i] = 1.0f;
    }
    ltSpecularCoeffs(4.0f, &m.specCoeff[0], &m.specCoeff[1], &m.specCoeff[2]);
    return m;
}

void expectGrey(const float* c, float v, float tol = 1e-5f) {
    EXPECT_NEAR(c[0], v, tol);
    EXPECT_NEAR(c[1], v, tol);
    EXPECT_NEAR(c[2], v, tol);
}


TEST_F(Lights, ShadeAgainstHandValues) {
    const float att = 1.0f - 1.5f / 99.0f;  // new light at d^2 = 4
    const float fAngled = -0.125f + 1.0f / ((8.0f - 1.0f / 1.125f) * -0.8f + 8.0f);
    struct Case {
        const char* name;
        int32_t kind;
        float pos[3];
        float expect;
    } cases[] = {
        {"directional head-on", 0, {0, 0, -1}, 0.1f + 0.5f + 0.3f},
        {"directional angled", 0, {-0.6f, 0, -0.8f}, 0.1f + 0.5f * 0.8f + 0.3f * fAngled},
        {"positional above", 1, {0, 0, 2}, 0.1f + 0.5f * att + 0.3f * att},
        {"directional from behind", 0, {0, 0, 1}, 0.1f},
        {"positional out of range", 1, {0, 0, 20}, 0.1f},
        {"positional at the point", 1, {0, 0, 0}, 0.1f},
    };
    ltView.eye = {0, 0, 10};
    MatRecord m = material();
    const Vec3 p = {0, 0, 0}, n = {0, 0, 1};
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        ltReset();
        ltResetShading();
        ltView.eye = {0, 0, 10};
        add(tc.kind, tc.pos[0], tc.pos[1], tc.pos[2], 1, 1, 1);
        ltUpdateActive(0, 0);
        float c[3];
        ltShade(&m, &p, &n, c);
        expectGrey(c, tc.expect);
    }

    // Clamping, the light flag, textures on, a switched-off light, eye at the point.
    ltReset();
    ltResetShading();
    ltView.eye = {0, 0, 10};
    LightRecord* l = add(0, 0, 0, -1, 1, 1, 1);
    ltUpdateActive(0, 0);
    float c[3];
    m.modulation[0] = 0.5f;
    m.flags = qivMatFlagIsLight;
    ltShade(&m, &p, &n, c);
    EXPECT_NEAR(c[0], 0.5f, 1e-6);
    EXPECT_NEAR(c[1], 1.0f, 1e-6);  // 1.4 clamped to the modulation colour 1
    m.flags = 0;
    scnTexturesOn = 1;
    ltShade(&m, &p, &n, c);
    expectGrey(c, 0.1f + 0.2f + 0.3f);
    ltMaterialMaxColor(&m, c);
    expectGrey(c, 0.6f);
    scnTexturesOn = 0;
    ltMaterialMaxColor(&m, c);
    EXPECT_NEAR(c[0], 0.5f, 1e-6);
    EXPECT_NEAR(c[1], 0.9f, 1e-6);
    m.modulation[0] = 1.0f;
    const float zero[3] = {0, 0, 0};
    ltSet(l, zero, zero, 0);
    ltShade(&m, &p, &n, c);
    expectGrey(c, 0.1f);
    ltView.eye = {0, 0, 0};
    m.flags = qivMatFlagIsLight;
    ltShade(&m, &p, &n, c);
    expectGrey(c, 0.6f);  // base colour only, no lights
    ltView.parallel = 1;
    ltView.parallelView = {0, 0, 1};
    const float dir[3] = {0, 0, -1}, white[3] = {1, 1, 1};
    ltSet(l, dir, white, 0);
    m.flags = 0;
    ltShade(&m, &p, &n, c);
    expectGrey(c, 0.9f);
}

TEST_F(Lights, AmbientAt) {
    add(1, 0, 0, 1, 0.5f, 0.25f, 0.0f);
    add(0, 0, 0, -1, 1, 1, 1);  // directional: ignored
    ltUpdateActive(0, 0);
    const Vec3 p = {0, 0, 0};
    float c[3];
    ltAmbientAt(&p, c);
    EXPECT_NEAR(c[0], 0.6f, 1e-6);
    EXPECT_NEAR(c[1], 0.35f, 1e-6);
    EXPECT_NEAR(c[2], 0.1f, 1e-6);
    add(1, 1, 0, 0, 1, 1, 1);
    ltUpdateActive(0, 0);
    ltAmbientAt(&p, c);
    EXPECT_NEAR(c[0], 1.0f, 1e-6);
    EXPECT_NEAR(c[2], 1.0f, 1e-6);
}

struct ShadowCall {
    uint32_t slot;
    uintptr_t owner;
    float dist;
};
std::vector<ShadowCall> gShadowCalls;
int shadowHook(const Vec3*, const Vec3*, float dist, uint32_t slot, uintptr_t owner, uint32_t p, uint32_t q,
               int* filtered, float filter[3]) {
    EXPECT_EQ(p, 11u);
    EXPECT_EQ(q, 12u);
    gShadowCalls.push_back({slot, owner, dist});
    if (slot == 3) return 1;  // blocked
    *filtered = 1;
    filter[0] = 0.25f;
    filter[1] = 0.5f;
    filter[2] = 1.0f;
    return 0;
}

TEST_F(Lights, ShadeRayWithShadows) {
    const float dir[3] = {0, 0, -1}, col[3] = {0.5f, 0.5f, 0.5f};
    LightRecord *a = nullptr, *b = nullptr, *c = nullptr;
    ASSERT_EQ(ltCreate(1, 0, dir, col, 1, &a, 100), 1);
    ASSERT_EQ(ltCreate(1, 0, dir, col, 1, &b, 200), 1);
    const float pos[3] = {0, 0, 4};
    ASSERT_EQ(ltCreate(1, 1, pos, col, 0, &c, 300), 1);  // casts no shadow
    c->on = 0;
    ltUpdateActive(0, 0);
    MatRecord m = material();
    LtHit hit = {&m, 0, {1, 1, 1}, {0.3f, 0.3f, 0.3f}};
    const Vec3 p = {0, 0, 0}, n = {0, 0, 1}, mirror = {0, 0, 1};
    float out[3];

    // No shadow test installed: both lights shine (0.25 diffuse + 0.15 specular each).
    ASSERT_EQ(ltShadeRay(&p, &n, &hit, &mirror, 3, 0, 11, out, 12), 1);
    expectGrey(out, 0.9f);

    ltSetShadowTest(shadowHook);
    gShadowCalls.clear();
    ASSERT_EQ(ltShadeRay(&p, &n, &hit, &mirror, 3, 0, 11, out, 12), 1);
    ASSERT_EQ(gShadowCalls.size(), 2u);
    EXPECT_EQ(gShadowCalls[0].slot, 3u);
    EXPECT_EQ(gShadowCalls[0].owner, 100u);
    EXPECT_EQ(gShadowCalls[1].slot, 4u);
    EXPECT_EQ(gShadowCalls[1].owner, 200u);
    EXPECT_EQ(gShadowCalls[1].dist, 1.0e20f);
    // First light blocked, second filtered by twice (0.25, 0.5, 1) limited to 1.
    EXPECT_NEAR(out[0], 0.1f + 0.4f * 0.5f, 1e-6);
    EXPECT_NEAR(out[1], 0.1f + 0.4f, 1e-6);
    EXPECT_NEAR(out[2], 0.1f + 0.4f, 1e-6);

    gShadowCalls.clear();
    ASSERT_EQ(ltShadeRay(&p, &n, &hit, &mirror, 3, 1, 11, out, 12), 1);
    EXPECT_TRUE(gShadowCalls.empty());
    expectGrey(out, 0.9f);

    // Positional light without shadows, textured hit: clamp to 1 then times the texel.
    c->on = 1;
    c->r = c->g = c->b = 2.0f;  // 0.1 + 0.25 + 0.25 + 0.5 x att(16) > 1
    a->param = b->param = 0;
    ltUpdateActive(1, 0);
    hit.textured = 1;
    hit.texel[0] = 0.5f;
    ASSERT_EQ(ltShadeRay(&p, &n, &hit, &mirror, 0, 0, 11, out, 12), 1);
    EXPECT_TRUE(gShadowCalls.empty());
    EXPECT_NEAR(out[0], 0.5f, 1e-6);
    EXPECT_NEAR(out[1], 1.0f, 1e-6);
}

TEST_F(Lights, EnvironmentMapping) {
    struct Case {
        Vec3 d, n;
        float u, v;
    } cases[] = {
        {{0, 0, 1}, {0, 0, 1}, 0.5f, 1.0f},
        {{1, 0, 0}, {0, 0, 1}, 1.0f, 0.5f},
        {{0, 1, 0}, {0, 1, 0}, 0.75f, 0.5f},
    };
    for (const auto& tc : cases) {
        float u, v;
        ltEnvMapDir(&tc.d, &tc.n, &u, &v);
        EXPECT_NEAR(u, tc.u, 2e-5);
        EXPECT_NEAR(v, tc.v, 2e-5);
    }
}


// Vertex lighting on a node: one quad (vertices 0..3) and one triangle (4..6).
class VertexLighting : public Lights {
  protected:
    PelContent* c = nullptr;
    ScnNode* node = nullptr;
    LightRecord* light = nullptr;
    void SetUp() override {
        Lights::SetUp();
        BuildSpec layout = twoPartSpec();
        layout.vertexNormals = true;
        c = buildContent(layout);
        Mat4 base;
        mtxIdentity(&base);
        ASSERT_EQ(scnNodeCreate(c, 0, nullptr, nullptr, &base, &node), 1);
        light = add(0, 0, 0, -1, 1, 1, 1);
        ltUpdateActive(0, 0);
        ltView.eye = {0.5f, 0.5f, 10};
    }
    void TearDown() override {
        EXPECT_EQ(scnNodeFree(&node, nullptr), 1);
        EXPECT_EQ(pelFreeObject(&c), 1);
        Lights::TearDown();
    }
    void setColour(float v) {
        const float dir[3] = {0, 0, -1}, col[3] = {v, v, v};
        ltSet(light, dir, col, 0);
    }
};

TEST_F(VertexLighting, GhostTransparency) {
    struct Case {
        float alpha;
        int ghost;
        float expect;
    } cases[] = {{0.0f, 1, 0.3f}, {0.5f, 1, 0.15f}, {0.5f, 0, 0.5f}, {0.0f, 0, 0.0f}};
    PelVertex& v = c->vertices[0];
    v.flags |= VTX_FIXED_COLOR;  // transparency is reported even then
    for (const auto& tc : cases) {
        node->materials[0].alpha = tc.alpha;
        scnGhostFlag = tc.ghost;
        float t = -1;
        ASSERT_EQ(ltLightVertex(&v, 0, &c->faces[0], node, &t), 1);
        EXPECT_NEAR(t, tc.expect, 1e-6);
        EXPECT_EQ(v.r, 0.0f);
    }
    scnGhostFlag = 0;
}

TEST_F(VertexLighting, OwnNormalIsLitOncePerFrame) {
    PelVertex& v = c->vertices[0];
    PelFace& f = c->faces[0];
    v.u = 0.25f;
    v.v = 0.75f;
    ASSERT_EQ(ltLightVertex(&v, 0, &f, node, nullptr), 1);
    EXPECT_TRUE(v.flags & VTX_LIT);
    EXPECT_TRUE(v.flags & VTX_WORLD);
    float first = v.r;
    EXPECT_GT(first, 0.5f);
    EXPECT_EQ(v.eu, 0.25f);
    EXPECT_EQ(v.ev, 0.75f);
    setColour(0.0f);
    ASSERT_EQ(ltLightVertex(&v, 0, &f, node, nullptr), 1);
    EXPECT_EQ(v.r, first);  // cached
    v.flags |= VTX_RELIGHT;
    ASSERT_EQ(ltLightVertex(&v, 0, &f, node, nullptr), 1);
    EXPECT_LT(v.r, first);

    // Without its own normal the vertex is lit again for every face.
    PelVertex& w = c->vertices[1];
    w.normal = nullptr;
    setColour(1.0f);
    ASSERT_EQ(ltLightVertex(&w, 1, &f, node, nullptr), 1);
    float lit = w.r;
    setColour(0.0f);
    ASSERT_EQ(ltLightVertex(&w, 1, &f, node, nullptr), 1);
    EXPECT_LT(w.r, lit);
}

TEST_F(VertexLighting, TwoSidedFaceRelightsOnSideChange) {
    PelVertex& v = c->vertices[0];
    PelFace& f = c->faces[0];
    f.flags |= FACE_TWO_SIDED;
    setColour(1.0f);
    ASSERT_EQ(ltLightVertex(&v, 0, &f, node, nullptr), 1);
    EXPECT_FALSE(v.flags & VTX_BACKLIT);
    float front = v.r;
    EXPECT_GT(front, 0.5f);
    ltView.eye = {0.5f, 0.5f, -10};  // now behind: shaded with the normal turned away from the light
    ASSERT_EQ(ltLightVertex(&v, 0, &f, node, nullptr), 1);
    EXPECT_TRUE(v.flags & VTX_BACKLIT);
    EXPECT_NEAR(v.r, node->materials[0].ambient[0], 1e-6);
    float back = v.r;
    setColour(0.5f);  // same side again: cached
    ASSERT_EQ(ltLightVertex(&v, 0, &f, node, nullptr), 1);
    EXPECT_EQ(v.r, back);
    ltView.eye = {0.5f, 0.5f, 10};
    ASSERT_EQ(ltLightVertex(&v, 0, &f, node, nullptr), 1);
    EXPECT_FALSE(v.flags & VTX_BACKLIT);
    EXPECT_LT(v.r, front);
}

TEST_F(VertexLighting, EnvironmentMappedFace) {
    PelVertex& v = c->vertices[2];
    PelFace& f = c->faces[0];
    f.flags |= FACE_ENVMAP;
    ltView.parallel = 1;
    ltView.parallelView = {0, 0, 1};
    ASSERT_EQ(ltLightVertex(&v, 2, &f, node, nullptr), 1);
    // R = V - 2 (V.N) N = (0, 0, -1).
    EXPECT_NEAR(v.eu, 0.5f, 2e-5);
    EXPECT_NEAR(v.ev, 0.0f, 2e-5);
}

TEST_F(VertexLighting, NormalsGoToWorldWithThePlacement) {
    const float r2 = 1 / std::sqrt(2.0f), r5 = 1 / std::sqrt(5.0f);
    struct Case {
        const char* name;
        Mat4 base;
        Vec3 normal, expect;
    } cases[] = {
        {"turn about z", {}, {1, 0, 0}, {0, 1, 0}},
        {"stretch along x", {}, {r2, r2, 0}, {r5, 2 * r5, 0}},
    };
    mtxMakeRotation(3, 90.0f, &cases[0].base);  // axes 1..3 = x..z
    mtxMakeScale(2, 1, 1, &cases[1].base);
    PelVertex& v = c->vertices[0];
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        node->base = tc.base;
        node->flags &= ~NODE_INVERSE_VALID;
        v.normal->normal = tc.normal;
        v.normal->flags = 0;
        Vec3 n;
        ASSERT_EQ(ltVertexNormal(&v, &c->faces[0], node, 0, &n), 1);
        EXPECT_NEAR(n.x, tc.expect.x, 1e-6);
        EXPECT_NEAR(n.y, tc.expect.y, 1e-6);
        EXPECT_NEAR(n.z, tc.expect.z, 1e-6);
        EXPECT_TRUE(v.normal->flags & NRM_WORLD);
    }
}

TEST_F(VertexLighting, SmoothNormalsFromNeighbours) {
    // Face 0 (+z) is a triangle whose vertex 0 lies between edge 0 (to face 1,
    // +x) and edge 2 (to face 2, +y). Normals are given directly.
    PelNormal normals[3] = {};
    normals[0].normal = {0, 0, 1};
    normals[1].normal = {1, 0, 0};
    normals[2].normal = {0, 1, 0};
    std::vector<PelFace> faces(3);
    for (int i = 0; i < 3; ++i) {
        faces[i].normal = &normals[i];
        for (uint32_t& nb : faces[i].nb) nb = uint32_t(i);
    }
    faces[0].nb[0] = 1;
    faces[0].nb[2] = 2;
    PelFace* saved = c->faces;
    uint32_t savedCount = c->faceCount;
    c->faces = faces.data();
    c->faceCount = 3;
    PelVertex v{};
    v.flags = VTX_SMOOTH;
    const float r2 = 1 / std::sqrt(2.0f), r3 = 1 / std::sqrt(3.0f);
    struct Case {
        const char* name;
        uint16_t faceFlags;
        uint32_t acrossLinksTo;
        Vec3 expect;
    } cases[] = {
        {"both open", FACE_OPEN_EDGE0 | FACE_OPEN_EDGE2, 2, {0, 0, 1}},
        {"edge k open", FACE_OPEN_EDGE0, 2, {0, r2, r2}},
        {"edge p open", FACE_OPEN_EDGE2, 2, {r2, 0, r2}},
        {"closed fan", 0, 2, {r3, r3, r3}},
        {"no link between neighbours", 0, 1, {0, 0, 1}},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        faces[0].flags = tc.faceFlags;
        faces[1].nb[1] = tc.acrossLinksTo;
        Vec3 n;
        ASSERT_EQ(ltVertexNormal(&v, &faces[0], node, 0, &n), 1);
        EXPECT_NEAR(n.x, tc.expect.x, 1e-6);
        EXPECT_NEAR(n.y, tc.expect.y, 1e-6);
        EXPECT_NEAR(n.z, tc.expect.z, 1e-6);
    }
    c->faces = saved;
    c->faceCount = savedCount;
}

}  // namespace
