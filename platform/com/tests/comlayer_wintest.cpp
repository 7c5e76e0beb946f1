// The COM layer under wine, through its test server comtestsrv.dll: class
// factory and lock counts, IDispatch from the type library with colliding
// DISPIDs, connection points with two sinks, frozen notices, persistence,
// control plumbing and registration through the registrar.
#include <windows.h>
#include <ole2.h>
#include <docobj.h>
#include <objsafe.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com/object.h"
#include "comtest_h.h"

using qcom::ComPtr;

namespace {

class OleEnv : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
    void TearDown() override { OleUninitialize(); }
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new OleEnv);

std::wstring serverPath() {
    wchar_t buf[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::wstring p(buf, n);
    return p.substr(0, p.find_last_of(L"\\/") + 1) + L"comtestsrv.dll";
}

struct Server {
    HMODULE dll = nullptr;
    HRESULT(WINAPI* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(WINAPI* canUnloadNow)() = nullptr;
    HRESULT(WINAPI* registerServer)() = nullptr;
    HRESULT(WINAPI* unregisterServer)() = nullptr;
    LONG(WINAPI* lockCount)() = nullptr;
    HRESULT(WINAPI* runScript)(unsigned, WORD, int, char*, int) = nullptr;
    HRESULT(WINAPI* loadScript)(unsigned, WORD, char*, int) = nullptr;

    Server() {
        dll = LoadLibraryW(serverPath().c_str());
        if (!dll) return;
        get(getClassObject, "DllGetClassObject");
        get(canUnloadNow, "DllCanUnloadNow");
        get(registerServer, "DllRegisterServer");
        get(unregisterServer, "DllUnregisterServer");
        get(lockCount, "ComTestLockCount");
        get(runScript, "ComTestRunScript");
        get(loadScript, "ComTestLoadScript");
    }
    template <class F>
    void get(F& f, const char* name) {
        f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
    }
    bool ok() const { return dll && getClassObject && canUnloadNow && registerServer && lockCount && loadScript; }

    template <class I>
    ComPtr<I> create(REFCLSID clsid = CLSID_CtlTest) {
        ComPtr<IClassFactory> f;
        ComPtr<I> obj;
        if (SUCCEEDED(getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(f.put()))))
            f->CreateInstance(nullptr, __uuidof(I), reinterpret_cast<void**>(obj.put()));
        return obj;
    }
};

Server& server() {
    static Server s;
    return s;
}

#define NEED_SERVER() ASSERT_TRUE(server().ok()) << "comtestsrv.dll or its exports missing"

// ---- Factory and lock counts ----

TEST(ComModule, FactoryAndLockCounts) {
    NEED_SERVER();
    Server& s = server();
    EXPECT_EQ(s.canUnloadNow(), S_OK);

    ComPtr<IClassFactory> f;
    ASSERT_EQ(s.getClassObject(CLSID_CtlTest, IID_IClassFactory, reinterpret_cast<void**>(f.put())), S_OK);
    ComPtr<IClassFactory> again;
    ASSERT_EQ(s.getClassObject(CLSID_CtlTest, IID_IClassFactory, reinterpret_cast<void**>(again.put())), S_OK);
    EXPECT_EQ(f.get(), again.get()) << "one class object per class, kept";
    EXPECT_EQ(s.canUnloadNow(), S_OK) << "class objects do not hold the module";

    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(s.getClassObject(GUID_NULL, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(s.getClassObject(IID_ICtlTestNew, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);

    {
        ComPtr<ICtlTestNew> a, b;
        ASSERT_EQ(f->CreateInstance(nullptr, IID_ICtlTestNew, reinterpret_cast<void**>(a.put())), S_OK);
        EXPECT_EQ(s.lockCount(), 1);
        ASSERT_EQ(f->CreateInstance(nullptr, IID_ICtlTestNew, reinterpret_cast<void**>(b.put())), S_OK);
        EXPECT_EQ(s.lockCount(), 2);
        EXPECT_EQ(s.canUnloadNow(), S_FALSE);
        a.reset();
        EXPECT_EQ(s.canUnloadNow(), S_FALSE);
    }
    EXPECT_EQ(s.canUnloadNow(), S_OK);

    EXPECT_EQ(f->LockServer(TRUE), S_OK);
    EXPECT_EQ(s.canUnloadNow(), S_FALSE);
    EXPECT_EQ(f->LockServer(FALSE), S_OK);
    EXPECT_EQ(s.canUnloadNow(), S_OK);

    // Aggregation is refused; a failed query leaves no object behind.
    ComPtr<IUnknown> outer = s.create<IUnknown>(CLSID_CtlTestPlain);
    ASSERT_TRUE(outer);
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(f->CreateInstance(outer.get(), IID_IDispatch, &p), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(f->CreateInstance(outer.get(), IID_IUnknown, &p), CLASS_E_NOAGGREGATION);
    outer.reset();
    EXPECT_EQ(f->CreateInstance(nullptr, IID_IClassFactory, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(s.canUnloadNow(), S_OK);
    EXPECT_EQ(f->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
}

TEST(ComModule, ObjectIdentityAndInterfaces) {
    NEED_SERVER();
    ComPtr<ICtlTestNew> ctl = server().create<ICtlTestNew>();
    ASSERT_TRUE(ctl);
    ComPtr<IUnknown> u1, u2;
    ComPtr<ICtlTestOld> old;
    ASSERT_EQ(ctl.as(u1), S_OK);
    ASSERT_EQ(ctl.as(old), S_OK);
    ASSERT_EQ(old.as(u2), S_OK);
    EXPECT_EQ(u1.get(), u2.get());
    const IID served[] = {IID_IDispatch, IID_IOleObject, IID_IOleInPlaceObject, IID_IOleInPlaceObjectWindowless,
                          IID_IOleInPlaceActiveObject, IID_IOleWindow, IID_IViewObject, IID_IViewObject2,
                          IID_IViewObjectEx, IID_IOleControl, IID_IPersist, IID_IPersistStreamInit,
                          IID_IPersistStorage, IID_IPersistPropertyBag, IID_IDataObject, IID_IProvideClassInfo,
                          IID_IProvideClassInfo2, IID_IConnectionPointContainer, IID_IQuickActivate,
                          IID_ISpecifyPropertyPages, IID_IObjectSafety, IID_ISupportErrorInfo};
    for (const IID& iid : served) {
        void* p = nullptr;
        wchar_t name[40];
        StringFromGUID2(iid, name, 40);
        EXPECT_EQ(ctl->QueryInterface(iid, &p), S_OK) << qcom::narrow(name);
        if (p) static_cast<IUnknown*>(p)->Release();
    }
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(ctl->QueryInterface(IID_IClassFactory, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(ctl->QueryInterface(IID_IOleCommandTarget, &p), E_NOINTERFACE) << "only when configured";
}

// ---- IDispatch through the type library ----

DISPID idOf(IDispatch* d, const wchar_t* name) {
    LPOLESTR n = const_cast<LPOLESTR>(name);
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(d->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id))) return DISPID_UNKNOWN;
    return id;
}

HRESULT call(IDispatch* d, DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT* result,
             EXCEPINFO* excep = nullptr) {
    std::vector<VARIANT> rev(args.rbegin(), args.rend());
    DISPPARAMS dp{rev.empty() ? nullptr : rev.data(), nullptr, static_cast<UINT>(rev.size()), 0};
    DISPID put = DISPID_PROPERTYPUT;
    if (flags & DISPATCH_PROPERTYPUT) {
        dp.rgdispidNamedArgs = &put;
        dp.cNamedArgs = 1;
    }
    UINT argErr = 0;
    return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &dp, result, excep, &argErr);
}

VARIANT i4(LONG v) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_I4;
    x.lVal = v;
    return x;
}

TEST(ComDispatch, EachDualInterfaceRoutesItsOwnDispids) {
    NEED_SERVER();
    ComPtr<ICtlTestNew> ctl = server().create<ICtlTestNew>();
    ASSERT_TRUE(ctl);
    ComPtr<ICtlTestOld> old;
    ASSERT_EQ(ctl.as(old), S_OK);
    IDispatch* dNew = ctl.get();
    IDispatch* dOld = old.get();

    UINT count = 0;
    EXPECT_EQ(dNew->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> ti;
    ASSERT_EQ(dOld->GetTypeInfo(0, LOCALE_USER_DEFAULT, ti.put()), S_OK);
    qcom::Bstr name;
    ASSERT_EQ(ti->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(name.str(), L"ICtlTestOld");
    EXPECT_EQ(dOld->GetTypeInfo(1, LOCALE_USER_DEFAULT, ti.put()), DISP_E_BADINDEX);

    // DISPID 0x32 is a property of the new interface and a method of the old one.
    EXPECT_EQ(idOf(dNew, L"Count"), 0x32);
    EXPECT_EQ(idOf(dOld, L"Twice"), 0x32);
    EXPECT_EQ(idOf(dOld, L"Count"), DISPID_UNKNOWN);
    EXPECT_EQ(idOf(dNew, L"twice"), DISPID_UNKNOWN);
    EXPECT_EQ(idOf(dNew, L"value"), 1) << "names without regard to case";

    VARIANT r;
    VariantInit(&r);
    ASSERT_EQ(call(dNew, 0x32, DISPATCH_PROPERTYGET, {}, &r), S_OK);
    EXPECT_EQ(r.vt, VT_I4);
    EXPECT_EQ(r.lVal, 7);
    VariantClear(&r);
    ASSERT_EQ(call(dOld, 0x32, DISPATCH_METHOD, {i4(21)}, &r), S_OK);
    EXPECT_EQ(r.vt, VT_I4);
    EXPECT_EQ(r.lVal, 42);
    VariantClear(&r);

    // The shared property: put through one interface, read through the other and the v-table.
    ASSERT_EQ(call(dOld, 1, DISPATCH_PROPERTYPUT, {i4(13)}, nullptr), S_OK);
    ASSERT_EQ(call(dNew, 1, DISPATCH_PROPERTYGET, {}, &r), S_OK);
    EXPECT_EQ(r.lVal, 13);
    long v = 0;
    EXPECT_EQ(ctl->get_Value(&v), S_OK);
    EXPECT_EQ(v, 13);

    // Strings.
    VARIANT s;
    VariantInit(&s);
    s.vt = VT_BSTR;
    s.bstrVal = SysAllocString(L"abc");
    ASSERT_EQ(call(dNew, 2, DISPATCH_PROPERTYPUT, {s}, nullptr), S_OK);
    VariantClear(&s);
    ASSERT_EQ(call(dNew, 2, DISPATCH_PROPERTYGET, {}, &r), S_OK);
    ASSERT_EQ(r.vt, VT_BSTR);
    EXPECT_STREQ(r.bstrVal, L"abc");
    VariantClear(&r);

    // Wrong calls.
    EXPECT_EQ(call(dNew, 999, DISPATCH_METHOD, {}, &r), DISP_E_MEMBERNOTFOUND);
    DISPPARAMS none{};
    EXPECT_EQ(dNew->Invoke(1, IID_ICtlTestNew, 0, DISPATCH_PROPERTYGET, &none, &r, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
    HRESULT bad = call(dOld, 0x32, DISPATCH_METHOD, {}, &r);
    EXPECT_TRUE(bad == DISP_E_BADPARAMCOUNT || bad == DISP_E_PARAMNOTOPTIONAL) << std::hex << bad;
}

TEST(ComDispatch, FailingMembersGiveTheirErrorObject) {
    NEED_SERVER();
    ComPtr<ICtlTestNew> ctl = server().create<ICtlTestNew>();
    ASSERT_TRUE(ctl);
    ComPtr<ISupportErrorInfo> sei;
    ASSERT_EQ(ctl.as(sei), S_OK);
    EXPECT_EQ(sei->InterfaceSupportsErrorInfo(IID_ICtlTestNew), S_OK);
    EXPECT_EQ(sei->InterfaceSupportsErrorInfo(IID_ICtlTestOld), S_FALSE);

    // Through the v-table: the HRESULT and the thread's error object.
    EXPECT_EQ(ctl->Raise(E_ACCESSDENIED), E_ACCESSDENIED);
    IErrorInfo* ei = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &ei), S_OK);
    qcom::Bstr desc, source;
    ei->GetDescription(desc.put());
    ei->GetSource(source.put());
    GUID g{};
    ei->GetGUID(&g);
    ei->Release();
    EXPECT_EQ(desc.str(), L"raised on purpose");
    EXPECT_EQ(source.str(), L"CtlTest");
    EXPECT_TRUE(g == IID_ICtlTestNew);

    // Through Invoke: DISP_E_EXCEPTION with the member's code and text.
    EXCEPINFO ex{};
    VARIANT r;
    VariantInit(&r);
    EXPECT_EQ(call(ctl.get(), 4, DISPATCH_METHOD, {i4(static_cast<LONG>(E_ACCESSDENIED))}, &r, &ex),
              DISP_E_EXCEPTION);
    EXPECT_EQ(ex.scode, E_ACCESSDENIED);
    ASSERT_NE(ex.bstrDescription, nullptr);
    EXPECT_STREQ(ex.bstrDescription, L"raised on purpose");
    SysFreeString(ex.bstrDescription);
    SysFreeString(ex.bstrSource);
    SysFreeString(ex.bstrHelpFile);

    ex = EXCEPINFO{};
    EXPECT_EQ(call(ctl.get(), 1, DISPATCH_PROPERTYPUT, {i4(-1)}, nullptr, &ex), DISP_E_EXCEPTION);
    EXPECT_EQ(ex.scode, E_INVALIDARG);
    SysFreeString(ex.bstrDescription);
    SysFreeString(ex.bstrSource);
    SysFreeString(ex.bstrHelpFile);
}

// ---- Connection points ----

// Sink of _CtlTestEvents: records the events; Ask adds `add` to the answer and
// appends `tag` to the text.
class EventSink : public IDispatch {
public:
    EventSink(LONG add, std::wstring tag) : add_(add), tag_(std::move(tag)) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID__CtlTestEvents) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }  // lives on the test's stack
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* p, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        std::wstring e = L"#" + std::to_wstring(id);
        if (riid != IID_NULL || flags != DISPATCH_METHOD || p->cNamedArgs != 0) e += L"!";
        if (id == 1 && p->cArgs == 2 && p->rgvarg[1].vt == VT_I4 && p->rgvarg[0].vt == VT_BSTR) {
            e += L"(" + std::to_wstring(p->rgvarg[1].lVal) + L"," + p->rgvarg[0].bstrVal + L")";
        } else if (id == 2 && p->cArgs == 2 && p->rgvarg[1].vt == (VT_I4 | VT_BYREF) &&
                   p->rgvarg[0].vt == (VT_BSTR | VT_BYREF)) {
            LONG* answer = p->rgvarg[1].plVal;
            BSTR* text = p->rgvarg[0].pbstrVal;
            e += L"(" + std::to_wstring(*answer) + L"," + (*text ? *text : L"") + L")";
            *answer += add_;
            std::wstring t = std::wstring(*text ? *text : L"") + tag_;
            SysFreeString(*text);
            *text = SysAllocString(t.c_str());
        } else {
            e += L"?";
        }
        events.push_back(e);
        return failInvoke ? E_FAIL : S_OK;
    }
    std::vector<std::wstring> events;
    LONG refs = 0;
    bool failInvoke = false;

private:
    LONG add_;
    std::wstring tag_;
};

class NotifySink : public IPropertyNotifySink {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IPropertyNotifySink) {
            *out = static_cast<IPropertyNotifySink*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP OnChanged(DISPID id) override {
        changed.push_back(id);
        return S_OK;
    }
    STDMETHODIMP OnRequestEdit(DISPID id) override {
        edits.push_back(id);
        return S_OK;
    }
    std::vector<DISPID> changed, edits;
    LONG refs = 0;
};

TEST(ComConnectionPoints, TwoSinksReceiveEveryEventInOrderWithWriteBack) {
    NEED_SERVER();
    EventSink first(1, L"+a"), second(10, L"+b");
    {
        ComPtr<ICtlTestNew> ctl = server().create<ICtlTestNew>();
        ASSERT_TRUE(ctl);
        ComPtr<IConnectionPointContainer> cpc;
        ASSERT_EQ(ctl.as(cpc), S_OK);
        ComPtr<IConnectionPoint> cp;
        ASSERT_EQ(cpc->FindConnectionPoint(DIID__CtlTestEvents, cp.put()), S_OK);
        IID iid{};
        EXPECT_EQ(cp->GetConnectionInterface(&iid), S_OK);
        EXPECT_TRUE(iid == DIID__CtlTestEvents);
        ComPtr<IConnectionPointContainer> back;
        EXPECT_EQ(cp->GetConnectionPointContainer(back.put()), S_OK);
        EXPECT_EQ(back.get(), cpc.get());
        ComPtr<IConnectionPoint> none;
        EXPECT_EQ(cpc->FindConnectionPoint(IID_ICtlTestNew, none.put()), CONNECT_E_NOCONNECTION);

        // No sink: the member works.
        EXPECT_EQ(ctl->Fire(1), S_OK);
        long answer = 0;
        ctl->get_LastAnswer(&answer);
        EXPECT_EQ(answer, 1);

        DWORD c1 = 0, c2 = 0;
        ASSERT_EQ(cp->Advise(&first, &c1), S_OK);
        ASSERT_EQ(cp->Advise(&second, &c2), S_OK);
        EXPECT_NE(c1, c2);
        NotifySink wrong;
        DWORD c3 = 0;
        EXPECT_EQ(cp->Advise(&wrong, &c3), CONNECT_E_CANNOTCONNECT);
        EXPECT_EQ(wrong.refs, 0);

        first.failInvoke = true;  // a failing sink does not stop the others
        EXPECT_EQ(ctl->Fire(5), S_OK);
        EXPECT_EQ(first.events, (std::vector<std::wstring>{L"#1(5,tick)", L"#2(5,question)"}));
        EXPECT_EQ(second.events, (std::vector<std::wstring>{L"#1(5,tick)", L"#2(6,question+a)"}));
        ctl->get_LastAnswer(&answer);
        EXPECT_EQ(answer, 16);
        qcom::Bstr text;
        ctl->get_LastText(text.put());
        EXPECT_EQ(text.str(), L"question+a+b");

        // The connections, enumerated.
        ComPtr<IEnumConnections> en;
        ASSERT_EQ(cp->EnumConnections(en.put()), S_OK);
        CONNECTDATA cd[3]{};
        ULONG got = 0;
        EXPECT_EQ(en->Next(3, cd, &got), S_FALSE);
        ASSERT_EQ(got, 2u);
        EXPECT_EQ(cd[0].dwCookie, c1);
        EXPECT_EQ(cd[1].dwCookie, c2);
        EXPECT_EQ(cd[0].pUnk, static_cast<IUnknown*>(&first));
        for (ULONG i = 0; i < got; ++i) cd[i].pUnk->Release();
        ComPtr<IEnumConnections> clone;
        EXPECT_EQ(en->Reset(), S_OK);
        EXPECT_EQ(en->Skip(1), S_OK);
        ASSERT_EQ(en->Clone(clone.put()), S_OK);
        EXPECT_EQ(clone->Next(1, cd, nullptr), S_OK);
        EXPECT_EQ(cd[0].dwCookie, c2);
        cd[0].pUnk->Release();
        EXPECT_EQ(clone->Skip(1), S_FALSE);

        ASSERT_EQ(cp->Unadvise(c1), S_OK);
        EXPECT_EQ(cp->Unadvise(c1), CONNECT_E_NOCONNECTION);
        EXPECT_EQ(cp->Unadvise(12345), CONNECT_E_NOCONNECTION);
        first.events.clear();
        second.events.clear();
        EXPECT_EQ(ctl->Fire(2), S_OK);
        EXPECT_TRUE(first.events.empty());
        EXPECT_EQ(second.events.size(), 2u);

        // Both points listed by the container.
        ComPtr<IEnumConnectionPoints> pts;
        ASSERT_EQ(cpc->EnumConnectionPoints(pts.put()), S_OK);
        IConnectionPoint* p[3] = {};
        got = 0;
        EXPECT_EQ(pts->Next(3, p, &got), S_FALSE);
        EXPECT_EQ(got, 2u);
        std::vector<IID> iids;
        for (ULONG i = 0; i < got; ++i) {
            p[i]->GetConnectionInterface(&iid);
            iids.push_back(iid);
            p[i]->Release();
        }
        EXPECT_TRUE(iids.size() == 2 && iids[0] == IID_IPropertyNotifySink && iids[1] == DIID__CtlTestEvents);
    }
    EXPECT_EQ(first.refs, 0);
    EXPECT_EQ(second.refs, 0) << "the last release lets go of the sinks";
    EXPECT_EQ(server().canUnloadNow(), S_OK);
}

TEST(ComConnectionPoints, FrozenEventsSendNoPropertyNotices) {
    NEED_SERVER();
    NotifySink sink;
    {
        ComPtr<ICtlTestNew> ctl = server().create<ICtlTestNew>();
        ASSERT_TRUE(ctl);
        ComPtr<IConnectionPointContainer> cpc;
        ASSERT_EQ(ctl.as(cpc), S_OK);
        ComPtr<IConnectionPoint> cp;
        ASSERT_EQ(cpc->FindConnectionPoint(IID_IPropertyNotifySink, cp.put()), S_OK);
        DWORD cookie = 0;
        ASSERT_EQ(cp->Advise(&sink, &cookie), S_OK);
        ComPtr<IOleControl> oc;
        ASSERT_EQ(ctl.as(oc), S_OK);

        ctl->put_Value(3);
        qcom::Bstr n(L"x");
        ctl->put_Name(n.get());
        EXPECT_EQ(sink.changed, (std::vector<DISPID>{1, 2}));

        EXPECT_EQ(oc->FreezeEvents(TRUE), S_OK);
        EXPECT_EQ(oc->FreezeEvents(TRUE), S_OK);
        ctl->put_Value(4);
        EXPECT_EQ(oc->FreezeEvents(FALSE), S_OK);
        ctl->put_Value(5);
        EXPECT_EQ(sink.changed.size(), 2u) << "still frozen once";
        long v = 0;
        ctl->get_Value(&v);
        EXPECT_EQ(v, 5) << "the state changes while frozen";
        EXPECT_EQ(oc->FreezeEvents(FALSE), S_OK);
        EXPECT_EQ(oc->FreezeEvents(FALSE), S_OK) << "an unbalanced thaw stays at 0";
        ctl->put_Value(6);
        EXPECT_EQ(sink.changed, (std::vector<DISPID>{1, 2, 1}));
        EXPECT_TRUE(sink.edits.empty());
        EXPECT_EQ(cp->Unadvise(cookie), S_OK);
    }
    EXPECT_EQ(sink.refs, 0);
}

// ---- Control plumbing ----

// Client site with ambient properties (LocaleID only).
class Site : public IOleClientSite, public IDispatch {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IOleClientSite) *out = static_cast<IOleClientSite*>(this);
        else if (iid == IID_IDispatch) *out = static_cast<IDispatch*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP SaveObject() override {
        ++saves;
        return S_OK;
    }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** m) override {
        *m = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** c) override {
        *c = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* r, EXCEPINFO*, UINT*) override {
        if (id != DISPID_AMBIENT_LOCALEID || !(flags & DISPATCH_PROPERTYGET) || !r) return DISP_E_MEMBERNOTFOUND;
        r->vt = VT_I4;
        r->lVal = 0x0407;
        return S_OK;
    }
    LONG refs = 0;
    int saves = 0;
};

TEST(ComControl, SiteAmbientsPersistenceAndClassInfo) {
    NEED_SERVER();
    Site site;
    {
        ComPtr<ICtlTestNew> ctl = server().create<ICtlTestNew>();
        ASSERT_TRUE(ctl);
        ComPtr<IOleObject> ole;
        ASSERT_EQ(ctl.as(ole), S_OK);
        ASSERT_EQ(ole->SetClientSite(&site), S_OK);
        long v = 0;
        ctl->get_Value(&v);
        EXPECT_EQ(v, 0x0407) << "the control read the ambient locale when it got its site";
        ComPtr<IOleClientSite> got;
        EXPECT_EQ(ole->GetClientSite(got.put()), S_OK);
        EXPECT_EQ(got.get(), static_cast<IOleClientSite*>(&site));
        got.reset();

        // Extent, user class, misc status default (nothing registered).
        SIZEL ext{1000, 500};
        EXPECT_EQ(ole->SetExtent(DVASPECT_CONTENT, &ext), S_OK);
        SIZEL back{};
        EXPECT_EQ(ole->GetExtent(DVASPECT_CONTENT, &back), S_OK);
        EXPECT_EQ(back.cx, 1000);
        EXPECT_EQ(ole->GetExtent(DVASPECT_ICON, &back), DV_E_DVASPECT);
        CLSID cls{};
        EXPECT_EQ(ole->GetUserClassID(&cls), S_OK);
        EXPECT_TRUE(cls == CLSID_CtlTest);

        // Stream round trip into a second control.
        ComPtr<IPersistStreamInit> ps;
        ASSERT_EQ(ctl.as(ps), S_OK);
        EXPECT_EQ(ps->IsDirty(), S_OK);
        ctl->put_Value(77);
        qcom::Bstr name(L"streamed");
        ctl->put_Name(name.get());
        ComPtr<IStream> stream;
        ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
        ASSERT_EQ(ps->Save(stream.get(), TRUE), S_OK);
        EXPECT_EQ(ps->IsDirty(), S_FALSE);
        ULARGE_INTEGER max{};
        EXPECT_EQ(ps->GetSizeMax(&max), S_OK);
        EXPECT_EQ(max.QuadPart, 8u + 16u);
        LARGE_INTEGER zero{};
        stream->Seek(zero, STREAM_SEEK_SET, nullptr);
        ComPtr<ICtlTestNew> other = server().create<ICtlTestNew>();
        ComPtr<IPersistStreamInit> ps2;
        ASSERT_EQ(other.as(ps2), S_OK);
        ASSERT_EQ(ps2->Load(stream.get()), S_OK);
        other->get_Value(&v);
        EXPECT_EQ(v, 77);
        qcom::Bstr n2;
        other->get_Name(n2.put());
        EXPECT_EQ(n2.str(), L"streamed");
        EXPECT_EQ(ps2->InitNew(), S_OK);
        other->get_Value(&v);
        EXPECT_EQ(v, 0);

        // Storage: the "Contents" stream.
        ComPtr<ILockBytes> bytes;
        ComPtr<IStorage> stg;
        ASSERT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.put()), S_OK);
        ASSERT_EQ(StgCreateDocfileOnILockBytes(bytes.get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                               stg.put()),
                  S_OK);
        ComPtr<IPersistStorage> pst;
        ASSERT_EQ(ctl.as(pst), S_OK);
        ASSERT_EQ(pst->Save(stg.get(), TRUE), S_OK);
        EXPECT_EQ(pst->SaveCompleted(nullptr), S_OK);
        ComPtr<IStream> contents;
        EXPECT_EQ(stg->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, contents.put()), S_OK);
        contents.reset();
        ComPtr<IPersistStorage> pst2;
        ASSERT_EQ(other.as(pst2), S_OK);
        ASSERT_EQ(pst2->Load(stg.get()), S_OK);
        other->get_Value(&v);
        EXPECT_EQ(v, 77);

        // Class information and the default source.
        ComPtr<IProvideClassInfo2> pci;
        ASSERT_EQ(ctl.as(pci), S_OK);
        GUID src{};
        EXPECT_EQ(pci->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &src), S_OK);
        EXPECT_TRUE(src == DIID__CtlTestEvents);
        ComPtr<ITypeInfo> ci;
        ASSERT_EQ(pci->GetClassInfo(ci.put()), S_OK);
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(ci->GetTypeAttr(&attr), S_OK);
        EXPECT_EQ(attr->typekind, TKIND_COCLASS);
        EXPECT_TRUE(attr->guid == CLSID_CtlTest);
        ci->ReleaseTypeAttr(attr);

        // Pages, safety.
        ComPtr<ISpecifyPropertyPages> spp;
        ASSERT_EQ(ctl.as(spp), S_OK);
        CAUUID pages{};
        ASSERT_EQ(spp->GetPages(&pages), S_OK);
        ASSERT_EQ(pages.cElems, 1u);
        EXPECT_TRUE(pages.pElems[0] == CLSID_CtlTestPage);
        CoTaskMemFree(pages.pElems);
        ComPtr<IObjectSafety> safety;  // objsafe.h has no __uuidof for it
        ASSERT_EQ(ctl->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(safety.put())), S_OK);
        DWORD sup = 0, en = 0;
        EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &sup, &en), S_OK);
        EXPECT_EQ(sup, DWORD(INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA));
        EXPECT_EQ(en, 0u);
        EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                                    INTERFACESAFE_FOR_UNTRUSTED_CALLER),
                  S_OK);
        EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &sup, &en), S_OK);
        EXPECT_EQ(en, DWORD(INTERFACESAFE_FOR_UNTRUSTED_CALLER));
        EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 0x100, 0x100), E_FAIL);
        EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IClassFactory, &sup, &en), E_NOINTERFACE);

        // The view: onDraw paints the bounds.
        ComPtr<IViewObject> view;
        ASSERT_EQ(ctl.as(view), S_OK);
        ctl->put_Value(0x20);
        HDC screen = GetDC(nullptr);
        HDC mem = CreateCompatibleDC(screen);
        HBITMAP bmp = CreateCompatibleBitmap(screen, 8, 8);
        ReleaseDC(nullptr, screen);
        HGDIOBJ old = SelectObject(mem, bmp);
        RECTL bounds{0, 0, 8, 8};
        EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, mem, &bounds, nullptr, nullptr, 0), S_OK);
        EXPECT_EQ(GetPixel(mem, 4, 4), RGB(0x20, 0x40, 0x80));
        EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, mem, nullptr, nullptr, nullptr, 0),
                  E_INVALIDARG);
        SelectObject(mem, old);
        DeleteObject(bmp);
        DeleteDC(mem);

        // Data object: a metafile picture.
        ComPtr<IDataObject> data;
        ASSERT_EQ(ctl.as(data), S_OK);
        FORMATETC fmt{CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT};
        EXPECT_EQ(data->QueryGetData(&fmt), S_OK);
        STGMEDIUM med{};
        ASSERT_EQ(data->GetData(&fmt, &med), S_OK);
        EXPECT_EQ(med.tymed, DWORD(TYMED_MFPICT));
        ReleaseStgMedium(&med);
        FORMATETC text{CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        EXPECT_EQ(data->GetData(&text, &med), DV_E_FORMATETC);

        // Quick activation connects the sinks it is given.
        ComPtr<IQuickActivate> qa;
        ASSERT_EQ(ctl.as(qa), S_OK);
        EventSink events(0, L"");
        NotifySink notify;
        QACONTAINER qc{};
        qc.cbSize = sizeof qc;
        qc.pClientSite = &site;
        qc.pPropertyNotifySink = &notify;
        qc.pUnkEventSink = static_cast<IDispatch*>(&events);
        QACONTROL qctl{};
        qctl.cbSize = sizeof qctl;
        ASSERT_EQ(qa->QuickActivate(&qc, &qctl), S_OK);
        EXPECT_NE(qctl.dwEventCookie, 0u);
        EXPECT_NE(qctl.dwPropNotifyCookie, 0u);
        EXPECT_EQ(qctl.dwViewStatus, DWORD(VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND));
        ctl->Fire(9);
        ctl->put_Value(1);
        EXPECT_EQ(events.events.size(), 2u);
        EXPECT_EQ(notify.changed, (std::vector<DISPID>{1}));

        // Close saves a dirty object through the site.
        EXPECT_EQ(ole->Close(OLECLOSE_SAVEIFDIRTY), S_OK);
        EXPECT_EQ(site.saves, 1);
        EXPECT_EQ(ole->SetClientSite(nullptr), S_OK);
        ctl.reset();
        ole.reset();
        ps.reset();
        pst.reset();
        pci.reset();
        spp.reset();
        safety.reset();
        view.reset();
        data.reset();
        qa.reset();
        EXPECT_EQ(events.refs, 0);
        EXPECT_EQ(notify.refs, 0);
    }
    EXPECT_EQ(site.refs, 0);
    EXPECT_EQ(server().canUnloadNow(), S_OK);
}

