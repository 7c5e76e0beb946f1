// Connectable objects: connection points with any number of sinks, the
// container's list of points, event firing to dispinterface sinks and the
// property-change notices with freeze.
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <memory>
#include <string>
#include <vector>

#include "com/object.h"

namespace qcom {

// One connection point. It lives inside its container object: its AddRef and
// Release are the container's.
class ConnectionPoint final : public IConnectionPoint {
public:
    ConnectionPoint(IConnectionPointContainer* owner, REFIID iid);
    ~ConnectionPoint();
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override;
    // The sink is asked for the point's interface (CONNECT_E_CANNOTCONNECT without it).
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** out) override;

    REFIID iid() const { return iid_; }
    size_t count() const { return conns_.size(); }
    // The sinks connected now (as the point's interface), each held, in the order
    // they connected: firing goes on safely while handlers advise or unadvise.
    std::vector<ComPtr<IUnknown>> sinks() const;
    void unadviseAll();

private:
    struct Conn {
        DWORD cookie;
        IUnknown* sink;
    };
    IConnectionPointContainer* owner_;
    IID iid_;
    std::vector<Conn> conns_;
    DWORD nextCookie_ = 1;
};

// The points of a container object, for its IConnectionPointContainer members.
class ConnectionPoints {
public:
    explicit ConnectionPoints(IConnectionPointContainer* owner) : owner_(owner) {}
    ConnectionPoint& add(REFIID iid);
    ConnectionPoint* find(REFIID iid) const;
    HRESULT findConnectionPoint(REFIID iid, IConnectionPoint** out) const;
    HRESULT enumConnectionPoints(IEnumConnectionPoints** out) const;
    void unadviseAll();

private:
    IConnectionPointContainer* owner_;
    std::vector<std::unique_ptr<ConnectionPoint>> points_;
};

// Arguments of an event, given in the order of the event's parameters.
// Strings are allocated for the call and freed afterwards; by-reference
// arguments point at the caller's variable, which holds what the sinks left.
class DispArgs {
public:
    DispArgs() = default;
    DispArgs(const DispArgs&) = delete;
    DispArgs& operator=(const DispArgs&) = delete;
    ~DispArgs();
    DispArgs& i4(LONG v);
    DispArgs& r4(float v);
    DispArgs& r8(double v);
    DispArgs& boolean(bool v);  // VT_BOOL
    DispArgs& bstr(const wchar_t* s);
    DispArgs& bstr(const std::wstring& s);
    DispArgs& variant(const VARIANT& v);  // copied
    DispArgs& i4Ref(LONG* p);             // VT_I4 | VT_BYREF
    DispArgs& bstrRef(BSTR* p);           // VT_BSTR | VT_BYREF
    DispArgs& boolRef(VARIANT_BOOL* p);   // VT_BOOL | VT_BYREF
    DispArgs& variantRef(VARIANT* p);     // VT_VARIANT | VT_BYREF
    // Reversed, as DISPPARAMS wants them; valid until the next change.
    DISPPARAMS* params();

private:
    std::vector<VARIANTARG> args_;
    std::vector<VARIANTARG> reversed_;
    DISPPARAMS dp_{};
};

// Calls Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD) on every sink
// of a point whose interface is a dispinterface. Results are not looked at; a
// failing sink does not stop the others. Gives the number of sinks called.
size_t fireEvent(const ConnectionPoint& point, DISPID id, DispArgs& args);
size_t fireEvent(const ConnectionPoint& point, DISPID id);

// IPropertyNotifySink notices through a point, with a freeze count: while
// frozen, no OnChanged and no OnRequestEdit is sent.
class PropertyNotifier {
public:
    explicit PropertyNotifier(const ConnectionPoint* point = nullptr) : point_(point) {}
    void setPoint(const ConnectionPoint* point) { point_ = point; }
    void freeze(bool on);  // counts up and down (never below 0)
    bool frozen() const { return freeze_ > 0; }
    LONG freezeCount() const { return freeze_; }
    // OnChanged(id) on every sink, unless frozen.
    void changed(DISPID id) const;
    // OnRequestEdit(id): S_FALSE when a sink refuses, else S_OK (also while frozen).
    HRESULT requestEdit(DISPID id) const;

private:
    const ConnectionPoint* point_;
    LONG freeze_ = 0;
};

}  // namespace qcom
