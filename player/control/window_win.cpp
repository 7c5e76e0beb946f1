// The control window: first activation, the message map, the control bar along its edges
// with its layout and scroll bars, cursors, timers, the animation step before each frame,
// the hardware child window and the control's message boxes.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "backend_win.h"
#include "background.h"
#include "controlbar.h"
#include "ctlmessage.h"
#include "ctlmodule_win.h"
#include "cursors.h"
#include "dialogs_win.h"
#include "frameticks.h"
#include "menustate.h"
#include "qivctl_win.h"
#include "render/fzbuffer.h"
#include "render/clear.h"
#include "render/kvdirectx.h"
#include "sharedlights.h"
#include "useropts_win.h"
#include "viewmaths.h"
#include "window_win.h"

namespace {

enum : UINT {
    kMsgNextTransfer = WM_USER + 75,
    kMsgThumbnail = WM_USER + 76,
    kMsgHtmlCopied = WM_USER + 251,
    kMsgHardwareLost = WM_USER + 252,
    kMsgRedraw = WM_USER + 253,
    kMsgMouseReleased = WM_USER + 254,
};
enum : UINT { kStrLink = IDS_MAKER_URL, kStrInfoLine = IDS_INFO_LINE, kStrCancel = IDS_CANCEL, kStrAborted = IDS_ABORTED,
              kStrErrorTitle = IDS_ERROR_TITLE };
enum : UINT_PTR { kTimerZoomIn = 2, kTimerZoomOut = 3, kTimerTooltip = 33, kTimerDelayedLoad = 55 };

std::string loadString(UINT id) {
    char buf[1024] = {};
    int n = LoadStringA(qivModuleInstance(), id, buf, sizeof buf);
    return n > 0 ? std::string(buf, size_t(n)) : std::string();
}

HWND childOf(const QivWindowParts& w, int id) {
    if (id >= qivctl::BarRayTrace && id <= qivctl::BarCancel) return w.bar[id - qivctl::BarRayTrace];
    if (id == qivctl::BarLink) return w.link;
    if (id == qivctl::BarProgress) return w.progress;
    return nullptr;
}

qivctl::BarMetrics metrics() {
    qivctl::BarMetrics m;
    m.vScrollWidth = GetSystemMetrics(SM_CXVSCROLL);
    m.hScrollHeight = GetSystemMetrics(SM_CYHSCROLL);
    m.hScrollArrowWidth = GetSystemMetrics(SM_CXHSCROLL);
    m.vScrollArrowHeight = GetSystemMetrics(SM_CYVSCROLL);
    return m;
}

const char kHardwareClass[] = "D3D hardware";
bool g_hardwareClassRegistered = false;

LRESULT CALLBACK hardwareWindowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(w, &ps);
            EndPaint(w, &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return 0;
        case WM_NCCREATE:
        case WM_NCDESTROY:
        case WM_NCCALCSIZE:
        case WM_DESTROY:
            return DefWindowProcA(w, msg, wp, lp);
        default:
            if (HWND parent = GetParent(w)) return SendMessageA(parent, msg, wp, lp);
            return DefWindowProcA(w, msg, wp, lp);
    }
}

bool registerHardwareWindowClass() {
    if (g_hardwareClassRegistered) return true;
    WNDCLASSA wc{};
    wc.lpfnWndProc = hardwareWindowProc;
    wc.hInstance = qivModuleInstance();
    wc.hCursor = nullptr;
    wc.lpszClassName = kHardwareClass;
    if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    g_hardwareClassRegistered = true;
    return true;
}

}  // namespace

void qivUnregisterHardwareWindowClass() {
    if (g_hardwareClassRegistered) UnregisterClassA(kHardwareClass, qivModuleInstance());
    g_hardwareClassRegistered = false;
}

// ---- activation ----

void CQivPlayerCtl::onInPlaceActivated() { InitWindow(); }

