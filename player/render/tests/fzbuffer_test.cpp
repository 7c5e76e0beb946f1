#include "render/fzbuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "scene/engine.h"

namespace {

class FzBufferTest : public ::testing::Test {
protected:
    void SetUp() override {
        errReset();
        fzResetState();
        fzSetDeviceQuery(nullptr);
    }
    void TearDown() override {
        fzSetDeviceQuery(nullptr);
        fzResetState();
    }
};

TEST_F(FzBufferTest, CreationRoundsAndLimits) {
    struct Case {
        uint32_t w, h, bpp;
        int ok;
        int32_t width, height;
    };
    const Case cases[] = {
        {8192, 1, 2, 1, 8192, 2},
        {5, 3, 4, 1, 8, 4},
        {1, 1, 2, 1, 4, 2},
        {8193, 1, 2, 0, 0, 0},
        {3, 3, 3, 0, 0, 0},
        {3, 3, 1, 0, 0, 0},
        {4, 8193, 2, 0, 0, 0},
        {8192, 0xFFFFFFFFu, 4, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "x" << c.bpp);
        PicRecord* fz = nullptr;
        ASSERT_EQ(fzCreate(c.w, c.h, c.bpp, &fz), c.ok);
        if (!c.ok) {
            EXPECT_EQ(fz, nullptr);
            continue;
        }
        ASSERT_NE(fz, nullptr);
        EXPECT_EQ(fz->width, c.width);
        EXPECT_EQ(fz->height, c.height);
        EXPECT_EQ(fz->bytesPerPixel, c.bpp);
        EXPECT_EQ(fz->paletteCount, 0u);
        EXPECT_EQ(fz->palette, nullptr);
        const size_t colourBytes = size_t(c.width) * c.height * c.bpp;
        EXPECT_EQ(reinterpret_cast<uint8_t*>(fz->depth), fz->pixels + colourBytes);
        // The whole depth plane is inside the block (ASan checks the last value).
        fz->depth[size_t(c.width) * c.height - 1] = FZ_DEPTH_FAR;
        EXPECT_EQ(fzFree(&fz), 1);
        EXPECT_EQ(fz, nullptr);
    }
}

TEST_F(FzBufferTest, RefusedSizesAndHolders) {
    PicRecord marker{};
    PicRecord* fz = &marker;
    EXPECT_EQ(fzCreate(8193, 1, 2, &fz), 0);
    EXPECT_EQ(fz, &marker);  // an oversized width leaves the holder alone
    EXPECT_EQ(fzCreate(4, 4, 3, &fz), 0);
    EXPECT_EQ(fz, nullptr);
    EXPECT_EQ(fzCreate(4, 4, 2, nullptr), 0);
    EXPECT_EQ(fzFree(nullptr), 0);
    EXPECT_EQ(fzFree(&fz), 1);
    EXPECT_EQ(fzFreeImage(&fz), 1);
    EXPECT_EQ(fzFreeView(&fz), 1);
    EXPECT_EQ(fzFreeView(nullptr), 0);
}

uint32_t g_devicePixel = 0, g_deviceDepth = 0;
int g_routing = 0;
int deviceQuery(uint32_t* pixelBytes, uint32_t* depthBytes) {
    *pixelBytes = g_devicePixel;
    *depthBytes = g_deviceDepth;
    return g_routing;
}

TEST_F(FzBufferTest, DeviceSizedPlanes) {
    fzSetDeviceQuery(deviceQuery);
    g_devicePixel = 4;
    g_deviceDepth = 4;
    for (int routing : {0, 1}) {
        for (uint32_t flag : {0u, 1u}) {
            g_routing = routing;
            PicRecord* fz = nullptr;
            ASSERT_EQ(fzCreateEx(6, 2, 2, &fz, flag), 1);
            const size_t pixel = (routing && flag) ? 4 : 2;
            EXPECT_EQ(fz->bytesPerPixel, 2u);
            EXPECT_EQ(reinterpret_cast<uint8_t*>(fz->depth), fz->pixels + pixel * 8 * 2);
            if (routing && flag) fz->depth[2 * 8 * 2 - 1] = 1;  // a 4-byte depth plane fits
            fzFree(&fz);
        }
    }
}

TEST_F(FzBufferTest, ImagesKeepAFullPalette) {
    const uint32_t pal[3] = {0x00112233, 0x00445566, 0x00778899};
    PicRecord* img = nullptr;
    ASSERT_EQ(fzCreateImage(5, 3, 1, &img, 3, pal), 1);
    EXPECT_EQ(img->width, 8);
    EXPECT_EQ(img->height, 4);
    EXPECT_EQ(img->depth, nullptr);
    EXPECT_EQ(img->paletteCount, 3u);
    ASSERT_NE(img->palette, nullptr);
    EXPECT_EQ(img->palette[2], 0x00778899u);
    EXPECT_EQ(img->palette[255], 0u);  // any pixel value indexes the palette safely
    img->pixels[8 * 4 - 1] = 255;
    EXPECT_EQ(fzFreeImage(&img), 1);

    ASSERT_EQ(fzCreateImage(4, 2, 4, &img, 3, pal), 1);
    EXPECT_EQ(img->palette, nullptr);  // a palette only with 1 byte per pixel
    fzFreeImage(&img);
    EXPECT_EQ(fzCreateImage(4, 2, 3, &img, 0, nullptr), 0);
    EXPECT_EQ(fzCreateImage(8193, 2, 1, &img, 0, nullptr), 0);
}

TEST_F(FzBufferTest, ViewsShareTheBlock) {
    PicRecord* fz = nullptr;
    ASSERT_EQ(fzCreate(100, 100, 2, &fz), 1);
    struct Case {
        uint32_t width, requested, height;
    };
    const Case cases[] = {{200, 0, 50}, {200, 60, 50}, {200, 20, 20}, {100, 0, 100}, {30, 0, 333}};
    for (const Case& c : cases) {
        PicRecord* view = nullptr;
        uint32_t h = c.requested;
        ASSERT_EQ(fzCreateView(fz, c.width, &view, &h), 1);
        EXPECT_EQ(h, c.height);
        EXPECT_EQ(view->width, int32_t(c.width));
        EXPECT_EQ(view->height, int32_t(c.height));
        EXPECT_EQ(view->pixels, fz->pixels);
        EXPECT_EQ(reinterpret_cast<uint8_t*>(view->depth), fz->pixels + 2 * c.width * c.height);
        // The view's last depth value lies inside the source's block.
        view->depth[size_t(c.width) * c.height - 1] = 7;
        // Freeing a view through the buffer's own free leaves the shared block alone.
        EXPECT_EQ(c.width == 30 ? fzFree(&view) : fzFreeView(&view), 1);
        EXPECT_EQ(view, nullptr);
    }
    PicRecord* view = nullptr;
    uint32_t h = 0;
    EXPECT_EQ(fzCreateView(nullptr, 10, &view, &h), 0);
    EXPECT_EQ(fzCreateView(fz, 0, &view, &h), 0);
    fzFree(&fz);
}

TEST_F(FzBufferTest, ClearColourForms) {
    struct Case {
        float r, g, b;
        uint32_t c32;
        uint16_t c15;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {1.0f, 0.5f, 0.0f, 0x00FF7F00, 0x7DE0},
        {0.0f, 0.0f, 1.0f, 0x000000FF, 0x001F},
        {2.0f, -1.0f, 1.5f, 0x00FF00FF, 0x7C1F},  // clamped, not wrapped to 254 and 1
        {nan, 0.25f, 0.0f, 0x00003F00, 0x00E0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.c32);
        ASSERT_EQ(fzSetClearColor(c.r, c.g, c.b), 1);
        const FzBackgroundState& s = fzBackgroundState();
        EXPECT_EQ(s.clear32, c.c32);
        EXPECT_EQ(s.clear15, c.c15);
        EXPECT_EQ(s.bg.clear[2], c.b);
    }
}

TEST_F(FzBufferTest, BackgroundAtLoad) {
    BgRecord bg;
    std::memset(&bg, 0xCD, sizeof bg);
    ASSERT_EQ(fzGetBackground(&bg), 1);
    EXPECT_EQ(bg.mode, 0u);
    EXPECT_EQ(bg.zenith[1], 1.0f);
    EXPECT_EQ(bg.skyHorizon[2], 1.0f);
    EXPECT_EQ(bg.groundHorizon[1], 0.7f);
    EXPECT_EQ(bg.nadir[0], 0.3f);
    EXPECT_EQ(bg.picture, nullptr);
    EXPECT_FLOAT_EQ(bg.pictureAngle, 1.0471976f);  // 60 degrees
    EXPECT_EQ(bg.horizon, 0.5f);
    EXPECT_EQ(bg.groundMaterial, nullptr);
    EXPECT_EQ(fzBackgroundState().groundFirstRow, -1);
    EXPECT_EQ(fzGetBackground(nullptr), 0);
}

// A 1-byte picture record with its own palette.
struct Overlay {
    std::vector<uint32_t> pal;
    PicRecord rec{};
    explicit Overlay(std::vector<uint32_t> p) : pal(std::move(p)) {
        rec.bytesPerPixel = 1;
        rec.palette = pal.empty() ? nullptr : pal.data();
        rec.paletteCount = uint32_t(pal.size());
    }
};

TEST_F(FzBufferTest, OverlayTransparentIndex) {
    std::vector<uint32_t> withBlack(256, 0x00102030);
    withBlack[10] = 0xFF000000;  // black: the fourth byte does not count
    withBlack[3] = 0x00F80000;
    std::vector<uint32_t> noBlack(256, 0x00FFFFFF);
    struct Case {
        const char* name;
        std::vector<uint32_t> palette;
        uint8_t has, index;
    };
    const Case cases[] = {
        {"black at 10", withBlack, 1, 10},
        {"no black", noBlack, 0, 255},
        {"empty palette", {}, 0, 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Overlay ov(c.palette);
        BgRecord bg{};
        ASSERT_EQ(fzGetBackground(&bg), 1);
        bg.overlay = &ov.rec;
        bg.clear[0] = 1.0f;
        ASSERT_EQ(fzSetBackground(&bg), 1);
        const FzBackgroundState& s = fzBackgroundState();
        EXPECT_EQ(s.overlayHasTransparent, c.has);
        EXPECT_EQ(s.overlayTransparent, c.index);
        EXPECT_EQ(fzOverlaySkipIndex(), c.has ? uint32_t(c.index) : FZ_OVERLAY_OPAQUE);
        if (c.palette.size() > 3) {
            EXPECT_EQ(s.overlayTable[3], c.has ? 0x7C00 : 0x7FFF);
        }
        EXPECT_EQ(s.clear32, 0x00FF0000u);
        BgRecord back{};
        fzGetBackground(&back);
        EXPECT_EQ(back.overlay, &ov.rec);
    }
    // Without an overlay the transparent index stays as it was.
    Overlay ov(withBlack);
    BgRecord bg{};
    bg.overlay = &ov.rec;
    fzSetBackground(&bg);
    bg.overlay = nullptr;
    fzSetBackground(&bg);
    EXPECT_EQ(fzBackgroundState().overlayHasTransparent, 1);
    EXPECT_EQ(fzBackgroundState().overlayTransparent, 10);
    EXPECT_EQ(fzSetBackground(nullptr), 0);
}

TEST_F(FzBufferTest, PreparingPictureModes) {
    Overlay picture(std::vector<uint32_t>{0x00FFFFFF, 0x000000F8});
    for (uint32_t mode : {0u, 1u, 2u, 3u, 4u}) {
        SCOPED_TRACE(mode);
        BgRecord bg{};
        bg.mode = mode;
        const int needsPicture = mode >= 2;
        EXPECT_EQ(fzPrepareBackground(&bg), needsPicture ? 0 : 1);
        EXPECT_EQ(fzResetBackground(&bg), needsPicture ? 0 : 1);
        bg.picture = &picture.rec;
        fzResetState();
        ASSERT_EQ(fzResetBackground(&bg), 1);
        EXPECT_EQ(fzBackgroundState().pictureTable[0], needsPicture ? 0x7FFF : 0);
        EXPECT_EQ(fzBackgroundState().pictureTable[1], needsPicture ? 0x001F : 0);
        EXPECT_EQ(fzBackgroundState().bg.mode, mode);
    }
    EXPECT_EQ(fzPrepareBackground(nullptr), 0);
}

}  // namespace
