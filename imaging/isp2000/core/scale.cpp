#include "scale.h"

#include <algorithm>
#include <new>
#include <vector>

#include "convert.h"

namespace img {

namespace {

// Source pixels under each target pixel and their shares. Target pixel o covers
// [o * src, (o + 1) * src) and source pixel s covers [s * dst, (s + 1) * dst), both in
// units of 1 / dst source pixels, so the shares are whole numbers summing to src.
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
                for (int64_t s = s0; s <= s1; ++s)
                    weight.push_back(uint32_t(std::min(hi, (s + 1) * dst) - std::max(lo, s * dst)));
            }
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
};

// Resamples interleaved rows of `channels` bytes per pixel; rowOf(y) gives source row y.
template <class RowOf, class Put>
Status resample(int32_t sw, int32_t sh, int32_t dw, int32_t dh, int channels, RowOf rowOf, Put put,
                Progress& progress) {
    Axis ax, ay;
    if (!ax.build(sw, dw) || !ay.build(sh, dh)) return kNoMemory;
    // Horizontal results in 1/256 steps; two cached source rows; the vertical sums.
    const size_t n = size_t(dw) * size_t(channels);
    std::vector<uint32_t> cache[2];
    std::vector<uint64_t> acc;
    try {
        cache[0].resize(n);
        cache[1].resize(n);
        acc.resize(n);
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
    int32_t cachedRow[2] = {-1, -1};
    int next = 0;
    const uint64_t hm = (uint64_t(256) << 32) / uint64_t(sw);
    const uint64_t vm = ((uint64_t(1) << 32) + uint64_t(sh) / 2) / uint64_t(sh);
    auto horizontal = [&](int32_t sy) -> const uint32_t* {
        for (int i = 0; i < 2; ++i)
            if (cachedRow[i] == sy) return cache[i].data();
        uint32_t* h = cache[next].data();
        cachedRow[next] = sy;
        next ^= 1;
        const uint8_t* row = rowOf(sy);
        for (int32_t o = 0; o < dw; ++o) {
            const uint8_t* p = row + size_t(ax.first[size_t(o)]) * size_t(channels);
            const uint32_t* w = ax.weight.data() + ax.offset[size_t(o)];
            const int32_t k = ax.count[size_t(o)];
            for (int c = 0; c < channels; ++c) {
                uint64_t sum = 0;
                for (int32_t i = 0; i < k; ++i) sum += uint64_t(w[i]) * p[size_t(i) * size_t(channels) + size_t(c)];
                h[size_t(o) * size_t(channels) + size_t(c)] = uint32_t((sum * hm + (uint64_t(1) << 31)) >> 32);
            }
        }
        return h;
    };
    for (int32_t oy = 0; oy < dh; ++oy) {
        std::fill(acc.begin(), acc.end(), 0);
        const uint32_t* w = ay.weight.data() + ay.offset[size_t(oy)];
        for (int32_t i = 0; i < ay.count[size_t(oy)]; ++i) {
            const uint32_t* h = horizontal(ay.first[size_t(oy)] + i);
            const uint64_t wi = w[i];
            for (size_t j = 0; j < n; ++j) acc[j] += wi * h[j];
        }
        put(oy, acc, vm);
        if (!progress.rows(oy + 1, dh)) return kCancelled;
    }
    return kOk;
}

// A vertical sum back to a byte: sum / (sh * 256), rounded.
inline uint8_t finish(uint64_t sum, uint64_t vm) {
    const uint64_t v = (sum * vm + (uint64_t(1) << 39)) >> 40;
    return uint8_t(v > 255 ? 255 : v);
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
    Status s = resample(
        from->width(), from->height(), width, height, channels, [&](int32_t y) { return from->row(y); },
        [&](int32_t y, const std::vector<uint64_t>& acc, uint64_t vm) {
            uint8_t* o = out.row(y);
            for (size_t j = 0; j < acc.size(); ++j) o[j] = finish(acc[j], vm);
        },
        progress);
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
    Status s = resample(
        src.width(), src.height(), width, height, 1,
        [&](int32_t y) {
            const uint8_t* row = src.row(y);
            for (int32_t x = 0; x < src.width(); ++x) line[size_t(x)] = lum[indexAt(row, x, 1)];
            return line.data();
        },
        [&](int32_t y, const std::vector<uint64_t>& acc, uint64_t vm) {
            uint8_t* o = out.row(y);
            for (size_t j = 0; j < acc.size(); ++j) o[j] = finish(acc[j], vm);
        },
        progress);
    if (s != kOk) out.reset();
    return s;
}

}  // namespace img
