#include "tbtoolwin.h"

#include <algorithm>

namespace toolbars {

void TBToolWindowSize::Remember(TBPoint outer, TBPoint frame, bool hasParent) {
    Remembered = hasParent ? TBPoint{outer.x - frame.x, outer.y - frame.y} : outer;
    Remembered.x = std::max(0, Remembered.x);
    Remembered.y = std::max(0, Remembered.y);
}

TBPoint TBToolWindowSize::ForDock(bool docked, bool vertical, bool fullSizeOrStretch) const {
    TBPoint s = Remembered;
    if (docked && fullSizeOrStretch) {
        if (vertical)
            s.y = MinClient.y;
        else
            s.x = MinClient.x;
    }
    return s;
}

TBPoint TBToolWindowSize::Limit(TBPoint c) const {
    auto one = [](int v, int lo, int hi) {
        if (hi > 0) v = std::min(v, hi);
        return std::max(v, lo);
    };
    return {one(c.x, MinClient.x, MaxClient.x), one(c.y, MinClient.y, MaxClient.y)};
}

}  // namespace toolbars
