// Show-all, sub-animations, the 2D view, the one-time ray trace, the menu mask, the
// control's verbs, its command target and what it stops when it leaves in-place activation.
#include <windows.h>
#include <docobj.h>

#include <algorithm>
#include <cstring>

#include "backend_win.h"
#include "com/errorinfo.h"
#include "background.h"
#include "com/guard.h"
#include "displayprops.h"
#include "frameticks.h"
#include "menustate.h"
#include "qivctl_win.h"
#include "scene/anim.h"
#include "scene/pelchunk.h"
#include "scene/scene.h"
#include "slots.h"
#include "stockprops.h"
#include "win/wintext.h"
#include "window_win.h"

// {6B0C2F43-4D1E-4C8A-9E57-2A1F6D93B8C4}
const GUID CQivPlayerCtl::kCommandGroup = {0x6b0c2f43, 0x4d1e, 0x4c8a, {0x9e, 0x57, 0x2a, 0x1f, 0x6d, 0x93, 0xb8, 0xc4}};

namespace {

VARIANT_BOOL vb(bool b) { return b ? VARIANT_TRUE : VARIANT_FALSE; }


// The node's animation table, or none.
AnimDesc* animationTable(const QivObjectSlot& s, uint32_t* count) {
    *count = 0;
    if (!s.node || !s.node->content) return nullptr;
    uint32_t tracks = 0;
    AnimDesc* descs = nullptr;
    float rate = 0;
    if (!animGetInfo(s.node->content, &tracks, count, &descs, &rate) || !descs) *count = 0;
    return *count ? descs : nullptr;
}

}  // namespace

bool CQivPlayerCtl::ready() const { return state_.viewValid && state_.sceneRoots && state_.usedCount > 0; }

std::vector<qivctl::MenuSubAnimation> CQivPlayerCtl::SubAnimations(int32_t slot) const {
    std::vector<qivctl::MenuSubAnimation> table;
    if (!qivctl::slotValid(state_, slot)) return table;
    uint32_t count = 0;
    const AnimDesc* d = animationTable(state_.slots[size_t(slot)], &count);
    for (uint32_t i = 0; i < count; ++i) {
        qivctl::MenuSubAnimation a;
        // A sub-range keeps its track words at name byte 111.
        const size_t room = (d[i].flags & ANIM_DESC_SUBRANGE) ? 111 : sizeof d[i].name;
        a.name.assign(d[i].name, strnlen(d[i].name, room));
        a.start = d[i].start;
        a.end = d[i].end;
        table.push_back(std::move(a));
    }
    return table;
}

bool CQivPlayerCtl::StartSubAnimationOf(int32_t slot, int32_t index, bool repeat) {
    const qivctl::SubAnimationStart r =
        qivctl::startSubAnimation(state_, slot, index, repeat, SubAnimations(slot), GetTickCount(), &ClickState());
    if (!r.started) return false;
    QivObjectSlot& s = state_.slots[size_t(slot)];
    uint32_t count = 0;
    if (AnimDesc* d = animationTable(s, &count); d && uint32_t(index) < count) animSetTime(s.node, &d[index]);
    win_->animationRunning = true;
    if (r.buttons) RefreshBarState();
    FireAnimationStarted(slot, index, win::Wide(r.name), r.repeat);
    RequestFrameTick(hwnd());
    state_.frameValid = false;
    fireViewChange();
    return true;
}

// ---- members ----

