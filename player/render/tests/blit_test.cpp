#include "render/blit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "render/fzbuffer.h"
#include "render/updregion.h"
#include "scene/engine.h"

namespace {

std::vector<FzBlitCall> g_calls;
std::vector<std::vector<uint8_t>> g_headers;
int g_answer = 1;

int recordBlit(const FzBlitCall* call) {
    g_calls.push_back(*call);
    g_headers.emplace_back(call->header, call->header + FZ_DIB_HEADER_BYTES);
    return g_answer;
}

int FZ_PLATFORM_CALL fakeDrawDib(void*, void*, int, int, int, int, void*, void*, int, int, int, int, uint32_t) {
    return 1;
}

int g_dxActive = 0;
int dxActive() { return g_dxActive; }

struct Fz {
    PicRecord* p = nullptr;
    Fz(uint32_t w, uint32_t h, uint32_t bpp) { EXPECT_EQ(fzCreate(w, h, bpp, &p), 1); }
    ~Fz() { fzFree(&p); }
};

class BlitTest : public ::testing::Test {
protected:
    void SetUp() override {
        errReset();
        fzResetBlitState();
        fzSetBlitExecutor(recordBlit);
        g_calls.clear();
        g_headers.clear();
        g_answer = 1;
        g_dxActive = 0;
    }
    void TearDown() override { fzResetBlitState(); }
    static void installDrawDib() {
        static int handle;
        FzDrawDibRecord rec{&handle, {0, 0}, fakeDrawDib};
        ASSERT_EQ(fzUseDrawDib(&rec), 1);
    }
};

// Fills colour and depth with values that tell every pixel apart.
void pattern(PicRecord* p, uint32_t seed) {
    const size_t n = size_t(p->width) * p->height;
    for (size_t i = 0; i < n; ++i) {
        if (p->bytesPerPixel == 2)
            picPut16(p->pixels + 2 * i, uint32_t(i * 7 + seed) & 0x7FFF);
        else
            picPut32(p->pixels + 4 * i, uint32_t(i * 0x010203 + seed) & 0xFFFFFF);
        if (p->depth) p->depth[i] = int16_t(i + seed);
    }
}

TEST(BlitRect, ClipsLikeTheClears) {
    struct Case {
        IRect in;
        int left;
        IRect out;
    };
    const Case cases[] = {
        {{-5, -5, 10, 10}, 1, {0, 0, 10, 10}},
        {{95, 98, 10, 10}, 1, {95, 98, 5, 2}},
        {{0, 0, 0, 10}, 0, {0, 0, 0, 10}},
        {{0, 0, 10, -1}, 0, {0, 0, 10, -1}},
        {{100, 0, 5, 5}, 0, {100, 0, 5, 5}},
        {{0, 100, 5, 5}, 0, {0, 100, 5, 5}},
        {{2, 3, 0x7FFFFFFF, 0x7FFFFFFF}, 1, {2, 3, 98, 97}},
    };
    for (const Case& c : cases) {
        IRect r = c.in;
        EXPECT_EQ(fzClipRect(&r, 100, 100), c.left);
        if (c.left) {
            EXPECT_EQ(r.x, c.out.x);
            EXPECT_EQ(r.y, c.out.y);
            EXPECT_EQ(r.w, c.out.w);
            EXPECT_EQ(r.h, c.out.h);
        }
    }
}

TEST(BlitRect, DrawDibWidening) {
    struct Case {
        IRect in, out;
    };
    const Case cases[] = {
        {{3, 1, 5, 2}, {0, 0, 8, 4}},
        {{4, 2, 4, 2}, {4, 2, 4, 2}},
        {{5, 3, 1, 1}, {4, 2, 4, 2}},
        {{7, 0, 2, 3}, {4, 0, 8, 4}},
    };
    for (const Case& c : cases) {
        const IRect o = fzDrawDibWiden(c.in);
        EXPECT_EQ(o.x, c.out.x);
        EXPECT_EQ(o.y, c.out.y);
        EXPECT_EQ(o.w, c.out.w);
        EXPECT_EQ(o.h, c.out.h);
    }
}

TEST_F(BlitTest, DestinationAndSourceOfEachPath) {
    struct Case {
        const char* what;
        bool drawDib;
        uint32_t mode;
        IRect rect;  // w 0: whole picture
        int32_t ox, oy, bottom, zoom;
        int32_t dst[4], src[4];
        uint32_t bits;
    };
    const Case cases[] = {
        {"whole, zoom 2", false, 3, {0, 0, 0, 0}, 0, 0, 200, 2, {0, 100, 200, 100}, {0, 0, 100, 50}, 24},
        {"whole, offset", false, 3, {0, 0, 0, 0}, 10, 5, 60, 1, {-10, 15, 100, 50}, {0, 0, 100, 50}, 24},
        {"DrawDib widened", true, 0, {3, 1, 5, 2}, 1, 2, 300, 3, {-3, 294, 24, 12}, {0, 46, 8, 4}, 16},
        {"DrawDib clipped", true, 2, {97, 47, 10, 10}, 0, 0, 50, 1, {96, 0, 4, 4}, {96, 0, 4, 4}, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        if (c.drawDib) installDrawDib();
        Fz fz(100, 50, 2);
        const IRect* rect = c.rect.w ? &c.rect : nullptr;
        ASSERT_EQ(fzBlitToDc(nullptr, c.mode, 0, nullptr, fz.p, rect, c.ox, c.oy, c.bottom, c.zoom), 1);
        ASSERT_EQ(g_calls.size(), 1u);
        const FzBlitCall& k = g_calls[0];
        EXPECT_EQ(k.drawDib, c.drawDib ? 1u : 0u);
        EXPECT_EQ(k.dstX, c.dst[0]);
        EXPECT_EQ(k.dstY, c.dst[1]);
        EXPECT_EQ(k.dstW, c.dst[2]);
        EXPECT_EQ(k.dstH, c.dst[3]);
        EXPECT_EQ(k.srcX, c.src[0]);
        EXPECT_EQ(k.srcY, c.src[1]);
        EXPECT_EQ(k.srcW, c.src[2]);
        EXPECT_EQ(k.srcH, c.src[3]);
        EXPECT_EQ(k.bits, fz.p->pixels);
        const uint8_t* h = g_headers[0].data();
        EXPECT_EQ(picGet32(h), 40u);
        EXPECT_EQ(picGet32(h + 4), 100u);
        EXPECT_EQ(picGet32(h + 8), 50u);  // positive: bottom-up
        EXPECT_EQ(picGet16(h + 12), 1u);
        EXPECT_EQ(picGet16(h + 14), c.bits);
    }
}

TEST_F(BlitTest, RefusedAndEmptyBlits) {
    Fz fz(16, 8, 4);
    const uint32_t pal[2] = {0, 0xFFFFFF};
    const IRect some{0, 0, 4, 4}, empty{0, 0, 0, 4}, outside{16, 0, 4, 4};
    struct Case {
        const char* what;
        uint32_t mode, count;
        const uint32_t* palette;
        PicRecord* pic;
        const IRect* rect;
        int32_t zoom;
        int result;
    };
    const Case cases[] = {
        {"no picture", 3, 0, nullptr, nullptr, nullptr, 1, 0},
        {"24 bits of a rectangle", 3, 0, nullptr, fz.p, &some, 1, 0},
        {"mapped without palette", 1, 0, nullptr, fz.p, nullptr, 1, 0},
        {"mapped with a rectangle", 1, 2, pal, fz.p, &some, 1, 0},
        {"own pixels without DrawDib", 0, 0, nullptr, fz.p, nullptr, 1, 0},
        {"unknown mode", 7, 0, nullptr, fz.p, nullptr, 1, 0},
        {"zoom 0", 3, 0, nullptr, fz.p, nullptr, 0, 0},
        {"empty rectangle", 3, 0, nullptr, fz.p, &empty, 1, 1},
        {"rectangle outside", 0, 0, nullptr, fz.p, &outside, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(fzBlitToDc(nullptr, c.mode, c.count, c.palette, c.pic, c.rect, 0, 0, 8, c.zoom), c.result);
    }
    EXPECT_TRUE(g_calls.empty());

    // Pictures whose rows the platform would read past: 2-byte rows of odd width for DrawDib,
    // a width too small to hold 8-bit rows padded to 4 bytes when mapping in place.
    std::vector<uint8_t> px(3 * 2 * 2, 0);
    PicRecord odd{};
    odd.pixels = px.data();
    odd.width = 3;
    odd.height = 2;
    odd.bytesPerPixel = 2;
    PicRecord thin = odd;
    thin.width = 1;
    EXPECT_EQ(fzBlitToDc(nullptr, 1, 2, pal, &thin, nullptr, 0, 0, 8, 1), 0);
    installDrawDib();
    EXPECT_EQ(fzBlitToDc(nullptr, 0, 0, nullptr, &odd, nullptr, 0, 0, 8, 1), 0);
    fzNoDrawDib();
    EXPECT_TRUE(g_calls.empty());

    // A blit that the platform refuses is a failure.
    g_answer = 0;
    EXPECT_EQ(fzBlitToDc(nullptr, 3, 0, nullptr, fz.p, nullptr, 0, 0, 8, 1), 0);
    EXPECT_EQ(g_calls.size(), 1u);
}

TEST_F(BlitTest, MappedModeWritesEightBitRowsAndColours) {
    Fz fz(4, 2, 2);
    const uint32_t pal[3] = {0x000000, 0xFF0000, 0x00FF00};
    const uint16_t red = 0x7C00, green = 0x03E0;
    for (int i = 0; i < 8; ++i) picPut16(fz.p->pixels + 2 * i, i % 3 == 0 ? 0 : (i % 3 == 1 ? red : green));
    ASSERT_EQ(fzBlitToDc(nullptr, 1, 3, pal, fz.p, nullptr, 0, 0, 2, 1), 1);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(fz.p->pixels[i], i % 3) << i;
    const uint8_t* h = g_headers.at(0).data();
    EXPECT_EQ(picGet16(h + 14), 8u);
    EXPECT_EQ(picGet32(h + 32), 3u);
    EXPECT_EQ(picGet32(h + 40 + 4), 0xFF0000u);  // blue, green, red, reserved 0
    EXPECT_EQ(picGet32(h + 40 + 8), 0x00FF00u);
}

TEST_F(BlitTest, ConvertTo24InPlace) {
    // 2-byte frame buffer: the depth plane gives the room.
    Fz fz(5, 3, 2);  // 8 x 4
    pattern(fz.p, 1);
    std::vector<uint8_t> before(fz.p->pixels, fz.p->pixels + 8 * 4 * 2);
    PicRecord target = *fz.p;
    ASSERT_EQ(fzConvertTo24(fz.p, &target, 3), 1);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 8; ++x) {
            const uint32_t v = picGet16(&before[size_t(y * 8 + x) * 2]);
            const uint32_t b = v & 31, g = (v >> 5) & 31, r = (v >> 10) & 31;
            const uint8_t* p = fz.p->pixels + y * 24 + x * 3;
            ASSERT_EQ(p[0], b << 3 | b >> 2);
            ASSERT_EQ(p[1], g << 3 | g >> 2);
            ASSERT_EQ(p[2], r << 3 | r >> 2);
        }
    }

    // A 2-byte picture without a depth plane has no room: refused, pixels untouched.
    PicRecord* img = nullptr;
    ASSERT_EQ(fzCreateImage(8, 2, 2, &img, 0, nullptr), 1);
    pattern(img, 3);
    std::vector<uint8_t> imgBefore(img->pixels, img->pixels + 32);
    PicRecord t2 = *img;
    EXPECT_EQ(fzConvertTo24(img, &t2, 3), 0);
    EXPECT_EQ(std::memcmp(img->pixels, imgBefore.data(), 32), 0);
    EXPECT_EQ(fzBlitToDc(nullptr, 3, 0, nullptr, img, nullptr, 0, 0, 2, 1), 0);
    EXPECT_TRUE(g_calls.empty());
    fzFreeImage(&img);

    // 4-byte pictures fit in their own plane; odd widths get padded rows.
    ASSERT_EQ(fzCreateImage(4, 2, 4, &img, 0, nullptr), 1);
    img->width = 3;  // rows of 9 bytes padded to 12
    pattern(img, 5);
    std::vector<uint8_t> b4(img->pixels, img->pixels + 24);
    PicRecord t4 = *img;
    ASSERT_EQ(fzConvertTo24(img, &t4, 3), 1);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x)
            ASSERT_EQ(std::memcmp(img->pixels + y * 12 + x * 3, &b4[size_t(y * 3 + x) * 4], 3), 0);
        EXPECT_EQ(std::memcmp(img->pixels + y * 12 + 9, "\0\0\0", 3), 0);
    }
    img->width = 4;
    fzFreeImage(&img);
}

