// The control object through its interfaces: defaults, routing of colliding
// DISPIDs, events to several sinks, property notices and freezing, members
// not built yet. The control is linked in with its resources.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include "qivplayer_idl.h"
#include "com/module.h"
#include "ctlmodule_win.h"
#include "controlref.h"
#include "olecontainer.h"
#include "qivctl_win.h"
#include "window_win.h"
#include "serverparts_win.h"

namespace {

using qivtest::EventSink;
using qivtest::NotifySink;

class Control : public ::testing::Test {
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
    }
    void TearDown() override {
        control_.reset();
    }
    qivtest::ControlRef control_;
    IQivPlayer* p1_ = nullptr;
    IQivPlayer2* p2_ = nullptr;
    CQivPlayerCtl* ctl_ = nullptr;
};

TEST_F(Control, InternalControlCarriesTwoReferences) {
    IQivPlayer* p = qivCreateInternalControl();
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(1u, p->Release());
    EXPECT_EQ(0u, p->Release());
}

TEST_F(Control, DefaultsReadBackThroughBothInterfaces) {
    OLE_COLOR c = 0;
    EXPECT_EQ(S_OK, p2_->get_BackColor(&c));
    EXPECT_EQ(0x00C0C0C0u, c);
    qivDisplayMode mode;
    EXPECT_EQ(S_OK, p2_->get_DisplayMode(&mode));
    EXPECT_EQ(qivDispGTEX, mode);
    LONG v = 0;
    EXPECT_EQ(S_OK, p2_->get_TooltipTimeout(&v));
    EXPECT_EQ(750, v);
    EXPECT_EQ(S_OK, p1_->get_TooltipTimeout(&v));
    EXPECT_EQ(750, v);
    EXPECT_EQ(S_OK, p2_->get_PreviewMode(&v));
    EXPECT_EQ(3, v);
    EXPECT_EQ(S_OK, p2_->get_CurrentObject(&v));
    EXPECT_EQ(-1, v);
    EXPECT_EQ(S_OK, p2_->get_EventObject(&v));
    EXPECT_EQ(-1, v);
    EXPECT_EQ(S_OK, p2_->get_Lights(&v));
    EXPECT_EQ(31, v);
    EXPECT_EQ(S_OK, p2_->get_LastPickedMaterial(&v));
    EXPECT_EQ(0, v);
    VARIANT_BOOL b = 0;
    EXPECT_EQ(S_OK, p2_->get_Enabled(&b));
    EXPECT_EQ(VARIANT_TRUE, b);
    EXPECT_EQ(S_OK, p2_->get_PopupMenuEnabled(&b));
    EXPECT_EQ(VARIANT_TRUE, b);
    qivBackStyle bs;
    EXPECT_EQ(S_OK, p2_->get_BackStyle(&bs));
    EXPECT_EQ(qivBackStyleOpaque, bs);
    qivAppearance ap;
    EXPECT_EQ(S_OK, p1_->get_Appearance(&ap));
    EXPECT_EQ(qivAppearance3D, ap);
    qivBorderStyle bo;
    EXPECT_EQ(S_OK, p1_->get_BorderStyle(&bo));
    EXPECT_EQ(qivBorderStyleNone, bo);
    BSTR lang = nullptr;
    EXPECT_EQ(S_OK, p2_->get_Language(&lang));
    ASSERT_EQ(2u, SysStringLen(lang));
    EXPECT_TRUE(iswupper(lang[0]) && iswupper(lang[1]));
    SysFreeString(lang);
    // State behind the interface.
    const QivControlState& s = ctl_->state();
    EXPECT_FLOAT_EQ(0.5235988f, s.psi);
    EXPECT_FLOAT_EQ(3.926991f, s.phi);
    EXPECT_EQ(4, s.walkZone);
    for (int i = 0; i < kQivCursorCount; ++i) EXPECT_NE(nullptr, ctl_->cursor(i)) << kQivCursorIds[i];
    EXPECT_NE(nullptr, qivRenderLockHandle());
}

TEST_F(Control, NullOutPointers) {
    EXPECT_EQ(E_POINTER, p2_->get_BackColor(nullptr));
    EXPECT_EQ(E_POINTER, p2_->get_Language(nullptr));
    EXPECT_EQ(E_POINTER, p2_->RegisterChunkNotify(1, VARIANT_TRUE, nullptr));
}

