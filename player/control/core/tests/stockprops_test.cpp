#include "stockprops.h"

#include <gtest/gtest.h>

#include <cmath>

#include <filesystem>

#include "scene/engine.h"
#include "scene/objnode.h"
#include "scene/pelfile.h"
#include "scene/tests/pel_builder.h"
#include "slots.h"

using namespace qivctl;

namespace {
QivControlState fresh() {
    QivControlState s;
    qivStateInit(s, QivStateOptions{});
    return s;
}
}  // namespace

TEST(StockProps, AppearanceBorderBackStyleEnabled) {
    QivControlState s = fresh();
    // 7 is not the 1 the get gives: announced, and it means 3D.
    PutResult seven = putAppearance(s, 7);
    EXPECT_EQ(seven.code, PutResult::Code::Ok);
    EXPECT_EQ(seven.notice, qivdispid::Appearance);
    EXPECT_FALSE(s.flat);
    EXPECT_FALSE(putAppearance(s, 1).changed);
    auto r = putAppearance(s, 0);
    EXPECT_TRUE(r.changed && r.frameStyle && r.viewChange);
    EXPECT_EQ(r.notice, qivdispid::Appearance);
    EXPECT_TRUE(s.flat);

    r = putBorderStyle(s, 1);
    EXPECT_EQ(r.notice, qivdispid::BorderStyle);
    EXPECT_TRUE(s.singleBorder);
    EXPECT_TRUE(putBorderStyle(s, 2).changed);  // 2 means none
    EXPECT_FALSE(s.singleBorder);
    EXPECT_FALSE(putBorderStyle(s, 0).changed);

    EXPECT_EQ(putBackStyle(s, 2).code, PutResult::Code::InvalidArg);
    EXPECT_FALSE(putBackStyle(s, 1).changed);
    r = putBackStyle(s, 0);
    EXPECT_TRUE(r.setDirty && s.transparent);
    EXPECT_EQ(r.notice, qivdispid::BackStyle);

    r = putEnabled(s, false, false);
    EXPECT_TRUE(!s.enabled && s.uiDead);
    EXPECT_EQ(r.notice, qivdispid::Enabled);
    EXPECT_FALSE(r.redraw);
    putEnabled(s, true, false);
    EXPECT_FALSE(s.uiDead);
    putEnabled(s, false, false);
    putEnabled(s, true, true);
    EXPECT_TRUE(s.uiDead);
    EXPECT_FALSE(putEnabled(s, true, false).changed);

    bool saveFiles = false;
    EXPECT_EQ(putSaveFilesWithDocument(saveFiles, true).notice, qivdispid::SaveFilesWithDocument);
    EXPECT_FALSE(putSaveFilesWithDocument(saveFiles, true).changed);

    struct {
        uint32_t style, ex;
        bool single, flat;
        uint32_t outStyle, outEx;
        bool changed;
    } cases[] = {
        {0x40000000, 0, true, false, 0x40800000, 0x200, true},
        {0x40800000, 0x200, true, true, 0x40800000, 0, true},
        {0x40800000, 0x200, false, false, 0x40000000, 0, true},
        {0x40000000, 0x8, false, true, 0x40000000, 0x8, false},
    };
    for (const auto& c : cases) {
        FrameStyle f = frameStyleFor(c.style, c.ex, c.single, c.flat);
        EXPECT_EQ(f.style, c.outStyle);
        EXPECT_EQ(f.exStyle, c.outEx);
        EXPECT_EQ(f.changed, c.changed);
    }
}

