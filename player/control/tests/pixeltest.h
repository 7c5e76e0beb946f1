// Pixels of the control's tests: a window's client area or a DIB section read back as
// 0x00RRGGBB, the engine's own picture of a view, and counts of differing pixels.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "ctlstate.h"
#include "render/clear.h"
#include "render/fzbuffer.h"
#include "render/renderer.h"
#include "render/renderlist.h"
#include "scene/camera.h"
#include "scene/picture.h"
#include "scene/sceneops.h"

namespace qivtest {

// An 8 x 8 picture of 8-bit pixels whose palette is one colour (0x00RRGGBB entries).
struct OneColourPicture {
    explicit OneColourPicture(uint32_t colour) : pixels(8 * 8, 1), palette(256, colour) {
        picture.pixels = pixels.data();
        picture.width = picture.height = 8;
        picture.bytesPerPixel = 1;
        picture.paletteCount = 256;
        picture.palette = palette.data();
    }
    OneColourPicture(const OneColourPicture&) = delete;
    OneColourPicture& operator=(const OneColourPicture&) = delete;
    std::vector<uint8_t> pixels;
    std::vector<uint32_t> palette;
    PicRecord picture{};
};

// A 32-bit top-down DIB section selected into a memory DC, filled with one colour.
class DibCanvas {
public:
    DibCanvas(int width, int height, uint32_t fill) : w_(width), h_(height) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = width;
        bi.bmiHeader.biHeight = -height;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        HDC screen = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen);
        bmp_ = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        ReleaseDC(nullptr, screen);
        old_ = SelectObject(dc_, bmp_);
        for (int i = 0; i < width * height; ++i) bits_[i] = fill;
    }
    ~DibCanvas() {
        SelectObject(dc_, old_);
        DeleteObject(bmp_);
        DeleteDC(dc_);
    }
    DibCanvas(const DibCanvas&) = delete;
    DibCanvas& operator=(const DibCanvas&) = delete;
    HDC dc() const { return dc_; }
    int width() const { return w_; }
    int height() const { return h_; }
    uint32_t at(int x, int y) const {
        GdiFlush();
        return bits_[size_t(y) * w_ + x] & 0xFFFFFF;
    }
    std::vector<uint32_t> pixels() const {
        GdiFlush();
        std::vector<uint32_t> out(bits_, bits_ + size_t(w_) * h_);
        for (uint32_t& p : out) p &= 0xFFFFFF;
        return out;
    }

private:
    int w_, h_;
    HDC dc_ = nullptr;
    HBITMAP bmp_ = nullptr;
    HGDIOBJ old_ = nullptr;
    uint32_t* bits_ = nullptr;
};

// The window's client pixels.
inline std::vector<uint32_t> ReadWindow(HWND w, int width, int height) {
    DibCanvas canvas(width, height, 0);
    HDC dc = GetDC(w);
    BitBlt(canvas.dc(), 0, 0, width, height, dc, 0, 0, SRCCOPY);
    ReleaseDC(w, dc);
    return canvas.pixels();
}

// The engine's picture of a view (camera, background, roots) as window rows.
inline std::vector<uint32_t> EnginePicture(CamRecord* cam, const BgRecord* background, ScnNode** roots,
                                           uint32_t mode, int32_t w, int32_t h) {
    std::vector<uint32_t> out;
    PicRecord* pic = nullptr;
    if (!fzCreate(uint32_t(w), uint32_t(h), 2, &pic)) return out;
    fzSetBackground(background);
    fzDrawBackground(pic, nullptr, nullptr, cam, 1, 0);
    ScnRenderJob job{};
    job.camera = cam;
    job.target = pic;
    job.kind = mode;
    if (roots) scnRenderList(&job, roots, nullptr);
    out.resize(size_t(w) * h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            uint16_t v = picGet16(pic->pixels + 2 * (size_t(y) * pic->width + x));
            uint32_t r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
            out[size_t(cam->rowsUp ? h - 1 - y : y) * w + x] =
                ((r << 3 | r >> 2) << 16) | ((g << 3 | g >> 2) << 8) | (b << 3 | b >> 2);
        }
    fzFree(&pic);
    return out;
}

// The engine's picture of the control's view: its camera, background and roots (the
// background alone without roots).
inline std::vector<uint32_t> EnginePicture(const QivControlState& st) {
    return EnginePicture(const_cast<CamRecord*>(&st.camera), &st.background, st.sceneRoots, st.displayMode,
                         st.frameWidth, st.frameHeight);
}

// Pixels whose channels differ by more than tolerance.
inline int Differing(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int tolerance) {
    int n = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        for (int s = 0; s < 24; s += 8) {
            int d = int((a[i] >> s) & 0xFF) - int((b[i] >> s) & 0xFF);
            if (d > tolerance || d < -tolerance) {
                ++n;
                break;
            }
        }
    return n;
}

// Pixels of a (w x h) for which no pixel of b within one pixel around lies within
// tolerance: a picture played back a pixel larger or shifted still matches.
inline int DifferingNearby(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int w, int h,
                           int tolerance) {
    auto close = [tolerance](uint32_t p, uint32_t q) {
        for (int s = 0; s < 24; s += 8) {
            int d = int((p >> s) & 0xFF) - int((q >> s) & 0xFF);
            if (d > tolerance || d < -tolerance) return false;
        }
        return true;
    };
    int n = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            bool found = false;
            for (int dy = -1; dy <= 1 && !found; ++dy)
                for (int dx = -1; dx <= 1 && !found; ++dx) {
                    const int u = x + dx, v = y + dy;
                    found = u >= 0 && v >= 0 && u < w && v < h && close(a[size_t(y) * w + x], b[size_t(v) * w + u]);
                }
            n += !found;
        }
    return n;
}

// Pixels within tolerance of a colour.
inline int Near(const std::vector<uint32_t>& a, uint32_t colour, int tolerance) {
    std::vector<uint32_t> ref(a.size(), colour);
    return int(a.size()) - Differing(a, ref, tolerance);
}

// 0x00BBGGRR as 0x00RRGGBB.
inline uint32_t Rgb(uint32_t colorref) {
    return ((colorref & 0xFF) << 16) | (colorref & 0xFF00) | ((colorref >> 16) & 0xFF);
}

// Pixels equal to bg.
inline int BackgroundPixels(const std::vector<uint32_t>& a, uint32_t bg) {
    int n = 0;
    for (uint32_t p : a) n += p == bg;
    return n;
}

// The control's BackColor as a window pixel.
inline uint32_t BackColour(const QivControlState& st) { return Rgb(st.backColor); }

}  // namespace qivtest
