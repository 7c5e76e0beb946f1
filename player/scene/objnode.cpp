// The object node kind and its id-scoped lights.
#include "scene/objnode.h"

#include "scene/engine.h"
#include "scene/light.h"
#include "scene/sceneops.h"

uint32_t scnIdPassSwitch = 0;

void scnResetObjectNodes() { scnIdPassSwitch = 0; }

namespace {

ScnObjExt* extOf(const ScnNode* node) {
    return scnIsObjectNode(node) ? static_cast<ScnObjExt*>(node->ext) : nullptr;
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
