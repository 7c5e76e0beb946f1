// Hardware back end on a real DirectDraw device (needs a display).
#include <windows.h>
#include <ddraw.h>
#include <d3d.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "render/dxhook.h"
#include "render/edgefilter.h"
#include "render/fzbuffer.h"
#include "render/renderlist.h"
#include "render/span.h"
#include "render/kvdirectx.h"
#include "render/line.h"
#include "render/triangle.h"
#include "render/tests/renderer_fixture.h"
#include "scene/texture.h"

using namespace kvdx;

namespace {

int g_ownMessages = 0;
constexpr UINT kProbe = WM_USER + 77;

LRESULT CALLBACK ownProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == kProbe) ++g_ownMessages;
    return DefWindowProcA(w, m, wp, lp);
}

WNDPROC g_laterPrevious = nullptr;
LRESULT CALLBACK laterProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return CallWindowProcA(g_laterPrevious, w, m, wp, lp);
}

HWND makeWindow(int w = 64, int h = 64) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = ownProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "D3D hardware test";
        RegisterClassA(&wc);
        registered = true;
    }
    RECT r{0, 0, w, h};
    AdjustWindowRect(&r, WS_POPUP, FALSE);
    HWND wnd = CreateWindowA("D3D hardware test", "", WS_POPUP | WS_VISIBLE, 10, 10, r.right - r.left,
                             r.bottom - r.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    return wnd;
}

