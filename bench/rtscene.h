// The ray-trace benchmark scene: about 100k triangles (25 bumpy spheres over a reflective
// floor), two shadow-casting directional lights and the camera of a 1024 x 768 view. Shared
// by the tracer's benchmark and the comparison program.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "render/fzbuffer.h"
#include "render/light.h"
#include "scene/camera.h"
#include "scene/engine.h"
#include "scene/tests/content_builder.h"

namespace rtbench {

constexpr int32_t kWidth = 1024, kHeight = 768;
// Directions towards which the two lights shine, and their colour.
constexpr float kLightDir[2][3] = {{-0.4f, -0.6f, -1.0f}, {0.7f, -0.3f, -1.0f}};
constexpr float kLightColour[3] = {0.6f, 0.6f, 0.6f};

inline MatInput material(float r, float g, float b, float specular) {
    MatInput m = plainMaterial(r, g, b);
    m.colSpecular[0] = m.colSpecular[1] = m.colSpecular[2] = 1.0f;
    m.coSpecular = specular;
    return m;
}

// A sphere of radius r with a ripple, rings x segments quads split into triangles.
inline BuildSpec sphere(uint32_t rings, uint32_t segments, float r, const MatInput& m) {
    BuildSpec s;
    const float pi = 3.14159265f;
    for (uint32_t i = 0; i <= rings; ++i)
        for (uint32_t j = 0; j <= segments; ++j) {
            float th = pi * float(i) / float(rings), ph = 2 * pi * float(j) / float(segments);
            float rr = r * (1.0f + 0.04f * std::sin(7 * ph) * std::sin(5 * th));
            s.positions.push_back(
                {rr * std::sin(th) * std::cos(ph), rr * std::sin(th) * std::sin(ph), rr * std::cos(th)});
        }
    auto v = [&](uint32_t i, uint32_t j) { return i * (segments + 1) + j; };
    for (uint32_t i = 0; i < rings; ++i)
        for (uint32_t j = 0; j < segments; ++j) {
            // outward winding
            s.faces.push_back({{v(i, j), v(i + 1, j), v(i + 1, j + 1), 0}, 0, 0});
            s.faces.push_back({{v(i, j), v(i + 1, j + 1), v(i, j + 1), 0}, 0, 0});
        }
    for (BuildFace& f : s.faces) f.v[3] = f.v[2];
    s.materials = {m};
    return s;
}

struct Scene {
    std::vector<PelContent*> contents;
    std::vector<ScnNode*> nodes;  // zero-terminated
    uint64_t triangles = 0;
    CamRecord cam{};
    LightRecord* lights = nullptr;

    bool make() {
        auto add = [&](const BuildSpec& s, const Mat4* base) {
            contents.push_back(buildContent(s));
            ScnNode* n = nullptr;
            scnNodeCreate(contents.back(), 0, nullptr, nullptr, base, &n);
            nodes.push_back(n);
        };
        BuildSpec floor;
        floor.positions = {{-30, -30, 0}, {30, -30, 0}, {30, 30, 0}, {-30, 30, 0}};
        floor.faces = {{{0, 1, 2, 3}, 0, FACE_QUAD}};
        floor.materials = {material(0.6f, 0.6f, 0.55f, 0.5f)};
        add(floor, nullptr);
        triangles += 2;
        const float colours[5][3] = {{0.9f, 0.2f, 0.2f}, {0.2f, 0.8f, 0.3f}, {0.2f, 0.4f, 0.9f}, {0.9f, 0.8f, 0.2f},
                                     {0.8f, 0.3f, 0.8f}};
        for (int k = 0; k < 25; ++k) {
            const float* rgb = colours[k % 5];
            BuildSpec s = sphere(40, 50, 1.2f, material(rgb[0], rgb[1], rgb[2], 0.35f));
            Mat4 m;
            mtxMakeTranslation(float(k % 5) * 3.2f - 6.4f, float(k / 5) * 3.2f - 6.4f, 1.3f + 0.3f * float(k % 3), &m);
            add(s, &m);
            triangles += s.faces.size();
        }
        nodes.push_back(nullptr);
        for (const auto& d : kLightDir) ltAdd(0, d, kLightColour, 1, &lights);
        fzSetClearColor(0.2f, 0.25f, 0.35f);
        cam.eye = {0, -20, 14};
        cam.vrp = {0, 0, 0};
        cam.up = {0, 0, 1};
        cam.viewDist = 10;
        cam.nearDist = 1;
        cam.farDist = 200;
        cam.winXMin = -4;
        cam.winXMax = 4;
        cam.winYMin = -3;
        cam.winYMax = 3;
        cam.pixW = kWidth;
        cam.pixH = kHeight;
        return camUpdate(&cam) != 0;
    }
    ~Scene() {
        for (ScnNode*& n : nodes)
            if (n) scnNodeFree(&n, nullptr);
        for (PelContent*& c : contents) pelFreeObject(&c);
        ltReset();
    }
};

// The machine's load average over the last minute (0 when it cannot be read).
inline double loadAverage() {
    double l = 0;
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &l) != 1) l = 0;
        std::fclose(f);
    }
    return l;
}

}  // namespace rtbench
