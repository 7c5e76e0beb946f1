#include "render/renderer.h"

#include <algorithm>
#include <cmath>
#include <vector>
#include <cstring>

#include "render/clear.h"
#include "render/clipplane.h"
#include "render/dxhook.h"
#include "render/faceclip.h"
#include "render/framemarks.h"
#include "render/fzbuffer.h"
#include "render/light.h"
#include "render/meshpipe.h"
#include "render/span.h"
#include "render/triangle.h"
#include "scene/engine.h"
#include "scene/texture.h"

PicRecord* scnTarget = nullptr;
int32_t scnLodOverride = -1;
int scnRayNoLod = 0;
int scnRayLightsOnly = 0;

namespace {

const float kFrontFill[3] = {1.0f, 1.0f, 1.0f};
const float kBackFill[3] = {1.0f, 1.0f, 0.5f};

void nodeMatrices(ScnNode* node, const CamRecord* cam) {
    mtxMultiply(&node->base, &cam->worldToScreen, &node->objToView);
    if (!mtxInvert(&node->objToView, &node->invObjToView)) mtxIdentity(&node->invObjToView);
    mtxMultiply(&node->base, &cam->worldToPixel, &node->objToScreen);
}

void makeInverseBase(ScnNode* node) {
    if (node->flags & NODE_INVERSE_VALID) return;
    if (!mtxInvert(&node->base, &node->invBase)) mtxIdentity(&node->invBase);
    node->flags |= NODE_INVERSE_VALID;
}

void boxArray(const Box3& b, float out[6]) {
    out[0] = b.min.x, out[1] = b.min.y, out[2] = b.min.z;
    out[3] = b.max.x, out[4] = b.max.y, out[5] = b.max.z;
}

bool materialTranslucent(const ScnNode* node, const PelContent* c, uint32_t index) {
    if (!node->materials || index >= c->materialCount) return false;
    return node->materials[index].alpha != 0.0f;  // NaN counts as translucent
}

// Everything a call changes in the content, put back at every exit.
struct ContentRestore {
    ScnNode* node = nullptr;
    PelContent* original = nullptr;  // node's content pointer before a level-of-detail swap
    PelContent* narrowed = nullptr;  // content narrowed to one part
    Box3 box{};
    uint32_t faceCount = 0, partCount = 0;
    PelPart* parts = nullptr;
    PelLodLink* lod = nullptr;
    PelPart* part = nullptr;
    uint32_t partFlags = 0;
    ~ContentRestore() {
        if (narrowed) {
            narrowed->box = box;
            narrowed->faceCount = faceCount;
            narrowed->partCount = partCount;
            narrowed->parts = parts;
            narrowed->lod = lod;
            part->flags = partFlags;
        }
        if (node && original) node->content = original;
    }
};

struct FpuGuard {
    FpuGuard() { errMaskFpu(); }
    ~FpuGuard() { errRestoreFpu(); }
};

// Edge colour of a face: its material's colour, or the average colour of the material's
// area texture when it is textured and has one.
const float* edgeColour(const ScnNode* node, const PelFace* face) {
    const PelContent* c = node->content;
    if (!node->materials || face->material >= c->materialCount) return nullptr;
    const MatRecord& m = node->materials[face->material];
    if ((m.flags & qivMatFlagIsTextured) && node->areaTextures && m.area < c->areaCount && node->areaTextures[m.area])
        return node->areaTextures[m.area]->colour;
    return m.colDifuse;
}

bool faceCorners(const ScnNode* node, const PelFace* face, PelVertex* v[4]) {
    const PelContent* c = node->content;
    const int n = (face->flags & FACE_QUAD) ? 4 : 3;
    for (int k = 0; k < n; ++k) {
        if (face->v[k] >= c->vertexCount) return false;
        v[k] = &c->vertices[face->v[k]];
        frmVertex(c, v[k]);
    }
    return true;
}

void drawEdges(const Mat4* viewport, PelFace* face, ScnNode* node, uint32_t mask, const float* colour) {
    PelVertex* v[4];
    if (!faceCorners(node, face, v)) return;
    const int n = (face->flags & FACE_QUAD) ? 4 : 3;
    for (int k = 0; k < n; ++k) {
        if (!(mask & (1u << k))) continue;
        PelVertex* a = v[k];
        PelVertex* b = v[(k + 1) % n];
        if (viewport)
            rpClipDrawEdge(viewport, a, b, node, colour);
        else
            rpDrawEdge(a, b, &node->objToScreen, colour);
    }
}

int hiddenFace(const Mat4* viewport, PelFace* face, ScnNode* node, uint32_t mask, uint32_t noTransparency,
               const float* fill) {
    if (!face || !node || !node->content) return 0;
    drawEdges(viewport, face, node, mask, nullptr);
    if (materialTranslucent(node, node->content, face->material) && !noTransparency) return 1;
    if (viewport)
        rpObjHiddenLine(face, node, mask, fill);
    else
        rpFaceHiddenLine(face, node, mask, fill);
    return 1;
}

}  // namespace

