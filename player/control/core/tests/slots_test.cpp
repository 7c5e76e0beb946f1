#include "slots.h"

#include <gtest/gtest.h>

using namespace qivctl;

namespace {

// Stand-in nodes: never dereferenced, dropped instead of freed.
ScnNode* fakeNode(int i) { return reinterpret_cast<ScnNode*>(uintptr_t(0x1000 + 16 * i)); }
void drop(QivObjectSlot& slot) { slot.node = nullptr; }

Mat4 translation(float x, float y, float z) {
    Mat4 m{};
    for (int i = 0; i < 4; ++i) m.m[i * 5] = 1;
    m.m[12] = x, m.m[13] = y, m.m[14] = z;
    return m;
}

QivControlState fresh() {
    QivControlState s;
    qivStateInit(s, QivStateOptions{});
    return s;
}

}  // namespace

TEST(ObjectSlots, AllocationReusesFreedIdsAndChecksThem) {
    QivControlState s = fresh();
    EXPECT_EQ(slotAllocate(s), 0);
    EXPECT_EQ(slotAllocate(s), 1);
    EXPECT_EQ(s.usedCount, 2);
    EXPECT_EQ(s.slots[1].placement.m[15], 1.0f);
    EXPECT_EQ(s.slots[1].animSpeed, 1.0f);
    s.currentSlot = 0;
    EXPECT_EQ(slotDelete(s, 0, drop), std::vector<int32_t>{0});
    EXPECT_EQ(s.currentSlot, -1);
    EXPECT_FALSE(slotValid(s, 0));
    EXPECT_TRUE(slotDelete(s, 0, drop).empty());  // no second delete
    EXPECT_TRUE(slotValid(s, 1));
    EXPECT_FALSE(slotValid(s, 2));
    EXPECT_FALSE(slotValid(s, -1));
    EXPECT_EQ(slotAllocate(s), 0);
    EXPECT_EQ(s.usedCount, 2);
    for (int i = 0; i < 25; ++i) slotAllocate(s);
    EXPECT_EQ(s.usedCount, 27);
    EXPECT_TRUE(slotValid(s, 26));
}

TEST(ObjectSlots, GroupsWithoutCyclesAndWithReparenting) {
    QivControlState s = fresh();
    int32_t g1 = slotNewGroup(s), g2 = slotNewGroup(s), a = slotAllocate(s), b = slotAllocate(s);
    EXPECT_EQ(slotAddChild(s, g1, a), 0);
    EXPECT_EQ(slotAddChild(s, g1, b), 1);
    EXPECT_EQ(slotAddChild(s, g1, a), 0);  // already there: same place
    EXPECT_EQ(slotAddChild(s, g1, g2), 2);
    // Refused: into itself, into a descendant, a non-group, invalid ids.
    EXPECT_EQ(slotAddChild(s, g1, g1), -1);
    EXPECT_EQ(slotAddChild(s, g2, g1), -1);
    EXPECT_EQ(slotAddChild(s, a, b), -1);
    EXPECT_EQ(slotAddChild(s, g1, 99), -1);
    EXPECT_EQ(slotAddChild(s, -3, a), -1);
    // b moves from g1 to g2.
    EXPECT_EQ(slotAddChild(s, g2, b), 0);
    EXPECT_EQ(s.slots[size_t(b)].parent, g2);
    EXPECT_EQ(slotChildCount(s, g1), 2);
    EXPECT_EQ(slotChild(s, g1, 0), a);
    EXPECT_EQ(slotChild(s, g1, 1), g2);
    EXPECT_EQ(slotChild(s, g1, 2), -1);
    EXPECT_EQ(slotChild(s, a, 0), -1);
    EXPECT_EQ(slotChildCount(s, a), 0);
    EXPECT_TRUE(slotIsWithin(s, b, g1));
    EXPECT_FALSE(slotIsWithin(s, g1, b));

    EXPECT_FALSE(slotRemoveChild(s, g1, 2));
    EXPECT_FALSE(slotRemoveChild(s, a, 0));
    EXPECT_TRUE(slotRemoveChild(s, g1, 0));
    EXPECT_EQ(s.slots[size_t(a)].parent, -1);
    EXPECT_EQ(slotChild(s, g1, 0), g2);

    // Deleting g1 frees g1 alone: g2 becomes a root and keeps b.
    s.eventSlot = g1;
    EXPECT_EQ(slotDelete(s, g1, drop), (std::vector<int32_t>{g1}));
    EXPECT_FALSE(slotValid(s, g1));
    EXPECT_TRUE(slotValid(s, b));
    EXPECT_TRUE(slotValid(s, g2));
    EXPECT_EQ(s.slots[size_t(g2)].parent, -1);
    EXPECT_EQ(s.slots[size_t(b)].parent, g2);
    EXPECT_EQ(slotChild(s, g2, 0), b);
    EXPECT_TRUE(slotValid(s, a));
    EXPECT_EQ(s.eventSlot, -1);
    // A deleted member leaves its group's list.
    int32_t g = slotNewGroup(s), c = slotAllocate(s);
    slotAddChild(s, g, c);
    slotDelete(s, c, drop);
    EXPECT_EQ(slotChildCount(s, g), 0);
}

TEST(ObjectSlots, WorldPlacementsAndSceneNodes) {
    QivControlState s = fresh();
    int32_t g = slotNewGroup(s), inner = slotNewGroup(s), a = slotAllocate(s), b = slotAllocate(s),
            hidden = slotAllocate(s), root = slotAllocate(s), named = slotAllocate(s);
    s.slots[size_t(a)].node = fakeNode(1);
    s.slots[size_t(b)].node = fakeNode(2);
    s.slots[size_t(hidden)].node = fakeNode(3);
    s.slots[size_t(hidden)].visible = false;
    s.slots[size_t(root)].node = fakeNode(4);
    (void)named;  // no node yet: contributes nothing
    slotAddChild(s, g, a);
    slotAddChild(s, g, inner);
    slotAddChild(s, inner, b);
    slotAddChild(s, inner, hidden);
    s.slots[size_t(g)].placement = translation(0, 2, 0);
    s.slots[size_t(inner)].placement = translation(0, 0, 3);
    s.slots[size_t(b)].placement = translation(1, 0, 0);
    s.slots[size_t(b)].placement.m[0] = 2;  // scaled in x, then moved by its groups

    Mat4 w;
    ASSERT_TRUE(slotWorldPlacement(s, b, &w));
    EXPECT_EQ(w.m[0], 2);
    EXPECT_EQ(w.m[12], 1);
    EXPECT_EQ(w.m[13], 2);
    EXPECT_EQ(w.m[14], 3);
    EXPECT_FALSE(slotWorldPlacement(s, 77, &w));

    auto nodes = slotSceneNodes(s);
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(nodes[0].first, fakeNode(1));
    EXPECT_EQ(nodes[0].second.m[13], 2);
    EXPECT_EQ(nodes[1].first, fakeNode(2));
    EXPECT_EQ(nodes[1].second.m[14], 3);
    EXPECT_EQ(nodes[2].first, fakeNode(4));
    s.slots[size_t(inner)].visible = false;
    EXPECT_EQ(slotSceneNodes(s).size(), 2u);

    s.slots[size_t(inner)].moveFlags = 1;
    EXPECT_EQ(slotMovableOwner(s, b), inner);
    s.slots[size_t(g)].moveFlags = 1 | 0x80;
    EXPECT_EQ(slotMovableOwner(s, b), g);
    EXPECT_EQ(slotMovableOwner(s, root), -1);
    for (auto& slot : s.slots) slot.node = nullptr;
}
