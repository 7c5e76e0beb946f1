#include "render/palette.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <vector>

#include "scene/engine.h"

namespace {

// A picture owned by the test.
struct Pic {
    std::vector<uint8_t> px;
    std::vector<uint32_t> pal;
    PicRecord rec{};
    Pic(int w, int h, uint32_t bpp, size_t bytes = 0) : px(bytes ? bytes : size_t(w) * h * bpp) {
        rec.pixels = px.data();
        rec.width = w;
        rec.height = h;
        rec.bytesPerPixel = bpp;
    }
    void fill(const std::function<uint32_t(int, int)>& f) {
        for (int y = 0; y < rec.height; ++y)
            for (int x = 0; x < rec.width; ++x) {
                uint8_t* p = px.data() + (size_t(y) * rec.width + x) * rec.bytesPerPixel;
                if (rec.bytesPerPixel == 2)
                    picPut16(p, f(x, y));
                else
                    picPut32(p, f(x, y));
            }
    }
    void setPalette(std::vector<uint32_t> colours) {
        pal = std::move(colours);
        rec.palette = pal.data();
        rec.paletteCount = uint32_t(pal.size());
    }
};

uint32_t rgb555(uint32_t r5, uint32_t g5, uint32_t b5) { return (r5 << 10) | (g5 << 5) | b5; }
uint32_t expand5(uint32_t c5) { return c5 * 8 + c5 / 4; }

class PaletteTest : public ::testing::Test {
protected:
    void SetUp() override { errReset(); }
};

TEST_F(PaletteTest, FewColoursComeBackExactly) {
    struct Case {
        const char* name;
        std::vector<uint32_t> pixels;  // RGB555
        uint32_t n;
        std::vector<uint32_t> colours;
    };
    const uint32_t a = rgb555(3, 17, 29), b = rgb555(30, 2, 9);
    const auto word = [](uint32_t v) {
        return (expand5(v >> 10) << 16) | (expand5((v >> 5) & 31) << 8) | expand5(v & 31);
    };
    const Case cases[] = {
        {"one colour", {a, a, a, a}, 256, {word(a)}},
        {"two colours, n = 2", {a, b, b, a}, 2, {word(a), word(b)}},
        {"black first", {0, a, 0, a}, 256, {0, word(a)}},
        {"black only", {0, 0, 0, 0}, 256, {0}},
        {"black and one colour, n = 1", {0, a, 0, a}, 1, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pic p(2, 2, 2);
        p.fill([&](int x, int y) { return c.pixels[size_t(y * 2 + x)]; });
        std::vector<uint32_t> out(c.n + 1, 0xDEADBEEF);
        const uint32_t k = palFromImage(&p.rec, out.data(), c.n);
        ASSERT_EQ(k, c.colours.size());
        EXPECT_EQ(std::vector<uint32_t>(out.begin(), out.begin() + k), c.colours);
        EXPECT_EQ(out[c.n], 0xDEADBEEFu);  // nothing written past n
    }
}

TEST_F(PaletteTest, ManyColoursStayWithinTheCount) {
    Pic p(64, 64, 4);
    p.fill([](int x, int y) { return uint32_t(x * 4) << 16 | uint32_t(y * 4) << 8 | uint32_t((x ^ y) * 4); });
    for (uint32_t n : {1u, 7u, 256u}) {
        std::vector<uint32_t> out(n + 1, 0xDEADBEEF);
        const uint32_t k = palFromImage(&p.rec, out.data(), n);
        EXPECT_EQ(k, n);
        EXPECT_EQ(out[n], 0xDEADBEEFu);
        EXPECT_EQ(std::set<uint32_t>(out.begin(), out.begin() + k).size(), k) << "colours repeat";
    }
    uint32_t out[4];
    p.rec.bytesPerPixel = 1;
    EXPECT_EQ(palFromImage(&p.rec, out, 4), 0u);
}

TEST_F(PaletteTest, TrueColourCellCountSaturates) {
    // 2^23 pixels of one colour fill a cell's count bits exactly; the kept low bits survive.
    const uint32_t colour = 0x00A5C3E1;  // low bits 5, 3, 1
    Pic p(4096, 2048, 4);
    p.fill([&](int, int) { return colour; });
    std::vector<uint32_t> out(256);
    const uint32_t k = palFromImage(&p.rec, out.data(), 256);
    ASSERT_GE(k, 1u);
    EXPECT_NE(std::find(out.begin(), out.begin() + k, colour), out.begin() + k);
}

TEST_F(PaletteTest, PaletteColoursMapWithoutDiffusion) {
    Pic src(5, 3, 4);
    const std::vector<uint32_t> colours = {0x00102030, 0x00F0E0D0, 0x00808080, 0x00FF0000};
    src.fill([&](int x, int y) { return colours[size_t(x + y) % 4]; });
    Pic dst(5, 3, 1, 8 * 3);
    dst.setPalette(colours);
    ASSERT_EQ(palMapImage(&src.rec, &dst.rec, 3), 1);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(dst.px[size_t(y * 8 + x)], (x + y) % 4) << x << "," << y;
    for (int y = 0; y < 3; ++y)
        for (int x = 5; x < 8; ++x) EXPECT_EQ(dst.px[size_t(y * 8 + x)], 0) << "row padding written";
}

TEST_F(PaletteTest, DiffusedGradientKeepsItsMeanColour) {
    // Greys 70..130 (mean 100) on a palette of 40 and 200: the nearest colour alone gives ~67.
    const int w = 61, h = 40;
    for (uint32_t bpp : {2u, 4u}) {
        SCOPED_TRACE(bpp);
        Pic src(w, h, bpp);
        src.fill([&](int x, int) {
            const uint32_t g = uint32_t(70 + x);
            return bpp == 4 ? (g << 16 | g << 8 | g) : rgb555(g >> 3, g >> 3, g >> 3);
        });
        double sourceMean = 0;
        for (int x = 0; x < w; ++x) sourceMean += bpp == 4 ? 70 + x : ((70 + x) & 0xF8);
        sourceMean /= w;
        Pic dst(w, h, 1);
        dst.setPalette({0x00282828, 0x00C8C8C8});
        ASSERT_EQ(palMapImage(&src.rec, &dst.rec, 0), 1);
        double mean = 0;
        for (uint8_t i : dst.px) mean += (dst.pal[i] & 255);
        mean /= double(w) * h;
        EXPECT_NEAR(mean, sourceMean, 4.0);
    }
}

TEST_F(PaletteTest, MappingNeedsAPalette) {
    Pic src(2, 2, 2), dst(2, 2, 1);
    dst.setPalette({});
    uint32_t dummy = 0x00FFFFFF;
    dst.rec.palette = &dummy;  // a pointer without entries
    EXPECT_EQ(palMapImage(&src.rec, &dst.rec, 0), 0);
    EXPECT_GE(errQueueSize(), 1u);
    dst.rec.palette = nullptr;
    dst.rec.paletteCount = 4;
    EXPECT_EQ(palMapImage(&src.rec, &dst.rec, 0), 0);
}

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