void scnResetRenderer() {
    scnTarget = nullptr;
    scnLodOverride = -1;
    scnRayNoLod = 0;
    scnRayLightsOnly = 0;
    scnGhostFlag = 0;
    scnTexturesOn = 0;
    rpSetRayFaceId(nullptr);
}

namespace {
// The front-facing test of a face of the node's content, with its marks for the frame.
inline bool faceFront(PelFace* face, const ScnNode* node) {
    // the facing marks count in the frame that set them; a newer frame clears them first
    const PelContent* c = node->content;
    const uint32_t frame = c ? c->frameNo : 0;
    uint32_t flags = face->flags;
    if (face->frame != frame) {
        flags &= ~uint32_t(FACE_FRONT_CACHED | FACE_FACING_DECIDED);
        face->frame = frame;
    } else if (flags & FACE_FACING_DECIDED) {
        return flags & FACE_FRONT_CACHED;
    }
    PelNormal* n = face->normal;
    if (!n) {
        face->flags = uint16_t(flags);
        return false;
    }
    if (c) frmNormal(c, n);
    const float* m = node->invObjToView.m;
    if (!(n->flags & NRM_DOT)) {
        n->dot = n->normal.x * m[8] + n->normal.y * m[9] + n->normal.z * m[10];
        n->flags |= NRM_DOT;
    }
    const bool front = n->dot - face->dist * m[11] > 1e-7f;
    face->flags = uint16_t(flags | FACE_FACING_DECIDED | (front ? FACE_FRONT_CACHED : 0));
    return front;
}

// Test S: double-sided faces always, others when front-facing.
inline bool faceVisible(PelFace* face, const ScnNode* node) {
    return (face->flags & FACE_TWO_SIDED) || faceFront(face, node);
}

// Test E: front faces, and double-sided back faces.
inline bool faceEdgeVisible(PelFace* face, const ScnNode* node) {
    return faceFront(face, node) || (face->flags & FACE_TWO_SIDED);
}
}  // namespace

int scnFaceIsFront(PelFace* face, ScnNode* node) {
    if (!face || !node) return 0;
    return faceFront(face, node) ? 1 : 0;
}

int scnFaceVisible(PelFace* face, ScnNode* node) {
    if (!face) return 0;
    if (face->flags & FACE_TWO_SIDED) return 1;
    return scnFaceIsFront(face, node);
}

int scnFaceEdgeVisible(PelFace* face, ScnNode* node, uint32_t* back) {
    if (!face || !back) return 0;
    if (scnFaceIsFront(face, node)) {
        *back = 0;
        return 1;
    }
    *back = 1;
    return (face->flags & FACE_TWO_SIDED) ? 1 : 0;
}

int scnDrawFaceEdges(PelFace* face, ScnNode* node, uint32_t mask) {
    if (!face || !node || !node->content) return 0;
    drawEdges(nullptr, face, node, mask, edgeColour(node, face));
    return 1;
}

int scnDrawFaceEdgesClipped(const Mat4* viewport, PelFace* face, ScnNode* node, uint32_t mask) {
    if (!viewport || !face || !node || !node->content) return 0;
    drawEdges(viewport, face, node, mask, edgeColour(node, face));
    return 1;
}

int scnDrawHiddenFace(PelFace* face, ScnNode* node, uint32_t mask, uint32_t noTransparency) {
    return hiddenFace(nullptr, face, node, mask, noTransparency, kFrontFill);
}
int scnDrawHiddenFaceBack(PelFace* face, ScnNode* node, uint32_t mask, uint32_t noTransparency, uint32_t back) {
    return hiddenFace(nullptr, face, node, mask, noTransparency, back ? kBackFill : kFrontFill);
}
int scnDrawHiddenFaceClipped(const Mat4* viewport, PelFace* face, ScnNode* node, uint32_t mask,
                             uint32_t noTransparency) {
    if (!viewport) return 0;
    return hiddenFace(viewport, face, node, mask, noTransparency, kFrontFill);
}
int scnDrawHiddenFaceBackClipped(const Mat4* viewport, PelFace* face, ScnNode* node, uint32_t mask,
                                 uint32_t noTransparency, uint32_t back) {
    if (!viewport) return 0;
    return hiddenFace(viewport, face, node, mask, noTransparency, back ? kBackFill : kFrontFill);
}

