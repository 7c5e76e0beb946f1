// Members not built yet answer E_NOTIMPL; their DISPIDs and v-table slots are final.
#include "qivctl_win.h"

STDMETHODIMP CQivPlayerCtl::get_EnabledMenus(LONG *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::put_EnabledMenus(LONG newVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::GetSubAnimationInfo(LONG Index, BSTR *Name, float *StartTime, float *EndTime, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::StartSubAnimation(LONG Index, VARIANT_BOOL repeat, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::Show2DView(VARIANT_BOOL view2D) { return E_NOTIMPL; }
