#include "render/collision.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "render/light.h"
#include "scene/contentlist.h"
#include "scene/engine.h"
#include "scene/material.h"
#include "scene/scene.h"
#include "scene/tests/content_builder.h"

namespace {

// ---------------------------------------------------------------------------
// Reference distance: origin to the hull of the difference set, as the least
// distance to any of its triangles (exact while the origin lies outside).

struct D3 {
    double x, y, z;
};
D3 operator-(D3 a, D3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
D3 operator+(D3 a, D3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
D3 operator*(double s, D3 a) { return {s * a.x, s * a.y, s * a.z}; }
double dot(D3 a, D3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Closest point of triangle abc to the origin (Voronoi regions).
D3 closestOnTriangle(D3 a, D3 b, D3 c) {
    D3 p{0, 0, 0};
    D3 ab = b - a, ac = c - a, ap = p - a;
    double d1 = dot(ab, ap), d2 = dot(ac, ap);
    if (d1 <= 0 && d2 <= 0) return a;
    D3 bp = p - b;
    double d3 = dot(ab, bp), d4 = dot(ac, bp);
    if (d3 >= 0 && d4 <= d3) return b;
    double vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0) return a + (d1 / (d1 - d3)) * ab;
    D3 cp = p - c;
    double d5 = dot(ab, cp), d6 = dot(ac, cp);
    if (d6 >= 0 && d5 <= d6) return c;
    double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0) return a + (d2 / (d2 - d6)) * ac;
    double va = d3 * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0) return b + ((d4 - d3) / ((d4 - d3) + (d5 - d6))) * (c - b);
    double den = 1.0 / (va + vb + vc);
    return a + (vb * den) * ab + (vc * den) * ac;
}

// Nearest point of hull(A) - hull(B) to the origin, by brute force.
D3 bruteNearest(const std::vector<PelVertex>& A, const std::vector<PelVertex>& B) {
    std::vector<D3> d;
    for (const PelVertex& a : A)
        for (const PelVertex& b : B)
            d.push_back({double(a.pos.x) - b.pos.x, double(a.pos.y) - b.pos.y, double(a.pos.z) - b.pos.z});
    // Inside: no face plane of the hull has the origin on its outer side.
    bool inside = true;
    for (size_t i = 0; i < d.size() && inside; ++i)
        for (size_t j = i + 1; j < d.size() && inside; ++j)
            for (size_t k = j + 1; k < d.size() && inside; ++k) {
                D3 e = d[j] - d[i], f = d[k] - d[i];
                D3 n = {e.y * f.z - e.z * f.y, e.z * f.x - e.x * f.z, e.x * f.y - e.y * f.x};
                if (dot(n, n) < 1e-18) continue;
                double lo = 0, hi = 0;
                for (const D3& q : d) {
                    double t = dot(n, q - d[i]);
                    lo = std::min(lo, t);
                    hi = std::max(hi, t);
                }
                double o = -dot(n, d[i]);
                if ((hi <= 1e-12 && o > 1e-12) || (lo >= -1e-12 && o < -1e-12)) inside = false;
            }
    if (inside) return {0, 0, 0};
    D3 best = d[0];
    for (size_t i = 0; i < d.size(); ++i)
        for (size_t j = i; j < d.size(); ++j)
            for (size_t k = j; k < d.size(); ++k) {
                D3 q = closestOnTriangle(d[i], d[j], d[k]);
                if (dot(q, q) < dot(best, best)) best = q;
            }
    return best;
}

std::vector<PelVertex> randomSet(std::mt19937& rng, D3 centre, double radius, int n) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<PelVertex> s;
    while (int(s.size()) < n) {
        D3 p{u(rng), u(rng), u(rng)};
        if (dot(p, p) > 1.0) continue;
        PelVertex v{};
        v.pos = {float(centre.x + radius * p.x), float(centre.y + radius * p.y), float(centre.z + radius * p.z)};
        s.push_back(v);
    }
    return s;
}

void translate(std::vector<PelVertex>& s, D3 t) {
    for (PelVertex& v : s) v.pos = {float(v.pos.x + t.x), float(v.pos.y + t.y), float(v.pos.z + t.z)};
}

D3 centre(const std::vector<PelVertex>& s) {
    D3 c{0, 0, 0};
    for (const PelVertex& v : s) c = c + (1.0 / double(s.size())) * D3{v.pos.x, v.pos.y, v.pos.z};
    return c;
}

