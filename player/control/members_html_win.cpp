// Members not built yet answer E_NOTIMPL; their DISPIDs and v-table slots are final.
#include "qivctl_win.h"

STDMETHODIMP CQivPlayerCtl::get_VisuDLL(BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::CopyHtmlCode(qivHtmlType htmlStyle, BSTR realObjectUrl) { return E_NOTIMPL; }