int scnSetLodOverride(int32_t value) {
    scnLodOverride = value;
    return 1;
}
int scnGetLodOverride(int32_t* out) {
    if (!out) return 0;
    *out = scnLodOverride;
    return 1;
}
int scnGetFillColors(float front[3], float back[3]) {
    if (front) std::memcpy(front, kFrontFill, sizeof kFrontFill);
    if (back) std::memcpy(back, kBackFill, sizeof kBackFill);
    return 1;
}

int scnJobScreenRect(ScnRenderJob* job) {
    if (!job || !job->node || !job->camera) return 0;
    ScnNode* node = job->node;
    if (!node->content) {
        job->rect = {0, 0, 0, 0};
        return 1;
    }
    mtxMultiply(&node->base, &job->camera->worldToScreen, &node->objToView);
    clpBoxScreenRect(&node->worldBox, &job->camera->worldToScreen, job->camera, &job->rect);
    return 1;
}

int scnReplaceTexture(TexRecord* oldTexture, TexRecord* newTexture, ScnNode* node) {
    if (oldTexture == newTexture) return 1;
    if (!node) return 0;
    if (!node->content) return 1;
    if (node->areaTextures)
        for (uint32_t i = 0; i < node->content->areaCount; ++i)
            if (node->areaTextures[i] == oldTexture) node->areaTextures[i] = newTexture;
    memFreeRef(reinterpret_cast<void**>(&node->materials));
    return 1;
}

