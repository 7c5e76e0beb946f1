// Ray tracer core: trees against brute force, tree shapes, face groups, shading.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <string>

#include "render/tests/rt_fixture.h"

using namespace rtfix;

namespace {

float dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Vec3 norm(Vec3 v) {
    vecNormalize(&v);
    return v;
}

// Closest hit over every face of every node, worked out here in double precision from the
// vertices and the node matrices alone (no prepared faces). A face is one triangle or a quad
// of two triangles (V0, V1, V2) and (V0, V2, V3); a one-sided face is hit only from the side
// its winding faces. Rays that pass too close to an edge, or whose nearest candidates lie
// too close together, to be decided in single precision are marked unsure.
struct BruteHit {
    double t = RT_FAR;
    bool unsure = false;
};

BruteHit bruteClosest(const std::vector<ScnNode*>& nodes, const Vec3 ray[2]) {
    struct D3 {
        double x, y, z;
    };
    auto sub3 = [](D3 a, D3 b) { return D3{a.x - b.x, a.y - b.y, a.z - b.z}; };
    auto dot3 = [](D3 a, D3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; };
    auto cross3 = [](D3 a, D3 b) { return D3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; };
    const D3 o = {ray[0].x, ray[0].y, ray[0].z}, d = {ray[1].x, ray[1].y, ray[1].z};
    const double eps = 1e-5;
    BruteHit best;
    std::vector<double> nearMisses;  // distances of faces that were too close to call
    for (ScnNode* n : nodes) {
        const Mat4& m = n->base;
        auto world = [&](const Vec3& p) {
            const float* e = m.m;
            return D3{p.x * double(e[0]) + p.y * double(e[4]) + p.z * double(e[8]) + e[12],
                      p.x * double(e[1]) + p.y * double(e[5]) + p.z * double(e[9]) + e[13],
                      p.x * double(e[2]) + p.y * double(e[6]) + p.z * double(e[10]) + e[14]};
        };
        for (uint32_t i = 0; i < n->content->faceCount; ++i) {
            const PelFace& f = n->content->faces[i];
            const bool quad = (f.flags & FACE_QUAD) != 0, twoSided = (f.flags & FACE_TWO_SIDED) != 0;
            D3 v[4];
            for (int k = 0; k < (quad ? 4 : 3); ++k) v[k] = world(n->content->vertices[f.v[k]].pos);
            const D3 front = cross3(sub3(v[1], v[0]), sub3(v[2], v[0]));
            for (int tri = 0; tri < (quad ? 2 : 1); ++tri) {
                const D3 a = v[0], b = v[tri ? 2 : 1], c = v[tri ? 3 : 2];
                const D3 e1 = sub3(b, a), e2 = sub3(c, a), pv = cross3(d, e2);
                const double det = dot3(e1, pv);
                const double nl = std::sqrt(dot3(cross3(e1, e2), cross3(e1, e2)));
                if (nl < 1e-6) continue;
                if (std::fabs(det) < 1e-15) continue;  // parallel
                const D3 tv = sub3(o, a), qv = cross3(tv, e1);
                const double u = dot3(tv, pv) / det, w = dot3(d, qv) / det, t = dot3(e2, qv) / det;
                const double margin = std::min({u, w, 1.0 - u - w}), scale = std::max(1.0, t);
                const bool grazing = std::fabs(dot3(cross3(e1, e2), d)) / nl < 1e-3;
                if (!grazing && !twoSided && dot3(front, d) > 0) continue;  // seen from behind
                if (!grazing && margin > eps * scale && t > eps) {
                    if (t < best.t) best.t = t;
                } else if (margin > -eps * scale && t > -eps) {
                    nearMisses.push_back(t);
                }
            }
        }
    }
    for (double t : nearMisses)
        if (t <= best.t + 1e-3 * std::max(1.0, best.t)) best.unsure = true;
    return best;
}

class RayTreeTest : public Clean {};

TEST_F(RayTreeTest, ClosestAndAnyHitMatchBruteForce) {
    struct Case {
        const char* what;
        uint32_t nodes, faces;
        bool oneGroup;  // faces all straddle: one group larger than a thread's face cache
    };
    const Case cases[] = {{"several placed nodes", 4, 400, false},
                          {"one unsplittable group", 1, 9000, true},
                          {"a tree of more than 200 leaves", 8, 1500, false}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        rtResetState();
        world.clear();
        std::mt19937 rng(1234);
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        for (uint32_t n = 0; n < k.nodes; ++n) {
            BuildSpec s;
            if (k.oneGroup) {
                for (uint32_t f = 0; f < k.faces; ++f) {
                    uint32_t b = uint32_t(s.positions.size());
                    s.positions.push_back({-1 + 0.1f * u(rng), -1 + 0.1f * u(rng), -1 + 0.1f * u(rng)});
                    s.positions.push_back({1 + 0.1f * u(rng), 1 + 0.1f * u(rng), 1 + 0.1f * u(rng)});
                    s.positions.push_back({u(rng), u(rng), u(rng)});
                    s.faces.push_back({{b, b + 1, b + 2, b + 2}, 0, uint16_t(FACE_TWO_SIDED)});
                }
                s.materials = {material(1, 1, 1)};
            } else {
                s = randomSpec(rng, k.faces, {0, 0, 0}, 3.0f, 0.6f);
            }
            Mat4 m;
            mtxMakeRotation(n % 3, 30.0f * float(n), &m);
            mtxScale(1.0f + 0.3f * float(n), 1.0f, 1.0f, &m);
            mtxTranslate(2.0f * float(n), -1.0f * float(n), 0.5f, &m);
            world.add(s, &m);
        }
        world.prepare();
        uint32_t leaves = 0;
        for (const PelContent* c : world.contents) leaves += c->rtFaceGroupCount;
        if (k.nodes == 8) {
            ASSERT_GT(leaves, 2 * RT_PAIR_THRESHOLD) << "the leaf level is paired by partner search";
        }
        if (k.oneGroup) {
            ASSERT_EQ(world.contents[0]->rtFaceGroupCount, 1u);
            ASSERT_GT(world.contents[0]->faceCount, RT_CACHE_USED);
        }
        uint32_t hits = 0, blocked = 0, unsure = 0;
        const int rays = k.oneGroup ? 60 : 600;
        for (int r = 0; r < rays; ++r) {
            Vec3 ray[2];
            ray[0] = {8 * u(rng), 8 * u(rng), 8 * u(rng)};
            if (r % 2 == 0) {
                // aimed at a vertex of a random node's face
                ScnNode* n = world.nodes[size_t(rng() % world.nodes.size())];
                const PelFace& f = n->content->faces[rng() % n->content->faceCount];
                Vec3 p;
                mtxTransformPoint(&n->content->vertices[f.v[0]].pos, &p, &n->base);
                ray[1] = norm({p.x - ray[0].x + 0.05f * u(rng), p.y - ray[0].y, p.z - ray[0].z});
            } else {
                ray[1] = norm({u(rng), u(rng), u(rng)});
            }
            const BruteHit expect = bruteClosest(world.nodes, ray);
            RtHit hit{};
            RtFace* f = rtFindHit(ray, &hit, 0);
            if (expect.unsure) {
                ++unsure;
            } else if (expect.t < RT_FAR) {
                ASSERT_NE(f, nullptr) << "ray " << r;
                EXPECT_NEAR(hit.t, expect.t, 1e-4 * std::max(1.0, expect.t)) << "ray " << r;
                ++hits;
            } else {
                EXPECT_EQ(f, nullptr) << "ray " << r;
            }
            if (f) {
                // the face returned is the one that was hit
                RtHit again{};
                again.t = RT_FAR;
                EXPECT_TRUE(rtIntersectFace(0, ray, f, &again, (f->flags & RT_FACE_TWO_SIDED) ? 1 : 0));
                EXPECT_EQ(again.t, hit.t);
                EXPECT_EQ(f->pins, 1u);
                rtUnpin(f);
            }
            float dist = 12.0f * (u(rng) + 1.0f);
            RtHit any{};
            any.t = dist;
            any.filter[0] = any.filter[1] = any.filter[2] = 1;
            RtFace* af = nullptr;
            int got = rtTraceTree(rtState().root, 1, ray, &af, &any, 1, 0, -1, nullptr, 0);
            rtUnpin(af);
            if (!expect.unsure && std::fabs(expect.t - dist) > 1e-3 * dist) {
                EXPECT_EQ(got != 0, expect.t < dist) << "ray " << r;
            }
            blocked += got != 0;
        }
        EXPECT_GT(hits, uint32_t(rays / 4));
        EXPECT_LT(unsure, uint32_t(rays / 20)) << "most rays are decided";
        EXPECT_GT(blocked, 0u);
    }
}

// Leaves reachable from the root, each once.
void collectLeaves(const RtTreeNode* n, std::multiset<const RtFaceGroup*>& out) {
    if (!n) return;
    if (!n->left) {
        out.insert(n->group);
        return;
    }
    auto inside = [](const Box3& a, const Box3& b) {
        return a.min.x >= b.min.x && a.min.y >= b.min.y && a.min.z >= b.min.z && a.max.x <= b.max.x &&
               a.max.y <= b.max.y && a.max.z <= b.max.z;
    };
    EXPECT_TRUE(inside(n->left->box, n->box));
    EXPECT_TRUE(inside(n->right->box, n->box));
    collectLeaves(n->left, out);
    collectLeaves(n->right, out);
}

// The queries from the root (through the run's face tree) answer as the walk of the object
// tree: the same face, distance, triangle and side for closest hits, the same verdict and
// filter for shadow rays. Scenes with coincident faces (ties), planar and bent
// quadrilaterals, double-sided and transparent faces, rays aimed at corners and edges.
TEST_F(RayTreeTest, QueriesFromTheRootAnswerAsTheTreeWalk) {
    struct Case {
        const char* what;
        bool bent;         // quadrilaterals whose fourth corner leaves the plane
        bool transparent;  // a translucent material on every third node
    } cases[] = {{"planar quadrilaterals", false, false}, {"bent quadrilaterals", true, false},
                 {"transparent faces", false, true}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        rtResetState();
        world.clear();
        std::mt19937 rng(77);
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        for (uint32_t n = 0; n < 6; ++n) {
            BuildSpec s = randomSpec(rng, 300, {0, 0, 0}, 2.5f, 0.7f);
            if (k.bent)
                for (const BuildFace& f : s.faces)
                    if (f.flags & FACE_QUAD) s.positions[f.v[2]].z += 0.3f * u(rng);
            const size_t copies = s.faces.size() / 4;  // coincident twins of some faces
            for (size_t i = 0; i < copies; ++i) s.faces.push_back(s.faces[i * 3]);
            if (k.transparent && n % 3 == 0) s.materials = {material(0.4f, 0.7f, 0.9f, 0.2f, 0.5f)};
            Mat4 m;
            mtxMakeRotation(n % 3, 40.0f * float(n), &m);
            mtxTranslate(0.7f * float(n), -0.4f * float(n), 0.2f * float(n), &m);
            world.add(s, &m);
        }
        world.prepare(1, 0);
        RtRunState& run = rtState();
        run.refraction = 1;
        uint32_t hits = 0, blocked = 0;
        for (int r = 0; r < 3000; ++r) {
            Vec3 ray[2];
            ray[0] = {7 * u(rng), 7 * u(rng), 7 * u(rng)};
            ScnNode* n = world.nodes[size_t(rng() % world.nodes.size())];
            const PelFace& f = n->content->faces[rng() % n->content->faceCount];
            Vec3 a, b;
            mtxTransformPoint(&n->content->vertices[f.v[0]].pos, &a, &n->base);
            mtxTransformPoint(&n->content->vertices[f.v[1]].pos, &b, &n->base);
            const float w = r % 3 == 0 ? 0.0f : (r % 3 == 1 ? 0.5f : u(rng));  // a corner, an edge's middle
            const Vec3 p = {a.x + w * (b.x - a.x), a.y + w * (b.y - a.y), a.z + w * (b.z - a.z)};
            ray[1] = norm({p.x - ray[0].x, p.y - ray[0].y, p.z - ray[0].z});

            RtHit fast{}, walk{};
            RtFace* ff = rtFindHit(ray, &fast, 0);
            const PelFace* fastFace = ff ? ff->face : nullptr;
            const ScnNode* fastNode = ff ? ff->node : nullptr;
            rtUnpin(ff);
            walk.t = RT_FAR;
            RtFace* wf = nullptr;
            const int found = rtTraceTree(run.root, 1, ray, &wf, &walk, 0, 0, -1, nullptr, 0);
            ASSERT_EQ(found != 0, fastFace != nullptr) << "ray " << r;
            if (found) {
                EXPECT_EQ(wf->face, fastFace) << "ray " << r;
                EXPECT_EQ(wf->node, fastNode) << "ray " << r;
                EXPECT_EQ(walk.t, fast.t) << "ray " << r;
                EXPECT_EQ(walk.u, fast.u) << "ray " << r;
                EXPECT_EQ(walk.v, fast.v) << "ray " << r;
                EXPECT_EQ(walk.triangle, fast.triangle) << "ray " << r;
                EXPECT_EQ(walk.behind, fast.behind) << "ray " << r;
                ++hits;
            }
            rtUnpin(wf);

            const float dist = r % 2 ? 1e20f : 4.0f;
            int partly = 0;
            float filter[3] = {0, 0, 0};
            const int shadow = rtShadowTest(&ray[0], &ray[1], dist, nullptr, nullptr, 0, &partly, filter, 0);
            RtHit any{};
            any.t = dist;
            any.filter[0] = any.filter[1] = any.filter[2] = 1.0f;
            RtFace* af = nullptr;
            const Vec3 moved[2] = {{ray[0].x + ray[1].x * RT_START_OFFSET, ray[0].y + ray[1].y * RT_START_OFFSET,
                                    ray[0].z + ray[1].z * RT_START_OFFSET},
                                   ray[1]};
            const int walked = rtTraceTree(run.root, 1, moved, &af, &any, 1, 0, -1, nullptr, 0);
            rtUnpin(af);
            ASSERT_EQ(shadow, walked) << "shadow ray " << r;
            if (!walked) {
                EXPECT_EQ(partly, int(any.partly)) << "shadow ray " << r;
                for (int c = 0; c < 3; ++c) EXPECT_EQ(filter[c], any.filter[c]) << "shadow ray " << r;
            }
            blocked += walked;
        }
        EXPECT_GT(hits, 1500u);
        EXPECT_GT(blocked, 500u);
    }
}

TEST_F(RayTreeTest, TreeShapeForSmallLeafCounts) {
    const struct {
        uint32_t leaves, records;
    } cases[] = {{1, 1}, {2, 3}, {3, 7}, {4, 7}, {5, 15}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.leaves);
        rtResetState();
        world.clear();
        for (uint32_t i = 0; i < k.leaves; ++i) {
            BuildSpec s;
            float x = 3.0f * float(i);
            s.positions = {{x, 0, 0}, {x + 1, 0, 0}, {x, 1, 0}};
            s.faces = {{{0, 1, 2, 2}, 0, 0}};
            s.materials = {material(1, 1, 1)};
            world.add(s);
        }
        world.prepare();
        EXPECT_EQ(rtState().treeRecords, k.records);
        EXPECT_EQ(rtState().root, rtState().tree);
        std::multiset<const RtFaceGroup*> leaves;
        collectLeaves(rtState().root, leaves);
        EXPECT_EQ(leaves.size(), k.leaves);
        EXPECT_EQ(std::set<const RtFaceGroup*>(leaves.begin(), leaves.end()).size(), k.leaves);
    }
}

