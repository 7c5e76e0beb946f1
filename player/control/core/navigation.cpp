// Navigation maths.
#include "navigation.h"

#include <algorithm>
#include <cmath>

#include "scene/vecops.h"

namespace {

using vec::add;
using vec::mul;
using vec::sub;
float length(const Vec3& a) { return std::sqrt(vec::dot(a, a)); }

float clamp01(float f) { return f < 0.0f ? 0.0f : (f > 1.0f ? 1.0f : f); }
// a / b, or 0 for a divisor that is not positive.
float ratio(float a, float b) { return b > 0.0f ? a / b : 0.0f; }

Vec3 corner(const Box3& box, int i) {
    return {(i & 1) ? box.max.x : box.min.x, (i & 2) ? box.max.y : box.min.y, (i & 4) ? box.max.z : box.min.z};
}

// Horizontal direction of the view, normalised; false when it has no length.
bool horizontal(const NavView& v, float* dx, float* dy) {
    const float x = v.vrp.x - v.eye.x, y = v.vrp.y - v.eye.y;
    const float l = std::sqrt(x * x + y * y);
    if (!(l > 0.0f)) return false;
    *dx = x / l;
    *dy = y / l;
    return true;
}

}  // namespace

// --- Rotation, zoom, pan

NavRotation navRotateDrag(float basePhi, float basePsi, int anchorX, int anchorY, int x, int y, int clientW,
                          int clientH) {
    NavRotation r;
    r.deltaH = clientW > 0 ? float(x - anchorX) * NAV_TWO_PI / float(clientW) : 0.0f;
    r.deltaV = clientH > 0 ? float(y - anchorY) * NAV_TWO_PI / float(clientH) : 0.0f;
    r.phi = basePhi + r.deltaH;
    r.psi = basePsi + r.deltaV;
    return r;
}

float navZoomDragFactor(int lastY, int y) { return lastY - y >= 0 ? NAV_ZOOM_UP : NAV_ZOOM_DOWN; }

bool navZoomWindow(float zoom, float factor, float* xMin, float* xMax, float* yMin, float* yMax) {
    if (!(factor > 0.0f) || !std::isfinite(factor)) return false;
    if (factor >= 1.0f && zoom < 0.01f) return false;
    if (factor < 1.0f && zoom > 200.0f) return false;
    factor = std::clamp(factor, 0.1f, 10.0f);
    const float cx = (*xMin + *xMax) * 0.5f, hx = (*xMax - *xMin) * 0.5f * factor;
    const float cy = (*yMin + *yMax) * 0.5f, hy = (*yMax - *yMin) * 0.5f * factor;
    *xMin = cx - hx;
    *xMax = cx + hx;
    *yMin = cy - hy;
    *yMax = cy + hy;
    return true;
}

void navPan(NavView* view, const NavView& start, const Vec3& anchorWorld, const Vec3& currentWorld) {
    const Vec3 d = sub(anchorWorld, currentWorld);
    view->eye = add(start.eye, d);
    view->vrp = add(start.vrp, d);
}

Vec3 navUnproject(const Mat4& m, float x, float y, float depth) {
    const float* e = m.m;
    const double px = x, py = y, pz = depth;
    double r[4];
    for (int c = 0; c < 4; ++c) r[c] = px * e[c] + py * e[4 + c] + pz * e[8 + c] + e[12 + c];
    if (r[3] != 0.0 && r[3] != 1.0) {
        r[0] /= r[3];
        r[1] /= r[3];
        r[2] /= r[3];
    }
    return {float(r[0]), float(r[1]), float(r[2])};
}

Vec3 navProject(const Mat4& m, const Vec3& p) { return navUnproject(m, p.x, p.y, p.z); }

// --- Spin

float navWrapDelta(float a) {
    if (!std::isfinite(a)) return 0.0f;
    while (a > NAV_TWO_PI) a -= NAV_TWO_PI;
    while (a < -NAV_TWO_PI) a += NAV_TWO_PI;
    return a;
}