// Pixels of the back buffer as 0x00RRGGBB, rows top first.
std::vector<uint32_t> readBack(int32_t* w, int32_t* h) {
    const DxContextInfo info = dxCurrentInfo();
    auto* s = static_cast<IDirectDrawSurface7*>(info.backBuffer);
    std::vector<uint32_t> out;
    if (!s) return out;
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    if (FAILED(s->Lock(nullptr, &d, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) return out;
    const uint32_t bytes = d.ddpfPixelFormat.dwRGBBitCount / 8;
    const DxPixelLayout l = dxLayoutFromMasks(bytes, d.ddpfPixelFormat.dwRBitMask, d.ddpfPixelFormat.dwGBitMask,
                                              d.ddpfPixelFormat.dwBBitMask);
    *w = int32_t(d.dwWidth);
    *h = int32_t(d.dwHeight);
    for (DWORD y = 0; y < d.dwHeight; ++y) {
        for (DWORD x = 0; x < d.dwWidth; ++x) {
            uint32_t r, g, b;
            dxUnpackPixel(l, dxLoadPixel(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch + x * bytes, bytes), &r,
                          &g, &b);
            out.push_back((r << 16) | (g << 8) | b);
        }
    }
    s->Unlock(nullptr);
    return out;
}

bool closeTo(uint32_t a, uint32_t b, int tol = 8) {
    for (int s = 0; s < 24; s += 8) {
        const int d = int((a >> s) & 0xFF) - int((b >> s) & 0xFF);
        if (d > tol || d < -tol) return false;
    }
    return true;
}

PelVertex vertex(float x, float y, float z, float r, float g, float b) {
    PelVertex v{};
    v.sx = x, v.sy = y, v.sz = z, v.sw = 1.0f;
    v.r = r, v.g = g, v.b = b;
    return v;
}

// Texture block built here: header, level records, palette, then each level's indices.
struct TestBlock {
    std::vector<uint8_t> storage;
    std::vector<uint32_t> palette;
    TexPixelBlock* block() { return reinterpret_cast<TexPixelBlock*>(storage.data()); }
};

TestBlock makeBlock(uint32_t log2, uint32_t levels) {
    TestBlock t;
    t.palette.resize(256);
    for (uint32_t i = 0; i < 256; ++i) t.palette[i] = ((i * 7) & 0xFF) << 16 | ((255 - i) << 8) | ((i * 3) & 0xFF);
    size_t pixels = 0;
    for (uint32_t k = 0; k < levels; ++k) pixels += size_t(1u << (log2 - k)) << (log2 - k);
    const size_t head = sizeof(TexPixelBlock) + levels * sizeof(TexLevel);
    t.storage.resize(head + pixels);
    TexPixelBlock* b = t.block();
    b->magic = TEX_BLOCK_MAGIC;
    b->extraLevels = levels - 1;
    b->log2Width = b->log2Height = log2;
    b->format = levels > 1 ? 3.0f : 1.0f;
    uint8_t* p = t.storage.data() + head;
    for (uint32_t k = 0; k < levels; ++k) {
        TexLevel* lv = texLevel(b, k);
        lv->pixels = p;
        lv->palette = t.palette.data();
        lv->paletteCount = 256;
        const uint32_t side = 1u << (log2 - k);
        for (uint32_t i = 0; i < side * side; ++i) p[i] = uint8_t(i * 13 + k * 41);
        p += size_t(side) * side;
    }
    return t;
}

// ddraw.dll is loaded once for the suite (loading it is slow under emulation); each test gets
// a fresh window and leaves no hook behind.
class DxDevice : public ::testing::Test {
protected:
    static void SetUpTestSuite() { dxResetState(); }
    static void TearDownTestSuite() { dxResetState(); }
    void SetUp() override {
        dxResetHooks();
        dxSetTestFaults(0);
        if (!dxAvailableFlag()) {
            ASSERT_EQ(dxStartup(), 1) << "status " << dxGetStatus();
        }
        window = makeWindow();
        ASSERT_TRUE(window);
    }
    void TearDown() override {
        dxSetTestFaults(0);
        dxSetActive(0);
        dxResetHooks();
        if (IsWindow(window)) DestroyWindow(window);  // unhooks
        dxDirectXSetContext(nullptr);
    }
    HWND window = nullptr;
};

}  // namespace

TEST_F(DxDevice, WindowedSetUpAndRenderStates) {
    ASSERT_EQ(dxAttachWindow(1, window), 1);
    const DxContextInfo info = dxCurrentInfo();
    ASSERT_EQ(info.initialised, 1);
    EXPECT_EQ(info.emulation, 0);
    EXPECT_EQ(info.width, 64);
    EXPECT_EQ(info.height, 64);
    EXPECT_EQ(info.drawMode, 1u);
    EXPECT_TRUE(info.zBytes == 2 || info.zBytes == 4);
    auto* d = static_cast<IDirect3DDevice7*>(info.device);
    ASSERT_TRUE(d);
    struct RS {
        D3DRENDERSTATETYPE s;
        DWORD v;
    };
    const RS states[] = {{D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA},  {D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA},
                         {D3DRENDERSTATE_ZFUNC, D3DCMP_LESSEQUAL},      {D3DRENDERSTATE_ZWRITEENABLE, TRUE},
                         {D3DRENDERSTATE_ZENABLE, D3DZB_TRUE},          {D3DRENDERSTATE_CULLMODE, D3DCULL_NONE},
                         {D3DRENDERSTATE_CLIPPING, FALSE},              {D3DRENDERSTATE_LIGHTING, FALSE},
                         {D3DRENDERSTATE_COLORVERTEX, FALSE},           {D3DRENDERSTATE_ALPHABLENDENABLE, FALSE},
                         {D3DRENDERSTATE_FILLMODE, D3DFILL_SOLID}};
    for (const RS& r : states) {
        DWORD v = 0xDEAD;
        ASSERT_EQ(d->GetRenderState(r.s, &v), D3D_OK);
        EXPECT_EQ(v, r.v) << "state " << r.s;
    }
    DWORD v = 0;
    d->GetTextureStageState(1, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, DWORD(D3DTOP_DISABLE));
    d->GetTextureStageState(0, D3DTSS_ADDRESSU, &v);
    EXPECT_EQ(v, DWORD(D3DTADDRESS_CLAMP));
    // Swap presents without error; a second attach for the same window touches nothing.
    EXPECT_EQ(dxBufferSwap(), 0);
    EXPECT_EQ(dxDirectXSetContext(window), 1);
    EXPECT_EQ(dxCurrentInfo().device, info.device);
}

TEST_F(DxDevice, OverlappingTrianglesReadBack) {
    ASSERT_EQ(dxAttachWindow(1, window), 1);
    ASSERT_EQ(dxSetActive(1), 1);
    dxInstallBackend();
    EXPECT_EQ(kvdx::dxBufferClear(nullptr, 0x000000, 1.0f), 0);
    kvdx::dxResetRenderState();  // begins the scene
    ASSERT_EQ(dxCurrentInfo().painting, 1);
    // Red near triangle drawn first, green far triangle second over it: red stays in front.
    // Engine y runs upward.
    PelVertex r0 = vertex(4, 4, -1000, 1, 0, 0), r1 = vertex(60, 4, -1000, 1, 0, 0), r2 = vertex(4, 60, -1000, 1, 0, 0);
    PelVertex g0 = vertex(60, 60, 1000, 0, 1, 0), g1 = vertex(4, 60, 1000, 0, 1, 0), g2 = vertex(60, 4, 1000, 0, 1, 0);
    TriRecord red{&r0, &r1, &r2, nullptr, 0.0f, 0x01};
    TriRecord green{&g0, &g1, &g2, nullptr, 0.0f, 0x01};
    // The rasteriser's entries reach the device while routing is on.
    triFill16(&red);
    EXPECT_EQ(dxTriangle(&green), 1);
    EXPECT_EQ(dxCurrentInfo().vertexCount, 6);
    // A line first draws the gathered triangles, so it lies on top of them.
    const float a[3] = {2, 32.5f, 0}, b[3] = {62, 32.5f, 0}, blue[3] = {0, 0, 1};
    spanDrawLine(a, b, blue, 0, nullptr);
    EXPECT_EQ(dxCurrentInfo().vertexCount, 0);
    ASSERT_EQ(kvdx::dxEndPaint(), 1);
    int32_t w = 0, h = 0;
    const std::vector<uint32_t> px = readBack(&w, &h);
    ASSERT_EQ(px.size(), size_t(64 * 64));
    auto at = [&](int x, int engineY) { return px[size_t(h - 1 - engineY) * w + x]; };
    EXPECT_TRUE(closeTo(at(10, 10), 0xFF0000)) << std::hex << at(10, 10);   // red only
    EXPECT_TRUE(closeTo(at(54, 54), 0x00FF00)) << std::hex << at(54, 54);   // green only
    EXPECT_TRUE(closeTo(at(28, 28), 0xFF0000)) << std::hex << at(28, 28);   // both: red is nearer
    EXPECT_TRUE(closeTo(at(1, 1), 0x000000)) << std::hex << at(1, 1);       // outside
    EXPECT_TRUE(closeTo(at(20, 32), 0x0000FF)) << std::hex << at(20, 32);   // the line over red
    EXPECT_EQ(dxBufferSwap(), 0);
}

TEST_F(DxDevice, TextureUploadEveryLevel) {
    ASSERT_EQ(dxAttachWindow(1, window), 1);
    ASSERT_EQ(kvdx::dxBeginPaint(), 1);
    TestBlock t = makeBlock(4, 5);  // 16x16 down to 1x1
    dxSetTex(t.block(), nullptr, nullptr);
    ASSERT_EQ(dxCacheCount(), 1u);
    auto* top = static_cast<IDirectDrawSurface7*>(dxCacheSurface(t.block()));
    ASSERT_TRUE(top);
    uint8_t table[256][3];
    dxBuildColourTable(t.palette.data(), 256, nullptr, table);
    IDirectDrawSurface7* level = top;
    level->AddRef();
    for (uint32_t k = 0; k < 5; ++k) {
        ASSERT_TRUE(level) << k;
        DDSURFACEDESC2 d{};
        d.dwSize = sizeof d;
        ASSERT_EQ(level->Lock(nullptr, &d, DDLOCK_WAIT | DDLOCK_READONLY, nullptr), DD_OK) << k;
        const uint32_t side = 16u >> k;
        EXPECT_EQ(d.dwWidth, side);
        const uint32_t bytes = d.ddpfPixelFormat.dwRGBBitCount / 8;
        const DxPixelLayout l = bytes == 1 ? DxPixelLayout{1, {}, {}, {}}
                                           : dxLayoutFromMasks(bytes, d.ddpfPixelFormat.dwRBitMask,
                                                               d.ddpfPixelFormat.dwGBitMask, d.ddpfPixelFormat.dwBBitMask);
        std::vector<uint8_t> expect(side * 4);
        for (uint32_t y = 0; y < side; ++y) {
            dxConvertTexRow(texLevel(t.block(), k)->pixels + y * side, table, expect.data(), l, side);
            EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch, expect.data(), side * bytes), 0)
                << "level " << k << " row " << y;
        }
        level->Unlock(nullptr);
        IDirectDrawSurface7* next = nullptr;
        if (k + 1 < 5) {
            DDSCAPS2 caps{};
            caps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_MIPMAP;
            EXPECT_EQ(level->GetAttachedSurface(&caps, &next), DD_OK) << k;
        }
        level->Release();
        level = next;
    }
    // Freeing any texture empties the cache.
    dxRemoveTexFromCache(t.block());
    EXPECT_EQ(dxCacheCount(), 0u);
    kvdx::dxEndPaint();
}

