// Triangle set-up: sorting, exact edge walkers, attribute planes, routine choice.
#include "render/triangle.h"
#include "render/rastercommon.h"
#include "render/spanwalk.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "scene/engine.h"

namespace {

constexpr float kEdgeSlack = 0.49f;

uint32_t g_mmxOffset = 0;
uint32_t g_ghost = 0;
SpanParams& g_span = spanParams();

struct LitEntry {
    uint32_t colour;
    const uint32_t* palette;
    uint32_t id;
    int table;
};
LitEntry g_lit[TRI_LIT_ENTRIES];
int g_litCount = 0;
bool g_litUsed[TRI_LIT_ENTRIES];
uint16_t g_litPool[TRI_LIT_ENTRIES][256];

// Floor quotient and remainder (0 <= r < d, d > 0) from a quotient estimated in double
// precision (n times a reciprocal of d good to a few units in the last place): off by at
// most one for the edge values here, and corrected exactly.
inline int64_t floorDivRem(int64_t n, int64_t d, double inverse, int64_t* r) {
    int64_t q = int64_t(double(n) * inverse);  // truncated; the steps below make it the floor
    int64_t m = n - q * d;
    const int64_t below = m < 0 ? 1 : 0;  // the usual miss of one, taken without a branch
    q -= below;
    m += d & -below;
    while (m < 0) {
        --q;
        m += d;
    }
    while (m >= d) {
        ++q;
        m -= d;
    }
    *r = m;
    return q;
}

// Edge through the 15.17 point (px, py) with direction (dx, dy), dy > 0, placed at row.
// inverse: about 1 / (dy * 2^17). Without stepped (the edge serves one row) the step is zero:
// the walker's step after the last row then leaves it as it is.
inline void edgeInit(SpanEdge& e, int64_t px, int64_t py, int64_t dx, int64_t dy, int32_t row, double inverse,
                     bool stepped) {
    e.den = dy << 17;
    const int64_t n = px * dy + ((int64_t(row) << 17) - py) * dx;
    e.col = floorDivRem(n, e.den, inverse, &e.rem);
    if (stepped) {
        e.qStep = floorDivRem(dx << 17, e.den, inverse, &e.mStep);
    } else {
        e.qStep = 0;
        e.mStep = 0;
    }
}

// Sorted triangle and its fixed-point frame.
struct Setup {
    const PelVertex* v[3];  // top, middle, bottom
    unsigned swaps;
    double x[3], y[3];
    int64_t X[3], Y[3];
    double xMT, yMT, xBT, yBT;  // middle and bottom less top
    double a2, inv;
    uint32_t orientation;
};

bool inside(const PelVertex* v, const PicRecord* pic) {
    const float xmax = float(pic->width - 1) + kEdgeSlack, ymax = float(pic->height - 1) + kEdgeSlack;
    return v->sx >= -kEdgeSlack && v->sx <= xmax && v->sy >= -kEdgeSlack && v->sy <= ymax;
}

bool targetOk(const PicRecord* pic, uint32_t bpp) {
    return pic && pic->pixels && pic->bytesPerPixel == bpp && pic->width > 0 && pic->height > 0 &&
           pic->width <= SPAN_MAX_SIZE && pic->height <= SPAN_MAX_SIZE;
}

// Bounds test, sort and degeneracy tests. false: nothing to draw.
inline bool sortTriangle(const TriRecord* t, const PicRecord* pic, Setup& s) {
    const PelVertex *top = t->a, *mid = t->b, *bot = t->c;
    if (!top || !mid || !bot) return false;
    if (!inside(top, pic) || !inside(mid, pic) || !inside(bot, pic)) return false;
    unsigned swaps = 0;
    if (mid->sy < top->sy) {
        std::swap(top, mid);
        swaps |= 1;
    }
    if (bot->sy < top->sy) {
        std::swap(top, bot);
        swaps |= 2;
    }
    if (bot->sy < mid->sy) {
        std::swap(mid, bot);
        swaps |= 4;
    }
    s.swaps = swaps;
    s.v[0] = top, s.v[1] = mid, s.v[2] = bot;
    const double x0 = top->sx, x1 = mid->sx, x2 = bot->sx;
    const double y0 = top->sy, y1 = mid->sy, y2 = bot->sy;
    s.x[0] = x0, s.x[1] = x1, s.x[2] = x2;
    s.y[0] = y0, s.y[1] = y1, s.y[2] = y2;
    s.X[0] = int64_t(x0 * RASTER_FIX17), s.X[1] = int64_t(x1 * RASTER_FIX17), s.X[2] = int64_t(x2 * RASTER_FIX17);
    s.Y[0] = int64_t(y0 * RASTER_FIX17), s.Y[1] = int64_t(y1 * RASTER_FIX17), s.Y[2] = int64_t(y2 * RASTER_FIX17);
    if (bot->sy - top->sy == 0.0f) return false;
    s.xMT = x1 - x0, s.yMT = y1 - y0;
    s.xBT = x2 - x0, s.yBT = y2 - y0;
    s.a2 = s.xMT * s.yBT - s.xBT * s.yMT;
    if (!(std::fabs(s.a2) >= 1e-5)) return false;
    s.inv = 1.0 / s.a2;
    s.orientation = s.a2 > 0.0 ? 1 : 0;
    return true;
}

// Plane of a vertex attribute (value = get(vertex) * scale + bias) over the screen.
template <class Get>
SpanPlane plane(const Setup& s, Get get, double scale, double bias) {
    const double aT = get(s.v[0]) * scale, aM = get(s.v[1]) * scale, aB = get(s.v[2]) * scale;
    SpanPlane p;
    p.a0 = aT + bias;
    p.dx = ((aM - aT) * s.yBT - (aB - aT) * s.yMT) * s.inv;
    p.dy = ((aB - aT) * s.xMT - (aM - aT) * s.xBT) * s.inv;
    // x - x is 0 for a finite x and NaN otherwise: one test for the three values
    if (!((p.a0 - p.a0) + (p.dx - p.dx) + (p.dy - p.dy) == 0.0)) p = {0.0, 0.0, 0.0};
    return p;
}

inline void targetToSpan(const PicRecord* pic, const Setup& s) {
    SpanParams& p = g_span;
    p.pixels = pic->pixels;
    p.depth = pic->depth;
    p.width = pic->width;
    p.height = pic->height;
    p.orientation = s.orientation;
    p.x0 = s.x[0];
    p.y0 = s.y[0];
    p.planes = nullptr;
}

// Two planes at once (a and b): each lane does what plane() does.
template <class GetA, class GetB>
inline void planePair(const Setup& s, GetA getA, double scaleA, double biasA, GetB getB, double scaleB, double biasB,
                      SpanPlane& a, SpanPlane& b) {
#if defined(__GNUC__)
    typedef double Pair __attribute__((vector_size(16)));
    const Pair scale = {scaleA, scaleB};
    const Pair aT = Pair{getA(s.v[0]), getB(s.v[0])} * scale;
    const Pair aM = Pair{getA(s.v[1]), getB(s.v[1])} * scale;
    const Pair aB = Pair{getA(s.v[2]), getB(s.v[2])} * scale;
    const Pair a0 = aT + Pair{biasA, biasB};
    const Pair dx = ((aM - aT) * s.yBT - (aB - aT) * s.yMT) * s.inv;
    const Pair dy = ((aB - aT) * s.xMT - (aM - aT) * s.xBT) * s.inv;
    const Pair finite = (a0 - a0) + (dx - dx) + (dy - dy);
    a = finite[0] == 0.0 ? SpanPlane{a0[0], dx[0], dy[0]} : SpanPlane{0.0, 0.0, 0.0};
    b = finite[1] == 0.0 ? SpanPlane{a0[1], dx[1], dy[1]} : SpanPlane{0.0, 0.0, 0.0};
#else
    a = plane(s, getA, scaleA, biasA);
    b = plane(s, getB, scaleB, biasB);
#endif
}

inline void depthPlane(const Setup& s) {
    SpanParams& p = g_span;
    p.pz = plane(s, [](const PelVertex* v) { return double(v->sz); }, 65536.0, 32768.0);
    p.zStep = spanFix64(p.pz.dx, 0x1p40);
}

// No pixel row lies in the triangle's rows (the first test of drawHalves).
inline bool coversNoRow(const Setup& s) {
    return int32_t((s.Y[2] >> 17) + 1) <= int32_t((s.Y[0] >> 17) + 1) || s.Y[2] <= s.Y[0];
}

// The rows of the two halves and their edges: the long edge through the points pt (top) and
// the short edges through pt and pm (middle), with the directions of the original edges, in
// longEdge and shortEdge; half(first, end) walks each half that has rows.
template <class Half>
inline void forHalves(const Setup& s, const int64_t ptx, const int64_t pty, const int64_t pmx, const int64_t pmy,
                      int64_t pby, SpanEdge& longEdge, SpanEdge& shortEdge, Half half) {
    const int32_t r0 = int32_t((pty >> 17) + 1), r2 = int32_t((pby >> 17) + 1);
    int32_t r1 = int32_t((pmy >> 17) + 1);
    if (r2 <= r0 || s.Y[2] <= s.Y[0]) return;
    if (r1 < r0) r1 = r0;
    if (r1 > r2) r1 = r2;
    // Estimates for floorDivRem: one division for the three edges (an edge with dy <= 0 is not
    // walked).
    auto den = [](int64_t dy) { return double((dy > 0 ? dy : 1) << 17); };
    const double d0 = den(s.Y[2] - s.Y[0]), d1 = den(s.Y[1] - s.Y[0]), d2 = den(s.Y[2] - s.Y[1]);
    const double all = 1.0 / (d0 * d1 * d2);
    edgeInit(longEdge, ptx, pty, s.X[2] - s.X[0], s.Y[2] - s.Y[0], r0, d1 * d2 * all, r2 - r0 > 1);
    if (r0 < r1 && s.Y[1] > s.Y[0]) {
        edgeInit(shortEdge, ptx, pty, s.X[1] - s.X[0], s.Y[1] - s.Y[0], r0, d0 * d2 * all, r1 - r0 > 1);
        half(r0, r1);
    }
    if (r1 < r2 && s.Y[2] > s.Y[1]) {
        edgeInit(shortEdge, pmx, pmy, s.X[2] - s.X[1], s.Y[2] - s.Y[1], r1, d0 * d1 * all, r2 - r1 > 1);
        half(r1, r2);
    }
}

// Walks the two halves with the row routine fn.
void drawHalves(SpanFn fn, const Setup& s, const int64_t ptx, const int64_t pty, const int64_t pmx,
                const int64_t pmy, int64_t pby) {
    SpanParams& p = g_span;
    forHalves(s, ptx, pty, pmx, pmy, pby, p.longEdge, p.shortEdge, [&](int32_t first, int32_t end) {
        p.firstRow = first;
        p.endRow = end;
        fn();
    });
}

// drawHalves with the routine of depth-tested Gouraud spans (spanGouraudZ) inlined, its
// edges in locals. The corners passed the bounds test of sortTriangle: the rows and the
// columns between the edges' floors lie in the picture, and the spans need no clipping.
template <bool LongLeft>
void drawGouraudZ(const Setup& s) {
    using namespace span_walk;
    SpanParams& p = g_span;
    SpanEdge longEdge, shortEdge;
    forHalves(s, s.X[0], s.Y[0], s.X[1], s.Y[1], s.Y[2], longEdge, shortEdge, [&](int32_t first, int32_t end) {
        walkRows<Z | M_GOURAUD, false, LongLeft, true>(p, longEdge, shortEdge, first, end);
    });
}

void drawHalves(SpanFn fn, const Setup& s) { drawHalves(fn, s, s.X[0], s.Y[0], s.X[1], s.Y[1], s.Y[2]); }

// Triangles whose corners lie within this many pixel columns of each other go to
// drawNarrowGouraudZ.
constexpr int64_t kNarrowColumns = 3;

// An edge of a narrow triangle at the current row: its x is (firstColumn * den + m) / den
// pixels, 0 <= m < (kNarrowColumns + 1) * den, so that the floor is firstColumn plus the
// number of multiples of den up to m.
struct NarrowEdge {
    int64_t m, step, den, den2, den3;
    NarrowEdge(int64_t px, int64_t py, int64_t dx, int64_t dy, int32_t row, int64_t firstColumn) {
        den = dy << 17;
        den2 = den * 2;
        den3 = den * 3;
        m = px * dy + ((int64_t(row) << 17) - py) * dx - firstColumn * den;
        step = dx << 17;
    }
    int64_t floorOffset() const { return int64_t(m >= den) + int64_t(m >= den2) + int64_t(m >= den3); }
};

// drawGouraudZ for a triangle whose corners' columns (X >> 17) lie in firstColumn ..
// firstColumn + kNarrowColumns: the edges' x at every row lie in that range too, so their
// floors are counted against the few columns with exact products instead of walked by
// quotients. The same rows and spans, within the picture (drawGouraudZ).
template <bool LongLeft>
void drawNarrowGouraudZ(const Setup& s, int64_t firstColumn) {
    using namespace span_walk;
    SpanParams& p = g_span;
    const int32_t r0 = int32_t((s.Y[0] >> 17) + 1), r2 = int32_t((s.Y[2] >> 17) + 1);
    int32_t r1 = int32_t((s.Y[1] >> 17) + 1);
    if (r2 <= r0 || s.Y[2] <= s.Y[0]) return;
    if (r1 < r0) r1 = r0;
    if (r1 > r2) r1 = r2;
    // rows r0 .. r1 - 1 lie between the long edge and the top-middle edge, rows r1 .. r2 - 1
    // between the long edge and the middle-bottom edge (r0 < r1 only when Y0 < Y1, r1 < r2
    // only when Y1 < Y2)
    NarrowEdge longEdge(s.X[0], s.Y[0], s.X[2] - s.X[0], s.Y[2] - s.Y[0], r0, firstColumn);
    NarrowEdge shortEdge = r0 < r1 ? NarrowEdge(s.X[0], s.Y[0], s.X[1] - s.X[0], s.Y[1] - s.Y[0], r0, firstColumn)
                                   : NarrowEdge(s.X[1], s.Y[1], s.X[2] - s.X[1], s.Y[2] - s.Y[1], r1, firstColumn);
    for (int32_t row = r0; row < r2; ++row) {
        if (row == r1 && row != r0)
            shortEdge = NarrowEdge(s.X[1], s.Y[1], s.X[2] - s.X[1], s.Y[2] - s.Y[1], r1, firstColumn);
        const int64_t longX = firstColumn + longEdge.floorOffset(), shortX = firstColumn + shortEdge.floorOffset();
        if (LongLeft)
            spanRow<Z | M_GOURAUD, false, true, true>(p, row, longX + 1, shortX);
        else
            spanRow<Z | M_GOURAUD, false, false, true>(p, row, shortX + 1, longX);
        longEdge.m += longEdge.step;
        shortEdge.m += shortEdge.step;
    }
}

// Mip level from the texture gradients (u, v in texture units), clamped to the block.
uint32_t mipLevel(const Setup& s, const TexPixelBlock* block) {
    const SpanPlane pu = plane(s, [](const PelVertex* v) { return double(v->eu); }, 1.0, 0.0);
    const SpanPlane pv = plane(s, [](const PelVertex* v) { return double(v->ev); }, 1.0, 0.0);
    const float g = float((pu.dx * pu.dx + pv.dx * pv.dx) * (pu.dy * pu.dy + pv.dy * pv.dy) * double(block->format));
    uint32_t bits;
    std::memcpy(&bits, &g, 4);
    const int32_t e = int32_t((bits >> 23) & 0xFF);
    int32_t level = (e - 127 + 2 * int32_t(block->log2Width + block->log2Height)) >> 2;
    int32_t top = int32_t(block->extraLevels);
    if (top > int32_t(block->log2Width)) top = int32_t(block->log2Width);
    if (top > int32_t(block->log2Height)) top = int32_t(block->log2Height);
    if (level > top) level = top;
    if (level < 0) level = 0;
    return uint32_t(level);
}

inline bool finiteDepth(const Setup& s) {
    const float a = s.v[0]->sz, b = s.v[1]->sz, c = s.v[2]->sz;
    return (a - a) + (b - b) + (c - c) == 0.0f;  // x - x is 0 only for a finite x
}

uint32_t idWord(const PelVertex* v) {
    uint32_t id;
    std::memcpy(&id, &v->r, 4);
    return id;
}

template <class Fill>
void subdivide(TriRecord* t, int depth, Fill fill) {
    PelVertex m[3];
    int split = 0;
    if (depth < TRI_SUBDIV_MAX_DEPTH) {
        split |= triEdgeMidpoint(t->a, t->b, &m[0], t->flags, t->a) ? 1 : 0;
        split |= triEdgeMidpoint(t->b, t->c, &m[1], t->flags, t->a) ? 2 : 0;
        split |= triEdgeMidpoint(t->c, t->a, &m[2], t->flags, t->a) ? 4 : 0;
    }
    PelVertex *A = t->a, *B = t->b, *C = t->c, *ab = &m[0], *bc = &m[1], *ca = &m[2];
    auto sub = [&](PelVertex* x, PelVertex* y, PelVertex* z) {
        TriRecord r = *t;
        r.a = x;
        r.b = y;
        r.c = z;
        subdivide(&r, depth + 1, fill);
    };
    switch (split) {
    case 0: fill(t); break;
    case 1: sub(A, ab, C); sub(ab, B, C); break;
    case 2: sub(A, B, bc); sub(A, bc, C); break;
    case 4: sub(ca, B, C); sub(A, B, ca); break;
    case 3: sub(ab, B, bc); sub(A, bc, C); sub(A, ab, bc); break;
    case 5: sub(A, ab, ca); sub(ab, B, C); sub(ca, ab, C); break;
    case 6: sub(ca, bc, C); sub(A, B, ca); sub(ca, B, bc); break;
    default: sub(A, ab, ca); sub(ab, B, bc); sub(ca, bc, C); sub(ab, bc, ca); break;
    }
}

void wrapU(TriRecord* t) {
    if (!(t->flags & SPAN_WRAPU)) return;
    PelVertex *a = t->a, *b = t->b, *c = t->c;
    if (std::fabs(a->eu - b->eu) > 0.5f) b->eu += a->eu < b->eu ? -1.0f : 1.0f;
    if (std::fabs(a->eu - c->eu) > 0.5f) c->eu += a->eu < c->eu ? -1.0f : 1.0f;
    if (std::fabs(b->eu - c->eu) > 0.5f) {
        if (b->eu < a->eu)
            b->eu += 1.0f;
        else
            c->eu += 1.0f;
    }
}

// Edge-bit remap of hidden-line faces: (edge bits << 3) | swap bits -> bits of T-M, M-B, T-B.
constexpr uint8_t kEdgeRemap[64] = {
    0, 0, 0, 0, 0, 0, 0, 0,  //
    1, 1, 2, 2, 4, 4, 2, 2,  //
    2, 4, 1, 4, 2, 1, 4, 1,  //
    3, 5, 3, 6, 6, 5, 6, 3,  //
    4, 2, 4, 1, 1, 2, 1, 4,  //
    5, 3, 6, 3, 5, 6, 3, 6,  //
    6, 6, 5, 5, 3, 3, 5, 5,  //
    7, 7, 7, 7, 7, 7, 7, 7,
};

void edgeStep(SpanEdge& e) {
    e.col += e.qStep;
    e.rem += e.mStep;
    if (e.rem >= e.den) {
        e.rem -= e.den;
        ++e.col;
    }
}

// Masked 2D spans: texture a blended by the mask texture's fourth palette byte.
const uint8_t* g_maskTexels;
const uint32_t* g_maskPalette;
int g_maskBpp;
void maskedRun() {
    SpanParams& q = g_span;
    const uint8_t* maskTexels = g_maskTexels;
    const uint32_t* maskPalette = g_maskPalette;
    const int bpp = g_maskBpp;
    const uint32_t us = spanWrap32(q.pu.dx), vs = spanWrap32(q.pv.dx);
    for (int32_t row = q.firstRow; row < q.endRow; ++row) {
        int64_t left = (q.orientation ? q.longEdge.col : q.shortEdge.col) + 1;
        int64_t right = q.orientation ? q.shortEdge.col : q.longEdge.col;
        if (left < 0) left = 0;
        if (right > q.width - 1) right = q.width - 1;
        if (row >= 0 && row < q.height && left <= right) {
            uint32_t u = spanWrap32(q.pu.at(double(left), row, q.x0, q.y0));
            uint32_t v = spanWrap32(q.pv.at(double(left), row, q.x0, q.y0));
            uint8_t* c = q.pixels + (size_t(row) * size_t(q.width) + size_t(left)) * bpp;
            for (int64_t x = left; x <= right; ++x, c += bpp, u += us, v += vs) {
                const uint32_t idx = ((u >> 16) & q.colMask) + (uint32_t(uint64_t(v) >> q.rowShift) & q.rowMask);
                const uint32_t src = q.palette[q.texels[idx]];
                const int32_t m = int32_t(maskPalette[maskTexels[idx]] >> 24);
                if (bpp == 4) {
                    uint32_t dst;
                    std::memcpy(&dst, c, 4);
                    uint32_t out = dst & 0xFF000000u;
                    for (int sh = 0; sh < 24; sh += 8) {
                        const int32_t d = int32_t((dst >> sh) & 0xFF), a = int32_t((src >> sh) & 0xFF);
                        out |= uint32_t(d + (a - d) * m / 256) << sh;
                    }
                    std::memcpy(c, &out, 4);
                } else {
                    uint16_t dst16;
                    std::memcpy(&dst16, c, 2);
                    uint32_t out = 0;
                    const int sh16[3] = {0, 5, 10};
                    for (int i = 0; i < 3; ++i) {
                        const int32_t d = int32_t(((dst16 >> sh16[i]) & 0x1F) << 3);
                        const int32_t a = int32_t((src >> (8 * i)) & 0xFF);
                        out |= uint32_t(((d + (a - d) * m / 256) >> 3) & 0x1F) << sh16[i];
                    }
                    const uint16_t w = uint16_t(out);
                    std::memcpy(c, &w, 2);
                }
            }
        }
        edgeStep(q.longEdge);
        edgeStep(q.shortEdge);
    }
}

// Attribute planes of the triangle triFill16 is drawing: made by the span walker before the
// first span, so that a triangle that covers no pixel centre costs none.
struct PlaneJob {
    const Setup* s;
    bool depth, gouraud, textured;
    double alpha;   // blend weight of the colour planes
    double uScale;  // texel columns per texture unit of the chosen level
};
PlaneJob g_planes;

void makePlanes() {
    const PlaneJob& j = g_planes;
    const Setup& s = *j.s;
    SpanParams& p = g_span;
    auto depth = [](const PelVertex* v) { return double(v->sz); };
    auto red = [](const PelVertex* v) { return rasterUnit(v->r); };
    auto green = [](const PelVertex* v) { return rasterUnit(v->g); };
    auto blue = [](const PelVertex* v) { return rasterUnit(v->b); };
    const double alpha = j.alpha;
    const double redScale = 31.0 * 0x1p26 * alpha, greenScale = 31.0 * 0x1p21 * alpha, blueScale = 31.0 * 0x1p16 * alpha;
    if (j.depth && j.gouraud) {
        planePair(s, depth, 65536.0, 32768.0, red, redScale, 0x1p25, p.pz, p.pr);
        planePair(s, green, greenScale, 0x1p20, blue, blueScale, 0x1p15, p.pg, p.pb);
        p.zStep = spanFix64(p.pz.dx, 0x1p40);
    } else if (j.depth) {
        depthPlane(s);
    } else if (j.gouraud) {
        p.pr = plane(s, red, redScale, 0x1p25);
        planePair(s, green, greenScale, 0x1p20, blue, blueScale, 0x1p15, p.pg, p.pb);
    }
    if (j.gouraud) {
        p.rStep = spanWrap32(p.pr.dx);
        p.gStep = spanWrap32(p.pg.dx);
        p.bStep = spanWrap32(p.pb.dx);
    }
    if (j.textured) {
        planePair(s, [](const PelVertex* v) { return double(v->eu); }, j.uScale, 0.0,
                  [](const PelVertex* v) { return double(v->ev); }, 0x1p32, 0.0, p.pu, p.pv);
        p.uStep = spanWrap32(p.pu.dx);
        p.vStep = spanWrap32(p.pv.dx);
    }
}

}  // namespace

