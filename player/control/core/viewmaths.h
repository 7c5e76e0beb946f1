// View maths of the control window: scroll bars <-> pan, track bar <-> animation time,
// angle wrapping and the animation step that runs before each frame.
// Pure functions; the window layer reads and writes the bars and properties.
#pragma once
#include <cstdint>

namespace qivctl {

// One scroll bar's state as the window layer sets and reads it (SCROLLINFO's range,
// page and position).
struct ScrollBarState {
    int32_t minimum = 0;
    int32_t maximum = 0;
    int32_t page = 0;
    int32_t position = 0;
};

// Scroll request codes, numbered as the window messages number them.
enum ScrollCode : int32_t {
    ScrollLineUp = 0,
    ScrollLineDown = 1,
    ScrollPageUp = 2,
    ScrollPageDown = 3,
    ScrollThumbPosition = 4,
    ScrollThumbTrack = 5,
    ScrollTop = 6,
    ScrollBottom = 7,
    ScrollEnd = 8,
};

// Bar state for a pan value along one axis: range 0..frameExtent,
// page = frame x view / scene + 1, position = ((view / 2 + offset) / scene + 0.5) x frame + 1 - page,
// where offset is -PanX for the horizontal bar and PanY for the vertical one, and the vertical
// view extent is taken as its magnitude. False (bar left alone) for a zero scene extent.
// The pan-from-bar functions below are their exact inverses: a bar position turned into a
// pan value reads back unchanged.
bool horizontalBarFromPan(int32_t frameWidth, double viewWidth, double sceneWidth, double panX,
                          ScrollBarState* out);
bool verticalBarFromPan(int32_t frameHeight, double viewHeight, double sceneHeight, double panY,
                        ScrollBarState* out);

// New position of a bar for a scroll code (thumb: the position the message carries).
// The result stays within 0 and the largest position the page allows (maximum - page + 1).
int32_t scrollPositionForCode(const ScrollBarState& bar, int32_t code, int32_t thumbPosition);

// Pan values that put the bars at their state (the inverse of the two functions above).
// A bar with maximum 0 or a zero scene extent gives 0.
double panXFromHorizontalBar(const ScrollBarState& bar, double viewWidth, double sceneWidth);
double panYFromVerticalBar(const ScrollBarState& bar, double viewHeight, double sceneHeight);

// Track bar (0..100) <-> animation time in [start, end].
double trackBarTime(double start, double end, int32_t position);
int32_t trackBarPosition(double start, double end, double time);

// Angle reduced modulo 2 pi, keeping its sign (|result| < 2 pi).
double wrapAngle(double radians);

// Animation clock of one object slot.
struct AnimClock {
    double start = 0;        // range of the object's animation
    double end = 0;
    double speed = 1;        // user speed factor
    double rate = 1;         // frame-rate factor of the object
    uint32_t startTick = 0;  // tick when the time was at start
    bool autoRepeat = false;
    double time = 0;
};
enum class AnimStepResult { Running, Repeated, Finished };
// time = start + speed x rate x (now - startTick) x 0.001. At the end: with auto-repeat the
// clock restarts at start (startTick = now), otherwise time = end and Finished.
AnimStepResult animStep(AnimClock& clock, uint32_t now);

}  // namespace qivctl
