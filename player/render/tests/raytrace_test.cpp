// Ray tracer core: trees against brute force, tree shapes, face groups, shading.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>

#include "render/tests/rt_fixture.h"

using namespace rtfix;

namespace {

Vec3 norm(Vec3 v) {
    vecNormalize(&v);
    return v;
}

// Closest hit over every face of every node, each face prepared afresh.
float bruteClosest(const std::vector<ScnNode*>& nodes, const Vec3 ray[2]) {
    float best = RT_FAR;
    for (ScnNode* n : nodes)
        for (uint32_t i = 0; i < n->content->faceCount; ++i) {
            RtFace f{};
            rtPrepareFace(&ray[1], n, &n->content->faces[i], &f);
            RtHit h{};
            h.t = best;
            if (rtIntersectFace(0, ray, &f, &h, (f.flags & RT_FACE_TWO_SIDED) ? 1 : 0)) best = h.t;
        }
    return best;
}

class RayTreeTest : public Clean {};

TEST_F(RayTreeTest, ClosestAndAnyHitMatchBruteForce) {
    struct Case {
        const char* what;
        uint32_t nodes, faces;
        bool oneGroup;  // faces all straddle: one group larger than a thread's face cache
    };
    const Case cases[] = {{"several placed nodes", 4, 400, false}, {"one unsplittable group", 1, 9000, true}};
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
        if (k.oneGroup) {
            ASSERT_EQ(world.contents[0]->rtFaceGroupCount, 1u);
            ASSERT_GT(world.contents[0]->faceCount, RT_CACHE_USED);
        }
        uint32_t hits = 0, blocked = 0;
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
            float expect = bruteClosest(world.nodes, ray);
            RtHit hit{};
            RtFace* f = rtFindHit(ray, &hit, 0);
            if (expect < RT_FAR) {
                ASSERT_NE(f, nullptr) << "ray " << r;
                EXPECT_EQ(hit.t, expect) << "ray " << r;
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
            EXPECT_EQ(got != 0, expect < dist) << "ray " << r;
            blocked += got != 0;
        }
        EXPECT_GT(hits, uint32_t(rays / 4));
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

TEST_F(RayTreeTest, SmallGroupsStayWhole) {
    for (uint32_t faces : {19u, 20u}) {
        world.clear();
        rtResetState();
        std::mt19937 rng(faces);
        world.add(randomSpec(rng, faces, {0, 0, 0}, 5.0f, 0.1f));
        world.prepare();
        // below 20 faces no split; at 20 every subset would have to be 20 smaller: never
        EXPECT_EQ(world.contents[0]->rtFaceGroupCount, 1u) << faces;
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

TEST_F(RayShadeTest, TransparentSlabBendsAndTransmits) {
    // a slab of glass: entering bends toward the normal; the floor colour shows through
    world.add(quadSpec(-20, -20, 20, 20, 0, material(0.1f, 0.9f, 0.1f)));
    BuildSpec slab = quadSpec(-20, -20, 20, 20, 1, material(1, 1, 1, 0.0f, 0.5f));
    world.add(slab);
    world.prepare(1, light({0, 0, 1}, 0));
    RtRunState& run = rtState();
    run.refraction = 1;
    float with[3];
    shade({0, 0, 5}, {1, 0, 0}, with);
    EXPECT_GT(with[1], with[0]) << "the green floor is seen through the glass";
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
