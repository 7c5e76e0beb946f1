// DirectDraw 7 / Direct3D 7 back end: run-time loading of ddraw.dll, driver and device choice,
// the window hook and per-window context, device set-up, primitives with a per-window texture
// cache, and the frame's clear, scene, present, frame copies and filter.
#include <windows.h>
#include <initguid.h>
#include <ddraw.h>
#include <d3d.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "render/blit.h"
#include "render/clear.h"
#include "render/dxhook.h"
#include "render/edgefilter.h"
#include "render/fzbuffer.h"
#include "render/kvdirectx.h"
#include "render/line.h"
#include "render/triangle.h"
#include "render/updregion.h"
#include "scene/engine.h"
#include "scene/texture.h"

static_assert(DX_BD_16 == DDBD_16 && DX_BD_32 == DDBD_32, "depth flags");
static_assert(DX_PF_ALPHA == DDPF_ALPHA && DX_PF_FOURCC == DDPF_FOURCC &&
                  DX_PF_PALETTEINDEXED8 == DDPF_PALETTEINDEXED8 && DX_PF_ZBUFFER == DDPF_ZBUFFER &&
                  DX_PF_LUMINANCE == DDPF_LUMINANCE && DX_PF_BUMPLUMINANCE == DDPF_BUMPLUMINANCE &&
                  DX_PF_BUMPDUDV == DDPF_BUMPDUDV,
              "pixel format flags");

namespace kvdx {
namespace {

constexpr const char* kSourcePath = "Source/Quorr/kvDirectX";
constexpr const char* kHookProperty = "kvdxHook";
constexpr DWORD kFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

using EnumerateExAFn = HRESULT(WINAPI*)(LPDDENUMCALLBACKEXA, LPVOID, DWORD);
using CreateExFn = HRESULT(WINAPI*)(GUID*, LPVOID*, REFIID, IUnknown*);
using AnyFn = FARPROC;

struct DxTexCacheEntry {
    uint32_t sentinel;
    IDirectDrawSurface7* surface;
    const TexPixelBlock* key;
    uint32_t filter;
    uint32_t colour;
    DxTexCacheEntry* previous;
    DxTexCacheEntry* next;
};

struct DxContext {
    uint32_t magic;
    IDirectDraw7* ddraw;
    IDirectDrawSurface7* primary;
    IDirectDrawSurface7* backBuffer;
    IDirectDrawSurface7* zBuffer;
    IDirect3D7* d3d;
    IDirect3DDevice7* device;
    uint32_t emulation;
    uint32_t capFlags;
    uint32_t maxTexWidth, maxTexHeight;
    DDPIXELFORMAT texFormat;
    RECT clientRect;
    uint32_t visible;
    uint32_t initialised;
    HWND window;
    uint32_t painting;
    int32_t width, height;
    uint32_t drawMode;
    WNDPROC oldWndProc;
    uint32_t needsSetUp;  // objects released by shutdown: set up again when made current
    DxTexCacheEntry texCache;
    uint32_t filter0, filter1;
    const TexPixelBlock* boundTex0;
    const TexPixelBlock* boundTex1;
    DxVertex vertices[DX_MAX_VERTICES];
    int32_t vertexCount;
};

// Module state.
struct Module {
    HMODULE library;
    AnyFn entries[7];  // EnumerateW, EnumerateA, EnumerateExW, EnumerateExA, Create, CreateEx, CreateClipper
    uint32_t status;
    uint32_t available;
    uint32_t windowedOk;
    uint32_t fullScreen;
    GUID driverGuid;
    GUID* driverGuidPtr;
    const GUID* deviceGuid;
    DDCAPS driverCaps, emulationCaps;
    uint32_t desktopWidth, desktopHeight;
    uint32_t pixelBytes;
    uint32_t zBytes;
    dxDisplayMode fullScreenMode;
    dxDisplayMode modes[DX_MAX_MODES];
    uint32_t modeCount;
    uint32_t driverTaken;
    PicRecord deviceBuffer;
    DxContext* current;
    std::vector<HWND> windows;
    // Windows subclassed again by someone else after hooking: the procedure cannot be put
    // back, so the one it replaced is kept here for the messages that still pass through.
    std::vector<std::pair<HWND, WNDPROC>> orphans;
    uint32_t faults;  // test seam: DX_FAULT_* calls fail
    int flushing;
};
Module g;

void resetModuleValues() {
    g.status = 0;
    g.available = 0;
    g.windowedOk = 0;
    g.fullScreen = 0;
    g.driverGuid = GUID{};
    g.driverGuidPtr = nullptr;
    g.deviceGuid = &IID_IDirect3DHALDevice;
    g.desktopWidth = 1024;
    g.desktopHeight = 768;
    g.pixelBytes = 0;
    g.zBytes = 0;
    g.fullScreenMode = {1024, 768, 16};
    g.modeCount = 0;
    g.driverTaken = 0;
    g.deviceBuffer = PicRecord{};
    g.current = nullptr;
    g.faults = 0;
    g.flushing = 0;
}

struct ModuleInit {
    ModuleInit() { resetModuleValues(); }
} g_moduleInit;

int dxTrace(const char*, ...) { return 0; }
const char* dxErrorText(HRESULT) { return ""; }

HRESULT g_lastError = 0;
DxContext* g_settingUp = nullptr;  // the context InitDirectX / InitDirectXEmulation work on

int dxReportError(const char* function, const char* call, HRESULT hr, int line, const char* file) {
    (void)function, (void)call, (void)line, (void)file;
    g_lastError = hr;
    dxErrorText(hr);
    return 0;
}
#define DX_REPORT(fn, call, hr) dxReportError(fn, call, hr, __LINE__, kSourcePath)

template <class T> void releaseRef(T*& p) {
    if (p) {
        p->Release();
        p = nullptr;
    }
}

DxContext* contextOf(HWND window) {
    if (!window) return nullptr;
    auto* c = static_cast<DxContext*>(GetPropA(window, kHookProperty));
    if (!c) return nullptr;
    return c->magic == dxStateMagic ? c : nullptr;
}

void sendFailure(HWND window, bool post) {
    if (!window) return;
    HWND parent = GetParent(window);
    if (post) {
        if (parent) PostMessageA(parent, dxFailureMessage, 0, 0);
        PostMessageA(window, dxFailureMessage, 0, 0);
    } else {
        if (parent) SendMessageA(parent, dxFailureMessage, 0, 0);
        SendMessageA(window, dxFailureMessage, 0, 0);
    }
}

// A failed step of the emulation set-up: reported, and the control told that no Direct3D is left.
int dxReportInitFailure(const char* function, const char* call, HRESULT hr, int line, const char* file) {
    dxReportError(function, call, hr, line, file);
    DxContext* c = g_settingUp ? g_settingUp : g.current;
    if (c && c->window) {
        SendMessageA(c->window, dxFailureMessage, 0, 0);
        if (HWND parent = GetParent(c->window)) PostMessageA(parent, dxFailureMessage, 0, 0);
    }
    return 0;
}

// ---- texture cache -------------------------------------------------------------------------

void dxCacheInit(DxTexCacheEntry* head) {
    *head = DxTexCacheEntry{};
    head->sentinel = 1;
    head->previous = head->next = head;
}

void dxCacheClear(DxTexCacheEntry* head) {
    if (!head || !head->next) return;
    DxTexCacheEntry* e = head->next;
    while (e && e != head) {
        DxTexCacheEntry* next = e->next;
        releaseRef(e->surface);
        memFree(e);
        e = next;
    }
    dxCacheInit(head);
}

int dxCacheFind(DxTexCacheEntry* head, const TexPixelBlock* key, DxTexCacheEntry** out) {
    *out = nullptr;
    for (DxTexCacheEntry* e = head->next; e && e != head; e = e->next)
        if (e->key == key) {
            *out = e;
            return 1;
        }
    return 0;
}

// ---- context release ----------------------------------------------------------------------

int dxEndPaintOn(DxContext* c);

void dxReleaseObjects(DxContext* c) {
    if (!c) return;
    if (c->painting) dxEndPaintOn(c);
    c->painting = 0;
    c->vertexCount = 0;
    dxCacheClear(&c->texCache);
    c->boundTex0 = c->boundTex1 = nullptr;
    if (g.fullScreen && c->ddraw) {
        c->ddraw->RestoreDisplayMode();
        c->ddraw->SetCooperativeLevel(c->window, DDSCL_NORMAL);
    }
    releaseRef(c->zBuffer);
    releaseRef(c->device);
    if (!g.fullScreen) releaseRef(c->backBuffer);
    c->backBuffer = nullptr;
    releaseRef(c->primary);
    releaseRef(c->d3d);
    releaseRef(c->ddraw);
}

// ---- set-up --------------------------------------------------------------------------------

HRESULT CALLBACK dxZFormatCallback(DDPIXELFORMAT* f, void* ctx) {
    auto* out = static_cast<DDPIXELFORMAT*>(ctx);
    uint32_t bits = out->dwZBufferBitDepth;
    int take = 0;
    const int goOn = dxZFormatPick(f->dwFlags, f->dwZBufferBitDepth, &bits, &take);
    if (take) *out = *f;
    return goOn ? D3DENUMRET_OK : D3DENUMRET_CANCEL;
}

HRESULT CALLBACK dxTexFormatCallback(DDPIXELFORMAT* f, void* ctx) {
    auto* best = static_cast<DDPIXELFORMAT*>(ctx);
    uint32_t bits = best->dwRGBBitCount;
    int take = 0;
    const int goOn = dxTexFormatPick(f->dwFlags, f->dwRGBBitCount, &bits, &take);
    if (take) *best = *f;
    return goOn ? D3DENUMRET_OK : D3DENUMRET_CANCEL;
}

void windowRect(DxContext* c) {
    RECT r{};
    GetClientRect(c->window, &r);
    POINT a{r.left, r.top}, b{r.right, r.bottom};
    ClientToScreen(c->window, &a);
    ClientToScreen(c->window, &b);
    c->clientRect = RECT{a.x, a.y, b.x, b.y};
}

void setStates(IDirect3DDevice7* d, bool emulation) {
    d->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
    if (!emulation) {
        d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
        d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    }
    d->SetRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_LESSEQUAL);
    d->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, TRUE);
    d->SetRenderState(D3DRENDERSTATE_ZENABLE, D3DZB_TRUE);
    d->SetTextureStageState(0, D3DTSS_ADDRESS, D3DTADDRESS_CLAMP);
    if (!emulation) d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    d->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRENDERSTATE_CLIPPING, FALSE);
    d->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE);
    d->SetRenderState(D3DRENDERSTATE_COLORVERTEX, FALSE);
    d->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, FALSE);
    d->SetRenderState(D3DRENDERSTATE_FILLMODE, D3DFILL_SOLID);
}

