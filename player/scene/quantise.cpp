// Colour reduction: histogram boxes and error-diffused mapping.
#include "scene/quantise.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "scene/engine.h"
#include "scene/memblock.h"

namespace {

inline uint32_t cellIndex(uint32_t r5, uint32_t g5, uint32_t b5) { return (r5 << 10) | (g5 << 5) | b5; }
inline uint32_t cellOfColour(uint32_t c) {
    return cellIndex((c >> 19) & 31, (c >> 11) & 31, (c >> 3) & 31);
}

// Histogram of a picture and the box operations on it.
class Histogram {
public:
    Histogram(uint32_t* cells, bool wide) : cells_(cells), wide_(wide) {}

    uint64_t count(uint32_t r, uint32_t g, uint32_t b) const {
        const uint32_t v = cells_[cellIndex(r, g, b)];
        return wide_ ? (v & PAL_COUNT_MASK) : v;
    }

    // Sum of the slice at value v of axis (0 red, 1 green, 2 blue) within the box.
    uint64_t slice(const PalBox& box, int axis, uint32_t v) const {
        uint64_t s = 0;
        if (axis == 0) {
            for (uint32_t g = box.minG; g <= box.maxG; ++g)
                for (uint32_t b = box.minB; b <= box.maxB; ++b) s += count(v, g, b);
        } else if (axis == 1) {
            for (uint32_t r = box.minR; r <= box.maxR; ++r)
                for (uint32_t b = box.minB; b <= box.maxB; ++b) s += count(r, v, b);
        } else {
            for (uint32_t r = box.minR; r <= box.maxR; ++r)
                for (uint32_t g = box.minG; g <= box.maxG; ++g) s += count(r, g, v);
        }
        return s;
    }

    // Recounts the box and moves its faces inward onto non-empty cells.
    void shrink(PalBox& box) const {
        box.count = 0;
        for (uint32_t r = box.minR; r <= box.maxR; ++r) box.count += slice(box, 0, r);
        if (box.count == 0) {
            box.longest = 0;
            return;
        }
        while (box.minR < box.maxR && slice(box, 0, box.minR) == 0) ++box.minR;
        while (box.minG < box.maxG && slice(box, 1, box.minG) == 0) ++box.minG;
        while (box.minB < box.maxB && slice(box, 2, box.minB) == 0) ++box.minB;
        while (box.maxR > box.minR && slice(box, 0, box.maxR) == 0) --box.maxR;
        while (box.maxG > box.minG && slice(box, 1, box.maxG) == 0) --box.maxG;
        while (box.maxB > box.minB && slice(box, 2, box.maxB) == 0) --box.maxB;
        box.longest = std::max({box.maxR - box.minR, box.maxG - box.minG, box.maxB - box.minB}) + 1u;
    }

    // Colour of the single cell of a box.
    uint32_t cellColour(const PalBox& box) const {
        const uint32_t r5 = box.minR, g5 = box.minG, b5 = box.minB;
        uint32_t r, g, b;
        if (wide_) {
            const uint32_t v = cells_[cellIndex(r5, g5, b5)];
            r = r5 * 8 + ((v >> 29) & 7);
            g = g5 * 8 + ((v >> 26) & 7);
            b = b5 * 8 + ((v >> 23) & 7);
        } else {
            r = r5 * 8 + r5 / 4;
            g = g5 * 8 + g5 / 4;
            b = b5 * 8 + b5 / 4;
        }
        return (r << 16) | (g << 8) | b;
    }

    uint32_t averageColour(const PalBox& box) const {
        uint64_t n = 0, sr = 0, sg = 0, sb = 0;
        for (uint32_t r = box.minR; r <= box.maxR; ++r)
            for (uint32_t g = box.minG; g <= box.maxG; ++g)
                for (uint32_t b = box.minB; b <= box.maxB; ++b) {
                    const uint64_t c = count(r, g, b);
                    n += c;
                    sr += c * r;
                    sg += c * g;
                    sb += c * b;
                }
        if (n == 0) return 0;
        const uint32_t r = uint32_t(8 * sr / n + 4), g = uint32_t(8 * sg / n + 4), b = uint32_t(8 * sb / n + 4);
        return (r << 16) | (g << 8) | b;
    }

private:
    uint32_t* cells_;
    bool wide_;
};

// Axis to split: red when strictly longest, else blue when not shorter than green, else green.
int longestAxis(const PalBox& box) {
    const int sr = box.maxR - box.minR, sg = box.maxG - box.minG, sb = box.maxB - box.minB;
    if (sr > sg && sr > sb) return 0;
    return sb >= sg ? 2 : 1;
}

uint8_t& boxMin(PalBox& box, int axis) { return axis == 0 ? box.minR : axis == 1 ? box.minG : box.minB; }
uint8_t& boxMax(PalBox& box, int axis) { return axis == 0 ? box.maxR : axis == 1 ? box.maxG : box.maxB; }

}  // namespace