// Runs the search until it stops making progress (warm continuation).
uint32_t gjkToEnd(const std::vector<PelVertex>& A, const std::vector<PelVertex>& B, ColSimplex* s, Vec3* v,
                  double* lower) {
    ColVertexSet a = {A.data(), uint32_t(A.size()), 0};
    ColVertexSet b = {B.data(), uint32_t(B.size()), 0};
    float w[4];
    uint32_t r = COL_GJK_UNFINISHED;
    for (int i = 0; i < 20 && r == COL_GJK_UNFINISHED; ++i) r = colGjk(&a, &b, v, s, w, lower);
    float sum = 0;
    for (uint32_t i = 0; i < s->count; ++i) {
        EXPECT_GE(w[i], -1e-6f);
        sum += w[i];
    }
    if (r != COL_GJK_FAILED) {
        EXPECT_NEAR(sum, 1.0f, 1e-4f);
    }
    return r;
}

double len(const Vec3& v) { return std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z); }

// The answer of a finished search against the true distance d: never below
// it, and above it by no more than the gap tolerance allows.
void expectDistance(uint32_t r, const Vec3& v, double lower, double d) {
    if (d > 0.02) {
        ASSERT_EQ(r, COL_GJK_CONVERGED);
        double g = len(v);
        EXPECT_GE(g, d - 1e-4);
        EXPECT_LE(g, d / (1.0 - COL_GAP_TOLERANCE) + 1e-5);
        EXPECT_LE(lower, d + 1e-4);
        EXPECT_GT(lower, 0.0);
    } else if (d == 0.0 || r == COL_GJK_FAILED) {
        EXPECT_TRUE(r == COL_GJK_FAILED || len(v) < COL_CONTACT_DISTANCE || lower <= 1e-4);
    }
}

TEST(ColGjk, DistancesMatchBruteForceOnRandomConvexSets) {
    std::mt19937 rng(7);
    // Gap after moving B along the closest direction; -1: B's centre on A's.
    const double gaps[] = {0.8, 0.1, 0.03, 0.012, 0.005, 0.0, -1.0};
    for (int trial = 0; trial < 25; ++trial) {
        std::vector<PelVertex> A = randomSet(rng, {0, 0, 0}, 1.0, 7);
        std::uniform_real_distribution<double> u(-1.0, 1.0);
        D3 dir{u(rng), u(rng), u(rng)};
        dir = (1.0 / std::sqrt(dot(dir, dir))) * dir;
        std::vector<PelVertex> B0 = randomSet(rng, 3.5 * dir, 0.8, 6);
        D3 v0 = bruteNearest(A, B0);
        double d0 = std::sqrt(dot(v0, v0));
        ASSERT_GT(d0, 0.5);
        for (double gap : gaps) {
            SCOPED_TRACE(testing::Message() << "trial " << trial << " gap " << gap);
            std::vector<PelVertex> B = B0;
            if (gap >= 0)
                translate(B, ((d0 - gap) / d0) * v0);  // B towards A along the nearest direction
            else
                translate(B, centre(A) - centre(B));
            double d = gap > 0 ? gap : 0.0;
            if (gap >= 0) {
                D3 check = bruteNearest(A, B);
                ASSERT_NEAR(std::sqrt(dot(check, check)), d, 1e-5);
            }
            ColSimplex s{};
            Vec3 v;
            double lower;
            uint32_t r = gjkToEnd(A, B, &s, &v, &lower);
            expectDistance(r, v, lower, d);
        }
    }
}