void triSetMmx(int on) { g_mmxOffset = on ? 32 : 0; }

namespace {
// memSetMmx switches the routines from here on.
[[maybe_unused]] const bool g_mmxListening = (memSetMmxListener(triSetMmx), true);
}  // namespace
void triSetGhostFlag(uint32_t on) { g_ghost = on; }

void triFill16(const TriRecord* t) {
    if (!t) return;
    if (const SpanHardware* hw = spanGetHardware()) {
        if (hw->triangle) hw->triangle(t);
        return;
    }
    PicRecord* pic = spanGetTarget();
    if (!targetOk(pic, 2)) return;
    Setup s;
    if (!sortTriangle(t, pic, s)) return;
    const uint32_t flags = t->flags;
    const bool depth = (flags & SPAN_DEPTH) != 0, gouraud = (flags & SPAN_GOURAUD) != 0;
    const bool textured = (flags & SPAN_TEXTURE) != 0, blend = (flags & SPAN_TRANSPARENT) != 0;
    // a triangle between two pixel rows draws nothing: no planes for it (textured ones go on
    // to the lit-palette cache as before)
    if (!textured && coversNoRow(s)) return;
    if (textured && !spanTextureValid(t->texture)) return;
    if (depth && (!pic->depth || !finiteDepth(s))) return;

    uint32_t k = g_mmxOffset + (gouraud ? 1 : 0) + (textured ? 2 : 0) + (blend ? 4 : 0) +
                 (textured && (flags & SPAN_COLORKEY) ? 8 : 0);
    SpanParams& p = g_span;
    targetToSpan(pic, s);
    double alpha = 1.0;
    if (blend) {  // the weights of the new colour and of the frame's
        alpha = t->alpha > 0.0f ? (t->alpha < 1.0f ? double(t->alpha) : 1.0) : 0.0;
        p.destWeight = int32_t((1.0 - alpha) * 256.0);
    }
    if (!gouraud) {  // the flat colour, or the light of flat textured spans
        const PelVertex* a = t->a;
        p.lightR = uint32_t(rasterUnit(a->r) * alpha * 31744.0) & 0x7C00;
        p.lightG = uint32_t(rasterUnit(a->g) * alpha * 992.0) & 0x3E0;
        p.lightB = uint32_t(rasterUnit(a->b) * alpha * 31.0) & 0x1F;
        p.flat = p.lightR | p.lightG | p.lightB;
    }
    double uScale = 0.0;
    if (textured) {
        const TexPixelBlock* block = t->texture;
        const uint32_t level = mipLevel(s, block);
        if (!spanUseLevel(block, level)) return;
        const TexLevel* lv = texLevel(block, level);
        uScale = double(lv->coordScale);
        if (!gouraud && g_mmxOffset == 0) {
            const uint16_t* lit = triLitTableFind(p.flat, lv->palette, block->id);
            if (!lit && std::fabs(s.a2) > 256.0) lit = triLitTableMake(p.flat, lv->palette, lv->paletteCount, block->id);
            if (lit) {
                p.litTable = lit;
                k += 16;
            }
        }
    }
    const uint32_t slot = depth ? 8 + k : (g_mmxOffset ? 4 : 0) + (k & 3);
    const SpanFn fn = spanRowTable[slot];
    if (!fn) return;  // no routine for this combination without depth
    g_planes = {&s, depth, gouraud, textured, alpha, uScale};
    p.planes = makePlanes;
    if (fn == spanGouraudZ) {
        const int64_t a = s.X[0], b = s.X[1], c = s.X[2];
        const int64_t lo = a < b ? a : b, hi = a < b ? b : a;
        const int64_t firstColumn = (lo < c ? lo : c) >> 17, lastColumn = (hi < c ? c : hi) >> 17;
        if (lastColumn == firstColumn) {
            // no column lies between the floors of the edges: nothing to draw
        } else if (lastColumn - firstColumn <= kNarrowColumns) {
            if (s.orientation)
                drawNarrowGouraudZ<true>(s, firstColumn);
            else
                drawNarrowGouraudZ<false>(s, firstColumn);
        } else if (s.orientation) {
            drawGouraudZ<true>(s);
        } else {
            drawGouraudZ<false>(s);
        }
    } else {
        drawHalves(fn, s);
    }
    p.planes = nullptr;
}

void triFillId32(const TriRecord* t) {
    if (!t) return;
    if (const SpanHardware* hw = spanGetHardware()) {
        if (hw->triangle) hw->triangle(t);
        return;
    }
    PicRecord* pic = spanGetTarget();
    if (!targetOk(pic, 4) || !pic->depth) return;
    if (!(t->flags & (SPAN_RAYID | SPAN_VISID))) return;
    Setup s;
    if (!sortTriangle(t, pic, s) || !finiteDepth(s) || coversNoRow(s)) return;
    SpanParams& p = g_span;
    uint32_t id = idWord(t->a);
    if ((t->flags & SPAN_RAYID) && (t->flags & SPAN_TEXTURE)) {
        if (!spanTextureValid(t->texture)) return;
        uint32_t level = mipLevel(s, t->texture);
        if (level > 7) level = 7;
        id |= level << 29;
    }
    targetToSpan(pic, s);
    p.flat = id;
    depthPlane(s);
    drawHalves(spanRunTable[32], s);
}

void triFillSubdiv16(TriRecord* t) {
    if (!t || !t->a || !t->b || !t->c) return;
    wrapU(t);
    if (const SpanHardware* hw = spanGetHardware()) {
        if (hw->triangle) hw->triangle(t);
        return;
    }
    subdivide(t, 0, [](const TriRecord* r) { triFill16(r); });
}

