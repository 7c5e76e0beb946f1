// Display palettes and the depth-tested rectangle fill.
#include "render/palette.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "scene/camera.h"
#include "scene/engine.h"
#include "scene/memblock.h"

const PalDisplayEntry palFixedColours[PAL_FIXED_COUNT] = {
    {0, 0, 0, 1},       {0, 0, 255, 1},     {0, 255, 0, 1},     {255, 0, 0, 1},   {0, 255, 255, 1},
    {255, 0, 255, 1},   {255, 255, 0, 1},   {255, 255, 255, 1}, {0, 0, 128, 1},   {0, 128, 0, 1},
    {128, 0, 0, 1},     {0, 128, 128, 1},   {128, 0, 128, 1},   {128, 128, 0, 1}, {128, 128, 128, 1},
    {0, 0, 192, 1},     {0, 192, 0, 1},     {192, 0, 0, 1},     {0, 192, 192, 1}, {192, 0, 192, 1},
    {192, 192, 0, 1},   {192, 192, 192, 1},
};

int palBuildDisplayEntries(const PicRecord* picture, PalDisplayEntry entries[256], uint32_t* count,
                           uint32_t** colours) try {
    if (count) *count = 0;
    if (colours) *colours = nullptr;
    if (!entries || !count || !colours) return 0;
    MemPtr<uint32_t> chosen = allocArray<uint32_t>(256);
    if (!chosen) return 0;
    const uint32_t k = palFromImage(picture, chosen.get(), PAL_DISPLAY_CHOSEN);
    if (k == 0) return 0;
    for (uint32_t i = 0; i < k; ++i) {
        const uint32_t c = chosen.get()[i];
        entries[i] = {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 1};
    }
    for (uint32_t i = 0; i < PAL_FIXED_COUNT; ++i) entries[k + i] = palFixedColours[i];
    for (uint32_t i = k + PAL_FIXED_COUNT; i < 256; ++i)
        entries[i] = {uint8_t(std::rand()), uint8_t(std::rand()), uint8_t(std::rand()), 1};
    *count = k;
    *colours = chosen.release();
    return 1;
} QIV_ENGINE_CATCH(0)

// --- depth-tested rectangle fill ------------------------------------------------------------

namespace {
FzTargetFn g_target = nullptr;

float unit(float c) { return std::isnan(c) ? 0.0f : std::clamp(c, 0.0f, 1.0f); }
}  // namespace

void fzSetTargetSource(FzTargetFn fn) { g_target = fn; }

int fzFillRectDepthOn(PicRecord* target, const IRect* rect, float depth, float red, float green,
                      float blue) {
    if (!target || !rect || !target->pixels || !target->depth) return 0;
    const uint32_t ps = target->bytesPerPixel;
    if (ps != 2 && ps != 4) return 0;
    const int64_t x0 = std::max<int64_t>(rect->x, 0), y0 = std::max<int64_t>(rect->y, 0);
    const int64_t x1 = std::min<int64_t>(int64_t(rect->x) + rect->w, target->width);
    const int64_t y1 = std::min<int64_t>(int64_t(rect->y) + rect->h, target->height);
    const int16_t z = camDepthToI16(depth);
    const float r = unit(red), g = unit(green), b = unit(blue);
    const uint32_t colour = ps == 2 ? ((uint32_t(r * 31744.0f) & 0x7C00) | (uint32_t(g * 992.0f) & 0x3E0) |
                                       (uint32_t(b * 31.0f) & 31))
                                    : ((uint32_t(r * 255.0f) << 16) | (uint32_t(g * 255.0f) << 8) |
                                       uint32_t(b * 255.0f));
    for (int64_t y = y0; y < y1; ++y) {
        for (int64_t x = x0; x < x1; ++x) {
            const uint64_t i = uint64_t(y) * uint64_t(target->width) + uint64_t(x);
            if (target->depth[i] <= z) continue;
            target->depth[i] = z;
            if (ps == 2)
                picPut16(target->pixels + 2 * i, colour);
            else
                picPut32(target->pixels + 4 * i, colour);
        }
    }
    return 1;
}

int fzFillRectDepth(const IRect* rect, float depth, float red, float green, float blue) {
    return fzFillRectDepthOn(g_target ? g_target() : nullptr, rect, depth, red, green, blue);
}
