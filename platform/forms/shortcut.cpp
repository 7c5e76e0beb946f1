#include "forms/shortcut.h"

#include <utility>

namespace forms {

namespace {
// Virtual key codes named by the text.
constexpr uint16_t kBack = 0x08, kTab = 0x09, kReturn = 0x0D, kEscape = 0x1B, kSpace = 0x20, kPrior = 0x21,
                   kNext = 0x22, kEnd = 0x23, kHome = 0x24, kLeft = 0x25, kUp = 0x26, kRight = 0x27, kDown = 0x28,
                   kInsert = 0x2D, kDelete = 0x2E, kF1 = 0x70, kF24 = 0x87;
}  // namespace

std::string ShortCutToText(ShortCut s) {
    if (!s) return {};
    std::string out;
    if (s & scCtrl) out += "Ctrl+";
    if (s & scShift) out += "Shift+";
    if (s & scAlt) out += "Alt+";
    const uint16_t key = s & 0xFF;
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))
        out += char(key);
    else if (key >= kF1 && key <= kF24)
        out += "F" + std::to_string(key - kF1 + 1);
    else {
        static const std::pair<uint16_t, const char*> names[] = {
            {kDelete, "Del"}, {kInsert, "Ins"},  {kReturn, "Enter"}, {kEscape, "Esc"},  {kBack, "BkSp"},
            {kSpace, "Space"}, {kHome, "Home"},  {kEnd, "End"},      {kLeft, "Left"},   {kRight, "Right"},
            {kUp, "Up"},       {kDown, "Down"},  {kPrior, "PgUp"},   {kNext, "PgDn"},   {kTab, "Tab"},
        };
        for (const auto& n : names)
            if (n.first == key) out += n.second;
    }
    return out;
}

}  // namespace forms