void triFillSubdivId32(TriRecord* t) {
    if (!t || !t->a || !t->b || !t->c) return;
    wrapU(t);
    if (const SpanHardware* hw = spanGetHardware()) {
        if (hw->triangle) hw->triangle(t);
        return;
    }
    subdivide(t, 0, [](const TriRecord* r) { triFillId32(r); });
}

int triEdgeMidpoint(const PelVertex* a, const PelVertex* b, PelVertex* out, uint32_t flags,
                    const PelVertex* colourSource) {
    if (!a || !b || !out) return 0;
    const double wa = a->sw, wb = b->sw, ws = wa + wb;
    if (ws == 0.0 || !std::isfinite(ws)) return 0;
    const double mx = (a->sx * wa + b->sx * wb) / ws, my = (a->sy * wa + b->sy * wb) / ws;
    const double cx = (double(a->sx) + b->sx) * 0.5, cy = (double(a->sy) + b->sy) * 0.5;
    const double d2 = (mx - cx) * (mx - cx) + (my - cy) * (my - cy);
    if (!(d2 >= double(TRI_SUBDIV_THRESHOLD_SQ))) return 0;
    std::memset(out, 0, sizeof *out);
    out->sx = float(mx);
    out->sy = float(my);
    out->sz = float((a->sz * wa + b->sz * wb) / ws);
    out->sw = float(ws * 0.5);
    out->pos = {(a->pos.x + b->pos.x) * 0.5f, (a->pos.y + b->pos.y) * 0.5f, (a->pos.z + b->pos.z) * 0.5f};
    out->eu = (a->eu + b->eu) * 0.5f;
    out->ev = (a->ev + b->ev) * 0.5f;
    out->u = out->eu;
    out->v = out->ev;
    const PelVertex* cs = colourSource ? colourSource : a;
    if (flags & SPAN_GOURAUD) {
        out->r = (a->r + b->r) * 0.5f;
        out->g = (a->g + b->g) * 0.5f;
        out->b = (a->b + b->b) * 0.5f;
    } else {
        out->r = cs->r;
        out->g = cs->g;
        out->b = cs->b;
    }
    out->flags = VTX_PROJECTED;
    return 1;
}

