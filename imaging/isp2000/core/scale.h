// Resampling of pictures: every target pixel is the area-weighted mean of the source
// pixels under its footprint (a box filter of the exact size ratio, up or down).
#pragma once
#include "dib.h"

namespace img {

// A 24- or 32-bit picture at a new size (other depths first become 24 bits).
Status scaleDib(const Dib& src, int32_t width, int32_t height, Dib& out, Progress& progress);
// A 1-bit picture as an 8-bit grey picture of the new size: each pixel the mean
// luminance of the source under it, on a table of 256 greys.
Status scaleToGrey(const Dib& src, int32_t width, int32_t height, Dib& out, Progress& progress);

}  // namespace img