int CQivPlayerCtl::InitWindow() {
    HWND w = hwnd();
    if (!w) return 0;
    QivWindowParts& p = *win_;
    if (p.initialised) return 1;
    if (p.suppressInit) return 0;
    p.initialised = true;
    LONG_PTR style = GetWindowLongPtrW(w, GWL_STYLE);
    if (!(style & WS_CLIPCHILDREN)) SetWindowLongPtrW(w, GWL_STYLE, style | WS_CLIPCHILDREN);
    RECT client;
    GetClientRect(w, &client);
    CreateControlBar(client);
    Layout(client);
    RegisterDragDrop(w, DropTargetInterface());
    if (p.texturePath.empty()) p.texturePath = GetTexturePath() ? GetTexturePath() : "";
    applyWindowStyle();
    UpdateWindow(w);
    RefreshBarState();
    // A play request waits for its object when there is none yet.
    if (p.startAnimationPending && state_.currentSlot >= 0) {
        p.startAnimationPending = false;
        StartObjectAnimation(state_.currentSlot);
    }
    bool dead = false;
    state_.uiDead = (ambientUIDead(dead) && dead) || !state_.enabled;
    StartLoadsOnActivation();
    return 1;
}

// ---- control bar ----

void CQivPlayerCtl::CreateControlBar(const RECT&) {
    HWND w = hwnd();
    QivWindowParts& p = *win_;
    if (!w || p.bar[qivctl::BarHScroll - qivctl::BarRayTrace]) return;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    HINSTANCE inst = qivModuleInstance();
    auto make = [&](const char* cls, const char* text, DWORD style, int id) {
        return CreateWindowExA(0, cls, text, WS_CHILD | style, 0, 0, 0, 0, w,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), inst, nullptr);
    };
    auto& b = p.bar;
    b[1] = make("SCROLLBAR", "", SBS_HORZ, qivctl::BarHScroll);
    b[2] = make("SCROLLBAR", "", SBS_VERT, qivctl::BarVScroll);
    b[3] = CreateRepeatButton(0, "+", qivctl::BarPlus, 1);
    b[4] = CreateRepeatButton(1, "a", qivctl::BarAuto, 3);
    b[5] = CreateRepeatButton(2, "-", qivctl::BarMinus, 2);
    b[0] = make("BUTTON", "R", BS_PUSHBUTTON, qivctl::BarRayTrace);
    b[6] = make("BUTTON", "", BS_PUSHBUTTON | BS_ICON, qivctl::BarAnimStart);
    b[7] = make("BUTTON", "", BS_PUSHBUTTON | BS_ICON, qivctl::BarAnimStop);
    for (int i : {6, 7}) {
        HANDLE icon = LoadImageA(inst, MAKEINTRESOURCEA(i == 6 ? 208 : 210), IMAGE_ICON, 16, 16, 0);
        if (b[i] && icon) SendMessageA(b[i], BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
    }
    b[8] = make(TRACKBAR_CLASSA, "", TBS_AUTOTICKS | WS_DISABLED, qivctl::BarTrack);
    if (b[8]) {
        SendMessageA(b[8], TBM_SETRANGE, FALSE, MAKELPARAM(0, 100));
        SendMessageA(b[8], TBM_SETTICFREQ, 10, 0);
    }
    std::string cancel = loadString(kStrCancel);
    b[9] = make("BUTTON", cancel.empty() ? "Cancel" : cancel.c_str(), WS_BORDER, qivctl::BarCancel);
    HGDIOBJ font = GetStockObject(DEFAULT_GUI_FONT);
    for (HWND c : b)
        if (c) SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    p.progress = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | PBS_SMOOTH, 0, 0, 0, 0, w, nullptr, inst, nullptr);
    if (p.progress) {
        SendMessageA(p.progress, PBM_SETBKCOLOR, 0, 0xFFC000);
        SendMessageA(p.progress, PBM_SETBARCOLOR, 0, 0xE06000);
        SendMessageA(p.progress, PBM_SETPOS, 0, 0);
    }
    std::string link = loadString(kStrLink);
    p.link = CreateBarLink(link);
    if (HDC dc = GetDC(w)) {
        HGDIOBJ old = SelectObject(dc, font);
        GetTextExtentPoint32A(dc, link.c_str(), int(link.size()), &p.linkText);
        SelectObject(dc, old);
        ReleaseDC(w, dc);
    }
}