void triFillEdged(const TriRecord* t, uint32_t edges) {
    if (!t || g_ghost) return;
    if (const SpanHardware* hw = spanGetHardware()) {
        if (hw->triangleEdges) hw->triangleEdges(t, edges);
        return;
    }
    PicRecord* pic = spanGetTarget();
    if (!targetOk(pic, 2) || !pic->depth) return;
    Setup s;
    if (!sortTriangle(t, pic, s) || !finiteDepth(s)) return;
    SpanParams& p = g_span;
    targetToSpan(pic, s);
    const PelVertex* a = t->a;
    p.flat = (uint32_t(rasterUnit(a->r) * 31744.0) & 0x7C00) | (uint32_t(rasterUnit(a->g) * 992.0) & 0x3E0) |
             (uint32_t(rasterUnit(a->b) * 31.0) & 0x1F);
    depthPlane(s);
    const SpanFn fn = spanRowTable[8 + g_mmxOffset];
    const uint32_t vis = kEdgeRemap[((edges & 7) << 3) | s.swaps];
    if (!vis) {
        drawHalves(fn, s);
        return;
    }
    // each visible edge gives up half a pixel: move the vertices inward
    const double e1x = s.x[1] - s.x[0], e1y = s.y[1] - s.y[0];
    const double e2x = s.x[2] - s.x[0], e2y = s.y[2] - s.y[0];
    const double e3x = s.x[2] - s.x[1], e3y = s.y[2] - s.y[1];
    auto k = [&](double dx, double dy, uint32_t bit) {
        return (vis & bit) ? 0.5 * std::max(std::fabs(dx), dy) / s.a2 : 0.0;
    };
    const double k1 = k(e1x, e1y, 1), k3 = k(e3x, e3y, 2), k2 = k(e2x, e2y, 4);
    const double sg = s.a2 > 0.0 ? 1.0 : -1.0;
    const double tx = s.x[0] + sg * (k1 * e2x + k2 * e1x), ty = s.y[0] + sg * (k1 * e2y + k2 * e1y);
    const double mx = s.x[1] + sg * (k1 * e3x - k3 * e1x), my = s.y[1] + sg * (k1 * e3y - k3 * e1y);
    const double by = s.y[2] - sg * (k2 * e3y + k3 * e2y);
    if (!(ty < by)) return;
    const double lim = 2.0 * SPAN_MAX_SIZE;
    for (double c : {tx, ty, mx, my, by})
        if (!(std::fabs(c) < lim)) return;
    drawHalves(fn, s, int64_t(tx * RASTER_FIX17), int64_t(ty * RASTER_FIX17), int64_t(mx * RASTER_FIX17), int64_t(my * RASTER_FIX17),
               int64_t(by * RASTER_FIX17));
}

