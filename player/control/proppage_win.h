// The two property pages of the control as COM objects. Their dialogs are not
// built yet: the IPropertyPage members answer E_NOTIMPL.
#pragma once
#include <windows.h>
#include <ocidl.h>

#include "com/object.h"

class CQivPropertyPage : public qcom::ObjectBase, public IPropertyPage {
public:
    void* comInterface(REFIID iid);
    STDMETHODIMP SetPageSite(IPropertyPageSite* site) override;
    STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL modal) override;
    STDMETHODIMP Deactivate() override;
    STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override;
    STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override;
    STDMETHODIMP Show(UINT cmd) override;
    STDMETHODIMP Move(LPCRECT rect) override;
    STDMETHODIMP IsPageDirty() override;
    STDMETHODIMP Apply() override;
    STDMETHODIMP Help(LPCOLESTR dir) override;
    STDMETHODIMP TranslateAccelerator(MSG* msg) override;
};

class CQivOptionsPage : public CQivPropertyPage {};
class CQivPathsPage : public CQivPropertyPage {};
