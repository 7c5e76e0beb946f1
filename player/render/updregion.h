// Update regions: the changed rectangles of a window's frame, kept free of overlaps.
#pragma once
#include <cstdint>

#include "scene/vecmath.h"

struct UpdateRect {
    int32_t x0, y0;  // top-left, inclusive
    int32_t x1, y1;  // bottom-right, exclusive
    UpdateRect* next;
};

struct UpdateRegion {
    uint32_t reserved[4];
    UpdateRect* first;  // null: the region is empty
    UpdateRect* last;
    IRect bounds;    // union of every rectangle added since the region was last empty
    uint32_t count;  // rectangles added or appended since then (trims do not lower it)
};

// Coordinates are kept within +-RGN_COORD_LIMIT so that every width and height fits in 32 bits.
constexpr int32_t RGN_COORD_LIMIT = 0x3FFFFFFF;

int rgnCreate(UpdateRegion** holder);
int rgnFree(UpdateRegion** holder);
int rgnClear(UpdateRegion* region);
// Adds {x, y, w, h}; an empty rectangle (w or h <= 0) changes nothing. When memory
// runs out the region falls back to its bounding rectangle, which covers both what
// was recorded and the new rectangle.
int rgnAddRect(const IRect* rect, UpdateRegion* region);
// Adds every listed rectangle of source to destination; always 1.
int rgnAddRegion(const UpdateRegion* source, UpdateRegion* destination);
// Appends (x0, y0)-(x1, y1) after the last rectangle; an empty one is ignored. 0 when out of memory.
int rgnAppendRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1, UpdateRegion* region);
// 1 when one copy of the bounding rectangle is cheaper than one copy per listed rectangle.
int rgnPreferBounds(const UpdateRegion* region);

// Test hook: the rectangle allocations after the next n fail (n < 0: none fails).
void rgnFailAllocAfter(int32_t n);
