// Interface members of the control window, its bar and its view: what they store, what
// they announce and how the window follows.
#include <windows.h>

#include <cmath>

#include "backend_win.h"
#include "com/guard.h"
#include "frameticks.h"
#include "qivctl_win.h"
#include "viewmaths.h"
#include "window_win.h"

namespace {
VARIANT_BOOL vb(bool b) { return b ? VARIANT_TRUE : VARIANT_FALSE; }
constexpr float kDegToRad = 0.017453292f, kRadToDeg = 57.295776f;
}  // namespace

STDMETHODIMP CQivPlayerCtl::get_ButtonRayTraceEnabled(VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = vb(win_->rayTraceButton);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_ButtonRayTraceEnabled(VARIANT_BOOL v) try {
    bool on = v != VARIANT_FALSE;
    if (on == win_->rayTraceButton) return S_OK;
    win_->rayTraceButton = on;
    if (HWND w = hwnd()) {
        RECT client;
        GetClientRect(w, &client);
        LayoutBar(client);
    }
    FireOnChanged(qivdispid::ButtonRayTraceEnabled);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_ButtonVREnabled(VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = vb(win_->vrButton);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_ButtonVREnabled(VARIANT_BOOL v) try {
    bool on = v != VARIANT_FALSE;
    if (on == win_->vrButton) return S_OK;
    win_->vrButton = on;
    if (HWND w = hwnd()) {
        RECT client;
        GetClientRect(w, &client);
        LayoutBar(client);
    }
    FireOnChanged(qivdispid::ButtonVREnabled);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_VRDeviceAvailable(VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = vb(qivHardwareDeviceAvailable());
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_ObjectHasAnimation(VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    if (hwnd() && !InitWindow()) return E_FAIL;
    bool has = false;
    if (state_.currentSlot >= 0 && size_t(state_.currentSlot) < state_.slots.size())
        has = state_.slots[size_t(state_.currentSlot)].hasAnimation;
    *pVal = vb(has);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_AnimPlaying(VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    bool on = false;
    if (state_.currentSlot >= 0 && size_t(state_.currentSlot) < state_.slots.size())
        on = state_.slots[size_t(state_.currentSlot)].animPlaying;
    *pVal = vb(on || (state_.currentSlot < 0 && win_->startAnimationPending));
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_AnimPlaying(VARIANT_BOOL v) try {
    if (v != VARIANT_FALSE) return StartAnimation();
    return StopAnimation();
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::StartAnimation() try {
    if (!hwnd() || state_.currentSlot < 0) {
        win_->startAnimationPending = true;
        return S_OK;
    }
    if (!InitWindow()) return E_FAIL;
    // An object still streaming gets its animation later: the request waits for it.
    if (StreamLoadRunning()) win_->startAnimationPending = true;
    StartObjectAnimation(state_.currentSlot);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::StopAnimation() try {
    win_->startAnimationPending = false;
    if (hwnd() && !InitWindow()) return E_FAIL;
    StopObjectAnimation(state_.currentSlot);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_Phi(float* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = state_.phi * kRadToDeg;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

// A Phi or Psi put: ignored while the new angles lie outside the Phi/Psi limits; stops the spin.
static HRESULT putViewAngle(CQivPlayerCtl& c, bool isPhi, float v) {
    if (!std::isfinite(v)) return S_OK;  // ignored
    QivControlState& s = c.state();
    const float r = float(qivctl::wrapAngle(double(v) * kDegToRad));
    if (r == (isPhi ? s.phi : s.psi)) return S_OK;
    if (!c.AnglesAllowed(isPhi ? r : s.phi, isPhi ? s.psi : r)) return S_OK;
    (isPhi ? s.phi : s.psi) = r;
    navSpinStop(&c.spinClock());
    c.spinChanged();
    if (s.viewValid) c.SetViewFromAngles();
    c.FireOnChanged(isPhi ? qivdispid::Phi : qivdispid::Psi);
    c.RefreshBarState();
    c.Redraw(true);
    return S_OK;
}

STDMETHODIMP CQivPlayerCtl::put_Phi(float v) try {
    return putViewAngle(*this, true, v);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_Psi(float* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = state_.psi * kRadToDeg;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_Psi(float v) try {
    return putViewAngle(*this, false, v);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_KeepSpinning(VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = vb(state_.keepSpinning);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_KeepSpinning(VARIANT_BOOL v) try {
    navPutKeepSpinning(&spinClock(), v != VARIANT_FALSE);
    spinChanged();
    FireOnChanged(qivdispid::KeepSpinning);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_SpinPhi(float* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = state_.spinPhi * kRadToDeg;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_SpinPhi(float v) try {
    navPutSpinSpeed(&spinClock(), true, v, state_.phi, state_.psi, GetTickCount());
    spinChanged();
    FireOnChanged(qivdispid::SpinPhi);
    if (!viewChangesHeld()) RequestFrameTick(hwnd());
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_SpinPsi(float* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = state_.spinPsi * kRadToDeg;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_SpinPsi(float v) try {
    navPutSpinSpeed(&spinClock(), false, v, state_.phi, state_.psi, GetTickCount());
    spinChanged();
    FireOnChanged(qivdispid::SpinPsi);
    if (!viewChangesHeld()) RequestFrameTick(hwnd());
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::Refresh() try {
    Redraw(true);
    if (hwnd()) UpdateWindow(hwnd());
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }
