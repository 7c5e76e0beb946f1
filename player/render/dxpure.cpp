#include "render/dxpure.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "scene/picture.h"

int dxDepthRendered(uint32_t bits, uint32_t renderDepths) {
    if (bits == 32) return (renderDepths & DX_BD_32) ? 1 : 0;
    if (bits == 16) return (renderDepths & DX_BD_16) ? 1 : 0;
    return 0;
}

DxDesktopResult dxCheckDesktop(uint32_t bits, uint32_t width, uint32_t height, uint32_t renderDepths,
                               uint64_t vidMemFree) {
    DxDesktopResult r{0, 1, 0};
    if (!dxDepthRendered(bits, renderDepths)) return r;
    r.accepted = 1;
    const uint64_t need = uint64_t(bits / 8 + 2) * width * height;
    if (need > vidMemFree) r.windowedOk = 0;
    r.pixelBytes = bits / 8;
    return r;
}

int dxModeAccepted(const dxDisplayMode& mode, uint32_t desktopWidth, uint32_t desktopHeight,
                   uint32_t renderDepths, uint64_t vidMemTotal) {
    if (mode.height > desktopHeight || mode.width > desktopWidth) return 0;
    if (mode.width < 640 || mode.height < 480) return 0;
    if (!dxDepthRendered(mode.bits, renderDepths)) return 0;
    const uint64_t need = uint64_t(mode.bits / 8 + 4) * mode.width * mode.height;
    return need > vidMemTotal ? 0 : 1;
}

int dxAppendMode(dxDisplayMode* table, uint32_t* count, const dxDisplayMode& mode) {
    if (*count >= DX_MAX_MODES) {
        *count = DX_MAX_MODES;
        return 0;
    }
    table[(*count)++] = mode;
    return *count < DX_MAX_MODES ? 1 : 0;
}

int dxDevicePick(DxDeviceChoice* choice, DxDeviceKind kind, int hwRasterisation, uint32_t deviceDepths) {
    if (kind == DX_DEVICE_TNLHAL) {
        choice->renderDepths = deviceDepths;
        choice->tnl = 1;
        return 0;
    }
    if (kind == DX_DEVICE_HAL && hwRasterisation) choice->renderDepths = deviceDepths;
    return 1;
}

int dxZFormatPick(uint32_t flags, uint32_t bits, uint32_t* chosenBits, int* take) {
    *take = 0;
    if (flags != DX_PF_ZBUFFER) return 1;
    if (bits == 16) {
        *chosenBits = 16;
        *take = 1;
        return 0;
    }
    if (bits == 32) {
        *chosenBits = 32;
        *take = 1;
    }
    return 1;
}

int dxTexFormatPick(uint32_t flags, uint32_t bits, uint32_t* bestBits, int* take) {
    *take = 0;
    if (flags & (DX_PF_LUMINANCE | DX_PF_BUMPLUMINANCE | DX_PF_BUMPDUDV | DX_PF_FOURCC | DX_PF_ALPHA)) return 1;
    if (bits == 8 && !(flags & DX_PF_PALETTEINDEXED8)) return 1;
    if (bits == 0 || bits % 8 != 0 || bits > 32 || bits >= *bestBits) return 1;
    *bestBits = bits;
    *take = 1;
    return bits == 8 ? 0 : 1;
}

namespace {
uint32_t channelByte(float c) {
    const float v = c * 255.0f;
    if (!(v > 0.0f)) return 0;  // also NaN
    if (v >= 255.0f) return 255;
    return uint32_t(v);
}
}  // namespace

uint32_t dxAlphaByte(float alpha) { return channelByte(alpha); }

uint32_t dxPackColour(float r, float g, float b, uint32_t alphaByte) {
    return (alphaByte << 24) | (channelByte(r) << 16) | (channelByte(g) << 8) | channelByte(b);
}

void dxConvertVertex(const DxEngineVertex& in, uint32_t flags, float alpha, int32_t height, DxVertex* out) {
    out->x = in.sx - DX_PIXEL_CENTRE;
    out->y = float(height) - in.sy - DX_PIXEL_CENTRE;
    out->z = (flags & 0x01) ? dxDepthToZ(in.sz) : 1.0f;
    if (flags & 0x08) {
        out->rhw = in.sw != 0.0f ? 1.0f / in.sw : 1.0f;
        out->u = in.u;
        out->v = in.v;
    } else {
        out->rhw = 0.001f;
        out->u = out->v = 0.0f;
    }
    out->diffuse = dxPackColour(in.r, in.g, in.b, (flags & 0x10) ? dxAlphaByte(alpha) : 0);
}

int dxPlanLevels(uint32_t log2Width, uint32_t log2Height, uint32_t levelCount, uint32_t maxWidth,
                 uint32_t maxHeight, DxLevelPlan* plan) {
    if (!plan || levelCount == 0 || log2Width > 15 || log2Height > 15) return 0;
    uint32_t w = 1u << log2Width, h = 1u << log2Height, skip = 0;
    while ((maxWidth && w > maxWidth) || (maxHeight && h > maxHeight)) {
        w = std::max(1u, w / 2);
        h = std::max(1u, h / 2);
        ++skip;
        if (skip >= levelCount) return 0;
    }
    plan->width = w;
    plan->height = h;
    plan->skipped = skip;
    plan->levels = levelCount - skip;
    plan->smaller = std::min(w, h);
    plan->filter = plan->smaller > 8 ? 2 : 1;
    return 1;
}

