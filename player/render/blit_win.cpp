// Platform side of the blits: StretchDIBits, and DrawDib loaded at run time.
#include <windows.h>

#include "render/blit.h"

int fzBlitExecutePlatform(const FzBlitCall* call);

int fzBlitExecutePlatform(const FzBlitCall* call) {
    if (!call || !call->header) return 0;
    if (call->drawDib) {
        if (!call->drawDibRoutine) return 0;
        return call->drawDibRoutine(call->drawDibHandle, call->dc, call->dstX, call->dstY, call->dstW, call->dstH,
                                    call->header, call->bits, call->srcX, call->srcY, call->srcW, call->srcH, 0)
                   ? 1
                   : 0;
    }
    const int lines = StretchDIBits(static_cast<HDC>(call->dc), call->dstX, call->dstY, call->dstW, call->dstH,
                                    call->srcX, call->srcY, call->srcW, call->srcH, call->bits,
                                    reinterpret_cast<const BITMAPINFO*>(call->header), DIB_RGB_COLORS, SRCCOPY);
    return lines != 0 && lines != int(GDI_ERROR) ? 1 : 0;
}

namespace {
using DrawDibOpenFn = void*(WINAPI*)();
using DrawDibCloseFn = BOOL(WINAPI*)(void*);
}  // namespace

int fzOpenDrawDib(FzDrawDibRecord* record) {
    if (!record) return 0;
    *record = FzDrawDibRecord{};
    HMODULE lib = LoadLibraryA("MSVFW32.DLL");
    if (!lib) return 0;
    auto open = reinterpret_cast<DrawDibOpenFn>(reinterpret_cast<void*>(GetProcAddress(lib, "DrawDibOpen")));
    auto draw = reinterpret_cast<FzDrawDibFn>(reinterpret_cast<void*>(GetProcAddress(lib, "DrawDibDraw")));
    void* handle = open ? open() : nullptr;
    if (!draw || !handle) {
        FreeLibrary(lib);
        return 0;
    }
    record->handle = handle;
    record->unused[0] = reinterpret_cast<uintptr_t>(lib);
    record->routine = draw;
    return 1;
}

int fzCloseDrawDib(FzDrawDibRecord* record) {
    if (!record) return 0;
    auto lib = reinterpret_cast<HMODULE>(record->unused[0]);
    if (lib) {
        auto close = reinterpret_cast<DrawDibCloseFn>(reinterpret_cast<void*>(GetProcAddress(lib, "DrawDibClose")));
        if (close && record->handle) close(record->handle);
        FreeLibrary(lib);
    }
    *record = FzDrawDibRecord{};
    return 1;
}
