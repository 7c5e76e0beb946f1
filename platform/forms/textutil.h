#pragma once
// Small text helpers of the form layer: ASCII case folding, trimming and
// numbers in the invariant format.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace forms {

std::string LowerCase(std::string_view s);
std::string UpperCase(std::string_view s);
// Compares without regard to ASCII letter case.
bool SameText(std::string_view a, std::string_view b);
int CompareText(std::string_view a, std::string_view b);
// Blanks, tabs and other control characters off both ends.
std::string Trim(std::string_view s);
// The same as a view into s.
std::string_view TrimmedView(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
// True when s begins with prefix, letter case ignored.
bool StartsWithText(std::string_view s, std::string_view prefix);

// A whole trimmed text as a decimal integer (optional sign; "0x" or "$" for
// hexadecimal); nothing when it is not one or does not fit 32 bits.
std::optional<int32_t> ToInt(std::string_view s);
// A whole trimmed text as a number: "." is always the decimal separator, and
// the given locale separator as well. Nothing when it does not parse.
std::optional<double> ToFloat(std::string_view s, char localeSeparator = '.');
// Shortest text that reads back as the same double, always with ".".
std::string FormatFloat(double v);
// The general form with 15 significant digits, no trailing zeros, ".".
std::string FormatFloatG15(double v);
// The decimal separator of the user's locale (the Windows layer sets it).
char LocaleDecimalSeparator();
void SetLocaleDecimalSeparator(char c);
// The short part of a hint (before "|") and the long one (after it; the
// whole hint when there is no "|").
std::string GetShortHint(const std::string& hint);
std::string GetLongHint(const std::string& hint);
// printf into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace forms
