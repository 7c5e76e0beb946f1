// Test-side builder of object contents in memory: one allocation holding the
// content record and its geometry, as the object readers lay it out.
#pragma once
#include <algorithm>
#include <cstring>
#include <vector>

#include "scene/contentlist.h"
#include "scene/engine.h"
#include "scene/material.h"
#include "scene/scene.h"

struct BuildFace {
    uint32_t v[4];
    uint16_t material = 0;
    uint16_t flags = 0;  // FACE_QUAD for quadrilaterals
    uint16_t area = 0;
};

struct BuildPart {
    uint32_t vertexCount;
    uint32_t faceCount;
};

struct BuildSpec {
    std::vector<Vec3> positions;
    std::vector<float> us;  // optional, same length as positions
    std::vector<BuildFace> faces;
    std::vector<BuildPart> parts;  // empty: one part with everything
    std::vector<MatInput> materials;
    std::vector<PelLight> lights;
    uint32_t areaCount = 0;
    bool vertexNormals = false;  // one own normal per vertex, (0, 0, 1)
};

inline size_t builderAlign(size_t n) { return (n + 15) & ~size_t(15); }

inline PelContent* buildContent(const BuildSpec& s) {
    std::vector<BuildPart> parts = s.parts;
    if (parts.empty()) parts.push_back({uint32_t(s.positions.size()), uint32_t(s.faces.size())});
    size_t nv = s.positions.size(), nf = s.faces.size();
    size_t nvn = s.vertexNormals ? nv : 0;
    size_t off = builderAlign(sizeof(PelContent));
    size_t oParts = off;
    off = builderAlign(off + parts.size() * sizeof(PelPart));
    size_t oVn = off;
    off = builderAlign(off + nvn * sizeof(PelNormal));
    size_t oFn = off;
    off = builderAlign(off + nf * sizeof(PelNormal));
    size_t oV = off;
    off = builderAlign(off + nv * sizeof(PelVertex));
    size_t oF = off;
    off = builderAlign(off + nf * sizeof(PelFace));
    size_t oM = off;
    off = builderAlign(off + s.materials.size() * sizeof(MatInput));
    size_t oL = off;
    off = builderAlign(off + s.lights.size() * sizeof(PelLight));
    auto* base = static_cast<unsigned char*>(memAllocZ(off));
    auto* c = reinterpret_cast<PelContent*>(base);
    c->parts = reinterpret_cast<PelPart*>(base + oParts);
    c->vertexNormals = nvn ? reinterpret_cast<PelNormal*>(base + oVn) : nullptr;
    c->faceNormals = reinterpret_cast<PelNormal*>(base + oFn);
    c->vertices = reinterpret_cast<PelVertex*>(base + oV);
    c->faces = reinterpret_cast<PelFace*>(base + oF);
    c->materials = reinterpret_cast<MatInput*>(base + oM);
    c->lights = s.lights.empty() ? nullptr : reinterpret_cast<PelLight*>(base + oL);
    c->vertexNormalCount = uint32_t(nvn);
    c->faceNormalCount = uint32_t(nf);
    c->vertexCount = uint32_t(nv);
    c->faceCount = uint32_t(nf);
    c->materialCount = uint32_t(s.materials.size());
    c->areaCount = s.areaCount;
    c->lightCount = uint32_t(s.lights.size());
    c->partCount = uint32_t(parts.size());
    for (size_t i = 0; i < nv; ++i) {
        PelVertex& v = c->vertices[i];
        v.pos = s.positions[i];
        v.u = i < s.us.size() ? s.us[i] : 0.0f;
        if (nvn) {
            c->vertexNormals[i].normal = {0.0f, 0.0f, 1.0f};
            v.normal = &c->vertexNormals[i];
        }
    }
    for (size_t i = 0; i < nf; ++i) {
        PelFace& f = c->faces[i];
        std::memcpy(f.v, s.faces[i].v, sizeof f.v);
        if (!(s.faces[i].flags & FACE_QUAD)) f.v[3] = f.v[2];
        f.material = s.faces[i].material;
        f.flags = s.faces[i].flags;
        f.area = s.faces[i].area;
        f.normal = &c->faceNormals[i];
        for (int k = 0; k < 4; ++k) f.nb[k] = uint32_t(i);
        visFacePlane(c, &f, &f.normal->normal, &f.dist);
    }
    for (size_t i = 0; i < s.materials.size(); ++i) c->materials[i] = s.materials[i];
    for (size_t i = 0; i < s.lights.size(); ++i) c->lights[i] = s.lights[i];
    uint32_t fv = 0, ff = 0;
    for (size_t p = 0; p < parts.size(); ++p) {
        PelPart& part = c->parts[p];
        part.vertexCount = parts[p].vertexCount;
        part.faceCount = parts[p].faceCount;
        part.firstVertex = c->vertices + fv;
        part.firstFace = c->faces + ff;
        part.id = uint32_t(p);
        Box3 box = {{1e20f, 1e20f, 1e20f}, {-1e20f, -1e20f, -1e20f}};
        for (uint32_t i = fv; i < fv + part.vertexCount; ++i) {
            const Vec3& q = c->vertices[i].pos;
            box.min = {std::min(box.min.x, q.x), std::min(box.min.y, q.y), std::min(box.min.z, q.z)};
            box.max = {std::max(box.max.x, q.x), std::max(box.max.y, q.y), std::max(box.max.z, q.z)};
        }
        if (part.vertexCount == 0) box = {};
        part.box = box;
        for (uint32_t i = ff; i < ff + part.faceCount; ++i) c->faces[i].part = uint32_t(p);
        fv += part.vertexCount;
        ff += part.faceCount;
    }
    Box3 all = {{1e20f, 1e20f, 1e20f}, {-1e20f, -1e20f, -1e20f}};
    for (const Vec3& q : s.positions) {
        all.min = {std::min(all.min.x, q.x), std::min(all.min.y, q.y), std::min(all.min.z, q.z)};
        all.max = {std::max(all.max.x, q.x), std::max(all.max.y, q.y), std::max(all.max.z, q.z)};
    }
    c->box = s.positions.empty() ? Box3{} : all;
    pelRegisterObject(c);
    return c;
}

inline MatInput plainMaterial(float r, float g, float b) {
    MatInput m{};
    m.colDifuse[0] = r;
    m.colDifuse[1] = g;
    m.colDifuse[2] = b;
    m.coAmbient = 0.2f;
    m.coDifuse = 0.8f;
    return m;
}

// Two parts: a unit quad at z = 0 (vertices 0..3) and a triangle at z = 1
// (vertices 4..6), two materials.
inline BuildSpec twoPartSpec() {
    BuildSpec s;
    s.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {2, 0, 1}, {0, 3, 1}};
    s.faces = {{{0, 1, 2, 3}, 0, FACE_QUAD}, {{4, 5, 6, 0}, 1, 0}};
    s.parts = {{4, 1}, {3, 1}};
    s.materials = {plainMaterial(1, 0, 0), plainMaterial(0, 1, 0)};
    return s;
}
