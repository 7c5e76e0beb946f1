#include "background.h"

#include <gtest/gtest.h>

#include <thread>

using namespace qivctl;

namespace {
PicRecord* fakePicture(int i) { return reinterpret_cast<PicRecord*>(uintptr_t(0x3000 + 16 * i)); }
}  // namespace

TEST(Background, RecordForEachMode) {
    BgRecord bg{};
    PicRecord* pic = fakePicture(1);
    backgroundForMode(bg, 2, pic, 5, -7, 0x00FF8000);
    EXPECT_EQ(bg.mode, 4u);
    EXPECT_EQ(bg.picture, pic);
    EXPECT_EQ(bg.offsetX, 5);
    EXPECT_EQ(bg.offsetY, -7);
    EXPECT_EQ(bg.pictureAngle, 0.0f);

    backgroundForMode(bg, 1, pic, 5, -7, 0x00FF8000);
    EXPECT_EQ(bg.mode, 3u);
    EXPECT_FLOAT_EQ(bg.pictureAngle, kScaledPictureAngle);
    EXPECT_EQ(bg.offsetX, 0);

    // No picture, mode 0 or an unknown mode: the colour background with its gradient.
    for (int32_t mode : {2, 0, 7}) {
        backgroundForMode(bg, mode, mode == 2 ? nullptr : pic, 5, 5, 0x00FF8000);
        EXPECT_EQ(bg.mode, 0u) << mode;
        EXPECT_EQ(bg.picture, nullptr);
        EXPECT_FLOAT_EQ(bg.clear[0], 0.0f);
        EXPECT_FLOAT_EQ(bg.clear[1], 128.0f / 255.0f);
        EXPECT_FLOAT_EQ(bg.clear[2], 1.0f);
        EXPECT_FLOAT_EQ(bg.skyHorizon[0], 0.7f);
        EXPECT_FLOAT_EQ(bg.nadir[1], 0.4f);
        EXPECT_EQ(bg.offsetX, 0);
    }
}

TEST(Background, PreviewHandoverSurvivesTheControl) {
    {
        ThumbnailHandover h;
        std::thread worker([&] { EXPECT_TRUE(h.deliver(fakePicture(2))); });
        worker.join();
        bool arrived = false;
        EXPECT_EQ(h.take(&arrived), fakePicture(2));
        EXPECT_TRUE(arrived);
        EXPECT_EQ(h.take(&arrived), nullptr);
        EXPECT_FALSE(arrived);
        // A file without a preview still arrives, with no picture.
        h.deliver(nullptr);
        h.take(&arrived);
        EXPECT_TRUE(arrived);
    }
    {
        // The control detaches first: the worker keeps its picture to free it.
        auto h = std::make_shared<ThumbnailHandover>();
        EXPECT_EQ(h->detach(), nullptr);
        std::thread worker([h] { EXPECT_FALSE(h->deliver(fakePicture(3))); });
        worker.join();
        EXPECT_FALSE(h->attached());
    }
    {
        // Delivered but not taken: detach hands it back.
        ThumbnailHandover h;
        h.deliver(fakePicture(4));
        EXPECT_EQ(h.detach(), fakePicture(4));
    }
}

TEST(Background, HardwareToggle) {
    auto t = toggleHardware(true, 2);
    EXPECT_TRUE(t.createWindow && !t.destroyWindow);
    EXPECT_EQ(t.rendererKind, 1);
    EXPECT_EQ(t.use3DHardware, 1);
    t = toggleHardware(true, 1);
    EXPECT_TRUE(t.destroyWindow);
    EXPECT_EQ(t.rendererKind, 2);
    EXPECT_EQ(t.use3DHardware, 0);
    t = toggleHardware(false, 2);
    EXPECT_FALSE(t.createWindow || t.destroyWindow);
    EXPECT_EQ(t.use3DHardware, -1);
}
