#include "render/triangle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "raster_fixture.h"
#include "scene/engine.h"

using namespace raster;

namespace {

class Triangles : public ::testing::Test {
protected:
    void SetUp() override { triResetState(); }
    void TearDown() override { triResetState(); }

    static void fill(PicRecord* pic, PelVertex a, PelVertex b, PelVertex c, uint32_t flags,
                     const TexPixelBlock* tex = nullptr, float alpha = 0.0f) {
        spanSetTarget(pic);
        TriRecord t = {&a, &b, &c, tex, alpha, flags};
        triFill16(&t);
    }
};

// A rectangle tiled by a jittered grid of triangles (vertices on a 1/16 grid): every
// triangle covers exactly the pixels of the exact fill rule, and the tiling covers every
// pixel centre of the interior once.
TEST_F(Triangles, JitteredGridCoversEachPixelOnce) {
    constexpr int W = 64, H = 48, NX = 8, NY = 6;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> jitter(-40, 40);  // sixteenths
    double gx[NX + 1][NY + 1], gy[NX + 1][NY + 1];
    for (int i = 0; i <= NX; ++i)
        for (int j = 0; j <= NY; ++j) {
            gx[i][j] = i * 7.5 + 3.0 + ((i > 0 && i < NX) ? jitter(rng) / 16.0 : 0.0);
            gy[i][j] = j * 7.0 + 2.0 + ((j > 0 && j < NY) ? jitter(rng) / 16.0 : 0.0);
            if (i % 3 == 1 && j % 2 == 1) {  // some vertices exactly on pixel centres
                gx[i][j] = std::round(gx[i][j]);
                gy[i][j] = std::round(gy[i][j]);
            }
        }
    struct Tri {
        double x[3], y[3];
    };
    std::vector<Tri> tris;
    for (int i = 0; i < NX; ++i)
        for (int j = 0; j < NY; ++j) {
            const double x00 = gx[i][j], y00 = gy[i][j], x10 = gx[i + 1][j], y10 = gy[i + 1][j];
            const double x01 = gx[i][j + 1], y01 = gy[i][j + 1], x11 = gx[i + 1][j + 1], y11 = gy[i + 1][j + 1];
            if ((i + j) % 2) {
                tris.push_back({{x00, x10, x11}, {y00, y10, y11}});
                tris.push_back({{x00, x11, x01}, {y00, y11, y01}});
            } else {
                tris.push_back({{x00, x10, x01}, {y00, y10, y01}});
                tris.push_back({{x10, x11, x01}, {y10, y11, y01}});
            }
        }
    // also shared edges that are exactly horizontal and vertical
    tris.push_back({{3.0, 10.0, 10.0}, {44.0, 44.0, 46.0}});
    tris.push_back({{3.0, 10.0, 3.0}, {44.0, 46.0, 46.0}});

    Target all(W, H, 2, false);
    Target one(W, H, 2, false);
    std::vector<int> count(W * H, 0);
    for (size_t k = 0; k < tris.size(); ++k) {
        const Tri& t = tris[k];
        const uint32_t id = uint32_t(k + 1);
        PelVertex v[3];
        for (int i = 0; i < 3; ++i) {
            v[i] = vertex(float(t.x[i]), float(t.y[i]));
            v[i].r = (float(red5(id)) + 0.5f) / 31.0f;  // truncated to the 5-bit field
            v[i].g = (float(green5(id)) + 0.5f) / 31.0f;
            v[i].b = (float(blue5(id)) + 0.5f) / 31.0f;
        }
        one.clear(0, 0);
        fill(one.pic(), v[0], v[1], v[2], 0);
        fill(all.pic(), v[0], v[1], v[2], 0);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const bool ref = refCovers(t.x, t.y, x, y);
                count[y * W + x] += ref;
                ASSERT_EQ(one.at(x, y) != 0, ref) << "triangle " << k << " pixel " << x << "," << y;
                if (ref) {
                    ASSERT_EQ(one.at(x, y), id) << "flat colour of triangle " << k;
                }
            }
    }
    // the reference tiles the interior exactly once, and the drawn ids agree with it
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const bool interior = x > 4 && x < 3 + NX * 7.5 - 2 && y > 3 && y < 2 + NY * 7 - 2;
            ASSERT_LE(count[y * W + x], 1) << x << "," << y;
            if (interior) {
                ASSERT_EQ(count[y * W + x], 1) << x << "," << y;
            }
        }
    for (size_t k = 0; k < tris.size(); ++k)
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                if (refCovers(tris[k].x, tris[k].y, x, y)) {
                    ASSERT_EQ(all.at(x, y), k + 1);
                }
}

