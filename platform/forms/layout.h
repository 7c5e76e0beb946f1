#pragma once
// Layout arithmetic of controls inside their parent: alignment to the
// parent's edges and anchoring to its sides when it is resized.
#include <cstdint>
#include <vector>

namespace forms {

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
    static Rect Bounds(int x, int y, int w, int h) { return {x, y, x + w, y + h}; }
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

enum class Align { None, Top, Bottom, Left, Right, Client };

using Anchors = unsigned;
constexpr Anchors akLeft = 1, akTop = 2, akRight = 4, akBottom = 8;
constexpr Anchors kDefaultAnchors = akLeft | akTop;

struct AlignItem {
    Rect bounds;  // in, and out for aligned items
    Align align = Align::None;
    bool visible = true;
};

// Places the visible aligned items in the client rectangle: top items from
// the top down, then bottom items from the bottom up, then left and right
// items in the room between, then client items fill what is left. Items of
// one alignment keep the order of their current positions.
void AlignItems(const Rect& client, std::vector<AlignItem>& items);

// Bounds of an unaligned control after its parent's client size changed
// from (oldW, oldH) to (newW, newH): a side anchored to the right or bottom
// keeps its distance from that side; anchored to both sides the control
// stretches; anchored to neither it keeps its centre in proportion.
Rect AnchorBounds(const Rect& bounds, Anchors anchors, int oldW, int oldH, int newW, int newH);

// The position that centres a size w x h in an area.
Rect CentreIn(const Rect& area, int w, int h);

}  // namespace forms