float navWrapSpinSpeed(float radians) {
    constexpr double turn = 6.2831854820251465, limit = 25.132742;
    double v = radians;
    if (!(std::fabs(v) <= limit)) return 0.0f;  // beyond 8 pi, or not a number
    if (v < -NAV_PI) {
        v += std::ceil((-NAV_PI - v) / turn) * turn;
    } else if (v > NAV_PI) {
        v -= std::ceil((v - NAV_PI) / turn) * turn;
    }
    return float(v);
}

float navPutSpinSpeed(NavSpin* spin, bool phi, float degreesPerSecond, float currentPhi, float currentPsi,
                      uint32_t now) {
    const float r = navWrapSpinSpeed(degreesPerSecond * NAV_DEG_TO_RAD);
    (phi ? spin->speedPhi : spin->speedPsi) = r;
    spin->startTime = now;
    spin->started = true;
    spin->basePhi = currentPhi;
    spin->basePsi = currentPsi;
    if (std::fabs(r) > 0.0001f) spin->keepSpinning = true;
    return r;
}

void navPutKeepSpinning(NavSpin* spin, bool on) {
    spin->keepSpinning = on;
    if (!on) spin->speedPhi = spin->speedPsi = 0.0f;
}

void navSpinOnRelease(NavSpin* spin, float deltaH, float deltaV, uint32_t lastStepTime, uint32_t now,
                      float currentPhi, float currentPsi) {
    if (!spin->keepSpinning) return;
    deltaH = navWrapDelta(deltaH);
    deltaV = navWrapDelta(deltaV);
    spin->basePhi = currentPhi;
    spin->basePsi = currentPsi;
    spin->startTime = now;
    spin->started = true;
    if (uint32_t(now - lastStepTime) < NAV_SPIN_WINDOW_MS) {
        spin->speedPsi = std::fabs(deltaV) > NAV_SPIN_MIN ? deltaV : 0.0f;
        spin->speedPhi = std::fabs(deltaH) > NAV_SPIN_MIN ? deltaH : 0.0f;
    } else {
        spin->speedPhi = spin->speedPsi = 0.0f;
    }
}

void navSpinStop(NavSpin* spin) {
    spin->speedPhi = spin->speedPsi = 0.0f;
    spin->startTime = 0;
    spin->started = false;
}

bool navSpinTick(NavSpin* spin, uint32_t now, float* phi, float* psi) {
    if (spin->speedPhi == 0.0f && spin->speedPsi == 0.0f) {
        spin->started = false;
        return false;
    }
    if (!spin->started) {
        spin->started = true;
        spin->startTime = now;
        spin->basePhi = *phi;
        spin->basePsi = *psi;
        return false;
    }
    const double t = double(uint32_t(now - spin->startTime)) * 0.001;
    double p = spin->speedPhi != 0.0f ? spin->basePhi + t * spin->speedPhi : double(*phi);
    double s = spin->speedPsi != 0.0f ? spin->basePsi + t * spin->speedPsi : double(*psi);
    if (std::fabs(p) > NAV_SPIN_REBASE || std::fabs(s) > NAV_SPIN_REBASE) {
        // Keep the angles small: within one turn, and the spin starts afresh from there.
        constexpr double turn = 6.283185307179586;
        p = std::remainder(p, turn);
        s = std::remainder(s, turn);
        spin->basePhi = p;
        spin->basePsi = s;
        spin->startTime = now;
    }
    *phi = float(p);
    *psi = float(s);
    return true;
}

// --- Walk-through

int navWalkZone(int x, int y, int width, int height, bool shift) {
    if (width <= 0 || height <= 0) return 4;
    if (shift) {
        const int a = int(std::lround(0.33 * height)), b = int(std::lround(0.66 * height));
        return y < a ? 9 : (y <= b ? 4 : 10);
    }
    const int l = int(std::lround(0.375 * width)), r = int(std::lround(0.625 * width));
    const int d = int(std::lround(0.75 * height)), u = (height + 1) / 2;
    const int column = x <= l ? 0 : (x <= r ? 1 : 2);
    const int row = y < u ? 0 : (y < d ? 1 : 2);
    return 3 * row + column;
}

