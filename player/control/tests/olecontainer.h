// A small OLE container for the control's tests: a host window with a client
// site, an in-place site and frame, ambient properties through IDispatch, an
// event sink that records events and can write byref arguments back, and a
// property-notify sink.
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qivtest {

// Reference counting shared by the test objects (they live on the stack or in
// the container; the count only guards against use after release).
class TestUnknown {
public:
    virtual ~TestUnknown() = default;
    LONG refs() const { return refs_; }

protected:
    ULONG addRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG release() { return static_cast<ULONG>(InterlockedDecrement(&refs_)); }

private:
    volatile LONG refs_ = 0;
};

// One event as a sink saw it: its DISPID and its arguments in parameter order
// (as text: "I4:5", "BSTR:name", "BOOL:-1", "R4:1.5", "I4&:3", "BSTR&:x").
struct EventRecord {
    DISPID id;
    std::vector<std::string> args;
};

std::string VariantText(const VARIANTARG& v);

// IDispatch sink of any dispinterface.
class EventSink : public IDispatch, public TestUnknown {
public:
    explicit EventSink(REFIID events) : iid_(events) {}
    std::vector<EventRecord> events;
    // Runs inside Invoke, after recording; may write byref arguments.
    std::function<void(DISPID, DISPPARAMS*)> handler;
    HRESULT result = S_OK;  // what Invoke answers

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return addRef(); }
    STDMETHODIMP_(ULONG) Release() override { return release(); }
    STDMETHODIMP GetTypeInfoCount(UINT* n) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override;

private:
    IID iid_;
};

class NotifySink : public IPropertyNotifySink, public TestUnknown {
public:
    std::vector<DISPID> changed;
    std::vector<DISPID> requestEdit;
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return addRef(); }
    STDMETHODIMP_(ULONG) Release() override { return release(); }
    STDMETHODIMP OnChanged(DISPID id) override {
        changed.push_back(id);
        return S_OK;
    }
    STDMETHODIMP OnRequestEdit(DISPID id) override {
        requestEdit.push_back(id);
        return S_OK;
    }
};

// Connects a sink to a connection point of an object; Disconnect undoes it.
HRESULT Connect(IUnknown* object, REFIID iid, IUnknown* sink, DWORD* cookie);
HRESULT Disconnect(IUnknown* object, REFIID iid, DWORD cookie);

// The host: one top-level window, the sites and the ambient properties.
class OleTestContainer : public IOleClientSite,
                         public IOleInPlaceSite,
                         public IOleInPlaceFrame,
                         public IDispatch,
                         public TestUnknown {
public:
    OleTestContainer();
    ~OleTestContainer() override;
    OleTestContainer(const OleTestContainer&) = delete;
    OleTestContainer& operator=(const OleTestContainer&) = delete;

    HWND window() const { return hwnd_; }
    // Ambient properties answered through IDispatch (DISPATCH_PROPERTYGET).
    void SetAmbient(DISPID id, const VARIANT& v);
    void SetAmbientLong(DISPID id, LONG v);
    void SetAmbientBool(DISPID id, bool v);
    void RemoveAmbient(DISPID id);

    // SetClientSite, then in-place activation when requested.
    HRESULT Embed(IUnknown* control, bool activate);
    // Deactivates, closes and lets go of the site.
    void Unembed();
    IOleObject* object() const { return object_; }
    int showObjectCalls = 0, activateCalls = 0, deactivateCalls = 0;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return addRef(); }
    STDMETHODIMP_(ULONG) Release() override { return release(); }
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
    STDMETHODIMP OnInPlaceActivate() override;
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override;
    STDMETHODIMP Scroll(SIZE) override { return S_OK; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override;
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }
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
    // IDispatch: the ambient properties
    STDMETHODIMP GetTypeInfoCount(UINT* n) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override;

private:
    HWND hwnd_ = nullptr;
    IOleObject* object_ = nullptr;
    std::map<DISPID, VARIANT> ambients_;
};

// Pumps the thread's pending messages.
void PumpMessages();

}  // namespace qivtest
