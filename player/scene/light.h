// Lights: the light record, the process-wide light list and its active chain.
#pragma once
#include <cstdint>

#include "scene/vecmath.h"

struct LightRecord;
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

// Accessors for the list (the lighting model, tests and tools).
LightRecord* ltFirst();
LightRecord* ltFirstActive();
int ltChanged();
// Raises the lights-changed flag so the next update rebuilds the active chain.
void ltMarkChanged();
// Frees every light and clears the list (tests start clean).
void ltReset();
