// Logical palettes for 8-bit displays.
#include <windows.h>

#include <cstddef>
#include <cstdlib>

#include "render/palette.h"
#include "scene/engine.h"

int palBuildDisplayPalette(const PicRecord* picture, void** paletteHandle, uint32_t* count,
                           uint32_t** colours) {
    if (paletteHandle) *paletteHandle = nullptr;
    if (count) *count = 0;
    if (colours) *colours = nullptr;
    if (!paletteHandle || !count || !colours) return 0;

    PalDisplayEntry entries[256];
    uint32_t chosen = 0;
    uint32_t* array = nullptr;
    if (!palBuildDisplayEntries(picture, entries, &chosen, &array)) return 0;

    // LOGPALETTE declares one entry; the block holds all 256.
    const size_t bytes = offsetof(LOGPALETTE, palPalEntry) + 256 * sizeof(PALETTEENTRY);
    auto* logical = static_cast<LOGPALETTE*>(memAllocZ(bytes));
    if (!logical) {
        memFree(array);
        return 0;
    }
    logical->palVersion = 0x300;
    logical->palNumEntries = 256;
    PALETTEENTRY* pe = logical->palPalEntry;
    for (int i = 0; i < 256; ++i) {
        pe[i].peRed = entries[i].red;
        pe[i].peGreen = entries[i].green;
        pe[i].peBlue = entries[i].blue;
        pe[i].peFlags = entries[i].flags;
    }
    HPALETTE palette = CreatePalette(logical);
    memFree(logical);
    if (!palette) {
        memFree(array);
        return 0;
    }
    *paletteHandle = palette;
    *count = chosen;
    *colours = array;
    return 1;
}

int palFreeDisplayPalette(void* paletteHandle, uint32_t** coloursHolder) {
    if (!coloursHolder || !*coloursHolder) return 0;
    memFree(*coloursHolder);
    *coloursHolder = nullptr;
    return paletteHandle ? (DeleteObject(static_cast<HPALETTE>(paletteHandle)) ? 1 : 0) : 0;
}