TEST_F(DxDevice, HookUnhookRehookReachesOwnProcedure) {
    const LONG_PTR own = GetWindowLongPtrA(window, GWLP_WNDPROC);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(dxAttachWindow(1, window), 1);
        EXPECT_NE(GetWindowLongPtrA(window, GWLP_WNDPROC), own);
        g_ownMessages = 0;
        SendMessageA(window, kProbe, 0, 0);
        EXPECT_EQ(g_ownMessages, 1);  // once: no chaining to itself
        EXPECT_EQ(dxAttachWindow(0, window), 0);
        EXPECT_EQ(GetWindowLongPtrA(window, GWLP_WNDPROC), own);
        EXPECT_FALSE(GetPropA(window, "kvdxHook"));
        g_ownMessages = 0;
        SendMessageA(window, kProbe, 0, 0);
        EXPECT_EQ(g_ownMessages, 1);
    }
    // Subclassed again after hooking: after unhooking, messages still reach the own procedure
    // through the later subclass.
    ASSERT_EQ(dxAttachWindow(1, window), 1);
    g_laterPrevious = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(laterProc)));
    EXPECT_EQ(dxAttachWindow(0, window), 0);
    g_ownMessages = 0;
    SendMessageA(window, kProbe, 0, 0);
    EXPECT_EQ(g_ownMessages, 1);
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_laterPrevious));
    // Destroying a hooked window unhooks it.
    ASSERT_EQ(dxAttachWindow(1, window), 1);
    g_ownMessages = 0;
    SendMessageA(window, kProbe, 0, 0);
    EXPECT_EQ(g_ownMessages, 1);
    DestroyWindow(window);
    EXPECT_EQ(dxCurrentInfo().present, 0);
}