// Small depth-tested Gouraud triangles (a few pixels wide and high, corners on a 1/16 grid,
// some on pixel centres, some with level or upright edges, some over the picture's edges)
// cover exactly the pixels of the fill rule, with the colours of the same triangles drawn by
// the blending routine at full weight.
TEST_F(Triangles, SmallGouraudTrianglesFollowTheFillRule) {
    constexpr int W = 24, H = 16;
    std::mt19937 rng(29);
    std::uniform_int_distribution<int> at(-7, (W - 1) * 16 + 7), up(-7, (H - 1) * 16 + 7);
    std::uniform_int_distribution<int> spread(0, 6 * 16), kind(0, 5);
    std::uniform_real_distribution<float> c01(0.0f, 1.0f), zr(-20000.0f, 20000.0f);
    Target opaque(W, H, 2), blended(W, H, 2);
    int drawn = 0;
    for (int k = 0; k < 3000; ++k) {
        double x[3], y[3];
        const int cx = at(rng), cy = up(rng);
        for (int i = 0; i < 3; ++i) {
            x[i] = std::clamp(cx + spread(rng) - 3 * 16, -7, (W - 1) * 16 + 7) / 16.0;
            y[i] = std::clamp(cy + spread(rng) - 3 * 16, -7, (H - 1) * 16 + 7) / 16.0;
        }
        switch (kind(rng)) {
            case 0: for (double& v : x) v = std::round(v); for (double& v : y) v = std::round(v); break;  // pixel centres
            case 1: y[1] = y[0]; break;  // a level edge
            case 2: x[2] = x[1]; break;  // an upright edge
            default: break;
        }
        PelVertex v[3];
        for (int i = 0; i < 3; ++i) v[i] = vertex(float(x[i]), float(y[i]), zr(rng), c01(rng), c01(rng), c01(rng));
        opaque.clear(0, 32767);
        blended.clear(0, 32767);
        fill(opaque.pic(), v[0], v[1], v[2], SPAN_DEPTH | SPAN_GOURAUD);
        fill(blended.pic(), v[0], v[1], v[2], SPAN_DEPTH | SPAN_GOURAUD | SPAN_TRANSPARENT, nullptr, 1.0f);
        for (int py = 0; py < H; ++py)
            for (int px = 0; px < W; ++px) {
                const bool covered = opaque.depth(px, py) != 32767;
                ASSERT_EQ(covered, refCovers(x, y, px, py)) << "triangle " << k << " pixel " << px << "," << py;
                drawn += covered;
            }
        ASSERT_EQ(opaque.pixels(), blended.pixels()) << "triangle " << k;
    }
    EXPECT_GT(drawn, 3000);
}

// Opaque overlapping triangles at separate depths give the same picture in either order;
// with equal depths the first one drawn keeps the pixel.
TEST_F(Triangles, DepthOrderIndependent) {
    constexpr int W = 40, H = 30;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> px(-0.4f, W - 0.6f), py(-0.4f, H - 0.6f), dz(0.0f, 400.0f);
    struct T {
        PelVertex v[3];
    };
    std::vector<T> tris;
    for (int k = 0; k < 12; ++k) {
        T t;
        const float base = -20000.0f + 3000.0f * float((k * 5) % 12);
        for (int i = 0; i < 3; ++i)
            t.v[i] = vertex(px(rng), py(rng), base + dz(rng), (k % 3) / 2.0f, (k % 4) / 3.0f, (k % 5) / 4.0f);
        tris.push_back(t);
    }
    Target forward(W, H, 2), backward(W, H, 2);
    for (size_t k = 0; k < tris.size(); ++k) {
        const T& t = tris[k];
        fill(forward.pic(), t.v[0], t.v[1], t.v[2], SPAN_DEPTH | SPAN_GOURAUD);
        const T& r = tris[tris.size() - 1 - k];
        fill(backward.pic(), r.v[0], r.v[1], r.v[2], SPAN_DEPTH | SPAN_GOURAUD);
    }
    EXPECT_EQ(forward.pixels(), backward.pixels());
    EXPECT_EQ(forward.depths(), backward.depths());

    Target same(8, 8, 2);
    fill(same.pic(), vertex(0, 0, 100, 1, 0, 0), vertex(7, 0, 100, 1, 0, 0), vertex(0, 7, 100, 1, 0, 0), SPAN_DEPTH);
    fill(same.pic(), vertex(0, 0, 100, 0, 0, 1), vertex(7, 0, 100, 0, 0, 1), vertex(0, 7, 100, 0, 0, 1), SPAN_DEPTH);
    EXPECT_EQ(same.at(1, 1), 0x7C00u) << "equal depth must not overwrite";
    EXPECT_EQ(same.depth(1, 1), 100);
}

