// Process detach: its steps in order, the render lock closed last, the library-dependent
// steps left out at process exit, and the real steps undoing what the controls set up.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "backend_win.h"
#include "caches.h"
#include "com/module.h"
#include "ctlmodule_win.h"
#include "frameticks.h"
#include "jpegglue.h"
#include "scene/texture.h"
#include "scene/tests/bmp_builder.h"
#include "serverparts_win.h"
#include "sharedlights.h"

namespace {

std::string g_order;
bool g_lockOpenInSteps = true;
int g_forgotten = 0;

void record(char c) {
    g_order += c;
    if (!qivRenderLockHandle()) g_lockOpenInSteps = false;
}

void installRecorders() {
    qivSetDetachStep(QivDetachStep::FrameTicks, [] { record('T'); });
    qivSetDetachStep(QivDetachStep::SharedLights, [] { record('L'); });
    qivSetDetachStep(QivDetachStep::DrawDib, [] { record('W'); });
}

void attach() {
    qcom::module().init(GetModuleHandleW(nullptr), qivClassTable(), qivClassCount());
    qivCreateModuleFont();
    ASSERT_NE(nullptr, qivModuleFont());
    ASSERT_NE(nullptr, qivEnsureRenderLock());
}

// A texture with pixels in the texture cache.
void cacheTexture(const char* name) {
    bmpb::BmpDesc d;
    d.width = 8, d.height = 8, d.bits = 24;
    const bmpb::Bytes bmp = bmpb::build(d);
    TexRecord* t = LoadTextureFromMemory(bmp.data(), bmp.size(), nullptr, nullptr);
    ASSERT_NE(nullptr, t);
    ASSERT_EQ(1, qivctl::TextureCacheAdd(name, t, 1.0f, 1.0f));
}

TEST(ProcessDetach, StepsInOrderLockLast) {
    struct Case { bool processExit; const char* order; } cases[] = {{false, "TLW"}, {true, "TL"}};
    for (const Case& c : cases) {
        attach();
        installRecorders();
        g_order.clear();
        g_lockOpenInSteps = true;
        qivProcessDetach(c.processExit);
        EXPECT_EQ(c.order, g_order);
        EXPECT_TRUE(g_lockOpenInSteps);
        EXPECT_EQ(nullptr, qivRenderLockHandle());
        EXPECT_EQ(nullptr, qivModuleFont());
    }
}

// The caches free their textures at either detach; only outside process exit is the device's
// texture cache told of them (at exit it is never shut down).
TEST(ProcessDetach, TexturesLeaveTheDeviceCacheOnlyOutsideProcessExit) {
    struct Case { bool processExit; int told; } cases[] = {{false, 1}, {true, 0}};
    for (const Case& c : cases) {
        attach();
        installRecorders();
        cacheTexture("detach.bmp");
        g_forgotten = 0;
        texSetCacheRemoveHook([](TexPixelBlock*) { ++g_forgotten; });
        qivProcessDetach(c.processExit);
        EXPECT_EQ(0u, qivctl::TextureCacheCount());
        EXPECT_EQ(c.told, g_forgotten) << "process exit " << c.processExit;
        texSetCacheRemoveHook(nullptr);
    }
}

// The real steps: the frame-tick timer killed and the table emptied, the shared lights
// deleted whatever their count, DrawDib closed.
TEST(ProcessDetach, RealStepsUndoTheControlsSetUp) {
    attach();
    qivInstallBackendDetachSteps();
    HWND w = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, w);
    RequestFrameTick(w);
    ASSERT_TRUE(qivctl::frameTicks().timerPending());
    bool held = false;
    ASSERT_TRUE(qivctl::acquireSharedLights(&held));
    ASSERT_NE(nullptr, qivctl::sharedLight(0));
    LoadDrawDib();
    ASSERT_TRUE(qivDrawDibOpen());
    qivProcessDetach(false);
    EXPECT_FALSE(qivctl::frameTicks().timerPending());
    EXPECT_TRUE(qivctl::frameTicks().windows().empty());
    EXPECT_EQ(nullptr, qivctl::sharedLight(0));
    EXPECT_EQ(0u, qivctl::sharedLightUsers());
    EXPECT_FALSE(qivDrawDibOpen());
    EXPECT_EQ(nullptr, qivRenderLockHandle());
    DestroyWindow(w);
}

// A DrawDib that failed to open is tried again by the next load.
TEST(DrawDib, FailedLoadIsRetried) {
    UnloadDrawDib();
    qivSetDrawDibFault(true);
    LoadDrawDib();
    EXPECT_FALSE(qivDrawDibOpen());
    qivSetDrawDibFault(false);
    LoadDrawDib();
    EXPECT_TRUE(qivDrawDibOpen());
    UnloadDrawDib();
    EXPECT_FALSE(qivDrawDibOpen());
}

}  // namespace
