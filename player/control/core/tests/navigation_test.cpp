#include "navigation.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

float dist(const Vec3& a, const Vec3& b) {
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

NavView standing() {
    NavView v;
    v.eye = {0, 0, 1};
    v.vrp = {0, 10, 1};
    return v;
}

}  // namespace

TEST(Navigation, FullWidthDragIsOneTurn) {
    const NavRotation r = navRotateDrag(1.0f, 0.5f, 10, 20, 10 + 640, 20 + 480, 640, 480);
    EXPECT_FLOAT_EQ(r.deltaH, NAV_TWO_PI);
    EXPECT_FLOAT_EQ(r.deltaV, NAV_TWO_PI);
    EXPECT_FLOAT_EQ(r.phi, 1.0f + NAV_TWO_PI);
    EXPECT_FLOAT_EQ(r.psi, 0.5f + NAV_TWO_PI);
    for (int extent : {0, -5}) {  // tiny or collapsed windows: no turn, no division
        const NavRotation z = navRotateDrag(1.0f, 0.5f, 0, 0, 30, 30, extent, extent);
        EXPECT_EQ(z.phi, 1.0f);
        EXPECT_EQ(z.psi, 0.5f);
    }
    EXPECT_FLOAT_EQ(navZoomDragFactor(100, 99), 1.07f);
    EXPECT_FLOAT_EQ(navZoomDragFactor(100, 100), 1.07f);
    EXPECT_FLOAT_EQ(navZoomDragFactor(100, 101), 0.93f);
}

TEST(Navigation, ZoomWindowWithinTheZoomLimits) {
    struct Case {
        float zoom, factor;
        bool done;
        float half;  // new half width of a window -2..2 (centre 1)
    } cases[] = {
        {1, 1.07f, true, 2 * 1.07f}, {1, 0.93f, true, 2 * 0.93f}, {0.005f, 1.07f, false, 2},
        {0.005f, 0.93f, true, 2 * 0.93f}, {300, 0.93f, false, 2}, {300, 1.07f, true, 2 * 1.07f},
        {1, 50, true, 20}, {1, 0.01f, true, 0.2f}, {1, 0, false, 2}, {1, -1, false, 2}, {1, NAN, false, 2},
    };
    for (const Case& c : cases) {
        float x0 = -1, x1 = 3, y0 = -2, y1 = 2;
        EXPECT_EQ(navZoomWindow(c.zoom, c.factor, &x0, &x1, &y0, &y1), c.done) << c.zoom << " " << c.factor;
        EXPECT_FLOAT_EQ((x1 - x0) * 0.5f, c.half) << c.zoom << " " << c.factor;
        EXPECT_FLOAT_EQ((x0 + x1) * 0.5f, 1.0f) << "the pan stays";
        EXPECT_FLOAT_EQ(y1 - y0, x1 - x0);
    }
}

TEST(Navigation, SpinStartsOnlyFromAQuickFlick) {
    struct Case {
        float dh, dv;
        uint32_t age;
        bool keep;
        float phi, psi;
    } cases[] = {
        {0.2f, -0.3f, 10, true, 0.2f, -0.3f},
        {0.2f, 0.01f, 74, true, 0.2f, 0.0f},   // at most a degree: no spin on that axis
        {0.017f, 0.5f, 0, true, 0.0f, 0.5f},
        {0.2f, 0.3f, 75, true, 0.0f, 0.0f},    // 75 ms after the last move: none
        {0.2f, 0.3f, 10, false, 0.0f, 0.0f},   // KeepSpinning off
        {7.0f, 0.0f, 10, true, 7.0f - NAV_TWO_PI, 0.0f},  // wrapped into [-2 pi, 2 pi]
    };
    for (const Case& c : cases) {
        NavSpin s;
        s.keepSpinning = c.keep;
        navSpinOnRelease(&s, c.dh, c.dv, 5000, 5000 + c.age, 1.0f, 2.0f);
        EXPECT_FLOAT_EQ(s.speedPhi, c.phi) << c.dh << " " << c.age;
        EXPECT_FLOAT_EQ(s.speedPsi, c.psi) << c.dv << " " << c.age;
        if (c.keep) {
            EXPECT_EQ(s.startTime, 5000 + c.age);
            EXPECT_EQ(s.basePhi, 1.0f);
        }
    }
}

