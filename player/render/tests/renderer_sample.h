// Sample objects made in code: boxes, spheres and pyramids with materials, vertex
// normals, face neighbours and a checker texture; used by the render tool and benchmark.
#pragma once
#include <cmath>
#include <cstdio>
#include <string>
#include <cstring>
#include <map>
#include <tuple>
#include <vector>

#include "render/fzbuffer.h"
#include "render/light.h"
#include "scene/camera.h"
#include "scene/material.h"
#include "scene/picture.h"
#include "scene/scene.h"
#include "scene/tests/content_builder.h"
#include "scene/texture.h"

struct SampleMesh {
    BuildSpec shape;
    std::vector<Vec3> normals;  // one per vertex
    std::vector<float> vs;      // v texture coordinates
    uint32_t partStartVertex = 0, partStartFace = 0;

    void endPart() {
        shape.parts.push_back({uint32_t(shape.positions.size()) - partStartVertex,
                              uint32_t(shape.faces.size()) - partStartFace});
        partStartVertex = uint32_t(shape.positions.size());
        partStartFace = uint32_t(shape.faces.size());
    }
    uint32_t vertex(Vec3 p, Vec3 n, float u, float v) {
        shape.positions.push_back(p);
        shape.us.push_back(u);
        vs.push_back(v);
        normals.push_back(n);
        return uint32_t(shape.positions.size() - 1);
    }
    void quad(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint16_t material, uint16_t flags = 0) {
        shape.faces.push_back({{a, b, c, d}, material, uint16_t(FACE_QUAD | flags), 0});
    }
    void tri(uint32_t a, uint32_t b, uint32_t c, uint16_t material, uint16_t flags = 0) {
        shape.faces.push_back({{a, b, c, c}, material, flags, 0});
    }

    // Axis-aligned box, counter-clockwise faces seen from outside.
    void box(Vec3 c, Vec3 h, uint16_t material, uint16_t flags = 0) {
        static const int axes[6][3] = {{0, 1, 2}, {0, 1, 2}, {1, 2, 0}, {1, 2, 0}, {2, 0, 1}, {2, 0, 1}};
        for (int f = 0; f < 6; ++f) {
            const float s = (f & 1) ? -1.0f : 1.0f;
            const int u = axes[f][0], v = axes[f][1], w = axes[f][2];
            float corner[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
            uint32_t idx[4];
            for (int k = 0; k < 4; ++k) {
                float p[3], n[3] = {0, 0, 0};
                const float cu = corner[k][0] * s, cv = corner[k][1];
                p[u] = cu;
                p[v] = cv;
                p[w] = s;
                n[w] = s;
                const Vec3 pos = {c.x + p[0] * h.x, c.y + p[1] * h.y, c.z + p[2] * h.z};
                idx[k] = vertex(pos, {n[0], n[1], n[2]}, (corner[k][0] + 1) * 0.5f, (corner[k][1] + 1) * 0.5f);
            }
            quad(idx[0], idx[1], idx[2], idx[3], material, flags);
        }
    }

    void sphere(Vec3 c, float r, int segments, int rings, uint16_t material, uint16_t flags = 0) {
        const float pi = 3.14159265f;
        std::vector<uint32_t> grid;
        for (int i = 0; i <= rings; ++i)
            for (int j = 0; j <= segments; ++j) {
                const float th = pi * i / rings, ph = 2 * pi * j / segments;
                const Vec3 n = {std::sin(th) * std::cos(ph), std::sin(th) * std::sin(ph), std::cos(th)};
                grid.push_back(vertex({c.x + r * n.x, c.y + r * n.y, c.z + r * n.z}, n, float(j) / segments,
                                      float(i) / rings));
            }
        auto at = [&](int i, int j) { return grid[size_t(i) * (segments + 1) + j]; };
        for (int i = 0; i < rings; ++i)
            for (int j = 0; j < segments; ++j) {
                if (i == 0)
                    tri(at(0, j), at(1, j), at(1, j + 1), material, flags);
                else if (i == rings - 1)
                    tri(at(i, j), at(i + 1, j), at(i, j + 1), material, flags);
                else
                    quad(at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1), material, flags);
            }
    }

    void pyramid(Vec3 c, float h, float half, uint16_t material) {
        const Vec3 b[4] = {{c.x - half, c.y - half, c.z}, {c.x + half, c.y - half, c.z}, {c.x + half, c.y + half, c.z},
                           {c.x - half, c.y + half, c.z}};
        const Vec3 top = {c.x, c.y, c.z + h};
        for (int k = 0; k < 4; ++k) {
            const Vec3 &p = b[k], &q = b[(k + 1) % 4];
            Vec3 n = {(p.y + q.y) * 0.5f - c.y, -((p.x + q.x) * 0.5f - c.x), 0};
            n = {-n.y, n.x, half / h * 0.5f};
            vecNormalize(&n);
            const uint32_t i0 = vertex(p, n, 0, 0), i1 = vertex(q, n, 1, 0), i2 = vertex(top, n, 0.5f, 1);
            tri(i0, i1, i2, material);
        }
        const Vec3 down = {0, 0, -1};
        quad(vertex(b[0], down, 0, 0), vertex(b[3], down, 0, 1), vertex(b[2], down, 1, 1), vertex(b[1], down, 1, 0),
             material);
    }

