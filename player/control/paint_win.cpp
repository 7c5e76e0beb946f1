// Paint path of the control: the process-wide display back end and DrawDib, the frame
// buffer's set-up, one frame drawn under the render lock in software or through Direct3D,
// the copy of the changed region to the window, the ray-traced frame, the view reset, the
// shared lights and the frame ticks.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "backend_win.h"
#include "ctlmodule_win.h"
#include "frameticks.h"
#include "navhost_win.h"
#include "navigation.h"
#include "paintpath.h"
#include "qivctl_win.h"
#include "render/blit.h"
#include "render/clear.h"
#include "render/edgefilter.h"
#include "render/fzbuffer.h"
#include "render/kvdirectx.h"
#include "render/light.h"
#include "render/multiview.h"
#include "render/renderer.h"
#include "render/renderlist.h"
#include "render/rtdriver.h"
#include "render/updregion.h"
#include "scene/camera.h"
#include "scene/material.h"
#include "scene/pelchunk.h"
#include "scene/sceneops.h"
#include "sharedlights.h"
#include "serverparts_win.h"
#include "stockprops.h"
#include "useropts_win.h"
#include "window_win.h"

namespace {

// Process-wide display back end.
struct Backend {
    bool started = false;
    bool directXLoaded = false;
    bool hardwareDevice = false;
} g_backend;

// DrawDib of the process.
struct DrawDib {
    FzDrawDibRecord record{};
    bool open = false, tried = false;
    bool fault = false;  // test seam: opening fails
} g_drawDib;

void detachSharedLights() { qivctl::sharedLightsReset(); }

void detachFrameTicks() {
    // Removing the last window kills a pending timer.
    for (qivctl::TickWindow w : qivctl::frameTicks().windows()) qivctl::frameTicks().remove(w);
    qivctl::frameTicks().reset();
}

uintptr_t startTickTimer(void*) {
    return SetTimer(nullptr, qivctl::kFrameTickTimerId, qivctl::kFrameTickPeriodMs, FrameTickProc);
}
void killTickTimer(void*, uintptr_t timer) { KillTimer(nullptr, timer); }
void postTick(void*, qivctl::TickWindow window) {
    PostMessageW(reinterpret_cast<HWND>(window), WM_TIMER, qivctl::kFrameTickTimerId, 0);
}

void installTickHooks() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    qivctl::FrameTickHooks hooks;
    hooks.startTimer = startTickTimer;
    hooks.killTimer = killTickTimer;
    hooks.postTick = postTick;
    qivctl::frameTicks().setHooks(hooks);
}

// Frame buffer rows (RGB555, row 0 at the bottom) copied by StretchDIBits: the path when
// DrawDib is missing or refuses. Rectangles are in frame rows, counted from the bottom.
bool stretchCopy(HDC dc, PicRecord* frame, const IRect& r, int x, int y, int32_t shown) {
    struct {
        BITMAPINFOHEADER h;
        DWORD masks[3];
    } info{};
    info.h.biSize = sizeof(BITMAPINFOHEADER);
    info.h.biWidth = frame->width;
    info.h.biHeight = frame->height;  // bottom-up
    info.h.biPlanes = 1;
    info.h.biBitCount = static_cast<WORD>(frame->bytesPerPixel * 8);
    info.h.biCompression = BI_RGB;
    if ((frame->width * frame->bytesPerPixel) % 4 != 0) return false;
    int lines = StretchDIBits(dc, x + r.x, y + shown - r.y - r.h, r.w, r.h, r.x, r.y, r.w, r.h, frame->pixels,
                              reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY);
    return lines != 0 && lines != int(GDI_ERROR);
}

// shown: the rows of the view (the buffer's height is rounded up to an even count); frame
// row 0 goes to the view's bottom row.
bool copyRect(HDC dc, PicRecord* frame, const IRect* source, int x, int y, int32_t shown) {
    IRect r = source ? *source : IRect{0, 0, frame->width, shown};
    if (!fzClipRect(&r, frame->width, shown)) return true;
    if (g_drawDib.open && fzBlitToDc(dc, frame->bytesPerPixel, 0, nullptr, frame, &r, -x, y, shown, 1)) return true;
    return stretchCopy(dc, frame, r, x, y, shown);
}

