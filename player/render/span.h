// Span routines: the row walkers that fill one triangle half from the span
// parameter block, the id routine of 32-bit targets, and the routine tables.
#pragma once
#include <cmath>
#include <cstdint>

#include "render/dxhook.h"
#include "scene/picture.h"

// Span flags of a triangle record (also used by the 2D primitives and the hardware path).
enum : uint32_t {
    SPAN_DEPTH = 0x001,
    SPAN_2D = 0x002,
    SPAN_GOURAUD = 0x004,
    SPAN_TEXTURE = 0x008,
    SPAN_TRANSPARENT = 0x010,
    SPAN_COLORKEY = 0x020,
    SPAN_WRAPU = 0x040,
    SPAN_RAYID = 0x080,
    SPAN_VISID = 0x100,
};

// Largest target the rasterisers draw into (fixed-point set-up stays within 64 bits).
constexpr int32_t SPAN_MAX_SIZE = 8192;

// Exact edge walker: the edge's x at row r is
// (x0 * dy + (r * 2^17 - y0) * dx) / (dy * 2^17) pixels (15.17 coordinates); col is its floor.
struct SpanEdge {
    int64_t col;   // floor of the edge's x at the current row
    int64_t rem;   // remainder, 0 <= rem < den
    int64_t den;   // dy * 2^17
    int64_t qStep; // whole columns per row
    int64_t mStep; // remainder per row, 0 <= mStep < den
};

// Attribute plane over the triangle: a(x, y) = a0 + dx * (x - x0) + dy * (y - y0).
struct SpanPlane {
    double a0, dx, dy;
    double at(double x, double y, double x0, double y0) const { return a0 + dx * (x - x0) + dy * (y - y0); }
};

// Span parameter block (one per process, written by the triangle set-up).
struct SpanParams {
    // target
    uint8_t* pixels;
    int16_t* depth;
    int32_t width, height;
    // rows first .. end - 1 of the current half
    int32_t firstRow, endRow;
    SpanEdge longEdge, shortEdge;
    uint32_t orientation;  // 1: spans run right from the long edge, 0: left
    // planes of the fixed-point attribute values over the screen, origin (x0, y0)
    double x0, y0;
    SpanPlane pz, pu, pv, pr, pg, pb;
    void (*planes)();  // when set: makes the planes and steps, called once before the first span
    // steps per pixel of the fixed-point values (a span's first values come from the planes)
    int64_t zStep;  // 16.16, compared by the upper 16 bits (saturated)
    uint32_t uStep, vStep;  // 16.16 texel columns; 0.32 fraction of the height
    uint32_t rStep, gStep, bStep;  // 5.26, 5.21, 5.16
    // flat colour and light
    uint32_t flat;           // RGB555 word or 32-bit id
    uint32_t lightR, lightG, lightB;  // fields masked 0x7C00, 0x3E0, 0x1F
    int32_t destWeight;      // trunc((1 - alpha) * 256)
    // texture level
    const uint8_t* texels;
    const uint32_t* palette;  // 256 entries
    const uint16_t* litTable;
    uint32_t colMask, rowMask, rowShift;  // rowShift 32: every row is row 0
};
SpanParams& spanParams();

struct TriRecord;
struct LineRecord;

// Hand-over to the hardware back end: while set, triangles and lines go to these
// hooks instead of the span routines (a null member draws nothing).
struct SpanHardware {
    void (*triangle)(const TriRecord* tri);
    void (*triangleEdges)(const TriRecord* tri, uint32_t edges);
    // two-pass masked triangle: points x, y, u, v
    void (*triangleTwoPass)(const float* p0, const float* p1, const float* p2, TexPixelBlock* a,
                            TexPixelBlock* b);
    void (*line)(const float* p0, const float* p1, const float* colour, uint32_t depthTest,
                 const LineRecord* record);
    // Non-zero: used only while routing to the hardware back end is on (dxActive).
    int onlyWhileRouted;
};
namespace span_state {
extern const SpanHardware* hardware;
extern PicRecord* target;
}  // namespace span_state
// null: the software path (the default).
void spanSetHardware(const SpanHardware* hardware);
inline const SpanHardware* spanGetHardware() {
    const SpanHardware* h = span_state::hardware;
    return h && h->onlyWhileRouted && !dxActive ? nullptr : h;
}

// Current target picture of the rasterisers (set by the frame renderer and the 2D entries).
void spanSetTarget(PicRecord* target);
inline PicRecord* spanGetTarget() { return span_state::target; }

using SpanFn = void (*)();

// Row table: row 0 without depth, rows 1-8 with depth (slot 8 + k); empty slots are refused.
constexpr int SPAN_ROW_SLOTS = 72;
extern const SpanFn spanRowTable[SPAN_ROW_SLOTS];
// Run table: slots 0-31 the line routines, 32 the id routine, 33 empty.
constexpr int SPAN_RUN_SLOTS = 34;
extern const SpanFn spanRunTable[SPAN_RUN_SLOTS];

// Texel fetch (palette entry) and lit-table fetch (RGB555 word) at (u, v) of the block.
uint32_t spanTexel(uint32_t u, uint32_t v);
uint32_t spanTexelLit(uint32_t u, uint32_t v);

// 1 when the block can be sampled: magic, sizes, and every level record with pixels and palette.
int spanTextureValid(const TexPixelBlock* block);
// Makes level `level` of a valid block the span block's texture (palette padded to 256
// entries when shorter). 0 when the level does not exist.
int spanUseLevel(const TexPixelBlock* block, uint32_t level);

// Saturating conversions used by every set-up.
int64_t spanFix64Slow(double value, double limit);
uint32_t spanWrap32Slow(double value);
// trunc, clamped to +-limit, NaN -> 0
inline int64_t spanFix64(double value, double limit) {
    if (std::fabs(value) <= limit) return int64_t(value);
    return spanFix64Slow(value, limit);
}
// trunc modulo 2^32, NaN and infinities -> 0
inline uint32_t spanWrap32(double value) {
    if (std::fabs(value) <= 0x1p62) return uint32_t(uint64_t(int64_t(value)));
    return spanWrap32Slow(value);
}
inline int32_t spanDepth16(int64_t z) {
    int64_t d = z >> 16;
    return d < -32768 ? -32768 : d > 32767 ? 32767 : int32_t(d);
}

// Row walkers (16-bit RGB555 targets). The Mmx names share the scalar bodies.
void spanFlat();
void spanGouraud();
void spanTex();
void spanFlatZ();
void spanGouraudZ();
void spanTexZ();
void spanGouraudTexZ();
void spanTexLitZ();
void spanTexKeyZ();
void spanGouraudTexKeyZ();
void spanBlendZ();
void spanBlendGouraudZ();
void spanBlendTexZ();
void spanBlendTexKeyZ();
void spanBlendGouraudTexZ();
void spanBlendGouraudTexKeyZ();
// Id family (32-bit targets): flat 32-bit id word, depth-tested and stored.
void spanIdZ();
