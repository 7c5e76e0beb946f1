// One control made through qivCreateInternalControl, owned by the holder: it keeps exactly
// one reference (on IQivPlayer2) and releases it when reset or destroyed.
#pragma once
#include <windows.h>

#include <utility>

#include "qivctl_win.h"
#include "serverparts_win.h"

namespace qivtest {

class ControlRef {
public:
    ControlRef() = default;
    ~ControlRef() { reset(); }
    ControlRef(const ControlRef&) = delete;
    ControlRef& operator=(const ControlRef&) = delete;
    ControlRef(ControlRef&& o) noexcept : p2_(std::exchange(o.p2_, nullptr)) {}
    ControlRef& operator=(ControlRef&& o) noexcept {
        if (this != &o) {
            reset();
            p2_ = std::exchange(o.p2_, nullptr);
        }
        return *this;
    }

    // A new control; empty when creation fails. The creation hands out two references:
    // the holder keeps one.
    static ControlRef create() {
        ControlRef r;
        IQivPlayer* p = qivCreateInternalControl();
        if (!p) return r;
        if (FAILED(p->QueryInterface(IID_IQivPlayer2, reinterpret_cast<void**>(&r.p2_)))) r.p2_ = nullptr;
        p->Release();
        p->Release();
        return r;
    }

    IQivPlayer2* get() const { return p2_; }
    IQivPlayer2* operator->() const { return p2_; }
    explicit operator bool() const { return p2_ != nullptr; }
    CQivPlayerCtl* ctl() const { return p2_ ? static_cast<CQivPlayerCtl*>(p2_) : nullptr; }
    // The first interface of the same control, under the holder's reference.
    IQivPlayer* player1() const { return p2_ ? static_cast<IQivPlayer*>(ctl()) : nullptr; }

    // Releases the reference; returns what Release returned (0: the control is gone).
    ULONG reset() {
        ULONG left = 0;
        if (p2_) left = std::exchange(p2_, nullptr)->Release();
        return left;
    }
    // Hands the reference to the caller.
    IQivPlayer2* detach() { return std::exchange(p2_, nullptr); }

private:
    IQivPlayer2* p2_ = nullptr;
};

}  // namespace qivtest
