#include "picks.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_set>

#include "render/collision.h"
#include "scene/contentlist.h"
#include "scene/engine.h"
#include "scene/qivstream.h"
#include "scene/meshprep.h"
#include "scene/picture.h"
#include "slots.h"

namespace qivctl {

PickedPosition lastPickedPosition(const QivControlState& s, const float worldHit[3], int32_t which, float out[3]) {
    if (which == kCoordWorld) {
        for (int i = 0; i < 3; ++i) out[i] = worldHit[i];
        return PickedPosition::Written;
    }
    if (which != kCoordModel && which != kCoordGroup) return PickedPosition::NotWritten;
    out[0] = out[1] = out[2] = 0;
    int32_t id = s.eventSlot >= 0 ? s.eventSlot : s.currentSlot;
    if (!slotValid(s, id)) return PickedPosition::NoObject;
    const QivObjectSlot& slot = s.slots[size_t(id)];
    if (!slot.node) return PickedPosition::Written;
    Mat4 m = slot.placement;
    if (which == kCoordModel && !slotWorldPlacement(s, id, &m)) return PickedPosition::NoObject;
    Mat4 inv;
    if (!mtxInvert(&m, &inv)) return PickedPosition::Written;
    Vec3 p{worldHit[0], worldHit[1], worldHit[2]}, r{};
    if (!mtxProjectPoint(&p, &r, &inv)) return PickedPosition::Written;
    out[0] = r.x;
    out[1] = r.y;
    out[2] = r.z;
    return PickedPosition::Written;
}

namespace {

void addVisibleMembers(const QivControlState& s, int32_t id, std::vector<ScnNode*>& out, size_t depth) {
    if (depth > s.slots.size()) return;
    const QivObjectSlot& slot = s.slots[size_t(id)];
    if (slot.node) out.push_back(slot.node);
    for (int32_t c : slot.children)
        if (slotValid(s, c) && s.slots[size_t(c)].visible && s.slots[size_t(c)].parent == id)
            addVisibleMembers(s, c, out, depth + 1);
}

}  // namespace

std::vector<ScnNode*> collisionSubjects(const QivControlState& s, int32_t id) {
    std::vector<ScnNode*> out;
    if (!slotValid(s, id)) return out;
    addVisibleMembers(s, id, out, 0);
    return out;
}

std::vector<ScnNode*> collisionObstacles(ScnNode* const* roots, const std::vector<ScnNode*>& subjects,
                                         size_t maxRoots) {
    std::vector<ScnNode*> out;
    if (!roots) return out;
    std::unordered_set<ScnNode*> subj(subjects.begin(), subjects.end());
    for (size_t i = 0; i < maxRoots && roots[i]; ++i)
        if (!subj.count(roots[i])) out.push_back(roots[i]);
    return out;
}

std::vector<int32_t> slotsOfNodes(const QivControlState& s, ScnNode* const* hits, size_t maxHits) {
    std::vector<int32_t> out;
    if (!hits) return out;
    for (size_t i = 0; i < maxHits && hits[i]; ++i) {
        for (int32_t id = 0; id < s.usedCount && size_t(id) < s.slots.size(); ++id) {
            const QivObjectSlot& slot = s.slots[size_t(id)];
            if (slot.inUse && slot.node == hits[i]) {
                out.push_back(id);
                break;
            }
        }
    }
    return out;
}

std::vector<int32_t> collidingObjects(const QivControlState& s, ScnNode* const* roots, int32_t id) {
    std::vector<ScnNode*> subjects = collisionSubjects(s, id);
    if (subjects.empty()) return {};
    std::vector<ScnNode*> obstacles = collisionObstacles(roots, subjects);
    if (obstacles.empty()) return {};
    subjects.push_back(nullptr);
    obstacles.push_back(nullptr);
    ScnNode** hits = nullptr;
    if (!colFindHits(subjects.data(), obstacles.data(), &hits) || !hits) return {};
    std::vector<int32_t> out = slotsOfNodes(s, hits, obstacles.size());
    memFree(hits);
    return out;
}

int32_t applyOwnLights(const QivControlState& s, uint32_t lightsMask, int (*switchLights)(ScnNode*, int32_t)) {
    if (!switchLights) switchLights = scnSwitchLights;
    int32_t n = 0;
    for (int32_t id = 0; id < s.usedCount && size_t(id) < s.slots.size(); ++id) {
        const QivObjectSlot& slot = s.slots[size_t(id)];
        if (slot.inUse && slot.node && switchLights(slot.node, ownLightsOn(lightsMask) ? 1 : 0)) ++n;
    }
    return n;
}

std::optional<std::string> idListText(const std::vector<int32_t>& ids) {
    if (ids.empty()) return std::nullopt;
    std::string out;
    for (size_t i = 0; i < ids.size(); ++i) {
        if (i) out += ',';
        out += std::to_string(ids[i]);
    }
    return out;
}

int32_t firstAnimatedSlot(const QivControlState& s) {
    for (int32_t id = 0; id < s.usedCount && size_t(id) < s.slots.size(); ++id) {
        const QivObjectSlot& slot = s.slots[size_t(id)];
        if (slot.inUse && slot.node && slot.hasAnimation) return id;
    }
    return -1;
}

uint32_t triangleStatistic(uint32_t triangles, uint32_t quads) {
    uint64_t v = uint64_t(triangles) + 2 * uint64_t(quads);
    return v > UINT32_MAX ? UINT32_MAX : uint32_t(v);
}

namespace {

HostServicesContext* ctx(void* c) { return static_cast<HostServicesContext*>(c); }
bool ready(void* c) {
    HostServicesContext* h = ctx(c);
    return h && h->hooks.ready && h->hooks.ready(h->control);
}

void* svcAllocate(void* c, size_t size) { return ready(c) ? std::malloc(size) : nullptr; }
void* svcResize(void* c, void* block, size_t size) { return ready(c) ? std::realloc(block, size) : nullptr; }
int svcFree(void* c, void* block) {
    if (!ready(c)) return 0;
    std::free(block);
    return 1;
}
int svcRegister(void* c, PelContent* content) { return ready(c) ? pelRegisterObject(content) : 0; }
int svcFreeObject(void* c, PelContent** holder) { return ready(c) ? pelFreeObject(holder) : 0; }
int svcConnect(void* c, PelContent** holder, uint32_t* result, uint32_t keepNormals, float creaseAngle,
               uint32_t mergeTriangles, uint32_t keepOrder, uint32_t modeSwitch, uint32_t edgeCount,
               const float* edgeValues, uint32_t planeCount, const float* planes, uint32_t connect) {
    if (!ready(c)) return 0;
    return pelConnectEdges(holder, result, keepNormals, creaseAngle, mergeTriangles, keepOrder, modeSwitch,
                           edgeCount, edgeValues, planeCount, planes, connect);
}
int32_t svcLoad(void* c, const wchar_t* name, uint32_t flag) {
    if (!ready(c)) return -1;  // 0 would name slot 0
    HostServicesContext* h = ctx(c);
    if (!name || !h->hooks.loadObjectFile || !h->hooks.toAnsi) return -1;
    return h->hooks.loadObjectFile(h->control, h->hooks.toAnsi(name), flag);
}
int svcEnterPicture(void* c, const wchar_t* name, TexRecord* texture, float sx, float sy) {
    if (!ready(c)) return 0;
    HostServicesContext* h = ctx(c);
    return h->hooks.enterPicture ? h->hooks.enterPicture(h->control, name, texture, sx, sy) : 0;
}
int svcSlotNode(void* c, int32_t index, ScnNode** out) {
    if (!ready(c) || !out) return 0;
    HostServicesContext* h = ctx(c);
    *out = nullptr;
    const QivControlState* s = h->hooks.state ? h->hooks.state(h->control) : nullptr;
    if (!s || !slotValid(*s, index)) return 0;
    *out = s->slots[size_t(index)].node;
    return 1;
}
ScnNode** svcRoots(void* c) {
    if (!ready(c)) return nullptr;
    HostServicesContext* h = ctx(c);
    return h->hooks.sceneRoots ? h->hooks.sceneRoots(h->control) : nullptr;
}
uint32_t svcNextId(void*) { return picNextId(); }

}  // namespace

QivHostServices makeHostServices(HostServicesContext* context) {
    return QivHostServices{context,       svcAllocate,  svcResize,       svcFree,     svcRegister, svcFreeObject,
                           svcConnect,    svcLoad,      svcEnterPicture, svcSlotNode, svcRoots,    svcNextId};
}

}  // namespace qivctl
