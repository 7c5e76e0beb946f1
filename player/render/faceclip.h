// Face and edge clipping against the view volume (clip space 0 <= x, y, z <= w) and the
// user clip planes; 2D triangles clipped to a rectangle.
#pragma once
#include <cstdint>

#include "render/triangle.h"
#include "scene/scene.h"
#include "scene/vecmath.h"

// Working polygon size: a quadrilateral cut by the six view planes and 16 user planes.
constexpr int RP_CLIP_MAX = 26;

struct ClipVertex {
    uint32_t edgeValid;    // the edge leaving this vertex is an edge of the face
    uint32_t edgeVisible;  // hidden-line visibility of that edge
    PelVertex v;
    Vec4 clip;             // clip-space position
};

// Working state of the clipper (one per process; overwritten by every face or edge).
struct RpClipState {
    ClipVertex poly[RP_CLIP_MAX];
    int count;
    ClipVertex out[RP_CLIP_MAX];
    uint32_t lerpColour, lerpTexture, wrapU;  // interpolation switches
    Vec4 faceClip[4];  // clip positions of the current face's vertices
    Vec4 edgeClip[2];  // clip positions of the current edge's ends
};
RpClipState& rpClipState();

// Classifies one vertex: clip position into *clip and the out-code bits into its flags.
void rpClassifyVertex(PelVertex* v, const Mat4* objectToClip, Vec4* clip);

// 0 draw whole, 1 drop, 2 clip (outCode set). Faces with a vertex index beyond the
// content are dropped.
uint32_t rpClassifyFace(const PelFace* face, ScnNode* node, uint32_t* outCode);
// The same for the face's n corners, already looked up in the node's content.
uint32_t rpClassifyCorners(PelVertex* const v[4], int n, ScnNode* node, uint32_t* outCode);
// Clips the working polygon; non-zero when fewer than 3 vertices remain.
uint32_t rpClipPolygon(uint32_t outCode);
// Projects ends not yet projected and draws the line (depth-tested, flat colour or black).
void rpDrawEdge(PelVertex* a, PelVertex* b, const Mat4* objectToScreen, const float* colour);
// Clips the edge against the view volume and the node's user planes and draws what remains.
void rpClipDrawEdge(const Mat4* viewport, PelVertex* a, PelVertex* b, ScnNode* node, const float* colour);
// Draws a screen-space triangle clipped to the rectangle; 1.
int rpDrawPolygon2D(const TriRecord* tri, const IRect* rect);