// Both set-ups: emulation selects the RGB device in system memory.
int initContext(DxContext* c, bool emulation) {
    if (!c || !c->window) return 0;
    if (!c->visible) return 1;
    if (emulation && g.fullScreen) {
        sendFailure(c->window, false);
        return 0;
    }
    releaseRef(c->d3d);
    releaseRef(c->device);
    releaseRef(c->zBuffer);
    if (!g.fullScreen) releaseRef(c->backBuffer);
    c->backBuffer = nullptr;
    releaseRef(c->primary);
    releaseRef(c->ddraw);
    c->initialised = 0;
    c->painting = 0;
    c->vertexCount = 0;

    const char* fn = "InitDirectX";
    auto fail = [&](const char* call, HRESULT hr, int line) {
        releaseRef(c->device);
        releaseRef(c->zBuffer);
        if (!g.fullScreen) releaseRef(c->backBuffer);
        c->backBuffer = nullptr;
        releaseRef(c->primary);
        releaseRef(c->d3d);
        releaseRef(c->ddraw);
        DxContext* saved = g_settingUp;
        g_settingUp = c;
        if (emulation)
            dxReportInitFailure(fn, call, hr, line, kSourcePath);
        else
            dxReportError(fn, call, hr, line, kSourcePath);
        g_settingUp = saved;
        return 0;
    };
    if (!emulation && (g.faults & DX_FAULT_HARDWARE_SETUP)) return fail("DirectDrawCreateEx", E_FAIL, __LINE__);
    auto createEx = reinterpret_cast<CreateExFn>(reinterpret_cast<void*>(g.entries[5]));
    if (!createEx) return fail("DirectDrawCreateEx", E_FAIL, __LINE__);
    HRESULT hr = createEx(g.driverGuidPtr, reinterpret_cast<void**>(&c->ddraw), IID_IDirectDraw7, nullptr);
    if (FAILED(hr)) return fail("DirectDrawCreateEx", hr, __LINE__);

    const DWORD memCaps = emulation ? DDSCAPS_SYSTEMMEMORY : DDSCAPS_VIDEOMEMORY;
    if (g.fullScreen) {
        c->clientRect = RECT{0, 0, LONG(g.fullScreenMode.width), LONG(g.fullScreenMode.height)};
        c->width = int32_t(g.fullScreenMode.width);
        c->height = int32_t(g.fullScreenMode.height);
        hr = c->ddraw->SetCooperativeLevel(c->window, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_FPUPRESERVE);
        if (FAILED(hr)) return fail("SetCooperativeLevel", hr, __LINE__);
        hr = c->ddraw->SetDisplayMode(g.fullScreenMode.width, g.fullScreenMode.height, g.fullScreenMode.bits, 0, 0);
        if (FAILED(hr)) return fail("SetDisplayMode", hr, __LINE__);
        DDSURFACEDESC2 sd{};
        sd.dwSize = sizeof sd;
        sd.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
        sd.dwBackBufferCount = 1;
        sd.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
        hr = c->ddraw->CreateSurface(&sd, &c->primary, nullptr);
        if (FAILED(hr)) return fail("CreateSurface", hr, __LINE__);
        DDSCAPS2 caps{};
        caps.dwCaps = DDSCAPS_BACKBUFFER;
        hr = c->primary->GetAttachedSurface(&caps, &c->backBuffer);
        if (FAILED(hr)) return fail("GetAttachedSurface", hr, __LINE__);
        c->backBuffer->Release();  // the flip chain holds it
        g.pixelBytes = g.fullScreenMode.bits / 8;
    } else {
        windowRect(c);
        c->width = c->clientRect.right - c->clientRect.left;
        c->height = c->clientRect.bottom - c->clientRect.top;
        hr = c->ddraw->SetCooperativeLevel(c->window, DDSCL_NORMAL | DDSCL_FPUPRESERVE);
        if (FAILED(hr)) return fail("SetCooperativeLevel", hr, __LINE__);
        DDSURFACEDESC2 sd{};
        sd.dwSize = sizeof sd;
        sd.dwFlags = DDSD_CAPS;
        sd.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        hr = c->ddraw->CreateSurface(&sd, &c->primary, nullptr);
        if (FAILED(hr)) return fail("CreateSurface, Primary", hr, __LINE__);
        DDPIXELFORMAT pf{};
        pf.dwSize = sizeof pf;
        hr = c->primary->GetPixelFormat(&pf);
        if (FAILED(hr)) return fail("GetPixelFormat", hr, __LINE__);
        g.pixelBytes = pf.dwRGBBitCount / 8;
        sd = DDSURFACEDESC2{};
        sd.dwSize = sizeof sd;
        sd.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
        sd.dwWidth = DWORD(std::max(c->width, 1));
        sd.dwHeight = DWORD(std::max(c->height, 1));
        sd.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | memCaps;
        hr = c->ddraw->CreateSurface(&sd, &c->backBuffer, nullptr);
        if (FAILED(hr)) return fail("CreateSurface, Backbuffer", hr, __LINE__);
        c->width = int32_t(sd.dwWidth);
        c->height = int32_t(sd.dwHeight);
        IDirectDrawClipper* clipper = nullptr;
        hr = c->ddraw->CreateClipper(0, &clipper, nullptr);
        if (FAILED(hr)) return fail("CreateClipper", hr, __LINE__);
        hr = clipper->SetHWnd(0, c->window);
        if (FAILED(hr)) {
            clipper->Release();
            return fail("SetHWnd", hr, __LINE__);
        }
        hr = c->primary->SetClipper(clipper);
        clipper->Release();
        if (FAILED(hr)) return fail("SetClipper", hr, __LINE__);
    }
    g.deviceBuffer.width = c->width;
    g.deviceBuffer.height = c->height;

    hr = c->ddraw->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(&c->d3d));
    if (FAILED(hr)) return fail("QueryInterface", hr, __LINE__);
    const GUID& devGuid = emulation ? IID_IDirect3DRGBDevice : *g.deviceGuid;
    DDPIXELFORMAT zf{};
    hr = c->d3d->EnumZBufferFormats(devGuid, dxZFormatCallback, &zf);
    if (FAILED(hr) || zf.dwSize != sizeof(DDPIXELFORMAT))
        return fail("ddpf.dwSize != sizeof(DDPIXELFORMAT)", E_FAIL, __LINE__);
    g.zBytes = zf.dwZBufferBitDepth / 8;
    DDSURFACEDESC2 zd{};
    zd.dwSize = sizeof zd;
    zd.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    zd.dwWidth = DWORD(c->width);
    zd.dwHeight = DWORD(c->height);
    zd.ddpfPixelFormat = zf;
    zd.ddsCaps.dwCaps = DDSCAPS_ZBUFFER | memCaps;
    hr = c->ddraw->CreateSurface(&zd, &c->zBuffer, nullptr);
    if (FAILED(hr)) return fail("CreateSurface", hr, __LINE__);
    hr = c->backBuffer->AddAttachedSurface(c->zBuffer);
    if (FAILED(hr)) return fail("AddAttachedSurface", hr, __LINE__);
    hr = c->d3d->CreateDevice(devGuid, c->backBuffer, &c->device);
    if (FAILED(hr)) return fail("CreateDevice", hr, __LINE__);
    D3DVIEWPORT7 vp{0, 0, DWORD(c->width), DWORD(c->height), 0.0f, 1.0f};
    hr = c->device->SetViewport(&vp);
    if (FAILED(hr)) return fail("SetViewport", hr, __LINE__);
    c->texFormat = DDPIXELFORMAT{};
    c->texFormat.dwSize = sizeof(DDPIXELFORMAT);
    c->texFormat.dwRGBBitCount = DX_TEXFORMAT_NONE;
    hr = c->device->EnumTextureFormats(dxTexFormatCallback, &c->texFormat);
    if (FAILED(hr) || c->texFormat.dwRGBBitCount == DX_TEXFORMAT_NONE) {
        fn = "dxPutTexToCache";
        return fail("EnumTextureFormats", FAILED(hr) ? hr : E_FAIL, __LINE__);
    }
    if (c->texFormat.dwRGBBitCount == 8) c->texFormat.dwFlags |= DDPF_PALETTEINDEXED8;
    c->capFlags = 0;
    D3DDEVICEDESC7 dd{};
    if (SUCCEEDED(c->device->GetCaps(&dd))) {
        if (!emulation && dd.wMaxTextureBlendStages > 1 && dd.wMaxSimultaneousTextures > 1 &&
            (dd.dwTextureOpCaps & D3DTEXOPCAPS_MODULATE))
            c->capFlags |= 1;
        c->maxTexWidth = dd.dwMaxTextureWidth;
        c->maxTexHeight = dd.dwMaxTextureHeight;
    }
    c->drawMode = 1;
    setStates(c->device, emulation);
    c->filter0 = c->filter1 = 0x7FFFFFFF;
    c->boundTex0 = c->boundTex1 = nullptr;
    c->emulation = emulation ? 1 : 0;
    c->initialised = 1;
    return 1;
}

// The hardware device; failures are silent.
int InitDirectX(DxContext* c) { return initContext(c, false); }
// The RGB emulation device in system memory, windowed only; failures tell the control.
int InitDirectXEmulation(DxContext* c) { return initContext(c, true); }

HRESULT dxInitContext(DxContext* c) {
    if (InitDirectX(c)) return S_OK;
    if (InitDirectXEmulation(c)) return S_OK;
    return E_FAIL;
}

// ---- window hook ----------------------------------------------------------------------------

LRESULT CALLBACK dxWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void listAdd(HWND w) {
    if (std::find(g.windows.begin(), g.windows.end(), w) == g.windows.end()) g.windows.push_back(w);
}
void listRemove(HWND w) { g.windows.erase(std::remove(g.windows.begin(), g.windows.end(), w), g.windows.end()); }

