// Display, animation-speed, zoom and camera properties through the control's
// interface: stored values, refused values with their error object, the notices
// sent (and held back while events are frozen), the needs-save flag, and the
// viewing values given before a view exists.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "qivplayer_idl.h"
#include "com/module.h"
#include "ctlmodule_win.h"
#include "controlref.h"
#include "olecontainer.h"
#include "qivctl_win.h"
#include "serverparts_win.h"
#include "window_win.h"

namespace {

using qivtest::NotifySink;

class Props : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        OleInitialize(nullptr);
        qcom::module().init(GetModuleHandleW(nullptr), qivClassTable(), qivClassCount());
    }
    void SetUp() override {
        control_ = qivtest::ControlRef::create();
        ASSERT_TRUE(control_);
        p_ = control_.get();
        ctl_ = control_.ctl();
        ASSERT_EQ(S_OK, qivtest::Connect(p_, IID_IPropertyNotifySink, &notify_, &cookie_));
    }
    void TearDown() override {
        qivtest::Disconnect(p_, IID_IPropertyNotifySink, cookie_);
        control_.reset();
    }
    // One object slot in use as the current object.
    QivObjectSlot& addSlot() {
        QivControlState& s = ctl_->state();
        s.slots.push_back(qivNewSlot());
        s.slots.back().inUse = true;
        s.usedCount = 1;
        s.currentSlot = 0;
        return s.slots.back();
    }
    // A valid view: window x -1..1, y -0.5..0.5 over a box 2 wide, zoom base 1.
    void validView() {
        QivControlState& s = ctl_->state();
        s.camera.vrp = {0, 0, 0};
        s.camera.eye = {0, -5, 0};
        s.camera.up = {0, 0, 1};
        s.camera.viewDist = 5;
        s.camera.winXMin = -1, s.camera.winXMax = 1, s.camera.winYMin = -0.5f, s.camera.winYMax = 0.5f;
        s.camera.pixW = 200, s.camera.pixH = 100;
        s.viewValid = true;
        QivWindowParts& w = ctl_->win();
        w.sceneBox.min = {-1, -1, -1};
        w.sceneBox.max = {1, 1, 1};
        w.zoomBase = 1;
    }
    std::wstring errorText() {
        IErrorInfo* info = nullptr;
        if (GetErrorInfo(0, &info) != S_OK || !info) return L"";
        BSTR text = nullptr;
        info->GetDescription(&text);
        std::wstring t = text ? text : L"";
        SysFreeString(text);
        info->Release();
        return t;
    }
    qivtest::ControlRef control_;
    IQivPlayer2* p_ = nullptr;
    CQivPlayerCtl* ctl_ = nullptr;
    NotifySink notify_;
    DWORD cookie_ = 0;
};

