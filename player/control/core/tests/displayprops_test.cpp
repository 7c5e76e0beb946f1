#include "displayprops.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace qivctl;

TEST(DisplayProps, ReactionTable) {
    struct {
        int32_t dispid;
        bool changed, window;
        int32_t mode;
        int32_t notice;
        bool dirty, redraw, relayout, background;
    } cases[] = {
        {qivdispid::Filter, true, true, 0, qivdispid::Filter, true, true, false, false},
        {qivdispid::Filter, true, false, 0, 0, false, false, false, false},
        {qivdispid::Filter, false, true, 0, 0, false, false, false, false},
        {qivdispid::FlatTexturePath, true, false, 0, qivdispid::FlatTexturePath, false, false, false, false},
        {qivdispid::AnimateOnClick, false, true, 0, 0, false, false, false, false},
        {qivdispid::LoadObjectMenuEnabled, true, true, 0, 0, false, false, false, false},
        {qivdispid::HideControls, true, true, 0, qivdispid::HideControls, true, true, true, false},
        {qivdispid::HideScrollBars, true, false, 0, qivdispid::HideScrollBars, true, true, false, false},
        {qivdispid::BackPicMode, false, true, 1, qivdispid::BackPicMode, true, true, false, true},
        {qivdispid::BackPicMode, true, false, 1, qivdispid::BackPicMode, true, true, false, false},
        {qivdispid::Walkthrough, true, true, 0, qivdispid::Walkthrough, false, true, false, false},
        {qivdispid::Walkthrough, true, false, 0, qivdispid::Walkthrough, false, false, false, false},
        {qivdispid::BackPicOffsetX, true, true, 2, qivdispid::BackPicOffsetX, true, true, false, true},
        {qivdispid::BackPicOffsetY, true, true, 1, qivdispid::BackPicOffsetY, true, true, false, false},
        {qivdispid::PreviewMode, true, true, 0, qivdispid::PreviewMode, false, false, false, false},
        {999, true, true, 0, 0, false, false, false, false},
    };
    for (const auto& c : cases) {
        PutResult r = displayPutReactions(c.dispid, c.changed, c.window, c.mode);
        EXPECT_EQ(r.notice, c.notice) << c.dispid;
        EXPECT_EQ(r.setDirty, c.dirty) << c.dispid;
        EXPECT_EQ(r.redraw, c.redraw) << c.dispid;
        EXPECT_EQ(r.relayout, c.relayout) << c.dispid;
        EXPECT_EQ(r.setupBackground, c.background) << c.dispid;
    }
    for (int32_t v : {0, 5, 7, 16, 20, 23, 32 | 3, 32 | 21}) EXPECT_TRUE(displayModeValid(v)) << v;
    for (int32_t v : {-1, 8, 15, 17, 19, 24, 64, 32 | 9}) EXPECT_FALSE(displayModeValid(v)) << v;
}

TEST(DisplayProps, MenuNames) {
    std::optional<std::string> name;
    EXPECT_FALSE(putMenuName(name, ""));
    EXPECT_FALSE(putMenuName(name, nullptr));
    EXPECT_TRUE(putMenuName(name, "Vorschau"));
    EXPECT_EQ(*name, "Vorschau");
    EXPECT_FALSE(putMenuName(name, "Vorschau"));
    EXPECT_TRUE(putMenuName(name, "vorschau"));  // case-sensitive
    EXPECT_TRUE(putMenuName(name, ""));
    EXPECT_FALSE(name.has_value());
}

TEST(DisplayProps, AnimationTime) {
    QivObjectSlot slot = qivNewSlot();
    slot.animRate = 10;
    slot.animStart = 1;
    slot.animEnd = 5;
    slot.hasAnimation = true;

    auto p = putCurrentTime(slot, 3, 10000, false);
    EXPECT_EQ(slot.animStartTick, 10000u - 200u);
    EXPECT_FLOAT_EQ(slot.animTime, 3);
    EXPECT_TRUE(p.trackbar && p.frameInvalid && p.result.viewChange);
    EXPECT_EQ(p.trackbarPos, 50);
    EXPECT_FLOAT_EQ(animationTimeAt(slot, 10100), 4);
    EXPECT_FALSE(putCurrentTime(slot, 3, 10000, true).result.viewChange);

    // Speed changes re-base the tick so that the time runs on from where it was.
    auto r = putAnimSpeed(slot, 2, 10100);
    EXPECT_EQ(r.notice, qivdispid::AnimSpeed);
    EXPECT_FLOAT_EQ(slot.animSpeed, 2);
    EXPECT_FLOAT_EQ(slot.animTime, 4);
    EXPECT_FLOAT_EQ(animationTimeAt(slot, 10100), 4);
    EXPECT_FLOAT_EQ(animationTimeAt(slot, 10150), 5);
    EXPECT_FALSE(putAnimSpeed(slot, 2, 0).changed);
    for (float ignored : {-1.0f, NAN, INFINITY}) {
        r = putAnimSpeed(slot, ignored, 0);
        EXPECT_EQ(r.code, PutResult::Code::Ok);
        EXPECT_FALSE(r.changed);
        EXPECT_EQ(r.notice, qivdispid::AnimSpeed) << "announced all the same";
        EXPECT_FLOAT_EQ(slot.animSpeed, 2);
    }

    // Ticks wrap; the trackbar stays in range; an empty range and odd values are guarded.
    putCurrentTime(slot, 1 + 0.02f * 5, 100, false);
    EXPECT_EQ(slot.animStartTick, 100u - 5u);
    putCurrentTime(slot, 1 + 0.02f * 300, 100, false);
    EXPECT_EQ(slot.animStartTick, uint32_t(100 - 300));
    EXPECT_EQ(putCurrentTime(slot, 99, 0, false).trackbarPos, 100);
    EXPECT_EQ(putCurrentTime(slot, -99, 0, false).trackbarPos, 0);
    putCurrentTime(slot, 1e30f, 0, false);
    EXPECT_EQ(putCurrentTime(slot, NAN, 0, false).result.code, PutResult::Code::InvalidArg);
    slot.animEnd = slot.animStart;
    EXPECT_EQ(putCurrentTime(slot, 3, 0, false).trackbarPos, 0);
    slot.animRate = 0;
    uint32_t tick = slot.animStartTick;
    putCurrentTime(slot, 2, 5000, false);
    EXPECT_EQ(slot.animStartTick, tick);
    EXPECT_FLOAT_EQ(slot.animTime, 2);
}

