#include "scene/vecmath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

const Mat4 kTrue = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
const Mat4 kMarked = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0}};
// A perspective-style matrix: element 15 is 0 but it is no identity.
const Mat4 kPerspective = {{2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 1.5f, 1, 0, 0, -4, 0}};
const Mat4 kAffine = {{0, 1, 0, 0, -2, 0, 0, 0, 0, 0, 3, 0, 5, 6, 7, 1}};

Mat4 reference(const Mat4& a, const Mat4& b) {
    Mat4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double s = 0;
            for (int k = 0; k < 4; ++k) s += double(a.m[4 * i + k]) * b.m[4 * k + j];
            r.m[4 * i + j] = float(s);
        }
    return r;
}

void expectNear(const Mat4& a, const Mat4& b, float tolerance = 1e-5f) {
    for (int k = 0; k < 16; ++k) EXPECT_NEAR(a.m[k], b.m[k], tolerance) << "element " << k;
}

void expectSame(const Mat4& a, const Mat4& b) {
    for (int k = 0; k < 16; ++k) EXPECT_EQ(a.m[k], b.m[k]) << "element " << k;
}

TEST(VecmathTest, ScreenBoxStartsAtResetValues) {
    EXPECT_EQ(mtxScreenBox.minX, 10000);
    EXPECT_EQ(mtxScreenBox.minY, 10000);
    EXPECT_EQ(mtxScreenBox.maxX, -10000);
    EXPECT_EQ(mtxScreenBox.maxY, -10000);
}

TEST(VecmathTest, IdentityMark) {
    EXPECT_TRUE(mtxIsMarked(&kMarked));
    Mat4 negZero = kMarked;
    negZero.m[15] = -0.0f;
    EXPECT_TRUE(mtxIsMarked(&negZero));
    EXPECT_FALSE(mtxIsMarked(&kTrue));
    EXPECT_FALSE(mtxIsMarked(&kPerspective));

    Mat4 out;
    mtxMultiply(&kMarked, &kAffine, &out);
    expectSame(out, kAffine);
    mtxMultiply(&kAffine, &kMarked, &out);
    expectSame(out, kAffine);
    mtxMultiply(&kMarked, &kMarked, &out);
    EXPECT_EQ(out.m[15], 0.0f);

    Mat4 m = kMarked;
    mtxTranslate(1, 2, 3, &m);
    Mat4 t;
    mtxMakeTranslation(1, 2, 3, &t);
    expectSame(m, t);
    m = kTrue;
    mtxTranslate(1, 2, 3, &m);
    expectSame(m, t);

    m = kMarked;
    mtxScale(2, 3, 4, &m);
    Mat4 s;
    mtxMakeScale(2, 3, 4, &s);
    expectSame(m, s);
    m = kMarked;
    mtxScaleUniform(2, &m);
    mtxMakeScaleUniform(2, &s);
    expectSame(m, s);

    ASSERT_EQ(mtxInvert(&kMarked, &out), 1);
    expectSame(out, kMarked);
    m = kMarked;
    mtxPreMultiply(&kAffine, &m);
    expectSame(m, kAffine);
    m = kAffine;
    mtxPostMultiply(&kMarked, &m);
    expectSame(m, kAffine);

    Vec3 p = {1, 2, 3}, q;
    mtxTransformPoint(&p, &q, &kMarked);
    EXPECT_EQ(q.x, 1); EXPECT_EQ(q.y, 2); EXPECT_EQ(q.z, 3);
    Vec4 v;
    mtxTransformVec4(&p, &v, &kMarked);
    EXPECT_EQ(v.w, 1);
}