TEST_F(Props, PlainPropertiesStoreAnnounceAndMarkDirty) {
    struct Case {
        const char* name;
        std::function<HRESULT()> put;
        std::function<LONG()> get;
        LONG want;
        DISPID notice;  // 0: none
        bool dirty;
    };
    IQivPlayer2* p = p_;
    auto b = [](VARIANT_BOOL v) { return LONG(v); };
    const std::vector<Case> cases = {
        {"FlatTexturePath", [p] { return p->put_FlatTexturePath(VARIANT_TRUE); },
         [p, b] { VARIANT_BOOL v = 0; p->get_FlatTexturePath(&v); return b(v); }, VARIANT_TRUE, qivdispid::FlatTexturePath, false},
        {"AnimateOnClick", [p] { return p->put_AnimateOnClick(VARIANT_FALSE); },
         [p, b] { VARIANT_BOOL v = 1; p->get_AnimateOnClick(&v); return b(v); }, VARIANT_FALSE, qivdispid::AnimateOnClick, false},
        {"LoadObjectMenuEnabled", [p] { return p->put_LoadObjectMenuEnabled(VARIANT_FALSE); },
         [p, b] { VARIANT_BOOL v = 1; p->get_LoadObjectMenuEnabled(&v); return b(v); }, VARIANT_FALSE, 0, false},
        {"Walkthrough", [p] { return p->put_Walkthrough(VARIANT_TRUE); },
         [p, b] { VARIANT_BOOL v = 0; p->get_Walkthrough(&v); return b(v); }, VARIANT_TRUE, qivdispid::Walkthrough, false},
        {"IncrementalDisplay", [p] { return p->put_IncrementalDisplay(VARIANT_FALSE); },
         [p, b] { VARIANT_BOOL v = 1; p->get_IncrementalDisplay(&v); return b(v); }, VARIANT_FALSE, qivdispid::IncrementalDisplay, false},
        {"DelayBeforeLoad", [p] { return p->put_DelayBeforeLoad(1500); },
         [p] { LONG v = 0; p->get_DelayBeforeLoad(&v); return v; }, 1500, qivdispid::DelayBeforeLoad, false},
        {"DelayAfterPreview", [p] { return p->put_DelayAfterPreview(250); },
         [p] { LONG v = 0; p->get_DelayAfterPreview(&v); return v; }, 250, qivdispid::DelayAfterPreview, false},
        {"BackPicOffsetX", [p] { return p->put_BackPicOffsetX(-7); },
         [p] { LONG v = 0; p->get_BackPicOffsetX(&v); return v; }, -7, qivdispid::BackPicOffsetX, true},
        {"BackPicOffsetY", [p] { return p->put_BackPicOffsetY(9); },
         [p] { LONG v = 0; p->get_BackPicOffsetY(&v); return v; }, 9, qivdispid::BackPicOffsetY, true},
        {"InhibitLocalTextures", [p] { return p->put_InhibitLocalTextures(VARIANT_TRUE); },
         [p, b] { VARIANT_BOOL v = 0; p->get_InhibitLocalTextures(&v); return b(v); }, VARIANT_TRUE, 0, true},
        {"TextureBaseURL",
         [p] {
             BSTR s = SysAllocString(L"http://h/textures");
             const HRESULT hr = p->put_TextureBaseURL(s);
             SysFreeString(s);
             return hr;
         },
         [p] {
             BSTR s = nullptr;
             p->get_TextureBaseURL(&s);
             const LONG same = s && std::wstring(s) == L"http://h/textures";
             SysFreeString(s);
             return same;
         },
         1, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        notify_.changed.clear();
        ctl_->setDirty(false);
        EXPECT_EQ(S_OK, c.put());
        EXPECT_EQ(c.want, c.get());
        EXPECT_EQ(c.notice ? std::vector<DISPID>{c.notice} : std::vector<DISPID>{}, notify_.changed);
        EXPECT_EQ(c.dirty, ctl_->dirty());
        notify_.changed.clear();
        EXPECT_EQ(S_OK, c.put());  // the same value again
        EXPECT_TRUE(notify_.changed.empty());
    }
}

TEST_F(Props, DefaultsOfTheDisplayValues) {
    VARIANT_BOOL v = 0;
    EXPECT_EQ(S_OK, p_->get_AnimateOnClick(&v));
    EXPECT_EQ(VARIANT_TRUE, v);
    EXPECT_EQ(S_OK, p_->get_IncrementalDisplay(&v));
    EXPECT_EQ(VARIANT_TRUE, v);
    EXPECT_EQ(S_OK, p_->get_LoadObjectMenuEnabled(&v));
    EXPECT_EQ(VARIANT_TRUE, v);
    EXPECT_EQ(S_OK, p_->get_Walkthrough(&v));
    EXPECT_EQ(VARIANT_FALSE, v);
    qivBackPicModes m = static_cast<qivBackPicModes>(9);
    EXPECT_EQ(S_OK, p_->get_BackPicMode(&m));
    EXPECT_EQ(0, int(m));
    float f = -1;
    EXPECT_EQ(S_OK, p_->get_Zoom(&f));
    EXPECT_EQ(1.0f, f);
    EXPECT_EQ(S_OK, p_->get_EyeZ(&f));
    EXPECT_EQ(0.0f, f);
    EXPECT_EQ(E_POINTER, p_->get_Zoom(nullptr));
    EXPECT_EQ(E_POINTER, p_->get_VRPx(nullptr));
    EXPECT_EQ(E_POINTER, p_->get_MenuNameFor3D(nullptr));
}

TEST_F(Props, BackPicModeIsSetEachTimeAndKeepsOtherModes) {
    EXPECT_EQ(S_OK, p_->put_BackPicMode(static_cast<qivBackPicModes>(2)));
    EXPECT_EQ(S_OK, p_->put_BackPicMode(static_cast<qivBackPicModes>(2)));
    EXPECT_TRUE(ctl_->dirty());
    EXPECT_EQ(std::vector<DISPID>({qivdispid::BackPicMode, qivdispid::BackPicMode}), notify_.changed);
    // Other modes are stored as given and show the colour.
    for (int other : {3, 7, -1}) {
        SCOPED_TRACE(other);
        EXPECT_EQ(S_OK, p_->put_BackPicMode(static_cast<qivBackPicModes>(other)));
        qivBackPicModes m{};
        p_->get_BackPicMode(&m);
        EXPECT_EQ(other, int(m));
    }
    EXPECT_EQ(5u, notify_.changed.size());
}

TEST_F(Props, MenuNamesStoredClearedAndAnnouncedOnChange) {
    struct Name {
        HRESULT (STDMETHODCALLTYPE IQivPlayer2::*put)(BSTR);
        HRESULT (STDMETHODCALLTYPE IQivPlayer2::*get)(BSTR*);
        DISPID id;
    };
    for (const Name& n : {Name{&IQivPlayer2::put_MenuNameForPreview, &IQivPlayer2::get_MenuNameForPreview, qivdispid::MenuNameForPreview},
                          Name{&IQivPlayer2::put_MenuNameFor3D, &IQivPlayer2::get_MenuNameFor3D, qivdispid::MenuNameFor3D}}) {
        SCOPED_TRACE(n.id);
        notify_.changed.clear();
        BSTR got = reinterpret_cast<BSTR>(1);
        EXPECT_EQ(S_OK, (p_->*n.get)(&got));
        EXPECT_EQ(nullptr, got) << "no name stored: null";
        BSTR empty = SysAllocString(L"");
        EXPECT_EQ(S_OK, (p_->*n.put)(empty));
        EXPECT_EQ(S_OK, (p_->*n.put)(nullptr));
        EXPECT_TRUE(notify_.changed.empty()) << "empty while none is stored";
        BSTR name = SysAllocString(L"Vorschau \x00e4");
        EXPECT_EQ(S_OK, (p_->*n.put)(name));
        EXPECT_EQ(S_OK, (p_->*n.put)(name));  // equal: nothing
        EXPECT_EQ(S_OK, (p_->*n.get)(&got));
        EXPECT_EQ(std::wstring(L"Vorschau \x00e4"), got ? got : L"");
        SysFreeString(got);
        BSTR other = SysAllocString(L"vorschau \x00e4");
        EXPECT_EQ(S_OK, (p_->*n.put)(other));  // case counts
        EXPECT_EQ(S_OK, (p_->*n.put)(empty));  // clears
        EXPECT_EQ(S_OK, (p_->*n.get)(&got));
        EXPECT_EQ(nullptr, got);
        EXPECT_EQ(std::vector<DISPID>({n.id, n.id, n.id}), notify_.changed);
        EXPECT_FALSE(ctl_->dirty());
        SysFreeString(empty);
        SysFreeString(name);
        SysFreeString(other);
    }
}

TEST_F(Props, AnimSpeedNeedsAnObjectAndIgnoresNegativeValues) {
    float f = 5;
    EXPECT_EQ(E_FAIL, p_->get_AnimSpeed(&f));
    EXPECT_EQ(E_FAIL, p_->put_AnimSpeed(2));
    QivObjectSlot& slot = addSlot();
    EXPECT_EQ(S_OK, p_->get_AnimSpeed(&f));
    EXPECT_EQ(1.0f, f);
    EXPECT_EQ(S_OK, p_->put_AnimSpeed(2.5f));
    EXPECT_EQ(S_OK, p_->put_AnimSpeed(2.5f));
    EXPECT_EQ(std::vector<DISPID>({qivdispid::AnimSpeed}), notify_.changed);
    // A negative or not finite speed changes nothing and is announced all the same.
    for (float ignored : {-1.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        SCOPED_TRACE(ignored);
        EXPECT_EQ(S_OK, p_->put_AnimSpeed(ignored));
    }
    EXPECT_EQ(2.5f, slot.animSpeed);
    EXPECT_EQ(std::vector<DISPID>({qivdispid::AnimSpeed, qivdispid::AnimSpeed, qivdispid::AnimSpeed, qivdispid::AnimSpeed}), notify_.changed);
    EXPECT_EQ(S_OK, p_->put_AnimSpeed(0.0f)) << "a paused animation";
    EXPECT_EQ(0.0f, slot.animSpeed);
}

TEST_F(Props, AnimSpeedKeepsTheTimeReachedWhileRunning) {
    QivObjectSlot& slot = addSlot();
    slot.animStart = 0, slot.animEnd = 100, slot.animRate = 25;
    slot.animTime = 4;
    slot.animStartTick = GetTickCount() - 2000;  // 2 s at 25 frames per second: time 50
    EXPECT_EQ(S_OK, p_->put_AnimSpeed(2));
    // The time reached at the new speed: (now - start tick) x 25 x 2 / 1000.
    const float reached = float(double(GetTickCount() - slot.animStartTick) * 25 * 2 * 0.001);
    EXPECT_NEAR(50.0f, reached, 2.0f);
    EXPECT_NEAR(50.0f, slot.animTime, 2.0f);
}

TEST_F(Props, ZoomAndCameraBeforeAViewArePendingThenTakenOver) {
    float f = 0;
    const struct { float put, want; } zooms[] = {{0, 1}, {1000, 200}, {0.001f, 0.01f}, {-5, 0.01f}, {3, 3}};
    for (const auto& z : zooms) {
        SCOPED_TRACE(z.put);
        EXPECT_EQ(S_OK, p_->put_Zoom(z.put));
        EXPECT_EQ(S_OK, p_->get_Zoom(&f));
        EXPECT_FLOAT_EQ(z.want, f);
    }
    EXPECT_EQ(S_OK, p_->put_Zoom(std::numeric_limits<float>::quiet_NaN()));
    p_->get_Zoom(&f);
    EXPECT_FLOAT_EQ(3, f) << "NaN changes nothing";
    EXPECT_EQ(S_OK, p_->put_VRPx(1.5f));
    EXPECT_EQ(S_OK, p_->put_EyeZ(-4));
    EXPECT_EQ(S_OK, p_->put_EyeY(std::numeric_limits<float>::infinity())) << "ignored";
    p_->get_VRPx(&f);
    EXPECT_EQ(1.5f, f);
    p_->get_EyeZ(&f);
    EXPECT_EQ(-4.0f, f);
    p_->get_EyeY(&f);
    EXPECT_EQ(0.0f, f);
    EXPECT_TRUE(notify_.changed.empty()) << "no notices without a view";
    EXPECT_FALSE(ctl_->dirty());

    validView();
    ctl_->ApplyPendingViewing();
    const CamRecord& c = ctl_->state().camera;
    EXPECT_EQ(1.5f, c.vrp.x);
    EXPECT_EQ(-4.0f, c.eye.z);
    EXPECT_EQ(0.0f, c.eye.y) << "a given point is taken over whole";
    EXPECT_EQ(0.0f, c.vrp.z);
    EXPECT_NEAR(1.0f / 3, c.winXMax, 1e-5f);
    p_->get_Zoom(&f);
    EXPECT_NEAR(3.0f, f, 1e-4f);
    p_->get_EyeZ(&f);
    EXPECT_EQ(-4.0f, f) << "now from the camera";
}

TEST_F(Props, CameraAndZoomWithAValidView) {
    validView();
    const struct {
        HRESULT (STDMETHODCALLTYPE IQivPlayer2::*put)(float);
        HRESULT (STDMETHODCALLTYPE IQivPlayer2::*get)(float*);
        DISPID id;
    } axes[] = {{&IQivPlayer2::put_VRPx, &IQivPlayer2::get_VRPx, qivdispid::VRPx}, {&IQivPlayer2::put_VRPy, &IQivPlayer2::get_VRPy, qivdispid::VRPy},
                {&IQivPlayer2::put_VRPz, &IQivPlayer2::get_VRPz, qivdispid::VRPz}, {&IQivPlayer2::put_EyeX, &IQivPlayer2::get_EyeX, qivdispid::EyeX},
                {&IQivPlayer2::put_EyeY, &IQivPlayer2::get_EyeY, qivdispid::EyeY}, {&IQivPlayer2::put_EyeZ, &IQivPlayer2::get_EyeZ, qivdispid::EyeZ}};
    std::vector<DISPID> want;
    float v = 0.25f;
    for (const auto& a : axes) {
        SCOPED_TRACE(a.id);
        v += 1;
        EXPECT_EQ(S_OK, (p_->*a.put)(v));
        EXPECT_EQ(S_OK, (p_->*a.put)(v));  // equal: nothing
        EXPECT_EQ(S_OK, (p_->*a.put)(std::numeric_limits<float>::quiet_NaN())) << "ignored";
        float got = 0;
        EXPECT_EQ(S_OK, (p_->*a.get)(&got));
        EXPECT_EQ(v, got);
        want.push_back(a.id);
    }
    EXPECT_EQ(want, notify_.changed);
    const CamRecord& c = ctl_->state().camera;
    EXPECT_EQ(1.25f, c.vrp.x);
    EXPECT_EQ(6.25f, c.eye.z);

    notify_.changed.clear();
    ctl_->setDirty(false);
    float z = 0;
    EXPECT_EQ(S_OK, p_->get_Zoom(&z));
    EXPECT_FLOAT_EQ(1, z);
    EXPECT_EQ(S_OK, p_->put_Zoom(2));
    EXPECT_FLOAT_EQ(0.5f, c.winXMax);
    EXPECT_FLOAT_EQ(-0.5f, c.winXMin);
    EXPECT_FLOAT_EQ(0.25f, c.winYMax) << "the aspect stays";
    EXPECT_EQ(S_OK, p_->put_Zoom(2));
    p_->get_Zoom(&z);
    EXPECT_FLOAT_EQ(2, z);
    EXPECT_EQ(std::vector<DISPID>({qivdispid::Zoom}), notify_.changed);
    EXPECT_TRUE(ctl_->dirty());
}

TEST_F(Props, StockPropertiesTakeOrRefuseValuesOutsideTheirRange) {
    // Any Appearance but 0 means 3D; one other than 1 is still announced.
    EXPECT_EQ(S_OK, p_->put_Appearance(static_cast<qivAppearance>(2)));
    EXPECT_EQ(E_INVALIDARG, p_->put_BackStyle(static_cast<qivBackStyle>(-1)));
    EXPECT_FALSE(errorText().empty());
    qivAppearance a{};
    p_->get_Appearance(&a);
    EXPECT_EQ(qivAppearance3D, a);
    EXPECT_EQ(std::vector<DISPID>({DISPID_APPEARANCE}), notify_.changed);
    notify_.changed.clear();
    EXPECT_EQ(S_OK, p_->put_Appearance(qivAppearanceFlat));
    EXPECT_EQ(S_OK, p_->put_BorderStyle(static_cast<qivBorderStyle>(5)));  // anything but 1: none
    EXPECT_EQ(S_OK, p_->put_BorderStyle(qivBorderStyleSingle));
    EXPECT_EQ(S_OK, p_->put_BackStyle(qivBackStyleTransparent));
    EXPECT_TRUE(ctl_->dirty());
    EXPECT_EQ(S_OK, p_->put_Enabled(VARIANT_FALSE));
    EXPECT_TRUE(ctl_->state().uiDead);
    EXPECT_EQ(S_OK, p_->put_Enabled(VARIANT_TRUE));
    EXPECT_FALSE(ctl_->state().uiDead) << "no container gives UIDead";
    EXPECT_EQ(std::vector<DISPID>({DISPID_APPEARANCE, DISPID_BORDERSTYLE, DISPID_BACKSTYLE, DISPID_ENABLED, DISPID_ENABLED}),
              notify_.changed);
}

TEST_F(Props, FrozenEventsHoldBackTheNoticesNotTheChanges) {
    IOleControl* oc = nullptr;
    ASSERT_EQ(S_OK, p_->QueryInterface(IID_IOleControl, reinterpret_cast<void**>(&oc)));
    validView();
    addSlot();
    oc->FreezeEvents(TRUE);
    EXPECT_EQ(S_OK, p_->put_Walkthrough(VARIANT_TRUE));
    EXPECT_EQ(S_OK, p_->put_BackPicMode(static_cast<qivBackPicModes>(1)));
    EXPECT_EQ(S_OK, p_->put_AnimSpeed(3));
    EXPECT_EQ(S_OK, p_->put_EyeX(2));
    EXPECT_EQ(S_OK, p_->put_Zoom(4));
    oc->FreezeEvents(FALSE);
    EXPECT_TRUE(notify_.changed.empty());
    float f = 0;
    p_->get_AnimSpeed(&f);
    EXPECT_EQ(3.0f, f);
    p_->get_EyeX(&f);
    EXPECT_EQ(2.0f, f);
    p_->get_Zoom(&f);
    EXPECT_NEAR(4.0f, f, 1e-5f);
    EXPECT_EQ(S_OK, p_->put_DelayBeforeLoad(10));
    EXPECT_EQ(std::vector<DISPID>({qivdispid::DelayBeforeLoad}), notify_.changed);
    oc->Release();
}

}  // namespace
