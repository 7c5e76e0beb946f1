// Object file writer.
#include "scene/pelwrite.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "scene/camera.h"
#include "scene/contentlist.h"
#include "scene/bytes.h"
#include "scene/engine.h"
#include "scene/material.h"
#include "scene/pelchunk.h"
#include "scene/pelfile.h"
#include "scene/texture.h"

namespace {

using bytes::wr16;
using bytes::wr32;
using bytes::wrf;

void wrVec(uint8_t* p, const Vec3& v) {
    wrf(p, v.x);
    wrf(p + 4, v.y);
    wrf(p + 8, v.z);
}

// Material flags stored in the file (the specular flag is derived on load).
constexpr uint32_t kFileMatFlags = qivMatFlagIsTextured | qivMatFlagIsTexMask | qivMatFlagIsLight |
                                   qivMatFlagMixTexCol | qivMatFlagTwoSided | qivMatFlagIsTexRefl;
constexpr uint32_t kAreaNameField = 256;
const char* const kTempSuffix = ".~new";

}  // namespace

Mat4 pelWriteMatrix(const Mat4& base, const Vec3& centre) {
    Mat4 m = base;
    if (mtxIsMarked(&m)) mtxIdentity(&m);
    Mat4 t;
    mtxMakeTranslation(-centre.x, -centre.y, -centre.z, &t);
    mtxPostMultiply(&t, &m);
    Mat4 mirror;
    mtxIdentity(&mirror);
    mirror.m[0] = -1.0f;
    mirror.m[5] = -1.0f;
    mtxPostMultiply(&mirror, &m);
    return m;
}

Vec3 pelBoxCentre(const Box3& b) {
    return Vec3{(b.min.x + b.max.x) * 0.5f, (b.min.y + b.max.y) * 0.5f, (b.min.z + b.max.z) * 0.5f};
}

namespace {

// Matrix that takes normals along with points transformed by m (the inverse transposed).
bool normalMatrix(const Mat4& m, Mat4* out) {
    Mat4 inv;
    if (!mtxInvert(&m, &inv)) return false;
    mtxIdentity(out);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) out->m[4 * r + c] = inv.m[4 * c + r];
    return true;
}


// The a-th name of a content's area names; null when it is missing or empty.
const char* contentAreaName(const PelContent* c, uint32_t a) {
    const char* p = pelAreaName(c, a);
    return p && *p ? p : nullptr;
}

// Written area records and the new index of every area of the content.
struct AreaPlan {
    std::vector<std::string> names;
    std::vector<uint32_t> remap;
    uint32_t nameBytes = 0;
};

AreaPlan planAreas(const ScnNode* node, const PelWriteInfo* info, bool merge) {
    const PelContent* c = node->content;
    AreaPlan plan;
    plan.remap.resize(c->areaCount);
    std::vector<std::string> keys;
    for (uint32_t a = 0; a < c->areaCount; ++a) {
        const char* name = nullptr;
        if (info && info->areaNames)
            name = info->areaNames[a];
        else if (node->areaTextures && node->areaTextures[a] && node->areaTextures[a]->name)
            name = node->areaTextures[a]->name;
        else
            name = contentAreaName(c, a);
        std::string text = (name && *name) ? std::string(name) : std::string(" ");
        if (text.size() > kAreaNameField - 2) text.resize(kAreaNameField - 2);
        std::string key = text;
        for (char& ch : key) ch = char(std::tolower(static_cast<unsigned char>(ch)));
        uint32_t index = uint32_t(plan.names.size());
        if (merge) {
            for (uint32_t k = 0; k < keys.size(); ++k)
                if (keys[k] == key) {
                    index = k;
                    break;
                }
        }
        if (index == plan.names.size()) {
            plan.names.push_back(text);
            keys.push_back(key);
        }
        plan.remap[a] = index;
    }
    if (!plan.names.empty()) {
        uint64_t bytes = 1;
        for (const std::string& n : plan.names) bytes += n.size() + 2;
        plan.nameBytes = uint32_t(bytes);
    }
    return plan;
}

bool materialTextured(const PelContent* c, uint32_t m) {
    return m < c->materialCount && (c->materials[m].flags & qivMatFlagIsTextured);
}

template <class T>
uint32_t indexIn(const T* p, const T* first, uint32_t count, uint32_t none) {
    if (!p || !first || p < first || p >= first + count) return none;
    return uint32_t(p - first);
}

// Text chunk of part names: per name "XX", its characters, separator 1 and a zero byte.
std::vector<uint8_t> nameChunk(uint32_t count, const char* const* names) {
    std::vector<uint8_t> out;
    for (uint32_t i = 0; i < count; ++i) {
        if (names[i]) {
            out.push_back('X');
            out.push_back('X');
            for (const char* p = names[i]; *p; ++p)
                if (*p != 1) out.push_back(uint8_t(*p));
        }
        out.push_back(1);
        out.push_back(0);
    }
    return out;
}

