#include "proppage_win.h"

void* CQivPropertyPage::comInterface(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPropertyPage)) return static_cast<IPropertyPage*>(this);
    return nullptr;
}

STDMETHODIMP CQivPropertyPage::SetPageSite(IPropertyPageSite*) { return E_NOTIMPL; }
STDMETHODIMP CQivPropertyPage::Activate(HWND, LPCRECT, BOOL) { return E_NOTIMPL; }
STDMETHODIMP CQivPropertyPage::Deactivate() { return E_NOTIMPL; }
STDMETHODIMP CQivPropertyPage::GetPageInfo(PROPPAGEINFO*) { return E_NOTIMPL; }
STDMETHODIMP CQivPropertyPage::SetObjects(ULONG, IUnknown**) { return E_NOTIMPL; }
STDMETHODIMP CQivPropertyPage::Show(UINT) { return E_NOTIMPL; }
STDMETHODIMP CQivPropertyPage::Move(LPCRECT) { return E_NOTIMPL; }
STDMETHODIMP CQivPropertyPage::IsPageDirty() { return E_NOTIMPL; }
STDMETHODIMP CQivPropertyPage::Apply() { return E_NOTIMPL; }
STDMETHODIMP CQivPropertyPage::Help(LPCOLESTR) { return E_NOTIMPL; }
STDMETHODIMP CQivPropertyPage::TranslateAccelerator(MSG*) { return E_NOTIMPL; }
