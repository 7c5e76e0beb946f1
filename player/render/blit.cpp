// Picture copies between frame buffers and the computed part of blits to a device context.
#include "render/blit.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include "render/fzbuffer.h"
#include "render/palette.h"
#include "render/updregion.h"
#include "scene/engine.h"

#if defined(_WIN32)
int fzBlitExecutePlatform(const FzBlitCall* call);  // blit_win.cpp
#endif

namespace {

FzBlitExecFn defaultExecutor() {
#if defined(_WIN32)
    return fzBlitExecutePlatform;
#else
    return nullptr;
#endif
}

struct BlitState {
    uint8_t header[FZ_DIB_HEADER_BYTES];
    uint32_t drawDibInstalled;
    void* drawDibHandle;
    FzDrawDibFn drawDibRoutine;
    FzBlitExecFn executor;
    FzDxActiveFn dxActive;
};

void headerTemplate(uint8_t* h) {
    std::memset(h, 0, FZ_DIB_HEADER_BYTES);
    picPut32(h + 0, 40);  // size
    picPut16(h + 12, 1);  // planes
    picPut16(h + 14, 8);  // bit count
}

BlitState makeState() {
    BlitState s{};
    headerTemplate(s.header);
    s.executor = defaultExecutor();
    return s;
}

BlitState g_blit = makeState();

void setHeader(uint8_t* h, int32_t width, int32_t height, uint32_t bits) {
    picPut32(h + 4, uint32_t(width));
    picPut32(h + 8, uint32_t(height));
    picPut16(h + 14, bits);
}

// Colours from 0x00RRGGBB words; the reserved byte stays 0.
void setColours(uint8_t* h, uint32_t count, const uint32_t* palette) {
    count = std::min<uint32_t>(count, 256);
    uint8_t* c = h + FZ_DIB_INFO_BYTES;
    std::memset(c, 0, 256 * 4);
    for (uint32_t i = 0; i < count; ++i) picPut32(c + 4 * i, palette[i] & 0x00FFFFFF);
    picPut32(h + 32, count);  // colours used
    picPut32(h + 36, count);  // colours important
}

bool validPicture(const PicRecord* p) {
    return p && p->pixels && p->width > 0 && p->height > 0 &&
           (p->bytesPerPixel == 1 || p->bytesPerPixel == 2 || p->bytesPerPixel == 4);
}

bool fitsInt(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

int blitFailed() {
    errSetContext("???", 99999);
    errReport(ERR_PLAIN, "Blit to the device context failed");
    return 0;
}

// Fills in the destination of a blit and runs it.
int execute(FzBlitCall& call, const IRect& r, int32_t pictureHeight, int32_t offsetX, int32_t offsetY,
            int32_t bottom, int32_t zoom) {
    const int64_t z = zoom;
    const int64_t dx = (int64_t(r.x) - offsetX) * z;
    const int64_t dy = int64_t(bottom) - (int64_t(r.h) - offsetY + r.y) * z;
    const int64_t dw = int64_t(r.w) * z, dh = int64_t(r.h) * z;
    if (!fitsInt(dx) || !fitsInt(dy) || !fitsInt(dw) || !fitsInt(dh)) return 0;
    call.dstX = int32_t(dx);
    call.dstY = int32_t(dy);
    call.dstW = int32_t(dw);
    call.dstH = int32_t(dh);
    call.srcX = r.x;
    call.srcY = pictureHeight - r.h - r.y;
    call.srcW = r.w;
    call.srcH = r.h;
    call.header = g_blit.header;
    if (!g_blit.executor || !g_blit.executor(&call)) return blitFailed();
    return 1;
}

// Maps a 2- or 4-byte picture in place to 8-bit rows padded to 4 bytes.
int mapInPlace(PicRecord* picture, uint32_t count, const uint32_t* palette) {
    const uint32_t bpp = picture->bytesPerPixel;
    if (bpp != 2 && bpp != 4) return 0;
    const uint64_t stride = (uint64_t(picture->width) + 3) & ~uint64_t(3);
    // The 8-bit rows must not run ahead of the rows still to be read.
    if (stride > uint64_t(picture->width) * bpp) return 0;
    PicRecord eight = *picture;
    eight.bytesPerPixel = 1;
    eight.depth = nullptr;
    eight.palette = const_cast<uint32_t*>(palette);
    eight.paletteCount = std::min<uint32_t>(count, 256);
    return palMapImage(picture, &eight, 3);
}

bool sameFrame(const PicRecord* a, const PicRecord* b) {
    return a->width == b->width && a->height == b->height && a->bytesPerPixel == b->bytesPerPixel;
}

void copyRows(const PicRecord* s, PicRecord* d, const IRect& r, bool depth) {
    const size_t bpp = s->bytesPerPixel;
    const size_t stride = size_t(s->width) * bpp;
    for (int32_t y = r.y; y < r.y + r.h; ++y) {
        const size_t at = size_t(y) * stride + size_t(r.x) * bpp;
        std::memmove(d->pixels + at, s->pixels + at, size_t(r.w) * bpp);
        if (depth) {
            const size_t z = size_t(y) * size_t(s->width) + size_t(r.x);
            std::memmove(d->depth + z, s->depth + z, size_t(r.w) * 2);
        }
    }
}

int copyRect(const PicRecord* s, PicRecord* d, IRect* rect, bool depth) {
    if (!validPicture(s) || !validPicture(d) || !sameFrame(s, d)) return 0;
    if (depth && (!s->depth || !d->depth)) return 0;
    if (g_blit.dxActive && g_blit.dxActive()) return 1;
    IRect r = rect ? *rect : IRect{0, 0, s->width, s->height};
    const int left = fzClipRect(&r, s->width, s->height);
    if (rect) *rect = r;
    if (left) copyRows(s, d, r, depth);
    return 1;
}

template <class F> int forRegion(const PicRecord* picture, const UpdateRegion* region, F&& f) {
    if (!region) return f(nullptr);
    if (!region->first) return 1;
    if (rgnPreferBounds(region)) {
        IRect b = region->bounds;
        return f(&b);
    }
    for (const UpdateRect* q = region->first; q; q = q->next) {
        IRect r{q->x0, q->y0, int32_t(int64_t(q->x1) - q->x0), int32_t(int64_t(q->y1) - q->y0)};
        if (!f(&r)) return 0;
    }
    return 1;
}

int moveRect(PicRecord* b, IRect* rect, int32_t x, int32_t y, bool depth) {
    if (!validPicture(b)) return 0;
    if (depth && !b->depth) return 0;
    IRect r = rect ? *rect : IRect{0, 0, b->width, b->height};
    const int left = fzClipRect(&r, b->width, b->height);
    if (rect) *rect = r;
    if (!left || x >= b->width || y >= b->height) return 1;
    int64_t sx = r.x, sy = r.y, w = r.w, h = r.h, dx = x, dy = y;
    if (dx < 0) {
        sx -= dx;
        w += dx;
        dx = 0;
    }
    if (dy < 0) {
        sy -= dy;
        h += dy;
        dy = 0;
    }
    w = std::min<int64_t>(w, b->width - dx);
    h = std::min<int64_t>(h, b->height - dy);
    if (w <= 0 || h <= 0) return 1;
    const size_t bpp = b->bytesPerPixel, W = size_t(b->width);
    auto row = [&](int64_t k) {
        std::memmove(b->pixels + (size_t(dy + k) * W + size_t(dx)) * bpp,
                     b->pixels + (size_t(sy + k) * W + size_t(sx)) * bpp, size_t(w) * bpp);
        if (depth)
            std::memmove(b->depth + size_t(dy + k) * W + size_t(dx), b->depth + size_t(sy + k) * W + size_t(sx),
                         size_t(w) * 2);
    };
    if (dy > sy) {
        for (int64_t k = h - 1; k >= 0; --k) row(k);
    } else {
        for (int64_t k = 0; k < h; ++k) row(k);
    }
    return 1;
}

void to24(const uint8_t* src, uint32_t bpp, uint8_t* dst) {
    if (bpp == 4) {
        const uint8_t b = src[0], g = src[1], r = src[2];
        dst[0] = b;
        dst[1] = g;
        dst[2] = r;
    } else {
        const uint32_t v = picRgb555ToFullRgb(picGet16(src));
        dst[0] = uint8_t(v);
        dst[1] = uint8_t(v >> 8);
        dst[2] = uint8_t(v >> 16);
    }
}

}  // namespace

void fzSetBlitExecutor(FzBlitExecFn fn) { g_blit.executor = fn ? fn : defaultExecutor(); }
void fzSetDxActiveQuery(FzDxActiveFn fn) { g_blit.dxActive = fn; }
void fzResetBlitState() { g_blit = makeState(); }
const uint8_t* fzBlitHeader() { return g_blit.header; }

int fzUseDrawDib(const FzDrawDibRecord* record) {
    if (!record || !record->handle || !record->routine) return 0;
    g_blit.drawDibHandle = record->handle;
    g_blit.drawDibRoutine = record->routine;
    g_blit.drawDibInstalled = 1;
    return 1;
}

int fzNoDrawDib() {
    g_blit.drawDibInstalled = 0;
    g_blit.drawDibHandle = nullptr;
    g_blit.drawDibRoutine = nullptr;
    return 1;
}

int fzClipRect(IRect* rect, int32_t width, int32_t height) {
    if (!rect) return 0;
    if (rect->w <= 0 || rect->h <= 0) return 0;
    if (rect->x < 0) rect->x = 0;
    if (rect->y < 0) rect->y = 0;
    if (rect->x >= width || rect->y >= height) return 0;
    rect->w = int32_t(std::min<int64_t>(rect->w, int64_t(width) - rect->x));
    rect->h = int32_t(std::min<int64_t>(rect->h, int64_t(height) - rect->y));
    return 1;
}

IRect fzDrawDibWiden(const IRect& r) {
    IRect o;
    o.x = r.x & ~3;
    o.w = int32_t((int64_t(r.x & 3) + r.w + 3) & ~int64_t(3));
    o.y = r.y & ~1;
    o.h = int32_t((int64_t(r.y & 1) + r.h + 1) & ~int64_t(1));
    return o;
}

int fzBlitToDc(void* dc, uint32_t mode, uint32_t paletteCount, const uint32_t* palette,
               PicRecord* picture, const IRect* source, int32_t offsetX, int32_t offsetY,
               int32_t bottom, int32_t zoom) {
    if (!validPicture(picture) || zoom < 1) return 0;
    IRect r = source ? *source : IRect{0, 0, picture->width, picture->height};
    if (!fzClipRect(&r, picture->width, picture->height)) return 1;
    const uint32_t bpp = picture->bytesPerPixel;
    FzBlitCall call{};
    call.dc = dc;
    uint8_t* h = g_blit.header;

    if (g_blit.drawDibInstalled && (mode == 0 || mode == 2 || mode == 4)) {
        // The platform reads whole rows padded to 4 bytes: packed rows must already be so.
        if ((uint64_t(picture->width) * bpp) % 4 != 0) return 0;
        if (bpp == 1 && !picture->palette) return 0;
        setHeader(h, picture->width, picture->height, bpp * 8);
        if (bpp == 1) {
            setColours(h, picture->paletteCount, picture->palette);
        } else {
            picPut32(h + 32, 0);
            picPut32(h + 36, 0);
        }
        IRect w = fzDrawDibWiden(r);
        w.w = std::min(w.w, picture->width - w.x);
        w.h = std::min(w.h, picture->height - w.y);
        call.drawDib = 1;
        call.bits = picture->pixels;
        call.drawDibHandle = g_blit.drawDibHandle;
        call.drawDibRoutine = g_blit.drawDibRoutine;
        return execute(call, w, picture->height, offsetX, offsetY, bottom, zoom);
    }
    if (mode == FZ_BLIT_MAPPED) {
        if (!palette || paletteCount == 0 || source) return 0;
        setHeader(h, r.w, r.h, 8);
        setColours(h, paletteCount, palette);
        if (!mapInPlace(picture, paletteCount, palette)) return 0;
    } else if (mode == FZ_BLIT_24) {
        if (source) return 0;
        setHeader(h, r.w, r.h, 24);
        picPut32(h + 32, 0);
        picPut32(h + 36, 0);
        PicRecord target = *picture;
        if (!fzConvertTo24(picture, &target, 3)) return 0;
    } else {
        return 0;
    }
    call.bits = picture->pixels;
    return execute(call, r, picture->height, offsetX, offsetY, bottom, zoom);
}

int fzBlitRegionToDc(void* dc, uint32_t mode, uint32_t paletteCount, const uint32_t* palette,
                     PicRecord* picture, const UpdateRegion* region, int32_t offsetX,
                     int32_t offsetY, int32_t bottom, int32_t zoom) {
    return forRegion(picture, region, [&](const IRect* r) {
        return fzBlitToDc(dc, mode, paletteCount, palette, picture, r, offsetX, offsetY, bottom, zoom);
    });
}

int fzGetDib(PicRecord* picture, uint32_t mode, uint32_t paletteCount, const uint32_t* palette,
             uint8_t* header, void** bits) {
    if (!validPicture(picture) || !header || !bits) return 0;
    uint8_t h[FZ_DIB_HEADER_BYTES];
    headerTemplate(h);
    if (mode == FZ_BLIT_MAPPED && palette && paletteCount) {
        setHeader(h, picture->width, picture->height, 8);
        setColours(h, paletteCount, palette);
        if (!mapInPlace(picture, paletteCount, palette)) return 0;
    } else if (mode == FZ_BLIT_24) {
        setHeader(h, picture->width, picture->height, 24);
        PicRecord target = *picture;
        if (!fzConvertTo24(picture, &target, 3)) return 0;
    } else {
        return 0;
    }
    std::memcpy(header, h, FZ_DIB_HEADER_BYTES);
    *bits = picture->pixels;
    return 1;
}

int fzCopyRect(const PicRecord* source, PicRecord* destination, IRect* rect) {
    return copyRect(source, destination, rect, true);
}
int fzCopyColorRect(const PicRecord* source, PicRecord* destination, IRect* rect) {
    return copyRect(source, destination, rect, false);
}
int fzCopyRegion(const PicRecord* source, PicRecord* destination, const UpdateRegion* region) {
    return forRegion(source, region, [&](const IRect* r) {
        IRect c = r ? *r : IRect{};
        return fzCopyRect(source, destination, r ? &c : nullptr);
    });
}
int fzCopyColorRegion(const PicRecord* source, PicRecord* destination, const UpdateRegion* region) {
    return forRegion(source, region, [&](const IRect* r) {
        IRect c = r ? *r : IRect{};
        return fzCopyColorRect(source, destination, r ? &c : nullptr);
    });
}
int fzMoveRect(PicRecord* buffer, IRect* rect, int32_t x, int32_t y) { return moveRect(buffer, rect, x, y, true); }
int fzMoveColorRect(PicRecord* buffer, IRect* rect, int32_t x, int32_t y) {
    return moveRect(buffer, rect, x, y, false);
}

int fzConvertTo24(const PicRecord* picture, PicRecord* target, uint32_t mask) {
    if (!picture || !target || !picture->pixels || !target->pixels) return 0;
    const uint32_t bpp = picture->bytesPerPixel;
    if (bpp != 2 && bpp != 4) return 0;
    if (mask > 255 || (mask & (mask + 1)) != 0) return 0;
    const int64_t w = std::min(picture->width, target->width), h = std::min(picture->height, target->height);
    if (w <= 0 || h <= 0) return 1;
    const uint64_t stride = (uint64_t(w) * 3 + mask) & ~uint64_t(mask);
    const uint64_t out = stride * uint64_t(h);

    // Room in the target's block: its colour plane, and its depth plane when that follows.
    const uint64_t tw = uint64_t(std::max(target->width, 0)), th = uint64_t(std::max(target->height, 0));
    const uint64_t colour = tw * th * target->bytesPerPixel;
    uint64_t room = colour;
    if (target->depth && reinterpret_cast<const uint8_t*>(target->depth) == target->pixels + colour)
        room += tw * th * 2;
    if (out > room) {
        errSetContext("???", 99999);
        errReport(ERR_LENGTH, "No room for 24-bit rows");
        return 0;
    }

    const uint8_t* src = picture->pixels;
    uint8_t* dst = target->pixels;
    const uint64_t srcStride = uint64_t(picture->width) * bpp;
    const uint64_t srcBytes = srcStride * uint64_t(h);
    // In place, 4-byte pixels go forwards and 2-byte pixels backwards; that order is safe
    // when the 24-bit rows are no longer (4-byte) or no shorter (2-byte) than the source rows.
    const bool overlap = dst < src + srcBytes && src < dst + out;
    const bool ordered = dst == src && (bpp == 4 ? stride <= srcStride : stride >= srcStride);
    std::unique_ptr<uint8_t[]> copy;
    if (overlap && !ordered) {
        copy.reset(new (std::nothrow) uint8_t[size_t(srcBytes)]);
        if (!copy) return 0;
        std::memcpy(copy.get(), src, size_t(srcBytes));
        src = copy.get();
    }
    const uint64_t pad = stride - uint64_t(w) * 3;
    if (bpp == 4) {
        for (int64_t y = 0; y < h; ++y) {
            const uint8_t* s = src + uint64_t(y) * srcStride;
            uint8_t* d = dst + uint64_t(y) * stride;
            for (int64_t x = 0; x < w; ++x) to24(s + 4 * x, 4, d + 3 * x);
            std::memset(d + 3 * w, 0, size_t(pad));
        }
    } else {
        for (int64_t y = h - 1; y >= 0; --y) {
            const uint8_t* s = src + uint64_t(y) * srcStride;
            uint8_t* d = dst + uint64_t(y) * stride;
            for (int64_t x = w - 1; x >= 0; --x) {
                uint8_t px[3];
                to24(s + 2 * x, 2, px);
                std::memcpy(d + 3 * x, px, 3);
            }
            std::memset(d + 3 * w, 0, size_t(pad));
        }
    }
    return 1;
}

int fzZToMask(PicRecord* buffer) {
    if (!validPicture(buffer) || !buffer->depth) return 0;
    const size_t n = size_t(buffer->width) * size_t(buffer->height);
    for (size_t i = 0; i < n; ++i) buffer->depth[i] = buffer->depth[i] == FZ_DEPTH_FAR ? 0 : int16_t(-1);
    return 1;
}