float navStepBase(const Box3& box, const Vec3& eye) {
    const bool inside = eye.x >= box.min.x && eye.x <= box.max.x && eye.y >= box.min.y && eye.y <= box.max.y &&
                        eye.z >= box.min.z && eye.z <= box.max.z;
    return inside ? 0.0f : length(sub(box.max, box.min));
}

float navStepLength(float s, float r) {
    if (r > 0.0f && r < 1.5f) return s * r * 0.03333f;
    if (r > 50.0f) return s * ((r - 50.0f) * 0.03333f + 0.5f);
    return s * 0.5f;
}

void navTurnView(NavView* view, float degrees, uint32_t elapsedMs) {
    float a = degrees * NAV_DEG_TO_RAD;
    if (elapsedMs) a *= float(elapsedMs) * 0.006666667f;
    const double angle = double(a * NAV_RAD_TO_DEG) * (3.14159265358979323846 / 180.0);
    const double c = std::cos(angle), s = std::sin(angle);
    const double x = view->vrp.x - view->eye.x, y = view->vrp.y - view->eye.y;
    view->vrp.x = float(view->eye.x + (x * c - y * s));
    view->vrp.y = float(view->eye.y + (x * s + y * c));
}

void navMoveForward(NavView* view, float s, float r, uint32_t elapsedMs) {
    float step = navStepLength(s, r);
    if (elapsedMs) step *= float(elapsedMs) * 0.006666667f;
    float dx = 0, dy = 0;
    if (!horizontal(*view, &dx, &dy)) return;
    view->eye.x += step * dx;
    view->eye.y += step * dy;
    view->vrp.x += step * dx;
    view->vrp.y += step * dy;
}

void navMoveSideways(NavView* view, float s, float r, uint32_t elapsedMs) {
    float step = 2.0f * navStepLength(s, r);
    if (elapsedMs) {
        const float t = std::clamp(float(elapsedMs) * 0.0033333334f, 0.01f, 10.0f);
        step *= t * t;
    }
    float dx = 0, dy = 0;
    if (!horizontal(*view, &dx, &dy)) return;
    view->eye.x += step * dy;
    view->eye.y -= step * dx;
    view->vrp.x += step * dy;
    view->vrp.y -= step * dx;
}

bool navWalk(NavView* view, int zone, int x, int y, int width, int height, bool ctrl, float r, uint32_t elapsedMs) {
    if (zone == 4 || width <= 0 || height <= 0) return false;
    const float speed = ctrl ? 2.0f : 1.0f;
    const float w = float(width), h = float(height);
    const float l = float(std::lround(0.375 * width)), rs = float(std::lround(0.625 * width));
    const float d = float(std::lround(0.75 * height)), u = float((height + 1) / 2);
    const float fTop = clamp01(ratio(u - float(y), u));
    const float fLeft = clamp01(ratio(l - float(x), l));
    const float fRight = clamp01(ratio(float(x) - rs, w - rs));
    const float fBottom = clamp01(ratio(float(y) - d, h - d));
    switch (zone) {
    case 0:
        navMoveForward(view, speed * fTop, r, elapsedMs);
        navTurnView(view, -(speed * fLeft), elapsedMs);
        break;
    case 1: navMoveForward(view, speed * fTop, r, elapsedMs); break;
    case 2:
        navMoveForward(view, speed * fTop, r, elapsedMs);
        navTurnView(view, speed * fRight, elapsedMs);
        break;
    case 3: navTurnView(view, -(speed * fLeft), elapsedMs); break;
    case 5: navTurnView(view, speed * fRight, elapsedMs); break;
    case 6: navMoveSideways(view, -(speed * fLeft), r, elapsedMs); break;
    case 7: navMoveForward(view, -(speed * fBottom), r, elapsedMs); break;
    case 8: navMoveSideways(view, speed * fRight, r, elapsedMs); break;
    case 9:
    case 10: {
        const float a = float(std::lround(0.33 * height)), b = float(std::lround(0.66 * height));
        float f = zone == 9 ? clamp01(ratio(a - float(y), a)) : clamp01(ratio(float(y) - b, h - b));
        if (r > 0.0f) f *= r;
        f *= elapsedMs ? float(elapsedMs) * 0.005f : 1.0f;
        f *= 0.004f;
        if (zone == 10) f = -f;
        view->vrp.z += f;
        view->eye.z += f;
        break;
    }
    default: return false;
    }
    return true;
}