namespace {

// Level of detail: the node or content to draw. stamp: links taken (negative for children).
ScnNode* chooseDetail(ScnNode* node, const CamRecord* cam, ContentRestore& restore, int32_t* stamp) {
    *stamp = 0;
    if (scnRayNoLod) return node;
    const bool forced = scnLodOverride >= 0;
    PelContent* c = node->content;
    float box[6];
    boxArray(c->box, box);
    if (node->children) {
        float metric = 0.0f;
        if (!rpBoxScreenDiagonal(box, &node->objToScreen, &metric)) return node;
        const ScnChildLink* link = node->children;
        if ((forced && scnLodOverride == 0) || (!forced && metric >= link->distance)) return node;
        int32_t taken = 0;
        const ScnChildLink* last = nullptr;
        for (; link; link = link->next) {
            last = link;
            ++taken;
            if (!link->next) break;
            if (forced && taken == scnLodOverride) break;
            if (!forced && !(metric < link->next->distance)) break;
        }
        if (!last || !last->child) return node;
        ScnNode* child = last->child;
        nodeMatrices(child, cam);
        *stamp = -taken;
        return child;
    }
    if (c->lod) {
        makeInverseBase(node);
        Mat4 inverse;
        mtxMultiply(&cam->pixelToWorld, &node->invBase, &inverse);
        float metric = 0.0f;
        if (!rpBoxStepLength(box, &node->objToScreen, &inverse, &metric)) return node;
        int32_t taken = 0;
        const PelLodLink* last = nullptr;
        if (forced) {
            if (scnLodOverride == 0) return node;
            for (const PelLodLink* l = c->lod; l; l = l->next) {
                last = l;
                ++taken;
                if (taken == scnLodOverride) break;
            }
        } else {
            for (const PelLodLink* l = c->lod; l && metric > l->distance; l = l->next) {
                last = l;
                ++taken;
            }
        }
        // the node's material records must cover the coarser content's materials
        if (last && last->content && last->content->materialCount <= c->materialCount) {
            restore.node = node;
            restore.original = c;
            node->content = last->content;
            *stamp = taken;
        }
    }
    return node;
}

void narrowToPart(ScnNode* node, ContentRestore& restore) {
    if (!(node->flags & NODE_PART_ALONE)) return;
    PelContent* c = node->content;
    for (uint32_t p = 0; p < c->partCount; ++p) {
        PelPart* part = &c->parts[p];
        if (part->id != node->partAlone) continue;
        restore.narrowed = c;
        restore.box = c->box;
        restore.faceCount = c->faceCount;
        restore.partCount = c->partCount;
        restore.parts = c->parts;
        restore.lod = c->lod;
        restore.part = part;
        restore.partFlags = part->flags;
        c->box = part->box;
        c->faceCount = part->faceCount;
        c->partCount = 1;
        c->parts = part;
        c->lod = nullptr;
        part->flags &= ~PART_PLANE_CULL;
        return;
    }
}

// Frame numbers of a content going round: every record takes the state its marks have in
// the last frame, under frame number 0, and the content counts on from 1.
void renumberFrames(PelContent* c, uint32_t totalFaces) {
    for (uint32_t i = 0; i < totalFaces; ++i) {
        PelFace& f = c->faces[i];
        if (f.frame != c->frameNo) f.flags = uint16_t(f.flags & ~(FACE_FRONT_CACHED | FACE_FACING_DECIDED));
        f.frame = 0;
    }
    for (uint32_t i = 0; i < c->vertexCount; ++i) {
        frmVertex(c, &c->vertices[i]);
        c->vertices[i].frame = 0;
    }
    auto normals = [c](PelNormal* array, uint32_t count) {
        for (uint32_t i = 0; array && i < count; ++i) {
            frmNormal(c, &array[i]);
            array[i].frame = 0;
        }
    };
    normals(c->faceNormals, c->faceNormalCount);
    normals(c->vertexNormals, c->vertexNormalCount);
    c->frameNo = 0;
    c->cacheFrom[0] = c->cacheFrom[1] = c->cacheFrom[2] = c->dotFrom = 0;
}

void resetCaches(ScnNode* node, int32_t stamp, uint32_t kind, uint32_t totalFaces) {
    PelContent* c = node->content;
    const bool valid = c->lodStamp == uint32_t(stamp) && !(node->flags & NODE_CHANGED);
    const bool vertexMark = valid && c->frameCache[0] == node;
    const bool vnMark = valid && c->frameCache[1] == node;
    const bool fnMark = valid && c->frameCache[2] == node;
    c->lodStamp = uint32_t(stamp);
    makeInverseBase(node);
    // the parts with translucent faces are looked for only when a material is translucent
    bool anyTranslucent = false;
    for (uint32_t m = 0; m < c->materialCount && !anyTranslucent; ++m) anyTranslucent = materialTranslucent(node, c, m);
    for (uint32_t p = 0; p < c->partCount; ++p) {
        PelPart& part = c->parts[p];
        bool translucent = false;
        for (uint32_t f = 0; anyTranslucent && f < part.faceCount && !translucent; ++f)
            translucent = materialTranslucent(node, c, part.firstFace[f].material);
        part.flags = translucent ? (part.flags | PART_TRANSLUCENT) : (part.flags & ~PART_TRANSLUCENT);
    }
    // A new frame number takes the place of clearing the marks of every face, vertex and
    // normal: marks of older frames no longer count (framemarks.h, scnFaceIsFront).
    if (c->frameNo == UINT32_MAX) renumberFrames(c, totalFaces);
    const uint32_t frame = ++c->frameNo;
    if (!vertexMark) c->cacheFrom[0] = frame;
    if (!vnMark) c->cacheFrom[1] = frame;
    if (kind != SCN_KIND_VIS_TRANSLUCENT && kind != SCN_KIND_VIS_OPAQUE) {
        c->dotFrom = frame;
        if (!fnMark) c->cacheFrom[2] = frame;
    }
    node->flags &= ~NODE_CHANGED;
    c->frameCache[0] = c->frameCache[1] = c->frameCache[2] = node;
}

bool kindHasCase(uint32_t kind) {
    switch (kind) {
        case 0: case 1: case 2: case 3: case 4: case 5: case 6: case 7:
        case 16: case 20: case 21: case 22: case 23:
        case 125: case 126: case 127: return true;
        default: return false;
    }
}

// Mask of the edges to draw for the wire and hidden kinds; 0 skips the face.
uint32_t edgeMask(uint32_t kind, PelFace* face, ScnNode* node, uint32_t totalFaces, uint32_t faceIndex) {
    const bool quad = face->flags & FACE_QUAD;
    const uint32_t all = quad ? 0xFu : 0x7u;
    const bool allEdgesKind = kind == 20 || kind == 21 || kind == 6 || kind == 7 || kind == 22 || kind == 23;
    if (allEdgesKind || !(face->flags & FACE_EDGES_ONLY)) return all;
    const int n = quad ? 4 : 3;
    const bool front = faceFront(face, node);
    PelFace* faces = node->content->faces;
    uint32_t mask = 0;
    for (int k = 0; k < n; ++k) {
        const uint32_t nb = face->nb[k];
        bool draw;
        if (kind == 16) {
            draw = nb >= faceIndex || (nb < totalFaces && faceFront(&faces[nb], node) != front);
        } else {
            draw = (face->flags & (FACE_OPEN_EDGE0 << k)) ||
                   (nb < totalFaces && nb != faceIndex && faceFront(&faces[nb], node) != front);
        }
        if (draw) mask |= 1u << k;
    }
    return mask;
}

void drawFace(uint32_t kind, PelFace* face, ScnNode* node, bool clip, const CamRecord* cam, uint32_t totalFaces) {
    const Mat4* vp = &cam->viewport;
    const uint32_t faceIndex = uint32_t(face - node->content->faces);
    switch (kind) {
        case 0:
        case 16: {
            if (!faceEdgeVisible(face, node)) return;
            const uint32_t mask = edgeMask(kind, face, node, totalFaces, faceIndex);
            if (!mask) return;
            clip ? scnDrawFaceEdgesClipped(vp, face, node, mask) : scnDrawFaceEdges(face, node, mask);
            return;
        }
        case 4: case 5: case 20: case 21: {
            if (!faceEdgeVisible(face, node)) return;
            const uint32_t mask = edgeMask(kind, face, node, totalFaces, faceIndex);
            if (!mask) return;
            const uint32_t nt = kind & 1u;
            clip ? scnDrawHiddenFaceClipped(vp, face, node, mask, nt) : scnDrawHiddenFace(face, node, mask, nt);
            return;
        }
        case 6: case 7: case 22: case 23: {
            const uint32_t back = faceFront(face, node) ? 0 : 1;
            const uint32_t mask = (face->flags & FACE_QUAD) ? 0xFu : 0x7u;
            const uint32_t nt = kind & 1u;
            clip ? scnDrawHiddenFaceBackClipped(vp, face, node, mask, nt, back)
                 : scnDrawHiddenFaceBack(face, node, mask, nt, back);
            return;
        }
        case 1:
            if (faceVisible(face, node)) clip ? rpObjFlat(face, node) : rpFaceFlat(face, node);
            return;
        case 2:
            if (faceVisible(face, node)) clip ? rpObjFlatTex(face, node) : rpFaceFlatTex(face, node);
            return;
        case 3:
            if (faceVisible(face, node)) clip ? rpObjGouraudTex(face, node) : rpFaceGouraudTex(face, node);
            return;
        case 125:
        case 126: {
            const bool t = materialTranslucent(node, node->content, face->material);
            if (t == (kind == 125)) clip ? rpObjVisId(face, node) : rpFaceVisId(face, node);
            return;
        }
        case 127:
            if (faceVisible(face, node)) clip ? rpObjRayId(face, node) : rpFaceRayId(face, node);
            return;
        default: return;
    }
}

}  // namespace