uint32_t copyRegion(HDC dc, PicRecord* frame, const UpdateRegion* region, int x, int y, int32_t shown) {
    uint32_t n = 0;
    if (!region || !region->first) return 0;
    if (rgnPreferBounds(region)) {
        IRect b = region->bounds;
        copyRect(dc, frame, &b, x, y, shown);
        return 1;
    }
    for (const UpdateRect* r = region->first; r; r = r->next) {
        IRect i{r->x0, r->y0, r->x1 - r->x0, r->y1 - r->y0};
        copyRect(dc, frame, &i, x, y, shown);
        ++n;
    }
    return n;
}

// Ray-trace progress display.
struct RayShow {
    HDC dc = nullptr;
    PicRecord* frame = nullptr;
    IRect rect{};
    int32_t shown = 0;
} g_rayShow;

int cancelKeyTest(float) { return GetAsyncKeyState(VK_ESCAPE) < 0 ? 0 : 1; }
void showRayTraceLines() {
    if (g_rayShow.dc && g_rayShow.frame) copyRect(g_rayShow.dc, g_rayShow.frame, &g_rayShow.rect, 0, 0, g_rayShow.shown);
}

// A window rectangle in frame rows (counted from the bottom).
IRect toFrameRect(const RECT& r, int32_t frameHeight) {
    return IRect{r.left, frameHeight - r.bottom, r.right - r.left, r.bottom - r.top};
}

}  // namespace

bool qivHardwareDeviceAvailable() { return g_backend.hardwareDevice; }

// The bounding box of the roots' nodes; a unit box around the origin when none has one.
Box3 qivSceneBox(ScnNode** roots) {
    float lo[3], hi[3];
    if (!qivctl::sceneBox(roots, lo, hi)) return Box3{{-1, -1, -1}, {1, 1, 1}};
    return Box3{{lo[0], lo[1], lo[2]}, {hi[0], hi[1], hi[2]}};
}

// ---- the process's back end ----

void StartDisplayBackend(const char* language, int32_t* kind) {
    g_backend.started = true;
    if (language && language[0]) pelSetLanguage(language);
    if (kvdx::dxStartup()) {
        g_backend.directXLoaded = true;
        kvdx::dxInstallBackend();
        PicRecord* placeholder = nullptr;
        int32_t w = 0, h = 0;
        int windowed = 0;
        g_backend.hardwareDevice = kvdx::dxGetDeviceBuffer(&placeholder, &w, &h, &windowed) != 0;
        if (placeholder) fzFree(&placeholder);
    } else {
        g_backend.hardwareDevice = false;
    }
    *kind = qivctl::rendererKindFor(*kind, g_backend.hardwareDevice, GetUse3DHardware() != 0);
}

void InitDisplayBackend(const char* language, int32_t* kind) {
    if (!g_backend.started) {
        StartDisplayBackend(language, kind);
        return;
    }
    *kind = qivctl::rendererKindFor(*kind, g_backend.hardwareDevice, GetUse3DHardware() != 0);
}

void RestartDisplayBackend(int32_t* kind) {
    if (g_drawDib.open) {
        CloseDrawDib();
        OpenDrawDib();
    }
    if (g_backend.directXLoaded) kvdx::dxShutdown();
    g_backend.directXLoaded = false;
    int32_t k = qivctl::rendererKindAfterRestart(*kind);
    StartDisplayBackend(nullptr, &k);
    *kind = k;
}

void qivInstallBackendDetachSteps() {
    qivSetDetachStep(QivDetachStep::FrameTicks, detachFrameTicks);
    qivSetDetachStep(QivDetachStep::SharedLights, detachSharedLights);
    qivSetDetachStep(QivDetachStep::DrawDib, UnloadDrawDib);
}

void RequestFrameTick(HWND window) {
    if (!window) return;
    installTickHooks();
    qivctl::frameTicks().request(reinterpret_cast<qivctl::TickWindow>(window));
}

