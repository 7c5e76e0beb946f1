#include <cstdlib>
#include <cstring>

#include "scene/engine.h"
#include "scene/material.h"
#include "scene/scene.h"

namespace {

uint32_t faceCorners(const PelFace& f) { return (f.flags & FACE_QUAD) ? 4 : 3; }

bool faceIndicesValid(const PelContent* c) {
    if (c->faceCount && !c->faces) return false;
    for (uint32_t i = 0; i < c->faceCount; ++i) {
        const PelFace& f = c->faces[i];
        for (uint32_t k = 0; k < faceCorners(f); ++k)
            if (f.v[k] >= c->vertexCount) return false;
    }
    return true;
}

// Index range of a part's slices; false when they leave the arrays.
bool partSlices(const PelContent* c, const PelPart& p, uint32_t* firstVertex, uint32_t* firstFace) {
    if (p.vertexCount) {
        if (!p.firstVertex || !c->vertices || p.firstVertex < c->vertices) return false;
        uint64_t v = uint64_t(p.firstVertex - c->vertices);
        if (v + p.vertexCount > c->vertexCount) return false;
        *firstVertex = uint32_t(v);
    } else {
        *firstVertex = 0;
    }
    if (p.faceCount) {
        if (!p.firstFace || !c->faces || p.firstFace < c->faces) return false;
        uint64_t f = uint64_t(p.firstFace - c->faces);
        if (f + p.faceCount > c->faceCount) return false;
        *firstFace = uint32_t(f);
    } else {
        *firstFace = 0;
    }
    return true;
}

// Face-id coding state of one visible-set pass.
uint32_t gFaceBits = 0;
uint32_t gFaceMask = 0;
uint64_t gNodePart = 0;

uint32_t significantBits(uint32_t n) {
    uint32_t bits = 0;
    while (n) {
        ++bits;
        n >>= 1;
    }
    return bits;
}

}  // namespace

int pelPartUsage(const PelContent* content, uint32_t part, uint8_t* materialMarks, uint8_t* areaMarks) {
    if (!content || part >= content->partCount || !content->parts) return 0;
    uint32_t fv, ff;
    const PelPart& p = content->parts[part];
    if (!partSlices(content, p, &fv, &ff)) return 0;
    if (materialMarks) std::memset(materialMarks, 0, content->materialCount);
    if (areaMarks) std::memset(areaMarks, 0, content->areaCount);
    for (uint32_t i = 0; i < p.faceCount; ++i) {
        uint32_t m = p.firstFace[i].material;
        if (m >= content->materialCount || !content->materials) continue;
        if (materialMarks) materialMarks[m] = 1;
        const MatInput& mi = content->materials[m];
        if ((mi.flags & qivMatFlagIsTextured) && areaMarks && mi.area < content->areaCount) areaMarks[mi.area] = 1;
    }
    return 1;
}

int pelDropUnusedVertices(PelContent* c) {
    if (!c) return 0;
    if (!faceIndicesValid(c)) {
        errReport(ERR_FORMAT, "Face vertex index out of range");
        return 0;
    }
    for (uint32_t i = 0; i < c->partCount; ++i) {
        uint32_t fv, ff;
        if (!c->parts || !partSlices(c, c->parts[i], &fv, &ff)) return 0;
    }
    PelVertex* v = c->vertices;
    for (uint32_t i = 0; i < c->vertexCount; ++i) v[i].flags &= ~VTX_MARK;
    for (uint32_t i = 0; i < c->faceCount; ++i) {
        const PelFace& f = c->faces[i];
        for (uint32_t k = 0; k < faceCorners(f); ++k) v[f.v[k]].flags |= VTX_MARK;
    }
    uint32_t used = 0;
    for (uint32_t i = 0; i < c->vertexCount; ++i)
        if (v[i].flags & VTX_MARK) v[i].scratch = used++;
    if (used == c->vertexCount) return 1;

    for (uint32_t i = 0; i < c->faceCount; ++i) {
        PelFace& f = c->faces[i];
        for (uint32_t k = 0; k < faceCorners(f); ++k) f.v[k] = v[f.v[k]].scratch;
        if (!(f.flags & FACE_QUAD)) f.v[3] = f.v[2];
    }
    // Slices are in array order, so packing all marked vertices packs each part.
    uint32_t packed = 0;
    for (uint32_t p = 0; p < c->partCount; ++p) {
        PelPart& part = c->parts[p];
        uint32_t start = uint32_t(part.vertexCount ? part.firstVertex - v : 0);
        uint32_t newFirst = packed;
        for (uint32_t i = start; i < start + part.vertexCount; ++i) {
            if (!(v[i].flags & VTX_MARK)) continue;
            if (packed != i) v[packed] = v[i];
            ++packed;
        }
        part.firstVertex = v + newFirst;
        part.vertexCount = packed - newFirst;
    }
    c->vertexCount = used;
    return 1;
}