TEST(Navigation, SpinSpeedPuts) {
    NavSpin s;
    EXPECT_FLOAT_EQ(navPutSpinSpeed(&s, true, 0.00005f, 1, 2, 100), 0.00005f * NAV_DEG_TO_RAD);
    EXPECT_FALSE(s.keepSpinning) << "a tiny speed is stored but does not switch spinning on";
    EXPECT_EQ(navPutSpinSpeed(&s, true, 2000.0f, 1, 2, 100), 0.0f) << "beyond 8 pi per second";
    EXPECT_FLOAT_EQ(navPutSpinSpeed(&s, false, 90.0f, 1, 2, 100), 90.0f * NAV_DEG_TO_RAD);
    EXPECT_TRUE(s.keepSpinning);
    EXPECT_EQ(s.startTime, 100u);
    EXPECT_EQ(s.basePsi, 2.0f);
    struct Wrap {
        float in, out;
    } wraps[] = {{3.0f, 3.0f}, {-3.0f, -3.0f}, {4.0f, 4.0f - 6.2831855f}, {-4.0f, -4.0f + 6.2831855f},
                 {25.0f, 25.0f - 4 * 6.2831855f}, {-25.0f, -25.0f + 4 * 6.2831855f}, {25.2f, 0.0f},
                 {NAN, 0.0f}};
    for (const Wrap& w : wraps) EXPECT_NEAR(navWrapSpinSpeed(w.in), w.out, 1e-5) << w.in;
    navPutKeepSpinning(&s, false);
    EXPECT_EQ(s.speedPsi, 0.0f);
    EXPECT_FALSE(s.keepSpinning);
}

TEST(Navigation, SpinTicks) {
    NavSpin s;
    s.speedPhi = 1.0f;
    float phi = 0, psi = 0.3f;
    EXPECT_FALSE(navSpinTick(&s, 500, &phi, &psi)) << "no start time: it begins now";
    EXPECT_EQ(s.startTime, 500u);
    ASSERT_TRUE(navSpinTick(&s, 2500, &phi, &psi));
    EXPECT_FLOAT_EQ(phi, 2.0f);
    EXPECT_FLOAT_EQ(psi, 0.3f) << "a zero speed leaves its angle";
    ASSERT_TRUE(navSpinTick(&s, 500 + 32000, &phi, &psi));  // beyond 10 pi: taken afresh
    EXPECT_LE(std::fabs(phi), NAV_PI + 1e-4f);
    EXPECT_EQ(s.startTime, 32500u);
    EXPECT_FLOAT_EQ(s.basePhi, phi);
    navSpinStop(&s);
    EXPECT_FALSE(navSpinTick(&s, 40000, &phi, &psi));
}

// A spin over many days stays within ten half turns and keeps the angle that the exact
// rotation gives.
TEST(Navigation, LongSpinKeepsPrecision) {
    NavSpin spin;
    spin.speedPhi = 1.3f;
    spin.speedPsi = -0.07f;
    float phi = 0.25f, psi = -0.1f;
    uint32_t tick = 0xFFFF0000u;  // the tick counter wraps during the run
    EXPECT_FALSE(navSpinTick(&spin, tick, &phi, &psi));
    long double exactPhi = 0.25L, exactPsi = -0.1L;
    const uint32_t step = 997;
    for (int i = 0; i < 800000; ++i) {
        tick += step;
        ASSERT_TRUE(navSpinTick(&spin, tick, &phi, &psi));
        exactPhi += (long double)spin.speedPhi * step / 1000;
        exactPsi += (long double)spin.speedPsi * step / 1000;
        ASSERT_LE(std::fabs(phi), NAV_SPIN_REBASE);
        ASSERT_LE(std::fabs(psi), NAV_SPIN_REBASE);
    }
    auto turnDiff = [](double a, long double b) {
        long double d = std::fmod((long double)a - b, 2 * (long double)kPi);
        if (d > kPi) d -= 2 * kPi;
        if (d < -kPi) d += 2 * kPi;
        return double(std::fabs(d));
    };
    EXPECT_LT(turnDiff(phi, exactPhi), 4e-6);
    EXPECT_LT(turnDiff(psi, exactPsi), 4e-6);
}

