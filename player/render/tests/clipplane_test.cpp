#include "render/clipplane.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "scene/engine.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

class ClipPlanes : public ::testing::Test {
protected:
    void SetUp() override {
        clpReset();
        errReset();
        mtxIdentity(&identity);
    }
    void TearDown() override { clpReset(); }

    ClipPlane* add(Vec3 n, float d) {
        ClipPlane* h = nullptr;
        EXPECT_TRUE(clpAddPlane(&n, d, &h));
        return h;
    }
    void codes(const Box3& box, uint32_t* status, uint32_t* code) { clpBoxCodes(&box, status, code, &identity); }

    Mat4 identity;
};

// Clip space is object space under the identity (w = 1): the view volume is the unit cube.
TEST_F(ClipPlanes, ViewVolumeCodes) {
    struct Case {
        const char* what;
        Box3 box;
        uint32_t status, code;
    };
    const Case cases[] = {
        {"inside", {{0.1f, 0.1f, 0.1f}, {0.9f, 0.9f, 0.9f}}, CLP_INSIDE, 0},
        {"left of x = 0", {{-2, 0.1f, 0.1f}, {-1, 0.9f, 0.9f}}, CLP_OUTSIDE, CLP_X_LOW},
        {"across x = 0", {{-0.5f, 0.1f, 0.1f}, {0.5f, 0.9f, 0.9f}}, CLP_STRADDLES, CLP_X_LOW},
        {"beyond x = w and y = w", {{1.5f, 1.5f, 0.1f}, {2, 2, 0.9f}}, CLP_OUTSIDE, CLP_X_HIGH | CLP_Y_HIGH},
        {"across x = w and y = w", {{0.5f, 0.5f, 0.1f}, {1.5f, 1.5f, 0.9f}}, CLP_STRADDLES, CLP_X_HIGH | CLP_Y_HIGH},
        {"wider than the volume", {{-1, -1, -1}, {2, 2, 2}}, CLP_STRADDLES, CLP_VIEW_VOLUME},
        {"behind z = 0", {{0.1f, 0.1f, -3}, {0.9f, 0.9f, -2}}, CLP_OUTSIDE, CLP_Z_LOW},
        {"NaN counts as inside", {{kNaN, 0.1f, 0.1f}, {0.9f, 0.9f, 0.9f}}, CLP_INSIDE, 0},
    };
    for (const Case& k : cases) {
        uint32_t status = 99, code = 99;
        codes(k.box, &status, &code);
        EXPECT_EQ(status, k.status) << k.what;
        EXPECT_EQ(code, k.code) << k.what;
    }
}

TEST_F(ClipPlanes, UserPlaneCodes) {
    add({2, 0, 0}, 0.5f);  // keeps x >= 0.5
    clpTransformPlanes(&identity);
    const ClipPlane* p = clpFirstPlane();
    ASSERT_NE(p, nullptr);
    EXPECT_FLOAT_EQ(p->normal.x, 1);
    EXPECT_FLOAT_EQ(p->a, 1);
    EXPECT_FLOAT_EQ(p->d, -0.5f);

    struct Case {
        Box3 box;
        uint32_t status, code;
    };
    const Case cases[] = {
        {{{0.6f, 0.1f, 0.1f}, {0.9f, 0.9f, 0.9f}}, CLP_INSIDE, 0},
        {{{0.1f, 0.1f, 0.1f}, {0.4f, 0.9f, 0.9f}}, CLP_OUTSIDE, CLP_USER_FIRST},
        {{{0.1f, 0.1f, 0.1f}, {0.9f, 0.9f, 0.9f}}, CLP_STRADDLES, CLP_USER_FIRST},
        {{{-0.5f, 0.1f, 0.1f}, {0.9f, 0.9f, 0.9f}}, CLP_STRADDLES, CLP_USER_FIRST | CLP_X_LOW},
    };
    for (const Case& k : cases) {
        uint32_t status, code;
        codes(k.box, &status, &code);
        EXPECT_EQ(status, k.status) << k.box.min.x << ".." << k.box.max.x;
        EXPECT_EQ(code, k.code) << k.box.min.x << ".." << k.box.max.x;
        EXPECT_EQ(clpBoxStraddlesPlane(&k.box, &identity, p->a, p->b, p->c, p->d), k.status == CLP_STRADDLES);
    }
}

