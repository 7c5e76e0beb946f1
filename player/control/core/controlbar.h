// Layout of the control window: the view frame and the children along its edges (scroll
// bars, small buttons, animation row, loading panel), and hit testing of a client point.
// Pure computation; the window layer creates the children and moves, shows and enables
// them as the layout says.
#pragma once
#include <cstdint>

namespace qivctl {

// Child window identifiers of the control bar.
enum BarChild : int32_t {
    BarRayTrace = 58000,   // "R"
    BarHScroll = 58001,
    BarVScroll = 58002,
    BarPlus = 58003,       // "+"
    BarAuto = 58004,       // "a"
    BarMinus = 58005,      // "-"
    BarAnimStart = 58006,
    BarAnimStop = 58007,
    BarTrack = 58008,
    BarCancel = 58009,
    BarLink = 1,           // loading panel children without an identifier of their own
    BarProgress = 2,
};

struct BarRect {
    int32_t x = 0, y = 0, w = 0, h = 0;
    bool contains(int32_t px, int32_t py) const { return px >= x && py >= y && px - x < w && py - y < h; }
    bool operator==(const BarRect&) const = default;
};

// System metrics the layout needs (SM_CXVSCROLL, SM_CYHSCROLL, SM_CXHSCROLL, SM_CYVSCROLL).
struct BarMetrics {
    int32_t vScrollWidth = 16;
    int32_t hScrollHeight = 16;
    int32_t hScrollArrowWidth = 16;
    int32_t vScrollArrowHeight = 16;
};

struct BarState {
    bool hideControls = false;
    bool hideScrollBars = false;
    bool hasAnimation = false;       // ObjectHasAnimation
    bool animationRunning = false;   // the current object's animation plays
    bool rayTraceEnabled = false;    // ButtonRayTraceEnabled
    bool loadingPanel = false;       // the loading panel is on
    bool statusText = false;         // a status text is set (progress shown)
    int32_t linkTextWidth = 0;       // size of the link text in the panel's font
    int32_t linkTextHeight = 0;      // (row height of the panel)
};

struct BarItem {
    BarRect rect;
    bool visible = false;
    bool enabled = false;
};

struct BarLayout {
    int32_t frameWidth = 0;   // size of the view frame (the frame buffer), origin 0, 0
    int32_t frameHeight = 0;
    BarItem hScroll, vScroll, rayTrace, plus, autoButton, minus;
    BarItem animStart, animStop, track;
    BarItem panel, link, progress, cancel;  // loading panel (panel: its whole rectangle)

    // Item of a child identifier, null for an unknown one.
    const BarItem* item(int32_t id) const;
};

// Width of each of the two animation buttons in the animation row.
constexpr int32_t kAnimButtonWidth = 24;
// Loading panel: cancel button width and its distance from the panel's right edge.
constexpr int32_t kCancelWidth = 70;
constexpr int32_t kCancelFromRight = 72;

// Size of the view frame for a client area (Layout's rule).
void viewFrameSize(int32_t clientWidth, int32_t clientHeight, const BarMetrics& m, const BarState& s,
                   int32_t* frameWidth, int32_t* frameHeight);

// Whole layout for a client area.
BarLayout layoutBar(int32_t clientWidth, int32_t clientHeight, const BarMetrics& m, const BarState& s);

// True when a new client size needs a new layout (and frame buffer): the frame it gives
// differs from the current one. An empty size never does.
bool sizeNeedsLayout(int32_t clientWidth, int32_t clientHeight, const BarMetrics& m, const BarState& s,
                     int32_t frameWidth, int32_t frameHeight);

// What lies under a client point: a visible child's identifier (BarLink and BarProgress for
// the panel's unnamed children), HitView inside the view frame, HitNone elsewhere.
constexpr int32_t HitView = 0;
constexpr int32_t HitNone = -1;
int32_t barHitTest(const BarLayout& layout, int32_t x, int32_t y);

}  // namespace qivctl
