#include "render/faceclip.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "raster_fixture.h"
#include "render/clipplane.h"
#include "scene/engine.h"

using namespace raster;

namespace {

struct P3 {
    double x, y, z;
};
struct Plane4 {
    double a, b, c, d;  // inside: a x + b y + c z + d (w = 1) >= 0
};

// Independent clip of a convex polygon (w = 1) in double precision.
std::vector<P3> refClip(std::vector<P3> poly, const std::vector<Plane4>& planes) {
    for (const Plane4& p : planes) {
        std::vector<P3> out;
        const size_t n = poly.size();
        for (size_t i = 0; i < n; ++i) {
            const P3& a = poly[i];
            const P3& b = poly[(i + 1) % n];
            const double da = p.a * a.x + p.b * a.y + p.c * a.z + p.d, db = p.a * b.x + p.b * b.y + p.c * b.z + p.d;
            if (da >= 0) out.push_back(a);
            if ((da >= 0) != (db >= 0)) {
                const double t = da / (da - db);
                out.push_back({a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t});
            }
        }
        poly = out;
        if (poly.size() < 3) return {};
    }
    return poly;
}

double area(const std::vector<P3>& poly) {
    double sx = 0, sy = 0, sz = 0;
    for (size_t i = 0; i < poly.size(); ++i) {
        const P3& a = poly[i];
        const P3& b = poly[(i + 1) % poly.size()];
        sx += a.y * b.z - a.z * b.y;
        sy += a.z * b.x - a.x * b.z;
        sz += a.x * b.y - a.y * b.x;
    }
    return 0.5 * std::sqrt(sx * sx + sy * sy + sz * sz);
}

const std::vector<Plane4> kViewVolume = {{1, 0, 0, 0}, {-1, 0, 0, 1}, {0, 1, 0, 0}, {0, -1, 0, 1}, {0, 0, 1, 0}, {0, 0, -1, 1}};

class Clipping : public ::testing::Test {
protected:
    void SetUp() override {
        clpReset();
        triResetState();
        mtxIdentity(&identity);
    }
    void TearDown() override {
        clpReset();
        triResetState();
    }

    // user planes with normal n through the point q; their clip-space copies under the identity
    std::vector<Plane4> addPlanes(const std::vector<std::pair<Vec3, Vec3>>& planes) {
        for (const auto& [n, q] : planes) {
            Vec3 nn = n;
            const double len = std::sqrt(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z);
            const float d = float((double(n.x) * q.x + double(n.y) * q.y + double(n.z) * q.z) / len);
            EXPECT_TRUE(clpAddPlane(&nn, d, nullptr));
        }
        clpTransformPlanes(&identity);
        std::vector<Plane4> out;
        for (const ClipPlane* p = clpFirstPlane(); p; p = p->next) out.push_back({p->a, p->b, p->c, p->d});
        return out;
    }

    static uint32_t userBits(int count) { return count ? uint32_t((uint64_t(1) << count) - 1) << 16 : 0u; }

    static void loadPolygon(const std::vector<P3>& pts) {
        RpClipState& s = rpClipState();
        s.count = int(pts.size());
        s.lerpColour = s.lerpTexture = s.wrapU = 0;
        for (size_t i = 0; i < pts.size(); ++i) {
            ClipVertex& v = s.poly[i];
            std::memset(&v, 0, sizeof v);
            v.edgeValid = 1;
            v.clip = {float(pts[i].x), float(pts[i].y), float(pts[i].z), 1.0f};
            v.v.pos = {v.clip.x, v.clip.y, v.clip.z};
        }
    }

