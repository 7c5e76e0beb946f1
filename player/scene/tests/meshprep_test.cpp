#include "scene/meshprep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "scene/anim.h"
#include "scene/contentlist.h"
#include "scene/engine.h"
#include "scene/light.h"
#include "scene/material.h"
#include "scene/pelchunk.h"
#include "scene/scene.h"
#include "scene/tests/content_builder.h"

namespace {

uint32_t cornersOf(const PelFace& f) { return (f.flags & FACE_QUAD) ? 4 : 3; }

bool samePos(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

double length(const Vec3& v) { return std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z); }

// What every prepared content must satisfy.
void expectPrepared(const PelContent* c) {
    ASSERT_NE(c, nullptr);
    uint32_t v = 0, f = 0;
    for (uint32_t p = 0; p < c->partCount; ++p) {
        EXPECT_EQ(c->parts[p].firstVertex, c->vertices + v);
        EXPECT_EQ(c->parts[p].firstFace, c->faces + f);
        v += c->parts[p].vertexCount;
        f += c->parts[p].faceCount;
    }
    EXPECT_EQ(v, c->vertexCount);
    EXPECT_EQ(f, c->faceCount);
    for (uint32_t i = 0; i < c->vertexCount; ++i) {
        const PelNormal* n = c->vertices[i].normal;
        ASSERT_TRUE(n >= c->vertexNormals && n < c->vertexNormals + c->vertexNormalCount) << "vertex " << i;
        EXPECT_NEAR(length(n->normal), 1.0, 1e-5);
    }
    for (uint32_t i = 0; i < c->faceCount; ++i) {
        const PelFace& face = c->faces[i];
        ASSERT_TRUE(face.normal >= c->faceNormals && face.normal < c->faceNormals + c->faceNormalCount);
        EXPECT_NEAR(length(face.normal->normal), 1.0, 1e-5);
        EXPECT_FALSE(face.flags & (FACE_FRONT_CACHED | FACE_FACING_DECIDED)) << "face " << i;
        const uint32_t n = cornersOf(face);
        for (uint32_t k = 0; k < n; ++k) {
            const uint32_t g = face.nb[k];
            ASSERT_LT(g, c->faceCount);
            if (g == i) {
                if (!(c->parts[face.part].flags & PART_TRANSLUCENT))
                    EXPECT_TRUE(face.flags & (FACE_OPEN_EDGE0 << k)) << "open edge without its flag, face " << i;
                continue;
            }
            // Symmetric: the neighbour names this face back, across an edge
            // with a common end point.
            const PelFace& other = c->faces[g];
            const Vec3& a = c->vertices[face.v[k]].pos;
            const Vec3& b = c->vertices[face.v[(k + 1) % n]].pos;
            bool back = false;
            for (uint32_t j = 0; j < cornersOf(other); ++j) {
                const Vec3& x = c->vertices[other.v[j]].pos;
                const Vec3& y = c->vertices[other.v[(j + 1) % cornersOf(other)]].pos;
                back |= other.nb[j] == i && (samePos(x, a) || samePos(x, b) || samePos(y, a) || samePos(y, b));
            }
            EXPECT_TRUE(back) << "face " << i << " edge " << k << " -> " << g;
        }
    }
}

uint32_t hardEdges(const PelFace& f) {
    uint32_t n = 0;
    for (uint32_t k = 0; k < cornersOf(f); ++k) n += (f.flags & (FACE_OPEN_EDGE0 << k)) ? 1 : 0;
    return n;
}

// Closed unit cube of twelve outward triangles on eight shared vertices.
BuildSpec cubeSpec() {
    BuildSpec s;
    for (int i = 0; i < 8; ++i) s.positions.push_back({float(i & 1), float((i >> 1) & 1), float((i >> 2) & 1)});
    const uint32_t quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& q : quads) {
        s.faces.push_back({{q[0], q[1], q[2], 0}});
        s.faces.push_back({{q[0], q[2], q[3], 0}});
    }
    s.materials = {plainMaterial(1, 1, 1)};
    return s;
}

