#include "ispbinding_win.h"

#include "libraryload_win.h"

namespace imaging {

namespace {

LibrarySlot g_isp;

typedef BOOL(WINAPI* IspTransition)(HDC dc, HBITMAP bitmap, int thick, int delay);
typedef BOOL(WINAPI* IspTransitionRect)(HDC dc, HBITMAP bitmap, int delay);
typedef HGLOBAL(WINAPI* IspScaleDib)(HGLOBAL dib, int width, int height);
typedef HGLOBAL(WINAPI* IspScaleToGray)(HGLOBAL dib, int mode, int width, int height);
typedef HGLOBAL(WINAPI* IspReduceDib)(HGLOBAL dib, int bits, int dither, int colours, HPALETTE palette, short option,
                                      void* control, CrdeProgress progress);

template <class P>
bool bindIsp(const char* procedure, P& out) {
    FARPROC p = nullptr;
    if (!BindIspProc(kIspLibrary, procedure, p)) return false;
    out = reinterpret_cast<P>(reinterpret_cast<void*>(p));
    return true;
}

int bitCount(HGLOBAL dib) {
    const BITMAPINFOHEADER* h = dib && GlobalSize(dib) >= sizeof(BITMAPINFOHEADER)
                                    ? static_cast<const BITMAPINFOHEADER*>(GlobalLock(dib))
                                    : nullptr;
    if (!h) return 0;
    const int bits = h->biBitCount;
    GlobalUnlock(dib);
    return bits;
}

}  // namespace

bool BindIspProc(const char* library, const char* procedure, FARPROC& out) {
    out = nullptr;
    if (!g_isp.loaded()) {
        g_isp.module = LoadImagingLibrary(library);
        if (!g_isp.loaded()) {
            g_isp.module = nullptr;
            ShowImagingMessage(std::string("Can't load ") + library +
                               ". Make sure its located in the application's searchpath.");
            return false;
        }
    }
    auto it = g_isp.procedures.find(procedure);
    if (it == g_isp.procedures.end())
        it = g_isp.procedures.emplace(procedure, GetProcAddress(g_isp.module, procedure)).first;
    out = it->second;
    return out != nullptr;
}

HMODULE IspModule() { return g_isp.loaded() ? g_isp.module : nullptr; }
void FreeIspLibrary() { g_isp.free(); }

bool DllTransition(TransitionKind kind, HDC dc, HBITMAP source, int colRowThick, int delay) {
    SetStatusText("Transition Image ");
    BOOL result = FALSE;
    if (kind == TransitionKind::Rectangles) {
        IspTransitionRect proc = nullptr;
        if (!bindIsp("FXSkipRectangles", proc)) return false;
        if (!CallLibrary([&] { result = proc(dc, source, delay); })) return false;
        return result != FALSE;
    }
    const char* name = kind == TransitionKind::Horizontal  ? "FXSkipHorizontal"
                       : kind == TransitionKind::Vertical  ? "FXSkipVertical"
                       : kind == TransitionKind::Diagonals ? "FXSkipDiagonals"
                                                           : "FXSkipDiagonalSquares";
    IspTransition proc = nullptr;
    if (!bindIsp(name, proc)) return false;
    if (!CallLibrary([&] { result = proc(dc, source, colRowThick, delay); })) return false;
    return result != FALSE;
}

HGLOBAL DllScaleDib(HGLOBAL dib, int width, int height) {
    SetStatusText("Resizing Image");
    IspScaleDib proc = nullptr;
    if (!bindIsp("ScaleDib", proc)) return nullptr;
    // Under 24 bits: a 24-bit copy first.
    HGLOBAL wide = dib;
    const int bits = bitCount(dib);
    if (bits && bits < 24) {
        wide = bits == 8 ? Dib8To24(dib)
                         : DllConvertDepth(bits == 1 ? "DIB1To24" : bits == 4 ? "DIB4To24" : "DIB16To24", dib);
        if (!wide) return nullptr;
    }
    HGLOBAL out = nullptr;
    const bool ok = CallLibrary([&] { out = proc(wide, width, height); });
    if (wide != dib) FreeDibHandle(wide);
    return ok ? out : nullptr;
}

HGLOBAL DllScaleToGray(HGLOBAL dib, int width, int height) {
    SetStatusText("Scaling Image To Gray");
    if (bitCount(dib) != 1) return nullptr;
    IspScaleToGray proc = nullptr;
    if (!bindIsp("ScaleToGray", proc)) return nullptr;
    HGLOBAL out = nullptr;
    if (!CallLibrary([&] { out = proc(dib, 0, width, height); })) return nullptr;
    return out;
}

HGLOBAL DllReduceDib(HGLOBAL dib, int bits, int dither, void* control, CrdeProgress progress) {
    IspReduceDib proc = nullptr;
    if (!bindIsp("ReduceDib", proc)) return nullptr;
    if (bits < 1 || bits > 16) return nullptr;
    HGLOBAL out = nullptr;
    if (!CallLibrary([&] { out = proc(dib, bits, dither, 1 << bits, nullptr, 0, control, progress); })) return nullptr;
    return out;
}

}  // namespace imaging
