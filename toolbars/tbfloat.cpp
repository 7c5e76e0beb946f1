#include "tbfloat.h"

#include <algorithm>

namespace toolbars {

int DragHandleSize(TTBDragHandleStyle style, bool closeButtonWhenDocked) {
    if (closeButtonWhenDocked) return 14;
    return style == dhDouble ? 9 : style == dhSingle ? 6 : 0;
}

int DragHandleGripOffset(TTBDragHandleStyle style, bool closeButtonWhenDocked) {
    static const int without[] = {2, 0, 1}, with[] = {3, 0, 5};
    return (closeButtonWhenDocked ? with : without)[style] + 2;
}

Rect FloatingCaptionRect(const TBFloatingFrame& f, int width) {
    if (f.captionHeight <= 0) return {};
    Rect r{f.border, f.border, width - f.border, f.border + f.captionHeight - 1};
    if (f.closeButton) r.right -= f.captionHeight;
    return r;
}

Rect FloatingCloseButtonRect(const TBFloatingFrame& f, int width) {
    if (f.captionHeight <= 0 || !f.closeButton) return {};
    const int right = width - f.border;
    return {right - (f.captionHeight - 1), f.border, right, f.border + f.captionHeight - 1};
}

int FloatingHitTest(const TBFloatingFrame& f, int width, int height, TBPoint p) {
    if (f.captionHeight > 0) {
        if (FloatingCloseButtonRect(f, width).Contains(p.x, p.y)) return kHitCloseButton;
        const Rect band{f.border, f.border, width - f.border, f.border + f.captionHeight - 1};
        if (band.Contains(p.x, p.y)) return kHitCaption;
    }
    if (!f.resizable) return kHitNone;
    const bool left = p.x < f.border, right = p.x >= width - f.border;
    const bool top = p.y < f.border, bottom = p.y >= height - f.border;
    if (!f.eightCorners) {
        if (top) return kHitTop;
        if (bottom) return kHitBottom;
        if (left) return kHitLeft;
        if (right) return kHitRight;
        return kHitNone;
    }
    // Near a corner along a side: the corner.
    const int corner = f.captionHeight + f.border - 1;
    const bool nearLeft = p.x < corner, nearRight = p.x >= width - corner;
    const bool nearTop = p.y < corner, nearBottom = p.y >= height - corner;
    if (top || bottom) {
        if (nearLeft) return top ? kHitTopLeft : kHitBottomLeft;
        if (nearRight) return top ? kHitTopRight : kHitBottomRight;
        return top ? kHitTop : kHitBottom;
    }
    if (left || right) {
        if (nearTop) return left ? kHitTopLeft : kHitTopRight;
        if (nearBottom) return left ? kHitBottomLeft : kHitBottomRight;
        return left ? kHitLeft : kHitRight;
    }
    return kHitNone;
}

Rect ResizeRect(const Rect& start, int hitCode, int dx, int dy, TBPoint minSize, TBPoint maxSize) {
    const int d = hitCode - kHitLeft;
    if (d < 0 || d > 7) return start;
    // 0 left, 1 right, 2 top, 3 top-left, 4 top-right, 5 bottom, 6 bottom-left, 7 bottom-right.
    const bool leftEdge = d == 0 || d == 3 || d == 6, rightEdge = d == 1 || d == 4 || d == 7;
    const bool topEdge = d >= 2 && d <= 4, bottomEdge = d >= 5;
    Rect r = start;
    if (leftEdge) r.left += dx;
    if (rightEdge) r.right += dx;
    if (topEdge) r.top += dy;
    if (bottomEdge) r.bottom += dy;
    auto limit = [](int& lo, int& hi, bool moveLo, int minimum, int maximum) {
        int size = hi - lo;
        if (size < minimum) size = minimum;
        if (maximum > 0 && size > maximum) size = maximum;
        if (moveLo)
            lo = hi - size;
        else
            hi = lo + size;
    };
    if (leftEdge || rightEdge) limit(r.left, r.right, leftEdge, minSize.x, maxSize.x);
    if (topEdge || bottomEdge) limit(r.top, r.bottom, topEdge, minSize.y, maxSize.y);
    return r;
}

Rect KeepInside(const Rect& r, const Rect& area, bool onlyWhenOutside) {
    if (onlyWhenOutside && r.left < area.right && area.left < r.right && r.top < area.bottom && area.top < r.bottom)
        return r;
    Rect o = r;
    const int w = r.Width(), h = r.Height();
    if (o.right > area.right) o.left = area.right - w;
    if (o.top + h > area.bottom) o.top = area.bottom - h;
    o.left = std::max(o.left, area.left);
    o.top = std::max(o.top, area.top);
    return Rect::Bounds(o.left, o.top, w, h);
}

namespace {
// One axis: the length within the limits and the area (the minimum wins
// over an area smaller than it), then the start moved so that it fits.
void clampAxis(long long start, long long length, int areaLo, int areaHi, int minimum, int maximum, int& outStart,
               int& outLength) {
    const long long areaLen = std::max(0LL, (long long)areaHi - areaLo);
    long long len = length;
    if (maximum > 0) len = std::min<long long>(len, maximum);
    len = std::min(len, std::max<long long>(areaLen, minimum));
    len = std::max<long long>(len, minimum);
    len = std::max(len, 0LL);
    long long s = start;
    if (s + len > areaHi) s = areaHi - len;
    s = std::max<long long>(s, areaLo);
    outStart = int(s);
    outLength = int(len);
}
}  // namespace

Rect ClampPlacement(long long left, long long top, long long width, long long height, const Rect& area,
                    TBPoint minSize, TBPoint maxSize) {
    int x, y, w, h;
    clampAxis(left, width, area.left, area.right, minSize.x, maxSize.x, x, w);
    clampAxis(top, height, area.top, area.bottom, minSize.y, maxSize.y, y, h);
    return Rect::Bounds(x, y, w, h);
}

Rect ClampPlacement(const Rect& r, const Rect& area, TBPoint minSize, TBPoint maxSize) {
    return ClampPlacement(r.left, r.top, (long long)r.right - r.left, (long long)r.bottom - r.top, area, minSize,
                          maxSize);
}

TBPoint ClampSize(long long width, long long height, const Rect& area, TBPoint minSize, TBPoint maxSize) {
    const Rect r = ClampPlacement(area.left, area.top, width, height, area, minSize, maxSize);
    return {r.Width(), r.Height()};
}

}  // namespace toolbars