int pelCompareVertices(const void* a, const void* b) {
    const PelVertex* p = *static_cast<const PelVertex* const*>(a);
    const PelVertex* q = *static_cast<const PelVertex* const*>(b);
    const float pa[5] = {p->pos.x, p->pos.y, p->pos.z, p->u, p->v};
    const float qa[5] = {q->pos.x, q->pos.y, q->pos.z, q->u, q->v};
    for (int i = 0; i < 5; ++i) {
        if (pa[i] < qa[i]) return -1;
        if (pa[i] > qa[i]) return 1;
    }
    return 0;
}

int pelMergeVertices(PelContent* c) {
    if (!c) return 0;
    if (!faceIndicesValid(c)) {
        errReport(ERR_FORMAT, "Face vertex index out of range");
        return 0;
    }
    for (uint32_t p = 0; p < c->partCount && c->parts; ++p) {
        PelPart& part = c->parts[p];
        uint32_t fv, ff;
        if (!partSlices(c, part, &fv, &ff) || part.vertexCount == 0) continue;
        auto** sorted = static_cast<PelVertex**>(memAllocZ(size_t(part.vertexCount) * sizeof(PelVertex*)));
        auto* map = static_cast<uint32_t*>(memAllocZ(size_t(part.vertexCount) * sizeof(uint32_t)));
        if (!sorted || !map) {
            memFree(sorted);
            memFree(map);
            continue;
        }
        for (uint32_t i = 0; i < part.vertexCount; ++i) sorted[i] = part.firstVertex + i;
        std::qsort(sorted, part.vertexCount, sizeof(PelVertex*), pelCompareVertices);
        const PelVertex* rep = nullptr;
        for (uint32_t i = 0; i < part.vertexCount; ++i) {
            const PelVertex* cur = sorted[i];
            bool same = rep && cur->pos.x == rep->pos.x && cur->pos.y == rep->pos.y && cur->pos.z == rep->pos.z &&
                        cur->u == rep->u && cur->v == rep->v;
            if (!same) rep = cur;
            map[cur - part.firstVertex] = uint32_t(rep - c->vertices);
        }
        for (uint32_t i = 0; i < part.faceCount; ++i) {
            PelFace& f = part.firstFace[i];
            for (uint32_t k = 0; k < faceCorners(f); ++k)
                if (f.v[k] >= fv && f.v[k] - fv < part.vertexCount) f.v[k] = map[f.v[k] - fv];
            if (!(f.flags & FACE_QUAD)) f.v[3] = f.v[2];
        }
        memFree(sorted);
        memFree(map);
    }
    return 1;
}

int pelForEachFaceVertex(PelContent* c, uint32_t user, PelFaceVertexFn fn) {
    if (!c || !fn) return 0;
    if (!faceIndicesValid(c)) {
        errReport(ERR_FORMAT, "Face vertex index out of range");
        return 0;
    }
    for (uint32_t i = 0; i < c->vertexCount; ++i) c->vertices[i].flags &= ~VTX_MARK;
    for (uint32_t i = 0; i < c->faceCount; ++i) {
        const PelFace& f = c->faces[i];
        for (uint32_t k = 0; k < faceCorners(f); ++k) {
            PelVertex& v = c->vertices[f.v[k]];
            uint32_t mark = (v.flags & VTX_MARK) ? 1 : 0;
            if (fn(user, i, f.user, mark, &v.pos, &v.u, &v.v)) v.flags |= VTX_MARK;
            v.eu = v.u;
            v.ev = v.v;
        }
    }
    return 1;
}

