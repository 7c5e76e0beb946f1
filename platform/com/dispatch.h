// IDispatch of a dual interface, done by the interface's own type information
// from the module's type library. Each dual interface of an object derives from
// its own Dual<I>, so Invoke on that interface's table runs that interface's
// members: DISPIDs of two interfaces may collide.
//
//   class CThing : public qcom::ObjectBase, public qcom::Dual<IThing2>, public qcom::Dual<IThing> { ... };
#pragma once
#include <windows.h>
#include <oleauto.h>

#include "com/guard.h"
#include "com/object.h"

namespace qcom {

// The helpers behind Dual<I>; iid names the interface's type information.
HRESULT dispGetTypeInfo(REFIID iid, UINT index, ITypeInfo** out);
HRESULT dispGetIDsOfNames(REFIID iid, REFIID riid, LPOLESTR* names, UINT count, DISPID* ids);
// Calls through the v-table of instance (a pointer to the interface iid). A
// member's failing HRESULT comes back as DISP_E_EXCEPTION with its code and the
// texts of its error object in EXCEPINFO.
HRESULT dispInvoke(void* instance, REFIID iid, DISPID id, REFIID riid, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excep, UINT* argErr);

template <class I>
class Dual : public I {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override try {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** out) override try {
        return dispGetTypeInfo(__uuidof(I), index, out);
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override try {
        return dispGetIDsOfNames(__uuidof(I), riid, names, count, ids);
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excep, UINT* argErr) override try {
        // The object outlives a member whose events make the caller let it go.
        ComPtr<I> keep(static_cast<I*>(this));
        return dispInvoke(static_cast<I*>(this), __uuidof(I), id, riid, flags, params, result, excep, argErr);
    } catch (...) { return qcom::exceptionResult(); }

protected:
    I* dualInterface() { return static_cast<I*>(this); }
};

}  // namespace qcom
