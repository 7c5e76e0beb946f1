// Picking by a ray through the pixel, tested against clip planes, node boxes and faces.
#include "render/pick.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "scene/vecops.h"
#include "render/clipplane.h"
#include "render/framemarks.h"
#include "scene/anim.h"

namespace {

using vec::cross;
using vec::sub;

const Vec3& worldOf(PelVertex& v, const ScnNode* node) {
    frmVertex(node->content, &v);
    if (!(v.flags & VTX_WORLD)) {
        mtxTransformPoint(&v.pos, &v.world, &node->base);
        v.flags |= VTX_WORLD;
    }
    return v.world;
}

bool partAnimated(const ScnNode* node, uint32_t part) {
    const PelContent* c = node->content;
    if (!c || c->trackCount == 0 || part >= c->partCount) return false;
    const AnimTrack* t = nullptr;
    if (node->parts)
        t = node->parts[part].track;
    else if (c->tracks && c->trackIndex && c->trackIndex[part] < c->trackCount)
        t = &c->tracks[c->trackIndex[part]];
    return t && (t->position || t->rotation || t->scale || t->extra);
}

struct SavedMatrices {
    Mat4 base, invBase, objToView, objToScreen, invObjToView;
    void save(const ScnNode* n) {
        base = n->base, invBase = n->invBase, objToView = n->objToView;
        objToScreen = n->objToScreen, invObjToView = n->invObjToView;
    }
    void restore(ScnNode* n) const {
        n->base = base, n->invBase = invBase, n->objToView = objToView;
        n->objToScreen = objToScreen, n->invObjToView = invObjToView;
    }
};

}  // namespace

int pkRayBox(const Box3* box, const PkRay* ray, float best) {
    if (!box || !ray) return 0;
    double tNear = -1e20, tFar = 1e20;
    const float o[3] = {ray->origin.x, ray->origin.y, ray->origin.z};
    const float d[3] = {ray->dir.x, ray->dir.y, ray->dir.z};
    const float lo[3] = {box->min.x, box->min.y, box->min.z};
    const float hi[3] = {box->max.x, box->max.y, box->max.z};
    for (int a = 0; a < 3; ++a) {
        if (std::fabs(d[a]) < 1e-15f) {
            if (o[a] < lo[a] || o[a] > hi[a]) return 0;
            continue;
        }
        double t1 = (double(lo[a]) - o[a]) / d[a], t2 = (double(hi[a]) - o[a]) / d[a];
        if (t1 > t2) std::swap(t1, t2);
        if (t1 > tNear) tNear = t1;
        if (t2 < tFar) tFar = t2;
        if (tNear > tFar || tFar < 0.0) return 0;
    }
    return tNear < best ? 1 : 0;
}

int pkRayFace(const PkRay* ray, ScnNode* node, float tMin, float tMax, float* best, PelFace* face) {
    if (!ray || !node || !best || !face || !node->content || !node->content->vertices) return 0;
    PelContent* c = node->content;
    const bool quad = face->flags & FACE_QUAD;
    const int n = quad ? 4 : 3;
    for (int k = 0; k < n; ++k)
        if (face->v[k] >= c->vertexCount) return 0;
    const Vec3 v0 = worldOf(c->vertices[face->v[0]], node);
    const Vec3 v1 = worldOf(c->vertices[face->v[1]], node);
    const Vec3 v2 = worldOf(c->vertices[face->v[2]], node);
    const Vec3 e1 = sub(v1, v0);
    const Vec3 e2 = quad ? sub(worldOf(c->vertices[face->v[3]], node), v0) : sub(v2, v0);
    // O + t D = V0 + alpha E1 + beta E2 by Cramer's rule.
    const Vec3 p = cross(ray->dir, e2);
    const double det = vec::dotWide(e1, p);
    if (std::fabs(det) < 1e-10) return 0;
    const Vec3 s = sub(ray->origin, v0);
    const Vec3 q = cross(s, e1);
    const double alpha = vec::dotWide(s, p) / det, beta = vec::dotWide(ray->dir, q) / det, t = vec::dotWide(e2, q) / det;
    if (!(t >= tMin && t <= tMax && t <= *best)) return 0;
    if (!(alpha > 0.0 && beta > 0.0)) return 0;
    if (!quad) {
        if (alpha + beta > 1.0) return 0;
    } else {
        // V2 in the basis (E1, E2), solved in the plane that drops the normal's largest axis.
        const Vec3 nrm = cross(e1, e2);
        const float an[3] = {std::fabs(nrm.x), std::fabs(nrm.y), std::fabs(nrm.z)};
        const int drop = an[0] >= an[1] && an[0] >= an[2] ? 0 : an[1] >= an[2] ? 1 : 2;
        const int i = drop == 0 ? 1 : 0, j = drop == 2 ? 1 : 2;
        const Vec3 r = sub(v2, v0);
        const float E1[3] = {e1.x, e1.y, e1.z}, E2[3] = {e2.x, e2.y, e2.z}, R[3] = {r.x, r.y, r.z};
        const double d2 = double(E1[i]) * E2[j] - double(E1[j]) * E2[i];
        if (std::fabs(d2) < 1e-8) return 0;
        const double a = (double(R[i]) * E2[j] - double(R[j]) * E2[i]) / d2;
        const double b = (double(E1[i]) * R[j] - double(E1[j]) * R[i]) / d2;
        if (a < 1e-10 || b < 1e-10) return 0;
        if (!((a - 1.0) / b * beta + 1.0 >= alpha && (b - 1.0) / a * alpha + 1.0 >= beta)) return 0;
    }
    *best = float(t);
    return 1;
}

int pkPickNode(uint32_t pickTransparent, const PkRay* ray, ScnNode* node, float tMin, float tMax, float* best,
               const CamRecord* camera, uint32_t* materialIndex, MatInput** materialInput, TexRecord** texture,
               PelFace** face, uint32_t* animated, uint32_t* partIndex, uint32_t* faceIndex) {
    if (partIndex) *partIndex = 0;
    if (!ray || !node || !best || !camera || !face) return 0;
    PelContent* c = node->content;
    if (!c) return 0;
    const bool anim = c->trackCount != 0 && node->parts != nullptr;
    SavedMatrices saved;
    saved.save(node);
    if (!pkRayBox(&node->worldBox, ray, *best)) return 0;
    *face = nullptr;
    if (animated) *animated = 0;
    if (c->faceCount == 0 || !c->faces || !c->vertices) return 0;

    if (!(c->frameCache[0] == node && !(node->flags & NODE_CHANGED))) {
        for (uint32_t i = 0; i < c->vertexCount; ++i) c->vertices[i].flags &= ~uint32_t(VTX_WORLD);
        c->frameCache[0] = node;
    }
    mtxMultiply(&node->base, &camera->worldToScreen, &node->objToView);
    if (!mtxInvert(&node->objToView, &node->invObjToView)) mtxIdentity(&node->invObjToView);
    if (anim) saved.save(node);

    PelFace* hit = nullptr;
    uint32_t hitPart = 0;
    for (uint32_t p = 0; p < c->partCount && c->parts; ++p) {
        const PelPart& part = c->parts[p];
        if (part.faceCount == 0 || !part.firstFace || part.firstFace < c->faces) continue;
        const uint64_t first = uint64_t(part.firstFace - c->faces);
        if (first >= c->faceCount) continue;
        const uint64_t count = std::min<uint64_t>(part.faceCount, c->faceCount - first);
        if (anim) {
            const ScnPart& sp = node->parts[p];
            node->base = sp.world;
            node->invBase = sp.inverse;
            mtxMultiply(&sp.local, &saved.objToScreen, &node->objToScreen);
            mtxMultiply(&sp.local, &saved.objToView, &node->objToView);
            mtxMultiply(&camera->screenToWorld, &sp.inverse, &node->invObjToView);
        }
        const float* m = node->invObjToView.m;
        for (uint64_t f = 0; f < count; ++f) {
            PelFace* fc = &part.firstFace[f];
            if (!(fc->flags & FACE_TWO_SIDED) && fc->normal) {
                const Vec3& n = fc->normal->normal;
                if (n.x * m[8] + n.y * m[9] + n.z * m[10] - fc->dist * m[11] < 0.0f) continue;
            }
            if (!pickTransparent && fc->material < c->materialCount && c->materials &&
                c->materials[fc->material].alpha != 0.0f)
                continue;
            if (pkRayFace(ray, node, tMin, tMax, best, fc)) {
                hit = fc;
                hitPart = p;
            }
        }
        if (anim) saved.restore(node);
    }
    if (!hit) return 0;
    *face = hit;
    if (partIndex) *partIndex = hitPart;
    if (faceIndex) *faceIndex = uint32_t(hit - c->faces);
    if (materialIndex) *materialIndex = hit->material;
    MatInput* mat = (c->materials && hit->material < c->materialCount) ? &c->materials[hit->material] : nullptr;
    if (materialInput) *materialInput = mat;
    if (texture) {
        *texture = nullptr;
        if (mat && (mat->flags & qivMatFlagIsTextured) && node->areaTextures && mat->area < c->areaCount)
            *texture = node->areaTextures[mat->area];
    }
    if (animated) *animated = partAnimated(node, hitPart) ? 1 : 0;
    return 1;
}

int pkPick(PickRecord* r) {
    if (!r) return 0;
    r->listTag = PK_NO_HIT;
    r->nodeIndex = 0;
    r->materialInput = nullptr;
    r->animated = 0;
    r->texture = nullptr;
    r->materialIndex = 0;
    r->faceWord = 0;
    r->partIndex = 0;
    r->faceIndex = 0;
    float tMin = 0.0f;
    const CamRecord* cam = r->camera;
    if (!cam) return 0;
    if (!(r->x >= float(cam->pixX) && r->x <= float(cam->pixX) + float(cam->pixW) + 1.0f &&
          r->y >= float(cam->pixY) && r->y <= float(cam->pixY) + float(cam->pixH) + 1.0f))
        return 0;
    const Vec3 near{r->x, r->y, -32767.0f}, far{r->x, r->y, 32767.0f};
    Vec3 a, b;
    if (!mtxProjectPoint(&near, &a, &cam->pixelToWorld) || !mtxProjectPoint(&far, &b, &cam->pixelToWorld)) return 0;
    PkRay ray;
    ray.origin = a;
    Vec3 d = sub(b, a);
    const double len = std::sqrt(vec::dotWide(d, d));
    if (!(len > 0.0)) return 0;
    ray.dir = {float(d.x / len), float(d.y / len), float(d.z / len)};
    float tMax = float(len);
    float best = 1e15f;
    float t = 0.0f;
    uint32_t side = 0;
    if (clpRayPlanes(&ray.origin, &ray.dir, &t, &side)) {
        if (side == 0)
            tMin = t;
        else
            tMax = t;
    }
    auto walk = [&](ScnNode* const* list, uint32_t tag) {
        for (uint32_t i = 0; list && list[i]; ++i) {
            PelFace* face = nullptr;
            uint32_t animated = 0, part = 0, faceIndex = 0, matIndex = 0;
            MatInput* mat = nullptr;
            TexRecord* tex = nullptr;
            if (pkPickNode(r->pickTransparent, &ray, list[i], tMin, tMax, &best, cam, &matIndex, &mat, &tex, &face,
                           &animated, &part, &faceIndex)) {
                r->listTag = tag;
                r->nodeIndex = i;
                r->animated = animated;
                r->faceWord = face->user;
                r->partIndex = part;
                r->faceIndex = faceIndex;
                r->materialIndex = matIndex;
                r->materialInput = mat;
                r->texture = tex;
            }
        }
    };
    walk(r->second, PK_SECOND_LIST);
    walk(r->first, PK_FIRST_LIST);
    r->hit = {ray.origin.x + ray.dir.x * best, ray.origin.y + ray.dir.y * best, ray.origin.z + ray.dir.z * best};
    if (r->materialInput) r->material = *r->materialInput;
    return 1;
}

int pkPickAtPoint(const CamRecord* camera, ScnNode* const* first, ScnNode* const* second, float x, float y,
                  uint32_t pickTransparent, float hit[3], uint32_t* listTag, uint32_t* nodeIndex, MatInput* material,
                  uint32_t* materialIndex, MatInput** materialInput, uint32_t* animated, uint32_t* faceWord,
                  uint32_t* partIndex) {
    PickRecord r{};
    r.camera = camera;
    r.first = first;
    r.second = second;
    r.x = x;
    r.y = y;
    r.pickTransparent = pickTransparent;
    const int ok = pkPick(&r);
    if (hit) hit[0] = r.hit.x, hit[1] = r.hit.y, hit[2] = r.hit.z;
    if (listTag) *listTag = r.listTag;
    if (nodeIndex) *nodeIndex = r.nodeIndex;
    if (material && r.materialInput) *material = r.material;
    if (materialIndex) *materialIndex = r.materialIndex;
    if (materialInput) *materialInput = r.materialInput;
    if (animated) *animated = r.animated;
    if (faceWord) *faceWord = r.faceWord;
    if (partIndex) *partIndex = r.partIndex;
    return ok;
}

int pkReadId16(const PicRecord* picture, int32_t x, int32_t y, uint16_t* id) {
    if (!picture || !id || !picture->pixels || picture->bytesPerPixel < 2) return 0;
    if (x < 0 || y < 0 || x >= picture->width || y >= picture->height) return 0;
    std::memcpy(id, picture->pixels + 2 * (size_t(y) * size_t(picture->width) + size_t(x)), 2);
    return 1;
}

int pkPartTrack(const ScnNode* node, uint32_t part, int32_t* entry) {
    if (!entry || !node) {
        if (entry) *entry = -1;
        return 0;
    }
    *entry = -1;
    const PelContent* c = node->content;
    if (!c || c->trackCount == 0 || !c->tracks || !c->trackIndex) return 1;
    if (part >= c->partCount) return 0;
    *entry = int32_t(c->trackIndex[part]);
    return 1;
}
