#include <cstdlib>
#include <cstring>

#include "scene/anim.h"
#include "scene/contentlist.h"
#include "scene/engine.h"
#include "scene/light.h"
#include "scene/material.h"
#include "scene/pelchunk.h"
#include "scene/scene.h"

namespace {

void unlinkNode(ScnNode* node) {
    PelContent* c = node->content;
    if (!c) return;
    bool linked = node->prev ? node->prev->next == node : c->firstNode == node;
    if (!linked) return;
    if (node->prev)
        node->prev->next = node->next;
    else
        c->firstNode = node->next;
    if (node->next)
        node->next->prev = node->prev;
    else
        c->lastNode = node->prev;
    node->prev = nullptr;
    node->next = nullptr;
    if (c->nodeCount) --c->nodeCount;
}

void appendNode(PelContent* c, ScnNode* node) {
    node->prev = c->lastNode;
    node->next = nullptr;
    if (c->lastNode)
        c->lastNode->next = node;
    else
        c->firstNode = node;
    c->lastNode = node;
    ++c->nodeCount;
}

// Effective time of a node's descriptor (backwards playback mirrors the window).
float effectiveTime(const ScnNode* node, float time) {
    const AnimDesc* d = node->desc;
    if (node->content && node->content->trackCount && d && (d->flags & ANIM_DESC_REVERSED))
        return d->start + d->end - time;
    return time;
}

// Evaluates the tracked parts in the descriptor's range and sets the world box.
// Answers the number of parts whose track was evaluated.
uint32_t evaluateParts(ScnNode* node) {
    const PelContent* c = node->content;
    uint32_t first = 0, count = c->partCount;
    if (node->desc && (node->desc->flags & ANIM_DESC_SUBRANGE)) animDescGetPartRange(node->desc, &first, &count);
    uint64_t end = uint64_t(first) + count;
    uint32_t evaluated = 0;
    for (uint32_t i = 0; i < c->partCount; ++i) {
        ScnPart* p = &node->parts[i];
        Box3 box;
        if (p->track) {
            if (i >= first && i < end) {
                animTrackEvalMatrix(p->track, node->effTime, &p->local);
                ++evaluated;
            }
            mtxMultiply(&p->local, &node->base, &p->world);
            if (!mtxInvert(&p->world, &p->inverse)) mtxIdentity(&p->inverse);
            mtxTransformBox(&c->parts[i].box, &box, &p->world);
        } else {
            mtxTransformBox(&c->parts[i].box, &box, &node->base);
        }
        if (i == 0)
            node->worldBox = box;
        else
            mtxBoxUnion(&box, &node->worldBox);
    }
    if (c->partCount == 0) mtxTransformBox(&c->box, &node->worldBox, &node->base);
    return evaluated;
}

void moveLights(ScnNode* node) {
    const PelContent* c = node->content;
    if (!node->lights || !c->lights) return;
    for (uint32_t i = 0; i < c->lightCount; ++i) {
        LightRecord* l = node->lights[i];
        if (l) mtxTransformPoint(&c->lights[i].pos, &l->pos, &node->base);
    }
}

ScnNodeFreedFn g_nodeFreed = nullptr;

}  // namespace

void scnSetNodeFreedHook(ScnNodeFreedFn fn) { g_nodeFreed = fn; }

