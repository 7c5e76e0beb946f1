// Numbers in texts read and written in the invariant format ("0.5", never
// "0,5"), whatever the C locale or the user's settings: property-bag values,
// material files and the AsString texts of the control.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qivctl {

// A decimal floating-point number at the start of text, after optional blanks
// (space, tab, CR, LF): optional sign, digits with an optional '.', optional
// exponent. Like strtod in the C locale, but finite values only (no "inf",
// "nan" or hexadecimal forms). On success *used (when given) is the number of
// characters taken, blanks included. False when no number starts there or it
// lies beyond the range of a double.
bool parseInvariantDoublePrefix(std::string_view text, double* out, size_t* used = nullptr);
// The whole text is one number, with optional blanks before and after.
bool parseInvariantDouble(std::string_view text, double* out);
// Same, into a float: false as well when the value lies beyond float's range.
bool parseInvariantFloat(std::string_view text, float* out);
// strtod's answer for material files: the number at the start of text, 0 when
// there is none.
double invariantStrtod(std::string_view text, size_t* used = nullptr);

// A decimal integer at the start of text after optional blanks, with an
// optional sign, like strtol base 10: values beyond 32 bits saturate at
// INT32_MIN/INT32_MAX. *used = 0 and 0 when no digits start there.
int32_t invariantStrtol(std::string_view text, size_t* used = nullptr);
// The whole text is one integer (blanks around allowed) within int32_t.
bool parseInvariantInt32(std::string_view text, int32_t* out);

// printf conversions of a double in the C locale's format.
std::string formatInvariantG(double v, int precision = 6);  // %g (%.<precision>g)
std::string formatInvariantE(double v, int precision = 6);  // %e
std::string formatInvariantF(double v, int precision = 6);  // %f
// The shortest text that reads back as the same float ("3.926991").
std::string formatInvariantShortest(float v);

}  // namespace qivctl
