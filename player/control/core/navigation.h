// Navigation maths of the viewer: rotate, zoom and pan drags, spin after a flick, the
// walk-through zones and camera motions, object drags with collision-checked steps, view
// reset, clip distances and fitting the view to the scene box. Pure functions of the view
// state; the window code reads the input and applies the results.
#pragma once
#include <cstdint>
#include <functional>

#include "scene/camera.h"
#include "scene/vecmath.h"

constexpr float NAV_TWO_PI = 6.2831855f;
constexpr float NAV_PI = 3.1415927f;
constexpr float NAV_DEG_TO_RAD = 0.017453292f;
constexpr float NAV_RAD_TO_DEG = 57.295776f;
constexpr float NAV_ZOOM_UP = 1.07f;
constexpr float NAV_ZOOM_DOWN = 0.93f;
constexpr uint32_t NAV_SPIN_WINDOW_MS = 75;
constexpr float NAV_SPIN_MIN = 0.017453292f;      // one degree per move
constexpr float NAV_SPIN_REBASE = 31.415928f;     // 10 pi
constexpr float NAV_LOOK_LIMIT = 1.5358897f;      // 88 degrees
constexpr float NAV_DRAG_DEPTH_SCALE = 65000.0f;

// Eye and view reference point.
struct NavView {
    Vec3 eye;
    Vec3 vrp;
};

// --- Rotation, zoom, pan

// Rotate drag: a drag across the whole client width (height) turns Phi (Psi) by one full
// circle. A client extent of 0 or below gives no turn on that axis.
struct NavRotation {
    float phi, psi;        // base + delta
    float deltaH, deltaV;  // become the spin speeds on release
};
NavRotation navRotateDrag(float basePhi, float basePsi, int anchorX, int anchorY, int x, int y, int clientW,
                          int clientH);
// Zoom drag: 1.07 when the mouse moved up (lastY - y >= 0), else 0.93.
float navZoomDragFactor(int lastY, int y);
// ZoomBy: a factor of at least 1 is refused (false) while the zoom is below 0.01, one below 1
// while it is above 200, a factor that is not a positive number always; else the factor,
// clamped to 0.1..10, scales the view window's half extents about its centre.
bool navZoomWindow(float zoom, float factor, float* xMin, float* xMax, float* yMin, float* yMax);
// Pan: eye and view reference point shift by anchor - current (the anchor stays under the mouse).
void navPan(NavView* view, const NavView& start, const Vec3& anchorWorld, const Vec3& currentWorld);
// Screen point and depth through the inverse of the combined matrix; a perspective divisor
// of exactly 0 or 1 leaves the point unscaled.
Vec3 navUnproject(const Mat4& pixelToWorld, float x, float y, float depth);
// A world point through the combined matrix with the perspective divide (frame coordinates).
Vec3 navProject(const Mat4& worldToPixel, const Vec3& p);

// --- Spin

// The one spin clock of the view: speeds, the angles it started from and its start time.
struct NavSpin {
    float speedPhi = 0, speedPsi = 0;  // radians per second
    double basePhi = 0, basePsi = 0;   // kept wide: long spins keep their precision
    uint32_t startTime = 0;
    bool started = false;              // startTime and the base angles are set
    bool keepSpinning = false;
};
// A delta wrapped into [-2 pi, 2 pi].
float navWrapDelta(float a);
// Spin speed put (radians per second): -pi..pi stays; up to 8 pi in magnitude is brought into
// range by whole turns; beyond 8 pi it becomes 0.
float navWrapSpinSpeed(float radians);
// SpinPhi / SpinPsi put in degrees per second; returns the stored radians.
float navPutSpinSpeed(NavSpin* spin, bool phi, float degreesPerSecond, float currentPhi, float currentPsi,
                      uint32_t now);
// KeepSpinning put; false stops both speeds.
void navPutKeepSpinning(NavSpin* spin, bool on);
// Release after a rotate drag: with KeepSpinning on, speeds from the last deltas when the last
// rotation step is younger than 75 ms (each only above one degree), else 0.
void navSpinOnRelease(NavSpin* spin, float deltaH, float deltaV, uint32_t lastStepTime, uint32_t now,
                      float currentPhi, float currentPsi);