// Colour fields and depths stay within one unit of the analytic planes.
TEST_F(Triangles, GouraudAndDepthFollowThePlanes) {
    constexpr int W = 96, H = 80;
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> c01(0.0f, 1.0f), zr(-30000.0f, 30000.0f);
    for (int trial = 0; trial < 4; ++trial) {
        Target t(W, H, 2);
        PelVertex v[3] = {vertex(2.25f, 1.5f, zr(rng), c01(rng), c01(rng), c01(rng)),
                          vertex(93.0f, 20.75f + trial, zr(rng), c01(rng), c01(rng), c01(rng)),
                          vertex(10.5f + 10 * trial, 78.0f, zr(rng), c01(rng), c01(rng), c01(rng))};
        fill(t.pic(), v[0], v[1], v[2], SPAN_DEPTH | SPAN_GOURAUD);
        // barycentric reference in double
        const double x0 = v[0].sx, y0 = v[0].sy, x1 = v[1].sx, y1 = v[1].sy, x2 = v[2].sx, y2 = v[2].sy;
        const double den = (y1 - y2) * (x0 - x2) + (x2 - x1) * (y0 - y2);
        int covered = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const double l0 = ((y1 - y2) * (x - x2) + (x2 - x1) * (y - y2)) / den;
                const double l1 = ((y2 - y0) * (x - x2) + (x0 - x2) * (y - y2)) / den;
                const double l2 = 1.0 - l0 - l1;
                if (t.depth(x, y) == 32767) continue;
                ++covered;
                ASSERT_GE(std::min({l0, l1, l2}), -1e-9) << "pixel outside drawn";
                auto plane = [&](float PelVertex::*f) { return l0 * (v[0].*f) + l1 * (v[1].*f) + l2 * (v[2].*f); };
                const uint32_t c = t.at(x, y);
                EXPECT_NEAR(double(red5(c)), plane(&PelVertex::r) * 31.0, 1.0);
                EXPECT_NEAR(double(green5(c)), plane(&PelVertex::g) * 31.0, 1.0);
                EXPECT_NEAR(double(blue5(c)), plane(&PelVertex::b) * 31.0, 1.0);
                EXPECT_NEAR(double(t.depth(x, y)), plane(&PelVertex::sz), 1.0);
            }
        EXPECT_GT(covered, 1000);
    }
}

// An affinely mapped checkerboard square, repeated and shifted, is pixel exact.
TEST_F(Triangles, AffineCheckerboardIsExact) {
    const std::vector<uint32_t> palette = {0x00FFFFFF, 0x00000000, 0x00FF0000, 0x000000FF};
    Texture tex(3, 3, 0, palette, [](uint32_t, uint32_t x, uint32_t y) { return ((x ^ y) & 1) + ((y & 4) ? 2 : 0); });
    struct Case {
        float u0, u1, v0, v1;
    };
    const Case cases[] = {{0, 1, 0, 1}, {0, 2, 0, 3}, {-1, 1, 2, 0}};
    auto lit = [](uint32_t texel) {  // white flat light
        return ((((texel >> 16) & 0xFF) * 0x7C00) >> 8 & 0x7C00) | ((((texel >> 8) & 0xFF) * 0x3E0) >> 8 & 0x3E0) |
               (((texel & 0xFF) * 0x1F) >> 8 & 0x1F);
    };
    for (const Case& k : cases) {
        Target t(70, 70, 2);
        // square with corners at half pixels: pixel centres never fall on texel borders
        const float a = 0.5f, b = 64.5f;
        PelVertex p00 = vertex(a, a, 0, 1, 1, 1, k.u0, k.v0), p10 = vertex(b, a, 0, 1, 1, 1, k.u1, k.v0);
        PelVertex p01 = vertex(a, b, 0, 1, 1, 1, k.u0, k.v1), p11 = vertex(b, b, 0, 1, 1, 1, k.u1, k.v1);
        fill(t.pic(), p00, p10, p11, SPAN_DEPTH | SPAN_TEXTURE, tex.block());
        fill(t.pic(), p00, p11, p01, SPAN_DEPTH | SPAN_TEXTURE, tex.block());
        for (int y = 1; y <= 64; ++y)
            for (int x = 1; x <= 64; ++x) {
                const double u = k.u0 + (k.u1 - k.u0) * (x - 0.5) / 64.0, v = k.v0 + (k.v1 - k.v0) * (y - 0.5) / 64.0;
                const int64_t tx = int64_t(std::floor(u * 8)) & 7, ty = int64_t(std::floor(v * 8)) & 7;
                const uint32_t texel = palette[((tx ^ ty) & 1) + ((ty & 4) ? 2 : 0)];
                ASSERT_EQ(t.at(x, y), lit(texel)) << x << "," << y << " u " << k.u0 << ".." << k.u1;
            }
    }
}

