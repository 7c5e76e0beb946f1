// The control in the test container's window: in-place activation, ambient
// properties, and the members that act on the window.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include "com/module.h"
#include "controlref.h"
#include "olecontainer.h"
#include "qivctl_win.h"
#include "serverparts_win.h"

namespace {

class InPlace : public ::testing::Test {
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
    }
    void TearDown() override {
        host_.Unembed();
        control_.reset();
    }
    qivtest::OleTestContainer host_;
    qivtest::ControlRef control_;
    IQivPlayer2* p2_ = nullptr;
    CQivPlayerCtl* ctl_ = nullptr;
};

TEST_F(InPlace, ActivatesInTheHostWindow) {
    ASSERT_EQ(S_OK, host_.Embed(p2_, true));
    EXPECT_EQ(1, host_.activateCalls);
    HWND w = ctl_->hwnd();
    ASSERT_NE(nullptr, w);
    EXPECT_EQ(host_.window(), GetParent(w));
    IOleWindow* ow = nullptr;
    ASSERT_EQ(S_OK, p2_->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&ow)));
    HWND got = nullptr;
    ow->GetWindow(&got);
    EXPECT_EQ(w, got);
    ow->Release();
    host_.Unembed();
    EXPECT_EQ(1, host_.deactivateCalls);
}

TEST_F(InPlace, BorderStyleAndAppearanceSetTheWindowStyle) {
    ASSERT_EQ(S_OK, host_.Embed(p2_, true));
    HWND w = ctl_->hwnd();
    ASSERT_NE(nullptr, w);
    EXPECT_EQ(S_OK, p2_->put_BorderStyle(qivBorderStyleSingle));
    EXPECT_TRUE(GetWindowLongPtrW(w, GWL_STYLE) & WS_BORDER);
    EXPECT_TRUE(GetWindowLongPtrW(w, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_EQ(S_OK, p2_->put_Appearance(qivAppearanceFlat));
    EXPECT_FALSE(GetWindowLongPtrW(w, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_EQ(S_OK, p2_->put_BorderStyle(qivBorderStyleNone));
    EXPECT_FALSE(GetWindowLongPtrW(w, GWL_STYLE) & WS_BORDER);
}

TEST_F(InPlace, UIDeadFollowsTheAmbient) {
    host_.SetAmbientBool(DISPID_AMBIENT_UIDEAD, true);
    ASSERT_EQ(S_OK, host_.Embed(p2_, true));
    IOleControl* oc = nullptr;
    ASSERT_EQ(S_OK, p2_->QueryInterface(IID_IOleControl, reinterpret_cast<void**>(&oc)));
    EXPECT_EQ(S_OK, oc->OnAmbientPropertyChange(DISPID_AMBIENT_UIDEAD));
    EXPECT_TRUE(ctl_->state().uiDead);
    host_.SetAmbientBool(DISPID_AMBIENT_UIDEAD, false);
    oc->OnAmbientPropertyChange(DISPID_AMBIENT_UIDEAD);
    EXPECT_FALSE(ctl_->state().uiDead);
    // Disabled: input is dead; enabled again: the ambient decides.
    p2_->put_Enabled(VARIANT_FALSE);
    EXPECT_TRUE(ctl_->state().uiDead);
    host_.RemoveAmbient(DISPID_AMBIENT_UIDEAD);
    p2_->put_Enabled(VARIANT_TRUE);
    EXPECT_FALSE(ctl_->state().uiDead);
    oc->Release();
}

TEST_F(InPlace, BackColorWithWindowNotifies) {
    qivtest::NotifySink n;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, qivtest::Connect(p2_, IID_IPropertyNotifySink, &n, &cookie));
    EXPECT_EQ(S_OK, p2_->put_BackColor(0x00102030));  // no window yet: stored, no notice
    EXPECT_TRUE(n.changed.empty());
    ASSERT_EQ(S_OK, host_.Embed(p2_, true));
    EXPECT_EQ(S_OK, p2_->put_BackColor(0x80000005));  // a system colour: stored as its colour
    EXPECT_EQ(std::vector<DISPID>({DISPID_BACKCOLOR}), n.changed);
    OLE_COLOR c = 0;
    p2_->get_BackColor(&c);
    const COLORREF rgb = GetSysColor(COLOR_WINDOW);
    EXPECT_EQ(rgb, c);
    EXPECT_FLOAT_EQ(GetRValue(rgb) / 255.0f, ctl_->state().background.clear[0]);
    // The same colour again, as the index or as its value, changes nothing.
    n.changed.clear();
    EXPECT_EQ(S_OK, p2_->put_BackColor(0x80000005));
    EXPECT_EQ(S_OK, p2_->put_BackColor(rgb));
    EXPECT_TRUE(n.changed.empty());
    EXPECT_EQ(E_INVALIDARG, p2_->put_BackColor(0x80FFFFFF)) << "no such system colour";
    qivtest::Disconnect(p2_, IID_IPropertyNotifySink, cookie);
}

}  // namespace
