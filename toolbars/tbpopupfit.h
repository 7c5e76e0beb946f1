#pragma once
// Where a popup menu goes on its monitor: moved above or to the left of its
// item when it does not fit below or to the right, kept inside the monitor,
// moved off the items of the view it opens from where that helps, and the
// edges its animation slides in from.
#include <cstdint>
#include <vector>

#include "tbcommon.h"

namespace toolbars {

// Animation directions: the edge a popup slides in from.
constexpr uint8_t tbadFromRight = 1, tbadFromLeft = 2, tbadFromTop = 4, tbadFromBottom = 8;

// How the popup relates to what opened it.
enum class TBPopupOrigin {
    AtPoint,          // no view: at a screen point
    Sideways,         // a submenu of a popup, beside its item
    Below,            // under an item of a horizontal toolbar (or a chevron)
    VerticalToolbar,  // beside an item of a vertical toolbar
};

struct TBPopupPlacement {
    // In (screen pixels).
    TBPopupOrigin origin = TBPopupOrigin::Below;
    Rect monitor;
    // The item's rectangle; for a popup at a point, the point (empty).
    Rect item;
    // At a point: 0 the point is the left edge, 1 the right edge, 2 the centre.
    int alignment = 0;
    int width = 0, height = 0;
    int borderX = 0, borderY = 0;
    // Sideways: the parent popup opened to the left of its own item.
    bool parentOpenedLeft = false;
    // The shown items of the view the popup opens from.
    std::vector<Rect> viewItems;
    // In and out: the position.
    int x = 0, y = 0;
    // Out.
    uint8_t directions = 0;
    bool openedLeft = false;  // its own submenus continue leftwards
};

// Corrects x and y and chooses the directions.
void FitPopupPosition(TBPopupPlacement& p);

}  // namespace toolbars