TEST_F(RayTreeTest, ParentsFillTheirLevelFromTheEndBackwards) {
    // leaves at x = 0, 1, 10, 12, 30 in records 7..11
    for (float x : {0.0f, 1.0f, 10.0f, 12.0f, 30.0f}) {
        BuildSpec s;
        s.positions = {{x, 0, 0}, {x + 0.5f, 0, 0}, {x, 0.5f, 0}};
        s.faces = {{{0, 1, 2, 2}, 0, 0}};
        s.materials = {material(1, 1, 1)};
        world.add(s);
    }
    world.prepare();
    const RtTreeNode* t = rtState().tree;
    ASSERT_EQ(rtState().treeRecords, 15u);
    auto children = [](const RtTreeNode& n) { return std::set<const RtTreeNode*>{n.left, n.right}; };
    // level of five: the pairs (0, 1) and (10, 12) into records 5 and 4, the rest behind them in 3
    EXPECT_EQ(children(t[5]), (std::set<const RtTreeNode*>{t + 7, t + 8}));
    EXPECT_EQ(children(t[4]), (std::set<const RtTreeNode*>{t + 9, t + 10}));
    EXPECT_EQ(t[3].left, nullptr);
    EXPECT_EQ(t[3].group, t[11].group);
    // level of three: records 4 and 5 into record 2, record 3 behind them in 1
    EXPECT_EQ(children(t[2]), (std::set<const RtTreeNode*>{t + 4, t + 5}));
    EXPECT_EQ(t[1].left, nullptr);
    EXPECT_EQ(t[1].group, t[11].group);
    EXPECT_EQ(children(t[0]), (std::set<const RtTreeNode*>{t + 1, t + 2}));
}