void triFill2D(const float* p0, const float* p1, const float* p2, const TexPixelBlock* texture,
               uint32_t colour, PicRecord* target) {
    if (!p0 || !p1 || !p2 || !target) return;
    spanSetTarget(target);
    PelVertex v[3] = {};
    const float* pts[3] = {p0, p1, p2};
    float r = 1.0f, g = 1.0f, b = 1.0f;
    if (!texture) {
        const uint32_t rgb = picRgb555ToRgb(colour);
        r = float((rgb >> 16) & 0xFF) / 255.0f;
        g = float((rgb >> 8) & 0xFF) / 255.0f;
        b = float(rgb & 0xFF) / 255.0f;
    }
    for (int i = 0; i < 3; ++i) {
        v[i].sx = pts[i][0];
        v[i].sy = float(target->height - 1) - pts[i][1];
        v[i].eu = pts[i][2];
        v[i].ev = pts[i][3];
        v[i].sw = 1.0f;
        v[i].r = r;
        v[i].g = g;
        v[i].b = b;
    }
    TriRecord t = {&v[0], &v[1], &v[2], texture, 0.0f, texture ? uint32_t(SPAN_2D | SPAN_TEXTURE) : uint32_t(SPAN_2D)};
    triFill16(&t);
}

void triFillMasked2D(const float* p0, const float* p1, const float* p2, const TexPixelBlock* ta,
                     const TexPixelBlock* tb, PicRecord* target) {
    if (!p0 || !p1 || !p2 || !target) return;
    if (const SpanHardware* hw = spanGetHardware()) {
        if (hw->triangleTwoPass)
            hw->triangleTwoPass(p0, p1, p2, const_cast<TexPixelBlock*>(ta), const_cast<TexPixelBlock*>(tb));
        return;
    }
    if (!spanTextureValid(ta) || !spanTextureValid(tb)) return;
    if (ta->log2Width != tb->log2Width || ta->log2Height != tb->log2Height) return;
    const uint32_t bpp = target->bytesPerPixel;
    if (!targetOk(target, bpp) || (bpp != 2 && bpp != 4)) return;
    spanSetTarget(target);
    PelVertex v[3] = {};
    const float* pts[3] = {p0, p1, p2};
    for (int i = 0; i < 3; ++i) {
        v[i].sx = pts[i][0];
        v[i].sy = float(target->height - 1) - pts[i][1];
        v[i].eu = pts[i][2];
        v[i].ev = pts[i][3];
        v[i].sw = 1.0f;
    }
    TriRecord t = {&v[0], &v[1], &v[2], ta, 0.0f, SPAN_2D | SPAN_TEXTURE};
    Setup s;
    if (!sortTriangle(&t, target, s)) return;
    const uint32_t level = mipLevel(s, ta);
    if (level > tb->extraLevels || !spanUseLevel(ta, level)) return;
    const TexLevel* lb = texLevel(tb, level);
    uint32_t maskPal[256] = {};
    std::memcpy(maskPal, lb->palette, (lb->paletteCount < 256 ? lb->paletteCount : 256) * sizeof(uint32_t));
    SpanParams& p = g_span;
    targetToSpan(target, s);
    const TexLevel* la = texLevel(ta, level);
    p.pu = plane(s, [](const PelVertex* q) { return double(q->eu); }, double(la->coordScale), 0.0);
    p.pv = plane(s, [](const PelVertex* q) { return double(q->ev); }, 0x1p32, 0.0);
    g_maskTexels = lb->pixels;
    g_maskPalette = maskPal;
    g_maskBpp = int(bpp);
    drawHalves(&maskedRun, s);
}