int scnNodeCreate(PelContent* content, uint32_t user, TexRecord** areaTextures, void* lightList,
                  const Mat4* base, ScnNode** out) {
    if (!out) return 0;
    *out = nullptr;
    auto* node = static_cast<ScnNode*>(memAllocZ(sizeof(ScnNode)));
    if (!node) return 0;
    *out = node;
    if (!content) return 1;

    if (content->trackCount && content->partCount) {
        node->parts = static_cast<ScnPart*>(memAllocZ(size_t(content->partCount) * sizeof(ScnPart)));
        if (!node->parts) {
            memFree(node);
            *out = nullptr;
            return 0;
        }
        for (uint32_t i = 0; i < content->partCount; ++i) {
            uint32_t t = content->trackIndex ? content->trackIndex[i] : 0xFFFFFFFFu;
            node->parts[i].track = (content->tracks && t < content->trackCount) ? &content->tracks[t] : nullptr;
            mtxIdentity(&node->parts[i].local);
        }
    }
    node->desc = nullptr;
    appendNode(content, node);

    if (base)
        node->base = *base;
    else
        mtxIdentity(&node->base);
    node->content = content;
    node->user = user;
    node->reqTime = SCN_TIME_UNSET;
    node->effTime = SCN_TIME_UNSET;
    node->highlight = -1;

    // Every failure from here on takes the node apart again.
    auto fail = [&]() {
        ScnNode* doomed = node;
        scnNodeFree(&doomed, nullptr);
        *out = nullptr;
        return 0;
    };

    if (content->faceCount == 0) {
        MatSet* set = content->matSets ? content->matSets->set : nullptr;
        if (!content->matSets) return fail();
        if (set && set->materialCount && set->materials) {
            size_t bytes = size_t(set->materialCount) * sizeof(MatRecord);
            node->materials = static_cast<MatRecord*>(memAllocZ(bytes));
            if (!node->materials) return fail();
            std::memcpy(node->materials, set->materials, bytes);
        }
    } else {
        mtxTransformBox(&content->box, &node->worldBox, &node->base);
    }

    if (areaTextures && content->areaCount) {
        size_t bytes = size_t(content->areaCount) * sizeof(TexRecord*);
        node->areaTextures = static_cast<TexRecord**>(memAllocZ(bytes));
        if (node->areaTextures) std::memcpy(node->areaTextures, areaTextures, bytes);
    }

    if (content->lightCount && content->lights) {
        node->lightList = lightList;
        node->lights = static_cast<LightRecord**>(memAllocZ(size_t(content->lightCount) * sizeof(LightRecord*)));
        if (!node->lights) return fail();
        for (uint32_t i = 0; i < content->lightCount; ++i) {
            const PelLight& cl = content->lights[i];
            Vec3 p;
            mtxTransformPoint(&cl.pos, &p, &node->base);
            float pos[3] = {p.x, p.y, p.z};
            float colour[3] = {cl.r, cl.g, cl.b};
            if (!ltCreate(1, 1, pos, colour, 1, &node->lights[i], reinterpret_cast<uintptr_t>(node)))
                return fail();
        }
    }

    node->flags |= NODE_CHANGED;
    node->flags &= ~NODE_INVERSE_VALID;

    if (content->trackCount) scnSetPose(node, &node->base, 0.0f);

    if (content->faceCount) {
        if (!matConvertN(content->materialCount, node->areaTextures, content->areaCount, content->materials,
                         &node->materials))
            return fail();
    }
    return 1;
}

int scnNodeFree(ScnNode** holder, uint32_t* remaining) {
    if (!holder || !*holder) return 1;
    ScnNode* node = *holder;
    // The kind may refuse; then the node stays as it is.
    if (node->destroyHook && !node->destroyHook(node)) return 0;
    if (g_nodeFreed) g_nodeFreed(node);

    while (ScnChildLink* link = node->children) {
        if (link->owned && link->child) {
            if (!scnNodeFree(&link->child, nullptr)) return 0;
        }
        node->children = link->next;
        memFree(link);
    }

    PelContent* c = node->content;
    if (!c) {
        memFree(node);
        *holder = nullptr;
        if (remaining) *remaining = 0;
        return 1;
    }
    memFreeRefT(&node->parts);
    unlinkNode(node);
    if (remaining) *remaining = c->nodeCount;
    if (node->lights) {
        for (uint32_t i = 0; i < c->lightCount; ++i)
            if (node->lights[i]) ltDelete(&node->lights[i]);
    }
    memFreeRefT(&node->lights);
    memFreeRefT(&node->areaTextures);
    memFreeRefT(&node->materials);
    memFree(node);
    *holder = nullptr;
    return 1;
}

