#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "render/tests/renderer_fixture.h"

namespace {

class Clear : public ::testing::Test {
  protected:
    void SetUp() override { resetRenderState(); }
    void TearDown() override {
        fzFree(&frame);
        fzFreeImage(&picture);
        resetRenderState();
    }
    PicRecord* frame = nullptr;
    PicRecord* picture = nullptr;

    uint32_t pixel32(int32_t x, int32_t y) const { return picGet32(frame->pixels + (size_t(y) * frame->width + x) * 4); }
    int16_t depth(int32_t x, int32_t y) const { return frame->depth[size_t(y) * frame->width + x]; }

    // A 16 x 8 picture of 16 palette colours, index = (x + y) % 16.
    void makePicture() {
        uint32_t palette[256] = {};
        for (uint32_t i = 0; i < 16; ++i) palette[i] = (i * 16) << 16 | (255 - i * 16) << 8 | (i * 7);
        ASSERT_EQ(fzCreateImage(16, 8, 1, &picture, 256, palette), 1);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x) picture->pixels[y * picture->width + x] = uint8_t((x + y) % 16);
    }
};

// A rectangle partly outside the frame is intersected with it, and written back.
TEST_F(Clear, RectanglesAreIntersectedWithTheFrame) {
    ASSERT_EQ(fzCreate(32, 16, 4, &frame), 1);
    std::memset(frame->pixels, 0xAB, 32 * 16 * 4);
    fzSetClearColor(1.0f, 0.0f, 0.0f);
    struct Case {
        IRect in, out;
    } cases[] = {
        {{-5, -5, 10, 10}, {0, 0, 5, 5}},
        {{28, 12, 10, 10}, {28, 12, 4, 4}},
        {{3, 3, 0, 4}, {3, 3, 0, 4}},  // empty: untouched
    };
    for (const Case& k : cases) {
        IRect r = k.in;
        EXPECT_EQ(fzClear(frame, &r), 1);
        EXPECT_EQ(std::memcmp(&r, &k.out, sizeof r), 0) << r.x << "," << r.y << " " << r.w << "x" << r.h;
    }
    EXPECT_EQ(pixel32(4, 4), 0x00FF0000u);
    EXPECT_EQ(depth(4, 4), 32767);
    EXPECT_EQ(pixel32(5, 5), 0xABABABABu);  // the intersection ends at 5
    EXPECT_EQ(pixel32(3, 3), 0x00FF0000u);
    EXPECT_EQ(pixel32(27, 12), 0xABABABABu);
    EXPECT_EQ(pixel32(31, 15), 0x00FF0000u);
}

// The colour the ray tracer asks for equals the pixel drawn, in every background mode.
TEST_F(Clear, BackgroundColourMatchesTheDrawnPixel) {
    makePicture();
    const int32_t w = 48, h = 40;
    ASSERT_EQ(fzCreate(w, h, 4, &frame), 1);
    CamRecord cam = testCamera(w, h, {0, -10, 1}, {0, 0, 1.5f});
    for (uint32_t mode = 0; mode <= 4; ++mode) {
        for (uint32_t follow = 0; follow < (mode >= 2 ? 2u : 1u); ++follow) {
            BgRecord bg{};
            fzGetBackground(&bg);
            bg.mode = mode;
            bg.clear[0] = 0.25f, bg.clear[1] = 0.5f, bg.clear[2] = 0.75f;
            bg.picture = picture;
            bg.followCamera = follow;
            bg.offsetX = 3;
            bg.offsetY = 2;
            ASSERT_EQ(fzResetBackground(&bg), 1);
            ASSERT_EQ(fzDrawBackground(frame, nullptr, nullptr, &cam, 1, 0), 1);
            std::set<uint32_t> seen;
            for (int32_t y = 0; y < h; y += 3)
                for (int32_t x = 0; x < w; x += 5) {
                    float c[3];
                    uint32_t ground = 9;
                    ASSERT_EQ(fzBackgroundColorAt(&cam, x, y, nullptr, c, &ground), 1);
                    EXPECT_EQ(ground, 0u);
                    const uint32_t want = uint32_t(c[0] * 255.0f) << 16 | uint32_t(c[1] * 255.0f) << 8 |
                                          uint32_t(c[2] * 255.0f);
                    ASSERT_EQ(pixel32(x, y), want) << "mode " << mode << " follow " << follow << " at " << x << "," << y;
                    seen.insert(want);
                }
            if (mode != 0) {
                EXPECT_GT(seen.size(), 2u) << "mode " << mode;
            }
        }
    }
}

// A picture placed by the camera, worked out from what it stands for: the picture's centre
// column lies at azimuth 0 and its W columns span the picture angle, azimuth growing to the
// left; heights in the picture (from its bottom, rows running upwards) grow with the
// elevation seen, the horizon at its stated fraction of the height; the screen maps angles
// linearly across the view angles. Mode 2 repeats mirrored with period 2W - 1 (columns
// 0 .. W-1, then W-1 .. 1), mode 3 plainly.
TEST_F(Clear, PictureFollowsTheCameraWithItsRepetition) {
    constexpr int32_t W = 8, H = 4, vw = 64, vh = 32;
    uint32_t palette[256] = {};
    for (uint32_t i = 0; i < uint32_t(W * H); ++i) palette[i] = (i * 8) << 16 | (255 - i * 8) << 8 | (i * 3);
    ASSERT_EQ(fzCreateImage(W, H, 1, &picture, 256, palette), 1);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) picture->pixels[y * W + x] = uint8_t(y * W + x);
    ASSERT_EQ(fzCreate(vw, vh, 4, &frame), 1);
    auto cell = [&](uint32_t rgb, int* column, int* row) {
        for (int i = 0; i < W * H; ++i)
            if ((palette[i] & 0xFFFFFF) == rgb) {
                *column = i % W, *row = i / W;
                return true;
            }
        return false;
    };
    auto repeat = [](int64_t i, int n, uint32_t mode) {
        if (mode == 3) return int(((i % n) + n) % n);
        std::vector<int> period;
        for (int k = 0; k < n; ++k) period.push_back(k);
        for (int k = n - 1; k >= 1; --k) period.push_back(k);
        const int64_t p = int64_t(period.size());
        return period[size_t(((i % p) + p) % p)];
    };
    struct Case {
        uint32_t mode;
        double azimuth, elevation;
        float horizon;
    } cases[] = {
        {2, 0.0, 0.0, 0.5f}, {2, 0.3, 0.0, 0.5f}, {3, -1.0, 0.0, 0.5f}, {2, 2.5, 0.1, 0.25f}, {3, 0.7, -0.08, 0.75f},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << k.mode << " azimuth " << k.azimuth << " elevation "
                                        << k.elevation);
        const Vec3 look = {float(10 * std::cos(k.elevation) * std::cos(k.azimuth)),
                           float(10 * std::cos(k.elevation) * std::sin(k.azimuth)), float(10 * std::sin(k.elevation))};
        CamRecord cam = testCamera(vw, vh, {0, 0, 0}, look);
        cam.rowsUp = 1;
        camUpdate(&cam);
        const double alpha = 2 * std::atan2(double(cam.winXMax - cam.winXMin) / 2, double(cam.viewDist));
        const double beta = 2 * std::atan2(double(cam.winYMax - cam.winYMin) / 2, double(cam.viewDist));
        const double angle = alpha / 3;  // three pictures across the view
        BgRecord bg{};
        fzGetBackground(&bg);
        bg.mode = k.mode;
        bg.picture = picture;
        bg.followCamera = 1;
        bg.pictureAngle = float(angle);
        bg.horizon = k.horizon;
        ASSERT_EQ(fzResetBackground(&bg), 1);
        ASSERT_EQ(fzDrawBackground(frame, nullptr, nullptr, &cam, 1, 0), 1);
        const double columnsPerRadian = W / angle;
        // Vertically the picture keeps the screen scale of its columns.
        const double screenPerPicture = angle * vw / (alpha * W);
        int checked = 0;
        std::set<int> columns;
        for (int32_t y = 0; y < vh; ++y)
            for (int32_t x = 0; x < vw; ++x) {
                const double azimuth = k.azimuth - (x - vw / 2.0) * alpha / vw;
                const double u = W / 2.0 - azimuth * columnsPerRadian;
                const double elevation = k.elevation + (y - vh / 2.0) * beta / vh;
                const double height = k.horizon * H + elevation * vh / beta / screenPerPicture;
                const double fu = u - std::floor(u), fh = height - std::floor(height);
                if (fu < 1e-3 || fu > 1 - 1e-3 || fh < 1e-3 || fh > 1 - 1e-3) continue;
                const int wantColumn = repeat(int64_t(std::floor(u)), W, k.mode);
                const int wantRow = repeat(H - 1 - int64_t(std::floor(height)), H, k.mode);
                int column = -1, row = -1;
                ASSERT_TRUE(cell(pixel32(x, y), &column, &row)) << x << "," << y;
                ASSERT_EQ(column, wantColumn) << "at " << x << "," << y << " u " << u;
                ASSERT_EQ(row, wantRow) << "at " << x << "," << y << " height " << height;
                ++checked;
                columns.insert(column);
            }
        EXPECT_GT(checked, vw * vh * 3 / 4);
        EXPECT_EQ(columns.size(), size_t(W)) << "every column in the three repetitions";
    }
}

