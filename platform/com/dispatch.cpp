#include "com/dispatch.h"

#include "com/module.h"

namespace qcom {

HRESULT dispGetTypeInfo(REFIID iid, UINT index, ITypeInfo** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return module().typeInfo(iid, out);
}

HRESULT dispGetIDsOfNames(REFIID iid, REFIID riid, LPOLESTR* names, UINT count, DISPID* ids) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids) return E_POINTER;
    ComPtr<ITypeInfo> info;
    HRESULT hr = module().typeInfo(iid, info.put());
    if (FAILED(hr)) return hr;
    return info->GetIDsOfNames(names, count, ids);
}

HRESULT dispInvoke(void* instance, REFIID iid, DISPID id, REFIID riid, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excep, UINT* argErr) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    ComPtr<ITypeInfo> info;
    HRESULT hr = module().vtableTypeInfo(iid, info.put());
    if (FAILED(hr)) return hr;
    DISPPARAMS none{};
    if (excep) *excep = EXCEPINFO{};
    hr = info->Invoke(instance, id, flags, params ? params : &none, result, excep, argErr);
    if (hr == DISP_E_EXCEPTION && excep && !excep->bstrDescription) {
        // The member's error object, when the type information did not copy it.
        IErrorInfo* ei = nullptr;
        if (GetErrorInfo(0, &ei) == S_OK && ei) {
            ei->GetDescription(&excep->bstrDescription);
            if (!excep->bstrSource) ei->GetSource(&excep->bstrSource);
            if (!excep->bstrHelpFile) ei->GetHelpFile(&excep->bstrHelpFile);
            ei->GetHelpContext(&excep->dwHelpContext);
            ei->Release();
        }
        if (!excep->scode && !excep->wCode) excep->scode = E_FAIL;
    }
    return hr;
}

}  // namespace qcom