TEST(VecmathTest, ProjectiveMatrixWithZeroElement15IsRealMatrix) {
    Mat4 out;
    mtxMultiply(&kPerspective, &kAffine, &out);
    expectSame(out, reference(kPerspective, kAffine));
    mtxMultiply(&kAffine, &kPerspective, &out);
    expectSame(out, reference(kAffine, kPerspective));

    Mat4 inverse;
    ASSERT_EQ(mtxInvert(&kPerspective, &inverse), 1);
    expectNear(reference(kPerspective, inverse), kTrue);

    Vec3 p = {1, 2, 3}, q;
    mtxTransformPoint(&p, &q, &kPerspective);
    EXPECT_FLOAT_EQ(q.x, 2); EXPECT_FLOAT_EQ(q.y, 6); EXPECT_FLOAT_EQ(q.z, 0.5f);
    ASSERT_EQ(mtxProjectPoint(&p, &q, &kPerspective), 1);  // w = z = 3
    EXPECT_FLOAT_EQ(q.x, 2.0f / 3); EXPECT_FLOAT_EQ(q.y, 2); EXPECT_FLOAT_EQ(q.z, 0.5f / 3);

    Mat4 m = kPerspective;
    mtxTranslate(0, 0, 1, &m);
    EXPECT_FLOAT_EQ(m.m[14], -2.5f);
    EXPECT_FLOAT_EQ(m.m[15], 1.0f);
}

TEST(VecmathTest, NormalizeAndPlanes) {
    Vec3 v = {0, 0, 0};
    EXPECT_EQ(vecNormalize(&v), 0);
    EXPECT_EQ(v.x, 0); EXPECT_EQ(v.y, 0); EXPECT_EQ(v.z, 1);
    v = {3, 0, 4};
    EXPECT_EQ(vecNormalize(&v), 1);
    EXPECT_FLOAT_EQ(v.x, 0.6f); EXPECT_FLOAT_EQ(v.z, 0.8f);

    Vec3 a = {0, 0, 2}, b = {2, 0, 2}, c = {0, 2, 2}, n;
    float d = 0, len = 0;
    EXPECT_EQ(vecPlaneFromTriangleLen(&a, &b, &c, &n, &d, &len), 1);
    EXPECT_FLOAT_EQ(n.z, 1); EXPECT_FLOAT_EQ(d, 2); EXPECT_FLOAT_EQ(len, 4);
    Vec3 e = {5, 5, 7};
    EXPECT_EQ(vecPlaneFromTriangle(&e, &e, &e, &n, &d), 0);
    EXPECT_EQ(n.z, 1); EXPECT_EQ(d, 7);

    Vec3 u, w;
    ASSERT_EQ(vecTriangleBasis(&b, &c, &e, &u, &w), 1);
    auto dot = [](const Vec3& x, const Vec3& y) { return x.x * y.x + x.y * y.y + x.z * y.z; };
    EXPECT_NEAR(dot(u, b), 1, 1e-6); EXPECT_NEAR(dot(u, c), 0, 1e-6); EXPECT_NEAR(dot(u, e), 0, 1e-6);
    EXPECT_NEAR(dot(w, c), 1, 1e-6); EXPECT_NEAR(dot(w, b), 0, 1e-6);
    EXPECT_EQ(vecTriangleBasis(&a, &a, &c, &u, &w), 0);
}

TEST(VecmathTest, InvertRandomAndSingular) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> dist(-2.0f, 2.0f);
    for (int n = 0; n < 200; ++n) {
        Mat4 a, inv;
        for (float& e : a.m) e = dist(rng);
        int negative = -1;
        ASSERT_EQ(mtxInvertSign(&a, &inv, &negative), 1);
        Mat4 back;
        ASSERT_EQ(mtxInvert(&inv, &back), 1);
        double maxInv = 0;
        for (float e : inv.m) maxInv = std::fmax(maxInv, std::fabs(e));
        if (maxInv > 50) continue;  // ill-conditioned draw
        expectNear(reference(a, inv), kTrue, 1e-4f);
        EXPECT_TRUE(negative == 0 || negative == 1);
    }
    Mat4 mirror;
    mtxMakeScale(-1, 1, 1, &mirror);
    Mat4 inv;
    int negative = 0;
    ASSERT_EQ(mtxInvertSign(&mirror, &inv, &negative), 1);
    EXPECT_EQ(negative, 1);

    Mat4 singular = kAffine;
    for (int j = 0; j < 4; ++j) singular.m[8 + j] = 2 * singular.m[j];
    EXPECT_EQ(mtxInvert(&singular, &inv), 0);
}

