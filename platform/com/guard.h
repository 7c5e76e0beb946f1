// The end of every COM method: no C++ exception leaves it. A method body is a
// function-try-block whose handler answers the exception in flight:
//
//   STDMETHODIMP CThing::Do(LONG* out) try {
//       ...
//   } catch (...) { return qcom::exceptionResult(); }
#pragma once
#include <windows.h>

#include <new>

namespace qcom {

// Inside a catch handler: E_OUTOFMEMORY for std::bad_alloc, E_UNEXPECTED for anything else.
inline HRESULT exceptionResult() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace qcom