// A ground material gives the ground rows its colour; the fill stays inside the rectangle.
TEST_F(Clear, GroundRowsStayInsideTheRectangle) {
    const int32_t w = 40, h = 30;
    ASSERT_EQ(fzCreate(w, h, 4, &frame), 1);
    std::memset(frame->pixels, 0x11, size_t(frame->width) * h * 4);
    CamRecord cam = testCamera(w, h, {0, -10, 2}, {0, 0, 2});
    cam.rowsUp = 1;
    camUpdate(&cam);
    MatInput ground = sampleMaterial(0.2f, 0.6f, 0.2f);
    BgRecord bg{};
    fzGetBackground(&bg);
    bg.mode = 0;
    bg.groundMaterial = &ground;
    ASSERT_EQ(fzResetBackground(&bg), 1);
    const float down[3] = {0, 0, -1}, white[3] = {1, 1, 1};
    LightRecord* l = nullptr;
    ltAdd(0, down, white, 0, &l);
    IRect r = {-4, 2, 20, 40};  // beyond the left and bottom edges
    ASSERT_EQ(fzDrawBackground(frame, &r, nullptr, &cam, 1, 0), 1);
    const FzBackgroundState& st = fzBackgroundState();
    ASSERT_GE(st.groundFirstRow, 0);
    EXPECT_EQ(st.groundFirstRow, 2);
    EXPECT_LT(st.groundLastRow, 42);
    float c[3];
    uint32_t isGround = 0;
    fzBackgroundColorAt(&cam, 5, st.groundFirstRow, nullptr, c, &isGround);
    EXPECT_EQ(isGround, 1u);
    const uint32_t want = uint32_t(c[0] * 255) << 16 | uint32_t(c[1] * 255) << 8 | uint32_t(c[2] * 255);
    EXPECT_EQ(pixel32(5, st.groundFirstRow), want);
    EXPECT_EQ(pixel32(16, st.groundFirstRow), 0x11111111u);  // right of the rectangle
    EXPECT_EQ(pixel32(5, 0), 0x11111111u);                    // above it
}

