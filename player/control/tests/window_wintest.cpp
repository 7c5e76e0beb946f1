// The control sited in a window shows local object files: the window's pixels against the
// engine's own picture of the same view, region copies, animation ticks, and the local file
// and texture cases (missing file, wrong format, texture fallbacks, hostile texture names).
#include <windows.h>
#include <commctrl.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "backend_win.h"
#include "caches.h"
#include "ctlmodule_win.h"
#include "frameticks.h"
#include "com/module.h"
#include "controlref.h"
#include "olecontainer.h"
#include "pixeltest.h"
#include "qivctl_win.h"
#include "render/blit.h"
#include "render/clear.h"
#include "render/fzbuffer.h"
#include "render/kvdirectx.h"
#include "render/renderer.h"
#include "render/sample.h"
#include "scene/picture.h"
#include "scene/pelchunk.h"
#include "scene/pelwrite.h"
#include "scene/tests/pel_builder.h"
#include "scene/sceneops.h"
#include "scene/texture.h"
#include "serverparts_win.h"
#include "testfiles.h"
#include "useropts_win.h"
#include "window_win.h"

int fzBlitExecutePlatform(const FzBlitCall* call);

namespace {

using qivtest::tempDir;

struct SampleFiles {
    std::string dir, object, texture;
};

// The project's sample object written by its own writer, with the checker texture beside
// it under textureName (empty: no texture file) and its area named areaName.
SampleFiles writeSample(const char* leaf, const char* areaName, const char* textureName) {
    SampleFiles f;
    f.dir = tempDir(leaf);
    f.object = f.dir + "\\sample object.pel";
    SampleScene s;
    EXPECT_TRUE(sampleSceneCreate(&s, 64, 64));
    const char* areas[1] = {areaName};
    PelWriteInfo info{};
    info.objectName = "sample";
    info.areaNames = areas;
    info.switches[0] = info.switches[1] = info.switches[3] = 1;
    EXPECT_EQ(1, pelWriteFile(0, f.object.c_str(), s.node, &info, nullptr, 0, nullptr));
    if (textureName && textureName[0]) {
        f.texture = f.dir + "\\" + textureName;
        EXPECT_EQ(1, picWriteBmp(s.texture, 1.0f, 1.0f, f.texture.c_str()));
    }
    sampleSceneFree(&s);
    return f;
}

// The sample with an animation chunk: its sphere (part 1) rises by one unit and comes back
// over two time units at two units per second; the sub-animation runs from 1 to 3.
SampleFiles writeAnimatedSample(const char* leaf) {
    SampleFiles f = writeSample(leaf, "checker.bmp", "checker.bmp");
    pelb::AnimBlockDef a;
    a.frameRate = 2;
    a.tracks.push_back(pelb::positionTrack({{0, 0, 0}, {0, 0, 1}, {0, 0, 0}}));
    a.tracks.push_back(pelb::positionTrack({{0, 0, 0}, {0, 0, 0}}));
    pelb::AnimDescDef d;
    d.name = "bounce";
    d.start = 1;
    d.end = 3;
    a.descs.push_back(d);
    a.partMap = {1, 0, 1, 1, 1};
    pelb::Bytes block = pelb::animBlock(a);
    EXPECT_EQ(1, pelWriteChunk(f.object.c_str(), PEL_CHUNK_ANIM, uint32_t(block.size()), block.data()));
    return f;
}

BSTR bstr(const std::string& s) {
    std::wstring w(s.begin(), s.end());
    return SysAllocString(w.c_str());
}


std::vector<RECT> g_copied;
int recordingExecutor(const FzBlitCall* call) {
    g_copied.push_back(RECT{call->dstX, call->dstY, call->dstX + call->dstW, call->dstY + call->dstH});
    return fzBlitExecutePlatform(call);
}

class ControlWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        OleInitialize(nullptr);
        qcom::module().init(GetModuleHandleW(nullptr), qivClassTable(), qivClassCount());
    }
    void SetUp() override {
        control_ = qivtest::ControlRef::create();
        ASSERT_TRUE(control_);
        p2_ = control_.get();
        ctl_ = control_.ctl();
        p2_->put_Filter(VARIANT_FALSE);  // the engine's own picture has no edge filter
        ShowWindow(host_.window(), SW_SHOW);
    }
    void TearDown() override {
        fzSetBlitExecutor(nullptr);
        host_.Unembed();
        control_.reset();
    }
    // Sited and activated in software (kind 2) or with the device (kind 1).
    void site(int32_t kind) {
        ctl_->state().rendererKind = kind;
        ASSERT_EQ(S_OK, host_.Embed(p2_, true));
        ASSERT_NE(nullptr, ctl_->hwnd());
    }
    bool load(const std::string& path) {
        BSTR b = bstr(path);
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(S_OK, p2_->LoadObject(b, &ok));
        SysFreeString(b);
        return ok == VARIANT_TRUE;
    }
    void paint() {
        RedrawWindow(ctl_->hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        qivtest::PumpMessages();
    }
    qivtest::OleTestContainer host_;
    IQivPlayer2* p2_ = nullptr;
    qivtest::ControlRef control_;
    CQivPlayerCtl* ctl_ = nullptr;
};

}  // namespace

