#include "clickstate.h"

#include <cstdlib>

namespace qivctl {

int32_t keyStateFlags(const KeysDown& k) {
    return (k.shift ? kKeyShift : 0) | (k.control ? kKeyControl : 0) | (k.menu ? kKeyMenu : 0) |
           (k.leftShift ? kKeyLShift : 0) | (k.rightShift ? kKeyRShift : 0) | (k.leftControl ? kKeyLControl : 0) |
           (k.rightControl ? kKeyRControl : 0);
}

void ClickTracker::press(int x, int y, int32_t keyFlags) {
    pressed_ = true;
    x_ = x;
    y_ = y;
    drag_ = (keyFlags & (kKeyControl | kKeyShift)) != 0;
}

void ClickTracker::move(int x, int y, bool leftDown, int dragX, int dragY) {
    if (!pressed_ || !leftDown || drag_) return;
    if (std::abs(x - x_) >= dragX || std::abs(y - y_) >= dragY) drag_ = true;
}

ClickEvent ClickTracker::release(int32_t keyFlags, bool ready, bool overObject, bool walkThrough) {
    const bool dragged = drag_;
    pressed_ = drag_ = false;
    if (!ready || !overObject || walkThrough) return ClickEvent::None;
    if (keyFlags != 0) return ClickEvent::ClickWithKeys;
    return dragged ? ClickEvent::None : ClickEvent::Click;
}

int32_t clickSubAnimation(bool animateOnClick, const PartValues& table, int64_t part) {
    uint32_t v = 0;
    if (!animateOnClick || part < 0 || !table.valueOf(size_t(part), &v)) return -1;
    return int32_t(v);
}

bool startAfterClick(ClickEvent event, int32_t subAnimIndex, int32_t subAnimCount, bool startedDuringEvent) {
    return event == ClickEvent::Click && !startedDuringEvent && subAnimIndex >= 0 && subAnimIndex < subAnimCount;
}

}  // namespace qivctl
