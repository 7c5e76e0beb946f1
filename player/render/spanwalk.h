// Row walkers and pixel loops of the triangle rasteriser, shared by the routine tables
// (span.cpp) and the triangle set-up, which inlines the common one (internal header).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "render/span.h"
#include "scene/engine.h"

namespace span_walk {

// Mode bits of one walker instance (compile-time, so the loops carry no mode tests).
enum : unsigned {
    M_DEPTH = 1,   // test the depth plane
    M_STORE = 2,   // store the depth of drawn pixels
    M_GOURAUD = 4,
    M_TEX = 8,
    M_BLEND = 16,
    M_KEY = 32,
    M_LIT = 64,
};

inline uint32_t load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline void store16(uint8_t* p, uint32_t v) {
    uint16_t w = uint16_t(v);
    std::memcpy(p, &w, 2);
}
inline void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

inline uint32_t texIndex(const SpanParams& p, uint32_t u, uint32_t v) {
    return ((u >> 16) & p.colMask) + (uint32_t(uint64_t(v) >> p.rowShift) & p.rowMask);
}

inline uint32_t destScaled(uint32_t dst, uint32_t a) {
    return (((dst & 0x7C00) * a) >> 8 & 0x7C00) | (((dst & 0x3E0) * a) >> 8 & 0x3E0) |
           (((dst & 0x1F) * a) >> 8 & 0x1F);
}

// One row down the edge; the carry of the remainder without a branch.
inline void edgeStep(SpanEdge& e) {
    e.col += e.qStep;
    e.rem += e.mStep;
    const int64_t carry = e.rem >= e.den ? 1 : 0;
    e.col += carry;
    e.rem -= e.den & -carry;
}

// Attribute values at the first pixel of a span.
struct SpanStart {
    int64_t z;                // 16.16, compared by the upper 16 bits (saturated)
    uint32_t u, v, r, g, b;   // as the steps of the span block
};

// The pixels of one span: count pixels from c (its depth at zp), moving by Dir (+1 or -1).
template <unsigned M, int Dir>
inline void pixels16(const SpanParams& p, uint8_t* c, int16_t* zp, int32_t count, const SpanStart& at) {
    constexpr int dir = Dir;
    int64_t z = at.z;
    const int64_t zs = dir > 0 ? p.zStep : -p.zStep;
    uint32_t u = at.u, v = at.v, r = at.r, g = at.g, b = at.b;
    const uint32_t us = dir > 0 ? p.uStep : 0u - p.uStep;
    const uint32_t vs = dir > 0 ? p.vStep : 0u - p.vStep;
    const uint32_t rs = dir > 0 ? p.rStep : 0u - p.rStep;
    const uint32_t gs = dir > 0 ? p.gStep : 0u - p.gStep;
    const uint32_t bs = dir > 0 ? p.bStep : 0u - p.bStep;
    const uint32_t a = uint32_t(p.destWeight);
    const ptrdiff_t step = dir * 2;
    for (int32_t i = 0; i < count; ++i) {
        int32_t d = 0;
        bool pass = true;
        if constexpr ((M & M_DEPTH) != 0) {
            d = spanDepth16(z);
            pass = d < *zp;
        }
        if (pass) {
            uint32_t word;
            bool skip = false;
            if constexpr ((M & M_LIT) != 0) {
                word = p.litTable[p.texels[texIndex(p, u, v)]];
            } else if constexpr ((M & M_TEX) != 0) {
                uint32_t texel = p.palette[p.texels[texIndex(p, u, v)]];
                if constexpr ((M & M_KEY) != 0) skip = texel == 0;
                uint32_t red = (texel >> 16) & 0xFF, green = (texel >> 8) & 0xFF, blue = texel & 0xFF;
                uint32_t lr, lg, lb;
                if constexpr ((M & M_GOURAUD) != 0) {
                    lr = r >> 16;
                    lg = g >> 16;
                    lb = b >> 16;
                } else {
                    lr = p.lightR;
                    lg = p.lightG;
                    lb = p.lightB;
                }
                if constexpr ((M & M_BLEND) != 0) {
                    uint32_t dst = load16(c);
                    word = ((red * lr + (dst & 0x7C00) * a) >> 8 & 0x7C00) |
                           ((green * lg + (dst & 0x3E0) * a) >> 8 & 0x3E0) |
                           ((blue * lb + (dst & 0x1F) * a) >> 8 & 0x1F);
                } else {
                    word = ((red * lr) >> 8 & 0x7C00) | ((green * lg) >> 8 & 0x3E0) | ((blue * lb) >> 8 & 0x1F);
                }
            } else {
                if constexpr ((M & M_GOURAUD) != 0)
                    word = ((r >> 16) & 0x7C00) | ((g >> 16) & 0x3E0) | ((b >> 16) & 0x1F);
                else
                    word = p.flat;
                if constexpr ((M & M_BLEND) != 0) word = destScaled(load16(c), a) + word;
            }
            if (!skip) {
                store16(c, word);
                if constexpr ((M & M_STORE) != 0) *zp = int16_t(d);
            }
        }
        c += step;
        if constexpr ((M & M_DEPTH) != 0) {
            zp += dir;
            z += zs;
        }
        if constexpr ((M & M_TEX) != 0) {
            u += us;
            v += vs;
        }
        if constexpr ((M & M_GOURAUD) != 0) {
            r += rs;
            g += gs;
            b += bs;
        }
    }
}

// Values of the attributes at pixel (x, row).
template <unsigned M>
inline SpanStart spanStart(const SpanParams& p, int64_t x, int32_t row) {
    const double fx = double(x), fy = double(row);
    SpanStart at{};
    if constexpr ((M & M_DEPTH) != 0) at.z = spanFix64(p.pz.at(fx, fy, p.x0, p.y0), 0x1p46);
    if constexpr ((M & M_TEX) != 0) {
        at.u = spanWrap32(p.pu.at(fx, fy, p.x0, p.y0));
        at.v = spanWrap32(p.pv.at(fx, fy, p.x0, p.y0));
    }
    if constexpr ((M & M_GOURAUD) != 0) {
        at.r = spanWrap32(p.pr.at(fx, fy, p.x0, p.y0));
        at.g = spanWrap32(p.pg.at(fx, fy, p.x0, p.y0));
        at.b = spanWrap32(p.pb.at(fx, fy, p.x0, p.y0));
    }
    return at;
}

// The span of one row: columns left .. right (the floors of the bounding edges' x plus one,
// and the right one), clipped to the picture unless Inside says that the row and columns lie
// in it; the planes are made before the first span.
template <unsigned M, bool Id, bool LongLeft, bool Inside = false>
inline void spanRow(SpanParams& p, int32_t row, int64_t left, int64_t right) {
    constexpr int bpp = Id ? 4 : 2;
    // Id spans always run to the right from the left column.
    constexpr bool toRight = Id || LongLeft;
    if constexpr (!Inside) {
        if (left < 0) left = 0;
        if (right > p.width - 1) right = p.width - 1;
        if (row < 0 || row >= p.height) return;
    }
    if (left <= right) {
        if (p.planes) {
            const auto make = p.planes;
            p.planes = nullptr;
            make();
        }
        const int64_t start = toRight ? left : right;
        const size_t at = size_t(row) * size_t(p.width) + size_t(start);
        uint8_t* colour = p.pixels + at * bpp;
        int16_t* zp = p.depth ? p.depth + at : nullptr;
        const int32_t count = int32_t(right - left + 1);
        const SpanStart first = spanStart<M>(p, start, row);
        if constexpr (Id) {
            int64_t z = first.z;
            for (int32_t i = 0; i < count; ++i, colour += 4, ++zp, z += p.zStep) {
                int32_t d = spanDepth16(z);
                if (d < *zp) {
                    *zp = int16_t(d);
                    store32(colour, p.flat);
                }
            }
        } else if constexpr (M == 0) {
            // flat without depth: one word fill from the leftmost pixel
            memFill16(p.pixels + (size_t(row) * size_t(p.width) + size_t(left)) * 2, p.flat, size_t(count));
        } else {
            pixels16<M, toRight ? 1 : -1>(p, colour, zp, count, first);
        }
    }
}

// Row walker: one span per row of firstRow .. endRow - 1 between the long and the short edge,
// both stepped once per row. LongLeft: the long edge bounds the spans on the left.
template <unsigned M, bool Id, bool LongLeft, bool Inside = false>
inline void walkRows(SpanParams& p, SpanEdge& longEdge, SpanEdge& shortEdge, int32_t firstRow, int32_t endRow) {
    for (int32_t row = firstRow; row < endRow; ++row) {
        const SpanEdge& leftEdge = LongLeft ? longEdge : shortEdge;
        const SpanEdge& rightEdge = LongLeft ? shortEdge : longEdge;
        spanRow<M, Id, LongLeft, Inside>(p, row, leftEdge.col + 1, rightEdge.col);
        edgeStep(longEdge);
        edgeStep(shortEdge);
    }
}

constexpr unsigned Z = M_DEPTH | M_STORE;
constexpr unsigned BZ = M_DEPTH | M_BLEND;

}  // namespace span_walk