// Triangles reaching more than 0.49 pixel beyond the target are dropped whole; NaN too.
TEST_F(Triangles, BoundsTest) {
    struct Case {
        float x, y;
        bool drawn;
    };
    const float nan = std::nanf("");
    const Case cases[] = {{-0.49f, 3, true}, {-0.5f, 3, false}, {15.49f, 3, true}, {15.5f, 3, false},
                          {3, -0.49f, true}, {3, 11.5f, false}, {nan, 3, false}};
    for (const Case& k : cases) {
        Target t(16, 12, 2);
        fill(t.pic(), vertex(k.x, k.y), vertex(8, 8), vertex(2, 9), SPAN_DEPTH);
        bool any = false;
        for (uint32_t p : t.pixels()) any |= p != 0;
        EXPECT_EQ(any, k.drawn) << k.x << "," << k.y;
    }
}

// Depth products are formed in 64 bits and stored depths saturate (never wrap).
TEST_F(Triangles, DepthSaturates) {
    Target t(16, 16, 2);
    fill(t.pic(), vertex(0, 0, -40000.0f, 1, 0, 0), vertex(15, 0, -40000.0f, 1, 0, 0), vertex(0, 15, -40000.0f, 1, 0, 0),
         SPAN_DEPTH);
    EXPECT_EQ(t.depth(2, 2), -32768);
    EXPECT_EQ(t.at(2, 2), 0x7C00u);
    fill(t.pic(), vertex(0, 0, -32000.0f, 0, 1, 0), vertex(15, 0, -32000.0f, 0, 1, 0), vertex(0, 15, -32000.0f, 0, 1, 0),
         SPAN_DEPTH);
    EXPECT_EQ(t.at(2, 2), 0x7C00u) << "a nearer saturated depth must still win";
    Target far(16, 16, 2);
    fill(far.pic(), vertex(0, 0, 1e9f), vertex(15, 0, 1e9f), vertex(0, 15, 1e9f), SPAN_DEPTH);
    EXPECT_EQ(far.at(2, 2), 0u) << "beyond the far value nothing is drawn";
}

// The 32-bit id family: only id triangles, depth-tested, the mip level in the top bits.
TEST_F(Triangles, IdTriangles) {
    Target t(16, 16, 4);
    spanSetTarget(t.pic());
    PelVertex a = vertex(0, 0, 10), b = vertex(15, 0, 10), c = vertex(0, 15, 10);
    setId(a, 0x123456);
    TriRecord plain = {&a, &b, &c, nullptr, 0.0f, SPAN_DEPTH};
    triFillId32(&plain);
    EXPECT_EQ(t.at(1, 1), 0u) << "no id flag: nothing drawn";
    TriRecord vis = {&a, &b, &c, nullptr, 0.0f, SPAN_DEPTH | SPAN_VISID};
    triFillId32(&vis);
    EXPECT_EQ(t.at(1, 1), 0x123456u);
    EXPECT_EQ(t.depth(1, 1), 10);

    // level from the texture gradients: a 1024 x 1024 chain shrunk to a few pixels
    Texture big(10, 10, 10, {0xFFFFFF}, [](uint32_t, uint32_t, uint32_t) { return 0; });
    PelVertex d = vertex(0, 0, 5, 0, 0, 0, 0, 0), e = vertex(15, 0, 5, 0, 0, 0, 4000, 0), f = vertex(0, 15, 5, 0, 0, 0, 0, 4000);
    setId(d, 0x42);
    TriRecord ray = {&d, &e, &f, big.block(), 0.0f, SPAN_DEPTH | SPAN_RAYID | SPAN_TEXTURE};
    triFillId32(&ray);
    EXPECT_EQ(t.at(1, 1), (7u << 29) | 0x42u);
}

