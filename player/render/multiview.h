// Multi-view output: eight views of the scene, each turned a little further about the z
// axis, rendered at half size and interleaved sub-pixel by sub-pixel into the frame buffer
// along a slanted pattern.
#pragma once
#include <cstdint>

#include "render/raytrace.h"
#include "render/renderer.h"
#include "scene/scene.h"

constexpr uint32_t MV_VIEW_COUNT = 8;

struct MvState {
    uint16_t width, height;  // output (frame buffer)
    uint32_t direction;      // always 1
    uint32_t bitsPerPixel;   // 16 or 32 for an output with masks
    uint32_t redMask, greenMask, blueMask;
    uint16_t viewWidth, viewHeight;  // halves of the output's
    uint32_t viewCount;
    float scale;
};

// Renders the eight views of the zero-terminated list and interleaves them into the job's
// frame buffer; angle's sign chooses the turning direction (0: eight equal views).
// 0 without job, frame buffer or list, or without memory; 1 otherwise (also in hardware mode,
// where nothing is drawn).
uint32_t mvRender(ScnRenderJob* job, ScnNode** list, float angle);
// The same with the ray tracer for each view (the caller's work buffer, lists and switches;
// the callbacks are not passed on). 0 without job, frame buffer or first list.
uint32_t mvRenderRayTraced(ScnRenderJob* job, PicRecord* work, RtProgressFn progress, RtShowFn show, ScnNode** list1,
                           ScnNode** list2, const CamRecord* rayCamera, uint32_t extShadows, uint32_t shadows,
                           uint32_t reflections, uint32_t refraction, uint32_t noSelfShadow, uint32_t resetClear,
                           float angle);

// Makes the state current (view count 8, views of half the output, scale 1) and builds the
// mask table of its pixel size. Always 0 (ready).
uint32_t mvInit(MvState* state);
// Builds the mask table for 16 or 32 bits per pixel once per process; other sizes do nothing.
void mvBuildMasks(const MvState* bitsAndMasks);
// Interleaves the eight views (view height rounded to even lines of viewRowBytes bytes each)
// into destination (output width x height pixels) with the current state. Outputs of 1 or
// 3 bytes per pixel are left unchanged.
int32_t mvInterleave(uint8_t* const* views, uint32_t viewRowBytes, uint8_t* destination);

// The current state and its mask tables back to load (tests start clean).
void mvReset();
const MvState& mvState();
