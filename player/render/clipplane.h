// User clip planes and the box tests against the view volume and the planes.
#pragma once
#include <cstdint>

#include "scene/camera.h"
#include "scene/vecmath.h"

// Out-code bits: view volume (clip space 0 <= x, y, z <= w), then one bit per user plane.
constexpr uint32_t CLP_X_LOW = 0x80;
constexpr uint32_t CLP_X_HIGH = 0x100;
constexpr uint32_t CLP_Y_LOW = 0x200;
constexpr uint32_t CLP_Y_HIGH = 0x400;
constexpr uint32_t CLP_Z_LOW = 0x800;
constexpr uint32_t CLP_Z_HIGH = 0x1000;
constexpr uint32_t CLP_VIEW_VOLUME = 0x1F80;
constexpr uint32_t CLP_USER_FIRST = 0x10000;  // plane k carries CLP_USER_FIRST << k
constexpr uint32_t CLP_MAX_PLANES = 16;

// Box status from clpBoxCodes.
enum : uint32_t { CLP_INSIDE = 0, CLP_OUTSIDE = 1, CLP_STRADDLES = 2 };

struct ClipPlane {
    Vec3 normal;     // unit length; world point X is on the plane when normal . X = dist
    float dist;
    float a, b, c, d;  // clip-space copy: clip point outside when a x + b y + c z + d w < 0
    ClipPlane* next;
    ClipPlane* prev;
};

// Appends a plane (normal normalised). 0 (and *handle null) with 16 planes, a
// zero or non-finite normal, or no memory. handle may be null.
int clpAddPlane(const Vec3* normal, float distance, ClipPlane** handle);
// Unlinks and frees *handle and clears it; 1 without change for an empty holder;
// 0 when no plane exists or the handle is not a listed plane.
int clpDeletePlane(ClipPlane** handle);
// Rebuilds every plane's clip-space copy with m.
void clpTransformPlanes(const Mat4* m);
// The nearest crossing in front of the origin of the ray with any plane; side 1
// when the ray enters the plane's back. 0 when there is none.
int clpRayPlanes(const Vec3* origin, const Vec3* direction, float* distance, uint32_t* side);
// The 8 box corners in clip space; bit 0 of the corner number selects max x, bit 1 max y, bit 2 max z.
void clpBoxCorners(const Box3* box, const Mat4* m, Vec4 corners[8]);
// status: CLP_INSIDE, CLP_OUTSIDE (all corners outside one plane) or CLP_STRADDLES;
// outCode: the planes some corner is outside of. m maps object to clip space.
void clpBoxCodes(const Box3* box, uint32_t* status, uint32_t* outCode, const Mat4* m);
// 1 when some corner is outside the clip-space plane (a, b, c, d) and some is not.
int clpBoxStraddlesPlane(const Box3* box, const Mat4* m, float a, float b, float c, float d);
// 1 when the boxes overlap or touch on every axis.
int clpBoxOverlap(const Box3* a, const Box3* b);
// The pixel rectangle covering the box's visible part within the camera's pixel rectangle, or all zero.
void clpBoxScreenRect(const Box3* box, const Mat4* m, const CamRecord* cam, IRect* rect);

// The plane list in order (plane k of the list carries CLP_USER_FIRST << k).
ClipPlane* clpFirstPlane();
uint32_t clpPlaneCount();
// Frees every plane (tests start clean).
void clpReset();
