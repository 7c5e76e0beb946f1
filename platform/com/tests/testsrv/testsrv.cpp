// In-process server of the COM layer's tests: a control with two dual
// interfaces whose DISPIDs collide, events, property notices and persistence,
// and a plain automation object.
#include <windows.h>

#include <string>

#include "com/control.h"
#include "com/dispatch.h"
#include "com/module.h"
#include "com/proppage.h"
#include "com/registrar.h"
#include "comtest_h.h"

namespace {

class CtlTest : public qcom::Dual<ICtlTestNew>, public qcom::Dual<ICtlTestOld>, public qcom::ControlBase {
public:
    CtlTest() : ControlBase(config()) { errorInfoInterfaces().add(IID_ICtlTestNew); }

    static qcom::ControlConfig config() {
        qcom::ControlConfig c;
        c.clsid = &CLSID_CtlTest;
        c.events = &DIID__CtlTestEvents;
        c.windowClass = L"ComTestControl";
        return c;
    }

    void* comInterface(REFIID iid) {
        if (iid == IID_IUnknown || iid == IID_ICtlTestOld) return static_cast<ICtlTestOld*>(this);
        if (iid == IID_IDispatch || iid == IID_ICtlTestNew) return static_cast<ICtlTestNew*>(this);
        return ControlBase::comInterface(iid);
    }

    // ICtlTestNew and ICtlTestOld share the Value property.
    STDMETHODIMP get_Value(long* v) override {
        if (!v) return E_POINTER;
        *v = value_;
        return S_OK;
    }
    STDMETHODIMP put_Value(long v) override {
        if (v < 0) return qcom::setErrorInfo(E_INVALIDARG, L"Value must not be negative", IID_ICtlTestNew);
        value_ = v;
        setDirty(true);
        firePropertyChanged(1);
        fireViewChange();
        return S_OK;
    }
    STDMETHODIMP get_Name(BSTR* s) override {
        if (!s) return E_POINTER;
        *s = SysAllocStringLen(name_.data(), static_cast<UINT>(name_.size()));
        return S_OK;
    }
    STDMETHODIMP put_Name(BSTR s) override {
        name_.assign(s ? s : L"", s ? SysStringLen(s) : 0);
        setDirty(true);
        firePropertyChanged(2);
        return S_OK;
    }
    STDMETHODIMP Fire(long n) override {
        qcom::DispArgs tick;
        tick.i4(n).bstr(L"tick");
        fireEvent(1, tick);
        LONG answer = n;
        BSTR text = SysAllocString(L"question");
        qcom::DispArgs ask;
        ask.i4Ref(&answer).bstrRef(&text);
        fireEvent(2, ask);
        lastAnswer_ = answer;
        lastText_.assign(text ? text : L"", text ? SysStringLen(text) : 0);
        SysFreeString(text);
        return S_OK;
    }
    STDMETHODIMP Raise(long code) override {
        return qcom::setErrorInfo(static_cast<HRESULT>(code), L"raised on purpose", IID_ICtlTestNew, L"CtlTest");
    }
    STDMETHODIMP get_LastAnswer(long* v) override {
        if (!v) return E_POINTER;
        *v = lastAnswer_;
        return S_OK;
    }
    STDMETHODIMP get_LastText(BSTR* s) override {
        if (!s) return E_POINTER;
        *s = SysAllocStringLen(lastText_.data(), static_cast<UINT>(lastText_.size()));
        return S_OK;
    }
    STDMETHODIMP get_Count(long* n) override {
        if (!n) return E_POINTER;
        *n = 7;
        return S_OK;
    }
    STDMETHODIMP Twice(long x, long* r) override {
        if (!r) return E_POINTER;
        *r = 2 * x;
        return S_OK;
    }

protected:
    HRESULT onDraw(const qcom::DrawInfo& d) override {
        HBRUSH b = CreateSolidBrush(RGB(value_ & 0xff, 0x40, 0x80));
        FillRect(d.hdc, &d.bounds, b);
        DeleteObject(b);
        return S_OK;
    }
    HRESULT onInitNew() override {
        value_ = 0;
        name_.clear();
        return S_OK;
    }
    // Stream: value (4 bytes), name length in characters (4 bytes), name.
    HRESULT onSaveStream(IStream* s) override {
        ULONG n = static_cast<ULONG>(name_.size());
        HRESULT hr = s->Write(&value_, 4, nullptr);
        if (SUCCEEDED(hr)) hr = s->Write(&n, 4, nullptr);
        if (SUCCEEDED(hr) && n) hr = s->Write(name_.data(), n * 2, nullptr);
        return hr;
    }
    HRESULT onLoadStream(IStream* s) override {
        LONG v = 0;
        ULONG n = 0, got = 0;
        HRESULT hr = s->Read(&v, 4, &got);
        if (FAILED(hr) || got != 4) return E_FAIL;
        hr = s->Read(&n, 4, &got);
        if (FAILED(hr) || got != 4 || n > 4096) return E_FAIL;
        std::wstring name(n, L'\0');
        if (n && (FAILED(s->Read(name.data(), n * 2, &got)) || got != n * 2)) return E_FAIL;
        value_ = v;
        name_ = name;
        return S_OK;
    }
    HRESULT onGetSizeMax(ULARGE_INTEGER* size) override {
        size->QuadPart = 8 + name_.size() * 2;
        return S_OK;
    }
    HRESULT onSavePropertyBag(IPropertyBag* bag, bool) override {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_I4;
        v.lVal = value_;
        HRESULT hr = bag->Write(L"Value", &v);
        if (FAILED(hr)) return hr;
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringLen(name_.data(), static_cast<UINT>(name_.size()));
        hr = bag->Write(L"Name", &v);
        VariantClear(&v);
        return hr;
    }
    HRESULT onLoadPropertyBag(IPropertyBag* bag, IErrorLog* log) override {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_I4;
        if (SUCCEEDED(bag->Read(L"Value", &v, log)) && SUCCEEDED(VariantChangeType(&v, &v, 0, VT_I4)))
            value_ = v.lVal;
        VariantClear(&v);
        v.vt = VT_BSTR;
        if (SUCCEEDED(bag->Read(L"Name", &v, log)) && SUCCEEDED(VariantChangeType(&v, &v, 0, VT_BSTR)))
            name_.assign(v.bstrVal ? v.bstrVal : L"", v.bstrVal ? SysStringLen(v.bstrVal) : 0);
        VariantClear(&v);
        return S_OK;
    }
    void onClientSiteChanged() override {
        LCID lcid = 0;
        if (ambientLocale(lcid)) value_ = static_cast<long>(lcid);
    }
    void onAmbientChanged(DISPID id) override { lastAmbient_ = id; }
    std::vector<CLSID> propertyPages() const override { return {CLSID_CtlTestPage}; }
    LRESULT onMessage(UINT msg, WPARAM, LPARAM, bool& handled) override {
        if (msg == WM_USER + 1) {
            handled = true;
            return value_ + 1;
        }
        return 0;
    }

private:
    long value_ = 0;
    std::wstring name_;
    long lastAnswer_ = 0;
    std::wstring lastText_;
    DISPID lastAmbient_ = 0;
};

class CtlTestPlain : public qcom::ObjectBase, public qcom::Dual<ICtlTestOld> {
public:
    void* comInterface(REFIID iid) {
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_ICtlTestOld)
            return static_cast<ICtlTestOld*>(this);
        return nullptr;
    }
    STDMETHODIMP get_Value(long* v) override {
        if (!v) return E_POINTER;
        *v = value_;
        return S_OK;
    }
    STDMETHODIMP put_Value(long v) override {
        value_ = v;
        return S_OK;
    }
    STDMETHODIMP Twice(long x, long* r) override {
        if (!r) return E_POINTER;
        *r = 2 * x;
        return S_OK;
    }

private:
    long value_ = 5;
};