TEST_F(ControlWindow, NothingLoadedPaintsTheBackground) {
    site(2);
    paint();
    const QivControlState& st = ctl_->state();
    RECT c;
    GetClientRect(ctl_->hwnd(), &c);
    std::vector<uint32_t> px = qivtest::ReadWindow(ctl_->hwnd(), 64, 64);
    EXPECT_EQ(int(px.size()), qivtest::BackgroundPixels(px, qivtest::BackColour(st)));
    EXPECT_EQ(nullptr, st.frame);
}

TEST_F(ControlWindow, SoftwareFrameMatchesTheEnginePicture) {
    SampleFiles f = writeSample("qivwin soft", "checker.bmp", "checker.bmp");
    site(2);
    ASSERT_TRUE(load(f.object));
    paint();
    const QivControlState& st = ctl_->state();
    ASSERT_NE(nullptr, st.frame);
    ASSERT_GT(st.frameWidth, 100);
    ASSERT_EQ(1u, st.slots[0].textureHandles.size());
    EXPECT_NE(nullptr, st.slots[0].textureHandles[0]);
    std::vector<uint32_t> ref = qivtest::EnginePicture(st);
    std::vector<uint32_t> px = qivtest::ReadWindow(ctl_->hwnd(), st.frameWidth, st.frameHeight);
    const int total = st.frameWidth * st.frameHeight;
    // The object fills a good part of the view.
    EXPECT_LT(qivtest::BackgroundPixels(ref, qivtest::BackColour(st)), total * 9 / 10);
    EXPECT_LE(qivtest::Differing(px, ref, 8), total / 200);
    VARIANT_BOOL anim = VARIANT_TRUE;
    EXPECT_EQ(S_OK, p2_->get_ObjectHasAnimation(&anim));
    EXPECT_EQ(VARIANT_FALSE, anim);
    BSTR url = nullptr;
    EXPECT_EQ(S_OK, p2_->get_ObjectURL(&url));
    EXPECT_EQ(0, wcsncmp(url, L"file://", 7));
    SysFreeString(url);
}

// A paint of a part of the window copies only that part; a new frame of an unchanged scene
// copies only what the object covers, not the whole view.
TEST_F(ControlWindow, RepaintsOnlyTheChangedRegion) {
    SampleFiles f = writeSample("qivwin region", "checker.bmp", "checker.bmp");
    site(2);
    ASSERT_TRUE(load(f.object));
    paint();
    const QivControlState& st = ctl_->state();
    ASSERT_TRUE(st.frameValid);
    fzSetBlitExecutor(recordingExecutor);
    g_copied.clear();
    RECT part{10, 12, 50, 40};
    InvalidateRect(ctl_->hwnd(), &part, FALSE);
    UpdateWindow(ctl_->hwnd());
    ASSERT_FALSE(g_copied.empty()) << "DrawDib copies";
    for (const RECT& r : g_copied) {
        // DrawDib copies whole 4-pixel columns and row pairs.
        EXPECT_GE(r.left, part.left - 3);
        EXPECT_LE(r.right, part.right + 3);
        EXPECT_GE(r.top, part.top - 1);
        EXPECT_LE(r.bottom, part.bottom + 1);
    }
    g_copied.clear();
    ctl_->Redraw(true);
    UpdateWindow(ctl_->hwnd());
    ASSERT_FALSE(g_copied.empty());
    long area = 0;
    for (const RECT& r : g_copied) area += long(r.right - r.left) * (r.bottom - r.top);
    EXPECT_LT(area, long(st.frameWidth) * st.frameHeight * 3 / 4);
    EXPECT_GT(area, 0);
    // What is on the window still is the whole picture.
    std::vector<uint32_t> px = qivtest::ReadWindow(ctl_->hwnd(), st.frameWidth, st.frameHeight);
    EXPECT_LE(qivtest::Differing(px, qivtest::EnginePicture(st), 8), st.frameWidth * st.frameHeight / 200);
}