void CALLBACK FrameTickProc(HWND, UINT, UINT_PTR, DWORD) { qivctl::frameTicks().fire(); }

void RemoveFrameTick(HWND window) { qivctl::frameTicks().remove(reinterpret_cast<qivctl::TickWindow>(window)); }

void LoadDrawDib() {
    if (!g_drawDib.open) OpenDrawDib();
}

bool OpenDrawDib() {
    g_drawDib.tried = true;
    if (!g_drawDib.fault && fzOpenDrawDib(&g_drawDib.record) && fzUseDrawDib(&g_drawDib.record)) {
        g_drawDib.open = true;
    } else {
        fzCloseDrawDib(&g_drawDib.record);
        fzNoDrawDib();
    }
    return g_drawDib.open;
}

void CloseDrawDib() {
    if (!g_drawDib.open) return;
    fzNoDrawDib();
    fzCloseDrawDib(&g_drawDib.record);
    g_drawDib.open = false;
}

void UnloadDrawDib() {
    CloseDrawDib();
    g_drawDib.tried = false;
    if (g_backend.directXLoaded) kvdx::dxShutdown();
    g_backend = Backend{};
}

bool qivDrawDibOpen() { return g_drawDib.open; }
void qivSetDrawDibFault(bool fail) { g_drawDib.fault = fail; }

// ---- per control ----

void CQivPlayerCtl::AcquireSharedLights() { qivctl::acquireSharedLights(&win_->sharedLightsHeld); }

int CQivPlayerCtl::PrepareScene(ScnNode** roots, bool loadDrawDib, bool keepScrollBars, bool keepView) {
    InitDisplayBackend(state_.language, &state_.rendererKind);
    if (!roots) return 0;
    if (loadDrawDib) LoadDrawDib();
    SetupFrame(roots, keepView, keepScrollBars);
    return 1;
}

void CQivPlayerCtl::SetupFrame(ScnNode** roots, bool keepView, bool keepScrollBars) {
    QivWindowParts& w = *win_;
    const bool keep = keepView && state_.viewValid;
    if (!keep) {
        if (!roots) return;
        w.sceneBox = qivSceneBox(roots);
        w.boxValid = true;
    }
    if (!keep) ResetView();
    AcquireSharedLights();
    w.frameMode = state_.displayMode;
    state_.job = ScnRenderJob{};
    state_.job.camera = &state_.camera;
    state_.job.kind = state_.displayMode;
    state_.job.rect = IRect{0, 0, state_.frameWidth, state_.frameHeight};
    state_.frameValid = false;
    state_.bytesPerPixel = 2;
    RefreshBarState();
    if (!keep || !w.regions.exists()) w.regions.create();
    w.frameShown = false;
    if (state_.frame) fzFree(&state_.frame);
    if (state_.frameWidth > 0 && state_.frameHeight > 0)
        fzCreate(uint32_t(state_.frameWidth), uint32_t(state_.frameHeight), 2, &state_.frame);
    state_.job.target = state_.frame;
    if (state_.frame) {
        QivRenderLockGuard lock;
        kvdx::dxDirectXSetContext(w.hardwareWindow);
        fzSetBackground(&state_.background);
        fzDrawBackground(state_.frame, nullptr, nullptr, &state_.camera, 1, 0);
    }
    state_.frameValid = false;
    if (!keepScrollBars) UpdateScrollBars();
    if (w.stats.on) {
        w.stats.startTick = GetTickCount();
        w.stats.frames = 0;
    }
}