// The pairing rule written out plainly: below 200 records the best pair of all, otherwise the
// first unpaired record with the later unpaired record of smallest union half area (the first
// one on equal areas); parents from the end of the parent level backwards, the unpaired
// record behind them. Answers the children's indices, parent by parent in array order.
std::vector<std::pair<int, int>> referencePairs(const std::vector<Box3>& boxes) {
    auto area = [](const Box3& a, const Box3& b) {
        float dx = std::max(a.max.x, b.max.x) - std::min(a.min.x, b.min.x);
        float dy = std::max(a.max.y, b.max.y) - std::min(a.min.y, b.min.y);
        float dz = std::max(a.max.z, b.max.z) - std::min(a.min.z, b.min.z);
        return dx * dy + dz * (dx + dy);
    };
    const int m = int(boxes.size());
    std::vector<bool> paired(size_t(m), false);
    std::vector<std::pair<int, int>> out(size_t((m + 1) / 2), {-1, -1});
    for (int k = 0; k < m / 2; ++k) {
        int bi = -1, bj = -1;
        float best = 1e20f;
        if (m < 200) {
            for (int i = 0; i < m; ++i)
                for (int j = i + 1; j < m; ++j)
                    if (!paired[size_t(i)] && !paired[size_t(j)] && area(boxes[size_t(i)], boxes[size_t(j)]) < best) {
                        best = area(boxes[size_t(i)], boxes[size_t(j)]);
                        bi = i, bj = j;
                    }
        } else {
            bi = 0;
            while (paired[size_t(bi)]) ++bi;
            for (int j = bi + 1; j < m; ++j)
                if (!paired[size_t(j)] && area(boxes[size_t(bi)], boxes[size_t(j)]) < best) {
                    best = area(boxes[size_t(bi)], boxes[size_t(j)]);
                    bj = j;
                }
        }
        paired[size_t(bi)] = paired[size_t(bj)] = true;
        out[out.size() - 1 - size_t(k)] = {bi, bj};
    }
    if (m % 2)
        for (int i = 0; i < m; ++i)
            if (!paired[size_t(i)]) out[0] = {i, -1};
    return out;
}

