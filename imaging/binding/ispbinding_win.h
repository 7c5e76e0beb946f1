// Binding of ISP2000.DLL: transitions, scaling, grey scaling and colour reduction.
#pragma once
#include <windows.h>

#include "crdebinding_win.h"

namespace imaging {

constexpr char kIspLibrary[] = "ISP2000.DLL";

// Binds `procedure` of the ISP side's library (loaded once, through the same search
// order as CRDE2001.DLL). When no attempt loads it: the message "Can't load ..." and
// false.
bool BindIspProc(const char* library, const char* procedure, FARPROC& out);
HMODULE IspModule();
void FreeIspLibrary();

enum class TransitionKind { Horizontal, Vertical, Diagonals, DiagonalSquares, Rectangles };
// Draws the source bitmap onto the device with the effect (status "Transition Image ").
bool DllTransition(TransitionKind kind, HDC dc, HBITMAP source, int colRowThick, int delay);
// A new DIB of the size (status "Resizing Image"); DIBs under 24 bits are first
// expanded to 24. Null on failure.
HGLOBAL DllScaleDib(HGLOBAL dib, int width, int height);
// A 1-bit DIB as an 8-bit grey DIB of the size (status "Scaling Image To Gray"); null
// for other depths or on failure.
HGLOBAL DllScaleToGray(HGLOBAL dib, int width, int height);
// ReduceDib(dib, bits, dither, 2^bits, no palette, option 0, control, progress).
HGLOBAL DllReduceDib(HGLOBAL dib, int bits, int dither, void* control, CrdeProgress progress);

}  // namespace imaging