int scnRenderScene(ScnRenderJob* job) {
    if (!job || !job->node) return 0;
    ScnNode* node = job->node;
    if (!node->content) {
        job->rect = {0, 0, 0, 0};
        return 1;
    }
    const CamRecord* cam = job->camera;
    if (!cam) return 0;
    uint32_t kind = job->kind;
    int jobGhost = 0;
    if (kind < 122) {
        jobGhost = (kind & SCN_KIND_GHOST) ? 1 : 0;
        kind &= ~SCN_KIND_GHOST;
    }
    scnGhostFlag = jobGhost;
    DxActiveGuard dxGuard;
    if (kind == 129 || kind == 131)
        dxActive = 0;
    else if (dxActive && kind > 64)
        return 1;

    nodeMatrices(node, cam);
    ContentRestore restore;
    int32_t stamp = 0;
    node = chooseDetail(node, cam, restore, &stamp);
    if (!node->content) {
        job->rect = {0, 0, 0, 0};
        return 1;
    }
    PelContent* c = node->content;
    const uint32_t totalFaces = c->faceCount;
    narrowToPart(node, restore);

    clpTransformPlanes(&cam->screenToWorld);
    bool drawNothing = scnRayLightsOnly || (node->flags & NODE_DRAW_NOTHING) || c->faceCount == 0;
    uint32_t status = 0, outCodes = 0;
    clpBoxCodes(&node->worldBox, &status, &outCodes, &cam->worldToScreen);
    c->viewStatus = status;
    c->outCodes = outCodes;
    if (status == CLP_OUTSIDE) {
        if ((node->flags & NODE_CULL_ALWAYS) || !c->matSets) {
            job->rect = {0, 0, 0, 0};
            return 1;
        }
        drawNothing = true;
    }
    if (kind < 128) {
        if (!job->target) return 0;
        scnTarget = job->target;
        spanSetTarget(job->target);
    }
    FpuGuard fpu;
    ltUpdateActive(0, 0);
    ltView.eye = cam->eye;
    ltView.parallel = camIsParallel(cam) ? 1 : 0;
    if (ltView.parallel) {
        Vec3 d = {cam->eye.x - cam->vrp.x, cam->eye.y - cam->vrp.y, cam->eye.z - cam->vrp.z};
        vecNormalize(&d);
        ltView.parallelView = d;
    }
    camScreenBoxReset();
    if (!drawNothing) {
        if (!kindHasCase(kind)) return 0;
        resetCaches(node, stamp, kind, totalFaces);
        double fraction = 1.0;
        if (job->faceBudget != 0 && kind != 125 && kind != 126 && job->faceBudget <= c->faceCount)
            fraction = double(job->faceBudget) / double(c->faceCount);
        const bool animated = c->trackCount != 0 && node->parts != nullptr;
        const Mat4 savedBase = node->base, savedInv = node->invBase, savedView = node->objToView,
                   savedScreen = node->objToScreen, savedInvView = node->invObjToView;
        scnTexturesOn = (kind == 2 || kind == 3) ? 1 : 0;
        triSetGhostFlag(uint32_t(jobGhost));
        const bool shaded = kind == 1 || kind == 2 || kind == 3;
        for (int pass = 0; pass < (shaded ? 2 : 1); ++pass) {
            for (uint32_t p = 0; p < c->partCount; ++p) {
                PelPart& part = c->parts[p];
                if (shaded && (((part.flags & PART_TRANSLUCENT) != 0) != (pass == 1))) continue;
                if (animated) {
                    const uint32_t index = restore.narrowed ? uint32_t(restore.part - restore.parts) : p;
                    const ScnPart& sp = node->parts[index];
                    node->base = sp.world;
                    node->invBase = sp.inverse;
                    mtxMultiply(&sp.local, &savedScreen, &node->objToScreen);
                    mtxMultiply(&sp.local, &savedView, &node->objToView);
                    mtxMultiply(&cam->screenToWorld, &sp.inverse, &node->invObjToView);
                }
                if (part.flags & PART_PLANE_CULL) {
                    const float* m = node->invObjToView.m;
                    const float side = part.planeNormal.x * m[8] + part.planeNormal.y * m[9] +
                                       part.planeNormal.z * m[10] - part.planeDist * m[11];
                    const bool exempt = (part.flags & PART_TWO_SIDED) && !(node->flags & NODE_ID_PASS);
                    if (side < 0.0f && !exempt) continue;
                }
                bool clip = false;
                if (c->outCodes != 0) {
                    uint32_t ps = 0, pc = 0;
                    clpBoxCodes(&part.box, &ps, &pc, &node->objToView);
                    if (ps == CLP_OUTSIDE) continue;
                    clip = ps == CLP_STRADDLES;
                }
                uint32_t count = part.faceCount;
                if (fraction < 1.0) count = uint32_t(double(count) * fraction);
                if (shaded) scnGhostFlag = (int32_t(p) != node->highlight) ? jobGhost : 0;
                for (uint32_t f = 0; f < count; ++f) drawFace(kind, &part.firstFace[f], node, clip, cam, totalFaces);
            }
        }
        scnGhostFlag = jobGhost;
        triSetGhostFlag(0);
        if (animated) {
            node->base = savedBase;
            node->invBase = savedInv;
            node->objToView = savedView;
            node->objToScreen = savedScreen;
            node->invObjToView = savedInvView;
        }
    }
    camScreenBoxClip(cam, &job->rect);
    if (dxActive) FlushVertexBuffer();
    return 1;
}

