#include "scene/sceneops.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "scene/engine.h"
#include "scene/pelchunk.h"

uint32_t scnLightIdA = 0;
uint32_t scnLightIdB = 0;

void scnResetSceneOps() {
    scnLightIdA = 0;
    scnLightIdB = 0;
}

size_t scnListLength(ScnNode* const* list) {
    size_t n = 0;
    if (list)
        while (list[n]) ++n;
    return n;
}

// ---- drawing order ----

namespace {

bool isTranslucent(const ScnNode* n) {
    if (!n->materials || !n->content) return false;
    for (uint32_t i = 0; i < n->content->materialCount; ++i) {
        const float a = n->materials[i].alpha;
        if (a != 0.0f) return true;  // NaN too
    }
    return false;
}

float nodeSize(const ScnNode* n) {
    const Box3& b = n->worldBox;
    return std::max({b.max.x - b.min.x, b.max.y - b.min.y, b.max.z - b.min.z});
}

bool lessDrawOrder(ScnNode* a, ScnNode* b) { return scnCompareDrawOrder(&a, &b) < 0; }

}  // namespace

int scnCompareDrawOrder(ScnNode* const* pa, ScnNode* const* pb) {
    const ScnNode* a = *pa;
    const ScnNode* b = *pb;
    const bool ca = a && a->content, cb = b && b->content;
    if (ca != cb) return ca ? -1 : 1;
    if (!ca) return 0;
    const bool fa = a->content->faceCount != 0, fb = b->content->faceCount != 0;
    if (fa != fb) return fa ? -1 : 1;
    const bool ta = isTranslucent(a), tb = isTranslucent(b);
    if (ta != tb) return ta ? 1 : -1;
    const float sa = nodeSize(a), sb = nodeSize(b);
    if (sa > sb) return -1;
    if (sb > sa) return 1;
    return 0;
}

int scnMakeIdList(uint32_t count, ScnNode** nodes, ScnNode*** out) {
    if (!out) return 0;
    *out = nullptr;
    if (count == 0 || !nodes) return 0;
    auto* list = static_cast<ScnNode**>(memAllocZ((static_cast<size_t>(count) + 1) * sizeof(ScnNode*)));
    if (!list) return 0;
    std::memcpy(list, nodes, count * sizeof(ScnNode*));
    std::stable_sort(list, list + count, lessDrawOrder);
    *out = list;
    return 1;
}

int scnCopySortedList(ScnNode** nodes, ScnNode*** out) {
    if (!out) return 0;
    *out = nullptr;
    return scnMakeIdList(uint32_t(scnListLength(nodes)), nodes, out);
}

int32_t scnInsertSorted(ScnNode* node, ScnNode** list, uint32_t length) {
    if (!list || length == 0) return -1;
    const uint32_t used = length - 1;  // entries before the terminating zero
    uint32_t pos = used;
    for (uint32_t i = 0; i < used; ++i) {
        ScnNode* entry = list[i];
        if (scnCompareDrawOrder(&node, &entry) < 0) {  // after its equals: the order stays stable
            pos = i;
            break;
        }
    }
    for (uint32_t i = used + 1; i > pos; --i) list[i] = list[i - 1];
    list[pos] = node;
    list[used + 1] = nullptr;
    return int32_t(pos);
}

int scnFreeIdList(ScnNode*** holder) {
    if (!holder) return 1;
    memFreeRef(reinterpret_cast<void**>(holder));
    return 1;
}

// ---- area textures ----

int scnSetAreaTextures(ScnNode* node, TexRecord** textures) {
    if (!node) return 0;
    PelContent* c = node->content;
    if (!c) return 1;
    if (!textures) {
        memFreeRef(reinterpret_cast<void**>(&node->areaTextures));
        return 1;
    }
    if (c->areaCount == 0) return 0;
    if (!node->areaTextures) {
        node->areaTextures = static_cast<TexRecord**>(memAllocZ(c->areaCount * sizeof(TexRecord*)));
        if (!node->areaTextures) return 0;
    }
    std::memcpy(node->areaTextures, textures, c->areaCount * sizeof(TexRecord*));
    if (node->materials) matEvaluateAllN(c->materialCount, node->areaTextures, c->areaCount, node->materials);
    return 1;
}

int scnSetAreaMaterial(uint32_t area, TexRecord* texture, ScnNode* node) {
    if (!node) return 0;
    PelContent* c = node->content;
    if (!c) return 1;
    if (c->areaCount == 0 || !node->areaTextures || area >= c->areaCount) return 0;
    node->areaTextures[area] = texture;
    if (node->materials) matEvaluateAllN(c->materialCount, node->areaTextures, c->areaCount, node->materials);
    return 1;
}