TEST(StockProps, ZoomClampsAndKeepsTheAspect) {
    ZoomView v;
    v.boxMin[0] = -1, v.boxMax[0] = 1;
    v.winXMin = -2, v.winXMax = 2, v.winYMin = -1, v.winYMax = 1;
    EXPECT_FLOAT_EQ(zoomOf(v, true, nullptr), 0.5f);
    EXPECT_FLOAT_EQ(zoomOf(v, false, nullptr), 1.0f);

    struct {
        float in, zoom;
    } clamps[] = {{0, 1}, {1000, 200}, {0.001f, 0.01f}, {-5, 0.01f}, {4, 4}};
    for (const auto& c : clamps) {
        ZoomView w = v;
        auto r = putZoom(c.in, true, &w, nullptr);
        EXPECT_TRUE(r.changed);
        EXPECT_FLOAT_EQ(zoomOf(w, true, nullptr), c.zoom) << c.in;
        EXPECT_FLOAT_EQ(w.winXMax, 1.0f / c.zoom);
        EXPECT_FLOAT_EQ(w.winYMax / w.winXMax, 0.5f);  // aspect kept
        EXPECT_EQ(r.notice, qivdispid::Zoom);
        EXPECT_TRUE(r.setDirty && r.redraw && r.reRender && r.scrollBars);
    }
    EXPECT_FALSE(putZoom(0.5f, true, &v, nullptr).changed);
    EXPECT_FALSE(putZoom(NAN, true, &v, nullptr).changed);
    EXPECT_FALSE(putZoom(INFINITY, true, &v, nullptr).changed);
    EXPECT_FLOAT_EQ(v.winXMax, 2.0f);

    // Before an object: stored in the pending record, answered back.
    PendingViewing p;
    EXPECT_TRUE(putZoom(3, false, &v, &p).changed);
    EXPECT_FLOAT_EQ(p.zoom, 3);
    EXPECT_FLOAT_EQ(zoomOf(v, false, &p), 3);

    // No x extent: the larger other extent; a point: 1. Never NaN, never a 0 window.
    ZoomView flatObj;
    flatObj.boxMin[1] = -3, flatObj.boxMax[1] = 3;
    flatObj.winXMin = -3, flatObj.winXMax = 3, flatObj.winYMin = -3, flatObj.winYMax = 3;
    EXPECT_FLOAT_EQ(zoomOf(flatObj, true, nullptr), 1.0f);
    putZoom(2, true, &flatObj, nullptr);
    EXPECT_FLOAT_EQ(flatObj.winXMax, 1.5f);
    EXPECT_FLOAT_EQ(zoomOf(flatObj, true, nullptr), 2.0f);
    ZoomView point;
    point.zoomBase = 0;
    EXPECT_FLOAT_EQ(zoomOf(point, true, nullptr), 1.0f);
    putZoom(2, true, &point, nullptr);
    EXPECT_TRUE(std::isfinite(point.winXMax) && point.winXMax > 0);
    EXPECT_TRUE(point.winYMax > point.winYMin);
    EXPECT_FLOAT_EQ(zoomOf(point, true, nullptr), 2.0f);
}

TEST(StockProps, SubAnimationStartsAndMenu) {
    QivControlState s = fresh();
    int32_t a = slotAllocate(s), b = slotAllocate(s);
    ScnNode* fake = reinterpret_cast<ScnNode*>(uintptr_t(0x1000));
    s.slots[size_t(a)].node = fake;
    s.slots[size_t(b)].node = fake;
    s.currentSlot = a;
    std::vector<MenuSubAnimation> table = {{"open", 0, 2}, {"close", 2, 5}};

    int32_t click = 1;
    auto st = startSubAnimation(s, a, 1, true, table, 1000, &click);
    EXPECT_TRUE(st.started && st.repeat && st.buttons);
    EXPECT_EQ(st.name, "close");
    EXPECT_EQ(click, 2);
    EXPECT_EQ(s.slots[size_t(a)].animStart, 2);
    EXPECT_EQ(s.slots[size_t(a)].animEnd, 5);
    EXPECT_EQ(s.slots[size_t(a)].animStartTick, 1000u);
    EXPECT_TRUE(s.slots[size_t(a)].animPlaying);
    EXPECT_FALSE(startSubAnimation(s, a, 2, false, table, 0, nullptr).started);
    EXPECT_FALSE(startSubAnimation(s, a, -1, false, table, 0, nullptr).started);
    EXPECT_FALSE(startSubAnimation(s, 9, 0, false, table, 0, nullptr).started);
    EXPECT_FALSE(startSubAnimation(s, b, 0, false, table, 0, nullptr).buttons);

    using K = AnimationMenuAction::Kind;
    // Playing: the current object stops, another only clears its flag.
    EXPECT_EQ(animationMenuAction(s, 28000, true, true, -1, table).kind, K::StopCurrent);
    auto act = animationMenuAction(s, 28001, true, true, b, table);
    EXPECT_EQ(act.kind, K::ClearPlaying);
    EXPECT_EQ(act.slot, b);
    for (auto& slot : s.slots) slot.animPlaying = false;
    EXPECT_EQ(animationMenuAction(s, 28000, true, true, -1, table).kind, K::StartWhole);
    // 28000 on another object repeats the sub-animation of its present range.
    s.slots[size_t(b)].animStart = 2, s.slots[size_t(b)].animEnd = 5;
    act = animationMenuAction(s, 28000, true, true, b, table);
    EXPECT_EQ(act.kind, K::StartSub);
    EXPECT_EQ(act.index, 1);
    EXPECT_TRUE(act.repeat);
    s.slots[size_t(b)].animEnd = 6;
    EXPECT_EQ(animationMenuAction(s, 28000, true, true, b, table).kind, K::None);
    act = animationMenuAction(s, 28002, true, true, 77, table);
    EXPECT_EQ(act.kind, K::StartSub);
    EXPECT_EQ(act.slot, a);
    EXPECT_FALSE(act.repeat);
    EXPECT_EQ(animationMenuAction(s, 28003, true, true, -1, table).kind, K::None);
    EXPECT_EQ(animationMenuAction(s, 28001, false, true, -1, table).kind, K::None);
    EXPECT_EQ(animationMenuAction(s, 29000, true, true, -1, table).kind, K::None);
    for (auto& slot : s.slots) slot.node = nullptr;
}

