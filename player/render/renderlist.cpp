// The render list: every root of a list, one node of a list, and the hierarchical pass through
// the hooks of a node's kind.
#include "render/renderlist.h"

#include <algorithm>

#include "render/renderer.h"
#include "render/updregion.h"
#include "scene/light.h"
#include "scene/sceneops.h"

namespace {

bool refusedKind(uint32_t kind) { return kind >= 129 && kind <= 132; }

void takeLightIds(const ScnNode* node) {
    if (!node->ext) return;
    const auto* words = static_cast<const uint32_t*>(node->ext);
    scnLightIdA = words[0];
    scnLightIdB = words[1];
    ltUpdateActive(1, 0);
}

bool rectNonEmpty(const IRect& r) { return r.w != 0 && r.h != 0; }

// Render depths compare unsigned: -1 (not reached) lies beyond every level.
uint32_t depthOf(const ScnNode* n) { return uint32_t(n->renderDepth); }

}  // namespace

int scnRenderList(ScnRenderJob* job, ScnNode** roots, UpdateRegion* region) {
    if (!job || !roots || refusedKind(job->kind)) return 0;
    const uint32_t budget = job->faceBudget;
    const uint32_t count = uint32_t(scnListLength(roots));
    if (budget != 0) {
        if (count == 0) return 0;
        job->faceBudget = std::max<uint32_t>(1, budget / count);
    }
    int result = 1;
    IRect total = {0, 0, 0, 0};
    for (uint32_t i = 0; i < count; ++i) {
        job->node = roots[i];
        takeLightIds(roots[i]);
        if (!scnRenderScene(job)) result = 0;
        if (rectNonEmpty(job->rect)) {
            if (region) {
                if (!rgnAddRect(&job->rect, region)) result = 0;
            } else {
                mtxRectUnion(&job->rect, &total);
            }
        }
    }
    job->rect = region ? region->bounds : total;
    job->faceBudget = budget;
    return result;
}

int scnRenderOne(ScnRenderJob* job, ScnNode** nodes, uint32_t force, uint32_t) {
    if (!job || refusedKind(job->kind)) return 0;
    if (job->node) return scnRenderHierarchy(job, nodes, 0, force) ? 1 : 0;
    ScnRenderJob copy = *job;
    IRect total = {0, 0, 0, 0};
    for (uint32_t i = 0; nodes && nodes[i]; ++i) {
        copy.node = nodes[i];
        takeLightIds(nodes[i]);
        if (!scnRenderScene(&copy)) return 0;
        if (rectNonEmpty(copy.rect)) mtxRectUnion(&copy.rect, &total);
    }
    job->rect = total;
    return 1;
}

namespace {

IRect g_accumulator;

void accumulate(const IRect& r) {
    if (rectNonEmpty(r)) mtxRectUnion(&r, &g_accumulator);
}

void drawSimple(ScnRenderJob* job, ScnNode* node) {
    if (node->lightsHook) {
        int rebuild = 0;
        node->lightsHook(node, &rebuild);
        if (rebuild) ltUpdateActive(1, 0);
    }
    ScnNode* saved = job->node;
    job->node = node;
    scnRenderScene(job);
    accumulate(job->rect);
    node->renderDepth = -1;
    job->node = saved;
}

}  // namespace

int scnRenderHierarchy(ScnRenderJob* job, ScnNode** candidates, int32_t level, uint32_t force) {
    if (!job) return 0;
    ScnNode* node = job->node;
    if (!node) return 1;
    if (level == 0) {
        g_accumulator = {0, 0, 0, 0};
        for (uint32_t i = 0; candidates && candidates[i]; ++i) candidates[i]->renderDepth = -1;
        node->renderDepth = 0;
    }
    if (depthOf(node) < uint32_t(level)) return 1;
    node->renderDepth = level;
    const bool simple = (level != 0 && force == 0) || !candidates || !node->listHook || node->listHook(job) == 0;
    if (simple) {
        drawSimple(job, node);
    } else {
        const ScnRenderJob savedJob = *job;
        CamRecord savedCamera{};
        PicRecord savedTarget{};
        if (job->camera) savedCamera = *job->camera;
        if (job->target) savedTarget = *job->target;
        auto restore = [&] {
            *job = savedJob;
            if (job->camera) *job->camera = savedCamera;
            if (job->target) *job->target = savedTarget;
        };
        bool found = false;
        int answer = 0;
        for (uint32_t i = 0; candidates[i]; ++i) {
            ScnNode* c = candidates[i];
            if (depthOf(c) > uint32_t(level)) {
                if (node->candidateHook && node->candidateHook(job, c, &answer) == 1 && answer) c->renderDepth = level;
                restore();
            }
            if (c->renderDepth == level) found = true;
        }
        int enter = 0, repeat = 0;
        for (uint32_t i = 0; candidates[i]; ++i) {
            ScnNode* c = candidates[i];
            if (depthOf(c) <= uint32_t(level) || !node->enterHook) continue;
            do {
                const uint32_t flagBefore = c->flags & NODE_PART_ALONE;
                if (node->enterHook(job, c, &enter, &repeat) == 1 && enter) {
                    job->node = c;
                    scnRenderHierarchy(job, candidates, level + 1, force);
                    if (!flagBefore) c->flags &= ~NODE_PART_ALONE;
                }
                restore();
            } while (repeat);
        }
        if (found) {
            drawSimple(job, node);
            for (uint32_t i = 0; candidates[i]; ++i)
                if (candidates[i]->renderDepth == level && candidates[i] != node) drawSimple(job, candidates[i]);
            job->node = node;
        } else {
            drawSimple(job, node);
        }
    }
    if (level == 0) job->rect = g_accumulator;
    return 1;
}

