// Frame renderer: draws one scene node of a render job into the target FZ buffer.
#pragma once
#include <cstdint>

#include "scene/camera.h"
#include "scene/pelwrite.h"
#include "scene/picture.h"
#include "scene/scene.h"
#include "scene/vecmath.h"

// Job kinds
enum : uint32_t {
    SCN_KIND_WIRE = 0,
    SCN_KIND_FLAT = 1,
    SCN_KIND_FLAT_TEX = 2,
    SCN_KIND_GOURAUD_TEX = 3,
    SCN_KIND_HIDDEN = 4,
    SCN_KIND_HIDDEN_NT = 5,
    SCN_KIND_HIDDEN_BACK = 6,
    SCN_KIND_HIDDEN_BACK_NT = 7,
    SCN_KIND_WIRE_ALL = 16,
    SCN_KIND_HIDDEN_ALL = 20,
    SCN_KIND_HIDDEN_ALL_NT = 21,
    SCN_KIND_HIDDEN_ALL_BACK = 22,
    SCN_KIND_HIDDEN_ALL_BACK_NT = 23,
    SCN_KIND_GHOST = 32,
    SCN_KIND_VIS_TRANSLUCENT = 125,
    SCN_KIND_VIS_OPAQUE = 126,
    SCN_KIND_RAY_ID = 127,
};

// One frame's request for one node (eleven words).
struct ScnRenderJob {
    ScnNode* node;
    CamRecord* camera;
    PicRecord* target;  // FZ buffer; required for kinds below 128
    uint32_t kind;
    uint32_t faceBudget;  // 0: every face
    IRect rect;           // out: the pixels touched
    uint32_t pass[2];     // not read
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(ScnRenderJob) == 11 * 4, "job layout");
#endif

// Module state read by the mesh pipeline, rasteriser and lights.
extern PicRecord* scnTarget;
extern int32_t scnLodOverride;    // -1 automatic, 0 full detail, k coarser levels
extern int scnRayNoLod;           // ray tracer: skip the level-of-detail choice
extern int scnRayLightsOnly;      // ray tracer: bookkeeping and lights only

int scnRenderScene(ScnRenderJob* job);

int scnFaceIsFront(PelFace* face, ScnNode* node);
int scnFaceVisible(PelFace* face, ScnNode* node);
int scnFaceEdgeVisible(PelFace* face, ScnNode* node, uint32_t* back);

// Edge masks: 1 edge 0-1, 2 edge 1-2, 4 edge 2-3 (2-0 for triangles), 8 edge 3-0.
int scnDrawFaceEdges(PelFace* face, ScnNode* node, uint32_t mask);
int scnDrawFaceEdgesClipped(const Mat4* viewport, PelFace* face, ScnNode* node, uint32_t mask);
int scnDrawHiddenFace(PelFace* face, ScnNode* node, uint32_t mask, uint32_t noTransparency);
int scnDrawHiddenFaceBack(PelFace* face, ScnNode* node, uint32_t mask, uint32_t noTransparency, uint32_t back);
int scnDrawHiddenFaceClipped(const Mat4* viewport, PelFace* face, ScnNode* node, uint32_t mask,
                             uint32_t noTransparency);
int scnDrawHiddenFaceBackClipped(const Mat4* viewport, PelFace* face, ScnNode* node, uint32_t mask,
                                 uint32_t noTransparency, uint32_t back);

int scnSetLodOverride(int32_t value);
int scnGetLodOverride(int32_t* out);
int scnGetFillColors(float front[3], float back[3]);
int scnJobScreenRect(ScnRenderJob* job);
int scnReplaceTexture(TexRecord* oldTexture, TexRecord* newTexture, ScnNode* node);

// Preview picture: a 64 x 64 16-bit BMP (SCN_PREVIEW_BMP_BYTES bytes, freed by the caller with
// memFree). anim, when given, points at a flags word: the preview is made only while its bit 0 is set.
int scnRenderPreviewBmp(const CamRecord* camera, ScnNode** nodes, const uint32_t* anim, uint32_t unused0,
                        uint32_t unused1, uint32_t unused2, uint8_t** out);
// The object writer's preview of the node: seen from above at a slant on a plain grey background
// (installed as the writer's preview maker, see pelSetPreviewRenderer).
int pelRenderPreview(ScnNode* node, uint8_t** picture);

int scnGetExtent(ScnNode* node, Vec3* minimum, Vec3* maximum);
float vecFaceSizeSq(const PelVertex* vertices, const PelFace* face);

// Module state back to the values at load (tests start clean).
void scnResetRenderer();
