#include "scene/camera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "scene/engine.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// A perspective camera 10 units in front of the origin, looking down -z.
CamRecord baseCamera() {
    CamRecord c{};
    c.eye = {0, 0, 10};
    c.vrp = {0, 0, 0};
    c.up = {0, 1, 0};
    c.viewDist = 10;
    c.nearDist = 1;
    c.farDist = 100;
    c.winXMin = -4;
    c.winXMax = 4;
    c.winYMin = -3;
    c.winYMax = 3;
    c.pixX = 0;
    c.pixY = 0;
    c.pixW = 640;
    c.pixH = 480;
    return c;
}

Vec3 project(const Vec3& p, const Mat4& m) {
    Vec3 out{};
    EXPECT_TRUE(mtxProjectPoint(&p, &out, &m));
    return out;
}

TEST(Camera, UpdateAcceptsOrRefuses) {
    struct Case {
        const char* what;
        std::function<void(CamRecord&)> change;
        int expected;
    };
    const Case cases[] = {
        {"valid perspective", [](CamRecord&) {}, 1},
        {"eye at the reference point", [](CamRecord& c) { c.vrp = c.eye; }, 0},
        {"up along the view axis", [](CamRecord& c) { c.up = {0, 0, 3}; }, 0},
        {"up along an oblique view axis",
         [](CamRecord& c) {
             c.eye = {3, 7, 5};
             c.up = {3, 7, 5};
         },
         0},
        {"zero up", [](CamRecord& c) { c.up = {0, 0, 0}; }, 0},
        {"zero view distance", [](CamRecord& c) { c.viewDist = 0; }, 0},
        {"near 0", [](CamRecord& c) { c.nearDist = 0; }, 0},
        {"near NaN", [](CamRecord& c) { c.nearDist = kNaN; }, 0},
        {"near equal to far, perspective", [](CamRecord& c) { c.farDist = c.nearDist; }, 0},
        {"near equal to far, parallel",
         [](CamRecord& c) {
             c.projKind = 1;
             c.farDist = c.nearDist;
         },
         1},
        {"eye NaN", [](CamRecord& c) { c.eye.x = kNaN; }, 0},
    };
    for (const Case& k : cases) {
        CamRecord c = baseCamera();
        k.change(c);
        EXPECT_EQ(camUpdate(&c), k.expected) << k.what;
    }
}

TEST(Camera, ReferencePointMovesToViewDistance) {
    CamRecord c = baseCamera();
    c.eye = {1, 2, 3};
    c.vrp = {1 + 6, 2 + 8, 3};  // 10 units away
    c.viewDist = 5;
    ASSERT_TRUE(camUpdate(&c));
    EXPECT_NEAR(c.vrp.x, 1 + 3, 1e-5);
    EXPECT_NEAR(c.vrp.y, 2 + 4, 1e-5);
    EXPECT_NEAR(c.vrp.z, 3, 1e-5);
}