// Outline polylines of the running pelBuildOutline.
std::vector<std::deque<Vec3>> g_outline;

bool samePoint(const Vec3& a, const Vec3& b) {
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return dx * dx + dy * dy + dz * dz < 1.0000001e-6f;
}

}  // namespace

// ---------------------------------------------------------------------------

int pelPutString(uint32_t width, uint8_t* field, const char* text) {
    if (!field || width < 2) return 0;
    std::memset(field, 0, width);
    if (!text) return 1;
    const size_t n = std::strlen(text);
    if (n > width - 2) {
        errContext();
        errReportPlain("String %s is to long, length=%d, max is %d", text, int(n), int(width - 2));
        return 0;
    }
    field[0] = uint8_t(n);
    std::memcpy(field + 1, text, n + 1);
    return 1;
}

int pelWriteSum(std::FILE* file, const void* data, uint32_t size, uint32_t* sum) {
    if (!file || (!data && size)) return 0;
    if (size && std::fwrite(data, 1, size, file) != size) return 0;
    if (sum) *sum += pelByteSum(size, data);
    return 1;
}

uint16_t pelFaceFlagsToFile(uint16_t flags, int textured) {
    uint16_t out = flags & (0x1 | 0x2 | 0x20 | 0x40 | 0x80 | 0x100 | 0x200 | 0x800);
    if (textured) out |= flags & (0x4 | 0x10 | 0x400);
    return out;
}

// ---------------------------------------------------------------------------

void pelAddOutlineEdge(const Vec3* a, const Vec3* b) try {
    if (!a || !b) return;
    if (!g_outline.empty()) {
        std::deque<Vec3>& line = g_outline.back();
        if (samePoint(line.front(), *a)) {
            line.push_front(*b);
            return;
        }
        if (samePoint(line.front(), *b)) {
            line.push_front(*a);
            return;
        }
        if (samePoint(line.back(), *a)) {
            line.push_back(*b);
            return;
        }
        if (samePoint(line.back(), *b)) {
            line.push_back(*a);
            return;
        }
    }
    g_outline.push_back(std::deque<Vec3>{*a, *b});
} QIV_ENGINE_CATCH_VOID

void pelFreeOutline() { std::vector<std::deque<Vec3>>().swap(g_outline); }

int pelBuildOutline(const PelContent* c, const Mat4* matrix, uint32_t* pointCount, uint32_t* polylineCount,
                    float** points, uint16_t** counts) try {
    if (!pointCount || !polylineCount || !points || !counts) return 0;
    *pointCount = *polylineCount = 0;
    *points = nullptr;
    *counts = nullptr;
    if (!c || !matrix || !c->faces || !c->vertices) return 0;
    Mat4 nm;
    if (!normalMatrix(*matrix, &nm)) return 0;
    pelFreeOutline();

    // World normal z of every face (0 for faces without a usable normal).
    std::vector<float> nz(c->faceCount, 0.0f);
    for (uint32_t i = 0; i < c->faceCount; ++i) {
        const PelFace& f = c->faces[i];
        if (!f.normal) continue;
        Vec3 n;
        if (mtxTransformNormal(&f.normal->normal, &n, &nm)) nz[i] = n.z;
    }
    for (uint32_t i = 0; i < c->faceCount; ++i) {
        const PelFace& f = c->faces[i];
        const bool twoSided = f.material < c->materialCount && (c->materials[f.material].flags & qivMatFlagTwoSided);
        if (!twoSided && !(nz[i] > 0.001f)) continue;
        const float s = nz[i] > 0.001f ? 1.0f : -1.0f;
        const int n = (f.flags & FACE_QUAD) ? 4 : 3;
        bool valid = true;
        for (int k = 0; k < n; ++k) valid = valid && f.v[k] < c->vertexCount;
        if (!valid) continue;
        for (int k = 0; k < n; ++k) {
            const uint32_t nb = f.nb[k];
            const bool open = nb == i || nb >= c->faceCount || (f.flags & (FACE_OPEN_EDGE0 << k));
            if (!open && !(s * nz[nb] < 0.001f)) continue;
            Vec3 a, b;
            mtxTransformPoint(&c->vertices[f.v[k]].pos, &a, matrix);
            mtxTransformPoint(&c->vertices[f.v[(k + 1) % n]].pos, &b, matrix);
            pelAddOutlineEdge(&a, &b);
        }
    }
    uint64_t total = 0;
    for (const auto& line : g_outline) total += line.size();
    if (g_outline.empty() || g_outline.size() > 0xFFFFFFFFu || total > 0x0FFFFFFFu) {
        pelFreeOutline();
        return 0;
    }
    for (const auto& line : g_outline)
        if (line.size() > 0xFFFF) {
            pelFreeOutline();
            return 0;
        }
    auto* pts = static_cast<float*>(memAllocZ(size_t(total) * 2 * sizeof(float)));
    auto* cnt = static_cast<uint16_t*>(memAllocZ(g_outline.size() * sizeof(uint16_t)));
    if (!pts || !cnt) {
        memFree(pts);
        memFree(cnt);
        pelFreeOutline();
        return 0;
    }
    size_t k = 0;
    for (size_t i = 0; i < g_outline.size(); ++i) {
        cnt[i] = uint16_t(g_outline[i].size());
        for (const Vec3& p : g_outline[i]) {
            pts[k++] = p.x;
            pts[k++] = p.y;
        }
    }
    *pointCount = uint32_t(total);
    *polylineCount = uint32_t(g_outline.size());
    *points = pts;
    *counts = cnt;
    pelFreeOutline();
    return 1;
} QIV_ENGINE_CATCH(0)