TEST(Navigation, SpinStartsAtCurrentAnglesAndStopsWithoutSpeed) {
    NavSpin spin;
    spin.speedPhi = 0.5f;
    float phi = 1.0f, psi = 2.0f;
    EXPECT_FALSE(navSpinTick(&spin, 100, &phi, &psi));
    phi = 7.0f;  // the start took the angles of its tick
    EXPECT_TRUE(navSpinTick(&spin, 2100, &phi, &psi));
    EXPECT_FLOAT_EQ(phi, 2.0f);
    EXPECT_FLOAT_EQ(psi, 2.0f);
    spin.speedPhi = 0;
    EXPECT_FALSE(navSpinTick(&spin, 3000, &phi, &psi));
    EXPECT_FALSE(spin.started);
    EXPECT_FLOAT_EQ(phi, 2.0f);
}

TEST(Navigation, WalkZones) {
    // 400 x 300: splits 150, 250; rows below 150, below 225.
    struct Case {
        int x, y;
        bool shift;
        int zone;
    } cases[] = {{0, 0, false, 0},    {150, 149, false, 0}, {151, 0, false, 1},  {250, 0, false, 1},
                 {251, 0, false, 2},  {0, 150, false, 3},   {200, 200, false, 4}, {399, 224, false, 5},
                 {0, 225, false, 6},  {200, 299, false, 7}, {399, 299, false, 8}, {200, 98, true, 9},
                 {200, 99, true, 4},  {200, 198, true, 4},  {200, 199, true, 10}};
    for (const Case& c : cases) EXPECT_EQ(navWalkZone(c.x, c.y, 400, 300, c.shift), c.zone) << c.x << "," << c.y;
    EXPECT_EQ(navWalkZone(5, 5, 0, 0, false), 4);
    EXPECT_EQ(navWalkZone(0, 0, 1, 1, false), 0);
}

TEST(Navigation, WalkMotionsAndCtrl) {
    NavView v = standing();
    EXPECT_FALSE(navWalk(&v, 4, 200, 150, 400, 300, false, 0, 0)) << "the centre zone stands still";
    EXPECT_EQ(v.eye.y, 0.0f);

    // Forward from the top edge: full strength, step 0.5 for r = 0.
    ASSERT_TRUE(navWalk(&v, 1, 200, 0, 400, 300, false, 0, 0));
    EXPECT_FLOAT_EQ(v.eye.y, 0.5f);
    EXPECT_FLOAT_EQ(v.vrp.y, 10.5f);
    NavView c = standing();
    navWalk(&c, 1, 200, 0, 400, 300, true, 0, 0);
    EXPECT_FLOAT_EQ(c.eye.y, 1.0f) << "Ctrl doubles";

    // Turning: the left edge turns left by one degree (scaled by time when it passed).
    NavView t = standing();
    navWalk(&t, 3, 0, 150, 400, 300, false, 0, 0);
    const float angle = std::atan2(t.vrp.y - t.eye.y, t.vrp.x - t.eye.x);
    EXPECT_NEAR(angle, float(kPi / 2) - NAV_DEG_TO_RAD, 1e-5);
    NavView t2 = standing();
    navWalk(&t2, 3, 0, 150, 400, 300, true, 0, 0);
    EXPECT_NEAR(std::atan2(t2.vrp.y - t2.eye.y, t2.vrp.x - t2.eye.x), float(kPi / 2) - 2 * NAV_DEG_TO_RAD, 1e-5);

    // Sideways to the right: (dy, -dx) of the direction (0, 1) is +x.
    NavView s = standing();
    navWalk(&s, 8, 399, 299, 400, 300, false, 0, 0);
    EXPECT_GT(s.eye.x, 0.0f);
    EXPECT_EQ(s.eye.y, 0.0f);

    // Lifting is not doubled by Ctrl.
    NavView up1 = standing(), up2 = standing();
    navWalk(&up1, 9, 200, 0, 400, 300, false, 0, 0);
    navWalk(&up2, 9, 200, 0, 400, 300, true, 0, 0);
    EXPECT_FLOAT_EQ(up1.eye.z, 1.0f + 0.004f);
    EXPECT_FLOAT_EQ(up2.eye.z, up1.eye.z);
    NavView down = standing();
    navWalk(&down, 10, 200, 299, 400, 300, false, 2.0f, 200);
    EXPECT_NEAR(down.eye.z, 1.0f - (101.0f / 102.0f) * 2.0f * (200 * 0.005f) * 0.004f, 1e-6);  // 101 of 102 rows into the zone

    // Tiny windows: nothing moves, nothing becomes NaN.
    NavView tiny = standing();
    EXPECT_FALSE(navWalk(&tiny, 0, 0, 0, 0, 0, false, 0, 0));
    navWalk(&tiny, 0, 0, 0, 1, 1, false, 0, 16);
    EXPECT_TRUE(std::isfinite(tiny.eye.x) && std::isfinite(tiny.vrp.y));
    // A view straight down has no horizontal direction: no motion.
    NavView vertical{{0, 0, 5}, {0, 0, 0}};
    navMoveForward(&vertical, 1, 0, 0);
    EXPECT_EQ(vertical.eye.z, 5.0f);
    EXPECT_EQ(vertical.eye.x, 0.0f);
}