// Tinting twice and untinting gives back the original colours.
TEST_F(Clear, TintTwiceKeepsTheOriginal) {
    makePicture();
    const uint32_t original5 = picture->palette[5];
    const float red[3] = {1, 0, 0}, blue[3] = {0, 0, 1};
    for (uint32_t mode : {0u, 1u, 3u}) {
        BgRecord bg{};
        fzGetBackground(&bg);
        bg.mode = mode;
        bg.clear[0] = 0.5f, bg.clear[1] = 0.5f, bg.clear[2] = 0.5f;
        bg.picture = picture;
        ASSERT_EQ(fzResetBackground(&bg), 1);
        const BgRecord before = fzBackgroundState().bg;
        const uint16_t table5 = fzBackgroundState().pictureTable[5];
        fzTintBackground(red, 0.5f);
        fzTintBackground(blue, 1.0f);
        if (mode == 0) {
            EXPECT_FLOAT_EQ(fzBackgroundState().clear[0], 0.0f);
        }
        if (mode == 1) {
            EXPECT_FLOAT_EQ(fzBackgroundState().bg.zenith[0], 0.0f);
        }
        if (mode == 3) {
            EXPECT_EQ(picture->palette[5] & 0xFFFF00u, 0u);
        }
        fzUntintBackground();
        const BgRecord after = fzBackgroundState().bg;
        EXPECT_EQ(std::memcmp(before.clear, after.clear, sizeof before.clear), 0) << mode;
        EXPECT_FLOAT_EQ(fzBackgroundState().clear[1], 0.5f);
        EXPECT_EQ(std::memcmp(before.zenith, after.zenith, sizeof before.zenith), 0) << mode;
        EXPECT_EQ(picture->palette[5], original5);
        EXPECT_EQ(fzBackgroundState().pictureTable[5], table5);
    }
}

TEST_F(Clear, DefaultBandAtTheHorizon) {
    float c[3];
    fzBandColorAt(0.0f, c);
    EXPECT_FLOAT_EQ(c[0], 0.7f);
    EXPECT_FLOAT_EQ(c[2], 1.0f);
    fzBandColorAt(-1e-6f, c);
    EXPECT_NEAR(c[0], 0.6f, 1e-5);
    fzBandColorAt(1.5707964f, c);
    EXPECT_NEAR(c[1], 1.0f, 1e-5);
}

// Overlay pixels of the transparent index are skipped; the others get the nearest depth.
TEST_F(Clear, OverlayTransparencyAndDepth) {
    makePicture();
    ASSERT_EQ(fzCreate(20, 12, 4, &frame), 1);
    fzClear(frame, nullptr);
    IRect clip = {0, 0, 20, 12};
    ASSERT_EQ(fzDrawOverlay(frame, picture, &clip, 10, 6, 3, 0), 1);
    EXPECT_EQ(depth(10, 6), -32767);
    EXPECT_EQ(pixel32(10, 6), picture->palette[0] & 0xFFFFFFu);
    EXPECT_EQ(depth(13, 6), 32767);  // index 3
    EXPECT_EQ(depth(9, 6), 32767);
    EXPECT_EQ(depth(19, 11), -32767);  // clipped at the frame's edge
}