TEST(VecmathTest, Rotations) {
    Mat4 r, m = kTrue;
    for (int axis = 1; axis <= 3; ++axis) {
        mtxMakeRotation(axis, 30, &r);
        m = kTrue;
        mtxRotate(axis, 30, &m);
        expectSame(m, r);
        m = kMarked;
        mtxRotate(axis, 30, &m);
        expectSame(m, r);
    }
    mtxMakeRotation(3, 90, &r);
    Vec3 p = {1, 0, 0};
    mtxTransformPointInPlace(&p, &r);
    EXPECT_NEAR(p.x, 0, 1e-6); EXPECT_NEAR(p.y, 1, 1e-6);
    mtxMakeRotation(7, 30, &r);
    expectSame(r, kTrue);

    Mat4 axisR;
    ASSERT_EQ(mtxMakeAxisRotation(0, 0, 5, 90, &axisR), 1);
    mtxMakeRotation(3, 90, &r);
    expectNear(axisR, r);

    axisR.m[3] = 9;
    EXPECT_EQ(mtxMakeAxisRotation(0, 0, 1e-16f, 45, &axisR), 0);
    expectSame(axisR, kTrue);
    m = kAffine;
    EXPECT_EQ(mtxRotateAxis(0, 0, 0, 45, &m), 0);
    expectSame(m, kAffine);
    ASSERT_EQ(mtxRotateAxis(1, 0, 0, 90, &m), 1);
    mtxMakeRotation(1, 90, &r);
    expectNear(m, reference(r, kAffine));

    Vec3 origin = {1, 2, 3}, dir = {0, 0, 2}, up = {0, 1, 0};
    ASSERT_EQ(mtxMakeFrame(&origin, &dir, &up, &m), 1);
    EXPECT_FLOAT_EQ(m.m[2], 1); EXPECT_FLOAT_EQ(m.m[8], -1); EXPECT_FLOAT_EQ(m.m[5], 1);
    EXPECT_EQ(m.m[12], 1); EXPECT_EQ(m.m[15], 1);
    EXPECT_EQ(mtxMakeFrame(&origin, &dir, &dir, &m), 0);
}

// -1 for the positive-trace branch of mtxQuatFromMatrix, else the index i.
int quatBranch(const Mat4& m) {
    if (m.m[0] + m.m[5] + m.m[10] > 0) return -1;
    int i = m.m[5] > m.m[10] ? 1 : 0;
    if (m.m[10] > m.m[5 * i]) i = 2;
    return i;
}

TEST(VecmathTest, QuaternionRoundTrips) {
    struct Case {
        float x, y, z, degrees;
        int branch;
    } cases[] = {
        {1, 2, 3, 30, -1},     {0, 1, 0, 0, -1},         {1, 0, 0, 180, 0},   {1, 0.1f, 0.2f, 170, 0},
        {2, 0.3f, 0.5f, 200, 0}, {0, 1, 0, 180, 1},     {0.1f, 1, 0.2f, 170, 1}, {1, 0.2f, 0.1f, 170, 1},
        {-1, 2, -0.5f, -150, 1}, {0, 0, 1, 180, 2},     {0.2f, 0.1f, 1, 170, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.degrees);
        Mat4 m, back;
        ASSERT_EQ(mtxMakeAxisRotation(c.x, c.y, c.z, c.degrees, &m), 1);
        EXPECT_EQ(quatBranch(m), c.branch);
        Quat q;
        ASSERT_EQ(mtxQuatFromMatrix(&m, &q), 1);
        ASSERT_EQ(mtxQuatToMatrix(&q, &back), 1);
        expectNear(back, m);

        Quat fromAxis;
        ASSERT_EQ(mtxQuatFromAxisAngle(c.x, c.y, c.z, c.degrees * DEG_TO_RAD, &fromAxis), 1);
        ASSERT_EQ(mtxQuatToMatrix(&fromAxis, &back), 1);
        expectNear(back, m);
    }
    Quat q;
    EXPECT_EQ(mtxQuatFromAxisAngle(0, 0, 0, 1, &q), 0);
    Quat zero = {0, 0, 0, 0};
    Mat4 m;
    EXPECT_EQ(mtxQuatToMatrix(&zero, &m), 0);
    m = kAffine;
    EXPECT_EQ(mtxRotateQuat(&zero, &m), 0);
    expectSame(m, kAffine);
}