// Pixel to world undoes world to pixel, and the axis through the view maps to
// the pixel centre with the near and far planes at the ends of the depth range.
TEST(Camera, PixelToWorldUndoesWorldToPixel) {
    struct Case {
        const char* what;
        std::function<void(CamRecord&)> change;
    };
    const Case cases[] = {
        {"perspective, rows downward", [](CamRecord&) {}},
        {"perspective, rows upward", [](CamRecord& c) { c.rowsUp = 1; }},
        {"parallel", [](CamRecord& c) { c.projKind = 1; }},
        {"eye at the world origin",
         [](CamRecord& c) {
             c.eye = {0, 0, 0};
             c.vrp = {0, 0, -10};
         }},
        {"oblique eye, offset pixel rectangle",
         [](CamRecord& c) {
             c.eye = {-20, 15, 30};
             c.vrp = {1, 2, 3};
             c.up = {0.2f, 0.1f, 1};
             c.pixX = 100;
             c.pixY = 50;
             c.pixW = 321;
             c.pixH = 123;
             c.winYMin = -1.2f;
             c.winYMax = 1.2f;
         }},
        {"explicit oblique direction",
         [](CamRecord& c) {
             c.projKind = CAM_KIND_MARK | 1;
             c.dirOn = 1;
             c.dir = {0.3f, 0, 2};
         }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        CamRecord c = baseCamera();
        k.change(c);
        ASSERT_TRUE(camUpdate(&c));
        Vec3 n = {c.eye.x - c.vrp.x, c.eye.y - c.vrp.y, c.eye.z - c.vrp.z};
        vecNormalize(&n);
        const Vec3 points[] = {c.vrp, {c.vrp.x + 1, c.vrp.y - 2, c.vrp.z + 0.5f},
                               {c.eye.x - n.x * 30 + 3, c.eye.y - n.y * 30, c.eye.z - n.z * 30 - 4}};
        for (const Vec3& p : points) {
            Vec3 back = project(project(p, c.worldToPixel), c.pixelToWorld);
            EXPECT_NEAR(back.x, p.x, 2e-3);
            EXPECT_NEAR(back.y, p.y, 2e-3);
            EXPECT_NEAR(back.z, p.z, 2e-3);
        }
        if (c.projKind & CAM_KIND_MARK_MASK) continue;  // the axis is oblique there
        const float cx = c.pixX + (c.pixW - 1 + 0.7f) * 0.5f - 0.35f;
        const float cy = c.rowsUp ? c.pixY + (c.pixH - 1 + 0.7f) * 0.5f - 0.35f
                                  : c.pixY + c.pixH - 1 + 0.35f - (c.pixH - 1 + 0.7f) * 0.5f;
        for (float d : {c.nearDist, c.farDist}) {
            Vec3 axis = {c.eye.x - n.x * d, c.eye.y - n.y * d, c.eye.z - n.z * d};
            Vec3 px = project(axis, c.worldToPixel);
            EXPECT_NEAR(px.x, cx, 1e-2);
            EXPECT_NEAR(px.y, cy, 1e-2);
            EXPECT_NEAR(px.z, d == c.nearDist ? -32769.65f : 32767.35f, 0.5f);
        }
    }
}

// The near plane lies below the 16-bit range: stored depths saturate there
// instead of wrapping round to the far value.
TEST(Camera, DepthSaturatesToSixteenBits) {
    struct Case {
        float z;
        int16_t expected;
    };
    const Case cases[] = {
        {-32769.65f, -32767}, {-40000.0f, -32767}, {-1e30f, -32767}, {-INFINITY, -32767},
        {-32766.9f, -32766},  {-1.7f, -1},         {0.9f, 0},        {32767.35f, 32767},
        {40000.0f, 32767},    {INFINITY, 32767},   {kNaN, 32767},
    };
    for (const Case& k : cases) EXPECT_EQ(camDepthToI16(k.z), k.expected) << k.z;

    CamRecord c = baseCamera();
    ASSERT_TRUE(camUpdate(&c));
    Vec3 nearPoint = {0, 0, 10 - c.nearDist};
    EXPECT_EQ(camDepthToI16(project(nearPoint, c.worldToPixel).z), -32767);
}

TEST(Camera, ScreenBoxClip) {
    CamRecord c = baseCamera();
    ASSERT_TRUE(camUpdate(&c));
    struct Case {
        const char* what;
        ScreenBox box;
        IRect expected;
    };
    const Case cases[] = {
        {"nothing projected", {10000, 10000, -10000, -10000}, {0, 0, 0, 0}},
        {"one point", {10.2f, 20.7f, 10.2f, 20.7f}, {9, 20, 2, 2}},
        {"huge values", {-1e30f, -1e30f, 1e30f, 1e30f}, {0, 0, 640, 480}},
        {"infinities", {-INFINITY, -INFINITY, INFINITY, INFINITY}, {0, 0, 640, 480}},
        {"NaN", {kNaN, 0, kNaN, 10}, {0, 0, 0, 0}},
        {"beyond the right edge", {1e30f, 10, 2e30f, 20}, {0, 0, 0, 0}},
        {"left of the view", {-30, 10, -5, 20}, {0, 0, 0, 0}},
        {"below the view", {10, 900, 20, 950}, {0, 0, 0, 0}},
        {"touching the left edge", {-30, 10, -1.5f, 20}, {0, 9, 0, 12}},
        {"one pixel inside the right edge", {639.2f, 10, 639.2f, 20}, {638, 9, 2, 12}},
    };
    for (const Case& k : cases) {
        mtxScreenBox = k.box;
        IRect r{-1, -1, -1, -1};
        camScreenBoxClip(&c, &r);
        EXPECT_EQ(r.x, k.expected.x) << k.what;
        EXPECT_EQ(r.y, k.expected.y) << k.what;
        EXPECT_EQ(r.w, k.expected.w) << k.what;
        EXPECT_EQ(r.h, k.expected.h) << k.what;
    }
    camScreenBoxReset();
    IRect r{1, 1, 1, 1};
    camScreenBoxClip(&c, &r);
    EXPECT_EQ(r.w, 0);
    EXPECT_EQ(r.h, 0);
}

// A sub-view shows the same world at the same scale: every point lands on the
// same pixel, shifted by the rectangle's corner.
TEST(Camera, SubViewKeepsScale) {
    for (int rowsUp : {0, 1}) {
        SCOPED_TRACE(rowsUp);
        CamRecord c = baseCamera();
        c.rowsUp = rowsUp;
        c.pixX = 7;
        c.pixY = 11;
        ASSERT_TRUE(camUpdate(&c));

        CamRecord full{};
        const IRect all = {c.pixX, c.pixY, c.pixW, c.pixH};
        ASSERT_TRUE(camSubView(&c, &all, &full));
        EXPECT_FLOAT_EQ(full.winXMin, c.winXMin);
        EXPECT_FLOAT_EQ(full.winXMax, c.winXMax);
        EXPECT_FLOAT_EQ(full.winYMin, c.winYMin);
        EXPECT_FLOAT_EQ(full.winYMax, c.winYMax);

        const IRect part = {107, 61, 200, 100};
        CamRecord sub{};
        ASSERT_TRUE(camSubView(&c, &part, &sub));
        EXPECT_EQ(sub.pixX, 107);
        EXPECT_EQ(sub.pixH, 100);
        // The viewport spans (pixels - 0.3) per window, so the pixels agree within one.
        for (Vec3 p : {Vec3{0.5f, 0.25f, 0}, Vec3{-1, 1, 2}, Vec3{2, -1.5f, -3}}) {
            Vec3 a = project(p, c.worldToPixel), b = project(p, sub.worldToPixel);
            EXPECT_NEAR(a.x, b.x, 1.0);
            EXPECT_NEAR(a.y, b.y, 1.0);
        }
    }
    CamRecord c = baseCamera();
    c.pixW = 0;
    CamRecord out{};
    const IRect r = {0, 0, 10, 10};
    EXPECT_EQ(camSubView(&c, &r, &out), 0);
}

TEST(Camera, SetWindowFollowsPixelAspect) {
    CamRecord c = baseCamera();
    ASSERT_TRUE(camSetWindow(&c, 1, 2, 8));
    EXPECT_FLOAT_EQ(c.winXMin, -3);
    EXPECT_FLOAT_EQ(c.winXMax, 5);
    EXPECT_FLOAT_EQ(c.winYMin, 2 - 3);
    EXPECT_FLOAT_EQ(c.winYMax, 2 + 3);
    c.pixH = 0;
    EXPECT_EQ(camSetWindow(&c, 0, 0, 8), 0);
}

TEST(Camera, CopyAndFree) {
    CamRecord c = baseCamera();
    EXPECT_EQ(camCopy(&c, nullptr), 0);
    CamRecord* copy = nullptr;
    ASSERT_TRUE(camCopy(&c, &copy));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::memcmp(copy, &c, sizeof c), 0);
    EXPECT_TRUE(camFree(&copy));
    EXPECT_EQ(copy, nullptr);
    EXPECT_TRUE(camFree(&copy));

    CamRecord bad = baseCamera();
    bad.vrp = bad.eye;
    EXPECT_EQ(camCopy(&bad, &copy), 0);
    EXPECT_EQ(copy, nullptr);
    CamRecord out{};
    EXPECT_EQ(camUpdateCopy(&bad, &out), 0);
    ASSERT_TRUE(camUpdateCopy(&c, &out));
    EXPECT_EQ(std::memcmp(&out, &c, sizeof c), 0);
}

}  // namespace
