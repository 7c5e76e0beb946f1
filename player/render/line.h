// Line rasteriser: straight lines into the current 16-bit target, with optional depth
// test, per-end colours, a one-row texture, colour key and transparency.
#pragma once
#include <cstdint>

#include "render/span.h"

// Optional attributes of a line (read only).
struct LineRecord {
    uint32_t gouraud;       // non-zero: colours per end
    const float* colour0;   // r, g, b at p0 (the flat colour without gouraud)
    const float* colour1;   // r, g, b at p1
    float u0, u1;           // texture u at the ends (1.0 = one texture width)
    const TexPixelBlock* texture;  // level 0, first texel row; null: none
    uint32_t colorKey;      // with a texture: texels whose palette entry is 0 are skipped
    float alpha;            // non-zero: new colour weighted alpha, the frame (1 - alpha)
};

// Draws from p0 to p1 (x, y in pixels, z in the 16-bit depth range). colour: r, g, b in
// 0..1, or null for black (used without a record). Nothing is drawn on 4-byte targets,
// for non-finite points or points beyond +-2^24, or with a texture that is not valid.
void spanDrawLine(const float* p0, const float* p1, const float* colour, uint32_t depthTest,
                  const LineRecord* record);

// Line routine of index 1 depth + 2 gouraud + 4 texture + 8 transparent + 16 colour key.
template <unsigned Index>
void spanLineRoutine();