TEST(VecmathTest, QuaternionProductMatchesMatrixProduct) {
    Quat a, b;
    mtxQuatFromAxisAngle(1, 2, 3, 0.7f, &a);
    mtxQuatFromAxisAngle(-2, 0.5f, 1, 1.9f, &b);
    Mat4 ma, mb, mab;
    mtxQuatToMatrix(&a, &ma);
    mtxQuatToMatrix(&b, &mb);
    mtxQuatMultiply(&a, &b);
    mtxQuatToMatrix(&b, &mab);
    expectNear(mab, reference(ma, mb));

    Mat4 m = kAffine;
    ASSERT_EQ(mtxRotateQuat(&a, &m), 1);
    expectNear(m, reference(ma, kAffine));
}

TEST(VecmathTest, TransformsAndSideTest) {
    Vec3 p = {1, 2, 3}, q;
    mtxTransformPoint(&p, &q, &kAffine);
    EXPECT_EQ(q.x, 1); EXPECT_EQ(q.y, 7); EXPECT_EQ(q.z, 16);
    Vec4 v;
    mtxTransformVec4(&p, &v, &kAffine);
    EXPECT_EQ(v.w, 1);

    Vec3 d = {1, 0, 0};
    ASSERT_EQ(mtxTransformNormal(&d, &q, &kAffine), 1);
    EXPECT_EQ(q.x, 0); EXPECT_EQ(q.y, 1); EXPECT_EQ(q.z, 0);
    d = {0, 0, 0};
    EXPECT_EQ(mtxTransformNormal(&d, &q, &kAffine), 0);

    Box3 box = {{-1, -1, -1}, {1, 2, 3}}, out;
    mtxTransformBox(&box, &out, &kAffine);
    EXPECT_EQ(out.min.x, 1); EXPECT_EQ(out.max.x, 7);
    EXPECT_EQ(out.min.y, 5); EXPECT_EQ(out.max.y, 7);
    EXPECT_EQ(out.min.z, 4); EXPECT_EQ(out.max.z, 16);
    mtxTransformBox(&box, &out, &kMarked);
    EXPECT_EQ(out.max.z, 3);

    Mat4 plane = kTrue;
    plane.m[11] = 2;  // z >= 2 s
    Vec3 above = {0, 0, 3}, below = {0, 0, 1};
    EXPECT_EQ(mtxSideTest(&above, 1, &plane), 1);
    EXPECT_EQ(mtxSideTest(&below, 1, &plane), 0);
}

