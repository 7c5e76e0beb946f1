#include "olehost/olehost.h"

#include "forms/application.h"
#include "forms/exception.h"
#include "forms/textutil.h"

namespace olehost {

// EventSink -------------------------------------------------------------------

EventSink::EventSink(REFIID events, EventHandler handler) : iid_(events), handler_(std::move(handler)) {}

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

STDMETHODIMP_(ULONG) EventSink::AddRef() { return ULONG(InterlockedIncrement(&refs_)); }

STDMETHODIMP_(ULONG) EventSink::Release() {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return ULONG(n);
}

STDMETHODIMP EventSink::GetTypeInfoCount(UINT* n) {
    if (!n) return E_POINTER;
    *n = 0;
    return S_OK;
}

STDMETHODIMP EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                               UINT*) {
    if (result) VariantInit(result);
    if (!handler_) return S_OK;
    AddRef();
    try {
        handler_(id, params);
    } catch (...) {
        forms::Application::Instance().HandleException(std::current_exception());
    }
    Release();
    return S_OK;
}

// Site ------------------------------------------------------------------------

Site::Site(HWND window) : window_(window) {
    VARIANT v;
    v.vt = VT_BOOL;
    v.boolVal = VARIANT_TRUE;
    SetAmbient(DISPID_AMBIENT_USERMODE, v);
    v.boolVal = VARIANT_FALSE;
    for (DISPID id : {DISPID_AMBIENT_UIDEAD, DISPID_AMBIENT_SHOWHATCHING, DISPID_AMBIENT_SHOWGRABHANDLES,
                      DISPID_AMBIENT_MESSAGEREFLECT, DISPID_AMBIENT_DISPLAYASDEFAULT})
        SetAmbient(id, v);
}

Site::~Site() {
    for (auto& a : ambients_) VariantClear(&a.second);
    if (active_) active_->Release();
}

void Site::SetAmbient(DISPID id, const VARIANT& v) {
    VARIANT& slot = ambients_[id];
    VariantClear(&slot);
    VariantCopy(&slot, const_cast<VARIANT*>(&v));
}

STDMETHODIMP Site::QueryInterface(REFIID iid, void** out) {
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

STDMETHODIMP_(ULONG) Site::AddRef() { return ULONG(InterlockedIncrement(&refs_)); }

STDMETHODIMP_(ULONG) Site::Release() {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return ULONG(n);
}

STDMETHODIMP Site::GetMoniker(DWORD, DWORD, IMoniker** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP Site::GetContainer(IOleContainer** out) {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP Site::ShowObject() {
    ++ShowObjectCalls;
    return S_OK;
}

STDMETHODIMP Site::GetWindow(HWND* out) {
    if (!out) return E_POINTER;
    *out = window_;
    return S_OK;
}

STDMETHODIMP Site::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                    LPOLEINPLACEFRAMEINFO info) {
    if (frame) {
        *frame = this;
        AddRef();
    }
    if (doc) *doc = nullptr;
    if (pos) GetClientRect(window_, pos);
    if (clip) GetClientRect(window_, clip);
    if (info) {
        info->fMDIApp = FALSE;
        info->hwndFrame = GetAncestor(window_, GA_ROOT);
        info->haccel = nullptr;
        info->cAccelEntries = 0;
    }
    return S_OK;
}

STDMETHODIMP Site::OnPosRectChange(LPCRECT pos) {
    if (!pos || !object) return S_OK;
    IOleInPlaceObject* ip = nullptr;
    if (SUCCEEDED(object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&ip)))) {
        ip->SetObjectRects(pos, pos);
        ip->Release();
    }
    return S_OK;
}

STDMETHODIMP Site::SetActiveObject(IOleInPlaceActiveObject* obj, LPCOLESTR) {
    if (active_) active_->Release();
    active_ = obj;
    if (active_) active_->AddRef();
    return S_OK;
}

STDMETHODIMP Site::GetTypeInfoCount(UINT* n) {
    if (!n) return E_POINTER;
    *n = 0;
    return S_OK;
}

STDMETHODIMP Site::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) {
    if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    auto it = ambients_.find(id);
    if (it == ambients_.end()) return DISP_E_MEMBERNOTFOUND;
    if (!result) return S_OK;
    VariantInit(result);
    return VariantCopy(result, &it->second);
}

// Properties and connections ---------------------------------------------------

