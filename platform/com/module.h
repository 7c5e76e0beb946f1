// The module of an in-process server (or of a program with COM classes): lock
// count, class map and class factories, registration through scripts, the
// module's type library and its type information.
//
// A server keeps one static table of ClassEntry and calls, from its exports:
//   DllMain attach:        qcom::module().init(instance, kClasses, count);
//   DllMain detach:        qcom::module().term();
//   DllGetClassObject:     return qcom::module().getClassObject(clsid, iid, out);
//   DllCanUnloadNow:       return qcom::module().canUnloadNow();
//   DllRegisterServer:     module().updateRegistry(RegMode::Register), module().registerTypeLib(), ...
#pragma once
#include <windows.h>
#include <comcat.h>
#include <ole2.h>

#include <string>
#include <vector>

#include "com/object.h"
#include "com/regscript.h"

namespace qcom {

using CreatorFn = HRESULT (*)(IUnknown* outer, REFIID iid, void** out);

struct ClassEntry {
    const CLSID* clsid;
    CreatorFn create;         // instance creator, e.g. ComObject<T>::creator
    unsigned registryScript;  // REGISTRY resource id of its script, 0 for none
};

// One standard class factory: CreateInstance through the creator under its own
// critical section; LockServer counts in the module lock count. Its own
// references do not hold the module.
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(CreatorFn create);
    ~ClassFactory();
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // An outer unknown is passed on only with IID_IUnknown, else CLASS_E_NOAGGREGATION.
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    volatile LONG refs_ = 1;
    CreatorFn create_;
    CRITICAL_SECTION cs_;
};

class ComModule {
public:
    // Process attach. The table must outlive the module.
    void init(HINSTANCE instance, const ClassEntry* classes, size_t count);
    // Process detach: class objects and the type library released, then the
    // functions given to atTerm run (last given first).
    void term();
    void atTerm(void (*fn)());

    HINSTANCE instance() const { return instance_; }
    std::wstring path() const;  // full path of the module file

    LONG lock();
    LONG unlock();
    LONG lockCount() const { return locks_; }

    // Class object of a class of the map (made on first request and kept);
    // CLASS_E_CLASSNOTAVAILABLE for any other class.
    HRESULT getClassObject(REFCLSID clsid, REFIID iid, void** out);
    HRESULT canUnloadNow() const { return locks_ == 0 ? S_OK : S_FALSE; }

    // Runs the registration script of every class of the map, in map order, with
    // %MODULE% = path() and the extra replacements; the first failure is returned.
    // lang 0: the script in the language the system prefers (see registrar.h).
    HRESULT updateRegistry(RegMode mode, const RegReplacements& extra = {}, LANGID lang = 0);
    // One REGISTRY resource of the module, with %MODULE% and the extra replacements.
    HRESULT runScript(unsigned resourceId, RegMode mode, const RegReplacements& extra = {}, LANGID lang = 0,
                      std::string* error = nullptr);

    // TYPELIB resource 1 of the module.
    HRESULT registerTypeLib();
    HRESULT unregisterTypeLib();
    HRESULT typeLib(ITypeLib** out);
    // Type information of an interface, dispinterface or class of the type
    // library, kept once loaded.
    HRESULT typeInfo(REFGUID guid, ITypeInfo** out);
    // For a dual interface, its v-table side (what ITypeInfo::Invoke calls
    // through); for anything else the same as typeInfo.
    HRESULT vtableTypeInfo(REFIID iid, ITypeInfo** out);

private:
    struct Slot {
        const ClassEntry* entry;
        ClassFactory* factory;
    };
    struct CachedInfo {
        GUID guid;
        bool vtable;
        ITypeInfo* info;
    };
    HRESULT cachedInfo(REFGUID guid, bool vtable, ITypeInfo** out);
    HINSTANCE instance_ = nullptr;
    std::vector<Slot> slots_;
    volatile LONG locks_ = 0;
    ITypeLib* typeLib_ = nullptr;
    std::vector<CachedInfo> infos_;
    std::vector<void (*)()> atTerm_;
    CRITICAL_SECTION cs_{};
    bool csReady_ = false;
};

// The module of this binary.
ComModule& module();

// Component categories through the standard categories manager. The description
// is registered for the given locale and cut to 127 characters.
HRESULT registerCategory(REFCATID catid, const wchar_t* description, LCID lcid = 1033);
HRESULT implementCategory(REFCLSID clsid, REFCATID catid);
// S_OK when the class does not carry the category.
HRESULT removeImplementedCategory(REFCLSID clsid, REFCATID catid);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in UTF-8, for script replacements.
std::string guidText(REFGUID guid);

}  // namespace qcom