void navWalkMotion(NavView* view, NavMotion kind, float amount, float r, uint32_t elapsedMs) {
    switch (kind) {
    case NavMotion::Turn: navTurnView(view, amount, elapsedMs); break;
    case NavMotion::Forward: navMoveForward(view, amount, r, elapsedMs); break;
    case NavMotion::Sideways: navMoveSideways(view, amount, r, elapsedMs); break;
    case NavMotion::Lift:
        view->eye.z += amount;
        view->vrp.z += amount;
        break;
    }
}

bool navWalkThroughStep(NavView* view, int32_t dir, float howFar, float r, uint32_t elapsedMs) {
    using M = NavMotion;
    struct Step {
        M first;
        float firstSign;
        M second;
        float secondSign;  // 0: no second motion
    };
    static const Step steps[10] = {
        {M::Turn, -1, M::Turn, 0},    {M::Forward, 1, M::Turn, -1}, {M::Forward, 1, M::Turn, 0},
        {M::Forward, 1, M::Turn, 1},  {M::Turn, 1, M::Turn, 0},     {M::Turn, 1, M::Forward, -1},
        {M::Forward, -1, M::Turn, 0}, {M::Turn, -1, M::Forward, -1}, {M::Lift, 1, M::Turn, 0},
        {M::Lift, -1, M::Turn, 0},
    };
    if (dir < 0 || dir > 9) return false;
    const Step& s = steps[dir];
    navWalkMotion(view, s.first, s.firstSign * howFar, r, elapsedMs);
    if (s.secondSign != 0) navWalkMotion(view, s.second, s.secondSign * howFar, r, elapsedMs);
    return true;
}

bool navWalkLook(NavView* view, const Vec3& target) {
    const float distance = length(sub(view->vrp, view->eye));
    const Vec3 moved = add(view->vrp, mul(sub(target, view->vrp), 0.033333335f));
    const Vec3 d = sub(moved, view->eye);
    const float l = length(d);
    if (!(l > 0.0f) || !(distance > 0.0f)) return false;
    const Vec3 dir = mul(d, 1.0f / l);
    const float elevation = std::asin(std::clamp(dir.z, -1.0f, 1.0f));
    if (!(std::fabs(elevation) <= NAV_LOOK_LIMIT)) return false;
    view->vrp = add(view->eye, mul(dir, distance));
    return true;
}

// --- Object drag

float navDragDepthOffset(int startY, int y, int height) {
    return height > 0 ? float(startY - y) / float(height) * NAV_DRAG_DEPTH_SCALE : 0.0f;
}

Vec3 navLockAxes(const Vec3& move, uint32_t moveFlags) {
    return {(moveFlags & 2) ? 0.0f : move.x, (moveFlags & 4) ? 0.0f : move.y, (moveFlags & 8) ? 0.0f : move.z};
}

Vec3 navCollisionWalk(const Vec3& move, const std::function<bool(const Vec3& offset)>& hits) {
    if (!(length(move) > 0.0f)) return {0, 0, 0};
    double accepted = 0.0, current = 0.0, step = 0.2;
    for (int guard = 0; guard < 1000; ++guard) {
        double remaining;
        if (!hits(mul(move, float(current)))) {
            accepted = current;
            remaining = 1.0 - accepted;
        } else {
            current = accepted;
            step *= 0.5;
            remaining = step;
        }
        if (remaining <= 0.0125) break;
        current = std::min(1.0, current + step);  // never past the target
    }
    return mul(move, float(accepted));
}

