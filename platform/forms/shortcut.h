#pragma once
// Shortcuts: a virtual key in the low byte with scShift, scCtrl and scAlt.
#include <cstdint>
#include <string>

namespace forms {

using ShortCut = uint16_t;
constexpr ShortCut scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000;

// "Ctrl+Shift+Alt+" followed by the key's name ("A", "F5", "Del"...);
// empty for 0.
std::string ShortCutToText(ShortCut s);

}  // namespace forms
