// Bitmap export rendered strip by strip: the strips together give the picture the same view
// rendered in one piece, by the scan-line renderer and by the ray tracer; cancel, write and
// render failures stop the export.
#include "exportrender.h"

#include <gtest/gtest.h>

#include <cstring>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "render/sample.h"

using namespace qivctl;

namespace {

class Sink : public ExportSink {
public:
    bool progress(int32_t percent) override {
        percents.push_back(percent);
        return cancelAt < 0 || int32_t(percents.size()) < cancelAt;
    }
    bool writeRows(const uint8_t* bytes, size_t size) override {
        ++writes;
        if (failWriteAt == writes) return false;
        rows.insert(rows.end(), bytes, bytes + size);
        return true;
    }
    std::vector<int32_t> percents;
    std::vector<uint8_t> rows;
    int cancelAt = -1, failWriteAt = -1, writes = 0;
};

// The plan drawn in one strip (the strip memory bound set aside).
ExportPlan onePiece(const ExportPlan& p) {
    ExportPlan one = p;
    one.stripRows = p.height;
    one.frameHeight = p.oversample * p.height;
    ExportStrip s = p.strips.front();
    s.rows = p.height;
    s.screenHeight = p.oversample * p.height;
    s.windowTop = p.strips.back().windowTop;
    s.percentShare = 100;
    one.strips = {s};
    return one;
}

// How two row sets of the same plan differ: pixels that differ, those that differ by more
// than one step of 5-bit colour (8 or 9) in a channel, and the most differing pixels in one row.
struct Difference {
    size_t pixels = 0, large = 0;
    int32_t worstRow = 0;
};
Difference differenceOf(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, const ExportPlan& p) {
    Difference d;
    for (int32_t y = 0; y < p.height; ++y) {
        int32_t row = 0;
        for (int32_t x = 0; x < p.width; ++x) {
            const size_t at = size_t(y) * p.rowBytes + size_t(x) * 3;
            int most = 0;
            for (int k = 0; k < 3; ++k) most = std::max(most, std::abs(int(a[at + k]) - int(b[at + k])));
            if (most == 0) continue;
            ++d.pixels, ++row;
            if (most > 9) ++d.large;
        }
        d.worstRow = std::max(d.worstRow, row);
    }
    return d;
}

// Strips join without a seam: few pixels differ from the one-piece picture, nearly all by one
// colour step (shading and edges sampled through other float steps), and no row stands out.
// perMille: differing pixels allowed; large: of them by more than a step, per ten thousand.
void expectSeamless(const std::vector<uint8_t>& strips, const std::vector<uint8_t>& whole, const ExportPlan& p,
                    size_t perMille = 1, size_t large = 1) {
    ASSERT_EQ(strips.size(), size_t(p.imageBytes));
    ASSERT_EQ(whole.size(), strips.size());
    const Difference d = differenceOf(strips, whole, p);
    const size_t all = size_t(p.width) * size_t(p.height);
    EXPECT_LE(d.pixels, all * perMille / 1000);
    EXPECT_LE(d.large, all * large / 10000);
    EXPECT_LE(d.worstRow, p.width / 20);
}

class ExportRender : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sampleSceneCreate(&scene_, 64, 64)); }
    void TearDown() override { sampleSceneFree(&scene_); }
    ExportScene sceneFor(const CamRecord& cam, bool rayTrace) {
        roots_[0] = scene_.node;
        ExportScene s;
        s.camera = &cam;
        s.roots = roots_;
        s.kind = 3;
        s.rayTrace = rayTrace;
        return s;
    }
    // The sample camera with the window shaped for w x h.
    CamRecord cameraFor(int32_t w, int32_t h) {
        CamRecord c = scene_.cam;
        c.winYMax = c.winXMax * float(h) / float(w);
        c.winYMin = -c.winYMax;
        return c;
    }
    // The plan rendered in its strips and in one piece.
    void renderBoth(const ExportPlan& plan, const CamRecord& cam, bool rayTrace, Sink* strips, Sink* whole) {
        ASSERT_EQ(renderExport(plan, sceneFor(cam, rayTrace), 2, *strips), ExportResult::Written);
        ASSERT_EQ(renderExport(onePiece(plan), sceneFor(cam, rayTrace), 2, *whole), ExportResult::Written);
    }
    SampleScene scene_;
    ScnNode* roots_[2] = {};
};

}  // namespace

// 2048 x 2048 in 4 strips of 512 rows (2-byte frame, no oversampling): the picture of the view
// in one piece, not uniform, with the object in the middle and the background at the corner.
TEST_F(ExportRender, StripsEqualOnePiece) {
    const CamRecord cam = cameraFor(2048, 2048);
    ExportPlan plan;
    ASSERT_TRUE(planExportFor({2048, 2048, 0, 2}, cam, &plan));
    ASSERT_EQ(plan.strips.size(), 4u);
    Sink strips, whole;
    renderBoth(plan, cam, false, &strips, &whole);
    expectSeamless(strips.rows, whole.rows, plan);
    EXPECT_EQ(strips.percents, (std::vector<int32_t>{0, 25, 50, 75}));
    const uint8_t* centre = &strips.rows[1024 * size_t(plan.rowBytes) + 1024 * 3];
    const uint8_t* corner = &strips.rows[0];
    EXPECT_NE(std::memcmp(centre, corner, 3), 0);
}

// Oversampled strips join as well; each is filtered on its own before its reduction, so that
// edge ramps the filter draws across a strip border end there.
TEST_F(ExportRender, OversampledStripsJoin) {
    const CamRecord cam = cameraFor(1024, 384);
    ExportPlan plan;
    ASSERT_TRUE(planExportFor({1024, 384, 2, 2}, cam, &plan));
    ASSERT_GT(plan.strips.size(), 4u);
    Sink strips, whole;
    renderBoth(plan, cam, false, &strips, &whole);
    expectSeamless(strips.rows, whole.rows, plan, 5, 10);
}

TEST_F(ExportRender, RayTracedStripsEqualOnePiece) {
    const CamRecord cam = cameraFor(2048, 2048);
    ExportPlan plan;
    ASSERT_TRUE(planExportFor({2048, 2048, 0, 2}, cam, &plan));
    Sink strips, whole;
    renderBoth(plan, cam, true, &strips, &whole);
    expectSeamless(strips.rows, whole.rows, plan);
    // The ray tracer reports its progress within each strip's share.
    ASSERT_GT(strips.percents.size(), 4u);
    for (size_t i = 1; i < strips.percents.size(); ++i) EXPECT_GE(strips.percents[i], strips.percents[i - 1]);
    EXPECT_LE(strips.percents.back(), 100);
}

// A cancel from the progress ends the export, also inside a ray trace; a failed write ends it
// with no further strip; a view whose camera cannot be built is a failed render.
TEST_F(ExportRender, CancelWriteAndRenderFailures) {
    const CamRecord cam = cameraFor(1024, 256);
    ExportPlan plan;
    ASSERT_TRUE(planExportFor({1024, 256, 2, 2}, cam, &plan));
    ASSERT_GT(plan.strips.size(), 3u);
    for (bool rayTrace : {false, true}) {
        Sink cancel;
        cancel.cancelAt = rayTrace ? 4 : 2;
        EXPECT_EQ(renderExport(plan, sceneFor(cam, rayTrace), 2, cancel), ExportResult::Cancelled);
        EXPECT_LE(cancel.writes, 1);
    }
    Sink write;
    write.failWriteAt = 2;
    EXPECT_EQ(renderExport(plan, sceneFor(cam, false), 2, write), ExportResult::WriteFailed);
    EXPECT_EQ(write.writes, 2);
    CamRecord broken = cam;
    broken.eye = broken.vrp;
    Sink render;
    EXPECT_EQ(renderExport(plan, sceneFor(broken, false), 2, render), ExportResult::RenderFailed);
    EXPECT_EQ(render.writes, 0);
}
