// Lights: the process-wide light list, the active chain and the lighting model.
#pragma once
#include <cstdint>

#include "scene/material.h"
#include "scene/scene.h"
#include "scene/vecmath.h"

struct LightRecord;
struct MatRecord;
struct PelVertex;
struct PelFace;
struct ScnNode;

typedef int (*LtEnableFn)(LightRecord* light);
typedef int (*LtHookFn)(LightRecord* light);

struct LightRecord {
    int32_t on;
    int32_t kind;          // 0 directional, else positional
    Vec3 pos;              // position, or unit vector towards the light
    float r, g, b;
    uint32_t param;        // non-zero: casts shadows in the ray tracer
    float fa, fb;          // attenuation = fa * d^2 + fb
    float falloff;         // setting p that fa, fb came from
    uintptr_t user;        // owner word (a node for node lights)
    LightRecord* next;
    LightRecord* nextActive;
    LtEnableFn enable;     // optional: non-zero = active
    LtHookFn createHook;   // optional, installed by an owner kind
    LtHookFn destroy;      // optional: called by ltDelete before freeing
    void* ext;             // owner kind's record
};

// Per-frame state set by the frame renderer.
extern int scnTexturesOn;
extern int scnGhostFlag;
struct LtViewState {
    Vec3 eye;           // eye position (world)
    int parallel;       // parallel projection
    Vec3 parallelView;  // fixed view vector (eye minus view reference point)
};
extern LtViewState ltView;

int ltCreate(int32_t on, int32_t kind, const float pos[3], const float colour[3], uint32_t param,
             LightRecord** handle, uintptr_t user);
int ltAdd(int32_t kind, const float pos[3], const float colour[3], uint32_t param, LightRecord** handle);
int ltSet(LightRecord* light, const float pos[3], const float colour[3], uint32_t param);
int ltDelete(LightRecord** handle);
int ltGet(const LightRecord* light, int32_t* kind, float pos[3], float colour[3], uint32_t* param);
int ltSetByUser(const float colour[3], uintptr_t user, float falloff, uint32_t param);
int ltGetByUser(float colour[3], uintptr_t user, float* falloff, uint32_t* param);
int ltSetFalloff(LightRecord* light, float p);
int ltSetCastsShadow(ScnNode* node, uint32_t on);
int ltGetCastsShadow(const ScnNode* node, uint32_t* on);
void ltUpdateActive(int force, int skipCallbacks);
void ltActivateAll(uint32_t* count);
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
void ltSpecularCoeffs(float e, float* a, float* b, float* c);

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

// Accessors for the list (tests and tools).
LightRecord* ltFirst();
LightRecord* ltFirstActive();
int ltChanged();
// Raises the lights-changed flag so the next update rebuilds the active chain.
void ltMarkChanged();
// Frees every light and clears all module state (tests start clean).
void ltReset();