void CQivPlayerCtl::RefreshBarState() {
    QivWindowParts& p = *win_;
    bool has = false, running = false;
    if (state_.currentSlot >= 0 && size_t(state_.currentSlot) < state_.slots.size()) {
        const QivObjectSlot& s = state_.slots[size_t(state_.currentSlot)];
        has = s.inUse && s.hasAnimation;
        running = has && s.animPlaying;
    }
    p.hasAnimation = has;
    if (HWND start = p.bar[qivctl::BarAnimStart - qivctl::BarRayTrace]) EnableWindow(start, has && !running);
    if (HWND stop = p.bar[qivctl::BarAnimStop - qivctl::BarRayTrace]) EnableWindow(stop, has && running);
    if (HWND track = p.bar[qivctl::BarTrack - qivctl::BarRayTrace]) EnableWindow(track, has);
}

static qivctl::BarState barState(const QivControlState& st, const QivWindowParts& p) {
    qivctl::BarState s;
    s.hideControls = p.hideControls;
    s.hideScrollBars = p.hideScrollBars;
    s.hasAnimation = p.hasAnimation;
    s.animationRunning = p.animationRunning;
    s.rayTraceEnabled = p.rayTraceButton;
    s.loadingPanel = p.loadingPanel;
    s.statusText = st.statusText[0] != 0;
    s.linkTextWidth = p.linkText.cx;
    s.linkTextHeight = p.linkText.cy;
    return s;
}

void CQivPlayerCtl::LayoutBar(const RECT& client) {
    HWND w = hwnd();
    if (!w) return;
    QivWindowParts& p = *win_;
    if (!p.bar[1]) CreateControlBar(client);
    p.layout = qivctl::layoutBar(client.right - client.left, client.bottom - client.top, metrics(),
                                 barState(state_, p));
    static const int ids[] = {qivctl::BarRayTrace, qivctl::BarHScroll, qivctl::BarVScroll,  qivctl::BarPlus,
                              qivctl::BarAuto,     qivctl::BarMinus,   qivctl::BarAnimStart, qivctl::BarAnimStop,
                              qivctl::BarTrack,    qivctl::BarCancel,  qivctl::BarLink,     qivctl::BarProgress};
    for (int id : ids) {
        HWND c = childOf(p, id);
        const qivctl::BarItem* it = p.layout.item(id);
        if (!c || !it) continue;
        if (it->visible) {
            SetWindowPos(c, nullptr, it->rect.x, it->rect.y, it->rect.w, it->rect.h, SWP_NOZORDER | SWP_SHOWWINDOW);
            if (id >= qivctl::BarAnimStart && id <= qivctl::BarTrack) EnableWindow(c, it->enabled);
        } else {
            ShowWindow(c, SW_HIDE);
        }
    }
}

void CQivPlayerCtl::Layout(const RECT& client) {
    HWND w = hwnd();
    QivWindowParts& p = *win_;
    if (w) LayoutBar(client);
    int32_t fw = 0, fh = 0;
    qivctl::viewFrameSize(client.right - client.left, client.bottom - client.top, metrics(), barState(state_, p), &fw,
                          &fh);
    state_.frameWidth = fw;
    state_.frameHeight = fh;
    if (p.hardwareWindow) SetWindowPos(p.hardwareWindow, nullptr, 0, 0, fw, fh, SWP_NOZORDER | SWP_NOACTIVATE);
    if (!state_.frame && state_.sceneRoots && fw > 0 && fh > 0) {
        // A scene that came before the window had a size: its frame and view now.
        KeepViewingForReset();
        SetupFrame(state_.sceneRoots, false, false);
        return;
    }
    if (state_.frame) {
        fzFree(&state_.frame);
        if (fw > 0 && fh > 0) fzCreate(uint32_t(fw), uint32_t(fh), 2, &state_.frame);
        state_.job.target = state_.frame;
        state_.job.rect = IRect{0, 0, fw, fh};
        if (state_.frame) {
            QivRenderLockGuard lock;
            kvdx::dxDirectXSetContext(p.hardwareWindow);
            fzSetBackground(&state_.background);
            fzDrawBackground(state_.frame, nullptr, nullptr, &state_.camera, 1, 0);
        }
        p.frameShown = false;
        if (!state_.sceneRoots) {
            // A picture shown without scene (the preview) is drawn again at the new size.
            state_.frameValid = false;
            if (FrameHoldsBackdrop()) DrawBackdrop();
            return;
        }
        // Keep the angles, the zoom and the pan: the view is fitted to the new frame.
        float phi = state_.phi, psi = state_.psi;
        KeepViewingForReset();
        ResetView();
        state_.phi = phi, state_.psi = psi;
        SetViewFromAngles();
        UpdateScrollBars();
        state_.frameValid = false;
    }
}

