#include "invariantnum.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace qivctl {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

size_t skipBlanks(std::string_view t, size_t i) {
    while (i < t.size() && isBlank(t[i])) ++i;
    return i;
}

// Length of the decimal number syntax at t[i..]: digits, '.', digits, exponent.
// 0 when there is no digit in the mantissa.
size_t numberSyntax(std::string_view t, size_t i) {
    size_t j = i, digits = 0;
    while (j < t.size() && isDigit(t[j])) ++j, ++digits;
    if (j < t.size() && t[j] == '.') {
        ++j;
        while (j < t.size() && isDigit(t[j])) ++j, ++digits;
    }
    if (digits == 0) return 0;
    if (j < t.size() && (t[j] == 'e' || t[j] == 'E')) {
        size_t k = j + 1;
        if (k < t.size() && (t[k] == '+' || t[k] == '-')) ++k;
        if (k < t.size() && isDigit(t[k])) {
            while (k < t.size() && isDigit(t[k])) ++k;
            j = k;
        }
    }
    return j - i;
}

std::string toChars(double v, std::chars_format fmt, int precision) {
    char buf[400];
    if (precision < 0) precision = 6;
    if (precision > 60) precision = 60;
    auto r = std::to_chars(buf, buf + sizeof buf, v, fmt, precision);
    if (r.ec != std::errc()) return std::string();
    return std::string(buf, r.ptr);
}

std::string nonFinite(double v) {
    if (std::isnan(v)) return std::signbit(v) ? "-nan" : "nan";
    return v < 0 ? "-inf" : "inf";
}

}  // namespace

bool parseInvariantDoublePrefix(std::string_view text, double* out, size_t* used) {
    size_t i = skipBlanks(text, 0);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    size_t n = numberSyntax(text, i);
    if (n == 0) return false;
    double v = 0;
    auto r = std::from_chars(text.data() + i, text.data() + i + n, v, std::chars_format::general);
    if (r.ec != std::errc() || !std::isfinite(v)) return false;
    if (out) *out = negative ? -v : v;
    if (used) *used = size_t(r.ptr - text.data());
    return true;
}

bool parseInvariantDouble(std::string_view text, double* out) {
    size_t used = 0;
    double v = 0;
    if (!parseInvariantDoublePrefix(text, &v, &used)) return false;
    if (skipBlanks(text, used) != text.size()) return false;
    if (out) *out = v;
    return true;
}

bool parseInvariantFloat(std::string_view text, float* out) {
    size_t i = skipBlanks(text, 0);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    size_t n = numberSyntax(text, i);
    if (n == 0 || skipBlanks(text, i + n) != text.size()) return false;
    // Straight to float: no second rounding through double.
    float v = 0;
    auto r = std::from_chars(text.data() + i, text.data() + i + n, v, std::chars_format::general);
    if (r.ec != std::errc() || !std::isfinite(v)) return false;
    if (out) *out = negative ? -v : v;
    return true;
}

double invariantStrtod(std::string_view text, size_t* used) {
    double v = 0;
    size_t n = 0;
    if (!parseInvariantDoublePrefix(text, &v, &n)) {
        if (used) *used = 0;
        return 0.0;
    }
    if (used) *used = n;
    return v;
}

int32_t invariantStrtol(std::string_view text, size_t* used) {
    size_t i = skipBlanks(text, 0);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size() || !isDigit(text[i])) {
        if (used) *used = 0;
        return 0;
    }
    int64_t v = 0;
    while (i < text.size() && isDigit(text[i])) {
        if (v <= int64_t(1) << 32) v = v * 10 + (text[i] - '0');
        ++i;
    }
    if (used) *used = i;
    if (negative) v = -v;
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return int32_t(v);
}

bool parseInvariantInt32(std::string_view text, int32_t* out) {
    size_t i = skipBlanks(text, 0);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size() || !isDigit(text[i])) return false;
    int64_t v = 0;
    while (i < text.size() && isDigit(text[i])) {
        v = v * 10 + (text[i] - '0');
        if (v > (int64_t(1) << 31)) return false;
        ++i;
    }
    if (skipBlanks(text, i) != text.size()) return false;
    if (negative) v = -v;
    if (v > std::numeric_limits<int32_t>::max() || v < std::numeric_limits<int32_t>::min()) return false;
    if (out) *out = int32_t(v);
    return true;
}

std::string formatInvariantG(double v, int precision) {
    if (!std::isfinite(v)) return nonFinite(v);
    return toChars(v, std::chars_format::general, precision == 0 ? 1 : precision);
}

std::string formatInvariantE(double v, int precision) {
    if (!std::isfinite(v)) return nonFinite(v);
    return toChars(v, std::chars_format::scientific, precision);
}

std::string formatInvariantF(double v, int precision) {
    if (!std::isfinite(v)) return nonFinite(v);
    return toChars(v, std::chars_format::fixed, precision);
}

std::string formatInvariantShortest(float v) {
    if (!std::isfinite(v)) return nonFinite(v);
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    if (r.ec != std::errc()) return std::string();
    return std::string(buf, r.ptr);
}

}  // namespace qivctl
