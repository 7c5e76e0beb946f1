#include "viewer_win.h"
#include "win/wintext.h"

#include <ocidl.h>
#include <olectl.h>

#include <string>

#include "com/guard.h"
#include "ctlmessage.h"
#include "ctlmodule_win.h"
#include "hosthooks_win.h"
#include "linkwin_win.h"
#include "qivctl_win.h"
#include "qivplayer_idl.h"
#include "serverparts_win.h"
#include "viewercmd.h"

namespace {

constexpr UINT kProgramTitleId = 100;
constexpr UINT kIconId = 100;
constexpr UINT kLoadErrorsId = 130;  // "Errors while loading object: %s"
constexpr UINT kErrorTitleId = 123;

std::string loadString(UINT id) {
    char buf[1024] = {};
    int n = LoadStringA(qivModuleInstance(), id, buf, sizeof buf);
    return n > 0 ? std::string(buf, size_t(n)) : std::string();
}


// The system's long-path conversion, looked up once per process; empty without it.
qivctl::LongPathLookup longPathLookup() {
    using Fn = DWORD(WINAPI*)(LPCSTR, LPSTR, DWORD);
    static const Fn fn = [] {
        HMODULE kernel = GetModuleHandleA("Kernel32");
        return kernel ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetLongPathNameA")))
                      : nullptr;
    }();
    if (!fn) return {};
    return [](const std::string& path, std::string* out) {
        char buf[qivctl::kViewerPathMax + 1] = {};
        DWORD n = fn(path.c_str(), buf, sizeof buf);
        if (n == 0 || n >= sizeof buf) return false;
        out->assign(buf, n);
        return true;
    };
}

// The frame's site for its one control: client site, in-place site and frame,
// and the ambient properties of a host in user mode.
class ViewerSite final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame, public IDispatch {
public:
    explicit ViewerSite(HWND frame) : frame_(frame) {}

    // Sites and activates the control in the frame's client area.
    HRESULT attach(IUnknown* control) {
        HRESULT hr = control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object_));
        if (FAILED(hr)) return hr;
        DWORD misc = 0;
        object_->GetMiscStatus(DVASPECT_CONTENT, &misc);
        const bool siteFirst = (misc & OLEMISC_SETCLIENTSITEFIRST) != 0;
        if (siteFirst) object_->SetClientSite(this);
        IPersistStreamInit* init = nullptr;
        if (SUCCEEDED(control->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&init)))) {
            init->InitNew();
            init->Release();
        }
        if (!siteFirst) object_->SetClientSite(this);
        object_->SetHostNames(L"Qiv Frame", nullptr);
        RECT rc;
        GetClientRect(frame_, &rc);
        hr = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, frame_, &rc);
        return hr;
    }

    // Deactivates and closes the control and lets go of it.
    void detach() {
        if (!object_) return;
        IOleObject* object = object_;
        object_ = nullptr;
        IOleInPlaceObject* ip = nullptr;
        if (SUCCEEDED(object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&ip)))) {
            ip->InPlaceDeactivate();
            ip->Release();
        }
        object->Close(OLECLOSE_NOSAVE);
        object->SetClientSite(nullptr);
        object->Release();
    }

    // The control fills the frame's client area.
    void resize() {
        if (!object_) return;
        RECT rc;
        GetClientRect(frame_, &rc);
        IOleInPlaceObject* ip = nullptr;
        if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&ip)))) {
            ip->SetObjectRects(&rc, &rc);
            ip->Release();
        }
    }

    // The control's window, or null.
    HWND controlWindow() const {
        HWND w = nullptr;
        IOleWindow* ow = nullptr;
        if (object_ && SUCCEEDED(object_->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&ow)))) {
            ow->GetWindow(&w);
            ow->Release();
        }
        return w;
    }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override try {
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
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return ULONG(n);
    }
    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override try {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP GetContainer(IOleContainer** out) override try {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
    // IOleWindow
    STDMETHODIMP GetWindow(HWND* out) override try {
        if (!out) return E_POINTER;
        *out = frame_;
        return S_OK;
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }
    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override try {
        if (frame) {
            *frame = this;
            AddRef();
        }
        if (doc) *doc = nullptr;
        if (pos) GetClientRect(frame_, pos);
        if (clip) GetClientRect(frame_, clip);
        if (info) {
            info->fMDIApp = FALSE;
            info->hwndFrame = frame_;
            info->haccel = nullptr;
            info->cAccelEntries = 0;
        }
        return S_OK;
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT pos) override try {
        if (!pos || !object_) return S_OK;
        IOleInPlaceObject* ip = nullptr;
        if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&ip)))) {
            ip->SetObjectRects(pos, pos);
            ip->Release();
        }
        return S_OK;
    } catch (...) { return qcom::exceptionResult(); }
    // IOleInPlaceUIWindow, IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }
    // IDispatch: ambient properties
    STDMETHODIMP GetTypeInfoCount(UINT* n) override try {
        if (n) *n = 0;
        return S_OK;
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                        UINT*) override try {
        if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
        VARIANT_BOOL value;
        switch (id) {
        case DISPID_AMBIENT_USERMODE: value = VARIANT_TRUE; break;
        case DISPID_AMBIENT_UIDEAD:
        case DISPID_AMBIENT_SHOWHATCHING:
        case DISPID_AMBIENT_SHOWGRABHANDLES:
        case DISPID_AMBIENT_MESSAGEREFLECT:
        case DISPID_AMBIENT_DISPLAYASDEFAULT: value = VARIANT_FALSE; break;
        default: return DISP_E_MEMBERNOTFOUND;
        }
        if (result) {
            VariantInit(result);
            result->vt = VT_BOOL;
            result->boolVal = value;
        }
        return S_OK;
    } catch (...) { return qcom::exceptionResult(); }

