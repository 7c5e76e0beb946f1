#include "scene/light.h"

#include <gtest/gtest.h>

#include <vector>

#include "scene/engine.h"
#include "scene/material.h"
#include "scene/scene.h"
#include "scene/tests/lightlist_helpers.h"

namespace {

class LightList : public ::testing::Test, protected lighttest::LightListHelpers {
  protected:
    void SetUp() override {
        ltReset();
        errReset();
    }
    void TearDown() override {
        ltReset();
    }
};

TEST_F(LightList, DirectionsAreStoredTowardsTheLight) {
    struct Case {
        int32_t kind;
        float given[3], stored[3], reported[3];
    } cases[] = {
        {0, {0, 0, -1}, {0, 0, 1}, {0, 0, -1}},
        {0, {3, 0, 4}, {-0.6f, 0, -0.8f}, {0.6f, 0, 0.8f}},
        {1, {1, 2, 3}, {1, 2, 3}, {1, 2, 3}},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.given[0]);
        LightRecord* l = add(tc.kind, tc.given[0], tc.given[1], tc.given[2], 0.5f, 0.25f, 1.0f, 3);
        EXPECT_NEAR(l->pos.x, tc.stored[0], 1e-6);
        EXPECT_NEAR(l->pos.y, tc.stored[1], 1e-6);
        EXPECT_NEAR(l->pos.z, tc.stored[2], 1e-6);
        int32_t kind = -1;
        float pos[3], col[3];
        uint32_t param = 0;
        ASSERT_EQ(ltGet(l, &kind, pos, col, &param), 1);
        EXPECT_EQ(kind, tc.kind);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(pos[i], tc.reported[i], 1e-6);
        EXPECT_EQ(col[1], 0.25f);
        EXPECT_EQ(param, 3u);
        EXPECT_EQ(l->on, 1);
        EXPECT_EQ(l->user, 0u);
    }
    LightRecord stranger{};
    EXPECT_EQ(ltGet(&stranger, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(ltGet(nullptr, nullptr, nullptr, nullptr, nullptr), 0);

    LightRecord* l = ltFirst();
    const float dir[3] = {0, -2, 0}, col[3] = {1, 1, 1};
    ASSERT_EQ(ltSet(l, dir, col, 0), 1);
    EXPECT_NEAR(l->pos.y, 1.0f, 1e-6);
    EXPECT_EQ(ltSet(nullptr, dir, col, 0), 0);
}

TEST_F(LightList, FalloffAndSpecularCoefficients) {
    LightRecord* l = add(1, 0, 0, 0, 1, 1, 1);
    EXPECT_FLOAT_EQ(l->falloff, 0.5f);
    EXPECT_FLOAT_EQ(l->fa, -0.5f / 99.0f);
    EXPECT_FLOAT_EQ(l->fb, 1.0f + 0.5f / 99.0f);
    EXPECT_NEAR(l->fa * 1.0f + l->fb, 1.0f, 1e-6);
    EXPECT_NEAR(l->fa * 199.0f + l->fb, 0.0f, 1e-5);
    EXPECT_LT(l->fa * 200.0f + l->fb, 0.0f);
    ASSERT_EQ(ltSetFalloff(l, 0.0f), 1);
    EXPECT_FLOAT_EQ(l->fa, -1.25f);
    EXPECT_FLOAT_EQ(l->fb, 1.125f);
    EXPECT_EQ(ltSetFalloff(nullptr, 0.5f), 0);

    struct Case {
        float e, a, b, c;
    } cases[] = {{4.0f, -0.125f, 8.0f - 1.0f / 1.125f, 8.0f}, {0.1f, 0.0f, 11.0f, 22.0f}, {0.0f, 0.0f, 11.0f, 22.0f}};
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.e);
        float a = 5, b = 11, c = 22;
        ltSpecularCoeffs(tc.e, &a, &b, &c);
        EXPECT_NEAR(a, tc.a, 1e-6);
        EXPECT_NEAR(b, tc.b, 1e-5);
        EXPECT_NEAR(c, tc.c, 1e-5);
    }
    // f(-1) = 1 and f(0) = 0.
    float a, b, c;
    ltSpecularCoeffs(9.0f, &a, &b, &c);
    EXPECT_NEAR(a + 1.0f / (-b + c), 1.0f, 1e-5);
    EXPECT_NEAR(a + 1.0f / c, 0.0f, 1e-6);
}

int gEnableAnswer = 0;
int enableHook(LightRecord*) { return gEnableAnswer; }
int gDestroyed = 0;
int destroyHook(LightRecord*) { return ++gDestroyed; }

