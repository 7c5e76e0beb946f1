// Display, animation-time, zoom and camera properties of the control: the value
// goes through its portable rule, then the member carries out what the rule answers
// (notice unless events are frozen, needs-save, relayout, redraw while a window exists).
#include <windows.h>
#include <commctrl.h>

#include <cmath>
#include <cstring>

#include "com/errorinfo.h"
#include "com/guard.h"
#include "displayprops.h"
#include "qivctl_win.h"
#include "stockprops.h"
#include "win/wintext.h"
#include "window_win.h"

namespace {

VARIANT_BOOL vb(bool b) { return b ? VARIANT_TRUE : VARIANT_FALSE; }

HRESULT refused(const wchar_t* text) { return qcom::setErrorInfo(E_INVALIDARG, text, IID_IQivPlayer2, L"QivPlayer"); }

void relayout(CQivPlayerCtl& c) {
    if (HWND w = c.hwnd()) {
        RECT client;
        GetClientRect(w, &client);
        c.Layout(client);
    }
}

// What every put does after its rule has run.
HRESULT carryOut(CQivPlayerCtl& c, const qivctl::PutResult& r, const wchar_t* refusal) {
    using Code = qivctl::PutResult::Code;
    if (r.code == Code::InvalidArg) return refused(refusal);
    if (r.code == Code::Fail) return E_FAIL;
    if (r.relayout) relayout(c);
    if (r.setupBackground) {
        c.state().frameValid = false;
        c.ApplyBackPicMode(false);
        // A picture shown without a scene is drawn again in its new mode.
        if (!c.state().sceneRoots && c.FrameHoldsBackdrop()) c.DrawBackdrop();
    }
    if (r.scrollBars && c.hwnd()) c.UpdateScrollBars();
    if (r.notice) c.FireOnChanged(r.notice);
    if (r.setDirty) c.setDirty(true);
    if (r.viewChange) {
        c.state().frameValid = false;
        c.fireViewChange();
    }
    if (r.redraw) c.Redraw(r.reRender);
    return S_OK;
}

// The plain display properties: stored, then their reactions.
template <typename T>
HRESULT putPlain(CQivPlayerCtl& c, T& field, T v, int32_t dispid, int32_t backPicMode) {
    bool changed = field != v;
    field = v;
    return carryOut(c, qivctl::displayPutReactions(dispid, changed, c.hwnd() != nullptr, backPicMode), nullptr);
}

BSTR menuNameOut(const std::optional<std::string>& name) { return name ? win::AllocBstr(*name) : nullptr; }

std::optional<std::string> ansiOf(BSTR v) {
    if (!v) return std::nullopt;
    // The stored name ends at the first zero, as the menu shows it.
    const std::string s = win::AnsiOfBstr(v);
    return s.substr(0, std::strlen(s.c_str()));
}

qivctl::ZoomView zoomView(const QivControlState& s, const QivWindowParts& w) {
    qivctl::ZoomView v;
    const Box3& b = w.sceneBox;
    v.boxMin[0] = b.min.x, v.boxMin[1] = b.min.y, v.boxMin[2] = b.min.z;
    v.boxMax[0] = b.max.x, v.boxMax[1] = b.max.y, v.boxMax[2] = b.max.z;
    v.winXMin = s.camera.winXMin, v.winXMax = s.camera.winXMax;
    v.winYMin = s.camera.winYMin, v.winYMax = s.camera.winYMax;
    v.zoomBase = w.zoomBase;
    return v;
}

}  // namespace

// ---- stock properties ----

