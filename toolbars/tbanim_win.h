#pragma once
// The popup animation on the system: the window's picture is captured once
// through WM_PRINT, then faded in through a layered window or slid in
// through a shrinking window region. A worker thread only reads the clock
// and the cursor and tells the window (by notification messages) when the
// next step is due; every window call runs on the window's own thread.
#include <windows.h>

#include <cstdint>

namespace toolbars {

// Messages the animated window receives: a step is due (lParam the
// animation's sequence number), and the final picture is shown.
constexpr UINT kTBMsgAnimationStep = 0x955;
constexpr UINT kTBMsgAnimationEnded = 0x956;

// Stops any running animation, then starts this one (fade falls back to
// the slide where layered windows cannot be updated).
void StartPopupAnimation(HWND wnd, int durationMs, bool fade, uint8_t directions);
// Stops the running animation when it animates wnd (any, for null) and
// shows the final picture.
void StopPopupAnimation(HWND wnd);
// The window's answer to kTBMsgAnimationStep.
void PopupAnimationStep(uint32_t sequence);
bool PopupAnimationRunning(HWND wnd);

// For tests: pretend the layered-window call is missing (true) or use the
// system's (false), and the levels shown by the steps of the last animation.
void SetLayeredUpdateMissingForTests(bool missing);
const int* LastAnimationLevels(int& count);

}  // namespace toolbars