// ---- materials ----

namespace {

constexpr uint32_t kTexBits = qivMatFlagIsTextured | qivMatFlagIsTexMask | qivMatFlagTwoSided | qivMatFlagIsTexRefl;

bool tagged(uint32_t flags) { return (flags & MAT_TAG_MASK) == MAT_TAG; }

// Flags of the new record after reconciling with the old one's.
uint32_t reconcileFlags(uint32_t newFlags, uint32_t oldFlags) {
    if (!tagged(newFlags)) return (newFlags & ~kTexBits) | (oldFlags & kTexBits);
    if (oldFlags & qivMatFlagIsTextured) return newFlags | qivMatFlagIsTextured;
    return newFlags & ~qivMatFlagIsTextured;
}

// Face flags of every face of material index, for a tagged record (flags reconciled).
void applyFaceFlags(PelContent* c, uint32_t index, uint32_t flags) {
    for (uint32_t f = 0; f < c->faceCount; ++f) {
        PelFace& face = c->faces[f];
        if (face.material != index) continue;
        uint16_t ff = face.flags;
        if (flags & qivMatFlagIsTextured) {
            ff = uint16_t((ff & ~(FACE_COLORKEY | FACE_ENVMAP)) | ((flags & qivMatFlagIsTexMask) ? FACE_COLORKEY : 0) |
                          ((flags & qivMatFlagIsTexRefl) ? FACE_ENVMAP : 0));
        } else {
            ff = uint16_t(ff & ~(FACE_COLORKEY | FACE_ENVMAP));
        }
        ff = uint16_t((ff & ~FACE_TWO_SIDED) | ((flags & qivMatFlagTwoSided) ? FACE_TWO_SIDED : 0));
        face.flags = ff;
    }
}

}  // namespace

int pelReplaceMaterial(const MatInput* record, PelContent* content, uint32_t index, MatInput* old) try {
    if (!record || !content || !old || index >= content->materialCount || !content->materials) return 0;
    const MatInput previous = content->materials[index];
    MatInput next = *record;
    next.flags = reconcileFlags(record->flags, previous.flags);
    next.area = previous.area;
    // Build every node's new records before changing anything.
    std::vector<MatRecord*> built;
    content->materials[index] = next;
    bool ok = true;
    for (ScnNode* n = content->firstNode; n; n = n->next) {
        MatRecord* records = nullptr;
        if (!matConvertN(content->materialCount, n->areaTextures, content->areaCount, content->materials, &records) ||
            (content->materialCount && !records)) {
            ok = false;
            break;
        }
        built.push_back(records);
    }
    if (!ok) {
        content->materials[index] = previous;
        for (MatRecord*& r : built) memFreeRef(reinterpret_cast<void**>(&r));
        return 0;
    }
    *old = previous;
    size_t k = 0;
    for (ScnNode* n = content->firstNode; n; n = n->next, ++k) {
        memFreeRef(reinterpret_cast<void**>(&n->materials));
        n->materials = built[k];
    }
    if (tagged(record->flags)) applyFaceFlags(content, index, next.flags);
    return 1;
} QIV_ENGINE_CATCH(0)

int pelGetMaterial(const PelContent* content, uint32_t index, MatInput* out) {
    if (!content || !out || index >= content->materialCount || !content->materials) return 0;
    *out = content->materials[index];
    return 1;
}

int scnGetMaterial(const MatInput* record, ScnNode* node, uint32_t index, MatInput* contentRecord) {
    if (!record || !node || !contentRecord || !node->content) return 0;
    PelContent* c = node->content;
    if (index >= c->materialCount || !c->materials || !node->materials) return 0;
    *contentRecord = c->materials[index];
    MatInput next = *record;
    next.flags = reconcileFlags(record->flags, contentRecord->flags);
    if (tagged(record->flags)) applyFaceFlags(c, index, next.flags);
    const MatRecord& current = node->materials[index];
    const TexRecord* texture = nullptr;
    if ((current.flags & qivMatFlagIsTextured) && node->areaTextures && next.area < c->areaCount)
        texture = node->areaTextures[next.area];
    matEvaluate(&next, texture, &node->materials[index]);
    return 1;
}