    Mat4 identity;
};

// Random triangles against the view volume and random planes: every output vertex lies
// inside every plane and the area agrees with an independent clip.
TEST_F(Clipping, RandomTrianglesMatchReferenceClip) {
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> coord(-0.6f, 1.6f), centre(0.2f, 0.8f), dir(-1.0f, 1.0f);
    std::uniform_int_distribution<int> planeCount(0, 16);
    int kept = 0;
    for (int trial = 0; trial < 400; ++trial) {
        clpReset();
        std::vector<std::pair<Vec3, Vec3>> planes;
        const int np = planeCount(rng) / (trial % 2 + 1);
        for (int k = 0; k < np; ++k) {
            Vec3 n = {dir(rng), dir(rng), dir(rng)};
            if (std::fabs(n.x) + std::fabs(n.y) + std::fabs(n.z) < 0.1f) n.x = 1.0f;
            planes.push_back({n, {centre(rng), centre(rng), centre(rng)}});
        }
        std::vector<Plane4> all = kViewVolume;
        for (const Plane4& p : addPlanes(planes)) all.push_back(p);
        const std::vector<P3> tri = {{coord(rng), coord(rng), coord(rng)},
                                     {coord(rng), coord(rng), coord(rng)},
                                     {coord(rng), coord(rng), coord(rng)}};
        loadPolygon(tri);
        const uint32_t gone = rpClipPolygon(CLP_VIEW_VOLUME | userBits(np));
        const std::vector<P3> ref = refClip(tri, all);
        const double refArea = ref.empty() ? 0.0 : area(ref);
        if (gone) {
            EXPECT_LT(refArea, 1e-4) << "trial " << trial;
            continue;
        }
        ++kept;
        const RpClipState& s = rpClipState();
        std::vector<P3> got;
        for (int i = 0; i < s.count; ++i) {
            const Vec4& c = s.poly[i].clip;
            got.push_back({c.x, c.y, c.z});
            EXPECT_FLOAT_EQ(c.w, 1.0f);
            for (const Plane4& p : all)
                ASSERT_GE(p.a * c.x + p.b * c.y + p.c * c.z + p.d * c.w, -1e-5) << "trial " << trial << " vertex " << i;
            // the object-space copy follows the clip position (identity)
            EXPECT_NEAR(s.poly[i].v.pos.x, c.x, 1e-5);
        }
        EXPECT_NEAR(area(got), refArea, 1e-4 + 1e-4 * refArea) << "trial " << trial;
    }
    EXPECT_GT(kept, 100);
}

// Sixteen user planes cut a 16-gon out of a triangle that the view volume cuts too.
TEST_F(Clipping, WorkingPolygonHoldsAllPlanes) {
    std::vector<std::pair<Vec3, Vec3>> planes;
    const double r = 0.3, pi = 3.14159265358979323846;
    for (int k = 0; k < 16; ++k) {
        const double a = 2 * pi * k / 16;
        // inside: (cos a, sin a) . (p - c) <= r
        planes.push_back({{float(-std::cos(a)), float(-std::sin(a)), 0.0f},
                          {float(0.5 + r * std::cos(a)), float(0.5 + r * std::sin(a)), 0.5f}});
    }
    addPlanes(planes);
    loadPolygon({{-1.0, -0.8, 0.5}, {2.5, 0.2, 0.5}, {0.3, 2.4, 0.5}});
    ASSERT_EQ(rpClipPolygon(CLP_VIEW_VOLUME | userBits(16)), 0u);
    const RpClipState& s = rpClipState();
    EXPECT_EQ(s.count, 16);
    std::vector<P3> got;
    for (int i = 0; i < s.count; ++i) got.push_back({s.poly[i].clip.x, s.poly[i].clip.y, s.poly[i].clip.z});
    EXPECT_NEAR(area(got), 16 * r * r * std::tan(pi / 16), 1e-4);
}

// Edge flags of made vertices: entry points keep the edge, exit points start a cut edge.
TEST_F(Clipping, MadeVerticesAndSwitches) {
    loadPolygon({{-0.5, 0.5, 0.5}, {0.5, 0.2, 0.5}, {0.5, 0.8, 0.5}});
    RpClipState& s = rpClipState();
    s.lerpColour = 1;
    s.poly[0].v.r = 0.0f;
    s.poly[2].v.r = 1.0f;
    s.poly[0].edgeVisible = 1;
    s.poly[2].edgeVisible = 0;
    ASSERT_EQ(rpClipPolygon(CLP_X_LOW), 0u);
    ASSERT_EQ(s.count, 4);
    // order: entry on edge 0-1, vertex 1, vertex 2, exit on the closing edge 2-0
    EXPECT_FLOAT_EQ(s.poly[0].clip.x, 0.0f);
    EXPECT_EQ(s.poly[0].edgeValid, 1u);
    EXPECT_EQ(s.poly[0].edgeVisible, 1u);
    EXPECT_EQ(s.poly[0].v.flags, 0u);
    EXPECT_FLOAT_EQ(s.poly[3].clip.x, 0.0f);
    EXPECT_EQ(s.poly[3].edgeValid, 0u) << "the edge leaving an exit point runs along the cut";
    EXPECT_NEAR(s.poly[3].v.r, 0.5f, 1e-6) << "colour interpolated with the switch on";
}

// A node whose object-to-clip matrix is the identity, with its own vertices.
struct Mesh {
    PelVertex v[4];
    PelContent content;
    ScnNode node;
    PelFace face;
    Mesh(std::vector<P3> pts, uint32_t outCodes = 0) {
        std::memset(v, 0, sizeof v);
        std::memset(&content, 0, sizeof content);
        std::memset(&node, 0, sizeof node);
        std::memset(&face, 0, sizeof face);
        for (size_t i = 0; i < pts.size(); ++i) v[i].pos = {float(pts[i].x), float(pts[i].y), float(pts[i].z)};
        content.vertices = v;
        content.vertexCount = uint32_t(pts.size());
        content.outCodes = outCodes;
        node.content = &content;
        mtxIdentity(&node.objToView);
        // screen: x, y scaled to 16 pixels, depth to 1000
        mtxIdentity(&node.objToScreen);
        node.objToScreen.m[0] = 16;
        node.objToScreen.m[5] = 16;
        node.objToScreen.m[10] = 1000;
        for (uint32_t i = 0; i < 4; ++i) face.v[i] = i < pts.size() ? i : 0;
        if (pts.size() == 4) face.flags = FACE_QUAD;
    }
};

TEST_F(Clipping, ClassifyFace) {
    struct Case {
        const char* what;
        std::vector<P3> pts;
        uint32_t mask;
        uint32_t answer, code;
    };
    const Case cases[] = {
        {"inside", {{0.2, 0.2, 0.5}, {0.8, 0.2, 0.5}, {0.5, 0.8, 0.5}}, 0, 0, 0},
        {"all left of x = 0", {{-0.2, 0.2, 0.5}, {-0.8, 0.2, 0.5}, {-0.5, 0.8, 0.5}}, 0, 1, 0},
        {"one vertex behind z = 0", {{0.2, 0.2, -0.5}, {0.8, 0.2, 0.5}, {0.5, 0.8, 0.5}}, 0, 2, CLP_Z_LOW},
        {"quad across x = w", {{0.2, 0.2, 0.5}, {1.8, 0.2, 0.5}, {1.8, 0.8, 0.5}, {0.2, 0.8, 0.5}}, 0, 2, CLP_X_HIGH},
        {"across the user plane", {{0.2, 0.2, 0.5}, {0.8, 0.2, 0.5}, {0.5, 0.8, 0.5}}, CLP_USER_FIRST, 2, CLP_USER_FIRST},
        {"user plane not in the mask", {{0.2, 0.2, 0.5}, {0.8, 0.2, 0.5}, {0.5, 0.8, 0.5}}, 0, 0, 0},
        {"beyond the user plane", {{0.7, 0.2, 0.5}, {0.8, 0.2, 0.5}, {0.9, 0.8, 0.5}}, CLP_USER_FIRST, 1, 0},
        {"behind z = 0 and across the plane", {{0.2, 0.2, -0.5}, {0.8, 0.2, 0.5}, {0.5, 0.8, 0.5}}, CLP_USER_FIRST, 2,
         CLP_Z_LOW | CLP_USER_FIRST},
    };
    addPlanes({{{-1, 0, 0}, {0.6f, 0, 0}}});  // keeps x <= 0.6
    for (const Case& k : cases) {
        Mesh m(k.pts, k.mask);
        uint32_t code = 0xDEAD;
        EXPECT_EQ(rpClassifyFace(&m.face, &m.node, &code), k.answer) << k.what;
        if (k.answer == 2) {
            EXPECT_EQ(code, k.code) << k.what;
        }
        // a second call works from the cached classification
        uint32_t again = 0xDEAD;
        EXPECT_EQ(rpClassifyFace(&m.face, &m.node, &again), k.answer) << k.what;
        if (k.answer == 2) {
            EXPECT_EQ(again, k.code) << k.what;
        }
    }
    Mesh bad({{0.2, 0.2, 0.5}, {0.8, 0.2, 0.5}, {0.5, 0.8, 0.5}});
    bad.face.v[2] = 7;
    uint32_t code = 0;
    EXPECT_EQ(rpClassifyFace(&bad.face, &bad.node, &code), 1u) << "vertex index beyond the content";

    // a triangle with one vertex behind z = 0 becomes a quadrilateral
    Mesh behind({{0.2, 0.2, -0.5}, {0.8, 0.2, 0.5}, {0.5, 0.8, 0.5}});
    ASSERT_EQ(rpClassifyFace(&behind.face, &behind.node, &code), 2u);
    EXPECT_EQ(behind.v[0].flags & (VTX_OUTCODES | CLP_VIEW_VOLUME), VTX_OUTCODES | CLP_Z_LOW);
    RpClipState& s = rpClipState();
    s.count = 3;
    for (int i = 0; i < 3; ++i) {
        s.poly[i] = {};
        s.poly[i].edgeValid = 1;
        s.poly[i].v = behind.v[i];
        s.poly[i].clip = s.faceClip[i];
    }
    ASSERT_EQ(rpClipPolygon(code), 0u);
    EXPECT_EQ(s.count, 4);
}

TEST_F(Clipping, ClipDrawEdge) {
    Mat4 viewport;
    mtxIdentity(&viewport);
    viewport.m[0] = 16;
    viewport.m[5] = 16;
    viewport.m[10] = 1000;
    const float white[3] = {1, 1, 1};
    {
        // crossing z = 0: only the part from (0.5, 0.5, 0) to (0.75, 0.75, 1) is drawn
        Target t(16, 16, 2);
        spanSetTarget(t.pic());
        Mesh m({{0.25, 0.25, -1}, {0.75, 0.75, 1}});
        rpClipDrawEdge(&viewport, &m.v[0], &m.v[1], &m.node, white);
        std::vector<std::pair<int, int>> got;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                if (t.at(x, y)) got.push_back({x, y});
        EXPECT_EQ(got, (std::vector<std::pair<int, int>>{{8, 8}, {9, 9}, {10, 10}, {11, 11}, {12, 12}}));
        EXPECT_EQ(m.v[0].flags & VTX_PROJECTED, 0u);
        EXPECT_EQ(m.v[1].flags & VTX_PROJECTED, 0u) << "no screen position from a clipped point";
        EXPECT_EQ(t.depth(8, 8), 0);
    }
    {
        Target t(16, 16, 2);
        spanSetTarget(t.pic());
        Mesh m({{-0.25, 0.25, 0.5}, {-0.75, 0.75, 0.5}});
        rpClipDrawEdge(&viewport, &m.v[0], &m.v[1], &m.node, white);
        for (uint32_t p : t.pixels()) EXPECT_EQ(p, 0u) << "both ends left of x = 0";
    }
    {
        // inside: drawn through the object-to-screen matrix, ends marked projected
        Target t(16, 16, 2);
        spanSetTarget(t.pic());
        Mesh m({{0.25, 0.5, 0.5}, {0.75, 0.5, 0.5}});
        rpClipDrawEdge(&viewport, &m.v[0], &m.v[1], &m.node, white);
        EXPECT_EQ(m.v[0].flags & VTX_PROJECTED, VTX_PROJECTED);
        EXPECT_NE(t.at(4, 8), 0u);
        EXPECT_NE(t.at(12, 8), 0u);
        EXPECT_EQ(t.at(13, 8), 0u);
    }
    {
        // a user plane cuts the inside edge at x = 0.5
        addPlanes({{{-1, 0, 0}, {0.5f, 0, 0}}});
        Target t(16, 16, 2);
        spanSetTarget(t.pic());
        Mesh m({{0.25, 0.5, 0.5}, {0.75, 0.5, 0.5}}, CLP_USER_FIRST);
        rpClipDrawEdge(&viewport, &m.v[0], &m.v[1], &m.node, white);
        EXPECT_NE(t.at(4, 8), 0u);
        EXPECT_NE(t.at(8, 8), 0u);
        EXPECT_EQ(t.at(9, 8), 0u);
    }
}

TEST_F(Clipping, Polygon2D) {
    const IRect rect = {4, 0, 12, 16};
    auto draw = [&](Target& t, PelVertex a, PelVertex b, PelVertex c, uint32_t flags) {
        spanSetTarget(t.pic());
        TriRecord tri = {&a, &b, &c, nullptr, 0.0f, flags};
        return rpDrawPolygon2D(&tri, &rect);
    };
    {
        // inside the rectangle: the same pixels as the rasteriser draws
        Target a(16, 16, 2), b(16, 16, 2);
        EXPECT_EQ(draw(a, vertex(5, 1, 0, 1, 0, 0), vertex(14, 3, 0, 0, 1, 0), vertex(7, 14, 0, 0, 0, 1), SPAN_GOURAUD), 1);
        PelVertex p = vertex(5, 1, 0, 1, 0, 0), q = vertex(14, 3, 0, 0, 1, 0), r = vertex(7, 14, 0, 0, 0, 1);
        spanSetTarget(b.pic());
        TriRecord tri = {&p, &q, &r, nullptr, 0.0f, SPAN_GOURAUD};
        triFill16(&tri);
        EXPECT_EQ(a.pixels(), b.pixels());
    }
    {
        // one vertex left of x0: cut at x0 - 0.45, the rest as the exact fill rule
        Target t(16, 16, 2);
        EXPECT_EQ(draw(t, vertex(-6, 2.25f), vertex(14, 2.5f), vertex(10, 14), 0), 1);
        const double xs[3] = {-6, 14, 10}, ys[3] = {2.25, 2.5, 14};  // no pixel centre on a cut edge
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const bool want = x >= 4 && refCovers(xs, ys, x, y);
                EXPECT_EQ(t.at(x, y) != 0, want) << x << "," << y;
            }
    }
    {
        Target t(16, 16, 2);
        const IRect low = {0, 8, 16, 8};
        PelVertex a = vertex(2, 1), b = vertex(9, 1), c = vertex(4, 6);
        spanSetTarget(t.pic());
        TriRecord tri = {&a, &b, &c, nullptr, 0.0f, 0};
        EXPECT_EQ(rpDrawPolygon2D(&tri, &low), 1) << "wholly above the rectangle";
        for (uint32_t p : t.pixels()) EXPECT_EQ(p, 0u);
    }
}

}  // namespace
