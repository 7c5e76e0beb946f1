#include "com/errorinfo.h"

#include <oleauto.h>

namespace qcom {

HRESULT setErrorInfo(HRESULT hr, const wchar_t* description, REFIID iid, const wchar_t* source,
                     const wchar_t* helpFile, DWORD helpContext) {
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create)) || !create) return hr;
    create->SetGUID(iid);
    if (description) create->SetDescription(const_cast<LPOLESTR>(description));
    if (source) create->SetSource(const_cast<LPOLESTR>(source));
    if (helpFile) create->SetHelpFile(const_cast<LPOLESTR>(helpFile));
    create->SetHelpContext(helpContext);
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info))) && info) {
        SetErrorInfo(0, info);
        info->Release();
    }
    create->Release();
    return hr;
}

void clearErrorInfo() { SetErrorInfo(0, nullptr); }

HRESULT ErrorInfoInterfaces::supports(REFIID iid) const {
    for (const IID& i : iids_)
        if (i == iid) return S_OK;
    return S_FALSE;
}

}  // namespace qcom