    // Builds the content: vertex normals, v coordinates and face neighbours (by shared positions).
    PelContent* build() {
        if (shape.parts.empty() || partStartFace != shape.faces.size()) endPart();
        shape.vertexNormals = true;
        PelContent* c = buildContent(shape);
        for (uint32_t i = 0; i < c->vertexCount; ++i) {
            c->vertexNormals[i].normal = normals[i];
            c->vertices[i].v = vs[i];
        }
        std::map<std::tuple<float, float, float, float, float, float>, std::pair<uint32_t, int>> edges;
        for (uint32_t f = 0; f < c->faceCount; ++f) {
            PelFace& face = c->faces[f];
            const int n = (face.flags & FACE_QUAD) ? 4 : 3;
            for (int k = 0; k < n; ++k) {
                const Vec3 a = c->vertices[face.v[k]].pos, b = c->vertices[face.v[(k + 1) % n]].pos;
                auto key = std::make_tuple(b.x, b.y, b.z, a.x, a.y, a.z);  // the neighbour runs the other way
                auto it = edges.find(key);
                if (it != edges.end()) {
                    face.nb[k] = it->second.first;
                    c->faces[it->second.first].nb[it->second.second] = f;
                    edges.erase(it);
                } else {
                    edges[std::make_tuple(a.x, a.y, a.z, b.x, b.y, b.z)] = {f, k};
                }
            }
        }
        for (uint32_t f = 0; f < c->faceCount; ++f) {
            PelFace& face = c->faces[f];
            const int n = (face.flags & FACE_QUAD) ? 4 : 3;
            for (int k = 0; k < n; ++k)
                if (face.nb[k] == f) face.flags |= uint16_t(FACE_OPEN_EDGE0 << k);
        }
        return c;
    }
};

// A size x size checker texture of two colours (0x00RRGGBB).
inline TexRecord* sampleCheckerTexture(int size, uint32_t a, uint32_t b) {
    uint32_t palette[256] = {};
    palette[0] = a;
    palette[1] = b;
    PicRecord* pic = nullptr;
    if (!fzCreateImage(uint32_t(size), uint32_t(size), 1, &pic, 256, palette) || !pic) return nullptr;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) pic->pixels[size_t(y) * pic->width + x] = uint8_t(((x / 8) + (y / 8)) & 1);
    TexRecord* tex = nullptr;
    if (texAllocRecord(&tex) && !picConvert(pic, size, size, 1, 0, tex, nullptr)) memFreeRef(reinterpret_cast<void**>(&tex));
    fzFreeImage(&pic);
    return tex;
}

inline MatInput sampleMaterial(float r, float g, float b, float specular = 0.0f) {
    MatInput m = plainMaterial(r, g, b);
    m.colSpecular[0] = m.colSpecular[1] = m.colSpecular[2] = 1.0f;
    m.coSpecular = specular;
    m.specExp = 20.0f;
    if (specular > 0) m.flags |= qivMatFlagIsSpec;
    return m;
}

inline MatInput sampleTexturedMaterial(uint32_t area) {
    MatInput m = plainMaterial(1, 1, 1);
    m.coAmbient = 0.3f;
    m.coDifuse = 0.8f;
    m.area = area;
    m.flags |= qivMatFlagIsTextured;
    return m;
}

// The sample scene: a two-coloured block, a sphere, a pyramid and a textured cube (one part
// each), two directional lights, a camera for a w x h view and a colour-band background.
struct SampleScene {
    PelContent* content = nullptr;
    ScnNode* node = nullptr;
    TexRecord* texture = nullptr;
    LightRecord* lights[2] = {};
    CamRecord cam{};
};

