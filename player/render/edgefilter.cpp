#include "render/edgefilter.h"

#include <cstdlib>
#include <cstring>

namespace {

struct Rgb {
    int32_t c[3];
};

// Pixel formats: load, unpack, pack and store.
struct Fmt555 {
    using Word = uint16_t;
    static Rgb unpack(uint32_t p) {
        return {{int32_t((p >> 7) & 0xF8), int32_t((p >> 2) & 0xF8), int32_t((p & 31) * 8)}};
    }
    static uint32_t pack(const Rgb& v, uint32_t) {
        return ((uint32_t(v.c[0]) & 0xF8) << 7) | ((uint32_t(v.c[1]) & 0xF8) << 2) | ((uint32_t(v.c[2]) & 0xF8) >> 3);
    }
};
struct Fmt565 {
    using Word = uint16_t;
    static Rgb unpack(uint32_t p) { return {{int32_t(p >> 11), int32_t((p >> 5) & 63), int32_t(p & 31)}}; }
    static uint32_t pack(const Rgb& v, uint32_t) {
        return ((uint32_t(v.c[0]) & 31) << 11) | ((uint32_t(v.c[1]) & 63) << 5) | (uint32_t(v.c[2]) & 31);
    }
};
struct Fmt32 {
    using Word = uint32_t;
    static Rgb unpack(uint32_t p) { return {{int32_t((p >> 16) & 0xFF), int32_t((p >> 8) & 0xFF), int32_t(p & 0xFF)}}; }
    static uint32_t pack(const Rgb& v, uint32_t own) {
        return (own & 0xFF000000u) | (uint32_t(v.c[0] & 0xFF) << 16) | (uint32_t(v.c[1] & 0xFF) << 8) |
               uint32_t(v.c[2] & 0xFF);
    }
};

// Access by (a, b) where a runs along the scan direction and b across it; pass 1 scans lines
// (a = x, b = y), pass 2 columns (a = y, b = x). "Below" in pass 1 is "right" in pass 2.
template <class F>
class Grid {
public:
    Grid(uint8_t* base, int32_t rowBytes, bool transposed) : base_(base), rowBytes_(rowBytes), t_(transposed) {}
    uint32_t get(int32_t a, int32_t b) const {
        typename F::Word w;
        std::memcpy(&w, at(a, b), sizeof w);
        return w;
    }
    void put(int32_t a, int32_t b, uint32_t v) const {
        typename F::Word w = typename F::Word(v);
        std::memcpy(at(a, b), &w, sizeof w);
    }

private:
    uint8_t* at(int32_t a, int32_t b) const {
        const int32_t x = t_ ? b : a, y = t_ ? a : b;
        return base_ + ptrdiff_t(y) * rowBytes_ + ptrdiff_t(x) * ptrdiff_t(sizeof(typename F::Word));
    }
    uint8_t* base_;
    int32_t rowBytes_;
    bool t_;
};

template <class F>
bool alike(uint32_t p, uint32_t q) {
    const Rgb a = F::unpack(p), b = F::unpack(q);
    for (int k = 0; k < 3; ++k)
        if (std::abs(a.c[k] - b.c[k]) > FLT_THRESHOLD) return false;
    return true;
}

template <class F>
int32_t diffSum(uint32_t p, uint32_t q) {
    const Rgb a = F::unpack(p), b = F::unpack(q);
    return std::abs(a.c[0] - b.c[0]) + std::abs(a.c[1] - b.c[1]) + std::abs(a.c[2] - b.c[2]);
}

// Pixel (a, b) becomes (own x (m + 1) + neighbour at b + 1 x (n - 1 - m)) / n.
template <class F>
void blend(const Grid<F>& g, int32_t a, int32_t b, int32_t m, int32_t n) {
    const uint32_t own = g.get(a, b);
    const Rgb p = F::unpack(own), q = F::unpack(g.get(a, b + 1));
    Rgb r;
    for (int k = 0; k < 3; ++k) r.c[k] = (p.c[k] * (m + 1) + q.c[k] * (n - 1 - m)) / n;
    g.put(a, b, F::pack(r, own));
}

// One pass: along each line b (1 .. lines - 2), pixel a (1 .. length - 2) against a - 1.
template <class F>
void pass(const Grid<F>& g, int32_t length, int32_t lines) {
    for (int32_t b = 1; b <= lines - 2; ++b) {
        for (int32_t a = 1; a <= length - 2; ++a) {
            const uint32_t p = g.get(a, b), l = g.get(a - 1, b);
            if (alike<F>(p, l)) continue;
            const int32_t dNext = diffSum<F>(p, g.get(a, b + 1));
            const int32_t dPrev = diffSum<F>(p, g.get(a, b - 1));
            int32_t n = 0;
            if (dNext >= dPrev) {
                // The previous pixel's colour continues forward on the next line.
                uint32_t ref = l;
                for (int32_t c = a + 1; c <= length - 2; ++c) {
                    const uint32_t cand = g.get(c, b + 1);
                    if (!alike<F>(cand, ref)) break;
                    ref = cand;
                    ++n;
                }
                for (int32_t m = 0; m + 1 < n; ++m) blend(g, a + m, b, m, n);
            } else {
                // This pixel's colour continues backward on the next line.
                uint32_t ref = p;
                for (int32_t c = a - 1; c >= 1; --c) {
                    const uint32_t cand = g.get(c, b + 1);
                    if (!alike<F>(cand, ref)) break;
                    ref = cand;
                    ++n;
                }
                for (int32_t m = 0; m + 1 < n; ++m) blend(g, a - 1 - m, b, m, n);
            }
        }
    }
}

template <class F>
uint32_t filter(void* pixels, int32_t width, int32_t height, int32_t rowLength) {
    if (!pixels || width < 1 || height < 1 || rowLength < width) return 0;
    if (int64_t(rowLength) * int64_t(sizeof(typename F::Word)) > INT32_MAX) return 0;
    const int32_t rowBytes = rowLength * int32_t(sizeof(typename F::Word));
    uint8_t* base = static_cast<uint8_t*>(pixels);
    pass(Grid<F>(base, rowBytes, false), width, height);
    pass(Grid<F>(base, rowBytes, true), height, width);
    return 1;
}

}  // namespace

