#include "render/line.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <set>
#include <utility>

#include "raster_fixture.h"
#include "render/triangle.h"

using namespace raster;

namespace {

using PixelSet = std::set<std::pair<int, int>>;

class Lines : public ::testing::Test {
protected:
    void SetUp() override { triResetState(); }
    void TearDown() override { triResetState(); }

    static PixelSet drawn(const Target& t, uint32_t background = 0) {
        PixelSet s;
        for (int y = 0; y < t.height(); ++y)
            for (int x = 0; x < t.width(); ++x)
                if (t.at(x, y) != background) s.insert({x, y});
        return s;
    }
    static void line(Target& t, float x0, float y0, float x1, float y1, const float* colour = kWhite,
                     uint32_t depth = 0, float z0 = 0, float z1 = 0, const LineRecord* rec = nullptr) {
        spanSetTarget(t.pic());
        const float p0[3] = {x0, y0, z0}, p1[3] = {x1, y1, z1};
        spanDrawLine(p0, p1, colour, depth, rec);
    }
    static constexpr float kWhite[3] = {1, 1, 1};
};

int64_t floorDiv(int64_t n, int64_t d) {
    int64_t q = n / d;
    return (n % d != 0 && ((n < 0) != (d < 0))) ? q - 1 : q;
}

// Reference DDA in exact integers for end points on a 1/8 grid: along the major axis every
// whole coordinate from the first end to the last, on the minor axis the nearest pixel
// (ties upward); a zero-length line is its point when that point is whole.
PixelSet reference(int64_t X0, int64_t Y0, int64_t X1, int64_t Y1, int w, int h) {
    PixelSet s;
    const bool xMajor = std::llabs(X1 - X0) > std::llabs(Y1 - Y0);
    int64_t a0 = xMajor ? X0 : Y0, a1 = xMajor ? X1 : Y1, b0 = xMajor ? Y0 : X0, b1 = xMajor ? Y1 : X1;
    if (a1 < a0) {
        std::swap(a0, a1);
        std::swap(b0, b1);
    }
    auto add = [&](int64_t major, int64_t minor) {
        const int64_t x = xMajor ? major : minor, y = xMajor ? minor : major;
        if (x >= 0 && y >= 0 && x < w && y < h) s.insert({int(x), int(y)});
    };
    const int64_t da = a1 - a0, db = b1 - b0;
    if (da == 0) {
        if (a0 % 8 == 0 && b0 % 8 == 0) add(a0 / 8, b0 / 8);
        return s;
    }
    for (int64_t m = -floorDiv(-a0, 8); m <= floorDiv(a1, 8); ++m)
        add(m, floorDiv(b0 * da + (8 * m - a0) * db + 4 * da, 8 * da));
    return s;
}

TEST_F(Lines, MatchReferenceDda) {
    constexpr int W = 48, H = 40;
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> inX(0, (W - 1) * 8), inY(0, (H - 1) * 8), out(-80, (W + 10) * 8);
    for (int k = 0; k < 400; ++k) {
        int64_t X0 = inX(rng), Y0 = inY(rng), X1 = inX(rng), Y1 = inY(rng);
        if (k % 4 == 1) Y1 = Y0;               // horizontal
        if (k % 4 == 2) X1 = X0 + (Y1 - Y0);   // 45 degrees
        if (k % 8 == 3) X0 = out(rng), Y0 = out(rng);  // reaching beyond the target
        if (k % 16 == 5) X0 &= ~7, Y0 &= ~7, X1 = X0 + 8 * (k % 3), Y1 = Y0;  // whole, short
        Target t(W, H, 2, false);
        line(t, X0 / 8.0f, Y0 / 8.0f, X1 / 8.0f, Y1 / 8.0f);
        ASSERT_EQ(drawn(t), reference(X0, Y0, X1, Y1, W, H))
            << "line " << k << ": " << X0 / 8.0 << "," << Y0 / 8.0 << " -> " << X1 / 8.0 << "," << Y1 / 8.0;
    }
}

TEST_F(Lines, Cases) {
    struct Case {
        const char* what;
        float x0, y0, x1, y1;
        PixelSet expect;
    };
    const Case cases[] = {
        {"horizontal", 2.0f, 3.0f, 5.0f, 3.0f, {{2, 3}, {3, 3}, {4, 3}, {5, 3}}},
        {"horizontal from 2.3", 2.3f, 3.0f, 5.0f, 3.0f, {{3, 3}, {4, 3}, {5, 3}}},
        {"zero length between pixels", 1.5f, 1.5f, 1.5f, 1.5f, {}},
        {"zero length on a pixel", 2.0f, 2.0f, 2.0f, 2.0f, {{2, 2}}},
        {"zero length at the first pixel", 0.0f, 0.0f, 0.0f, 0.0f, {{0, 0}}},
        {"45 degrees, one column per row", 1.0f, 1.0f, 4.0f, 4.0f, {{1, 1}, {2, 2}, {3, 3}, {4, 4}}},
        {"from the first pixel", 0.0f, 0.0f, 0.0f, 2.0f, {{0, 0}, {0, 1}, {0, 2}}},
        {"to the last pixel", 7.0f, 5.0f, 7.0f, 7.0f, {{7, 5}, {7, 6}, {7, 7}}},
        {"left of the target", -5.0f, 1.0f, 1.0f, 1.0f, {{0, 1}, {1, 1}}},
        {"far outside", -1e7f, -3.0f, 2e7f, -3.0f, {}},
        {"beyond 2^24", 0.0f, 0.0f, 3e7f, 1.0f, {}},
        {"not finite", 0.0f, 0.0f, std::nanf(""), 1.0f, {}},
    };
    for (const Case& k : cases) {
        Target t(8, 8, 2, false);
        line(t, k.x0, k.y0, k.x1, k.y1);
        EXPECT_EQ(drawn(t), k.expect) << k.what;
    }
    Target wide(8, 8, 4);
    line(wide, 0, 0, 7, 7);
    EXPECT_TRUE(drawn(wide).empty()) << "no lines on 4-byte targets";
}

TEST_F(Lines, DepthTest) {
    Target t(8, 8, 2);
    for (int x = 0; x < 8; ++x) t.pic()->depth[3 * 8 + x] = int16_t(x < 4 ? -100 : 100);
    line(t, 0, 3, 7, 3, kWhite, 1, 0, 0);
    EXPECT_EQ(drawn(t), (PixelSet{{4, 3}, {5, 3}, {6, 3}, {7, 3}}));
    EXPECT_EQ(t.depth(5, 3), 0);
    EXPECT_EQ(t.depth(1, 3), -100);
    // depth along the line: 0 at x = 0 to 700 at x = 7
    Target d(8, 8, 2);
    line(d, 0, 1, 7, 1, kWhite, 1, 0, 700);
    for (int x = 0; x < 8; ++x) EXPECT_NEAR(d.depth(x, 1), 100 * x, 1) << x;
    // saturated, never wrapped
    Target s(8, 8, 2);
    line(s, 0, 1, 7, 1, kWhite, 1, -50000, -50000);
    EXPECT_EQ(s.depth(3, 1), -32768);
}

TEST_F(Lines, Record) {
    const float black[3] = {0, 0, 0}, red[3] = {1, 0, 0};
    // gouraud from black to red along 8 pixels: red field rises to 31
    LineRecord g = {1, black, red, 0, 0, nullptr, 0, 0};
    Target t(8, 8, 2);
    line(t, 0, 0, 7, 0, nullptr, 0, 0, 0, &g);
    for (int x = 0; x < 8; ++x) EXPECT_NEAR(double(red5(t.at(x, 0))), 31.0 * x / 7, 1.0) << x;
    // drawn the other way round the colours follow their ends
    Target r(8, 8, 2);
    line(r, 7, 0, 0, 0, nullptr, 0, 0, 0, &g);
    EXPECT_EQ(r.at(0, 0) & 0x7C00, 0x7C00u);
    // transparency: half of the frame plus half of the colour, depth tested but not stored
    LineRecord half = {0, red, red, 0, 0, nullptr, 0, 0.5f};
    Target b(8, 8, 2);
    b.clear(0x001F, 32767);
    line(b, 0, 2, 7, 2, nullptr, 1, 10, 10, &half);
    EXPECT_EQ(b.at(3, 2), (15u << 10) | 15u);
    EXPECT_EQ(b.depth(3, 2), 32767);
    // a one-row texture with a colour key
    Texture tex(3, 0, 0, {0x00000000, 0x00FFFFFF}, [](uint32_t, uint32_t x, uint32_t) { return x & 1; });
    const float white[3] = {1, 1, 1};
    LineRecord tx = {0, white, white, 0.03f, 1.03f, tex.block(), 1, 0};
    Target c(8, 8, 2);
    c.clear(0x1234, 32767);
    line(c, 0, 4, 7, 4, nullptr, 0, 0, 0, &tx);
    for (int x = 0; x < 8; ++x) {
        const uint32_t col = uint32_t(8.0 * (0.03 + x / 7.0)) & 7;
        EXPECT_EQ(c.at(x, 4), (col & 1) ? 0x7BDEu : 0x1234u) << x;
    }
    // a texture word that is not a pixel block: nothing drawn
    tex.block()->magic = 0;
    Target n(8, 8, 2);
    line(n, 0, 4, 7, 4, nullptr, 0, 0, 0, &tx);
    EXPECT_TRUE(drawn(n).empty());
}

}  // namespace
