// Edge smoothing of finished frames: where neighbouring pixels differ clearly the edge is
// followed along the adjacent line and a ramp of pixels is blended across it.
#pragma once
#include <cstdint>

#include "scene/picture.h"

// Two pixels are alike when every channel differs by at most this much (variant's scale).
constexpr int32_t FLT_THRESHOLD = 20;

// Filters a 2-byte (RGB555) or 4-byte picture in place; 0 for a null picture or other sizes.
uint32_t fltApply(PicRecord* picture);

// The variants over width x height pixels with rowLength pixels per row. 0 for a null
// block, a size below 1 or a row length below the width.
uint32_t fltFilter555(void* pixels, int32_t width, int32_t height, int32_t rowLength);
uint32_t fltFilter565(void* pixels, int32_t width, int32_t height, int32_t rowLength);
uint32_t fltFilter32(void* pixels, int32_t width, int32_t height, int32_t rowLength);

// Copies the first rows lines of source scaled into destination (filtered first when filter is
// non-zero). The destination's height used is destination width / source width x rows,
// rounded to the nearest integer; both heights are restored afterwards.
uint32_t fltCopyScaled(PicRecord* source, PicRecord* destination, int32_t rows, uint32_t filter);
