// The object node kind's hooks of the hierarchical pass: view records seen from the job's
// camera, candidates by id and id planes, and entering the regions behind view records.
#include "render/objpass.h"

#include "render/clipplane.h"
#include "render/renderer.h"
#include "scene/objnode.h"

namespace {

ScnObjExt* extOf(const ScnNode* node) {
    return scnIsObjectNode(node) ? static_cast<ScnObjExt*>(node->ext) : nullptr;
}

// Front side of plane (n, d) as seen from the camera's eye.
bool eyeInFront(const float plane[4], const CamRecord* cam) {
    const Vec3 n{plane[0], plane[1], plane[2]};
    return mtxSideTest(&n, plane[3], &cam->screenToWorld) != 0;
}

}  // namespace

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