DxContext* dxHookWindow(HWND window) {
    if (!window) return nullptr;
    auto* c = static_cast<DxContext*>(memAllocZ(sizeof(DxContext)));
    if (!c) return nullptr;
    c->visible = 1;
    c->magic = dxStateMagic;
    c->window = window;
    dxCacheInit(&c->texCache);
    auto old = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
    if (!old) {
        memFree(c);
        return nullptr;
    }
    // A window still carrying this procedure never chains to itself.
    if (old == dxWindowProc) {
        old = DefWindowProcA;
        for (size_t i = 0; i < g.orphans.size(); ++i)
            if (g.orphans[i].first == window) {
                old = g.orphans[i].second;
                g.orphans.erase(g.orphans.begin() + ptrdiff_t(i));
                break;
            }
    }
    c->oldWndProc = old;
    SetPropA(window, kHookProperty, c);
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(dxWindowProc));
    if (g.fullScreen) SetWindowLongPtrA(window, GWL_STYLE, GetWindowLongPtrA(window, GWL_STYLE) & ~LONG_PTR(WS_CHILD));
    SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
    listAdd(window);
    return c;
}

void dxUnhookWindow(HWND window) {
    DxContext* c = contextOf(window);
    if (!c) return;
    g.current = c;
    dxReleaseObjects(c);
    // Give the window its own procedure back when ours is still the one installed.
    if (reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC)) == dxWindowProc) {
        if (c->oldWndProc) SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(c->oldWndProc));
    } else if (c->oldWndProc) {
        g.orphans.emplace_back(window, c->oldWndProc);
    }
    RemovePropA(window, kHookProperty);
    c->magic = 0;
    memFree(c);
    g.current = nullptr;
    listRemove(window);
}

void sizeHandling(DxContext* c, WPARAM wParam) {
    if (wParam == SIZE_MINIMIZED) {
        c->visible = 0;
        return;
    }
    const bool wasVisible = c->visible != 0;
    c->visible = 1;
    if (g.fullScreen || !g.available) return;
    RECT r{};
    GetClientRect(c->window, &r);
    // A move alone only moves the blit target; a new size (or a restore) sets the device up again.
    if (wasVisible && c->initialised && c->device && r.right - r.left == c->width && r.bottom - r.top == c->height) {
        windowRect(c);
        return;
    }
    dxReleaseObjects(c);
    if (FAILED(dxInitContext(c))) sendFailure(c->window, false);
}

int32_t bufferSwap(DxContext* c);

LRESULT CALLBACK dxWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DxContext* c = contextOf(window);
    if (!c) {
        for (size_t i = 0; i < g.orphans.size(); ++i)
            if (g.orphans[i].first == window) {
                const WNDPROC old = g.orphans[i].second;
                if (message == WM_NCDESTROY) g.orphans.erase(g.orphans.begin() + ptrdiff_t(i));
                return CallWindowProcA(old, window, message, wParam, lParam);
            }
        return DefWindowProcA(window, message, wParam, lParam);
    }
    WNDPROC old = c->oldWndProc;
    switch (message) {
    case WM_PAINT:
        if (c->visible && c->initialised) bufferSwap(c);
        break;
    case WM_DESTROY:
        dxReleaseObjects(c);
        dxUnhookWindow(window);
        break;
    case WM_SIZE:
        sizeHandling(c, wParam);
        break;
    case WM_WINDOWPOSCHANGED: {
        RECT before = c->clientRect;
        windowRect(c);
        const RECT& now = c->clientRect;
        const bool changed = now.left != before.left || now.top != before.top ||
                             now.right - now.left != c->width || now.bottom - now.top != c->height;
        if (g.fullScreen || changed) sizeHandling(c, SIZE_RESTORED);
        break;
    }
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_SCREENSAVE || (wParam & 0xFFF0) == SC_MONITORPOWER) c->visible = 0;
        break;
    default:
        break;
    }
    return old ? CallWindowProcA(old, window, message, wParam, lParam) : DefWindowProcA(window, message, wParam, lParam);
}

int dxSetContextForWindow(HWND window) {
    if (!IsWindow(window)) return 0;
    DxContext* prop = static_cast<DxContext*>(GetPropA(window, kHookProperty));
    if (g.current && g.current->window != window && g.current->painting) dxEndPaintOn(g.current);
    if (prop && prop == g.current) return 1;
    if (prop && prop->magic == dxStateMagic) {
        g.current = prop;
        if (prop->needsSetUp && g.available) {
            prop->needsSetUp = 0;
            return SUCCEEDED(dxInitContext(prop)) ? 1 : 0;
        }
        return 1;
    }
    DxContext* c = dxHookWindow(window);
    if (!c) return 0;
    g.current = c;
    c->initialised = 0;
    if (FAILED(dxInitContext(c))) return 0;
    c->initialised = 1;
    return 1;
}

// ---- enumeration ------------------------------------------------------------------------------

HRESULT CALLBACK dxEnumDevice(char*, char*, D3DDEVICEDESC7* d, void* ctx) {
    auto* choice = static_cast<DxDeviceChoice*>(ctx);
    DxDeviceKind kind = DX_DEVICE_OTHER;
    if (IsEqualGUID(d->deviceGUID, IID_IDirect3DTnLHalDevice))
        kind = DX_DEVICE_TNLHAL;
    else if (IsEqualGUID(d->deviceGUID, IID_IDirect3DHALDevice))
        kind = DX_DEVICE_HAL;
    const int goOn = dxDevicePick(choice, kind, (d->dwDevCaps & D3DDEVCAPS_HWRASTERIZATION) ? 1 : 0,
                                  d->dwDeviceRenderBitDepth);
    if (kind == DX_DEVICE_TNLHAL) g.deviceGuid = &IID_IDirect3DTnLHalDevice;
    return goOn ? D3DENUMRET_OK : D3DENUMRET_CANCEL;
}

HRESULT CALLBACK dxEnumDisplayMode(DDSURFACEDESC2* sd, void* ctx) {
    const uint32_t depths = *static_cast<uint32_t*>(ctx);
    dxDisplayMode m{sd->dwWidth, sd->dwHeight, sd->ddpfPixelFormat.dwRGBBitCount};
    if (!dxModeAccepted(m, g.desktopWidth, g.desktopHeight, depths, g.driverCaps.dwVidMemTotal))
        return DDENUMRET_OK;
    return dxAppendMode(g.modes, &g.modeCount, m) ? DDENUMRET_OK : DDENUMRET_CANCEL;
}

BOOL WINAPI dxDirectDrawCreateEx(GUID* guid, LPSTR, LPSTR, LPVOID, HMONITOR) {
    auto createEx = reinterpret_cast<CreateExFn>(reinterpret_cast<void*>(g.entries[5]));
    if (!createEx) return FALSE;
    IDirectDraw7* dd = nullptr;
    IDirect3D7* d3d = nullptr;
    HRESULT hr = createEx(guid, reinterpret_cast<void**>(&dd), IID_IDirectDraw7, nullptr);
    if (FAILED(hr)) return FALSE;
    if (FAILED(dd->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(&d3d)))) {
        dd->Release();
        return FALSE;
    }
    g.driverCaps = DDCAPS{};
    g.emulationCaps = DDCAPS{};
    g.driverCaps.dwSize = g.emulationCaps.dwSize = sizeof(DDCAPS);
    auto done = [&](BOOL r) {
        releaseRef(d3d);
        releaseRef(dd);
        return r;
    };
    if (FAILED(dd->GetCaps(&g.driverCaps, &g.emulationCaps))) return done(FALSE);
    DxDeviceChoice choice{};
    if (FAILED(d3d->EnumDevices(dxEnumDevice, &choice))) return done(FALSE);
    uint32_t depths = choice.renderDepths;
    if (!guid && (g.driverCaps.dwCaps2 & DDCAPS2_CANRENDERWINDOWED)) {
        g.windowedOk = 1;
        DDSURFACEDESC2 mode{};
        mode.dwSize = sizeof mode;
        if (FAILED(dd->GetDisplayMode(&mode))) return done(FALSE);
        const DxDesktopResult r = dxCheckDesktop(mode.ddpfPixelFormat.dwRGBBitCount, mode.dwWidth, mode.dwHeight,
                                                 depths, g.driverCaps.dwVidMemFree);
        if (!r.accepted) return done(TRUE);
        g.desktopWidth = mode.dwWidth;
        g.desktopHeight = mode.dwHeight;
        if (!r.windowedOk) {
            dxTrace("Nicht genug Bildspeicher...\n");
            g.windowedOk = 0;
        }
        g.pixelBytes = r.pixelBytes;
    } else {
        g.windowedOk = 0;
    }
    g.modeCount = 0;
    std::memset(g.modes, 0, sizeof g.modes);
    if (FAILED(dd->EnumDisplayModes(0, nullptr, &depths, dxEnumDisplayMode))) return done(FALSE);
    g.driverTaken = 1;
    if (guid) {
        g.driverGuid = *guid;
        g.driverGuidPtr = &g.driverGuid;
    }
    return done(FALSE);
}

// ---- primitives -------------------------------------------------------------------------------

DxContext* paintingContext() {
    DxContext* c = g.current;
    return (c && c->device && c->painting) ? c : nullptr;
}

void flushVertices() {
    DxContext* c = paintingContext();
    if (!c || g.flushing) return;
    if (c->vertexCount > 0) {
        g.flushing = 1;
        const DWORD n = DWORD(c->vertexCount);
        c->vertexCount = 0;
        HRESULT hr = (g.faults & DX_FAULT_DRAW) ? E_FAIL
                                                : c->device->DrawPrimitive(D3DPT_TRIANGLELIST, kFvf, c->vertices, n, 0);
        if (FAILED(hr)) {
            // Tear down without ending the scene through another flush.
            c->painting = 0;
            dxReleaseObjects(c);
            sendFailure(c->window, true);
            DX_REPORT("FlushVertexBuffer", "DrawPrimitive", hr);
            g.flushing = 0;
            return;
        }
        g.flushing = 0;
    }
    c->boundTex0 = c->boundTex1 = nullptr;
    c->filter0 = c->filter1 = 0x7FFFFFFF;
}