int scnGetExtent(ScnNode* node, Vec3* minimum, Vec3* maximum) {
    if (!node || !minimum || !maximum) return 0;
    PelContent* c = node->content;
    *minimum = *maximum = {0.0f, 0.0f, 0.0f};
    if (!c || c->vertexCount == 0 || !c->vertices) return 1;
    Vec3 lo = {1e15f, 1e15f, 1e15f}, hi = {-1e15f, -1e15f, -1e15f};
    auto widen = [&](const Vec3& p) {
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    };
    if (c->trackCount && node->parts && c->parts) {
        for (uint32_t p = 0; p < c->partCount; ++p) {
            const PelPart& part = c->parts[p];
            for (uint32_t i = 0; i < part.vertexCount; ++i) {
                PelVertex& v = part.firstVertex[i];
                frmVertex(c, &v);
                mtxTransformPoint(&v.pos, &v.world, &node->parts[p].world);
                v.flags |= VTX_WORLD;
                widen(v.world);
            }
        }
    } else {
        const bool reuse = c->frameCache[0] == node && !(node->flags & NODE_CHANGED);
        for (uint32_t i = 0; i < c->vertexCount; ++i) {
            PelVertex& v = c->vertices[i];
            frmVertex(c, &v);
            if (!(reuse && (v.flags & VTX_WORLD))) {
                mtxTransformPoint(&v.pos, &v.world, &node->base);
                v.flags |= VTX_WORLD;
            }
            widen(v.world);
        }
        node->flags &= ~NODE_CHANGED;
        node->content->frameCache[0] = node;
    }
    *minimum = lo;
    *maximum = hi;
    return 1;
}