uint32_t dxColourKeyIndex(const uint32_t* palette, uint32_t count) {
    if (!palette) return 0;
    for (uint32_t i = 1; i < count && i < 256; ++i)
        if (palette[i] == 0) return i;
    return 0;
}

void dxBuildColourTable(const uint32_t* palette, uint32_t count, const float* multiplier, uint8_t table[256][3]) {
    std::memset(table, 0, 256 * 3);
    if (!palette || count == 0) {
        for (uint32_t i = 0; i < 256; ++i) table[i][0] = table[i][1] = table[i][2] = uint8_t(i);
        return;
    }
    for (uint32_t i = 0; i < count && i < 256; ++i) {
        uint32_t c[3] = {(palette[i] >> 16) & 0xFF, (palette[i] >> 8) & 0xFF, palette[i] & 0xFF};
        for (int k = 0; k < 3; ++k) {
            if (multiplier) {
                const float v = float(c[k]) * multiplier[k];
                c[k] = !(v > 0.0f) ? 0 : v >= 255.0f ? 255 : uint32_t(v);
            }
            table[i][k] = uint8_t(c[k]);
        }
    }
}

uint32_t dxMaskShift(uint32_t mask, uint32_t* shift) {
    uint32_t s = 0, n = 0;
    if (mask) {
        while (!(mask & (1u << s))) ++s;
        while (s + n < 32 && (mask & (1u << (s + n)))) ++n;
    }
    if (shift) *shift = s;
    return n;
}

DxPixelLayout dxLayoutFromMasks(uint32_t bytes, uint32_t redMask, uint32_t greenMask, uint32_t blueMask) {
    DxPixelLayout l{};
    l.bytes = bytes;
    if ((bytes == 3 || bytes == 4) && !(redMask | greenMask | blueMask)) {
        redMask = 0xFF0000;
        greenMask = 0xFF00;
        blueMask = 0xFF;
    }
    l.r.bits = std::min(8u, dxMaskShift(redMask, &l.r.shift));
    l.g.bits = std::min(8u, dxMaskShift(greenMask, &l.g.shift));
    l.b.bits = std::min(8u, dxMaskShift(blueMask, &l.b.shift));
    return l;
}

int dxLayoutIs555(const DxPixelLayout& l) {
    return l.bytes == 2 && l.r.bits == 5 && l.g.bits == 5 && l.b.bits == 5 && l.r.shift == 10 && l.g.shift == 5 &&
           l.b.shift == 0;
}

namespace {
uint32_t packChannel(const DxChannel& c, uint32_t v) {
    if (c.bits == 0) return 0;
    return (v >> (8 - c.bits)) << c.shift;
}
uint32_t unpackChannel(const DxChannel& c, uint32_t value) {
    if (c.bits == 0) return 0;
    const uint32_t v = (value >> c.shift) & ((1u << c.bits) - 1);
    return (v << (8 - c.bits)) & 0xFF;
}
}  // namespace

uint32_t dxPackPixel(const DxPixelLayout& l, uint32_t r, uint32_t g, uint32_t b) {
    return packChannel(l.r, r & 0xFF) | packChannel(l.g, g & 0xFF) | packChannel(l.b, b & 0xFF);
}

void dxUnpackPixel(const DxPixelLayout& l, uint32_t value, uint32_t* r, uint32_t* g, uint32_t* b) {
    *r = unpackChannel(l.r, value);
    *g = unpackChannel(l.g, value);
    *b = unpackChannel(l.b, value);
}

void dxStorePixel(uint8_t* p, uint32_t bytes, uint32_t value) {
    for (uint32_t i = 0; i < bytes; ++i) p[i] = uint8_t(value >> (8 * i));
}

uint32_t dxLoadPixel(const uint8_t* p, uint32_t bytes) {
    uint32_t v = 0;
    for (uint32_t i = 0; i < bytes; ++i) v |= uint32_t(p[i]) << (8 * i);
    return v;
}

namespace {
void fzLoad(const uint8_t* p, uint32_t fzBytes, uint32_t* r, uint32_t* g, uint32_t* b) {
    if (fzBytes == 2) {
        const uint32_t v = picRgb555ToRgb(picGet16(p));
        *r = (v >> 16) & 0xFF;
        *g = (v >> 8) & 0xFF;
        *b = v & 0xFF;
    } else if (fzBytes == 3) {
        *r = p[0];
        *g = p[1];
        *b = p[2];
    } else {
        *b = p[0];
        *g = p[1];
        *r = p[2];
    }
}
void fzStore(uint8_t* p, uint32_t fzBytes, uint32_t r, uint32_t g, uint32_t b) {
    if (fzBytes == 2) {
        const uint32_t v = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
    } else if (fzBytes == 3) {
        p[0] = uint8_t(r);
        p[1] = uint8_t(g);
        p[2] = uint8_t(b);
    } else {
        p[0] = uint8_t(b);
        p[1] = uint8_t(g);
        p[2] = uint8_t(r);
        p[3] = 0;
    }
}
bool validFz(uint32_t b) { return b == 2 || b == 3 || b == 4; }
}  // namespace