class MeshPrep : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset() {
        errReset();
        ltReset();
        matReset();
        pelResetObjectList();
        pelResetConnectStats();
    }
    // Prepares with the crease angle; connect and merge as given.
    static int prep(PelContent** c, float crease, uint32_t connect = 1, uint32_t merge = 0, uint32_t keepOrder = 0) {
        uint32_t size = 0;
        int r = pelConnectEdges(c, &size, 0, crease, merge, keepOrder, 0, 0, nullptr, 0, nullptr, connect);
        if (r) EXPECT_GT(size, sizeof(PelContent));
        return r;
    }
    static PelConnectStats stats() {
        PelConnectStats s{};
        pelGetConnectStats(&s);
        return s;
    }
};

TEST_F(MeshPrep, ClosedCubeCreasesAndNormals) {
    struct Case {
        float crease;
        uint32_t merge;
        uint32_t faces;
        uint32_t hardPerFace;
        bool smoothFlag;
    } cases[] = {
        {30.0f, 0, 12, 2, true},    // cube edges hard, diagonals smooth
        {179.0f, 0, 12, 0, true},   // everything smooth
        {120.0f, 0, 12, 0, true},
        {30.0f, 1, 6, 4, false},    // merged into six quads, all edges hard
        {179.0f, 1, 6, 0, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.crease << " merge " << k.merge);
        PelContent* c = buildContent(cubeSpec());
        ASSERT_EQ(prep(&c, k.crease, 1, k.merge), 1);
        expectPrepared(c);
        EXPECT_EQ(stats().boundingEdges, 0u) << "closed: nothing to connect";
        EXPECT_EQ(stats().joined, 0u);
        ASSERT_EQ(c->faceCount, k.faces);
        EXPECT_EQ(c->faceNormalCount, 6u) << "coplanar faces share one normal";
        for (uint32_t i = 0; i < c->faceCount; ++i) {
            const PelFace& f = c->faces[i];
            EXPECT_EQ(hardEdges(f), k.hardPerFace) << "face " << i;
            EXPECT_EQ(bool(f.flags & 2), k.smoothFlag) << "face " << i;
            for (uint32_t e = 0; e < cornersOf(f); ++e) EXPECT_NE(f.nb[e], i);
        }
        EXPECT_LE(c->vertexNormalCount, c->vertexCount);
        pelFreeObject(&c);
    }
}

// Open edges of different faces are joined when the end points of one lie on
// the other; nothing else is.
TEST_F(MeshPrep, BoundingEdgeConnection) {
    struct Case {
        const char* name;
        std::vector<Vec3> positions;
        std::vector<BuildFace> faces;
        uint32_t joined;
    } cases[] = {
        {"folded pair with own vertices",
         {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0.5f}},
         {{{0, 1, 2, 0}}, {{3, 4, 5, 0}}},
         2},
        {"shorter edge from an end point along a longer one",
         {{0, 0, 0}, {2, 0, 0}, {1, -1, 0}, {2, 0, 0}, {0.5f, 0, 0}, {1, 1, 0}},
         {{{0, 1, 2, 0}}, {{3, 4, 5, 0}}},
         2},
        {"crossing edges: end points near but off the segment",
         {{0, 0, 0}, {2, 0, 0}, {1, -1, 1}, {1, 0.9f, 0}, {1, -0.9f, 0}, {3, 0, 5}},
         {{{0, 1, 2, 0}}, {{3, 4, 5, 0}}},
         0},
        {"sliver whose two edges coincide",
         {{0, 0, 0}, {1, 0, 0}, {0, 0, 0}},
         {{{0, 1, 2, 0}}},
         0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        BuildSpec s;
        s.positions = k.positions;
        s.faces = k.faces;
        s.materials = {plainMaterial(1, 1, 1)};
        PelContent* c = buildContent(s);
        ASSERT_EQ(prep(&c, 179.0f), 1);
        expectPrepared(c);
        EXPECT_EQ(stats().joined, k.joined);
        uint32_t linked = 0;
        for (uint32_t i = 0; i < c->faceCount; ++i)
            for (uint32_t e = 0; e < 3; ++e) linked += c->faces[i].nb[e] != i ? 1 : 0;
        EXPECT_EQ(linked, k.joined);
        pelFreeObject(&c);
    }
}