TEST_F(ControlWindow, MissingAndWrongFilesLeaveTheControlEmpty) {
    site(2);
    std::string dir = tempDir("qivwin bad");
    EXPECT_FALSE(load(dir + "\\no such object.pel"));
    std::string junk = dir + "\\junk.pel";
    if (FILE* j = std::fopen(junk.c_str(), "wb")) {
        std::fputs("this is not an object file at all, just some text to read", j);
        std::fclose(j);
    }
    EXPECT_FALSE(load(junk));
    EXPECT_EQ(nullptr, ctl_->state().sceneRoots);
    paint();
    std::vector<uint32_t> px = qivtest::ReadWindow(ctl_->hwnd(), 32, 32);
    EXPECT_EQ(int(px.size()), qivtest::BackgroundPixels(px, qivtest::BackColour(ctl_->state())));
    // A good file after a bad one loads.
    SampleFiles f = writeSample("qivwin bad", "checker.bmp", "checker.bmp");
    EXPECT_TRUE(load(f.object));
}

TEST_F(ControlWindow, KvoSpellingLoads) {
    SampleFiles f = writeSample("qivwin kvo", "checker.bmp", "checker.bmp");
    std::string kvo = f.dir + "\\sample.kvo";
    ASSERT_TRUE(CopyFileA(f.object.c_str(), kvo.c_str(), FALSE));
    if (FILE* k = std::fopen(kvo.c_str(), "r+b")) {
        std::fseek(k, 1, SEEK_SET);
        std::fwrite("KVO", 1, 3, k);
        std::fclose(k);
    }
    site(2);
    ASSERT_TRUE(load(kvo));
    paint();
    EXPECT_NE(nullptr, ctl_->state().frame);
}

// Texture lookup: the ".bms" fallback of a ".bmp" name, a texture that is nowhere (the
// object shows without it), names that try to leave the object's folder, and a texture
// beside the object while InhibitLocalTextures is on.
TEST_F(ControlWindow, TextureCandidatesAndHostileNames) {
    struct Case {
        const char* leaf;
        const char* area;
        const char* file;     // texture file beside the object
        const char* outside;  // file placed in the folder above
        bool found;
        bool inhibitLocal = false;
    };
    const Case cases[] = {
        {"qivwin tex bms", "wood.bmp", "wood.bms", nullptr, true},
        {"qivwin tex none", "missing.bmp", nullptr, nullptr, false},
        {"qivwin tex up", "x>..\\qivwin outside.bmp", nullptr, "qivwin outside.bmp", false},
        {"qivwin tex abs", "C:\\windows\\win.ini", nullptr, nullptr, false},
        {"qivwin tex inhibited", "checker.bmp", "checker.bmp", nullptr, false, true},
        {"qivwin tex allowed", "checker.bmp", "checker.bmp", nullptr, true},
    };
    site(2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.leaf);
        qivctl::TextureCacheFlush();
        ASSERT_EQ(S_OK, p2_->put_InhibitLocalTextures(c.inhibitLocal ? VARIANT_TRUE : VARIANT_FALSE));
        SampleFiles f = writeSample(c.leaf, c.area, c.file);
        if (c.outside) {
            SampleFiles o = writeSample("", "a", nullptr);
            (void)o;
            std::string up = f.dir.substr(0, f.dir.find_last_of('\\')) + "\\" + c.outside;
            SampleScene s;
            sampleSceneCreate(&s, 8, 8);
            picWriteBmp(s.texture, 1, 1, up.c_str());
            sampleSceneFree(&s);
        }
        ASSERT_TRUE(load(f.object));
        const QivControlState& st = ctl_->state();
        ASSERT_EQ(1u, st.slots[0].textureHandles.size());
        EXPECT_EQ(c.found, st.slots[0].textureHandles[0] != nullptr);
        paint();
        EXPECT_NE(nullptr, st.frame);
    }
}