void dxConvertRowToDevice(const uint8_t* src, uint32_t fzBytes, uint8_t* dst, const DxPixelLayout& dev,
                          uint32_t count, int convert) {
    if (!src || !dst || !validFz(fzBytes) || !validFz(dev.bytes)) return;
    if (!convert && fzBytes == dev.bytes) {
        std::memcpy(dst, src, size_t(count) * fzBytes);
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t r, g, b;
        fzLoad(src + size_t(i) * fzBytes, fzBytes, &r, &g, &b);
        dxStorePixel(dst + size_t(i) * dev.bytes, dev.bytes, dxPackPixel(dev, r, g, b));
    }
}

void dxConvertRowFromDevice(const uint8_t* src, const DxPixelLayout& dev, uint8_t* dst, uint32_t fzBytes,
                            uint32_t count, int convert) {
    if (!src || !dst || !validFz(fzBytes) || !validFz(dev.bytes)) return;
    if (!convert && fzBytes == dev.bytes) {
        std::memcpy(dst, src, size_t(count) * fzBytes);
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t r, g, b;
        dxUnpackPixel(dev, dxLoadPixel(src + size_t(i) * dev.bytes, dev.bytes), &r, &g, &b);
        fzStore(dst + size_t(i) * fzBytes, fzBytes, r, g, b);
    }
}

void dxConvertDepthToDevice(const int16_t* src, uint8_t* dst, uint32_t zBytes, uint32_t count, int convert) {
    if (!src || !dst || (zBytes != 2 && zBytes != 4)) return;
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t d = src[i];
        uint32_t v;
        if (zBytes == 2)
            v = convert ? uint32_t(std::clamp(d + 32767, 0, 65535)) : uint32_t(uint16_t(d));
        else
            v = convert ? uint32_t(std::clamp(d + 32767, 0, 65535)) << 16 : uint32_t(d) << 16;
        dxStorePixel(dst + size_t(i) * zBytes, zBytes, v);
    }
}

void dxConvertDepthFromDevice(const uint8_t* src, uint32_t zBytes, int16_t* dst, uint32_t count, int convert) {
    if (!src || !dst || (zBytes != 2 && zBytes != 4)) return;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t v = dxLoadPixel(src + size_t(i) * zBytes, zBytes);
        if (zBytes == 4) v >>= 16;
        dst[i] = convert ? int16_t(std::clamp(int32_t(v) - 32767, -32768, 32767)) : int16_t(uint16_t(v));
    }
}

void dxConvertTexRow(const uint8_t* indices, const uint8_t table[256][3], uint8_t* dst,
                     const DxPixelLayout& layout, uint32_t count) {
    if (!indices || !dst) return;
    if (layout.bytes == 1) {
        std::memcpy(dst, indices, count);
        return;
    }
    if (!validFz(layout.bytes)) return;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = table[indices[i]];
        dxStorePixel(dst + size_t(i) * layout.bytes, layout.bytes, dxPackPixel(layout, e[0], e[1], e[2]));
    }
}

int dxClipCopy(int32_t rx, int32_t ry, int32_t rw, int32_t rh, int32_t xOffset, int32_t yOffset,
               int32_t fzWidth, int32_t fzHeight, int32_t devWidth, int32_t devHeight, DxCopyRect* out) {
    int64_t sx = int64_t(rx) + xOffset, sy = int64_t(ry) + yOffset, dx = rx;
    int64_t w = rw, h = rh;
    if (w <= 0 || h <= 0) return 0;
    if (sx < 0) {
        dx -= sx;
        w += sx;
        sx = 0;
    }
    if (sy < 0) {
        h += sy;
        sy = 0;
    }
    if (dx < 0) {
        sx -= dx;
        w += dx;
        dx = 0;
    }
    w = std::min({w, int64_t(fzWidth) - sx, int64_t(devWidth) - dx});
    h = std::min({h, int64_t(fzHeight) - sy, int64_t(devHeight) - sy});
    if (w <= 0 || h <= 0) return 0;
    out->srcX = int32_t(sx);
    out->srcY = int32_t(sy);
    out->dstX = int32_t(dx);
    out->width = int32_t(w);
    out->height = int32_t(h);
    return 1;
}

uint32_t dxRemapEdges(uint32_t edges, uint32_t swapBits) {
    static const uint8_t table[64] = {
        0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 2, 2, 4, 4, 2, 2, 2, 4, 1, 4, 2, 1, 4, 1, 3, 5, 3, 6, 6, 5, 6, 3,
        4, 2, 4, 1, 1, 2, 1, 4, 5, 3, 6, 3, 5, 6, 3, 6, 6, 6, 5, 5, 3, 3, 5, 5, 7, 7, 7, 7, 7, 7, 7, 7,
    };
    return table[((edges & 7) << 3) | (swapBits & 7)];
}