// The joining rule, walked pair by pair: each open edge in face and edge order takes the
// lowest later open edge of another face whose end points both lie within the tolerance
// of it (and inside its x range widened by the tolerance's root).
double refSegmentDist2(const Vec3& p, const Vec3& a, const Vec3& b) {
    double ex = double(b.x) - a.x, ey = double(b.y) - a.y, ez = double(b.z) - a.z;
    double px = double(p.x) - a.x, py = double(p.y) - a.y, pz = double(p.z) - a.z;
    double ee = ex * ex + ey * ey + ez * ez;
    double t = ee > 0.0 ? (px * ex + py * ey + pz * ez) / ee : 0.0;
    t = std::min(std::max(t, 0.0), 1.0);
    double dx = px - t * ex, dy = py - t * ey, dz = pz - t * ez;
    return dx * dx + dy * dy + dz * dz;
}

// Expected neighbour of every face edge of a content whose faces share no vertex.
std::vector<uint32_t> referenceJoins(const BuildSpec& s) {
    struct Rec {
        uint32_t face, edge;
        Vec3 a, b;
        float minX, maxX;
        bool joined;
    };
    std::vector<Rec> rec;
    std::vector<uint32_t> nb(s.faces.size() * 4);
    for (uint32_t f = 0; f < s.faces.size(); ++f) {
        const uint32_t n = (s.faces[f].flags & FACE_QUAD) ? 4 : 3;
        for (uint32_t k = 0; k < 4; ++k) nb[4 * f + k] = f;
        for (uint32_t k = 0; k < n; ++k) {
            const Vec3 a = s.positions[s.faces[f].v[k]], b = s.positions[s.faces[f].v[(k + 1) % n]];
            rec.push_back({f, k, a, b, std::min(a.x, b.x), std::max(a.x, b.x), false});
        }
    }
    Box3 all = {{1e20f, 1e20f, 1e20f}, {-1e20f, -1e20f, -1e20f}};
    for (const Vec3& q : s.positions) {
        all.min = {std::min(all.min.x, q.x), std::min(all.min.y, q.y), std::min(all.min.z, q.z)};
        all.max = {std::max(all.max.x, q.x), std::max(all.max.y, q.y), std::max(all.max.z, q.z)};
    }
    const double dx = double(all.max.x) - all.min.x, dy = double(all.max.y) - all.min.y,
                 dz = double(all.max.z) - all.min.z;
    const double tol = float(double(PEL_JOIN_FACTOR) * (dx * dx + dy * dy + dz * dz));
    const float slack = float(std::sqrt(tol)) + 1e-30f;
    for (size_t i = 0; i < rec.size(); ++i) {
        Rec& ri = rec[i];
        if (ri.joined) continue;
        for (size_t j = i + 1; j < rec.size(); ++j) {
            const Rec& rj = rec[j];
            if (rj.joined || rj.face == ri.face || rj.minX < ri.minX - slack || rj.minX > ri.maxX + slack ||
                rj.maxX > ri.maxX + slack || refSegmentDist2(rj.a, ri.a, ri.b) > tol ||
                refSegmentDist2(rj.b, ri.a, ri.b) > tol)
                continue;
            nb[4 * ri.face + ri.edge] = rj.face;
            nb[4 * rj.face + rj.edge] = ri.face;
            ri.joined = rec[j].joined = true;
            break;
        }
    }
    return nb;
}

