// Camera matrices, sub-views, copies and the screen box read-out.
#include "scene/camera.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "scene/vecops.h"
#include "scene/engine.h"

namespace {

using vec::cross;
using vec::dot;
using vec::mul;
using vec::sub;

constexpr float kTiny = 1e-15f;
// Up counts as parallel to the view direction when what is left of it after
// removing that direction is below this fraction of its length.
constexpr float kParallelUp = 1e-6f;

void scaleAll(Mat4* m, float s) {
    for (float& e : m->m) e *= s;
}

bool finite3(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

}  // namespace

int camUpdate(CamRecord* cam) {
    if (!cam) return 0;
    if (!finite3(cam->eye) || !finite3(cam->vrp) || !finite3(cam->up)) return 0;
    // Distances are checked before anything is changed; NaN fails as well.
    const bool parallel = camIsParallel(cam);
    if (!(cam->viewDist >= kTiny)) return 0;
    if (!(cam->nearDist >= kTiny)) return 0;
    if (!parallel && !(cam->farDist - cam->nearDist >= kTiny)) return 0;

    // View plane normal, pointing from the reference point to the eye.
    Vec3 n = sub(cam->eye, cam->vrp);
    if (!vecNormalize(&n)) return 0;
    cam->vrp = sub(cam->eye, mul(n, cam->viewDist));

    Vec3 v = sub(cam->up, mul(n, dot(n, cam->up)));
    float upLen = std::sqrt(dot(cam->up, cam->up));
    if (!(std::sqrt(dot(v, v)) > kParallelUp * upLen)) return 0;
    if (!vecNormalize(&v)) return 0;
    Vec3 u = cross(v, n);

    Vec3 axis = n;
    if (camHasMark(cam) && cam->dirOn) {
        Vec3 d = cam->dir;
        if (vecNormalize(&d)) {
            cam->dir = d;
            axis = d;
        }
    }
    Mat4 c = {{u.x, u.y, u.z, 0.0f, v.x, v.y, v.z, 0.0f, axis.x, axis.y, axis.z, 0.0f, cam->vrp.x, cam->vrp.y,
               cam->vrp.z, 1.0f}};

    // Projection inverse: normalised screen to camera coordinates. Depth 0 lies
    // at the far distance, depth 1 at the near distance.
    float s = 1.0f, q = 0.0f;
    if (!parallel) {
        s = cam->farDist / cam->viewDist;
        q = (cam->farDist - cam->nearDist) / cam->nearDist;
    }
    Mat4 p;
    std::memset(&p, 0, sizeof p);
    p.m[0] = (cam->winXMax - cam->winXMin) * s;
    p.m[5] = (cam->winYMax - cam->winYMin) * s;
    if (parallel) {
        // Parallel views accept coinciding near and far planes: the smallest
        // depth range keeps the matrices invertible.
        float range = cam->farDist - cam->nearDist;
        if (std::fabs(range) < kTiny) range = kTiny;
        p.m[10] = range;
    } else {
        p.m[10] = q * cam->viewDist;
    }
    p.m[11] = q;
    p.m[12] = s * cam->winXMin;
    p.m[13] = s * cam->winYMin;
    p.m[14] = cam->viewDist - cam->farDist;
    p.m[15] = 1.0f;

    mtxMultiply(&p, &c, &cam->screenToWorld);
    if (!mtxInvert(&cam->screenToWorld, &cam->worldToScreen)) return 0;

    // Scale so that the point on the near plane straight ahead has w = 1.
    Vec3 nearPoint = sub(cam->eye, mul(n, cam->nearDist));
    Vec4 h;
    mtxTransformVec4(&nearPoint, &h, &cam->worldToScreen);
    if (!(h.w != 0.0f) || !std::isfinite(h.w)) return 0;
    scaleAll(&cam->worldToScreen, 1.0f / h.w);
    scaleAll(&cam->screenToWorld, h.w);

    if (parallel) {
        cam->worldToScreenFar = cam->worldToScreen;
    } else {
        Mat4 pf = p;
        pf.m[10] = cam->viewDist * 1000000.0f;
        pf.m[11] = 1000000.0f;
        Mat4 sf;
        mtxMultiply(&pf, &c, &sf);
        if (!mtxInvert(&sf, &cam->worldToScreenFar)) return 0;
    }

    Mat4& vp = cam->viewport;
    mtxIdentity(&vp);
    vp.m[0] = float(int64_t(cam->pixW) - 1) + 0.7f;
    vp.m[10] = -65537.0f;
    vp.m[14] = 32767.35f;
    vp.m[12] = float(cam->pixX) - 0.35f;
    if (cam->rowsUp) {
        vp.m[5] = float(int64_t(cam->pixH) - 1) + 0.7f;
        vp.m[13] = float(cam->pixY) - 0.35f;
    } else {
        vp.m[5] = -(float(int64_t(cam->pixH) - 1) + 0.7f);
        vp.m[13] = float(int64_t(cam->pixY) + cam->pixH) - 1.0f + 0.35f;
    }

    mtxMultiply(&cam->worldToScreen, &vp, &cam->worldToPixel);
    return mtxInvert(&cam->worldToPixel, &cam->pixelToWorld);
}

int camSetWindow(CamRecord* cam, float centreX, float centreY, float width) {
    if (!cam || cam->pixW == 0 || cam->pixH == 0) return 0;
    float h = float(cam->pixH) * width / float(cam->pixW) * 0.5f;
    cam->winXMin = centreX - width / 2.0f;
    cam->winXMax = centreX + width / 2.0f;
    cam->winYMin = centreY - h;
    cam->winYMax = centreY + h;
    return camUpdate(cam);
}

int camSubView(const CamRecord* cam, const IRect* rect, CamRecord* out) {
    if (!cam || !rect || !out || cam->pixW == 0 || cam->pixH == 0) return 0;
    CamRecord r;
    std::memset(&r, 0, sizeof r);
    r.eye = cam->eye;
    r.vrp = cam->vrp;
    r.up = cam->up;
    r.viewDist = cam->viewDist;
    r.nearDist = cam->nearDist;
    r.farDist = cam->farDist;
    r.rowsUp = cam->rowsUp;
    r.projKind = cam->projKind;
    if (camHasMark(cam)) {
        r.dirOn = cam->dirOn;
        r.dir = cam->dir;
    }
    r.pixX = rect->x;
    r.pixY = rect->y;
    r.pixW = rect->w;
    r.pixH = rect->h;

    const double rx0 = rect->x, rx1 = double(rect->x) + rect->w;
    const double ry0 = rect->y, ry1 = double(rect->y) + rect->h;
    double scale = (double(cam->winXMax) - cam->winXMin) / cam->pixW;
    double offset = cam->winXMin - cam->pixX * scale;
    r.winXMin = float(rx0 * scale + offset);
    r.winXMax = float(rx1 * scale + offset);
    if (cam->rowsUp) {
        scale = (double(cam->winYMax) - cam->winYMin) / cam->pixH;
        offset = cam->winYMin - cam->pixY * scale;
        r.winYMin = float(ry0 * scale + offset);
        r.winYMax = float(ry1 * scale + offset);
    } else {
        scale = (double(cam->winYMin) - cam->winYMax) / cam->pixH;
        offset = cam->winYMax - cam->pixY * scale;
        r.winYMin = float(ry1 * scale + offset);
        r.winYMax = float(ry0 * scale + offset);
    }
    *out = r;
    return camUpdate(out);
}

int camCopy(CamRecord* cam, CamRecord** holder) {
    if (!holder || !cam) return 0;
    if (!camUpdate(cam)) return 0;
    auto* copy = static_cast<CamRecord*>(memAllocZ(sizeof(CamRecord)));
    if (!copy) return 0;
    *copy = *cam;
    *holder = copy;
    return 1;
}

int camFree(CamRecord** holder) {
    if (!holder) return 0;
    if (*holder) {
        memFree(*holder);
        *holder = nullptr;
    }
    return 1;
}

int camUpdateCopy(CamRecord* cam, CamRecord* out) {
    if (!cam || !out) return 0;
    if (!camUpdate(cam)) return 0;
    *out = *cam;
    return 1;
}

void camScreenBoxReset() { mtxScreenBox = {10000.0f, 10000.0f, -10000.0f, -10000.0f}; }

void camScreenBoxClip(const CamRecord* cam, IRect* out) {
    if (!out) return;
    const ScreenBox b = mtxScreenBox;
    if (!cam || !(b.minX <= b.maxX) || !(b.minY <= b.maxY)) {
        *out = {0, 0, 0, 0};
        return;
    }
    camPixelBoundsToRect(cam, b.minX, b.minY, b.maxX, b.maxY, out);
}

void camPixelBoundsToRect(const CamRecord* cam, float x0, float y0, float x1, float y1, IRect* out) {
    if (!out) return;
    *out = {0, 0, 0, 0};
    if (!cam || !(x0 <= x1) || !(y0 <= y1) || cam->pixW < 0 || cam->pixH < 0) return;
    // Truncated toward zero in floating point (the bounds may lie far outside the integers);
    // the left and top bounds are only raised to the pixel rectangle and the right and bottom
    // ones only lowered, so a box wholly outside gives no rectangle.
    const double loX = cam->pixX, hiX = double(cam->pixX) + cam->pixW;
    const double loY = cam->pixY, hiY = double(cam->pixY) + cam->pixH;
    const double left = std::max(std::trunc(double(x0 - 0.5f)), loX);
    const double right = std::min(std::trunc(double(x1 + 1.5f)), hiX);
    const double top = std::max(std::trunc(double(y0 - 0.5f)), loY);
    const double bottom = std::min(std::trunc(double(y1 + 1.5f)), hiY);
    if (!(right >= left) || !(bottom >= top)) return;
    const double w = right - left, h = bottom - top;
    if (w > INT32_MAX || h > INT32_MAX) return;
    *out = {int32_t(left), int32_t(top), int32_t(w), int32_t(h)};
}
