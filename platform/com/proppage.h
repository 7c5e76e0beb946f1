// A property page on a dialog resource of the module: IPropertyPage with the
// page site, the objects it edits and the dirty state; the page class supplies
// the dialog's behaviour and Apply.
//
//   class CPage : public qcom::PropertyPageBase {
//   public:
//       CPage() : PropertyPageBase(config()) {}
//   protected:
//       void onActivated() override;              // fill the controls from objects()
//       HRESULT onApply() override;                // write the controls into objects()
//       INT_PTR onDialogMessage(UINT, WPARAM, LPARAM, bool& handled) override;  // call setDirty(true) on edits
//   };
//   made by ComObject<CPage> (its comInterface is this base's).
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <string>
#include <vector>

#include "com/object.h"

namespace qcom {

struct PropertyPageConfig {
    unsigned dialogId = 0;       // DIALOG resource of the module
    std::wstring title;          // page title; empty: string resource titleId
    unsigned titleId = 0;
    SIZE size{0, 0};             // pixels; 0: from the dialog template
    std::wstring helpFile;
};

class PropertyPageBase : public ObjectBase, public IPropertyPage {
public:
    explicit PropertyPageBase(PropertyPageConfig config);
    ~PropertyPageBase() override;
    PropertyPageBase(const PropertyPageBase&) = delete;
    PropertyPageBase& operator=(const PropertyPageBase&) = delete;

    void* comInterface(REFIID iid);
    void finalRelease() override;

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

    HWND hwnd() const { return hwnd_; }
    const std::vector<ComPtr<IUnknown>>& objects() const { return objects_; }
    IPropertyPageSite* pageSite() const { return site_.get(); }
    // Marks the page changed (or not) and tells the site.
    void setDirty(bool dirty);
    bool dirty() const { return dirty_; }

protected:
    virtual void onActivated() {}
    virtual void onDeactivating() {}
    virtual void onObjectsChanged() {}
    virtual HRESULT onApply() { return S_OK; }
    virtual INT_PTR onDialogMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) { return 0; }

private:
    static INT_PTR CALLBACK dialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    SIZE templateSize() const;

    PropertyPageConfig config_;
    ComPtr<IPropertyPageSite> site_;
    std::vector<ComPtr<IUnknown>> objects_;
    HWND hwnd_ = nullptr;
    bool dirty_ = false;
};

}  // namespace qcom