inline bool sampleSceneCreate(SampleScene* s, int32_t w, int32_t h) {
    SampleMesh mesh;
    mesh.shape.materials = {sampleMaterial(0.8f, 0.2f, 0.15f), sampleMaterial(0.9f, 0.75f, 0.2f),
                           sampleMaterial(0.2f, 0.45f, 0.9f, 0.6f), sampleMaterial(0.3f, 0.75f, 0.3f),
                           sampleTexturedMaterial(0)};
    mesh.shape.areaCount = 1;
    mesh.box({0.0f, 0.0f, 0.25f}, {2.0f, 1.5f, 0.25f}, 0);
    for (size_t f = mesh.shape.faces.size() - 6; f < mesh.shape.faces.size(); f += 2) mesh.shape.faces[f].material = 1;
    mesh.endPart();
    mesh.sphere({-0.9f, -0.4f, 1.2f}, 0.7f, 24, 16, 2);
    mesh.endPart();
    mesh.pyramid({1.0f, 0.6f, 0.5f}, 1.2f, 0.6f, 3);
    mesh.endPart();
    mesh.box({1.1f, -0.8f, 0.85f}, {0.35f, 0.35f, 0.35f}, 4, FACE_TEXTURED);
    mesh.endPart();
    s->content = mesh.build();
    s->texture = sampleCheckerTexture(64, 0x00F0E0C0, 0x00603020);
    TexRecord* textures[1] = {s->texture};
    Mat4 base;
    mtxIdentity(&base);
    if (!s->content || !scnNodeCreate(s->content, 1, textures, nullptr, &base, &s->node) || !s->node) return false;
    // directional lights are given by the direction they shine in
    const float sun[3] = {-0.4f, 0.6f, -0.7f}, sunColour[3] = {0.9f, 0.9f, 0.85f};
    const float fill[3] = {0.7f, -0.3f, -0.2f}, fillColour[3] = {0.35f, 0.35f, 0.45f};
    ltAdd(0, sun, sunColour, 0, &s->lights[0]);
    ltAdd(0, fill, fillColour, 0, &s->lights[1]);
    CamRecord& cam = s->cam;
    cam = CamRecord{};
    cam.eye = {6.0f, -8.0f, 4.2f};
    cam.vrp = {0.0f, 0.0f, 1.6f};
    cam.up = {0.0f, 0.0f, 1.0f};
    cam.viewDist = 1.0f;
    cam.nearDist = 0.5f;
    cam.farDist = 60.0f;
    const float halfW = std::tan(0.35f), halfH = halfW * float(h) / float(w);
    cam.winXMin = -halfW, cam.winXMax = halfW, cam.winYMin = -halfH, cam.winYMax = halfH;
    cam.pixW = w, cam.pixH = h;
    if (!camUpdate(&cam)) return false;
    BgRecord bg{};
    fzGetBackground(&bg);
    bg.mode = 1;  // colour band: sky above the horizon, ground below
    return fzResetBackground(&bg) != 0;
}

inline void sampleSceneFree(SampleScene* s) {
    uint32_t remaining = 0;
    scnNodeFree(&s->node, &remaining);
    pelFreeObject(&s->content);
    for (LightRecord*& l : s->lights) ltDelete(&l);
    if (s->texture) {
        picFreeRef(&s->texture->block);
        memFreeRef(reinterpret_cast<void**>(&s->texture));
    }
}

// Frame rows (RGB555 or 0x00RRGGBB) into a bottom-up 24-bit BMP.
inline bool sampleWriteBmp(const char* path, const PicRecord* pic, int32_t w, int32_t h) {
    const uint32_t row = (uint32_t(w) * 3 + 3) & ~3u;
    const uint32_t size = 54 + row * uint32_t(h);
    std::vector<uint8_t> out(size, 0);
    auto put16 = [&](size_t o, uint32_t v) { out[o] = uint8_t(v), out[o + 1] = uint8_t(v >> 8); };
    auto put32 = [&](size_t o, uint32_t v) {
        for (int k = 0; k < 4; ++k) out[o + k] = uint8_t(v >> (8 * k));
    };
    out[0] = 'B', out[1] = 'M';
    put32(2, size);
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(w));
    put32(22, uint32_t(h));
    put16(26, 1);
    put16(28, 24);
    put32(34, row * uint32_t(h));
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* dst = out.data() + 54 + size_t(h - 1 - y) * row;
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t* p = pic->pixels + (size_t(y) * pic->width + x) * pic->bytesPerPixel;
            uint32_t r, g, b;
            if (pic->bytesPerPixel == 2) {
                const uint32_t v = picGet16(p);
                r = ((v >> 10) & 31) * 255 / 31, g = ((v >> 5) & 31) * 255 / 31, b = (v & 31) * 255 / 31;
            } else {
                const uint32_t v = picGet32(p);
                r = (v >> 16) & 255, g = (v >> 8) & 255, b = v & 255;
            }
            dst[3 * x] = uint8_t(b), dst[3 * x + 1] = uint8_t(g), dst[3 * x + 2] = uint8_t(r);
        }
    }
    const std::string tmp = std::string(path) + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    if (std::fclose(f) != 0 || !ok) {
        std::remove(tmp.c_str());
        return false;
    }
    std::remove(path);
    return std::rename(tmp.c_str(), path) == 0;
}

