#include "sharedlights.h"

#include <gtest/gtest.h>

#include <cmath>

#include "render/light.h"
#include "scene/engine.h"
#include "scene/vecops.h"

using namespace qivctl;

namespace {

using vec::dot;

class SharedLights : public ::testing::Test {
protected:
    void SetUp() override {
        sharedLightsReset();
        ltReset();
    }
    void TearDown() override {
        sharedLightsReset();
        ltReset();
        errReset();
    }
};

}  // namespace

TEST(CameraBasisTest, OrthonormalAndDegenerate) {
    CameraBasis b;
    ASSERT_TRUE(cameraBasis({0, -10, 0}, {0, 0, 0}, {0, 0, 1}, &b));
    EXPECT_NEAR(b.right.x, 1, 1e-6);
    EXPECT_NEAR(b.up.z, 1, 1e-6);
    EXPECT_NEAR(b.dir.y, 1, 1e-6);
    // An up vector not square to the view is straightened.
    ASSERT_TRUE(cameraBasis({3, -4, 5}, {1, 2, -1}, {0.3f, 0.2f, 1}, &b));
    for (const Vec3* v : {&b.right, &b.up, &b.dir}) EXPECT_NEAR(dot(*v, *v), 1, 1e-5);
    EXPECT_NEAR(dot(b.right, b.up), 0, 1e-5);
    EXPECT_NEAR(dot(b.right, b.dir), 0, 1e-5);
    EXPECT_NEAR(dot(b.up, b.dir), 0, 1e-5);
    EXPECT_FALSE(cameraBasis({1, 1, 1}, {1, 1, 1}, {0, 0, 1}, &b));
    EXPECT_FALSE(cameraBasis({0, 0, 5}, {0, 0, 0}, {0, 0, 1}, &b));
    EXPECT_EQ(b.dir.y, 1.0f);
}

// The lights keep their place relative to the camera wherever it looks from.
TEST(SharedLightSettings, FollowTheCamera) {
    CameraBasis front, other;
    ASSERT_TRUE(cameraBasis({0, -10, 0}, {0, 0, 0}, {0, 0, 1}, &front));
    float pos[3], colour[3];
    int32_t kind;
    sharedLightSetting(0, 0x1F, front, pos, colour, &kind);
    EXPECT_NEAR(pos[0], 1.3322f, 1e-5);
    EXPECT_NEAR(pos[1], -1.7990f, 1e-5);
    EXPECT_NEAR(pos[2], -1.4963f, 1e-5);
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(colour[0], 1.0f);

    ASSERT_TRUE(cameraBasis({7, 2, -3}, {1, 1, 1}, {0, 0, 1}, &other));
    for (int i = 0; i < 4; ++i) {
        sharedLightSetting(i, 0xF, other, pos, colour, &kind);
        Vec3 w{pos[0], pos[1], pos[2]};
        const Vec3& d = kSharedLightTable[i].direction;
        EXPECT_NEAR(dot(w, other.right), d.x, 1e-4) << i;
        EXPECT_NEAR(dot(w, other.up), d.y, 1e-4) << i;
        EXPECT_NEAR(dot(w, other.dir), d.z, 1e-4) << i;
        EXPECT_EQ(kind, kSharedLightTable[i].kind);
    }
    sharedLightSetting(2, 0x1B, other, pos, colour, &kind);  // bit 2 clear: off
    EXPECT_EQ(pos[0], 0.0f);
    EXPECT_EQ(colour[1], 0.0f);
    EXPECT_EQ(kind, 0);
}

// Every control counts once; one that lets go twice does not take the lights from the others.
TEST_F(SharedLights, CountedPerControl) {
    bool a = false, b = false;
    ASSERT_TRUE(acquireSharedLights(&a));
    ASSERT_TRUE(acquireSharedLights(&a));
    ASSERT_TRUE(acquireSharedLights(&b));
    EXPECT_EQ(sharedLightUsers(), 2u);
    LightRecord* first = sharedLight(0);
    ASSERT_NE(first, nullptr);
    releaseSharedLights(&a);
    releaseSharedLights(&a);
    EXPECT_EQ(sharedLight(0), first);
    EXPECT_EQ(sharedLightUsers(), 1u);
    CameraBasis basis;
    EXPECT_TRUE(applySharedLights(0x1, basis));
    releaseSharedLights(&b);
    EXPECT_EQ(sharedLight(0), nullptr);
    EXPECT_FALSE(applySharedLights(0x1, basis));
    EXPECT_FALSE(b);
}

TEST_F(SharedLights, ApplySetsEachLight) {
    bool held = false;
    ASSERT_TRUE(acquireSharedLights(&held));
    CameraBasis basis;
    ASSERT_TRUE(cameraBasis({0, -10, 0}, {0, 0, 0}, {0, 0, 1}, &basis));
    ASSERT_TRUE(applySharedLights(0x5, basis));
    for (int i = 0; i < 4; ++i) {
        float pos[3], colour[3];
        int32_t kind;
        uint32_t param;
        ASSERT_TRUE(ltGet(sharedLight(i), &kind, pos, colour, &param));
        bool on = (0x5 >> i) & 1;
        EXPECT_EQ(colour[0] > 0, on) << i;
        if (on) {
            EXPECT_EQ(kind, kSharedLightTable[i].kind) << i;
        }
    }
    releaseSharedLights(&held);
}