TEST(StockProps, VerbsAndSafety) {
    auto p = verbPlan(1, true, false, true);
    EXPECT_TRUE(p.loadDialog && !p.toggleAnimation && !p.standard);
    p = verbPlan(1, false, true, true);
    EXPECT_TRUE(p.show && p.toggleAnimation && !p.loadDialog);
    p = verbPlan(2, true, true, false);
    EXPECT_FALSE(p.show || p.toggleAnimation || p.standard || p.loadDialog);
    EXPECT_TRUE(verbPlan(0, true, true, true).standard);
    EXPECT_TRUE(verbPlan(-1, true, true, true).standard);
    EXPECT_TRUE(safetyRefused(true, 1, 3));
    EXPECT_FALSE(safetyRefused(true, 1, 2));
    EXPECT_FALSE(safetyRefused(false, 1, 1));
}

TEST(StockProps, ShowAllBoxCoversEveryRoot) {
    namespace fs = std::filesystem;
    fs::path file = fs::temp_directory_path() /
                    ("qivctl_box_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".pel");
    pelb::writeFile(file, pelb::build(pelb::sample()));
    PelContent* content = nullptr;
    PelFileInfo info;
    size_t bytes;
    ASSERT_EQ(pelLoad(file.string().c_str(), nullptr, nullptr, &info, &content, &bytes), 1);
    fs::remove(file);
    Mat4 far;
    mtxMakeTranslation(100, 0, -50, &far);
    ScnNode *a = nullptr, *b = nullptr;
    ASSERT_EQ(scnCreateObjectNode(content, 0, nullptr, 1, 0, nullptr, 0, nullptr, &a), 1);
    ASSERT_EQ(scnCreateObjectNode(content, 0, nullptr, 2, 0, nullptr, 0, &far, &b), 1);
    float lo[3], hi[3], loA[3], hiA[3];
    ScnNode* one[] = {a, nullptr};
    ASSERT_TRUE(sceneBox(one, loA, hiA));
    ScnNode* both[] = {a, b, nullptr};
    ASSERT_TRUE(sceneBox(both, lo, hi));
    EXPECT_FLOAT_EQ(lo[0], loA[0]);
    EXPECT_FLOAT_EQ(hi[0], hiA[0] + 100);
    EXPECT_FLOAT_EQ(lo[2], loA[2] - 50);
    EXPECT_FLOAT_EQ(hi[2], hiA[2]);
    ScnNode* none[] = {nullptr};
    EXPECT_FALSE(sceneBox(none, lo, hi));
    EXPECT_FALSE(sceneBox(nullptr, lo, hi));
    scnNodeFree(&a, nullptr);
    scnNodeFree(&b, nullptr);
    pelFreeObject(&content);
}
