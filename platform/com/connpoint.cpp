#include "com/connpoint.h"
#include "com/guard.h"

#include <new>

namespace qcom {

namespace {

inline void hold(const CONNECTDATA& c) {
    if (c.pUnk) c.pUnk->AddRef();
}
inline void drop(const CONNECTDATA& c) {
    if (c.pUnk) c.pUnk->Release();
}
inline void hold(IConnectionPoint* p) {
    if (p) p->AddRef();
}
inline void drop(IConnectionPoint* p) {
    if (p) p->Release();
}

// A snapshot enumerator; holds its items and the object that owns them.
template <class IEnum, class Item>
class Enumerator final : public IEnum {
public:
    Enumerator(std::vector<Item> items, IUnknown* owner, size_t pos = 0)
        : items_(std::move(items)), owner_(owner), pos_(pos) {
        for (const Item& i : items_) hold(i);
        if (owner_) owner_->AddRef();
        moduleLock();
    }
    ~Enumerator() {
        for (const Item& i : items_) drop(i);
        if (owner_) owner_->Release();
        moduleUnlock();
    }
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override try {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == __uuidof(IEnum)) {
            *out = static_cast<IEnum*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    STDMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override try {
        if (!out) return E_POINTER;
        if (count != 1 && !fetched) return E_INVALIDARG;
        ULONG n = 0;
        while (n < count && pos_ < items_.size()) {
            out[n] = items_[pos_++];
            hold(out[n]);
            ++n;
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP Skip(ULONG count) override try {
        size_t left = items_.size() - pos_;
        if (count > left) {
            pos_ = items_.size();
            return S_FALSE;
        }
        pos_ += count;
        return S_OK;
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP Reset() override try {
        pos_ = 0;
        return S_OK;
    } catch (...) { return qcom::exceptionResult(); }
    STDMETHODIMP Clone(IEnum** out) override try {
        if (!out) return E_POINTER;
        *out = nullptr;
        *out = new Enumerator(items_, owner_, pos_);
        return S_OK;
    } catch (...) { return qcom::exceptionResult(); }

private:
    volatile LONG refs_ = 1;
    std::vector<Item> items_;
    IUnknown* owner_;
    size_t pos_;
};

using ConnectionsEnum = Enumerator<IEnumConnections, CONNECTDATA>;
using PointsEnum = Enumerator<IEnumConnectionPoints, IConnectionPoint*>;

}  // namespace

// ---- ConnectionPoint ----

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* owner, REFIID iid) : owner_(owner), iid_(iid) {}

ConnectionPoint::~ConnectionPoint() { unadviseAll(); }

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID iid, void** out) try {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
        *out = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP_(ULONG) ConnectionPoint::AddRef() { return owner_->AddRef(); }
STDMETHODIMP_(ULONG) ConnectionPoint::Release() { return owner_->Release(); }

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid) try {
    if (!iid) return E_POINTER;
    *iid = iid_;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) try {
    if (!out) return E_POINTER;
    *out = owner_;
    owner_->AddRef();
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) try {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    IUnknown* s = nullptr;
    if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(&s))) || !s) return CONNECT_E_CANNOTCONNECT;
    try {
        conns_.push_back({nextCookie_, s});
    } catch (...) {
        s->Release();
        return E_OUTOFMEMORY;
    }
    *cookie = nextCookie_++;
    if (nextCookie_ == 0) nextCookie_ = 1;
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) try {
    for (auto it = conns_.begin(); it != conns_.end(); ++it) {
        if (it->cookie == cookie) {
            IUnknown* s = it->sink;
            conns_.erase(it);
            s->Release();
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
} catch (...) { return qcom::exceptionResult(); }

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** out) try {
    if (!out) return E_POINTER;
    *out = nullptr;
    std::vector<CONNECTDATA> items;
    for (const auto& c : conns_) items.push_back({c.sink, c.cookie});
    *out = new ConnectionsEnum(std::move(items), owner_);
    return S_OK;
} catch (...) { return qcom::exceptionResult(); }

std::vector<ComPtr<IUnknown>> ConnectionPoint::sinks() const {
    std::vector<ComPtr<IUnknown>> out;
    try {
        out.reserve(conns_.size());
        for (const auto& c : conns_) out.emplace_back(c.sink);
    } catch (...) {
        out.clear();
    }
    return out;
}

void ConnectionPoint::unadviseAll() {
    std::vector<Conn> old;
    old.swap(conns_);
    for (const auto& c : old) c.sink->Release();
}

// ---- ConnectionPoints ----

ConnectionPoint& ConnectionPoints::add(REFIID iid) {
    points_.push_back(std::make_unique<ConnectionPoint>(owner_, iid));
    return *points_.back();
}

ConnectionPoint* ConnectionPoints::find(REFIID iid) const {
    for (const auto& p : points_)
        if (p->iid() == iid) return p.get();
    return nullptr;
}

HRESULT ConnectionPoints::findConnectionPoint(REFIID iid, IConnectionPoint** out) const {
    if (!out) return E_POINTER;
    *out = find(iid);
    if (!*out) return CONNECT_E_NOCONNECTION;
    (*out)->AddRef();
    return S_OK;
}

HRESULT ConnectionPoints::enumConnectionPoints(IEnumConnectionPoints** out) const {
    if (!out) return E_POINTER;
    *out = nullptr;
    try {
        std::vector<IConnectionPoint*> items;
        for (const auto& p : points_) items.push_back(p.get());
        *out = new PointsEnum(std::move(items), owner_);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

void ConnectionPoints::unadviseAll() {
    for (auto& p : points_) p->unadviseAll();
}

// ---- DispArgs ----

DispArgs::~DispArgs() {
    for (auto& v : args_) VariantClear(&v);
}

namespace {
VARIANTARG blank(VARTYPE vt) {
    VARIANTARG v;
    VariantInit(&v);
    v.vt = vt;
    return v;
}
}  // namespace

DispArgs& DispArgs::i4(LONG x) {
    VARIANTARG v = blank(VT_I4);
    v.lVal = x;
    args_.push_back(v);
    return *this;
}
DispArgs& DispArgs::r4(float x) {
    VARIANTARG v = blank(VT_R4);
    v.fltVal = x;
    args_.push_back(v);
    return *this;
}
DispArgs& DispArgs::r8(double x) {
    VARIANTARG v = blank(VT_R8);
    v.dblVal = x;
    args_.push_back(v);
    return *this;
}
DispArgs& DispArgs::boolean(bool x) {
    VARIANTARG v = blank(VT_BOOL);
    v.boolVal = x ? VARIANT_TRUE : VARIANT_FALSE;
    args_.push_back(v);
    return *this;
}
DispArgs& DispArgs::bstr(const wchar_t* s) {
    VARIANTARG v = blank(VT_BSTR);
    v.bstrVal = SysAllocString(s ? s : L"");
    args_.push_back(v);
    return *this;
}
DispArgs& DispArgs::bstr(const std::wstring& s) {
    VARIANTARG v = blank(VT_BSTR);
    v.bstrVal = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    args_.push_back(v);
    return *this;
}
DispArgs& DispArgs::variant(const VARIANT& x) {
    VARIANTARG v;
    VariantInit(&v);
    VariantCopy(&v, const_cast<VARIANT*>(&x));
    args_.push_back(v);
    return *this;
}
DispArgs& DispArgs::i4Ref(LONG* p) {
    VARIANTARG v = blank(VT_I4 | VT_BYREF);
    v.plVal = p;
    args_.push_back(v);
    return *this;
}
DispArgs& DispArgs::bstrRef(BSTR* p) {
    VARIANTARG v = blank(VT_BSTR | VT_BYREF);
    v.pbstrVal = p;
    args_.push_back(v);
    return *this;
}
DispArgs& DispArgs::boolRef(VARIANT_BOOL* p) {
    VARIANTARG v = blank(VT_BOOL | VT_BYREF);
    v.pboolVal = p;
    args_.push_back(v);
    return *this;
}
DispArgs& DispArgs::variantRef(VARIANT* p) {
    VARIANTARG v = blank(VT_VARIANT | VT_BYREF);
    v.pvarVal = p;
    args_.push_back(v);
    return *this;
}

DISPPARAMS* DispArgs::params() {
    reversed_.assign(args_.rbegin(), args_.rend());
    dp_.rgvarg = reversed_.empty() ? nullptr : reversed_.data();
    dp_.cArgs = static_cast<UINT>(reversed_.size());
    dp_.rgdispidNamedArgs = nullptr;
    dp_.cNamedArgs = 0;
    return &dp_;
}

// ---- Firing ----

size_t fireEvent(const ConnectionPoint& point, DISPID id, DispArgs& args) {
    size_t n = 0;
    for (const auto& sink : point.sinks()) {
        auto* d = static_cast<IDispatch*>(sink.get());  // held as the point's dispinterface
        // Each sink gets the arguments as the previous one left them.
        d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, args.params(), nullptr, nullptr, nullptr);
        ++n;
    }
    return n;
}

size_t fireEvent(const ConnectionPoint& point, DISPID id) {
    DispArgs none;
    return fireEvent(point, id, none);
}

void PropertyNotifier::freeze(bool on) {
    if (on) ++freeze_;
    else if (freeze_ > 0) --freeze_;
}

void PropertyNotifier::changed(DISPID id) const {
    if (!point_ || frozen()) return;
    for (const auto& sink : point_->sinks()) {
        ComPtr<IPropertyNotifySink> s;
        if (SUCCEEDED(sink.as(s)) && s) s->OnChanged(id);
    }
}

HRESULT PropertyNotifier::requestEdit(DISPID id) const {
    if (!point_ || frozen()) return S_OK;
    for (const auto& sink : point_->sinks()) {
        ComPtr<IPropertyNotifySink> s;
        if (SUCCEEDED(sink.as(s)) && s && s->OnRequestEdit(id) == S_FALSE) return S_FALSE;
    }
    return S_OK;
}

}  // namespace qcom
