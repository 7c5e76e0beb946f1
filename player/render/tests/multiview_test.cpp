// Multi-view output: the interleave against the sub-pixel pattern, odd sizes, and the
// eight views of a rendered scene.
#include "render/multiview.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "render/clear.h"
#include "render/dxhook.h"
#include "render/renderlist.h"
#include "render/rtdriver.h"
#include "render/tests/renderer_fixture.h"
#include "render/sample.h"
#include "scene/sceneops.h"

namespace {

int mod8(int v) { return ((v % 8) + 8) % 8; }

// Channel ch (0 red, 1 green, 2 blue) of output pixel (x, y) comes from this view.
int sourceView(int x, int y, int ch, uint32_t bytes) {
    const int s = 3 * x + ch - y;
    return bytes == 2 ? mod8(s + 4) : mod8(3 - s);
}

uint32_t channel(uint32_t pixel, int ch, uint32_t bytes) {
    if (bytes == 2) return (pixel >> (10 - 5 * ch)) & 31;
    return (pixel >> (16 - 8 * ch)) & 0xFF;
}

MvState stateFor(uint16_t w, uint16_t h, uint32_t bytes) {
    MvState s{};
    s.width = w;
    s.height = h;
    s.direction = 1;
    s.bitsPerPixel = 8 * bytes;
    if (bytes == 2) s.redMask = 0x7C00, s.greenMask = 0x03E0, s.blueMask = 0x001F;
    if (bytes == 4) s.redMask = 0xFF0000, s.greenMask = 0x00FF00, s.blueMask = 0x0000FF;
    return s;
}

TEST(MultiView, SolidViewsInterleaveToTheSubPixelPattern) {
    struct Case {
        uint16_t w, h;
        uint32_t bytes;
    };
    // Widths that are not a multiple of 4 and odd heights included.
    const Case cases[] = {{8, 4, 2}, {8, 4, 4}, {16, 6, 2}, {10, 6, 2}, {7, 5, 4}, {6, 3, 2}, {5, 7, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "x" << c.bytes);
        MvState s = stateFor(c.w, c.h, c.bytes);
        EXPECT_EQ(mvInit(&s), 0u);
        EXPECT_EQ(mvState().viewWidth, c.w / 2);
        EXPECT_EQ(mvState().viewHeight, c.h / 2);
        EXPECT_EQ(mvState().viewCount, 8u);
        const uint32_t vw = c.w / 2, vh = c.h / 2;
        const size_t slot = size_t((vh + 1) & ~1u) * ((vw + 7) & ~7u) * c.bytes;
        std::vector<uint8_t> block(slot * 8);
        uint8_t* views[8];
        uint32_t colours[8];
        for (uint32_t i = 0; i < 8; ++i) {
            views[i] = block.data() + slot * i;
            colours[i] = c.bytes == 2 ? ((i + 1) << 10) | ((i + 9) << 5) | (i + 17)
                                      : ((0x10 + i) << 16) | ((0x20 + i) << 8) | (0x30 + i);
            for (size_t p = 0; p < slot / c.bytes; ++p) {
                uint8_t* at = views[i] + p * c.bytes;
                if (c.bytes == 2)
                    picPut16(at, colours[i]);
                else
                    picPut32(at, colours[i]);
            }
        }
        const size_t outBytes = size_t(c.w) * c.h * c.bytes;
        std::vector<uint8_t> out(outBytes + 16, 0xA5);  // stale pixels and a guard behind the picture
        mvInterleave(views, vw * c.bytes, out.data());
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                const uint8_t* at = out.data() + (size_t(y) * c.w + x) * c.bytes;
                const uint32_t pixel = c.bytes == 2 ? picGet16(at) : picGet32(at);
                if (c.bytes == 2) {
                    EXPECT_EQ(pixel & 0x8000, 0u);
                }
                for (int ch = 0; ch < 3; ++ch)
                    EXPECT_EQ(channel(pixel, ch, c.bytes), channel(colours[sourceView(x, y, ch, c.bytes)], ch, c.bytes))
                        << x << "," << y << " channel " << ch;
            }
        for (size_t k = outBytes; k < out.size(); ++k) EXPECT_EQ(out[k], 0xA5) << "written past the picture";
    }
}

TEST(MultiView, OtherPixelSizesAreLeftAlone) {
    for (uint32_t bytes : {1u, 3u}) {
        MvState s = stateFor(8, 4, bytes);
        mvInit(&s);
        std::vector<uint8_t> views(8 * 64 * 4, 0x33);
        uint8_t* list[8];
        for (int i = 0; i < 8; ++i) list[i] = views.data() + 64 * 4 * i;
        std::vector<uint8_t> out(8 * 4 * bytes, 0x5A);
        mvInterleave(list, 4 * bytes, out.data());
        EXPECT_EQ(out, std::vector<uint8_t>(8 * 4 * bytes, 0x5A));
    }
}