// Boxes of one generated level.
std::vector<Box3> levelBoxes(const char* kind, uint32_t m, std::mt19937& rng) {
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    auto box = [](float x, float y, float z, float dx, float dy, float dz) {
        return Box3{{x, y, z}, {x + dx, y + dy, z + dz}};
    };
    std::vector<Box3> b;
    const std::string k = kind;
    const float side = std::cbrt(float(m));
    for (uint32_t i = 0; i < m; ++i) {
        if (k == "scattered") {
            b.push_back(box(side * u(rng), side * u(rng), side * u(rng), 0.5f * u(rng), 0.5f * u(rng), 0.5f * u(rng)));
        } else if (k == "duplicates") {
            // copies of earlier boxes, some in runs
            if (i > 3 && u(rng) < 0.6f)
                b.push_back(b[size_t(rng() % i)]);
            else
                b.push_back(box(side * u(rng), side * u(rng), 0, 1, 1, 1));
        } else if (k == "grid ties") {
            // equal boxes on a lattice: many equal union areas, flat ones too
            const uint32_t n = uint32_t(side) + 1, c = rng() % (n * n * n);
            b.push_back(box(float(c % n), float((c / n) % n), float(c / (n * n)), 1, 1, (i % 3) ? 1.0f : 0.0f));
        } else if (k == "overlapping") {
            // large boxes around one centre: every union is large, pruning cannot help
            const float r = side * (0.3f + 0.7f * u(rng));
            b.push_back(box(-r * u(rng), -r * u(rng), -r * u(rng), r * (1 + u(rng)), r * (1 + u(rng)), r * (1 + u(rng))));
        } else {  // clusters with far outliers
            const uint32_t c = rng() % 7;
            const float x = (i % 97 == 0) ? 1000.0f * u(rng) : float(c) * 50.0f + u(rng);
            b.push_back(box(x, float(c) * 3.0f + u(rng), u(rng), 0.2f * u(rng), 0.2f, 0.1f * u(rng)));
        }
    }
    return b;
}

TEST_F(RayTreeTest, PartnerSearchPairsExactlyAsTheRule) {
    const struct {
        const char* kind;
        uint32_t records;
    } cases[] = {{"scattered", 200},  {"scattered", 201},   {"scattered", 5000},   {"scattered", 50000},
                 {"duplicates", 1001}, {"duplicates", 20000}, {"grid ties", 999},   {"grid ties", 20000},
                 {"overlapping", 3000}, {"overlapping", 20000}, {"clusters", 4000}, {"clusters", 20001}};
    std::mt19937 rng(99);
    for (const auto& k : cases) {
        SCOPED_TRACE(testing::Message() << k.kind << " " << k.records);
        std::vector<Box3> boxes = levelBoxes(k.kind, k.records, rng);
        // every level up to the root (the largest levels alone: the reference is quadratic)
        while (boxes.size() > 1 && (boxes.size() == k.records || k.records <= 5000)) {
            SCOPED_TRACE(boxes.size());
            const uint32_t m = uint32_t(boxes.size()), used = (m + 1) / 2;
            const std::vector<std::pair<int, int>> expect = referencePairs(boxes);
            for (uint32_t scanOnly = 0; scanOnly < 2; ++scanOnly) {
                if (scanOnly && m > 5000) continue;  // the scan is the reference's twin
                std::vector<RtTreeNode> children(m), parents(used);
                for (uint32_t i = 0; i < m; ++i) {
                    children[i].box = boxes[i];
                    children[i].flags = i % 2;
                }
                rtState().pairScanOnly = scanOnly;
                ASSERT_TRUE(rtBuildTreeLevel(parents.data(), children.data(), m, nullptr, 0));
                rtState().pairScanOnly = 0;
                for (uint32_t p = 0; p < used; ++p) {
                    const auto [ei, ej] = expect[p];
                    if (ej < 0) {
                        ASSERT_EQ(parents[p].left, nullptr) << p;
                        ASSERT_EQ(parents[p].flags, uint32_t(ei % 2)) << p;
                        continue;
                    }
                    ASSERT_NE(parents[p].left, nullptr) << p;
                    const std::set<int> got = {int(parents[p].left - children.data()),
                                               int(parents[p].right - children.data())};
                    ASSERT_EQ(got, (std::set<int>{ei, ej})) << "parent " << p;
                }
            }
            std::vector<Box3> next(used);
            for (uint32_t p = 0; p < used; ++p) {
                const auto [ei, ej] = expect[p];
                const Box3 &a = boxes[size_t(ei)], &b = ej < 0 ? a : boxes[size_t(ej)];
                next[p] = {{std::min(a.min.x, b.min.x), std::min(a.min.y, b.min.y), std::min(a.min.z, b.min.z)},
                           {std::max(a.max.x, b.max.x), std::max(a.max.y, b.max.y), std::max(a.max.z, b.max.z)}};
            }
            boxes.swap(next);
        }
    }
}

TEST_F(RayTreeTest, NodesWithoutFacesGiveAnEmptyTree) {
    BuildSpec s;  // no faces at all
    s.positions = {{0, 0, 0}};
    s.parts = {{1, 0}};
    PelContent* c = world.content(s);
    MatSetLink link{};
    MatSet set{};
    link.set = &set;
    c->matSets = &link;
    world.node(c);
    world.prepare();
    c->matSets = nullptr;
    EXPECT_EQ(rtState().root, nullptr);
    Vec3 ray[2] = {{0, 0, 5}, {0, 0, -1}};
    RtHit hit{};
    EXPECT_EQ(rtFindHit(ray, &hit, 0), nullptr);
}

// A grid of n x n quads with real neighbour links, in two parts.
BuildSpec gridSpec(uint32_t n) {
    BuildSpec s;
    for (uint32_t j = 0; j <= n; ++j)
        for (uint32_t i = 0; i <= n; ++i) s.positions.push_back({float(i), float(j), 0.1f * float((i * j) % 7)});
    auto v = [n](uint32_t i, uint32_t j) { return j * (n + 1) + i; };
    for (uint32_t j = 0; j < n; ++j)
        for (uint32_t i = 0; i < n; ++i)
            s.faces.push_back({{v(i, j), v(i + 1, j), v(i + 1, j + 1), v(i, j + 1)}, 0, FACE_QUAD});
    s.materials = {material(1, 1, 1)};
    uint32_t half = (n / 2) * n;  // rows below n/2, then the rest
    s.parts = {{uint32_t(s.positions.size()), half}, {0, n * n - half}};
    return s;
}

