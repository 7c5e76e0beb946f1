#include "paintpath.h"

#include <cmath>
#include <mutex>
#include <utility>

namespace qivctl {

PaintPlan planPaint(const PaintState& s) {
    PaintPlan p;
    if (s.frameValid || !s.hasRoots) {
        if (s.hasFrameBuffer && (s.rendererKind == kRendererSoftware || s.showAgain)) {
            p.action = PaintAction::CopyAgain;
            p.countsForStatistics = true;
        } else if (!s.hasRoots) {
            p.action = PaintAction::Background;
        } else {
            p.action = PaintAction::Nothing;
            p.countsForStatistics = s.hasFrameBuffer;
        }
        return p;
    }
    if (s.rayTraceRequested) {
        p.action = s.hasFrameBuffer ? PaintAction::RayTrace : PaintAction::Background;
        return p;
    }
    if (!s.hasFrameBuffer) {
        p.action = PaintAction::Background;
        return p;
    }
    p.action = PaintAction::Render;
    p.hardware = s.rendererKind == kRendererHardware;
    if (p.hardware) {
        if (s.hardwareWindow) {
            p.showHardwareWindow = s.showAgain;
        } else if (s.controlWindow) {
            p.createHardwareWindow = true;
        } else {
            p.hardware = false;  // no window to attach the device to: this frame in software
        }
    }
    p.lockWholeFrame = s.hardwareDevice;
    p.clearFrame = !(s.multiView && !p.hardware);
    p.countsForStatistics = true;
    return p;
}

PaintRegions::~PaintRegions() { free(); }

bool PaintRegions::create() {
    free();
    if (rgnCreate(&own_) && rgnCreate(&previous_) && rgnCreate(&copy_)) return true;
    free();
    return false;
}

void PaintRegions::free() {
    if (own_) rgnFree(&own_);
    if (previous_) rgnFree(&previous_);
    if (copy_) rgnFree(&copy_);
    own_ = previous_ = copy_ = nullptr;
}

void PaintRegions::beginFrame() {
    if (own_) rgnClear(own_);
}

const UpdateRegion* PaintRegions::finishFrame(const IRect& updateRect, bool previousShown, bool exposed) {
    if (!own_) return nullptr;
    rgnClear(copy_);
    rgnAddRegion(own_, copy_);
    if (previousShown) rgnAddRegion(previous_, copy_);
    if (!previousShown || exposed) rgnAddRect(&updateRect, copy_);
    std::swap(own_, previous_);
    return copy_;
}

bool frameStatsCount(FrameStats& s, uint32_t now, std::string* line) {
    ++s.frames;
    uint32_t elapsed = now - s.startTick;
    if (elapsed <= 2500) return false;
    double fps = double(s.frames) / double(elapsed) * 1000.0;
    uint64_t hundredths = uint64_t(std::llround(fps * 100.0));
    std::string frac = std::to_string(hundredths % 100);
    if (frac.size() < 2) frac.insert(0, "0");
    if (line) *line = std::to_string(s.triangles) + " Triangles, " + std::to_string(hundredths / 100) + "." + frac + " FPS";
    s.frames = 0;
    s.startTick = now;
    return true;
}

int32_t rendererKindFor(int32_t kind, bool hardwareDevice, bool use3DHardware) {
    if (kind) return kind;
    return hardwareDevice && use3DHardware ? kRendererHardware : kRendererSoftware;
}

bool filterRuns(const FilterState& s) {
    return !s.multiView && !s.mouseCaptured && !s.animationRunning && s.spinPhi == 0 && s.spinPsi == 0 &&
           !s.dragging && s.filterOn && s.displayMode >= 1 && s.displayMode <= 3 && !s.overlayShown;
}

namespace {
struct LastDisplay {
    std::mutex lock;
    bool known = false;
    uint32_t depth = 0, width = 0, height = 0;
};
LastDisplay& lastDisplay() {
    static LastDisplay d;
    return d;
}
}  // namespace

bool displayChanged(uint32_t depth, uint32_t width, uint32_t height) {
    LastDisplay& d = lastDisplay();
    std::lock_guard<std::mutex> g(d.lock);
    if (d.known && d.depth == depth && d.width == width && d.height == height) return false;
    d.known = true;
    d.depth = depth;
    d.width = width;
    d.height = height;
    return true;
}

void displayChangeReset() {
    LastDisplay& d = lastDisplay();
    std::lock_guard<std::mutex> g(d.lock);
    d.known = false;
}

}  // namespace qivctl