HRESULT GetProperty(IDispatch* object, DISPID id, VARIANT* out) {
    if (!object || !out) return E_POINTER;
    VariantInit(out);
    DISPPARAMS none = {};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, out, nullptr, nullptr);
}

HRESULT PutProperty(IDispatch* object, DISPID id, const VARIANT& value) {
    if (!object) return E_POINTER;
    VARIANT arg = value;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS p = {&arg, &named, 1, 1};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &p, nullptr, nullptr, nullptr);
}

HRESULT Connect(IUnknown* object, REFIID iid, IUnknown* sink, DWORD* cookie) {
    if (!object || !sink || !cookie) return E_POINTER;
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
    if (!object) return E_POINTER;
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

// OleControl ------------------------------------------------------------------

OleControl::OleControl(forms::Component* owner, REFCLSID clsid, REFIID events) : WinControl(owner), events_(events) {
    tabStop_ = true;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&unknown_));
    if (FAILED(hr) || !unknown_)
        throw forms::Exception(forms::Format("The control could not be created (0x%08lX)", static_cast<unsigned long>(hr)));
    if (FAILED(unknown_->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole_)))) {
        unknown_->Release();
        unknown_ = nullptr;
        throw forms::Exception("The object is not an OLE control");
    }
    unknown_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch_));
    site_ = new Site(nullptr);
    site_->object = ole_;
    DWORD misc = 0;
    ole_->GetMiscStatus(DVASPECT_CONTENT, &misc);
    const bool siteFirst = (misc & OLEMISC_SETCLIENTSITEFIRST) != 0;
    if (siteFirst) ole_->SetClientSite(site_);
    IPersistStreamInit* init = nullptr;
    if (SUCCEEDED(unknown_->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&init)))) {
        init->InitNew();
        init->Release();
    }
    if (!siteFirst) ole_->SetClientSite(site_);
    sink_ = new EventSink(events_, [this](DISPID id, DISPPARAMS* p) { dispatchEvent(id, p); });
    Connect(unknown_, events_, sink_, &cookie_);
}

OleControl::~OleControl() {
    if (sink_) sink_->Detach();
    if (cookie_) Disconnect(unknown_, events_, cookie_);
    if (sink_) sink_->Release();
    if (ole_) {
        IOleInPlaceObject* ip = nullptr;
        if (SUCCEEDED(ole_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&ip)))) {
            ip->InPlaceDeactivate();
            ip->Release();
        }
        ole_->Close(OLECLOSE_NOSAVE);
        ole_->SetClientSite(nullptr);
        ole_->Release();
    }
    if (dispatch_) dispatch_->Release();
    if (unknown_) unknown_->Release();
    if (site_) {
        site_->object = nullptr;
        site_->Release();
    }
}

void OleControl::dispatchEvent(DISPID id, DISPPARAMS* params) {
    auto it = handlers_.find(id);
    if (it != handlers_.end() && it->second) it->second(id, params);
}

void OleControl::SetAmbient(DISPID id, const VARIANT& v) {
    site_->SetAmbient(id, v);
    IOleControl* c = nullptr;
    if (unknown_ && SUCCEEDED(unknown_->QueryInterface(IID_IOleControl, reinterpret_cast<void**>(&c)))) {
        c->OnAmbientPropertyChange(id);
        c->Release();
    }
}

void OleControl::HandleCreated() {
    site_->SetWindow(Handle());
    RECT rc{0, 0, ClientWidth(), ClientHeight()};
    active_ = SUCCEEDED(ole_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_, 0, Handle(), &rc));
}

void OleControl::Resized() {
    WinControl::Resized();
    if (!active_) return;
    RECT rc{0, 0, ClientWidth(), ClientHeight()};
    IOleInPlaceObject* ip = nullptr;
    if (SUCCEEDED(ole_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&ip)))) {
        ip->SetObjectRects(&rc, &rc);
        ip->Release();
    }
}

HWND OleControl::ControlWindow() const {
    HWND w = nullptr;
    IOleWindow* ow = nullptr;
    if (ole_ && SUCCEEDED(ole_->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&ow)))) {
        ow->GetWindow(&w);
        ow->Release();
    }
    return w;
}

bool OleControl::HandleMessage(win::Message& m) {
    if (m.msg == WM_SETFOCUS) {
        if (HWND w = ControlWindow()) ::SetFocus(w);
        return true;
    }
    if (m.msg == WM_ERASEBKGND && ControlWindow()) {
        m.result = 1;
        return true;
    }
    return WinControl::HandleMessage(m);
}

}  // namespace olehost