TEST_F(RayTreeTest, FaceGroupsReorderFacesAsPermutationKeepingNeighbours) {
    const uint32_t n = 40;
    PelContent* c = world.content(gridSpec(n));
    for (uint32_t j = 0; j < n; ++j)
        for (uint32_t i = 0; i < n; ++i) {
            PelFace& f = c->faces[j * n + i];
            uint32_t self = j * n + i;
            f.nb[0] = j > 0 ? self - n : self;
            f.nb[1] = i + 1 < n ? self + 1 : self;
            f.nb[2] = j + 1 < n ? self + n : self;
            f.nb[3] = i > 0 ? self - 1 : self;
        }
    std::multiset<std::vector<uint32_t>> before;
    for (uint32_t f = 0; f < c->faceCount; ++f)
        before.insert({c->faces[f].v[0], c->faces[f].v[1], c->faces[f].v[2], c->faces[f].v[3], c->faces[f].part});
    world.node(c);
    world.prepare();

    std::multiset<std::vector<uint32_t>> after;
    for (uint32_t f = 0; f < c->faceCount; ++f)
        after.insert({c->faces[f].v[0], c->faces[f].v[1], c->faces[f].v[2], c->faces[f].v[3], c->faces[f].part});
    EXPECT_EQ(before, after);
    ASSERT_GT(c->rtFaceGroupCount, 2u) << "the grid should split";
    auto* groups = static_cast<RtFaceGroup*>(c->rtFaceGroups);
    uint32_t next = 0;
    for (uint32_t g = 0; g < c->rtFaceGroupCount; ++g) {
        ASSERT_EQ(groups[g].first, c->faces + next) << "groups are consecutive";
        for (uint32_t k = 0; k < groups[g].faceCount; ++k)
            EXPECT_EQ(groups[g].first[k].part, groups[g].first[0].part) << "a group never spans two parts";
        next += groups[g].faceCount;
    }
    EXPECT_EQ(next, c->faceCount);
    for (uint32_t f = 0; f < c->faceCount; ++f)
        for (uint32_t e = 0; e < 4; ++e) {
            const PelFace& a = c->faces[f];
            ASSERT_LT(a.nb[e], c->faceCount);
            if (a.nb[e] == f) continue;
            const PelFace& b = c->faces[a.nb[e]];
            std::set<uint32_t> bv(b.v, b.v + 4);
            EXPECT_TRUE(bv.count(a.v[e]) && bv.count(a.v[(e + 1) % 4])) << "face " << f << " edge " << e;
        }
}

TEST_F(RayTreeTest, GroupsSplitOnlyWhenEverySubsetIsTwentySmaller) {
    // Flat triangles (split along x): `low` near x = -10, `high` near x = +10 and `across`
    // spanning the middle.
    const struct {
        uint32_t low, high, across, groups;
    } cases[] = {
        {10, 9, 0, 1},   // 19 faces: never split
        {20, 20, 0, 2},  // each side exactly 20 smaller: split, no straddling group
        {21, 19, 0, 1},  // one side only 19 smaller
        {19, 19, 1, 3},  // 39 faces: every subset 20 smaller
        {19, 19, 2, 3},  // 40 faces: every subset at least 20 smaller
        {5, 5, 30, 1},   // the straddling faces are only 10 fewer than the group
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(testing::Message() << k.low << "/" << k.high << "/" << k.across);
        world.clear();
        rtResetState();
        BuildSpec s;
        auto tri = [&](float x0, float x1, float y) {
            uint32_t b = uint32_t(s.positions.size());
            s.positions.push_back({x0, y, 0});
            s.positions.push_back({x1, y, 0});
            s.positions.push_back({x0, y + 0.1f, 0});
            s.faces.push_back({{b, b + 1, b + 2, b + 2}, 0, 0});
        };
        for (uint32_t i = 0; i < k.low; ++i) tri(-10.0f, -9.9f, 0.2f * float(i));
        for (uint32_t i = 0; i < k.high; ++i) tri(9.9f, 10.0f, 0.2f * float(i));
        for (uint32_t i = 0; i < k.across; ++i) tri(-5.0f, 5.0f, 0.2f * float(i));
        s.materials = {material(1, 1, 1)};
        world.add(s);
        world.prepare();
        EXPECT_EQ(world.contents[0]->rtFaceGroupCount, k.groups);
    }
}

TEST(RayTestsAlone, RayBoxAndParallelFaces) {
    Box3 b = {{0, 0, 0}, {1, 1, 1}};
    const struct {
        Vec3 o, d;
        float tmax;
        int expect;
    } cases[] = {
        {{0.5f, 0.5f, 5}, {0, 0, -1}, 1e20f, 1},
        {{0.5f, 0.5f, 5}, {0, 0, 1}, 1e20f, 0},      // pointing away
        {{0.5f, 0.5f, 5}, {0, 0, -1}, 3.0f, 0},      // box beyond tmax
        {{2.0f, 0.5f, 5}, {0, 0, -1}, 1e20f, 0},     // parallel axis outside the slab
        {{0.5f, 0.5f, 0.5f}, {1, 0, 0}, 1e20f, 1},   // starting inside
    };
    for (const auto& k : cases) {
        Vec3 ray[2] = {k.o, k.d};
        EXPECT_EQ(rtRayBox(&b, ray, k.tmax), k.expect);
    }
}

TEST(RayTestsAlone, RefractionFollowsSnellAndTotalReflection) {
    const struct {
        float degrees, from, to;
        int ok;
    } cases[] = {{0, 1.0f, 1.5f, 1}, {30, 1.0f, 1.5f, 1}, {60, 1.0f, 1.2f, 1}, {30, 1.5f, 1.0f, 1},
                 {41, 1.5f, 1.0f, 1}, {42, 1.5f, 1.0f, 0}, {60, 1.5f, 1.0f, 0}, {30, 1.0f, 0.0f, 0}};
    Vec3 n = {0, 0, 1};
    for (const auto& k : cases) {
        float a = k.degrees * 3.14159265f / 180.0f;
        Vec3 d = {std::sin(a), 0, -std::cos(a)};
        Vec3 t{};
        ASSERT_EQ(rtRefract(&d, &n, k.from, k.to, &t), k.ok) << k.degrees;
        if (!k.ok) continue;
        EXPECT_NEAR(std::sqrt(t.x * t.x + t.y * t.y + t.z * t.z), 1.0f, 1e-5f);
        EXPECT_NEAR(k.from * std::sin(a), k.to * t.x, 1e-5f) << k.degrees;
        EXPECT_LT(t.z, 0.0f);
    }
}

