#pragma once
// The client size rules of a tool window: the size it wants in any dock or
// floating (remembered whenever its outer size changes outside an
// arrangement), its length in a dock that stretches it, and the client size
// limits of resizing (32 by 32 at least by default; a maximum of 0 is none).
#include "tbcommon.h"

namespace toolbars {

struct TBToolWindowSize {
    TBPoint Remembered{32, 32};
    TBPoint MinClient{32, 32};
    TBPoint MaxClient{0, 0};

    // The outer size changed: the client size is that less the frame
    // (outer minus client size) when it has a parent, else the size itself.
    void Remember(TBPoint outer, TBPoint frame, bool hasParent);
    // The client size for a dock (docked) or floating. A full-size or
    // stretching window is measured along its dock with its minimum length:
    // the dock then stretches it.
    TBPoint ForDock(bool docked, bool vertical, bool fullSizeOrStretch) const;
    // A client size brought within the limits.
    TBPoint Limit(TBPoint client) const;
};

}  // namespace toolbars