TEST_F(BlitTest, GetDibViews) {
    Fz fz(4, 2, 4);
    pattern(fz.p, 9);
    uint8_t header[FZ_DIB_HEADER_BYTES];
    void* bits = nullptr;
    const uint32_t pal[1] = {0x123456};
    EXPECT_EQ(fzGetDib(fz.p, 1, 0, pal, header, &bits), 0);
    EXPECT_EQ(fzGetDib(fz.p, 2, 0, nullptr, header, &bits), 0);
    EXPECT_EQ(bits, nullptr);
    ASSERT_EQ(fzGetDib(fz.p, 3, 0, nullptr, header, &bits), 1);
    EXPECT_EQ(bits, fz.p->pixels);
    EXPECT_EQ(picGet32(header + 4), 4u);
    EXPECT_EQ(picGet32(header + 8), 2u);
    EXPECT_EQ(picGet16(header + 14), 24u);
    ASSERT_EQ(fzGetDib(fz.p, 1, 1, pal, header, &bits), 1);
    EXPECT_EQ(picGet16(header + 14), 8u);
    EXPECT_EQ(picGet32(header + 40), 0x123456u);
    EXPECT_EQ(fz.p->pixels[7], 0);
}

TEST_F(BlitTest, RegionBlitsEachRectangleOrTheBounds) {
    installDrawDib();
    Fz fz(256, 256, 4);
    UpdateRegion* apart = nullptr;
    UpdateRegion* near = nullptr;
    ASSERT_EQ(rgnCreate(&apart), 1);
    ASSERT_EQ(rgnCreate(&near), 1);
    const IRect a{0, 0, 8, 8}, b{200, 200, 8, 8}, c{0, 0, 10, 10}, d{20, 20, 10, 10};
    rgnAddRect(&a, apart);
    rgnAddRect(&b, apart);
    rgnAddRect(&c, near);
    rgnAddRect(&d, near);
    ASSERT_EQ(rgnPreferBounds(apart), 0);
    ASSERT_EQ(rgnPreferBounds(near), 1);

    ASSERT_EQ(fzBlitRegionToDc(nullptr, 0, 0, nullptr, fz.p, apart, 0, 0, 256, 1), 1);
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].srcX, 0);
    EXPECT_EQ(g_calls[1].srcX, 200);
    EXPECT_EQ(g_calls[1].srcY, 256 - 8 - 200);

    g_calls.clear();
    ASSERT_EQ(fzBlitRegionToDc(nullptr, 0, 0, nullptr, fz.p, near, 0, 0, 256, 1), 1);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].srcW, 32);  // bounds {0, 0, 30, 30} widened
    EXPECT_EQ(g_calls[0].srcH, 30);

    g_calls.clear();
    ASSERT_EQ(fzBlitRegionToDc(nullptr, 0, 0, nullptr, fz.p, nullptr, 0, 0, 256, 1), 1);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].srcW, 256);

    g_calls.clear();
    g_answer = 0;
    EXPECT_EQ(fzBlitRegionToDc(nullptr, 0, 0, nullptr, fz.p, apart, 0, 0, 256, 1), 0);
    EXPECT_EQ(g_calls.size(), 1u);
    rgnFree(&apart);
    rgnFree(&near);
}