TEST_F(Control, AcceptedAndNotBuiltMembers) {
    EXPECT_EQ(S_OK, p2_->put_VisuDLL(nullptr));
    EXPECT_EQ(S_OK, p2_->put_ObjectUID(nullptr));
    EXPECT_EQ(S_OK, p2_->DragAndDropTexture(nullptr));
    EXPECT_EQ(S_OK, p2_->DragAndDropMaterialFromURL(nullptr));
    VARIANT_BOOL b = 0;
    EXPECT_EQ(S_OK, p2_->RegisterChunkNotify(7, VARIANT_FALSE, &b));
    EXPECT_EQ(VARIANT_TRUE, b);
    BSTR s = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(S_OK, p2_->get_ObjectUID(&s));
    EXPECT_EQ(nullptr, s);  // always 0
    EXPECT_EQ(E_POINTER, p2_->get_ObjectUID(nullptr));
}

TEST_F(Control, BadValuesRefused) {
    EXPECT_EQ(E_INVALIDARG, p2_->put_BackStyle(static_cast<qivBackStyle>(2)));
    EXPECT_EQ(E_FAIL, p2_->put_CurrentObject(0));
    for (const wchar_t* bad : {L"E", L"ENG", L""}) {
        BSTR b = SysAllocString(bad);
        EXPECT_EQ(E_INVALIDARG, p2_->put_Language(b));
        SysFreeString(b);
        IErrorInfo* info = nullptr;
        ASSERT_EQ(S_OK, GetErrorInfo(0, &info));
        BSTR help = nullptr;
        DWORD context = 0;
        info->GetHelpFile(&help);
        info->GetHelpContext(&context);
        EXPECT_EQ(std::wstring(L"Preview.hlp"), help ? help : L"");
        EXPECT_EQ(0x2500u, context);
        BSTR text = nullptr;
        info->GetDescription(&text);
        wchar_t table[512] = {};
        ASSERT_GT(LoadStringW(GetModuleHandleW(nullptr), IDS_LANGUAGE_CODE, table, 512), 0) << "the string table is linked in";
        EXPECT_EQ(std::wstring(table), text ? text : L"");
        SysFreeString(text);
        SysFreeString(help);
        info->Release();
    }
    ISupportErrorInfo* sei = nullptr;
    ASSERT_EQ(S_OK, p2_->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&sei)));
    EXPECT_EQ(S_OK, sei->InterfaceSupportsErrorInfo(IID_IQivPlayer2));
    sei->Release();
}

// A property notice that throws stands for any C++ exception inside a member: the member
// answers E_OUTOFMEMORY for std::bad_alloc and E_UNEXPECTED for anything else, through the
// v-table and through IDispatch, and the control goes on working.
TEST_F(Control, ExceptionInsideAMemberBecomesItsResult) {
    struct ThrowingSink : NotifySink {
        std::function<void()> raise;
        STDMETHODIMP OnChanged(DISPID id) override {
            NotifySink::OnChanged(id);
            if (raise) raise();
            return S_OK;
        }
    } sink;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, qivtest::Connect(p2_, IID_IPropertyNotifySink, &sink, &cookie));
    auto put = [&](const wchar_t* code) {
        BSTR b = SysAllocString(code);
        const HRESULT hr = p2_->put_Language(b);
        SysFreeString(b);
        return hr;
    };
    auto invokePut = [&](const wchar_t* code, EXCEPINFO* ex) {
        VARIANT arg;
        arg.vt = VT_BSTR;
        arg.bstrVal = SysAllocString(code);
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params = {&arg, &named, 1, 1};
        const HRESULT hr = static_cast<IDispatch*>(p2_)->Invoke(qivdispid::Language, IID_NULL, 0,
                                                                DISPATCH_PROPERTYPUT, &params, nullptr, ex, nullptr);
        VariantClear(&arg);
        return hr;
    };
    const struct {
        const char* what;
        std::function<void()> raise;
        HRESULT want;
    } cases[] = {
        {"bad_alloc", [] { throw std::bad_alloc(); }, E_OUTOFMEMORY},
        {"other", [] { throw std::runtime_error("x"); }, E_UNEXPECTED},
    };
    const wchar_t* codes[] = {L"de", L"fr", L"it", L"es"};
    int next = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sink.raise = c.raise;
        EXPECT_EQ(c.want, put(codes[next++])) << "the direct call";
        EXCEPINFO ex = {};
        EXPECT_EQ(DISP_E_EXCEPTION, invokePut(codes[next++], &ex)) << "through IDispatch";
        EXPECT_EQ(c.want, ex.scode);
        SysFreeString(ex.bstrSource);
        SysFreeString(ex.bstrDescription);
        SysFreeString(ex.bstrHelpFile);
    }
    sink.raise = nullptr;
    sink.changed.clear();
    EXPECT_EQ(S_OK, put(L"pl"));
    BSTR got = nullptr;
    EXPECT_EQ(S_OK, p2_->get_Language(&got));
    EXPECT_EQ(std::wstring(L"PL"), got ? got : L"");
    SysFreeString(got);
    EXPECT_EQ(std::vector<DISPID>({qivdispid::Language}), sink.changed);
    qivtest::Disconnect(p2_, IID_IPropertyNotifySink, cookie);
}

