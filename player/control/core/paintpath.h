// Decisions and bookkeeping of the control's paint path: what one paint does, which
// rectangles a software frame copies to the window, the frame statistics line, and whether
// the next animation tick is wanted. The window layer does the drawing and copying.
#pragma once
#include <cstdint>
#include <string>

#include "render/updregion.h"

namespace qivctl {

constexpr int32_t kRendererHardware = 1;
constexpr int32_t kRendererSoftware = 2;
constexpr int32_t kModeRayTrace = 127;

struct PaintState {
    bool frameValid = false;
    bool hasRoots = false;        // a scene root list is set
    bool hasFrameBuffer = false;
    bool showAgain = false;       // copy the frame buffer again (after a ray-traced frame)
    int32_t rendererKind = kRendererSoftware;
    bool rayTraceRequested = false;  // the mode of the frame is 127
    bool hardwareWindow = false;     // the hardware child window exists
    bool controlWindow = false;      // the control window exists
    bool hardwareDevice = false;     // the process has a hardware device
    bool multiView = false;
};

enum class PaintAction {
    CopyAgain,   // copy the frame buffer to the window again
    Background,  // nothing to copy: paint the background (or the idle panel)
    Nothing,     // the hardware window shows the valid frame
    RayTrace,    // one ray-traced frame
    Render,      // draw a new frame
};

struct PaintPlan {
    PaintAction action = PaintAction::Nothing;
    bool hardware = false;              // the frame is drawn by the device
    bool createHardwareWindow = false;
    bool showHardwareWindow = false;
    bool lockWholeFrame = false;        // the render lock covers clear, render, filter and output
    bool clearFrame = false;            // clear the frame buffer or back buffer first
    bool countsForStatistics = false;
};

// What one paint does. A frame buffer is copied only when one exists; a control without a
// root list and without a frame to copy paints its background.
PaintPlan planPaint(const PaintState& state);

// The two update regions of a software frame. The renderer records this frame's changed
// rectangles in current(); finishFrame gives the region to copy: those rectangles and the
// previous frame's own (or the update rectangle when no frame was shown since the set-up),
// so what the last frame drew is cleared where it no longer is; the update rectangle is
// added as well when the system exposed part of the window (its content is gone there). Each frame's own rectangles
// become the next one's previous; copies do not accumulate over frames.
class PaintRegions {
public:
    PaintRegions() = default;
    PaintRegions(const PaintRegions&) = delete;
    PaintRegions& operator=(const PaintRegions&) = delete;
    ~PaintRegions();

    bool create();  // allocates the regions; false when out of memory
    void free();
    bool exists() const { return own_ != nullptr; }

    UpdateRegion* current() { return own_; }
    void beginFrame();
    const UpdateRegion* finishFrame(const IRect& updateRect, bool previousShown, bool exposed = false);

private:
    UpdateRegion* own_ = nullptr;
    UpdateRegion* previous_ = nullptr;
    UpdateRegion* copy_ = nullptr;
};

// Frame statistics of one control.
struct FrameStats {
    bool on = false;
    uint32_t startTick = 0;
    uint32_t frames = 0;
    uint32_t triangles = 0;
};
// Counts one frame at tick now. After more than 2500 ms it gives the line
// "<triangles> Triangles, <fps> FPS" (two decimals, '.' in every locale), restarts the count
// and answers true.
bool frameStatsCount(FrameStats& stats, uint32_t now, std::string* line);

// Renderer kind of a control: a set kind stays; an unset one (0) becomes the device when the
// process has one and the user allows 3D hardware, else software.
int32_t rendererKindFor(int32_t kind, bool hardwareDevice, bool use3DHardware);
// After a display change the back end restarts; a control whose kind was set stays in
// software from then on.
inline int32_t rendererKindAfterRestart(int32_t kind) { return kind ? kRendererSoftware : 0; }

// Whether the edge filter runs on this frame: only when nothing moves.
struct FilterState {
    bool multiView = false;
    bool mouseCaptured = false;      // some window has the mouse capture
    bool animationRunning = false;
    double spinPhi = 0, spinPsi = 0;
    bool dragging = false;
    bool filterOn = false;           // the Filter property
    int32_t displayMode = 0;
    bool overlayShown = false;
};
bool filterRuns(const FilterState& s);

// The display's depth and size as the last control saw them: a display change with the same
// values restarts nothing. Process-wide.
// True when the values differ from the last ones (which they then become).
bool displayChanged(uint32_t depth, uint32_t width, uint32_t height);
void displayChangeReset();

// After a frame drawn while something moves: ask for the next tick (always with the device,
// in software only when the drawn rectangle is visible).
inline bool wantNextTick(bool somethingMoves, bool hardware, bool rectVisible) {
    return somethingMoves && (hardware || rectVisible);
}

}  // namespace qivctl