const uint16_t* triLitTableFind(uint32_t colour, const uint32_t* palette, uint32_t blockId) {
    for (int i = 0; i < g_litCount; ++i) {
        if (g_lit[i].colour == colour && g_lit[i].palette == palette && g_lit[i].id == blockId) {
            const LitEntry hit = g_lit[i];
            for (int j = i; j > 0; --j) g_lit[j] = g_lit[j - 1];
            g_lit[0] = hit;
            return g_litPool[hit.table];
        }
    }
    return nullptr;
}

const uint16_t* triLitTableMake(uint32_t colour, const uint32_t* palette, uint32_t count, uint32_t blockId) {
    if (!palette) return nullptr;
    int table = -1;
    if (g_litCount < TRI_LIT_ENTRIES) {
        for (int i = 0; i < TRI_LIT_ENTRIES; ++i)
            if (!g_litUsed[i]) {
                table = i;
                break;
            }
        ++g_litCount;
    } else {
        table = g_lit[TRI_LIT_ENTRIES - 1].table;
    }
    g_litUsed[table] = true;
    for (int j = g_litCount - 1; j > 0; --j) g_lit[j] = g_lit[j - 1];
    g_lit[0] = {colour, palette, blockId, table};
    const uint32_t R = colour & 0x7C00, G = colour & 0x3E0, B = colour & 0x1F;
    uint16_t* out = g_litPool[table];
    const uint32_t n = count < 256 ? count : 256;
    for (uint32_t j = 0; j < 256; ++j) {
        if (j >= n) {
            out[j] = 0;
            continue;
        }
        const uint32_t e = palette[j], r = (e >> 16) & 0xFF, g = (e >> 8) & 0xFF, b = e & 0xFF;
        out[j] = uint16_t(((g * G) >> 8 & 0x3E0) | ((b * B) >> 8 & 0x1F) | ((r * R) >> 8 & 0x7C00));
    }
    return out;
}

void triLitTableForget(const void* begin, size_t bytes) {
    const uintptr_t lo = reinterpret_cast<uintptr_t>(begin), hi = lo + bytes;
    int kept = 0;
    for (int i = 0; i < g_litCount; ++i) {
        const uintptr_t at = reinterpret_cast<uintptr_t>(g_lit[i].palette);
        if (at >= lo && at < hi)
            g_litUsed[g_lit[i].table] = false;
        else
            g_lit[kept++] = g_lit[i];
    }
    g_litCount = kept;
}

void triLitTableForgetBlock(const TexPixelBlock* block) {
    if (!block || block->magic != TEX_BLOCK_MAGIC) return;
    // the palette lives inside the block: header, level records, palette, pixels
    const size_t bytes = block->totalSize ? block->totalSize
                                          : sizeof(TexPixelBlock) + (block->extraLevels + 1) * sizeof(TexLevel) + 1024;
    triLitTableForget(block, bytes);
}

void triResetState() {
    g_mmxOffset = 0;
    g_ghost = 0;
    g_litCount = 0;
    std::memset(g_litUsed, 0, sizeof g_litUsed);
    spanSetHardware(nullptr);
    spanSetTarget(nullptr);
}
