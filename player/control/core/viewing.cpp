#include "viewing.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "invariantnum.h"

namespace qivctl {

namespace {

ViewVec sub(const ViewVec& a, const ViewVec& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
ViewVec add(const ViewVec& a, const ViewVec& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
ViewVec scale(const ViewVec& a, double k) { return {a.x * k, a.y * k, a.z * k}; }
double dot(const ViewVec& a, const ViewVec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
ViewVec cross(const ViewVec& a, const ViewVec& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double length(const ViewVec& a) { return std::sqrt(dot(a, a)); }
bool finite(const ViewVec& a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }

constexpr double kDegToRad = 0.017453292;
constexpr double kTiny = 1e-12;

std::string g(double v) { return formatInvariantG(v); }

// The screen's side and up unit vectors of a view.
bool screenAxes(const ViewVec& eye, const ViewVec& vrp, const ViewVec& up, ViewVec* s, ViewVec* u) {
    ViewVec dir = sub(vrp, eye);
    double dl = length(dir);
    if (!(dl > kTiny) || !finite(dir) || !finite(up)) return false;
    dir = scale(dir, 1.0 / dl);
    ViewVec side = cross(dir, up);
    double sl = length(side);
    if (!(sl > kTiny)) return false;
    *s = scale(side, 1.0 / sl);
    *u = cross(*s, dir);
    return true;
}

bool movePan(ViewVec* eye, ViewVec* vrp, const ViewVec& axis, double v, bool* changed) {
    double delta = -v - dot(axis, *eye);
    if (changed) *changed = delta != 0;
    if (delta == 0) return true;
    *eye = add(*eye, scale(axis, delta));
    *vrp = add(*vrp, scale(axis, delta));
    return true;
}

uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
float getFloat(const uint8_t* p) {
    uint32_t b = get32(p);
    float f;
    std::memcpy(&f, &b, 4);
    return f;
}

}  // namespace

std::string materialAsString(int32_t colDiffuse, int32_t colSpecular, double alpha, double coDiffuse,
                             double coAmbient, double coSpecular, int32_t flags) {
    return std::to_string(colDiffuse) + ", " + std::to_string(colSpecular) + ", " + g(alpha) + ", " + g(coDiffuse) +
           ", " + g(coAmbient) + ", " + g(coSpecular) + ", " + std::to_string(flags);
}

std::string animationParametersAsString(double length, double framesPerSecond, int32_t subAnimCount) {
    return g(length) + ", " + g(framesPerSecond) + ", " + std::to_string(subAnimCount);
}

std::string subAnimationInfoAsString(std::string_view name, double start, double end) {
    std::string tail = "\", " + g(start) + ", " + g(end);
    size_t room = kAsStringMax - 1 - tail.size();
    size_t nul = name.find('\0');
    if (nul != std::string_view::npos) name = name.substr(0, nul);
    if (name.size() > room) name = name.substr(0, room);
    return "\"" + std::string(name) + tail;
}

std::string viewingAsString(const Viewing& v) {
    return g(v.vrp.x) + ", " + g(v.vrp.y) + ", " + g(v.vrp.z) + ", " + g(v.eye.x) + ", " + g(v.eye.y) + ", " +
           g(v.eye.z) + ", " + g(v.tanHalfAngle) + ", " + (v.parallel ? "true" : "false");
}

std::string placementAsString(const float m[16]) {
    std::string out;
    for (int i = 0; i < 16; ++i) {
        if (i) out += '/';
        out += formatInvariantE(double(m[i]));
    }
    return out;
}

bool parsePlacement(std::string_view text, float out[16]) {
    if (text.size() < 16) return false;
    float m[16] = {};
    size_t pos = 0;
    for (int k = 0; k < 16 && pos < text.size(); ++k) {
        size_t used = 0;
        double v = invariantStrtod(text.substr(pos), &used);
        if (std::fabs(v) > double(std::numeric_limits<float>::max())) return false;
        m[k] = float(v);
        pos += used;
        if (pos == text.size()) break;
        if (text[pos] != '/') return false;
        ++pos;
    }
    std::memcpy(out, m, sizeof m);
    return true;
}

bool viewingOfCamera(const ViewVec& vrp, const ViewVec& eye, double winXMin, double winXMax, double eyeDistance,
                     bool parallel, Viewing* out) {
    if (!(std::fabs(eyeDistance) > 0) || !std::isfinite(eyeDistance)) return false;
    out->vrp = vrp;
    out->eye = eye;
    out->tanHalfAngle = (winXMax - winXMin) * (0.5 / eyeDistance);
    out->parallel = parallel;
    return true;
}

bool phiPsiOf(const ViewVec& eye, const ViewVec& vrp, double* phi, double* psi) {
    ViewVec d = sub(eye, vrp);
    if (!(length(d) > kTiny) || !finite(d)) return false;
    *phi = std::atan2(d.y, d.x);
    *psi = std::atan2(d.z, std::hypot(d.x, d.y));
    return true;
}

ViewVec eyeFromPhiPsi(const ViewVec& vrp, double distance, double phi, double psi) {
    ViewVec dir{std::cos(psi) * std::cos(phi), std::cos(psi) * std::sin(phi), std::sin(psi)};
    return add(vrp, scale(dir, distance));
}

ViewVec upFromPhiPsi(double phi, double psi) {
    return {-std::sin(psi) * std::cos(phi), -std::sin(psi) * std::sin(phi), std::cos(psi)};
}

PhiPsiLimits phiPsiRanges(double minPhiDeg, double maxPhiDeg, double minPsiDeg, double maxPsiDeg) {
    PhiPsiLimits l;
    bool phiOff = std::fabs(minPhiDeg) > 1000 && std::fabs(maxPhiDeg) > 1000;
    bool psiOff = std::fabs(minPsiDeg) > 1000 || std::fabs(maxPsiDeg) > 1000;
    if (phiOff || psiOff) return l;
    l.on = true;
    l.minPhi = minPhiDeg * kDegToRad;
    l.maxPhi = maxPhiDeg * kDegToRad;
    l.minPsi = minPsiDeg * kDegToRad;
    l.maxPsi = maxPsiDeg * kDegToRad;
    return l;
}

// An angle within [lo, hi] up to whole turns: 225 degrees lies in [-180, -90] as -135 does.
static bool angleWithin(double a, double lo, double hi) {
    constexpr double twoPi = 6.283185307179586;
    if (!std::isfinite(a) || !(hi >= lo)) return false;
    if (hi - lo >= twoPi) return true;
    double d = std::fmod(a - lo, twoPi);
    if (d < 0) d += twoPi;
    return d <= hi - lo + 1e-9;
}

bool phiPsiAllowed(const PhiPsiLimits& l, double phi, double psi) {
    if (!l.on) return true;
    return angleWithin(phi, l.minPhi, l.maxPhi) && angleWithin(psi, l.minPsi, l.maxPsi);
}

bool planViewing(const Viewing& v, int32_t frameWidth, int32_t frameHeight, const PhiPsiLimits& limits,
                 bool rebuildUp, ViewingPlan* out) {
    if (!finite(v.vrp) || !finite(v.eye) || !std::isfinite(v.tanHalfAngle) || !(v.tanHalfAngle > 0)) return false;
    ViewingPlan p;
    p.eyeDistance = length(sub(v.eye, v.vrp));
    if (!(p.eyeDistance > kTiny) || !std::isfinite(p.eyeDistance)) return false;
    if (!phiPsiOf(v.eye, v.vrp, &p.phi, &p.psi)) return false;
    p.halfWidth = p.eyeDistance * v.tanHalfAngle;
    double aspect = frameWidth > 0 && frameHeight > 0 ? double(frameHeight) / double(frameWidth) : 1.0;
    p.halfHeight = p.halfWidth * aspect;
    if (!std::isfinite(p.halfWidth) || !std::isfinite(p.halfHeight)) return false;
    p.vrp = v.vrp;
    p.eye = v.eye;
    p.parallel = v.parallel;
    if (rebuildUp) {
        if (!phiPsiAllowed(limits, p.phi, p.psi)) return false;
        p.up = upFromPhiPsi(p.phi, p.psi);
        p.upRebuilt = true;
    }
    *out = p;
    return true;
}

bool panOf(const ViewVec& eye, const ViewVec& vrp, const ViewVec& up, double* panX, double* panY) {
    ViewVec s, u;
    if (!screenAxes(eye, vrp, up, &s, &u)) return false;
    *panX = -dot(s, eye);
    *panY = -dot(u, eye);
    return true;
}

bool applyPanX(ViewVec* eye, ViewVec* vrp, const ViewVec& up, double v, bool* changed) {
    ViewVec s, u;
    if (changed) *changed = false;
    if (!std::isfinite(v) || !screenAxes(*eye, *vrp, up, &s, &u)) return false;
    return movePan(eye, vrp, s, v, changed);
}

bool applyPanY(ViewVec* eye, ViewVec* vrp, const ViewVec& up, double v, bool* changed) {
    ViewVec s, u;
    if (changed) *changed = false;
    if (!std::isfinite(v) || !screenAxes(*eye, *vrp, up, &s, &u)) return false;
    return movePan(eye, vrp, u, v, changed);
}

void pendingSetCameraValue(PendingViewing& p, int axis, float v) {
    if (axis >= 0 && axis < 3) {
        p.vrp[axis] = v;
        p.flags |= PendingViewing::kVrpGiven;
    } else if (axis >= 3 && axis < 6) {
        p.eye[axis - 3] = v;
        p.flags |= PendingViewing::kEyeGiven;
    }
}

float pendingCameraValue(const PendingViewing& p, int axis) {
    if (axis >= 0 && axis < 3) return p.vrp[axis];
    if (axis >= 3 && axis < 6) return p.eye[axis - 3];
    return 0.0f;
}

bool predefinedViewingAt(const uint8_t* records, size_t size, int32_t count, int32_t id, Viewing* out) {
    if (!records || count <= 0 || id < 0 || id >= count) return false;
    if (uint64_t(id + 1) * kPredefinedViewingSize > size) return false;
    const uint8_t* r = records + size_t(id) * kPredefinedViewingSize;
    out->vrp = {getFloat(r), getFloat(r + 4), getFloat(r + 8)};
    out->eye = {getFloat(r + 12), getFloat(r + 16), getFloat(r + 20)};
    out->tanHalfAngle = getFloat(r + 24);
    out->parallel = get32(r + 28) != 0;
    return true;
}

std::vector<WalkMotion> walkThroughMotions(int32_t dir, double h) {
    using K = WalkMotion::Kind;
    switch (dir) {
        case 0: return {{K::Turn, -h}};
        case 1: return {{K::Forward, h}, {K::Turn, -h}};
        case 2: return {{K::Forward, h}};
        case 3: return {{K::Forward, h}, {K::Turn, h}};
        case 4: return {{K::Turn, h}};
        case 5: return {{K::Turn, h}, {K::Forward, -h}};
        case 6: return {{K::Forward, -h}};
        case 7: return {{K::Turn, -h}, {K::Forward, -h}};
        case 8: return {{K::Lift, h}};
        case 9: return {{K::Lift, -h}};
        default: return {};
    }
}

}  // namespace qivctl
