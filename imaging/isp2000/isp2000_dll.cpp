// ISP2000.DLL: transitions onto a device, scaling, grey scaling and colour reduction.
#include <windows.h>

#include <algorithm>
#include <new>

#include "convert.h"
#include "dibhandle_win.h"
#include "scale.h"
#include "transitions.h"

namespace {

typedef int(WINAPI* IspProgress)(void* control, int percent);

// Draws the new picture onto the device step by step, `delay` ms after each step.
BOOL transition(img::Transition kind, HDC dc, HBITMAP bitmap, int thick, int delay) {
    if (!dc || !bitmap) return FALSE;
    BITMAP bm{};
    if (!GetObjectA(bitmap, sizeof bm, &bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0) return FALSE;
    HDC mem = CreateCompatibleDC(dc);
    if (!mem) return FALSE;
    HGDIOBJ old = SelectObject(mem, bitmap);
    const DWORD pause = DWORD(std::clamp(delay, 0, 1000));
    for (const auto& step : img::transitionSteps(kind, bm.bmWidth, bm.bmHeight, thick)) {
        for (const img::Rect& r : step) BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, mem, r.left, r.top, SRCCOPY);
        GdiFlush();
        if (pause) Sleep(pause);
    }
    SelectObject(mem, old);
    DeleteDC(mem);
    return TRUE;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        imgwin::useGlobalMemory();
    }
    return TRUE;
}

extern "C" {

BOOL WINAPI FXSkipHorizontal(HDC dc, HBITMAP bitmap, int thick, int delay) {
    return transition(img::Transition::SkipHorizontal, dc, bitmap, thick, delay);
}
BOOL WINAPI FXSkipVertical(HDC dc, HBITMAP bitmap, int thick, int delay) {
    return transition(img::Transition::SkipVertical, dc, bitmap, thick, delay);
}
BOOL WINAPI FXSkipDiagonalSquares(HDC dc, HBITMAP bitmap, int thick, int delay) {
    return transition(img::Transition::SkipDiagonalSquares, dc, bitmap, thick, delay);
}
BOOL WINAPI FXSkipDiagonals(HDC dc, HBITMAP bitmap, int thick, int delay) {
    return transition(img::Transition::SkipDiagonals, dc, bitmap, thick, delay);
}
BOOL WINAPI FXSkipRectangles(HDC dc, HBITMAP bitmap, int delay) {
    return transition(img::Transition::SkipRectangles, dc, bitmap, 1, delay);
}

HGLOBAL WINAPI ScaleDib(HGLOBAL dib, int width, int height) {
    return imgwin::onHandle(dib, [&](const img::Dib& pic, img::Dib& out) {
        img::Progress none;
        return img::scaleDib(pic, width, height, out, none);
    });
}

// mode: 0, an 8-bit picture on 256 greys.
HGLOBAL WINAPI ScaleToGray(HGLOBAL dib, int mode, int width, int height) {
    if (mode != 0) return nullptr;
    return imgwin::onHandle(dib, [&](const img::Dib& pic, img::Dib& out) {
        img::Progress none;
        return img::scaleToGrey(pic, width, height, out, none);
    });
}

// bits 1, 4, 8 (16: 5-5-5); colours: table entries to use (0: 2^bits); palette: its
// colours instead of chosen ones (null: chosen); option: reserved, 0.
HGLOBAL WINAPI ReduceDib(HGLOBAL dib, int bits, int dither, int colours, HPALETTE palette, short option, void* control,
                         IspProgress callback) {
    (void)option;
    return imgwin::onHandle(dib, [&](const img::Dib& pic, img::Dib& out) {
        imgwin::CallProgress cp{callback, control};
        img::Progress progress = cp.progress();
        if (bits == 16) return img::toTrueColour(pic, 16, out, progress);
        img::Colour entries[256];
        UINT n = 0;
        if (palette) {
            PALETTEENTRY pe[256];
            n = GetPaletteEntries(palette, 0, 256, pe);
            for (UINT i = 0; i < n; ++i) entries[i] = img::Colour{pe[i].peBlue, pe[i].peGreen, pe[i].peRed, 0};
        }
        return img::reduceColours(pic, unsigned(bits), dither, colours < 0 ? 0 : uint32_t(colours), n ? entries : nullptr,
                                  n, out, progress);
    });
}

}  // extern "C"