// Faces with vertices of their own on a small grid: coincident and overlapping edges,
// edges along longer ones, flat meshes in a plane x = const, quadrilaterals, and end
// points moved by less than the tolerance.
TEST_F(MeshPrep, ConnectionJoinsLikeThePairwiseRule) {
    uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    uint64_t joinedSum = 0;
    for (int round = 0; round < 60; ++round) {
        const bool flat = round % 3 == 0;
        BuildSpec s;
        s.materials = {plainMaterial(1, 1, 1)};
        const int faces = 5 + int(next() % 60);
        for (int f = 0; f < faces; ++f) {
            const bool quad = next() % 5 == 0;
            const uint32_t first = uint32_t(s.positions.size());
            for (int k = 0; k < (quad ? 4 : 3); ++k) {
                Vec3 p = {flat ? 1.0f : float(next() % 3), float(next() % 4), float(next() % 4)};
                if (next() % 7 == 0) p.y += 1e-6f;  // within the tolerance
                if (next() % 11 == 0) p.z += 0.5f;  // halfway along an edge
                s.positions.push_back(p);
            }
            BuildFace bf{{first, first + 1, first + 2, quad ? first + 3 : first + 2}};
            if (quad) bf.flags = FACE_QUAD;
            s.faces.push_back(bf);
        }
        const std::vector<uint32_t> expected = referenceJoins(s);
        PelContent* c = buildContent(s);
        ASSERT_EQ(prep(&c, 179.0f, 1, 0, 1), 1) << round;
        ASSERT_EQ(c->faceCount, s.faces.size());
        uint32_t mismatches = 0;
        for (uint32_t f = 0; f < c->faceCount; ++f)
            for (uint32_t k = 0; k < cornersOf(c->faces[f]); ++k) mismatches += c->faces[f].nb[k] != expected[4 * f + k];
        EXPECT_EQ(mismatches, 0u) << "round " << round;
        joinedSum += stats().joined;
        pelFreeObject(&c);
    }
    EXPECT_GT(joinedSum, 100u);  // the meshes did join
}

// Open edges that share their x (a flat mesh in a plane x = const, coincident faces) and
// faces around one vertex cost a few tests each, not one per other edge.
TEST_F(MeshPrep, ConnectionWorkGrowsWithTheEdges) {
    const uint32_t n = 3000;
    struct Case {
        const char* name;
        bool coincident;
    } cases[] = {{"flat, nothing to join", false}, {"coincident", true}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        BuildSpec s;
        s.materials = {plainMaterial(1, 1, 1)};
        for (uint32_t f = 0; f < n; ++f) {
            const float y = k.coincident ? 0.0f : float(f % 60) * 3.0f, z = k.coincident ? 0.0f : float(f / 60) * 3.0f;
            const uint32_t first = uint32_t(s.positions.size());
            s.positions.push_back({5, y, z});
            s.positions.push_back({5, y + 1, z});
            s.positions.push_back({5, y, z + 1});
            s.faces.push_back({{first, first + 1, first + 2, first + 2}});
        }
        PelContent* c = buildContent(s);
        ASSERT_EQ(prep(&c, 179.0f, 1, 0, 1), 1);
        const PelConnectStats st = stats();
        EXPECT_EQ(st.boundingEdges, 3 * n);
        EXPECT_EQ(st.joined, k.coincident ? 3 * n : 0u);
        EXPECT_LT(st.edgeTests, uint64_t(20) * st.boundingEdges);
        pelFreeObject(&c);
    }
    // A closed fan: every edge from the centre is shared by two of its n faces.
    BuildSpec s;
    s.materials = {plainMaterial(1, 1, 1)};
    s.positions.push_back({0, 0, 0});
    for (uint32_t i = 0; i < n; ++i) {
        const double a = 2.0 * 3.14159265358979 * i / n;
        s.positions.push_back({float(std::cos(a)), float(std::sin(a)), 0});
    }
    for (uint32_t i = 0; i < n; ++i) s.faces.push_back({{0, 1 + i, 1 + (i + 1) % n, 0}});
    PelContent* c = buildContent(s);
    ASSERT_EQ(prep(&c, 179.0f, 1, 0, 1), 1);
    uint32_t linked = 0;
    for (uint32_t f = 0; f < c->faceCount; ++f)
        for (uint32_t e = 0; e < 3; ++e) linked += c->faces[f].nb[e] != f ? 1 : 0;
    EXPECT_EQ(linked, 2 * n);
    EXPECT_LT(stats().neighbourTests, uint64_t(10) * n);
    pelFreeObject(&c);
}

