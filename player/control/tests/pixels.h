// Pixels of the control's tests: the window's client area read back, and the engine's own
// picture of the control's view (same camera, background and roots) to compare it with.
#pragma once
#include <windows.h>

#include <cstring>
#include <vector>

#include "ctlstate.h"
#include "render/clear.h"
#include "render/fzbuffer.h"
#include "render/renderer.h"
#include "scene/picture.h"
#include "scene/sceneops.h"

namespace qivtest {

// The window's client pixels as 0x00RRGGBB.
inline std::vector<uint32_t> readWindow(HWND w, int width, int height) {
    std::vector<uint32_t> out(size_t(width) * height, 0);
    HDC dc = GetDC(w);
    HDC mem = CreateCompatibleDC(dc);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, width, height, dc, 0, 0, SRCCOPY);
    GdiFlush();
    std::memcpy(out.data(), bits, out.size() * 4);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(w, dc);
    for (uint32_t& p : out) p &= 0xFFFFFF;
    return out;
}

// The engine's own picture of the control's view: the same camera, background and roots
// (the background alone without roots).
inline std::vector<uint32_t> enginePicture(const QivControlState& st) {
    std::vector<uint32_t> out;
    PicRecord* pic = nullptr;
    if (!fzCreate(uint32_t(st.frameWidth), uint32_t(st.frameHeight), 2, &pic)) return out;
    CamRecord* cam = const_cast<CamRecord*>(&st.camera);
    fzSetBackground(&st.background);
    fzDrawBackground(pic, nullptr, nullptr, cam, 1, 0);
    if (st.sceneRoots) {
        ScnRenderJob job{};
        job.camera = cam;
        job.target = pic;
        job.kind = st.displayMode;
        scnRenderList(&job, st.sceneRoots, nullptr);
    }
    const int32_t w = st.frameWidth, h = st.frameHeight;
    out.resize(size_t(w) * h);
    // Software frame rows count from the bottom, the device's from the top, as window rows.
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            uint16_t v = picGet16(pic->pixels + 2 * (size_t(y) * pic->width + x));  // rows padded
            uint32_t r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
            out[size_t(cam->rowsUp ? h - 1 - y : y) * w + x] =
                ((r << 3 | r >> 2) << 16) | ((g << 3 | g >> 2) << 8) | (b << 3 | b >> 2);
        }
    fzFree(&pic);
    return out;
}

// Pixels whose channels differ by more than tolerance.
inline int differing(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int tolerance) {
    int n = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        for (int s = 0; s < 24; s += 8) {
            int d = int((a[i] >> s) & 0xFF) - int((b[i] >> s) & 0xFF);
            if (d > tolerance || d < -tolerance) {
                ++n;
                break;
            }
        }
    }
    return n;
}

inline int backgroundPixels(const std::vector<uint32_t>& a, uint32_t bg) {
    int n = 0;
    for (uint32_t p : a) n += p == bg;
    return n;
}

// BackColor (0x00BBGGRR) as a window pixel.
inline uint32_t backColour(const QivControlState& st) {
    return ((st.backColor & 0xFF) << 16) | (st.backColor & 0xFF00) | ((st.backColor >> 16) & 0xFF);
}

}  // namespace qivtest
