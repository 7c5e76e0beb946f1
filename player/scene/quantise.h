// Colour reduction: palettes chosen from pictures and error-diffused mapping onto them.
#pragma once
#include <cstdint>

#include "scene/picture.h"

constexpr uint32_t PAL_HISTOGRAM_CELLS = 32768;
constexpr uint32_t PAL_COUNT_MASK = 0x007FFFFF;  // count bits of a 32-bit picture's cell
constexpr uint32_t PAL_MARKER = 0x6D800001;      // count 1, low bits 3, 3, 3

// A box of histogram cells (coordinates 0..31, inclusive).
struct PalBox {
    uint8_t minR, minG, minB;
    uint8_t maxR, maxG, maxB;
    uint64_t count;
    uint32_t longest;  // largest side length + 1; 1 a single cell, 0 empty
};

// Chooses up to n colours (0x00RRGGBB) for a 2- or 4-byte picture; answers the number written.
uint32_t palFromImage(const PicRecord* picture, uint32_t* colours, uint32_t n);

// Maps a 2- or 4-byte picture onto destination's palette with error diffusion into its 8-bit
// pixels; destination rows are (width + mask) & ~mask bytes apart (mask 0, 1, 3, 7...).
int palMapImage(const PicRecord* source, PicRecord* destination, uint32_t mask);
