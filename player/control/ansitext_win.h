// Texts between the control's ANSI code page and UTF-16.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

inline std::string qivAnsiOf(const wchar_t* s, size_t length) {
    if (!s || !length) return {};
    const int n = WideCharToMultiByte(CP_ACP, 0, s, int(length), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, s, int(length), out.data(), n, nullptr, nullptr);
    return out;
}

inline std::string qivAnsiOf(BSTR s) { return qivAnsiOf(s, s ? SysStringLen(s) : 0); }

inline std::wstring qivWideOf(const std::string& s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, s.data(), int(s.size()), nullptr, 0);
    std::wstring out(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, s.data(), int(s.size()), out.data(), n);
    return out;
}
