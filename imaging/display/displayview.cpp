#include "displayview.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace imaging {

namespace {

int roundInt(double v) { return int(std::lround(v)); }

// One axis of the zoomed drawing: [source start, length) and [dest start, length).
struct Axis {
    int srcStart = 0, srcLength = 0, destStart = 0, destLength = 0;
};

Axis zoomedAxis(int picture, int area, int origin, double zoom, bool center) {
    Axis a;
    if (picture <= 0 || area <= 0) return a;
    const int zoomed = roundInt(picture * zoom);
    if (zoomed > area) {
        a.srcStart = std::clamp(origin, 0, picture - 1);
        const int seen = int(std::ceil(area / zoom));
        a.srcLength = std::max(1, std::min(picture - a.srcStart, seen));
        a.destLength = roundInt(a.srcLength * zoom);
    } else {
        a.srcLength = picture;
        a.destLength = zoomed;
        a.destStart = center ? (area - zoomed) / 2 : 0;
    }
    return a;
}

// The origin on one axis after the bars went: moved back by the band the picture leaves.
int backOverBand(int origin, int picture, int control, double zoom) {
    const double uncovered = control - (picture - origin) * zoom;
    if (uncovered <= 0) return origin;
    return std::max(0, origin - int(std::ceil(uncovered / zoom)));
}

int clampAxis(int origin, int picture, int visible) {
    const int most = picture - visible;
    return most <= 0 ? 0 : std::clamp(origin, 0, most);
}

}  // namespace

bool RatioZoom(Size picture, Size control, double& zoom) {
    if (picture.width <= 0 || picture.height <= 0 || control.width <= 0 || control.height <= 0) return false;
    zoom = std::min(double(control.width) / picture.width, double(control.height) / picture.height);
    return true;
}

Point CentreOffset(Size picture, Size control) {
    return {(control.width - picture.width) / 2, (control.height - picture.height) / 2};
}

std::vector<Point> TilePositions(Size picture, Size control) {
    std::vector<Point> out;
    if (picture.width <= 0 || picture.height <= 0 || control.width <= 0 || control.height <= 0) return out;
    for (int64_t y = 0; y < control.height; y += picture.height)
        for (int64_t x = 0; x < control.width; x += picture.width) out.push_back({int(x), int(y)});
    return out;
}

std::vector<Rect> UncoveredBands(const Rect& client, const Rect& picture) {
    std::vector<Rect> out;
    if (client.Width() <= 0 || client.Height() <= 0) return out;
    const Rect in{std::max(client.left, picture.left), std::max(client.top, picture.top),
                  std::min(client.right, picture.right), std::min(client.bottom, picture.bottom)};
    if (in.Width() <= 0 || in.Height() <= 0) {
        out.push_back(client);
        return out;
    }
    if (in.top > client.top) out.push_back({client.left, client.top, client.right, in.top});
    if (in.bottom < client.bottom) out.push_back({client.left, in.bottom, client.right, client.bottom});
    if (in.left > client.left) out.push_back({client.left, in.top, in.left, in.bottom});
    if (in.right < client.right) out.push_back({in.right, in.top, client.right, in.bottom});
    return out;
}

void DisplayView::reset() {
    zoom_ = 1.0;
    origin_ = {};
    savedOrigin_ = {};
}

void DisplayView::fitRatio(Size picture, Size control) {
    double z;
    if (RatioZoom(picture, control, z)) zoom_ = z;
}

void DisplayView::ratioOn(Size picture, Size control) {
    savedOrigin_ = origin_;
    savedZoom_ = zoom_;
    origin_ = {};
    fitRatio(picture, control);
}

void DisplayView::ratioOff() {
    origin_ = savedOrigin_;
    zoom_ = savedZoom_;
}

bool DisplayView::largerThan(Size picture, Size control) const {
    return roundInt(picture.width * zoom_) > control.width || roundInt(picture.height * zoom_) > control.height;
}

ScrollLayout DisplayView::scrollLayout(Size picture, Size control, const DisplayOptions& o, bool isBitmap) const {
    ScrollLayout l;
    l.shown = o.scrolling && o.showScrollbars && isBitmap && !o.stretch && !o.stretchRatio &&
              largerThan(picture, control);
    if (!l.shown) return l;
    const int w = control.width, h = control.height, bar = o.scrollbarWidth;
    l.vertical = {Rect::Bounds(w - bar, 1, bar, h - bar - 1), true};
    l.horizontal = {Rect::Bounds(1, h - bar, w - bar - 1, bar), true};
    l.corner = {Rect::Bounds(w - bar, h - bar, bar, bar), true};
    l.hMax = std::max(0, roundInt(picture.width * zoom_ - w + bar));
    l.hPos = l.hMax ? std::min(roundInt(origin_.x * zoom_), l.hMax) : 0;
    l.vMax = std::max(0, roundInt(picture.height * zoom_ - h + bar));
    l.vPos = l.vMax ? std::min(roundInt(origin_.y * zoom_), l.vMax) : 0;
    return l;
}

void DisplayView::horizontalBarMoved(int position) { origin_.x = roundInt(position / zoom_); }
void DisplayView::verticalBarMoved(int position) { origin_.y = roundInt(position / zoom_); }

void DisplayView::scrollbarsHidden(Size picture, Size control) {
    origin_.x = backOverBand(origin_.x, picture.width, control.width, zoom_);
    origin_.y = backOverBand(origin_.y, picture.height, control.height, zoom_);
}

Size DisplayView::drawArea(Size control, const DisplayOptions& o, bool barsShown) const {
    const int less = barsShown && o.showScrollbars ? o.scrollbarWidth : 0;
    return {std::max(0, control.width - less), std::max(0, control.height - less)};
}

Size DisplayView::visibleSize(Size area) const {
    return {int(std::floor(area.width / zoom_)), int(std::floor(area.height / zoom_))};
}

void DisplayView::clampOrigin(Size picture, Size area) {
    const Size seen = visibleSize(area);
    origin_ = {clampAxis(origin_.x, picture.width, seen.width), clampAxis(origin_.y, picture.height, seen.height)};
}

void DisplayView::pan(Point last, Point current, Size picture, Size area) {
    auto step = [this](int from, int to) {
        int d = roundInt((from - to) / zoom_);
        if (d == 0 && from != to) d = from > to ? 1 : -1;
        return d;
    };
    origin_.x += step(last.x, current.x);
    origin_.y += step(last.y, current.y);
    clampOrigin(picture, area);
}

DisplayView::Placement DisplayView::zoomedPlacement(Size picture, Size area, bool center) const {
    const Axis x = zoomedAxis(picture.width, area.width, origin_.x, zoom_, center);
    const Axis y = zoomedAxis(picture.height, area.height, origin_.y, zoom_, center);
    return {Rect::Bounds(x.srcStart, y.srcStart, x.srcLength, y.srcLength),
            Rect::Bounds(x.destStart, y.destStart, x.destLength, y.destLength)};
}

}  // namespace imaging