// The animation runs through the frame-tick table: frames drawn on ticks differ while it
// plays; the track bar shows; the end fires AnimationDone.
TEST_F(ControlWindow, AnimatedObjectChangesBetweenTicks) {
    SampleFiles f = writeAnimatedSample("qivwin anim");
    site(2);
    ASSERT_TRUE(load(f.object));
    VARIANT_BOOL has = VARIANT_FALSE;
    EXPECT_EQ(S_OK, p2_->get_ObjectHasAnimation(&has));
    ASSERT_EQ(VARIANT_TRUE, has);
    const QivControlState& st = ctl_->state();
    EXPECT_FLOAT_EQ(1.0f, st.slots[0].animStart);
    EXPECT_FLOAT_EQ(3.0f, st.slots[0].animEnd);
    HWND track = GetDlgItem(ctl_->hwnd(), 58008);
    ASSERT_NE(nullptr, track);
    EXPECT_TRUE(IsWindowVisible(track));
    EXPECT_NE(0, SendMessageW(GetDlgItem(ctl_->hwnd(), 58006), BM_GETIMAGE, IMAGE_ICON, 0)) << "icon 208";
    paint();
    const int w = st.frameWidth, h = st.frameHeight;
    std::vector<uint32_t> still = qivtest::ReadWindow(ctl_->hwnd(), w, h);
    EXPECT_EQ(S_OK, p2_->StartAnimation());
    VARIANT_BOOL playing = VARIANT_FALSE;
    p2_->get_AnimPlaying(&playing);
    EXPECT_EQ(VARIANT_TRUE, playing);
    // Half way up: pump the ticks for a quarter of a second.
    const DWORD start = GetTickCount();
    uint32_t frames = ctl_->win().frames;
    while (GetTickCount() - start < 250) {
        qivtest::PumpMessages();
        Sleep(1);
    }
    EXPECT_GT(ctl_->win().frames, frames + 2) << "frames drawn on ticks";
    std::vector<uint32_t> moved = qivtest::ReadWindow(ctl_->hwnd(), w, h);
    EXPECT_GT(qivtest::Differing(still, moved, 8), 200);
    EXPECT_GT(st.slots[0].animTime, 1.0f);
    // To the end: the animation stops by itself.
    while (GetTickCount() - start < 1500 && ctl_->win().animationRunning) {
        qivtest::PumpMessages();
        Sleep(1);
    }
    EXPECT_FALSE(ctl_->win().animationRunning);
    p2_->get_AnimPlaying(&playing);
    EXPECT_EQ(VARIANT_FALSE, playing);
    // The track bar at 50 percent: half way from the start to the end.
    SendMessageW(track, TBM_SETPOS, TRUE, 50);
    SendMessageW(ctl_->hwnd(), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 50), reinterpret_cast<LPARAM>(track));
    float now = 0;
    EXPECT_EQ(S_OK, p2_->get_CurrentTime(&now));
    EXPECT_FLOAT_EQ(2.0f, now);
}

// While an animation runs, a part of the window that the system uncovers (an invalidation
// with an erase) away from the objects gets the frame again.
TEST_F(ControlWindow, AreaUncoveredDuringAnAnimationIsCopiedAgain) {
    SampleFiles f = writeAnimatedSample("qivwin uncovered");
    site(2);
    ASSERT_TRUE(load(f.object));
    paint();
    const QivControlState& st = ctl_->state();
    const std::vector<uint32_t> plain =
        qivtest::EnginePicture(const_cast<CamRecord*>(&st.camera), &st.background, nullptr, st.displayMode,
                               st.frameWidth, st.frameHeight);
    ASSERT_EQ(S_OK, p2_->StartAnimation());
    auto framesOn = [&](uint32_t n) {
        const uint32_t until = ctl_->win().frames + n;
        const DWORD start = GetTickCount();
        while (ctl_->win().frames < until && GetTickCount() - start < 2000) {
            qivtest::PumpMessages();
            Sleep(1);
        }
    };
    framesOn(2);
    RECT corner{0, 0, 6, 6};
    HDC dc = GetDC(ctl_->hwnd());
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &corner, red);
    DeleteObject(red);
    ReleaseDC(ctl_->hwnd(), dc);
    InvalidateRect(ctl_->hwnd(), &corner, TRUE);
    framesOn(3);
    ASSERT_TRUE(ctl_->win().animationRunning);
    const std::vector<uint32_t> now = qivtest::ReadWindow(ctl_->hwnd(), st.frameWidth, st.frameHeight);
    std::vector<uint32_t> got, want;
    for (int y = 0; y < corner.bottom; ++y)
        for (int x = 0; x < corner.right; ++x) {
            got.push_back(now[size_t(y) * st.frameWidth + x]);
            want.push_back(plain[size_t(y) * st.frameWidth + x]);
        }
    EXPECT_EQ(0, qivtest::Differing(got, want, 8)) << "corner pixel " << std::hex << got[0] << " for " << want[0];
    p2_->StopAnimation();
}