uint32_t palFromImage(const PicRecord* picture, uint32_t* colours, uint32_t n) try {
    if (!picture || !colours || n == 0 || !picture->pixels || picture->width <= 0 || picture->height <= 0)
        return 0;
    const uint32_t bpp = picture->bytesPerPixel;
    if (bpp != 2 && bpp != 4) return 0;
    const bool wide = bpp == 4;
    MemPtr<uint32_t> cells = allocArray<uint32_t>(PAL_HISTOGRAM_CELLS);
    if (!cells) return 0;
    uint32_t* hist = cells.get();

    const uint64_t pixels = uint64_t(picture->width) * uint64_t(picture->height);
    for (uint64_t i = 0; i < pixels; ++i) {
        if (!wide) {
            uint32_t& c = hist[picGet16(picture->pixels + 2 * i) & 0x7FFF];
            if (c != UINT32_MAX) ++c;
            continue;
        }
        const uint32_t v = picGet32(picture->pixels + 4 * i);
        const uint32_t r = (v >> 16) & 255, g = (v >> 8) & 255, b = v & 255;
        uint32_t& c = hist[cellIndex(r >> 3, g >> 3, b >> 3)];
        if (c == 0)
            c = 1 | ((r & 7) << 29) | ((g & 7) << 26) | ((b & 7) << 23);
        else if ((c & PAL_COUNT_MASK) != PAL_COUNT_MASK)
            ++c;  // the count saturates below the kept low bits
    }
    if (wide) {
        // Empty axis neighbours of cells with pixels get a marker.
        std::vector<uint8_t> real(PAL_HISTOGRAM_CELLS);
        for (uint32_t i = 0; i < PAL_HISTOGRAM_CELLS; ++i) real[i] = hist[i] != 0;
        for (uint32_t i = 0; i < PAL_HISTOGRAM_CELLS; ++i) {
            if (!real[i]) continue;
            const int r = int(i >> 10), g = int((i >> 5) & 31), b = int(i & 31);
            const int nb[6][3] = {{r - 1, g, b}, {r + 1, g, b}, {r, g - 1, b}, {r, g + 1, b}, {r, g, b - 1}, {r, g, b + 1}};
            for (const auto& q : nb) {
                if (q[0] < 0 || q[0] > 31 || q[1] < 0 || q[1] > 31 || q[2] < 0 || q[2] > 31) continue;
                uint32_t& c = hist[cellIndex(uint32_t(q[0]), uint32_t(q[1]), uint32_t(q[2]))];
                if (c == 0) c = PAL_MARKER;
            }
        }
    }
    // Black gets a colour of its own and never stops a face.
    const bool black = hist[0] != 0;
    hist[0] = 0;

    Histogram hg(hist, wide);
    PalBox first{0, 0, 0, 31, 31, 31, 0, 0};
    hg.shrink(first);

    uint32_t written = 0;
    if (black) colours[written++] = 0;
    if (first.longest == 0) return written;
    if (written >= n) return written;
    if (first.longest == 1) {
        colours[written++] = hg.cellColour(first);
        return written;
    }

    std::vector<PalBox> list{first};
    while (!list.empty()) {
        size_t taken = 0;
        for (size_t i = 1; i < list.size(); ++i)
            if (list[i].longest > list[taken].longest) taken = i;
        const uint32_t remaining = n - written;
        if (list.size() >= remaining) {
            for (const PalBox& box : list) {
                if (written >= n) break;
                colours[written++] = hg.averageColour(box);
            }
            break;
        }
        const PalBox box = list[taken];
        const int axis = longestAxis(box);
        PalBox a = box, b = box;
        const uint32_t lo = boxMin(a, axis), hi = boxMax(a, axis);
        const uint64_t half = (box.count + 1) / 2;
        uint64_t sum = 0;
        uint32_t end = hi - 1;
        for (uint32_t s = lo; s < hi; ++s) {
            sum += hg.slice(box, axis, s);
            if (sum >= half) {
                end = s;
                break;
            }
        }
        boxMax(a, axis) = uint8_t(end);
        boxMin(b, axis) = uint8_t(end + 1);
        hg.shrink(a);
        hg.shrink(b);

        const bool stayA = a.longest > 1, stayB = b.longest > 1;
        for (const PalBox* h : {&a, &b}) {
            if (h->longest == 1 && written < n) colours[written++] = hg.cellColour(*h);
        }
        if (stayA) {
            list[taken] = a;
            if (stayB) list.push_back(b);
        } else if (stayB) {
            list[taken] = b;
        } else {
            list.erase(list.begin() + std::ptrdiff_t(taken));
        }
    }
    return written;
} QIV_ENGINE_CATCH(0)

