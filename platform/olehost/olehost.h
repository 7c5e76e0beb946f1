#pragma once
// The OLE control container: one site per control (client site, in-place
// site and frame, ambient properties through IDispatch), an event sink that
// hands each event to a handler by its DISPID, property get and put by
// DISPID, and a forms control that hosts an OLE control made from its class
// identifier. No C++ exception leaves a COM method here.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "forms/controls.h"

namespace olehost {

// Handles one event: its DISPID and its arguments (in reverse order, as
// DISPPARAMS holds them); byref arguments may be written.
using EventHandler = std::function<void(DISPID id, DISPPARAMS* params)>;

// IDispatch sink of an event interface.
class EventSink : public IDispatch {
public:
    EventSink(REFIID events, EventHandler handler);
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* n) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override;
    void Detach() { handler_ = nullptr; }

private:
    virtual ~EventSink() = default;
    volatile LONG refs_ = 1;
    IID iid_;
    EventHandler handler_;
};

// The site of one control in a window.
class Site : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame, public IDispatch {
public:
    explicit Site(HWND window);
    HWND Window() const { return window_; }
    void SetWindow(HWND w) { window_ = w; }
    void SetAmbient(DISPID id, const VARIANT& v);
    int ShowObjectCalls = 0;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IOleClientSite
    STDMETHODIMP SaveObject() override { return S_OK; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override;
    STDMETHODIMP GetContainer(IOleContainer** out) override;
    STDMETHODIMP ShowObject() override;
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
    // IOleWindow
    STDMETHODIMP GetWindow(HWND* out) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }
    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override;
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT pos) override;
    // IOleInPlaceUIWindow, IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* obj, LPCOLESTR) override;
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }
    // IDispatch: ambient properties
    STDMETHODIMP GetTypeInfoCount(UINT* n) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override;

    IOleObject* object = nullptr;  // not counted: the host holds it

private:
    virtual ~Site();
    volatile LONG refs_ = 1;
    HWND window_;
    std::map<DISPID, VARIANT> ambients_;
    IOleInPlaceActiveObject* active_ = nullptr;
};

// The property of an object by DISPID (IDispatch::Invoke).
HRESULT GetProperty(IDispatch* object, DISPID id, VARIANT* out);
HRESULT PutProperty(IDispatch* object, DISPID id, const VARIANT& value);
// Connects a sink to an object's connection point; Disconnect undoes it.
HRESULT Connect(IUnknown* object, REFIID events, IUnknown* sink, DWORD* cookie);
HRESULT Disconnect(IUnknown* object, REFIID events, DWORD cookie);

// A forms control that hosts an OLE control in place. The object is made
// when the control is constructed (forms::Exception when that fails) and
// activated in place when its window exists.
class OleControl : public forms::WinControl {
public:
    OleControl(forms::Component* owner, REFCLSID clsid, REFIID events);
    ~OleControl() override;
    IUnknown* Object() const { return unknown_; }
    IDispatch* Dispatch() const { return dispatch_; }
    // The control's own window (null until it is active in place).
    HWND ControlWindow() const;
    HRESULT GetProperty(DISPID id, VARIANT* out) const { return olehost::GetProperty(dispatch_, id, out); }
    HRESULT PutProperty(DISPID id, const VARIANT& v) { return olehost::PutProperty(dispatch_, id, v); }
    void SetAmbient(DISPID id, const VARIANT& v);
    // Events by DISPID; the handler of a DISPID replaces an earlier one.
    void OnEvent(DISPID id, EventHandler handler) { handlers_[id] = std::move(handler); }
    Site* GetSite() const { return site_; }
    bool HandleMessage(win::Message& m) override;

protected:
    void HandleCreated() override;
    void Resized() override;

private:
    void dispatchEvent(DISPID id, DISPPARAMS* params);
    IUnknown* unknown_ = nullptr;
    IOleObject* ole_ = nullptr;
    IDispatch* dispatch_ = nullptr;
    Site* site_ = nullptr;
    EventSink* sink_ = nullptr;
    IID events_;
    DWORD cookie_ = 0;
    bool active_ = false;
    std::map<DISPID, EventHandler> handlers_;
};

}  // namespace olehost
