// A host of the control's tests whose document is a web page: the client site's container
// moniker is a URL moniker of the page (none while page is empty).
#pragma once
#include <windows.h>
#include <urlmon.h>

#include <string>

#include "olecontainer.h"

namespace qivtest {

class WebPageHost : public OleTestContainer {
public:
    std::wstring page;
    STDMETHODIMP GetMoniker(DWORD, DWORD which, IMoniker** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (page.empty() || which != OLEWHICHMK_CONTAINER) return E_NOTIMPL;
        return CreateURLMoniker(nullptr, page.c_str(), out);
    }
};

}  // namespace qivtest