STDMETHODIMP CQivPlayerCtl::put_Appearance(qivAppearance v) try {
    qivctl::PutResult r = qivctl::putAppearance(state_, int32_t(v));
    if (r.code == qivctl::PutResult::Code::Ok && r.frameStyle) {
        if (r.notice) FireOnChanged(r.notice);
        r.notice = 0;
        applyWindowStyle();
    }
    return carryOut(*this, r, nullptr);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_BorderStyle(qivBorderStyle v) try {
    qivctl::PutResult r = qivctl::putBorderStyle(state_, int32_t(v));
    if (r.frameStyle) {
        if (r.notice) FireOnChanged(r.notice);
        r.notice = 0;
        applyWindowStyle();
    }
    return carryOut(*this, r, nullptr);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_BackStyle(qivBackStyle v) try {
    return carryOut(*this, qivctl::putBackStyle(state_, int32_t(v)), L"The back style is 0 (transparent) or 1 (opaque).");
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_Enabled(VARIANT_BOOL v) try {
    bool dead = false;
    const bool ambientDead = v != VARIANT_FALSE && ambientUIDead(dead) && dead;
    return carryOut(*this, qivctl::putEnabled(state_, v != VARIANT_FALSE, ambientDead), nullptr);
} catch (...) { return qcom::exceptionResult(); }

// ---- flags and numbers ----

STDMETHODIMP CQivPlayerCtl::get_FlatTexturePath(VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = vb(props_.flatTexturePath);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_FlatTexturePath(VARIANT_BOOL v) try {
    return putPlain(*this, props_.flatTexturePath, v != VARIANT_FALSE, qivdispid::FlatTexturePath, props_.backPicMode);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_AnimateOnClick(VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = vb(props_.animateOnClick);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_AnimateOnClick(VARIANT_BOOL v) try {
    return putPlain(*this, props_.animateOnClick, v != VARIANT_FALSE, qivdispid::AnimateOnClick, props_.backPicMode);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_LoadObjectMenuEnabled(VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = vb(props_.loadObjectMenu);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_LoadObjectMenuEnabled(VARIANT_BOOL v) try {
    return putPlain(*this, props_.loadObjectMenu, v != VARIANT_FALSE, qivdispid::LoadObjectMenuEnabled, props_.backPicMode);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_Walkthrough(VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = vb(props_.walkthrough);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_Walkthrough(VARIANT_BOOL v) try {
    return putPlain(*this, props_.walkthrough, v != VARIANT_FALSE, qivdispid::Walkthrough, props_.backPicMode);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_IncrementalDisplay(VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = vb(props_.incrementalDisplay);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_IncrementalDisplay(VARIANT_BOOL v) try {
    return putPlain(*this, props_.incrementalDisplay, v != VARIANT_FALSE, qivdispid::IncrementalDisplay,
                    props_.backPicMode);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_DelayBeforeLoad(LONG* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = props_.delayBeforeLoad;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_DelayBeforeLoad(LONG v) try {
    return putPlain(*this, props_.delayBeforeLoad, int32_t(v), qivdispid::DelayBeforeLoad, props_.backPicMode);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_DelayAfterPreview(LONG* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = props_.delayAfterPreview;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_DelayAfterPreview(LONG v) try {
    return putPlain(*this, props_.delayAfterPreview, int32_t(v), qivdispid::DelayAfterPreview, props_.backPicMode);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_BackPicOffsetX(LONG* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = props_.backPicOffsetX;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_BackPicOffsetX(LONG v) try {
    return putPlain(*this, props_.backPicOffsetX, int32_t(v), qivdispid::BackPicOffsetX, props_.backPicMode);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_BackPicOffsetY(LONG* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = props_.backPicOffsetY;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_BackPicOffsetY(LONG v) try {
    return putPlain(*this, props_.backPicOffsetY, int32_t(v), qivdispid::BackPicOffsetY, props_.backPicMode);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_BackPicMode(qivBackPicModes* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = static_cast<qivBackPicModes>(props_.backPicMode);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_BackPicMode(qivBackPicModes v) try {
    // Any mode is stored; one other than 1 (scaled) or 2 (tiled) shows the colour.
    const int32_t mode = int32_t(v);
    props_.backPicMode = mode;
    return carryOut(*this, qivctl::displayPutReactions(qivdispid::BackPicMode, true, hwnd() != nullptr, mode),
                    nullptr);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_Filter(VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = vb(win_->filter);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_Filter(VARIANT_BOOL v) try {
    return putPlain(*this, win_->filter, v != VARIANT_FALSE, qivdispid::Filter, props_.backPicMode);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_HideControls(VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = vb(win_->hideControls);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_HideControls(VARIANT_BOOL v) try {
    return putPlain(*this, win_->hideControls, v != VARIANT_FALSE, qivdispid::HideControls, props_.backPicMode);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_HideScrollBars(VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = vb(win_->hideScrollBars);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_HideScrollBars(VARIANT_BOOL v) try {
    return putPlain(*this, win_->hideScrollBars, v != VARIANT_FALSE, qivdispid::HideScrollBars,
                    props_.backPicMode);
} catch (...) { return qcom::exceptionResult(); }

// ---- menu names ----

STDMETHODIMP CQivPlayerCtl::get_MenuNameForPreview(BSTR* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = menuNameOut(props_.menuNameForPreview);
    return props_.menuNameForPreview && !*pVal ? E_OUTOFMEMORY : S_OK;
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_MenuNameForPreview(BSTR v) try {
    std::optional<std::string> s = ansiOf(v);
    if (qivctl::putMenuName(props_.menuNameForPreview, s ? s->c_str() : nullptr))
        FireOnChanged(qivdispid::MenuNameForPreview);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_MenuNameFor3D(BSTR* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = menuNameOut(props_.menuNameFor3D);
    return props_.menuNameFor3D && !*pVal ? E_OUTOFMEMORY : S_OK;
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_MenuNameFor3D(BSTR v) try {
    std::optional<std::string> s = ansiOf(v);
    if (qivctl::putMenuName(props_.menuNameFor3D, s ? s->c_str() : nullptr))
        FireOnChanged(qivdispid::MenuNameFor3D);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

// ---- animation speed and time ----

// The current object's slot once the scene is ready; null answers E_FAIL.
static QivObjectSlot* animationSlot(CQivPlayerCtl& c) {
    if (c.hwnd() && !c.InitWindow()) return nullptr;
    QivControlState& s = c.state();
    if (s.currentSlot < 0 || size_t(s.currentSlot) >= s.slots.size()) return nullptr;
    return &s.slots[size_t(s.currentSlot)];
}

STDMETHODIMP CQivPlayerCtl::get_AnimSpeed(float* pVal) try {
    if (!pVal) return E_POINTER;
    const QivObjectSlot* slot = animationSlot(*this);
    *pVal = slot ? slot->animSpeed : 0.0f;
    return slot ? S_OK : E_FAIL;
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_AnimSpeed(float v) try {
    QivObjectSlot* slot = animationSlot(*this);
    if (!slot) return E_FAIL;
    return carryOut(*this, qivctl::putAnimSpeed(*slot, v, GetTickCount()), nullptr);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::get_CurrentTime(float* pVal) try {
    if (!pVal) return E_POINTER;
    const QivObjectSlot* slot = animationSlot(*this);
    *pVal = slot ? slot->animTime : 0.0f;
    return slot ? S_OK : E_FAIL;
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_CurrentTime(float v) try {
    QivObjectSlot* slot = animationSlot(*this);
    if (!slot) return E_FAIL;
    const qivctl::CurrentTimePut p = qivctl::putCurrentTime(*slot, v, GetTickCount(), win_->animationRunning);
    if (p.result.code != qivctl::PutResult::Code::Ok) return refused(L"The animation time is a finite value.");
    if (p.trackbar && !win_->hideControls)
        if (HWND track = win_->bar[qivctl::BarTrack - qivctl::BarRayTrace])
            SendMessageW(track, TBM_SETPOS, TRUE, p.trackbarPos);
    if (p.frameInvalid) state_.frameValid = false;
    return carryOut(*this, p.result, nullptr);
} catch (...) { return qcom::exceptionResult(); }

// ---- zoom ----

STDMETHODIMP CQivPlayerCtl::get_Zoom(float* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = qivctl::zoomOf(zoomView(state_, *win_), state_.viewValid, props_.pending.get());
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_Zoom(float v) try {
    if (!std::isfinite(v)) return S_OK;
    if (!state_.viewValid && !props_.pending) props_.pending = std::make_unique<qivctl::PendingViewing>();
    qivctl::ZoomView view = zoomView(state_, *win_);
    qivctl::PutResult r = qivctl::putZoom(v, state_.viewValid, &view, props_.pending.get());
    if (state_.viewValid && r.changed) {
        CamRecord& c = state_.camera;
        c.winXMin = view.winXMin, c.winXMax = view.winXMax;
        c.winYMin = view.winYMin, c.winYMax = view.winYMax;
        camUpdate(&c);
    }
    return carryOut(*this, r, nullptr);
} catch (...) { return qcom::exceptionResult(); }

// ---- camera points ----

namespace {
enum { kVrpX, kVrpY, kVrpZ, kEyeX, kEyeY, kEyeZ };
}

static HRESULT qivGetCamera(const QivControlState& s, const QivDisplayProps& p, int axis, float* out) {
    if (!out) return E_POINTER;
    *out = qivctl::cameraPropertyOf(s.camera, s.viewValid, p.pending.get(), axis);
    return S_OK;
}

static HRESULT putCamera(CQivPlayerCtl& c, QivDisplayProps& p, int axis, float v) {
    QivControlState& s = c.state();
    if (!s.viewValid && !p.pending && std::isfinite(v)) p.pending = std::make_unique<qivctl::PendingViewing>();
    qivctl::PutResult r = qivctl::putCameraProperty(s.camera, s.viewValid, p.pending.get(), axis, v);
    if (r.changed && s.viewValid) camUpdate(&s.camera);
    return carryOut(c, r, L"A camera coordinate is a finite value.");
}

STDMETHODIMP CQivPlayerCtl::get_VRPx(float* pVal) try {
    return qivGetCamera(state_, props_, kVrpX, pVal);
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::get_VRPy(float* pVal) try {
    return qivGetCamera(state_, props_, kVrpY, pVal);
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::get_VRPz(float* pVal) try {
    return qivGetCamera(state_, props_, kVrpZ, pVal);
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::get_EyeX(float* pVal) try {
    return qivGetCamera(state_, props_, kEyeX, pVal);
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::get_EyeY(float* pVal) try {
    return qivGetCamera(state_, props_, kEyeY, pVal);
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::get_EyeZ(float* pVal) try {
    return qivGetCamera(state_, props_, kEyeZ, pVal);
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_VRPx(float v) try {
    return putCamera(*this, props_, kVrpX, v);
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_VRPy(float v) try {
    return putCamera(*this, props_, kVrpY, v);
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_VRPz(float v) try {
    return putCamera(*this, props_, kVrpZ, v);
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_EyeX(float v) try {
    return putCamera(*this, props_, kEyeX, v);
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_EyeY(float v) try {
    return putCamera(*this, props_, kEyeY, v);
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP CQivPlayerCtl::put_EyeZ(float v) try {
    return putCamera(*this, props_, kEyeZ, v);
} catch (...) { return qcom::exceptionResult(); }

void CQivPlayerCtl::ApplyPendingViewing() {
    std::unique_ptr<qivctl::PendingViewing> p = std::move(props_.pending);
    if (!p || !state_.viewValid) return;
    CamRecord& c = state_.camera;
    if (p->flags & qivctl::PendingViewing::kVrpGiven) c.vrp = {p->vrp[0], p->vrp[1], p->vrp[2]};
    if (p->flags & qivctl::PendingViewing::kEyeGiven) c.eye = {p->eye[0], p->eye[1], p->eye[2]};
    if (p->flags & (qivctl::PendingViewing::kVrpGiven | qivctl::PendingViewing::kEyeGiven)) {
        // The camera keeps the point given: its distance is the new one.
        const float dx = c.vrp.x - c.eye.x, dy = c.vrp.y - c.eye.y, dz = c.vrp.z - c.eye.z;
        const float d = std::sqrt(dx * dx + dy * dy + dz * dz);
        if (std::isfinite(d) && d > 0) c.viewDist = d;
    }
    if (p->zoom != 1.0f) {
        qivctl::ZoomView view = zoomView(state_, *win_);
        if (qivctl::putZoom(p->zoom, true, &view, nullptr).changed) {
            c.winXMin = view.winXMin, c.winXMax = view.winXMax;
            c.winYMin = view.winYMin, c.winYMax = view.winYMax;
        }
    }
    ApplyPendingPan(*p);
    camUpdate(&c);
}
