// The object node kind and its id-scoped lights.
#include "scene/objnode.h"

#include "render/clipplane.h"
#include "render/light.h"
#include "render/renderer.h"
#include "scene/engine.h"
#include "scene/sceneops.h"

uint32_t scnIdPassSwitch = 0;

void scnResetObjectNodes() { scnIdPassSwitch = 0; }

namespace {

ScnObjExt* extOf(const ScnNode* node) {
    return scnIsObjectNode(node) ? static_cast<ScnObjExt*>(node->ext) : nullptr;
}

// Front side of plane (n, d) as seen from the camera's eye.
bool eyeInFront(const float plane[4], const CamRecord* cam) {
    const Vec3 n{plane[0], plane[1], plane[2]};
    return mtxSideTest(&n, plane[3], &cam->screenToWorld) != 0;
}

int setIds(ScnNode* node, uint32_t idA, uint32_t idB, const float* planeA, const float* planeB, const Mat4* base,
           float time) {
    ScnObjExt* ext = extOf(node);
    if (!ext || !base) return 0;
    if (!scnSetPose(node, base, time)) return 0;
    ext->idA = idA;
    ext->idB = idB;
    ext->flags &= ~uint32_t(SCN_OBJ_PLANES_VALID);
    if (planeA && planeB) {
        for (int i = 0; i < 4; ++i) ext->planeA[i] = planeA[i], ext->planeB[i] = planeB[i];
        ext->flags |= SCN_OBJ_PLANES_VALID;
    }
    bool changed = false;
    const uint32_t lights = node->content ? node->content->lightCount : 0;
    for (uint32_t i = 0; node->lights && i < lights; ++i) {
        LightRecord* l = node->lights[i];
        auto* le = l ? static_cast<LtObjExt*>(l->ext) : nullptr;
        if (!le || l->createHook != ltObjExtCreate) continue;
        if (le->idA == idA && le->idB == idB) continue;
        le->idA = idA;
        le->idB = idB;
        changed = true;
    }
    // Raises the lights-changed flag: the active list is rebuilt before it is used again.
    if (changed) ltMarkChanged();
    return 1;
}

}  // namespace

int scnIsObjectNode(const ScnNode* node) { return node && node->createHook == scnObjExtCreate && node->ext; }

int scnObjExtCreate(ScnNode* node) {
    if (!node) return 0;
    if (node->ext) {
        if (!node->destroyHook || !node->destroyHook(node)) return 0;
        node->ext = nullptr;
    }
    node->ext = memAllocZ(sizeof(ScnObjExt));
    return node->ext ? 1 : 0;
}

int scnObjExtFree(ScnNode* node) {
    if (!node) return 0;
    if (auto* ext = static_cast<ScnObjExt*>(node->ext)) {
        memFreeRefT(&ext->views);
        memFreeRef(&ext->block);
        memFree(ext);
    }
    node->ext = nullptr;
    return 1;
}

int ltObjExtCreate(LightRecord* light) {
    if (!light) return 0;
    if (light->ext) {
        if (!light->destroy || !light->destroy(light)) return 0;
        light->ext = nullptr;
    }
    light->ext = memAllocZ(sizeof(LtObjExt));
    return light->ext ? 1 : 0;
}

int ltObjExtFree(LightRecord* light) {
    if (!light) return 0;
    memFreeRef(&light->ext);
    return 1;
}

int ltObjIdsEnable(LightRecord* light) {
    if (!light || !light->ext) return 1;
    const auto* e = static_cast<const LtObjExt*>(light->ext);
    const uint32_t a = e->idA, b = e->idB, c1 = scnLightIdA, c2 = scnLightIdB;
    return (a == SCN_ID_NONE || b == SCN_ID_NONE || a == c1 || b == c1 || a == c2 || b == c2) ? 1 : 0;
}

int scnCreateObjectNode(PelContent* content, uint32_t user, TexRecord** areaTextures, uint32_t idA, uint32_t idB,
                        void* lightList, uint32_t requestFlag2, const Mat4* base, ScnNode** out) {
    if (!scnNodeCreate(content, user, areaTextures, lightList, base, out)) return 0;
    ScnNode* node = *out;
    node->createHook = scnObjExtCreate;
    node->destroyHook = scnObjExtFree;
    if (!scnObjExtCreate(node)) {
        scnNodeFree(out, nullptr);
        *out = nullptr;
        return 0;
    }
    auto* ext = static_cast<ScnObjExt*>(node->ext);
    ext->idA = idA;
    ext->idB = idB;
    if (requestFlag2) ext->flags |= SCN_OBJ_REQUESTED;
    const uint32_t lights = content ? content->lightCount : 0;
    for (uint32_t i = 0; node->lights && i < lights; ++i) {
        LightRecord* l = node->lights[i];
        if (!l) continue;
        l->createHook = ltObjExtCreate;
        if (ltObjExtCreate(l)) {
            auto* le = static_cast<LtObjExt*>(l->ext);
            le->idA = idA;
            le->idB = idB;
            l->destroy = ltObjExtFree;
            l->enable = ltObjIdsEnable;
        } else {
            l->createHook = nullptr;  // stays without ids: always enabled
        }
    }
    return 1;
}