private:
    ~ViewerSite() { detach(); }

    volatile LONG refs_ = 1;
    HWND frame_;
    IOleObject* object_ = nullptr;
};

// The frame window object: one per call.
struct QivViewerFrame {
    HWND hwnd = nullptr;
    IQivPlayer2* player = nullptr;  // one reference, released when the window is destroyed
    DWORD thread = 0;               // gets the end message when no window is set
    HWND endWindow = nullptr;
    ViewerSite* site = nullptr;
};

LRESULT frameMessage(QivViewerFrame* f, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SIZE:
        if (f->site) f->site->resize();
        break;
    case WM_SETFOCUS:
        if (f->site)
            if (HWND w = f->site->controlWindow()) {
                SetFocus(w);
                return 0;
            }
        break;
    case WM_DISPLAYCHANGE:
        if (f->player && f->site)
            if (HWND w = f->site->controlWindow()) return SendMessageA(w, WM_DISPLAYCHANGE, wp, lp);
        break;
    case WM_DESTROY:
        if (f->player) {
            f->player->Release();
            f->player = nullptr;
        }
        if (f->site) f->site->detach();
        if (f->endWindow)
            PostMessageA(f->endWindow, kQivViewerEndMessage, 0, 0);
        else
            PostThreadMessageA(f->thread, kQivViewerEndMessage, 0, 0);
        return 0;
    case WM_NCDESTROY:
        f->hwnd = nullptr;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT CALLBACK frameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* f = static_cast<QivViewerFrame*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
        f->hwnd = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(f));
    }
    auto* f = reinterpret_cast<QivViewerFrame*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!f) return DefWindowProcA(hwnd, msg, wp, lp);
    try {
        return frameMessage(f, hwnd, msg, wp, lp);
    } catch (...) {
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

bool registerFrameClass() {
    WNDCLASSEXA existing = {};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExA(qivModuleInstance(), kQivViewerFrameClass, &existing)) return true;
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = frameProc;
    wc.hInstance = qivModuleInstance();
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kQivViewerFrameClass;
    return RegisterClassExA(&wc) != 0;
}

