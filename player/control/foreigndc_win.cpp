// Drawing into a device context that is not the control window: printers, print preview,
// metafiles and host DCs. The view is rendered off screen in software at a bounded size into
// a picture of its own and stretched into the target; the control's frame buffer, regions,
// camera and view stay as they are.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "caches.h"
#include "com/guard.h"
#include "ctlmodule_win.h"
#include "foreigndraw.h"
#include "paintpath.h"
#include "qivctl_win.h"
#include "render/clear.h"
#include "render/edgefilter.h"
#include "render/fzbuffer.h"
#include "render/kvdirectx.h"
#include "render/multiview.h"
#include "render/renderer.h"
#include "render/renderlist.h"
#include "render/rtdriver.h"
#include "scene/material.h"
#include "scene/sceneops.h"
#include "sharedlights.h"
#include "viewing.h"
#include "window_win.h"

Box3 qivSceneBox(ScnNode** roots);

namespace {

constexpr int kLogoWidth = 131, kLogoHeight = 72;

bool isMetafile(HDC dc) {
    const DWORD type = GetObjectType(dc);
    return type == OBJ_METADC || type == OBJ_ENHMETADC;
}

// The logo (bitmap 216) centred in the bounds.
void drawLogo(HDC dc, const RECT& b) {
    HBITMAP logo = static_cast<HBITMAP>(LoadImageA(qivModuleInstance(), MAKEINTRESOURCEA(216), IMAGE_BITMAP, 0, 0, 0));
    if (!logo) return;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    if (mem) {
        HGDIOBJ old = SelectObject(mem, logo);
        BitBlt(dc, (b.left + b.right - kLogoWidth) / 2, (b.top + b.bottom - kLogoHeight) / 2, kLogoWidth, kLogoHeight,
               mem, 0, 0, SRCCOPY);
        SelectObject(mem, old);
        DeleteDC(mem);
    }
    ReleaseDC(nullptr, screen);
    DeleteObject(logo);
}

// Raster capabilities taken in place of the device's own (-1: the device's), for tests.
int g_rasterCaps = -1;

// A device that cannot take the picture gets a line of text instead.
void drawCannotPrint(HDC dc, const RECT& b) {
    RECT r = b;
    SetBkColor(dc, RGB(255, 255, 255));
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
    const std::string text = qivLoadString(IDS_CANNOT_PRINT);
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);
    DrawTextA(dc, text.c_str(), int(text.size()), &r, DT_WORDBREAK);
}

int neverCancel(float) { return 1; }
void noLines() {}

std::string directoryOf(const std::string& url) {
    const size_t p = url.find_last_of("/\\");
    return p == std::string::npos ? std::string() : url.substr(0, p + 1);
}

// A node made for this drawing alone, with its root list.
struct TemporaryRoots {
    ScnNode* node = nullptr;
    ScnNode** list = nullptr;
    ~TemporaryRoots() {
        if (list) scnFreeIdList(&list);
        if (node) scnNodeFree(&node, nullptr);
    }
};

struct PictureHolder {
    PicRecord* pic = nullptr;
    ~PictureHolder() {
        if (pic) fzFree(&pic);
    }
};

}  // namespace

void qivSetRasterCapsForTests(int caps) { g_rasterCaps = caps; }

