#include "hoverprogress.h"

#include <algorithm>

namespace qivctl {

namespace {

std::string bounded(std::string_view s, size_t max) {
    s = s.substr(0, s.find('\0'));
    return std::string(s.substr(0, max));
}

enum : uint32_t {
    kVkShift = 0x10, kVkControl = 0x11, kVkEscape = 0x1B, kVkHome = 0x24,
    kVkLeft = 0x25, kVkUp = 0x26, kVkRight = 0x27, kVkDown = 0x28,
    kVkNumpad0 = 0x60, kVkNumpad2 = 0x62, kVkNumpad4 = 0x64, kVkNumpad6 = 0x66, kVkNumpad8 = 0x68,
    kVkAdd = 0x6B, kVkSubtract = 0x6D, kVkF2 = 0x71, kVkF8 = 0x77, kVkF9 = 0x78,
};

KeyCommand cmd(KeyCommand::Kind k, double amount = 0, int32_t value = 0, bool viewKey = false) {
    KeyCommand c;
    c.kind = k;
    c.amount = amount;
    c.value = value;
    c.viewKey = viewKey;
    return c;
}

}  // namespace

HoverTooltip::Event HoverTooltip::beginHover(int32_t index, std::string_view localName,
                                             std::string_view databaseName) {
    Event e;
    index_ = index < 0 ? -1 : index;
    if (index < 0) {
        end();
        local_.clear();
        return e;
    }
    e.index = index;
    e.localName = bounded(localName, kHoverNameMax);
    e.databaseName = bounded(databaseName, kHoverNameMax);
    local_ = e.localName;
    return e;
}

TimerRequest HoverTooltip::afterEvent(std::string_view hostDisplayName, int32_t tooltipTimeout, bool delayed) {
    TimerRequest t;
    if (index_ >= 0) {
        t.kill = true;
        std::string display = bounded(hostDisplayName, kHoverNameMax);
        text_ = !display.empty() ? display : local_;
        hasText_ = !text_.empty();
    }
    if (tooltipTimeout >= 0 && hasText_) {
        t.start = true;
        t.delay = delayed ? uint32_t(tooltipTimeout) : 1;
    }
    return t;
}

TooltipRect tooltipRect(int32_t hoverX, int32_t hoverY, int32_t textWidth, int32_t textHeight) {
    auto clampAdd = [](int32_t a, int32_t b) {
        int64_t v = int64_t(a) + b;
        return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    };
    TooltipRect r;
    r.x = clampAdd(hoverX, 7);
    r.y = clampAdd(hoverY, 18);
    r.width = clampAdd(std::max(textWidth, 0), 4);
    r.height = clampAdd(std::max(textHeight, 0), 4);
    return r;
}

KeyCommand keyDownCommand(uint32_t key, const KeyContext& c) {
    using K = KeyCommand::Kind;
    const double step = c.ctrl ? 1.0 : 0.25;
    switch (key) {
    case 'R': return cmd(K::RayTraceFrame);
    case 'D': return cmd(K::DisplayFrame);
    case '0': return cmd(K::ToggleLight, 0, -1);
    case '1': case '2': case '3': case '4': case '5': return cmd(K::ToggleLight, 0, int32_t(key - '1'));
    case kVkLeft:
    case kVkRight: {
        double sign = key == kVkLeft ? 1.0 : -1.0;
        if (!c.walkthrough) return cmd(K::ChangePhi, sign * kKeyAngleStep, 0, true);
        if (c.walkMoving) return cmd(K::None);
        if (c.shift) return cmd(K::WalkSideways, -sign * step, 0, true);
        return cmd(K::WalkTurn, -sign * 10 * step, 0, true);
    }
    case kVkUp:
    case kVkDown: {
        double sign = key == kVkUp ? 1.0 : -1.0;
        if (!c.walkthrough) return cmd(K::ChangePsi, sign * kKeyAngleStep, 0, true);
        if (c.walkMoving) return cmd(K::None);
        if (c.shift) return cmd(K::WalkLift, sign * step * c.walkSpeed * kWalkLiftFactor, 0, true);
        return cmd(K::WalkForward, sign * step, 0, true);
    }
    case kVkShift:
        if (c.walkthrough) return cmd(K::WalkZoneAtCursor);
        if (!c.inputDead && c.objectLoaded && c.viewSet && !c.zoomDrag && !c.panByKey) return cmd(K::PanByKeyOn);
        return cmd(K::None);
    case kVkControl:
        if (!c.inputDead && c.objectLoaded && c.viewSet && !c.zoomDrag && !c.zoomByKey && !c.objectGrabbed)
            return cmd(K::ZoomByKeyOn);
        return cmd(K::None);
    case kVkEscape:
        return c.keyWalkSwitch && c.walkthrough ? cmd(K::WalkthroughOff) : cmd(K::None);
    case kVkF2: return c.keyWalkSwitch ? cmd(K::WalkthroughToggle) : cmd(K::None);
    case kVkHome: return cmd(K::ResetView, 0, 1, true);
    case kVkNumpad0: return cmd(K::ResetView, 0, 0, true);
    case kVkNumpad4: return cmd(K::MovePanX, -0.1, 0, true);
    case kVkNumpad6: return cmd(K::MovePanX, 0.1, 0, true);
    case kVkNumpad2: return cmd(K::MovePanY, -0.1, 0, true);
    case kVkNumpad8: return cmd(K::MovePanY, 0.1, 0, true);
    case kVkAdd: return cmd(K::ZoomStep, 0, 1, true);
    case kVkSubtract: return cmd(K::ZoomStep, 0, 2, true);
    case kVkF8: return cmd(K::ToggleMultiView);
    case kVkF9: return c.hostStatusCallback ? cmd(K::ToggleStatistics) : cmd(K::None);
    default: return cmd(K::None);
    }
}

uint32_t lightsAfterToggle(uint32_t lights, int32_t which) {
    if (which == -1) return (lights & 0x1F) != 0x1F ? lights | 0x1F : 0;
    if (which < 0 || which > 4) return lights;
    return lights ^ (1u << which);
}

KeyUpCommand keyUpCommand(uint32_t key, const KeyContext& c) {
    KeyUpCommand u;
    if (c.zoomDrag && !c.panDrag) return u;
    if (key == kVkShift) {
        if (c.walkthrough)
            u.walkZoneAtCursor = true;
        else
            u.endPanByKey = true;
    } else if (key == kVkControl) {
        u.endZoomByKey = true;
    } else {
        return u;
    }
    u.restartRotation = c.mouseDrag && !c.rotateBlocked;
    return u;
}

std::string formatTwoNumbers(std::string_view text, uint32_t first, uint32_t second) {
    std::string out;
    int used = 0;
    for (size_t i = 0; i < text.size() && out.size() < kStatusTextMax; ++i) {
        char ch = text[i];
        if (ch == '%' && i + 1 < text.size()) {
            if (text[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
            size_t j = i + 1;
            if (text[j] == 'l') ++j;
            if (used < 2 && j < text.size() && (text[j] == 'u' || text[j] == 'd' || text[j] == 'i')) {
                out += std::to_string(used == 0 ? first : second);
                ++used;
                i = j;
                continue;
            }
        }
        out += ch;
    }
    if (out.size() > kStatusTextMax) out.resize(kStatusTextMax);
    return out;
}

void ProgressDisplay::begin(std::string_view progressFormat, std::string_view prefix) {
    format_ = bounded(progressFormat, kStatusTextMax);
    prefix_ = bounded(prefix, kStatusTextMax);
    status_.clear();
    last_ = 0;
    started_ = shown_ = false;
}

const std::string& ProgressDisplay::setStatusText(std::string_view text, bool* wasEmpty) {
    if (wasEmpty) *wasEmpty = status_.empty();
    text = text.substr(0, text.find('\0'));
    status_ = text.empty() ? prefix_ : prefix_ + ": " + std::string(text);
    if (status_.size() > kStatusTextMax) status_.resize(kStatusTextMax);
    return status_;
}

ProgressDisplay::Update ProgressDisplay::show(uint32_t value, uint32_t done, uint32_t total, bool ownBarHidden) {
    Update u;
    if (!started_) {
        started_ = true;
        if (!ownBarHidden) {
            u.firstShow = true;
            shown_ = true;
        }
    }
    if (value != last_) {
        last_ = value;
        u.valueChanged = true;
        if (total != 0) {
            u.textChanged = true;
            u.statusText = setStatusText(formatTwoNumbers(format_, done, total));
        }
    }
    return u;
}

void ProgressDisplay::end() {
    status_.clear();
    last_ = 0;
    started_ = shown_ = false;
}

void pumpRange(uint32_t first, uint32_t last, uint32_t* low, uint32_t* high) {
    *low = first;
    *high = last == 0 ? first : std::max(first, last);
}

CallbackGate::Scope::Scope(CallbackGate& g) : gate_(g) { ++gate_.depth_; }
CallbackGate::Scope::~Scope() { gate_.leave(); }

bool CallbackGate::runOrDefer(std::function<void()> work) {
    if (!work) return false;
    if (depth_ > 0) {
        queue_.push_back(std::move(work));
        return false;
    }
    work();
    return true;
}

void CallbackGate::leave() {
    if (--depth_ > 0) return;
    // Work run here may open callbacks of its own and defer again.
    while (depth_ == 0 && !queue_.empty()) {
        auto work = std::move(queue_.front());
        queue_.erase(queue_.begin());
        // Runs from a destructor: nothing may escape.
        try {
            work();
        } catch (...) {
        }
    }
}

}  // namespace qivctl