TEST_F(Control, LanguageIsStoredUpperCase) {
    NotifySink notify;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, qivtest::Connect(p2_, IID_IPropertyNotifySink, &notify, &cookie));
    BSTR de = SysAllocString(L"de");
    EXPECT_EQ(S_OK, p2_->put_Language(de));
    EXPECT_EQ(S_OK, p2_->put_Language(de));  // equal: no second notice
    SysFreeString(de);
    BSTR got = nullptr;
    p2_->get_Language(&got);
    EXPECT_EQ(std::wstring(L"DE"), got);
    SysFreeString(got);
    EXPECT_EQ(std::vector<DISPID>({qivdispid::Language}), notify.changed);
    qivtest::Disconnect(p2_, IID_IPropertyNotifySink, cookie);
}

// One DISPID is LoadObject on the older interface and LastPickedMaterial on the
// newer one; another is ShowAll and CurrentObject.
TEST_F(Control, CollidingDispidsRoutePerInterface) {
    IDispatch* d2 = nullptr;
    ASSERT_EQ(S_OK, p2_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d2)));
    EXPECT_EQ(static_cast<IDispatch*>(p2_), d2);
    DISPPARAMS none = {};
    VARIANT r;
    VariantInit(&r);
    EXPECT_EQ(S_OK, d2->Invoke(qivdispid::LastPickedMaterial, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &r, nullptr, nullptr));
    EXPECT_EQ(VT_I4, r.vt);
    EXPECT_EQ(0, r.lVal);
    VariantClear(&r);
    EXPECT_EQ(S_OK, d2->Invoke(qivdispid::CurrentObject, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &r, nullptr, nullptr));
    EXPECT_EQ(-1, r.lVal);
    d2->Release();

    IDispatch* d1 = static_cast<IDispatch*>(p1_);
    VARIANT arg;
    arg.vt = VT_BSTR;
    arg.bstrVal = SysAllocString(L"file://x.pel");
    DISPPARAMS one = {&arg, nullptr, 1, 0};
    EXCEPINFO ex = {};
    HRESULT hr = d1->Invoke(qivdispid::v1::LoadObject, IID_NULL, 0, DISPATCH_METHOD, &one, &r, &ex, nullptr);
    EXPECT_EQ(S_OK, hr) << "reached LoadObject";
    EXPECT_EQ(VT_BOOL, r.vt);
    EXPECT_EQ(VARIANT_FALSE, r.boolVal);  // no such file
    VariantClear(&r);
    SysFreeString(ex.bstrSource);
    SysFreeString(ex.bstrDescription);
    SysFreeString(ex.bstrHelpFile);
    VariantClear(&arg);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, d1->Invoke(qivdispid::v1::LoadObject, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &r, nullptr, nullptr));
    // By name: each interface knows its own members.
    LPOLESTR name = const_cast<LPOLESTR>(L"LoadObject");
    DISPID id = 0;
    EXPECT_EQ(S_OK, d1->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
    EXPECT_EQ(qivdispid::v1::LoadObject, id);
    EXPECT_EQ(S_OK, static_cast<IDispatch*>(p2_)->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
    EXPECT_EQ(qivdispid::LoadObject, id);
}

TEST_F(Control, EventsReachTwoSinksInOrderWithByrefWriteBack) {
    EventSink a(DIID__QivPlayerEvents), b(DIID__QivPlayerEvents);
    LONG seenSlot = -2;
    std::string bSawDisplay;
    LONG bSawIndex = 0;
    a.handler = [&](DISPID id, DISPPARAMS* p) {
        if (id == qivdispid::event::SubObjectPicked) {
            SysFreeString(*p->rgvarg[0].pbstrVal);
            *p->rgvarg[0].pbstrVal = SysAllocString(L"one");
        }
        if (id == qivdispid::event::Click) *p->rgvarg[0].plVal = 7;
        if (id == qivdispid::event::ClickWithKeys) *p->rgvarg[0].plVal = 8;
        p2_->get_EventObject(&seenSlot);
    };
    b.handler = [&](DISPID id, DISPPARAMS* p) {
        if (id == qivdispid::event::SubObjectPicked) {
            bSawDisplay = qivtest::VariantText(p->rgvarg[0]);
            SysFreeString(*p->rgvarg[0].pbstrVal);
            *p->rgvarg[0].pbstrVal = SysAllocString(L"two");
        }
        if (id == qivdispid::event::Click) {
            bSawIndex = *p->rgvarg[0].plVal;
            *p->rgvarg[0].plVal = -1;
        }
    };
    b.result = E_FAIL;  // a failing sink stops nothing
    DWORD ca = 0, cb = 0;
    ASSERT_EQ(S_OK, qivtest::Connect(p2_, DIID__QivPlayerEvents, &a, &ca));
    ASSERT_EQ(S_OK, qivtest::Connect(p2_, DIID__QivPlayerEvents, &b, &cb));

    std::wstring display = L"start";
    ctl_->FireSubObjectPicked(3, 2, L"local", L"db", display);
    EXPECT_EQ(L"two", display);
    EXPECT_EQ("BSTR&:one", bSawDisplay);
    EXPECT_EQ(3, seenSlot);
    LONG slot = -2;
    p2_->get_EventObject(&slot);
    EXPECT_EQ(-1, slot) << "restored after the firing";

    LONG sub = 0;
    ctl_->FireClick(0, sub);
    EXPECT_EQ(7, bSawIndex);
    EXPECT_EQ(-1, sub);
    ctl_->FireAnimationDone(0);
    ctl_->FireAnimationStarted(0, 2, L"walk", true);
    ctl_->FireObjectLoaded(0);
    ctl_->FireThumbnailDone(0);
    ctl_->FireTextureChanged(0, 1, 2, L"wood.bmp");
    ctl_->FireMaterialChanged(0, 3, 4, L"red.ini");
    ctl_->FireObjectMove(0, 5, qivMvEvObjDropped, 1.5f, 2.0f, -3.0f);
    ctl_->FireObjectMoving(0, 6, 1, 2, 3, 4, 5, 6);
    ctl_->FireMouseReleased(0, 11);
    LONG sub2 = 1;
    ctl_->FireClickWithKeys(0, qivKeyShift | qivKeyControl, sub2);
    EXPECT_EQ(8, sub2);
    ctl_->FireMouseDown(0, -1, 2, qivKeyMenu);

    const std::vector<std::pair<DISPID, std::vector<std::string>>> want = {
        {1, {"I4:2", "BSTR:local", "BSTR:db", "BSTR&:start"}},
        {2, {"I4&:0"}},
        {3, {}},
        {4, {"I4:2", "BSTR:walk", "BOOL:-1"}},
        {5, {}},
        {6, {}},
        {7, {"I4:1", "I4:2", "BSTR:wood.bmp"}},
        {8, {"I4:3", "I4:4", "BSTR:red.ini"}},
        {9, {"I4:5", "I4:2", "R4:1.5", "R4:2", "R4:-3"}},
        {10, {"I4:6", "R4:1", "R4:2", "R4:3", "R4:4", "R4:5", "R4:6"}},
        {11, {"I4:11"}},
        {12, {"I4:3", "I4&:1"}},
        {13, {"I4:-1", "I4:2", "I4:4"}},
    };
    for (EventSink* s : {&a, &b}) {
        ASSERT_EQ(want.size(), s->events.size());
        for (size_t i = 0; i < want.size(); ++i) {
            EXPECT_EQ(want[i].first, s->events[i].id);
            // The second sink sees what the first wrote into byref arguments.
            std::vector<std::string> args = want[i].second;
            if (s == &b && i == 0) args[3] = "BSTR&:one";
            if (s == &b && i == 1) args[0] = "I4&:7";
            if (s == &b && i == 11) args[1] = "I4&:8";
            EXPECT_EQ(args, s->events[i].args) << "event " << want[i].first;
        }
    }
    qivtest::Disconnect(p2_, DIID__QivPlayerEvents, ca);
    qivtest::Disconnect(p2_, DIID__QivPlayerEvents, cb);
    ctl_->FireAnimationDone(0);
    EXPECT_EQ(want.size(), a.events.size()) << "nothing after disconnecting";
}

TEST_F(Control, FrozenEventsSuppressNotices) {
    NotifySink n;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, qivtest::Connect(p2_, IID_IPropertyNotifySink, &n, &cookie));
    IOleControl* oc = nullptr;
    ASSERT_EQ(S_OK, p2_->QueryInterface(IID_IOleControl, reinterpret_cast<void**>(&oc)));
    EXPECT_EQ(S_OK, p2_->put_TooltipTimeout(500));
    EXPECT_EQ(S_OK, p2_->put_TooltipTimeout(500));  // unchanged: no notice
    oc->FreezeEvents(TRUE);
    EXPECT_EQ(S_OK, p2_->put_TooltipTimeout(600));
    EXPECT_EQ(S_OK, p2_->put_BackStyle(qivBackStyleTransparent));
    EXPECT_EQ(S_OK, p2_->put_DisplayMode(qivDispWIRE));
    LONG v = 0;
    p2_->get_TooltipTimeout(&v);
    EXPECT_EQ(600, v) << "the change itself happens";
    oc->FreezeEvents(FALSE);
    EXPECT_EQ(S_OK, p2_->put_PreviewMode(1));
    EXPECT_EQ(S_OK, p2_->put_SaveFilesWithDocument(VARIANT_TRUE));
    EXPECT_EQ(S_OK, p2_->put_Enabled(VARIANT_FALSE));
    EXPECT_EQ(S_OK, p2_->put_Appearance(qivAppearanceFlat));
    EXPECT_EQ(S_OK, p2_->put_BorderStyle(qivBorderStyleSingle));
    EXPECT_EQ(S_OK, p2_->put_PopupMenuEnabled(VARIANT_FALSE));  // no notice for this one
    EXPECT_EQ(std::vector<DISPID>({qivdispid::TooltipTimeout, qivdispid::PreviewMode, qivdispid::SaveFilesWithDocument, DISPID_ENABLED, DISPID_APPEARANCE, DISPID_BORDERSTYLE}), n.changed);
    EXPECT_TRUE(n.requestEdit.empty());
    oc->Release();
    qivtest::Disconnect(p2_, IID_IPropertyNotifySink, cookie);
}

