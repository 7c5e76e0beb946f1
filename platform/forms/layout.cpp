#include "forms/layout.h"

#include <algorithm>
#include <numeric>

namespace forms {

void AlignItems(const Rect& client, std::vector<AlignItem>& items) {
    Rect room = client;
    auto pass = [&](Align a) {
        std::vector<size_t> order;
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i].visible && items[i].align == a) order.push_back(i);
        std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
            const Rect& p = items[x].bounds;
            const Rect& q = items[y].bounds;
            switch (a) {
            case Align::Top: return p.top < q.top;
            case Align::Bottom: return p.bottom > q.bottom;
            case Align::Left: return p.left < q.left;
            case Align::Right: return p.right > q.right;
            default: return false;
            }
        });
        for (size_t i : order) {
            Rect& b = items[i].bounds;
            const int w = b.Width(), h = b.Height();
            switch (a) {
            case Align::Top:
                b = {room.left, room.top, room.right, room.top + h};
                room.top += h;
                break;
            case Align::Bottom:
                b = {room.left, room.bottom - h, room.right, room.bottom};
                room.bottom -= h;
                break;
            case Align::Left:
                b = {room.left, room.top, room.left + w, room.bottom};
                room.left += w;
                break;
            case Align::Right:
                b = {room.right - w, room.top, room.right, room.bottom};
                room.right -= w;
                break;
            case Align::Client: b = room; break;
            case Align::None: break;
            }
            if (room.bottom < room.top) room.bottom = room.top;
            if (room.right < room.left) room.right = room.left;
        }
    };
    pass(Align::Top);
    pass(Align::Bottom);
    pass(Align::Left);
    pass(Align::Right);
    pass(Align::Client);
}

Rect AnchorBounds(const Rect& b, Anchors anchors, int oldW, int oldH, int newW, int newH) {
    Rect r = b;
    const int dw = newW - oldW, dh = newH - oldH;
    const bool l = anchors & akLeft, rt = anchors & akRight, t = anchors & akTop, bm = anchors & akBottom;
    if (rt && l)
        r.right += dw;
    else if (rt)
        r.left += dw, r.right += dw;
    else if (!l && oldW > 0) {
        const int w = b.Width();
        const int centre = int((int64_t(b.left) * 2 + w) * newW / (int64_t(oldW) * 2));
        r.left = centre - w / 2;
        r.right = r.left + w;
    }
    if (bm && t)
        r.bottom += dh;
    else if (bm)
        r.top += dh, r.bottom += dh;
    else if (!t && oldH > 0) {
        const int h = b.Height();
        const int centre = int((int64_t(b.top) * 2 + h) * newH / (int64_t(oldH) * 2));
        r.top = centre - h / 2;
        r.bottom = r.top + h;
    }
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

Rect CentreIn(const Rect& area, int w, int h) {
    const int x = area.left + (area.Width() - w) / 2;
    const int y = area.top + (area.Height() - h) / 2;
    return Rect::Bounds(x, y, w, h);
}

}  // namespace forms
