// Controls for the tests of the control's windows: the module set up in the
// test program, a new control, a control embedded and in-place active in a
// test container, and a sample object file of the project's writer.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "controlref.h"
#include "olecontainer.h"
#include "qivctl_win.h"

namespace qivtest {

// OLE and the control's module with its class table, once per program.
void InitControlModule();
// The sample scene written as a PEL file; false when it cannot be written.
bool WriteSamplePel(const std::string& path);

// A control embedded in Host and in-place active, with the software renderer.
template <class Host = OleTestContainer>
class EmbeddedControlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitControlModule(); }
    void SetUp() override {
        control_ = ControlRef::create();
        ASSERT_TRUE(control_);
        p2_ = control_.get();
        ctl_ = control_.ctl();
        ctl_->state().rendererKind = 2;
        ASSERT_EQ(S_OK, host_.Embed(p2_, true));
        ASSERT_NE(nullptr, ctl_->hwnd());
    }
    void TearDown() override {
        host_.Unembed();
        control_.reset();
    }

    Host host_;
    ControlRef control_;
    IQivPlayer2* p2_ = nullptr;
    CQivPlayerCtl* ctl_ = nullptr;
};

}  // namespace qivtest