// With the device the frame is drawn into the hardware child window; the picture on the
// screen matches the engine's software picture of the same view within the tolerance of two
// rasterisers (channels within 24, at most a tenth of the pixels off along edges).
TEST_F(ControlWindow, Direct3DFrameMatchesTheEnginePicture) {
    SampleFiles f = writeSample("qivwin d3d", "checker.bmp", "checker.bmp");
    site(1);
    ASSERT_TRUE(load(f.object));
    paint();
    Sleep(50);
    paint();
    const QivControlState& st = ctl_->state();
    ASSERT_EQ(1, st.rendererKind) << "no Direct3D device";
    HWND hw = ctl_->win().hardwareWindow;
    ASSERT_NE(nullptr, hw);
    char cls[64] = {};
    GetClassNameA(hw, cls, sizeof cls);
    EXPECT_STREQ("D3D hardware", cls);
    EXPECT_TRUE(st.frameValid);
    const int w = st.frameWidth, h = st.frameHeight;
    // The device's picture, read back from its back buffer (under Wine the presented copy is
    // not visible to GDI reads).
    std::vector<uint32_t> back(size_t(w) * h);
    {
        PicRecord* hard = nullptr;
        ASSERT_EQ(1, fzCreate(uint32_t(w), uint32_t(h), 4, &hard));
        const IRect all{0, 0, w, h};
        kvdx::dxDirectXSetContext(hw);
        kvdx::dxSetActive(1);
        EXPECT_EQ(1, kvdx::dxBitBltFZfromDirectX(hard, 1, nullptr, 0, 0, &all));
        kvdx::dxSetActive(0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) back[size_t(y) * w + x] = picGet32(hard->pixels + 4 * (size_t(y) * hard->width + x)) & 0xFFFFFF;
        fzFree(&hard);
    }
    std::vector<uint32_t> ref = qivtest::EnginePicture(st);
    EXPECT_LT(qivtest::BackgroundPixels(ref, qivtest::BackColour(st)), w * h * 9 / 10);
    EXPECT_LE(qivtest::Differing(back, ref, 24), w * h / 10);
    // The menu command switches to software: the hardware window goes, the frame is copied,
    // the choice is kept in the user options.
    const DWORD option = GetUse3DHardware();
    SendMessageW(ctl_->hwnd(), WM_COMMAND, 1306, 0);
    EXPECT_EQ(nullptr, ctl_->win().hardwareWindow);
    EXPECT_EQ(2, st.rendererKind);
    EXPECT_EQ(0u, GetUse3DHardware());
    paint();
    std::vector<uint32_t> px = qivtest::ReadWindow(ctl_->hwnd(), w, h);
    EXPECT_LE(qivtest::Differing(px, qivtest::EnginePicture(st), 8), w * h / 200);
    // And back: the hardware window at once.
    SendMessageW(ctl_->hwnd(), WM_COMMAND, 1306, 0);
    EXPECT_NE(nullptr, ctl_->win().hardwareWindow);
    EXPECT_EQ(1, st.rendererKind);
    EXPECT_EQ(1u, GetUse3DHardware());
    SetUse3DHardware(option);
}

// Layout: the bar's children along the edges, the frame size they leave, HideControls, a
// resize to the same size, and the scroll bars as exact inverses of the pan.
TEST_F(ControlWindow, BarLayoutAndScrollBars) {
    SampleFiles f = writeSample("qivwin bar", "checker.bmp", "checker.bmp");
    site(2);
    ASSERT_TRUE(load(f.object));
    paint();
    HWND w = ctl_->hwnd();
    RECT c;
    GetClientRect(w, &c);
    const QivControlState& st = ctl_->state();
    EXPECT_EQ(c.right - GetSystemMetrics(SM_CXVSCROLL), st.frameWidth);
    EXPECT_EQ(c.bottom - GetSystemMetrics(SM_CYHSCROLL), st.frameHeight);
    for (int id : {58001, 58002, 58003, 58004, 58005}) EXPECT_TRUE(IsWindowVisible(GetDlgItem(w, id))) << id;
    for (int id : {58000, 58006, 58007, 58008}) EXPECT_FALSE(IsWindowVisible(GetDlgItem(w, id))) << id;

    // A resize to the same size keeps the frame buffer.
    const PicRecord* frame = st.frame;
    SendMessageW(w, WM_SIZE, SIZE_RESTORED, MAKELPARAM(c.right, c.bottom));
    EXPECT_EQ(frame, st.frame);

    // Scrolling sets the pan; the pan puts the bar back where it was.
    HWND h = GetDlgItem(w, 58001);
    SCROLLINFO si{sizeof si, SIF_ALL};
    ASSERT_TRUE(GetScrollInfo(h, SB_CTL, &si));
    EXPECT_EQ(st.frameWidth, si.nMax);
    // Zoomed in by narrowing the view window: a page smaller than the bar.
    CamRecord& cam = ctl_->state().camera;
    cam.winXMin *= 0.5f, cam.winXMax *= 0.5f, cam.winYMin *= 0.5f, cam.winYMax *= 0.5f;
    camUpdate(&cam);
    ctl_->UpdateScrollBars();
    GetScrollInfo(h, SB_CTL, &si);
    ASSERT_LT(int(si.nPage), si.nMax);
    SendMessageW(w, WM_HSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), reinterpret_cast<LPARAM>(h));
    SCROLLINFO after{sizeof after, SIF_ALL};
    GetScrollInfo(h, SB_CTL, &after);
    EXPECT_EQ(si.nPos + 1, after.nPos);
    float pan = 0;
    p2_->get_PanX(&pan);
    EXPECT_NE(0.0f, pan);
    ctl_->UpdateScrollBars();
    SCROLLINFO again{sizeof again, SIF_ALL};
    GetScrollInfo(h, SB_CTL, &again);
    EXPECT_EQ(after.nPos, again.nPos);

    // HideControls: the frame is the client area plus one pixel, no bar window shows.
    EXPECT_EQ(S_OK, p2_->put_HideControls(VARIANT_TRUE));
    EXPECT_EQ(c.right + 1, st.frameWidth);
    EXPECT_EQ(c.bottom + 1, st.frameHeight);
    for (int id = 58000; id <= 58009; ++id) EXPECT_FALSE(IsWindowVisible(GetDlgItem(w, id))) << id;
    paint();
    EXPECT_TRUE(st.frameValid);
}