// A page editing Value of the control: edit field 1001 of dialog 300.
class CtlTestPage : public qcom::PropertyPageBase {
public:
    CtlTestPage() : PropertyPageBase(config()) {}
    static qcom::PropertyPageConfig config() {
        qcom::PropertyPageConfig c;
        c.dialogId = 300;
        c.titleId = 301;
        return c;
    }

protected:
    void onActivated() override {
        long v = 0;
        if (auto ctl = control()) ctl->get_Value(&v);
        filling_ = true;
        SetDlgItemInt(hwnd(), 1001, static_cast<UINT>(v), TRUE);
        filling_ = false;
    }
    HRESULT onApply() override {
        BOOL ok = FALSE;
        int v = static_cast<int>(GetDlgItemInt(hwnd(), 1001, &ok, TRUE));
        if (!ok) return E_INVALIDARG;
        for (const auto& o : objects()) {
            qcom::ComPtr<ICtlTestNew> ctl;
            if (SUCCEEDED(o.as(ctl))) ctl->put_Value(v);
        }
        return S_OK;
    }
    INT_PTR onDialogMessage(UINT msg, WPARAM wp, LPARAM, bool& handled) override {
        if (msg == WM_COMMAND && LOWORD(wp) == 1001 && HIWORD(wp) == EN_CHANGE && !filling_) {
            setDirty(true);
            handled = true;
            return TRUE;
        }
        return 0;
    }

private:
    qcom::ComPtr<ICtlTestNew> control() const {
        qcom::ComPtr<ICtlTestNew> ctl;
        if (!objects().empty()) objects().front().as(ctl);
        return ctl;
    }
    bool filling_ = false;
};

const qcom::ClassEntry kClasses[] = {
    {&CLSID_CtlTest, qcom::ComObject<CtlTest>::creator, 101},
    {&CLSID_CtlTestPlain, qcom::ComObject<CtlTestPlain>::creator, 102},
    {&CLSID_CtlTestPage, qcom::ComObject<CtlTestPage>::creator, 0},
};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        qcom::module().init(instance, kClasses, sizeof kClasses / sizeof kClasses[0]);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        qcom::module().term();
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    return qcom::module().getClassObject(clsid, iid, out);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return qcom::module().canUnloadNow(); }

extern "C" HRESULT WINAPI DllRegisterServer() {
    HRESULT hr = qcom::module().updateRegistry(qcom::RegMode::Register,
                                               {{"LIBID", qcom::guidText(LIBID_ComTestLib)}});
    if (FAILED(hr)) return hr;
    return qcom::module().registerTypeLib();
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    return qcom::module().updateRegistry(qcom::RegMode::Unregister, {{"LIBID", qcom::guidText(LIBID_ComTestLib)}});
}

// For the tests: the module's lock count, and a script run through the module.
extern "C" LONG WINAPI ComTestLockCount() { return qcom::module().lockCount(); }

extern "C" HRESULT WINAPI ComTestRunScript(unsigned id, WORD lang, int unregister, char* error, int errorSize) {
    std::string err;
    HRESULT hr = qcom::module().runScript(id, unregister ? qcom::RegMode::Unregister : qcom::RegMode::Register, {},
                                          lang, &err);
    if (error && errorSize > 0) lstrcpynA(error, err.c_str(), errorSize);
    return hr;
}

extern "C" HRESULT WINAPI ComTestLoadScript(unsigned id, WORD lang, char* text, int size) {
    std::string utf8;
    HRESULT hr = qcom::regLoadScript(qcom::module().instance(), id, lang, utf8);
    if (text && size > 0) lstrcpynA(text, utf8.c_str(), size);
    return hr;
}
