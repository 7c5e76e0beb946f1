#include "olecontainer.h"

#include <cstdio>

namespace qivtest {

namespace {

std::string narrow(const wchar_t* s, UINT n) {
    std::string out;
    for (UINT i = 0; i < n; ++i) out += s[i] < 0x80 ? static_cast<char>(s[i]) : '?';
    return out;
}

LRESULT CALLBACK hostProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcW(h, m, w, l); }

}  // namespace

std::string VariantText(const VARIANTARG& v) {
    char buf[64];
    switch (v.vt) {
    case VT_I4: return "I4:" + std::to_string(v.lVal);
    case VT_I4 | VT_BYREF: return "I4&:" + std::to_string(*v.plVal);
    case VT_BOOL: return "BOOL:" + std::to_string(v.boolVal);
    case VT_R4:
        std::snprintf(buf, sizeof buf, "R4:%g", v.fltVal);
        return buf;
    case VT_BSTR: return "BSTR:" + narrow(v.bstrVal, SysStringLen(v.bstrVal));
    case VT_BSTR | VT_BYREF: return "BSTR&:" + narrow(*v.pbstrVal, SysStringLen(*v.pbstrVal));
    case VT_VARIANT | VT_BYREF: return "VARIANT&";
    default: return "VT:" + std::to_string(v.vt);
    }
}

STDMETHODIMP EventSink::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, iid_)) {
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP EventSink::GetTypeInfoCount(UINT* n) {
    if (n) *n = 0;
    return S_OK;
}

STDMETHODIMP EventSink::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                               UINT*) {
    EventRecord r{id, {}};
    if (!IsEqualIID(riid, IID_NULL)) r.args.push_back("riid!");
    if (flags != DISPATCH_METHOD) r.args.push_back("flags!");
    if (params) {
        if (params->cNamedArgs) r.args.push_back("named!");
        for (UINT i = params->cArgs; i-- > 0;) r.args.push_back(VariantText(params->rgvarg[i]));
    }
    events.push_back(r);
    if (handler) handler(id, params);
    return result;
}

STDMETHODIMP NotifySink::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPropertyNotifySink)) {
        *out = static_cast<IPropertyNotifySink*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

OleTestContainer::OleTestContainer() : olehost::Site(nullptr) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = hostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QivTestHost";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&wc);  // a second registration fails harmlessly
    SetWindow(CreateWindowExW(0, L"QivTestHost", L"test host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 420,
                              340, nullptr, nullptr, wc.hInstance, nullptr));
}

OleTestContainer::~OleTestContainer() {
    Unembed();
    if (Window()) DestroyWindow(Window());
}

void OleTestContainer::SetAmbientLong(DISPID id, LONG v) {
    VARIANT var;
    var.vt = VT_I4;
    var.lVal = v;
    SetAmbient(id, var);
}

void OleTestContainer::SetAmbientBool(DISPID id, bool v) {
    VARIANT var;
    var.vt = VT_BOOL;
    var.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
    SetAmbient(id, var);
}

HRESULT OleTestContainer::Embed(IUnknown* control, bool activate) {
    Unembed();
    HRESULT hr = control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object_));
    if (FAILED(hr)) return hr;
    Site::object = object_;
    hr = object_->SetClientSite(this);
    if (FAILED(hr) || !activate) return hr;
    RECT rc;
    GetClientRect(Window(), &rc);
    hr = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, Window(), &rc);
    PumpMessages();
    return hr;
}

void OleTestContainer::Unembed() {
    if (!object_) return;
    IOleInPlaceObject* ip = nullptr;
    if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&ip)))) {
        ip->InPlaceDeactivate();
        ip->Release();
    }
    object_->Close(OLECLOSE_NOSAVE);
    object_->SetClientSite(nullptr);
    SetActiveObject(nullptr, nullptr);
    Site::object = nullptr;
    object_->Release();
    object_ = nullptr;
    PumpMessages();
}

STDMETHODIMP OleTestContainer::ShowObject() {
    ++showObjectCalls;
    return olehost::Site::ShowObject();
}

STDMETHODIMP OleTestContainer::OnInPlaceActivate() {
    ++activateCalls;
    return S_OK;
}

STDMETHODIMP OleTestContainer::OnInPlaceDeactivate() {
    ++deactivateCalls;
    return S_OK;
}

}  // namespace qivtest
