#pragma once
// Texts between the system's ANSI code page (or another one) and UTF-16, and BSTRs.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

namespace win {

inline std::string Ansi(const wchar_t* s, size_t length, UINT codePage = CP_ACP) {
    if (!s || !length) return {};
    const int n = WideCharToMultiByte(codePage, 0, s, int(length), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(codePage, 0, s, int(length), out.data(), n, nullptr, nullptr);
    return out;
}

inline std::string Ansi(const wchar_t* s) { return s ? Ansi(s, wcslen(s)) : std::string(); }
inline std::string AnsiOfBstr(BSTR s) { return Ansi(s, s ? SysStringLen(s) : 0); }

inline std::wstring Wide(std::string_view s, UINT codePage = CP_ACP) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(codePage, 0, s.data(), int(s.size()), nullptr, 0);
    std::wstring out(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(codePage, 0, s.data(), int(s.size()), out.data(), n);
    return out;
}

// A new BSTR of an ANSI text (empty, not null, for an empty text); null when out of memory.
inline BSTR AllocBstr(std::string_view s) {
    const std::wstring w = Wide(s);
    return SysAllocStringLen(w.data(), UINT(w.size()));
}

// A BSTR freed when it goes out of scope.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::string_view s) {
        const std::wstring w = Wide(s);
        b_ = SysAllocStringLen(w.data(), UINT(w.size()));
    }
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return b_; }
    BSTR* out() {
        SysFreeString(b_);
        b_ = nullptr;
        return &b_;
    }
    std::string ansi() const { return AnsiOfBstr(b_); }

private:
    BSTR b_ = nullptr;
};

}  // namespace win
