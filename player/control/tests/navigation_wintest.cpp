// Mouse navigation in the control window: a drag across the client width turns Phi by a full
// circle, Ctrl drags zoom by 1.07 per message, a quick release leaves the view spinning, a
// right click without a drag goes to the default handling, and presses without the physical
// button or without an object are not taken.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "com/module.h"
#include "olecontainer.h"
#include "qivctl_win.h"
#include "render/sample.h"
#include "scene/pelwrite.h"
#include "scene/picture.h"
#include "scene/texture.h"
#include "serverparts_win.h"
#include "window_win.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;

std::string writeSample() {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    const std::string dir = std::string(base) + "qivnav";
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string path = dir + "\\nav.pel";
    SampleScene s;
    EXPECT_TRUE(sampleSceneCreate(&s, 64, 64));
    const char* areas[1] = {"checker.bmp"};
    PelWriteInfo info{};
    info.objectName = "sample";
    info.areaNames = areas;
    info.switches[0] = info.switches[1] = info.switches[3] = 1;
    EXPECT_EQ(1, pelWriteFile(0, path.c_str(), s.node, &info, nullptr, 0, nullptr));
    sampleSceneFree(&s);
    return path;
}

double angleGap(double a, double b) { return std::remainder(a - b, kTwoPi); }

class Navigation : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        OleInitialize(nullptr);
        qcom::module().init(GetModuleHandleW(nullptr), qivClassTable(), qivClassCount());
    }
    void SetUp() override {
        IQivPlayer* p = qivCreateInternalControl();
        ASSERT_NE(nullptr, p);
        p->QueryInterface(IID_IQivPlayer2, reinterpret_cast<void**>(&p2_));
        ctl_ = static_cast<CQivPlayerCtl*>(static_cast<IQivPlayer*>(p));
        p->Release();
        ShowWindow(host_.window(), SW_SHOW);
        ctl_->state().rendererKind = 2;
        ASSERT_EQ(S_OK, host_.Embed(p2_, true));
        ASSERT_NE(nullptr, ctl_->hwnd());
        GetClientRect(ctl_->hwnd(), &client_);
    }
    void TearDown() override {
        host_.Unembed();
        if (p2_) p2_->Release();
    }
    bool load() {
        const std::string path = writeSample();
        std::wstring w(path.begin(), path.end());
        BSTR b = SysAllocString(w.c_str());
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(S_OK, p2_->LoadObject(b, &ok));
        SysFreeString(b);
        qivtest::PumpMessages();
        return ok == VARIANT_TRUE && ctl_->state().viewValid;
    }
    bool send(UINT msg, int x, int y, uint32_t t, bool ctrl = false) {
        return ctl_->NavInput(msg, x, y, true, ctrl, false, t);
    }
    qivtest::OleTestContainer host_;
    IQivPlayer2* p2_ = nullptr;
    CQivPlayerCtl* ctl_ = nullptr;
    RECT client_{};
};

}  // namespace

TEST_F(Navigation, NothingShownTakesNoDrag) {
    EXPECT_FALSE(send(WM_MOUSEMOVE, 10, 10, 100));
    EXPECT_FALSE(ctl_->NavInput(WM_LBUTTONDOWN, 10, 10, false, false, false, 100)) << "button not down";
}

TEST_F(Navigation, DragTurnsZoomsAndSpins) {
    ASSERT_TRUE(load());
    QivControlState& s = ctl_->state();
    const int w = client_.right;
    ASSERT_GT(w, 100);
    // Half the width: half a turn of Phi.
    const double phi0 = s.phi;
    ASSERT_TRUE(send(WM_LBUTTONDOWN, 20, 30, 1000));
    ASSERT_TRUE(send(WM_MOUSEMOVE, 30, 30, 1010));  // past the drag distance: the rotation starts here
    ASSERT_TRUE(send(WM_MOUSEMOVE, 30 + w / 2, 30, 1020));
    EXPECT_NEAR(0.0, angleGap(s.phi, phi0 + kTwoPi * (w / 2) / w), 1e-3);
    EXPECT_EQ(ctl_->hwnd(), GetCapture());
    // A quick release with KeepSpinning leaves the view spinning; a press stops it.
    ASSERT_EQ(S_OK, p2_->put_KeepSpinning(VARIANT_TRUE));
    ASSERT_TRUE(send(WM_LBUTTONUP, 30 + w / 2, 30, 1040));
    EXPECT_NE(0.0f, s.spinPhi);
    EXPECT_EQ(nullptr, GetCapture());
    ASSERT_TRUE(send(WM_LBUTTONDOWN, 40, 40, 1100));
    EXPECT_EQ(0.0f, s.spinPhi);
    send(WM_LBUTTONUP, 40, 40, 1110);

    // Ctrl: 1.07 per message upwards, whatever the distance.
    const float width0 = s.camera.winXMax - s.camera.winXMin;
    ASSERT_TRUE(send(WM_LBUTTONDOWN, 50, 100, 2000, true));
    send(WM_MOUSEMOVE, 50, 60, 2010, true);
    send(WM_MOUSEMOVE, 50, 10, 2020, true);
    send(WM_LBUTTONUP, 50, 10, 2030, true);
    EXPECT_NEAR(width0 / (1.07f * 1.07f), s.camera.winXMax - s.camera.winXMin, width0 * 1e-4);

    // A right click without a drag is left to the default handling (the context menu).
    EXPECT_TRUE(send(WM_RBUTTONDOWN, 60, 60, 3000));
    EXPECT_FALSE(send(WM_RBUTTONUP, 60, 60, 3010));
    qivtest::PumpMessages();
}
