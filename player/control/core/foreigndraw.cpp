#include "foreigndraw.h"

namespace qivctl {

bool foreignRenderSize(int64_t width, int64_t height, int32_t* outWidth, int32_t* outHeight) {
    if (width < 0) width = -width;
    if (height < 0) height = -height;
    if (width == 0 || height == 0) return false;
    if (width > kForeignMaxSide || height > kForeignMaxSide) {
        if (width >= height) {
            height = height * kForeignMaxSide / width;
            width = kForeignMaxSide;
        } else {
            width = width * kForeignMaxSide / height;
            height = kForeignMaxSide;
        }
        if (width < 1) width = 1;
        if (height < 1) height = 1;
    }
    *outWidth = static_cast<int32_t>((width + 3) & ~int64_t(3));
    *outHeight = static_cast<int32_t>((height + 3) & ~int64_t(3));
    return true;
}

void foreignViewWindow(float* xMin, float* xMax, float* yMin, float* yMax, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return;
    const float cx = (*xMin + *xMax) * 0.5f, cy = (*yMin + *yMax) * 0.5f;
    float hw = (*xMax - *xMin) * 0.5f, hh = (*yMax - *yMin) * 0.5f;
    if (!(hw > 0) || !(hh > 0)) return;
    const float aspect = float(width) / float(height);
    if (hw / hh < aspect)
        hw = hh * aspect;
    else
        hh = hw / aspect;
    *xMin = cx - hw, *xMax = cx + hw;
    *yMin = cy - hh, *yMax = cy + hh;
}

}  // namespace qivctl
