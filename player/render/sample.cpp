// The sample object and its scene.
#include "render/sample.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <tuple>

#include "render/fzbuffer.h"
#include "render/light.h"
#include "scene/contentlist.h"
#include "scene/engine.h"
#include "scene/pelchunk.h"
#include "scene/pelwrite.h"
#include "scene/picture.h"
#include "scene/texture.h"

namespace {

size_t align16(size_t n) { return (n + 15) & ~size_t(15); }

void widen(Box3& b, const Vec3& q) {
    b.min = {std::fmin(b.min.x, q.x), std::fmin(b.min.y, q.y), std::fmin(b.min.z, q.z)};
    b.max = {std::fmax(b.max.x, q.x), std::fmax(b.max.y, q.y), std::fmax(b.max.z, q.z)};
}

}  // namespace

void SampleMesh::endPart() {
    shape.partVertices.push_back(uint32_t(shape.positions.size()) - partStartVertex);
    shape.partFaces.push_back(uint32_t(shape.faces.size()) - partStartFace);
    partStartVertex = uint32_t(shape.positions.size());
    partStartFace = uint32_t(shape.faces.size());
}

uint32_t SampleMesh::vertex(Vec3 p, Vec3 n, float u, float v) {
    shape.positions.push_back(p);
    shape.us.push_back(u);
    vs.push_back(v);
    normals.push_back(n);
    return uint32_t(shape.positions.size() - 1);
}

void SampleMesh::quad(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint16_t material, uint16_t flags) {
    shape.faces.push_back({{a, b, c, d}, material, uint16_t(FACE_QUAD | flags), 0});
}

void SampleMesh::tri(uint32_t a, uint32_t b, uint32_t c, uint16_t material, uint16_t flags) {
    shape.faces.push_back({{a, b, c, c}, material, flags, 0});
}

