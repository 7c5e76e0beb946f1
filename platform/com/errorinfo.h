// Rich error information: an error object for the calling thread, and the
// answer to ISupportErrorInfo.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <initializer_list>
#include <vector>

namespace qcom {

// Sets the thread's error object (description, source, interface, help) and
// returns hr, so a member can end with  return setErrorInfo(E_FAIL, L"...", IID_IThing);
HRESULT setErrorInfo(HRESULT hr, const wchar_t* description, REFIID iid = GUID_NULL, const wchar_t* source = nullptr,
                     const wchar_t* helpFile = nullptr, DWORD helpContext = 0);
// Clears the thread's error object.
void clearErrorInfo();

// The interfaces whose members set error objects.
class ErrorInfoInterfaces {
public:
    ErrorInfoInterfaces() = default;
    ErrorInfoInterfaces(std::initializer_list<IID> iids) : iids_(iids) {}
    void add(REFIID iid) { iids_.push_back(iid); }
    // The ISupportErrorInfo answer: S_OK or S_FALSE.
    HRESULT supports(REFIID iid) const;

private:
    std::vector<IID> iids_;
};

}  // namespace qcom
