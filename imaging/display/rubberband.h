// The selection rubber band of the image display control: its far corner keeps the
// control's aspect ratio and lies in the quadrant of the mouse.
#pragma once
#include "displayview.h"

namespace imaging {

class RubberBand {
public:
    bool active() const { return active_; }
    Point start() const { return start_; }
    Point end() const { return end_; }

    // A press of the band's button at `at`.
    void begin(Point at);
    // The mouse at `at` in a control of `control`'s size: the far corner lies at the
    // mouse's horizontal distance from the start, and at that distance times height /
    // width vertically, on the mouse's side of the start on each axis. False when no
    // band is active.
    bool move(Point at, Size control);
    // The release: the band ends; its corners as last moved, left and top the smaller.
    // False when no band was active.
    bool finish(Rect& corners);
    // The band's outline (normalised), as it is drawn.
    Rect outline() const;

private:
    bool active_ = false;
    Point start_{}, end_{};
};

}  // namespace imaging
