// GDI device operations of the line batches.
#include <windows.h>

#include "render/gdilines.h"

static_assert(sizeof(LnPoint) == sizeof(POINT), "LnPoint must match POINT");

namespace {

int gdiPolyline(void* dc, const LnPoint* points, uint32_t count) {
    return Polyline(static_cast<HDC>(dc), reinterpret_cast<const POINT*>(points), int(count)) ? 1 : 0;
}

void* gdiCreatePen(void* penDesc, uint32_t colour) {
    auto* lp = static_cast<LOGPEN*>(penDesc);
    lp->lopnColor = colour;
    return CreatePenIndirect(lp);
}

void* gdiSelectPen(void* dc, void* pen) { return SelectObject(static_cast<HDC>(dc), static_cast<HGDIOBJ>(pen)); }

void gdiDeletePen(void* pen) { DeleteObject(static_cast<HGDIOBJ>(pen)); }

const LnDeviceOps kGdiOps = {gdiPolyline, gdiCreatePen, gdiSelectPen, gdiDeletePen};

}  // namespace

const LnDeviceOps* lnGdiOps() { return &kGdiOps; }

void* lnBeginGdi(void* hdc, void* logPen, uint32_t sinkMode) {
    lnSetDevice(&kGdiOps);
    return lnBegin(hdc, logPen, sinkMode);
}
