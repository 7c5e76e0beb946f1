// Routing to the hardware back end: the routing flag and the back end's entry points.
// With no back end installed every entry does nothing.
#pragma once
#include <cstdint>

#include "scene/vecmath.h"

struct TexPixelBlock;
struct PicRecord;

// Flags of dxDrawSubPicture: the picture read right to left, bottom to top; colour-keyed
// pieces (the texture's key index leaves holes), else every texel is drawn.
constexpr uint32_t DX_MIRROR_U = 1;
constexpr uint32_t DX_MIRROR_V = 2;
constexpr uint32_t DX_SUBPIC_COLOUR_KEY = 4;

// Non-zero while frames go to the hardware back end instead of the FZ buffer.
extern int dxActive;

struct DxBackend {
    void (*endPaint)();
    // rect null: the whole buffer. colour: 0x00RRGGBB.
    void (*bufferClear)(const IRect* rect, uint32_t colour, float depth);
    void (*resetRenderState)();
    void (*depthBufferMode)(uint32_t on);
    void (*textureWrap)(uint32_t wrap);
    // Gradient rectangle: top colour on row y0, bottom colour on row y1.
    void (*fillRect)(const float top[3], const float bottom[3], int32_t x0, int32_t y0, int32_t x1, int32_t y1);
    // Rectangle x0, y0, x1, y1 with texture coordinates u0, v0, u1, v1.
    void (*drawPictureRect)(const float rect[4], const float uv[4], float depth, const TexPixelBlock* block,
                            const float colour[3]);
    void (*flushVertexBuffer)();
    // A tiled picture over dest = x0, y0, x1, y1 (engine coordinates; its left column at x0, its
    // top row at y0), the part inside clip (null: the whole buffer); mirror: DX_MIRROR_* flags.
    int (*drawSubPicture)(const PicRecord* picture, const float dest[4], uint32_t mirror, const IRect* clip);
};

// Installs the back end's entries (copied); null removes them.
void dxSetBackend(const DxBackend* backend);
const DxBackend* dxGetBackend();
// Routing off, no back end (tests start clean).
void dxResetHooks();

// Calls that do nothing without an installed entry.
void dxEndPaint();
void dxBufferClear(const IRect* rect, uint32_t colour, float depth);
void dxResetRenderState();
void dxDepthBufferMode(uint32_t on);
void dxTextureWrap(uint32_t wrap);
void dxFillRect(const float top[3], const float bottom[3], int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void dxDrawPictureRect(const float rect[4], const float uv[4], float depth, const TexPixelBlock* block,
                       const float colour[3]);
void FlushVertexBuffer();
int dxDrawSubPicture(const PicRecord* picture, const float dest[4], uint32_t mirror, const IRect* clip);

// Keeps dxActive as found and puts it back on every exit.
struct DxActiveGuard {
    int saved;
    DxActiveGuard() : saved(dxActive) {}
    ~DxActiveGuard() { dxActive = saved; }
    DxActiveGuard(const DxActiveGuard&) = delete;
    DxActiveGuard& operator=(const DxActiveGuard&) = delete;
};
