// Triangle rasteriser: screen-space triangles into the current target (RGB555 with a
// 16-bit depth plane, or 32-bit id words), perspective subdivision, lit palettes.
#pragma once
#include <cstddef>
#include <cstdint>

#include "render/span.h"
#include "scene/scene.h"

// One triangle: three projected vertices (screen x, y, depth z, divider w, colour, effective
// u, v), the texture block (SPAN_TEXTURE), the blend weight (SPAN_TRANSPARENT) and span flags.
struct TriRecord {
    PelVertex* a;
    PelVertex* b;
    PelVertex* c;
    const TexPixelBlock* texture;
    float alpha;
    uint32_t flags;
};

// Subdivision stops at this depth (4^depth triangles at most).
constexpr int TRI_SUBDIV_MAX_DEPTH = 8;
// Edges whose projected 3D midpoint lies this far (squared, pixels) from the screen midpoint are split.
constexpr float TRI_SUBDIV_THRESHOLD_SQ = 4.0f;
constexpr int TRI_LIT_ENTRIES = 32;

// 16-bit target, every mode. Triangles reaching beyond the target by more than 0.49 pixel,
// degenerate ones, non-finite ones, invalid textures and mode combinations without a routine
// (Gouraud texture without depth) are skipped.
void triFill16(const TriRecord* tri);
// 32-bit target: SPAN_RAYID or SPAN_VISID triangles only, depth-tested id words.
void triFillId32(const TriRecord* tri);
// Perspective subdivision of textured triangles (SPAN_WRAPU moves u values in place first).
void triFillSubdiv16(TriRecord* tri);
void triFillSubdivId32(TriRecord* tri);
// Flat, depth-tested face of the hidden-line modes; edges (bit 0 A-B, 1 B-C, 2 C-A) give up
// half a pixel so that lines drawn along them stay visible. Nothing while the ghost flag is set.
void triFillEdged(const TriRecord* tri, uint32_t edges);
// Ghost flag of the current job: while set triFillEdged draws nothing.
void triSetGhostFlag(uint32_t on);

// Four-pixel forms on or off (the table slots hold the same routines).
void triSetMmx(int on);

// Lit-palette cache (most recently used first). Entries are keyed by the flat RGB555
// colour, the palette address and the id of the block holding it, so a block freed and
// another made at the same address does not hit a stale table.
const uint16_t* triLitTableFind(uint32_t colour, const uint32_t* palette, uint32_t blockId);
const uint16_t* triLitTableMake(uint32_t colour, const uint32_t* palette, uint32_t count, uint32_t blockId);
// Drops every entry whose palette lies in [begin, begin + bytes) (called when a block is freed).
void triLitTableForget(const void* begin, size_t bytes);
void triLitTableForgetBlock(const TexPixelBlock* block);

// Subdivision test of the edge a-b: 1 with out filled when the edge must be split.
int triEdgeMidpoint(const PelVertex* a, const PelVertex* b, PelVertex* out, uint32_t flags,
                    const PelVertex* colourSource);

// 2D triangles into a picture that becomes the current target. Points are x, y, u, v with
// y counted from the bottom. triFill2D: textured with white light, or the RGB555 colour.
void triFill2D(const float* p0, const float* p1, const float* p2, const TexPixelBlock* texture,
               uint32_t colour, PicRecord* target);
// Texture a blended per pixel by the fourth palette byte of b's texel (equal level-0 sizes),
// on 2- or 4-byte pictures.
void triFillMasked2D(const float* p0, const float* p1, const float* p2, const TexPixelBlock* a,
                     const TexPixelBlock* b, PicRecord* target);

// Back to the state at load: MMX off, cache empty, ghost flag clear, software path, no target.
void triResetState();