// A property bag of names and values in memory.
class Bag : public IPropertyBag {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IPropertyBag) {
            *out = static_cast<IPropertyBag*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP Read(LPCOLESTR name, VARIANT* v, IErrorLog*) override {
        for (auto& e : items)
            if (e.first == name) return VariantCopy(v, &e.second);
        return E_INVALIDARG;
    }
    STDMETHODIMP Write(LPCOLESTR name, VARIANT* v) override {
        VARIANT c;
        VariantInit(&c);
        VariantCopy(&c, v);
        items.emplace_back(name, c);
        return S_OK;
    }
    ~Bag() {
        for (auto& e : items) VariantClear(&e.second);
    }
    std::vector<std::pair<std::wstring, VARIANT>> items;
    LONG refs = 0;
};

TEST(ComControl, PropertyBagRoundTrip) {
    NEED_SERVER();
    Bag bag;
    {
        ComPtr<ICtlTestNew> ctl = server().create<ICtlTestNew>();
        ASSERT_TRUE(ctl);
        ctl->put_Value(5);
        qcom::Bstr name(L"bagged");
        ctl->put_Name(name.get());
        ComPtr<IPersistPropertyBag> ppb;
        ASSERT_EQ(ctl.as(ppb), S_OK);
        ASSERT_EQ(ppb->Save(&bag, TRUE, TRUE), S_OK);
        ASSERT_EQ(bag.items.size(), 2u);
        EXPECT_EQ(bag.items[0].first, L"Value");
        EXPECT_EQ(bag.items[0].second.lVal, 5);
        ComPtr<IPersistStreamInit> ps;
        ASSERT_EQ(ctl.as(ps), S_OK);
        EXPECT_EQ(ps->IsDirty(), S_FALSE) << "the bag save cleared the dirty state";

        ComPtr<ICtlTestNew> other = server().create<ICtlTestNew>();
        ComPtr<IPersistPropertyBag> ppb2;
        ASSERT_EQ(other.as(ppb2), S_OK);
        EXPECT_EQ(ppb2->InitNew(), S_OK);
        ASSERT_EQ(ppb2->Load(&bag, nullptr), S_OK);
        long v = 0;
        other->get_Value(&v);
        EXPECT_EQ(v, 5);
        qcom::Bstr n2;
        other->get_Name(n2.put());
        EXPECT_EQ(n2.str(), L"bagged");
        EXPECT_EQ(ppb2->Load(nullptr, nullptr), E_POINTER);
    }
    EXPECT_EQ(bag.refs, 0);
}

