#pragma once
// The popup animation's timing and steps, without the system: what the
// worker decides at each look at the clock, where a sliding popup's image
// sits at a level, and the record of the one running animation with the
// sequence number that tells current step messages from stale ones.
#include <cstdint>

#include "tbcommon.h"

namespace toolbars {

// The level a fade starts at (the slide starts at 0); levels run on a 0..255
// scale in steps of 16.
constexpr int kFadeStartLevel = 32;
constexpr int kAnimationLastLevel = 240;

// What the worker does after one look at the clock.
struct TBAnimationTick {
    enum Kind { Finish, Step, Sleep } kind = Finish;
    int sleepMs = 0;  // Sleep
};

// elapsedMs since the start; level is the level shown (raised on Step);
// pointerInside: the pointer moved into the popup since the last look.
// Ends when the duration has passed or the last level is reached.
TBAnimationTick AnimationTick(int durationMs, long long elapsedMs, int& level, bool pointerInside);

// Where the captured image and the window region sit at a level when the
// popup slides in from the edges of directions (tbadFromLeft ... of
// tbpopupfit.h): the full picture at 255.
TBPoint SlideOffset(int width, int height, int level, uint8_t directions);

// The one animation of the process.
struct TBAnimationRecord {
    void* window = nullptr;
    int durationMs = 0;
    bool fade = false;
    uint8_t directions = 0;
    int level = 0;
    bool finished = false;
    bool stop = false;
};

class TBAnimationState {
public:
    // Clears the record for a new animation and gives it a new sequence
    // number, which its worker's messages carry.
    void Begin(void* window, int durationMs, bool fade, uint8_t directions);
    uint32_t Sequence() const { return sequence_; }
    // A step message belongs to the running animation.
    bool IsCurrent(uint32_t sequence) const { return record_.window && sequence == sequence_; }
    void End() { record_ = {}; }
    TBAnimationRecord& Record() { return record_; }

private:
    TBAnimationRecord record_;
    // Outside the record, so that a start never reuses a number that a
    // message of an earlier animation may still carry.
    uint32_t sequence_ = 0;
};

}  // namespace toolbars