uint32_t fltFilter555(void* pixels, int32_t width, int32_t height, int32_t rowLength) {
    return filter<Fmt555>(pixels, width, height, rowLength);
}
uint32_t fltFilter565(void* pixels, int32_t width, int32_t height, int32_t rowLength) {
    return filter<Fmt565>(pixels, width, height, rowLength);
}
uint32_t fltFilter32(void* pixels, int32_t width, int32_t height, int32_t rowLength) {
    return filter<Fmt32>(pixels, width, height, rowLength);
}

uint32_t fltApply(PicRecord* picture) {
    if (!picture || !picture->pixels) return 0;
    if (picture->bytesPerPixel == 4) {
        fltFilter32(picture->pixels, picture->width, picture->height, picture->width);
        return 1;
    }
    if (picture->bytesPerPixel == 2) {
        fltFilter555(picture->pixels, picture->width, picture->height, picture->width);
        return 1;
    }
    return 0;
}

uint32_t fltCopyScaled(PicRecord* source, PicRecord* destination, int32_t rows, uint32_t filter) {
    if (!source || !destination || !source->pixels || !destination->pixels) return 0;
    const uint32_t bpp = source->bytesPerPixel;
    if (bpp != destination->bytesPerPixel || (bpp != 2 && bpp != 4)) return 0;
    if (rows < 0 || rows > source->height || source->width < 1) return 0;
    // destination width / source width x rows, halves rounded up
    const int64_t needed = (2 * int64_t(destination->width) * rows + source->width) / (2 * int64_t(source->width));
    if (needed > destination->height) return 0;
    const int32_t sourceHeight = source->height, destinationHeight = destination->height;
    source->height = rows;
    destination->height = int32_t(needed);
    if (filter) fltApply(source);
    picCopyRect(bpp == 2 ? 0 : 1, 0, source, destination);
    source->height = sourceHeight;
    destination->height = destinationHeight;
    return 1;
}
