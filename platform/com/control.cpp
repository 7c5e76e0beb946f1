#include "com/control.h"
#include "com/guard.h"

#include <cstring>
#include <new>

#include "com/module.h"

namespace qcom {

namespace {

std::vector<std::wstring>& registeredClasses() {
    static std::vector<std::wstring> names;
    return names;
}

void unregisterClasses() {
    HINSTANCE inst = module().instance() ? module().instance() : GetModuleHandleW(nullptr);
    for (const auto& n : registeredClasses()) UnregisterClassW(n.c_str(), inst);
    registeredClasses().clear();
}

RECT rectOf(LPCRECTL r) { return RECT{r->left, r->top, r->right, r->bottom}; }

}  // namespace

SIZEL himetricToPixels(SIZEL h) {
    HDC dc = GetDC(nullptr);
    int dx = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 96, dy = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc) ReleaseDC(nullptr, dc);
    return SIZEL{MulDiv(h.cx, dx, 2540), MulDiv(h.cy, dy, 2540)};
}

SIZEL pixelsToHimetric(SIZEL p) {
    HDC dc = GetDC(nullptr);
    int dx = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 96, dy = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc) ReleaseDC(nullptr, dc);
    return SIZEL{MulDiv(p.cx, 2540, dx), MulDiv(p.cy, 2540, dy)};
}

ControlBase::ControlBase(const ControlConfig& config)
    : config_(config), extent_(config.extent), points_(static_cast<IConnectionPointContainer*>(this)) {
    notifyPoint_ = &points_.add(IID_IPropertyNotifySink);
    if (config_.events) eventPoint_ = &points_.add(*config_.events);
    notifier_.setPoint(notifyPoint_);
}

ControlBase::~ControlBase() {
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
        hwnd_ = nullptr;
    }
    points_.unadviseAll();
    releaseSites();
}

void ControlBase::finalRelease() {
    if (inPlaceActive_) InPlaceDeactivate();
    destroyWindow();
    points_.unadviseAll();
    releaseSites();
}

void ControlBase::releaseSites() {
    frame_.reset();
    uiWindow_.reset();
    inPlaceSite_.reset();
    viewSink_.reset();
    oleAdvise_.reset();
    dataAdvise_.reset();
    clientSite_.reset();
}

void* ControlBase::comInterface(REFIID iid) {
    if (iid == IID_IOleObject) return static_cast<IOleObject*>(this);
    if (iid == IID_IOleInPlaceObjectWindowless || iid == IID_IOleInPlaceObject)
        return static_cast<IOleInPlaceObjectWindowless*>(this);
    if (iid == IID_IOleWindow) return static_cast<IOleWindow*>(static_cast<IOleInPlaceObjectWindowless*>(this));
    if (iid == IID_IOleInPlaceActiveObject) return static_cast<IOleInPlaceActiveObject*>(this);
    if (iid == IID_IViewObjectEx || iid == IID_IViewObject2 || iid == IID_IViewObject)
        return static_cast<IViewObjectEx*>(this);
    if (iid == IID_IOleControl) return static_cast<IOleControl*>(this);
    if (iid == IID_IPersistStreamInit) return static_cast<IPersistStreamInit*>(this);
    if (iid == IID_IPersist) return static_cast<IPersist*>(static_cast<IPersistStreamInit*>(this));
    if (iid == IID_IPersistStorage) return static_cast<IPersistStorage*>(this);
    if (iid == IID_IPersistPropertyBag) return static_cast<IPersistPropertyBag*>(this);
    if (iid == IID_IDataObject) return static_cast<IDataObject*>(this);
    if (iid == IID_IProvideClassInfo2 || iid == IID_IProvideClassInfo) return static_cast<IProvideClassInfo2*>(this);
    if (iid == IID_IConnectionPointContainer) return static_cast<IConnectionPointContainer*>(this);
    if (iid == IID_IQuickActivate) return static_cast<IQuickActivate*>(this);
    if (iid == IID_ISpecifyPropertyPages) return static_cast<ISpecifyPropertyPages*>(this);
    if (iid == IID_IObjectSafety) return static_cast<IObjectSafety*>(this);
    if (iid == IID_ISupportErrorInfo) return static_cast<ISupportErrorInfo*>(this);
    if (iid == IID_IOleCommandTarget && config_.commandTarget) return static_cast<IOleCommandTarget*>(this);
    return nullptr;
}

