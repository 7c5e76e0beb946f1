// Viewings of the control: the texts of the AsString members, the placement
// text parser, Phi/Psi from and to eye points with their limits, the pending
// viewing record, the pan values and the window maths of SetViewing3D(Ex).
// Portable, plain data and pure functions; the control copies the results into
// its CamRecord and calls camUpdate.
//
// Angles are radians unless a name says degrees. Phi is the azimuth of the eye
// around the view reference point in the x-y plane (atan2 of y over x), Psi its
// elevation; z is up.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qivctl {

struct ViewVec {
    double x = 0, y = 0, z = 0;
};

// ---- texts (invariant format, C-locale printf conversions) ----

constexpr size_t kAsStringMax = 2047;        // text buffer of 2048 characters
constexpr size_t kPositionStringMax = 399;   // 400 for the placement texts

// "%d, %d, %g, %g, %g, %g, %d"
std::string materialAsString(int32_t colDiffuse, int32_t colSpecular, double alpha, double coDiffuse,
                             double coAmbient, double coSpecular, int32_t flags);
// "%g, %g, %d"
std::string animationParametersAsString(double length, double framesPerSecond, int32_t subAnimCount);
// "\"%s\", %g, %g"; a long name is cut so that the text fits its buffer.
std::string subAnimationInfoAsString(std::string_view name, double start, double end);

struct Viewing {
    ViewVec vrp, eye;
    double tanHalfAngle = 0;
    bool parallel = false;
};
// "%g, %g, %g, %g, %g, %g, %g, %s" with "true"/"false" for parallel.
std::string viewingAsString(const Viewing& v);
// "%e/%e/.../%e": the 16 elements row by row.
std::string placementAsString(const float m[16]);
// ObjectSetPositionFromString: at least 16 characters; 16 numbers row by row
// into a zeroed matrix, each followed by "/" or the end of the text (the rest
// of the matrix then stays 0); any other character, or a non-finite number,
// gives false and leaves out unchanged.
bool parsePlacement(std::string_view text, float out[16]);

// ---- viewing values from a camera ----

// The viewing of a camera: tangent = (window x max - x min) * (0.5 / eye
// distance). False (out unchanged) when the eye distance is 0 or not finite.
bool viewingOfCamera(const ViewVec& vrp, const ViewVec& eye, double winXMin, double winXMax, double eyeDistance,
                     bool parallel, Viewing* out);

// ---- Phi and Psi ----

// Angles of the eye around the VRP; false when the two points coincide.
bool phiPsiOf(const ViewVec& eye, const ViewVec& vrp, double* phi, double* psi);
// The eye at distance d from vrp in the direction of (phi, psi).
ViewVec eyeFromPhiPsi(const ViewVec& vrp, double distance, double phi, double psi);
// The unit up vector of that view (perpendicular to the view direction, towards +z).
ViewVec upFromPhiPsi(double phi, double psi);

struct PhiPsiLimits {
    bool on = false;
    double minPhi = 0, maxPhi = 0, minPsi = 0, maxPsi = 0;  // radians
};
// SetPhiPsiRanges (degrees): off with all four 0 when both phi bounds exceed
// 1000 in magnitude or either psi bound does; else on, in radians.
PhiPsiLimits phiPsiRanges(double minPhiDeg, double maxPhiDeg, double minPsiDeg, double maxPsiDeg);
// Whether a change to (phi, psi) is taken; outside active limits it is ignored. Angles are
// compared up to whole turns (the view is the same).
bool phiPsiAllowed(const PhiPsiLimits& limits, double phi, double psi);

// ---- SetViewing3D / SetViewing3DEx ----

struct ViewingPlan {
    ViewVec vrp, eye, up;
    double eyeDistance = 0;
    double halfWidth = 0, halfHeight = 0;  // window x from -w to w, y from -h to h; also the saved half-extents
    double phi = 0, psi = 0;
    bool parallel = false;
    bool upRebuilt = false;  // false: keep the camera's up vector (SetViewing3D)
};
// The camera of a viewing for a frame of frameWidth x frameHeight pixels
// (aspect 1 while there is no frame). With rebuildUp (SetViewing3DEx) the up
// vector comes from the viewing's own Phi and Psi, and a viewing whose angles
// lie outside active limits is refused as a whole, so that eye and up vector
// always change together. False, with nothing to apply, for an eye equal to the
// VRP, a tangent not above 0, or values that are not finite.
bool planViewing(const Viewing& v, int32_t frameWidth, int32_t frameHeight, const PhiPsiLimits& limits,
                 bool rebuildUp, ViewingPlan* out);

// ---- pan ----

// PanX = -(s . eye), PanY = -(u . eye) with the side vector s = normalise((VRP -
// eye) x up) and u the unit up vector of the screen (s x view direction, equal
// to up when up is a unit vector perpendicular to the view). False when the
// view is degenerate (eye at the VRP, or up along the view direction).
bool panOf(const ViewVec& eye, const ViewVec& vrp, const ViewVec& up, double* panX, double* panY);
// Moves eye and VRP along s (PanX) or u (PanY) so that the pan value becomes v.
// False (nothing moved) for a degenerate view or a value that is not finite;
// *changed tells whether anything moved.
bool applyPanX(ViewVec* eye, ViewVec* vrp, const ViewVec& up, double v, bool* changed = nullptr);
bool applyPanY(ViewVec* eye, ViewVec* vrp, const ViewVec& up, double v, bool* changed = nullptr);

// ---- pending viewing record ----

// Values written before a view exists; the view reset takes them over.
struct PendingViewing {
    enum : uint32_t { kVrpGiven = 1, kEyeGiven = 2, kPanXGiven = 4, kPanYGiven = 8 };
    float zoom = 1.0f, panX = 0, panY = 0;
    float phi = 225.0f, psi = 30.0f;  // degrees
    float vrp[3] = {0, 0, 0}, eye[3] = {0, 0, 0};
    uint32_t flags = 0;
};
// A camera property put (VRPx..EyeZ as axis 0..5) into the record.
void pendingSetCameraValue(PendingViewing& p, int axis, float v);
// A camera property get from the record (0 for axes outside 0..5).
float pendingCameraValue(const PendingViewing& p, int axis);

// ---- predefined viewings ----

constexpr size_t kPredefinedViewingSize = 32;
// Record id of an array of count 32-byte records (VRP, eye, tangent as floats,
// parallel as a 32-bit flag) of size bytes. False for an id outside the
// records that are really there.
bool predefinedViewingAt(const uint8_t* records, size_t size, int32_t count, int32_t id, Viewing* out);

// ---- WalkThroughStep ----

struct WalkMotion {
    enum class Kind { Turn, Forward, Lift };
    Kind kind;
    double amount;  // Turn: degrees; Forward: speed factor (negative backward); Lift: z change
};
// The motions of one step in direction dir (0 left .. 7 left-back, 8 lift up,
// 9 lift down), in order; none for other directions.
std::vector<WalkMotion> walkThroughMotions(int32_t dir, double howFar);

}  // namespace qivctl