// ---------------------------------------------------------------------------

namespace {
PelPreviewFn g_preview = nullptr;
}  // namespace

void pelSetPreviewRenderer(PelPreviewFn fn) { g_preview = fn; }

// ---------------------------------------------------------------------------

int pelWriteFile(int mergeAreas, const char* path, ScnNode* node, const PelWriteInfo* info, Vec3* centreOut,
                 uint32_t nameCount, const char* const* names) try {
    errContext();
    if (!path || !node || !node->content) return 0;
    PelContent* c = node->content;
    if (c->faceCount == 0 || !c->faces || !c->vertices || !c->parts || (c->materialCount && !c->materials)) return 0;

    // Translucency flag from the node's materials (the content's when the node has none).
    bool alpha = false;
    for (uint32_t m = 0; m < c->materialCount; ++m)
        alpha = alpha || (node->materials ? node->materials[m].alpha : c->materials[m].alpha) != 0.0f;

    Box3 world;
    mtxTransformBox(&c->box, &world, &node->base);
    const Vec3 centre = pelBoxCentre(world);
    if (centreOut) *centreOut = centre;
    const Mat4 m = pelWriteMatrix(node->base, centre);
    Mat4 nm;
    // The node is marked changed at every exit from here on.
    struct ChangedMark {
        ScnNode* node;
        ~ChangedMark() { node->flags |= NODE_CHANGED; }
    } changed{node};
    if (!normalMatrix(m, &nm)) return 0;
    Box3 local;
    mtxTransformBox(&c->box, &local, &m);
    dbgPrintf("tx=%.4f/ty=%.4f/tz=%.4f\n", centre.x, centre.y, centre.z);

    // Geometry in the file's frame.
    std::vector<Vec3> vn(c->vertexNormalCount), fn(c->faceNormalCount), pos(c->vertexCount);
    for (uint32_t i = 0; i < c->vertexNormalCount; ++i)
        if (!mtxTransformNormal(&c->vertexNormals[i].normal, &vn[i], &nm)) vn[i] = c->vertexNormals[i].normal;
    for (uint32_t i = 0; i < c->faceNormalCount; ++i)
        if (!mtxTransformNormal(&c->faceNormals[i].normal, &fn[i], &nm)) fn[i] = c->faceNormals[i].normal;
    for (uint32_t i = 0; i < c->vertexCount; ++i) mtxTransformPoint(&c->vertices[i].pos, &pos[i], &m);

    const AreaPlan areas = planAreas(node, info, mergeAreas != 0);
    const uint32_t areaCount = uint32_t(areas.names.size());

    // Header.
    const bool longVertex = c->vertexCount > PEL_SHORT_LIMIT;
    const bool longFace = longVertex || c->faceCount > PEL_SHORT_LIMIT;
    const uint32_t vertexRecord = longVertex ? PEL_VERTEX_LONG : PEL_VERTEX_SHORT;
    const uint32_t faceRecord = longFace ? PEL_FACE_LONG : PEL_FACE_SHORT;
    const uint64_t geoSize = uint64_t(PEL_GEO_HEADER_SIZE) + uint64_t(PEL_LIGHT_RECORD) * c->lightCount +
                             uint64_t(PEL_MATERIAL_RECORD) * c->materialCount + uint64_t(PEL_AREA_RECORD) * areaCount +
                             uint64_t(PEL_PART_RECORD) * c->partCount +
                             uint64_t(PEL_NORMAL_RECORD) * (uint64_t(c->vertexNormalCount) + c->faceNormalCount) +
                             uint64_t(vertexRecord) * c->vertexCount + uint64_t(faceRecord) * c->faceCount;
    if (geoSize > 0x7FFFFFFFu) {
        errReport(ERR_LENGTH, "Object of %llu bytes is too large for file %s", (unsigned long long)geoSize, path);
        return 0;
    }

    uint8_t header[PEL_HEADER_SIZE] = {};
    pelPutString(PEL_MAGIC_SIZE, header,
                 (c->vertexCount > PEL_SHORT_LIMIT || c->faceCount > PEL_SHORT_LIMIT) ? "PEL V1.1" : "PEL V1.0");
    uint32_t flags = 0;
    if (c->lightCount) flags |= PEL_HDR_LIGHTS;
    if (areaCount) flags |= PEL_HDR_AREAS;
    if (alpha) flags |= PEL_HDR_ALPHA;
    if (info) {
        for (int k = 0; k < 5; ++k)
            if (info->switches[k]) flags |= PEL_WRITE_SWITCH_FLAGS[k];
    } else {
        flags |= PEL_WRITE_DEFAULT_FLAGS;
    }
    wr32(header + 92, flags);
    wrf(header + 96, local.max.x - local.min.x);
    wrf(header + 100, local.max.y - local.min.y);
    wrf(header + 104, local.max.z - local.min.z);
    wr32(header + 108, info ? info->passedValue : 0);
    wr32(header + 112, c->faceCount);
    wr32(header + 116, areas.nameBytes);
    if (info) {
        if (!pelPutString(PEL_NAME_FIELD, header + PEL_NAME_OFFSET, info->objectName ? info->objectName : "")) return 0;
    } else {
        // The path stands for the name; one too long for the field is cut to fit.
        std::string name(path);
        if (name.size() > PEL_NAME_MAX) name.resize(PEL_NAME_MAX);
        pelPutString(PEL_NAME_FIELD, header + PEL_NAME_OFFSET, name.c_str());
    }
    wr32(header + 220, PEL_HEADER_SIZE);
    wr32(header + 224, uint32_t(geoSize));

    // Geometry block.
    MemHold<uint8_t> geoBlock(static_cast<uint8_t*>(memAllocZ(size_t(geoSize))));
    uint8_t* geo = geoBlock.get();
    if (!geo) return 0;
    uint8_t* p = geo;
    const uint32_t counts[8] = {c->lightCount,        c->materialCount,   areaCount,      c->partCount,
                                c->vertexNormalCount, c->faceNormalCount, c->vertexCount, c->faceCount};
    for (int k = 0; k < 8; ++k) wr32(p + 4 * k, counts[k]);
    p += PEL_GEO_HEADER_SIZE;
    for (uint32_t i = 0; i < c->lightCount; ++i, p += PEL_LIGHT_RECORD) {
        const PelLight& l = c->lights[i];
        wrf(p, l.r);
        wrf(p + 4, l.g);
        wrf(p + 8, l.b);
        Vec3 lp;
        mtxTransformPoint(&l.pos, &lp, &m);
        wrVec(p + 12, lp);
    }
    for (uint32_t i = 0; i < c->materialCount; ++i, p += PEL_MATERIAL_RECORD) {
        const MatInput& mi = c->materials[i];
        for (int k = 0; k < 3; ++k) {
            wrf(p + 4 * k, mi.colDifuse[k]);
            wrf(p + 12 + 4 * k, mi.colSpecular[k]);
        }
        wrf(p + 24, mi.alpha);
        wrf(p + 28, mi.coAmbient);
        wrf(p + 32, mi.coDifuse);
        wrf(p + 36, mi.coSpecular);
        wrf(p + 40, mi.specExp);
        const bool textured = (mi.flags & qivMatFlagIsTextured) != 0;
        wr32(p + 44, textured && mi.area < c->areaCount ? areas.remap[mi.area] : 65535);
        wr32(p + 48, mi.flags & kFileMatFlags);
    }
    for (uint32_t a = 0; a < areaCount; ++a, p += PEL_AREA_RECORD)
        pelPutString(PEL_AREA_RECORD, p, areas.names[a].c_str());
    for (uint32_t i = 0; i < c->partCount; ++i, p += PEL_PART_RECORD) {
        const PelPart& part = c->parts[i];
        Box3 b;
        mtxTransformBox(&part.box, &b, &m);
        wrVec(p, b.min);
        wrVec(p + 12, b.max);
        wr32(p + 24, part.vertexCount);
        wr32(p + 28, (part.flags & PART_NEGATED_FACES) ? uint32_t(-int64_t(part.faceCount)) : part.faceCount);
    }
    for (uint32_t i = 0; i < c->vertexNormalCount; ++i, p += PEL_NORMAL_RECORD) wrVec(p, vn[i]);
    for (uint32_t i = 0; i < c->faceNormalCount; ++i, p += PEL_NORMAL_RECORD) wrVec(p, fn[i]);
    for (uint32_t i = 0; i < c->vertexCount; ++i, p += vertexRecord) {
        const PelVertex& v = c->vertices[i];
        wrVec(p, pos[i]);
        wrf(p + 12, v.u);
        wrf(p + 16, v.v);
        uint32_t normal = indexIn(v.normal, c->vertexNormals, c->vertexNormalCount, 65535);
        if (v.flags & VTX_SMOOTH) normal = 65535;
        const bool relight = v.flags & VTX_RELIGHT, smooth = v.flags & VTX_SMOOTH;
        const uint32_t vflags = relight && smooth ? 0x7E30 : relight ? 0x7E20 : smooth ? 0x7E10 : 0;
        if (longVertex) {
            wr32(p + 20, normal);
            wr16(p + 24, vflags);
        } else {
            wr16(p + 20, normal);
            wr16(p + 22, vflags);
        }
    }
    for (uint32_t i = 0; i < c->faceCount; ++i, p += faceRecord) {
        const PelFace& f = c->faces[i];
        const uint32_t normal = indexIn(f.normal, c->faceNormals, c->faceNormalCount, 0);
        const Vec3 n = normal < fn.size() ? fn[normal] : Vec3{0, 0, 0};
        const Vec3 first = f.v[0] < c->vertexCount ? pos[f.v[0]] : Vec3{0, 0, 0};
        wrf(p, n.x * first.x + n.y * first.y + n.z * first.z);
        const bool textured = materialTextured(c, f.material);
        const uint16_t fileFlags = pelFaceFlagsToFile(f.flags, textured);
        const uint32_t area = textured && f.area < c->areaCount ? areas.remap[f.area] : 0xFFFF;
        if (longFace) {
            for (int k = 0; k < 4; ++k) {
                wr32(p + 4 + 4 * k, f.v[k]);
                wr32(p + 20 + 4 * k, f.nb[k]);
            }
            wr16(p + 36, fileFlags);
            wr32(p + 38, normal);
            wr16(p + 42, f.material);
            wr16(p + 44, area);
        } else {
            for (int k = 0; k < 4; ++k) {
                wr16(p + 4 + 2 * k, f.v[k]);
                wr16(p + 12 + 2 * k, f.nb[k]);
            }
            wr16(p + 20, fileFlags);
            wr16(p + 22, normal);
            wr16(p + 24, f.material);
            wr16(p + 26, area);
        }
    }

    // Preview picture and outline (each left out when it cannot be made).
    uint8_t* preview = nullptr;
    if (g_preview) g_preview(node, &preview);
    MemHold<uint8_t> previewBlock(preview);
    uint32_t pointCount = 0, lineCount = 0;
    float* points = nullptr;
    uint16_t* lineCounts = nullptr;
    std::vector<uint8_t> outline;
    if (pelBuildOutline(c, &m, &pointCount, &lineCount, &points, &lineCounts)) {
        MemHold<float> pointBlock(points);
        MemHold<uint16_t> countBlock(lineCounts);
        outline.resize(8 + 2 * size_t(lineCount) + 8 * size_t(pointCount));
        wr32(outline.data(), lineCount);
        wr32(outline.data() + 4, pointCount);
        uint8_t* q = outline.data() + 8;
        for (uint32_t i = 0; i < lineCount; ++i, q += 2) wr16(q, lineCounts[i]);
        for (uint32_t i = 0; i < 2 * pointCount; ++i, q += 4) wrf(q, points[i]);
    }

    // The new file is built beside the target; the target is replaced only when it is complete.
    const std::string tmp = std::string(path) + kTempSuffix;
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) {
        errContext();
        errReport(ERR_PLAIN, "Error opening file %s for writing", path);
        return 0;
    }
    // Until the rename the temporary file goes at every exit.
    struct TempFile {
        std::FILE*& file;
        const std::string& path;
        bool kept = false;
        ~TempFile() {
            if (file) std::fclose(file);
            if (!kept) std::remove(path.c_str());
        }
    } temp{f, tmp};
    auto fail = [&](const char* message) {
        if (f) std::fclose(f);
        f = nullptr;
        if (message) {
            errContext();
            errReport(ERR_PLAIN, message, path);
        }
        return 0;
    };
    if (std::fwrite(header, 1, PEL_HEADER_SIZE, f) != PEL_HEADER_SIZE) return fail("Error writing to file %s");
    uint32_t geoSum = 0;
    if (!pelWriteSum(f, geo, uint32_t(geoSize), &geoSum)) return fail("Error writing to file %s");
    uint64_t at = PEL_HEADER_SIZE + geoSize;
    wr32(header + 228, geoSum);
    if (preview) {
        uint32_t sum = 0;
        if (!pelWriteSum(f, preview, SCN_PREVIEW_BMP_BYTES, &sum)) return fail("Error writing to file %s");
        wr32(header + 232, uint32_t(at));
        wr32(header + 236, SCN_PREVIEW_BMP_BYTES);
        wr32(header + 240, sum);
        at += SCN_PREVIEW_BMP_BYTES;
    }
    if (!outline.empty()) {
        uint32_t sum = 0;
        if (!pelWriteSum(f, outline.data(), uint32_t(outline.size()), &sum)) return fail("Error writing to file %s");
        wr32(header + 244, uint32_t(at));
        wr32(header + 248, uint32_t(outline.size()));
        wr32(header + 252, sum);
        at += outline.size();
    }
    wr32(header + PEL_TOTAL_OFFSET, uint32_t(at));
    if (std::fseek(f, 0, SEEK_SET) != 0 || std::fwrite(header, 1, PEL_HEADER_SIZE, f) != PEL_HEADER_SIZE)
        return fail("Error rewriting Header of file %s");
    const int closed = std::fclose(f);
    f = nullptr;
    if (closed != 0) return fail("Error writing to file %s");
    geoBlock.reset();
    previewBlock.reset();

    // Text chunks.
    if (names && nameCount != 0) {
        if (nameCount == c->partCount) {
            const std::vector<uint8_t> chunk = nameChunk(nameCount, names);
            if (!pelWriteChunk(tmp.c_str(), PEL_CHUNK_TEXTS1, uint32_t(chunk.size()), chunk.data()))
                return fail(nullptr);
        }
    } else if (c->textList1 && c->textList1Size) {
        if (!pelWriteChunk(tmp.c_str(), PEL_CHUNK_TEXTS1, c->textList1Size, c->textList1)) return fail(nullptr);
    }
    if (c->textList2 && c->textList2Size) {
        if (!pelWriteChunk(tmp.c_str(), PEL_CHUNK_TEXTS2, c->textList2Size, c->textList2)) return fail(nullptr);
    }

    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(tmp), std::filesystem::path(path), ec);
    if (ec) return fail("Error writing to file %s");
    temp.kept = true;
    return 1;
} QIV_ENGINE_CATCH(0)