class RayShadeTest : public Clean {
protected:
    // Colour of one ray; the run's eye is the ray's origin.
    void shade(Vec3 o, Vec3 target, float rgb[3], uint32_t depth = 0, float weight = 1.0f) {
        Vec3 ray[2] = {o, norm({target.x - o.x, target.y - o.y, target.z - o.z})};
        rtState().eye = o;
        int behind = 0;
        rtShade(ray, depth, 0, 0, 1.0f, weight, RT_NO_HIT, 0, rgb, &behind, 0);
    }
    uint32_t light(Vec3 dir, uint32_t casts) {
        // a directional light is given by the direction its light travels
        Vec3 n = norm(dir);
        float pos[3] = {-n.x, -n.y, -n.z}, col[3] = {1, 1, 1};
        LightRecord* h = nullptr;
        EXPECT_TRUE(ltAdd(0, pos, col, casts, &h));
        uint32_t count = 0;
        ltActivateAll(&count);
        return count;
    }
};

TEST_F(RayShadeTest, LitQuadFollowsTheLightingFormulaAndShadows) {
    ScnNode* floor = world.add(quadSpec(-5, -5, 5, 5, 0, material(0.6f, 0.4f, 0.2f)));
    BuildSpec occ = quadSpec(-1, -1, 1, 1, 0.5f, material(1, 1, 1), FACE_TWO_SIDED);
    world.add(occ);
    Vec3 towards = norm({0, 1, 1});
    uint32_t lights = light(towards, 1);
    world.prepare(1, lights);
    ltSetShadowTest(rtShadowTestHook);
    RtRunState& run = rtState();
    const MatRecord& m = floor->materials[0];
    const float d = towards.z;
    for (uint32_t shadows : {0u, 1u}) {
        run.shadows = shadows;
        float lit[3], under[3];
        shade({3, 0, 4}, {3, -3, 0}, lit);  // far from the occluder
        shade({0, -1.3f, 4}, {0, -1.3f, 0}, under);  // in the shadow, beside the occluder
        for (int i = 0; i < 3; ++i) {
            float expect = std::min(m.ambient[i] + m.diffuse[i] * d, m.modulation[i]);
            EXPECT_NEAR(lit[i], expect, 1e-5f) << i;
            EXPECT_NEAR(under[i], shadows ? std::min(m.ambient[i], m.modulation[i]) : expect, 1e-5f) << i;
        }
    }
}

TEST_F(RayShadeTest, MirrorAddsTheReflectedColour) {
    MatInput mirror = material(0.2f, 0.2f, 0.2f, 1.0f);
    world.add(quadSpec(-5, -5, 5, 5, 0, mirror));
    BuildSpec wall;
    wall.positions = {{2, -1, 0}, {2, 1, 0}, {2, 1, 4}, {2, -1, 4}};
    wall.faces = {{{0, 1, 2, 3}, 0, uint16_t(FACE_QUAD | FACE_TWO_SIDED)}};
    wall.materials = {material(0.9f, 0.1f, 0.1f)};
    world.add(wall);
    world.prepare(1, light({-1, 0.2f, 1}, 0));
    RtRunState& run = rtState();
    float off[3], on[3], seen[3];
    run.reflections = 0;
    shade({-2, 0, 2}, {0, 0, 0}, off);
    run.reflections = 1;
    shade({-2, 0, 2}, {0, 0, 0}, on);
    shade({0, 0, 0.0001f}, {2, 0, 2.0001f}, seen);  // what the mirror sees
    for (int i = 0; i < 3; ++i) {
        EXPECT_GT(seen[i], 0.0f);
        EXPECT_NEAR(on[i], off[i] + RT_LIGHT_SCALE * seen[i], 1e-4f) << i;
    }
}

TEST_F(RayShadeTest, DepthAndWeightCutOffs) {
    world.add(quadSpec(-5, -5, 5, 5, 0, material(0.6f, 0.4f, 0.2f)));
    world.prepare(1, light({0, 0, 1}, 0));
    const struct {
        uint32_t depth;
        float weight;
        bool black;
    } cases[] = {{0, 1.0f, false}, {3, 1.0f, false}, {4, 1.0f, true}, {0, 0.03f, false}, {0, 0.029f, true}};
    for (const auto& k : cases) {
        float c[3];
        shade({0, 0, 4}, {0, 0, 0}, c, k.depth, k.weight);
        EXPECT_EQ(c[0] == 0 && c[1] == 0 && c[2] == 0, k.black) << k.depth << " " << k.weight;
    }
}

// Glass (alpha 0.5, no lights: every surface shows its ambient colour L) over a floor that is
// red below x = 4.93 and green beyond. A ray from (0, 0, 5) at 45 degrees meets the glass top
// (z = 1) at x = 4; bent by the index 1.2 it reaches the floor on the red side, straight on it
// lands at x = 5 on the green side.
TEST_F(RayShadeTest, TransparentSlabBendsAndTransmits) {
    const float ambient[3] = {1, 1, 1};
    matSetGlobalColor(ambient);
    BuildSpec glass = quadSpec(-20, -20, 20, 20, 1, material(0.9f, 0.6f, 0.3f, 0.0f, 0.5f));
    BuildSpec bottom = quadSpec(-20, -20, 20, 20, 0.5f, material(0.9f, 0.6f, 0.3f, 0.0f, 0.5f));
    std::swap(bottom.faces[0].v[1], bottom.faces[0].v[3]);  // faces down
    auto base = [](const ScnNode* n, int i) {
        const MatRecord& m = n->materials[0];
        EXPECT_GT(m.ambient[i], 0.0f);
        return std::min(m.ambient[i], m.modulation[i]);
    };
    const Vec3 eye = {0, 0, 5}, aim = {5, 0, 0};
    const float a = 0.5f;
    const struct {
        const char* what;
        bool closed, refraction;
    } cases[] = {{"entering an open sheet", false, true},
                 {"entering and leaving a closed slab", true, true},
                 {"refraction off", true, false}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        world.clear();
        rtResetState();
        ScnNode* red = world.add(quadSpec(-20, -20, 4.93f, 20, 0, material(0.9f, 0.1f, 0.1f)));
        ScnNode* green = world.add(quadSpec(4.93f, -20, 20, 20, 0, material(0.1f, 0.9f, 0.1f)));
        ScnNode* top = world.add(glass);
        if (k.closed) world.add(bottom);
        world.prepare();
        rtState().refraction = k.refraction ? 1u : 0u;
        const float* d = top->materials[0].colDifuse;
        float got[3];
        shade(eye, aim, got);
        for (int i = 0; i < 3; ++i) {
            const float L = base(top, i), R = base(red, i), G = base(green, i);
            float expect;
            if (!k.refraction)
                expect = G * (1 - a) * d[i] + a * L;  // straight through both faces
            else if (!k.closed)
                expect = d[i] * (1 - a) * R + a * L;  // entering; the floor is not hit from behind
            else  // entering; the ray inside leaves through the bottom, hit from behind, with inside set
                expect = (a / 2) * L + d[i] * ((a / 2) * L + (1 - a) * R);
            EXPECT_NEAR(got[i], expect, 1e-5f) << "channel " << i;
        }
        if (k.closed && k.refraction) {
            // leaving without `inside`: a ray that starts in the glass on the bent path
            const float s = std::sin(3.14159265f / 4) / 1.2f;
            Vec3 ray[2] = {{4.0f + 0.01f * s / std::sqrt(1 - s * s), 0, 0.99f}, {s, 0, -std::sqrt(1 - s * s)}};
            rtState().eye = ray[0];
            int behind = 0;
            rtShade(ray, 0, 0, 0, 1.2f, 1.0f, RT_NO_HIT, 0, got, &behind, 0);
            EXPECT_EQ(behind, 1);
            for (int i = 0; i < 3; ++i)
                EXPECT_NEAR(got[i], d[i] * (1 - a) * base(red, i) + a * base(top, i), 1e-5f) << "leaving, " << i;
        }
    }
}

