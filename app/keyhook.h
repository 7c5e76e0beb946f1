#pragma once
// The decisions of the main form's application-wide message hook: which
// key does what, and which menu item a Ctrl+letter reaches.
#include <cstddef>
#include <vector>

namespace stellwerk {

enum class KeyAction {
    None,             // the key goes on
    ToggleAllLights,  // "0"
    ClickLight,       // "1" to "5": light item index 0..4
    ClickMenuItem,    // Ctrl+letter: the item's index (a disabled one is not clicked)
    Swallow,          // Ctrl+letter reached a disabled item: handled, nothing happens
    Help,             // F1
};

struct KeyDecision {
    KeyAction action = KeyAction::None;
    int index = -1;
    bool handled() const { return action != KeyAction::None; }
};

struct KeyDown {
    int key = 0;  // virtual key code ("0".."9", "A".."Z", 112 F1)
    bool ctrl = false, shift = false, alt = false;
    bool inEditField = false;  // the focus is in an edit field of any kind
};

// A menu item of the form, in component order.
struct ShortcutItem {
    char ctrlLetter = 0;  // 'A'..'Z' when its shortcut is Ctrl + that letter
    bool hasHandler = false;
    bool enabled = true;
};

// Digits and the clipboard keys Ctrl+C / Ctrl+V are left to edit fields.
KeyDecision DecideKey(const KeyDown& k, const std::vector<ShortcutItem>& items);

// Mouse messages and the rotation timer: a move stops it, a left press
// starts it while a rotation item is hot.
enum class TimerAction { Keep, Stop, Start };
enum class MouseEvent { Move, LeftDown, LeftUp };
TimerAction DecideRotationTimer(MouseEvent e, int rotationState);

}  // namespace stellwerk