TEST(Navigation, StepRule) {
    struct Case {
        float r, step;
    } cases[] = {{-1, 0.5f}, {0, 0.5f}, {1, 0.03333f}, {1.5f, 0.5f}, {50, 0.5f}, {60, 10 * 0.03333f + 0.5f}};
    for (const Case& c : cases) EXPECT_FLOAT_EQ(navStepLength(1, c.r), c.step) << c.r;
    Box3 box{{-1, -1, -1}, {1, 1, 1}};
    EXPECT_EQ(navStepBase(box, {0, 0, 0}), 0.0f);
    EXPECT_EQ(navStepBase(box, {1, 1, 1}), 0.0f) << "on the faces counts as inside";
    EXPECT_FLOAT_EQ(navStepBase(box, {0, -5, 0}), std::sqrt(12.0f));
    NavView a = standing();
    navMoveForward(&a, 1, 0, 300);  // 300 ms: x 2
    EXPECT_FLOAT_EQ(a.eye.y, 1.0f);
    NavView b = standing();
    navMoveSideways(&b, 1, 0, 1);  // t clamped to 0.01: x 0.0001
    EXPECT_NEAR(b.eye.x, 1.0f * 0.0001f, 1e-7);
}

TEST(Navigation, WalkThroughStepByDirection) {
    auto heading = [](const NavView& v) { return std::atan2(v.vrp.y - v.eye.y, v.vrp.x - v.eye.x); };
    const float north = float(kPi / 2);
    struct Case {
        int dir;
        float dy, dz, turn;  // eye moves; heading change in degrees
    } cases[] = {
        {0, 0, 0, -2},   {1, 1, 0, -2},  {2, 1, 0, 0},  {3, 1, 0, 2},   {4, 0, 0, 2},
        {6, -1, 0, 0},   {8, 0, 2, 0},   {9, 0, -2, 0},
    };
    for (const Case& c : cases) {
        NavView v = standing();
        ASSERT_TRUE(navWalkThroughStep(&v, c.dir, 2.0f, 0, 0)) << c.dir;
        EXPECT_NEAR(v.eye.y, c.dy, 1e-5) << c.dir;  // step 0.5 x 2 for r = 0
        EXPECT_NEAR(v.eye.z, 1.0f + c.dz, 1e-6) << c.dir;
        EXPECT_NEAR(heading(v), north + c.turn * NAV_DEG_TO_RAD, 1e-5) << c.dir;
    }
    // Right-back and left-back turn first, then step back along the new heading.
    NavView rb = standing();
    navWalkThroughStep(&rb, 5, 2.0f, 0, 0);
    EXPECT_NEAR(heading(rb), north + 2 * NAV_DEG_TO_RAD, 1e-5);
    EXPECT_NEAR(rb.eye.x, -std::cos(north + 2 * NAV_DEG_TO_RAD), 1e-5);
    EXPECT_NEAR(rb.eye.y, -std::sin(north + 2 * NAV_DEG_TO_RAD), 1e-5);
    NavView lb = standing();
    navWalkThroughStep(&lb, 7, 2.0f, 0, 0);
    EXPECT_NEAR(heading(lb), north - 2 * NAV_DEG_TO_RAD, 1e-5);
    // Time scales the step; lifting is never scaled.
    NavView timed = standing();
    navWalkThroughStep(&timed, 2, 1.0f, 0, 300);
    EXPECT_FLOAT_EQ(timed.eye.y, 1.0f);
    NavView lift = standing();
    navWalkThroughStep(&lift, 8, 1.0f, 0, 300);
    EXPECT_FLOAT_EQ(lift.eye.z, 2.0f);
    for (int bad : {-1, 10, 1000}) {
        NavView v = standing();
        EXPECT_FALSE(navWalkThroughStep(&v, bad, 1.0f, 0, 0));
        EXPECT_EQ(v.eye.y, 0.0f);
    }
}

TEST(Navigation, WalkLookStopsAt88Degrees) {
    NavView v = standing();
    ASSERT_TRUE(navWalkLook(&v, {10, 10, 1}));
    EXPECT_NEAR(dist(v.eye, v.vrp), 10.0f, 1e-4);
    EXPECT_GT(v.vrp.x, 0.0f);
    NavView steep{{0, 0, 0}, {0.01f, 0, 10}};  // nearly straight up
    const NavView before = steep;
    EXPECT_FALSE(navWalkLook(&steep, {0, 0, 100}));
    EXPECT_EQ(steep.vrp.x, before.vrp.x);
    EXPECT_EQ(steep.vrp.z, before.vrp.z);
}

TEST(Navigation, ObjectDrag) {
    EXPECT_FLOAT_EQ(navDragDepthOffset(100, 50, 500), 6500.0f);
    EXPECT_EQ(navDragDepthOffset(100, 50, 0), 0.0f);
    const Vec3 locked = navLockAxes({1, 2, 3}, 2 | 8);
    EXPECT_EQ(locked.x, 0.0f);
    EXPECT_EQ(locked.y, 2.0f);
    EXPECT_EQ(locked.z, 0.0f);

    const Vec3 move{10, 0, 0};
    int tests = 0;
    const Vec3 free = navCollisionWalk(move, [&](const Vec3&) { return ++tests, false; });
    EXPECT_FLOAT_EQ(free.x, 10.0f);
    EXPECT_LE(tests, 6);
    // A wall at x = 4.3: the accepted move stays before it and comes within 1.25 % of the move.
    const Vec3 wall = navCollisionWalk(move, [](const Vec3& o) { return o.x > 4.3f; });
    EXPECT_LE(wall.x, 4.3f);
    EXPECT_GT(wall.x, 4.3f - 0.125f - 1e-4f);
    const Vec3 stuck = navCollisionWalk(move, [](const Vec3&) { return true; });
    EXPECT_EQ(stuck.x, 0.0f);
    EXPECT_EQ(navCollisionWalk({0, 0, 0}, [](const Vec3&) { return true; }).x, 0.0f);
}