namespace {
// Raw back-buffer rows (the surface's own pixel format) and its pixel size.
std::vector<uint8_t> rawBack(uint32_t* bytes, DDPIXELFORMAT* format) {
    auto* s = static_cast<IDirectDrawSurface7*>(dxCurrentInfo().backBuffer);
    std::vector<uint8_t> out;
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    if (!s || FAILED(s->Lock(nullptr, &d, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) return out;
    *bytes = d.ddpfPixelFormat.dwRGBBitCount / 8;
    *format = d.ddpfPixelFormat;
    const size_t row = size_t(d.dwWidth) * *bytes;
    for (DWORD y = 0; y < d.dwHeight; ++y) {
        const uint8_t* p = static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch;
        out.insert(out.end(), p, p + row);
    }
    s->Unlock(nullptr);
    return out;
}
}  // namespace

TEST_F(DxDevice, FilterAndFrameCopiesRoundTrip) {
    ASSERT_EQ(dxAttachWindow(1, window), 1);
    ASSERT_EQ(dxSetActive(1), 1);
    const DxContextInfo info = dxCurrentInfo();
    // A frame buffer of 4-byte pixels with a pattern and depths.
    std::vector<uint8_t> pix(64 * 64 * 4);
    std::vector<int16_t> depth(64 * 64);
    for (int i = 0; i < 64 * 64; ++i) {
        // Two colours split by a shallow slope: stair steps for the filter.
        const int x = i % 64, y = i / 64;
        const bool upper = x * 3 < y * 2 + 10;
        pix[i * 4 + 0] = uint8_t(upper ? 40 : 200 + x / 8);
        pix[i * 4 + 1] = uint8_t(upper ? 200 : 60);
        pix[i * 4 + 2] = uint8_t(upper ? 240 : 20 + y);
        depth[i] = int16_t(i * 13 - 20000);
    }
    PicRecord fz{};
    fz.pixels = pix.data();
    fz.depth = depth.data();
    fz.width = fz.height = 64;
    fz.bytesPerPixel = 4;
    const IRect all{0, 0, 64, 64};
    ASSERT_EQ(dxBitBltFZtoDirectX(&fz, 1, nullptr, 0, 0, &all), 1);
    std::vector<uint8_t> pixBack(pix.size());
    std::vector<int16_t> depthBack(depth.size());
    PicRecord back = fz;
    back.pixels = pixBack.data();
    back.depth = depthBack.data();
    ASSERT_EQ(dxBitBltFZfromDirectX(&back, 1, nullptr, 0, 0, &all), 1);
    // Channels survive to the device's precision; depth keeps the Z buffer's precision.
    const uint32_t mask = info.pixelBytes == 2 ? 0xF8 : 0xFF;
    int colourMismatch = 0, depthMismatch = 0;
    for (size_t i = 0; i < pix.size(); ++i)
        if ((i % 4) != 3 && (pixBack[i] & mask) != (pix[i] & mask)) ++colourMismatch;
    for (size_t i = 0; i < depth.size(); ++i) depthMismatch += depthBack[i] != depth[i];
    EXPECT_EQ(colourMismatch, 0);
    EXPECT_EQ(depthMismatch, 0);

    // The filter on the locked back buffer gives what the portable filter gives on a copy.
    uint32_t bytes = 0;
    DDPIXELFORMAT pf{};
    std::vector<uint8_t> expect = rawBack(&bytes, &pf);
    ASSERT_EQ(expect.size(), size_t(64 * 64) * bytes);
    if (bytes == 4)
        fltFilter32(expect.data(), 64, 64, 64);
    else if (pf.dwGBitMask == 0x07E0)
        fltFilter565(expect.data(), 64, 64, 64);
    else
        fltFilter555(expect.data(), 64, 64, 64);
    const std::vector<uint8_t> before = rawBack(&bytes, &pf);
    ASSERT_NE(before, expect) << "the pattern has edges to smooth";
    ASSERT_EQ(kvdxDoFilter(), 1);
    EXPECT_EQ(rawBack(&bytes, &pf), expect);
}

TEST_F(DxDevice, EmulationWhenHardwareSetUpFails) {
    dxSetTestFaults(DX_FAULT_HARDWARE_SETUP);
    ASSERT_EQ(dxAttachWindow(1, window), 1);
    const DxContextInfo info = dxCurrentInfo();
    EXPECT_EQ(info.initialised, 1);
    EXPECT_EQ(info.emulation, 1);
    ASSERT_TRUE(info.device);
    ASSERT_EQ(kvdx::dxBeginPaint(), 1);
    EXPECT_EQ(kvdx::dxEndPaint(), 1);
}

TEST_F(DxDevice, ShutdownReleasesEveryContext) {
    HWND second = makeWindow(32, 32);
    ASSERT_EQ(dxAttachWindow(1, window), 1);
    ASSERT_EQ(dxAttachWindow(1, second), 1);
    ASSERT_EQ(dxSetActive(1), 1);
    EXPECT_EQ(dxShutdown(), 1);
    EXPECT_EQ(dxAvailableFlag(), 0);
    EXPECT_EQ(dxGetActive(), 0);
    EXPECT_EQ(dxSetActive(1), 0);
    // Both contexts lost their objects; every entry now does nothing.
    EXPECT_FALSE(dxCurrentInfo().device);
    EXPECT_EQ(dxDirectXSetContext(window), 1);
    EXPECT_FALSE(dxCurrentInfo().device);
    EXPECT_EQ(kvdx::dxBeginPaint(), 0);
    EXPECT_EQ(kvdx::dxBufferClear(nullptr, 0, 1.0f), 0);
    EXPECT_EQ(dxSwapWindow(second), 0);
    PicRecord* pic = nullptr;
    EXPECT_EQ(dxGetDeviceBuffer(&pic, nullptr, nullptr, nullptr), 0);
    // Hardware on again: the hooked window is set up when made current.
    ASSERT_EQ(dxStartup(), 1);
    EXPECT_EQ(dxDirectXSetContext(second), 1);
    EXPECT_TRUE(dxCurrentInfo().device);
    DestroyWindow(second);
}

TEST_F(DxDevice, MoveKeepsDeviceResizeRebuilds) {
    ASSERT_EQ(dxAttachWindow(1, window), 1);
    void* device = dxCurrentInfo().device;
    RECT before{};
    GetWindowRect(window, &before);
    SetWindowPos(window, nullptr, before.left + 20, before.top + 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_EQ(dxCurrentInfo().device, device);
    EXPECT_EQ(dxBufferSwap(), 0);
    SetWindowPos(window, nullptr, 0, 0, 96, 80, SWP_NOMOVE | SWP_NOZORDER);
    const DxContextInfo info = dxCurrentInfo();
    EXPECT_EQ(info.initialised, 1);
    EXPECT_EQ(info.width, 96);
    EXPECT_EQ(info.height, 80);
    EXPECT_EQ(dxBufferSwap(), 0);
    // Minimised: nothing is shown and nothing fails.
    SendMessageA(window, WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_EQ(dxCurrentInfo().visible, 0);
    EXPECT_EQ(dxBufferSwap(), 0);
}

TEST_F(DxDevice, VertexBufferBoundedWithoutFlush) {
    ASSERT_EQ(dxAttachWindow(1, window), 1);
    // Not painting: no flush can run, the buffer still never passes its size.
    DxVertex v{1, 1, 0.5f, 0.001f, 0, 0, 0};
    for (int i = 0; i < 1500; ++i) dxAddTriangle(&v, &v, &v);
    EXPECT_LE(dxCurrentInfo().vertexCount, DX_MAX_VERTICES);
    // Painting: the 3000th vertex flushes at once.
    ASSERT_EQ(kvdx::dxBeginPaint(), 1);
    kvdx::FlushVertexBuffer();
    for (int i = 0; i < 1000; ++i) dxAddTriangle(&v, &v, &v);
    EXPECT_EQ(dxCurrentInfo().vertexCount, 0);
    kvdx::dxEndPaint();
}

TEST_F(DxDevice, StartupResults) {
    EXPECT_EQ(dxWindowedOkFlag(), 1);
    const dxDisplayMode* modes = nullptr;
    uint32_t count = 0;
    if (dxGetDisplayModes(&modes, &count)) {
        EXPECT_LE(count, DX_MAX_MODES);
        for (uint32_t i = 0; i < count; ++i) {
            EXPECT_GE(modes[i].width, 640u);
            EXPECT_GE(modes[i].height, 480u);
            EXPECT_TRUE(modes[i].bits == 16 || modes[i].bits == 32);
        }
    }
    EXPECT_EQ(dxSelectDisplayMode(1, count), 0);
    EXPECT_EQ(dxSelectDisplayMode(0, 0), 1);

    PicRecord* pic = nullptr;
    int32_t w = 0, h = 0;
    int windowed = 0;
    ASSERT_EQ(dxGetDeviceBuffer(&pic, &w, &h, &windowed), 1);
    ASSERT_TRUE(pic);
    EXPECT_EQ(pic->pixels, nullptr);
    EXPECT_EQ(pic->depth, nullptr);
    EXPECT_TRUE(pic->flags & DX_PIC_HARDWARE);
    EXPECT_EQ(windowed, 1);
}

// The same depth-tested triangles through the software rasteriser and through the device give
// the same RGB555 picture, up to one step per channel inside and a thin band of edge pixels.
TEST_F(DxDevice, SamePictureAsSoftwarePath) {
    ASSERT_EQ(dxAttachWindow(1, window), 1);
    ASSERT_EQ(dxSetActive(1), 1);
    struct Tri {
        PelVertex a, b, c;
        uint32_t flags;
    };
    Tri tris[] = {
        {vertex(3, 5, 2000, 0.9f, 0.2f, 0.1f), vertex(58, 12, 2000, 0.9f, 0.2f, 0.1f), vertex(20, 61, 2000, 0.9f, 0.2f, 0.1f), 0x01},
        {vertex(6, 40, -3000, 0.1f, 0.3f, 1.0f), vertex(62, 30, 9000, 0.1f, 0.8f, 0.2f), vertex(40, 2, 9000, 1.0f, 1.0f, 0.0f), 0x05},
        {vertex(30, 60, -8000, 0.5f, 0.5f, 0.5f), vertex(62, 62, -8000, 0.5f, 0.5f, 0.5f), vertex(50, 20, 30000, 0.5f, 0.5f, 0.5f), 0x01},
    };
    PicRecord* soft = nullptr;
    ASSERT_EQ(fzCreate(64, 64, 2, &soft), 1);
    std::memset(soft->pixels, 0, 64 * 64 * 2);
    for (int i = 0; i < 64 * 64; ++i) soft->depth[i] = 32767;
    {
        // The software picture: routing to the device off while it is drawn.
        DxActiveGuard keep;
        dxActive = 0;
        spanSetTarget(soft);
        for (Tri& t : tris) {
            TriRecord r{&t.a, &t.b, &t.c, nullptr, 1.0f, t.flags};
            triFill16(&r);
        }
        spanSetTarget(nullptr);
    }

    EXPECT_EQ(kvdx::dxBufferClear(nullptr, 0, 1.0f), 0);
    ASSERT_EQ(kvdx::dxBeginPaint(), 1);
    for (Tri& t : tris) {
        TriRecord r{&t.a, &t.b, &t.c, nullptr, 1.0f, t.flags};
        EXPECT_EQ(dxTriangle(&r), 1);
    }
    ASSERT_EQ(kvdx::dxEndPaint(), 1);
    PicRecord* hard = nullptr;
    ASSERT_EQ(fzCreate(64, 64, 2, &hard), 1);
    const IRect all{0, 0, 64, 64};
    ASSERT_EQ(dxBitBltFZfromDirectX(hard, 1, nullptr, 0, 0, &all), 1);
    // Tolerance: one RGB555 step per channel; pixels on a colour edge of the software picture
    // (a neighbour differs by more) may differ freely (coverage rules of the two rasterisers
    // differ by a pixel along edges), at most 6 % of the picture.
    auto px = [](const PicRecord* p, int x, int y) { return uint32_t(picGet16(p->pixels + (y * 64 + x) * 2)); };
    auto close = [](uint32_t s, uint32_t h) {
        for (int sh = 0; sh < 15; sh += 5) {
            const int d = int((s >> sh) & 31) - int((h >> sh) & 31);
            if (d < -1 || d > 1) return false;
        }
        return true;
    };
    int edgeDiffs = 0, interiorDiffs = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            if (close(px(soft, x, y), px(hard, x, y))) continue;
            bool onEdge = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx >= 0 && ny >= 0 && nx < 64 && ny < 64 && !close(px(soft, x, y), px(soft, nx, ny)))
                        onEdge = true;
                }
            ++(onEdge ? edgeDiffs : interiorDiffs);
        }
    EXPECT_EQ(interiorDiffs, 0);
    EXPECT_LE(edgeDiffs, 64 * 64 * 6 / 100);
    fzFree(&soft);
    fzFree(&hard);
}

namespace {
int pendingFailures(HWND w) {
    int n = 0;
    MSG m;
    while (PeekMessageA(&m, w, dxFailureMessage, dxFailureMessage, PM_REMOVE)) ++n;
    return n;
}
}  // namespace

// A failing batch draw tears the context down once, tells the window, and later primitives
// find no device; nothing flushes again on the way down.
TEST_F(DxDevice, FailedBatchDrawTearsDownOnce) {
    ASSERT_EQ(dxAttachWindow(1, window), 1);
    ASSERT_EQ(kvdx::dxBeginPaint(), 1);
    PelVertex a = vertex(4, 4, 0, 1, 1, 1), b = vertex(40, 4, 0, 1, 1, 1), c = vertex(4, 40, 0, 1, 1, 1);
    TriRecord t{&a, &b, &c, nullptr, 0.0f, 0x01};
    ASSERT_EQ(dxTriangle(&t), 1);
    dxSetTestFaults(DX_FAULT_DRAW);
    kvdx::FlushVertexBuffer();
    const DxContextInfo info = dxCurrentInfo();
    EXPECT_FALSE(info.device);
    EXPECT_EQ(info.painting, 0);
    EXPECT_EQ(info.vertexCount, 0);
    EXPECT_EQ(pendingFailures(window), 1);
    EXPECT_EQ(dxTriangle(&t), 0);
    EXPECT_EQ(kvdx::dxEndPaint(), 1);
}

// No frame is reported begun when the scene was not begun; a failed clear is reported.
TEST_F(DxDevice, BeginPaintAndClearFailures) {
    ASSERT_EQ(dxAttachWindow(1, window), 1);
    struct Case {
        uint32_t fault;
        int deviceAfter;
    };
    const Case cases[] = {{DX_FAULT_COOPERATIVE, 1}, {DX_FAULT_BEGINSCENE, 1}};
    for (const Case& c : cases) {
        dxSetTestFaults(c.fault);
        EXPECT_EQ(kvdx::dxBeginPaint(), 0) << c.fault;
        EXPECT_EQ(dxCurrentInfo().painting, 0) << c.fault;
        EXPECT_EQ(dxCurrentInfo().device != nullptr, c.deviceAfter != 0) << c.fault;
        dxSetTestFaults(0);
        EXPECT_EQ(kvdx::dxBeginPaint(), 1) << c.fault;
        EXPECT_EQ(kvdx::dxEndPaint(), 1) << c.fault;
    }
    // The clear answers 0 either way; a failed one is reported.
    dxSetTestFaults(DX_FAULT_CLEAR);
    EXPECT_EQ(kvdx::dxBufferClear(nullptr, 0, 1.0f), 0);
    EXPECT_EQ(dxLastReportedError(), int32_t(E_FAIL));
    dxSetTestFaults(0);
    ASSERT_EQ(kvdx::dxBeginPaint(), 1);
    kvdx::dxEndPaint();
    EXPECT_EQ(kvdx::dxBufferClear(nullptr, 0x0000FF, 1.0f), 0);
    int32_t w = 0, h = 0;
    const std::vector<uint32_t> px = readBack(&w, &h);
    ASSERT_FALSE(px.empty());
    EXPECT_TRUE(closeTo(px[5 * w + 5], 0x0000FF));
}

// Unhooking a window leaves no context current, whichever was.
TEST_F(DxDevice, UnhookingLeavesNoContextCurrent) {
    HWND second = makeWindow();
    ASSERT_TRUE(second);
    ASSERT_EQ(dxAttachWindow(1, second), 1);
    ASSERT_EQ(dxAttachWindow(1, window), 1);
    ASSERT_EQ(dxDirectXSetContext(second), 1);
    ASSERT_EQ(dxCurrentInfo().present, 1);
    EXPECT_EQ(dxAttachWindow(0, window), 0);
    EXPECT_EQ(dxCurrentInfo().present, 0);
    EXPECT_EQ(dxDirectXSetContext(second), 1);  // still hooked: current again without a set-up
    EXPECT_EQ(dxCurrentInfo().initialised, 1);
    EXPECT_EQ(dxAttachWindow(0, second), 0);
    EXPECT_EQ(dxCurrentInfo().present, 0);
    DestroyWindow(second);
}

// A picture rectangle shows its texture, tinted by the given colour.
TEST_F(DxDevice, TexturedRectShowsTintedTexture) {
    ASSERT_EQ(dxAttachWindow(1, window), 1);
    TestBlock t = makeBlock(4, 1);
    std::memset(texLevel(t.block(), 0)->pixels, 9, 16 * 16);
    t.palette[9] = 0x00C08040;
    EXPECT_EQ(kvdx::dxBufferClear(nullptr, 0, 1.0f), 0);
    kvdx::dxResetRenderState();
    const float rect[4] = {8, 8, 56, 56}, uv[4] = {0, 0, 1, 1};
    const float tint[3] = {0.5f, 1.0f, 1.0f};
    kvdx::dxDrawPictureRect(rect, uv, 0.0f, t.block(), tint);
    ASSERT_EQ(kvdx::dxEndPaint(), 1);
    int32_t w = 0, h = 0;
    const std::vector<uint32_t> px = readBack(&w, &h);
    ASSERT_EQ(px.size(), size_t(64 * 64));
    EXPECT_TRUE(closeTo(px[32 * 64 + 32], 0x608040)) << std::hex << px[32 * 64 + 32];
    EXPECT_TRUE(closeTo(px[2 * 64 + 2], 0)) << std::hex << px[2 * 64 + 2];
}

// The colour given with a stage-0 texture multiplies its colours when it is uploaded.
TEST_F(DxDevice, StageZeroUploadTakesTheColourMultiplier) {
    ASSERT_EQ(dxAttachWindow(1, window), 1);
    TestBlock t = makeBlock(4, 1);
    std::memset(texLevel(t.block(), 0)->pixels, 9, 16 * 16);
    t.palette[9] = 0x00C08040;
    EXPECT_EQ(kvdx::dxBufferClear(nullptr, 0, 1.0f), 0);
    kvdx::dxResetRenderState();
    const float half[3] = {0.5f, 0.25f, 1.0f};
    kvdx::dxSetTex(t.block(), nullptr, half);
    ASSERT_EQ(kvdx::dxCacheCount(), 1u);
    const float rect[4] = {8, 8, 56, 56}, uv[4] = {0, 0, 1, 1};
    kvdx::dxDrawPictureRect(rect, uv, 0.0f, t.block(), nullptr);  // white vertices: the texture as uploaded
    ASSERT_EQ(kvdx::dxEndPaint(), 1);
    int32_t w = 0, h = 0;
    const std::vector<uint32_t> px = readBack(&w, &h);
    ASSERT_EQ(px.size(), size_t(64 * 64));
    EXPECT_TRUE(closeTo(px[32 * 64 + 32], 0x602040)) << std::hex << px[32 * 64 + 32];
}

namespace {

// Differences between a software frame and the device's frame read back, frame buffers of the
// same pixel size. A pixel is off when a channel leaves, by more than tol, the range that channel spans
// over the software pixel's 3 x 3 neighbourhood (a turned, shifted or missing cell or face); it
// is blended when it differs by more than tol from the software pixel but stays in that range
// (the device filters between picture pixels and covers edges by its own rules).
struct FrameDiff {
    int off = 0, blended = 0;
};
FrameDiff compareFrames(const PicRecord* soft, const PicRecord* hard, int tol) {
    auto px = [](const PicRecord* p, int x, int y) -> uint32_t {
        const uint8_t* q = p->pixels + (size_t(y) * p->width + x) * p->bytesPerPixel;
        if (p->bytesPerPixel == 4) return picGet32(q) & 0xFFFFFFu;
        const uint32_t v = picGet16(q);  // RGB555
        return ((v >> 10) & 31) << 19 | ((v >> 5) & 31) << 11 | (v & 31) << 3;
    };
    FrameDiff d;
    for (int y = 0; y < soft->height; ++y)
        for (int x = 0; x < soft->width; ++x) {
            const uint32_t h = px(hard, x, y);
            if (closeTo(px(soft, x, y), h, tol)) continue;
            bool inRange = true;
            for (int sh = 0; sh < 24; sh += 8) {
                int lo = 255, hi = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = x + dx, ny = y + dy;
                        if (nx < 0 || ny < 0 || nx >= soft->width || ny >= soft->height) continue;
                        const int v = int((px(soft, nx, ny) >> sh) & 0xFF);
                        lo = std::min(lo, v), hi = std::max(hi, v);
                    }
                const int v = int((h >> sh) & 0xFF);
                if (v < lo - tol || v > hi + tol) inRange = false;
            }
            ++(inRange ? d.blended : d.off);
        }
    return d;
}

// The device's frame as a frame buffer of 2 or 4 bytes per pixel (rows as the engine's).
PicRecord* readFrame(int32_t w, int32_t h, uint32_t bytes = 4) {
    PicRecord* hard = nullptr;
    if (!fzCreate(uint32_t(w), uint32_t(h), bytes, &hard)) return nullptr;
    const IRect all{0, 0, w, h};
    DxActiveGuard keep;
    dxActive = 1;  // the copy runs only while routing is on
    if (!dxBitBltFZfromDirectX(hard, 1, nullptr, 0, 0, &all)) fzFree(&hard);
    return hard;
}

// A w x h 8-bit picture of 8 x 8 blocks: red grows to the right, green downwards, blue marks
// the left column and top row of blocks, so that a turned or shifted cell shows. 64 colours, so
// that the tiles' own palettes keep them all. Tiles built.
PicRecord* blockPicture(int32_t w, int32_t h) {
    uint32_t palette[256] = {};
    for (uint32_t i = 0; i < 64; ++i)
        palette[i] = ((i % 8) * 36) << 16 | ((i / 8) * 36) << 8 | (i % 8 == 0 || i / 8 == 0 ? 0xF0 : 0x30);
    PicRecord* pic = nullptr;
    if (!fzCreateImage(uint32_t(w), uint32_t(h), 1, &pic, 256, palette)) return nullptr;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) pic->pixels[size_t(y) * w + x] = uint8_t((y * 8 / h) * 8 + x * 8 / w);
    if (!texBuild(pic)) fzFreeImage(&pic);
    return pic;
}

}  // namespace