TEST(ColGjk, WarmAndColdAgreeOverAMove) {
    std::mt19937 rng(11);
    std::vector<PelVertex> A = randomSet(rng, {0, 0, 0}, 1.0, 9);
    std::vector<PelVertex> B0 = randomSet(rng, {0, 0, 0}, 0.7, 8);
    ColSimplex warm{};
    int clear = 0, close = 0;
    for (int step = 0; step <= 60; ++step) {
        SCOPED_TRACE(step);
        // B sweeps past A, from clear to penetrating and out again.
        double t = step / 60.0;
        std::vector<PelVertex> B = B0;
        translate(B, {3.0 - 6.0 * t, 0.2 * std::sin(6.0 * t), 0.3});
        D3 tv = bruteNearest(A, B);
        double d = std::sqrt(dot(tv, tv));
        ColSimplex cold{};
        Vec3 vw, vc;
        double lw, lc;
        uint32_t rw = gjkToEnd(A, B, &warm, &vw, &lw);
        uint32_t rc = gjkToEnd(A, B, &cold, &vc, &lc);
        (d > 0.02 ? clear : close)++;
        if (d > 0.02) {
            expectDistance(rw, vw, lw, d);
            expectDistance(rc, vc, lc, d);
            EXPECT_NEAR(len(vw), len(vc), COL_GAP_TOLERANCE * d + 1e-5);
        } else {
            // Touching or inside: neither answer claims a clear gap.
            EXPECT_TRUE(rw == COL_GJK_FAILED || len(vw) < 0.05 || lw <= 1e-4);
            EXPECT_TRUE(rc == COL_GJK_FAILED || len(vc) < 0.05 || lc <= 1e-4);
        }
        if (rw == COL_GJK_FAILED) warm = ColSimplex{};
    }
    EXPECT_GT(clear, 0);
    EXPECT_GT(close, 0);
}

TEST(ColGjk, SimplexReduceFindsNearestFeature) {
    struct Case {
        std::vector<Vec3> pts;
        Vec3 v;
        uint32_t count;
    } cases[] = {
        {{{1, 2, 3}}, {1, 2, 3}, 1},
        {{{-1, 1, 0}, {1, 1, 0}}, {0, 1, 0}, 2},
        {{{2, 1, 0}, {3, 1, 0}}, {2, 1, 0}, 1},
        {{{-1, -1, 2}, {1, -1, 2}, {0, 1, 2}}, {0, 0, 2}, 3},
        {{{-1, -1, 2}, {1, -1, 2}, {0, 1, 2}, {0, 0, 5}}, {0, 0, 2}, 3},
        {{{-1, -1, -1}, {1, -1, -1}, {0, 1, -1}, {0, 0, 1}}, {0, 0, 0}, 4},  // origin enclosed
    };
    for (const Case& c : cases) {
        Vec3 v;
        uint32_t keep[4];
        float w[4];
        int32_t n = colSimplexReduce(c.pts.data(), uint32_t(c.pts.size()), &v, keep, w);
        EXPECT_EQ(uint32_t(n), c.count);
        EXPECT_NEAR(v.x, c.v.x, 1e-5);
        EXPECT_NEAR(v.y, c.v.y, 1e-5);
        EXPECT_NEAR(v.z, c.v.z, 1e-5);
    }
}

// ---------------------------------------------------------------------------
// Nodes

// A content of one convex part (or two, the second a copy moved by 3 on x).
PelContent* convexContent(const std::vector<Vec3>& pts, bool twoParts = false) {
    BuildSpec s;
    s.positions = pts;
    s.faces = {{{0, 1, 2, 0}, 0, 0}};
    if (twoParts) {
        for (const Vec3& p : pts) s.positions.push_back({p.x + 3, p.y, p.z});
        uint32_t n = uint32_t(pts.size());
        s.faces.push_back({{n, n + 1, n + 2, 0}, 0, 0});
        s.parts = {{n, 1}, {n, 1}};
    }
    s.materials = {plainMaterial(1, 1, 1)};
    return buildContent(s);
}

std::vector<Vec3> unitCube() {
    std::vector<Vec3> p;
    for (int i = 0; i < 8; ++i) p.push_back({float(i & 1), float((i >> 1) & 1), float((i >> 2) & 1)});
    return p;
}

// Corner tetrahedron: its slanted face x + y + z = 1 faces the diagonal.
const std::vector<Vec3> kTetra = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

// Offset of a unit cube on the diagonal whose corner lies gap from the
// tetrahedron's slanted face; boxes overlap up to gaps of about 1.15.
float diagonal(float gap) { return (1.0f + gap * std::sqrt(3.0f)) / 3.0f; }

class Collision : public ::testing::Test {
protected:
    std::vector<PelContent*> contents;
    std::vector<ScnNode*> nodes;