// ---- Registration ----

std::wstring regText(HKEY root, const std::wstring& key, const wchar_t* value) {
    wchar_t buf[1024];
    DWORD size = sizeof buf;
    if (RegGetValueW(root, key.c_str(), value, RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS) return L"<none>";
    return buf;
}

bool keyExists(HKEY root, const std::wstring& key) {
    HKEY h;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

const wchar_t kClsKey[] = L"CLSID\\{A9ADED4E-9422-424D-9F6E-EA09889278CA}";

TEST(ComRegistrar, RegisterAndUnregisterTheServer) {
    NEED_SERVER();
    Server& s = server();
    ASSERT_EQ(s.registerServer(), S_OK);
    const std::wstring cls = kClsKey;
    EXPECT_EQ(regText(HKEY_CLASSES_ROOT, cls, nullptr), L"COM layer test control");
    std::wstring path = regText(HKEY_CLASSES_ROOT, cls + L"\\InprocServer32", nullptr);
    EXPECT_EQ(lstrcmpiW(path.c_str(), serverPath().c_str()), 0) << qcom::narrow(path);
    EXPECT_EQ(regText(HKEY_CLASSES_ROOT, cls + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(regText(HKEY_CLASSES_ROOT, cls + L"\\MiscStatus\\1", nullptr), L"131473");
    EXPECT_EQ(regText(HKEY_CLASSES_ROOT, cls + L"\\TypeLib", nullptr), L"{D940AE97-4602-41F9-ABA8-95F3BFDB9F7E}");
    EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, cls + L"\\Control"));
    EXPECT_EQ(regText(HKEY_CLASSES_ROOT, L"ComLayer.CtlTest", L"CurVer"), L"<none>");
    EXPECT_EQ(regText(HKEY_CLASSES_ROOT, L"ComLayer.CtlTest\\CurVer", nullptr), L"ComLayer.CtlTest.1");
    EXPECT_EQ(regText(HKEY_CLASSES_ROOT, L"CLSID\\{59FBB246-DF1A-4D6F-9E9D-608C0C8FAA88}\\InprocServer32", nullptr),
              regText(HKEY_CLASSES_ROOT, cls + L"\\InprocServer32", nullptr));
    EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, L"TypeLib\\{D940AE97-4602-41F9-ABA8-95F3BFDB9F7E}\\1.0"));

    // Through the registry: ProgID, creation, misc status, verbs, user type.
    CLSID byProgId{};
    ASSERT_EQ(CLSIDFromProgID(L"ComLayer.CtlTest.1", &byProgId), S_OK);
    EXPECT_TRUE(byProgId == CLSID_CtlTest);
    {
        ComPtr<IOleObject> ole;
        ASSERT_EQ(CoCreateInstance(CLSID_CtlTest, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                   reinterpret_cast<void**>(ole.put())),
                  S_OK);
        DWORD misc = 0;
        EXPECT_EQ(ole->GetMiscStatus(DVASPECT_CONTENT, &misc), S_OK);
        EXPECT_EQ(misc, 131473u);
        ComPtr<IEnumOLEVERB> verbs;
        ASSERT_EQ(ole->EnumVerbs(verbs.put()), S_OK);
        OLEVERB verb{};
        ASSERT_EQ(verbs->Next(1, &verb, nullptr), S_OK);
        EXPECT_EQ(verb.lVerb, 0);
        EXPECT_STREQ(verb.lpszVerbName, L"&Edit");
        EXPECT_EQ(verb.grfAttribs, DWORD(OLEVERBATTRIB_ONCONTAINERMENU));
        CoTaskMemFree(verb.lpszVerbName);
        LPOLESTR type = nullptr;
        EXPECT_EQ(ole->GetUserType(USERCLASSTYPE_FULL, &type), S_OK);
        if (type) {
            EXPECT_STREQ(type, L"COM layer test control");
        }
        CoTaskMemFree(type);
    }

    // A key left from elsewhere under the ForceRemove class key goes at the next registration.
    HKEY h;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, (cls + L"\\Stale").c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(h);
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, (cls + L"\\Implemented Categories\\{00000000-0000-0000-0000-000000000001}").c_str(), 0,
                              nullptr, 0, KEY_WRITE, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(h);
    ASSERT_EQ(s.registerServer(), S_OK);
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, cls + L"\\Stale"));
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, cls + L"\\Implemented Categories"));

    // Unregister: the classes and ProgIDs go, CLSID (NoRemove) and the type library stay.
    ASSERT_EQ(s.unregisterServer(), S_OK);
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, cls));
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, L"CLSID\\{59FBB246-DF1A-4D6F-9E9D-608C0C8FAA88}"));
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, L"ComLayer.CtlTest"));
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, L"ComLayer.CtlTest.1"));
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, L"ComLayer.Plain"));
    EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, L"CLSID"));
    EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, L"TypeLib\\{D940AE97-4602-41F9-ABA8-95F3BFDB9F7E}"));
    EXPECT_EQ(s.unregisterServer(), S_OK) << "unregistering what is not there succeeds";
}

