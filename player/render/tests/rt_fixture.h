// Test-side scenes for the ray tracer: contents made by the content builder, nodes,
// a camera, and the run state set up without the driver.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "render/clipplane.h"
#include "render/fzbuffer.h"
#include "render/light.h"
#include "render/raytrace.h"
#include "scene/contentlist.h"
#include "scene/engine.h"
#include "scene/material.h"
#include "scene/scene.h"
#include "scene/tests/content_builder.h"

namespace rtfix {

inline MatInput material(float r, float g, float b, float specular = 0.0f, float alpha = 0.0f) {
    MatInput m = plainMaterial(r, g, b);
    m.colSpecular[0] = m.colSpecular[1] = m.colSpecular[2] = 1.0f;
    m.coSpecular = specular;
    m.alpha = alpha;
    return m;
}

// Owns contents and nodes; frees them at the end.
class World {
public:
    ~World() { clear(); }
    void clear() {
        for (ScnNode*& n : nodes) scnNodeFree(&n, nullptr);
        for (PelContent*& c : contents) pelFreeObject(&c);
        nodes.clear();
        contents.clear();
    }
    PelContent* content(const BuildSpec& s) {
        contents.push_back(buildContent(s));
        return contents.back();
    }
    ScnNode* node(PelContent* c, const Mat4* base = nullptr) {
        ScnNode* n = nullptr;
        EXPECT_TRUE(scnNodeCreate(c, 0, nullptr, nullptr, base, &n));
        nodes.push_back(n);
        return n;
    }
    ScnNode* add(const BuildSpec& s, const Mat4* base = nullptr) { return node(content(s), base); }
    // Node table, id split, face groups, tree and per-thread caches, as the driver sets them.
    void prepare(uint32_t threads = 1, uint32_t lights = 0) {
        table = nodes;
        table.push_back(nullptr);
        RtRunState& run = rtState();
        run.nodes = table.data();
        run.nodeCount = uint32_t(nodes.size());
        for (uint32_t i = 0; i < nodes.size(); ++i) {
            nodes[i]->rtSeq = i;
            ASSERT_TRUE(rtBuildFaceGroups(nodes[i]));
        }
        ASSERT_TRUE(rtCheckIds(table.data(), run.nodeCount));
        rtClearFaceSlots(table.data(), run.nodeCount);
        RtTreeNode* root = nullptr;
        ASSERT_TRUE(rtBuildObjectTree(run.nodeCount, &root));
        rtPrepareRayQueries();
        ASSERT_TRUE(rtAllocThreads(threads, lights));
    }
    std::vector<PelContent*> contents;
    std::vector<ScnNode*> nodes;
    std::vector<ScnNode*> table;
};

// A quad (x0..x1, y0..y1) at height z, facing +z.
inline BuildSpec quadSpec(float x0, float y0, float x1, float y1, float z, const MatInput& m,
                          uint16_t flags = 0) {
    BuildSpec s;
    s.positions = {{x0, y0, z}, {x1, y0, z}, {x1, y1, z}, {x0, y1, z}};
    s.faces = {{{0, 1, 2, 3}, 0, uint16_t(FACE_QUAD | flags)}};
    s.materials = {m};
    return s;
}

// Random triangles and quads inside a cube of half size r around c.
inline BuildSpec randomSpec(std::mt19937& rng, uint32_t faces, Vec3 c, float r, float size) {
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    BuildSpec s;
    for (uint32_t f = 0; f < faces; ++f) {
        Vec3 p = {c.x + r * u(rng), c.y + r * u(rng), c.z + r * u(rng)};
        bool quad = (f % 3) == 0;
        uint32_t base = uint32_t(s.positions.size());
        Vec3 a = {p.x + size * u(rng), p.y + size * u(rng), p.z + size * u(rng)};
        Vec3 b = {p.x + size * u(rng), p.y + size * u(rng), p.z + size * u(rng)};
        s.positions.push_back(p);
        s.positions.push_back(a);
        s.positions.push_back(b);
        uint16_t flags = (f % 5 == 0) ? uint16_t(FACE_TWO_SIDED) : uint16_t(0);
        if (quad) {
            // planar quad: the fourth corner completes the parallelogram
            s.positions.push_back({a.x + b.x - p.x, a.y + b.y - p.y, a.z + b.z - p.z});
            s.faces.push_back({{base, base + 1, base + 3, base + 2}, 0, uint16_t(FACE_QUAD | flags)});
        } else {
            s.faces.push_back({{base, base + 1, base + 2, base + 2}, 0, flags});
        }
    }
    s.materials = {material(0.5f, 0.5f, 0.5f)};
    return s;
}

inline CamRecord camera(int32_t w, int32_t h, Vec3 eye = {0, 0, 10}, Vec3 vrp = {0, 0, 0}) {
    CamRecord c{};
    c.eye = eye;
    c.vrp = vrp;
    c.up = {0, 1, 0};
    c.viewDist = 10;
    c.nearDist = 1;
    c.farDist = 100;
    float aspect = float(h) / float(w);
    c.winXMin = -4;
    c.winXMax = 4;
    c.winYMin = -4 * aspect;
    c.winYMax = 4 * aspect;
    c.pixW = w;
    c.pixH = h;
    EXPECT_TRUE(camUpdate(&c));
    return c;
}

// Engine state back to load for every test.
class Clean : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override {
        world.clear();
        reset();
    }
    static void reset() {
        rtResetState();
        ltReset();
        ltResetShading();
        clpReset();
        fzResetState();
        matReset();
        errReset();
    }
    World world;
};

}  // namespace rtfix