// Cursor types: 5 sets no cursor, 3 the arrow, the context type one of the control's own.
TEST_F(ControlWindow, CursorTypes) {
    SampleFiles f = writeSample("qivwin cursor", "checker.bmp", "checker.bmp");
    site(2);
    ASSERT_TRUE(load(f.object));
    paint();
    RECT r;
    GetWindowRect(ctl_->hwnd(), &r);
    SetCursorPos(r.left + 40, r.top + 40);
    ctl_->state().cursorType = 5;
    EXPECT_FALSE(ctl_->SetCursorForState(HTCLIENT));
    ctl_->state().cursorType = 3;
    EXPECT_TRUE(ctl_->SetCursorForState(HTCLIENT));
    EXPECT_EQ(LoadCursor(nullptr, IDC_ARROW), GetCursor());
    ctl_->state().cursorType = 1;
    EXPECT_TRUE(ctl_->SetCursorForState(HTCLIENT));
    EXPECT_EQ(ctl_->cursor(0), GetCursor());  // the rotate cursor
}

// An object given before the control is sited shows once it is in place.
TEST_F(ControlWindow, ObjectLoadedBeforeActivationShows) {
    SampleFiles f = writeSample("qivwin early", "checker.bmp", "checker.bmp");
    ctl_->state().rendererKind = 2;
    ASSERT_TRUE(load(f.object));
    EXPECT_EQ(nullptr, ctl_->state().frame);
    ASSERT_EQ(S_OK, host_.Embed(p2_, true));
    paint();
    const QivControlState& st = ctl_->state();
    ASSERT_NE(nullptr, st.frame);
    std::vector<uint32_t> px = qivtest::ReadWindow(ctl_->hwnd(), st.frameWidth, st.frameHeight);
    EXPECT_LE(qivtest::Differing(px, qivtest::EnginePicture(st), 8), st.frameWidth * st.frameHeight / 200);
    EXPECT_LT(qivtest::BackgroundPixels(px, qivtest::BackColour(st)), st.frameWidth * st.frameHeight * 9 / 10);
}

// The user option decides the renderer of a control whose kind is not set: the device with
// Use3DHardware on, software with it off.
TEST_F(ControlWindow, UserOptionSelectsTheRenderer) {
    SampleFiles f = writeSample("qivwin option", "checker.bmp", "checker.bmp");
    struct Restore {
        DWORD saved = GetUse3DHardware();
        ~Restore() { SetUse3DHardware(saved); }
    } restore;
    SetUse3DHardware(0);
    site(0);
    ASSERT_TRUE(load(f.object));
    paint();
    EXPECT_EQ(2, ctl_->state().rendererKind);
    EXPECT_EQ(nullptr, ctl_->win().hardwareWindow);
    host_.Unembed();
    SetUse3DHardware(1);
    control_ = qivtest::ControlRef::create();
    ASSERT_TRUE(control_);
    p2_ = control_.get();
    ctl_ = control_.ctl();
    site(0);
    ASSERT_TRUE(load(f.object));
    paint();
    VARIANT_BOOL device = VARIANT_FALSE;
    p2_->get_VRDeviceAvailable(&device);
    EXPECT_EQ(device == VARIANT_TRUE ? 1 : 2, ctl_->state().rendererKind);
    EXPECT_EQ(device == VARIANT_TRUE, ctl_->win().hardwareWindow != nullptr);
    // The device lost at run time: this control goes on in software.
    SendMessageW(ctl_->hwnd(), WM_USER + 252, 0, 0);
    EXPECT_EQ(2, ctl_->state().rendererKind);
    EXPECT_EQ(nullptr, ctl_->win().hardwareWindow);
    paint();
    EXPECT_TRUE(ctl_->state().frameValid);
}

// One ray-traced frame on request: drawn once, then the display mode returns and the next
// paints copy it again.
TEST_F(ControlWindow, OneRayTracedFrame) {
    SampleFiles f = writeSample("qivwin ray", "checker.bmp", "checker.bmp");
    site(2);
    ASSERT_TRUE(load(f.object));
    paint();
    const QivControlState& st = ctl_->state();
    EXPECT_EQ(S_OK, p2_->OneTimeRaytrace());
    EXPECT_EQ(127u, ctl_->win().frameMode);
    paint();
    EXPECT_EQ(st.displayMode, ctl_->win().frameMode);
    EXPECT_TRUE(st.frameValid);
    EXPECT_TRUE(ctl_->win().showAgain);
    std::vector<uint32_t> px = qivtest::ReadWindow(ctl_->hwnd(), st.frameWidth, st.frameHeight);
    EXPECT_LT(qivtest::BackgroundPixels(px, qivtest::BackColour(st)), st.frameWidth * st.frameHeight * 9 / 10);
    const uint32_t frames = ctl_->win().frames;
    paint();
    EXPECT_EQ(frames, ctl_->win().frames) << "copied again, not drawn";
}

// UnloadScene(false) keeps the objects and drops the frame and the window's frame ticks;
// UnloadScene(true) empties the slots and deletes the object's temporary copy.
TEST_F(ControlWindow, UnloadSceneKeepsOrEmptiesTheSlots) {
    SampleFiles f = writeSample("qivwin unload", "checker.bmp", "checker.bmp");
    site(2);
    ASSERT_TRUE(load(f.object));
    paint();
    const std::string copy = ctl_->win().tempCopy;
    ASSERT_FALSE(copy.empty()) << "the object was read from its expanded copy";
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(copy.c_str()));
    const auto ticked = [&] {
        const std::vector<qivctl::TickWindow> w = qivctl::frameTicks().windows();
        return std::find(w.begin(), w.end(), reinterpret_cast<qivctl::TickWindow>(ctl_->hwnd())) != w.end();
    };
    RequestFrameTick(ctl_->hwnd());
    ASSERT_TRUE(ticked());
    ctl_->UnloadScene(false);
    EXPECT_FALSE(ticked());
    EXPECT_EQ(1, ctl_->state().usedCount);
    EXPECT_NE(nullptr, ctl_->state().slots[0].node);
    EXPECT_EQ(nullptr, ctl_->state().frame);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(copy.c_str()));
    ctl_->UnloadScene(true);
    EXPECT_EQ(0, ctl_->state().usedCount);
    EXPECT_EQ(-1, ctl_->state().currentSlot);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(copy.c_str())) << "the temporary copy is gone";
    EXPECT_TRUE(ctl_->win().tempCopy.empty());
}

// A display change drops the hardware window and restarts the back end: a control that drew
// with the device draws in software from then on, one in software stays there; DrawDib stays
// open. Each case sends a new depth and size (the same ones again restart nothing).
TEST_F(ControlWindow, DisplayChangeRestartsTheBackEndInSoftware) {
    struct Case { int32_t kind; WPARAM depth; int w, h; } cases[] = {{1, 16, 800, 600}, {2, 24, 1024, 768}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        SampleFiles f = writeSample("qivwin display change", "checker.bmp", "checker.bmp");
        site(c.kind);
        ASSERT_TRUE(load(f.object));
        paint();
        if (c.kind == 1) ASSERT_NE(nullptr, ctl_->win().hardwareWindow) << "drawn with the device";
        SendMessageW(ctl_->hwnd(), WM_DISPLAYCHANGE, c.depth, MAKELPARAM(c.w, c.h));
        EXPECT_EQ(nullptr, ctl_->win().hardwareWindow);
        EXPECT_EQ(2, ctl_->state().rendererKind);
        EXPECT_TRUE(qivDrawDibOpen());
        paint();
        EXPECT_EQ(nullptr, ctl_->win().hardwareWindow) << "the next frame in software";
        const QivControlState& st = ctl_->state();
        EXPECT_LE(qivtest::Differing(qivtest::ReadWindow(ctl_->hwnd(), st.frameWidth, st.frameHeight),
                                     qivtest::EnginePicture(st), 8),
                  st.frameWidth * st.frameHeight / 200);
        host_.Unembed();
    }
}