// The picture backgrounds drawn through the device place the same picture cells, mirrored
// the same way, as the software background. Tolerance: every channel within 32 of the software
// pixel (the device's texture format keeps 5 or 6 bits, the tiles' own palettes dither a few
// pixels) or, for at most a quarter of the frame, of the range its 3 x 3 neighbourhood spans
// (the device filters between picture pixels and samples half a pixel further on); at most
// 1 % of the pixels outside both (stray dithered texels). A turned or shifted cell leaves
// hundreds of pixels outside.
TEST_F(DxDevice, PictureBackgroundMatchesSoftware) {
    constexpr int32_t kW = 64, kH = 64;
    ASSERT_EQ(dxAttachWindow(1, window), 1);
    dxInstallBackend();
    MatInput ground = plainMaterial(0.2f, 0.6f, 0.1f);
    ground.coAmbient = 1.0f;
    struct Case {
        const char* name;
        uint32_t mode, followCamera;
        int32_t picW, picH, offsetX, offsetY;
        float angle;  // picture angle when placed by the camera
        int rowsUp, tinted, withGround;
    };
    const Case cases[] = {
        {"mirrored cells", 2, 1, 24, 16, 0, 0, 0.34f, 0, 0, 0},
        {"mirrored, rows up, tinted", 2, 1, 24, 16, 0, 0, 0.29f, 1, 1, 0},
        {"repeated, rows up", 3, 1, 16, 24, 0, 0, 0.29f, 1, 0, 0},
        {"scaled into the view", 3, 0, 40, 48, 0, 0, 0.0f, 0, 0, 0},
        {"offset across two tiles", 4, 0, 300, 40, -250, 7, 0.0f, 1, 0, 0},
        {"mirrored above the ground", 2, 1, 24, 16, 0, 0, 0.34f, 1, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CamRecord cam = testCamera(kW, kH, {0, -10, c.withGround ? 2.0f : 1.0f}, {0, 0, c.withGround ? 1.9f : 1.0f});
        cam.rowsUp = c.rowsUp;
        camUpdate(&cam);
        PicRecord* pic = blockPicture(c.picW, c.picH);
        ASSERT_TRUE(pic);
        BgRecord bg{};
        fzGetBackground(&bg);
        bg.mode = c.mode;
        bg.picture = pic;
        bg.followCamera = c.followCamera;
        bg.pictureAngle = c.angle;
        bg.horizon = 0.3f;
        bg.offsetX = c.offsetX;
        bg.offsetY = c.offsetY;
        bg.groundMaterial = c.withGround ? &ground : nullptr;
        ASSERT_EQ(fzResetBackground(&bg), 1);
        const float tint[3] = {1.0f, 0.4f, 0.7f};
        if (c.tinted) fzTintBackground(tint, 0.6f);

        PicRecord* soft = nullptr;
        ASSERT_EQ(fzCreate(kW, kH, 4, &soft), 1);
        {
            DxActiveGuard keep;
            dxActive = 0;
            ASSERT_EQ(fzDrawBackground(soft, nullptr, nullptr, &cam, 1, 0), 1);
        }
        const int32_t groundRows = fzBackgroundState().groundLastRow - fzBackgroundState().groundFirstRow + 1;
        if (c.withGround) {
            EXPECT_GT(groundRows, 4);
            EXPECT_LT(groundRows, kH - 4);
        }
        {
            DxActiveGuard keep;
            dxActive = 1;
            ASSERT_EQ(fzDrawBackground(nullptr, nullptr, nullptr, &cam, 1, 0), 1);
            ASSERT_EQ(kvdx::dxEndPaint(), 1);
        }
        if (c.tinted) fzUntintBackground();
        PicRecord* hard = readFrame(kW, kH);
        ASSERT_TRUE(hard);
        const FrameDiff d = compareFrames(soft, hard, 32);
        EXPECT_LE(d.off, kW * kH / 100);
        EXPECT_LE(d.blended, kW * kH / 4);
        fzFree(&soft);
        fzFree(&hard);
        fzResetState();
        fzFreeImage(&pic);
    }
}

// The part of a picture drawn: clipped to the rectangle, turned by reversed bounds and by the
// mirror flags, each pixel sampled at its centre (within 24 per channel: the tile's texture
// format and its own palette). A gradient rectangle covers exactly its rows and columns.
TEST_F(DxDevice, SubPictureClipsAndMirrors) {
    ASSERT_EQ(dxAttachWindow(1, window), 1);
    PicRecord* pic = blockPicture(16, 16);  // one picture pixel per block
    ASSERT_TRUE(pic);
    const uint32_t* pal = pic->palette;
    auto colourAt = [&](int px, int py) { return pal[pic->pixels[py * 16 + px]] & 0xFFFFFF; };
    struct Case {
        float dest[4];
        uint32_t mirror;
        IRect clip;
        int flipX, flipY;  // expected: picture read backwards
    };
    const Case cases[] = {
        {{8, 8, 24, 24}, 0, {0, 0, 64, 64}, 0, 0},
        {{8, 8, 24, 24}, DX_MIRROR_U, {0, 0, 64, 64}, 1, 0},
        {{8, 8, 24, 24}, DX_MIRROR_V, {0, 0, 64, 64}, 0, 1},
        {{24, 8, 8, 24}, DX_MIRROR_U | DX_MIRROR_V, {0, 0, 64, 64}, 0, 1},
        {{8, 8, 24, 24}, 0, {12, 10, 8, 4}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mirror * 10 + c.clip.x);
        ASSERT_EQ(kvdx::dxBufferClear(nullptr, 0x000000, 1.0f), 0);
        kvdx::dxResetRenderState();
        EXPECT_EQ(kvdx::dxDrawSubPicture(pic, c.dest, c.mirror, &c.clip), 1);
        ASSERT_EQ(kvdx::dxEndPaint(), 1);
        PicRecord* hard = readFrame(64, 64);
        ASSERT_TRUE(hard);
        int wrong = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                const bool inside = x >= 8 && x < 24 && y >= 8 && y < 24 && x >= c.clip.x && x < c.clip.x + c.clip.w &&
                                    y >= c.clip.y && y < c.clip.y + c.clip.h;
                const int px = c.flipX ? 23 - x : x - 8, py = c.flipY ? 23 - y : y - 8;
                const uint32_t want = inside ? colourAt(px, py) : 0;
                wrong += !closeTo(picGet32(hard->pixels + (y * 64 + x) * 4) & 0xFFFFFF, want, 24);
            }
        EXPECT_EQ(wrong, 0);
        fzFree(&hard);
    }
    ASSERT_EQ(kvdx::dxBufferClear(nullptr, 0x000000, 1.0f), 0);
    kvdx::dxResetRenderState();
    const float red[3] = {1, 0, 0};
    kvdx::dxFillRect(red, red, 30, 10, 39, 19);
    // A picture lies at the far depth: a face far back in the scene still shows over it.
    const float whole[4] = {0, 40, 64, 64};
    EXPECT_EQ(kvdx::dxDrawSubPicture(pic, whole, 0, nullptr), 1);
    PelVertex a = vertex(4, 44, 30000, 0, 1, 0), b = vertex(20, 44, 30000, 0, 1, 0), t3 = vertex(4, 60, 30000, 0, 1, 0);
    TriRecord distant{&a, &b, &t3, nullptr, 0.0f, 0x01};
    EXPECT_EQ(dxTriangle(&distant), 1);
    ASSERT_EQ(kvdx::dxEndPaint(), 1);
    PicRecord* filled = readFrame(64, 64);
    ASSERT_TRUE(filled);
    int wrong = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool inside = x >= 30 && x <= 39 && y >= 10 && y <= 19;
            if (y < 40) wrong += !closeTo(picGet32(filled->pixels + (y * 64 + x) * 4) & 0xFFFFFF, inside ? 0xFF0000 : 0, 8);
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(closeTo(picGet32(filled->pixels + (48 * 64 + 8) * 4) & 0xFFFFFF, 0x00FF00));
    fzFree(&filled);
    // Colour-keyed pieces leave holes where the tile's key (its black entry) is; plain pieces
    // draw it black.
    for (uint32_t keyed : {0u, 1u}) {
        SCOPED_TRACE(keyed);
        PicRecord* holed = nullptr;
        {
            uint32_t palette[256] = {};
            for (uint32_t i = 0; i < 64; ++i) palette[i] = 0x00406080u + i;
            palette[5] = 0;
            ASSERT_EQ(fzCreateImage(16, 16, 1, &holed, 256, palette), 1);
            for (int32_t i = 0; i < 256; ++i) holed->pixels[i] = uint8_t((i / 16) * 8 / 16 * 8 + (i % 16) * 8 / 16);
            ASSERT_EQ(texBuild(holed), 1);
        }
        ASSERT_EQ(kvdx::dxBufferClear(nullptr, 0xFFFFFF, 1.0f), 0);
        kvdx::dxResetRenderState();
        const float at[4] = {8, 8, 24, 24};
        EXPECT_EQ(kvdx::dxDrawSubPicture(holed, at, keyed ? DX_SUBPIC_COLOUR_KEY : 0u, nullptr), 1);
        ASSERT_EQ(kvdx::dxEndPaint(), 1);
        PicRecord* hard = readFrame(64, 64);
        ASSERT_TRUE(hard);
        // picture pixel (10, 0) has index 5; (2, 0) index 1
        const uint32_t hole = picGet32(hard->pixels + (8 * 64 + 18) * 4) & 0xFFFFFF;
        EXPECT_TRUE(closeTo(hole, keyed ? 0xFFFFFF : 0x000000, 24)) << std::hex << hole;
        EXPECT_TRUE(closeTo(picGet32(hard->pixels + (8 * 64 + 10) * 4) & 0xFFFFFF, 0x406081, 24));
        fzFree(&hard);
        fzFreeImage(&holed);
    }
    // Nothing without a scene to draw into.
    const float dest[4] = {0, 0, 8, 8};
    EXPECT_EQ(kvdx::dxDrawSubPicture(pic, dest, 0, nullptr), 0);
    fzFreeImage(&pic);
}