STDMETHODIMP CQivPlayerCtl::get_EnabledMenus(LONG* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = LONG(enabledMenus_);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::put_EnabledMenus(LONG v) try {
    if (uint32_t(v) == enabledMenus_) return S_OK;
    enabledMenus_ = uint32_t(v);
    FireOnChanged(qivdispid::EnabledMenus);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::GetSubAnimationInfo(LONG Index, BSTR* Name, float* StartTime, float* EndTime,
                                                VARIANT_BOOL* pVal) try {
    if (!Name || !StartTime || !EndTime || !pVal) return E_POINTER;
    *Name = nullptr;
    *StartTime = *EndTime = 0;
    *pVal = VARIANT_FALSE;
    if (!qivctl::slotValid(state_, state_.currentSlot) || !state_.slots[size_t(state_.currentSlot)].node) return E_FAIL;
    pelSetLanguage(state_.language);
    const std::vector<qivctl::MenuSubAnimation> table = SubAnimations(state_.currentSlot);
    if (Index < 0 || size_t(Index) >= table.size())
        return qcom::setErrorInfo(E_INVALIDARG, L"There is no sub-animation with this index.", IID_IQivPlayer2,
                                  L"QivPlayer");
    const std::wstring name = win::Wide(table[size_t(Index)].name);
    *Name = SysAllocStringLen(name.data(), UINT(name.size()));
    if (!*Name) return E_OUTOFMEMORY;
    *StartTime = table[size_t(Index)].start;
    *EndTime = table[size_t(Index)].end;
    *pVal = VARIANT_TRUE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::StartSubAnimation(LONG Index, VARIANT_BOOL repeat, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    if (!qivctl::slotValid(state_, state_.currentSlot)) return S_OK;
    *pVal = vb(StartSubAnimationOf(state_.currentSlot, Index, repeat != VARIANT_FALSE));
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::Show2DView(VARIANT_BOOL view2D) try {
    const bool want = view2D != VARIANT_FALSE;
    const qivctl::Show2DPlan p = qivctl::show2DView(want, PreviewPicture() != nullptr);
    SwapPreviewAndBackground();
    view2D_ = want;
    if (p.previewBackground)
        qivctl::previewBackground(state_.background, BackgroundPicture());
    else
        qivctl::backgroundForMode(state_.background, props_.backPicMode, BackgroundPicture(), props_.backPicOffsetX,
                                  props_.backPicOffsetY, state_.backColor);
    fzPrepareBackground(&state_.background);
    state_.frameValid = false;
    Redraw(true);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::OneTimeRaytrace() try {
    win_->frameMode = qivctl::kOneTimeRaytraceMode;
    state_.frameValid = false;
    if (HWND w = hwnd()) InvalidateRect(w, nullptr, FALSE);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::ShowAll() try {
    if (!state_.sceneRoots) return S_OK;
    // The home view of the whole scene: its box again, the first angles.
    state_.viewValid = false;
    state_.phi = kQivDefaultPhi;
    state_.psi = kQivDefaultPsi;
    SetupFrame(state_.sceneRoots, false, false);
    Redraw(true);
    if (!viewChangesHeld())
        for (int32_t id : qivctl::kShowAllNotices) FireOnChanged(id);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

// ---- verbs, command target, deactivation ----

HRESULT CQivPlayerCtl::onDoVerb(LONG verb, MSG*, IOleClientSite*, HWND, const RECT* pos) {
    if (verb != 1 && verb != 2) return E_NOTIMPL;
    const bool hasAnimation =
        qivctl::slotValid(state_, state_.currentSlot) && state_.slots[size_t(state_.currentSlot)].hasAnimation;
    const qivctl::VerbPlan p = qivctl::verbPlan(verb, props_.loadObjectMenu, ready(), hasAnimation);
    if (p.loadDialog) {
        bool handled = false;
        onCommand(qivctl::kMenuLoadObject, 0, handled);
        if (ready()) inPlaceActivate(OLEIVERB_SHOW, pos);
        return S_OK;
    }
    if (p.toggleAnimation) {
        inPlaceActivate(OLEIVERB_SHOW, pos);
        VARIANT_BOOL playing = VARIANT_FALSE;
        get_AnimPlaying(&playing);
        put_AnimPlaying(vb(playing == VARIANT_FALSE));
    }
    return S_OK;
}

HRESULT CQivPlayerCtl::onQueryCommand(const GUID* group, ULONG id, DWORD* flags) {
    if (!group || !IsEqualGUID(*group, kCommandGroup)) return OLECMDERR_E_UNKNOWNGROUP;
    if (qivctl::menuCommandOf(id, SIZE_MAX, SIZE_MAX).kind == qivctl::MenuCommand::Kind::None)
        return OLECMDERR_E_NOTSUPPORTED;
    const std::vector<qivctl::MenuItem> menu = popupMenuItems(true);
    const qivctl::MenuItem* item = qivctl::findMenuItem(menu, id);
    // A display mode can always be chosen, also the one the menu leaves out.
    const bool enabled = item ? item->enabled : qivctl::displayModeOfCommand(id) >= 0;
    *flags = OLECMDF_SUPPORTED | (enabled ? OLECMDF_ENABLED : 0) | (item && item->checked ? OLECMDF_LATCHED : 0);
    return S_OK;
}

HRESULT CQivPlayerCtl::onExecCommand(const GUID* group, DWORD id, DWORD, VARIANT*, VARIANT*) {
    DWORD flags = 0;
    HRESULT hr = onQueryCommand(group, id, &flags);
    if (hr != S_OK) return hr;
    if (!(flags & OLECMDF_ENABLED)) return OLECMDERR_E_DISABLED;
    bool handled = false;
    onCommand(id, 0, handled);
    return handled ? S_OK : OLECMDERR_E_NOTSUPPORTED;
}

void CQivPlayerCtl::onInPlaceDeactivating() {
    HWND w = hwnd();
    if (!w) return;
    // Zoom-button repeat, tooltip and delayed-load timers; the mouse capture.
    for (UINT_PTR id : {UINT_PTR(2), UINT_PTR(3), UINT_PTR(33), UINT_PTR(55)}) KillTimer(w, id);
    HWND captured = GetCapture();
    if (captured && (captured == w || captured == win_->hardwareWindow)) ReleaseCapture();
}
