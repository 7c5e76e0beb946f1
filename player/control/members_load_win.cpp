#include "com/guard.h"
#include "qivctl_win.h"

STDMETHODIMP CQivPlayerCtl::get_HasThumbnail(VARIANT_BOOL *pVal) try {
    if (!pVal) return E_POINTER;
    *pVal = PreviewShown() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }
