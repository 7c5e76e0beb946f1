#include "render/light.h"

#include <cmath>

#include "render/framemarks.h"
#include "scene/engine.h"
#include "scene/material.h"
#include "scene/scene.h"
#include "scene/vecops.h"

int scnTexturesOn = 0;
int scnGhostFlag = 0;
LtViewState ltView = {};

namespace {
Vec3 gLastView = {0.0f, 0.0f, 1.0f};
LtShadowTestFn gShadowTest = nullptr;

float dot3(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// View vector of a point: the fixed vector under parallel projection, else
// towards the eye (normalised when asked). false when it has no length.
inline bool viewVector(const Vec3* p, bool normalise, Vec3* v) {
    if (ltView.parallel) {
        *v = ltView.parallelView;
        return true;
    }
    *v = {ltView.eye.x - p->x, ltView.eye.y - p->y, ltView.eye.z - p->z};
    if (!normalise) return true;
    double len = std::sqrt(double(v->x) * v->x + double(v->y) * v->y + double(v->z) * v->z);
    if (len == 0.0) return false;
    v->x = float(v->x / len);
    v->y = float(v->y / len);
    v->z = float(v->z / len);
    return true;
}

// Direction towards the light, its cosine and attenuation at p; false when
// the light does not reach p from the side of n.
inline bool lightGeometry(const LightRecord* l, const Vec3* p, const Vec3* n, Vec3* ld, float* d, float* att,
                          float* dist) {
    if (l->kind == 0) {
        *ld = l->pos;
        *d = dot3(*n, *ld);
        if (*d <= 0.0f) return false;
        *att = 1.0f;
        *dist = 1.0e20f;
        return true;
    }
    Vec3 delta = {l->pos.x - p->x, l->pos.y - p->y, l->pos.z - p->z};
    float d2 = dot3(delta, delta);
    if (d2 < 1.0e-6f) return false;
    float len = std::sqrt(d2);
    *ld = {delta.x / len, delta.y / len, delta.z / len};
    *d = dot3(*n, *ld);
    if (*d <= 0.0f) return false;
    *att = l->fa * d2 + l->fb;
    if (*att < 0.0f) return false;
    *dist = len;
    return true;
}

inline float specularTerm(const MatRecord* m, float s) {
    return m->specCoeff[0] + 1.0f / (m->specCoeff[1] * s + m->specCoeff[2]);
}

inline void baseColour(const MatRecord* m, float c[3]) {
    for (int i = 0; i < 3; ++i) {
        c[i] = m->ambient[i];
        if (m->flags & qivMatFlagIsLight) c[i] += m->diffuse[i];
    }
}

inline void clampColour(const MatRecord* m, bool toOne, float c[3]) {
    for (int i = 0; i < 3; ++i) {
        float limit = toOne ? 1.0f : m->modulation[i];
        if (c[i] > limit) c[i] = limit;
    }
}

// World-space normal of a normal record, computed once per frame.
inline void worldNormal(PelNormal* nr, const ScnNode* node, Vec3* out) {
    if (node->content) frmNormal(node->content, nr);
    if (!(nr->flags & NRM_WORLD)) {
        Mat4 inv;
        const Mat4* m = &node->invBase;
        if (!(node->flags & NODE_INVERSE_VALID)) {
            if (!mtxInvert(&node->base, &inv)) mtxIdentity(&inv);
            m = &inv;
        }
        // Normals go with the transposed inverse placement.
        const float* e = m->m;
        const Vec3& n = nr->normal;
        Vec3 r = {e[0] * n.x + e[1] * n.y + e[2] * n.z, e[4] * n.x + e[5] * n.y + e[6] * n.z,
                  e[8] * n.x + e[9] * n.y + e[10] * n.z};
        vecNormalize(&r);
        nr->world = r;
        nr->flags |= NRM_WORLD;
    }
    *out = nr->world;
}

bool faceWorldNormal(const PelFace* f, const ScnNode* node, Vec3* out) {
    if (!f->normal) return false;
    worldNormal(f->normal, node, out);
    return true;
}

const PelFace* neighbour(const PelFace* f, const ScnNode* node, uint32_t edge) {
    const PelContent* c = node->content;
    uint32_t i = f->nb[edge];
    if (!c || !c->faces || i >= c->faceCount) return nullptr;
    return &c->faces[i];
}
}  // namespace

int ltVertexNormal(PelVertex* vertex, PelFace* face, ScnNode* node, uint32_t k, Vec3* out) {
    if (!vertex || !face || !node || !out) return 0;
    if (vertex->normal) {
        worldNormal(vertex->normal, node, out);
        return 1;
    }
    Vec3 fn = {0.0f, 0.0f, 1.0f};
    if (!faceWorldNormal(face, node, &fn)) {
        *out = fn;
        return 0;
    }
    *out = fn;
    if (!(vertex->flags & VTX_SMOOTH)) return 1;
    uint32_t edges = (face->flags & FACE_QUAD) ? 4 : 3;
    if (k >= edges) return 1;
    uint32_t p = k == 0 ? edges - 1 : k - 1;
    bool openK = face->flags & (FACE_OPEN_EDGE0 << k);
    bool openP = face->flags & (FACE_OPEN_EDGE0 << p);
    if (openK && openP) return 1;
    Vec3 sum = fn;
    auto add = [&](const PelFace* f) -> bool {
        Vec3 n;
        if (!f || !faceWorldNormal(f, node, &n)) return false;
        sum.x += n.x;
        sum.y += n.y;
        sum.z += n.z;
        return true;
    };
    if (openK || openP) {
        if (!add(neighbour(face, node, openK ? p : k))) return 1;
        vecNormalize(&sum);
        *out = sum;
        return 1;
    }
    const PelFace* across = neighbour(face, node, k);
    const PelFace* before = neighbour(face, node, p);
    if (!across || !before) return 1;
    uint32_t acrossEdges = (across->flags & FACE_QUAD) ? 4 : 3;
    bool found = false;
    for (uint32_t e = 0; e < acrossEdges && !found; ++e)
        found = !(across->flags & (FACE_OPEN_EDGE0 << e)) && across->nb[e] == face->nb[p];
    if (!found) return 1;
    if (!add(across) || !add(before)) return 1;
    vecNormalize(&sum);
    *out = sum;
    return 1;
}

namespace {
// The lights' part of shade(): v is the unit view vector, colour holds the base colour.
inline void shadeView(const MatRecord* m, const Vec3* pos, const Vec3* normal, const Vec3& v, float colour[3]) {
    const float* diff = scnTexturesOn ? m->texDiffuse : m->diffuse;
    gLastView = v;
    const Vec3& n = *normal;
    float a = m->specCoeff[0];
    for (LightRecord* l = ltFirstActive(); l; l = l->nextActive) {
        Vec3 ld;
        float d, att, dist;
        if (!lightGeometry(l, pos, normal, &ld, &d, &att, &dist)) continue;
        float lc[3] = {l->r, l->g, l->b};
        float w = l->kind == 0 ? d : att * d;
        for (int i = 0; i < 3; ++i) colour[i] += diff[i] * lc[i] * w;
        Vec3 refl = {ld.x - 2.0f * d * n.x, ld.y - 2.0f * d * n.y, ld.z - 2.0f * d * n.z};
        float s = dot3(v, refl);
        if (s < -0.1f && a != 0.0f) {
            float f = specularTerm(m, s);
            if (l->kind != 0) f *= att;
            for (int i = 0; i < 3; ++i) colour[i] += m->specular[i] * lc[i] * f;
        }
    }
    clampColour(m, scnTexturesOn != 0, colour);
}

inline void shade(const MatRecord* m, const Vec3* pos, const Vec3* normal, float colour[3]) {
    baseColour(m, colour);
    Vec3 v;
    if (!viewVector(pos, true, &v)) return;
    shadeView(m, pos, normal, v, colour);
}

// vecNormalize of a and b at once (two lanes of the same operations); false, with a and b
// unchanged, when either has no length.
inline bool normalisePair(Vec3* a, Vec3* b) {
#if defined(__GNUC__)
    typedef double Pair __attribute__((vector_size(16)));
    const Pair x = {a->x, b->x}, y = {a->y, b->y}, z = {a->z, b->z};
    const Pair squares = x * x + y * y + z * z;
    const double la = std::sqrt(squares[0]), lb = std::sqrt(squares[1]);
    if (la == 0.0 || lb == 0.0) return false;
    const Pair length = {la, lb};
    const Pair qx = x / length, qy = y / length, qz = z / length;
    *a = {float(qx[0]), float(qy[0]), float(qz[0])};
    *b = {float(qx[1]), float(qy[1]), float(qz[1])};
    return true;
#else
    const double la = std::sqrt(vec::dotWide(*a, *a)), lb = std::sqrt(vec::dotWide(*b, *b));
    if (la == 0.0 || lb == 0.0) return false;
    *a = {float(a->x / la), float(a->y / la), float(a->z / la)};
    *b = {float(b->x / lb), float(b->y / lb), float(b->z / lb)};
    return true;
#endif
}

// ltLightVertex of a vertex with its own normal on a one-sided face under a perspective
// view, when the normal's world direction is not made yet: the normal and the view vector
// are normalised together. false: nothing done (the general path takes it).
inline bool lightOwnNormal(PelVertex* vertex, const MatRecord* m, const PelFace* face, const ScnNode* node) {
    PelNormal* nr = vertex->normal;
    if (node->content) frmNormal(node->content, nr);
    if ((nr->flags & NRM_WORLD) || !(node->flags & NODE_INVERSE_VALID)) return false;
    const float* e = node->invBase.m;
    const Vec3& n = nr->normal;
    Vec3 r = {e[0] * n.x + e[1] * n.y + e[2] * n.z, e[4] * n.x + e[5] * n.y + e[6] * n.z,
              e[8] * n.x + e[9] * n.y + e[10] * n.z};
    const Vec3& p = vertex->world;
    Vec3 v = {ltView.eye.x - p.x, ltView.eye.y - p.y, ltView.eye.z - p.z};
    if (!normalisePair(&r, &v)) return false;
    nr->world = r;
    nr->flags |= NRM_WORLD;
    float c[3];
    baseColour(m, c);
    shadeView(m, &vertex->world, &r, v, c);
    vertex->r = c[0];
    vertex->g = c[1];
    vertex->b = c[2];
    if (face->flags & FACE_ENVMAP) {
        ltEnvMapVertex(vertex, &r);
    } else {
        vertex->eu = vertex->u;
        vertex->ev = vertex->v;
    }
    vertex->flags |= VTX_LIT;
    return true;
}
}  // namespace

void ltShade(const MatRecord* m, const Vec3* pos, const Vec3* normal, float colour[3]) { shade(m, pos, normal, colour); }

void ltMaterialMaxColor(const MatRecord* m, float colour[3]) {
    baseColour(m, colour);
    const float* diff = scnTexturesOn ? m->texDiffuse : m->diffuse;
    for (int i = 0; i < 3; ++i) colour[i] += diff[i] + m->specular[i];
    clampColour(m, scnTexturesOn != 0, colour);
}

void ltAmbientAt(const Vec3* p, float colour[3]) {
    for (int i = 0; i < 3; ++i) colour[i] = 0.1f;
    for (LightRecord* l = ltFirstActive(); l; l = l->nextActive) {
        if (l->kind == 0) continue;
        Vec3 delta = {l->pos.x - p->x, l->pos.y - p->y, l->pos.z - p->z};
        float d2 = dot3(delta, delta);
        if (!(d2 > 1.0e-6f)) continue;
        float att = l->fa * d2 + l->fb;
        if (!(att > 0.0f)) continue;
        colour[0] += att * l->r;
        colour[1] += att * l->g;
        colour[2] += att * l->b;
    }
    for (int i = 0; i < 3; ++i)
        if (colour[i] > 1.0f) colour[i] = 1.0f;
}

namespace {
void envMap(const Vec3& r, float* u, float* v) {
    *u = (std::atan2(r.y, r.x) + 3.14156f) * 0.15915659f;
    *v = (std::atan2(r.z, std::sqrt(r.x * r.x + r.y * r.y)) + 1.57078f) * 0.31831318f;
}
}  // namespace

void ltEnvMapVertex(PelVertex* vertex, const Vec3* normal) {
    const Vec3& v = gLastView;
    const Vec3& n = *normal;
    float k = 2.0f * dot3(v, n);
    Vec3 r = {v.x - k * n.x, v.y - k * n.y, v.z - k * n.z};
    envMap(r, &vertex->eu, &vertex->ev);
}

void ltEnvMapDir(const Vec3* dir, const Vec3* normal, float* u, float* v) {
    const Vec3& n = *normal;
    float k = 2.0f * dot3(*dir, n);
    Vec3 r = {k * n.x - dir->x, k * n.y - dir->y, k * n.z - dir->z};
    envMap(r, u, v);
}

namespace {
const MatRecord* faceMaterial(const PelFace* face, const ScnNode* node) {
    if (!node->content || !node->materials || face->material >= node->content->materialCount) return nullptr;
    return &node->materials[face->material];
}
}  // namespace

int ltLightVertex(PelVertex* vertex, uint32_t index, PelFace* face, ScnNode* node, float* transparency) {
    if (!vertex || !face || !node) return 0;
    const MatRecord* m = faceMaterial(face, node);
    if (!m) return 0;
    if (transparency) *transparency = ltFaceTransparency(face, node);
    if (vertex->flags & VTX_FIXED_COLOR) return 1;
    if (vertex->flags & VTX_RELIGHT) vertex->flags &= ~VTX_LIT;
    bool lit = vertex->flags & VTX_LIT;
    bool own = vertex->normal != nullptr;
    bool twoSided = face->flags & FACE_TWO_SIDED;
    if (lit && !twoSided && own) return 1;
    if (!(vertex->flags & VTX_WORLD)) {
        mtxTransformPoint(&vertex->pos, &vertex->world, &node->base);
        vertex->flags |= VTX_WORLD;
    }
    if (own && !twoSided && !ltView.parallel && lightOwnNormal(vertex, m, face, node)) return 1;
    Vec3 n;
    if (vertex->normal)
        worldNormal(vertex->normal, node, &n);
    else
        ltVertexNormal(vertex, face, node, index, &n);
    Vec3 shadeN = n;
    if (twoSided) {
        Vec3 v;
        viewVector(&vertex->world, false, &v);
        Vec3 fn = {0.0f, 0.0f, 1.0f};
        faceWorldNormal(face, node, &fn);
        bool backLit = vertex->flags & VTX_BACKLIT;
        if (dot3(fn, v) > 0.0f) {
            if (lit && !backLit && own) return 1;
            vertex->flags &= ~VTX_BACKLIT;
        } else {
            if (lit && backLit && own) return 1;
            shadeN = {-n.x, -n.y, -n.z};
            vertex->flags |= VTX_BACKLIT;
        }
    }
    float c[3];
    shade(m, &vertex->world, &shadeN, c);
    vertex->r = c[0];
    vertex->g = c[1];
    vertex->b = c[2];
    if (face->flags & FACE_ENVMAP) {
        ltEnvMapVertex(vertex, &n);
    } else {
        vertex->eu = vertex->u;
        vertex->ev = vertex->v;
    }
    vertex->flags |= VTX_LIT;
    return 1;
}

int ltShadeRay(const Vec3* p, const Vec3* normal, const LtHit* hit, const Vec3* mirror, uint32_t slot,
               uint32_t noShadows, uint32_t passP, float colour[3], uint32_t passQ) {
    if (!p || !normal || !hit || !hit->material || !mirror || !colour) return 0;
    const MatRecord* m = hit->material;
    baseColour(m, colour);
    const float* diff = hit->textured ? m->texDiffuse : m->diffuse;
    float a = m->specCoeff[0];
    for (LightRecord* l = ltFirstActive(); l; l = l->nextActive, ++slot) {
        Vec3 ld;
        float d, att, dist;
        if (!lightGeometry(l, p, normal, &ld, &d, &att, &dist)) continue;
        int filtered = 0;
        float filter[3] = {1.0f, 1.0f, 1.0f};
        if (!noShadows && l->param && gShadowTest &&
            gShadowTest(p, &ld, dist, slot, l->user, passP, passQ, &filtered, filter))
            continue;
        float lc[3] = {l->r, l->g, l->b};
        float w = l->kind == 0 ? d : att * d;
        float s = -dot3(*mirror, ld);
        float f = 0.0f;
        if (s < -0.1f && a != 0.0f) {
            f = specularTerm(m, s);
            if (l->kind != 0) f *= att;
        }
        for (int i = 0; i < 3; ++i) {
            float add = diff[i] * lc[i] * w + hit->specular[i] * lc[i] * f;
            if (filtered) {
                float fc = filter[i] * 2.0f;
                if (fc > 1.0f) fc = 1.0f;
                add *= fc;
            }
            colour[i] += add;
        }
    }
    if (hit->textured) {
        for (int i = 0; i < 3; ++i) {
            if (colour[i] > 1.0f) colour[i] = 1.0f;
            colour[i] *= hit->texel[i];
        }
    } else {
        clampColour(m, false, colour);
    }
    return 1;
}

void ltSetShadowTest(LtShadowTestFn fn) { gShadowTest = fn; }

void ltResetShading() {
    gLastView = {0.0f, 0.0f, 1.0f};
    gShadowTest = nullptr;
    scnTexturesOn = 0;
    scnGhostFlag = 0;
    ltView = {};
}
