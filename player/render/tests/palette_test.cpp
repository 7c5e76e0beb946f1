#include "render/palette.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "scene/engine.h"
#include "scene/tests/pic_builder.h"

namespace {

using picb::Pic;
using picb::rgb555;

class PaletteTest : public ::testing::Test {
protected:
    void SetUp() override { errReset(); }
};

TEST_F(PaletteTest, DisplayEntriesChosenThenFixedThenRandom) {
    Pic p(10, 1, 2);
    p.fill([](int x, int) { return rgb555(uint32_t(x + 1), uint32_t(2 * x + 1), 31 - uint32_t(x)); });
    PalDisplayEntry entries[256];
    uint32_t count = 0;
    uint32_t* colours = nullptr;
    ASSERT_EQ(palBuildDisplayEntries(&p.rec, entries, &count, &colours), 1);
    ASSERT_EQ(count, 10u);
    ASSERT_NE(colours, nullptr);
    for (uint32_t i = 0; i < 10; ++i) {
        EXPECT_EQ(entries[i].red, (colours[i] >> 16) & 255);
        EXPECT_EQ(entries[i].blue, colours[i] & 255);
    }
    for (uint32_t i = 0; i < PAL_FIXED_COUNT; ++i) {
        EXPECT_EQ(entries[10 + i].red, palFixedColours[i].red);
        EXPECT_EQ(entries[10 + i].green, palFixedColours[i].green);
    }
    EXPECT_EQ(entries[10 + 7].red, 255);  // white
    for (const PalDisplayEntry& e : entries) EXPECT_EQ(e.flags, 1);
    memFree(colours);

    Pic bad(1, 1, 1);
    EXPECT_EQ(palBuildDisplayEntries(&bad.rec, entries, &count, &colours), 0);
    EXPECT_EQ(colours, nullptr);
    EXPECT_EQ(count, 0u);
}

// --- depth-tested fill -----------------------------------------------------------------------

struct Target {
    std::vector<uint8_t> px;
    std::vector<int16_t> z;
    PicRecord rec{};
    Target(int w, int h, uint32_t bpp) : px(size_t(w) * h * bpp), z(size_t(w) * h, 32767) {
        rec.pixels = px.data();
        rec.depth = z.data();
        rec.width = w;
        rec.height = h;
        rec.bytesPerPixel = bpp;
    }
};

PicRecord* g_current = nullptr;
PicRecord* currentTarget() { return g_current; }

TEST_F(PaletteTest, DepthFillSaturatesAndTests) {
    Target t(4, 3, 2);
    g_current = &t.rec;
    fzSetTargetSource(currentTarget);
    const IRect all{0, 0, 4, 3};
    // Beyond the far value: nothing is nearer than the cleared depth, nothing is written.
    ASSERT_EQ(fzFillRectDepth(&all, 40000.0f, 1, 1, 1), 1);
    EXPECT_EQ(t.z[0], 32767);
    EXPECT_EQ(picGet16(t.px.data()), 0);

    const IRect inner{1, 1, 2, 1};
    ASSERT_EQ(fzFillRectDepth(&inner, 100.5f, 1.0f, 0.5f, 0.0f), 1);
    EXPECT_EQ(t.z[5], 100);
    EXPECT_EQ(picGet16(t.px.data() + 2 * 5), 0x7C00 | (uint32_t(0.5f * 992) & 0x3E0));
    EXPECT_EQ(t.z[4], 32767);
    // A farther fill does not cover it; a nearer one below the 16-bit range saturates.
    ASSERT_EQ(fzFillRectDepth(&inner, 200.0f, 0, 0, 1), 1);
    EXPECT_EQ(t.z[5], 100);
    ASSERT_EQ(fzFillRectDepth(&all, -40000.0f, 0, 0, 1), 1);
    EXPECT_EQ(t.z[5], -32767);  // the nearest depth
    EXPECT_EQ(picGet16(t.px.data() + 2 * 5), 31);

    Target wide(2, 2, 4);
    const IRect outside{-5, -5, 100, 100};  // clipped to the target
    ASSERT_EQ(fzFillRectDepthOn(&wide.rec, &outside, 0.0f, 1.0f, 0.0f, 0.5f), 1);
    EXPECT_EQ(picGet32(wide.px.data() + 12), 0x00FF007Fu);
    g_current = nullptr;
    EXPECT_EQ(fzFillRectDepth(&all, 0.0f, 0, 0, 0), 0);
    fzSetTargetSource(nullptr);
}

}  // namespace
