// Face outlines: corner lists, traced polygon boundaries, broken neighbourhoods.
#include "scene/outline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "scene/tests/content_builder.h"

namespace {

class Outlines : public ::testing::Test {
protected:
    void TearDown() override {
        pelFreeOutlines(&out);
        if (c) pelFreeObject(&c);
    }
    // Positions of outline i as vertex indices of the content (-1 when a point is none of them).
    std::vector<int> indices(uint32_t i) const {
        std::vector<int> r;
        const PelOutline& o = out->outlines[i];
        for (uint32_t p = 0; p < o.pointCount; ++p) {
            int found = -1;
            for (uint32_t v = 0; v < c->vertexCount; ++v) {
                const Vec3& q = c->vertices[v].pos;
                if (q.x == o.points[p].x && q.y == o.points[p].y && q.z == o.points[p].z) found = int(v);
            }
            r.push_back(found);
        }
        return r;
    }
    void link(uint32_t f, uint32_t k, uint32_t g, uint32_t j) {
        c->faces[f].nb[k] = g;
        c->faces[g].nb[j] = f;
    }
    PelContent* c = nullptr;
    PelOutlines* out = nullptr;
};

// The same list up to where it starts.
bool sameLoop(std::vector<int> a, const std::vector<int>& b) {
    if (a.size() != b.size()) return false;
    for (size_t s = 0; s < a.size(); ++s) {
        if (a == b) return true;
        std::rotate(a.begin(), a.begin() + 1, a.end());
    }
    return false;
}

TEST_F(Outlines, SingleFacesGiveTheirCorners) {
    BuildSpec s;
    s.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}};
    s.faces = {{{0, 1, 2, 3}, 0, FACE_QUAD}, {{1, 4, 2, 0}}};
    c = buildContent(s);
    link(0, 1, 1, 2);  // neighbours, but not one polygon: each face is its own outline
    ASSERT_EQ(pelBuildOutlines(c, &out), 1);
    ASSERT_EQ(out->count, 2u);
    EXPECT_EQ(indices(0), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(indices(1), (std::vector<int>{1, 4, 2}));
    EXPECT_EQ(out->outlines[1].firstFace, 1u);
    EXPECT_EQ(pelFreeOutlines(&out), 1);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(pelFreeOutlines(&out), 1);
    EXPECT_EQ(pelFreeOutlines(nullptr), 1);
    EXPECT_EQ(pelBuildOutlines(nullptr, &out), 0);
    EXPECT_EQ(pelBuildOutlines(c, nullptr), 0);
}

// A square with a centre point made of four triangles: one outline of the four corners; the
// inner edges and the centre are not on it, and the face flags stay as they were.
TEST_F(Outlines, PolygonOfSeveralFacesIsTracedOnce) {
    BuildSpec s;
    s.positions = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}, {1, 1, 0}, {5, 5, 0}, {6, 5, 0}, {5, 6, 0}};
    s.faces = {{{0, 1, 4, 0}, 0, FACE_EDGES_ONLY}, {{1, 2, 4, 0}, 0, FACE_EDGES_ONLY},
               {{2, 3, 4, 0}, 0, FACE_EDGES_ONLY}, {{3, 0, 4, 0}, 0, FACE_EDGES_ONLY},
               {{5, 6, 7, 0}}};
    c = buildContent(s);
    // edge 1 of face i (v1 -> centre) meets edge 2 of face i + 1 (centre -> its v0)
    for (uint32_t i = 0; i < 4; ++i) link(i, 1, (i + 1) % 4, 2);
    std::vector<uint16_t> flags;
    for (uint32_t i = 0; i < c->faceCount; ++i) flags.push_back(c->faces[i].flags);
    ASSERT_EQ(pelBuildOutlines(c, &out), 1);
    ASSERT_EQ(out->count, 2u);
    EXPECT_TRUE(sameLoop(indices(0), {0, 1, 2, 3})) << ::testing::PrintToString(indices(0));
    EXPECT_EQ(indices(1), (std::vector<int>{5, 6, 7}));
    for (uint32_t i = 0; i < c->faceCount; ++i) EXPECT_EQ(c->faces[i].flags, flags[i]);

    // Two separate polygons: two outlines.
    pelFreeOutlines(&out);
    // Cut open along one inner edge: the boundary runs in to the centre and out again.
    c->faces[1].nb[1] = 1;
    c->faces[2].nb[2] = 2;
    ASSERT_EQ(pelBuildOutlines(c, &out), 1);
    ASSERT_EQ(out->count, 2u);
    EXPECT_TRUE(sameLoop(indices(0), {0, 1, 2, 4, 2, 3})) << ::testing::PrintToString(indices(0));
}

// Neighbour entries that do not name each other back, or point outside, end as boundaries:
// the walk ends and every outline lies on the content's vertices.
TEST_F(Outlines, BrokenNeighbourhoodsEnd) {
    BuildSpec s;
    s.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    s.faces = {{{0, 1, 2, 0}, 0, FACE_EDGES_ONLY}, {{0, 2, 3, 0}, 0, FACE_EDGES_ONLY}};
    c = buildContent(s);
    c->faces[0].nb[1] = 1;  // one way only
    c->faces[1].nb[0] = 7;  // outside the faces
    c->faces[1].v[2] = 99;  // a vertex outside: left out of the points
    ASSERT_EQ(pelBuildOutlines(c, &out), 1);
    for (uint32_t i = 0; i < out->count; ++i)
        for (int v : indices(i)) EXPECT_GE(v, 0);
    pelFreeOutlines(&out);
    // Mutually linked all around: still ends.
    c->faces[1].v[2] = 3;
    for (uint32_t k = 0; k < 3; ++k) {
        c->faces[0].nb[k] = 1;
        c->faces[1].nb[k] = 0;
    }
    ASSERT_EQ(pelBuildOutlines(c, &out), 1);
}

}  // namespace