TEST_F(BlitTest, CopiesAndMoves) {
    Fz src(8, 6, 2), dst(8, 6, 2);
    pattern(src.p, 1);
    const size_t n = 8 * 6;
    IRect r{-2, 1, 4, 2};
    ASSERT_EQ(fzCopyRect(src.p, dst.p, &r), 1);
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.w, 4);
    for (size_t i = 0; i < n; ++i) {
        const bool in = (i / 8 == 1 || i / 8 == 2) && i % 8 < 4;
        ASSERT_EQ(picGet16(dst.p->pixels + 2 * i), in ? picGet16(src.p->pixels + 2 * i) : 0u) << i;
        ASSERT_EQ(dst.p->depth[i], in ? src.p->depth[i] : 0) << i;
    }

    Fz other(8, 6, 2);
    ASSERT_EQ(fzCopyColorRegion(src.p, other.p, nullptr), 1);
    EXPECT_EQ(std::memcmp(other.p->pixels, src.p->pixels, n * 2), 0);
    EXPECT_EQ(other.p->depth[n - 1], 0);

    Fz wrong(12, 6, 2);
    EXPECT_EQ(fzCopyRect(src.p, wrong.p, nullptr), 0);
    g_dxActive = 1;
    fzSetDxActiveQuery(dxActive);
    Fz untouched(8, 6, 2);
    EXPECT_EQ(fzCopyRect(src.p, untouched.p, nullptr), 1);
    EXPECT_EQ(untouched.p->depth[0], 0);
    fzSetDxActiveQuery(nullptr);

    // Overlapping moves, each way, compared with a copy made through a second buffer.
    struct Move {
        IRect rect;
        int32_t x, y;
    };
    const Move moves[] = {{{0, 0, 5, 4}, 2, 1}, {{2, 1, 6, 5}, 0, 0}, {{1, 1, 7, 5}, 3, 4}, {{0, 2, 8, 4}, -2, -1}};
    for (const Move& m : moves) {
        SCOPED_TRACE(testing::Message() << m.x << "," << m.y);
        Fz buf(8, 6, 4);
        pattern(buf.p, 7);
        std::vector<uint32_t> col(n);
        std::vector<int16_t> dep(n);
        for (size_t i = 0; i < n; ++i) {
            col[i] = picGet32(buf.p->pixels + 4 * i);
            dep[i] = buf.p->depth[i];
        }
        IRect rect = m.rect;
        ASSERT_EQ(fzMoveRect(buf.p, &rect, m.x, m.y), 1);
        for (int32_t y = 0; y < 6; ++y) {
            for (int32_t x = 0; x < 8; ++x) {
                const int32_t sx = x - m.x + m.rect.x, sy = y - m.y + m.rect.y;
                const bool moved = sx >= m.rect.x && sx < m.rect.x + m.rect.w && sy >= m.rect.y &&
                                   sy < m.rect.y + m.rect.h && sx < 8 && sy < 6;
                const size_t at = size_t(y) * 8 + x, from = moved ? size_t(sy) * 8 + sx : at;
                ASSERT_EQ(picGet32(buf.p->pixels + 4 * at), col[from]) << x << "," << y;
                ASSERT_EQ(buf.p->depth[at], dep[from]) << x << "," << y;
            }
        }
    }
    Fz buf(8, 6, 2);
    pattern(buf.p, 2);
    const int16_t z0 = buf.p->depth[0];
    IRect whole{0, 0, 8, 6};
    ASSERT_EQ(fzMoveColorRect(buf.p, &whole, 1, 0), 1);
    EXPECT_EQ(buf.p->depth[1], int16_t(z0 + 1));
    EXPECT_EQ(fzMoveRect(buf.p, &whole, 8, 0), 1);
}

TEST_F(BlitTest, DepthToMask) {
    Fz fz(4, 2, 2);
    for (int i = 0; i < 8; ++i) fz.p->depth[i] = i % 2 ? FZ_DEPTH_FAR : int16_t(i * 100 - 200);
    ASSERT_EQ(fzZToMask(fz.p), 1);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(uint16_t(fz.p->depth[i]), i % 2 ? 0u : 0xFFFFu);
    PicRecord* img = nullptr;
    ASSERT_EQ(fzCreateImage(4, 2, 2, &img, 0, nullptr), 1);
    EXPECT_EQ(fzZToMask(img), 0);
    fzFreeImage(&img);
}

}  // namespace