namespace {

// Face f of an axis-aligned box (0 +x, 1 -x, 2 +y, 3 -y, 4 +z, 5 -z), outward winding.
void boxFace(SampleMesh& m, Vec3 c, Vec3 h, int f, uint16_t material, uint16_t flags) {
    static const int axes[6][3] = {{0, 1, 2}, {0, 1, 2}, {1, 2, 0}, {1, 2, 0}, {2, 0, 1}, {2, 0, 1}};
    const float s = (f & 1) ? -1.0f : 1.0f;
    const int u = axes[f][0], v = axes[f][1], w = axes[f][2];
    const float corner[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    uint32_t idx[4];
    for (int k = 0; k < 4; ++k) {
        float p[3], n[3] = {0, 0, 0};
        p[u] = corner[k][0] * s;
        p[v] = corner[k][1];
        p[w] = s;
        n[w] = s;
        const Vec3 pos = {c.x + p[0] * h.x, c.y + p[1] * h.y, c.z + p[2] * h.z};
        idx[k] = m.vertex(pos, {n[0], n[1], n[2]}, (corner[k][0] + 1) * 0.5f, (corner[k][1] + 1) * 0.5f);
    }
    m.quad(idx[0], idx[1], idx[2], idx[3], material, flags);
}

}  // namespace

void SampleMesh::box(Vec3 c, Vec3 h, uint16_t material, uint16_t flags) {
    for (int f = 0; f < 6; ++f) boxFace(*this, c, h, f, material, flags);
}

void SampleMesh::tray(Vec3 c, Vec3 h, uint16_t material, uint16_t flags) {
    for (int f = 0; f < 6; ++f)
        if (f != 4) boxFace(*this, c, h, f, material, flags);
}

void SampleMesh::sphere(Vec3 c, float r, int segments, int rings, uint16_t material, uint16_t flags) {
    const float pi = 3.14159265f;
    std::vector<uint32_t> grid;
    for (int i = 0; i <= rings; ++i)
        for (int j = 0; j <= segments; ++j) {
            const float th = pi * float(i) / float(rings), ph = 2 * pi * float(j) / float(segments);
            const Vec3 n = {std::sin(th) * std::cos(ph), std::sin(th) * std::sin(ph), std::cos(th)};
            grid.push_back(vertex({c.x + r * n.x, c.y + r * n.y, c.z + r * n.z}, n, float(j) / float(segments),
                                  float(i) / float(rings)));
        }
    auto at = [&](int i, int j) { return grid[size_t(i) * size_t(segments + 1) + size_t(j)]; };
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

void SampleMesh::pyramid(Vec3 c, float h, float half, uint16_t material) {
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

PelContent* SampleMesh::build() {
    if (shape.partFaces.empty() || partStartFace != shape.faces.size()) endPart();
    const size_t nv = shape.positions.size(), nf = shape.faces.size(), np = shape.partFaces.size();
    const size_t nm = shape.materials.size();
    // One block: head, parts, vertex normals, face normals, vertices, faces, materials.
    size_t off = align16(sizeof(PelContent));
    const size_t oParts = off;
    off = align16(off + np * sizeof(PelPart));
    const size_t oVn = off;
    off = align16(off + nv * sizeof(PelNormal));
    const size_t oFn = off;
    off = align16(off + nf * sizeof(PelNormal));
    const size_t oV = off;
    off = align16(off + nv * sizeof(PelVertex));
    const size_t oF = off;
    off = align16(off + nf * sizeof(PelFace));
    const size_t oM = off;
    off = align16(off + nm * sizeof(MatInput));
    auto* base = static_cast<unsigned char*>(memAllocZ(off));
    if (!base) return nullptr;
    auto* c = reinterpret_cast<PelContent*>(base);
    c->parts = reinterpret_cast<PelPart*>(base + oParts);
    c->vertexNormals = reinterpret_cast<PelNormal*>(base + oVn);
    c->faceNormals = reinterpret_cast<PelNormal*>(base + oFn);
    c->vertices = reinterpret_cast<PelVertex*>(base + oV);
    c->faces = reinterpret_cast<PelFace*>(base + oF);
    c->materials = reinterpret_cast<MatInput*>(base + oM);
    c->vertexNormalCount = uint32_t(nv);
    c->faceNormalCount = uint32_t(nf);
    c->vertexCount = uint32_t(nv);
    c->faceCount = uint32_t(nf);
    c->materialCount = uint32_t(nm);
    c->areaCount = shape.areaCount;
    c->partCount = uint32_t(np);
    for (size_t i = 0; i < nv; ++i) {
        PelVertex& v = c->vertices[i];
        v.pos = shape.positions[i];
        v.u = i < shape.us.size() ? shape.us[i] : 0.0f;
        v.v = i < vs.size() ? vs[i] : 0.0f;
        c->vertexNormals[i].normal = i < normals.size() ? normals[i] : Vec3{0, 0, 1};
        v.normal = &c->vertexNormals[i];
    }
    for (size_t i = 0; i < nf; ++i) {
        PelFace& f = c->faces[i];
        std::memcpy(f.v, shape.faces[i].v, sizeof f.v);
        if (!(shape.faces[i].flags & FACE_QUAD)) f.v[3] = f.v[2];
        f.material = shape.faces[i].material;
        f.flags = shape.faces[i].flags;
        f.area = shape.faces[i].area;
        f.normal = &c->faceNormals[i];
        for (uint32_t& nb : f.nb) nb = uint32_t(i);
        visFacePlane(c, &f, &f.normal->normal, &f.dist);
    }
    for (size_t i = 0; i < nm; ++i) c->materials[i] = shape.materials[i];
    uint32_t fv = 0, ff = 0;
    Box3 all = {{1e20f, 1e20f, 1e20f}, {-1e20f, -1e20f, -1e20f}};
    for (size_t p = 0; p < np; ++p) {
        PelPart& part = c->parts[p];
        part.vertexCount = shape.partVertices[p];
        part.faceCount = shape.partFaces[p];
        part.firstVertex = c->vertices + fv;
        part.firstFace = c->faces + ff;
        part.id = uint32_t(p);
        Box3 box = {{1e20f, 1e20f, 1e20f}, {-1e20f, -1e20f, -1e20f}};
        for (uint32_t i = fv; i < fv + part.vertexCount; ++i) widen(box, c->vertices[i].pos);
        part.box = part.vertexCount ? box : Box3{};
        for (uint32_t i = ff; i < ff + part.faceCount; ++i) c->faces[i].part = uint32_t(p);
        fv += part.vertexCount;
        ff += part.faceCount;
    }
    for (const Vec3& q : shape.positions) widen(all, q);
    c->box = nv ? all : Box3{};
    // Neighbours: an edge meets the edge of another face that runs the other way.
    std::map<std::tuple<float, float, float, float, float, float>, std::pair<uint32_t, int>> edges;
    for (uint32_t f = 0; f < c->faceCount; ++f) {
        PelFace& face = c->faces[f];
        const int n = (face.flags & FACE_QUAD) ? 4 : 3;
        for (int k = 0; k < n; ++k) {
            const Vec3 a = c->vertices[face.v[k]].pos, b = c->vertices[face.v[(k + 1) % n]].pos;
            auto it = edges.find(std::make_tuple(b.x, b.y, b.z, a.x, a.y, a.z));
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
    pelRegisterObject(c);
    return c;
}

TexRecord* sampleCheckerTexture(int size, uint32_t a, uint32_t b) {
    uint32_t palette[256] = {};
    palette[0] = a;
    palette[1] = b;
    PicRecord* pic = nullptr;
    if (!fzCreateImage(uint32_t(size), uint32_t(size), 1, &pic, 256, palette) || !pic) return nullptr;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) pic->pixels[size_t(y) * pic->width + x] = uint8_t(((x / 8) + (y / 8)) & 1);
    TexRecord* tex = nullptr;
    if (texAllocRecord(&tex) && !picConvert(pic, size, size, 1, 0, tex, nullptr)) sampleFreeTexture(&tex);
    fzFreeImage(&pic);
    return tex;
}

void sampleFreeTexture(TexRecord** holder) {
    if (!holder || !*holder) return;
    picFreeRef(&(*holder)->block);
    memFreeRef(reinterpret_cast<void**>(holder));
}

MatInput sampleMaterial(float r, float g, float b, float specular) {
    MatInput m{};
    m.colDifuse[0] = r;
    m.colDifuse[1] = g;
    m.colDifuse[2] = b;
    m.coAmbient = 0.2f;
    m.coDifuse = 0.8f;
    m.colSpecular[0] = m.colSpecular[1] = m.colSpecular[2] = 1.0f;
    m.coSpecular = specular;
    m.specExp = 20.0f;
    if (specular > 0) m.flags |= qivMatFlagIsSpec;
    return m;
}

MatInput sampleTexturedMaterial(uint32_t area) {
    MatInput m{};
    m.colDifuse[0] = m.colDifuse[1] = m.colDifuse[2] = 1.0f;
    m.coAmbient = 0.3f;
    m.coDifuse = 0.8f;
    m.area = area;
    m.flags |= qivMatFlagIsTextured;
    return m;
}

bool sampleSceneCreate(SampleScene* s, int32_t w, int32_t h) {
    if (!s || w <= 0 || h <= 0) return false;
    SampleMesh mesh;
    mesh.shape.materials = {sampleMaterial(0.8f, 0.2f, 0.15f), sampleMaterial(0.9f, 0.75f, 0.2f),
                            sampleMaterial(0.2f, 0.45f, 0.9f, 0.6f), sampleMaterial(0.3f, 0.75f, 0.3f),
                            sampleTexturedMaterial(0), sampleMaterial(0.85f, 0.85f, 0.8f)};
    mesh.shape.areaCount = 1;
    mesh.box({0.0f, 0.0f, 0.25f}, {2.0f, 1.5f, 0.25f}, 0);
    for (size_t f = mesh.shape.faces.size() - 6; f < mesh.shape.faces.size(); f += 2) mesh.shape.faces[f].material = 1;
    mesh.endPart();
    // A smooth surface: its faces join without edges in the wire and hidden-line pictures.
    mesh.sphere({-0.9f, -0.4f, 1.2f}, 0.7f, 24, 16, 2, FACE_EDGES_ONLY);
    mesh.endPart();
    mesh.pyramid({1.0f, 0.6f, 0.5f}, 1.2f, 0.6f, 3);
    mesh.endPart();
    mesh.box({1.1f, -0.8f, 0.85f}, {0.35f, 0.35f, 0.35f}, 4, FACE_TEXTURED);
    mesh.endPart();
    // An open tray: the inside of its walls faces away from the camera.
    mesh.tray({-1.2f, 0.85f, 0.75f}, {0.5f, 0.4f, 0.25f}, 5);
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

void sampleSceneFree(SampleScene* s) {
    if (!s) return;
    uint32_t remaining = 0;
    scnNodeFree(&s->node, &remaining);
    pelFreeObject(&s->content);
    for (LightRecord*& l : s->lights) ltDelete(&l);
    sampleFreeTexture(&s->texture);
}

bool sampleWriteBmp(const char* path, const PicRecord* pic, int32_t w, int32_t h) {
    if (!path || !pic || !pic->pixels || w <= 0 || h <= 0 || w > pic->width || h > pic->height) return false;
    const uint32_t row = (uint32_t(w) * 3 + 3) & ~3u;
    const uint32_t size = 54 + row * uint32_t(h);
    std::vector<uint8_t> out(size, 0);
    auto put16 = [&](size_t o, uint32_t v) { out[o] = uint8_t(v), out[o + 1] = uint8_t(v >> 8); };
    auto put32 = [&](size_t o, uint32_t v) {
        for (int k = 0; k < 4; ++k) out[o + size_t(k)] = uint8_t(v >> (8 * k));
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
                const uint32_t v = picRgb555ToFullRgb(picGet16(p));
                r = (v >> 16) & 255, g = (v >> 8) & 255, b = v & 255;
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

bool sampleWriteObjectFile(const char* path, bool kvo) {
    if (!path || !*path) return false;
    SampleScene scene;
    if (!sampleSceneCreate(&scene, 640, 480)) {
        sampleSceneFree(&scene);
        return false;
    }
    const char* areaNames[1] = {kSampleTextureName};
    PelWriteInfo info{};
    info.objectName = "Sample";
    info.areaNames = areaNames;
    for (int k = 0; k < 5; ++k) info.switches[k] = (PEL_WRITE_DEFAULT_FLAGS & PEL_WRITE_SWITCH_FLAGS[k]) != 0;
    const std::string target(path);
    const size_t cut = target.find_last_of("/\\");
    const std::string texturePath = (cut == std::string::npos ? std::string() : target.substr(0, cut + 1)) +
                                    kSampleTextureName;
    // A KVO file is made beside the target and renamed over it once its header is set.
    const std::string written = kvo ? target + ".kvo-tmp" : target;
    bool ok = pelWriteFile(0, written.c_str(), scene.node, &info, nullptr, 0, nullptr) != 0 &&
              picWriteBmp(scene.texture, 1.0f, 1.0f, texturePath.c_str()) != 0;
    if (ok && kvo) {
        // Same layout; only the header's format name differs.
        uint8_t magic[PEL_MAGIC_SIZE];
        pelMakeMagic(PEL_MAGIC_SIZE, magic, "KVO V1.0");
        std::FILE* f = std::fopen(written.c_str(), "r+b");
        ok = f && std::fwrite(magic, 1, sizeof magic, f) == sizeof magic;
        if (f && std::fclose(f) != 0) ok = false;
        if (ok) {
            std::remove(path);
            ok = std::rename(written.c_str(), path) == 0;
        }
    }
    if (!ok && kvo) std::remove(written.c_str());
    sampleSceneFree(&scene);
    return ok;
}