    void SetUp() override { reset(); }
    void TearDown() override {
        for (ScnNode*& n : nodes) {
            colForgetNode(n);
            scnNodeFree(&n, nullptr);
        }
        for (PelContent*& c : contents) pelFreeObject(&c);
        reset();
    }
    static void reset() {
        colReset();
        errReset();
        ltReset();
        ltResetShading();
        matReset();
        pelResetObjectList();
    }
    ScnNode* node(PelContent* c, float x, float y = 0, float z = 0) {
        Mat4 m;
        mtxMakeTranslation(x, y, z, &m);
        ScnNode* n = nullptr;
        EXPECT_EQ(scnNodeCreate(c, 0, nullptr, nullptr, &m, &n), 1);
        nodes.push_back(n);
        return n;
    }
    PelContent* content(const std::vector<Vec3>& pts, bool twoParts = false) {
        contents.push_back(convexContent(pts, twoParts));
        return contents.back();
    }
    static void moveTo(ScnNode* n, float x, float y = 0, float z = 0) {
        Mat4 m;
        mtxMakeTranslation(x, y, z, &m);
        scnSetPose(n, &m, 0.0f);
    }
};

TEST_F(Collision, BoxTests) {
    Box3 unit = {{0, 0, 0}, {1, 1, 1}};
    struct Case {
        Box3 other;
        uint32_t overlap;
        int32_t near1, near0;  // colBoxNear with distance 0.5, mode 1 and mode 0
    } cases[] = {
        {{{1, 0, 0}, {2, 1, 1}}, 1, 1, 0},           // faces touch exactly
        {{{0.5f, 0.5f, 0.5f}, {3, 3, 3}}, 1, 1, 0},  // overlapping
        {{{1.2f, 0, 0}, {2, 1, 1}}, 0, 1, 0},        // within the distance
        {{{0, 0, 1.6f}, {1, 1, 2}}, 0, 0, 1},        // farther apart
    };
    for (const Case& c : cases) {
        EXPECT_EQ(colPartBoxesOverlap(&unit, &c.other), c.overlap);
        EXPECT_EQ(colBoxNear(&unit, &c.other, 1, 0.5f), c.near1);
        EXPECT_EQ(colBoxNear(&unit, &c.other, 0, 0.5f), c.near0);
    }
    Vec3 p = {1.3f, 0.5f, 0.5f};
    EXPECT_EQ(colPointNearBox(&unit, &p, 1, 0.5f), 1);
    EXPECT_EQ(colPointNearBox(&unit, &p, 1, 0.2f), 0);
    EXPECT_EQ(colPointNearBox(&unit, &p, 0, 0.2f), 1);
}

TEST_F(Collision, ContactDistanceDecidesTouching) {
    ScnNode* a = node(content(kTetra), 0);
    ScnNode* b = node(content(unitCube()), 1);
    ScnNode* obstacles[] = {b, nullptr};
    struct Case {
        float gap;
        uint32_t hit;
    } cases[] = {{0.005f, 1}, {0.02f, 0}, {0.3f, 0}, {-0.05f, 1}, {0.0f, 1}, {0.012f, 0}, {-0.4f, 1}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.gap);
        float t = diagonal(k.gap);
        moveTo(b, t, t, t);
        uint32_t hit = 7;
        ASSERT_EQ(colTestNode(a, obstacles, &hit), 1u);
        EXPECT_EQ(hit, k.hit);
        // A fresh cache gives the same answer as the warm one.
        colReset();
        ASSERT_EQ(colTestNode(a, obstacles, &hit), 1u);
        EXPECT_EQ(hit, k.hit);
        EXPECT_FALSE(a->flags & NODE_COLLIDE_A) << "only for the call";
    }
}

TEST_F(Collision, ExcludedPartNeverCollides) {
    PelContent* c = content(unitCube(), true);
    ScnNode* a = node(c, 0);
    ScnNode* b = node(content(unitCube()), 3.5f);  // inside the second part of a
    ScnNode* obstacles[] = {b, nullptr};
    uint32_t hit = 0;
    ASSERT_EQ(colTestNode(a, obstacles, &hit), 1u);
    EXPECT_EQ(hit, 1u);
    c->parts[1].flags |= COL_PART_EXCLUDED;
    colReset();
    ASSERT_EQ(colTestNode(a, obstacles, &hit), 1u);
    EXPECT_EQ(hit, 0u);
}

