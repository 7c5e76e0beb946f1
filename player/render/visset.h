// Visible set: which nodes and faces of a node list can be seen in a rectangle of the view,
// found by rendering the nodes off-screen with face ids as colours.
#pragma once
#include <cstdint>

#include "render/renderer.h"
#include "scene/camera.h"
#include "scene/scene.h"
#include "scene/vecmath.h"

// VisNode::flags
enum : uint32_t {
    VIS_NODE_INSIDE = 1,     // drawn strictly inside the rectangle
    VIS_NODE_HAS_FACES = 2,  // at least one of its faces is in the set
};

// VisFace::flags
enum : uint32_t {
    VIS_FACE_QUAD = 1u << 0,
    VIS_FACE_TEXTURED = 1u << 1,
    VIS_FACE_COLORKEY = 1u << 2,
    VIS_FACE_EDGE0 = 1u << 3,       // edge k marked: VIS_FACE_EDGE0 << k
    VIS_FACE_VERTEX0_IN = 1u << 7,  // vertex k inside the view volume: VIS_FACE_VERTEX0_IN << k
};

// Node flags used during the pass (ScnNode::flags).
enum : uint32_t {
    VIS_MARK_PER_FACE = 0x200,
    VIS_MARK_INSIDE = 0x400,
    VIS_MARK_BORDER = 0x800,
    VIS_MARK_FACES = 0x1000,
};
// Face flag of a face already taken (PelFace::flags).
constexpr uint16_t VIS_FACE_TAKEN = 0x8000;

struct VisNode {
    ScnNode* node;
    uint32_t user;
    uint32_t flags;  // VIS_NODE_*
};

struct VisFace {
    Vec3 world[4];   // a triangle repeats its third vertex
    Vec4 clip[4];    // clip coordinates of the pass camera (0..w inside)
    uint32_t value;  // the face record's user word
    ScnNode* node;
    uint32_t user;  // the node's user value
    uint32_t material;
    TexRecord* texture;  // null when the face is not textured
    uint32_t flags;      // VIS_FACE_*
};

struct VisSet {
    uint32_t nodeCount;
    uint32_t faceCount;
    VisNode* nodes;
    VisFace* faces;
};

// Computes the set of the zero-terminated list over rect (pixels of the camera's view).
// mode non-zero lists the opaque faces, 0 the translucent ones. *setOut is cleared on entry.
// 0 for a rectangle outside the viewport, an empty rectangle or list, or no memory.
int32_t visVisibleSet(const CamRecord* camera, const IRect* rect, ScnNode** list, uint32_t mode, VisSet** setOut);
// Ascending unsigned order of two u32 ids (qsort comparator).
int32_t visCompareIds(const void* a, const void* b);
uint32_t visFreeSet(VisSet** holder);
// The set of the job's camera over the job's rectangle (mode 1), freed at once; holder
// (may be null) is left empty. 1 when it could be computed.
uint32_t visTestJob(ScnRenderJob* job, ScnNode** list, VisSet** holder);
