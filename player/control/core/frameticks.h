// Frame-tick table: the process-wide, one-shot list of control windows that want the next
// animation tick. One shared 5 ms thread timer serves all of them; when it fires every
// window in the table gets one tick and the table empties. The table grows with the number
// of windows. The window layer installs hooks that start and kill the timer and post the
// tick; tests install recording hooks.
#pragma once
#include <cstdint>
#include <mutex>
#include <vector>

namespace qivctl {

using TickWindow = uintptr_t;  // a window handle's value; 0 is no window

// Timer id and period of the shared tick timer.
constexpr uint32_t kFrameTickTimerId = 50;
constexpr uint32_t kFrameTickPeriodMs = 5;

struct FrameTickHooks {
    // Starts the shared timer; answers its handle (0 when it could not be started).
    uintptr_t (*startTimer)(void* context) = nullptr;
    void (*killTimer)(void* context, uintptr_t timer) = nullptr;
    // Posts one tick (timer message 50) to a window.
    void (*postTick)(void* context, TickWindow window) = nullptr;
    void* context = nullptr;
};

class FrameTickTable {
public:
    void setHooks(const FrameTickHooks& hooks);
    // Enters the window (once); starts the timer when none is pending.
    void request(TickWindow window);
    // The timer fired: posts a tick to every window in the table, kills the timer and empties
    // the table. Posting happens outside the table's lock, so a window may ask again at once.
    void fire();
    // Removes the window (it is being destroyed); an empty table kills a pending timer.
    void remove(TickWindow window);
    // Empties the table and forgets the timer without calling any hook; no hooks.
    void reset();

    std::vector<TickWindow> windows() const;
    bool timerPending() const;

private:
    mutable std::mutex lock_;
    FrameTickHooks hooks_;
    std::vector<TickWindow> windows_;
    uintptr_t timer_ = 0;
    bool pending_ = false;
};

// The process-wide table of the control windows.
FrameTickTable& frameTicks();

}  // namespace qivctl
