// Picture copies between frame buffers, and blits of a picture to a device context.
// The computations are portable; the platform call is made by an executor (the Windows
// layer in Windows builds, any function a test installs).
#pragma once
#include <cstddef>
#include <cstdint>

#include "scene/picture.h"
#include "scene/vecmath.h"

struct UpdateRegion;

// Calling convention of the platform's DrawDib entry (matters on 32-bit Windows only).
#if defined(_WIN32) && !defined(_WIN64)
#define FZ_PLATFORM_CALL __attribute__((stdcall))
#else
#define FZ_PLATFORM_CALL
#endif

// The bitmap header handed to the platform: a 40-byte information header followed by 256
// colours of four bytes (blue, green, red, reserved), little-endian.
constexpr size_t FZ_DIB_INFO_BYTES = 40;
constexpr size_t FZ_DIB_HEADER_BYTES = 40 + 256 * 4;

// Blit modes
enum : uint32_t {
    FZ_BLIT_OWN = 0,     // the picture's own pixels (also 2 and 4)
    FZ_BLIT_MAPPED = 1,  // mapped to 8 bits through the caller's palette (in place)
    FZ_BLIT_OWN2 = 2,
    FZ_BLIT_24 = 3,  // converted to 24 bits (in place)
    FZ_BLIT_OWN4 = 4,
};

// DrawDibDraw(handle, dc, xDst, yDst, wDst, hDst, header, bits, xSrc, ySrc, wSrc, hSrc, flags)
using FzDrawDibFn = int(FZ_PLATFORM_CALL*)(void* handle, void* dc, int xDst, int yDst, int wDst, int hDst,
                                           void* header, void* bits, int xSrc, int ySrc, int wSrc,
                                           int hSrc, uint32_t flags);

// What the viewer control installs: the DrawDib handle, two words the engine does not read,
// and the DrawDibDraw routine.
struct FzDrawDibRecord {
    void* handle;
    uintptr_t unused[2];
    FzDrawDibFn routine;
};

// One platform blit, fully computed. Source coordinates are those of a bottom-up bitmap
// (row 0 is the bottom row of the header's picture).
struct FzBlitCall {
    uint32_t drawDib;  // 1: DrawDibDraw with drawDibHandle/drawDibRoutine; 0: StretchDIBits
    void* dc;
    int32_t dstX, dstY, dstW, dstH;
    int32_t srcX, srcY, srcW, srcH;
    uint8_t* header;  // FZ_DIB_HEADER_BYTES
    void* bits;
    void* drawDibHandle;
    FzDrawDibFn drawDibRoutine;
};
// Performs a blit; 1 when the platform reports success.
using FzBlitExecFn = int (*)(const FzBlitCall* call);
// The executor used by fzBlitToDc. Windows builds start with the platform's; elsewhere there
// is none until one is set (blits then fail). Null restores the default.
void fzSetBlitExecutor(FzBlitExecFn fn);

// Answers non-zero while the hardware back end renders (rectangle copies then do nothing).
using FzDxActiveFn = int (*)();
void fzSetDxActiveQuery(FzDxActiveFn fn);

// Back to the state at load: header template, no DrawDib, default executor, no query.
void fzResetBlitState();
// The module's bitmap header (FZ_DIB_HEADER_BYTES), as the last blit left it.
const uint8_t* fzBlitHeader();

int fzUseDrawDib(const FzDrawDibRecord* record);
int fzNoDrawDib();

// Clips a rectangle to a width x height picture as the clears do: a negative x or y becomes 0,
// the width and height are cut at the picture's edges. 1 when something is left.
int fzClipRect(IRect* rect, int32_t width, int32_t height);
// Widens a rectangle to 4-pixel columns and 2-row pairs (DrawDib's alignment).
IRect fzDrawDibWiden(const IRect& rect);

// Draws the picture's rectangle (null: all of it) with its row 0 at the bottom; the
// destination is x - offsetX, bottom - (h - offsetY + y) in zoom-times-larger pixels.
int fzBlitToDc(void* dc, uint32_t mode, uint32_t paletteCount, const uint32_t* palette,
               PicRecord* picture, const IRect* source, int32_t offsetX, int32_t offsetY,
               int32_t bottom, int32_t zoom);
// fzBlitToDc for the whole picture (null region), the region's bounds, or each rectangle.
int fzBlitRegionToDc(void* dc, uint32_t mode, uint32_t paletteCount, const uint32_t* palette,
                     PicRecord* picture, const UpdateRegion* region, int32_t offsetX,
                     int32_t offsetY, int32_t bottom, int32_t zoom);

// Bitmap view of a picture: mode 1 maps it in place to 8 bits through the palette, mode 3
// converts it in place to 24 bits. header receives FZ_DIB_HEADER_BYTES.
int fzGetDib(PicRecord* picture, uint32_t mode, uint32_t paletteCount, const uint32_t* palette,
             uint8_t* header, void** bits);

int fzCopyRect(const PicRecord* source, PicRecord* destination, IRect* rect);
int fzCopyRegion(const PicRecord* source, PicRecord* destination, const UpdateRegion* region);
int fzCopyColorRect(const PicRecord* source, PicRecord* destination, IRect* rect);
int fzCopyColorRegion(const PicRecord* source, PicRecord* destination, const UpdateRegion* region);
int fzMoveRect(PicRecord* buffer, IRect* rect, int32_t x, int32_t y);
int fzMoveColorRect(PicRecord* buffer, IRect* rect, int32_t x, int32_t y);

// Converts the picture's rows into 24-bit blue-green-red rows, (w * 3 + mask) & ~mask bytes
// apart, written to target's pixels (normally the same block). The size is the smaller of
// the two records'. Refused (0) when the target's block has no room for the result: a 2-byte
// picture needs the depth plane behind its colour plane.
int fzConvertTo24(const PicRecord* picture, PicRecord* target, uint32_t mask);

// Depth 32767 becomes 0, every other depth 0xFFFF.
int fzZToMask(PicRecord* buffer);

#if defined(_WIN32)
// Loads the platform's DrawDib library and opens a handle: fills the record for
// fzUseDrawDib. 0 when the library or its entries are missing.
int fzOpenDrawDib(FzDrawDibRecord* record);
// Closes the handle and releases the library; clears the record.
int fzCloseDrawDib(FzDrawDibRecord* record);
#endif