int scnSetObjectIds(ScnNode* node, uint32_t idA, uint32_t idB, const Mat4* base) {
    if (!node) return 0;
    return setIds(node, idA, idB, nullptr, nullptr, base, node->reqTime);
}

int scnSetObjectIdsAt(ScnNode* node, uint32_t idA, uint32_t idB, const Mat4* base, float time) {
    return setIds(node, idA, idB, nullptr, nullptr, base, time);
}

int scnSetObjectIdsPlanes(ScnNode* node, uint32_t idA, uint32_t idB, const float planeA[4], const float planeB[4],
                          const Mat4* base) {
    if (!node || !planeA || !planeB) return 0;
    return setIds(node, idA, idB, planeA, planeB, base, node->reqTime);
}

int scnSetObjectIdsPlanesAt(ScnNode* node, uint32_t idA, uint32_t idB, const float planeA[4],
                            const float planeB[4], const Mat4* base, float time) {
    if (!planeA || !planeB) return 0;
    return setIds(node, idA, idB, planeA, planeB, base, time);
}

int scnObjLightsHook(ScnNode* node, int* rebuild) {
    if (rebuild) *rebuild = 0;
    const ScnObjExt* ext = extOf(node);
    if (!ext) return 1;
    if (scnLightIdA != ext->idA || scnLightIdB != ext->idA) {
        scnLightIdA = scnLightIdB = ext->idA;
        if (rebuild) *rebuild = 1;
    }
    return 1;
}

int scnObjListHook(ScnRenderJob* job) {
    if (!job) return 1;
    ScnObjExt* ext = extOf(job->node);
    if (!ext) return 1;
    ext->firstVisible = ext->currentView = nullptr;
    const CamRecord* cam = job->camera;
    ScnViewRecord** tail = &ext->firstVisible;
    for (uint32_t i = 0; cam && ext->views && i < ext->viewCount; ++i) {
        ScnViewRecord* r = &ext->views[i];
        r->nextVisible = nullptr;
        if (r->targetId == SCN_ID_NONE || r->targetId == ext->idA) continue;
        bool planeTest = true;
        if (r->flags & SCN_VIEW_ID_PASS) {
            if (scnIdPassSwitch) {
                if (r->flags & SCN_VIEW_SWITCH_OFF) continue;
                planeTest = false;
            } else if (!(r->flags & SCN_VIEW_SWITCH_OFF)) {
                continue;
            }
        }
        if (planeTest && !eyeInFront(r->plane, cam)) continue;
        IRect rect;
        clpBoxScreenRect(&r->box, &cam->worldToScreen, cam, &rect);
        if (rect.w == 0 || rect.h == 0) continue;
        if (!camSubView(cam, &rect, &r->camera)) continue;
        *tail = r;
        tail = &r->nextVisible;
    }
    ext->currentView = ext->firstVisible;
    return 1;
}

int scnObjCandidateHook(ScnRenderJob* job, ScnNode* candidate, int* answer) {
    if (answer) *answer = 0;
    const ScnObjExt* c = extOf(candidate);
    if (!answer || !job || !c || (c->flags & SCN_OBJ_VIEW_ONLY)) return 1;
    const ScnObjExt* own = extOf(job->node);
    const uint32_t id = own ? own->idA : SCN_ID_NONE;
    if (c->idA != SCN_ID_NONE && c->idB != SCN_ID_NONE && c->idA != id && c->idB != id) return 1;
    if ((c->flags & SCN_OBJ_PLANES_VALID) && job->camera) {
        const bool a = eyeInFront(c->planeA, job->camera), b = eyeInFront(c->planeB, job->camera);
        if (c->idA != c->idB) {
            if (id == c->idA && !a) return 1;
            if (id == c->idB && !b) return 1;
        } else if (!a && !b) {
            return 1;
        }
    }
    *answer = 1;
    return 1;
}

int scnObjEnterHook(ScnRenderJob* job, ScnNode* candidate, int* enter, int* repeat) {
    if (enter) *enter = 0;
    if (repeat) *repeat = 0;
    const ScnObjExt* c = extOf(candidate);
    ScnObjExt* own = job ? extOf(job->node) : nullptr;
    if (!enter || !repeat || !c || !own || !(c->flags & SCN_OBJ_VIEW_ONLY) || !own->firstVisible) return 1;
    ScnViewRecord* r = own->currentView ? own->currentView : own->firstVisible;
    if (r->targetId == c->idA) {
        job->camera = &r->camera;
        *enter = 1;
        if (r->flags & SCN_VIEW_PART_ALONE) {
            candidate->flags |= NODE_PART_ALONE;
            candidate->partAlone = r->partAlone;
        }
    }
    own->currentView = r->nextVisible;
    *repeat = r->nextVisible ? 1 : 0;
    return 1;
}
