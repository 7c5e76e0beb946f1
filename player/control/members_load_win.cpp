// Members not built yet answer E_NOTIMPL; their DISPIDs and v-table slots are final.
#include "qivctl_win.h"

STDMETHODIMP CQivPlayerCtl::get_HasThumbnail(VARIANT_BOOL *pVal) { return E_NOTIMPL; }
