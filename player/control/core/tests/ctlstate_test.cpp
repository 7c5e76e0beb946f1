#include "ctlstate.h"

#include <gtest/gtest.h>

#include <cstring>

#include "scene/scene.h"
#include "scene/texture.h"

namespace {

TEST(ControlState, ConstructionDefaults) {
    QivControlState s;
    QivStateOptions o;
    o.objectPath = "C:\\Objects";
    o.saveFilesWithDocument = true;
    o.use4DVision = true;
    qivStateInit(s, o);
    EXPECT_EQ(0x00C0C0C0u, s.backColor);
    for (float f : s.background.clear) EXPECT_FLOAT_EQ(192.0f / 255.0f, f);
    EXPECT_EQ(0u, s.background.mode);
    EXPECT_EQ(3u, s.displayMode);
    EXPECT_EQ(31u, s.lights);
    EXPECT_EQ(750, s.tooltipTimeout);
    EXPECT_EQ(3u, s.previewMode);
    EXPECT_EQ(1, s.cursorType);
    EXPECT_FLOAT_EQ(0.5235988f, s.psi);
    EXPECT_FLOAT_EQ(3.926991f, s.phi);
    EXPECT_FLOAT_EQ(1.0f, s.multiViewAngle);
    EXPECT_EQ(4, s.walkZone);
    EXPECT_EQ(-1, s.currentSlot);
    EXPECT_EQ(nullptr, s.sceneRoots);
    EXPECT_EQ(nullptr, s.frame);
    EXPECT_STREQ("C:\\Objects", s.objectPath);
    EXPECT_EQ(1u, s.saveFiles[0]);
    EXPECT_EQ(1u, s.saveFiles[1]);
    EXPECT_TRUE(s.multiView);
    EXPECT_STREQ("", s.statusText);
    EXPECT_TRUE(s.enabled);
    EXPECT_TRUE(s.popupMenu);
    EXPECT_FALSE(s.transparent);
}

TEST(ControlState, ObjectPathIsCutAndTerminated) {
    QivControlState s;
    QivStateOptions o;
    o.objectPath.assign(400, 'p');
    qivStateInit(s, o);
    EXPECT_EQ(259u, std::strlen(s.objectPath));
}

TEST(ControlState, BackColorFloats) {
    QivControlState s;
    qivStateSetBackColor(s, 0x00FF8000);  // blue ff, green 80, red 0
    EXPECT_FLOAT_EQ(0.0f, s.background.clear[0]);
    EXPECT_FLOAT_EQ(128.0f / 255.0f, s.background.clear[1]);
    EXPECT_FLOAT_EQ(1.0f, s.background.clear[2]);
}

TEST(ControlState, LanguageFromIso639) {
    struct Case { const char* in; const char* out; } cases[] = {
        {"de", "DE"}, {"en", "EN"}, {"fil", "FI"}, {"PT", "PT"}, {"d", "XX"}, {"", "XX"}, {nullptr, "XX"},
    };
    for (const Case& c : cases) {
        char out[3] = {'?', '?', '?'};
        qivLanguageFromIso639(c.in, out);
        EXPECT_STREQ(c.out, out) << (c.in ? c.in : "null");
    }
}

TEST(ControlState, NewSlotHasIdentityPlacement) {
    QivObjectSlot s = qivNewSlot();
    for (int i = 0; i < 16; ++i) EXPECT_EQ(i % 5 == 0 ? 1.0f : 0.0f, s.placement.m[i]);
    EXPECT_FLOAT_EQ(1.0f, s.animSpeed);
    EXPECT_EQ(-1, s.parent);
    EXPECT_EQ(-1, s.activeChild);
}

// Under the sanitizers a slot part left behind shows up as a leak.
TEST(ControlState, UnloadFreesEverySlotPart) {
    QivControlState s;
    qivStateInit(s, {});
    for (int i = 0; i < 3; ++i) {
        QivObjectSlot slot = qivNewSlot();
        slot.inUse = true;
        ASSERT_EQ(1, scnNodeCreate(nullptr, 0, nullptr, nullptr, nullptr, &slot.node));
        TexRecord* t = nullptr;
        ASSERT_EQ(1, texAllocRecord(&t));
        slot.textureHandles = {t, nullptr};
        slot.chunkData.assign(100, 7);
        slot.sourceName = "file://a.pel";
        slot.userData = "u";
        slot.objectName = "obj";
        s.slots.push_back(std::move(slot));
    }
    QivObjectSlot group = qivNewSlot();
    group.inUse = group.isGroup = true;
    group.children = {0, 1, 2};
    s.slots.push_back(group);
    s.usedCount = 4;
    s.currentSlot = 2;
    s.frameValid = s.viewValid = true;

    qivUnloadSlots(s);
    EXPECT_EQ(-1, s.currentSlot);
    EXPECT_EQ(0, s.usedCount);
    EXPECT_TRUE(s.sceneChanged);
    EXPECT_FALSE(s.frameValid);
    EXPECT_FALSE(s.viewValid);
    ASSERT_EQ(4u, s.slots.size());
    for (const QivObjectSlot& slot : s.slots) {
        EXPECT_FALSE(slot.inUse);
        EXPECT_EQ(nullptr, slot.node);
        EXPECT_TRUE(slot.textureHandles.empty());
        EXPECT_TRUE(slot.chunkData.empty());
        EXPECT_TRUE(slot.children.empty());
        EXPECT_TRUE(slot.sourceName.empty());
    }
}

}  // namespace