void CQivPlayerCtl::UpdateScrollBars() {
    QivWindowParts& p = *win_;
    const CamRecord& c = state_.camera;
    const double view = double(c.winXMax) - double(c.winXMin);
    const double viewH = double(c.winYMax) - double(c.winYMin);
    const double scene = 2.0 * p.homeHalfWidth, sceneH = 2.0 * p.homeHalfHeight;
    double panX = 0, panY = 0;
    ViewPan(&panX, &panY);
    qivctl::ScrollBarState s;
    auto apply = [](HWND bar, const qivctl::ScrollBarState& st) {
        SCROLLINFO si{sizeof si, SIF_ALL, st.minimum, st.maximum, UINT(std::max(st.page, 0)), st.position, 0};
        SetScrollInfo(bar, SB_CTL, &si, TRUE);
    };
    if (HWND h = p.bar[1])
        if (qivctl::horizontalBarFromPan(state_.frameWidth, view, scene, panX, &s)) apply(h, s);
    if (HWND v = p.bar[2])
        if (qivctl::verticalBarFromPan(state_.frameHeight, viewH, sceneH, panY, &s)) apply(v, s);
}

void CQivPlayerCtl::Scroll(bool horizontal, int code, int position) {
    QivWindowParts& p = *win_;
    HWND bar = p.bar[horizontal ? 1 : 2];
    if (!bar) return;
    SCROLLINFO si{sizeof si, SIF_ALL};
    if (!GetScrollInfo(bar, SB_CTL, &si)) return;
    qivctl::ScrollBarState s{si.nMin, si.nMax, int32_t(si.nPage), si.nPos};
    s.position = qivctl::scrollPositionForCode(s, code, position);
    si.fMask = SIF_POS;
    si.nPos = s.position;
    SetScrollInfo(bar, SB_CTL, &si, TRUE);
    const CamRecord& c = state_.camera;
    if (horizontal)
        put_PanX(float(qivctl::panXFromHorizontalBar(s, double(c.winXMax) - c.winXMin, 2.0 * p.homeHalfWidth)));
    else
        put_PanY(float(qivctl::panYFromVerticalBar(s, double(c.winYMax) - c.winYMin, 2.0 * p.homeHalfHeight)));
}

// ---- cursors ----

bool CQivPlayerCtl::SetCursorForState(int) {
    QivWindowParts& p = *win_;
    qivctl::CursorState cs;
    cs.renderingHeldBack = p.renderingHeldBack;
    POINT pt;
    GetCursorPos(&pt);
    ScreenToClient(hwnd(), &pt);
    cs.insideFrame = pt.x >= 0 && pt.y >= 0 && pt.x < state_.frameWidth && pt.y < state_.frameHeight;
    cs.flyZone = state_.walkZone;
    NavCursorState(cs);
    bool ctrl = GetAsyncKeyState(VK_CONTROL) < 0, shift = GetAsyncKeyState(VK_SHIFT) < 0;
    bool left = GetAsyncKeyState(GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON) < 0;
    bool right = GetAsyncKeyState(GetSystemMetrics(SM_SWAPBUTTON) ? VK_LBUTTON : VK_RBUTTON) < 0;
    // With no button held the part under the mouse chooses (animation, grab or rotate).
    if (right || (left && ctrl))
        cs.pressed = qivctl::DragKind::Zoom;
    else if (left && shift)
        cs.pressed = qivctl::DragKind::Pan;
    else if (left)
        cs.pressed = qivctl::DragKind::Rotate;
    const qivctl::CursorChoice choice = qivctl::cursorFor(state_.cursorType, cs);
    switch (choice.kind) {
        case qivctl::CursorChoice::NotSet:
            return false;
        case qivctl::CursorChoice::Hidden:
            SetCursor(nullptr);
            return true;
        case qivctl::CursorChoice::System: {
            static const LPCSTR ids[] = {IDC_APPSTARTING, IDC_ARROW, IDC_CROSS,  IDC_HELP,   IDC_IBEAM,
                                         IDC_NO,          IDC_SIZEALL, IDC_SIZENESW, IDC_SIZENS, IDC_SIZENWSE,
                                         IDC_SIZEWE,      IDC_UPARROW, IDC_WAIT};
            if (choice.id < 0 || choice.id >= 13) return false;
            SetCursor(LoadCursorA(nullptr, ids[choice.id]));
            return true;
        }
        case qivctl::CursorChoice::Resource: {
            for (int i = 0; i < kQivCursorCount; ++i)
                if (kQivCursorIds[i] == choice.id && cursor(i)) {
                    SetCursor(cursor(i));
                    return true;
                }
            HCURSOR c = LoadCursorA(qivModuleInstance(), MAKEINTRESOURCEA(choice.id));
            if (!c) return false;
            SetCursor(c);
            return true;
        }
    }
    return false;
}

