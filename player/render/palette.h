// Colour reduction: palettes chosen from pictures, error-diffused mapping, display palettes.
#pragma once
#include <cstdint>

#include "scene/picture.h"
#include "scene/vecmath.h"

constexpr uint32_t PAL_HISTOGRAM_CELLS = 32768;
constexpr uint32_t PAL_COUNT_MASK = 0x007FFFFF;  // count bits of a 32-bit picture's cell
constexpr uint32_t PAL_MARKER = 0x6D800001;      // count 1, low bits 3, 3, 3
constexpr uint32_t PAL_DISPLAY_CHOSEN = 234;     // chosen colours of a display palette
constexpr uint32_t PAL_FIXED_COUNT = 22;

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

// Display palette entries: red, green, blue, flags (1 = reserved).
struct PalDisplayEntry {
    uint8_t red, green, blue, flags;
};
extern const PalDisplayEntry palFixedColours[PAL_FIXED_COUNT];

// Portable part of the display palette: fills 256 entries, allocates the colour array (256
// words, chosen colours first) into *colours and the chosen count into *count; 1 or 0.
int palBuildDisplayEntries(const PicRecord* picture, PalDisplayEntry entries[256], uint32_t* count,
                           uint32_t** colours);

#if defined(_WIN32)
// paletteHandle receives the HPALETTE.
int palBuildDisplayPalette(const PicRecord* picture, void** paletteHandle, uint32_t* count,
                           uint32_t** colours);
// Frees the colour array, clears its holder, deletes the palette; 0 for an empty holder.
int palFreeDisplayPalette(void* paletteHandle, uint32_t** coloursHolder);
#endif

// Current target picture for fzFillRectDepth; the renderer installs its getter.
using FzTargetFn = PicRecord* (*)();
void fzSetTargetSource(FzTargetFn fn);

// Fills the rectangle (clipped to the target) where the stored depth is greater than depth.
int fzFillRectDepthOn(PicRecord* target, const IRect* rect, float depth, float red, float green,
                      float blue);
int fzFillRectDepth(const IRect* rect, float depth, float red, float green, float blue);