// A put that changes the mode drops a one-time ray trace not drawn yet; one that changes
// nothing leaves it.
TEST_F(Control, DisplayModeFlagAndStoredMode) {
    EXPECT_EQ(S_OK, p2_->put_DisplayMode(static_cast<qivDisplayMode>(0x0100 | 1)));
    qivDisplayMode m;
    p2_->get_DisplayMode(&m);
    EXPECT_EQ(0x4000 + 1, m);
    EXPECT_EQ(S_OK, p2_->OneTimeRaytrace());
    EXPECT_EQ(S_OK, p2_->put_DisplayMode(qivDispFLAT));
    EXPECT_EQ(127u, ctl_->win().frameMode) << "the same mode: the ray trace stays asked for";
    EXPECT_EQ(S_OK, p2_->put_DisplayMode(qivDispFTEX));
    EXPECT_EQ(uint32_t(qivDispFTEX), ctl_->win().frameMode) << "the ray trace asked for gives way";
}

TEST_F(Control, TwoControlsShareTheRenderLock) {
    HANDLE first = qivRenderLockHandle();
    qivtest::ControlRef other = qivtest::ControlRef::create();
    ASSERT_TRUE(other);
    EXPECT_EQ(first, qivRenderLockHandle());
    EXPECT_EQ(0u, other.reset());
    EXPECT_EQ(first, qivRenderLockHandle());
    QivRenderLockGuard guard;
}

TEST_F(Control, AmbientLocaleGivesTheLanguage) {
    qivtest::OleTestContainer host;
    host.SetAmbientLong(DISPID_AMBIENT_LOCALEID, 1031);
    ASSERT_EQ(S_OK, host.Embed(p2_, false));
    BSTR got = nullptr;
    p2_->get_Language(&got);
    EXPECT_EQ(std::wstring(L"DE"), got);
    SysFreeString(got);
    host.Unembed();
}

}  // namespace
