// Bitmaps of the screen to and from packed DIBs, and the module's instance.
#pragma once
#include <windows.h>

#include "dib.h"

void crdeSetInstance(HINSTANCE instance);
HINSTANCE crdeInstance();

// A logical palette of a picture's colour table; null for true colour.
HPALETTE crdePaletteOf(const img::Dib& dib);
// DibtoDdb: a locked packed DIB of any layout as a bitmap of the screen and its palette.
short crdeDibToDdb(const uint8_t* dib, HPALETTE* palette, HBITMAP* bitmap);
// DdbToDib: a bitmap (with its palette, or null) as a new DIB handle.
HGLOBAL crdeDdbToDib(HBITMAP bitmap, HPALETTE palette);