TEST_F(LightList, ActiveChain) {
    LightRecord* a = add(0, 0, 0, -1, 1, 1, 1);
    LightRecord* off = add(0, 0, 0, -1, 1, 1, 1);
    off->on = 0;
    LightRecord* no = add(0, 0, 0, -1, 1, 1, 1);
    no->enable = enableHook;
    LightRecord* yes = add(1, 0, 0, 5, 1, 1, 1);
    yes->enable = [](LightRecord*) { return 1; };
    gEnableAnswer = 0;
    EXPECT_EQ(ltChanged(), 1);

    ltUpdateActive(0, 0);
    EXPECT_EQ(active(), (std::vector<LightRecord*>{a, yes}));
    EXPECT_EQ(ltChanged(), 0);
    gEnableAnswer = 1;
    ltUpdateActive(0, 0);  // nothing changed: chain stays
    EXPECT_EQ(active(), (std::vector<LightRecord*>{a, yes}));
    ltUpdateActive(1, 0);
    EXPECT_EQ(active(), (std::vector<LightRecord*>{a, no, yes}));
    ltUpdateActive(1, 1);  // lights with a callback stay out
    EXPECT_EQ(active(), (std::vector<LightRecord*>{a}));

    gEnableAnswer = 0;
    uint32_t count = 0;
    ltActivateAll(&count);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(active(), (std::vector<LightRecord*>{a, no, yes}));
    EXPECT_EQ(ltChanged(), 1);
    ltUpdateActive(0, 0);
    EXPECT_EQ(active(), (std::vector<LightRecord*>{a, yes}));
}

TEST_F(LightList, DeleteUnlinksFromListAndActiveChain) {
    LightRecord* a = add(0, 0, 0, -1, 1, 1, 1);
    LightRecord* b = add(0, 0, 0, -1, 1, 1, 1);
    LightRecord* c = add(0, 0, 0, -1, 1, 1, 1);
    b->destroy = destroyHook;
    ltUpdateActive(1, 0);
    gDestroyed = 0;
    LightRecord* hb = b;
    ASSERT_EQ(ltDelete(&hb), 1);
    EXPECT_EQ(hb, nullptr);
    EXPECT_EQ(gDestroyed, 1);
    EXPECT_EQ(all(), (std::vector<LightRecord*>{a, c}));
    EXPECT_EQ(active(), (std::vector<LightRecord*>{a, c}));  // without a rebuild
    EXPECT_EQ(ltChanged(), 1);

    LightRecord* hc = c;  // tail, then a new light must follow a
    ASSERT_EQ(ltDelete(&hc), 1);
    EXPECT_EQ(active(), (std::vector<LightRecord*>{a}));
    LightRecord* d = add(0, 0, 0, -1, 1, 1, 1);
    EXPECT_EQ(all(), (std::vector<LightRecord*>{a, d}));

    LightRecord* ha = a;  // head
    ASSERT_EQ(ltDelete(&ha), 1);
    EXPECT_EQ(active(), (std::vector<LightRecord*>{}));
    EXPECT_EQ(all(), (std::vector<LightRecord*>{d}));

    LightRecord stranger{};
    LightRecord* hs = &stranger;
    EXPECT_EQ(ltDelete(&hs), 0);
    EXPECT_EQ(hs, &stranger);
    EXPECT_EQ(ltDelete(&hb), 0);  // empty handle
    EXPECT_EQ(ltDelete(nullptr), 0);
    LightRecord* hd = d;
    ASSERT_EQ(ltDelete(&hd), 1);
    hs = &stranger;
    EXPECT_EQ(ltDelete(&hs), 0);  // empty list
}

TEST_F(LightList, ByUser) {
    const float pos[3] = {0, 0, 1}, col[3] = {1, 1, 1};
    LightRecord *a = nullptr, *b = nullptr, *other = nullptr;
    ASSERT_EQ(ltCreate(1, 1, pos, col, 0, &a, 7), 1);
    ASSERT_EQ(ltCreate(0, 1, pos, col, 0, &other, 8), 1);
    ASSERT_EQ(ltCreate(1, 1, pos, col, 0, &b, 7), 1);
    EXPECT_EQ(other->on, 0);
    struct Case {
        float given, stored;
    } cases[] = {{2.0f, 1.0f}, {-1.0f, 0.0f}, {0.25f, 0.25f}};
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.given);
        const float colour[3] = {0.5f, 0.25f, 0.125f};
        ASSERT_EQ(ltSetByUser(colour, 7, tc.given, 1), 1);
        for (LightRecord* l : {a, b}) {
            EXPECT_EQ(l->g, 0.25f);
            EXPECT_EQ(l->param, 1u);
            EXPECT_EQ(l->falloff, tc.stored);
        }
        EXPECT_EQ(other->g, 1.0f);
        float got[3], p = -5;
        uint32_t param = 9;
        ASSERT_EQ(ltGetByUser(got, 7, &p, &param), 1);
        EXPECT_EQ(got[2], 0.125f);
        EXPECT_EQ(p, tc.stored);
        EXPECT_EQ(param, 1u);
    }
    float got[3];
    EXPECT_EQ(ltGetByUser(got, 9, nullptr, nullptr), 0);
}

TEST_F(LightList, CastsShadowFlag) {
    ScnNode node{};
    uint32_t on = 9;
    ASSERT_EQ(ltSetCastsShadow(&node, 0), 1);
    EXPECT_EQ(node.flags, uint32_t(NODE_NO_SHADOW));
    ASSERT_EQ(ltGetCastsShadow(&node, &on), 1);
    EXPECT_EQ(on, 0u);
    ASSERT_EQ(ltSetCastsShadow(&node, 1), 1);
    EXPECT_EQ(node.flags, 0u);
    ASSERT_EQ(ltGetCastsShadow(&node, &on), 1);
    EXPECT_EQ(on, 1u);
    EXPECT_EQ(ltSetCastsShadow(nullptr, 1), 0);
    EXPECT_EQ(ltGetCastsShadow(nullptr, &on), 0);
}

}  // namespace
