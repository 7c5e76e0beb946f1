#include "forms/textutil.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace forms {

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }
char upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }
bool blank(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

std::string LowerCase(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = lower(c);
    return out;
}

std::string UpperCase(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = upper(c);
    return out;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

int CompareText(std::string_view a, std::string_view b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = static_cast<unsigned char>(lower(a[i]));
        const unsigned char y = static_cast<unsigned char>(lower(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string TrimLeft(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && blank(s[i])) ++i;
    return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s) {
    size_t n = s.size();
    while (n > 0 && blank(s[n - 1])) --n;
    return std::string(s.substr(0, n));
}

std::string_view TrimmedView(std::string_view s) {
    size_t i = 0, n = s.size();
    while (i < n && blank(s[i])) ++i;
    while (n > i && blank(s[n - 1])) --n;
    return s.substr(i, n - i);
}

std::string Trim(std::string_view s) { return std::string(TrimmedView(s)); }

bool StartsWithText(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}

std::optional<int32_t> ToInt(std::string_view text) {
    const std::string t = Trim(text);
    std::string_view s = t;
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    } else if (s.size() > 1 && s[0] == '$') {
        base = 16;
        s.remove_prefix(1);
    }
    if (s.empty()) return std::nullopt;
    uint64_t v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    if (base == 16 && !negative && v <= 0xFFFFFFFFull) return static_cast<int32_t>(static_cast<uint32_t>(v));
    if (negative ? v > 0x80000000ull : v > 0x7FFFFFFFull) return std::nullopt;
    return negative ? static_cast<int32_t>(-static_cast<int64_t>(v)) : static_cast<int32_t>(v);
}

std::optional<double> ToFloat(std::string_view text, char localeSeparator) {
    std::string_view t = TrimmedView(text);
    if (t.empty()) return std::nullopt;
    // The locale's separator reads as "." unless the text already has one;
    // only then is the text copied.
    std::string swapped;
    if (localeSeparator != '.' && localeSeparator != 0 && t.find('.') == std::string_view::npos &&
        t.find(localeSeparator) != std::string_view::npos) {
        swapped.assign(t);
        for (char& c : swapped)
            if (c == localeSeparator) c = '.';
        t = swapped;
    }
    for (char c : t)
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return std::nullopt;
    const char* s = t.data();
    const char* last = s + t.size();
    if (*s == '+') ++s;
    double v = 0;
    auto [end, ec] = std::from_chars(s, last, v);
    if (ec != std::errc() || end != last) return std::nullopt;
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

std::string FormatFloat(double v) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    if (ec != std::errc()) return "0";
    return std::string(buf, end);
}

std::string FormatFloatG15(double v) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    if (ec != std::errc()) return "0";
    return std::string(buf, end);
}

namespace {
char g_decimalSeparator = '.';
}

char LocaleDecimalSeparator() { return g_decimalSeparator; }
void SetLocaleDecimalSeparator(char c) { g_decimalSeparator = c ? c : '.'; }

std::string Format(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list copy;
    va_copy(copy, ap);
    const int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out(n > 0 ? size_t(n) : 0, '\0');
    if (n > 0) std::vsnprintf(out.data(), size_t(n) + 1, fmt, ap);
    va_end(ap);
    return out;
}

std::string GetShortHint(const std::string& hint) {
    const size_t bar = hint.find('|');
    return bar == std::string::npos ? hint : hint.substr(0, bar);
}

std::string GetLongHint(const std::string& hint) {
    const size_t bar = hint.find('|');
    return bar == std::string::npos ? hint : hint.substr(bar + 1);
}

}  // namespace forms