// --- Views

NavHomeView navHomeView(const Box3& box) {
    NavHomeView v;
    const float d = length(sub(box.max, box.min));
    v.eyeDistance = 1.5f * d;
    v.farDist = 1.2f * d + 1.5f * d;
    v.nearDist = v.farDist / 9.0f;
    v.up = {0, 0, 1};
    v.vrp = {0, 0, 0};
    v.eye = {0, -1.5f * d, 0};
    v.tanHalfAngle = float(std::tan(22.0 * 3.14159265358979323846 / 180.0));
    return v;
}

void navClipDistances(const Box3& box, const Vec3& eye, const Vec3& viewDir, float r, float diagonal, float* nearDist,
                      float* farDist) {
    Vec3 dir = viewDir;
    const float l = length(dir);
    dir = l > 0.0f ? mul(dir, 1.0f / l) : Vec3{0, 0, 1};
    float n = 1e7f, f = -1e7f;
    for (int i = 0; i < 8; ++i) {
        const Vec3 c = sub(corner(box, i), eye);
        const float t = c.x * dir.x + c.y * dir.y + c.z * dir.z;
        n = std::min(n, t);
        f = std::max(f, t);
    }
    float farD;
    if (r <= 0.0f) {
        farD = f < 1e-10f ? 2.0f * diagonal : 2.0f * f;
    } else {
        farD = f < 1e-10f ? 2.0f * r : 1.1f * f;
        if (n >= 1e-10f && farD > 0.0f) {
            *farDist = farD;
            *nearDist = 0.9f * n;
            return;
        }
    }
    if (!(farD > 0.0f)) farD = 1.0f;  // an empty scene still gets a valid depth range
    *farDist = farD;
    *nearDist = std::min(farD * 0.11111111f, 0.25f);
}

float navFitScale(const CamRecord& cam, const Box3& box, int frameW, int frameH) {
    if (frameW <= 0 || frameH <= 0) return 0.0f;
    float minX = 1e10f, maxX = -1e10f, minY = 1e10f, maxY = -1e10f;
    const float cx = float(frameW / 2), cy = float(frameH / 2);
    for (int i = 0; i < 8; ++i) {
        const Vec3 p = navProject(cam.worldToPixel, corner(box, i));
        minX = std::min(minX, p.x - cx);
        maxX = std::max(maxX, p.x - cx);
        minY = std::min(minY, p.y - cy);
        maxY = std::max(maxY, p.y - cy);
    }
    const float sx = 2.0f * std::max(std::fabs(minX), std::fabs(maxX)) / float(frameW);
    const float sy = 2.0f * std::max(std::fabs(minY), std::fabs(maxY)) / float(frameH);
    const float s = std::max(sx, sy);
    return std::isfinite(s) && s > 0.0f ? s : 0.0f;
}

int navFitZoomToBox(CamRecord* cam, const Box3& box, int frameW, int frameH) {
    if (!cam) return 0;
    const float s = navFitScale(*cam, box, frameW, frameH);
    if (s <= 0.0f) return 0;
    cam->winXMin *= s;
    cam->winXMax *= s;
    cam->winYMin *= s;
    cam->winYMax *= s;
    return camUpdate(cam);
}

// --- Interface values

bool navPutDisplayMode(int32_t value, int32_t* mode, int32_t* flagBits) {
    const bool setsFlag = (value & 0xFF00) != 0;
    const int32_t newMode = value & ~int32_t(0xFF00);
    const bool changed = newMode != *mode || (setsFlag && *flagBits == 0);
    *mode = newMode;
    if (setsFlag) *flagBits = 0x4000;
    return changed;
}

int32_t navGetDisplayMode(int32_t mode, int32_t flagBits) { return int32_t(uint32_t(mode) + uint32_t(flagBits)); }

float navAnimationLength(float startTime, float endTime, float frameRate) {
    if (!(frameRate > 0.0f)) return 0.0f;
    return (endTime - startTime) / frameRate;
}