// A handler may make its host drop the control: the control holds itself while the sinks run
// (the window procedure and the calls into it hold it until they return).
size_t ControlBase::fireEvent(DISPID id, DispArgs& args) {
    if (!eventPoint_) return 0;
    ComPtr<IUnknown> keep(controlUnknown());
    return qcom::fireEvent(*eventPoint_, id, args);
}
size_t ControlBase::fireEvent(DISPID id) {
    if (!eventPoint_) return 0;
    ComPtr<IUnknown> keep(controlUnknown());
    return qcom::fireEvent(*eventPoint_, id);
}

void ControlBase::firePropertyChanged(DISPID id) {
    ComPtr<IUnknown> keep(controlUnknown());
    notifier_.changed(id);
}

void ControlBase::fireViewChange() {
    if (viewChangesHeld()) return;
    if (inPlaceActive_ && hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
    else if (viewSink_) viewSink_->OnViewChange(DVASPECT_CONTENT, -1);
}

void ControlBase::sendOnDataChange(DWORD advf) {
    if (dataAdvise_) dataAdvise_->SendOnDataChange(static_cast<IDataObject*>(this), 0, advf);
}

HRESULT ControlBase::requestResize(SIZEL ext) {
    extent_ = ext;
    if (!inPlaceSite_) return S_OK;
    SIZEL px = himetricToPixels(ext);
    RECT r{pos_.left, pos_.top, pos_.left + px.cx, pos_.top + px.cy};
    return inPlaceSite_->OnPosRectChange(&r);
}

// ---- Ambient properties ----

HRESULT ControlBase::getAmbient(DISPID id, VARIANT* out) const {
    if (!out) return E_POINTER;
    VariantInit(out);
    if (!clientSite_) return E_FAIL;
    ComPtr<IDispatch> d;
    if (FAILED(clientSite_.as(d)) || !d) return DISP_E_MEMBERNOTFOUND;
    DISPPARAMS none{};
    return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, out, nullptr, nullptr);
}

namespace {
bool ambientAs(const ControlBase& c, DISPID id, VARTYPE vt, VARIANT& v) {
    if (FAILED(c.getAmbient(id, &v))) {
        VariantClear(&v);
        return false;
    }
    if (FAILED(VariantChangeType(&v, &v, 0, vt))) {
        VariantClear(&v);
        return false;
    }
    return true;
}
}  // namespace

bool ControlBase::ambientBool(DISPID id, bool& out) const {
    VARIANT v;
    VariantInit(&v);
    if (!ambientAs(*this, id, VT_BOOL, v)) return false;
    out = v.boolVal != VARIANT_FALSE;
    return true;
}

bool ControlBase::ambientLong(DISPID id, LONG& out) const {
    VARIANT v;
    VariantInit(&v);
    if (!ambientAs(*this, id, VT_I4, v)) return false;
    out = v.lVal;
    return true;
}

bool ControlBase::ambientString(DISPID id, std::wstring& out) const {
    VARIANT v;
    VariantInit(&v);
    if (!ambientAs(*this, id, VT_BSTR, v)) return false;
    out.assign(v.bstrVal ? v.bstrVal : L"", v.bstrVal ? SysStringLen(v.bstrVal) : 0);
    VariantClear(&v);
    return true;
}

// ---- Window ----

HWND ControlBase::createControlWindow(HWND parent, const RECT& pos) {
    HINSTANCE inst = module().instance() ? module().instance() : GetModuleHandleW(nullptr);
    const wchar_t* cls = config_.windowClass ? config_.windowClass : L"ComControlWindow";
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (!GetClassInfoExW(inst, cls, &existing)) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = windowProc;
        wc.hInstance = inst;
        wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        wc.lpszClassName = cls;
        if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
        if (registeredClasses().empty()) module().atTerm(unregisterClasses);
        registeredClasses().emplace_back(cls);
    }
    return CreateWindowExW(0, cls, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, pos.left, pos.top,
                           pos.right - pos.left, pos.bottom - pos.top, parent, nullptr, inst, this);
}