// Gouraud texture without depth has no routine: refused, nothing touched.
TEST_F(Triangles, CombinationWithoutRoutineIsRefused) {
    Texture tex(2, 2, 0, {0xFFFFFF}, [](uint32_t, uint32_t, uint32_t) { return 0; });
    Target t(16, 16, 2, false);
    fill(t.pic(), vertex(0, 0), vertex(15, 0), vertex(0, 15), SPAN_GOURAUD | SPAN_TEXTURE, tex.block());
    for (uint32_t p : t.pixels()) ASSERT_EQ(p, 0u);
    // the same triangle with plain texture draws
    fill(t.pic(), vertex(0, 0), vertex(15, 0), vertex(0, 15), SPAN_TEXTURE, tex.block());
    EXPECT_NE(t.at(1, 1), 0u);
}

// Hidden-line faces: bounds-tested like the other entries; visible edges give up half a pixel.
TEST_F(Triangles, EdgedFace) {
    Target t(20, 20, 2);
    spanSetTarget(t.pic());
    PelVertex a = vertex(-30, -30, 0), b = vertex(60, 2, 0), c = vertex(2, 60, 0);
    TriRecord out = {&a, &b, &c, nullptr, 0.0f, 0};
    triFillEdged(&out, 7);
    for (uint32_t p : t.pixels()) ASSERT_EQ(p, 0u) << "a face beyond the target is dropped";

    // with every edge visible the face keeps half a pixel off each edge: the pixels on the
    // inclusive diagonal x + y = 19 are left to the lines
    PelVertex p = vertex(2, 2, 0), q = vertex(17, 2, 0), r = vertex(2, 17, 0);
    TriRecord full = {&p, &q, &r, nullptr, 0.0f, 0};
    triFillEdged(&full, 0);
    int plain = 0;
    for (uint32_t v : t.pixels()) plain += v != 0;
    Target e(20, 20, 2);
    spanSetTarget(e.pic());
    triFillEdged(&full, 7);
    int edged = 0;
    for (uint32_t v : e.pixels()) edged += v != 0;
    EXPECT_GT(edged, 0);
    EXPECT_LT(edged, plain);
    EXPECT_EQ(e.at(3, 3), 0x7FFFu) << "interior filled white";
    EXPECT_EQ(t.at(9, 10), 0x7FFFu);
    EXPECT_EQ(e.at(9, 10), 0u) << "pixel on the diagonal stays free";
    EXPECT_EQ(e.at(8, 10), 0x7FFFu);
    triSetGhostFlag(1);
    Target g(20, 20, 2);
    spanSetTarget(g.pic());
    triFillEdged(&full, 0);
    EXPECT_EQ(g.at(5, 5), 0u) << "ghost flag: nothing drawn";
}