void CQivPlayerCtl::ResetView() {
    QivWindowParts& w = *win_;
    const Box3& b = w.sceneBox;
    const float dx = b.max.x - b.min.x, dy = b.max.y - b.min.y, dz = b.max.z - b.min.z;
    float d = std::sqrt(dx * dx + dy * dy + dz * dz);
    const bool flat = !(d > 1e-6f) || !std::isfinite(d);
    if (flat) d = 1.0f;
    // A box without extent is viewed as a unit one around the origin.
    const float unit = 0.5f / std::sqrt(3.0f);
    const NavHomeView home = navHomeView(flat ? Box3{{-unit, -unit, -unit}, {unit, unit, unit}} : b);
    CamRecord& c = state_.camera;
    c = CamRecord{};
    c.vrp = home.vrp;
    c.eye = home.eye;
    c.up = home.up;
    c.viewDist = home.eyeDistance;
    c.farDist = home.farDist;
    c.nearDist = home.nearDist;
    const int32_t fw = std::max(state_.frameWidth, 1), fh = std::max(state_.frameHeight, 1);
    const float half = c.viewDist * home.tanHalfAngle;
    c.winXMin = -half, c.winXMax = half;
    c.winYMin = -half * float(fh) / float(fw), c.winYMax = half * float(fh) / float(fw);
    c.pixX = 0, c.pixY = 0, c.pixW = fw, c.pixH = fh;
    c.rowsUp = 1;  // frame rows bottom-up, as the window copies read them
    state_.viewValid = true;
    SetViewFromAngles();
    navFitZoomToBox(&c, b, fw, fh);
    w.homeHalfWidth = c.winXMax;
    w.homeHalfHeight = c.winYMax;
    const float lo[3] = {b.min.x, b.min.y, b.min.z}, hi[3] = {b.max.x, b.max.y, b.max.z};
    w.zoomBase = c.winXMax > 0 ? qivctl::zoomExtent(lo, hi) / (2 * c.winXMax) : 1.0f;
    const Vec3 dir{c.vrp.x - c.eye.x, c.vrp.y - c.eye.y, c.vrp.z - c.eye.z};
    navClipDistances(b, c.eye, dir, 0.0f, d, &c.nearDist, &c.farDist);
    camUpdate(&c);
    ApplyPendingViewing();
}

void CQivPlayerCtl::SetViewFromAngles() {
    CamRecord& c = state_.camera;
    state_.phi = static_cast<float>(qivctl::wrapAngle(state_.phi));
    state_.psi = static_cast<float>(qivctl::wrapAngle(state_.psi));
    const float dx = c.eye.x - c.vrp.x, dy = c.eye.y - c.vrp.y, dz = c.eye.z - c.vrp.z;
    float d = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (!(d > 0)) d = c.viewDist > 0 ? c.viewDist : 1.0f;
    const float cp = std::cos(state_.psi);
    c.eye = {c.vrp.x + d * cp * std::cos(state_.phi), c.vrp.y + d * cp * std::sin(state_.phi),
             c.vrp.z + d * std::sin(state_.psi)};
    c.up = {0, 0, 1};
    if (std::fabs(cp) < 1e-4f) c.up = {-std::cos(state_.phi), -std::sin(state_.phi), 0};
    camUpdate(&c);
}

void CQivPlayerCtl::UpdateFrameState() {
    if (!state_.sceneRoots) return;
    // The scene box follows the objects as they move and animate, and the clip planes with it.
    Box3 box{{1e7f, 1e7f, 1e7f}, {-1e7f, -1e7f, -1e7f}};
    bool any = false;
    for (QivObjectSlot& s : state_.slots) {
        if (!s.inUse || !s.node || !s.visible) continue;
        scnSetTime(s.node, s.animTime);
        Vec3 lo{}, hi{};
        if (!scnGetExtent(s.node, &lo, &hi)) continue;
        box.min = {std::min(box.min.x, lo.x), std::min(box.min.y, lo.y), std::min(box.min.z, lo.z)};
        box.max = {std::max(box.max.x, hi.x), std::max(box.max.y, hi.y), std::max(box.max.z, hi.z)};
        any = true;
    }
    if (any && state_.viewValid) {
        win_->sceneBox = box;
        qivSetClipDistances(state_.camera, box, displayProps().walkthrough);
    }
    const float grey[3] = {qivctl::kGlobalMaterialGrey, qivctl::kGlobalMaterialGrey, qivctl::kGlobalMaterialGrey};
    matSetGlobalColor(grey);
    matSetGlobalFactor(qivctl::kGlobalMaterialFactor);
    qivctl::CameraBasis basis;
    qivctl::cameraBasis(state_.camera.eye, state_.camera.vrp, state_.camera.up, &basis);
    qivctl::applySharedLights(state_.lights, basis);
}

