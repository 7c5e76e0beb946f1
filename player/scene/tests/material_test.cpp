#include <gtest/gtest.h>

#include "scene/contentlist.h"
#include "scene/engine.h"
#include "scene/light.h"
#include "scene/material.h"
#include "scene/scene.h"
#include "scene/tests/content_builder.h"

namespace {

// A texture as the material code reads it: average colour, then the pixel block.
struct TestTexture {
    float colour[3];
    void* block;
    void* rest[4];
};
TexRecord* asTexture(TestTexture* t) { return reinterpret_cast<TexRecord*>(t); }

class Materials : public ::testing::Test {
  protected:
    void SetUp() override {
        errReset();
        matReset();
        ltReset();
        pelResetObjectList();
    }
    void TearDown() override {
        matReset();
        pelResetObjectList();
    }
};

MatInput input(float r, float g, float b, uint32_t flags) {
    MatInput m{};
    m.colDifuse[0] = r;
    m.colDifuse[1] = g;
    m.colDifuse[2] = b;
    m.colSpecular[0] = m.colSpecular[1] = m.colSpecular[2] = 0.5f;
    m.alpha = 0.25f;
    m.coAmbient = 0.5f;
    m.coDifuse = 0.8f;
    m.coSpecular = 0.4f;
    m.specExp = 4.0f;
    m.flags = flags;
    return m;
}

void expectRgb(const float* got, float r, float g, float b) {
    EXPECT_NEAR(got[0], r, 1e-6);
    EXPECT_NEAR(got[1], g, 1e-6);
    EXPECT_NEAR(got[2], b, 1e-6);
}

TEST_F(Materials, EvaluationTable) {
    TestTexture plain = {{0.5f, 0.5f, 0.5f}, nullptr, {}};
    int pixels = 0;
    TestTexture picture = {{0.5f, 0.25f, 1.0f}, &pixels, {}};
    const float f = 0.85f;
    struct Case {
        const char* name;
        uint32_t flags;
        TestTexture* texture;
        float base[3], side[3], mod[3];
    } cases[] = {
        {"untextured flag", 0, &picture, {1, 0, 0}, {1, 0, 0}, {1, 1, 1}},
        {"no texture", qivMatFlagIsTextured, nullptr, {1, 0, 0}, {1, 0, 0}, {1, 1, 1}},
        {"mixed", qivMatFlagIsTextured | qivMatFlagMixTexCol, &plain, {0.5f, 0, 0}, {1, 0, 0}, {0.5f, 0, 0}},
        {"plain colour texture", qivMatFlagIsTextured, &plain, {0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f},
         {0.5f, 0.5f, 0.5f}},
        {"picture texture", qivMatFlagIsTextured, &picture, {0.5f, 0.25f, 1}, {1, 1, 1}, {0.5f, 0.25f, 1}},
    };
    const float white[3] = {1.0f, 1.0f, 1.0f};
    matSetGlobalColor(white);
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        MatInput in = input(1, 0, 0, tc.flags);
        MatRecord r{};
        matEvaluate(&in, tc.texture ? asTexture(tc.texture) : nullptr, &r);
        expectRgb(r.ambient, tc.base[0] * 0.5f * f, tc.base[1] * 0.5f * f, tc.base[2] * 0.5f * f);
        expectRgb(r.diffuse, tc.base[0] * 0.8f * f, tc.base[1] * 0.8f * f, tc.base[2] * 0.8f * f);
        expectRgb(r.texDiffuse, tc.side[0] * 0.8f * f, tc.side[1] * 0.8f * f, tc.side[2] * 0.8f * f);
        expectRgb(r.specular, 0.2f * f, 0.2f * f, 0.2f * f);
        expectRgb(r.modulation, tc.mod[0], tc.mod[1], tc.mod[2]);
        expectRgb(r.colDifuse, 1, 0, 0);
        EXPECT_EQ(r.alpha, 0.25f);
        EXPECT_EQ(r.specExp, 4.0f);
        EXPECT_NEAR(r.specCoeff[0], -0.125f, 1e-7);
        EXPECT_NEAR(r.specCoeff[2], 8.0f, 1e-6);
        EXPECT_EQ(r.flags, tc.flags);
    }
}