// Subdivision: u wrap in place, unsplit when flat, a bounded depth on runaway input, and
// perspective-correct texels.
TEST_F(Triangles, Subdivision) {
    PelVertex a = vertex(0, 0, 0, 1, 1, 1, 0.9f), b = vertex(5, 0, 0, 1, 1, 1, 0.1f), c = vertex(0, 5, 0, 1, 1, 1, 0.2f);
    Texture tex(3, 3, 0, {0xFFFFFF, 0x0000FF}, [](uint32_t, uint32_t x, uint32_t) { return x & 1; });
    Target t(64, 64, 2);
    spanSetTarget(t.pic());
    TriRecord wrap = {&a, &b, &c, tex.block(), 0.0f, SPAN_DEPTH | SPAN_TEXTURE | SPAN_WRAPU};
    triFillSubdiv16(&wrap);
    EXPECT_FLOAT_EQ(a.eu, 0.9f);
    EXPECT_FLOAT_EQ(b.eu, 1.1f);
    EXPECT_FLOAT_EQ(c.eu, 1.2f);

    PelVertex m;
    PelVertex e0 = vertex(0, 0, 0, 1, 1, 1, 0, 0, 1.0f), e1 = vertex(40, 0, 0, 1, 1, 1, 1, 0, 1.05f);
    EXPECT_EQ(triEdgeMidpoint(&e0, &e1, &m, 0, &e0), 0) << "midpoint within 2 pixels";
    e1.sw = 3.0f;
    ASSERT_EQ(triEdgeMidpoint(&e0, &e1, &m, 0, &e0), 1);
    EXPECT_FLOAT_EQ(m.sx, 30.0f);
    EXPECT_FLOAT_EQ(m.sw, 2.0f);
    EXPECT_FLOAT_EQ(m.eu, 0.5f);

    // huge screen coordinates with unequal w would split without end
    PelVertex h0 = vertex(0, 0, 0, 1, 1, 1, 0, 0, 1), h1 = vertex(1e30f, 0, 0, 1, 1, 1, 1, 0, 2),
              h2 = vertex(0, 1e30f, 0, 1, 1, 1, 0, 1, 3);
    TriRecord runaway = {&h0, &h1, &h2, tex.block(), 0.0f, SPAN_DEPTH | SPAN_TEXTURE};
    triFillSubdiv16(&runaway);  // returns

    // a floor in perspective: texel columns follow u/w, not screen x
    Texture ramp(6, 0, 0, [] {
        std::vector<uint32_t> p(64);
        for (uint32_t i = 0; i < 64; ++i) p[i] = i * 4;  // blue = 4 * column
        return p;
    }(), [](uint32_t, uint32_t x, uint32_t) { return x; });
    Target f(64, 8, 2);
    spanSetTarget(f.pic());
    // left end at w = 1, right end at w = 8: screen x = X / w of a strip from X = 0 to 8 * 63
    PelVertex l0 = vertex(0, 0, 0, 1, 1, 1, 0, 0, 1), r0 = vertex(63, 0, 0, 1, 1, 1, 1, 0, 8);
    PelVertex l1 = vertex(0, 7, 0, 1, 1, 1, 0, 1, 1), r1 = vertex(63, 7, 0, 1, 1, 1, 1, 1, 8);
    TriRecord s1 = {&l0, &r0, &r1, ramp.block(), 0.0f, SPAN_DEPTH | SPAN_TEXTURE};
    TriRecord s2 = {&l0, &r1, &l1, ramp.block(), 0.0f, SPAN_DEPTH | SPAN_TEXTURE};
    triFillSubdiv16(&s1);
    triFillSubdiv16(&s2);
    for (int x = 4; x < 60; x += 5) {
        // screen x = (t * 504) / (1 + 7 t)  ->  t = x / (504 - 7 x)
        const double tt = x / (504.0 - 7.0 * x);
        const double col = tt * 64.0;
        const double got = double((f.at(x, 3) & 0x1F) * 256 / 31) / 4.0;  // blue back to a column
        EXPECT_NEAR(got, col, 4.0) << "x " << x;
    }
}

// 2D entries: y counted from the bottom, the colour word expanded, the mask blend per channel.
TEST_F(Triangles, TwoDimensional) {
    const float p0[4] = {0, 0, 0, 0}, p1[4] = {7, 0, 1, 0}, p2[4] = {0, 7, 0, 1};
    Target t(8, 8, 2, false);
    triFill2D(p0, p1, p2, nullptr, 0x7C00, t.pic());
    EXPECT_EQ(spanGetTarget(), t.pic());
    EXPECT_EQ(t.at(1, 6), 30u << 10) << "248 / 255 of full red, truncated";
    EXPECT_EQ(t.at(6, 1), 0u) << "drawn upside down";

    Texture a(1, 1, 0, {0x00FF0000}, [](uint32_t, uint32_t, uint32_t) { return 0; });
    Texture b(1, 1, 0, {0x80000000}, [](uint32_t, uint32_t, uint32_t) { return 0; });
    Target w(8, 8, 4, false);
    w.clear(0x110000FF, 0);
    triFillMasked2D(p0, p1, p2, a.block(), b.block(), w.pic());
    // each channel d + (a - d) * 128 / 256
    EXPECT_EQ(w.at(1, 6), 0x117F0080u);
    Target h(8, 8, 2, false);
    h.clear(0x001F, 0);
    triFillMasked2D(p0, p1, p2, a.block(), b.block(), h.pic());
    // red 0 + 255 * 128 / 256 = 127 -> 15; blue 248 - 248 / 2 = 124 -> 15
    EXPECT_EQ(h.at(1, 6), (15u << 10) | 15u);
    Texture small(0, 0, 0, {0x80000000}, [](uint32_t, uint32_t, uint32_t) { return 0; });
    Target n(8, 8, 4, false);
    triFillMasked2D(p0, p1, p2, a.block(), small.block(), n.pic());
    EXPECT_EQ(n.at(1, 6), 0u) << "different sizes: nothing drawn";
}

}  // namespace