LRESULT CALLBACK ControlBase::windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    ControlBase* self;
    if (msg == WM_NCCREATE) {
        self = static_cast<ControlBase*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        if (self) self->hwnd_ = hwnd;
    } else {
        self = reinterpret_cast<ControlBase*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    // The control lives until the message is handled, whatever a handler makes its host do;
    // the last release may end it here, after which nothing of it is touched.
    IUnknown* keep = self->controlUnknown();
    keep->AddRef();
    LRESULT r = 0;
    try {
        bool handled = false;
        r = self->onMessage(msg, wp, lp, handled);
        if (!handled) r = self->defaultMessage(msg, wp, lp);
    } catch (...) {
        r = DefWindowProcW(hwnd, msg, wp, lp);
    }
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        try {
            self->onWindowDestroyed();
        } catch (...) {
        }
    }
    keep->Release();
    return r;
}

LRESULT ControlBase::defaultMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd_, &ps);
            if (dc) {
                DrawInfo di;
                di.hdc = dc;
                GetClientRect(hwnd_, &di.bounds);
                di.fromWindow = true;
                di.invalid = &ps.rcPaint;
                onDraw(di);
            }
            EndPaint(hwnd_, &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_SETFOCUS:
        case WM_MOUSEACTIVATE:
            if (inPlaceActive_ && !uiActive_) inPlaceActivate(OLEIVERB_UIACTIVATE);
            break;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

void ControlBase::destroyWindow() {
    if (hwnd_) DestroyWindow(hwnd_);  // WM_NCDESTROY clears hwnd_
    hwnd_ = nullptr;
}

HRESULT ControlBase::onDraw(const DrawInfo& info) {
    FillRect(info.hdc, &info.bounds, GetSysColorBrush(COLOR_WINDOW));
    return S_OK;
}

HRESULT ControlBase::onGetControlInfo(CONTROLINFO* info) {
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

DWORD ControlBase::miscStatus(DWORD aspect) const {
    DWORD s = 0;
    if (FAILED(OleRegGetMiscStatus(clsid(), aspect, &s))) s = 0;
    return s;
}

// ---- Activation ----

HRESULT ControlBase::inPlaceActivate(LONG verb, const RECT* pos) {
    if (!clientSite_) return E_UNEXPECTED;
    if (!inPlaceActive_) {
        ComPtr<IOleInPlaceSite> site;
        if (FAILED(clientSite_.as(site)) || !site) return E_NOINTERFACE;
        if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
        HRESULT hr = site->OnInPlaceActivate();
        if (FAILED(hr)) return hr;
        inPlaceSite_ = site;
        inPlaceActive_ = true;
        HWND parent = nullptr;
        site->GetWindow(&parent);
        OLEINPLACEFRAMEINFO fi{};
        fi.cb = sizeof fi;
        RECT p{}, c{};
        if (FAILED(site->GetWindowContext(frame_.put(), uiWindow_.put(), &p, &c, &fi))) {
            if (pos) p = c = *pos;
        }
        pos_ = p;
        clip_ = c;
        if (!hwnd_) {
            HWND h = createControlWindow(parent, pos_);
            if (!h) {
                inPlaceActive_ = false;
                site->OnInPlaceDeactivate();
                inPlaceSite_.reset();
                frame_.reset();
                uiWindow_.reset();
                return E_FAIL;
            }
            hwnd_ = h;
        } else {
            SetParent(hwnd_, parent);
            SetWindowPos(hwnd_, nullptr, pos_.left, pos_.top, pos_.right - pos_.left, pos_.bottom - pos_.top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        }
        ShowWindow(hwnd_, SW_SHOW);
        onInPlaceActivated();
    } else if (hwnd_ && !IsWindowVisible(hwnd_)) {
        ShowWindow(hwnd_, SW_SHOW);
    }
    if (verb == OLEIVERB_UIACTIVATE || verb == OLEIVERB_PRIMARY || verb == OLEIVERB_SHOW) return uiActivate();
    return S_OK;
}

HRESULT ControlBase::uiActivate() {
    if (uiActive_) {
        HWND focus = GetFocus();
        if (hwnd_ && focus != hwnd_ && !IsChild(hwnd_, focus)) SetFocus(hwnd_);
        return S_OK;
    }
    uiActive_ = true;
    if (inPlaceSite_) inPlaceSite_->OnUIActivate();
    HWND focus = GetFocus();
    if (hwnd_ && focus != hwnd_ && !IsChild(hwnd_, focus)) SetFocus(hwnd_);
    IOleInPlaceActiveObject* active = this;
    if (frame_) {
        frame_->SetActiveObject(active, nullptr);
        frame_->SetBorderSpace(nullptr);
    }
    if (uiWindow_) {
        uiWindow_->SetActiveObject(active, nullptr);
        uiWindow_->SetBorderSpace(nullptr);
    }
    return S_OK;
}

HRESULT ControlBase::showPropertyPages(HWND parent) {
    std::vector<CLSID> pages = propertyPages();
    if (pages.empty()) return S_OK;
    IUnknown* self = controlUnknown();
    LPOLESTR caption = nullptr;
    OleRegGetUserType(clsid(), USERCLASSTYPE_SHORT, &caption);
    HRESULT hr = OleCreatePropertyFrame(parent, 0, 0, caption ? caption : L"", 1, &self,
                                        static_cast<ULONG>(pages.size()), pages.data(), LOCALE_USER_DEFAULT, 0,
                                        nullptr);
    CoTaskMemFree(caption);
    return hr;
}

// ---- IOleObject ----

STDMETHODIMP ControlBase::SetClientSite(IOleClientSite* site) try {
    if (site != clientSite_.get()) {
        if (!site && inPlaceActive_) InPlaceDeactivate();
        clientSite_ = ComPtr<IOleClientSite>(site);
        try {
            onClientSiteChanged();
        } catch (...) {
        }
    }
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::GetClientSite(IOleClientSite** out) try {
    return clientSite_.copyTo(out);
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP ControlBase::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

STDMETHODIMP ControlBase::Close(DWORD saveOption) try {
    if (dirty_ && clientSite_ && (saveOption == OLECLOSE_SAVEIFDIRTY || saveOption == OLECLOSE_PROMPTSAVE))
        clientSite_->SaveObject();
    if (inPlaceActive_) InPlaceDeactivate();
    if (oleAdvise_) oleAdvise_->SendOnClose();
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }
STDMETHODIMP ControlBase::GetMoniker(DWORD, DWORD, IMoniker** out) try {
    if (out) *out = nullptr;
    return E_NOTIMPL;
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP ControlBase::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }
STDMETHODIMP ControlBase::GetClipboardData(DWORD, IDataObject** out) try {
    if (out) *out = nullptr;
    return E_NOTIMPL;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG, HWND parent, LPCRECT pos) try {
    HRESULT hr;
    hr = onDoVerb(verb, msg, site, parent, pos);
    if (hr != E_NOTIMPL) return hr;
    switch (verb) {
        case OLEIVERB_PRIMARY:
        case OLEIVERB_SHOW:
        case OLEIVERB_OPEN:
        case OLEIVERB_UIACTIVATE:
            return inPlaceActivate(OLEIVERB_UIACTIVATE, pos);
        case OLEIVERB_INPLACEACTIVATE:
            return inPlaceActivate(OLEIVERB_INPLACEACTIVATE, pos);
        case OLEIVERB_HIDE:
            UIDeactivate();
            if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
            return S_OK;
        case OLEIVERB_PROPERTIES:
            return showPropertyPages(parent);
        case OLEIVERB_DISCARDUNDOSTATE:
            return S_OK;
        default:
            if (verb > 0) {
                hr = inPlaceActivate(OLEIVERB_UIACTIVATE, pos);
                return FAILED(hr) ? hr : OLEOBJ_S_INVALIDVERB;
            }
            return E_NOTIMPL;
    }
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::EnumVerbs(IEnumOLEVERB** out) try {
    if (!out) return E_POINTER;
    return OleRegEnumVerbs(clsid(), out);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::Update() { return S_OK; }
STDMETHODIMP ControlBase::IsUpToDate() { return S_OK; }

STDMETHODIMP ControlBase::GetUserClassID(CLSID* out) try {
    if (!out) return E_POINTER;
    *out = clsid();
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::GetUserType(DWORD form, LPOLESTR* out) try {
    if (!out) return E_POINTER;
    return OleRegGetUserType(clsid(), form, out);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::SetExtent(DWORD aspect, SIZEL* size) try {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!size) return E_POINTER;
    if (size->cx != extent_.cx || size->cy != extent_.cy) {
        extent_ = *size;
        dirty_ = true;
        onExtentChanged(extent_);
    }
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::GetExtent(DWORD aspect, SIZEL* size) try {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!size) return E_POINTER;
    *size = extent_;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::Advise(IAdviseSink* sink, DWORD* cookie) try {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!oleAdvise_) {
        HRESULT hr = CreateOleAdviseHolder(oleAdvise_.put());
        if (FAILED(hr)) return hr;
    }
    return oleAdvise_->Advise(sink, cookie);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::Unadvise(DWORD cookie) try {
    return oleAdvise_ ? oleAdvise_->Unadvise(cookie) : OLE_E_NOCONNECTION;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::EnumAdvise(IEnumSTATDATA** out) try {
    if (!out) return E_POINTER;
    *out = nullptr;
    return oleAdvise_ ? oleAdvise_->EnumAdvise(out) : E_FAIL;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::GetMiscStatus(DWORD aspect, DWORD* status) try {
    if (!status) return E_POINTER;
    *status = miscStatus(aspect);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// ---- IOleWindow, in-place object, active object ----

STDMETHODIMP ControlBase::GetWindow(HWND* out) try {
    if (!out) return E_POINTER;
    *out = hwnd_;
    return hwnd_ ? S_OK : E_FAIL;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

STDMETHODIMP ControlBase::InPlaceDeactivate() try {
    if (!inPlaceActive_) return S_OK;
    try {
        onInPlaceDeactivating();
    } catch (...) {
    }
    if (uiActive_) UIDeactivate();
    inPlaceActive_ = false;
    destroyWindow();
    ComPtr<IOleInPlaceSite> site = std::move(inPlaceSite_);
    frame_.reset();
    uiWindow_.reset();
    if (site) site->OnInPlaceDeactivate();
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::UIDeactivate() try {
    if (!uiActive_) return S_OK;
    uiActive_ = false;
    if (uiWindow_) uiWindow_->SetActiveObject(nullptr, nullptr);
    if (frame_) frame_->SetActiveObject(nullptr, nullptr);
    if (inPlaceSite_) inPlaceSite_->OnUIDeactivate(FALSE);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::SetObjectRects(LPCRECT pos, LPCRECT clip) try {
    if (!pos) return E_POINTER;
    const bool resized = pos->right - pos->left != pos_.right - pos_.left || pos->bottom - pos->top != pos_.bottom - pos_.top;
    pos_ = *pos;
    if (clip) clip_ = *clip;
    if (hwnd_)
        SetWindowPos(hwnd_, nullptr, pos_.left, pos_.top, pos_.right - pos_.left, pos_.bottom - pos_.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    if (resized) extent_ = pixelsToHimetric(SIZEL{pos_.right - pos_.left, pos_.bottom - pos_.top});
    try {
        onPositionChanged(pos_);
    } catch (...) {
    }
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::ReactivateAndUndo() { return E_NOTIMPL; }

STDMETHODIMP ControlBase::OnWindowMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) try {
    if (!result) return E_POINTER;
    bool handled = false;
    *result = onMessage(msg, wp, lp, handled);
    return handled ? S_OK : S_FALSE;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::GetDropTarget(IDropTarget** out) try {
    if (out) *out = nullptr;
    return E_NOTIMPL;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::TranslateAccelerator(LPMSG msg) try {
    try {
        return onTranslateAccelerator(msg);
    } catch (...) {
        return S_FALSE;
    }
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::OnFrameWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP ControlBase::OnDocWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP ControlBase::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
STDMETHODIMP ControlBase::EnableModeless(BOOL) { return S_OK; }

// ---- View object ----

STDMETHODIMP ControlBase::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE* target, HDC targetDc, HDC hdc,
                               LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) try {
    if (aspect != DVASPECT_CONTENT && aspect != DVASPECT_OPAQUE && aspect != DVASPECT_TRANSPARENT)
        return DV_E_DVASPECT;
    if (!hdc) return E_INVALIDARG;
    DrawInfo di;
    if (bounds) di.bounds = rectOf(bounds);
    else if (inPlaceActive_) di.bounds = pos_;
    else return E_INVALIDARG;
    di.hdc = hdc;
    di.aspect = aspect;
    di.target = target;
    di.targetDc = targetDc;
    di.metafile = GetDeviceCaps(hdc, TECHNOLOGY) == DT_METAFILE;
    return onDraw(di);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** out) try {
    if (out) *out = nullptr;
    return E_NOTIMPL;
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP ControlBase::Freeze(DWORD, LONG, void*, DWORD* cookie) try {
    if (cookie) *cookie = 0;
    return E_NOTIMPL;
} catch (...) { return qcom::exceptionResult(); }
STDMETHODIMP ControlBase::Unfreeze(DWORD) { return E_NOTIMPL; }

STDMETHODIMP ControlBase::SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* sink) try {
    viewSink_ = ComPtr<IAdviseSink>(sink);
    viewAspects_ = aspects;
    viewAdvf_ = advf;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::GetAdvise(DWORD* aspects, DWORD* advf, IAdviseSink** sink) try {
    if (aspects) *aspects = viewAspects_;
    if (advf) *advf = viewAdvf_;
    if (sink) viewSink_.copyTo(sink);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) try {
    return GetExtent(aspect, size);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::GetRect(DWORD aspect, LPRECTL rect) try {
    if (!rect) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *rect = RECTL{pos_.left, pos_.top, pos_.right, pos_.bottom};
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::GetViewStatus(DWORD* status) try {
    if (!status) return E_POINTER;
    *status = config_.viewStatus;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT pt, LONG, DWORD* result) try {
    if (!bounds || !result) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *result = PtInRect(bounds, pt) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT rect, LONG, DWORD* result) try {
    if (!bounds || !rect || !result) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    RECT r;
    *result = IntersectRect(&r, bounds, rect) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::GetNaturalExtent(DWORD, LONG, DVTARGETDEVICE*, HDC, DVEXTENTINFO*, LPSIZEL) try {
    return E_NOTIMPL;
} catch (...) { return qcom::exceptionResult(); }

// ---- IOleControl ----

STDMETHODIMP ControlBase::GetControlInfo(CONTROLINFO* info) try {
    if (!info) return E_POINTER;
    return onGetControlInfo(info);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::OnMnemonic(MSG* msg) try {
    return onMnemonic(msg);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::OnAmbientPropertyChange(DISPID id) try {
    try {
        onAmbientChanged(id);
    } catch (...) {
    }
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::FreezeEvents(BOOL freeze) try {
    notifier_.freeze(freeze != FALSE);
    try {
        onFreezeEvents(notifier_.frozen());
    } catch (...) {
    }
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

// ---- Persistence ----

STDMETHODIMP ControlBase::GetClassID(CLSID* out) try {
    if (!out) return E_POINTER;
    *out = clsid();
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::IsDirty() try {
    return dirty_ ? S_OK : S_FALSE;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::Load(LPSTREAM stream) try {
    if (!stream) return E_POINTER;
    HRESULT hr;
    hr = onLoadStream(stream);
    if (SUCCEEDED(hr)) dirty_ = false;
    return hr;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::Save(LPSTREAM stream, BOOL clearDirty) try {
    if (!stream) return E_POINTER;
    HRESULT hr;
    hr = onSaveStream(stream);
    if (SUCCEEDED(hr) && clearDirty) dirty_ = false;
    return hr;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::GetSizeMax(ULARGE_INTEGER* size) try {
    if (!size) return E_POINTER;
    return onGetSizeMax(size);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::InitNew() try {
    return onInitNew();
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::InitNew(IStorage*) try {
    return InitNew();
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::Load(IStorage* storage) try {
    if (!storage) return E_POINTER;
    HRESULT hr;
    hr = onLoadStorage(storage);
    if (SUCCEEDED(hr)) dirty_ = false;
    return hr;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::Save(IStorage* storage, BOOL sameAsLoad) try {
    if (!storage) return E_POINTER;
    return onSaveStorage(storage, sameAsLoad != FALSE);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::SaveCompleted(IStorage*) try {
    dirty_ = false;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::HandsOffStorage() { return S_OK; }

HRESULT ControlBase::loadContentsStream(IStorage* storage) {
    ComPtr<IStream> s;
    HRESULT hr = storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, s.put());
    if (FAILED(hr)) return hr;
    return onLoadStream(s.get());
}

HRESULT ControlBase::saveContentsStream(IStorage* storage) {
    ComPtr<IStream> s;
    HRESULT hr = storage->CreateStream(L"Contents", STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, s.put());
    if (FAILED(hr)) return hr;
    return onSaveStream(s.get());
}

STDMETHODIMP ControlBase::Load(IPropertyBag* bag, IErrorLog* log) try {
    if (!bag) return E_POINTER;
    HRESULT hr;
    hr = onLoadPropertyBag(bag, log);
    if (SUCCEEDED(hr)) dirty_ = false;
    return hr;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) try {
    if (!bag) return E_POINTER;
    HRESULT hr;
    hr = onSavePropertyBag(bag, saveAll != FALSE);
    if (SUCCEEDED(hr) && clearDirty) dirty_ = false;
    return hr;
} catch (...) { return qcom::exceptionResult(); }

// ---- IDataObject: a metafile picture of the content ----

namespace {
bool isPicture(const FORMATETC* f) { return f->cfFormat == CF_METAFILEPICT && (f->tymed & TYMED_MFPICT); }
}  // namespace

STDMETHODIMP ControlBase::GetData(FORMATETC* format, STGMEDIUM* medium) try {
    if (!format || !medium) return E_POINTER;
    std::memset(medium, 0, sizeof *medium);
    if (!isPicture(format)) return DV_E_FORMATETC;
    if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    SIZEL px = himetricToPixels(extent_);
    HDC mf = CreateMetaFileW(nullptr);
    if (!mf) return E_OUTOFMEMORY;
    SetWindowOrgEx(mf, 0, 0, nullptr);
    SetWindowExtEx(mf, px.cx, px.cy, nullptr);
    DrawInfo di;
    di.hdc = mf;
    di.bounds = RECT{0, 0, px.cx, px.cy};
    di.metafile = true;
    HRESULT hr;
    try {
        hr = onDraw(di);
    } catch (...) {
        hr = E_UNEXPECTED;
    }
    HMETAFILE h = CloseMetaFile(mf);
    if (FAILED(hr) || !h) {
        if (h) DeleteMetaFile(h);
        return FAILED(hr) ? hr : E_FAIL;
    }
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, sizeof(METAFILEPICT));
    auto* pict = g ? static_cast<METAFILEPICT*>(GlobalLock(g)) : nullptr;
    if (!pict) {
        if (g) GlobalFree(g);
        DeleteMetaFile(h);
        return E_OUTOFMEMORY;
    }
    pict->mm = MM_ANISOTROPIC;
    pict->xExt = extent_.cx;
    pict->yExt = extent_.cy;
    pict->hMF = h;
    GlobalUnlock(g);
    medium->tymed = TYMED_MFPICT;
    medium->hMetaFilePict = g;
    medium->pUnkForRelease = nullptr;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

STDMETHODIMP ControlBase::QueryGetData(FORMATETC* format) try {
    if (!format) return E_POINTER;
    if (!isPicture(format)) return DV_E_FORMATETC;
    return format->dwAspect == DVASPECT_CONTENT ? S_OK : DV_E_DVASPECT;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) try {
    if (!out) return E_POINTER;
    out->ptd = nullptr;
    return E_NOTIMPL;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }

STDMETHODIMP ControlBase::EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) try {
    if (!out) return E_POINTER;
    return OleRegEnumFormatEtc(clsid(), direction, out);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::DAdvise(FORMATETC* format, DWORD advf, IAdviseSink* sink, DWORD* cookie) try {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!dataAdvise_) {
        HRESULT hr = CreateDataAdviseHolder(dataAdvise_.put());
        if (FAILED(hr)) return hr;
    }
    return dataAdvise_->Advise(static_cast<IDataObject*>(this), format, advf, sink, cookie);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::DUnadvise(DWORD cookie) try {
    return dataAdvise_ ? dataAdvise_->Unadvise(cookie) : OLE_E_NOCONNECTION;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::EnumDAdvise(IEnumSTATDATA** out) try {
    if (!out) return E_POINTER;
    *out = nullptr;
    return dataAdvise_ ? dataAdvise_->EnumAdvise(out) : OLE_E_ADVISENOTSUPPORTED;
} catch (...) { return qcom::exceptionResult(); }

// ---- Class information, connection points ----

STDMETHODIMP ControlBase::GetClassInfo(ITypeInfo** out) try {
    if (!out) return E_POINTER;
    return module().typeInfo(clsid(), out);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::GetGUID(DWORD kind, GUID* out) try {
    if (!out) return E_POINTER;
    *out = GUID_NULL;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    if (!config_.events) return E_NOTIMPL;
    *out = *config_.events;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::EnumConnectionPoints(IEnumConnectionPoints** out) try {
    return points_.enumConnectionPoints(out);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::FindConnectionPoint(REFIID iid, IConnectionPoint** out) try {
    return points_.findConnectionPoint(iid, out);
} catch (...) { return qcom::exceptionResult(); }

// ---- IQuickActivate ----

STDMETHODIMP ControlBase::QuickActivate(QACONTAINER* c, QACONTROL* q) try {
    if (!c || !q) return E_POINTER;
    if (c->cbSize < offsetof(QACONTAINER, dwAmbientFlags) || q->cbSize < sizeof(QACONTROL)) return E_INVALIDARG;
    ULONG size = q->cbSize;
    std::memset(q, 0, sizeof(QACONTROL));
    q->cbSize = size;
    SetClientSite(c->pClientSite);
    if (c->pAdviseSink) SetAdvise(DVASPECT_CONTENT, 0, c->pAdviseSink);
    if (c->pPropertyNotifySink) notifyPoint_->Advise(c->pPropertyNotifySink, &q->dwPropNotifyCookie);
    if (c->pUnkEventSink && eventPoint_) eventPoint_->Advise(c->pUnkEventSink, &q->dwEventCookie);
    q->dwMiscStatus = miscStatus(DVASPECT_CONTENT);
    q->dwViewStatus = config_.viewStatus;
    q->dwPointerActivationPolicy = 0;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::SetContentExtent(LPSIZEL size) try {
    return SetExtent(DVASPECT_CONTENT, size);
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::GetContentExtent(LPSIZEL size) try {
    return GetExtent(DVASPECT_CONTENT, size);
} catch (...) { return qcom::exceptionResult(); }

// ---- ISpecifyPropertyPages ----

STDMETHODIMP ControlBase::GetPages(CAUUID* pages) try {
    if (!pages) return E_POINTER;
    pages->cElems = 0;
    pages->pElems = nullptr;
    std::vector<CLSID> list;
    list = propertyPages();
    if (list.empty()) return S_OK;
    auto* mem = static_cast<GUID*>(CoTaskMemAlloc(list.size() * sizeof(GUID)));
    if (!mem) return E_OUTOFMEMORY;
    for (size_t i = 0; i < list.size(); ++i) mem[i] = list[i];
    pages->cElems = static_cast<ULONG>(list.size());
    pages->pElems = mem;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

// ---- IObjectSafety ----

STDMETHODIMP ControlBase::GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled) try {
    if (!supported || !enabled) return E_POINTER;
    *supported = *enabled = 0;
    IUnknown* p = nullptr;
    if (FAILED(controlUnknown()->QueryInterface(iid, reinterpret_cast<void**>(&p))) || !p) return E_NOINTERFACE;
    p->Release();
    *supported = config_.safetySupported;
    *enabled = safetyEnabled_;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) try {
    IUnknown* p = nullptr;
    if (FAILED(controlUnknown()->QueryInterface(iid, reinterpret_cast<void**>(&p))) || !p) return E_NOINTERFACE;
    p->Release();
    if (mask & ~config_.safetySupported) return E_FAIL;
    safetyEnabled_ = (safetyEnabled_ & ~mask) | (enabled & mask);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

// ---- ISupportErrorInfo ----

STDMETHODIMP ControlBase::InterfaceSupportsErrorInfo(REFIID iid) try {
    return errorInfo_.supports(iid);
} catch (...) { return qcom::exceptionResult(); }

// ---- IOleCommandTarget ----

STDMETHODIMP ControlBase::QueryStatus(const GUID* group, ULONG count, OLECMD* commands, OLECMDTEXT* text) try {
    if (count && !commands) return E_POINTER;
    if (text) text->cwActual = 0;
    for (ULONG i = 0; i < count; ++i) {
        DWORD flags = 0;
        HRESULT hr = onQueryCommand(group, commands[i].cmdID, &flags);
        if (hr == OLECMDERR_E_UNKNOWNGROUP) return hr;
        commands[i].cmdf = SUCCEEDED(hr) ? flags : 0;
    }
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ControlBase::Exec(const GUID* group, DWORD id, DWORD option, VARIANT* in, VARIANT* out) try {
    return onExecCommand(group, id, option, in, out);
} catch (...) { return qcom::exceptionResult(); }

}  // namespace qcom
