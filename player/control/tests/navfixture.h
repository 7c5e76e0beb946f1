// The control in the test container with the sample object loaded, for the navigation tests:
// mouse input through NavInput with the keys and the time given, picks under client points.
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <string>

#include "com/module.h"
#include "navhost_win.h"
#include "controlref.h"
#include "olecontainer.h"
#include "qivctl_win.h"
#include "render/sample.h"
#include "scene/pelwrite.h"
#include "serverparts_win.h"

namespace qivtest {

// The sample object written with named parts ("part0" ...) into the temporary folder.
inline std::string writeNavSample() {
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
    const char* names[5] = {"part0", "part1", "part2", "part3", "part4"};
    const uint32_t parts = s.content ? s.content->partCount : 0;
    EXPECT_EQ(1, pelWriteFile(0, path.c_str(), s.node, &info, nullptr, parts <= 5 ? parts : 0, names));
    sampleSceneFree(&s);
    return path;
}

class NavFixture : public ::testing::Test {
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
        ShowWindow(host_.window(), SW_SHOW);
        SetForegroundWindow(host_.window());
        ctl_->state().rendererKind = 2;
        ASSERT_EQ(S_OK, host_.Embed(p2_, true));
        ASSERT_NE(nullptr, ctl_->hwnd());
        GetClientRect(ctl_->hwnd(), &client_);
    }
    void TearDown() override {
        host_.Unembed();
        control_.reset();
    }
    bool load() {
        const std::string path = writeNavSample();
        std::wstring w(path.begin(), path.end());
        BSTR b = SysAllocString(w.c_str());
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(S_OK, p2_->LoadObject(b, &ok));
        SysFreeString(b);
        PumpMessages();
        return ok == VARIANT_TRUE && ctl_->state().viewValid;
    }
    // A client point over the object (searched on a grid from the frame's centre out).
    bool pointOnObject(int* x, int* y) {
        const QivControlState& s = ctl_->state();
        for (int r = 0; r < s.frameWidth / 2; r += 4)
            for (int dx : {-r, r})
                for (int dy : {-r, 0, r}) {
                    const int px = s.frameWidth / 2 + dx, py = s.frameHeight / 2 + dy;
                    if (ctl_->navigation().pickAt(px, py).hit) {
                        *x = px;
                        *y = py;
                        return true;
                    }
                }
        return false;
    }
    bool send(UINT msg, int x, int y, uint32_t t, bool ctrl = false, bool shift = false) {
        return ctl_->NavInput(msg, x, y, true, ctrl, shift, t);
    }
    qivtest::OleTestContainer host_;
    IQivPlayer2* p2_ = nullptr;
    qivtest::ControlRef control_;
    CQivPlayerCtl* ctl_ = nullptr;
    RECT client_{};
};

}  // namespace qivtest
