// Face outlines of a content: the corner points of each face, and one traced boundary for
// each flat polygon made of several faces (face flag FACE_EDGES_ONLY).
#pragma once
#include <cstdint>

#include "scene/vecmath.h"

struct PelContent;

struct PelOutline {
    uint32_t firstFace;   // the face the outline starts at
    uint32_t pointCount;
    Vec3* points;         // object coordinates, in boundary order
};

struct PelOutlines {
    uint32_t count;
    PelOutline* outlines;  // one allocation with the point arrays behind it
};

// One outline per face without FACE_EDGES_ONLY (its 3 or 4 corners), and per connected group
// of faces with it one outline per boundary loop, traced across the group's inner edges. The
// content's faces are not changed. 0 without a content or holder, or when memory is lacking.
int pelBuildOutlines(const PelContent* content, PelOutlines** holder);
// Frees the outlines and clears the holder; an empty holder is no error. 1.
int pelFreeOutlines(PelOutlines** holder);
