// Mouse navigation of the control window: the drag states of NavController over the
// control's camera, angles and capture (QivNavigation). The window's message map hands the
// button and move messages to NavMouse; the keys, the physical buttons and the clock are
// read here.
#include <windowsx.h>

#include <cmath>
#include <memory>

#include "backend_win.h"
#include "frameticks.h"
#include "navhost_win.h"
#include "qivctl_win.h"
#include "window_win.h"

QivNavigation& CQivPlayerCtl::navigation() {
    if (!nav_) nav_ = std::make_shared<QivNavigation>(this);
    return *nav_;
}

NavController& CQivPlayerCtl::navController() { return navigation().nav; }

bool CQivPlayerCtl::NavInput(UINT msg, int x, int y, bool buttonDown, bool ctrl, bool shift, uint32_t now) {
    NavController& nav = navController();
    const NavKeys keys{ctrl, shift};
    switch (msg) {
        case WM_LBUTTONDOWN: {
            if (!buttonDown) return false;
            spinClock();
            const bool handled = nav.leftDown(x, y, keys, now);
            spinChanged();  // a press stops the spin
            return handled;
        }
        case WM_LBUTTONUP: {
            spinClock();
            const bool handled = nav.leftUp(x, y, keys, now);
            spinChanged();
            if (hwnd() && (state_.spinPhi != 0 || state_.spinPsi != 0))
                RequestFrameTick(hwnd());
            return handled;
        }
        case WM_RBUTTONDOWN:
            return buttonDown && nav.rightDown(x, y, keys, now);
        case WM_RBUTTONUP:
            return nav.rightUp(x, y, keys, now);
        case WM_MOUSEMOVE:
            return nav.mouseMove(x, y, keys, now, GetSystemMetrics(SM_CXDRAG), GetSystemMetrics(SM_CYDRAG));
        default:
            return false;
    }
}

bool CQivPlayerCtl::NavMouse(UINT msg, WPARAM, LPARAM lp) {
    const bool swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
    int vk = 0;
    if (msg == WM_LBUTTONDOWN) vk = swapped ? VK_RBUTTON : VK_LBUTTON;
    if (msg == WM_RBUTTONDOWN) vk = swapped ? VK_LBUTTON : VK_RBUTTON;
    const bool down = vk && GetAsyncKeyState(vk) < 0;
    return NavInput(msg, GET_X_LPARAM(lp), GET_Y_LPARAM(lp), down, GetAsyncKeyState(VK_CONTROL) < 0,
                    GetAsyncKeyState(VK_SHIFT) < 0, GetTickCount());
}