float vecFaceSizeSq(const PelVertex* vertices, const PelFace* face) {
    if (!vertices || !face) return 0.0f;
    auto cross = [](const Vec3& a, const Vec3& b, const Vec3& o) {
        const double ax = double(a.x) - o.x, ay = double(a.y) - o.y, az = double(a.z) - o.z;
        const double bx = double(b.x) - o.x, by = double(b.y) - o.y, bz = double(b.z) - o.z;
        const double x = ay * bz - az * by, y = az * bx - ax * bz, z = ax * by - ay * bx;
        return x * x + y * y + z * z;
    };
    const Vec3& p0 = vertices[face->v[0]].pos;
    const Vec3& p1 = vertices[face->v[1]].pos;
    const Vec3& p2 = vertices[face->v[2]].pos;
    double s = cross(p1, p2, p0);
    if (face->flags & FACE_QUAD) {
        const Vec3& p3 = vertices[face->v[3]].pos;
        s += cross(p0, p2, p3);
    }
    return float(s);
}

int scnRenderPreviewBmp(const CamRecord* camera, ScnNode** nodes, const uint32_t* anim, uint32_t, uint32_t, uint32_t,
                        uint8_t** out) {
    if (!out) return 0;
    *out = nullptr;
    if (!camera || !nodes) return 0;
    if (anim && !(anim[0] & 1u)) return 0;
    PicRecord* work = nullptr;
    if (!fzCreate(256, 256, 2, &work) || !work) return 0;
    auto* bmp = static_cast<uint8_t*>(memAllocZ(SCN_PREVIEW_BMP_BYTES));
    if (!bmp) {
        fzFree(&work);
        return 0;
    }
    CamRecord cam = *camera;
    const float cx = (cam.winXMin + cam.winXMax) * 0.5f, cy = (cam.winYMin + cam.winYMax) * 0.5f;
    const float half = std::max(cam.winXMax - cam.winXMin, cam.winYMax - cam.winYMin) * 0.5f;
    cam.winXMin = cx - half, cam.winXMax = cx + half, cam.winYMin = cy - half, cam.winYMax = cy + half;
    cam.pixX = 0, cam.pixY = 0, cam.pixW = 256, cam.pixH = 256;
    DxActiveGuard dxGuard;
    bool ok = camUpdate(&cam) != 0;
    int32_t x0 = 100000, y0 = 100000, x1 = -100000, y1 = -100000;
    ScnRenderJob job{};
    job.camera = &cam;
    job.target = work;
    if (ok) {
        job.kind = SCN_KIND_WIRE;
        for (uint32_t i = 0; nodes[i]; ++i) {
            job.node = nodes[i];
            job.rect = {0, 0, 0, 0};
            scnRenderScene(&job);
            if (job.rect.w > 0 && job.rect.h > 0) {
                x0 = std::min(x0, job.rect.x);
                y0 = std::min(y0, job.rect.y);
                x1 = std::max(x1, job.rect.x + job.rect.w);
                y1 = std::max(y1, job.rect.y + job.rect.h);
            }
        }
        ok = x1 > x0 && y1 > y0;
    }
    if (ok) {
        const int32_t side = std::max(x1 - x0, y1 - y0);
        const float mx = (x0 + x1) * 0.5f, my = (y0 + y1) * 0.5f;
        const float sx = (cam.winXMax - cam.winXMin) / 256.0f, sy = (cam.winYMax - cam.winYMin) / 256.0f;
        const float left = mx - side * 0.5f, top = my - side * 0.5f;
        const float wx0 = cam.winXMin + left * sx, wx1 = wx0 + side * sx;
        float wy0, wy1;
        if (cam.rowsUp) {
            wy0 = cam.winYMin + top * sy;
            wy1 = wy0 + side * sy;
        } else {
            wy1 = cam.winYMax - top * sy;
            wy0 = wy1 - side * sy;
        }
        cam.winXMin = wx0, cam.winXMax = wx1, cam.winYMin = wy0, cam.winYMax = wy1;
        ok = camUpdate(&cam) != 0;
    }
    if (ok) {
        dxActive = 0;
        fzClear(work, nullptr);
        job.kind = SCN_KIND_GOURAUD_TEX;
        for (uint32_t i = 0; nodes[i]; ++i) {
            job.node = nodes[i];
            scnRenderScene(&job);
        }
        PicRecord small{};
        small.pixels = bmp + 54;
        small.width = 64;
        small.height = 64;
        small.bytesPerPixel = 2;
        picCopyRect(0, 1, work, &small);
        auto put16 = [&](size_t o, uint32_t v) { picPut16(bmp + o, v); };
        auto put32 = [&](size_t o, uint32_t v) { picPut32(bmp + o, v); };
        bmp[0] = 'B', bmp[1] = 'M';
        put32(2, SCN_PREVIEW_BMP_BYTES);
        put32(10, 54);
        put32(14, 40);
        put32(18, 64);
        put32(22, 64);
        put16(26, 1);
        put16(28, 16);
        put32(30, 0);
        put32(34, 8192);
        *out = bmp;
        bmp = nullptr;
    }
    fzFree(&work);
    if (bmp) memFree(bmp);
    return ok ? 1 : 0;
}