// Uploads a block into a new texture surface with its mip levels.
int dxTexToTex(const TexPixelBlock* key, DxContext* c, const DDPIXELFORMAT& fmt, IDirectDrawSurface7** out,
               uint32_t* smaller, uint32_t stage, const float* multiplier) {
    *out = nullptr;
    if (!key || key->magic != TEX_BLOCK_MAGIC) return 0;
    DxLevelPlan plan{};
    if (!dxPlanLevels(key->log2Width, key->log2Height, key->extraLevels + 1, c->maxTexWidth, c->maxTexHeight, &plan))
        return 0;
    *smaller = plan.smaller;
    const uint32_t bytes = fmt.dwRGBBitCount / 8;
    const DxPixelLayout layout = bytes == 1 ? DxPixelLayout{1, {}, {}, {}}
                                            : dxLayoutFromMasks(bytes, fmt.dwRBitMask, fmt.dwGBitMask, fmt.dwBBitMask);
    const TexLevel* first = texLevel(key, plan.skipped);
    uint8_t table[256][3];
    dxBuildColourTable(first->palette, first->paletteCount, multiplier, table);
    const uint32_t keyIndex = dxColourKeyIndex(first->palette, first->paletteCount);

    DDSURFACEDESC2 sd{};
    sd.dwSize = sizeof sd;
    sd.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT | DDSD_CKSRCBLT | DDSD_TEXTURESTAGE;
    sd.dwWidth = plan.width;
    sd.dwHeight = plan.height;
    sd.ddckCKSrcBlt.dwColorSpaceLowValue = sd.ddckCKSrcBlt.dwColorSpaceHighValue = 0;
    sd.ddpfPixelFormat = fmt;
    sd.dwTextureStage = stage;
    sd.ddsCaps.dwCaps = DDSCAPS_TEXTURE;
    if (plan.levels > 1) {
        sd.dwFlags |= DDSD_MIPMAPCOUNT;
        sd.dwMipMapCount = plan.levels;
        sd.ddsCaps.dwCaps |= DDSCAPS_MIPMAP | DDSCAPS_COMPLEX;
    }
    if (c->emulation)
        sd.ddsCaps.dwCaps |= DDSCAPS_SYSTEMMEMORY;
    else
        sd.ddsCaps.dwCaps2 = DDSCAPS2_TEXTUREMANAGE;
    IDirectDrawSurface7* top = nullptr;
    HRESULT hr = c->ddraw->CreateSurface(&sd, &top, nullptr);
    if (FAILED(hr)) return DX_REPORT("dxTexToTex", "CreateSurface", hr);
    auto fail = [&](const char* call, HRESULT h) {
        releaseRef(top);
        return DX_REPORT("dxTexToTex", call, h);
    };
    if (bytes == 1) {
        PALETTEENTRY pe[256]{};
        for (int i = 0; i < 256; ++i) pe[i] = PALETTEENTRY{table[i][0], table[i][1], table[i][2], 0};
        IDirectDrawPalette* pal = nullptr;
        hr = c->ddraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256 | DDPCAPS_ALPHA, pe, &pal, nullptr);
        if (FAILED(hr)) return fail("CreatePalette", hr);
        hr = top->SetPalette(pal);
        pal->Release();
        if (FAILED(hr)) return fail("SetPalette", hr);
        DDCOLORKEY ck{keyIndex, keyIndex};
        hr = top->SetColorKey(DDCKEY_SRCBLT, &ck);
        if (FAILED(hr)) return fail("SetColorKey", hr);
    }
    IDirectDrawSurface7* level = top;
    uint32_t w = plan.width, h = plan.height;
    for (uint32_t i = 0; i < plan.levels; ++i) {
        const TexLevel* lv = texLevel(key, plan.skipped + i);
        DDSURFACEDESC2 ld{};
        ld.dwSize = sizeof ld;
        do {
            hr = level->Lock(nullptr, &ld, DDLOCK_WAIT, nullptr);
        } while (hr == DDERR_SURFACEBUSY);
        if (FAILED(hr)) return fail("Lock", hr);
        if (lv->pixels) {
            auto* base = static_cast<uint8_t*>(ld.lpSurface);
            for (uint32_t y = 0; y < h && y < ld.dwHeight; ++y)
                dxConvertTexRow(lv->pixels + size_t(y) * w, table, base + size_t(y) * ld.lPitch, layout,
                                std::min<uint32_t>(w, ld.dwWidth));
        }
        hr = level->Unlock(nullptr);
        if (FAILED(hr)) return fail("Unlock", hr);
        w = std::max(1u, w / 2);
        h = std::max(1u, h / 2);
        if (i + 1 < plan.levels) {
            DDSCAPS2 caps{};
            caps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_MIPMAP;
            IDirectDrawSurface7* next = nullptr;
            hr = level->GetAttachedSurface(&caps, &next);
            if (FAILED(hr)) return fail("GetAttachedSurface", hr);
            next->Release();  // the chain keeps it
            level = next;
        }
    }
    *out = top;
    return 1;
}

int dxPutTexToCache(DxTexCacheEntry* head, const TexPixelBlock* key, const float* multiplier, DxTexCacheEntry** out,
                    const DDPIXELFORMAT* fmt, uint32_t colour) {
    DxContext* c = g.current;
    if (!head || !key || !out || !fmt || !c || !c->ddraw) return 0;
    auto* e = static_cast<DxTexCacheEntry*>(memAllocZ(sizeof(DxTexCacheEntry)));
    if (!e) return 0;
    e->key = key;
    e->filter = 1;
    e->colour = colour;
    uint32_t smaller = 0;
    if (!dxTexToTex(key, c, *fmt, &e->surface, &smaller, 0, multiplier)) {
        memFree(e);
        return 0;
    }
    e->filter = smaller > 8 ? 2 : 1;
    e->previous = head;
    e->next = head->next;
    head->next->previous = e;
    head->next = e;
    *out = e;
    return 1;
}

void applyFilter(DxContext* c, DWORD stage, uint32_t filter) {
    const bool lin = filter == 2;
    c->device->SetTextureStageState(stage, D3DTSS_MIPFILTER, lin ? D3DTFP_POINT : D3DTFP_NONE);
    c->device->SetTextureStageState(stage, D3DTSS_MAGFILTER, lin ? D3DTFG_LINEAR : D3DTFG_POINT);
    c->device->SetTextureStageState(stage, D3DTSS_MINFILTER, lin ? D3DTFN_LINEAR : D3DTFN_POINT);
}

DxTexCacheEntry* lookupTexture(DxContext* c, const TexPixelBlock* key, const float* colour, uint32_t packed) {
    DxTexCacheEntry* e = nullptr;
    if (!dxCacheFind(&c->texCache, key, &e) && !dxPutTexToCache(&c->texCache, key, colour, &e, &c->texFormat, packed))
        return nullptr;
    if (e->surface && e->surface->IsLost() == DDERR_SURFACELOST) {
        dxRemoveTexFromCache(const_cast<TexPixelBlock*>(key));
        if (!dxPutTexToCache(&c->texCache, key, colour, &e, &c->texFormat, packed)) return nullptr;
    }
    return e;
}

void drawVertices(DxContext* c, D3DPRIMITIVETYPE type, DxVertex* v, DWORD n, const char* fn) {
    HRESULT hr = c->device->DrawPrimitive(type, kFvf, v, n, 0);
    if (FAILED(hr)) DX_REPORT(fn, "DrawPrimitive", hr);
}

void engineVertex(const PelVertex* p, DxEngineVertex* out, const PelVertex* colour) {
    *out = DxEngineVertex{p->sx, p->sy, p->sz, p->sw, colour->r, colour->g, colour->b, p->eu, p->ev};
}

void addQuad(DxContext* c, const DxVertex q[4]) {
    dxAddTriangle(&q[0], &q[1], &q[2]);
    dxAddTriangle(&q[0], &q[2], &q[3]);
}

// ---- buffers ------------------------------------------------------------------------------------

HRESULT dxRestoreSurfaces(DxContext* c) {
    if (!c) return E_FAIL;
    if (c->painting) return S_OK;
    IDirectDrawSurface7* s[3] = {c->primary, c->backBuffer, c->zBuffer};
    bool rebuild = false;
    for (auto* surf : s)
        if (surf && surf->IsLost() == DDERR_SURFACELOST && FAILED(surf->Restore())) {
            rebuild = true;
            break;
        }
    HWND parent = GetParent(c->window);
    if (!rebuild) {
        dxCacheClear(&c->texCache);
        SendMessageA(c->window, dxRestoredMessage, 0, 0);
        if (parent) PostMessageA(parent, dxRestoredMessage, 0, 0);
        return S_OK;
    }
    dxReleaseObjects(c);
    if (FAILED(dxInitContext(c))) {
        sendFailure(c->window, true);
        return E_FAIL;
    }
    PostMessageA(c->window, dxRestoredMessage, 0, 0);
    if (parent) PostMessageA(parent, dxRestoredMessage, 0, 0);
    return S_OK;
}

int dxEndPaintOn(DxContext* c) {
    if (!c) return 0;
    if (!c->painting) return 1;
    if (!c->device) return 0;
    DxContext* saved = g.current;
    g.current = c;
    flushVertices();
    g.current = saved;
    if (!c->painting) return 0;  // the flush tore the device down
    c->painting = 0;
    HRESULT hr = c->device->EndScene();
    if (FAILED(hr)) return DX_REPORT("dxEndPaint", "EndScene", hr);
    return 1;
}

