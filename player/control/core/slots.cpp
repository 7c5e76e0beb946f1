#include "slots.h"

#include <algorithm>

namespace qivctl {

namespace {

Mat4 multiply(const Mat4& a, const Mat4& b) {
    Mat4 out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            float v = 0;
            for (int k = 0; k < 4; ++k) v += a.m[r * 4 + k] * b.m[k * 4 + c];
            out.m[r * 4 + c] = v;
        }
    return out;
}

void collect(const QivControlState& s, int32_t id, const Mat4& parentWorld, int depth,
             std::vector<std::pair<ScnNode*, Mat4>>& out) {
    const QivObjectSlot& slot = s.slots[size_t(id)];
    if (!slot.inUse || !slot.visible || depth > s.usedCount) return;
    Mat4 world = multiply(slot.placement, parentWorld);
    if (slot.isGroup) {
        for (int32_t c : slot.children)
            if (slotValid(s, c) && s.slots[size_t(c)].parent == id) collect(s, c, world, depth + 1, out);
    } else if (slot.node) {
        out.emplace_back(slot.node, world);
    }
}

void detach(QivControlState& s, int32_t child) {
    int32_t p = s.slots[size_t(child)].parent;
    s.slots[size_t(child)].parent = -1;
    if (!slotValid(s, p)) return;
    auto& list = s.slots[size_t(p)].children;
    list.erase(std::remove(list.begin(), list.end(), child), list.end());
    if (s.slots[size_t(p)].activeChild == child) s.slots[size_t(p)].activeChild = -1;
}

}  // namespace

int32_t slotAllocate(QivControlState& s) {
    size_t id = 0;
    while (id < s.slots.size() && s.slots[id].inUse) ++id;
    if (id == s.slots.size()) {
        if (s.slots.capacity() == s.slots.size())
            s.slots.reserve(std::max(kQivFirstSlotCapacity, s.slots.size() * 2));
        s.slots.emplace_back();
    }
    QivObjectSlot& slot = s.slots[id];
    slot = qivNewSlot();
    slot.inUse = true;
    slot.parent = -1;
    slot.activeChild = -1;
    s.usedCount = std::max(s.usedCount, int32_t(id) + 1);
    return int32_t(id);
}

int32_t slotNewGroup(QivControlState& s) {
    int32_t id = slotAllocate(s);
    s.slots[size_t(id)].isGroup = true;
    return id;
}

bool slotValid(const QivControlState& s, int32_t id) {
    return id >= 0 && id < s.usedCount && size_t(id) < s.slots.size() && s.slots[size_t(id)].inUse;
}

bool slotIsGroup(const QivControlState& s, int32_t id) { return slotValid(s, id) && s.slots[size_t(id)].isGroup; }

bool slotIsWithin(const QivControlState& s, int32_t id, int32_t ancestor) {
    for (int32_t steps = 0; slotValid(s, id) && steps <= s.usedCount; ++steps) {
        if (id == ancestor) return true;
        id = s.slots[size_t(id)].parent;
    }
    return false;
}

int32_t slotAddChild(QivControlState& s, int32_t group, int32_t child) {
    if (!slotIsGroup(s, group) || !slotValid(s, child) || slotIsWithin(s, group, child)) return -1;
    auto& list = s.slots[size_t(group)].children;
    if (s.slots[size_t(child)].parent == group) {
        auto it = std::find(list.begin(), list.end(), child);
        if (it != list.end()) return int32_t(it - list.begin());
    }
    detach(s, child);
    s.slots[size_t(child)].parent = group;
    list.push_back(child);
    return int32_t(list.size()) - 1;
}

bool slotRemoveChild(QivControlState& s, int32_t group, int32_t index) {
    if (!slotIsGroup(s, group)) return false;
    auto& list = s.slots[size_t(group)].children;
    if (index < 0 || size_t(index) >= list.size()) return false;
    int32_t child = list[size_t(index)];
    list.erase(list.begin() + index);
    if (s.slots[size_t(group)].activeChild == child) s.slots[size_t(group)].activeChild = -1;
    if (slotValid(s, child) && s.slots[size_t(child)].parent == group) s.slots[size_t(child)].parent = -1;
    return true;
}

int32_t slotChildCount(const QivControlState& s, int32_t id) {
    return slotIsGroup(s, id) ? int32_t(s.slots[size_t(id)].children.size()) : 0;
}

int32_t slotChild(const QivControlState& s, int32_t id, int32_t index) {
    if (!slotIsGroup(s, id)) return -1;
    const auto& list = s.slots[size_t(id)].children;
    return index >= 0 && size_t(index) < list.size() ? list[size_t(index)] : -1;
}

std::vector<int32_t> slotDelete(QivControlState& s, int32_t id, const std::function<void(QivObjectSlot&)>& release) {
    std::vector<int32_t> freed;
    if (!slotValid(s, id)) return freed;
    detach(s, id);
    // The members keep their slots and identifiers: they become roots.
    for (int32_t c : s.slots[size_t(id)].children)
        if (slotValid(s, c) && s.slots[size_t(c)].parent == id) s.slots[size_t(c)].parent = -1;
    QivObjectSlot& slot = s.slots[size_t(id)];
    if (release)
        release(slot);
    else
        qivFreeSlot(slot);
    slot = QivObjectSlot();
    slot.inUse = false;
    slot.visible = false;
    if (s.currentSlot == id) s.currentSlot = -1;
    if (s.eventSlot == id) s.eventSlot = -1;
    freed.push_back(id);
    return freed;
}

bool slotWorldPlacement(const QivControlState& s, int32_t id, Mat4* out) {
    if (!slotValid(s, id)) return false;
    Mat4 world = s.slots[size_t(id)].placement;
    int32_t p = s.slots[size_t(id)].parent;
    for (int32_t steps = 0; slotValid(s, p) && steps < s.usedCount; ++steps) {
        world = multiply(world, s.slots[size_t(p)].placement);
        p = s.slots[size_t(p)].parent;
    }
    *out = world;
    return true;
}

std::vector<std::pair<ScnNode*, Mat4>> slotSceneNodes(const QivControlState& s) {
    std::vector<std::pair<ScnNode*, Mat4>> out;
    Mat4 identity{};
    for (int i = 0; i < 4; ++i) identity.m[i * 5] = 1.0f;
    for (int32_t id = 0; id < s.usedCount && size_t(id) < s.slots.size(); ++id)
        if (s.slots[size_t(id)].inUse && !slotValid(s, s.slots[size_t(id)].parent)) collect(s, id, identity, 0, out);
    return out;
}

int32_t slotMovableOwner(const QivControlState& s, int32_t id) {
    int32_t found = -1;
    for (int32_t steps = 0; slotValid(s, id) && steps <= s.usedCount; ++steps) {
        if (s.slots[size_t(id)].moveFlags & 1) found = id;
        id = s.slots[size_t(id)].parent;
    }
    return found;
}

}  // namespace qivctl