TEST_F(MeshPrep, JoinedVerticesShareTheirNormals) {
    BuildSpec s;
    s.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0.5f}};
    s.faces = {{{0, 1, 2, 0}}, {{3, 4, 5, 0}}};
    s.materials = {plainMaterial(1, 1, 1)};
    PelContent* c = buildContent(s);
    ASSERT_EQ(prep(&c, 179.0f), 1);
    // Vertices 1 and 4, 2 and 3 meet: each sums both faces.
    const Vec3 n1 = c->vertices[1].normal->normal, n4 = c->vertices[4].normal->normal;
    EXPECT_NEAR(n1.x, n4.x, 1e-6);
    EXPECT_NEAR(n1.y, n4.y, 1e-6);
    EXPECT_NEAR(n1.z, n4.z, 1e-6);
    EXPECT_LT(std::fabs(n1.x - c->faces[0].normal->normal.x) + std::fabs(n1.y - c->faces[0].normal->normal.y), 2.0);
    EXPECT_GT(std::fabs(n1.y - c->faces[0].normal->normal.y) + std::fabs(n1.x - c->faces[0].normal->normal.x), 1e-3)
        << "not just the first face's normal";
    EXPECT_EQ(c->vertices[2].normal, c->vertices[3].normal) << "equal sums share one entry";
    pelFreeObject(&c);
}

