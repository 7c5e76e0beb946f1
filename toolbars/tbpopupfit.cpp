#include "tbpopupfit.h"

#include <algorithm>

namespace toolbars {

namespace {

bool overlaps(const Rect& a, const Rect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// How many of the view's items a popup at (x, y) covers.
int covered(const TBPopupPlacement& p, int x, int y) {
    const Rect r = Rect::Bounds(x, y, p.width, p.height);
    return int(std::count_if(p.viewItems.begin(), p.viewItems.end(), [&](const Rect& i) { return overlaps(r, i); }));
}

}  // namespace

void FitPopupPosition(TBPopupPlacement& p) {
    const Rect& m = p.monitor;
    const Rect& it = p.item;
    const int w = p.width, h = p.height;
    const bool sideways = p.origin == TBPopupOrigin::Sideways;
    auto overlapsItem = [&] { return overlaps(Rect::Bounds(p.x, p.y, w, h), it); };

    // Above the item when it does not fit below and fits above.
    if (p.origin != TBPopupOrigin::VerticalToolbar) {
        if (p.y + h > m.bottom) {
            const int above = (sideways ? it.bottom + p.borderY : it.top) - h;
            if (above >= m.top) p.y = above;
        }
        p.y = std::max(std::min(p.y, m.bottom - h), m.top);
    }

    p.openedLeft = false;
    if (sideways) {
        const bool noRoomRight = p.x + w > m.right;
        if (noRoomRight || p.parentOpenedLeft) {
            const int left = it.left + p.borderX - w;
            // A leftward run inherited from the parent turns right again
            // where the left has no room.
            if (noRoomRight || left >= m.left) {
                p.x = left;
                p.openedLeft = true;
            }
        }
        p.x = std::max(p.x, m.left);
    } else {
        const bool atPoint = p.origin == TBPopupOrigin::AtPoint;
        if (atPoint && p.alignment == 1 && p.x < m.left) p.x += w;
        if (p.x + w > m.right) p.x = (atPoint && p.alignment == 0 ? p.x : m.right) - w;
        p.x = std::max(p.x, m.left);
        if (p.origin == TBPopupOrigin::VerticalToolbar) {
            if (it.right + w <= m.right &&
                (covered(p, it.right, p.y) < covered(p, p.x, p.y) || overlapsItem()))
                p.x = it.right;
            if (overlapsItem()) {
                p.y = it.bottom + h > m.bottom ? it.top - h : it.bottom;
                p.y = std::max(p.y, m.top);
            }
        } else if (!atPoint) {
            const int above = it.top - h;
            if (above >= m.top && above + h <= m.bottom &&
                (covered(p, p.x, above) < covered(p, p.x, p.y) || overlapsItem()))
                p.y = above;
            if (overlapsItem()) {
                p.x = it.right + w > m.right ? it.left - w : it.right;
                p.x = std::max(p.x, m.left);
            }
        }
    }

    // The edges the animation slides in from.
    p.directions = 0;
    if (sideways) {
        p.directions = 2 * p.x + w < it.left + it.right ? tbadFromRight : tbadFromLeft;
    } else {
        if (p.y >= it.bottom) p.directions |= tbadFromTop;
        if (p.y + h <= it.top) p.directions |= tbadFromBottom;
        if (p.x >= it.right) p.directions |= tbadFromLeft;
        if (p.x + w <= it.left) p.directions |= tbadFromRight;
    }
}

}  // namespace toolbars
