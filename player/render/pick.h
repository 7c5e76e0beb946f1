// Picking: the nearest face under a screen point, with its node, part,
// material and hit point.
#pragma once
#include <cstdint>

#include "scene/camera.h"
#include "scene/material.h"
#include "scene/picture.h"
#include "scene/scene.h"
#include "scene/vecmath.h"

struct TexRecord;

// List tags of a pick result.
enum : uint32_t {
    PK_NO_HIT = 0,
    PK_SECOND_LIST = 1,
    PK_FIRST_LIST = 2,
};

// Request and result of one pick.
struct PickRecord {
    const CamRecord* camera;
    ScnNode* const* first;   // zero-terminated, may be null
    ScnNode* const* second;  // zero-terminated, may be null
    float x, y;              // pixels
    uint32_t pickTransparent;  // 0: faces of transparent materials cannot be hit
    uint32_t reserved;
    Vec3 hit;                // world
    uint32_t listTag;        // PK_*
    uint32_t nodeIndex;      // within its list
    MatInput material;       // copy of the hit face's stored material
    uint32_t materialIndex;
    MatInput* materialInput; // in the content; null without a hit
    uint32_t animated;       // the hit part has an animation track with a list
    uint32_t faceWord;       // the hit face's user word
    uint32_t partIndex;
    uint32_t faceIndex;
    TexRecord* texture;      // the node's area texture of a textured material
};

struct PkRay {
    Vec3 origin;
    Vec3 dir;  // unit
};

int pkPick(PickRecord* record);
int pkPickAtPoint(const CamRecord* camera, ScnNode* const* first, ScnNode* const* second, float x, float y,
                  uint32_t pickTransparent, float hit[3], uint32_t* listTag, uint32_t* nodeIndex, MatInput* material,
                  uint32_t* materialIndex, MatInput** materialInput, uint32_t* animated, uint32_t* faceWord,
                  uint32_t* partIndex);
// 1 when a face of the node is hit nearer than *best (which then holds its distance).
int pkPickNode(uint32_t pickTransparent, const PkRay* ray, ScnNode* node, float tMin, float tMax, float* best,
               const CamRecord* camera, uint32_t* materialIndex, MatInput** materialInput, TexRecord** texture,
               PelFace** face, uint32_t* animated, uint32_t* partIndex, uint32_t* faceIndex);
// World positions of the face's vertices come from the node's base (computed once per vertex flag).
int pkRayFace(const PkRay* ray, ScnNode* node, float tMin, float tMax, float* best, PelFace* face);
int pkRayBox(const Box3* box, const PkRay* ray, float best);
// The 16-bit id at (x, y) of an id picture; 0 outside it or for a picture without 16-bit pixels.
int pkReadId16(const PicRecord* picture, int32_t x, int32_t y, uint16_t* id);
int pkPartTrack(const ScnNode* node, uint32_t part, int32_t* entry);
