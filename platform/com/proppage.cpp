#include "com/guard.h"
#include "com/proppage.h"

#include <cstring>

#include "com/module.h"

namespace qcom {

namespace {

HINSTANCE resourceInstance() { return module().instance() ? module().instance() : GetModuleHandleW(nullptr); }

LPOLESTR taskString(const std::wstring& s) {
    auto* p = static_cast<LPOLESTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(wchar_t)));
    if (p) std::memcpy(p, s.c_str(), (s.size() + 1) * sizeof(wchar_t));
    return p;
}

}  // namespace

PropertyPageBase::PropertyPageBase(PropertyPageConfig config) : config_(std::move(config)) {}

PropertyPageBase::~PropertyPageBase() {
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
        DestroyWindow(hwnd_);
    }
}

void* PropertyPageBase::comInterface(REFIID iid) {
    if (iid == IID_IUnknown || iid == IID_IPropertyPage) return static_cast<IPropertyPage*>(this);
    return nullptr;
}

void PropertyPageBase::finalRelease() {
    Deactivate();
    objects_.clear();
    site_.reset();
}

STDMETHODIMP PropertyPageBase::SetPageSite(IPropertyPageSite* site) try {
    site_ = ComPtr<IPropertyPageSite>(site);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

INT_PTR CALLBACK PropertyPageBase::dialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lp);
        reinterpret_cast<PropertyPageBase*>(lp)->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<PropertyPageBase*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) return FALSE;
    INT_PTR r = msg == WM_INITDIALOG ? TRUE : FALSE;
    try {
        bool handled = false;
        INT_PTR mine = self->onDialogMessage(msg, wp, lp, handled);
        if (handled) r = mine;
    } catch (...) {
    }
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
    }
    return r;
}

STDMETHODIMP PropertyPageBase::Activate(HWND parent, LPCRECT rect, BOOL) try {
    if (!rect) return E_POINTER;
    if (hwnd_) return E_UNEXPECTED;
    HWND h = CreateDialogParamW(resourceInstance(), MAKEINTRESOURCEW(config_.dialogId), parent, dialogProc,
                                reinterpret_cast<LPARAM>(this));
    if (!h) return HRESULT_FROM_WIN32(GetLastError() ? GetLastError() : ERROR_RESOURCE_NAME_NOT_FOUND);
    hwnd_ = h;
    MoveWindow(h, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, FALSE);
    try {
        onActivated();
    } catch (...) {
    }
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP PropertyPageBase::Deactivate() try {
    if (!hwnd_) return S_OK;
    try {
        onDeactivating();
    } catch (...) {
    }
    if (hwnd_) DestroyWindow(hwnd_);
    hwnd_ = nullptr;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

SIZE PropertyPageBase::templateSize() const {
    if (config_.size.cx > 0 && config_.size.cy > 0) return config_.size;
    SIZE px{0, 0};
    HINSTANCE inst = resourceInstance();
    HRSRC res = FindResourceW(inst, MAKEINTRESOURCEW(config_.dialogId), reinterpret_cast<LPCWSTR>(RT_DIALOG));
    HGLOBAL g = res ? LoadResource(inst, res) : nullptr;
    const auto* p = g ? static_cast<const BYTE*>(LockResource(g)) : nullptr;
    DWORD size = res ? SizeofResource(inst, res) : 0;
    auto word = [&](size_t at) -> int { return at + 2 <= size ? static_cast<short>(p[at] | p[at + 1] << 8) : 0; };
    if (!p) return px;
    // DLGTEMPLATEEX: version 1, signature 0xFFFF, help id, styles, count, x, y, cx, cy;
    // DLGTEMPLATE: style, extended style, count, x, y, cx, cy.
    const bool ex = word(0) == 1 && word(2) == -1;
    int cx = ex ? word(22) : word(14), cy = ex ? word(24) : word(16);
    LONG base = GetDialogBaseUnits();
    px.cx = MulDiv(cx, LOWORD(base), 4);
    px.cy = MulDiv(cy, HIWORD(base), 8);
    return px;
}

STDMETHODIMP PropertyPageBase::GetPageInfo(PROPPAGEINFO* info) try {
    if (!info) return E_POINTER;
    std::wstring title = config_.title;
    if (title.empty() && config_.titleId) {
        const wchar_t* s = nullptr;
        int n = LoadStringW(resourceInstance(), config_.titleId, reinterpret_cast<LPWSTR>(&s), 0);
        if (n > 0 && s) title.assign(s, static_cast<size_t>(n));
    }
    info->cb = sizeof(PROPPAGEINFO);
    info->pszTitle = taskString(title);
    info->size = templateSize();
    info->pszDocString = nullptr;
    info->pszHelpFile = config_.helpFile.empty() ? nullptr : taskString(config_.helpFile);
    info->dwHelpContext = 0;
    return info->pszTitle ? S_OK : E_OUTOFMEMORY;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP PropertyPageBase::SetObjects(ULONG count, IUnknown** objects) try {
    if (count && !objects) return E_POINTER;
    std::vector<ComPtr<IUnknown>> list;
    for (ULONG i = 0; i < count; ++i)
        if (objects[i]) list.emplace_back(objects[i]);
    objects_.swap(list);
    try {
        onObjectsChanged();
    } catch (...) {
    }
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP PropertyPageBase::Show(UINT cmd) try {
    if (!hwnd_) return E_UNEXPECTED;
    ShowWindow(hwnd_, static_cast<int>(cmd));
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP PropertyPageBase::Move(LPCRECT rect) try {
    if (!rect) return E_POINTER;
    if (!hwnd_) return E_UNEXPECTED;
    MoveWindow(hwnd_, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP PropertyPageBase::IsPageDirty() try {
    return dirty_ ? S_OK : S_FALSE;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP PropertyPageBase::Apply() try {
    HRESULT hr;
    hr = onApply();
    if (SUCCEEDED(hr)) dirty_ = false;
    return hr;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP PropertyPageBase::Help(LPCOLESTR) { return E_NOTIMPL; }

STDMETHODIMP PropertyPageBase::TranslateAccelerator(MSG* msg) try {
    if (!msg) return E_POINTER;
    return hwnd_ && IsDialogMessageW(hwnd_, msg) ? S_OK : S_FALSE;
} catch (...) { return qcom::exceptionResult(); }

void PropertyPageBase::setDirty(bool dirty) {
    dirty_ = dirty;
    if (site_) site_->OnStatusChange(dirty ? PROPPAGESTATUS_DIRTY | PROPPAGESTATUS_VALIDATE : PROPPAGESTATUS_CLEAN);
}

}  // namespace qcom