int32_t bufferSwap(DxContext* c) {
    if (!c) return E_FAIL;
    if (!c->initialised || !c->visible) return S_OK;
    if (!c->primary || !c->backBuffer) return E_FAIL;
    if (c->painting && !dxEndPaintOn(c)) return E_FAIL;
    if (!c->primary || !c->backBuffer) return E_FAIL;
    HRESULT hr;
    if (g.fullScreen) {
        hr = c->primary->Flip(nullptr, DDFLIP_WAIT);
        if (hr != DDERR_SURFACELOST) return S_OK;
        if (FAILED(dxRestoreSurfaces(c)) || !c->primary) return DDERR_SURFACELOST;
        hr = c->primary->Flip(nullptr, DDFLIP_WAIT);
        if (FAILED(hr)) DX_REPORT("dxBufferSwap", "Flip", hr);
        return hr;
    }
    // The client rectangle follows the window; the surface keeps its own size.
    windowRect(c);
    if (c->primary->IsLost() == DDERR_SURFACELOST) {
        hr = dxRestoreSurfaces(c);
        if (FAILED(hr)) {
            DX_REPORT("dxBufferSwap", "PrimaryRestore (Alles wech)", hr);
            return hr;
        }
        if (!c->primary || !c->backBuffer) return E_FAIL;
    }
    for (int i = 0; i < 100000 && c->primary->GetBltStatus(DDGBS_ISBLTDONE) == DDERR_WASSTILLDRAWING; ++i) Sleep(0);
    RECT src{0, 0, c->width, c->height};
    hr = c->primary->Blt(&c->clientRect, c->backBuffer, &src, DDBLT_WAIT, nullptr);
    if (hr != DDERR_SURFACELOST) return S_OK;
    if (FAILED(dxRestoreSurfaces(c)) || !c->primary) return DDERR_SURFACELOST;
    hr = c->primary->Blt(&c->clientRect, c->backBuffer, &src, DDBLT_WAIT, nullptr);
    if (FAILED(hr)) DX_REPORT("dxBufferSwap", "Blt", hr);
    return hr;
}

int fzDeviceQuery(uint32_t* pixelBytes, uint32_t* depthBytes) {
    if (pixelBytes) *pixelBytes = g.pixelBytes;
    if (depthBytes) *depthBytes = g.zBytes;
    return ::dxActive ? 1 : 0;
}
int dxActiveQuery() { return ::dxActive ? 1 : 0; }

void hookEndPaint() { kvdx::dxEndPaint(); }
void hookBufferClear(const IRect* r, uint32_t colour, float depth) { kvdx::dxBufferClear(r, colour, depth); }

int copyFz(PicRecord* fz, int convert, int32_t xOffset, int32_t yOffset, const IRect* rect, bool toDevice) {
    DxContext* c = g.current;
    const char* fn = toDevice ? "dxBitBltFZtoDirectX" : "dxBitBltFZfromDirectX";
    if (!::dxActive || !c || !c->ddraw || !c->backBuffer || !c->primary || !rect || !fz || !fz->pixels) return 0;
    DxCopyRect r{};
    if (!dxClipCopy(rect->x, rect->y, rect->w, rect->h, xOffset, yOffset, fz->width, fz->height, c->width, c->height,
                    &r))
        return 1;
    const uint32_t fzBytes = fz->bytesPerPixel;
    if (fzBytes < 2 || fzBytes > 4) return 0;
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    HRESULT hr = c->backBuffer->GetPixelFormat(&pf);
    if (FAILED(hr)) return DX_REPORT(fn, "GetPixelFormat F", hr);
    const DxPixelLayout dev = dxLayoutFromMasks(pf.dwRGBBitCount / 8, pf.dwRBitMask, pf.dwGBitMask, pf.dwBBitMask);
    if (dev.bytes < 2 || dev.bytes > 4) return 0;
    const DWORD lockFlags = DDLOCK_WAIT | (toDevice ? DDLOCK_WRITEONLY : DDLOCK_READONLY);
    DDSURFACEDESC2 ld{};
    ld.dwSize = sizeof ld;
    hr = c->backBuffer->Lock(nullptr, &ld, lockFlags, nullptr);
    if (FAILED(hr)) return DX_REPORT(fn, "Lock F", hr);
    const size_t fzStride = size_t(fz->width) * fzBytes;
    for (int32_t i = 0; i < r.height; ++i) {
        const int32_t fzRow = r.srcY + i;
        const int32_t devRow = c->height - 1 - fzRow;
        if (devRow < 0 || devRow >= int32_t(ld.dwHeight)) continue;
        uint8_t* f = fz->pixels + size_t(fzRow) * fzStride + size_t(r.srcX) * fzBytes;
        uint8_t* d = static_cast<uint8_t*>(ld.lpSurface) + size_t(devRow) * ld.lPitch + size_t(r.dstX) * dev.bytes;
        if (toDevice)
            dxConvertRowToDevice(f, fzBytes, d, dev, uint32_t(r.width), convert);
        else
            dxConvertRowFromDevice(d, dev, f, fzBytes, uint32_t(r.width), convert);
    }
    hr = c->backBuffer->Unlock(nullptr);
    if (FAILED(hr)) return DX_REPORT(fn, "Unlock F", hr);
    if (!fz->depth || !c->zBuffer) return 1;
    DDPIXELFORMAT zf{};
    zf.dwSize = sizeof zf;
    hr = c->zBuffer->GetPixelFormat(&zf);
    if (FAILED(hr)) return DX_REPORT(fn, "GetPixelFormat Z", hr);
    const uint32_t zb = zf.dwZBufferBitDepth / 8;
    if (zb != 2 && zb != 4) return 0;
    ld = DDSURFACEDESC2{};
    ld.dwSize = sizeof ld;
    hr = c->zBuffer->Lock(nullptr, &ld, lockFlags, nullptr);
    if (FAILED(hr)) return DX_REPORT(fn, "Lock Z", hr);
    for (int32_t i = 0; i < r.height; ++i) {
        const int32_t fzRow = r.srcY + i;
        const int32_t devRow = c->height - 1 - fzRow;
        if (devRow < 0 || devRow >= int32_t(ld.dwHeight)) continue;
        int16_t* f = fz->depth + size_t(fzRow) * size_t(fz->width) + r.srcX;
        uint8_t* d = static_cast<uint8_t*>(ld.lpSurface) + size_t(devRow) * ld.lPitch + size_t(r.dstX) * zb;
        if (toDevice)
            dxConvertDepthToDevice(f, d, zb, uint32_t(r.width), convert);
        else
            dxConvertDepthFromDevice(d, zb, f, uint32_t(r.width), convert);
    }
    hr = c->zBuffer->Unlock(nullptr);
    if (FAILED(hr)) return DX_REPORT(fn, "Unlock Z", hr);
    return 1;
}

int copyFzRegion(PicRecord* fz, int convert, int32_t xo, int32_t yo, const UpdateRegion* region, bool toDevice) {
    if (!region) return copyFz(fz, convert, xo, yo, nullptr, toDevice);
    if (rgnPreferBounds(region)) return copyFz(fz, convert, xo, yo, &region->bounds, toDevice);
    for (const UpdateRect* r = region->first; r; r = r->next) {
        const IRect rc{r->x0, r->y0, r->x1 - r->x0, r->y1 - r->y0};
        if (!copyFz(fz, convert, xo, yo, &rc, toDevice)) return 0;
    }
    return 1;
}

}  // namespace

// ==== public interface ===========================================================================

int dxLoadLibrary() {
    if (g.library) return 1;
    g.library = LoadLibraryA("ddraw.dll");
    if (!g.library) {
        g.status = 3;
        return 0;
    }
    static const char* const names[7] = {"DirectDrawEnumerateW",   "DirectDrawEnumerateA", "DirectDrawEnumerateExW",
                                         "DirectDrawEnumerateExA", "DirectDrawCreate",     "DirectDrawCreateEx",
                                         "DirectDrawCreateClipper"};
    for (int i = 0; i < 7; ++i) {
        g.entries[i] = GetProcAddress(g.library, names[i]);
        if (!g.entries[i]) {
            g.status = 4;
            dxUnloadLibrary();
            return 0;
        }
    }
    return 1;
}

int dxUnloadLibrary() {
    if (g.library) FreeLibrary(g.library);
    g.library = nullptr;
    for (auto& e : g.entries) e = nullptr;
    return 0;
}

int dxStartup() {
    g.available = 0;
    g.status = 0;
    g.driverTaken = 0;
    if (!dxLoadLibrary()) return 0;
    auto enumerate = reinterpret_cast<EnumerateExAFn>(reinterpret_cast<void*>(g.entries[3]));
    HRESULT hr = enumerate(dxDirectDrawCreateEx, nullptr, DDENUM_DETACHEDSECONDARYDEVICES | DDENUM_NONDISPLAYDEVICES);
    if (FAILED(hr)) {
        dxTrace("DirectDrawEnumerateExA: %s\n", dxErrorText(hr));
        return 0;
    }
    if (!g.driverTaken) {
        g.available = 0;
        return 0;
    }
    g.available = 1;
    return g.windowedOk ? 1 : 0;
}

uint32_t dxGetStatus() { return g.status; }
int dxAvailableFlag() { return int(g.available); }
int dxWindowedOkFlag() { return int(g.windowedOk); }

int dxShutdown() {
    // Every hooked window's objects go, not only the current one's: the library is unloaded.
    for (HWND w : g.windows)
        if (DxContext* c = contextOf(w)) {
            dxCacheClear(&c->texCache);
            dxReleaseObjects(c);
            c->initialised = 0;
            c->needsSetUp = 1;
        }
    g.available = 0;
    ::dxActive = 0;
    dxUnloadLibrary();
    return 1;
}

int dxGetDeviceBuffer(PicRecord** picture, int32_t* width, int32_t* height, int* windowed) {
    if (!g.available) return 0;
    const int32_t w = g.deviceBuffer.width ? g.deviceBuffer.width : int32_t(g.desktopWidth);
    const int32_t h = g.deviceBuffer.height ? g.deviceBuffer.height : int32_t(g.desktopHeight);
    g.deviceBuffer = PicRecord{};
    g.deviceBuffer.pixels = nullptr;
    g.deviceBuffer.depth = nullptr;
    g.deviceBuffer.bytesPerPixel = 2;
    g.deviceBuffer.flags = PIC_BORROWED | DX_PIC_HARDWARE;
    g.deviceBuffer.width = w;
    g.deviceBuffer.height = h;
    if (width) *width = int32_t(g.desktopWidth);
    if (height) *height = int32_t(g.desktopHeight);
    if (windowed) *windowed = g.fullScreen ? 0 : 1;
    if (picture) *picture = &g.deviceBuffer;
    return 1;
}