// Creates the control by its ProgID inside the frame and shows the file. False
// when the frame is to close at once.
bool hostControl(QivViewerFrame& f, const std::string& longPath) {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(kQivViewerProgId, &clsid))) return true;
    IUnknown* control = nullptr;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(&control))) ||
        !control)
        return true;
    HRESULT sited = f.site->attach(control);
    IQivPlayer2* player = nullptr;
    HRESULT hr = control->QueryInterface(IID_IQivPlayer2, reinterpret_cast<void**>(&player));
    control->Release();
    if (FAILED(hr) || !player) return false;
    if (FAILED(sited)) {
        player->Release();
        return true;
    }
    // The frame's reference; a local one keeps the control while it works even
    // when the frame goes away meanwhile.
    player->AddRef();
    f.player = player;
    player->put_Appearance(qivAppearance3D);
    player->put_BorderStyle(qivBorderStyleSingle);
    player->put_DragDropEnabled(7);
    UpdateWindow(f.hwnd);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    BSTR name = SysAllocString(win::Wide(longPath).c_str());
    if (name || longPath.empty()) player->LoadObject(name, &loaded);
    SysFreeString(name);
    player->put_AnimPlaying(VARIANT_TRUE);
    const bool ok = loaded == VARIANT_TRUE;
    // The user learns why the window closes at once.
    if (!ok)
        qivShowMessage(f.hwnd, qivctl::formatMessage(loadString(kLoadErrorsId), longPath).c_str(),
                       loadString(kErrorTitleId).c_str(), MB_OK);
    if (ok && f.hwnd) {
        IQivHostHooks* hooks = nullptr;
        if (SUCCEEDED(player->QueryInterface(IID_IQivHostHooks, reinterpret_cast<void**>(&hooks))) && hooks) {
            // The frame's popup-menu entries (the HTML export); the control outlives its menus.
            hooks->SetMenuCallbacks(player, qivViewerAddMenuItems, qivViewerMenuCommand);
            hooks->SetTitleCallback(f.hwnd, OnTitleChange);
            hooks->Release();
        }
    }
    if (ok && f.hwnd && f.site)
        if (HWND w = f.site->controlWindow()) SetFocus(w);
    player->Release();
    return ok;
}

}  // namespace

void CALLBACK qivViewerAddMenuItems(void* context, HMENU menu) {
    auto* player = static_cast<IQivPlayer2*>(context);
    if (!player || !menu) return;
    BOOL allowed = FALSE;
    IQivHostHooks* hooks = nullptr;
    if (SUCCEEDED(player->QueryInterface(IID_IQivHostHooks, reinterpret_cast<void**>(&hooks))) && hooks) {
        if (FAILED(hooks->GetExportAllowed(&allowed))) allowed = FALSE;
        hooks->Release();
    }
    CQivPlayerCtl::AddHtmlMenuItems(menu, allowed != FALSE);
}

void CALLBACK qivViewerMenuCommand(void* context, void*, UINT id, WPARAM, LPARAM) {
    // Through the control's own interface: the object may come from another copy of the library.
    auto* player = static_cast<IQivPlayer2*>(context);
    IQivHostHooks* hooks = nullptr;
    if (!player || FAILED(player->QueryInterface(IID_IQivHostHooks, reinterpret_cast<void**>(&hooks))) || !hooks)
        return;
    hooks->RunExportCommand(id);
    hooks->Release();
}

void RunViewerWindow(const char* path) {
    const HRESULT ole = OleInitialize(nullptr);
    const std::string program = loadString(kProgramTitleId);
    const std::string longPath = qivctl::viewerLongPath(path ? path : "", longPathLookup());
    const std::string title = qivctl::viewerWindowTitle(longPath, program);

    QivViewerFrame frame;
    frame.thread = GetCurrentThreadId();
    HICON big = nullptr, small = nullptr;
    if (registerFrameClass())
        CreateWindowExA(0, kQivViewerFrameClass, title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, qivModuleInstance(), &frame);
    if (frame.hwnd) {
        big = static_cast<HICON>(LoadImageA(qivModuleInstance(), MAKEINTRESOURCEA(kIconId), IMAGE_ICON, 32, 32, 0));
        small = static_cast<HICON>(LoadImageA(qivModuleInstance(), MAKEINTRESOURCEA(kIconId), IMAGE_ICON, 16, 16, 0));
        if (big) SendMessageA(frame.hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
        if (small) SendMessageA(frame.hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
        frame.site = new ViewerSite(frame.hwnd);
        if (!hostControl(frame, longPath) && frame.hwnd) DestroyWindow(frame.hwnd);

        MSG msg;
        for (;;) {
            const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
            if (got == 0 || got == -1 || msg.message == kQivViewerEndMessage) break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (frame.hwnd) DestroyWindow(frame.hwnd);
        // The end message of a frame closed after WM_QUIT stays behind otherwise.
        while (PeekMessageA(&msg, nullptr, kQivViewerEndMessage, kQivViewerEndMessage, PM_REMOVE)) {
        }
        frame.site->detach();
        frame.site->Release();
    }
    if (big) DestroyIcon(big);
    if (small) DestroyIcon(small);
    if (SUCCEEDED(ole)) OleUninitialize();
}

void qivDisplayObject(HWND, HINSTANCE, const char* commandLine, int) {
    try {
        RunViewerWindow(qivctl::viewerPathFromCommandLine(commandLine).c_str());
    } catch (...) {
    }
}