int visIdInit(uint32_t maxFaces, uint32_t maxNodes) {
    uint32_t faceBits = significantBits(maxFaces);
    uint32_t nodeBits = significantBits(maxNodes);
    if (maxFaces == 0 || faceBits + nodeBits > 30) return 0;
    gFaceBits = faceBits;
    gFaceMask = (1u << faceBits) - 1u;
    gNodePart = 0;
    return 1;
}

int visIdSetNode(uint32_t node) {
    gNodePart = uint64_t(node) << gFaceBits;
    return 1;
}

int visFaceIdColor(const PelFace* face, const ScnNode* node, uint32_t* colour) {
    if (!colour) return 0;
    *colour = 0;
    if (!face || !node) return 0;
    const PelContent* c = node->content;
    if (!c) return 1;
    if (!c->faces || face < c->faces || uint64_t(face - c->faces) >= c->faceCount) return 0;
    Vec3 n;
    float d;
    if (!visFacePlane(c, face, &n, &d)) return 0;
    const float* e = node->invObjToView.m;
    bool front = n.x * e[8] + n.y * e[9] + n.z * e[10] - d * e[11] > 1.0e-7f;
    uint64_t id = (uint64_t(face - c->faces) & gFaceMask) + gNodePart;
    if (id >= (uint64_t(1) << 30)) return 1;
    uint32_t b0 = uint32_t(id >> 8) & 0xFF;
    uint32_t b1 = (uint32_t(id >> 16) & 0x7F) | (front ? 0x80 : 0);
    uint32_t b2 = (uint32_t(id >> 23) & 0x7F) | (front ? 0 : 0x80);
    uint32_t b3 = uint32_t(id) & 0xFF;
    *colour = b0 | (b1 << 8) | (b2 << 16) | (b3 << 24);
    return 1;
}

int visIdDecode(uint32_t colour, uint32_t* node, int32_t* face, uint32_t* front) {
    if (!node || !face || !front) return 0;
    if (colour == 0) {
        *face = -1;
        return 1;
    }
    uint32_t b0 = colour & 0xFF, b1 = (colour >> 8) & 0xFF, b2 = (colour >> 16) & 0xFF, b3 = colour >> 24;
    uint32_t id = b3 + (b0 << 8) + ((b1 & 127) << 16) + ((b2 & 127) << 23);
    *front = (b1 >> 7) & 1;
    *face = int32_t(id & gFaceMask);
    *node = id >> gFaceBits;
    return 1;
}

int visFacePlane(const PelContent* c, const PelFace* face, Vec3* normal, float* dist) {
    if (!c || !face || !normal || !dist || !c->vertices) return 0;
    for (uint32_t k = 0; k < faceCorners(*face); ++k)
        if (face->v[k] >= c->vertexCount) return 0;
    const Vec3* p[4] = {&c->vertices[face->v[0]].pos, &c->vertices[face->v[1]].pos, &c->vertices[face->v[2]].pos,
                        (face->flags & FACE_QUAD) ? &c->vertices[face->v[3]].pos : nullptr};
    visPlaneOfCorners(p, (face->flags & FACE_QUAD) != 0, normal, dist);
    return 1;
}

void visPlaneOfCorners(const Vec3* const p[4], bool quad, Vec3* normal, float* dist) {
    if (!quad) {
        vecPlaneFromTriangle(p[0], p[1], p[2], normal, dist);
        return;
    }
    Vec3 n1, n2;
    float d1, d2, l1, l2;
    int ok1 = vecPlaneFromTriangleLen(p[0], p[1], p[2], &n1, &d1, &l1);
    int ok2 = vecPlaneFromTriangleLen(p[0], p[1], p[3], &n2, &d2, &l2);
    if (!ok1) {
        *normal = n2;
        *dist = d2;
    } else if (!ok2) {
        *normal = n1;
        *dist = d1;
    } else {
        float w1 = l1 / (l1 + l2), w2 = l2 / (l1 + l2);
        Vec3 n = {w1 * n1.x + w2 * n2.x, w1 * n1.y + w2 * n2.y, w1 * n1.z + w2 * n2.z};
        vecNormalize(&n);
        *normal = n;
        *dist = w1 * d1 + w2 * d2;
    }
}

void visIdReset() {
    gFaceBits = 0;
    gFaceMask = 0;
    gNodePart = 0;
}