// The remembered occluder obeys the same rules as the full test.
TEST_F(RayShadeTest, RememberedOccluderObeysTheFullTestRules) {
    const struct {
        const char* what;
        float distance;
        bool shadeOccluderItself;
        bool noShadowFlag;
    } cases[] = {{"light nearer than the occluder", 0.05f, false, false},
                 {"surface of the occluder's own node", 10.0f, true, false},
                 {"occluder node that casts no shadow", 10.0f, false, true}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        world.clear();
        rtResetState();
        ScnNode* floor = world.add(quadSpec(-5, -5, 5, 5, 0, material(1, 1, 1)));
        PelContent* oc = world.content(quadSpec(-1, -1, 1, 1, 0.5f, material(1, 1, 1), FACE_TWO_SIDED));
        oc->parts[0].flags |= 1u;  // no self-shadow
        ScnNode* occ = world.node(oc);
        world.prepare(1, 1);
        Vec3 p = {0, 0, 0.4f}, up = {0, 0, 1};
        RtThreadState::Occluder slot{};
        int partly = 0;
        float filter[3];
        ASSERT_EQ(rtShadowTest(&p, &up, 10.0f, &slot, floor, 0, &partly, filter, 0), 1);
        ASSERT_NE(slot.face, nullptr);
        if (k.noShadowFlag) occ->flags |= NODE_NO_SHADOW;
        ScnNode* shaded = k.shadeOccluderItself ? occ : floor;
        RtThreadState::Occluder fresh{};
        EXPECT_EQ(rtShadowTest(&p, &up, k.distance, &fresh, shaded, 0, &partly, filter, 0), 0);
        EXPECT_EQ(rtShadowTest(&p, &up, k.distance, &slot, shaded, 0, &partly, filter, 0), 0);
    }
}

TEST_F(RayShadeTest, IdsThatWouldAliasAreRefused) {
    std::mt19937 rng(5);
    for (uint32_t faces : {8192u, 8193u}) {
        world.clear();
        ScnNode* n = world.add(randomSpec(rng, faces, {0, 0, 0}, 1, 0.1f));
        std::vector<ScnNode*> table(65536, n);  // 17 node bits leave 12 face bits: 4096 faces
        EXPECT_EQ(rtCheckIds(table.data(), 65535), faces <= 8192 ? 1 : 0);  // 16 bits leave 8192
        EXPECT_EQ(rtState().faceBits, 13u);
        EXPECT_EQ(rtCheckIds(table.data(), 65536), 0);
    }
    errReset();
}

// Unit sphere at the origin answered by a ray hook.
int sphereHook(ScnNode*, void* data) {
    auto* q = static_cast<RtRayQuery*>(data);
    const Vec3 &o = q->origin, &d = q->direction;
    float b = o.x * d.x + o.y * d.y + o.z * d.z, c = o.x * o.x + o.y * o.y + o.z * o.z - 1.0f;
    float disc = b * b - c;
    if (disc < 0) return 0;
    float t = -b - std::sqrt(disc);
    if (t < 0 || t >= q->best) return 0;
    q->t = t;
    q->normal = {o.x + t * d.x, o.y + t * d.y, o.z + t * d.z};
    q->material = 0;
    return 1;
}

TEST_F(RayShadeTest, ProceduralNodesAnswerThroughTheirHook) {
    PelContent* c = world.content(quadSpec(-1, -1, 1, 1, 0, material(0.2f, 0.9f, 0.2f)));
    c->box = {{-1, -1, -1}, {1, 1, 1}};
    ScnNode* n = world.node(c);
    n->rayHook = sphereHook;
    world.prepare(1, light({0, 0, 1}, 0));
    Vec3 ray[2] = {{0.3f, 0, 5}, {0, 0, -1}};
    RtHit hit{};
    RtFace* f = rtFindHit(ray, &hit, 0);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->node, n);
    EXPECT_NEAR(hit.t, 5.0f - std::sqrt(1.0f - 0.09f), 1e-5f);
    rtUnpin(f);
    RtHit any{};
    any.t = 3.0f;  // the sphere lies beyond
    RtFace* af = nullptr;
    EXPECT_EQ(rtTraceTree(rtState().root, 1, ray, &af, &any, 1, 0, -1, nullptr, 0), 0);
    any.t = 10.0f;
    EXPECT_EQ(rtTraceTree(rtState().root, 1, ray, &af, &any, 1, 0, -1, nullptr, 0), 1);
    float rgb[3];
    shade({0.3f, 0, 5}, {0.3f, 0, 0}, rgb);
    EXPECT_GT(rgb[1], rgb[0]) << "shaded with the node's material";
}