int dxGetDisplayModes(const dxDisplayMode** table, uint32_t* count) {
    if (!table || !count) return 0;
    if (!g.modeCount || !g.available) {
        *table = nullptr;
        *count = 0;
        return 0;
    }
    *table = g.modes;
    *count = g.modeCount;
    return 1;
}

int dxSelectDisplayMode(int fullScreen, uint32_t index) {
    if (!g.available) return 0;
    if (!fullScreen) {
        if (!g.windowedOk) return 0;
        g.fullScreen = 0;
        return 1;
    }
    if (index >= g.modeCount) return 0;
    g.fullScreen = 1;
    g.fullScreenMode = g.modes[index];
    return 1;
}

int dxSetFullScreen(int flag) {
    if (!flag && !g.windowedOk) return 0;
    g.fullScreen = flag ? 1 : 0;
    return 1;
}

int dxDirectXSetContext(void* window) try {
    HWND w = static_cast<HWND>(window);
    if (g.current && g.current->window == w && w) return 1;
    if (w) return dxSetContextForWindow(w);
    dbgPrintf("dxDirectXSetContext: Hallo, Du hast mir ein NULL-Handle uebergeben, ich hoffe Du weisst was Du tust...\n");
    if (g.current && g.current->painting) {
        dbgPrintf("dxDirectXSetContext: Was painting...\n");
        dxEndPaintOn(g.current);
    }
    g.current = nullptr;
    return 1;
} QIV_ENGINE_CATCH(0)

int dxSetContext(void* window) try {
    dxDirectXSetContext(window);
    return 1;
} QIV_ENGINE_CATCH(0)

int dxSetActive(int flag) {
    if (!g.available) return 0;
    ::dxActive = flag ? 1 : 0;
    return 1;
}

int dxGetActive() { return ::dxActive; }

int dxAttachWindow(int attach, void* window) try {
    if (!g.available) return 0;
    if (!attach) {
        dxUnhookWindow(static_cast<HWND>(window));
        return 0;
    }
    return dxDirectXSetContext(window);
} QIV_ENGINE_CATCH(0)

int dxGetBackBufferDC(void** hdc, int* wasPainting) {
    DxContext* c = g.current;
    if (!c || !hdc || !wasPainting || !c->window || !c->device) return 0;
    *hdc = nullptr;
    *wasPainting = int(c->painting);
    if (c->painting && !dxEndPaintOn(c)) return 0;
    HDC dc = nullptr;
    if (!c->backBuffer || FAILED(c->backBuffer->GetDC(&dc))) return 0;
    *hdc = dc;
    return 1;
}

int dxReleaseBackBufferDC(void** hdc, int beginAgain) {
    DxContext* c = g.current;
    if (!c || !hdc || !c->window || !c->device || !c->backBuffer) return 0;
    if (FAILED(c->backBuffer->ReleaseDC(static_cast<HDC>(*hdc)))) return 0;
    if (beginAgain && !dxBeginPaint()) return 0;
    *hdc = nullptr;
    return 1;
}

int dxResetContext() {
    DxContext* c = g.current;
    if (!c) return 0;
    dxReleaseObjects(c);
    return SUCCEEDED(dxInitContext(c)) ? 1 : 0;
}

int dxUpdateClientRect() {
    if (!g.current) return 0;
    windowRect(g.current);
    return 1;
}

int32_t dxSwapWindow(void* window) {
    HWND w = static_cast<HWND>(window);
    if (!IsWindow(w) || !g.available) return 0;
    DxContext* c = contextOf(w);
    if (!c || !c->visible || !c->initialised) return 0;
    return bufferSwap(c);
}

void dxResetRenderState() {
    DxContext* c = g.current;
    if (!c) return;
    if (!c->painting) dxBeginPaint();
    c = g.current;
    if (!c) return;
    c->boundTex0 = c->boundTex1 = nullptr;
    c->filter0 = c->filter1 = 0x7FFFFFFF;
    c->drawMode = 1;
    if (!c->device) return;
    IDirect3DDevice7* d = c->device;
    d->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, FALSE);
    d->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
    d->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTFP_LINEAR);
    d->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, FALSE);
    d->SetRenderState(D3DRENDERSTATE_ZENABLE, D3DZB_TRUE);
    d->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, TRUE);
    d->SetRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_LESSEQUAL);
    d->SetRenderState(D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD);
    d->SetTextureStageState(0, D3DTSS_ADDRESS, D3DTADDRESS_WRAP);
    d->SetTexture(0, nullptr);
    if (!c->emulation) {
        d->SetTexture(1, nullptr);
        d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
        d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
        d->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_DISABLE);
        d->SetTextureStageState(2, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
        d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
    }
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
}

void dxDepthBufferMode(uint32_t on) {
    DxContext* c = g.current;
    if (!c || !c->device) return;
    flushVertices();
    if (!c->device) return;
    HRESULT hr = c->device->SetRenderState(D3DRENDERSTATE_ZFUNC, on ? D3DCMP_LESSEQUAL : D3DCMP_ALWAYS);
    if (FAILED(hr)) DX_REPORT("dxDepthBufferMode", "SetRenderState", hr);
}

void InitRenderState(uint32_t zWrite) {
    DxContext* c = g.current;
    if (!c || !c->device) return;
    flushVertices();
    if (!c->device) return;
    HRESULT hr = c->device->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, zWrite ? TRUE : FALSE);
    if (FAILED(hr)) DX_REPORT("InitRenderState", "SetRenderState", hr);
}

void dxTextureWrap(uint32_t wrap) {
    DxContext* c = g.current;
    if (!c || !c->device) return;
    flushVertices();
    if (!c->device) return;
    c->device->SetTextureStageState(0, D3DTSS_ADDRESS, wrap ? D3DTADDRESS_WRAP : D3DTADDRESS_CLAMP);
}

void FlushVertexBuffer() { flushVertices(); }

void dxSetDrawMode(uint32_t flags) {
    DxContext* c = paintingContext();
    if (!c || flags == c->drawMode) return;
    flushVertices();
    if (!c->device) return;
    const uint32_t changed = flags ^ c->drawMode;
    IDirect3DDevice7* d = c->device;
    if ((changed & 0x08) && !(flags & 0x08)) {
        c->boundTex0 = c->boundTex1 = nullptr;
        c->filter0 = c->filter1 = 1;
        d->SetTexture(0, nullptr);
        if (!c->emulation) d->SetTexture(1, nullptr);
    }
    if (changed & 0x01) d->SetRenderState(D3DRENDERSTATE_ZFUNC, (flags & 0x01) ? D3DCMP_LESSEQUAL : D3DCMP_ALWAYS);
    if (changed & 0x20) d->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, (flags & 0x20) ? TRUE : FALSE);
    if (changed & 0x10) {
        if (flags & 0x10) {
            if (c->emulation) {
                d->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCCOLOR);
                d->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_DESTCOLOR);
            }
            d->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, TRUE);
            d->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, FALSE);
        } else {
            d->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, FALSE);
            d->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, TRUE);
        }
    }
    c->drawMode = flags;
}

void dxAddTriangle(const DxVertex* a, const DxVertex* b, const DxVertex* c3) {
    DxContext* c = g.current;
    if (!c || !a || !b || !c3) return;
    if (c->vertexCount + 3 > DX_MAX_VERTICES) {
        flushVertices();
        // No flush could run: what was gathered cannot be drawn; never write past the buffer.
        if (c != g.current || c->vertexCount + 3 > DX_MAX_VERTICES) c->vertexCount = 0;
    }
    c->vertices[c->vertexCount++] = *a;
    c->vertices[c->vertexCount++] = *b;
    c->vertices[c->vertexCount++] = *c3;
    if (c->vertexCount >= DX_MAX_VERTICES) flushVertices();
}

int dxTriangle(const TriRecord* tri) {
    DxContext* c = paintingContext();
    if (!c || !tri || !tri->a || !tri->b || !tri->c) return 0;
    uint32_t flags = tri->flags & 0x3F & ~0x02u;
    if (!tri->texture) flags &= ~0x28u;  // nothing to bind: untextured
    dxSetDrawMode(flags);
    c = paintingContext();
    if (!c) return 0;
    const PelVertex* p[3] = {tri->a, tri->b, tri->c};
    DxVertex v[3];
    for (int i = 0; i < 3; ++i) {
        DxEngineVertex e;
        engineVertex(p[i], &e, (flags & 0x04) ? p[i] : p[0]);
        dxConvertVertex(e, flags, tri->alpha, c->height, &v[i]);
    }
    if ((flags & 0x08) && tri->texture) dxSetTex(tri->texture, nullptr, nullptr);
    dxAddTriangle(&v[0], &v[1], &v[2]);
    return 1;
}

void dxTriangleEdges(const TriRecord* tri, uint32_t edges) {
    if (!tri || !tri->a || !tri->b || !tri->c) return;
    PelVertex v[3] = {*tri->a, *tri->b, *tri->c};
    uint32_t swaps = 0;
    if (v[1].sy < v[0].sy) std::swap(v[0], v[1]), swaps |= 1;
    if (v[2].sy < v[0].sy) std::swap(v[0], v[2]), swaps |= 2;
    if (v[2].sy < v[1].sy) std::swap(v[1], v[2]), swaps |= 4;
    const float ex1 = v[1].sx - v[0].sx, ey1 = v[1].sy - v[0].sy, ex2 = v[2].sx - v[0].sx, ey2 = v[2].sy - v[0].sy;
    const float area2 = ex1 * ey2 - ey1 * ex2;
    if (v[2].sy - v[0].sy == 0.0f || std::abs(area2) < 1.0f) return;
    v[0].r = v[0].g = v[0].b = 1.0f;
    const uint32_t flags = dxRemapEdges(edges, swaps);
    if (flags) {
        // Each flagged edge (bit 0: 0-1, bit 1: 1-2, bit 2: 2-0) is a visible edge whose line
        // was drawn before the face: it moves half a pixel inward, as in the software
        // rasteriser, so that the face leaves the line's pixels alone.
        const PelVertex o[3] = {v[0], v[1], v[2]};
        const float cx = (o[0].sx + o[1].sx + o[2].sx) / 3.0f, cy = (o[0].sy + o[1].sy + o[2].sy) / 3.0f;
        for (int k = 0; k < 3; ++k) {
            if (!(flags & (1u << k))) continue;
            const int i = k, j = (k + 1) % 3;
            float nx = o[j].sy - o[i].sy, ny = -(o[j].sx - o[i].sx);
            const float len = std::max(std::abs(nx), std::abs(ny));
            if (len <= 0.0f) continue;
            nx /= len, ny /= len;
            if (nx * (o[i].sx - cx) + ny * (o[i].sy - cy) > 0) nx = -nx, ny = -ny;
            v[i].sx += 0.5f * nx, v[i].sy += 0.5f * ny;
            v[j].sx += 0.5f * nx, v[j].sy += 0.5f * ny;
        }
    }
    TriRecord t{&v[0], &v[1], &v[2], tri->texture, tri->alpha, 0x01};
    dxTriangle(&t);
}

