#include "com/guard.h"
#include "com/module.h"

#include <new>

#include "com/registrar.h"

namespace qcom {

ComModule& module() {
    static ComModule m;
    return m;
}

void moduleLock() { module().lock(); }
void moduleUnlock() { module().unlock(); }

std::wstring widen(const std::string& s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string narrow(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::string guidText(REFGUID g) {
    wchar_t buf[40];
    int n = StringFromGUID2(g, buf, 40);
    return n > 0 ? narrow(std::wstring(buf, static_cast<size_t>(n - 1))) : std::string();
}

// ---- ClassFactory ----

ClassFactory::ClassFactory(CreatorFn create) : create_(create) { InitializeCriticalSection(&cs_); }
ClassFactory::~ClassFactory() { DeleteCriticalSection(&cs_); }

STDMETHODIMP ClassFactory::QueryInterface(REFIID iid, void** out) try {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP_(ULONG) ClassFactory::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

STDMETHODIMP_(ULONG) ClassFactory::Release() {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) try {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    EnterCriticalSection(&cs_);
    HRESULT hr;
    try {
        hr = create_(outer, iid, out);
    } catch (...) {
        hr = E_OUTOFMEMORY;
    }
    LeaveCriticalSection(&cs_);
    return hr;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ClassFactory::LockServer(BOOL lock) try {
    if (lock) module().lock();
    else module().unlock();
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

// ---- ComModule ----

void ComModule::init(HINSTANCE instance, const ClassEntry* classes, size_t count) {
    instance_ = instance;
    if (!csReady_) {
        InitializeCriticalSection(&cs_);
        csReady_ = true;
    }
    slots_.clear();
    for (size_t i = 0; i < count; ++i) slots_.push_back({&classes[i], nullptr});
}

void ComModule::term() {
    for (auto& s : slots_) {
        if (s.factory) s.factory->Release();
        s.factory = nullptr;
    }
    slots_.clear();
    for (auto& c : infos_) c.info->Release();
    infos_.clear();
    if (typeLib_) typeLib_->Release();
    typeLib_ = nullptr;
    while (!atTerm_.empty()) {
        void (*fn)() = atTerm_.back();
        atTerm_.pop_back();
        fn();
    }
    if (csReady_) DeleteCriticalSection(&cs_);
    csReady_ = false;
}

std::wstring ComModule::path() const {
    std::wstring p(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(instance_, p.data(), static_cast<DWORD>(p.size()));
        if (n == 0) return {};
        if (n < p.size()) {
            p.resize(n);
            return p;
        }
        if (p.size() >= 32768) return {};
        p.resize(p.size() * 2);
    }
}

void ComModule::atTerm(void (*fn)()) { atTerm_.push_back(fn); }

LONG ComModule::lock() { return InterlockedIncrement(&locks_); }
LONG ComModule::unlock() { return InterlockedDecrement(&locks_); }

HRESULT ComModule::getClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (auto& s : slots_) {
        if (*s.entry->clsid != clsid) continue;
        if (csReady_) EnterCriticalSection(&cs_);
        if (!s.factory) s.factory = new (std::nothrow) ClassFactory(s.entry->create);
        ClassFactory* f = s.factory;
        if (csReady_) LeaveCriticalSection(&cs_);
        if (!f) return E_OUTOFMEMORY;
        return f->QueryInterface(iid, out);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT ComModule::runScript(unsigned id, RegMode mode, const RegReplacements& extra, LANGID lang,
                             std::string* error) {
    RegReplacements repl = extra;
    repl.insert(repl.begin(), {"MODULE", narrow(path())});
    return regRunResource(instance_, id, lang, repl, mode, error);
}

HRESULT ComModule::updateRegistry(RegMode mode, const RegReplacements& extra, LANGID lang) {
    if (!instance_) return E_INVALIDARG;
    for (const auto& s : slots_) {
        if (!s.entry->registryScript) continue;
        HRESULT hr = runScript(s.entry->registryScript, mode, extra, lang);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT ComModule::typeLib(ITypeLib** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!typeLib_) {
        HRESULT hr = LoadTypeLibEx(path().c_str(), REGKIND_NONE, &typeLib_);
        if (FAILED(hr)) {
            typeLib_ = nullptr;
            return hr;
        }
    }
    typeLib_->AddRef();
    *out = typeLib_;
    return S_OK;
}

HRESULT ComModule::typeInfo(REFGUID guid, ITypeInfo** out) { return cachedInfo(guid, false, out); }

HRESULT ComModule::vtableTypeInfo(REFIID iid, ITypeInfo** out) { return cachedInfo(iid, true, out); }

HRESULT ComModule::cachedInfo(REFGUID guid, bool vtable, ITypeInfo** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (auto& c : infos_) {
        if (c.guid == guid && c.vtable == vtable) {
            c.info->AddRef();
            *out = c.info;
            return S_OK;
        }
    }
    ComPtr<ITypeInfo> info;
    if (vtable) {
        HRESULT hr = cachedInfo(guid, false, info.put());
        if (FAILED(hr)) return hr;
        TYPEATTR* attr = nullptr;
        hr = info->GetTypeAttr(&attr);
        if (FAILED(hr)) return hr;
        const bool dual = attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL);
        info->ReleaseTypeAttr(attr);
        if (dual) {
            HREFTYPE ref = 0;
            ComPtr<ITypeInfo> side;
            hr = info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref);
            if (SUCCEEDED(hr)) hr = info->GetRefTypeInfo(ref, side.put());
            if (FAILED(hr)) return hr;
            info = side;
        }
    } else {
        ComPtr<ITypeLib> lib;
        HRESULT hr = typeLib(lib.put());
        if (FAILED(hr)) return hr;
        hr = lib->GetTypeInfoOfGuid(guid, info.put());
        if (FAILED(hr)) return hr;
    }
    try {
        infos_.push_back({guid, vtable, info.get()});
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    info->AddRef();  // the cache's reference
    return info.copyTo(out);
}

HRESULT ComModule::registerTypeLib() {
    ComPtr<ITypeLib> lib;
    std::wstring p = path();
    HRESULT hr = LoadTypeLibEx(p.c_str(), REGKIND_NONE, lib.put());
    if (FAILED(hr)) return hr;
    return RegisterTypeLib(lib.get(), p.data(), nullptr);
}

HRESULT ComModule::unregisterTypeLib() {
    ComPtr<ITypeLib> lib;
    HRESULT hr = typeLib(lib.put());
    if (FAILED(hr)) return hr;
    TLIBATTR* attr = nullptr;
    hr = lib->GetLibAttr(&attr);
    if (FAILED(hr)) return hr;
    hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
    lib->ReleaseTLibAttr(attr);
    return hr;
}

// ---- Component categories ----

namespace {
HRESULT catRegister(ComPtr<ICatRegister>& out) {
    return CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                            reinterpret_cast<void**>(out.put()));
}
}  // namespace

HRESULT registerCategory(REFCATID catid, const wchar_t* description, LCID lcid) {
    ComPtr<ICatRegister> reg;
    HRESULT hr = catRegister(reg);
    if (FAILED(hr)) return hr;
    CATEGORYINFO info{};
    info.catid = catid;
    info.lcid = lcid;
    size_t n = 0;
    for (; description && description[n] && n < 127; ++n) info.szDescription[n] = description[n];
    info.szDescription[n] = L'\0';
    return reg->RegisterCategories(1, &info);
}

HRESULT implementCategory(REFCLSID clsid, REFCATID catid) {
    ComPtr<ICatRegister> reg;
    HRESULT hr = catRegister(reg);
    if (FAILED(hr)) return hr;
    CATID id = catid;
    return reg->RegisterClassImplCategories(clsid, 1, &id);
}

HRESULT removeImplementedCategory(REFCLSID clsid, REFCATID catid) {
    // A class that does not carry the category has nothing to remove (the
    // manager would fail on the missing key and stop an unregistration).
    wchar_t cls[40] = {}, cat[40] = {};
    StringFromGUID2(clsid, cls, 40);
    StringFromGUID2(catid, cat, 40);
    std::wstring key = std::wstring(L"CLSID\\") + cls + L"\\Implemented Categories\\" + cat;
    HKEY k = nullptr;
    LONG rc = RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k);
    if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND) return S_OK;
    if (rc == ERROR_SUCCESS) RegCloseKey(k);
    ComPtr<ICatRegister> reg;
    HRESULT hr = catRegister(reg);
    if (FAILED(hr)) return hr;
    CATID id = catid;
    return reg->UnRegisterClassImplCategories(clsid, 1, &id);
}

}  // namespace qcom
