// Camera and view record, its projection matrices and the screen box read-out.
#pragma once
#include <cmath>
#include <cstdint>

#include "scene/vecmath.h"

// Upper half of the projection kind that validates the explicit-direction fields.
constexpr uint32_t CAM_KIND_MARK = 0xAFFE0000u;
constexpr uint32_t CAM_KIND_MARK_MASK = 0xFFFF0000u;
constexpr uint32_t CAM_KIND_PARALLEL_MASK = 0x0000FFFFu;

struct CamRecord {
    Vec3 eye;
    Vec3 vrp;  // view reference point; moved onto the eye's line at viewDist
    Vec3 up;   // view-up direction, need not be unit or perpendicular
    Mat4 worldToPixel;      // world to screen, then viewport (the combined matrix)
    Mat4 pixelToWorld;      // inverse of worldToPixel
    Mat4 worldToScreen;     // the view matrix: world to normalised screen
    Mat4 worldToScreenFar;  // the view matrix with a far depth range (perspective)
    Mat4 viewport;          // normalised screen (0..1, depth 0..1) to pixels
    Mat4 screenToWorld;     // inverse view matrix
    float viewDist;
    float nearDist;
    float farDist;
    float winXMin, winXMax;  // view window on the view plane, relative to the view axis
    float winYMin, winYMax;
    int32_t pixX, pixY, pixW, pixH;  // the target picture's rectangle that the view fills
    int32_t rowsUp;                  // 0: row 0 is the top of the view
    uint32_t projKind;               // low half non-zero: parallel; upper half CAM_KIND_MARK: fields below valid
    int32_t dirOn;                   // explicit projection direction on
    Vec3 dir;                        // explicit projection direction (normalised by camUpdate)
};

inline bool camIsParallel(const CamRecord* cam) { return (cam->projKind & CAM_KIND_PARALLEL_MASK) != 0; }
inline bool camHasMark(const CamRecord* cam) { return (cam->projKind & CAM_KIND_MARK_MASK) == CAM_KIND_MARK; }

// Depth plane range: the viewport maps the far plane to 32767.35 and the near
// plane to -32769.65, so stored depths saturate instead of wrapping. -32768 is
// left out: -32767 is the nearest depth (overlays), 32767 the cleared far value.
constexpr float CAM_DEPTH_NEAREST = -32767.0f;
constexpr float CAM_DEPTH_FARTHEST = 32767.0f;

// Clamps a pixel-space depth into the depth plane's range (NaN counts as far).
inline float camDepthClamp(float z) {
    if (std::isnan(z)) return CAM_DEPTH_FARTHEST;
    if (z < CAM_DEPTH_NEAREST) return CAM_DEPTH_NEAREST;
    if (z > CAM_DEPTH_FARTHEST) return CAM_DEPTH_FARTHEST;
    return z;
}

// The 16-bit depth value of a pixel-space depth: truncated toward zero, saturated.
inline int16_t camDepthToI16(float z) { return static_cast<int16_t>(static_cast<int32_t>(camDepthClamp(z))); }

// Derives every matrix from the other fields. 0 when the camera is invalid
// (the matrices are then partly updated and must not be used).
int camUpdate(CamRecord* cam);
// Centres a window of the given width (height from the pixel aspect) on the view plane, then camUpdate.
int camSetWindow(CamRecord* cam, float centreX, float centreY, float width);
// A camera showing only the pixel rectangle rect of cam's view at the same scale.
int camSubView(const CamRecord* cam, const IRect* rect, CamRecord* out);
// camUpdate, then a heap copy into *holder (freed with camFree); 0 for a null
// holder, a failed update or no memory.
int camCopy(CamRecord* cam, CamRecord** holder);
// Frees *holder and clears it; 1 for an empty holder.
int camFree(CamRecord** holder);
// camUpdate, then a copy into out; 0 when the update fails.
int camUpdateCopy(CamRecord* cam, CamRecord* out);

// The screen box accumulator (mtxScreenBox) back to its empty state.
void camScreenBoxReset();
// The accumulated screen box, rounded outward and clipped to the camera's pixel rectangle.
void camScreenBoxClip(const CamRecord* cam, IRect* out);
// Pixel bounds x0..x1, y0..y1 rounded outward (-0.5, +1.5, truncated) and clipped to the
// camera's pixel rectangle; (0, 0, 0, 0) when inverted, NaN or clipped away.
void camPixelBoundsToRect(const CamRecord* cam, float x0, float y0, float x1, float y1, IRect* out);