bool CQivPlayerCtl::somethingMoves() const {
    return win_->animationRunning || state_.spinPhi != 0 || state_.spinPsi != 0 || navWalking();
}

void CQivPlayerCtl::DrawFrame(HDC dc, const RECT* rect, int x, int y) {
    QivWindowParts& w = *win_;
    qivctl::PaintState ps;
    ps.frameValid = state_.frameValid;
    ps.hasRoots = state_.sceneRoots != nullptr;
    ps.hasFrameBuffer = state_.frame != nullptr;
    ps.showAgain = w.showAgain;
    ps.rendererKind = state_.rendererKind ? state_.rendererKind : qivctl::kRendererSoftware;
    ps.rayTraceRequested = w.frameMode == uint32_t(qivctl::kModeRayTrace);
    ps.hardwareWindow = w.hardwareWindow != nullptr;
    ps.controlWindow = hwnd() != nullptr;
    ps.hardwareDevice = g_backend.hardwareDevice;
    ps.multiView = state_.multiView;
    const qivctl::PaintPlan plan = qivctl::planPaint(ps);
    RECT whole{0, 0, state_.frameWidth, state_.frameHeight};
    const RECT& upd = rect ? *rect : whole;
    bool moving = false;
    // Set again by the next erase; used by the software copy below.
    struct ExposedReset {
        bool& flag;
        ~ExposedReset() { flag = false; }
    } exposedReset{w.exposed};

    switch (plan.action) {
        case qivctl::PaintAction::CopyAgain: {
            IRect r = toFrameRect(upd, state_.frameHeight);
            copyRect(dc, state_.frame, &r, x, y, state_.frameHeight);
            ++w.copies;
            break;
        }
        case qivctl::PaintAction::Background:
            return;
        case qivctl::PaintAction::Nothing:
            break;
        case qivctl::PaintAction::RayTrace:
            if (w.hardwareWindow) ShowWindow(w.hardwareWindow, SW_HIDE);
            {
                QivRenderLockGuard lock;
                kvdx::dxSetActive(0);
                RayTraceFrame(dc, &upd);
            }
            state_.frameValid = true;
            w.frameMode = state_.displayMode;
            w.frameShown = false;
            return;
        case qivctl::PaintAction::Render: {
            if (plan.showHardwareWindow && w.hardwareWindow) ShowWindow(w.hardwareWindow, SW_SHOW);
            if (plan.createHardwareWindow) CreateHardwareWindow();
            const bool hardware = plan.hardware && w.hardwareWindow;
            // The device's frame replaces a ray-traced picture shown before.
            if (hardware) w.showAgain = false;
            moving = somethingMoves();
            // The device draws rows top-down, the window copies read the frame bottom-up.
            const int32_t rowsUp = hardware ? 0 : 1;
            if (state_.camera.rowsUp != rowsUp) {
                state_.camera.rowsUp = rowsUp;
                camUpdate(&state_.camera);
            }
            state_.job.kind = w.frameMode;
            state_.job.camera = &state_.camera;
            state_.job.target = state_.frame;
            bool swapped = false;
            {
                std::optional<QivRenderLockGuard> wholeFrame;
                if (plan.lockWholeFrame) {
                    wholeFrame.emplace();
                    kvdx::dxSetActive(hardware ? 1 : 0);
                    if (hardware) kvdx::dxDirectXSetContext(w.hardwareWindow);
                }
                fzSetBackground(&state_.background);
                if (plan.clearFrame) fzDrawBackground(state_.frame, nullptr, nullptr, &state_.camera, 1, 0);
                if (!w.renderingHeldBack) {
                    if (!hardware) w.regions.beginFrame();
                    {
                        std::optional<QivRenderLockGuard> renderOnly;
                        if (!plan.lockWholeFrame) renderOnly.emplace();
                        if (!hardware) kvdx::dxSetActive(0);
                        UpdateFrameState();
                        if (!state_.multiView)
                            scnRenderList(&state_.job, state_.sceneRoots, hardware ? nullptr : w.regions.current());
                        else if (hardware)
                            scnRenderList(&state_.job, state_.sceneRoots, nullptr);
                        else
                            mvRender(&state_.job, state_.sceneRoots, state_.multiViewAngle);
                    }
                    ++w.frames;
                    qivctl::FilterState fs;
                    fs.multiView = state_.multiView;
                    fs.animationRunning = w.animationRunning;
                    fs.spinPhi = state_.spinPhi;
                    fs.spinPsi = state_.spinPsi;
                    fs.filterOn = w.filter;
                    fs.displayMode = int32_t(state_.displayMode);
                    // The capture is asked of the platform only when nothing else rules the filter out.
                    if (qivctl::filterRuns(fs)) fs.mouseCaptured = GetCapture() != nullptr;
                    if (qivctl::filterRuns(fs)) {
                        if (hardware) {
                            kvdx::dxEndPaint();
                            kvdx::kvdxDoFilter();
                        } else {
                            fltApply(state_.frame);
                        }
                    }
                } else {
                    w.frameShown = false;
                }
                if (hardware) {
                    swapped = kvdx::dxBufferSwap() >= 0;
                    if (swapped) state_.frameValid = true;
                }
            }
            if (!hardware) {
                IRect ur = toFrameRect(upd, state_.frameHeight);
                const UpdateRegion* region = w.regions.finishFrame(ur, w.frameShown, w.exposed);
                state_.frameValid = true;
                w.frameShown = true;
                w.showAgain = false;
                w.copies += copyRegion(dc, state_.frame, region, x, y, state_.frameHeight);
            }
            if (moving && qivctl::wantNextTick(true, hardware, RectVisible(dc, &upd) != 0)) RequestFrameTick(hwnd());
            break;
        }
    }
    if (plan.countsForStatistics && w.stats.on) {
        std::string line;
        if (qivctl::frameStatsCount(w.stats, GetTickCount(), &line) && w.statusCallback)
            w.statusCallback(w.statusContext, line.c_str(), 0);
    }
}

