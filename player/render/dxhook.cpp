#include "render/dxhook.h"

int dxActive = 0;

namespace {
DxBackend g_backend = {};
bool g_installed = false;
}  // namespace

void dxSetBackend(const DxBackend* backend) {
    if (backend) {
        g_backend = *backend;
        g_installed = true;
    } else {
        g_backend = {};
        g_installed = false;
    }
}

const DxBackend* dxGetBackend() { return g_installed ? &g_backend : nullptr; }

void dxResetHooks() {
    dxActive = 0;
    dxSetBackend(nullptr);
}

void dxEndPaint() {
    if (g_backend.endPaint) g_backend.endPaint();
}
void dxBufferClear(const IRect* rect, uint32_t colour, float depth) {
    if (g_backend.bufferClear) g_backend.bufferClear(rect, colour, depth);
}
void dxResetRenderState() {
    if (g_backend.resetRenderState) g_backend.resetRenderState();
}
void dxDepthBufferMode(uint32_t on) {
    if (g_backend.depthBufferMode) g_backend.depthBufferMode(on);
}
void dxTextureWrap(uint32_t wrap) {
    if (g_backend.textureWrap) g_backend.textureWrap(wrap);
}
void dxFillRect(const float top[3], const float bottom[3], int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (g_backend.fillRect) g_backend.fillRect(top, bottom, x0, y0, x1, y1);
}
void dxDrawPictureRect(const float rect[4], const float uv[4], float depth, const TexPixelBlock* block,
                       const float colour[3]) {
    if (g_backend.drawPictureRect) g_backend.drawPictureRect(rect, uv, depth, block, colour);
}
void FlushVertexBuffer() {
    if (g_backend.flushVertexBuffer) g_backend.flushVertexBuffer();
}
int dxDrawSubPicture(const PicRecord* picture, const float dest[4], uint32_t mirror, const IRect* clip) {
    return g_backend.drawSubPicture ? g_backend.drawSubPicture(picture, dest, mirror, clip) : 0;
}
