// Frame buffers, renderer pictures, views and the current background.
#include "render/fzbuffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "scene/engine.h"

namespace {

FzBackgroundState g_state;
FzDeviceQueryFn g_deviceQuery = nullptr;

BgRecord defaultBackground() {
    BgRecord bg{};
    bg.mode = 0;
    bg.zenith[0] = bg.zenith[1] = bg.zenith[2] = 1.0f;
    bg.skyHorizon[0] = 0.7f;
    bg.skyHorizon[1] = 0.7f;
    bg.skyHorizon[2] = 1.0f;
    bg.groundHorizon[0] = 0.6f;
    bg.groundHorizon[1] = 0.7f;
    bg.groundHorizon[2] = 0.6f;
    bg.nadir[0] = 0.3f;
    bg.nadir[1] = 0.4f;
    bg.nadir[2] = 0.3f;
    bg.pictureAngle = 1.0471976f;
    bg.horizon = 0.5f;
    return bg;
}

struct StateInit {
    StateInit() { fzResetState(); }
} g_stateInit;

// One colour component as a byte: x 255, truncated, clamped to 0..255.
uint32_t componentByte(float c) {
    float v = c * 255.0f;
    if (!(v > 0.0f)) return 0;  // also NaN
    if (v >= 255.0f) return 255;
    return uint32_t(v);
}

// Fills table with the RGB555 forms of a picture's palette (at most 256 entries).
void buildTable(const PicRecord* picture, uint16_t table[256]) {
    std::memset(table, 0, 256 * sizeof(uint16_t));
    if (!picture || !picture->palette) return;
    uint32_t n = std::min<uint32_t>(picture->paletteCount, 256);
    for (uint32_t i = 0; i < n; ++i) table[i] = picRgb555(picture->palette[i]);
}

// Rounds and checks a requested size; false when refused.
bool roundedSize(uint32_t width, uint32_t height, uint64_t* w, uint64_t* h) {
    if (width > FZ_MAX_WIDTH || height > FZ_MAX_HEIGHT) return false;
    *w = (uint64_t(width) + 3) & ~uint64_t(3);
    *h = (uint64_t(height) + 1) & ~uint64_t(1);
    return true;
}

}  // namespace

FzBackgroundState& fzBackgroundState() { return g_state; }

void fzResetState() {
    g_state = FzBackgroundState{};
    g_state.bg = defaultBackground();
    g_state.overlayTransparent = 0;
    g_state.overlayHasTransparent = 0;
    g_state.groundFirstRow = g_state.groundLastRow = -1;
    fzSetClearColor(0.0f, 0.0f, 0.0f);
}

void fzSetDeviceQuery(FzDeviceQueryFn fn) { g_deviceQuery = fn; }

int fzCreateEx(uint32_t width, uint32_t height, uint32_t bytesPerPixel, PicRecord** holder,
               uint32_t directX) {
    if (!holder) return 0;
    uint64_t w = 0, h = 0;
    if (!roundedSize(width, height, &w, &h)) return 0;
    *holder = nullptr;
    if (bytesPerPixel != 2 && bytesPerPixel != 4) return 0;

    uint64_t colourBytes = bytesPerPixel;
    uint64_t depthBytes = 2;
    uint32_t devPixel = 0, devDepth = 0;
    if (directX && g_deviceQuery && g_deviceQuery(&devPixel, &devDepth)) {
        // Device sizes beyond 4 bytes are not real pixel formats.
        if (devPixel <= 4) colourBytes = std::max<uint64_t>(colourBytes, devPixel);
        if (devDepth <= 4) depthBytes = std::max<uint64_t>(depthBytes, devDepth);
    }
    const uint64_t pixels = w * h;  // at most 8192 x 8192: no overflow in 64 bits
    const uint64_t colourPlane = colourBytes * pixels;
    const uint64_t total = colourPlane + depthBytes * pixels;
    if (total > SIZE_MAX) return 0;

    auto* pic = static_cast<PicRecord*>(memAllocZ(sizeof(PicRecord)));
    if (!pic) return 0;
    auto* block = static_cast<uint8_t*>(memAllocZ(size_t(total)));
    if (!block) {
        memFree(pic);
        return 0;
    }
    pic->pixels = block;
    pic->depth = reinterpret_cast<int16_t*>(block + colourPlane);
    pic->width = int32_t(w);
    pic->height = int32_t(h);
    pic->bytesPerPixel = bytesPerPixel;
    *holder = pic;
    return 1;
}

int fzCreate(uint32_t width, uint32_t height, uint32_t bytesPerPixel, PicRecord** holder) {
    return fzCreateEx(width, height, bytesPerPixel, holder, 0);
}

