// Ray-trace driver: identical pictures for every thread count, progressive refinement,
// cancellation, worker start failures and refused inputs.
#include "render/rtdriver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <set>
#include <random>
#include <thread>
#include <vector>

#include "render/tests/rt_fixture.h"

using namespace rtfix;

namespace {

constexpr int32_t kW = 72, kH = 56;

std::vector<std::atomic<int>>* g_counts = nullptr;
void countPixel(int32_t x, int32_t y, uint32_t) {
    if (g_counts && x >= 0 && y >= 0 && x < kW && y < kH) (*g_counts)[size_t(y) * kW + x].fetch_add(1);
}

// Workers that trace slowly leave the driver thread lines enough for several progress calls,
// however the threads are scheduled.
void slowWorkers(int32_t, int32_t, uint32_t thread) {
    if (thread != 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
}

int g_cancelAt = 0, g_calls = 0;
int cancelAtK(float) { return ++g_calls == g_cancelAt ? 0 : 1; }
int g_shows = 0;
void countShow() { ++g_shows; }

class RtDriverTest : public Clean {
protected:
    void SetUp() override {
        Clean::SetUp();
        rtResetDriver();
        g_calls = 0;
        g_cancelAt = 0;
        g_shows = 0;
    }
    void TearDown() override {
        fzFree(&target);
        fzFree(&work);
        rtResetDriver();
        Clean::TearDown();
    }
    // Reflective floor, a cluster of faces, two shadow-casting lights.
    void buildScene() {
        std::mt19937 rng(77);
        world.add(quadSpec(-6, -6, 6, 6, 0, material(0.7f, 0.7f, 0.6f, 0.5f)));
        BuildSpec cluster = randomSpec(rng, 300, {0, 0, 1.5f}, 2.0f, 0.7f);
        cluster.materials = {material(0.9f, 0.3f, 0.2f, 0.4f)};
        world.add(cluster);
        world.add(quadSpec(-1, -3, 1, -1, 0.8f, material(0.3f, 0.5f, 0.9f, 0.0f, 0.5f), FACE_TWO_SIDED));
        LightRecord* h = nullptr;
        float d1[3] = {-0.3f, -0.5f, -1}, d2[3] = {0.6f, -0.2f, -1}, c[3] = {0.7f, 0.7f, 0.7f};
        ltAdd(0, d1, c, 1, &h);
        ltAdd(0, d2, c, 1, &h);
        cam = camera(kW, kH, {0, -9, 7}, {0, 0, 0.5f});
        ASSERT_TRUE(fzCreate(kW, kH, 4, &target));
        ASSERT_TRUE(fzCreate(kW, kH, 4, &work));
        list = world.nodes;
        list.push_back(nullptr);
    }
    void fill(uint32_t v) {
        const uint32_t b = target->bytesPerPixel;
        for (int32_t i = 0; i < kW * kH; ++i)
            b == 2 ? picPut16(target->pixels + 2 * size_t(i), v & 0x7FFF) : picPut32(target->pixels + 4 * size_t(i), v);
    }
    std::vector<uint32_t> pixels() const {
        const uint32_t b = target->bytesPerPixel;
        std::vector<uint32_t> out(size_t(kW) * kH);
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = b == 2 ? picGet16(target->pixels + 2 * i) : picGet32(target->pixels + 4 * i);
        return out;
    }
    int render(RtProgressFn progress = nullptr, RtShowFn show = nullptr) {
        ScnRenderJob job{};
        job.camera = &cam;
        job.target = target;
        job.kind = SCN_KIND_GOURAUD_TEX;
        return rtRender(&job, work, progress, show, list.data(), nullptr, nullptr, 1, 1, 1, 1, 1, 0);
    }
    CamRecord cam{};
    PicRecord* target = nullptr;
    PicRecord* work = nullptr;
    std::vector<ScnNode*> list;
};

TEST_F(RtDriverTest, EveryThreadCountGivesTheSamePicture) {
    buildScene();
    std::vector<uint32_t> reference;
    for (uint32_t procs = 1; procs <= 5; ++procs) {
        SCOPED_TRACE(procs);
        rtSetProcessorCount(procs);
        fill(0x123456);
        ASSERT_EQ(render(), 1);
        uint32_t joined = 0;
        EXPECT_EQ(rtLastRunWorkers(&joined), procs - 1);
        EXPECT_EQ(joined, procs - 1);
        if (procs == 1) {
            reference = pixels();
            std::set<uint32_t> colours(reference.begin(), reference.end());
            ASSERT_GT(colours.size(), 50u) << "the picture shows the scene";
        } else {
            EXPECT_TRUE(pixels() == reference);
        }
    }
    // more processors than the cap still run five threads
    rtSetProcessorCount(8);
    EXPECT_EQ(rtProcessorCount(), 5u);
    ASSERT_EQ(render(), 1);
    EXPECT_TRUE(pixels() == reference);
}

// A scene of several hundred face groups (the tree's pairing by search) traced with 1 to 5
// threads: the pictures keep the checksums they had when this test was written.
TEST_F(RtDriverTest, LargeSceneKeepsItsChecksums) {
    std::mt19937 rng(2024);
    world.add(quadSpec(-8, -8, 8, 8, 0, material(0.7f, 0.7f, 0.6f, 0.5f)));
    const float tint[4][3] = {{0.9f, 0.3f, 0.2f}, {0.2f, 0.8f, 0.3f}, {0.3f, 0.4f, 0.9f}, {0.8f, 0.8f, 0.2f}};
    for (int k = 0; k < 4; ++k) {
        BuildSpec s = randomSpec(rng, 2500, {float(k % 2) * 4 - 2, float(k / 2) * 4 - 2, 1.5f}, 1.8f, 0.35f);
        s.materials = {material(tint[k][0], tint[k][1], tint[k][2], k == 1 ? 0.5f : 0.2f, k == 3 ? 0.4f : 0.0f)};
        world.add(s);
    }
    LightRecord* h = nullptr;
    float d1[3] = {-0.3f, -0.5f, -1}, d2[3] = {0.6f, -0.2f, -1}, c[3] = {0.7f, 0.7f, 0.7f};
    ltAdd(0, d1, c, 1, &h);
    ltAdd(0, d2, c, 1, &h);
    cam = camera(kW, kH, {0, -11, 8}, {0, 0, 0.5f});
    ASSERT_TRUE(fzCreate(kW, kH, 4, &target));
    ASSERT_TRUE(fzCreate(kW, kH, 4, &work));
    list = world.nodes;
    list.push_back(nullptr);
    for (uint32_t procs = 1; procs <= 5; ++procs) {
        SCOPED_TRACE(procs);
        rtSetProcessorCount(procs);
        fill(0);
        ASSERT_EQ(render(), 1);
        uint32_t groups = 0;
        for (const PelContent* pc : world.contents) groups += pc->rtFaceGroupCount;
        ASSERT_GE(groups, 300u) << "the leaf level is paired by the search";
        uint64_t sum = 1469598103934665603ull;
        for (uint32_t p : pixels()) sum = (sum ^ p) * 1099511628211ull;
        EXPECT_EQ(sum, 0xd7f92043a514f129ull);
        if (procs == 1) {
            const std::vector<uint32_t> px = pixels();
            ASSERT_GT(std::set<uint32_t>(px.begin(), px.end()).size(), 200u) << "the picture shows the scene";
        }
    }
}

TEST_F(RtDriverTest, ProgressiveEqualsPlainTracingEachPixelOnce) {
    buildScene();
    // a view that does not fill the frame and whose height is no multiple of a block
    cam.pixX = 3;
    cam.pixY = 2;
    cam.pixW = kW - 7;
    cam.pixH = kH - 9;
    ASSERT_TRUE(camUpdate(&cam));
    std::vector<std::atomic<int>> counts(size_t(kW) * kH);
    g_counts = &counts;
    rtSetPixelObserver(countPixel);
    rtSetProcessorCount(3);
    for (uint32_t bytes : {4u, 2u}) {
        SCOPED_TRACE(bytes);
        if (bytes == 2) {
            fzFree(&target);
            ASSERT_TRUE(fzCreate(kW, kH, 2, &target));
        }
        const uint32_t sentinel = bytes == 2 ? 0x2BCD : 0x00ABCDEF;
        for (auto& c : counts) c = 0;
        fill(sentinel);
        ASSERT_EQ(render(), 1);
        std::vector<uint32_t> plain = pixels();
        for (auto& c : counts) c = 0;
        fill(sentinel);
        ASSERT_EQ(render(nullptr, countShow), 1);
        EXPECT_GT(g_shows, 0);
        std::vector<uint32_t> progressive = pixels();
        for (int32_t y = 0; y < kH; ++y)
            for (int32_t x = 0; x < kW; ++x) {
                bool inside = x >= cam.pixX && x < cam.pixX + cam.pixW && y >= cam.pixY && y < cam.pixY + cam.pixH;
                size_t i = size_t(y) * kW + x;
                ASSERT_EQ(counts[i].load(), inside ? 1 : 0) << x << "," << y;
                ASSERT_EQ(progressive[i], plain[i]) << x << "," << y;
                if (!inside) {
                    ASSERT_EQ(progressive[i], sentinel) << x << "," << y;
                }
            }
    }
    g_counts = nullptr;
}

TEST_F(RtDriverTest, CancelAtTheKthProgressCall) {
    buildScene();
    rtSetProcessorCount(4);
    rtSetPixelObserver(slowWorkers);
    fill(0x0BADF00D & 0xFFFFFF);
    std::vector<uint32_t> untouched = pixels();
    for (bool progressive : {false, true})
        for (int k : {1, 2, 7}) {
            SCOPED_TRACE(testing::Message() << "call " << k << (progressive ? " progressive" : " plain"));
            fill(0x0BADF00D & 0xFFFFFF);
            g_calls = 0;
            g_cancelAt = k;
            EXPECT_EQ(render(cancelAtK, progressive ? countShow : nullptr), 1);
            EXPECT_EQ(g_calls, k) << "no progress call after the cancel";
            uint32_t joined = 0;
            uint32_t started = rtLastRunWorkers(&joined);
            EXPECT_EQ(started, joined);
            if (k == 1) {
                EXPECT_EQ(started, 0u);
                EXPECT_TRUE(pixels() == untouched);
            }
        }
}

TEST_F(RtDriverTest, CancelDuringTheTreeBuildAnswersAsCancellation) {
    for (int i = 0; i < 600; ++i) {
        BuildSpec s;
        float x = float(i % 30) * 0.3f - 4.5f, y = float(i / 30) * 0.3f - 3.0f;
        s.positions = {{x, y, 0}, {x + 0.2f, y, 0}, {x, y + 0.2f, 0}};
        s.faces = {{{0, 1, 2, 2}, 0, 0}};
        s.materials = {material(1, 1, 1)};
        world.add(s);
    }
    cam = camera(kW, kH);
    ASSERT_TRUE(fzCreate(kW, kH, 4, &target));
    ASSERT_TRUE(fzCreate(kW, kH, 4, &work));
    list = world.nodes;
    list.push_back(nullptr);
    std::vector<std::atomic<int>> counts(size_t(kW) * kH);
    g_counts = &counts;
    rtSetPixelObserver(countPixel);
    g_cancelAt = 2;  // the first call is the start; the second comes from the tree build
    EXPECT_EQ(render(cancelAtK), 1);
    g_counts = nullptr;
    EXPECT_EQ(g_calls, 2);
    for (auto& c : counts) ASSERT_EQ(c.load(), 0);
}

TEST_F(RtDriverTest, WorkersThatFailToStartAreNotWaitedOn) {
    buildScene();
    rtSetProcessorCount(1);
    ASSERT_EQ(render(), 1);
    std::vector<uint32_t> reference = pixels();
    rtSetProcessorCount(4);
    for (bool progressive : {false, true}) {
        rtSetWorkerStartFault(0x6);  // workers 1 and 2 never start
        fill(0);
        ASSERT_EQ(render(nullptr, progressive ? countShow : nullptr), 1);
        uint32_t joined = 0;
        uint32_t started = rtLastRunWorkers(&joined);
        EXPECT_EQ(started, progressive ? 6u : 1u);  // one worker per pass
        EXPECT_EQ(joined, started);
        EXPECT_TRUE(pixels() == reference);
    }
}

TEST_F(RtDriverTest, RefusesUnfitBuffersAndAcceptsEmptyLists) {
    buildScene();
    const uint32_t clear = fzBackgroundState().clear32;
    ScnNode* none[1] = {nullptr};
    ScnRenderJob job{};
    job.camera = &cam;
    job.target = target;
    EXPECT_EQ(rtRender(&job, work, nullptr, nullptr, none, nullptr, nullptr, 1, 1, 1, 1, 1, 0), 1);
    EXPECT_EQ(rtRender(nullptr, nullptr, nullptr, nullptr, nullptr, none, nullptr, 1, 1, 1, 1, 1, 0), 1);
    PicRecord* small = nullptr;
    PicRecord* narrow = nullptr;
    ASSERT_TRUE(fzCreate(kW, kH / 2, 4, &small));
    ASSERT_TRUE(fzCreate(kW, kH, 2, &narrow));
    const struct {
        const char* what;
        PicRecord* work;
        bool dropDepth;
    } cases[] = {{"work buffer too small", small, false},
                 {"work buffer of 2 bytes per pixel", narrow, false},
                 {"no work buffer", nullptr, false},
                 {"frame without depth plane", work, true}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        int16_t* depth = target->depth;
        if (k.dropDepth) target->depth = nullptr;
        ScnRenderJob j{};
        j.camera = &cam;
        j.target = target;
        EXPECT_EQ(rtRender(&j, k.work, nullptr, nullptr, list.data(), nullptr, nullptr, 1, 1, 1, 1, 1, 0), 0);
        target->depth = depth;
        EXPECT_EQ(fzBackgroundState().clear32, clear) << "the clear colour is restored";
    }
    fzFree(&small);
    fzFree(&narrow);
    errReset();
}

TEST_F(RtDriverTest, ContentWithMoreFacesThanIdsIsRefused) {
    std::mt19937 rng(3);
    ScnNode* n = world.add(randomSpec(rng, 8193, {0, 0, 0}, 2, 0.2f));
    cam = camera(kW, kH);
    ASSERT_TRUE(fzCreate(kW, kH, 4, &target));
    ASSERT_TRUE(fzCreate(kW, kH, 4, &work));
    list.assign(65536, n);  // 16 node bits leave ids for 8192 faces
    list.push_back(nullptr);
    EXPECT_EQ(render(), 0);
    uint32_t level = 0;
    char msg[512], ctx[512];
    uint32_t line = 0;
    ASSERT_TRUE(errPop(&level, msg, ctx, &line));
    EXPECT_EQ(level, uint32_t(ERR_LENGTH));
    errReset();
}

// The overlay goes over the traced picture: its first black entry is skipped, and without
// one every entry (255 too) is drawn.
TEST_F(RtDriverTest, OverlaySkipsOnlyABlackEntry) {
    buildScene();
    rtSetProcessorCount(1);
    ASSERT_EQ(render(), 1);
    const std::vector<uint32_t> plain = pixels();
    const uint8_t indices[4] = {255, 10, 0, 7};
    for (int black : {-1, 10, 255}) {
        SCOPED_TRACE(black);
        uint32_t palette[256];
        for (uint32_t i = 0; i < 256; ++i) palette[i] = 0x00204000u | i;
        if (black >= 0) palette[black] = 0;
        PicRecord* ov = nullptr;
        ASSERT_EQ(fzCreateImage(4, 1, 1, &ov, 256, palette), 1);
        std::memcpy(ov->pixels, indices, 4);
        BgRecord bg{};
        ASSERT_EQ(fzGetBackground(&bg), 1);
        bg.overlay = ov;
        bg.overlayX = 30;
        bg.overlayY = 20;
        ASSERT_EQ(fzSetBackground(&bg), 1);
        ASSERT_EQ(render(), 1);
        const std::vector<uint32_t> got = pixels();
        for (int i = 0; i < 4; ++i) {
            const size_t at = size_t(20) * kW + 30 + size_t(i);
            const uint32_t want = int(indices[i]) == black ? plain[at] : palette[indices[i]];
            EXPECT_EQ(got[at], want) << "index " << int(indices[i]);
        }
        bg.overlay = nullptr;
        fzSetBackground(&bg);
        fzFreeImage(&ov);
    }
}

TEST(RtDriverAlone, ChannelBytes) {
    const struct {
        float c;
        uint8_t b;
    } cases[] = {{1.0f, 255}, {-0.1f, 0}, {0.0f, 0}, {0.5f, 128}, {2.0f, 255}, {std::nanf(""), 0}};
    for (const auto& k : cases) EXPECT_EQ(rtChannelByte(k.c), k.b) << k.c;
}

}  // namespace
