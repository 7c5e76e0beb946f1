#include "scale.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "convert.h"

namespace img {

namespace {

// Source pixels under each target pixel and their shares. Target pixel o covers
// [o * src, (o + 1) * src) and source pixel s covers [s * dst, (s + 1) * dst), both in
// units of 1 / dst source pixels; the shares, whole numbers summing to src, are kept as
// fractions of 65536 that sum to exactly 65536.
struct Axis {
    std::vector<int32_t> first, count;
    std::vector<uint32_t> weight;  // count[o] entries per target, in order
    std::vector<uint32_t> offset;  // where target o's weights start

    bool build(int64_t src, int64_t dst) {
        try {
            first.resize(size_t(dst));
            count.resize(size_t(dst));
            offset.resize(size_t(dst));
            weight.reserve(size_t(dst + src));
            for (int64_t o = 0; o < dst; ++o) {
                const int64_t lo = o * src, hi = (o + 1) * src;
                const int64_t s0 = lo / dst, s1 = (hi - 1) / dst;
                first[size_t(o)] = int32_t(s0);
                count[size_t(o)] = int32_t(s1 - s0 + 1);
                offset[size_t(o)] = uint32_t(weight.size());
                const size_t start = weight.size();
                uint32_t sum = 0;
                for (int64_t s = s0; s <= s1; ++s) {
                    const int64_t share = std::min(hi, (s + 1) * dst) - std::max(lo, s * dst);
                    weight.push_back(uint32_t((share * 65536 + src / 2) / src));
                    sum += weight.back();
                }
                size_t largest = start;
                for (size_t i = start + 1; i < weight.size(); ++i)
                    if (weight[i] > weight[largest]) largest = i;
                weight[largest] += 65536 - sum;  // the rounding goes to the biggest share
            }
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
};

// One source row resampled across: 8.8 fixed-point values.
template <int C>
void horizontalRow(const Axis& ax, const uint8_t* row, int32_t dw, uint16_t* h) {
    for (int32_t o = 0; o < dw; ++o) {
        const uint8_t* p = row + size_t(ax.first[size_t(o)]) * C;
        const uint32_t* w = ax.weight.data() + ax.offset[size_t(o)];
        const int32_t k = ax.count[size_t(o)];
        uint32_t sum[C] = {};
        for (int32_t i = 0; i < k; ++i, p += C)
            for (int c = 0; c < C; ++c) sum[c] += w[i] * p[c];
        for (int c = 0; c < C; ++c) h[size_t(o) * C + size_t(c)] = uint16_t((sum[c] + 128) >> 8);
    }
}

// Resamples interleaved rows of C bytes per pixel; rowOf(y) gives source row y and
// put(y, row) takes each finished target row.
template <int C, class RowOf, class Put>
Status resample(int32_t sw, int32_t sh, int32_t dw, int32_t dh, RowOf rowOf, Put put, Progress& progress) {
    Axis ax, ay;
    if (!ax.build(sw, dw) || !ay.build(sh, dh)) return kNoMemory;
    // Two cached source rows resampled across, the vertical sums, the target row.
    const size_t n = size_t(dw) * C;
    std::vector<uint16_t> cache[2];
    std::vector<uint32_t> acc;
    std::vector<uint8_t> line;
    try {
        cache[0].resize(n);
        cache[1].resize(n);
        acc.resize(n);
        line.resize(n);
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
    int32_t cachedRow[2] = {-1, -1};
    int next = 0;
    auto horizontal = [&](int32_t sy) -> const uint16_t* {
        for (int i = 0; i < 2; ++i)
            if (cachedRow[i] == sy) return cache[i].data();
        uint16_t* h = cache[next].data();
        cachedRow[next] = sy;
        next ^= 1;
        horizontalRow<C>(ax, rowOf(sy), dw, h);
        return h;
    };
    for (int32_t oy = 0; oy < dh; ++oy) {
        std::fill(acc.begin(), acc.end(), 0u);
        const uint32_t* w = ay.weight.data() + ay.offset[size_t(oy)];
        for (int32_t i = 0; i < ay.count[size_t(oy)]; ++i) {
            const uint16_t* h = horizontal(ay.first[size_t(oy)] + i);
            const uint32_t wi = w[i];
            uint32_t* a = acc.data();
            for (size_t j = 0; j < n; ++j) a[j] += wi * h[j];
        }
        // 65536 x 65280 at most: within 32 bits.
        for (size_t j = 0; j < n; ++j) line[j] = uint8_t((acc[j] + (1u << 23)) >> 24);
        put(oy, line.data());
        if (!progress.rows(oy + 1, dh)) return kCancelled;
    }
    return kOk;
}

}  // namespace

Status scaleDib(const Dib& src, int32_t width, int32_t height, Dib& out, Progress& progress) {
    out.reset();
    if (src.empty()) return kBadDib;
    if (Status s = checkPictureSize(width, height, src.bits() == 32 ? 32 : 24); s != kOk)
        return s == kBadFormat ? kBadArgument : s;
    Dib wide;
    const Dib* from = &src;
    if (src.bits() != 24 && src.bits() != 32) {
        Progress none;
        if (Status s = toTrueColour(src, 24, wide, none); s != kOk) return s;
        from = &wide;
    }
    const unsigned bits = from->bits();
    const int channels = int(bits / 8);
    if (Status s = Dib::create(width, height, bits, out); s != kOk) return s;
    auto rowOf = [&](int32_t y) { return from->row(y); };
    auto put = [&](int32_t y, const uint8_t* line) { std::memcpy(out.row(y), line, size_t(width) * size_t(channels)); };
    Status s = channels == 4 ? resample<4>(from->width(), from->height(), width, height, rowOf, put, progress)
                             : resample<3>(from->width(), from->height(), width, height, rowOf, put, progress);
    if (s != kOk) out.reset();
    return s;
}

Status scaleToGrey(const Dib& src, int32_t width, int32_t height, Dib& out, Progress& progress) {
    out.reset();
    if (src.empty()) return kBadDib;
    if (src.bits() != 1) return kBadArgument;
    if (Status s = checkPictureSize(width, height, 8); s != kOk) return s == kBadFormat ? kBadArgument : s;
    std::vector<uint8_t> line;
    try {
        line.resize(size_t(src.width()));
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
    const Colour* pal = src.palette();
    const uint8_t lum[2] = {uint8_t(luminance(pal[0].red, pal[0].green, pal[0].blue)),
                            uint8_t(luminance(pal[1].red, pal[1].green, pal[1].blue))};
    if (Status s = Dib::create(width, height, 8, out); s != kOk) return s;
    for (int i = 0; i < 256; ++i) out.palette()[i] = Colour{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    Status s = resample<1>(
        src.width(), src.height(), width, height,
        [&](int32_t y) {
            const uint8_t* row = src.row(y);
            for (int32_t x = 0; x < src.width(); ++x) line[size_t(x)] = lum[indexAt(row, x, 1)];
            return line.data();
        },
        [&](int32_t y, const uint8_t* values) { std::memcpy(out.row(y), values, size_t(width)); }, progress);
    if (s != kOk) out.reset();
    return s;
}

}  // namespace img