// The background's overlay skips its first black entry; without one, every entry (255 too)
// is drawn.
TEST_F(Clear, OverlayWithoutBlackEntryIsOpaque) {
    struct Case {
        const char* what;
        int black;  // palette index made black, -1 for none
        uint32_t bytes;
    } cases[] = {
        {"no black, 32-bit", -1, 4}, {"no black, 16-bit", -1, 2}, {"black at 10", 10, 4}, {"black at 255", 255, 4}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        uint32_t palette[256];
        for (uint32_t i = 0; i < 256; ++i) palette[i] = 0x00204000u | i;
        if (k.black >= 0) palette[k.black] = 0xFF000000u;  // black: the fourth byte does not count
        PicRecord* ov = nullptr;
        ASSERT_EQ(fzCreateImage(4, 1, 1, &ov, 256, palette), 1);
        const uint8_t indices[4] = {255, 10, 0, 7};
        std::memcpy(ov->pixels, indices, 4);
        ASSERT_EQ(fzCreate(8, 4, k.bytes, &frame), 1);
        BgRecord bg{};
        bg.clear[2] = 1.0f;
        bg.overlay = ov;
        bg.overlayX = 2;
        bg.overlayY = 1;
        ASSERT_EQ(fzSetBackground(&bg), 1);
        CamRecord cam = testCamera(8, 4, {0, -5, 0}, {0, 0, 0});
        ASSERT_EQ(fzDrawBackground(frame, nullptr, nullptr, &cam, 1, 0), 1);
        for (int i = 0; i < 4; ++i) {
            const bool skipped = int(indices[i]) == k.black;
            const uint32_t want = skipped ? 0x0000FFu : (palette[indices[i]] & 0xFFFFFFu);
            uint32_t got;
            if (k.bytes == 4) {
                got = pixel32(2 + i, 1);
            } else {
                const uint32_t v = picGet16(frame->pixels + (size_t(1) * frame->width + 2 + i) * 2);
                got = ((v >> 10) & 31) << 19 | ((v >> 5) & 31) << 11 | (v & 31) << 3;
            }
            EXPECT_EQ(got, k.bytes == 4 ? want : want & 0xF8F8F8u) << "index " << int(indices[i]);
            EXPECT_EQ(depth(2 + i, 1), skipped ? 32767 : -32767) << "index " << int(indices[i]);
        }
        fzFree(&frame);
        fzFreeImage(&ov);
    }
}

}  // namespace

namespace {

std::vector<std::string>& dxCalls() {
    static std::vector<std::string> v;
    return v;
}

// With routing on, clears and backgrounds go to the back end in the documented order.
TEST_F(Clear, HardwareRoutingOrder) {
    DxBackend backend{};
    backend.endPaint = [] { dxCalls().push_back("endPaint"); };
    backend.bufferClear = [](const IRect*, uint32_t colour, float depth) {
        dxCalls().push_back("clear " + std::to_string(colour) + " " + std::to_string(int(depth)));
    };
    backend.resetRenderState = [] { dxCalls().push_back("reset"); };
    backend.depthBufferMode = [](uint32_t on) { dxCalls().push_back("depth " + std::to_string(on)); };
    backend.fillRect = [](const float*, const float*, int32_t, int32_t y0, int32_t, int32_t y1) {
        dxCalls().push_back("fill " + std::to_string(y0) + " " + std::to_string(y1));
    };
    dxSetBackend(&backend);
    dxActive = 1;
    dxCalls().clear();
    fzSetClearColor(1.0f, 0.0f, 0.0f);
    ASSERT_EQ(fzClear(nullptr, nullptr), 1);
    EXPECT_EQ(dxCalls(), (std::vector<std::string>{"endPaint", "clear 16711680 1", "reset"}));
    dxCalls().clear();
    CamRecord cam = testCamera(40, 30, {0, -10, 1}, {0, 0, 1});
    BgRecord bg{};
    fzGetBackground(&bg);
    bg.mode = 1;
    fzResetBackground(&bg);
    ASSERT_EQ(fzDrawBackground(nullptr, nullptr, nullptr, &cam, 1, 0), 1);
    ASSERT_GE(dxCalls().size(), 4u);
    EXPECT_EQ(dxCalls()[0], "clear 16711680 1");
    EXPECT_EQ(dxCalls()[1], "reset");
    EXPECT_EQ(dxCalls()[2], "depth 0");
    EXPECT_EQ(dxCalls().back(), "reset");
    // The gradient runs cover the rows once each, in order.
    int32_t next = 0;
    for (const std::string& call : dxCalls()) {
        int y0 = 0, y1 = 0;
        if (std::sscanf(call.c_str(), "fill %d %d", &y0, &y1) != 2) continue;
        EXPECT_EQ(y0, next);
        EXPECT_GE(y1, y0);
        next = y1 + 1;
    }
    EXPECT_EQ(next, 30);
    dxResetHooks();
}

}  // namespace
