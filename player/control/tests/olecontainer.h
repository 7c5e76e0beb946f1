// The control's tests host it through the product's OLE container site in a
// window of their own, with an event sink that records events and can write
// byref arguments back, and a property-notify sink.
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "olehost/olehost.h"

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

using olehost::Connect;
using olehost::Disconnect;

// The host: one top-level window with the product's site of one control, its
// ambient properties, and counts of the site calls the tests look at.
class OleTestContainer : public olehost::Site, public TestUnknown {
public:
    OleTestContainer();
    ~OleTestContainer() override;
    OleTestContainer(const OleTestContainer&) = delete;
    OleTestContainer& operator=(const OleTestContainer&) = delete;

    HWND window() const { return Window(); }
    void SetAmbientLong(DISPID id, LONG v);
    void SetAmbientBool(DISPID id, bool v);

    // SetClientSite, then in-place activation when requested.
    HRESULT Embed(IUnknown* control, bool activate);
    // Deactivates, closes and lets go of the site.
    void Unembed();
    IOleObject* object() const { return object_; }
    int showObjectCalls = 0, activateCalls = 0, deactivateCalls = 0;

    // Lives on the stack: the count only guards against use after release.
    STDMETHODIMP_(ULONG) AddRef() override { return addRef(); }
    STDMETHODIMP_(ULONG) Release() override { return release(); }
    STDMETHODIMP ShowObject() override;
    STDMETHODIMP OnInPlaceActivate() override;
    STDMETHODIMP OnInPlaceDeactivate() override;

private:
    IOleObject* object_ = nullptr;
};

// Pumps the thread's pending messages.
void PumpMessages();

}  // namespace qivtest