void CQivPlayerCtl::RayTraceFrame(HDC dc, const RECT* rect) {
    if (!state_.sceneRoots || !state_.frame) return;
    HCURSOR old = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    fzSetBackground(&state_.background);
    if (!state_.multiView) fzDrawBackground(state_.frame, nullptr, nullptr, &state_.camera, 1, 0);
    UpdateFrameState();
    g_rayShow.dc = dc;
    g_rayShow.frame = state_.frame;
    g_rayShow.shown = state_.frameHeight;
    g_rayShow.rect = rect ? toFrameRect(*rect, state_.frameHeight) : IRect{0, 0, state_.frameWidth, state_.frameHeight};
    ScnRenderJob job{};
    job.camera = &state_.camera;
    job.target = state_.frame;
    job.kind = SCN_KIND_RAY_ID;
    job.rect = IRect{0, 0, state_.frameWidth, state_.frameHeight};
    PicRecord* work = nullptr;
    if (fzCreate(uint32_t(state_.frameWidth), uint32_t(state_.frameHeight), 2, &work) && work) {
        if (state_.multiView)
            mvRenderRayTraced(&job, work, cancelKeyTest, showRayTraceLines, state_.sceneRoots, nullptr, nullptr, 1, 1,
                              1, 1, 1, 0, state_.multiViewAngle);
        else
            rtRender(&job, work, cancelKeyTest, showRayTraceLines, state_.sceneRoots, nullptr, nullptr, 1, 1, 1, 1, 1,
                     0);
        fzFree(&work);
    }
    copyRect(dc, state_.frame, &g_rayShow.rect, 0, 0, state_.frameHeight);
    g_rayShow = RayShow{};
    win_->showAgain = true;
    state_.frameValid = true;
    SetCursor(old);
}