// Sorting parts moves every per-part datum with its part.
TEST_F(MeshPrep, PartSortCarriesPerPartData) {
    BuildSpec s;
    // Part 0: large and translucent; part 1: small and opaque.
    s.positions = {{0, 0, 0}, {4, 0, 0}, {0, 4, 4}, {0, 0, 9}, {1, 0, 9}, {0, 1, 9}};
    s.faces = {{{0, 1, 2, 0}, 1}, {{3, 4, 5, 0}, 0}};
    s.parts = {{3, 1}, {3, 1}};
    MatInput glass = plainMaterial(0, 0, 1);
    glass.alpha = 0.5f;
    s.materials = {plainMaterial(1, 0, 0), glass};
    PelContent* c = buildContent(s);
    c->parts[1].flags |= PART_TRANSLUCENT;  // stale: the part has no translucent face

    for (const char* t : {"DEglass\x01", "DEsolid\x01", "DEwalk\x01"}) {
        uint32_t index = uint32_t(t[2] == 'g' ? 0 : t[2] == 's' ? 1 : 2);
        std::string text(t + 2, std::strlen(t) - 3);
        ASSERT_EQ(pelSetLangText(&c->textList1, &c->textList1Size, text.c_str(), index, "DE", 3), 1);
    }
    c->partWords = static_cast<uint32_t*>(memAllocZ(2 * sizeof(uint32_t)));
    c->partWords[0] = 11;
    c->partWords[1] = 22;

    ScnNode* node = nullptr;
    ASSERT_EQ(scnNodeCreate(c, 0, nullptr, nullptr, nullptr, &node), 1);
    c->trackCount = 2;
    c->tracks = static_cast<AnimTrack*>(memAllocZ(2 * sizeof(AnimTrack)));
    c->trackIndex = static_cast<uint32_t*>(memAllocZ(2 * sizeof(uint32_t)));
    c->trackIndex[0] = 1;
    c->trackIndex[1] = 0;
    node->parts = static_cast<ScnPart*>(memAllocZ(2 * sizeof(ScnPart)));
    for (int i = 0; i < 2; ++i) {
        node->parts[i].track = &c->tracks[c->trackIndex[i]];
        node->parts[i].local.m[0] = float(i + 1);
    }
    node->highlight = 0;
    AnimTrack* tracks = c->tracks;

    ASSERT_EQ(prep(&c, 179.0f), 1);
    expectPrepared(c);
    EXPECT_FALSE(c->parts[0].flags & PART_TRANSLUCENT);
    EXPECT_TRUE(c->parts[1].flags & PART_TRANSLUCENT);
    EXPECT_EQ(c->parts[0].firstVertex[0].pos.z, 9.0f) << "the opaque part comes first";
    EXPECT_EQ(c->faces[0].part, 0u);
    EXPECT_EQ(c->faces[1].part, 1u);
    EXPECT_EQ(c->faces[0].material, 0);

    EXPECT_EQ(c->trackIndex[0], 0u);
    EXPECT_EQ(c->trackIndex[1], 1u);
    EXPECT_EQ(c->tracks, tracks);
    ASSERT_NE(c->partWords, nullptr);
    EXPECT_EQ(c->partWords[0], 22u);
    EXPECT_EQ(c->partWords[1], 11u);
    const char* expected[] = {"solid", "glass", "walk"};
    for (uint32_t i = 0; i < 3; ++i) {
        char* text = nullptr;
        ASSERT_EQ(pelGetLangText(c->textList1, c->textList1Size, "DE", 0, i, &text), 1);
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text, expected[i]);
        memFreeRef(reinterpret_cast<void**>(&text));
    }

    EXPECT_EQ(node->content, c);
    EXPECT_EQ(c->nodeCount, 1u);
    EXPECT_EQ(c->firstNode, node);
    EXPECT_EQ(node->highlight, 1);
    EXPECT_EQ(node->parts[0].local.m[0], 2.0f);
    for (uint32_t i = 0; i < 2; ++i) EXPECT_EQ(node->parts[i].track, &c->tracks[c->trackIndex[i]]);

    ASSERT_EQ(scnNodeFree(&node, nullptr), 1);
    EXPECT_EQ(pelFreeObject(&c), 1);
}

// Stale per-frame facing flags and walk marks neither hide open edges, nor
// keep vertices from smoothing, nor survive.
TEST_F(MeshPrep, StaleFlagsAreCleared) {
    BuildSpec s = cubeSpec();
    s.faces.pop_back();  // a hole
    for (BuildFace& f : s.faces) f.flags |= FACE_FRONT_CACHED | FACE_FACING_DECIDED;
    PelContent* c = buildContent(s);
    for (uint32_t i = 0; i < c->vertexCount; ++i) c->vertices[i].flags |= VTX_MARK;
    ASSERT_EQ(prep(&c, 179.0f, 0, 0, 1), 1);
    expectPrepared(c);
    uint32_t open = 0;
    for (uint32_t i = 0; i < c->faceCount; ++i) open += hardEdges(c->faces[i]);
    EXPECT_EQ(open, 3u) << "the hole's three edges";
    // The corner at the origin averages its three faces: it points outwards.
    const Vec3 n = c->vertices[0].normal->normal;
    EXPECT_GT(-(n.x + n.y + n.z) / std::sqrt(3.0f), 0.9f);
    pelFreeObject(&c);
}

