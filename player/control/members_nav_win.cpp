// Members not built yet answer E_NOTIMPL; their DISPIDs and v-table slots are final.
#include "qivctl_win.h"

STDMETHODIMP CQivPlayerCtl::SaveMiniBitmap(BSTR FileName, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::DisableUserMovements(LONG newMask, LONG *oldMask) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::WalkThroughStep(qivWalkThroughDirection dir, float howFar, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
