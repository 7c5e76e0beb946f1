// A control made through CreateInternalControl and sited in the OLE test container's window,
// the fixture of the control's drawing and export tests.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "com/module.h"
#include "controlref.h"
#include "olecontainer.h"
#include "qivctl_win.h"
#include "serverparts_win.h"
#include "testfiles.h"

namespace qivtest {

class SitedControl : public ::testing::Test {
public:
    // A folder of that name in the temporary folder.
    static std::string tempDir(const char* leaf) { return qivtest::tempDir(leaf); }

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
        ShowWindow(site_.window(), SW_SHOW);
    }
    void TearDown() override {
        site_.Unembed();
        control_.reset();
        p2_ = nullptr;
    }
    // In place active with the software renderer, without the edge filter (the pictures are
    // compared with the engine's own, which has none).
    void embed() {
        ctl_->state().rendererKind = 2;
        p2_->put_Filter(VARIANT_FALSE);
        ASSERT_EQ(S_OK, site_.Embed(p2_, true));
        ASSERT_NE(nullptr, ctl_->hwnd());
    }
    bool loadObject(const std::string& path) {
        BSTR b = SysAllocString(std::wstring(path.begin(), path.end()).c_str());
        VARIANT_BOOL ok = VARIANT_FALSE;
        HRESULT hr = p2_->LoadObject(b, &ok);
        SysFreeString(b);
        return hr == S_OK && ok == VARIANT_TRUE;
    }
    void paint() {
        RedrawWindow(ctl_->hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        PumpMessages();
    }
    OleTestContainer site_;
    IQivPlayer2* p2_ = nullptr;
    qivtest::ControlRef control_;
    CQivPlayerCtl* ctl_ = nullptr;
};

}  // namespace qivtest