int fzCreateImage(uint32_t width, uint32_t height, uint32_t bytesPerPixel, PicRecord** holder,
                  uint32_t paletteCount, const uint32_t* palette) {
    if (!holder) return 0;
    uint64_t w = 0, h = 0;
    if (!roundedSize(width, height, &w, &h)) return 0;
    *holder = nullptr;
    if (bytesPerPixel != 1 && bytesPerPixel != 2 && bytesPerPixel != 4) return 0;

    auto* pic = static_cast<PicRecord*>(memAllocZ(sizeof(PicRecord)));
    if (!pic) return 0;
    if (bytesPerPixel == 1 && paletteCount && palette) {
        // Always 256 entries: pixel values index the palette directly.
        const uint32_t n = std::min<uint32_t>(paletteCount, 256);
        pic->palette = static_cast<uint32_t*>(memAllocZ(256 * sizeof(uint32_t)));
        if (pic->palette) {
            std::memcpy(pic->palette, palette, n * sizeof(uint32_t));
            pic->paletteCount = n;
        }
    }
    pic->pixels = static_cast<uint8_t*>(memAllocZ(size_t(w * h * bytesPerPixel)));
    if (!pic->pixels) {
        memFree(pic->palette);
        memFree(pic);
        return 0;
    }
    pic->width = int32_t(w);
    pic->height = int32_t(h);
    pic->bytesPerPixel = bytesPerPixel;
    *holder = pic;
    return 1;
}

int fzCreateView(const PicRecord* source, uint32_t width, PicRecord** holder, uint32_t* height) {
    if (!source || !holder || !height || width == 0 || !source->pixels || source->width <= 0 ||
        source->height <= 0)
        return 0;
    const uint64_t rows = uint64_t(source->width) * uint64_t(source->height) / width;
    uint64_t h = *height;
    if (h == 0 || h > rows) h = rows;
    auto* view = static_cast<PicRecord*>(memAllocZ(sizeof(PicRecord)));
    if (!view) return 0;
    *height = uint32_t(h);
    view->pixels = source->pixels;
    view->depth = reinterpret_cast<int16_t*>(source->pixels + uint64_t(source->bytesPerPixel) * width * h);
    view->width = int32_t(width);
    view->height = int32_t(h);
    view->bytesPerPixel = source->bytesPerPixel;
    view->flags = PIC_BORROWED;
    *holder = view;
    return 1;
}

int fzFree(PicRecord** holder) { return picDestroy(holder); }

int fzFreeImage(PicRecord** holder) { return picDestroy(holder); }

int fzFreeView(PicRecord** holder) {
    if (!holder) return 0;
    memFree(*holder);  // a view owns only its record
    *holder = nullptr;
    return 1;
}

int fzSetClearColor(float red, float green, float blue) {
    const uint32_t r = componentByte(red), g = componentByte(green), b = componentByte(blue);
    g_state.clear[0] = red;
    g_state.clear[1] = green;
    g_state.clear[2] = blue;
    g_state.bg.clear[0] = red;
    g_state.bg.clear[1] = green;
    g_state.bg.clear[2] = blue;
    g_state.clear32 = (r << 16) | (g << 8) | b;
    g_state.clear15 = uint16_t(((r & 0xF8) << 7) | ((g & 0xF8) << 2) | (b >> 3));
    return 1;
}

int fzSetBackground(const BgRecord* background) {
    if (!background) return 0;
    g_state.bg = *background;
    fzSetClearColor(background->clear[0], background->clear[1], background->clear[2]);
    if (const PicRecord* overlay = background->overlay) {
        buildTable(overlay, g_state.overlayTable);
        g_state.overlayHasTransparent = 0;
        g_state.overlayTransparent = 255;
        const uint32_t n = overlay->palette ? std::min<uint32_t>(overlay->paletteCount, 256) : 0;
        for (uint32_t i = 0; i < n; ++i) {
            if ((overlay->palette[i] & 0x00FFFFFF) == 0) {
                g_state.overlayTransparent = uint8_t(i);
                g_state.overlayHasTransparent = 1;
                break;
            }
        }
    }
    return 1;
}

uint32_t fzOverlaySkipIndex() {
    return g_state.overlayHasTransparent ? g_state.overlayTransparent : FZ_OVERLAY_OPAQUE;
}

int fzGetBackground(BgRecord* out) {
    if (!out) return 0;
    *out = g_state.bg;
    return 1;
}

int fzPrepareBackground(const BgRecord* background) {
    if (!background) return 0;
    if (background->mode >= 2 && background->mode <= 4) {
        if (!background->picture) return 0;
        buildTable(background->picture, g_state.pictureTable);
    }
    return 1;
}

int fzResetBackground(const BgRecord* background) {
    if (!fzPrepareBackground(background)) return 0;
    return fzSetBackground(background);
}