TEST(ComRegistrar, ScriptsByLanguageInTheirCodePages) {
    NEED_SERVER();
    Server& s = server();
    char text[512];
    ASSERT_EQ(s.loadScript(200, 0x0419, text, sizeof text), S_OK);
    EXPECT_NE(std::string(text).find("'\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82'"), std::string::npos) << text;
    ASSERT_EQ(s.loadScript(200, 0x0407, text, sizeof text), S_OK);
    EXPECT_NE(std::string(text).find("'Gr\xc3\xbc\xc3\x9f" "e'"), std::string::npos) << text;
    EXPECT_EQ(s.loadScript(200, 0x040c, text, sizeof text), HRESULT_FROM_WIN32(ERROR_RESOURCE_LANG_NOT_FOUND));
    EXPECT_EQ(s.loadScript(999, 0, text, sizeof text), HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
    if (GetUserDefaultUILanguage() == 0x0409) {
        ASSERT_EQ(s.loadScript(200, 0, text, sizeof text), S_OK);
        EXPECT_NE(std::string(text).find("'Hello'"), std::string::npos) << text;
    }

    // Run the Russian copy: the value arrives as the right characters.
    char err[256] = "";
    ASSERT_EQ(s.runScript(200, 0x0419, 0, err, sizeof err), S_OK) << err;
    EXPECT_EQ(regText(HKEY_CURRENT_USER, L"Software\\ComLayerTest", L"Text"),
              L"\x041f\x0440\x0438\x0432\x0435\x0442");
    ASSERT_EQ(s.runScript(200, 0x0419, 1, err, sizeof err), S_OK) << err;
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, L"Software\\ComLayerTest"));
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, L"Software"));
}

TEST(ComRegistrar, MalformedScriptWritesNothing) {
    NEED_SERVER();
    char err[256] = "";
    EXPECT_EQ(server().runScript(201, 0, 0, err, sizeof err), HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
    EXPECT_STREQ(err, "line 2, column 15: unknown value type 'z'");
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, L"Software\\ComLayerBroken"));
}


}  // namespace
