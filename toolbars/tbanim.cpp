#include "tbanim.h"

#include <algorithm>

#include "tbpopupfit.h"

namespace toolbars {

TBAnimationTick AnimationTick(int durationMs, long long elapsedMs, int& level, bool pointerInside) {
    const int elapsed = int(std::min<long long>(elapsedMs, INT32_MAX));
    // A duration of 0 gives -1: done at once.
    const int value = MulDiv(255, elapsed, durationMs);
    if (value < 0) return {};
    const int step = value & ~15;
    if (step > kAnimationLastLevel || elapsed >= durationMs) return {};
    if (pointerInside) return {};  // the user is over the menu already
    if (step > level) {
        level = step;
        return {TBAnimationTick::Step, 0};
    }
    return {TBAnimationTick::Sleep, std::max(1, MulDiv(level - value + 16, durationMs, 255))};
}

TBPoint SlideOffset(int width, int height, int level, uint8_t directions) {
    TBPoint o;
    if (directions & tbadFromTop)
        o.y = MulDiv(height, level, 255) - height;
    else if (directions & tbadFromBottom)
        o.y = height - MulDiv(height, level, 255);
    if (directions & tbadFromLeft)
        o.x = MulDiv(width, level, 255) - width;
    else if (directions & tbadFromRight)
        o.x = width - MulDiv(width, level, 255);
    return o;
}

void TBAnimationState::Begin(void* window, int durationMs, bool fade, uint8_t directions) {
    record_ = {};
    ++sequence_;
    record_.window = window;
    record_.durationMs = durationMs;
    record_.fade = fade;
    record_.directions = directions;
    record_.level = fade ? kFadeStartLevel : 0;
}

}  // namespace toolbars