class MultiViewRender : public ::testing::Test {
protected:
    void SetUp() override {
        resetRenderState();
        ASSERT_TRUE(sampleSceneCreate(&scene, kW, kH));
        ASSERT_TRUE(fzCreate(kW, kH, 2, &target));
        list[0] = scene.node;
        job.node = scene.node;
        job.camera = &scene.cam;
        job.target = target;
        job.kind = SCN_KIND_GOURAUD_TEX;
    }
    void TearDown() override {
        fzFree(&target);
        sampleSceneFree(&scene);
        resetRenderState();
    }
    std::vector<uint8_t> render(float angle) {
        std::memset(target->pixels, 0x77, size_t(kW) * kH * 2);
        EXPECT_EQ(mvRender(&job, list, angle), 1u);
        return std::vector<uint8_t>(target->pixels, target->pixels + size_t(kW) * kH * 2);
    }
    // The scene's camera for a w x h view.
    CamRecord sized(int32_t w, int32_t h) {
        CamRecord cam = scene.cam;
        cam.pixW = w, cam.pixH = h;
        EXPECT_TRUE(camUpdate(&cam));
        return cam;
    }
    static constexpr int32_t kW = 64, kH = 48;
    SampleScene scene;
    PicRecord* target = nullptr;
    ScnNode* list[2] = {nullptr, nullptr};
    ScnRenderJob job{};
};

TEST_F(MultiViewRender, AngleZeroGivesEightEqualViews) {
    const std::vector<uint8_t> still = render(0.0f);
    // The same list drawn once at half size with the camera's view.
    PicRecord* half = nullptr;
    ASSERT_TRUE(fzCreate(kW / 2, kH / 2, 2, &half));
    CamRecord cam = sized(kW / 2, kH / 2);
    fzDrawBackground(half, nullptr, nullptr, &cam, 1, 0);
    ScnRenderJob one = job;
    one.camera = &cam;
    one.target = half;
    scnRenderList(&one, list, nullptr);
    int mismatches = 0, drawn = 0;
    const uint16_t corner = picGet16(half->pixels);
    for (int i = 0; i < kW / 2 * kH / 2; ++i) drawn += picGet16(half->pixels + 2 * i) != corner;
    EXPECT_GT(drawn, 50);  // the scene is in view
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            mismatches += picGet16(&still[(size_t(y) * kW + x) * 2]) !=
                          picGet16(half->pixels + (size_t(y / 2) * (kW / 2) + x / 2) * 2);
    EXPECT_EQ(mismatches, 0);
    fzFree(&half);

    // Turned views differ from the still ones, and the direction matters.
    const std::vector<uint8_t> left = render(1.0f), right = render(-1.0f);
    EXPECT_NE(left, still);
    EXPECT_NE(left, right);
}

// The interleave of eight views that a test made on its own, against what the multi-view
// render wrote: the share of sub-pixels whose channels differ by more than one step.
double interleavedMismatch(std::vector<PicRecord*>& views, uint32_t bytes, int32_t w, int32_t h,
                           const uint8_t* got) {
    MvState s = stateFor(uint16_t(w), uint16_t(h), bytes);
    mvInit(&s);
    uint8_t* list[8];
    for (int i = 0; i < 8; ++i) list[i] = views[size_t(i)]->pixels;
    std::vector<uint8_t> expect(size_t(w) * h * bytes);
    mvInterleave(list, uint32_t(w / 2) * bytes, expect.data());
    int bad = 0;
    for (int32_t p = 0; p < w * h; ++p) {
        const uint32_t a = bytes == 2 ? picGet16(&expect[size_t(p) * 2]) : picGet32(&expect[size_t(p) * 4]);
        const uint32_t b = bytes == 2 ? picGet16(got + size_t(p) * 2) : picGet32(got + size_t(p) * 4);
        for (int ch = 0; ch < 3; ++ch) {
            const int d = int(channel(a, ch, bytes)) - int(channel(b, ch, bytes));
            bad += d > 1 || d < -1;
        }
    }
    return double(bad) / (3.0 * w * h);
}