TEST_F(Materials, AmbientIsBlackUntilGlobalColourIsSet) {
    MatInput in = input(1, 1, 1, 0);
    MatRecord* recs = nullptr;
    ASSERT_EQ(matConvert(1, nullptr, &in, &recs), 1);
    expectRgb(recs[0].ambient, 0, 0, 0);
    EXPECT_GT(recs[0].diffuse[0], 0.0f);
    memFreeRefT(&recs);
}

TEST_F(Materials, GlobalsRefreshEveryNodeAndMaterialSet) {
    BuildSpec layout = twoPartSpec();
    layout.materials = {input(1, 0, 0, 0), input(0, 1, 0, 0)};
    PelContent* c = buildContent(layout);
    Mat4 base;
    mtxIdentity(&base);
    ScnNode* node = nullptr;
    ASSERT_EQ(scnNodeCreate(c, 0, nullptr, nullptr, &base, &node), 1);
    MatRecord setRecs[1] = {};
    matEvaluate(&layout.materials[0], nullptr, &setRecs[0]);
    MatSet set = {1, nullptr, setRecs};
    MatSetLink link = {&set, {0, 0}, nullptr};
    c->matSets = &link;

    EXPECT_EQ(matSetGlobalFactor(0.0f), 0);
    EXPECT_EQ(matSetGlobalFactor(-1.0f), 0);
    EXPECT_FLOAT_EQ(matGetGlobalFactor(), 0.85f);
    ASSERT_EQ(matSetGlobalFactor(1.0f), 1);
    EXPECT_FLOAT_EQ(matGetGlobalFactor(), 0.85f);
    ASSERT_EQ(matSetGlobalFactor(2.0f), 1);
    EXPECT_FLOAT_EQ(matGetGlobalFactor(), 1.7f);
    EXPECT_NEAR(node->materials[1].diffuse[1], 0.8f * 1.7f, 1e-6);
    EXPECT_NEAR(setRecs[0].diffuse[0], 0.8f * 1.7f, 1e-6);

    const float colour[3] = {1.0f, 0.5f, 0.0f};
    matSetGlobalColor(colour);
    expectRgb(node->materials[0].ambient, 0.5f * 1.7f, 0, 0);
    expectRgb(node->materials[1].ambient, 0, 0.5f * 1.7f * 0.5f, 0);
    expectRgb(setRecs[0].ambient, 0.5f * 1.7f, 0, 0);

    c->matSets = nullptr;
    ASSERT_EQ(scnNodeFree(&node, nullptr), 1);
    ASSERT_EQ(pelFreeObject(&c), 1);
}

TEST_F(Materials, NodeMaterialUsesAreaTextureOnlyWhenTextured) {
    BuildSpec layout = twoPartSpec();
    layout.areaCount = 2;
    layout.materials = {input(1, 1, 1, qivMatFlagIsTextured), input(1, 1, 1, 0)};
    layout.materials[0].area = 1;
    layout.materials[1].area = 1;
    PelContent* c = buildContent(layout);
    TestTexture tex = {{0.5f, 0.5f, 0.5f}, nullptr, {}};
    TexRecord* textures[2] = {nullptr, asTexture(&tex)};
    Mat4 base;
    mtxIdentity(&base);
    ScnNode* node = nullptr;
    ASSERT_EQ(scnNodeCreate(c, 0, textures, nullptr, &base, &node), 1);
    expectRgb(node->materials[0].modulation, 0.5f, 0.5f, 0.5f);
    expectRgb(node->materials[1].modulation, 1, 1, 1);

    MatInput red = input(1, 0, 0, qivMatFlagIsTextured | qivMatFlagMixTexCol);
    red.area = 1;
    ASSERT_EQ(matEvaluateNodeMaterial(node, &red, 0), 1);
    expectRgb(node->materials[0].modulation, 0.5f, 0, 0);
    ASSERT_EQ(matEvaluateNodeMaterial(node, &red, 1), 1);  // current record not textured
    expectRgb(node->materials[1].modulation, 1, 1, 1);
    EXPECT_EQ(matEvaluateNodeMaterial(node, &red, 2), 0);

    // An area index past the node's textures is not looked up.
    MatInput far = red;
    far.area = 1000;
    ASSERT_EQ(matEvaluateNodeMaterial(node, &far, 0), 1);
    expectRgb(node->materials[0].modulation, 1, 1, 1);

    ASSERT_EQ(scnNodeFree(&node, nullptr), 1);
    ASSERT_EQ(pelFreeObject(&c), 1);
}

}  // namespace
