// Navigation members of the control: spinning, spin speeds with their wrapping, the display
// mode's all-transparent flag in both of its forms, and the animation parameters' checks.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <vector>

#include "qivplayer_idl.h"
#include "com/module.h"
#include "ctlmodule_win.h"
#include "controlref.h"
#include "olecontainer.h"
#include "qivctl_win.h"
#include "serverparts_win.h"

namespace {

class NavMembers : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        OleInitialize(nullptr);
        qcom::module().init(GetModuleHandleW(nullptr), qivClassTable(), qivClassCount());
    }
    void SetUp() override {
        control_ = qivtest::ControlRef::create();
        ASSERT_TRUE(control_);
        p1_ = control_.player1();
        p2_ = control_.get();
        ctl_ = control_.ctl();
        ASSERT_EQ(S_OK, qivtest::Connect(p2_, IID_IPropertyNotifySink, &notify_, &cookie_));
    }
    void TearDown() override {
        qivtest::Disconnect(p2_, IID_IPropertyNotifySink, cookie_);
        control_.reset();
    }
    qivtest::ControlRef control_;
    IQivPlayer* p1_ = nullptr;
    IQivPlayer2* p2_ = nullptr;
    CQivPlayerCtl* ctl_ = nullptr;
    qivtest::NotifySink notify_;
    DWORD cookie_ = 0;
};

}  // namespace

TEST_F(NavMembers, SpinSpeedsAndKeepSpinning) {
    VARIANT_BOOL keep = VARIANT_TRUE;
    ASSERT_EQ(S_OK, p2_->get_KeepSpinning(&keep));
    EXPECT_EQ(VARIANT_FALSE, keep);
    float speed = 1;
    // A tiny speed is stored but does not switch spinning on.
    ASSERT_EQ(S_OK, p2_->put_SpinPhi(0.00005f));
    p2_->get_SpinPhi(&speed);
    EXPECT_NEAR(speed, 0.00005f, 1e-9);
    p2_->get_KeepSpinning(&keep);
    EXPECT_EQ(VARIANT_FALSE, keep);
    // Beyond 8 pi radians per second: 0.
    ASSERT_EQ(S_OK, p2_->put_SpinPhi(2000.0f));
    p2_->get_SpinPhi(&speed);
    EXPECT_EQ(0.0f, speed);
    // Up to 8 pi: brought into -pi..pi by whole turns; a real speed switches spinning on.
    ASSERT_EQ(S_OK, p2_->put_SpinPsi(400.0f));
    p2_->get_SpinPsi(&speed);
    EXPECT_NEAR(speed, 40.0f, 1e-3);
    p2_->get_KeepSpinning(&keep);
    EXPECT_EQ(VARIANT_TRUE, keep);
    ASSERT_EQ(S_OK, p2_->put_KeepSpinning(VARIANT_FALSE));
    p2_->get_SpinPsi(&speed);
    EXPECT_EQ(0.0f, speed) << "switching off stops both speeds";
    EXPECT_EQ(std::vector<DISPID>({qivdispid::SpinPhi, qivdispid::SpinPhi, qivdispid::SpinPsi, qivdispid::KeepSpinning}), notify_.changed);
    EXPECT_EQ(E_POINTER, p2_->get_KeepSpinning(nullptr));
    EXPECT_EQ(E_POINTER, p2_->get_SpinPhi(nullptr));
    EXPECT_EQ(E_POINTER, p2_->get_SpinPsi(nullptr));
}

// DisplayMode: bits 8-15 switch the all-transparent flag on for good (read back as 0x4000);
// every value is stored, the renderer's modes drawn as they are, others as the default.
TEST_F(NavMembers, DisplayModeValuesAndTheTransparentFlag) {
    const struct {
        LONG put, read;
        uint32_t drawn;
        bool flag, notice;
    } cases[] = {
        {qivDispGTEX, qivDispGTEX, 3, false, false},   // the default: unchanged
        {0x4003, 0x4003, 3, true, true},                // the flag newly set
        {0x0103, 0x4003, 3, true, false},               // any of bits 8-15 is the same flag
        {0x0101, 0x4001, 1, true, true},
        {qivDispHIDDENWIRE_ALL, 0x4000 + 20, 20, true, true},  // a plain put keeps the flag
        {qivDispFlagAlltrans, 0x4000 + 32, 32, true, true},
        {qivDispGTEX | qivDispFlagAlltrans, 0x4000 + 35, 35, true, true},
        {9, 0x4000 + 9, 3, true, true},                 // outside the enumeration: stored
        {0x10003, 0x10003 + 0x4000, 3, true, true},
        {0x10003, 0x10003 + 0x4000, 3, true, false},
    };
    for (const auto& c : cases) {
        notify_.changed.clear();
        ASSERT_EQ(S_OK, p2_->put_DisplayMode(static_cast<qivDisplayMode>(c.put)));
        qivDisplayMode m;
        ASSERT_EQ(S_OK, p2_->get_DisplayMode(&m));
        EXPECT_EQ(c.read, LONG(m)) << std::hex << c.put;
        EXPECT_EQ(c.drawn, ctl_->state().displayMode) << std::hex << c.put;
        EXPECT_EQ(c.flag, ctl_->state().allTransparent) << std::hex << c.put;
        EXPECT_EQ(c.notice ? std::vector<DISPID>{qivdispid::DisplayMode} : std::vector<DISPID>{}, notify_.changed) << std::hex << c.put;
    }
}

TEST_F(NavMembers, AnimationParametersCheckEveryPointer) {
    float length = -1, fps = -1;
    LONG count = -1;
    VARIANT_BOOL ok = VARIANT_TRUE;
    EXPECT_EQ(E_POINTER, p2_->GetAnimationParameters(nullptr, &fps, &count, &ok));
    EXPECT_EQ(E_POINTER, p2_->GetAnimationParameters(&length, nullptr, &count, &ok));
    EXPECT_EQ(E_POINTER, p2_->GetAnimationParameters(&length, &fps, nullptr, &ok));
    EXPECT_EQ(E_POINTER, p2_->GetAnimationParameters(&length, &fps, &count, nullptr));
    EXPECT_EQ(E_FAIL, p2_->GetAnimationParameters(&length, &fps, &count, &ok)) << "no current object";
    EXPECT_EQ(VARIANT_FALSE, ok);

    QivControlState& s = ctl_->state();
    QivObjectSlot slot = qivNewSlot();
    slot.inUse = true;
    slot.hasAnimation = true;
    slot.animStart = 0;
    slot.animEnd = 30;
    slot.animRate = 15;
    slot.subAnimCount = 2;
    s.slots.push_back(slot);
    s.usedCount = 1;
    s.currentSlot = 0;
    ASSERT_EQ(S_OK, p2_->GetAnimationParameters(&length, &fps, &count, &ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_FLOAT_EQ(2.0f, length);
    EXPECT_FLOAT_EQ(15.0f, fps);
    EXPECT_EQ(2, count);
    s.slots[0].hasAnimation = false;
    ASSERT_EQ(S_OK, p2_->GetAnimationParameters(&length, &fps, &count, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    s.slots[0].animRate = 0;  // a zero frame rate divides nothing
    s.slots[0].hasAnimation = true;
    ASSERT_EQ(S_OK, p2_->GetAnimationParameters(&length, &fps, &count, &ok));
    EXPECT_EQ(0.0f, length);
    qivUnloadSlots(s);
}
