// Mouse navigation of the control window: the drag states of NavController over the
// control's camera, angles and capture. The window's message map hands the button and move
// messages to NavMouse; the keys, the physical buttons and the clock are read here.
#include <windowsx.h>

#include <cmath>
#include <memory>

#include "frameticks.h"
#include "navcontrol.h"
#include "qivctl_win.h"
#include "viewmaths.h"
#include "window_win.h"

class QivNavigation : public NavHost {
public:
    explicit QivNavigation(CQivPlayerCtl* ctl) : ctl_(ctl), nav(this) {}

    bool busy() override { return ctl_->state().uiDead; }
    bool objectShown() override { return ctl_->state().viewValid && ctl_->state().sceneRoots; }
    bool walkThrough() override { return false; }
    void clientSize(int* w, int* h) override {
        RECT r{};
        if (ctl_->hwnd()) GetClientRect(ctl_->hwnd(), &r);
        *w = r.right - r.left;
        *h = r.bottom - r.top;
    }
    const CamRecord& camera() override { return ctl_->state().camera; }
    Box3 sceneBox() override { return ctl_->win().sceneBox; }
    void angles(float* phi, float* psi) override {
        *phi = ctl_->state().phi;
        *psi = ctl_->state().psi;
    }
    void setAngles(float phi, float psi) override {
        if (!std::isfinite(phi) || !std::isfinite(psi)) return;
        QivControlState& s = ctl_->state();
        s.phi = phi;
        s.psi = psi;
        ctl_->SetViewFromAngles();
        ctl_->FireOnChanged(13);
        ctl_->FireOnChanged(14);
        ctl_->Redraw(true);
    }
    void zoomBy(float factor) override {
        if (!(factor > 0.0f)) return;
        CamRecord& c = ctl_->state().camera;
        c.winXMin /= factor;
        c.winXMax /= factor;
        c.winYMin /= factor;
        c.winYMax /= factor;
        camUpdate(&c);
        ctl_->Redraw(true);
    }
    void setView(const NavView& v) override {
        QivControlState& s = ctl_->state();
        s.camera.eye = v.eye;
        s.camera.vrp = v.vrp;
        camUpdate(&s.camera);
        const float dx = v.eye.x - v.vrp.x, dy = v.eye.y - v.vrp.y, dz = v.eye.z - v.vrp.z;
        const float d = std::sqrt(dx * dx + dy * dy + dz * dz);
        if (d > 0.0f) {
            s.phi = std::atan2(dy, dx);
            s.psi = std::asin(std::fmax(-1.0f, std::fmin(1.0f, dz / d)));
        }
        ctl_->Redraw(true);
    }
    float panDepth(int, int) override {
        const CamRecord& c = ctl_->state().camera;
        return navProject(c.worldToPixel, c.vrp).z;
    }
    void setCapture() override {
        if (ctl_->hwnd()) SetCapture(ctl_->hwnd());
    }
    void releaseMouse() override {
        ReleaseCapture();
        if (ctl_->hwnd()) PostMessageW(ctl_->hwnd(), WM_USER + 254, 0, 0);
    }
    void dragEnded() override {
        if (ctl_->win().filter) ctl_->Redraw(true);
    }

    NavController nav;

private:
    CQivPlayerCtl* ctl_;
};

bool CQivPlayerCtl::NavInput(UINT msg, int x, int y, bool buttonDown, bool ctrl, bool shift, uint32_t now) {
    if (!nav_) nav_ = std::make_shared<QivNavigation>(this);
    NavController& nav = nav_->nav;
    const NavKeys keys{ctrl, shift};
    NavSpin& spin = nav.spin();
    spin.keepSpinning = state_.keepSpinning;
    switch (msg) {
        case WM_LBUTTONDOWN: {
            if (!buttonDown) return false;
            const bool handled = nav.leftDown(x, y, keys, now);
            if (handled) {
                // A press stops the spin.
                state_.spinPhi = state_.spinPsi = 0;
                qivctl::spinStop(win_->spin);
            }
            return handled;
        }
        case WM_LBUTTONUP: {
            const bool rotated = nav.rotating();
            const bool handled = nav.leftUp(x, y, keys, now);
            if (rotated && state_.keepSpinning) {
                state_.spinPhi = spin.speedPhi;
                state_.spinPsi = spin.speedPsi;
                qivctl::spinStop(win_->spin);  // the spin starts from the angles of the release
                if (hwnd() && (spin.speedPhi != 0 || spin.speedPsi != 0))
                    qivctl::frameTicks().request(reinterpret_cast<qivctl::TickWindow>(hwnd()));
            }
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