int palMapImage(const PicRecord* source, PicRecord* destination, uint32_t mask) {
    if (!source || !destination || !source->pixels || !destination->pixels) return 0;
    if (source->bytesPerPixel != 2 && source->bytesPerPixel != 4) return 0;
    if (!destination->palette || destination->paletteCount == 0) {
        errSetContext("???", 99999);
        errReport(ERR_FORMAT, "Empty palette");
        return 0;
    }
    if (mask > 255 || (mask & (mask + 1)) != 0) return 0;
    const int32_t w = std::min(source->width, destination->width);
    const int32_t h = std::min(source->height, destination->height);
    if (w <= 0 || h <= 0) return 1;
    const bool wide = source->bytesPerPixel == 4;
    const uint64_t stride = (uint64_t(destination->width) + mask) & ~uint64_t(mask);
    const uint32_t count = std::min<uint32_t>(destination->paletteCount, 256);
    const uint32_t* pal = destination->palette;
    const uint32_t cmp = wide ? 0xFFFFFFFFu : 0x00F8F8F8u;
    const bool black0 = pal[0] == 0;

    MemPtr<uint16_t> table = allocArray<uint16_t>(PAL_HISTOGRAM_CELLS);
    MemPtr<uint32_t> rowA = allocArray<uint32_t>(uint64_t(w));
    MemPtr<uint32_t> rowB = allocArray<uint32_t>(uint64_t(w));
    if (!table || !rowA || !rowB) return 0;
    uint16_t* lut = table.get();
    std::fill(lut, lut + PAL_HISTOGRAM_CELLS, uint16_t(0xFFFF));
    for (uint32_t i = 0; i < count; ++i) lut[cellOfColour(pal[i])] = uint16_t(i);

    const size_t srcStride = size_t(source->width) * source->bytesPerPixel;
    auto load = [&](int32_t y, uint32_t* row) {
        const uint8_t* p = source->pixels + size_t(y) * srcStride;
        for (int32_t x = 0; x < w; ++x) {
            if (wide) {
                row[x] = picGet32(p + 4 * x);
            } else {
                const uint32_t v = picGet16(p + 2 * x);
                row[x] = (((v >> 7) & 248) << 16) | (((v >> 2) & 248) << 8) | ((v * 8) & 255);
            }
        }
    };
    auto nearest = [&](uint32_t c) -> uint32_t {
        const uint32_t cell = cellOfColour(c);
        if (lut[cell] != 0xFFFF) return lut[cell];
        const int cr = int((c >> 16) & 255), cg = int((c >> 8) & 255), cb = int(c & 255);
        uint32_t best = 0;
        int64_t bestD = INT64_MAX;
        for (uint32_t i = 0; i < count; ++i) {
            const int dr = cr - int((pal[i] >> 16) & 255), dg = cg - int((pal[i] >> 8) & 255),
                      db = cb - int(pal[i] & 255);
            const int64_t d = int64_t(db) * db + 2 * int64_t(dr) * dr + 4 * int64_t(dg) * dg;
            if (d < bestD) {
                bestD = d;
                best = i;
            }
        }
        lut[cell] = uint16_t(best);
        return best;
    };
    auto receives = [&](uint32_t v) {
        if (v == 0 && black0) return false;
        const uint16_t t = lut[cellOfColour(v)];
        return !(t != 0xFFFF && (pal[t] & cmp) == (v & cmp));
    };
    auto add = [](uint32_t& v, const int e[3], int num) {
        uint32_t out = v & 0xFF000000u;
        for (int k = 0; k < 3; ++k) {
            const int shift = 16 - 8 * k;
            const int c = int((v >> shift) & 255) + ((e[k] * num) >> 4);
            out |= uint32_t(std::clamp(c, 0, 255)) << shift;
        }
        v = out;
    };

    uint32_t* cur = rowA.get();
    uint32_t* next = rowB.get();
    load(0, cur);
    if (h > 1) load(1, next);
    for (int32_t y = 0; y < h; ++y) {
        const bool lastRow = y == h - 1;
        uint8_t* out = destination->pixels + uint64_t(y) * stride;
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t c = cur[x];
            const uint32_t index = (c == 0 && black0) ? 0 : nearest(c);
            out[x] = uint8_t(index);
            const uint32_t p = pal[index];
            if ((p & cmp) == (c & cmp)) continue;
            const int e[3] = {int((c >> 16) & 255) - int((p >> 16) & 255), int((c >> 8) & 255) - int((p >> 8) & 255),
                              int(c & 255) - int(p & 255)};
            const bool hasRight = x + 1 < w;
            if (lastRow) {
                if (hasRight && receives(cur[x + 1])) add(cur[x + 1], e, 7);
                continue;
            }
            if (next[x] == 0 && black0) continue;
            int given[3] = {0, 0, 0};
            auto share = [&](uint32_t& v, int num) {
                add(v, e, num);
                for (int k = 0; k < 3; ++k) given[k] += (e[k] * num) >> 4;
            };
            if (receives(next[x])) share(next[x], 5);
            if (x > 0 && receives(next[x - 1])) share(next[x - 1], 3);
            if (hasRight) {
                if (receives(next[x + 1])) share(next[x + 1], 1);
                if (receives(cur[x + 1])) {
                    const int rest[3] = {e[0] - given[0], e[1] - given[1], e[2] - given[2]};
                    add(cur[x + 1], rest, 16);
                }
            }
        }
        std::swap(cur, next);
        if (y + 2 < h) load(y + 2, next);
    }
    return 1;
}