TEST_F(ClipPlanes, SeventeenthPlaneAndBadNormalRefused) {
    for (uint32_t k = 0; k < CLP_MAX_PLANES; ++k) add({0, 0, 1}, float(k));
    ClipPlane* h = reinterpret_cast<ClipPlane*>(1);
    Vec3 n = {0, 1, 0};
    EXPECT_EQ(clpAddPlane(&n, 0, &h), 0);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(clpPlaneCount(), CLP_MAX_PLANES);

    clpReset();
    for (Vec3 bad : {Vec3{0, 0, 0}, Vec3{kNaN, 0, 1}}) {
        h = reinterpret_cast<ClipPlane*>(1);
        EXPECT_EQ(clpAddPlane(&bad, 0, &h), 0);
        EXPECT_EQ(h, nullptr);
    }
    EXPECT_EQ(clpPlaneCount(), 0u);
    EXPECT_EQ(clpFirstPlane(), nullptr);
}

TEST_F(ClipPlanes, DeleteRenumbersAndRefusesStaleHandles) {
    ClipPlane* first = add({1, 0, 0}, 0.5f);  // keeps x >= 0.5
    add({0, 1, 0}, 0.5f);                     // keeps y >= 0.5
    add({0, 0, 1}, 0.5f);                     // keeps z >= 0.5
    const Box3 lowY = {{0.6f, 0.1f, 0.6f}, {0.9f, 0.4f, 0.9f}};
    uint32_t status, code;
    clpTransformPlanes(&identity);
    codes(lowY, &status, &code);
    EXPECT_EQ(code, CLP_USER_FIRST << 1);

    ClipPlane* stale = first;
    ASSERT_TRUE(clpDeletePlane(&first));
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(clpPlaneCount(), 2u);
    codes(lowY, &status, &code);
    EXPECT_EQ(code, CLP_USER_FIRST);
    EXPECT_EQ(status, CLP_OUTSIDE);

    EXPECT_EQ(clpDeletePlane(&stale), 0);  // already freed: refused, not freed twice
    EXPECT_EQ(clpPlaneCount(), 2u);
    EXPECT_EQ(clpDeletePlane(&first), 1);  // empty holder
    clpReset();
    ClipPlane* none = stale;
    EXPECT_EQ(clpDeletePlane(&none), 0);  // no plane exists
}

TEST_F(ClipPlanes, RayFindsNearestPlaneInFront) {
    const Vec3 origin = {0, 0, 0}, dir = {0, 0, 1};
    float t = -1;
    uint32_t side = 9;
    EXPECT_EQ(clpRayPlanes(&origin, &dir, &t, &side), 0);  // no planes

    add({1, 0, 0}, 3);    // parallel to the ray
    add({0, 0, 1}, -2);   // behind the origin
    EXPECT_EQ(clpRayPlanes(&origin, &dir, &t, &side), 0);

    add({0, 0, -1}, -7);  // z = 7, ray enters its back
    add({0, 0, 1}, 5);    // z = 5, nearest
    ASSERT_TRUE(clpRayPlanes(&origin, &dir, &t, &side));
    EXPECT_FLOAT_EQ(t, 5);
    EXPECT_EQ(side, 0u);
    const Vec3 back = {0, 0, -1}, far = {0, 0, 10};
    ASSERT_TRUE(clpRayPlanes(&far, &back, &t, nullptr));
    EXPECT_FLOAT_EQ(t, 3);  // z = 7
}

