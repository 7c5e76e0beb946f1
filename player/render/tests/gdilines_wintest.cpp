#include <windows.h>

#include <gtest/gtest.h>

#include "render/gdilines.h"

namespace {

TEST(GdiLinesWin, PolylineReachesTheBitmapInThePenColour) {
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = 32;
    bi.bmiHeader.biHeight = -32;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bmp, nullptr);
    HGDIOBJ oldBmp = SelectObject(dc, bmp);
    HGDIOBJ ownPen = GetCurrentObject(dc, OBJ_PEN);

    LOGPEN pen{};
    pen.lopnStyle = PS_SOLID;
    pen.lopnWidth.x = 1;
    lnReset();
    EXPECT_EQ(lnBeginGdi(dc, &pen, 0), &pen);
    lnAddLine(2, 5, 20, 5, RGB(255, 0, 0));
    lnAddLine(20, 5, 20, 25, RGB(255, 0, 0));
    lnAddLine(4, 28, 30, 28, RGB(0, 0, 255));
    lnFlush(1);
    GdiFlush();

    auto px = [&](int x, int y) { return static_cast<uint32_t*>(bits)[y * 32 + x] & 0xFFFFFF; };
    EXPECT_EQ(px(10, 5), 0xFF0000u);   // DIB order: 0x00RRGGBB
    EXPECT_EQ(px(20, 15), 0xFF0000u);
    EXPECT_EQ(px(10, 28), 0x0000FFu);
    EXPECT_EQ(px(10, 10), 0u);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), ownPen) << "the device context's pen is restored";

    SelectObject(dc, oldBmp);
    DeleteObject(bmp);
    DeleteDC(dc);
    lnReset();
}

}  // namespace
