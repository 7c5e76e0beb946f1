// COM object basics: interface pointer holder, object base, reference-counted
// object wrapper, BSTR holder.
//
// A class T derives from ObjectBase and from the interfaces it serves, and maps
// interface identifiers to its own pointers in
//     void* comInterface(REFIID iid);        // nullptr when not served
// ComObject<T> is the final class: it adds IUnknown (reference count, QueryInterface
// through T::comInterface) and holds one module lock while the object lives.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <string>
#include <utility>

#include "com/guard.h"

namespace qcom {

// Owning interface pointer (one reference).
template <class I>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(I* p) : p_(p) {  // adds a reference
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ~ComPtr() { reset(); }
    ComPtr& operator=(const ComPtr& o) {
        ComPtr(o).swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& o) noexcept {
        ComPtr(std::move(o)).swap(*this);
        return *this;
    }
    // Takes over a reference the caller owns.
    static ComPtr attach(I* p) {
        ComPtr c;
        c.p_ = p;
        return c;
    }
    I* detach() { return std::exchange(p_, nullptr); }
    void reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    void swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }
    I* get() const { return p_; }
    I* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out parameters: releases what is held first.
    I** put() {
        reset();
        return &p_;
    }
    template <class Q>
    HRESULT as(ComPtr<Q>& out) const {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(__uuidof(Q), reinterpret_cast<void**>(out.put()));
    }
    HRESULT copyTo(I** out) const {
        if (!out) return E_POINTER;
        *out = p_;
        if (p_) p_->AddRef();
        return S_OK;
    }

private:
    I* p_ = nullptr;
};

// Owning BSTR.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const wchar_t* s) : b_(s ? SysAllocString(s) : nullptr) {}
    explicit Bstr(const std::wstring& s) : b_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& o) noexcept : b_(std::exchange(o.b_, nullptr)) {}
    Bstr& operator=(Bstr&& o) noexcept {
        if (this != &o) {
            SysFreeString(b_);
            b_ = std::exchange(o.b_, nullptr);
        }
        return *this;
    }
    ~Bstr() { SysFreeString(b_); }
    static Bstr attach(BSTR b) {
        Bstr s;
        s.b_ = b;
        return s;
    }
    BSTR get() const { return b_; }
    BSTR detach() { return std::exchange(b_, nullptr); }
    BSTR* put() {
        SysFreeString(b_);
        b_ = nullptr;
        return &b_;
    }
    UINT length() const { return SysStringLen(b_); }
    std::wstring str() const { return b_ ? std::wstring(b_, SysStringLen(b_)) : std::wstring(); }

private:
    BSTR b_ = nullptr;
};

// Counts on the module lock (DllCanUnloadNow); module.cpp.
void moduleLock();
void moduleUnlock();

// Base of every object of the layer.
class ObjectBase {
public:
    virtual ~ObjectBase() = default;
    // After construction, with one reference held; a failure destroys the object.
    virtual HRESULT finalConstruct() { return S_OK; }
    // Before destruction, while the whole object is still intact.
    virtual void finalRelease() {}
};

template <class T>
class ComObject final : public T {
public:
    template <class... A>
    explicit ComObject(A&&... a) : T(std::forward<A>(a)...) {
        moduleLock();
    }
    ~ComObject() override { moduleUnlock(); }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override try {
        if (!out) return E_POINTER;
        *out = this->comInterface(iid);
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) {
            refs_ = 1;  // guards against re-entry from finalRelease
            this->finalRelease();
            delete this;
        }
        return static_cast<ULONG>(n);
    }

    // Makes an object and gives its interface iid. No aggregation: an outer
    // unknown gives CLASS_E_NOAGGREGATION. A failed allocation gives
    // E_OUTOFMEMORY; a failed construction or query destroys the object.
    template <class... A>
    static HRESULT create(IUnknown* outer, REFIID iid, void** out, A&&... args) {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        ComObject* o;
        try {
            o = new ComObject(std::forward<A>(args)...);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        o->AddRef();
        HRESULT hr = o->finalConstruct();
        if (SUCCEEDED(hr)) hr = o->QueryInterface(iid, out);
        o->Release();
        return hr;
    }

    // Class-factory creator (see ClassEntry in module.h).
    static HRESULT creator(IUnknown* outer, REFIID iid, void** out) { return create(outer, iid, out); }

    LONG refCount() const { return refs_; }

private:
    volatile LONG refs_ = 0;
};

// UTF-8 <-> UTF-16.
std::wstring widen(const std::string& s);
std::string narrow(const std::wstring& s);

}  // namespace qcom
