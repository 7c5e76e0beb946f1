// Process detach: its steps in order, the render lock closed last, and the
// library-dependent steps left out at process exit.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "ctlmodule_win.h"
#include "com/module.h"
#include "serverparts_win.h"

namespace {

std::string g_order;
bool g_lockOpenInSteps = true;

void record(char c) {
    g_order += c;
    if (!qivRenderLockHandle()) g_lockOpenInSteps = false;
}

void install() {
    qivSetDetachStep(QivDetachStep::FrameTicks, [] { record('T'); });
    qivSetDetachStep(QivDetachStep::SharedLights, [] { record('L'); });
    qivSetDetachStep(QivDetachStep::DisplayBackEnd, [] { record('D'); });
    qivSetDetachStep(QivDetachStep::DrawDib, [] { record('W'); });
}

TEST(ProcessDetach, StepsInOrderLockLast) {
    struct Case { bool processExit; const char* order; } cases[] = {{false, "TLDW"}, {true, "TL"}};
    for (const Case& c : cases) {
        qcom::module().init(GetModuleHandleW(nullptr), qivClassTable(), qivClassCount());
        qivCreateModuleFont();
        ASSERT_NE(nullptr, qivModuleFont());
        ASSERT_NE(nullptr, qivEnsureRenderLock());
        install();
        g_order.clear();
        g_lockOpenInSteps = true;
        qivProcessDetach(c.processExit);
        EXPECT_EQ(c.order, g_order);
        EXPECT_TRUE(g_lockOpenInSteps);
        EXPECT_EQ(nullptr, qivRenderLockHandle());
        EXPECT_EQ(nullptr, qivModuleFont());
    }
}

}  // namespace
