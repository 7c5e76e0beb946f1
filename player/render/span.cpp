// Row walkers and pixel routines of the triangle rasteriser, and the routine tables.
#include "render/span.h"

#include <cmath>
#include <cstring>

#include "render/dxhook.h"
#include "render/line.h"
#include "render/spanwalk.h"
#include "scene/engine.h"

namespace {

SpanParams g_span;

using namespace span_walk;

// The walker of the current half in the span block (edges stepped in locals, written back).
template <unsigned M, bool Id = false>
void walk() {
    SpanParams& p = g_span;
    SpanEdge longEdge = p.longEdge, shortEdge = p.shortEdge;
    if (p.orientation)
        walkRows<M, Id, true>(p, longEdge, shortEdge, p.firstRow, p.endRow);
    else
        walkRows<M, Id, false>(p, longEdge, shortEdge, p.firstRow, p.endRow);
    p.longEdge = longEdge;
    p.shortEdge = shortEdge;
}

}  // namespace

SpanParams& spanParams() { return g_span; }
namespace span_state {
const SpanHardware* hardware = nullptr;
PicRecord* target = nullptr;
}  // namespace span_state
void spanSetTarget(PicRecord* target) { span_state::target = target; }
void spanSetHardware(const SpanHardware* hardware) { span_state::hardware = hardware; }

int64_t spanFix64Slow(double value, double limit) {
    if (!(value == value)) return 0;
    if (value > limit) value = limit;
    if (value < -limit) value = -limit;
    return int64_t(value);
}

uint32_t spanWrap32Slow(double value) {
    if (!std::isfinite(value)) return 0;
    constexpr double lim = 0x1p62;
    if (value > lim || value < -lim) value = std::fmod(value, 0x1p32);
    return uint32_t(uint64_t(int64_t(value)));
}

int spanTextureValid(const TexPixelBlock* block) {
    if (!block || block->magic != TEX_BLOCK_MAGIC) return 0;
    if (block->extraLevels > 15 || block->log2Width > 15 || block->log2Height > 15) return 0;
    for (uint32_t k = 0; k <= block->extraLevels; ++k) {
        const TexLevel* lv = texLevel(block, k);
        if (!lv->pixels || !lv->palette) return 0;
    }
    return 1;
}

int spanUseLevel(const TexPixelBlock* block, uint32_t level) {
    static uint32_t padded[256];
    if (level > block->extraLevels || level > block->log2Width || level > block->log2Height) return 0;
    const TexLevel* lv = texLevel(block, level);
    const uint32_t wb = block->log2Width - level, hb = block->log2Height - level;
    SpanParams& p = g_span;
    p.texels = lv->pixels;
    if (lv->paletteCount >= 256) {
        p.palette = lv->palette;
    } else {
        std::memset(padded, 0, sizeof padded);
        std::memcpy(padded, lv->palette, lv->paletteCount * sizeof(uint32_t));
        p.palette = padded;
    }
    p.colMask = (1u << wb) - 1;
    p.rowMask = ((1u << hb) - 1) << wb;
    p.rowShift = 32 - wb - hb;
    return 1;
}

uint32_t spanTexel(uint32_t u, uint32_t v) {
    const SpanParams& p = g_span;
    return p.palette[p.texels[texIndex(p, u, v)]];
}
uint32_t spanTexelLit(uint32_t u, uint32_t v) {
    const SpanParams& p = g_span;
    return p.litTable[p.texels[texIndex(p, u, v)]];
}

void spanFlat() { walk<0>(); }
void spanGouraud() { walk<M_GOURAUD>(); }
void spanTex() { walk<M_TEX>(); }
void spanFlatZ() { walk<Z>(); }
void spanGouraudZ() { walk<Z | M_GOURAUD>(); }
void spanTexZ() { walk<Z | M_TEX>(); }
void spanGouraudTexZ() { walk<Z | M_GOURAUD | M_TEX>(); }
void spanTexLitZ() { walk<Z | M_TEX | M_LIT>(); }
void spanTexKeyZ() { walk<Z | M_TEX | M_KEY>(); }
void spanGouraudTexKeyZ() { walk<Z | M_GOURAUD | M_TEX | M_KEY>(); }
void spanBlendZ() { walk<BZ>(); }
void spanBlendGouraudZ() { walk<BZ | M_GOURAUD>(); }
void spanBlendTexZ() { walk<BZ | M_TEX>(); }
void spanBlendTexKeyZ() { walk<BZ | M_TEX | M_KEY>(); }
void spanBlendGouraudTexZ() { walk<BZ | M_GOURAUD | M_TEX>(); }
void spanBlendGouraudTexKeyZ() { walk<BZ | M_GOURAUD | M_TEX | M_KEY>(); }
void spanIdZ() { walk<M_DEPTH, true>(); }

// Row 0: without depth (slots 3 and 7 would need a depth set-up: refused).
// Rows 5-8: the four-pixel forms; they share the scalar bodies.
#define SPAN_ROW_PLAIN(tex)                                                                        \
    spanFlatZ, spanGouraudZ, tex, spanGouraudTexZ, spanBlendZ, spanBlendGouraudZ, spanBlendTexZ, \
        spanBlendGouraudTexZ
#define SPAN_ROW_KEY                                                                                 \
    spanFlatZ, spanGouraudZ, spanTexKeyZ, spanGouraudTexKeyZ, spanBlendZ, spanBlendGouraudZ,       \
        spanBlendTexKeyZ, spanBlendGouraudTexKeyZ

const SpanFn spanRowTable[SPAN_ROW_SLOTS] = {
    spanFlat, spanGouraud, spanTex, nullptr, spanFlat, spanGouraud, spanTex, nullptr,
    SPAN_ROW_PLAIN(spanTexZ),  // k 0-7
    SPAN_ROW_KEY,              // k 8-15
    SPAN_ROW_PLAIN(spanTexLitZ),  // k 16-23
    SPAN_ROW_KEY,              // k 24-31
    SPAN_ROW_PLAIN(spanTexZ),  // k 32-39
    SPAN_ROW_KEY,              // k 40-47
    SPAN_ROW_PLAIN(spanTexZ),  // k 48-55: no lit palette in the four-pixel forms
    SPAN_ROW_KEY,              // k 56-63
};

#undef SPAN_ROW_PLAIN
#undef SPAN_ROW_KEY

const SpanFn spanRunTable[SPAN_RUN_SLOTS] = {
    spanLineRoutine<0>,  spanLineRoutine<1>,  spanLineRoutine<2>,  spanLineRoutine<3>,
    spanLineRoutine<4>,  spanLineRoutine<5>,  spanLineRoutine<6>,  spanLineRoutine<7>,
    spanLineRoutine<8>,  spanLineRoutine<9>,  spanLineRoutine<10>, spanLineRoutine<11>,
    spanLineRoutine<12>, spanLineRoutine<13>, spanLineRoutine<14>, spanLineRoutine<15>,
    spanLineRoutine<0>,  spanLineRoutine<0>,  spanLineRoutine<0>,  spanLineRoutine<0>,
    spanLineRoutine<20>, spanLineRoutine<21>, spanLineRoutine<22>, spanLineRoutine<23>,
    spanLineRoutine<0>,  spanLineRoutine<0>,  spanLineRoutine<0>,  spanLineRoutine<0>,
    spanLineRoutine<28>, spanLineRoutine<29>, spanLineRoutine<30>, spanLineRoutine<31>,
    spanIdZ,             nullptr,
};
