// Test-side objects for the object file writer: generated grids and strips written by the
// test-side builder, and a loaded content with one node on it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "scene/pelchunk.h"
#include "scene/pelfile.h"
#include "scene/scene.h"
#include "scene/tests/pel_builder.h"

// A content loaded from a file and one node on it.
struct Loaded {
    PelContent* c = nullptr;
    ScnNode* node = nullptr;
    PelFileInfo info{};
    char name[PEL_NAME_FIELD + 8] = {};
    int ok = 0;
    explicit Loaded(const std::string& path, const Mat4* base = nullptr, TexRecord** textures = nullptr) {
        size_t bytes = 0;
        ok = pelLoad(path.c_str(), nullptr, name, &info, &c, &bytes);
        if (ok) ok = scnNodeCreate(c, 0, textures, nullptr, base, &node);
    }
    ~Loaded() {
        scnNodeFree(&node, nullptr);
        pelFreeObject(&c);
    }
};

// Grid of nx x ny quads at height z facing up (part 0), then two upright triangles (part 1).
inline pelb::Object gridObject(int nx, int ny) {
    pelb::Object o;
    o.name = "grid";
    o.size[0] = float(nx);
    o.size[1] = float(ny);
    o.size[2] = 2;
    o.lights.push_back({{1, 0.5f, 0.25f}, {3, -4, 5}});
    pelb::Material textured;
    textured.flags = 1 | 16;  // two-sided
    textured.area = 0;
    pelb::Material plain;
    plain.alpha = 0.5f;
    plain.area = 65535;
    pelb::Material masked;
    masked.flags = 1 | 2;
    masked.area = 2;
    o.materials = {textured, plain, masked};
    o.areas = {"Wood.bmp", "wood.BMP", "Stone"};
    o.vertexNormals = {{0, 0, 1}, {0.6f, 0, 0.8f}};
    o.faceNormals = {{0, 0, 1}, {0, 1, 0}};
    const float x0 = -nx * 0.5f, y0 = -ny * 0.5f;
    for (int j = 0; j <= ny; ++j)
        for (int i = 0; i <= nx; ++i) {
            pelb::Vertex v;
            v.x = x0 + float(i);
            v.y = y0 + float(j);
            v.z = 1;
            v.u = 0.1f * i;
            v.v = 0.2f * j;
            const int k = j * (nx + 1) + i;
            if (k % 4 == 1) v.normal = 1;
            if (k % 4 == 2) v.flags = 0x7E20;
            if (k % 4 == 3) v.flags = 0x7E30;
            o.vertices.push_back(v);
        }
    auto faceAt = [&](int i, int j) { return uint32_t(j * nx + i); };
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            pelb::Face f;
            const uint32_t a = j * (nx + 1) + i;
            f.v[0] = a;
            f.v[1] = a + 1;
            f.v[2] = a + nx + 2;
            f.v[3] = a + nx + 1;
            const uint32_t self = faceAt(i, j);
            f.nb[0] = j > 0 ? faceAt(i, j - 1) : self;
            f.nb[1] = i + 1 < nx ? faceAt(i + 1, j) : self;
            f.nb[2] = j + 1 < ny ? faceAt(i, j + 1) : self;
            f.nb[3] = i > 0 ? faceAt(i - 1, j) : self;
            const int kind = (i + j) % 3;
            f.material = uint16_t(kind);
            f.area = uint16_t(kind == 0 ? (i % 2) : kind == 2 ? 2 : 0);
            f.flags = uint16_t(1 | (kind != 1 ? 4 : 0) | (kind == 2 ? 0x10 : 0) | (i == 0 ? 0x200 : 0));
            f.normal = 0;
            f.dist = 1;  // n . p of the first vertex
            o.faces.push_back(f);
        }
    const uint32_t base = uint32_t(o.vertices.size()), faces = uint32_t(o.faces.size());
    const float tri[4][3] = {{0, 2, 0}, {1, 2, 0}, {1, 2, 1}, {0, 2, 1}};
    for (const auto& p : tri) {
        pelb::Vertex v;
        v.x = p[0], v.y = p[1], v.z = p[2];
        o.vertices.push_back(v);
    }
    for (int t = 0; t < 2; ++t) {
        pelb::Face f;
        f.v[0] = base;
        f.v[1] = base + 1 + t;
        f.v[2] = base + 2 + t;
        f.v[3] = f.v[2];
        for (uint32_t& nb : f.nb) nb = faces + t;
        f.nb[t == 0 ? 2 : 0] = faces + 1 - t;
        f.normal = 1;
        f.dist = 2;
        f.material = 1;
        f.area = 0xFFFF;
        o.faces.push_back(f);
    }
    pelb::Part p0;
    p0.box[0] = x0, p0.box[1] = y0, p0.box[2] = 1, p0.box[3] = -x0, p0.box[4] = -y0, p0.box[5] = 1;
    p0.vertexCount = uint32_t(base);
    p0.faceCount = int32_t(faces);
    pelb::Part p1;
    p1.box[0] = 0, p1.box[1] = 2, p1.box[2] = 0, p1.box[3] = 1, p1.box[4] = 2, p1.box[5] = 1;
    p1.vertexCount = 4;
    p1.faceCount = -2;
    o.parts = {p0, p1};
    o.chunks.push_back({PEL_CHUNK_TEXTS1, pelb::textList({{{"XX", "floor"}}, {{"DE", "Wand"}, {"XX", "wall"}}})});
    o.chunks.push_back({PEL_CHUNK_TEXTS2, pelb::textList({{{"XX", "a grid"}}})});
    return o;
}

// A long strip of triangles with the given vertex and face counts (open edges only).
inline pelb::Object stripObject(uint32_t vertices, uint32_t faces) {
    pelb::Object o;
    o.size[0] = float(vertices);
    o.size[1] = 1;
    o.size[2] = 0;
    pelb::Material m;
    m.flags = 1;
    m.area = 0;
    o.materials = {m};
    o.areas = {"unused"};
    o.areaNameBytes = 0;  // the areas carry no names
    o.faceNormals = {{0, 0, 1}};
    o.vertices.resize(vertices);
    for (uint32_t i = 0; i < vertices; ++i) {
        o.vertices[i].x = float(i) - vertices * 0.5f;
        o.vertices[i].y = float(i % 2) - 0.5f;
    }
    o.faces.resize(faces);
    for (uint32_t i = 0; i < faces; ++i) {
        pelb::Face& f = o.faces[i];
        for (int k = 0; k < 3; ++k) f.v[k] = (i + uint32_t(k)) % vertices;
        f.v[3] = f.v[2];
        for (uint32_t& nb : f.nb) nb = i;
        f.flags = 4;
    }
    pelb::Part p;
    p.vertexCount = vertices;
    p.faceCount = int32_t(faces);
    o.parts = {p};
    return o;
}