// ---------------------------------------------------------------------------

namespace {

// Bytes of the first count entries of a text list (entries end with a zero byte); entries
// the list lacks are filled with empty ones.
std::vector<uint8_t> firstEntries(const char* list, uint32_t size, uint32_t count) {
    std::vector<uint8_t> out;
    uint32_t at = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (list && at < size) {
            uint32_t end = at;
            while (end < size && list[end] != 0) ++end;
            out.insert(out.end(), list + at, list + end);
            out.push_back(0);
            at = end + 1;
        } else {
            out.push_back(1);
            out.push_back(0);
        }
    }
    return out;
}

}  // namespace

MatInput pelMatInputFromRecord(const MatRecord& r) {
    MatInput m{};
    for (int k = 0; k < 3; ++k) {
        m.colDifuse[k] = r.colDifuse[k];
        m.colSpecular[k] = r.colSpecular[k];
        m.specCoeff[k] = r.specCoeff[k];
    }
    m.alpha = r.alpha;
    m.coAmbient = r.coAmbient;
    m.coDifuse = r.coDifuse;
    m.coSpecular = r.coSpecular;
    m.specExp = r.specExp;
    m.area = r.area;
    m.flags = r.flags & 0xFFFF;
    return m;
}

int pelMergeNodes(ScnNode* const* nodes, uint32_t, const char* const*, ScnNode** mergedOut) try {
    if (!mergedOut) return 0;
    *mergedOut = nullptr;
    if (!nodes) return 0;
    errContext();
    uint64_t vn = 0, fn = 0, vc = 0, fc = 0, mc = 0, ac = 0, lc = 0, pc = 0, nameBytes = 1;
    uint32_t nodeCount = 0;
    for (; nodes[nodeCount]; ++nodeCount) {
        const PelContent* c = nodes[nodeCount]->content;
        if (!c) continue;
        vn += c->vertexNormalCount;
        fn += c->faceNormalCount;
        vc += c->vertexCount;
        fc += c->faceCount;
        mc += c->materialCount;
        ac += c->areaCount;
        lc += c->lightCount;
        pc += c->partCount;
        for (uint32_t a = 0; a < c->areaCount; ++a) {
            const char* n = contentAreaName(c, a);
            nameBytes += (n ? std::strlen(n) : 1) + 1;
        }
    }
    if (mc > 65520 || ac > 65520) {
        errReport(ERR_FORMAT, "Too many materials (%llu) or areas (%llu) to save", (unsigned long long)mc,
                  (unsigned long long)ac);
        return 0;
    }
    if (vc > 0xFFFFFFF0u || fc > 0xFFFFFFF0u || vn > 0xFFFFFFF0u || fn > 0xFFFFFFF0u || pc > 0xFFFFFFF0u ||
        lc > 0xFFFFFFF0u)
        return 0;

    uint64_t total = sizeof(PelContent);
    auto place = [&](uint64_t align, uint64_t bytes) {
        total = (total + align - 1) / align * align;
        const uint64_t o = total;
        total += bytes;
        return o;
    };
    const uint64_t oParts = place(alignof(PelPart), pc * sizeof(PelPart));
    const uint64_t oVn = place(alignof(PelNormal), vn * sizeof(PelNormal));
    const uint64_t oFn = place(alignof(PelNormal), fn * sizeof(PelNormal));
    const uint64_t oVert = place(alignof(PelVertex), vc * sizeof(PelVertex));
    const uint64_t oFace = place(alignof(PelFace), fc * sizeof(PelFace));
    const uint64_t oMat = place(alignof(MatInput), mc * sizeof(MatInput));
    const uint64_t oLight = place(alignof(PelLight), lc * sizeof(PelLight));
    const uint64_t oNames = place(1, ac ? nameBytes : 0);
    if (total > SIZE_MAX / 2) return 0;
    MemHold<uint8_t> block(static_cast<uint8_t*>(memAllocZ(size_t(total))));
    uint8_t* mem = block.get();
    if (!mem) return 0;
    auto* m = reinterpret_cast<PelContent*>(mem);
    m->parts = reinterpret_cast<PelPart*>(mem + oParts);
    m->vertexNormals = vn ? reinterpret_cast<PelNormal*>(mem + oVn) : nullptr;
    m->faceNormals = reinterpret_cast<PelNormal*>(mem + oFn);
    m->vertices = reinterpret_cast<PelVertex*>(mem + oVert);
    m->faces = reinterpret_cast<PelFace*>(mem + oFace);
    m->materials = reinterpret_cast<MatInput*>(mem + oMat);
    m->lights = lc ? reinterpret_cast<PelLight*>(mem + oLight) : nullptr;
    m->areaNames = ac ? reinterpret_cast<char*>(mem + oNames) : nullptr;
    m->areaNameBytes = ac ? uint32_t(nameBytes) : 0;
    m->box.min = Vec3{1e20f, 1e20f, 1e20f};
    m->box.max = Vec3{-1e20f, -1e20f, -1e20f};

    std::vector<TexRecord*> textures(size_t(ac), nullptr);
    std::vector<uint8_t> texts;
    char* nameOut = m->areaNames;
    for (uint32_t k = 0; k < nodeCount; ++k) {
        const ScnNode* node = nodes[k];
        const PelContent* c = node->content;
        if (!c) continue;
        Mat4 base = node->base;
        if (mtxIsMarked(&base)) mtxIdentity(&base);
        Mat4 nmat;
        if (!normalMatrix(base, &nmat)) mtxIdentity(&nmat);
        const uint32_t vOff = m->vertexCount, fOff = m->faceCount, vnOff = m->vertexNormalCount,
                       fnOff = m->faceNormalCount, mOff = m->materialCount, aOff = m->areaCount, pOff = m->partCount;

        for (uint32_t i = 0; i < c->vertexNormalCount; ++i) {
            PelNormal& n = m->vertexNormals[vnOff + i];
            if (!mtxTransformNormal(&c->vertexNormals[i].normal, &n.normal, &nmat))
                n.normal = c->vertexNormals[i].normal;
        }
        for (uint32_t i = 0; i < c->faceNormalCount; ++i) {
            PelNormal& n = m->faceNormals[fnOff + i];
            if (!mtxTransformNormal(&c->faceNormals[i].normal, &n.normal, &nmat)) n.normal = c->faceNormals[i].normal;
        }
        for (uint32_t i = 0; i < c->vertexCount; ++i) {
            const PelVertex& s = c->vertices[i];
            PelVertex& d = m->vertices[vOff + i];
            mtxTransformPoint(&s.pos, &d.pos, &base);
            d.u = s.u;
            d.v = s.v;
            d.r = s.r, d.g = s.g, d.b = s.b;
            d.flags = s.flags & (VTX_RELIGHT | VTX_SMOOTH | VTX_FIXED_COLOR);
            const uint32_t n = indexIn(s.normal, c->vertexNormals, c->vertexNormalCount, 0xFFFFFFFFu);
            d.normal = n != 0xFFFFFFFFu ? &m->vertexNormals[vnOff + n] : nullptr;
        }
        for (uint32_t i = 0; i < c->faceCount; ++i) {
            const PelFace& s = c->faces[i];
            PelFace& d = m->faces[fOff + i];
            for (int q = 0; q < 4; ++q) {
                d.v[q] = s.v[q] + vOff;
                d.nb[q] = s.nb[q] + fOff;
            }
            const uint32_t n = indexIn(s.normal, c->faceNormals, c->faceNormalCount, 0);
            d.normal = c->faceNormalCount ? &m->faceNormals[fnOff + n] : nullptr;
            d.material = uint16_t(s.material + mOff);
            d.area = uint16_t(s.area + aOff);
            d.part = s.part + pOff;
            d.user = s.user;
            d.flags = s.flags & uint16_t(~(FACE_FRONT_CACHED | FACE_FACING_DECIDED));
            if (d.normal && s.v[0] < c->vertexCount) {
                const Vec3& p = m->vertices[d.v[0]].pos;
                d.dist = d.normal->normal.x * p.x + d.normal->normal.y * p.y + d.normal->normal.z * p.z;
            }
        }
        for (uint32_t i = 0; i < c->partCount; ++i) {
            const PelPart& s = c->parts[i];
            PelPart& d = m->parts[pOff + i];
            mtxTransformBox(&s.box, &d.box, &base);
            mtxBoxUnion(&d.box, &m->box);
            d.vertexCount = s.vertexCount;
            d.faceCount = s.faceCount;
            d.flags = s.flags;
            d.id = s.id;
            d.firstVertex = m->vertices + vOff + (s.firstVertex ? s.firstVertex - c->vertices : 0);
            d.firstFace = m->faces + fOff + (s.firstFace ? s.firstFace - c->faces : 0);
        }
        for (uint32_t i = 0; i < c->materialCount; ++i) {
            MatInput mi = node->materials ? pelMatInputFromRecord(node->materials[i]) : c->materials[i];
            mi.area += aOff;
            m->materials[mOff + i] = mi;
        }
        for (uint32_t i = 0; i < c->lightCount; ++i) {
            PelLight& d = m->lights[m->lightCount + i];
            d = c->lights[i];
            mtxTransformPoint(&c->lights[i].pos, &d.pos, &base);
        }
        for (uint32_t a = 0; a < c->areaCount; ++a) {
            textures[aOff + a] = node->areaTextures ? node->areaTextures[a] : nullptr;
            const char* n = contentAreaName(c, a);
            if (!n) n = " ";
            const size_t len = std::strlen(n);
            std::memcpy(nameOut, n, len + 1);
            nameOut += len + 1;
        }
        const std::vector<uint8_t> partNames = firstEntries(c->textList1, c->textList1Size, c->partCount);
        texts.insert(texts.end(), partNames.begin(), partNames.end());

        m->vertexNormalCount += c->vertexNormalCount;
        m->faceNormalCount += c->faceNormalCount;
        m->vertexCount += c->vertexCount;
        m->faceCount += c->faceCount;
        m->materialCount += c->materialCount;
        m->areaCount += c->areaCount;
        m->lightCount += c->lightCount;
        m->partCount += c->partCount;
    }
    if (m->box.min.x > m->box.max.x) m->box = Box3{{0, 0, 0}, {0, 0, 0}};
    if (!texts.empty()) {
        m->textList1 = static_cast<char*>(memAllocZ(texts.size()));
        if (!m->textList1) return 0;
        std::memcpy(m->textList1, texts.data(), texts.size());
        m->textList1Size = uint32_t(texts.size());
    }
    Mat4 identity;
    mtxIdentity(&identity);
    ScnNode* node = nullptr;
    block.release();  // the content owns it from here
    if (!scnNodeCreate(m, 0, ac ? textures.data() : nullptr, nullptr, &identity, &node) || !node) {
        PelContent* doomed = m;
        pelFreeObject(&doomed);
        return 0;
    }
    *mergedOut = node;
    return 1;
} QIV_ENGINE_CATCH(0)

int pelFreeMerged(ScnNode** mergedOut) {
    if (!mergedOut || !*mergedOut) return 1;
    PelContent* content = (*mergedOut)->content;
    scnNodeFree(mergedOut, nullptr);
    *mergedOut = nullptr;
    pelFreeObject(&content);
    return 1;
}

int pelSaveObject(int mergeAreas, const char* path, ScnNode* const* nodes, const PelWriteInfo* info, Vec3* centreOut,
                  uint32_t nameCount, const char* const* names) try {
    ScnNode* merged = nullptr;
    if (!pelMergeNodes(nodes, nameCount, names, &merged)) return 0;
    const int ok = pelWriteFile(mergeAreas, path, merged, info, centreOut, nameCount, names);
    pelFreeMerged(&merged);
    return ok;
} QIV_ENGINE_CATCH(0)