TEST_F(Collision, FindHitsAndContactLists) {
    PelContent* c = content(unitCube());
    ScnNode* mover = node(c, 0);
    ScnNode* o1 = node(c, 0.5f);     // touching
    ScnNode* o2 = node(c, 5.0f);     // clear
    ScnNode* o3 = node(c, 0, 0.9f);  // touching
    ScnNode* moving[] = {mover, nullptr};
    ScnNode* obstacles[] = {o1, o2, o3, nullptr};

    ScnNode** hits = nullptr;
    EXPECT_EQ(colFindHits(moving, obstacles, nullptr), 0u);
    ASSERT_EQ(colFindHits(moving, obstacles, &hits), 1u);
    ASSERT_NE(hits, nullptr);
    EXPECT_EQ(hits[0], o1);
    EXPECT_EQ(hits[1], o3);
    EXPECT_EQ(hits[2], nullptr);
    EXPECT_TRUE(o1->flags & NODE_COLLIDE_B);
    EXPECT_FALSE(o2->flags & NODE_COLLIDE_B);

    // Contacts are not obstacles; a free move keeps the contacts that still touch.
    uint32_t hit = 9;
    EXPECT_EQ(colTestMove(moving, obstacles, nullptr, &hit), 0u);
    ASSERT_EQ(colTestMove(moving, obstacles, &hits, &hit), 1u);
    EXPECT_EQ(hit, 0u);
    ASSERT_NE(hits, nullptr);
    EXPECT_EQ(hits[0], o1);
    EXPECT_EQ(hits[1], o3);

    moveTo(mover, 0.3f, -0.5f);  // still touching o1, clear of o3
    ASSERT_EQ(colTestMove(moving, obstacles, &hits, &hit), 1u);
    EXPECT_EQ(hit, 0u);
    ASSERT_NE(hits, nullptr);
    EXPECT_EQ(hits[0], o1);
    EXPECT_EQ(hits[1], nullptr);

    moveTo(mover, 4.5f, 0);  // into o2, which is no contact
    ScnNode** before = hits;
    ASSERT_EQ(colTestMove(moving, obstacles, &hits, &hit), 1u);
    EXPECT_EQ(hit, 1u);
    EXPECT_EQ(hits, before) << "contacts unchanged on a hit";
    memFreeRefT(&hits);

    // Missing lists: nothing done, no hit.
    EXPECT_EQ(colTestMove(nullptr, obstacles, &hits, &hit), 1u);
    EXPECT_EQ(hit, 0u);
}

TEST_F(Collision, CacheAgesAndReplacesTheFarthestPair) {
    PelContent* tetra = content(kTetra);
    PelContent* cube = content(unitCube());
    ScnNode* mover = node(tetra, 0);
    std::vector<ScnNode*> obs;
    for (int i = 0; i < 21; ++i) {
        float t = diagonal(0.05f + 0.01f * float(i));
        obs.push_back(node(cube, t, t, t));
    }
    auto test = [&](ScnNode* o) {
        ScnNode* list[] = {o, nullptr};
        uint32_t slot = 0;
        return colNodeHitsList(mover, list, &slot);
    };
    for (int i = 0; i < 20; ++i) EXPECT_EQ(test(obs[i]), 0u);
    EXPECT_EQ(colCacheCount(), 20u);
    ColPair* first = colFindPair(mover, obs[0], &tetra->parts[0], &cube->parts[0]);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->apart);
    EXPECT_NEAR(first->distance, 0.05f * std::pow(1.5f, 19.0f), 1e-2f * first->distance)
        << "aged once per later test";

    // The 21st pair takes the record of the farthest one (the oldest here).
    EXPECT_EQ(test(obs[20]), 0u);
    EXPECT_EQ(colCacheCount(), 20u);
    EXPECT_EQ(colFindPair(mover, obs[0], &tetra->parts[0], &cube->parts[0]), nullptr);
    EXPECT_NE(colFindPair(mover, obs[1], &tetra->parts[0], &cube->parts[0]), nullptr);
    EXPECT_NE(colFindPair(mover, obs[20], &tetra->parts[0], &cube->parts[0]), nullptr);
}