int scnReplaceMaterial(ScnNode* node, uint32_t index, const MatInput* record) {
    if (!node || !record) return 0;
    PelContent* c = node->content;
    if (!c) return 1;
    if (index >= c->materialCount || !node->materials) return 0;
    if (record->area != 0 && record->area >= c->areaCount) return 0;
    MatRecord& m = node->materials[index];
    if (tagged(record->flags)) {
        const uint32_t flags = reconcileFlags(record->flags, m.flags);
        m.flags = (m.flags & qivMatFlagIsTextured) ? record->flags : flags;
        applyFaceFlags(c, index, flags);
    }
    std::memcpy(m.colDifuse, record->colDifuse, sizeof m.colDifuse);
    std::memcpy(m.colSpecular, record->colSpecular, sizeof m.colSpecular);
    m.alpha = record->alpha;
    m.coAmbient = record->coAmbient;
    m.coDifuse = record->coDifuse;
    m.coSpecular = record->coSpecular;
    m.specExp = record->specExp;
    ltSpecularCoeffs(m.specExp, &m.specCoeff[0], &m.specCoeff[1], &m.specCoeff[2]);
    m.area = record->area;
    matEvaluateAllN(c->materialCount, node->areaTextures, c->areaCount, node->materials);
    return 1;
}

int scnGetMaterialInfo(const ScnNode* node, uint32_t index, MatInput* out) {
    if (!node || !out || !node->content || index >= node->content->materialCount || !node->materials) return 0;
    const MatRecord& m = node->materials[index];
    std::memcpy(out->colDifuse, m.colDifuse, sizeof out->colDifuse);
    std::memcpy(out->colSpecular, m.colSpecular, sizeof out->colSpecular);
    out->alpha = m.alpha;
    out->coAmbient = m.coAmbient;
    out->coDifuse = m.coDifuse;
    out->coSpecular = m.coSpecular;
    out->specExp = m.specExp;
    std::memcpy(out->specCoeff, m.specCoeff, sizeof out->specCoeff);
    out->area = m.area;
    out->flags = m.flags;
    return 1;
}

// ---- content queries ----

int pelCountFaces(const PelContent* content, uint32_t* vertices, uint32_t* triangles, uint32_t* quads,
                  uint32_t* twoSidedTriangles, uint32_t* twoSidedQuads) {
    if (!content || !vertices || !triangles || !quads || !twoSidedTriangles || !twoSidedQuads) return 0;
    *vertices = content->vertexCount;
    *triangles = *quads = *twoSidedTriangles = *twoSidedQuads = 0;
    if (!content->faces) return 1;
    for (uint32_t i = 0; i < content->faceCount; ++i) {
        const PelFace& f = content->faces[i];
        const bool quad = f.flags & FACE_QUAD;
        ++*(quad ? quads : triangles);
        if (f.flags & FACE_TWO_SIDED) ++*(quad ? twoSidedQuads : twoSidedTriangles);
    }
    return 1;
}

int pelGetSubObjectName(const PelContent* content, uint32_t part, const char* language, char** out) {
    if (!out) return 0;
    *out = nullptr;
    if (!content || !language || part >= content->partCount) return 0;
    if (!content->textList1) return 1;
    return pelGetLangText(content->textList1, content->textList1Size, language, 1, part, out) ? 1 : 0;
}

