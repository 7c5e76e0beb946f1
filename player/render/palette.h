// Display palettes (from the colours chosen for a picture) and the depth-tested rectangle fill.
#pragma once
#include <cstdint>

#include "scene/picture.h"
#include "scene/quantise.h"
#include "scene/vecmath.h"

constexpr uint32_t PAL_DISPLAY_CHOSEN = 234;     // chosen colours of a display palette
constexpr uint32_t PAL_FIXED_COUNT = 22;

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
