// Mesh pipeline: per-face lighting, projection, clipping and triangle set-up for every
// display mode.
#pragma once
#include <cstdint>

#include "scene/scene.h"
#include "scene/vecmath.h"

// Plain face routines: the face's part lies wholly inside the view volume and clip planes.
void rpFaceFlat(PelFace* face, ScnNode* node);
void rpFaceFlatTex(PelFace* face, ScnNode* node);
void rpFaceGouraudTex(PelFace* face, ScnNode* node);
void rpFaceRayId(PelFace* face, ScnNode* node);
void rpFaceVisId(PelFace* face, ScnNode* node);
// Edge mask: bit k draws edge k (vertex k to k + 1, the last back to 0). fill null: white.
void rpFaceHiddenLine(PelFace* face, ScnNode* node, uint32_t mask, const float* fill);

// Clipping entries: classify, then draw whole, drop, or clip and draw as a fan.
void rpObjFlat(PelFace* face, ScnNode* node);
void rpObjFlatTex(PelFace* face, ScnNode* node);
void rpObjGouraudTex(PelFace* face, ScnNode* node);
void rpObjRayId(PelFace* face, ScnNode* node);
void rpObjVisId(PelFace* face, ScnNode* node);
void rpObjHiddenLine(PelFace* face, ScnNode* node, uint32_t mask, const float* fill);

// One triangle of a clipped polygon.
void rpFaceFlatClipped(PelVertex* a, PelVertex* b, PelVertex* c, PelFace* face, ScnNode* node);
void rpFaceFlatTexClipped(PelVertex* a, PelVertex* b, PelVertex* c, PelFace* face, ScnNode* node);
void rpFaceGouraudTexClipped(PelVertex* a, PelVertex* b, PelVertex* c, PelFace* face, ScnNode* node);
void rpFaceRayIdClipped(PelVertex* a, PelVertex* b, PelVertex* c, PelFace* face, ScnNode* node);
void rpFaceVisIdClipped(PelVertex* a, PelVertex* b, PelVertex* c, PelFace* face, ScnNode* node);
void rpFaceHiddenLineClipped(PelVertex* a, PelVertex* b, PelVertex* c, ScnNode* node, uint32_t mask,
                             const float* fill);

// Level-of-detail measures of a box (min x, y, z, max x, y, z).
int rpBoxStepLength(const float box[6], const Mat4* projection, const Mat4* inverse, float* length);
int rpBoxScreenDiagonal(const float box[6], const Mat4* projection, float* diagonal);

// Id written into vertex A by the ray-trace id routines (the ray tracer installs its own;
// the default is the face's index in its content plus one).
using RpFaceIdFn = uint32_t (*)(const PelFace* face, const ScnNode* node);
void rpSetRayFaceId(RpFaceIdFn fn);
