// Mouse buttons of the control: the qivKeyState bits of MouseDown and ClickWithKeys, the
// press that did or did not start a drag, which click event a left release fires, the
// sub-animation a click proposes and whether it is started after the event. Portable; the
// window layer reads the keys, picks the object under the mouse and fires the events.
#pragma once
#include <cstdint>

#include "localfile.h"

namespace qivctl {

enum : int32_t {
    kKeyShift = 1,
    kKeyControl = 2,
    kKeyMenu = 4,  // Alt
    kKeyLShift = 8,
    kKeyRShift = 16,
    kKeyLControl = 32,
    kKeyRControl = 64,
};

struct KeysDown {
    bool shift = false, control = false, menu = false;
    bool leftShift = false, rightShift = false, leftControl = false, rightControl = false;
};
int32_t keyStateFlags(const KeysDown& k);

enum : int32_t { kButtonLeft = 1, kButtonRight = 2 };

// What a left release fires.
enum class ClickEvent { None, Click, ClickWithKeys };

class ClickTracker {
public:
    // A left press at (x, y): with Control or Shift it starts a drag at once (zoom or pan).
    void press(int x, int y, int32_t keyFlags);
    // A move with the left button down past the drag distance (dragX, dragY) starts a drag.
    void move(int x, int y, bool leftDown, int dragX, int dragY);
    // The event of a left release; the press is over afterwards. No event while the
    // control is not ready, over no object, or in walk-through; a press that started a
    // drag fires none unless a modifier key is held.
    ClickEvent release(int32_t keyFlags, bool ready, bool overObject, bool walkThrough);
    bool pressed() const { return pressed_; }
    bool dragStarted() const { return drag_; }

private:
    bool pressed_ = false, drag_ = false;
    int x_ = 0, y_ = 0;
};

// SubAnimIndex handed to the event: the hovered part's entry of the object's per-part table
// (its chunk-21 values) when AnimateOnClick is on and the table covers the part, else -1.
int32_t clickSubAnimation(bool animateOnClick, const PartValues& table, int64_t part);
// After a Click (not ClickWithKeys): the sub-animation the handler left is started once when
// it names one of the object's sub-animations and none was started during the event.
bool startAfterClick(ClickEvent event, int32_t subAnimIndex, int32_t subAnimCount, bool startedDuringEvent);

}  // namespace qivctl
