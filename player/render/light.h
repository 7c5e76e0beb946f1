// The lighting model: vertex lighting, shading of ray hits and environment mapping over the
// active lights of the light list.
#pragma once
#include <cstdint>

#include "scene/light.h"
#include "scene/material.h"
#include "scene/scene.h"
#include "scene/vecmath.h"

// Per-frame state set by the frame renderer.
extern int scnTexturesOn;
extern int scnGhostFlag;
struct LtViewState {
    Vec3 eye;           // eye position (world)
    int parallel;       // parallel projection
    Vec3 parallelView;  // fixed view vector (eye minus view reference point)
};
extern LtViewState ltView;

int ltLightVertex(PelVertex* vertex, uint32_t index, PelFace* face, ScnNode* node, float* transparency);
// The transparency ltLightVertex reports for the face (0 without a material): the ghost
// flag makes 0.3 of it, or 0.3 when it is 0.
inline float ltFaceTransparency(const PelFace* face, const ScnNode* node) {
    if (!face || !node || !node->content || !node->materials || face->material >= node->content->materialCount)
        return 0.0f;
    const float t = node->materials[face->material].alpha;
    return scnGhostFlag ? (t == 0.0f ? 0.3f : t * 0.3f) : t;
}
// True when ltLightVertex would leave the vertex as it is: a fixed colour, or lit this frame
// from its own normal for a one-sided face.
inline bool ltVertexSettled(const PelVertex* v, const PelFace* face) {
    if (v->flags & VTX_FIXED_COLOR) return true;
    return (v->flags & (VTX_LIT | VTX_RELIGHT)) == VTX_LIT && v->normal && !(face->flags & FACE_TWO_SIDED);
}
int ltVertexNormal(PelVertex* vertex, PelFace* face, ScnNode* node, uint32_t k, Vec3* out);
void ltShade(const MatRecord* m, const Vec3* pos, const Vec3* normal, float colour[3]);
void ltMaterialMaxColor(const MatRecord* m, float colour[3]);
void ltAmbientAt(const Vec3* p, float colour[3]);
void ltEnvMapVertex(PelVertex* vertex, const Vec3* normal);
void ltEnvMapDir(const Vec3* dir, const Vec3* normal, float* u, float* v);

// What ltShadeRay needs of a ray hit.
struct LtHit {
    const MatRecord* material;
    int textured;
    float texel[3];     // texel colour of a textured hit
    float specular[3];  // specular colour to use
};
int ltShadeRay(const Vec3* p, const Vec3* normal, const LtHit* hit, const Vec3* mirror, uint32_t slot,
               uint32_t noShadows, uint32_t passP, float colour[3], uint32_t passQ);

// Shadow test of the ray tracer: from p towards dir up to dist. Answers 1 when
// the light is blocked; when it passes through transparent surfaces it sets
// *filtered and the filter colour.
typedef int (*LtShadowTestFn)(const Vec3* p, const Vec3* dir, float dist, uint32_t slot, uintptr_t owner,
                              uint32_t passP, uint32_t passQ, int* filtered, float filter[3]);
void ltSetShadowTest(LtShadowTestFn fn);  // null: never blocked

// Clears the lighting model's state: view, per-frame flags, shadow test (tests start clean).
void ltResetShading();
