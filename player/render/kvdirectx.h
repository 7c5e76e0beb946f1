// Hardware back end: DirectDraw 7 / Direct3D 7 rendering into a hooked window (Windows builds).
// Window and device-context handles are passed as void* so the interface stays platform-free.
// Functions answer 1 for success and 0 for failure unless said otherwise; results named HRESULT
// are 0 (S_OK) or a DirectX error.
#pragma once
#include <cstdint>

#include "render/dxpure.h"
#include "scene/picture.h"
#include "scene/vecmath.h"

struct LineRecord;
struct TriRecord;
struct TexPixelBlock;
struct UpdateRegion;

// Messages sent to the hooked window and its parent (both parameters 0).
constexpr uint32_t dxFailureMessage = 0x04FC;   // Direct3D failed and is gone
constexpr uint32_t dxRestoredMessage = 0x04FD;  // surfaces restored: draw the frame again
constexpr uint32_t dxStateMagic = 0x576E4D61;
// Flag of the placeholder frame record of hardware mode: it has no pixels of its own.
constexpr uint32_t DX_PIC_HARDWARE = 0x80000000u;

namespace kvdx {

// Loading, enumeration, modes.
int dxLoadLibrary();
int dxUnloadLibrary();
int dxStartup();
uint32_t dxGetStatus();  // 0 fine, 3 no ddraw.dll, 4 an entry point missing
int dxShutdown();
int dxGetDeviceBuffer(PicRecord** picture, int32_t* width, int32_t* height, int* windowed);
int dxGetDisplayModes(const dxDisplayMode** table, uint32_t* count);
int dxSelectDisplayMode(int fullScreen, uint32_t index);
int dxSetFullScreen(int flag);
int dxAvailableFlag();
int dxWindowedOkFlag();

// Window hook and context.
int dxDirectXSetContext(void* window);
int dxSetContext(void* window);
int dxSetActive(int flag);
int dxGetActive();
int dxAttachWindow(int attach, void* window);
int dxGetBackBufferDC(void** hdc, int* wasPainting);
int dxReleaseBackBufferDC(void** hdc, int beginAgain);
int dxResetContext();
int dxUpdateClientRect();
int32_t dxSwapWindow(void* window);  // HRESULT

// Render states.
void dxResetRenderState();
void dxDepthBufferMode(uint32_t on);
void InitRenderState(uint32_t zWrite);
void dxTextureWrap(uint32_t wrap);

// Primitives and texture cache.
void FlushVertexBuffer();
void dxSetDrawMode(uint32_t flags);
void dxAddTriangle(const DxVertex* a, const DxVertex* b, const DxVertex* c);
int dxTriangle(const TriRecord* tri);
void dxTriangleEdges(const TriRecord* tri, uint32_t edges);
// Points are x, y, u, v.
void dxTriangleTwoPass(const float* p0, const float* p1, const float* p2, const TexPixelBlock* first,
                       const TexPixelBlock* second);
// Points are x, y, z (engine depth), as for the software line routine; record as there
// (null: the flat colour, black when null too).
int dxLine(const float* start, const float* end, const float* colour, uint32_t depthTest, const LineRecord* record);
// Gradient over columns x0 .. x1 and engine rows y0 .. y1 (inclusive): top colour on row y0.
void dxFillRect(const float top[3], const float bottom[3], int32_t x0, int32_t y0, int32_t x1, int32_t y1);
// rect x0, y0, x1, y1 in engine coordinates as for triangles (integer bounds cover pixels x0 ..
// x1 - 1, rows y0 .. y1 - 1, each sampled at its centre), uv u0, v0, u1, v1 at (x0, y0), (x1, y1).
void dxDrawTexturedRect(const float rect[4], const float uv[4], float depth, const TexPixelBlock* block,
                        const float colour[3]);
void dxDrawPictureRect(const float rect[4], const float uv[4], float depth, const TexPixelBlock* block,
                       const float colour[3]);
// A tiled picture over dest = x0, y0, x1, y1 in engine coordinates (its left column at x0, its
// top row at y0; reversed bounds turn it), the part inside clip (null: the whole buffer) drawn
// tile by tile; mirror: DX_MIRROR_U / DX_MIRROR_V / DX_SUBPIC_COLOUR_KEY (dxhook.h). 0 without a
// painting context.
int dxDrawSubPicture(const PicRecord* picture, const float dest[4], uint32_t mirror, const IRect* clip);
void dxSetTex(const TexPixelBlock* stage0, const TexPixelBlock* stage1, const float* colour);
void dxRemoveTexFromCache(TexPixelBlock* key);
void dxCacheClearAll();
// Entries in the current context's texture cache (tests).
uint32_t dxCacheCount();
// Top texture surface (IDirectDrawSurface7) cached for a block in the current context, or null.
void* dxCacheSurface(const TexPixelBlock* key);

// Buffers.
int dxBufferClear(const IRect* rect, uint32_t colour, float depth);  // 0; a failed Clear is only reported
int dxBeginPaint();
int dxEndPaint();
int32_t dxBufferSwap();  // HRESULT, current context
int kvdxDoFilter();
int dxBitBltFZtoDirectX(PicRecord* fz, int convert, void* unused, int32_t xOffset, int32_t yOffset,
                        const IRect* rect);
int dxBitBltFZfromDirectX(PicRecord* fz, int convert, void* unused, int32_t xOffset, int32_t yOffset,
                          const IRect* rect);
int dxBitBltFZtoDirectXRegion(PicRecord* fz, int convert, void* unused, int32_t xOffset, int32_t yOffset,
                              const UpdateRegion* region);
int dxBitBltFZfromDirectXRegion(PicRecord* fz, int convert, void* unused, int32_t xOffset, int32_t yOffset,
                                const UpdateRegion* region);
int dxPresentMultiView();

// Connects the renderer's hooks (routing entries, FZ device query, texture-cache removal).
void dxInstallBackend();

// State of the current context (tests and diagnostics).
struct DxContextInfo {
    int present, initialised, emulation, painting, visible;
    int32_t width, height;
    uint32_t drawMode, pixelBytes, zBytes, capFlags;
    int32_t vertexCount;
    void* device;      // IDirect3DDevice7
    void* backBuffer;  // IDirectDrawSurface7
    void* zBuffer;     // IDirectDrawSurface7
};
DxContextInfo dxCurrentInfo();
// Test seam: while a bit is set the matching device call fails (the hardware set-up fails at
// once and the emulation set-up follows; the batch draw, the cooperative-level test, BeginScene
// and Clear answer E_FAIL).
enum : uint32_t {
    DX_FAULT_HARDWARE_SETUP = 1,
    DX_FAULT_DRAW = 2,
    DX_FAULT_COOPERATIVE = 4,
    DX_FAULT_BEGINSCENE = 8,
    DX_FAULT_CLEAR = 16,
};
void dxSetTestFaults(uint32_t mask);
// The result of the newest failed DirectX call that was reported (0: none yet).
int32_t dxLastReportedError();
// Back to the state at load: contexts released and unhooked, library unloaded, flags clear.
void dxResetState();

}  // namespace kvdx
