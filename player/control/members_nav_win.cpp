// Navigation members and services of the control: the small picture of the frame, the
// user-movement mask, scripted walk steps, the zoom step, the spin clock and what runs after
// each drawn frame.
#include <windows.h>

#include <cmath>
#include <string>

#include "backend_win.h"
#include "clickstate.h"
#include "com/guard.h"
#include "ctlmodule_win.h"
#include "document_win.h"
#include "frameticks.h"
#include "minibitmap.h"
#include "navhost_win.h"
#include "qivctl_win.h"
#include "slots.h"
#include "win/wintext.h"
#include "window_win.h"

STDMETHODIMP CQivPlayerCtl::SaveMiniBitmap(BSTR FileName, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = VARIANT_FALSE;
    if (hwnd() && !InitWindow()) return E_FAIL;
    if (hwnd()) UpdateWindow(hwnd());
    if (!state_.frame) return S_OK;
    const std::string name = win::AnsiOfBstr(FileName);
    if (name.empty() || name.find('\0') != std::string::npos) return S_OK;
    const std::vector<uint8_t> file = qivctl::miniBitmapFile(state_.frame, state_.camera.rowsUp != 0);
    if (file.empty()) return S_OK;
    // An untrusted caller's name is a suggestion for the user's choice; an existing file
    // is overwritten only when the user agreed in the dialog.
    std::string target = name;
    bool replace = false;
    if (CallerUntrusted() ? !AskSaveFile(name, IDS_SAVE_BITMAP, IDS_FILTER_BITMAP, ".bmp", &target, &replace)
                          : !qivctl::fileNameAllowed(name))
        return S_OK;
    if (!qivWriteWholeFile(target, file, replace)) return S_OK;
    MarkFileForCaller(target);
    *pVal = VARIANT_TRUE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::DisableUserMovements(LONG newMask, LONG* oldMask) try {
    if (!oldMask) return E_POINTER;
    *oldMask = LONG(userMovements_);
    userMovements_ = uint32_t(newMask);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP CQivPlayerCtl::WalkThroughStep(qivWalkThroughDirection dir, float howFar, VARIANT_BOOL* pVal) try {
    if (!pVal) return E_POINTER;
    // True in every case; without a view, or with a distance that is not finite, nothing moves.
    *pVal = VARIANT_TRUE;
    if (std::isfinite(howFar) && state_.viewValid)
        navController().walkThroughStep(int32_t(dir), howFar, GetTickCount());
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

void CQivPlayerCtl::ZoomBy(float factor, bool announce) {
    if (!state_.viewValid) return;
    float zoom = 1;
    get_Zoom(&zoom);
    CamRecord& c = state_.camera;
    if (!navZoomWindow(zoom, factor, &c.winXMin, &c.winXMax, &c.winYMin, &c.winYMax)) return;
    camUpdate(&c);
    UpdateScrollBars();
    state_.frameValid = false;
    win_->frameShown = false;
    if (announce) {
        FireOnChanged(qivdispid::Zoom);
        fireViewChange();
    }
    Redraw(true);
}

void CQivPlayerCtl::ZoomStep(int kind) {
    if (!state_.sceneRoots) return;
    if (kind == 1) ZoomBy(0.93f, true);
    if (kind == 2) ZoomBy(1.07f, true);
    if (kind == 3) put_Zoom(1.0f);
}

NavSpin& CQivPlayerCtl::spinClock() {
    NavSpin& s = win_->spin;
    s.speedPhi = state_.spinPhi;
    s.speedPsi = state_.spinPsi;
    s.keepSpinning = state_.keepSpinning;
    return s;
}

void CQivPlayerCtl::spinChanged() {
    const NavSpin& s = win_->spin;
    state_.spinPhi = s.speedPhi;
    state_.spinPsi = s.speedPsi;
    state_.keepSpinning = s.keepSpinning;
}

bool CQivPlayerCtl::navWalking() const { return nav_ && props_.walkthrough && nav_->nav.walking(); }

void CQivPlayerCtl::AfterFrame() {
    HWND w = hwnd();
    if (!w) return;
    POINT pt;
    GetCursorPos(&pt);
    ScreenToClient(w, &pt);
    RECT client;
    GetClientRect(w, &client);
    if (navWalking()) {
        const NavKeys keys{GetAsyncKeyState(VK_CONTROL) < 0, GetAsyncKeyState(VK_SHIFT) < 0};
        navController().walkTick(pt.x, pt.y, keys, GetTickCount());
        RequestFrameTick(w);
    }
    if (hoverX_ >= 0) {
        if (PtInRect(&client, pt))
            TrackHover(pt.x, pt.y);
        else
            EndHover();
    }
}

// While a button is held, mouse moves, then a right-button release, then key presses that
// wait are handled first; with none waiting the mouse counts as moved to where it is, so a
// held drag keeps the view moving.
void CQivPlayerCtl::KeepDragGoing() {
    HWND w = hwnd();
    if (!w || !nav_ || !navController().captured()) return;
    if (PumpMessages(w, WM_MOUSEMOVE, 0) || PumpMessages(w, WM_RBUTTONUP, 0) || PumpMessages(w, WM_KEYDOWN, 0))
        return;
    if (!hwnd() || !navController().captured()) return;
    POINT pt;
    if (!GetCursorPos(&pt) || !ScreenToClient(w, &pt)) return;
    WPARAM keys = 0;
    if (GetAsyncKeyState(VK_LBUTTON) < 0) keys |= MK_LBUTTON;
    if (GetAsyncKeyState(VK_RBUTTON) < 0) keys |= MK_RBUTTON;
    if (GetAsyncKeyState(VK_SHIFT) < 0) keys |= MK_SHIFT;
    if (GetAsyncKeyState(VK_CONTROL) < 0) keys |= MK_CONTROL;
    MouseButtons(WM_MOUSEMOVE, keys, MAKELPARAM(pt.x, pt.y));
}

void CQivPlayerCtl::NavCursorState(qivctl::CursorState& cs) {
    cs.walkthrough = props_.walkthrough;
    if (!nav_) return;
    const NavController& nav = nav_->nav;
    cs.headMoving = nav.walkLooking();
    cs.zoomDrag = nav.zooming();
    cs.panDrag = nav.panning();
    cs.objectGrabbed = nav.draggedObject() >= 0;
    cs.heldHidesCursor = (nav_->dragFlags() & 0x100) != 0;
    cs.overMovable = !cs.objectGrabbed && qivctl::slotMovableOwner(state_, hoverSlot_) >= 0;
    if (qivctl::slotValid(state_, hoverSlot_)) {
        const QivObjectSlot& s = state_.slots[size_t(hoverSlot_)];
        const int32_t index = qivctl::clickSubAnimation(
            props_.animateOnClick, qivctl::PartValues(s.chunkData.data(), s.chunkData.size()), hoverIndex_);
        cs.overAnimation = index >= 0 && index < s.subAnimCount;
    }
}

void CQivPlayerCtl::NavSceneGone() {
    if (nav_) nav_->sceneGone();
    EndHover();
    hoverSlot_ = hoverIndex_ = -1;
}

void CQivPlayerCtl::NavCaptureChanged(HWND to) {
    if (to != hwnd() && nav_) nav_->nav.captureLost();
}

int32_t CQivPlayerCtl::DraggedObject() const { return nav_ ? nav_->nav.draggedObject() : -1; }

void CQivPlayerCtl::CommitObjectDrag() {
    if (nav_) nav_->commitObjectDrag();
}

void CQivPlayerCtl::DragObjectAtCursor(int32_t slot) {
    HWND w = hwnd();
    if (!w || !qivctl::slotValid(state_, slot)) return;
    POINT pt{};
    GetCursorPos(&pt);
    ScreenToClient(w, &pt);
    navController().dragObject(slot, pt.x, pt.y);
}
