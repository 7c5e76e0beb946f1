#include "render/span.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "raster_fixture.h"
#include "render/line.h"
#include "render/triangle.h"

using namespace raster;

namespace {

class Spans : public ::testing::Test {
protected:
    void SetUp() override { triResetState(); }
    void TearDown() override { triResetState(); }

    // A triangle covering most of a 16 x 16 target, every vertex with the same values.
    static void fill(Target& t, float z, float r, float g, float b, uint32_t flags, const TexPixelBlock* tex = nullptr,
                     float alpha = 0.0f) {
        PelVertex a = vertex(0, 0, z, r, g, b), c = vertex(15, 0, z, r, g, b), d = vertex(0, 15, z, r, g, b);
        spanSetTarget(t.pic());
        TriRecord tri = {&a, &c, &d, tex, alpha, flags};
        triFill16(&tri);
    }
};

// Per-pixel colour rules of the modes, checked at one interior pixel.
TEST_F(Spans, PixelRules) {
    // texel: red 200, green 100, blue 50
    Texture tex(2, 2, 0, {0x00C86432}, [](uint32_t, uint32_t, uint32_t) { return 0; });
    const uint32_t dst = (20u << 10) | (10u << 5) | 4u;  // frame colour under the triangle
    struct Case {
        const char* what;
        uint32_t flags;
        float alpha;
        uint32_t expect;
    };
    // light 0.5: fields 0x3C00 (15 << 10), 0x1E0 (15 << 5), 0xF
    const uint32_t R = 15u << 10, G = 15u << 5, B = 15u;
    const uint32_t texLit = ((200 * R) >> 8 & 0x7C00) | ((100 * G) >> 8 & 0x3E0) | ((50 * B) >> 8 & 0x1F);
    // gouraud accumulators round: 0.5 * 31 + 0.5 = 16 in each field
    const uint32_t R16 = 16u << 10, G16 = 16u << 5, B16 = 16u;
    const uint32_t texGouraud = ((200 * R16) >> 8 & 0x7C00) | ((100 * G16) >> 8 & 0x3E0) | ((50 * B16) >> 8 & 0x1F);
    // alpha 0.5: light fields 0x1C00 (7 << 10), 0xE0, 0x7; destination weight 128
    const uint32_t half = (((20u << 10) * 128) >> 8 & 0x7C00) | (((10u << 5) * 128) >> 8 & 0x3E0) | ((4u * 128) >> 8 & 0x1F);
    const uint32_t texBlend = ((200 * (7u << 10) + (20u << 10) * 128) >> 8 & 0x7C00) |
                              ((100 * (7u << 5) + (10u << 5) * 128) >> 8 & 0x3E0) | ((50 * 7u + 4u * 128) >> 8 & 0x1F);
    const Case cases[] = {
        {"flat", SPAN_DEPTH, 0, R | G | B},
        {"flat without depth", 0, 0, R | G | B},
        {"gouraud", SPAN_DEPTH | SPAN_GOURAUD, 0, R16 | G16 | B16},
        {"texture, flat light", SPAN_DEPTH | SPAN_TEXTURE, 0, texLit},
        {"texture, gouraud light", SPAN_DEPTH | SPAN_TEXTURE | SPAN_GOURAUD, 0, texGouraud},
        {"texture without depth", SPAN_TEXTURE, 0, texLit},
        {"blend flat", SPAN_DEPTH | SPAN_TRANSPARENT, 0.5f, half + ((7u << 10) | (7u << 5) | 7u)},
        {"blend texture", SPAN_DEPTH | SPAN_TRANSPARENT | SPAN_TEXTURE, 0.5f, texBlend},
    };
    for (const Case& k : cases) {
        Target t(16, 16, 2);
        t.set(3, 3, dst);
        fill(t, 100, 0.5f, 0.5f, 0.5f, k.flags, tex.block(), k.alpha);
        EXPECT_EQ(t.at(3, 3), k.expect) << k.what;
        const bool stores = (k.flags & SPAN_DEPTH) && !(k.flags & SPAN_TRANSPARENT);
        EXPECT_EQ(t.depth(3, 3), stores ? 100 : 32767) << k.what;
    }
}

// Gouraud colours multiply the texel through the upper half of each accumulator.
TEST_F(Spans, GouraudTextureUsesAccumulators) {
    Texture tex(2, 2, 0, {0x00FFFFFF}, [](uint32_t, uint32_t, uint32_t) { return 0; });
    Target t(16, 16, 2);
    fill(t, 0, 1.0f, 0.0f, 1.0f, SPAN_DEPTH | SPAN_GOURAUD | SPAN_TEXTURE, tex.block());
    // red 31 * 2^26 + 2^25: upper half 0x7E00, times 255 >> 8 = 0x7D81 -> field 0x7C00;
    // blue 31 * 2^16 + 2^15: upper half 31, times 255 >> 8 = 30
    EXPECT_EQ(t.at(3, 3), 0x7C00u | 30u);
}

// Transparent spans test the depth but never store it.
TEST_F(Spans, TransparencyRespectsDepth) {
    Target t(16, 16, 2);
    fill(t, 50, 1, 0, 0, SPAN_DEPTH);
    fill(t, 60, 0, 0, 1, SPAN_DEPTH | SPAN_TRANSPARENT, nullptr, 0.5f);
    EXPECT_EQ(t.at(3, 3), 0x7C00u) << "behind: unchanged";
    fill(t, 40, 0, 0, 1, SPAN_DEPTH | SPAN_TRANSPARENT, nullptr, 0.5f);
    EXPECT_NE(t.at(3, 3), 0x7C00u) << "in front: blended";
    EXPECT_EQ(t.depth(3, 3), 50);
}

// Colour key: a palette entry 0 leaves both planes alone; 0xFF000000 is drawn black.
TEST_F(Spans, ColourKey) {
    Texture tex(1, 0, 0, {0x00000000, 0xFF000000}, [](uint32_t, uint32_t x, uint32_t) { return x; });
    Target t(16, 16, 2);
    t.clear(0x1234, 32767);
    PelVertex a = vertex(0, 0, 7, 1, 1, 1, 0, 0), b = vertex(15, 0, 7, 1, 1, 1, 1, 0), c = vertex(0, 15, 7, 1, 1, 1, 0, 1);
    spanSetTarget(t.pic());
    for (uint32_t extra : {0u, uint32_t(SPAN_GOURAUD), uint32_t(SPAN_TRANSPARENT)}) {
        t.clear(0x1234, 32767);
        TriRecord tri = {&a, &b, &c, tex.block(), 0.5f, SPAN_DEPTH | SPAN_TEXTURE | SPAN_COLORKEY | extra};
        triFill16(&tri);
        // u = x / 15: column 0 left of x = 7.5, column 1 right of it
        EXPECT_EQ(t.at(2, 2), 0x1234u) << extra;
        EXPECT_EQ(t.depth(2, 2), 32767) << extra;
        if (!(extra & SPAN_TRANSPARENT)) {
            EXPECT_EQ(t.at(10, 2), 0u) << extra;
            EXPECT_EQ(t.depth(10, 2), 7) << extra;
        }
    }
}

// The lit-palette path gives the same pixels as per-pixel lighting.
TEST_F(Spans, LitPaletteMatchesPerPixelLight) {
    std::vector<uint32_t> pal;
    for (uint32_t i = 0; i < 256; ++i) pal.push_back(0x01000000u | (i << 16) | ((255 - i) << 8) | (i * 7 & 0xFF));
    Texture tex(4, 4, 0, pal, [](uint32_t, uint32_t x, uint32_t y) { return (x * 16 + y * 3) & 0xFF; });
    Target lit(40, 40, 2), plain(40, 40, 2);
    PelVertex a = vertex(0, 0, 0, 0.9f, 0.6f, 0.3f, 0, 0), b = vertex(39, 2, 0, 0.9f, 0.6f, 0.3f, 2, 0),
              c = vertex(3, 39, 0, 0.9f, 0.6f, 0.3f, 0, 2);
    spanSetTarget(lit.pic());
    TriRecord t1 = {&a, &b, &c, tex.block(), 0.0f, SPAN_DEPTH | SPAN_TEXTURE};
    triFill16(&t1);
    const uint32_t flat = (uint32_t(0.9f * 31744.0f) & 0x7C00) | (uint32_t(0.6f * 992.0f) & 0x3E0) | (uint32_t(0.3f * 31.0f) & 0x1F);
    ASSERT_NE(triLitTableFind(flat, tex.palette(), 1), nullptr) << "large flat textured face uses a lit table";
    spanSetTarget(plain.pic());
    TriRecord t2 = {&a, &b, &c, tex.block(), 0.0f, SPAN_DEPTH | SPAN_TEXTURE | SPAN_COLORKEY};  // no key texels
    triFill16(&t2);
    EXPECT_EQ(lit.pixels(), plain.pixels());
}

// A block freed and another made at the same address must not reuse the stale table.
TEST_F(Spans, LitPaletteNotStaleAfterFree) {
    auto draw = [](Texture& tex) {
        Target t(40, 40, 2);
        PelVertex a = vertex(0, 0, 0), b = vertex(39, 0, 0), c = vertex(0, 39, 0);
        spanSetTarget(t.pic());
        TriRecord tri = {&a, &b, &c, tex.block(), 0.0f, SPAN_DEPTH | SPAN_TEXTURE};
        triFill16(&tri);
        return t.at(5, 5);
    };
    Texture tex(2, 2, 0, {0x00FF0000}, [](uint32_t, uint32_t, uint32_t) { return 0; }, 1);
    const uint32_t red = draw(tex);
    EXPECT_EQ(red5(red), 30u);
    // the same memory made into a new block (new id) with a green palette
    tex.block()->id = 2;
    tex.palette()[0] = 0x0000FF00;
    const uint32_t green = draw(tex);
    EXPECT_EQ(red5(green), 0u);
    EXPECT_EQ(green5(green), 30u);
    // and the explicit release drops the entries of a block
    const uint16_t* table = triLitTableFind(0x7FFF, tex.palette(), 2);
    ASSERT_NE(table, nullptr);
    triLitTableForgetBlock(tex.block());
    EXPECT_EQ(triLitTableFind(0x7FFF, tex.palette(), 2), nullptr);
}

// The cache keeps 32 entries, most recent first; the 33rd displaces the oldest.
TEST_F(Spans, LitCacheOrder) {
    uint32_t palette[256] = {0x00FFFFFF};
    for (uint32_t c = 0; c < 33; ++c) triLitTableMake(c, palette, 1, 0);
    EXPECT_EQ(triLitTableFind(0, palette, 0), nullptr);
    const uint16_t* t1 = triLitTableFind(1, palette, 0);
    ASSERT_NE(t1, nullptr);
    triLitTableMake(99, palette, 1, 0);  // displaces colour 2 now, not 1
    EXPECT_NE(triLitTableFind(1, palette, 0), nullptr);
    EXPECT_EQ(triLitTableFind(2, palette, 0), nullptr);
    const uint16_t* t = triLitTableMake(0x7C00 | 0x3E0 | 0x1F, palette, 1, 5);
    EXPECT_EQ(t[0], ((255 * 0x7C00u) >> 8 & 0x7C00) | ((255 * 0x3E0u) >> 8 & 0x3E0) | ((255 * 0x1Fu) >> 8 & 0x1F));
}

// Routine tables: empty slots only where a routine would need a missing depth set-up.
TEST_F(Spans, Tables) {
    for (int slot = 0; slot < SPAN_ROW_SLOTS; ++slot)
        EXPECT_EQ(spanRowTable[slot] == nullptr, slot == 3 || slot == 7) << slot;
    EXPECT_EQ(spanRunTable[32], &spanIdZ);
    EXPECT_EQ(spanRunTable[33], nullptr);
    // four-pixel forms share the scalar bodies
    triSetMmx(1);
    Target a(16, 16, 2);
    fill(a, 5, 0.3f, 0.6f, 0.9f, SPAN_DEPTH | SPAN_GOURAUD);
    triSetMmx(0);
    Target b(16, 16, 2);
    fill(b, 5, 0.3f, 0.6f, 0.9f, SPAN_DEPTH | SPAN_GOURAUD);
    EXPECT_EQ(a.pixels(), b.pixels());
}

// Textures repeat: u by the column mask, v by 32-bit wrap, negative values included.
TEST_F(Spans, TextureRepeats) {
    Texture tex(2, 2, 0, {0x000000FF, 0x00FF0000}, [](uint32_t, uint32_t x, uint32_t y) { return (x + y) & 1; });
    Target t(40, 40, 2);
    // u from -3 to 7 across 40 pixels, v from 5 down to -5
    PelVertex a = vertex(0, 0, 0, 1, 1, 1, -3, 5), b = vertex(39, 0, 0, 1, 1, 1, 7, 5), c = vertex(0, 39, 0, 1, 1, 1, -3, -5);
    spanSetTarget(t.pic());
    TriRecord tri = {&a, &b, &c, tex.block(), 0.0f, SPAN_DEPTH | SPAN_TEXTURE};
    triFill16(&tri);
    for (int y = 1; y < 20; y += 3)
        for (int x = 1; x < 20; x += 3) {
            const double u = -3 + 10.0 * x / 39, v = 5 - 10.0 * y / 39;
            const int64_t tx = int64_t(std::floor(u * 4)) & 3, ty = int64_t(std::floor(v * 4)) & 3;
            const bool redTexel = ((tx + ty) & 1) != 0;
            EXPECT_EQ(red5(t.at(x, y)) != 0, redTexel) << x << "," << y;
        }
}

// While a hardware back end is set, triangles and lines go to it and the frame stays untouched.
TEST_F(Spans, HardwareHandOver) {
    static int triangles, edged, lines;
    triangles = edged = lines = 0;
    SpanHardware hw = {};
    hw.triangle = [](const TriRecord*) { ++triangles; };
    hw.triangleEdges = [](const TriRecord*, uint32_t) { ++edged; };
    hw.line = [](const float*, const float*, const float*, uint32_t, const LineRecord*) { ++lines; };
    spanSetHardware(&hw);
    Target t(16, 16, 2);
    fill(t, 0, 1, 1, 1, SPAN_DEPTH);
    PelVertex a = vertex(0, 0), b = vertex(9, 0), c = vertex(0, 9);
    TriRecord tri = {&a, &b, &c, nullptr, 0.0f, SPAN_DEPTH};
    triFillEdged(&tri, 7);
    triFillSubdiv16(&tri);
    const float p0[3] = {0, 0, 0}, p1[3] = {5, 5, 0};
    spanDrawLine(p0, p1, nullptr, 1, nullptr);
    EXPECT_EQ(triangles, 2);
    EXPECT_EQ(edged, 1);
    EXPECT_EQ(lines, 1);
    for (uint32_t p : t.pixels()) EXPECT_EQ(p, 0u);
    spanSetHardware(nullptr);
    fill(t, 0, 1, 1, 1, SPAN_DEPTH);
    EXPECT_NE(t.at(2, 2), 0u);
}

}  // namespace