// View i lies (i - 3) degrees from the camera, turned about the z axis in the direction of
// the angle's sign. The scan-line form turns the world-to-pixel matrix; the ray-traced form
// turns the camera itself (eye, reference point and up), which the test does with plain trig.
TEST_F(MultiViewRender, TurnedViewsInBothForms) {
    constexpr int32_t w = 48, h = 40;
    for (float angle : {1.0f, -2.5f}) {
        SCOPED_TRACE(angle);
        const float sign = angle > 0 ? 1.0f : -1.0f;
        for (int traced = 0; traced < 2; ++traced) {
            SCOPED_TRACE(traced ? "ray-traced" : "scan-line");
            const uint32_t bytes = traced ? 4 : 2;
            PicRecord *frame = nullptr, *work = nullptr;
            ASSERT_TRUE(fzCreate(w, h, bytes, &frame));
            ASSERT_TRUE(fzCreate(w, h, 4, &work));
            CamRecord cam = sized(w, h);
            ScnRenderJob mv = job;
            mv.camera = &cam;
            mv.target = frame;
            auto renderAll = [&](float a) {
                if (traced)
                    EXPECT_EQ(mvRenderRayTraced(&mv, work, nullptr, nullptr, list, nullptr, nullptr, 1, 1, 1, 1, 1, 0, a),
                              1u);
                else
                    EXPECT_EQ(mvRender(&mv, list, a), 1u);
                return std::vector<uint8_t>(frame->pixels, frame->pixels + size_t(w) * h * bytes);
            };
            const std::vector<uint8_t> still = renderAll(0.0f), turned = renderAll(angle);

            std::vector<PicRecord*> views(8, nullptr);
            for (int i = 0; i < 8; ++i) {
                ASSERT_TRUE(fzCreate(w / 2, h / 2, bytes, &views[size_t(i)]));
                const double deg = (i - 3) * sign * 3.14159265358979 / 180.0;
                CamRecord v = scene.cam;
                v.pixW = w / 2, v.pixH = h / 2;
                ScnRenderJob one = job;
                one.camera = &v;
                one.target = views[size_t(i)];
                if (traced) {
                    // the scene turned by deg is the camera turned by -deg
                    auto turn = [&](Vec3 p) {
                        const double c = std::cos(-deg), s = std::sin(-deg);
                        return Vec3{float(p.x * c - p.y * s), float(p.x * s + p.y * c), p.z};
                    };
                    v.eye = turn(v.eye), v.vrp = turn(v.vrp), v.up = turn(v.up);
                    ASSERT_TRUE(camUpdate(&v));
                    ASSERT_EQ(rtRender(&one, work, nullptr, nullptr, list, nullptr, nullptr, 1, 1, 1, 1, 1, 0), 1);
                } else {
                    ASSERT_TRUE(camUpdate(&v));
                    Mat4 r;
                    mtxIdentity(&r);
                    const float c = float(std::cos(deg)), s = float(std::sin(deg));
                    r.m[0] = c, r.m[1] = s, r.m[4] = -s, r.m[5] = c;
                    mtxPreMultiply(&r, &v.worldToPixel);
                    fzDrawBackground(views[size_t(i)], nullptr, nullptr, &v, 1, 0);
                    scnRenderList(&one, list, nullptr);
                }
            }
            const double near = interleavedMismatch(views, bytes, w, h, turned.data());
            const double far = interleavedMismatch(views, bytes, w, h, still.data());
            EXPECT_LT(near, 0.002) << "the turned views";
            EXPECT_GT(far, 0.01) << "the views really turn";
            for (PicRecord*& v : views) fzFree(&v);
            fzFree(&work);
            fzFree(&frame);
        }
    }
}

TEST_F(MultiViewRender, RefusalsAndHardwareMode) {
    const std::vector<uint8_t> before(target->pixels, target->pixels + size_t(kW) * kH * 2);
    EXPECT_EQ(mvRender(nullptr, list, 1.0f), 0u);
    EXPECT_EQ(mvRender(&job, nullptr, 1.0f), 0u);
    dxActive = 1;
    EXPECT_EQ(mvRender(&job, list, 1.0f), 1u);
    dxActive = 0;
    EXPECT_EQ(std::vector<uint8_t>(target->pixels, target->pixels + size_t(kW) * kH * 2), before);
}

TEST_F(MultiViewRender, RayTracedViewsAtAngleZero) {
    constexpr int32_t w = 32, h = 24;
    PicRecord *frame = nullptr, *work = nullptr, *half = nullptr;
    ASSERT_TRUE(fzCreate(w, h, 4, &frame));
    ASSERT_TRUE(fzCreate(w, h, 4, &work));
    ASSERT_TRUE(fzCreate(w / 2, h / 2, 4, &half));
    CamRecord cam = sized(w, h);
    ScnRenderJob traced = job;
    traced.camera = &cam;
    traced.target = frame;
    EXPECT_EQ(mvRenderRayTraced(&traced, work, nullptr, nullptr, nullptr, nullptr, nullptr, 1, 1, 1, 1, 1, 0, 0.0f),
              0u);
    ASSERT_EQ(mvRenderRayTraced(&traced, work, nullptr, nullptr, list, nullptr, nullptr, 1, 1, 1, 1, 1, 0, 0.0f), 1u);

    CamRecord halfCam = sized(w / 2, h / 2);
    ScnRenderJob one = job;
    one.camera = &halfCam;
    one.target = half;
    ASSERT_EQ(rtRender(&one, work, nullptr, nullptr, list, nullptr, nullptr, 1, 1, 1, 1, 1, 0), 1);
    int mismatches = 0, drawn = 0;
    for (int i = 0; i < w / 2 * h / 2; ++i) drawn += picGet32(half->pixels + 4 * i) != picGet32(half->pixels);
    EXPECT_GT(drawn, 20);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            mismatches += (picGet32(frame->pixels + (size_t(y) * w + x) * 4) & 0xFFFFFF) !=
                          (picGet32(half->pixels + (size_t(y / 2) * (w / 2) + x / 2) * 4) & 0xFFFFFF);
    EXPECT_EQ(mismatches, 0);
    fzFree(&half);
    fzFree(&work);
    fzFree(&frame);
}

}  // namespace
