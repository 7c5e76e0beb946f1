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

HRESULT Connect(IUnknown* object, REFIID iid, IUnknown* sink, DWORD* cookie) {
    IConnectionPointContainer* cpc = nullptr;
    HRESULT hr = object->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc));
    if (FAILED(hr)) return hr;
    IConnectionPoint* cp = nullptr;
    hr = cpc->FindConnectionPoint(iid, &cp);
    cpc->Release();
    if (FAILED(hr)) return hr;
    hr = cp->Advise(sink, cookie);
    cp->Release();
    return hr;
}

HRESULT Disconnect(IUnknown* object, REFIID iid, DWORD cookie) {
    IConnectionPointContainer* cpc = nullptr;
    HRESULT hr = object->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc));
    if (FAILED(hr)) return hr;
    IConnectionPoint* cp = nullptr;
    hr = cpc->FindConnectionPoint(iid, &cp);
    cpc->Release();
    if (FAILED(hr)) return hr;
    hr = cp->Unadvise(cookie);
    cp->Release();
    return hr;
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

OleTestContainer::OleTestContainer() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = hostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QivTestHost";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&wc);  // a second registration fails harmlessly
    hwnd_ = CreateWindowExW(0, L"QivTestHost", L"test host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 420, 340,
                            nullptr, nullptr, wc.hInstance, nullptr);
    SetAmbientBool(DISPID_AMBIENT_USERMODE, true);
}

OleTestContainer::~OleTestContainer() {
    Unembed();
    for (auto& a : ambients_) VariantClear(&a.second);
    if (hwnd_) DestroyWindow(hwnd_);
}

void OleTestContainer::SetAmbient(DISPID id, const VARIANT& v) {
    VARIANT& slot = ambients_[id];
    VariantClear(&slot);
    VariantCopy(&slot, const_cast<VARIANT*>(&v));
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

void OleTestContainer::RemoveAmbient(DISPID id) {
    auto it = ambients_.find(id);
    if (it == ambients_.end()) return;
    VariantClear(&it->second);
    ambients_.erase(it);
}

HRESULT OleTestContainer::Embed(IUnknown* control, bool activate) {
    Unembed();
    HRESULT hr = control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object_));
    if (FAILED(hr)) return hr;
    hr = object_->SetClientSite(this);
    if (FAILED(hr) || !activate) return hr;
    RECT rc;
    GetClientRect(hwnd_, &rc);
    hr = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, hwnd_, &rc);
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
    object_->Release();
    object_ = nullptr;
    PumpMessages();
}

STDMETHODIMP OleTestContainer::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite))
        *out = static_cast<IOleClientSite*>(this);
    else if (IsEqualIID(iid, IID_IOleInPlaceSite) || IsEqualIID(iid, IID_IOleWindow))
        *out = static_cast<IOleInPlaceSite*>(this);
    else if (IsEqualIID(iid, IID_IOleInPlaceFrame) || IsEqualIID(iid, IID_IOleInPlaceUIWindow))
        *out = static_cast<IOleInPlaceFrame*>(this);
    else if (IsEqualIID(iid, IID_IDispatch))
        *out = static_cast<IDispatch*>(this);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP OleTestContainer::GetMoniker(DWORD, DWORD, IMoniker** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP OleTestContainer::GetContainer(IOleContainer** out) {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP OleTestContainer::ShowObject() {
    ++showObjectCalls;
    return S_OK;
}

STDMETHODIMP OleTestContainer::GetWindow(HWND* out) {
    if (!out) return E_POINTER;
    *out = hwnd_;
    return S_OK;
}

STDMETHODIMP OleTestContainer::OnInPlaceActivate() {
    ++activateCalls;
    return S_OK;
}

STDMETHODIMP OleTestContainer::OnInPlaceDeactivate() {
    ++deactivateCalls;
    return S_OK;
}

STDMETHODIMP OleTestContainer::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                                LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    if (frame) {
        *frame = this;
        AddRef();
    }
    if (doc) *doc = nullptr;
    if (pos) GetClientRect(hwnd_, pos);
    if (clip) GetClientRect(hwnd_, clip);
    if (info) {
        info->fMDIApp = FALSE;
        info->hwndFrame = hwnd_;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
    }
    return S_OK;
}

STDMETHODIMP OleTestContainer::GetTypeInfoCount(UINT* n) {
    if (n) *n = 0;
    return S_OK;
}

STDMETHODIMP OleTestContainer::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                      UINT*) {
    if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    auto it = ambients_.find(id);
    if (it == ambients_.end()) return DISP_E_MEMBERNOTFOUND;
    if (!result) return S_OK;
    VariantInit(result);
    return VariantCopy(result, &it->second);
}

}  // namespace qivtest
