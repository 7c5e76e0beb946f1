#include "scene/quantise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "scene/engine.h"
#include "scene/tests/pic_builder.h"

namespace {

using picb::Pic;
using picb::expand5;
using picb::rgb555;

class QuantiseTest : public ::testing::Test {
protected:
    void SetUp() override { errReset(); }
};

TEST_F(QuantiseTest, FewColoursComeBackExactly) {
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

TEST_F(QuantiseTest, ManyColoursStayWithinTheCount) {
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

TEST_F(QuantiseTest, TrueColourCellCountSaturates) {
    // 2^23 pixels of one colour fill a cell's count bits exactly; the kept low bits survive.
    const uint32_t colour = 0x00A5C3E1;  // low bits 5, 3, 1
    Pic p(4096, 2048, 4);
    p.fill([&](int, int) { return colour; });
    std::vector<uint32_t> out(256);
    const uint32_t k = palFromImage(&p.rec, out.data(), 256);
    ASSERT_GE(k, 1u);
    EXPECT_NE(std::find(out.begin(), out.begin() + k, colour), out.begin() + k);
}

TEST_F(QuantiseTest, PaletteColoursMapWithoutDiffusion) {
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

TEST_F(QuantiseTest, DiffusedGradientKeepsItsMeanColour) {
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

TEST_F(QuantiseTest, MappingNeedsAPalette) {
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

}  // namespace