// A click stops the spin.
void navSpinStop(NavSpin* spin);
// Frame tick: angle = base + elapsed x speed for each non-zero speed (tick differences modulo
// 2^32). Without a start the spin starts now from the current angles. Past 10 pi in magnitude
// the angles are brought within one turn and the spin starts afresh from them, so a long spin
// stays bounded and keeps its precision. True when the angles changed.
bool navSpinTick(NavSpin* spin, uint32_t now, float* phi, float* psi);

// --- Walk-through

// Zone 0-8 (3 x row + column; 4 = stand still), with Shift 9 (up), 4 or 10 (down).
int navWalkZone(int x, int y, int width, int height, bool shift);
// Step base: 0 while the eye lies inside (or on) the box, else the box diagonal.
float navStepBase(const Box3& box, const Vec3& eye);
// Step of MoveForward for speed s and step base r (without the time factor).
float navStepLength(float s, float r);
void navTurnView(NavView* view, float degrees, uint32_t elapsedMs);
void navMoveForward(NavView* view, float s, float r, uint32_t elapsedMs);
void navMoveSideways(NavView* view, float s, float r, uint32_t elapsedMs);
// Walks one step for the zone of the point; true when the view moved. Ctrl doubles every
// motion but lifting.
bool navWalk(NavView* view, int zone, int x, int y, int width, int height, bool ctrl, float r, uint32_t elapsedMs);
// The walk's camera motions by kind, as keys and WalkThroughStep use them: Turn by amount
// degrees, Forward and Sideways by the speed amount with step base r, Lift: the z of eye and
// view reference point grows by amount (no time scaling).
enum class NavMotion { Turn, Forward, Sideways, Lift };
void navWalkMotion(NavView* view, NavMotion kind, float amount, float r, uint32_t elapsedMs);
// WalkThroughStep by direction (qivWalkThroughDirection 0..9: left, left-forward, forward,
// right-forward, right, right-back, back, left-back, lift up, lift down). False, with the view
// unchanged, for other directions.
bool navWalkThroughStep(NavView* view, int32_t dir, float howFar, float r, uint32_t elapsedMs);
// Walk-look drag: the view reference point moves a thirtieth of the way to target (the point
// under the mouse at its depth), kept at its distance from the eye; refused (false, view
// unchanged) when the elevation would pass 88 degrees.
bool navWalkLook(NavView* view, const Vec3& target);

// --- Object drag

// Depth offset of a right-button drag: (startY - y) / height x 65000; 0 for no height.
float navDragDepthOffset(int startY, int y, int height);
// Keeps the axes the move flags lock (2 X, 4 Y, 8 Z) at their start values.
Vec3 navLockAxes(const Vec3& move, uint32_t moveFlags);
// Collision-checked move: steps from 0.2 of the whole move, halved after each hit, until the
// remaining distance is at most 0.0125 of it. hits(offset) tests the moved nodes at offset.
// Returns the accepted offset.
Vec3 navCollisionWalk(const Vec3& move, const std::function<bool(const Vec3& offset)>& hits);

// --- Views

// Initial view for a scene box: eye distance 1.5 d, far 2.7 d, near a ninth of far.
struct NavHomeView {
    Vec3 eye, vrp, up;
    float eyeDistance, farDist, nearDist, tanHalfAngle;
};
NavHomeView navHomeView(const Box3& box);
// Clip distances after a view change (r: the walk step base, 0 outside walk-through).
void navClipDistances(const Box3& box, const Vec3& eye, const Vec3& viewDir, float r, float diagonal, float* nearDist,
                      float* farDist);
// Scale that makes the projected box just fill the frame (the window extents are multiplied
// by it); 0 when it cannot be computed (empty frame or a box behind the eye).
float navFitScale(const CamRecord& cam, const Box3& box, int frameW, int frameH);
// Applies the fit to the camera's window extents and updates it.
int navFitZoomToBox(CamRecord* cam, const Box3& box, int frameW, int frameH);

// --- Interface values

// DisplayMode: any of bits 8-15 of a put switches the all-transparent flag on (0x4000 in
// flagBits; no put switches it off) and is cleared from the mode, which is stored whatever
// it is. Returns true when the mode changed or the flag was newly set. The value reads back
// as the mode plus 0x4000 while the flag is on.
bool navPutDisplayMode(int32_t value, int32_t* mode, int32_t* flagBits);
int32_t navGetDisplayMode(int32_t mode, int32_t flagBits);
// GetAnimationParameters' length in seconds; 0 for a frame rate that is not positive.
float navAnimationLength(float startTime, float endTime, float frameRate);
