// Members not built yet answer E_NOTIMPL; their DISPIDs and v-table slots are final.
#include "qivctl_win.h"

STDMETHODIMP CQivPlayerCtl::get_ObjectUID(BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::get_BackPictureURL(BSTR *pVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::put_BackPictureURL(BSTR newVal) { return E_NOTIMPL; }
STDMETHODIMP CQivPlayerCtl::DisplayThumbnail(BSTR FileName, VARIANT_BOOL *pVal) { return E_NOTIMPL; }