namespace {

bool near(float a, float b) { return std::fabs(a - b) <= 0.001f; }

struct Extreme {
    Vec3 content, world;
};

bool materialsMatch(const MatInput& in, const MatRecord& m, uint32_t areaOffset) {
    for (int k = 0; k < 3; ++k)
        if (!near(in.colDifuse[k], m.colDifuse[k]) || !near(in.colSpecular[k], m.colSpecular[k])) return false;
    if (!near(in.coAmbient, m.coAmbient) || !near(in.coDifuse, m.coDifuse) || !near(in.coSpecular, m.coSpecular) ||
        !near(in.specExp, m.specExp))
        return false;
    if (in.flags != m.flags) return false;
    if ((in.flags & qivMatFlagIsTextured) && in.area != m.area + areaOffset) return false;
    return true;
}

Mat4 frameOf(const Vec3& pi, const Vec3& pj, const Vec3& pk, const Vec3& m) {
    Mat4 f = {{pi.x - m.x, pi.y - m.y, pi.z - m.z, 0, pj.x - m.x, pj.y - m.y, pj.z - m.z, 0, pk.x - m.x, pk.y - m.y,
               pk.z - m.z, 0, m.x, m.y, m.z, 1}};
    return f;
}

float comp(const Vec3& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

}  // namespace

int pelMatchNodes(const PelContent* content, ScnNode** nodes, uint32_t* match, Mat4* out) {
    if (!content || !nodes || !match) return 0;
    *match = 0;
    if (!nodes[0]) return 0;
    uint64_t areas = 0, materials = 0, parts = 0, faces = 0, vertices = 0;
    for (uint32_t i = 0; nodes[i]; ++i) {
        const PelContent* c = nodes[i]->content;
        if (!c) return 1;
        areas += c->areaCount;
        materials += c->materialCount;
        parts += c->partCount;
        faces += c->faceCount;
        vertices += c->vertexCount;
    }
    if (areas != content->areaCount || materials != content->materialCount || parts != content->partCount ||
        faces != content->faceCount || vertices != content->vertexCount)
        return 1;
    uint32_t vOff = 0, fOff = 0, mOff = 0, aOff = 0, pOff = 0;
    Extreme ext[6];
    bool haveExt = false;
    for (uint32_t i = 0; nodes[i]; ++i) {
        const ScnNode* n = nodes[i];
        const PelContent* c = n->content;
        if (c->materialCount && (!n->materials || !content->materials)) return 1;
        for (uint32_t m = 0; m < c->materialCount; ++m)
            if (!materialsMatch(content->materials[mOff + m], n->materials[m], aOff)) return 1;
        for (uint32_t p = 0; p < c->partCount; ++p) {
            const PelPart& np = c->parts[p];
            const PelPart& cp = content->parts[pOff + p];
            if (np.vertexCount != cp.vertexCount || np.faceCount != cp.faceCount) return 1;
        }
        for (uint32_t f = 0; f < c->faceCount; ++f) {
            const PelFace& a = c->faces[f];
            const PelFace& b = content->faces[fOff + f];
            const bool quad = a.flags & FACE_QUAD;
            const uint16_t mask = quad ? 0x0FFF : 0x0EFF;
            if ((a.flags & mask) != (b.flags & mask)) return 1;
            const int corners = quad ? 4 : 3;
            for (int k = 0; k < corners; ++k) {
                if (uint64_t(a.v[k]) + vOff != b.v[k]) return 1;
                if (uint64_t(a.nb[k]) + fOff != b.nb[k]) return 1;
            }
            if (uint32_t(a.material) + mOff != b.material) return 1;
            if ((a.flags & FACE_TEXTURED) && uint32_t(a.area) + aOff != b.area) return 1;
        }
        for (uint32_t v = 0; v < c->vertexCount; ++v) {
            const PelVertex& a = c->vertices[v];
            const PelVertex& b = content->vertices[vOff + v];
            if (a.u != b.u || a.v != b.v) return 1;
            Vec3 w;
            mtxTransformPoint(&a.pos, &w, &n->base);
            for (int axis = 0; axis < 3; ++axis) {
                if (!haveExt || comp(w, axis) < comp(ext[axis].world, axis)) ext[axis] = {b.pos, w};
                if (!haveExt || comp(w, axis) > comp(ext[3 + axis].world, axis)) ext[3 + axis] = {b.pos, w};
            }
            haveExt = true;
        }
        vOff += c->vertexCount;
        fOff += c->faceCount;
        mOff += c->materialCount;
        aOff += c->areaCount;
        pOff += c->partCount;
    }
    if (!haveExt) return 1;
    int ti = 0, tj = 1, tk = 2;
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 6; ++j)
            for (int k = 0; k < 6; ++k) {
                if (i == j || j == k || i == k) continue;
                const Vec3 &Pi = ext[i].content, &Pj = ext[j].content, &Pk = ext[k].content;
                const Vec3 a = {Pk.x - Pj.x, Pk.y - Pj.y, Pk.z - Pj.z};
                const Vec3 b = {Pj.x - Pi.x, Pj.y - Pi.y, Pj.z - Pi.z};
                if (std::fabs(a.x * b.x + a.y * b.y + a.z * b.z) > 0.0f) {
                    ti = i;
                    tj = j;
                    tk = k;
                }
            }
    auto mid = [&](bool world) {
        Vec3 m;
        const Extreme* e = ext;
        auto pick = [&](int idx) { return world ? e[idx].world : e[idx].content; };
        m.x = (pick(0).x + pick(3).x) * 0.5f;
        m.y = (pick(1).y + pick(4).y) * 0.5f;
        m.z = (pick(2).z + pick(5).z) * 0.5f;
        return m;
    };
    const Mat4 cf = frameOf(ext[ti].content, ext[tj].content, ext[tk].content, mid(false));
    const Mat4 nf = frameOf(ext[ti].world, ext[tj].world, ext[tk].world, mid(true));
    Mat4 inv;
    if (!mtxInvert(&cf, &inv)) return 1;  // singular frame: no match
    if (out) mtxMultiply(&inv, &nf, out);
    *match = 1;
    return 1;
}