// ---- animation ----

void CQivPlayerCtl::AnimationStep() {
    QivWindowParts& p = *win_;
    const uint32_t now = GetTickCount();
    if (p.animationRunning) {
        bool any = false;
        for (size_t i = 0; i < state_.slots.size(); ++i) {
            QivObjectSlot& s = state_.slots[i];
            if (!s.inUse || !s.animPlaying) continue;
            qivctl::AnimClock clock;
            clock.start = s.animStart;
            clock.end = s.animEnd;
            clock.speed = s.animSpeed;
            clock.rate = s.animRate > 0 ? s.animRate : 1.0;
            clock.startTick = s.animStartTick;
            clock.autoRepeat = s.autoRepeat;
            const qivctl::AnimStepResult r = qivctl::animStep(clock, now);
            s.animTime = float(clock.time);
            s.animStartTick = clock.startTick;
            if (r == qivctl::AnimStepResult::Finished) {
                s.animPlaying = false;
                FireAnimationDone(int32_t(i));
                if (int32_t(i) == state_.currentSlot) RefreshBarState();
            } else {
                any = true;
            }
        }
        if (!any) p.animationRunning = false;
    }
    if (!props_.walkthrough && (state_.spinPhi != 0 || state_.spinPsi != 0)) {
        float phi = state_.phi, psi = state_.psi;
        if (navSpinTick(&spinClock(), now, &phi, &psi) && AnglesAllowed(phi, psi)) {
            state_.phi = phi;
            state_.psi = psi;
            SetViewFromAngles();
            FireOnChanged(qivdispid::Phi);
            FireOnChanged(qivdispid::Psi);
        }
    }
    if (p.animationRunning && state_.currentSlot >= 0 && size_t(state_.currentSlot) < state_.slots.size()) {
        const QivObjectSlot& s = state_.slots[size_t(state_.currentSlot)];
        if (HWND track = p.bar[qivctl::BarTrack - qivctl::BarRayTrace])
            SendMessageA(track, TBM_SETPOS, TRUE, qivctl::trackBarPosition(s.animStart, s.animEnd, s.animTime));
    }
    state_.frameValid = false;
}

void CQivPlayerCtl::StartObjectAnimation(int32_t slot) {
    if (slot < 0 || size_t(slot) >= state_.slots.size()) return;
    QivObjectSlot& s = state_.slots[size_t(slot)];
    if (!s.inUse || !s.hasAnimation) return;
    const float rate = s.animRate > 0 ? s.animRate : 1.0f;
    const float speed = s.animSpeed != 0 ? s.animSpeed : 1.0f;
    // The clock resumes at the current time.
    s.animStartTick = GetTickCount() - uint32_t(std::max(0.0f, (s.animTime - s.animStart) / (rate * 0.001f * speed)));
    s.animPlaying = true;
    win_->animationRunning = true;
    if (slot == state_.currentSlot) RefreshBarState();
    if (!eventsFrozen()) FireAnimationStarted(slot, 0, L"", s.autoRepeat);
    FireOnChanged(qivdispid::AnimPlaying);
    RequestFrameTick(hwnd());
    state_.frameValid = false;
}