TEST_F(ClipPlanes, BoxOverlap) {
    const Box3 a = {{0, 0, 0}, {1, 1, 1}};
    struct Case {
        Box3 b;
        int expected;
    };
    const Case cases[] = {
        {{{0.5f, 0.5f, 0.5f}, {2, 2, 2}}, 1},
        {{{1, 1, 1}, {2, 2, 2}}, 1},  // touching
        {{{0, 0, 1.1f}, {1, 1, 2}}, 0},
        {{{-2, 0, 0}, {-0.1f, 1, 1}}, 0},
        {{{0, 1.5f, 0}, {1, 2, 1}}, 0},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(clpBoxOverlap(&a, &k.b), k.expected);
        EXPECT_EQ(clpBoxOverlap(&k.b, &a), k.expected);
    }
}

class BoxScreenRect : public ClipPlanes {
protected:
    void SetUp() override {
        ClipPlanes::SetUp();
        cam = {};
        cam.eye = {0, 0, 10};
        cam.up = {0, 1, 0};
        cam.viewDist = 10;
        cam.nearDist = 1;
        cam.farDist = 100;
        cam.winXMin = -1;
        cam.winXMax = 1;
        cam.winYMin = -1;
        cam.winYMax = 1;
        cam.pixW = 100;
        cam.pixH = 80;
        cam.rowsUp = 1;
        ASSERT_TRUE(camUpdate(&cam));
    }
    // Normalised screen x of pixel x.
    float nx(float px) const { return (px - cam.viewport.m[12]) / cam.viewport.m[0]; }
    float ny(float py) const { return (py - cam.viewport.m[13]) / cam.viewport.m[5]; }
    IRect rect(const Box3& box, const Mat4& m) const {
        IRect r{-1, -1, -1, -1};
        clpBoxScreenRect(&box, &m, &cam, &r);
        return r;
    }
    CamRecord cam;
};

TEST_F(BoxScreenRect, RoundsOutwardAndClips) {
    IRect r = rect({{nx(10.2f), ny(30), 0.2f}, {nx(20.7f), ny(40), 0.4f}}, identity);
    EXPECT_EQ(r.x, 9);
    EXPECT_EQ(r.w, 13);
    EXPECT_EQ(r.y, 29);
    EXPECT_EQ(r.h, 12);

    // Beyond the left edge and past the top: clipped to the pixel rectangle.
    r = rect({{-0.5f, ny(30), 0.2f}, {nx(20.7f), 3, 0.4f}}, identity);
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.w, 22);
    EXPECT_EQ(r.y, 29);
    EXPECT_EQ(r.h, 80 - 29);

    // Wholly behind z = 0: nothing.
    r = rect({{0.2f, 0.2f, -2}, {0.4f, 0.4f, -1}}, identity);
    EXPECT_EQ(r.w, 0);
    EXPECT_EQ(r.h, 0);
    EXPECT_EQ(r.x, 0);
}

// A box across z = 0 covers only the part in front: its corners behind are
// replaced by the edge crossings.
TEST_F(BoxScreenRect, StraddlingNearPlaneUsesVisiblePart) {
    Mat4 shear = identity;
    shear.m[8] = 1;  // clip x = x + z
    const Box3 box = {{0.2f, 0.2f, -1}, {0.3f, 0.4f, 0.5f}};
    IRect r = rect(box, shear);
    // Visible x runs from 0.2 (crossing at z = 0) to 0.8 (at z = 0.5).
    const float* v = cam.viewport.m;
    EXPECT_EQ(r.x, int(0.2f * v[0] + v[12] - 0.5f));
    EXPECT_EQ(r.x + r.w, int(0.8f * v[0] + v[12] + 1.5f));

    // Pixel rows downward mirror y.
    cam.rowsUp = 0;
    ASSERT_TRUE(camUpdate(&cam));
    r = rect({{0.2f, 0.1f, 0.2f}, {0.3f, 0.3f, 0.4f}}, identity);
    EXPECT_GT(r.y, 40);
    EXPECT_GT(r.h, 0);
}

}  // namespace