TEST_F(RayShadeTest, DoubleSidedFacesTurnToEveryRay) {
    ScnNode* two = world.add(quadSpec(-1, -1, 1, 1, 0, material(1, 1, 1, 0.0f, 0.5f), FACE_TWO_SIDED));
    ScnNode* one = world.add(quadSpec(-1, -1, 1, 1, 2, material(1, 1, 1)));
    world.prepare();
    rtState().refraction = 1;
    const Vec3 down = {0, 0, -1}, up = {0, 0, 1};
    for (const Vec3& d : {down, up, up, down}) {  // fresh entries, then entries made for the other side
        RtFace* f = rtFaceCache(0, &d, &two->content->faces[0], two, 0);
        ASSERT_NE(f, nullptr);
        EXPECT_LT(dot(f->normal, d), 0.0f);
        EXPECT_LT(dot(f->normal2, d), 0.0f);
        for (const Vec3& n : f->vnormal) EXPECT_LT(dot(n, d), 0.0f);
        EXPECT_NEAR(dot(f->normal, f->vertex[2]) + f->dist, 0.0f, 1e-6f) << "the plane still holds the face";
        RtFace* g = rtFaceCache(0, &d, &one->content->faces[0], one, 0);
        EXPECT_EQ(g->normal.z, 1.0f) << "a one-sided face keeps its side";
        // the transparent double-sided face is entered from either side, never left
        Vec3 ray[2] = {{0.3f, 0.2f, -d.z}, d};
        RtHit hit{};
        hit.t = 1.5f;
        RtFace* h = nullptr;
        ASSERT_EQ(rtTraceTree(rtState().root, 1, ray, &h, &hit, 0, 0, -1, nullptr, 0), 1);
        EXPECT_EQ(h->face, &two->content->faces[0]);
        EXPECT_EQ(hit.behind, 0u);
        rtUnpin(h);
    }
}

// Both triangles of a quad keep the face's sides: a one-sided quad seen from behind is missed
// through its second triangle (V0, V2, V3) as through its first; a double-sided one is hit.
TEST_F(RayShadeTest, QuadTrianglesShareTheFaceSides) {
    ScnNode* one = world.add(quadSpec(-1, -1, 1, 1, 0, material(1, 1, 1)));
    ScnNode* two = world.add(quadSpec(-1, -1, 1, 1, 2, material(1, 1, 1), FACE_TWO_SIDED));
    world.prepare();
    const Vec3 down = {0, 0, -1}, up = {0, 0, 1};
    struct Case {
        ScnNode* node;
        float z;  // ray start above (down) or below (up) the face
        Vec3 d;
        float x, y;  // first triangle below the diagonal y = x, second above it
        int hit, triangle;
    } cases[] = {
        {one, 5, down, 0.5f, -0.5f, 1, 0}, {one, 5, down, -0.5f, 0.5f, 1, 1},
        {one, -5, up, 0.5f, -0.5f, 0, 0},  {one, -5, up, -0.5f, 0.5f, 0, 0},
        {two, -5, up, 0.5f, -0.5f, 1, 0},  {two, -5, up, -0.5f, 0.5f, 1, 1},
    };
    for (const Case& k : cases) {
        RtFace* f = rtFaceCache(0, &k.d, &k.node->content->faces[0], k.node, 0);
        ASSERT_NE(f, nullptr);
        const Vec3 ray[2] = {{k.x, k.y, k.z}, k.d};
        RtHit hit{};
        hit.t = RT_FAR;
        const int twoSided = (f->flags & RT_FACE_TWO_SIDED) ? 1 : 0;
        EXPECT_EQ(rtIntersectFace(0, ray, f, &hit, twoSided), k.hit) << k.x << "," << k.y << " from z " << k.z;
        if (k.hit) {
            EXPECT_EQ(hit.triangle, uint32_t(k.triangle));
        }
    }
}

// The inside of a unit sphere at the origin, for rays that start in it.
int insideSphereHook(ScnNode*, void* data) {
    auto* q = static_cast<RtRayQuery*>(data);
    const Vec3 &o = q->origin, &d = q->direction;
    float b = o.x * d.x + o.y * d.y + o.z * d.z, c = o.x * o.x + o.y * o.y + o.z * o.z - 1.0f;
    float t = -b + std::sqrt(b * b - c);
    if (c >= 0 || t >= q->best) return 0;
    q->t = t;
    q->normal = {o.x + t * d.x, o.y + t * d.y, o.z + t * d.z};
    q->material = 0;
    return 1;
}

// A hit from behind on a double-sided glass material: the surface normal already faces the
// ray, and stays so; turned once more it would send the transmitted ray back inside.
TEST_F(RayShadeTest, LeavingDoubleSidedGlassGoesOn) {
    const float ambient[3] = {1, 1, 1};
    matSetGlobalColor(ambient);
    MatInput glass = material(0.8f, 0.6f, 0.4f, 0.0f, 0.5f);
    glass.flags |= qivMatFlagTwoSided;
    PelContent* c = world.content(quadSpec(-1, -1, 1, 1, 0, glass));
    c->box = {{-1, -1, -1}, {1, 1, 1}};
    ScnNode* n = world.node(c);
    n->rayHook = insideSphereHook;
    world.prepare();
    RtRunState& run = rtState();
    run.eye = {0, 0, 0};
    Vec3 ray[2] = {{0, 0, 0}, norm({0.3f, 0.2f, 1.0f})};
    float straight[3], bent[3];
    int behind = 0;
    run.refraction = 0;
    rtShade(ray, 0, 0, 0, 1.0f, 1.0f, RT_NO_HIT, 0, straight, &behind, 0);
    EXPECT_EQ(behind, 1);
    run.refraction = 1;
    rtShade(ray, 0, 0, 0, 1.0f, 1.0f, RT_NO_HIT, 0, bent, &behind, 0);
    EXPECT_EQ(behind, 1);
    // both leave into the black surroundings: the glass's own share, a x L, is all that shows
    const MatRecord& m = n->materials[0];
    for (int i = 0; i < 3; ++i) {
        const float own = 0.5f * std::min(m.ambient[i], m.modulation[i]);
        EXPECT_GT(own, 0.0f);
        EXPECT_NEAR(straight[i], own, 1e-6f) << i;
        EXPECT_NEAR(bent[i], own, 1e-6f) << i;
    }
}

TEST_F(RayShadeTest, FaceIdRoundTrip) {
    std::mt19937 rng(9);
    world.add(randomSpec(rng, 50, {0, 0, 0}, 1, 0.2f));
    world.add(randomSpec(rng, 70, {3, 0, 0}, 1, 0.2f));
    world.add(randomSpec(rng, 30, {6, 0, 0}, 1, 0.2f));
    world.prepare();
    Vec3 d = {0, 0, -1};
    for (ScnNode* n : world.nodes)
        for (uint32_t f = 0; f < n->content->faceCount; f += 7) {
            uint32_t id;
            rtFaceId(&n->content->faces[f], n, &id);
            RtFace* e = rtFaceFromId(0, &d, id | (2u << 29));
            ASSERT_NE(e, nullptr);
            EXPECT_EQ(e->face, &n->content->faces[f]);
            EXPECT_EQ(e->node, n);
            EXPECT_EQ(e->mipLevel, 2u);
        }
}

}  // namespace
