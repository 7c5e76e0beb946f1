#include <windows.h>

#include <gtest/gtest.h>

#include "render/blit.h"
#include "render/fzbuffer.h"
#include "scene/engine.h"

namespace {

// A memory device context over a top-down 32-bit bitmap, cleared to a marker colour.
struct MemDc {
    static constexpr uint32_t kMarker = 0x00123456;
    HDC dc = nullptr;
    HBITMAP bmp = nullptr;
    HGDIOBJ old = nullptr;
    uint32_t* bits = nullptr;
    int w, h;
    MemDc(int width, int height) : w(width), h(height) {
        dc = CreateCompatibleDC(nullptr);
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        void* p = nullptr;
        bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<uint32_t*>(p);
        old = SelectObject(dc, bmp);
        for (int i = 0; i < w * h; ++i) bits[i] = kMarker;
    }
    ~MemDc() {
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
    }
    uint32_t at(int x, int y) {
        GdiFlush();
        return bits[y * w + x] & 0xFFFFFF;
    }
};

// Picture colour of (x, y): red from x, green from y.
uint32_t colourOf(int x, int y) { return uint32_t(x * 30 + 10) << 16 | uint32_t(y * 60 + 20) << 8 | 0x80; }

void fill(PicRecord* p) {
    for (int y = 0; y < p->height; ++y)
        for (int x = 0; x < p->width; ++x) picPut32(p->pixels + (size_t(y) * p->width + x) * 4, colourOf(x, y));
}

class BlitWin : public ::testing::Test {
protected:
    void SetUp() override {
        errReset();
        fzResetBlitState();
    }
    void TearDown() override { fzResetBlitState(); }
};

TEST_F(BlitWin, StretchPutsRowZeroAtTheBottomAndZooms) {
    PicRecord* fz = nullptr;
    ASSERT_EQ(fzCreate(8, 4, 4, &fz), 1);
    fill(fz);
    MemDc m(24, 12);
    // Zoom 2, offset (1, 0), bottom 10: x 0 goes to -2, the bottom row to y 8..9.
    ASSERT_EQ(fzBlitToDc(m.dc, 3, 0, nullptr, fz, nullptr, 1, 0, 10, 2), 1);
    for (int Y = 0; Y < 12; ++Y) {
        for (int X = 0; X < 24; ++X) {
            const bool inside = X < 14 && Y >= 2 && Y < 10;
            const uint32_t want = inside ? colourOf((X + 2) / 2, 3 - (Y - 2) / 2) : MemDc::kMarker;
            ASSERT_EQ(m.at(X, Y), want) << X << "," << Y;
        }
    }
    fzFree(&fz);
}

TEST_F(BlitWin, SixteenBitFrameAndMappedPalette) {
    PicRecord* fz = nullptr;
    ASSERT_EQ(fzCreate(4, 2, 2, &fz), 1);
    // Row 0 pure red, row 1 pure blue (RGB555).
    for (int i = 0; i < 8; ++i) picPut16(fz->pixels + 2 * i, i < 4 ? 0x7C00 : 0x001F);
    MemDc m(4, 2);
    ASSERT_EQ(fzBlitToDc(m.dc, 3, 0, nullptr, fz, nullptr, 0, 0, 2, 1), 1);
    EXPECT_EQ(m.at(0, 1), 0xFF0000u);  // row 0 at the bottom
    EXPECT_EQ(m.at(3, 0), 0x0000FFu);

    for (int i = 0; i < 8; ++i) picPut16(fz->pixels + 2 * i, i < 4 ? 0x7C00 : 0x001F);
    const uint32_t pal[2] = {0x0000FF, 0xFF0000};
    MemDc m8(4, 2);
    ASSERT_EQ(fzBlitToDc(m8.dc, 1, 2, pal, fz, nullptr, 0, 0, 2, 1), 1);
    EXPECT_EQ(m8.at(1, 1), 0xFF0000u);
    EXPECT_EQ(m8.at(2, 0), 0x0000FFu);
    fzFree(&fz);
}

TEST_F(BlitWin, DrawDibDrawsTheWidenedRectangle) {
    FzDrawDibRecord rec{};
    if (!fzOpenDrawDib(&rec)) GTEST_SKIP() << "no DrawDib library";
    ASSERT_EQ(fzUseDrawDib(&rec), 1);
    PicRecord* fz = nullptr;
    ASSERT_EQ(fzCreate(8, 4, 4, &fz), 1);
    fill(fz);
    MemDc m(8, 4);
    // {5, 1, 2, 1} widens to {4, 0, 4, 2}: picture rows 0..1 land at the bottom of the area.
    const IRect r{5, 1, 2, 1};
    ASSERT_EQ(fzBlitToDc(m.dc, 0, 0, nullptr, fz, &r, 0, 0, 4, 1), 1);
    for (int Y = 0; Y < 4; ++Y) {
        for (int X = 0; X < 8; ++X) {
            const bool inside = X >= 4 && Y >= 2;
            const uint32_t want = inside ? colourOf(X, 3 - Y) : MemDc::kMarker;
            EXPECT_EQ(m.at(X, Y), want) << X << "," << Y;
        }
    }
    fzNoDrawDib();
    fzCloseDrawDib(&rec);
    fzFree(&fz);
}

}  // namespace