void dxTriangleTwoPass(const float* p0, const float* p1, const float* p2, const TexPixelBlock* first,
                       const TexPixelBlock* second) {
    DxContext* c = paintingContext();
    if (!c || !p0 || !p1 || !p2) return;
    flushVertices();
    if (!c->device) return;
    DxVertex v[3];
    const float* p[3] = {p0, p1, p2};
    for (int i = 0; i < 3; ++i) v[i] = DxVertex{p[i][0] - DX_PIXEL_CENTRE, float(c->height) - p[i][1] - DX_PIXEL_CENTRE, 1.0f, 0.001f, 0xFFFFFFFF, p[i][2], p[i][3]};
    IDirect3DDevice7* d = c->device;
    const D3DRENDERSTATETYPE rs[5] = {D3DRENDERSTATE_ZFUNC, D3DRENDERSTATE_ALPHABLENDENABLE,
                                      D3DRENDERSTATE_COLORKEYENABLE, D3DRENDERSTATE_DESTBLEND, D3DRENDERSTATE_SRCBLEND};
    const D3DTEXTURESTAGESTATETYPE ts[6] = {D3DTSS_COLORARG1, D3DTSS_COLOROP,   D3DTSS_COLORARG2,
                                            D3DTSS_ALPHAARG1, D3DTSS_ALPHAOP, D3DTSS_ALPHAARG2};
    DWORD rsv[5]{}, tsv[6]{};
    for (int i = 0; i < 5; ++i) d->GetRenderState(rs[i], &rsv[i]);
    for (int i = 0; i < 6; ++i) d->GetTextureStageState(0, ts[i], &tsv[i]);
    d->SetRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_EQUAL);
    d->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, TRUE);
    dxSetTex(first, nullptr, nullptr);
    d->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCCOLOR);
    d->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
    drawVertices(c, D3DPT_TRIANGLELIST, v, 3, "dxTriangleTwoPass");
    dxSetTex(second, nullptr, nullptr);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD);
    d->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_INVSRCCOLOR);
    d->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_SRCCOLOR);
    drawVertices(c, D3DPT_TRIANGLELIST, v, 3, "dxTriangleTwoPass");
    for (int i = 0; i < 5; ++i) d->SetRenderState(rs[i], rsv[i]);
    for (int i = 0; i < 6; ++i) d->SetTextureStageState(0, ts[i], tsv[i]);
}

int dxLine(const float* start, const float* end, const float* colour, uint32_t depthTest, const LineRecord* rec) {
    DxContext* c = paintingContext();
    if (!c || !start || !end) return 0;
    uint32_t flags = depthTest ? 0x01 : 0;
    if (rec) {
        if (rec->gouraud) flags |= 0x04;
        if (rec->texture) flags |= 0x08;
        if (rec->texture && rec->colorKey) flags |= 0x20;
        if (rec->alpha != 0.0f) flags |= 0x10;
    }
    dxSetDrawMode(flags);
    // Gathered triangles go first so the drawing order holds.
    flushVertices();
    c = paintingContext();
    if (!c) return 0;
    static const float black[3] = {0, 0, 0};
    const float* flat = (rec && rec->colour0) ? rec->colour0 : (colour ? colour : black);
    const float* c0 = flat;
    const float* c1 = (rec && rec->gouraud && rec->colour1) ? rec->colour1 : flat;
    const uint32_t alpha = (flags & 0x10) ? dxAlphaByte(rec->alpha) : 0;
    DxVertex v[2];
    const float* pts[2] = {start, end};
    const float* cols[2] = {c0, c1};
    for (int i = 0; i < 2; ++i) {
        v[i].x = pts[i][0] - DX_PIXEL_CENTRE;
        v[i].y = float(c->height) - pts[i][1] - DX_PIXEL_CENTRE;
        v[i].z = depthTest ? dxDepthToZ(pts[i][2]) : 1.0f;
        v[i].diffuse = dxPackColour(cols[i][0], cols[i][1], cols[i][2], alpha);
        // Both ends share one rhw: the texture runs linearly along the line.
        v[i].rhw = (flags & 0x08) ? 1.0f : 0.001f;
        v[i].u = (flags & 0x08) ? (i ? rec->u1 : rec->u0) : 0.0f;
        v[i].v = 0.0f;
    }
    if (flags & 0x08) dxSetTex(rec->texture, nullptr, nullptr);
    c = paintingContext();
    if (!c) return 0;
    // As the software line routine: a pixel at the depth already there keeps what was drawn first.
    if (depthTest) c->device->SetRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_LESS);
    HRESULT hr = c->device->DrawPrimitive(D3DPT_LINELIST, kFvf, v, 2, 0);
    if (depthTest) c->device->SetRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_LESSEQUAL);
    if (FAILED(hr)) return DX_REPORT("dxLine", "DrawPrimitive", hr);
    return 1;
}

void dxFillRect(const float top[3], const float bottom[3], int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    DxContext* c = paintingContext();
    if (!c || !top || !bottom) return;
    dxSetDrawMode(1);
    c = paintingContext();
    if (!c) return;
    // Rows y0 .. y1 and columns x0 .. x1 inclusive; device pixel centres lie on whole
    // coordinates, engine row y on device row height - 1 - y.
    const float h = float(c->height) - 1.0f;
    const float xa = float(x0) - 0.45f, xb = float(x1) + 0.45f;
    const float ya = (h - float(y0)) + 0.45f, yb = (h - float(y1)) - 0.45f;
    const uint32_t ct = dxPackColour(top[0], top[1], top[2], 0), cb = dxPackColour(bottom[0], bottom[1], bottom[2], 0);
    const DxVertex q[4] = {{xa, ya, 1.0f, 0.001f, ct, 0, 0},
                           {xb, ya, 1.0f, 0.001f, ct, 0, 0},
                           {xb, yb, 1.0f, 0.001f, cb, 0, 0},
                           {xa, yb, 1.0f, 0.001f, cb, 0, 0}};
    addQuad(c, q);
}

namespace {
void rectCommon(const float rect[4], const float uv[4], float depth, const TexPixelBlock* block,
                const float colour[3], uint32_t texturedMode) {
    DxContext* c = paintingContext();
    if (!c || !rect) return;
    // The colour tints a texture (the stage modulates by the diffuse colour); white without one.
    const uint32_t diffuse = colour ? dxPackColour(colour[0], colour[1], colour[2], 0) : 0xFFFFFF;
    dxSetDrawMode(block ? texturedMode : 1);
    c = paintingContext();
    if (!c) return;
    if (block) dxSetTex(block, nullptr, nullptr);
    // Engine coordinates as for triangles: pixel (x, y) spans x .. x + 1, y .. y + 1 and is
    // sampled at its centre.
    const float h = float(c->height) - DX_PIXEL_CENTRE, z = dxDepthToZ(depth);
    const float xa = rect[0] - DX_PIXEL_CENTRE, xb = rect[2] - DX_PIXEL_CENTRE;
    const float u0 = uv ? uv[0] : 0, v0 = uv ? uv[1] : 0, u1 = uv ? uv[2] : 1, v1 = uv ? uv[3] : 1;
    const DxVertex q[4] = {{xa, h - rect[1], z, 0.001f, diffuse, u0, v0},
                           {xb, h - rect[1], z, 0.001f, diffuse, u1, v0},
                           {xb, h - rect[3], z, 0.001f, diffuse, u1, v1},
                           {xa, h - rect[3], z, 0.001f, diffuse, u0, v1}};
    addQuad(c, q);
}
}  // namespace

void dxDrawTexturedRect(const float rect[4], const float uv[4], float depth, const TexPixelBlock* block,
                        const float colour[3]) {
    rectCommon(rect, uv, depth, block, colour, 0x29);
}

void dxDrawPictureRect(const float rect[4], const float uv[4], float depth, const TexPixelBlock* block,
                       const float colour[3]) {
    rectCommon(rect, uv, depth, block, colour, 0x09);
}

int dxDrawSubPicture(const PicRecord* picture, const float dest[4], uint32_t mirror, const IRect* clip) {
    DxContext* c = paintingContext();
    if (!c) return 0;
    if (!picture || !dest) return 1;
    const bool keyed = (mirror & DX_SUBPIC_COLOUR_KEY) != 0;
    dxSetDrawMode(c->drawMode | 0x20);
    // The visible part: dest within the clip rectangle and the buffer.
    double lo[2] = {0.0, 0.0}, hi[2] = {double(c->width), double(c->height)};
    if (clip) {
        lo[0] = std::max(lo[0], double(clip->x));
        lo[1] = std::max(lo[1], double(clip->y));
        hi[0] = std::min(hi[0], double(clip->x) + clip->w);
        hi[1] = std::min(hi[1], double(clip->y) + clip->h);
    }
    float part[4], tex[4];
    for (int axis = 0; axis < 2; ++axis) {
        const double a = dest[axis], b = dest[axis + 2];
        if (!std::isfinite(a) || !std::isfinite(b) || a == b) return 1;
        const double v0 = std::max(std::min(a, b), lo[axis]), v1 = std::min(std::max(a, b), hi[axis]);
        if (!(v1 > v0)) return 1;
        // the part in dest's direction, and its texture coordinates
        const double p0 = a < b ? v0 : v1, p1 = a < b ? v1 : v0;
        double t0 = std::clamp((p0 - a) / (b - a), 0.0, 1.0), t1 = std::clamp((p1 - a) / (b - a), 0.0, 1.0);
        if (mirror & (axis == 0 ? DX_MIRROR_U : DX_MIRROR_V)) t0 = 1.0 - t0, t1 = 1.0 - t1;
        part[axis] = float(p0);
        part[axis + 2] = float(p1);
        tex[axis] = float(t0);
        tex[axis + 2] = float(t1);
    }
    fzDrawSubPicture(picture, part, tex, keyed ? kvdx::dxDrawTexturedRect : kvdx::dxDrawPictureRect);
    flushVertices();
    return 1;
}

