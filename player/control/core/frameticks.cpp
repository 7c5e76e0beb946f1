#include "frameticks.h"

#include <algorithm>

namespace qivctl {

void FrameTickTable::setHooks(const FrameTickHooks& hooks) {
    std::lock_guard<std::mutex> g(lock_);
    hooks_ = hooks;
}

void FrameTickTable::request(TickWindow window) {
    if (!window) return;
    std::lock_guard<std::mutex> g(lock_);
    if (std::find(windows_.begin(), windows_.end(), window) != windows_.end()) return;
    windows_.push_back(window);
    if (!pending_ && hooks_.startTimer) {
        timer_ = hooks_.startTimer(hooks_.context);
        pending_ = timer_ != 0;
    }
}

void FrameTickTable::fire() {
    std::vector<TickWindow> due;
    FrameTickHooks hooks;
    {
        std::lock_guard<std::mutex> g(lock_);
        hooks = hooks_;
        due.swap(windows_);
        if (pending_ && hooks.killTimer) hooks.killTimer(hooks.context, timer_);
        pending_ = false;
        timer_ = 0;
    }
    if (hooks.postTick)
        for (TickWindow w : due) hooks.postTick(hooks.context, w);
}

void FrameTickTable::remove(TickWindow window) {
    std::lock_guard<std::mutex> g(lock_);
    windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
    if (windows_.empty() && pending_) {
        if (hooks_.killTimer) hooks_.killTimer(hooks_.context, timer_);
        pending_ = false;
        timer_ = 0;
    }
}

void FrameTickTable::reset() {
    std::lock_guard<std::mutex> g(lock_);
    hooks_ = FrameTickHooks{};
    windows_.clear();
    timer_ = 0;
    pending_ = false;
}

std::vector<TickWindow> FrameTickTable::windows() const {
    std::lock_guard<std::mutex> g(lock_);
    return windows_;
}

bool FrameTickTable::timerPending() const {
    std::lock_guard<std::mutex> g(lock_);
    return pending_;
}

FrameTickTable& frameTicks() {
    static FrameTickTable table;
    return table;
}

}  // namespace qivctl
