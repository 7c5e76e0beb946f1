// Drawing into a device context that is not the control window (printers, print preview,
// metafiles): the size the view is rendered at off screen and the view window for that
// size. The Windows layer renders, converts and stretches the picture into the target.
#pragma once
#include <cstdint>

namespace qivctl {

// Longest side of the off-screen picture.
constexpr int32_t kForeignMaxSide = 1024;
// Raster capabilities a target needs for the picture: RC_STRETCHBLT | RC_BITMAP64.
constexpr int32_t kForeignNeededCaps = 0x808;

// The render size for a target of width x height (absolute values are taken): the target's
// size, the larger side cut to 1024 with the other in proportion, both rounded up to a
// multiple of 4. False for an empty target.
bool foreignRenderSize(int64_t width, int64_t height, int32_t* outWidth, int32_t* outHeight);

// Whether a device's raster capabilities take the stretched picture.
inline bool foreignCanStretch(int32_t rasterCaps) { return (rasterCaps & kForeignNeededCaps) == kForeignNeededCaps; }

// The view window (on the view plane) widened in one direction to the aspect of a
// width x height picture, its centre kept, so that all of the original window shows
// undistorted.
void foreignViewWindow(float* xMin, float* xMax, float* yMin, float* yMax, int32_t width, int32_t height);

}  // namespace qivctl
