#include "keyhook.h"

namespace stellwerk {

constexpr int kKeyF1 = 112;

KeyDecision DecideKey(const KeyDown& k, const std::vector<ShortcutItem>& items) {
    if (k.key >= '0' && k.key <= '5') {
        if (k.inEditField) return {};
        if (k.key == '0') return {KeyAction::ToggleAllLights, -1};
        return {KeyAction::ClickLight, k.key - '1'};
    }
    if (k.key >= 'A' && k.key <= 'Z' && k.ctrl) {
        if (k.inEditField && (k.key == 'C' || k.key == 'V')) return {};
        for (std::size_t i = 0; i < items.size(); ++i) {
            const ShortcutItem& it = items[i];
            if (it.ctrlLetter != k.key || !it.hasHandler) continue;
            if (!it.enabled) return {KeyAction::Swallow, int(i)};
            return {KeyAction::ClickMenuItem, int(i)};
        }
        return {};
    }
    if (k.key == kKeyF1 && !k.ctrl && !k.shift && !k.alt) return {KeyAction::Help, -1};
    return {};
}

TimerAction DecideRotationTimer(MouseEvent e, int rotationState) {
    switch (e) {
    case MouseEvent::Move:
        return TimerAction::Stop;
    case MouseEvent::LeftDown:
        return rotationState != 0 ? TimerAction::Start : TimerAction::Keep;
    default:
        return TimerAction::Keep;
    }
}

}  // namespace stellwerk
