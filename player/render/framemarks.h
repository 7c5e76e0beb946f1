// Per-frame marks of a content's vertices and normals. A frame gives its content a new
// frame number instead of sweeping every record: a record drops the marks of older frames
// when it is next used, as the sweep at the start of each frame would have done.
#pragma once
#include <cstdint>

#include "scene/scene.h"

// Vertex flags that every frame clears (VTX_WORLD only while the vertex cache is not valid).
constexpr uint32_t VTX_FRAME_FLAGS = 0x1f9e;

// Brings a vertex of c's vertex array up to c's current frame.
inline void frmVertex(const PelContent* c, PelVertex* v) {
    if (v->frame == c->frameNo) return;
    v->flags &= ~VTX_FRAME_FLAGS;
    if (v->frame < c->cacheFrom[0]) v->flags &= ~uint32_t(VTX_WORLD);
    v->frame = c->frameNo;
}

namespace frm_detail {
inline bool holds(const PelNormal* array, uint32_t count, const PelNormal* n) {
    const uintptr_t offset = reinterpret_cast<uintptr_t>(n) - reinterpret_cast<uintptr_t>(array);
    return offset < uintptr_t(count) * sizeof(PelNormal);  // below the array: wraps to a large value
}
}  // namespace frm_detail

// Brings a normal up to c's current frame; normals outside c's two arrays keep their marks.
inline void frmNormal(const PelContent* c, PelNormal* n) {
    if (n->frame == c->frameNo) return;
    uint32_t from;
    if (frm_detail::holds(c->faceNormals, c->faceNormalCount, n)) {
        if (n->frame < c->dotFrom) n->flags &= ~uint32_t(NRM_DOT);
        from = c->cacheFrom[2];
    } else if (frm_detail::holds(c->vertexNormals, c->vertexNormalCount, n)) {
        from = c->cacheFrom[1];
    } else {
        return;
    }
    if (n->frame < from) n->flags &= ~uint32_t(NRM_WORLD);
    n->frame = c->frameNo;
}
