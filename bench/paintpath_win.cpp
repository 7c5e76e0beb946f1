// The control's paint path against the engine's frame alone: the sample object loaded into
// a sited control and drawn frame after frame (set-up of the frame, render, region copy to
// the window DC), beside the engine rendering the same view into a frame buffer and beside
// the copy floor (that frame painted into the same window by the plain platform calls, no
// engine), at
// 640 x 480 and 1280 x 1024. The control's overhead is its frame time over the engine's frame
// time plus the floor's. Run under wine64 with a display.
#include <windows.h>
#include <ocidl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "com/module.h"
#include "olecontainer.h"
#include "qivctl_win.h"
#include "paintpath.h"
#include "render/clear.h"
#include "render/edgefilter.h"
#include "render/fzbuffer.h"
#include "render/renderer.h"
#include "render/renderlist.h"
#include "render/sample.h"
#include "scene/pelwrite.h"
#include "scene/sceneops.h"
#include "scene/texture.h"
#include "serverparts_win.h"
#include "window_win.h"

namespace {

using Clock = std::chrono::steady_clock;
double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

std::string writeSampleObject() {
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    std::string base = std::string(dir) + "qivbench";
    CreateDirectoryA(base.c_str(), nullptr);
    std::string object = base + "\\sample.pel";
    SampleScene s;
    if (!sampleSceneCreate(&s, 64, 64)) return std::string();
    const char* areas[1] = {"checker.bmp"};
    PelWriteInfo info{};
    info.objectName = "sample";
    info.areaNames = areas;
    info.switches[0] = info.switches[1] = info.switches[3] = 1;
    bool ok = pelWriteFile(0, object.c_str(), s.node, &info, nullptr, 0, nullptr) &&
              picWriteBmp(s.texture, 1, 1, (base + "\\checker.bmp").c_str());
    sampleSceneFree(&s);
    return ok ? object : std::string();
}

// The floor's paint: the window, for the time of the floor, paints the frame alone.
struct FloorPaint {
    PicRecord* frame = nullptr;
    struct {
        BITMAPINFOHEADER h;
        DWORD masks[3];
    } info{};
    WNDPROC control = nullptr;
} g_floor;

LRESULT CALLBACK floorProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        if (HDC dc = BeginPaint(w, &ps)) {
            const PicRecord* f = g_floor.frame;
            StretchDIBits(dc, 0, 0, f->width, f->height, 0, 0, f->width, f->height, f->pixels,
                          reinterpret_cast<BITMAPINFO*>(&g_floor.info), DIB_RGB_COLORS, SRCCOPY);
        }
        EndPaint(w, &ps);
        return 0;
    }
    return CallWindowProcW(g_floor.control, w, msg, wp, lp);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main() {
    OleInitialize(nullptr);
    qcom::module().init(GetModuleHandleW(nullptr), qivClassTable(), qivClassCount());
    const std::string object = writeSampleObject();
    if (object.empty()) {
        std::fprintf(stderr, "paintpath: cannot write the sample object\n");
        return 1;
    }
    std::printf("paint path of the control (set-up, render, region copy) vs the engine's frame alone\n");
    std::printf("%-11s %11s %11s %11s %8s %10s %9s\n", "view", "engine fps", "floor fps", "control fps", "ratio",
                "copies/fr", "overhead");
    const int sizes[2][2] = {{640, 480}, {1280, 1024}};
    for (const auto& size : sizes) {
        qivtest::OleTestContainer host;
        IQivPlayer* p = qivCreateInternalControl();
        IQivPlayer2* p2 = nullptr;
        p->QueryInterface(IID_IQivPlayer2, reinterpret_cast<void**>(&p2));
        auto* ctl = static_cast<CQivPlayerCtl*>(static_cast<IQivPlayer*>(p));
        p->Release();
        ctl->state().rendererKind = 2;
        p2->put_HideControls(VARIANT_TRUE);  // the view is the whole window
        SetWindowPos(host.window(), nullptr, 0, 0, size[0] + 64, size[1] + 64, SWP_NOZORDER);
        ShowWindow(host.window(), SW_SHOW);
        host.Embed(p2, true);
        IOleInPlaceObject* ip = nullptr;
        p2->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&ip));
        RECT pos{0, 0, size[0] - 1, size[1] - 1};  // the frame is the client area plus one pixel
        if (ip) {
            ip->SetObjectRects(&pos, &pos);
            ip->Release();
        }
        std::wstring wide(object.begin(), object.end());
        BSTR name = SysAllocString(wide.c_str());
        VARIANT_BOOL loaded = VARIANT_FALSE;
        p2->LoadObject(name, &loaded);
        SysFreeString(name);
        if (loaded != VARIANT_TRUE) {
            std::fprintf(stderr, "paintpath: the control did not load the object\n");
            return 1;
        }
        HWND w = ctl->hwnd();
        // The pointer away from the window: no hover picks between the frames.
        RECT outer;
        GetWindowRect(host.window(), &outer);
        SetCursorPos(outer.right + 8, outer.bottom + 8);
        UpdateWindow(w);
        const QivControlState& st = ctl->state();
        constexpr int kFrames = 40, kRuns = 5;
        // The control runs the edge filter on frames drawn while nothing moves; the engine's
        // frame does too.
        qivctl::FilterState fs;
        fs.multiView = st.multiView;
        fs.filterOn = ctl->win().filter;
        fs.displayMode = int32_t(st.displayMode);
        const bool filtered = qivctl::filterRuns(fs);
        std::vector<double> control, engine, copyFloor;
        uint32_t copies = 0;
        for (int run = 0; run < kRuns; ++run) {
            const uint32_t before = ctl->win().copies;
            auto t0 = Clock::now();
            for (int i = 0; i < kFrames; ++i) {
                ctl->Redraw(true);
                UpdateWindow(w);
            }
            auto t1 = Clock::now();
            control.push_back(kFrames / seconds(t0, t1));
            copies = ctl->win().copies - before;
            // The engine alone: the same camera and roots into a frame buffer of the same size.
            PicRecord* frame = nullptr;
            fzCreate(uint32_t(st.frameWidth), uint32_t(st.frameHeight), 2, &frame);
            CamRecord* cam = const_cast<CamRecord*>(&st.camera);
            auto t2 = Clock::now();
            for (int i = 0; i < kFrames; ++i) {
                fzSetBackground(&st.background);
                fzDrawBackground(frame, nullptr, nullptr, cam, 1, 0);
                ScnRenderJob job{};
                job.camera = cam;
                job.target = frame;
                job.kind = st.displayMode;
                scnRenderList(&job, st.sceneRoots, nullptr);
                if (filtered) fltApply(frame);
            }
            auto t3 = Clock::now();
            engine.push_back(kFrames / seconds(t2, t3));
            // The floor: the engine's frame (RGB555, rows bottom-up) painted into the control's
            // window by the plain platform calls, frame after frame as the control paints
            // (invalidated, updated, BeginPaint, StretchDIBits, EndPaint).
            g_floor.frame = frame;
            g_floor.info.h.biSize = sizeof(BITMAPINFOHEADER);
            g_floor.info.h.biWidth = frame->width;
            g_floor.info.h.biHeight = frame->height;
            g_floor.info.h.biPlanes = 1;
            g_floor.info.h.biBitCount = 16;
            g_floor.info.h.biCompression = BI_RGB;
            g_floor.control = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(floorProc)));
            auto t4 = Clock::now();
            for (int i = 0; i < kFrames; ++i) {
                InvalidateRect(w, nullptr, FALSE);
                UpdateWindow(w);
            }
            GdiFlush();
            auto t5 = Clock::now();
            SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_floor.control));
            copyFloor.push_back(kFrames / seconds(t4, t5));
            fzFree(&frame);
        }
        const double e = median(engine), c = median(control), f = median(copyFloor);
        char view[32];
        std::snprintf(view, sizeof view, "%dx%d", st.frameWidth, st.frameHeight);
        std::printf("%-11s %11.1f %11.1f %11.1f %8.2f %10.1f %9.2f\n", view, e, f, c, e > 0 ? c / e : 0.0,
                    double(copies) / kFrames, (1.0 / c) / (1.0 / e + 1.0 / f));
        host.Unembed();
        p2->Release();
    }
    std::printf("\nmedians of 5 runs of 40 frames; ratio = control fps / engine fps; overhead = control frame time /\n"
                "(engine frame time + floor copy time), 1.0: the control adds nothing. The engine's frame is the\n"
                "background, the render and, as the control's frames here, the edge filter. The pointer stays\n"
                "off the window; the screen must hold the larger view (%dx%d here).\n",
                GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    if (FILE* l = std::fopen("Z:\\proc\\loadavg", "r")) {  // the machine's load under Wine
        char line[128] = {};
        if (std::fgets(line, sizeof line, l)) std::printf("load average: %s", line);
        std::fclose(l);
    }
    return 0;
}