// Leaving in-place activation releases the capture, destroys the control bar's children and
// the window, and tells the site; a new activation makes them again.
TEST_F(ControlWindow, InPlaceDeactivateLetsGoOfTheWindow) {
    site(2);
    HWND w = ctl_->hwnd();
    std::vector<HWND> children;
    for (HWND b : ctl_->win().bar)
        if (b) children.push_back(b);
    ASSERT_FALSE(children.empty());
    SetCapture(w);
    ASSERT_EQ(w, GetCapture());
    const int deactivations = host_.deactivateCalls;
    IOleInPlaceObject* ip = nullptr;
    ASSERT_EQ(S_OK, p2_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&ip)));
    EXPECT_EQ(S_OK, ip->InPlaceDeactivate());
    ip->Release();
    EXPECT_EQ(nullptr, GetCapture());
    EXPECT_FALSE(IsWindow(w));
    for (HWND c : children) EXPECT_FALSE(IsWindow(c));
    EXPECT_EQ(nullptr, ctl_->hwnd());
    EXPECT_FALSE(ctl_->win().initialised);
    EXPECT_EQ(deactivations + 1, host_.deactivateCalls);
    host_.Unembed();
    site(2);
    EXPECT_TRUE(ctl_->win().initialised);
    EXPECT_NE(nullptr, ctl_->win().bar[qivctl::BarHScroll - qivctl::BarRayTrace]);
}

// Under Direct3D the next rendered frame replaces the ray-traced one: a later print is drawn
// in the display mode, not ray traced.
TEST_F(ControlWindow, DeviceFrameAfterARayTracedOne) {
    SampleFiles f = writeSample("qivwin ray hw", "checker.bmp", "checker.bmp");
    site(0);
    ASSERT_TRUE(load(f.object));
    paint();
    if (!ctl_->win().hardwareWindow) GTEST_SKIP() << "no Direct3D device";
    EXPECT_EQ(S_OK, p2_->OneTimeRaytrace());
    paint();
    EXPECT_TRUE(ctl_->win().showAgain);
    EXPECT_EQ(S_OK, p2_->put_Phi(20.0f));
    paint();
    EXPECT_FALSE(ctl_->win().showAgain) << "the device's frame is shown";
}

namespace {
std::map<HWND, int> g_ticks;
LRESULT CALLBACK tickCounter(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER && wp == qivctl::kFrameTickTimerId) ++g_ticks[w];
    return DefWindowProcW(w, msg, wp, lp);
}
}  // namespace

// The shared 5 ms timer ticks every window that asked, also beyond twenty of them; each
// request gives one tick.
TEST_F(ControlWindow, FrameTicksReachMoreThanTwentyWindows) {
    site(2);  // installs the control's timer and posting
    WNDCLASSW wc{};
    wc.lpfnWndProc = tickCounter;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QivTickCounter";
    RegisterClassW(&wc);
    std::vector<HWND> windows;
    for (int i = 0; i < 25; ++i)
        windows.push_back(CreateWindowExW(0, L"QivTickCounter", L"", WS_POPUP, 0, 0, 8, 8, nullptr, nullptr,
                                          wc.hInstance, nullptr));
    g_ticks.clear();
    for (HWND w : windows) RequestFrameTick(w);
    EXPECT_TRUE(qivctl::frameTicks().timerPending());
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 300) {
        qivtest::PumpMessages();
        Sleep(1);
    }
    for (HWND w : windows) {
        EXPECT_EQ(1, g_ticks[w]);
        DestroyWindow(w);
    }
    EXPECT_FALSE(qivctl::frameTicks().timerPending());
}

// Messages of the control go through the one message display: formatted from the string
// table with their argument, under the control's error title.
TEST_F(ControlWindow, MessagesGoThroughTheMessageDisplay) {
    site(2);
    struct Log {
        std::string text, caption;
        int calls = 0;
    } log;
    qivSetMessageLog(
        [](void* c, const char* text, const char* caption, UINT) {
            auto* l = static_cast<Log*>(c);
            l->text = text, l->caption = caption, ++l->calls;
            return IDOK;
        },
        &log);
    ctl_->ShowMessage(121, "http://bad host/x.qiv");
    qivSetMessageLog(nullptr, nullptr);
    EXPECT_EQ(1, log.calls);
    EXPECT_NE(std::string::npos, log.text.find("http://bad host/x.qiv")) << log.text;
    EXPECT_FALSE(log.caption.empty());
}
