#include "rubberband.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace imaging {

void RubberBand::begin(Point at) {
    active_ = true;
    start_ = end_ = at;
}

bool RubberBand::move(Point at, Size control) {
    if (!active_) return false;
    const int dx = std::abs(at.x - start_.x);
    // Without a width there is no ratio: the band follows the mouse.
    const int dy = control.width > 0 ? int(std::lround(double(dx) * control.height / control.width))
                                     : std::abs(at.y - start_.y);
    end_ = {at.x >= start_.x ? start_.x + dx : start_.x - dx, at.y >= start_.y ? start_.y + dy : start_.y - dy};
    return true;
}

Rect RubberBand::outline() const {
    return {std::min(start_.x, end_.x), std::min(start_.y, end_.y), std::max(start_.x, end_.x),
            std::max(start_.y, end_.y)};
}

bool RubberBand::finish(Rect& corners) {
    if (!active_) return false;
    active_ = false;
    corners = outline();
    return true;
}

}  // namespace imaging