TEST_F(Collision, ForgettingANodeDropsItsPairs) {
    PelContent* tetra = content(kTetra);
    PelContent* cube = content(unitCube());
    ScnNode* mover = node(tetra, 0);
    float t1 = diagonal(0.1f), t2 = diagonal(0.2f);
    ScnNode* o1 = node(cube, t1, t1, t1);
    ScnNode* o2 = node(cube, t2, t2, t2);
    ScnNode* moving[] = {mover, nullptr};
    ScnNode* first[] = {o1, nullptr};
    ScnNode* second[] = {o2, nullptr};
    uint32_t hit = 0;
    ASSERT_EQ(colTestLists(moving, first, &hit), 1u);
    ASSERT_EQ(colTestLists(moving, second, &hit), 1u);
    ASSERT_EQ(colCacheCount(), 2u);
    colForgetNode(o1);
    EXPECT_EQ(colCacheCount(), 1u);
    EXPECT_EQ(colFindPair(mover, o1, &tetra->parts[0], &cube->parts[0]), nullptr);
    EXPECT_NE(colFindPair(mover, o2, &tetra->parts[0], &cube->parts[0]), nullptr);
    colForgetNode(mover);
    EXPECT_EQ(colCacheCount(), 0u);
    // Freeing a node drops its pairs as well.
    ASSERT_EQ(colTestLists(moving, second, &hit), 1u);
    ASSERT_EQ(colCacheCount(), 1u);
    ASSERT_EQ(scnNodeFree(&nodes[2], nullptr), 1);
    EXPECT_EQ(colCacheCount(), 0u);
}

// A cached pair keeps its separating plane while the parts stay apart and
// notices when they come together.
TEST_F(Collision, CachedPlaneFollowsTheMove) {
    PelContent* cube = content(unitCube());
    ScnNode* a = node(content(kTetra), 0);
    ScnNode* b = node(cube, 1);
    ScnNode* list[] = {b, nullptr};
    const float gaps[] = {0.5f, 0.3f, 0.1f, 0.03f, 0.004f, 0.2f, -0.1f, 0.6f};
    const uint32_t expected[] = {0, 0, 0, 0, 1, 0, 1, 0};
    for (size_t i = 0; i < std::size(gaps); ++i) {
        SCOPED_TRACE(gaps[i]);
        float t = diagonal(gaps[i]), side = 0.02f * float(i);  // slides along the face a little
        moveTo(b, t + side, t - side, t);
        uint32_t hit = 9;
        ASSERT_EQ(colTestNode(a, list, &hit), 1u);
        EXPECT_EQ(hit, expected[i]);
        ColPair* p = colFindPair(a, b, &a->content->parts[0], &cube->parts[0]);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->apart, 1 - expected[i]);
    }
}

// A search cut short must not pass for a proof of separation.
TEST_F(Collision, UnfinishedSearchIsNotApart) {
    // A dense ball of points and a small tetrahedron dipping into it, far
    // from the first point where a cold search starts.
    std::vector<PelVertex> A;
    const int n = 600;
    for (int i = 0; i < n; ++i) {
        double y = 1.0 - 2.0 * (i + 0.5) / n, r = std::sqrt(1.0 - y * y), phi = 2.399963 * i;
        PelVertex v{};
        v.pos = {float(r * std::cos(phi)), float(y), float(r * std::sin(phi))};
        A.push_back(v);
    }
    for (double dip : {0.05, 0.02, 0.01}) {  // the corner is inside the ball's hull
        SCOPED_TRACE(dip);
        std::vector<PelVertex> B(4);
        const float s = 0.3f;
        float x0 = float(1.0 - dip);  // nearest corner at x = 1 - dip
        B[0].pos = {x0, 0.05f, 0.02f};
        B[1].pos = {x0 + s, 0.05f - s, 0.02f};
        B[2].pos = {x0 + s, 0.05f + s, 0.02f - s};
        B[3].pos = {x0 + s, 0.05f, 0.02f + s};
        PelPart pa{}, pb{};
        pa.vertexCount = uint32_t(A.size());
        pa.firstVertex = A.data();
        pb.vertexCount = 4;
        pb.firstVertex = B.data();
        ColPair pair{};
        pair.movingPart = &pa;
        pair.obstaclePart = &pb;
        Mat4 id;
        mtxIdentity(&id);
        // Each call adds a few points only; follow the pair warm as the cache does.
        for (int call = 0; call < 8; ++call) {
            int32_t apart = colPairDistance(&pair, &id);
            EXPECT_EQ(apart, 0) << "call " << call;
        }
    }
}

}  // namespace