int pelFreeObject(PelContent** holder) {
    if (!holder || !*holder) return 1;
    PelContent* c = *holder;
    if (c->nodeCount != 0) return 0;
    if (c->tracks) {
        for (uint32_t i = 0; i < c->trackCount; ++i) animTrackFreeLists(&c->tracks[i]);
    }
    memFreeRefT(&c->tracks);
    memFreeRefT(&c->trackIndex);
    memFreeRefT(&c->descs);
    memFreeRefT(&c->textList1);
    memFreeRefT(&c->textList2);
    memFreeRefT(&c->partWords);
    pelUnregisterObject(c);
    memFreeRef(&c->rtFaceGroups);
    memFree(c);
    *holder = nullptr;
    return 1;
}

int scnSetPose(ScnNode* node, const Mat4* base, float time) {
    if (!node || !base) return 0;
    node->flags |= NODE_CHANGED;
    node->flags &= ~NODE_INVERSE_VALID;
    PelContent* c = node->content;
    if (!c) return 1;
    node->reqTime = time;
    if (c->trackCount && node->desc) {
        AnimDesc* d = node->desc;
        if (d->flags & ANIM_DESC_SUBRANGE)
            animTracksSetRange(d->trackCount, d->firstTrack, d);
        else
            animTracksSetRange(c->trackCount, c->tracks, d);
    }
    node->effTime = effectiveTime(node, time);
    node->base = *base;
    if (c->trackCount && node->parts)
        evaluateParts(node);
    else
        mtxTransformBox(&c->box, &node->worldBox, &node->base);
    moveLights(node);
    return 1;
}

int scnSetTime(ScnNode* node, float time) {
    if (!node) return 0;
    node->reqTime = time;
    node->effTime = effectiveTime(node, time);
    PelContent* c = node->content;
    if (!c || !c->trackCount || !node->parts) return 1;
    if (evaluateParts(node)) {
        node->flags |= NODE_CHANGED;
        node->flags &= ~NODE_INVERSE_VALID;
    }
    return 1;
}

int scnGetMainPartMatrix(ScnNode* node, Mat4* out) {
    if (!node || !out) return 0;
    const PelContent* c = node->content;
    if (c && node->parts && c->partCount && c->parts) {
        uint32_t best = 0;
        float bestSize = 0.0f;
        for (uint32_t i = 0; i < c->partCount; ++i) {
            const Box3& b = c->parts[i].box;
            float size = b.max.x - b.min.x;
            if (b.max.y - b.min.y > size) size = b.max.y - b.min.y;
            if (b.max.z - b.min.z > size) size = b.max.z - b.min.z;
            if (i == 0 || size > bestSize) {
                best = i;
                bestSize = size;
            }
        }
        if (AnimTrack* t = node->parts[best].track) {
            animTrackEvalMatrix(t, node->effTime, out);
            return 1;
        }
    }
    mtxIdentity(out);
    return 1;
}

int scnSetHighlight(ScnNode* node, int32_t part) {
    if (!node || !node->content) return 0;
    if (part < 0) {
        node->highlight = -1;
        return 1;
    }
    if (uint32_t(part) >= node->content->partCount) return 0;
    node->highlight = part;
    return 1;
}

int pelGetSubObjectCount(const PelContent* content, uint32_t* count) {
    if (!content || !count) return 0;
    *count = content->partCount;
    return 1;
}

int pelGetTrackCount(const PelContent* content, uint32_t* count) {
    if (!content || !count) return 0;
    *count = content->trackCount;
    return 1;
}

int pelSetSubObjectName(PelContent* content, uint32_t part, const char* language, const char* name) {
    if (!content || !language || !name || part >= content->partCount) return 0;
    return pelSetLangText(&content->textList1, &content->textList1Size, name, part, language,
                          content->partCount);
}

int pelGetObjectText(const PelContent* content, uint32_t index, const char* language, char** text) {
    if (!text) return 0;
    *text = nullptr;
    if (!content || !language) return 0;
    if (!content->textList2) return 1;
    return pelGetLangText(content->textList2, content->textList2Size, language, 1, index, text) ? 1 : 0;
}

int scnFreeRef(void** holder) { return memFreeRef(holder); }
int pelFreeRef(void** holder) { return memFreeRef(holder); }