TEST(DisplayProps, CameraPropertiesBeforeAndWithAView) {
    CamRecord cam{};
    cam.vrp = {1, 2, 3};
    cam.eye = {4, 5, 6};
    EXPECT_EQ(cameraPropertyOf(cam, false, nullptr, 0), 0);
    EXPECT_EQ(cameraPropertyOf(cam, true, nullptr, 1), 2);
    EXPECT_EQ(cameraPropertyOf(cam, true, nullptr, 5), 6);
    EXPECT_EQ(cameraPropertyOf(cam, true, nullptr, 6), 0);

    PendingViewing p;
    auto r = putCameraProperty(cam, false, &p, 0, 7);
    EXPECT_TRUE(r.changed);
    EXPECT_EQ(r.notice, 0);
    EXPECT_EQ(p.flags & PendingViewing::kVrpGiven, PendingViewing::kVrpGiven);
    EXPECT_EQ(cameraPropertyOf(cam, false, &p, 0), 7);
    putCameraProperty(cam, false, &p, 4, 8);
    EXPECT_EQ(p.flags & PendingViewing::kEyeGiven, PendingViewing::kEyeGiven);

    r = putCameraProperty(cam, true, nullptr, 4, 9);
    EXPECT_EQ(r.notice, qivdispid::EyeY);
    EXPECT_TRUE(r.viewChange);
    EXPECT_EQ(cam.eye.y, 9);
    EXPECT_FALSE(putCameraProperty(cam, true, nullptr, 4, 9).changed);
    const PutResult nan = putCameraProperty(cam, true, nullptr, 2, NAN);
    EXPECT_EQ(nan.code, PutResult::Code::Ok) << "ignored";
    EXPECT_FALSE(nan.changed);
    EXPECT_EQ(putCameraProperty(cam, true, nullptr, -1, 1).code, PutResult::Code::InvalidArg);
    EXPECT_EQ(cam.vrp.z, 3);
}

TEST(DisplayProps, PreviewSwitchAndEnd) {
    auto p = show2DView(true, true);
    EXPECT_TRUE(p.swap && p.previewBackground && !p.restoreBackground && p.redraw);
    p = show2DView(true, false);  // nothing stored: swapped, the background of BackPicMode
    EXPECT_TRUE(p.swap && !p.previewBackground && p.restoreBackground);
    p = show2DView(false, true);
    EXPECT_TRUE(p.swap && p.restoreBackground && !p.previewBackground);
    EXPECT_TRUE(show2DView(false, false).swap);

    BgRecord bg{};
    bg.offsetX = 5;
    PicRecord* pic = reinterpret_cast<PicRecord*>(uintptr_t(0x2000));
    previewBackground(bg, pic);
    EXPECT_EQ(bg.mode, 3u);
    EXPECT_EQ(bg.picture, pic);
    EXPECT_EQ(bg.offsetX, 0);
    EXPECT_FLOAT_EQ(bg.pictureAngle, 1.0471976f);

    EXPECT_TRUE(previewMayEnd(true, 3, 1, 500, 0));
    EXPECT_FALSE(previewMayEnd(true, 3, 2, 500, 499));
    EXPECT_TRUE(previewMayEnd(true, 3, 2, 500, 500));
    EXPECT_TRUE(previewMayEnd(true, 2, 2, 0, 0));
    EXPECT_FALSE(previewMayEnd(true, 2, 1, 0, 0));
    EXPECT_FALSE(previewMayEnd(false, 3, 1, 0, 0));
}