// The sample scene through the frame renderer, in software into an RGB555 frame buffer and with
// the back end active into the device, gives the same picture. Tolerance: every channel within
// 16 of the software pixel (the device interpolates colours and texture coordinates its own
// way) or, along edges, of the range its 3 x 3 neighbourhood spans (the covering rules of the
// two rasterisers differ by a pixel there), for at most 8 % (faces) or 12 % (lines) of the
// frame; at most 0.5 % outside both. Missing edges or faces, or lines of the wrong face, leave
// more. While the device is active the frame buffer given as target stays untouched.
TEST_F(DxDevice, SampleSceneMatchesSoftwareRenderer) {
    constexpr int32_t kW = 96, kH = 72;
    DestroyWindow(window);
    window = makeWindow(kW, kH);
    ASSERT_EQ(dxAttachWindow(1, window), 1);
    ASSERT_EQ(dxSetActive(1), 1);
    dxInstallBackend();
    struct Case {
        const char* name;
        uint32_t kind;
        int blendedPercent;
    };
    const Case cases[] = {{"flat", SCN_KIND_FLAT, 8},
                          {"gouraud textured", SCN_KIND_GOURAUD_TEX, 8},
                          {"hidden lines", SCN_KIND_HIDDEN, 12},
                          {"wire", SCN_KIND_WIRE, 12}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetRenderState();
        SampleScene scene;
        ASSERT_TRUE(sampleSceneCreate(&scene, kW, kH));
        ScnNode* roots[2] = {scene.node, nullptr};
        PicRecord* soft = nullptr;
        ASSERT_EQ(fzCreate(kW, kH, 2, &soft), 1);  // the line routines draw RGB555 frames
        {
            DxActiveGuard keep;
            dxActive = 0;
            fzDrawBackground(soft, nullptr, nullptr, &scene.cam, 1, 0);
            ScnRenderJob job{};
            job.camera = &scene.cam;
            job.target = soft;
            job.kind = c.kind;
            ASSERT_EQ(scnRenderList(&job, roots, nullptr), 1);
        }
        PicRecord* target = nullptr;
        ASSERT_EQ(fzCreate(kW, kH, 2, &target), 1);
        memFill16(target->pixels, 0x1234, size_t(kW) * kH);
        for (int i = 0; i < kW * kH; ++i) target->depth[i] = -1234;
        {
            DxActiveGuard keep;
            dxInstallBackend();
            dxActive = 1;
            fzDrawBackground(target, nullptr, nullptr, &scene.cam, 1, 0);
            ScnRenderJob job{};
            job.camera = &scene.cam;
            job.target = target;
            job.kind = c.kind;
            ASSERT_EQ(scnRenderList(&job, roots, nullptr), 1);
            ASSERT_EQ(kvdx::dxEndPaint(), 1);
        }
        int touched = 0;
        for (int i = 0; i < kW * kH; ++i)
            touched += picGet16(target->pixels + 2 * i) != 0x1234 || target->depth[i] != -1234;
        EXPECT_EQ(touched, 0);
        PicRecord* hard = readFrame(kW, kH, 2);
        ASSERT_TRUE(hard);
        const FrameDiff d = compareFrames(soft, hard, 16);
        EXPECT_LE(d.off, kW * kH / 200);
        EXPECT_LE(d.blended, kW * kH * c.blendedPercent / 100);
        fzFree(&soft);
        fzFree(&target);
        fzFree(&hard);
        sampleSceneFree(&scene);
    }
    resetRenderState();
}