void dxSetTex(const TexPixelBlock* stage0, const TexPixelBlock* stage1, const float* colour) {
    DxContext* c = paintingContext();
    if (!stage0 || !c) return;
    if (stage0 == c->boundTex0 && stage1 == c->boundTex1) return;
    flushVertices();
    if (!c->device) return;
    DxTexCacheEntry* e = lookupTexture(c, stage0, colour, 0);
    if (!e) return;
    if (c->filter0 != e->filter) {
        applyFilter(c, 0, e->filter);
        c->filter0 = e->filter;
    }
    HRESULT hr = c->device->SetTexture(0, e->surface);
    if (FAILED(hr)) DX_REPORT("dxSetTex", "SetTexture", hr);
    if (stage1 && !c->emulation) {
        const uint32_t packed = colour ? dxPackColour(colour[0], colour[1], colour[2], 0) : 0;
        DxTexCacheEntry* e1 = lookupTexture(c, stage1, colour, packed);
        if (e1) {
            if (c->filter1 != e1->filter) {
                applyFilter(c, 1, e1->filter);
                c->filter1 = e1->filter;
            }
            hr = c->device->SetTexture(1, e1->surface);
            if (FAILED(hr)) DX_REPORT("dxSetTex", "SetTexture", hr);
        }
    } else if (!stage1 && c->boundTex1 && !c->emulation) {
        c->device->SetTexture(1, nullptr);
    }
    c->boundTex0 = stage0;
    c->boundTex1 = stage1;
}

void dxRemoveTexFromCache(TexPixelBlock*) {
    // Every window's cache is emptied; each texture is uploaded again on its next use.
    for (HWND w : g.windows)
        if (DxContext* c = contextOf(w)) {
            dxCacheClear(&c->texCache);
            c->boundTex0 = c->boundTex1 = nullptr;
        }
}

void dxCacheClearAll() { dxRemoveTexFromCache(nullptr); }

uint32_t dxCacheCount() {
    DxContext* c = g.current;
    if (!c) return 0;
    uint32_t n = 0;
    for (DxTexCacheEntry* e = c->texCache.next; e && e != &c->texCache; e = e->next) ++n;
    return n;
}

void* dxCacheSurface(const TexPixelBlock* key) {
    DxContext* c = g.current;
    DxTexCacheEntry* e = nullptr;
    if (!c || !dxCacheFind(&c->texCache, key, &e)) return nullptr;
    return e->surface;
}

int dxBufferClear(const IRect* rect, uint32_t colour, float depth) {
    DxContext* c = g.current;
    if (!c || !c->device) return 0;
    const bool was = c->painting != 0;
    if (was) dxEndPaintOn(c);
    if (!c->device) return 0;
    D3DRECT r{};
    if (rect) r = D3DRECT{rect->x, c->height - (rect->y + rect->h), rect->x + rect->w, c->height - rect->y};
    HRESULT hr = (g.faults & DX_FAULT_CLEAR) ? E_FAIL
                                             : c->device->Clear(rect ? 1 : 0, rect ? &r : nullptr,
                                                                D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, colour, depth, 0);
    if (was) dxBeginPaint();
    if (FAILED(hr)) DX_REPORT("dxBufferClear", "Clear", hr);
    return 0;
}

int dxBeginPaint() {
    DxContext* c = g.current;
    if (!c) return 0;
    if (c->painting) return 1;
    if (!c->device || !c->ddraw) return 0;
    if ((g.faults & DX_FAULT_COOPERATIVE) || FAILED(c->ddraw->TestCooperativeLevel())) {
        // Rebuilt or not, no scene was begun for this frame.
        dxReleaseObjects(c);
        dxInitContext(c);
        return 0;
    }
    HRESULT hr = c->primary ? c->primary->Restore() : E_FAIL;
    if (FAILED(hr)) return DX_REPORT("dxBeginPaint", "BeginScene", hr);
    hr = (g.faults & DX_FAULT_BEGINSCENE) ? E_FAIL : c->device->BeginScene();
    if (SUCCEEDED(hr)) {
        c->painting = 1;
        return 1;
    }
    if (FAILED(dxRestoreSurfaces(c))) DX_REPORT("dxBeginPaint", "BeginScene", hr);
    return 0;
}

int dxEndPaint() { return dxEndPaintOn(g.current); }

int32_t dxBufferSwap() { return bufferSwap(g.current); }

int kvdxDoFilter() {
    DxContext* c = g.current;
    if (!::dxActive || !c || !c->ddraw || !c->backBuffer) return 0;
    if (c->painting) return 1;
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    HRESULT hr = c->backBuffer->GetPixelFormat(&pf);
    if (FAILED(hr)) return DX_REPORT("kvdxDoFilter", "GetPixelFormat", hr);
    const uint32_t bytes = pf.dwRGBBitCount / 8;
    uint32_t (*fn)(void*, int32_t, int32_t, int32_t) = nullptr;
    if (bytes == 2) {
        const DxPixelLayout l = dxLayoutFromMasks(2, pf.dwRBitMask, pf.dwGBitMask, pf.dwBBitMask);
        if (l.r.bits != 5 || l.b.bits != 5) return 0;
        if (dxLayoutIs555(l))
            fn = fltFilter555;
        else if (l.g.bits == 6 && l.r.shift == 11 && l.g.shift == 5 && l.b.shift == 0)
            fn = fltFilter565;
        else
            return 0;
    } else if (bytes == 4) {
        fn = fltFilter32;
    } else {
        return 0;
    }
    DDSURFACEDESC2 ld{};
    ld.dwSize = sizeof ld;
    hr = c->backBuffer->Lock(nullptr, &ld, DDLOCK_WAIT, nullptr);
    if (FAILED(hr)) return DX_REPORT("kvdxDoFilter", "Lock", hr);
    const int32_t w = std::min<int32_t>(c->width, int32_t(ld.dwWidth));
    const int32_t h = std::min<int32_t>(c->height, int32_t(ld.dwHeight));
    fn(ld.lpSurface, w, h, int32_t(ld.lPitch / LONG(bytes)));
    hr = c->backBuffer->Unlock(nullptr);
    if (FAILED(hr)) return DX_REPORT("kvdxDoFilter", "Unlock", hr);
    return 1;
}

int dxBitBltFZtoDirectX(PicRecord* fz, int convert, void*, int32_t xOffset, int32_t yOffset, const IRect* rect) {
    return copyFz(fz, convert, xOffset, yOffset, rect, true);
}
int dxBitBltFZfromDirectX(PicRecord* fz, int convert, void*, int32_t xOffset, int32_t yOffset, const IRect* rect) {
    return copyFz(fz, convert, xOffset, yOffset, rect, false);
}
int dxBitBltFZtoDirectXRegion(PicRecord* fz, int convert, void*, int32_t xOffset, int32_t yOffset,
                              const UpdateRegion* region) {
    return copyFzRegion(fz, convert, xOffset, yOffset, region, true);
}
int dxBitBltFZfromDirectXRegion(PicRecord* fz, int convert, void*, int32_t xOffset, int32_t yOffset,
                                const UpdateRegion* region) {
    return copyFzRegion(fz, convert, xOffset, yOffset, region, false);
}
int dxPresentMultiView() { return 1; }

void dxInstallBackend() {
    DxBackend b{};
    b.endPaint = hookEndPaint;
    b.bufferClear = hookBufferClear;
    b.resetRenderState = kvdx::dxResetRenderState;
    b.depthBufferMode = kvdx::dxDepthBufferMode;
    b.textureWrap = kvdx::dxTextureWrap;
    b.fillRect = kvdx::dxFillRect;
    b.drawPictureRect = kvdx::dxDrawPictureRect;
    b.flushVertexBuffer = kvdx::FlushVertexBuffer;
    b.drawSubPicture = kvdx::dxDrawSubPicture;
    dxSetBackend(&b);
    static const SpanHardware hw = {
        [](const TriRecord* t) { dxTriangle(t); },
        [](const TriRecord* t, uint32_t edges) { dxTriangleEdges(t, edges); },
        [](const float* p0, const float* p1, const float* p2, TexPixelBlock* a, TexPixelBlock* b2) {
            dxTriangleTwoPass(p0, p1, p2, a, b2);
        },
        [](const float* p0, const float* p1, const float* colour, uint32_t depthTest, const LineRecord* r) {
            dxLine(p0, p1, colour, depthTest, r);
        },
        1,
    };
    spanSetHardware(&hw);
    fzSetDeviceQuery(fzDeviceQuery);
    fzSetDxActiveQuery(dxActiveQuery);
    texSetCacheRemoveHook(dxRemoveTexFromCache);
}

DxContextInfo dxCurrentInfo() {
    DxContextInfo i{};
    DxContext* c = g.current;
    if (!c) return i;
    i.present = 1;
    i.initialised = int(c->initialised);
    i.emulation = int(c->emulation);
    i.painting = int(c->painting);
    i.visible = int(c->visible);
    i.width = c->width;
    i.height = c->height;
    i.drawMode = c->drawMode;
    i.pixelBytes = g.pixelBytes;
    i.zBytes = g.zBytes;
    i.capFlags = c->capFlags;
    i.vertexCount = c->vertexCount;
    i.device = c->device;
    i.backBuffer = c->backBuffer;
    i.zBuffer = c->zBuffer;
    return i;
}

int32_t dxLastReportedError() { return int32_t(g_lastError); }

void dxSetTestFaults(uint32_t mask) { g.faults = mask; }

void dxResetState() try {
    const std::vector<HWND> windows = g.windows;
    for (HWND w : windows) dxUnhookWindow(w);
    g.windows.clear();
    dxUnloadLibrary();
    ::dxActive = 0;
    resetModuleValues();
    g_lastError = 0;
} QIV_ENGINE_CATCH_VOID

}  // namespace kvdx