int pelRenderPreview(ScnNode* node, uint8_t** picture) {
    if (!picture) return 0;
    *picture = nullptr;
    if (!node || !node->content) return 0;
    const PelContent* c = node->content;
    Box3 world;
    mtxTransformBox(&c->box, &world, &node->base);
    const Vec3 centre = pelBoxCentre(world);
    const Mat4 m = pelWriteMatrix(node->base, centre);
    Box3 local;
    mtxTransformBox(&c->box, &local, &m);
    const float dx = local.max.x - local.min.x, dy = local.max.y - local.min.y, dz = local.max.z - local.min.z;
    const float d = 0.6f * std::max(dx, std::max(dy, dz));
    dbgPrintf("tx=%.4f/ty=%.4f/tz=%.4f, dx=%.4f/dy=%.4f/dz=%.4f, dd=%.4f\n", centre.x, centre.y, centre.z, dx, dy, dz,
              d);
    if (!(d > 0.0f) || !std::isfinite(d)) return 0;

    CamRecord cam{};
    cam.eye = Vec3{centre.x - 30.0f * d, centre.y - 50.0f * d, centre.z + 30.0f * d};
    cam.vrp = centre;
    cam.up = Vec3{0, 0, 1};
    cam.viewDist = 65.57f * d;
    cam.nearDist = cam.viewDist - 1.415f * d;
    cam.farDist = cam.viewDist + 1.415f * d;
    cam.pixW = 512;
    cam.pixH = 512;
    cam.rowsUp = 1;
    if (!camSetWindow(&cam, 0.0f, 0.0f, 3.0f * d)) return 0;

    BgRecord saved{};
    fzGetBackground(&saved);
    BgRecord plain = saved;
    plain.mode = 0;
    for (float& ch : plain.clear) ch = 0.5882353f;
    fzSetBackground(&plain);
    const float factor = matGetGlobalFactor();
    matSetGlobalFactor(1.0f);
    ScnNode* list[2] = {node, nullptr};
    const int ok = scnRenderPreviewBmp(&cam, list, nullptr, 0, 0, 0, picture);
    matSetGlobalFactor(factor);
    fzSetBackground(&saved);
    if (!ok) memFreeRefT(picture);
    return ok && *picture ? 1 : 0;
}

namespace {
// The object writer makes its preview here once the renderer is linked in.
[[maybe_unused]] const bool g_previewInstalled = (pelSetPreviewRenderer(pelRenderPreview), true);
}  // namespace