HRESULT CQivPlayerCtl::onDraw(const qcom::DrawInfo& info) {
    try {
        // Printers and metafiles (whose technology is their reference device's) get a picture
        // of their own.
        const DWORD type = GetObjectType(info.hdc);
        if (info.target || type == OBJ_METADC || type == OBJ_ENHMETADC ||
            GetDeviceCaps(info.hdc, TECHNOLOGY) != DT_RASDISPLAY)
            return DrawToForeignContext(info);
        // The screen: nothing before the window exists; a DC of the host's gets the whole view.
        if (!hwnd()) return S_OK;
        if (!info.fromWindow) return DrawToForeignContext(info);
        InitWindow();
        if (state_.sceneRoots && !state_.viewValid && state_.frameWidth > 0 && state_.frameHeight > 0)
            SetupFrame(state_.sceneRoots, false, false);
        RunDeferredURLLoad();
        RECT client;
        GetClientRect(hwnd(), &client);
        if (!state_.frame || (!state_.sceneRoots && !FrameHoldsBackdrop())) {
            paintIdle(info.hdc, client);
            return S_OK;
        }
        if (state_.sceneRoots) ProgressOnFrame();
        RECT upd = info.invalid ? *info.invalid : client;
        RECT frameRect{0, 0, state_.frameWidth, state_.frameHeight};
        RECT inFrame;
        if (!IntersectRect(&inFrame, &upd, &frameRect)) inFrame = RECT{0, 0, 0, 0};
        // The animation step runs before a frame while something moves.
        if (somethingMoves()) AnimationStep();
        DrawFrame(info.hdc, &inFrame, 0, 0);
        // The walk's tick and the hover's pick, when either is on.
        if (navWalking() || hoverX_ >= 0) AfterFrame();
        KeepDragGoing();
    } catch (...) {
        return E_FAIL;
    }
    return S_OK;
}

void CQivPlayerCtl::paintIdle(HDC dc, const RECT& client) {
    COLORREF rgb = 0;
    OleTranslateColor(state_.backColor, nullptr, &rgb);
    HBRUSH brush = CreateSolidBrush(rgb);
    FillRect(dc, &client, brush);
    DeleteObject(brush);
    // The information line, the logo and the status text while the loading panel is on.
    if (win_->loadingPanel && win_->layout.panel.visible) {
        const qivctl::BarRect& p = win_->layout.panel.rect;
        SetBkMode(dc, TRANSPARENT);
        HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        char info[512] = {};
        LoadStringA(qivModuleInstance(), 145, info, sizeof info);
        RECT line{p.x + 8, p.y + 8 + win_->linkText.cy, p.x + p.w - 8, p.y + 8 + 3 * win_->linkText.cy};
        DrawTextA(dc, info, -1, &line, DT_CENTER | DT_WORDBREAK);
        if (HBITMAP logo = static_cast<HBITMAP>(LoadImageA(qivModuleInstance(), MAKEINTRESOURCEA(216), IMAGE_BITMAP, 0, 0, 0))) {
            BITMAP bm{};
            GetObject(logo, sizeof bm, &bm);
            HDC mem = CreateCompatibleDC(dc);
            HGDIOBJ o = SelectObject(mem, logo);
            BitBlt(dc, p.x + (p.w - bm.bmWidth) / 2, line.bottom + 4, bm.bmWidth, bm.bmHeight, mem, 0, 0, SRCCOPY);
            SelectObject(mem, o);
            DeleteDC(mem);
            DeleteObject(logo);
        }
        SelectObject(dc, old);
    }
    if (state_.statusText[0]) {
        RECT r = client;
        InflateRect(&r, -8, -8);
        SetBkMode(dc, TRANSPARENT);
        HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        DrawTextA(dc, state_.statusText, -1, &r, DT_WORDBREAK);
        SelectObject(dc, old);
    }
    if (win_->link) InvalidateRect(win_->link, nullptr, TRUE);
    if (win_->progress) InvalidateRect(win_->progress, nullptr, TRUE);
    if (win_->bar[9]) InvalidateRect(win_->bar[9], nullptr, TRUE);
}

