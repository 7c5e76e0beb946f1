#include "tbcommon.h"

#include <charconv>

namespace toolbars {

char AccelCharOf(std::string_view text) {
    char result = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') continue;
        if (i + 1 >= text.size()) break;
        if (text[i + 1] == '&') {
            ++i;  // a doubled "&" stands for itself
            continue;
        }
        result = text[i + 1];
    }
    return result;
}

std::string StripAccelChars(std::string_view text, const std::function<bool(char)>& isLead) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (isLead && isLead(c) && i + 1 < text.size()) {
            out += c;
            out += text[++i];
            continue;
        }
        if (c == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') out += '&', ++i;
            continue;
        }
        out += c;
    }
    return out;
}

int DivAwayFromZero(int a, int b) {
    const int q = a / b;
    if (a % b == 0) return q;
    return (a < 0) != (b < 0) ? q - 1 : q + 1;
}

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    long long p = static_cast<long long>(a) * b;
    const long long half = (c < 0 ? -c : c) / 2;
    const bool neg = (p < 0) != (c < 0);
    if (p < 0) p = -p;
    const long long cc = c < 0 ? -static_cast<long long>(c) : c;
    long long q = (p + half) / cc;
    if (neg) q = -q;
    if (q > INT32_MAX || q < INT32_MIN) return -1;
    return int(q);
}

namespace {
void quickSort(std::vector<void*>& list, int lo, int hi, int (*compare)(void*, void*, void*), void* data) {
    while (lo < hi) {
        int i = lo, j = hi;
        void* pivot = list[size_t(lo + (hi - lo) / 2)];
        while (i <= j) {
            while (compare(list[size_t(i)], pivot, data) < 0) ++i;
            while (compare(list[size_t(j)], pivot, data) > 0) --j;
            if (i <= j) {
                std::swap(list[size_t(i)], list[size_t(j)]);
                ++i;
                --j;
            }
        }
        // Recurse into the smaller part, loop over the larger one.
        if (j - lo < hi - i) {
            quickSort(list, lo, j, compare, data);
            lo = i;
        } else {
            quickSort(list, i, hi, compare, data);
            hi = j;
        }
    }
}
}  // namespace

void SortList(std::vector<void*>& list, int (*compare)(void*, void*, void*), void* data) {
    if (list.size() > 1) quickSort(list, 0, int(list.size()) - 1, compare, data);
}

int ClampMenuShowDelay(long long ms) {
    if (ms < 0) return 0;
    return ms > kMaxMenuShowDelay ? kMaxMenuShowDelay : int(ms);
}

int MenuShowDelayFromRegistry(TBRegValue status, std::string_view text) {
    switch (status) {
    case TBRegValue::KeyMissing:
    case TBRegValue::ValueMissing: return 400;
    case TBRegValue::WrongType:
    case TBRegValue::OtherError: return 0;
    case TBRegValue::Ok: break;
    }
    // The stored text may end in its terminator.
    while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
    if (text.empty()) return 0;
    size_t start = text[0] == '+' ? 1 : 0;
    long long v = 0;
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    if (start && (first == last || *first == '-')) return 0;
    auto [ptr, ec] = std::from_chars(first, last, v);
    if (ptr != last) return 0;  // not a decimal integer
    if (ec == std::errc::result_out_of_range) return text[start] == '-' ? 0 : kMaxMenuShowDelay;
    if (ec != std::errc()) return 0;
    return ClampMenuShowDelay(v);
}

namespace {
TBSystemSettings* g_settings = nullptr;
}

TBSystemSettings& TBSettings() { return g_settings ? *g_settings : TBSystemDefaultSettings(); }
void SetTBSettings(TBSystemSettings* settings) { g_settings = settings; }

}  // namespace toolbars