TEST(VecmathTest, ProjectionsAndScreenBox) {
    mtxScreenBox = {10000, 10000, -10000, -10000};
    Vec3 onEyePlane = {1, 1, 0};
    Vec3 out = {7, 7, 7};
    EXPECT_EQ(mtxProjectPoint(&onEyePlane, &out, &kPerspective), 0);
    EXPECT_EQ(out.x, 7); EXPECT_EQ(out.y, 7); EXPECT_EQ(out.z, 7);
    Vec4 o4 = {7, 7, 7, 7};
    EXPECT_EQ(mtxProjectVertexBounds(&onEyePlane, &o4, &kPerspective), 0);
    EXPECT_EQ(o4.w, 0); EXPECT_EQ(o4.x, 7);
    EXPECT_EQ(mtxProjectClipVertex(&onEyePlane, &o4, &kPerspective), 0);
    EXPECT_EQ(mtxProjectClipPoint(&onEyePlane, &out, &kPerspective), 0);
    EXPECT_EQ(mtxScreenBox.minX, 10000);

    Vec3 p = {1, 2, 2};
    ASSERT_EQ(mtxProjectVertexBounds(&p, &o4, &kPerspective), 1);
    EXPECT_FLOAT_EQ(o4.x, 1); EXPECT_FLOAT_EQ(o4.y, 3); EXPECT_FLOAT_EQ(o4.w, 2);
    EXPECT_EQ(mtxScreenBox.minX, 1); EXPECT_EQ(mtxScreenBox.maxX, 1);
    EXPECT_EQ(mtxScreenBox.minY, 3); EXPECT_EQ(mtxScreenBox.maxY, 3);
    p = {-4, 0, 2};
    o4.z = 99;
    ASSERT_EQ(mtxProjectClipVertex(&p, &o4, &kPerspective), 1);
    EXPECT_EQ(o4.z, 99);
    EXPECT_EQ(mtxScreenBox.minX, -4); EXPECT_EQ(mtxScreenBox.minY, 0); EXPECT_EQ(mtxScreenBox.maxY, 3);

    Vec3 nanPoint = {NAN, NAN, 2};
    ASSERT_EQ(mtxProjectClipPoint(&nanPoint, &out, &kPerspective), 1);
    EXPECT_EQ(mtxScreenBox.minX, -4); EXPECT_EQ(mtxScreenBox.maxX, 1);
    EXPECT_EQ(mtxScreenBox.minY, 0); EXPECT_EQ(mtxScreenBox.maxY, 3);

    Vec4 in = {2, 4, 6, 0}, scaled;
    EXPECT_EQ(mtxProjectScaledBounds(&in, &scaled, &kAffine), 0);
    in.w = 2;
    ASSERT_EQ(mtxProjectScaledBounds(&in, &scaled, &kAffine), 1);
    EXPECT_EQ(scaled.x, 5); EXPECT_EQ(scaled.y, 6); EXPECT_EQ(scaled.z, 16); EXPECT_EQ(scaled.w, 2);
    ASSERT_EQ(mtxProjectScaledInPlace(&in, &kAffine), 1);
    EXPECT_EQ(in.z, 16);
    EXPECT_EQ(mtxScreenBox.maxX, 5); EXPECT_EQ(mtxScreenBox.maxY, 6);
    mtxScreenBox = {10000, 10000, -10000, -10000};
}

TEST(VecmathTest, Unions) {
    Box3 a = {{0, 0, 0}, {1, 1, 1}}, b = {{-1, 0.5f, 0.5f}, {0.5f, 2, 0.5f}};
    mtxBoxUnion(&a, &b);
    EXPECT_EQ(b.min.x, -1); EXPECT_EQ(b.min.y, 0); EXPECT_EQ(b.max.y, 2); EXPECT_EQ(b.max.z, 1);

    IRect r = {10, 10, 5, 5}, s = {0, 0, 0, 3};
    mtxRectUnion(&r, &s);
    EXPECT_EQ(s.x, 10); EXPECT_EQ(s.w, 5);
    IRect empty = {0, 0, 0, 0};
    mtxRectUnion(&empty, &s);
    EXPECT_EQ(s.x, 10); EXPECT_EQ(s.w, 5);
    IRect other = {0, 12, 2, 10};
    mtxRectUnion(&other, &s);
    EXPECT_EQ(s.x, 0); EXPECT_EQ(s.y, 10); EXPECT_EQ(s.w, 15); EXPECT_EQ(s.h, 12);
}

TEST(VecmathTest, FitPoints) {
    Mat4 map, fit;
    mtxMakeAxisRotation(1, 2, 3, 40, &map);
    mtxScale(2, 0.5f, 3, &map);
    mtxPostMultiply(&kAffine, &map);
    Vec3 a[10], b[10];
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> dist(-5, 5);
    for (int n = 0; n < 10; ++n) {
        a[n] = {dist(rng), dist(rng), dist(rng)};
        mtxTransformPoint(&a[n], &b[n], &map);
    }
    ASSERT_EQ(mtxFitPoints(a, b, 10, &fit), 1);
    expectNear(fit, map, 1e-3f);
    EXPECT_EQ(mtxFitPoints(a, b, 2, &fit), 0);
}

}  // namespace
