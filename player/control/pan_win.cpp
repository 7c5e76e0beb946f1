// PanX and PanY: the camera's position across the screen. With a view they are read from and
// moved on eye and VRP; before a view exists they wait in the pending viewing record.
#include <windows.h>

#include <cmath>

#include "com/guard.h"
#include "qivctl_win.h"
#include "viewing.h"

namespace {

qivctl::ViewVec vec(const Vec3& v) { return {v.x, v.y, v.z}; }
Vec3 vec3(const qivctl::ViewVec& v) { return {float(v.x), float(v.y), float(v.z)}; }
bool same(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// Moves the camera's eye and VRP so that PanX (or PanY) becomes v; true when they moved.
bool panCamera(CamRecord& c, bool vertical, float v) {
    qivctl::ViewVec eye = vec(c.eye), vrp = vec(c.vrp);
    const bool ok = vertical ? qivctl::applyPanY(&eye, &vrp, vec(c.up), v) : qivctl::applyPanX(&eye, &vrp, vec(c.up), v);
    if (!ok) return false;
    const Vec3 e = vec3(eye), r = vec3(vrp);
    if (same(e, c.eye) && same(r, c.vrp)) return false;
    c.eye = e;
    c.vrp = r;
    return true;
}

}  // namespace

bool CQivPlayerCtl::ViewPan(double* x, double* y) const {
    if (!state_.viewValid) return false;
    const CamRecord& c = state_.camera;
    return qivctl::panOf(vec(c.eye), vec(c.vrp), vec(c.up), x, y);
}

void CQivPlayerCtl::OnPanChanged() {
    FireOnChanged(qivdispid::PanX);
    FireOnChanged(qivdispid::PanY);
    state_.frameValid = false;
    fireViewChange();
    if (hwnd()) {
        UpdateScrollBars();
        Redraw(true);
    }
}

void CQivPlayerCtl::ApplyPendingPan(const qivctl::PendingViewing& p) {
    if (p.flags & qivctl::PendingViewing::kPanXGiven) panCamera(state_.camera, false, p.panX);
    if (p.flags & qivctl::PendingViewing::kPanYGiven) panCamera(state_.camera, true, p.panY);
}

void CQivPlayerCtl::KeepViewingForReset() {
    if (!state_.viewValid || props_.pending) return;
    auto p = std::make_unique<qivctl::PendingViewing>();
    get_Zoom(&p->zoom);
    double x = 0, y = 0;
    if (ViewPan(&x, &y)) {
        p->panX = float(x), p->panY = float(y);
        p->flags |= qivctl::PendingViewing::kPanXGiven | qivctl::PendingViewing::kPanYGiven;
    }
    props_.pending = std::move(p);
}

HRESULT CQivPlayerCtl::getPan(bool vertical, float* pVal) {
    if (!pVal) return E_POINTER;
    if (!state_.viewValid) {
        const qivctl::PendingViewing* p = props_.pending.get();
        *pVal = p ? (vertical ? p->panY : p->panX) : 0.0f;
        return S_OK;
    }
    double x = 0, y = 0;
    *pVal = ViewPan(&x, &y) ? float(vertical ? y : x) : 0.0f;
    return S_OK;
}

HRESULT CQivPlayerCtl::putPan(bool vertical, float v) {
    if (!std::isfinite(v)) return S_OK;  // ignored
    if (!state_.viewValid) {
        // Taken over by the view reset when the first view is made.
        if (!props_.pending) props_.pending = std::make_unique<qivctl::PendingViewing>();
        qivctl::PendingViewing& p = *props_.pending;
        (vertical ? p.panY : p.panX) = v;
        p.flags |= vertical ? qivctl::PendingViewing::kPanYGiven : qivctl::PendingViewing::kPanXGiven;
        return S_OK;
    }
    if (!panCamera(state_.camera, vertical, v)) return S_OK;
    camUpdate(&state_.camera);
    OnPanChanged();
    return S_OK;
}

STDMETHODIMP CQivPlayerCtl::get_PanX(float* pVal) try {
    return getPan(false, pVal);
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_PanX(float v) try {
    return putPan(false, v);
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::get_PanY(float* pVal) try {
    return getPan(true, pVal);
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_PanY(float v) try {
    return putPan(true, v);
} catch (...) { return qcom::exceptionResult(); }
