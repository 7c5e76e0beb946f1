// Small reference pictures of the sample scene, reviewed once and kept under golden/.
// QIV_UPDATE_GOLDEN=1 rewrites them from the current renderer.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "render/renderlist.h"
#include "render/tests/renderer_fixture.h"

namespace {

std::string goldenPath(const char* name) {
    std::string dir = __FILE__;
    const size_t slash = dir.find_last_of("/\\");
    dir = slash == std::string::npos ? "." : dir.substr(0, slash);
    return dir + "/golden/renderer_" + name + ".bmp";
}

// 24-bit bottom-up BMP into rows of {r, g, b} bytes, top row first.
bool readBmp24(const std::string& path, int32_t* w, int32_t* h, std::vector<uint8_t>* rgb) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::vector<uint8_t> d;
    uint8_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) d.insert(d.end(), buf, buf + n);
    std::fclose(f);
    if (d.size() < 54 || d[0] != 'B' || d[1] != 'M' || picGet16(&d[28]) != 24) return false;
    const uint32_t off = picGet32(&d[10]);
    *w = int32_t(picGet32(&d[18]));
    *h = int32_t(picGet32(&d[22]));
    if (*w <= 0 || *h <= 0 || *w > 4096 || *h > 4096) return false;
    const size_t row = (size_t(*w) * 3 + 3) & ~size_t(3);
    if (off > d.size() || d.size() - off < row * size_t(*h)) return false;
    rgb->assign(size_t(*w) * *h * 3, 0);
    for (int32_t y = 0; y < *h; ++y)
        for (int32_t x = 0; x < *w; ++x) {
            const uint8_t* p = &d[off + size_t(*h - 1 - y) * row + size_t(x) * 3];
            uint8_t* q = &(*rgb)[(size_t(y) * *w + x) * 3];
            q[0] = p[2], q[1] = p[1], q[2] = p[0];
        }
    return true;
}

class Golden : public ::testing::TestWithParam<std::pair<const char*, uint32_t>> {
  protected:
    void SetUp() override { resetRenderState(); }
    void TearDown() override { resetRenderState(); }
};

TEST_P(Golden, MatchesTheReviewedPicture) {
    const auto [name, kind] = GetParam();
    const int32_t w = 96, h = 72;
    SampleScene scene;
    ASSERT_TRUE(sampleSceneCreate(&scene, w, h));
    PicRecord* frame = nullptr;
    ASSERT_EQ(fzCreate(w, h, 2, &frame), 1);
    fzDrawBackground(frame, nullptr, nullptr, &scene.cam, 1, 0);
    ScnRenderJob job{};
    job.camera = &scene.cam;
    job.target = frame;
    job.kind = kind;
    ScnNode* roots[2] = {scene.node, nullptr};
    ASSERT_EQ(scnRenderList(&job, roots, nullptr), 1);
    const std::string path = goldenPath(name);
    if (const char* update = std::getenv("QIV_UPDATE_GOLDEN"); update && *update == '1') {
        ASSERT_TRUE(sampleWriteBmp(path.c_str(), frame, w, h));
    }
    int32_t gw = 0, gh = 0;
    std::vector<uint8_t> golden;
    ASSERT_TRUE(readBmp24(path, &gw, &gh, &golden)) << path;
    ASSERT_EQ(gw, w);
    ASSERT_EQ(gh, h);
    // One unit of the frame's 5-bit channels; a handful of edge pixels may round the other way.
    int off = 0, worst = 0;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t v = picGet16(frame->pixels + (size_t(y) * frame->width + x) * 2);
            const int mine[3] = {int((v >> 10) & 31), int((v >> 5) & 31), int(v & 31)};
            bool bad = false;
            for (int c = 0; c < 3; ++c) {
                const int theirs = (golden[(size_t(y) * w + x) * 3 + c] * 31 + 127) / 255;
                const int d = std::abs(mine[c] - theirs);
                worst = std::max(worst, d);
                bad |= d > 1;
            }
            off += bad;
        }
    EXPECT_LE(off, w * h / 500) << name << ": " << off << " pixels differ, worst by " << worst;
    fzFree(&frame);
    sampleSceneFree(&scene);
}

INSTANTIATE_TEST_SUITE_P(Modes, Golden,
                         ::testing::Values(std::make_pair("wire", uint32_t(SCN_KIND_WIRE)),
                                           std::make_pair("hidden", uint32_t(SCN_KIND_HIDDEN)),
                                           std::make_pair("flat", uint32_t(SCN_KIND_FLAT)),
                                           std::make_pair("gouraud", uint32_t(SCN_KIND_GOURAUD_TEX))),
                         [](const auto& info) { return std::string(info.param.first); });

}  // namespace