STDMETHODIMP CQivPlayerCtl::GetViewStatus(DWORD* status) try {
    if (!status) return E_POINTER;
    *status = state_.transparent ? 0 : VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

HRESULT CQivPlayerCtl::DrawToForeignContext(const qcom::DrawInfo& info) {
    HDC dc = info.hdc;
    const RECT& b = info.bounds;
    const bool window = hwnd() != nullptr;
    const bool shown = window && state_.sceneRoots;
    if (!shown) drawLogo(dc, b);
    if (state_.objectURL.empty() && !shown) return S_OK;
    const int caps = g_rasterCaps >= 0 ? g_rasterCaps : GetDeviceCaps(dc, RASTERCAPS);
    if (!isMetafile(dc) && !qivctl::foreignCanStretch(caps)) {
        drawCannotPrint(dc, b);
        return S_OK;
    }

    // Without a window the object comes from the object cache under its address.
    TemporaryRoots temporary;
    ScnNode** roots = window ? state_.sceneRoots : nullptr;
    if (!window) {
        const std::string& url = state_.objectURL;
        PelContent* content = qivctl::ObjectCacheFind(url, nullptr, nullptr, nullptr, document().inlineName);
        if (!content && _strnicmp(url.c_str(), "file://", 7) == 0)
            content = qivctl::ObjectCacheFind(qivAbsoluteObjectName(url.substr(7)), nullptr, nullptr, nullptr);
        if (!content) return S_OK;
        temporary.node = AddObjectToScene(content, true, directoryOf(url), true, false);
        if (!temporary.node || !scnMakeIdList(1, &temporary.node, &temporary.list)) return S_OK;
        roots = temporary.list;
    }
    if (!roots) return S_OK;

    int32_t rw = 0, rh = 0;
    if (!qivctl::foreignRenderSize(int64_t(b.right) - b.left, int64_t(b.bottom) - b.top, &rw, &rh)) return S_OK;

    // The control's view, or the view it would take of these roots, for the picture's size.
    CamRecord cam = state_.camera;
    if (!window || !state_.viewValid) {
        QivWindowParts& w = *win_;
        const CamRecord savedCam = state_.camera;
        const bool savedValid = state_.viewValid, savedBoxValid = w.boxValid;
        const float phi = state_.phi, psi = state_.psi, zoomBase = w.zoomBase;
        const float homeW = w.homeHalfWidth, homeH = w.homeHalfHeight;
        const Box3 box = w.sceneBox;
        const int32_t fw = state_.frameWidth, fh = state_.frameHeight;
        std::unique_ptr<qivctl::PendingViewing> pending = std::move(props_.pending);
        if (pending) props_.pending = std::make_unique<qivctl::PendingViewing>(*pending);
        w.sceneBox = qivSceneBox(roots);
        state_.frameWidth = rw, state_.frameHeight = rh;
        ResetView();
        cam = state_.camera;
        state_.camera = savedCam;
        state_.viewValid = savedValid, w.boxValid = savedBoxValid;
        state_.phi = phi, state_.psi = psi, w.zoomBase = zoomBase;
        w.homeHalfWidth = homeW, w.homeHalfHeight = homeH;
        w.sceneBox = box;
        state_.frameWidth = fw, state_.frameHeight = fh;
        props_.pending = std::move(pending);
    }
    cam.pixX = 0, cam.pixY = 0, cam.pixW = rw, cam.pixH = rh;
    cam.rowsUp = 1;  // the picture's rows run bottom-up, as a DIB's
    qivctl::foreignViewWindow(&cam.winXMin, &cam.winXMax, &cam.winYMin, &cam.winYMax, rw, rh);
    if (!camUpdate(&cam)) return S_OK;

    PictureHolder frame;
    if (!fzCreate(uint32_t(rw), uint32_t(rh), 2, &frame.pic) || !frame.pic) return S_OK;
    const bool rayTraced = win_->frameMode == uint32_t(qivctl::kModeRayTrace) || win_->showAgain;
    AcquireSharedLights();
    {
        QivRenderLockGuard lock;
        kvdx::dxSetActive(0);
        fzSetBackground(&state_.background);
        fzDrawBackground(frame.pic, nullptr, nullptr, &cam, 1, 0);
        if (window) UpdateFrameState();  // the objects' animation times
        const float grey[3] = {qivctl::kGlobalMaterialGrey, qivctl::kGlobalMaterialGrey, qivctl::kGlobalMaterialGrey};
        matSetGlobalColor(grey);
        matSetGlobalFactor(qivctl::kGlobalMaterialFactor);
        qivctl::CameraBasis basis;
        qivctl::cameraBasis(cam.eye, cam.vrp, cam.up, &basis);
        qivctl::applySharedLights(state_.lights, basis);
        ScnRenderJob job{};
        job.camera = &cam;
        job.target = frame.pic;
        job.kind = state_.displayMode;
        job.rect = IRect{0, 0, rw, rh};
        if (rayTraced) {
            job.kind = SCN_KIND_RAY_ID;
            PictureHolder work;
            if (fzCreate(uint32_t(rw), uint32_t(rh), 2, &work.pic) && work.pic) {
                if (state_.multiView)
                    mvRenderRayTraced(&job, work.pic, neverCancel, noLines, roots, nullptr, nullptr, 1, 1, 1, 1, 1, 0,
                                      state_.multiViewAngle);
                else
                    rtRender(&job, work.pic, neverCancel, noLines, roots, nullptr, nullptr, 1, 1, 1, 1, 1, 0);
            }
        } else {
            if (state_.multiView)
                mvRender(&job, roots, state_.multiViewAngle);
            else
                scnRenderList(&job, roots, nullptr);
            qivctl::FilterState fs;
            fs.multiView = state_.multiView;
            fs.filterOn = win_->filter;
            fs.displayMode = int32_t(state_.displayMode);
            if (qivctl::filterRuns(fs)) fltApply(frame.pic);
        }
    }

    // The picture (RGB555, rows bottom-up) stretched into the bounds.
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = frame.pic->width;
    bi.bmiHeader.biHeight = frame.pic->height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 16;
    bi.bmiHeader.biCompression = BI_RGB;
    StretchDIBits(dc, b.left, b.top, b.right - b.left, b.bottom - b.top, 0, 0, rw, rh, frame.pic->pixels, &bi,
                  DIB_RGB_COLORS, SRCCOPY);
    return S_OK;
}