// Faces of a grouped part are smoothed by their group bits, not by angle.
TEST_F(MeshPrep, NormalGroupsDecideSmoothing) {
    struct Case {
        uint32_t groupA, groupB;
        bool hard;
    } cases[] = {{1, 1, false}, {1, 2, true}, {3, 6, false}};
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.groupA << " " << k.groupB);
        BuildSpec s;
        s.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0.01f}};  // nearly flat
        s.faces = {{{0, 1, 2, 0}}, {{2, 1, 3, 0}}};
        s.materials = {plainMaterial(1, 1, 1)};
        PelContent* c = buildContent(s);
        c->parts[0].flags |= PART_NORMAL_GROUPS;
        c->faces[0].nb[0] = k.groupA;
        c->faces[1].nb[0] = k.groupB;
        ASSERT_EQ(pelConnectEdges(&c, nullptr, 1, 179.0f, 0, 1, 0, 0, nullptr, 0, nullptr, 0), 1);
        expectPrepared(c);
        // Faces of disjoint groups do not even become neighbours.
        EXPECT_EQ(c->faces[0].nb[1], k.hard ? 0u : 1u);
        EXPECT_EQ(bool(c->faces[0].flags & FACE_OPEN_EDGE1), k.hard);
        EXPECT_EQ(bool(c->faces[1].flags & FACE_OPEN_EDGE0), k.hard);
        pelFreeObject(&c);
    }
}

TEST_F(MeshPrep, PlaneOffsetsMoveEachVertexOnce) {
    BuildSpec s;
    s.positions = {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {0, 1, 0}};
    s.us = {0, 1, 1, 0};
    s.faces = {{{0, 1, 2, 0}}, {{0, 2, 3, 0}}};
    s.materials = {plainMaterial(1, 1, 1)};
    PelContent* c = buildContent(s);
    const float plane[9] = {1, 0, 0, 1, 0, 0, 5, 0.5f, 0.25f};
    ASSERT_EQ(pelConnectEdges(&c, nullptr, 0, 179.0f, 0, 1, 0, 0, nullptr, 1, plane, 0), 1);
    expectPrepared(c);
    const float z[] = {0, 5, 5, 0};
    const float u[] = {0, 1.5f, 1.5f, 0};
    const float v[] = {0, 0.25f, 0.25f, 0};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(c->vertices[i].pos.z, z[i]) << i;
        EXPECT_EQ(c->vertices[i].u, u[i]) << i;
        EXPECT_EQ(c->vertices[i].v, v[i]) << i;
        EXPECT_FALSE(c->vertices[i].flags & 0x180u);
    }
    EXPECT_EQ(c->box.max.z, 5.0f);
    pelFreeObject(&c);
}

TEST_F(MeshPrep, RefusesUnusableContents) {
    EXPECT_EQ(pelConnectEdges(nullptr, nullptr, 0, 179.0f, 0, 0, 0, 0, nullptr, 0, nullptr, 1), 0);
    PelContent* none = nullptr;
    EXPECT_EQ(prep(&none, 179.0f), 0);

    struct Case {
        const char* name;
        BuildSpec layout;
        uint32_t level;  // error level expected, 99: none
    };
    BuildSpec noFaces;
    noFaces.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    BuildSpec twoVertices;
    twoVertices.positions = {{0, 0, 0}, {1, 0, 0}};
    twoVertices.faces = {{{0, 1, 1, 0}}};
    BuildSpec badIndex = cubeSpec();
    badIndex.faces[3].v[1] = 8;
    const Case cases[] = {{"no faces", noFaces, 99}, {"two vertices", twoVertices, 99},
                          {"vertex index beyond the array", badIndex, ERR_FORMAT}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        errReset();
        BuildSpec layout = k.layout;
        layout.materials = {plainMaterial(1, 1, 1)};
        PelContent* c = buildContent(layout);
        PelContent* before = c;
        EXPECT_EQ(prep(&c, 179.0f), 0);
        EXPECT_EQ(c, before) << "content kept";
        uint32_t level = 99;
        if (errQueueSize()) errPop(&level, nullptr, nullptr, nullptr);
        EXPECT_EQ(level, k.level);
        pelFreeObject(&c);
    }
}

}  // namespace