TEST(Navigation, HomeViewClipAndFit) {
    Box3 box{{-1, -2, -2}, {1, 2, 2}};  // diagonal 6
    const NavHomeView h = navHomeView(box);
    EXPECT_FLOAT_EQ(h.eyeDistance, 9.0f);
    EXPECT_FLOAT_EQ(h.farDist, 16.2f);
    EXPECT_FLOAT_EQ(h.nearDist, 1.8f);
    EXPECT_FLOAT_EQ(h.eye.y, -9.0f);
    EXPECT_NEAR(h.tanHalfAngle, std::tan(22.0 * kPi / 180.0), 1e-6);

    float n = 0, f = 0;
    navClipDistances(box, h.eye, {0, 1, 0}, 0, 6, &n, &f);
    EXPECT_FLOAT_EQ(f, 2 * 11.0f);
    EXPECT_FLOAT_EQ(n, 0.25f);
    navClipDistances(box, h.eye, {0, 1, 0}, 6, 6, &n, &f);
    EXPECT_FLOAT_EQ(f, 1.1f * 11.0f);
    EXPECT_FLOAT_EQ(n, 0.9f * 7.0f);
    navClipDistances(box, {0, 20, 0}, {0, 1, 0}, 0, 0, &n, &f);  // box behind, no extent
    EXPECT_GT(f, 0.0f);
    EXPECT_GT(n, 0.0f);

    CamRecord cam{};
    cam.eye = h.eye;
    cam.vrp = h.vrp;
    cam.up = h.up;
    cam.viewDist = h.eyeDistance;
    cam.nearDist = h.nearDist;
    cam.farDist = h.farDist;
    cam.pixW = 320;
    cam.pixH = 240;
    const float w = h.tanHalfAngle * h.eyeDistance;
    cam.winXMin = -w;
    cam.winXMax = w;
    cam.winYMin = -w * 0.75f;
    cam.winYMax = w * 0.75f;
    ASSERT_EQ(camUpdate(&cam), 1);
    ASSERT_EQ(navFitZoomToBox(&cam, box, 320, 240), 1);
    EXPECT_NEAR(navFitScale(cam, box, 320, 240), 1.0f, 1e-3) << "after the fit the box just fills the frame";
    EXPECT_EQ(navFitScale(cam, box, 0, 240), 0.0f);
}

TEST(Navigation, DisplayModeAndAnimationValues) {
    int32_t mode = 3, flags = 0;
    EXPECT_TRUE(navPutDisplayMode(0x4003, &mode, &flags));
    EXPECT_EQ(mode, 3);
    EXPECT_EQ(navGetDisplayMode(mode, flags), 0x4003);
    EXPECT_FALSE(navPutDisplayMode(0x4003, &mode, &flags));
    EXPECT_FALSE(navPutDisplayMode(0x0103, &mode, &flags)) << "any of bits 8-15 is the same flag";
    EXPECT_EQ(navGetDisplayMode(mode, flags), 0x4003);
    // A plain put keeps the flag; 32 is a mode bit like the others.
    EXPECT_TRUE(navPutDisplayMode(20, &mode, &flags));
    EXPECT_EQ(navGetDisplayMode(mode, flags), 0x4000 + 20);
    EXPECT_TRUE(navPutDisplayMode(32, &mode, &flags));
    EXPECT_EQ(mode, 32);
    EXPECT_EQ(navGetDisplayMode(mode, flags), 0x4000 + 32);
    // Values outside the enumeration are stored as they are.
    int32_t plainMode = 3, plainFlags = 0;
    EXPECT_TRUE(navPutDisplayMode(9, &plainMode, &plainFlags));
    EXPECT_EQ(navGetDisplayMode(plainMode, plainFlags), 9);
    EXPECT_TRUE(navPutDisplayMode(0x10003, &plainMode, &plainFlags));
    EXPECT_EQ(navGetDisplayMode(plainMode, plainFlags), 0x10003);
    EXPECT_EQ(plainFlags, 0);
    EXPECT_FLOAT_EQ(navAnimationLength(0, 30, 15), 2.0f);
    EXPECT_EQ(navAnimationLength(0, 30, 0), 0.0f);
    EXPECT_EQ(navAnimationLength(0, 30, -1), 0.0f);
}

TEST(Navigation, Unproject) {
    Mat4 m{};
    m.m[0] = m.m[5] = m.m[10] = 1;
    m.m[15] = 1;
    const Vec3 p = navUnproject(m, 3, 4, 5);
    EXPECT_EQ(p.x, 3.0f);
    m.m[11] = 1;  // w = z + 1
    m.m[15] = 0;
    const Vec3 q = navUnproject(m, 3, 4, 1);  // w = 1: unscaled
    EXPECT_EQ(q.x, 3.0f);
    const Vec3 r = navUnproject(m, 4, 4, 2);  // w = 2
    EXPECT_EQ(r.x, 2.0f);
    const Vec3 z = navUnproject(m, 4, 4, 0);  // w = 0: unscaled
    EXPECT_EQ(z.x, 4.0f);
    NavView v = standing();
    navPan(&v, standing(), {1, 1, 1}, {0, 0, 0});
    EXPECT_EQ(v.eye.x, 1.0f);
    EXPECT_EQ(v.vrp.y, 11.0f);
}
