// The light list: records in creation order and the chain of lights that shine this frame.
#include "scene/light.h"

#include "scene/engine.h"
#include "scene/scene.h"

namespace {
LightRecord* gHead = nullptr;
LightRecord* gTail = nullptr;
LightRecord* gActive = nullptr;
int gChanged = 0;

bool inList(const LightRecord* light) {
    for (const LightRecord* l = gHead; l; l = l->next)
        if (l == light) return true;
    return false;
}

void storeDirection(LightRecord* l, const float pos[3]) {
    if (l->kind == 0) {
        Vec3 d = {-pos[0], -pos[1], -pos[2]};
        if (d.x != 0.0f || d.y != 0.0f || d.z != 0.0f) vecNormalize(&d);
        l->pos = d;
    } else {
        l->pos = {pos[0], pos[1], pos[2]};
    }
}

}  // namespace

int ltCreate(int32_t on, int32_t kind, const float pos[3], const float colour[3], uint32_t param,
             LightRecord** handle, uintptr_t user) {
    if (!handle) return 0;
    *handle = nullptr;
    auto* l = static_cast<LightRecord*>(memAllocZ(sizeof(LightRecord)));
    if (!l) {
        errSetContext("???", 99999);
        errReport(ERR_NOMEM, "No memory to allocate general ligth!");
        return 0;
    }
    l->on = on;
    l->kind = kind;
    static const float zero[3] = {0.0f, 0.0f, 0.0f};
    storeDirection(l, pos ? pos : zero);
    if (colour) {
        l->r = colour[0];
        l->g = colour[1];
        l->b = colour[2];
    }
    l->param = param;
    ltSetFalloff(l, 0.5f);
    l->user = user;
    if (gTail)
        gTail->next = l;
    else
        gHead = l;
    gTail = l;
    gChanged = 1;
    *handle = l;
    return 1;
}

int ltAdd(int32_t kind, const float pos[3], const float colour[3], uint32_t param, LightRecord** handle) {
    return ltCreate(1, kind, pos, colour, param, handle, 0);
}

int ltSet(LightRecord* light, const float pos[3], const float colour[3], uint32_t param) {
    if (!light || !pos || !colour) return 0;
    storeDirection(light, pos);
    light->r = colour[0];
    light->g = colour[1];
    light->b = colour[2];
    light->param = param;
    return 1;
}

int ltDelete(LightRecord** handle) {
    if (!handle || !*handle || !gHead) return 0;
    LightRecord* light = *handle;
    LightRecord* prev = nullptr;
    LightRecord* l = gHead;
    while (l && l != light) {
        prev = l;
        l = l->next;
    }
    if (!l) return 0;
    if (prev)
        prev->next = light->next;
    else
        gHead = light->next;
    if (gTail == light) gTail = prev;
    // Take it out of the active chain too, so that no one shades with it.
    LightRecord** link = &gActive;
    while (*link && *link != light) link = &(*link)->nextActive;
    if (*link) *link = light->nextActive;
    if (light->destroy) light->destroy(light);
    memFree(light);
    *handle = nullptr;
    gChanged = 1;
    return 1;
}

int ltGet(const LightRecord* light, int32_t* kind, float pos[3], float colour[3], uint32_t* param) {
    if (!light || !inList(light)) return 0;
    if (kind) *kind = light->kind;
    if (pos) {
        float s = light->kind == 0 ? -1.0f : 1.0f;
        pos[0] = s * light->pos.x;
        pos[1] = s * light->pos.y;
        pos[2] = s * light->pos.z;
    }
    if (colour) {
        colour[0] = light->r;
        colour[1] = light->g;
        colour[2] = light->b;
    }
    if (param) *param = light->param;
    return 1;
}

int ltSetByUser(const float colour[3], uintptr_t user, float falloff, uint32_t param) {
    if (!colour) return 0;
    float p = falloff < 0.0f ? 0.0f : (falloff > 1.0f ? 1.0f : falloff);
    for (LightRecord* l = gHead; l; l = l->next) {
        if (l->user != user) continue;
        l->r = colour[0];
        l->g = colour[1];
        l->b = colour[2];
        l->param = param;
        ltSetFalloff(l, p);
    }
    return 1;
}

int ltGetByUser(float colour[3], uintptr_t user, float* falloff, uint32_t* param) {
    for (LightRecord* l = gHead; l; l = l->next) {
        if (l->user != user) continue;
        if (colour) {
            colour[0] = l->r;
            colour[1] = l->g;
            colour[2] = l->b;
        }
        if (falloff) *falloff = l->falloff;
        if (param) *param = l->param;
        return 1;
    }
    return 0;
}

int ltSetFalloff(LightRecord* light, float p) {
    if (!light) return 0;
    float k = 1.8f * p + 0.1f;
    float a = -0.5f / (398.0f * p * p + 0.5f - k);
    light->fa = a;
    light->fb = 1.0f - a * k;
    light->falloff = p;
    return 1;
}

int ltSetCastsShadow(ScnNode* node, uint32_t on) {
    if (!node) return 0;
    if (on)
        node->flags &= ~NODE_NO_SHADOW;
    else
        node->flags |= NODE_NO_SHADOW;
    return 1;
}

int ltGetCastsShadow(const ScnNode* node, uint32_t* on) {
    if (!node || !on) return 0;
    *on = (node->flags & NODE_NO_SHADOW) ? 0 : 1;
    return 1;
}

void ltUpdateActive(int force, int skipCallbacks) {
    if (!gChanged && !force) return;
    gActive = nullptr;
    LightRecord** tail = &gActive;
    for (LightRecord* l = gHead; l; l = l->next) {
        l->nextActive = nullptr;
        if (!l->on) continue;
        bool join = l->enable ? (!skipCallbacks && l->enable(l) != 0) : true;
        if (!join) continue;
        *tail = l;
        tail = &l->nextActive;
    }
    gChanged = 0;
}

void ltActivateAll(uint32_t* count) {
    uint32_t n = 0;
    gActive = nullptr;
    LightRecord** tail = &gActive;
    for (LightRecord* l = gHead; l; l = l->next) {
        l->nextActive = nullptr;
        if (!l->on) continue;
        *tail = l;
        tail = &l->nextActive;
        ++n;
    }
    gChanged = 1;
    if (count) *count = n;
}

LightRecord* ltFirst() { return gHead; }
LightRecord* ltFirstActive() { return gActive; }
int ltChanged() { return gChanged; }
void ltMarkChanged() { gChanged = 1; }

void ltReset() {
    LightRecord* l = gHead;
    while (l) {
        LightRecord* next = l->next;
        memFree(l);
        l = next;
    }
    gHead = gTail = gActive = nullptr;
    gChanged = 0;
}
