// The view arithmetic of the image display control: zoom and origin, the ratio fit, the
// scroll-bar layout, panning with the grab hand, and where each paint mode puts the
// picture (centred, zoomed with its visible part, tiled) and what it leaves uncovered.
#pragma once
#include <vector>

#include "forms/layout.h"

namespace imaging {

using forms::Rect;

struct Size {
    int width = 0, height = 0;
    bool operator==(const Size&) const = default;
};

struct Point {
    int x = 0, y = 0;
    bool operator==(const Point&) const = default;
};

// The layout switches of the control that the arithmetic depends on.
struct DisplayOptions {
    bool center = false;
    bool stretch = false;
    bool stretchRatio = false;
    bool scrolling = true;
    bool showScrollbars = true;
    int scrollbarWidth = 12;
};

// The zoom that fits the picture into the control: the smaller of the two side ratios.
// False (nothing to fit) for an empty picture or control.
bool RatioZoom(Size picture, Size control, double& zoom);

// Half the size difference on each axis, rounded towards zero (negative when the picture
// is the larger).
Point CentreOffset(Size picture, Size control);

// Top-left corners of the copies that cover the control from (0, 0) in steps of the
// picture's size; none for an empty picture or control.
std::vector<Point> TilePositions(Size picture, Size control);

// The client rectangle less the picture's: the bands to fill with the control's colour
// (above, below, left, right of the part of the picture inside the client).
std::vector<Rect> UncoveredBands(const Rect& client, const Rect& picture);

// A bar's place: hidden bars sit at (-1, -1) with size -1.
struct BarPlace {
    Rect bounds{-1, -1, -2, -2};
    bool shown = false;
};

struct ScrollLayout {
    bool shown = false;  // both bars and the corner panel
    BarPlace vertical, horizontal, corner;
    int hMax = 0, hPos = 0, vMax = 0, vPos = 0;
};

// The view state: zoom, origin (the picture point at the top-left) and what the ratio
// fit saved.
class DisplayView {
public:
    double zoom() const { return zoom_; }
    Point origin() const { return origin_; }
    void setOrigin(Point p) { origin_ = p; }
    void setZoom(double z) {
        if (z > 0) zoom_ = z;
    }

    // A new picture: zoom 1, origin and saved origin (0, 0).
    void reset();
    // Ratio fit: the zoom of RatioZoom, unchanged when there is nothing to fit.
    void fitRatio(Size picture, Size control);
    // StretchRatio switched on: origin and zoom saved, origin (0, 0), the ratio fit;
    // switched off: both restored.
    void ratioOn(Size picture, Size control);
    void ratioOff();

    // Whether the bars show, where, and their ranges and positions.
    ScrollLayout scrollLayout(Size picture, Size control, const DisplayOptions& o, bool isBitmap) const;
    // A bar moved to `position`: the origin on its axis.
    void horizontalBarMoved(int position);
    void verticalBarMoved(int position);
    // ShowScrollbars switched off: the origin moves back so that the picture reaches the
    // edges where the bars were (never below 0).
    void scrollbarsHidden(Size picture, Size control);

    // The picture larger than the control at this zoom on either axis.
    bool largerThan(Size picture, Size control) const;
    // The part of the control the zoomed picture is drawn in: the control less the bars
    // when they show.
    Size drawArea(Size control, const DisplayOptions& o, bool barsShown) const;
    // Picture pixels seen on each axis of the area.
    Size visibleSize(Size area) const;
    // A pan step from mouse position `last` to `current` (device pixels): the origin
    // moves by the distance over the zoom, at least one pixel on an axis the mouse moved
    // along, and stays between 0 and the picture size less the visible size.
    void pan(Point last, Point current, Size picture, Size area);
    // The origin kept within the picture for the area.
    void clampOrigin(Size picture, Size area);

    // Zoomed drawing: the source rectangle in picture pixels and the destination in the
    // client. An axis on which the zoomed picture exceeds the area shows the visible part
    // from the origin; a smaller one shows the whole picture, centred with `center`.
    struct Placement {
        Rect source, dest;
    };
    Placement zoomedPlacement(Size picture, Size area, bool center) const;

private:
    double zoom_ = 1.0;
    Point origin_{};
    double savedZoom_ = 1.0;
    Point savedOrigin_{};
};

}  // namespace imaging
