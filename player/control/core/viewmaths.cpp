#include "viewmaths.h"

#include <algorithm>
#include <cmath>

namespace qivctl {

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

// Bar units of page + position - 1, which both directions share.
bool barFromOffset(int32_t frame, double view, double scene, double offset, ScrollBarState* out) {
    if (!out || scene == 0 || !std::isfinite(scene) || !std::isfinite(view) ||
        !std::isfinite(offset) || frame < 0)
        return false;
    double page = double(frame) * (view / scene) + 1;
    double end = ((view * 0.5 + offset) / scene + 0.5) * double(frame);  // page + position - 1
    auto toInt = [](double v) {
        if (!(v > -2e9)) return int32_t(-2000000000);
        if (!(v < 2e9)) return int32_t(2000000000);
        return int32_t(std::lround(v));
    };
    out->minimum = 0;
    out->maximum = frame;
    out->page = std::max<int32_t>(0, toInt(page));
    out->position = toInt(end) + 1 - out->page;
    return true;
}

double offsetFromBar(const ScrollBarState& bar, double view, double scene) {
    if (bar.maximum <= 0 || scene == 0 || !std::isfinite(scene)) return 0;
    double end = double(bar.page) + double(bar.position) - 1;
    return (end / double(bar.maximum) - 0.5) * scene - view * 0.5;
}

}  // namespace

bool horizontalBarFromPan(int32_t frameWidth, double viewWidth, double sceneWidth, double panX,
                          ScrollBarState* out) {
    return barFromOffset(frameWidth, viewWidth, sceneWidth, -panX, out);
}

bool verticalBarFromPan(int32_t frameHeight, double viewHeight, double sceneHeight, double panY,
                        ScrollBarState* out) {
    return barFromOffset(frameHeight, std::fabs(viewHeight), sceneHeight, panY, out);
}

double panXFromHorizontalBar(const ScrollBarState& bar, double viewWidth, double sceneWidth) {
    return -offsetFromBar(bar, viewWidth, sceneWidth);
}

double panYFromVerticalBar(const ScrollBarState& bar, double viewHeight, double sceneHeight) {
    return offsetFromBar(bar, std::fabs(viewHeight), sceneHeight);
}

int32_t scrollPositionForCode(const ScrollBarState& bar, int32_t code, int32_t thumbPosition) {
    int64_t lo = bar.minimum;
    int64_t hi = int64_t(bar.maximum) - std::max<int64_t>(bar.page, 1) + 1;
    if (hi < lo) hi = lo;
    int64_t p = bar.position;
    switch (code) {
        case ScrollLineUp: p -= 1; break;
        case ScrollLineDown: p += 1; break;
        case ScrollPageUp: p -= bar.page; break;
        case ScrollPageDown: p += bar.page; break;
        case ScrollThumbPosition:
        case ScrollThumbTrack: p = thumbPosition; break;
        case ScrollTop: p = lo; break;
        case ScrollBottom: p = hi; break;
        default: return bar.position;
    }
    return int32_t(std::clamp(p, lo, hi));
}

double trackBarTime(double start, double end, int32_t position) {
    position = std::clamp<int32_t>(position, 0, 100);
    return start + (end - start) * double(position) * 0.01;
}

int32_t trackBarPosition(double start, double end, double time) {
    double span = end - start;
    if (!(span > 0) || !std::isfinite(time)) return 0;
    double p = (time - start) / span * 100.0;
    if (!(p > 0)) return 0;
    if (p >= 100) return 100;
    return int32_t(std::lround(p));
}

double wrapAngle(double radians) {
    if (!std::isfinite(radians)) return 0;
    return std::fmod(radians, kTwoPi);
}

AnimStepResult animStep(AnimClock& clock, uint32_t now) {
    double elapsed = double(uint32_t(now - clock.startTick)) * 0.001;
    clock.time = clock.start + clock.speed * clock.rate * elapsed;
    if (clock.time < clock.end) return AnimStepResult::Running;
    if (clock.autoRepeat) {
        clock.startTick = now;
        clock.time = clock.start;
        return AnimStepResult::Repeated;
    }
    clock.time = clock.end;
    return AnimStepResult::Finished;
}

}  // namespace qivctl
