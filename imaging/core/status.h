// Status answers of the imaging libraries: 16-bit signed, 1 or more is success. Each
// code at or below 0 has its text in CRDE2001.DLL's string table under the code taken
// as a 16-bit number (-4 is string 65532).
#pragma once
#include <cstdint>

namespace img {

enum Status : int16_t {
    kOk = 1,
    kCancelled = 0,
    kUnknownError = -1,
    kOpenFailed = -2,
    kTruncated = -3,
    kBadFormat = -4,
    kUnsupported = -5,
    kTooLarge = -6,
    kNoMemory = -7,
    kWriteFailed = -8,
    kBadDib = -9,
    kBadArgument = -10,
    kNoPhotoCd = -11,
    kNoEps = -12,
    kNoDxf = -13,
    kNoPage = -14,
    kBadFileName = -15,
    kBadAnnotations = -16,
    kNoAnnotationSet = -17,
};
constexpr int16_t kLowestStatus = kNoAnnotationSet;

// Progress of a long operation: percent 0-100; the callee answers false to cancel.
struct Progress {
    bool (*report)(void* context, int percent) = nullptr;
    void* context = nullptr;
    int last = -1;
    // True to go on. Reports only when the percentage changes.
    bool operator()(int percent) {
        if (!report || percent == last) return true;
        last = percent;
        return report(context, percent);
    }
    // Row done of rows: true to go on.
    bool rows(int64_t done, int64_t total) { return total <= 0 || (*this)(int(done * 100 / total)); }
};

}  // namespace img