void CQivPlayerCtl::StopObjectAnimation(int32_t slot) {
    if (slot < 0 || size_t(slot) >= state_.slots.size()) return;
    QivObjectSlot& s = state_.slots[size_t(slot)];
    if (!s.animPlaying) return;
    s.animPlaying = false;
    bool any = false;
    for (const QivObjectSlot& o : state_.slots) any = any || (o.inUse && o.animPlaying);
    win_->animationRunning = any;
    if (slot == state_.currentSlot) RefreshBarState();
    Redraw(true);
    FireAnimationDone(slot);
    FireOnChanged(qivdispid::AnimPlaying);
}

// ---- messages ----

void CQivPlayerCtl::ShowMessage(UINT stringId, const std::string& argument) {
    std::string text = qivctl::formatMessage(loadString(stringId), argument);
    std::string title = loadString(kStrErrorTitle);
    if (title.empty()) title = "Qiv-Player error";
    // The container knows that a modal dialog is up while the box shows.
    EnableFrameModeless(this, false);
    qivShowMessage(hwnd(), text.c_str(), title.c_str(), MB_OK);
    EnableFrameModeless(this, true);
}

// ---- hardware child window ----

void CQivPlayerCtl::CreateHardwareWindow() {
    QivWindowParts& p = *win_;
    if (p.hardwareWindow || state_.rendererKind == qivctl::kRendererSoftware || !hwnd()) return;
    if (!registerHardwareWindowClass()) return;
    QivRenderLockGuard lock;
    p.hardwareWindow = CreateWindowExA(0, kHardwareClass, "", WS_CHILD, 0, 0, std::max(state_.frameWidth, 1),
                                       std::max(state_.frameHeight, 1), hwnd(), nullptr, qivModuleInstance(), nullptr);
    if (!p.hardwareWindow) return;
    kvdx::dxSetActive(1);
    if (!kvdx::dxAttachWindow(1, p.hardwareWindow)) {
        DestroyWindow(p.hardwareWindow);
        p.hardwareWindow = nullptr;
        kvdx::dxSetActive(0);
        state_.rendererKind = qivctl::kRendererSoftware;
        return;
    }
    SetWindowPos(p.hardwareWindow, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
}

// Use of 3D hardware on or off, kept in the user options.
void CQivPlayerCtl::ToggleHardware() {
    const qivctl::HardwareToggle t = qivctl::toggleHardware(qivHardwareDeviceAvailable(), state_.rendererKind);
    if (!t.createWindow && !t.destroyWindow) return;
    if (t.destroyWindow) DestroyHardwareWindow();
    state_.rendererKind = t.rendererKind;
    if (t.createWindow) CreateHardwareWindow();
    // A device window that could not be made leaves the software renderer and the option.
    if (t.use3DHardware >= 0 && state_.rendererKind == t.rendererKind) SetUse3DHardware(DWORD(t.use3DHardware));
    state_.frameValid = false;
    win_->stats.startTick = GetTickCount();
    win_->stats.frames = 0;
    Redraw(true);
}

void CQivPlayerCtl::DestroyHardwareWindow() {
    QivWindowParts& p = *win_;
    if (!p.hardwareWindow) return;
    QivRenderLockGuard lock;
    kvdx::dxDirectXSetContext(p.hardwareWindow);
    kvdx::dxAttachWindow(0, p.hardwareWindow);
    DestroyWindow(p.hardwareWindow);
    kvdx::dxSetActive(0);
    p.hardwareWindow = nullptr;
}

// ---- the message map ----

void CQivPlayerCtl::onSize(int width, int height) {
    if (width <= 0 || height <= 0) return;
    if (!qivctl::sizeNeedsLayout(width, height, metrics(), barState(state_, *win_), state_.frameWidth,
                                 state_.frameHeight)) {
        RECT client{0, 0, width, height};
        LayoutBar(client);
        return;
    }
    RECT client{0, 0, width, height};
    Layout(client);
    InvalidateRect(hwnd(), nullptr, FALSE);
}

void CQivPlayerCtl::onDestroy() {
    OnWindowClosing();
    QivWindowParts& p = *win_;
    if (p.hardwareWindow) DestroyHardwareWindow();
    RevokeDragDrop(hwnd());
    RemoveFrameTick(hwnd());
}

void CQivPlayerCtl::onWindowDestroyed() {
    QivWindowParts& p = *win_;
    p.initialised = false;
    for (HWND& b : p.bar) b = nullptr;
    p.link = p.progress = nullptr;
    p.hardwareWindow = nullptr;
}

LRESULT CQivPlayerCtl::onTimer(WPARAM id, bool& handled) {
    handled = true;
    switch (id) {
        case qivctl::kFrameTickTimerId:
            if (somethingMoves()) Redraw(false);  // held while updates are disabled
            return 0;
        case kTimerTooltip:
            ShowTooltip();
            return 0;
        case kTimerDelayedLoad:
            KillTimer(hwnd(), kTimerDelayedLoad);
            OnLoadTimer();
            OnDelayedLoadTimer();
            return 0;
        default:
            handled = false;
            return 0;
    }
}

LRESULT CQivPlayerCtl::onCommand(WPARAM wp, LPARAM, bool& handled) {
    const UINT id = LOWORD(wp), code = HIWORD(wp);
    handled = true;
    switch (id) {
        case qivctl::BarRayTrace:
            if (code == 0) OneTimeRaytrace();
            return 0;
        case qivctl::kMenuRayTrace:
            OneTimeRaytrace();
            return 0;
        case qivctl::BarAnimStart:
            if (code != 0) break;
            if (!hwnd()) {
                win_->startAnimationPending = true;
            } else if (win_->hasAnimation) {
                StartObjectAnimation(state_.currentSlot);
                fireViewChange();
            }
            return 0;
        case qivctl::BarAnimStop:
            if (code != 0) break;
            StopObjectAnimation(state_.currentSlot);
            fireViewChange();
            return 0;
        case qivctl::BarCancel: {
            if (code != 0) break;
            state_.cancelRequested = true;
            std::string t = loadString(kStrAborted);
            lstrcpynA(state_.statusText, t.c_str(), sizeof state_.statusText);
            InvalidateRect(hwnd(), nullptr, TRUE);
            UpdateWindow(hwnd());
            return 0;
        }
        case qivctl::kMenuHideControls:
            put_HideControls(win_->hideControls ? VARIANT_FALSE : VARIANT_TRUE);
            return 0;
        case qivctl::kMenuFilter:
            put_Filter(win_->filter ? VARIANT_FALSE : VARIANT_TRUE);
            return 0;
        case qivctl::kMenuShowAll:
            ShowAll();
            return 0;
        case qivctl::kMenuLoadObject:
            ShowLoadObjectDialog(this);
            return 0;
        case qivctl::kMenuInfo:
            ShowInfoDialog(this);
            return 0;
        case qivctl::kMenuBackground:
            ShowBackgroundDialog(this);
            return 0;
        case qivctl::kMenuSettings:
            ShowSettingsDialog(this);
            return 0;
        case qivctl::kMenuUse3DHardware:
            ToggleHardware();
            return 0;
        default:
            break;
    }
    if (MenuCommand(id)) return 0;
    if (id >= qivctl::kMenuModeShaded && id <= qivctl::kMenuModeHiddenOpaque) {
        static const qivDisplayMode modes[] = {qivDisplayMode(3), qivDisplayMode(0), qivDisplayMode(1),
                                               qivDisplayMode(2), qivDisplayMode(4), qivDisplayMode(5)};
        put_DisplayMode(modes[id - qivctl::kMenuModeShaded]);
        return 0;
    }
    if (id >= qivctl::kMenuHostFirst && id <= qivctl::kMenuHostLast) {
        RunHostMenuCommand(id);
        return 0;
    }
    handled = false;
    return 0;
}

LRESULT CQivPlayerCtl::onMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
    handled = true;
    switch (msg) {
        case WM_ERASEBKGND:
            // The system erases what it uncovers (so do full repaints); the per-frame redraws do not.
            win_->exposed = true;
            return 1;
        case WM_SIZE:
            if (wp != SIZE_MINIMIZED) onSize(LOWORD(lp), HIWORD(lp));
            return 0;
        case WM_TIMER:
            return onTimer(wp, handled);
        case WM_SETCURSOR: {
            HWND over = reinterpret_cast<HWND>(wp);
            qivctl::SetCursorState cs;
            cs.ownWindow = over == hwnd() || (over && over == win_->hardwareWindow);
            cs.tooltip = tooltipWindow() != nullptr;
            cs.cursorOverOther = over != hwnd();
            cs.inputDead = state_.uiDead;
            cs.objectLoaded = state_.usedCount > 0;
            cs.viewSet = state_.viewValid;
            cs.clientHit = LOWORD(lp) == HTCLIENT;
            cs.statusText = state_.statusText[0] != 0;
            switch (qivctl::setCursorAction(cs)) {
                case qivctl::SetCursorAction::StateCursor:
                    if (SetCursorForState(LOWORD(lp))) return TRUE;
                    break;
                case qivctl::SetCursorAction::WaitCursor:
                    SetCursor(LoadCursor(nullptr, IDC_WAIT));
                    return TRUE;
                case qivctl::SetCursorAction::EndHover:
                    EndHover();
                    break;
                case qivctl::SetCursorAction::NotHandled:
                    break;
            }
            handled = false;
            return 0;
        }
        case WM_KEYDOWN:
            OnKeyDown(UINT(wp));
            return 0;
        case WM_KEYUP:
            OnKeyUp(UINT(wp), true);
            return 0;
        case WM_CAPTURECHANGED:
            NavCaptureChanged(reinterpret_cast<HWND>(lp));
            return 0;
        case WM_HSCROLL: {
            HWND from = reinterpret_cast<HWND>(lp);
            if (from && from == win_->bar[1]) {
                Scroll(true, LOWORD(wp), HIWORD(wp));
            } else if (from && from == win_->bar[qivctl::BarTrack - qivctl::BarRayTrace]) {
                int pos = int(SendMessageA(from, TBM_GETPOS, 0, 0));
                if (state_.currentSlot >= 0 && size_t(state_.currentSlot) < state_.slots.size()) {
                    QivObjectSlot& s = state_.slots[size_t(state_.currentSlot)];
                    s.animTime = float(qivctl::trackBarTime(s.animStart, s.animEnd, pos));
                    Redraw(true);
                }
            } else {
                handled = false;
            }
            return 0;
        }
        case WM_VSCROLL:
            if (reinterpret_cast<HWND>(lp) == win_->bar[2]) {
                Scroll(false, LOWORD(wp), HIWORD(wp));
                return 0;
            }
            handled = false;
            return 0;
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lp) == win_->link) {
                HDC dc = reinterpret_cast<HDC>(wp);
                SetTextColor(dc, 0xE06000);
                SetBkMode(dc, TRANSPARENT);
                return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
            }
            handled = false;
            return 0;
        case WM_COMMAND:
            return onCommand(wp, lp, handled);
        case WM_CONTEXTMENU:
            handled = OnContextMenu(lp);
            return 0;
        case WM_DESTROY:
            onDestroy();
            return 0;
        case WM_DISPLAYCHANGE:
            DestroyHardwareWindow();
            {
                POINT at;
                if (GetCursorPos(&at) && WindowFromPoint(at) == hwnd()) SetCursorForState(HTCLIENT);
            }
            if (qivctl::displayChanged(uint32_t(wp), LOWORD(lp), HIWORD(lp))) {
                QivRenderLockGuard lock;
                RestartDisplayBackend(&state_.rendererKind);
            }
            // The device's frame went with its window: the next one is drawn anew.
            Redraw(true);
            return 0;
        case kMsgHardwareLost:  // also the back end's own failure notice
            DestroyHardwareWindow();
            state_.rendererKind = qivctl::kRendererSoftware;
            Redraw(true);
            MessageBeep(MB_ICONASTERISK);
            return 0;
        case kMsgRedraw:
            Redraw(true);
            return 0;
        case kMsgHtmlCopied:
            ShowHtmlCopiedNotices();
            return 0;
        case kMsgThumbnail:
            OnThumbnailReady();
            return 0;
        case kMsgNextTransfer:
            OnTransferDone();
            return 0;
        case kMsgMouseReleased:
            // Only once no window holds the capture (a new drag may have taken it meanwhile).
            if (!GetCapture()) FireMouseReleased(state_.currentSlot, LONG(wp));
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_MOUSEMOVE:
            if (msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN) ContinueAfterPreview(1);
            handled = MouseButtons(msg, wp, lp);
            return 0;
        default:
            handled = false;
            return 0;
    }
}
