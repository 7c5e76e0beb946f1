#include "convert.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

namespace img {

Status copyDib(const Dib& src, Dib& out) {
    if (src.empty()) return kBadDib;
    Status s = Dib::createLike(src, out);
    if (s == kOk) std::memcpy(out.pixels(), src.pixels(), src.imageSize());
    return s;
}

Status widenIndexed(const Dib& src, unsigned bits, Dib& out) {
    if (src.empty()) return kBadDib;
    if (src.bits() > 8 || (bits != 4 && bits != 8) || bits <= src.bits()) return kBadArgument;
    if (Status s = Dib::create(src.width(), src.height(), bits, out); s != kOk) return s;
    std::memcpy(out.palette(), src.palette(), 4 * size_t(src.colours()));
    for (int32_t y = 0; y < src.height(); ++y) {
        const uint8_t* in = src.row(y);
        uint8_t* o = out.row(y);
        for (int32_t x = 0; x < src.width(); ++x) setIndex(o, x, bits, indexAt(in, x, src.bits()));
    }
    return kOk;
}

Status toTrueColour(const Dib& src, unsigned bits, Dib& out, Progress& progress) {
    if (src.empty()) return kBadDib;
    if (bits != 16 && bits != 24 && bits != 32) return kBadArgument;
    if (Status s = Dib::create(src.width(), src.height(), bits, out); s != kOk) return s;
    const int32_t w = src.width(), h = src.height();
    std::unique_ptr<uint8_t[]> bgr(new (std::nothrow) uint8_t[size_t(w) * 3]);
    if (!bgr) {
        out.reset();
        return kNoMemory;
    }
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* o = out.row(y);
        if (bits == 24) {
            rowToBgr(src, y, o);
        } else if (bits == 32 && src.bits() == 32) {
            std::memcpy(o, src.row(y), size_t(w) * 4);
        } else {
            rowToBgr(src, y, bgr.get());
            const uint8_t* p = bgr.get();
            for (int32_t x = 0; x < w; ++x, p += 3) {
                if (bits == 32) {
                    o[4 * x] = p[0];
                    o[4 * x + 1] = p[1];
                    o[4 * x + 2] = p[2];
                } else {
                    wr16(o + 2 * x, uint16_t((p[2] >> 3) << 10 | (p[1] >> 3) << 5 | p[0] >> 3));
                }
            }
        }
        if (!progress.rows(y + 1, h)) {
            out.reset();
            return kCancelled;
        }
    }
    return kOk;
}

// ---------------------------------------------------------------------------------------
// Palettes.

namespace {

uint32_t pack(const uint8_t* bgr) { return uint32_t(bgr[2]) << 16 | uint32_t(bgr[1]) << 8 | bgr[0]; }
Colour unpack(uint32_t v) { return Colour{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), 0}; }

// Calls f(y, row of blue, green, red) for every row.
template <class F>
bool eachRow(const Dib& src, F f) {
    std::unique_ptr<uint8_t[]> bgr(new (std::nothrow) uint8_t[size_t(src.width()) * 3]);
    if (!bgr) return false;
    for (int32_t y = 0; y < src.height(); ++y) {
        rowToBgr(src, y, bgr.get());
        f(y, bgr.get());
    }
    return true;
}

// The picture's distinct colours in ascending order when there are at most `limit`;
// empty otherwise.
std::vector<Colour> distinctColours(const Dib& src, uint32_t limit) {
    std::vector<Colour> found;
    if (src.bits() <= 8) {
        // An indexed picture: the colours of the indices it uses.
        bool used[256] = {};
        for (int32_t y = 0; y < src.height(); ++y)
            for (int32_t x = 0; x < src.width(); ++x) used[indexAt(src.row(y), x, src.bits())] = true;
        std::vector<uint32_t> values;
        for (uint32_t i = 0; i < src.colours(); ++i)
            if (used[i]) {
                const Colour& c = src.palette()[i];
                values.push_back(uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue);
            }
        std::sort(values.begin(), values.end());
        values.erase(std::unique(values.begin(), values.end()), values.end());
        if (values.size() > limit) return found;
        for (uint32_t v : values) found.push_back(unpack(v));
        return found;
    }
    std::vector<uint64_t> seen((1u << 24) / 64, 0);
    uint32_t count = 0;
    const int32_t w = src.width();
    bool over = false;
    eachRow(src, [&](int32_t, const uint8_t* bgr) {
        for (int32_t x = 0; x < w && !over; ++x) {
            const uint32_t v = pack(bgr + 3 * x);
            uint64_t& word = seen[v >> 6];
            const uint64_t bit = uint64_t(1) << (v & 63);
            if (!(word & bit)) {
                word |= bit;
                if (++count > limit) over = true;
            }
        }
    });
    if (over) return found;
    for (uint32_t i = 0; i < seen.size(); ++i)
        for (uint64_t word = seen[i]; word; word &= word - 1)
            found.push_back(unpack(i * 64 + uint32_t(__builtin_ctzll(word))));
    return found;
}

struct Bin {
    uint32_t count = 0;
    uint64_t r = 0, g = 0, b = 0;
};

// Median cut over a 5-5-5 histogram.
std::vector<Colour> medianCut(const Dib& src, uint32_t colours) {
    std::vector<Bin> bins(32768);
    const int32_t w = src.width();
    eachRow(src, [&](int32_t, const uint8_t* bgr) {
        for (int32_t x = 0; x < w; ++x, bgr += 3) {
            Bin& bin = bins[(bgr[2] >> 3) << 10 | (bgr[1] >> 3) << 5 | bgr[0] >> 3];
            ++bin.count;
            bin.r += bgr[2];
            bin.g += bgr[1];
            bin.b += bgr[0];
        }
    });
    struct Box {
        int lo[3], hi[3];  // inclusive, 5-bit r, g, b
        uint64_t count;
    };
    auto binAt = [&](int r, int g, int b) -> const Bin& { return bins[r << 10 | g << 5 | b]; };
    auto shrink = [&](Box& box) {
        int lo[3] = {31, 31, 31}, hi[3] = {0, 0, 0};
        box.count = 0;
        for (int r = box.lo[0]; r <= box.hi[0]; ++r)
            for (int g = box.lo[1]; g <= box.hi[1]; ++g)
                for (int b = box.lo[2]; b <= box.hi[2]; ++b)
                    if (uint32_t n = binAt(r, g, b).count) {
                        box.count += n;
                        const int v[3] = {r, g, b};
                        for (int c = 0; c < 3; ++c) {
                            lo[c] = std::min(lo[c], v[c]);
                            hi[c] = std::max(hi[c], v[c]);
                        }
                    }
        if (box.count)
            for (int c = 0; c < 3; ++c) {
                box.lo[c] = lo[c];
                box.hi[c] = hi[c];
            }
    };
    std::vector<Box> boxes{Box{{0, 0, 0}, {31, 31, 31}, 0}};
    shrink(boxes[0]);
    while (boxes.size() < colours) {
        // The most populous box that can still be split.
        int pick = -1;
        for (size_t i = 0; i < boxes.size(); ++i) {
            const Box& b = boxes[i];
            if (b.lo[0] == b.hi[0] && b.lo[1] == b.hi[1] && b.lo[2] == b.hi[2]) continue;
            if (pick < 0 || b.count > boxes[size_t(pick)].count) pick = int(i);
        }
        if (pick < 0) break;
        Box box = boxes[size_t(pick)];
        int axis = 0;
        for (int c = 1; c < 3; ++c)
            if (box.hi[c] - box.lo[c] > box.hi[axis] - box.lo[axis]) axis = c;
        // Population along the axis, cut at the median.
        std::vector<uint64_t> along(32, 0);
        for (int r = box.lo[0]; r <= box.hi[0]; ++r)
            for (int g = box.lo[1]; g <= box.hi[1]; ++g)
                for (int b = box.lo[2]; b <= box.hi[2]; ++b) along[size_t(axis == 0 ? r : axis == 1 ? g : b)] +=
                    binAt(r, g, b).count;
        uint64_t acc = 0;
        int cut = box.lo[axis];
        for (int v = box.lo[axis]; v < box.hi[axis]; ++v) {
            acc += along[size_t(v)];
            cut = v;
            if (acc * 2 >= box.count) break;
        }
        Box a = box, b = box;
        a.hi[axis] = cut;
        b.lo[axis] = cut + 1;
        shrink(a);
        shrink(b);
        boxes[size_t(pick)] = a;
        if (b.count) boxes.push_back(b);
    }
    std::vector<Colour> pal;
    for (const Box& box : boxes) {
        uint64_t n = 0, r = 0, g = 0, b = 0;
        for (int rr = box.lo[0]; rr <= box.hi[0]; ++rr)
            for (int gg = box.lo[1]; gg <= box.hi[1]; ++gg)
                for (int bb = box.lo[2]; bb <= box.hi[2]; ++bb) {
                    const Bin& bin = binAt(rr, gg, bb);
                    n += bin.count;
                    r += bin.r;
                    g += bin.g;
                    b += bin.b;
                }
        if (n) pal.push_back(Colour{uint8_t((b + n / 2) / n), uint8_t((g + n / 2) / n), uint8_t((r + n / 2) / n), 0});
    }
    return pal;
}

// Nearest palette entry of a colour, exact, with a direct-mapped cache of recent colours.
class Nearest {
public:
    explicit Nearest(const std::vector<Colour>& pal) : pal_(pal), keys_(kSize, kEmpty), values_(kSize) {}
    unsigned operator()(unsigned r, unsigned g, unsigned b) {
        const uint32_t key = r << 16 | g << 8 | b;
        const uint32_t slot = (key * 2654435761u) >> (32 - kBits);
        if (keys_[slot] == key) return values_[slot];
        unsigned best = 0;
        uint32_t bestD = ~0u;
        for (size_t i = 0; i < pal_.size(); ++i) {
            const int dr = int(r) - pal_[i].red, dg = int(g) - pal_[i].green, db = int(b) - pal_[i].blue;
            const uint32_t d = uint32_t(dr * dr + dg * dg + db * db);
            if (d < bestD) {
                bestD = d;
                best = unsigned(i);
                if (!d) break;
            }
        }
        keys_[slot] = key;
        values_[slot] = uint8_t(best);
        return best;
    }

private:
    static constexpr int kBits = 16;
    static constexpr uint32_t kSize = 1u << kBits, kEmpty = 0xFFFFFFFFu;
    const std::vector<Colour>& pal_;
    std::vector<uint32_t> keys_;
    std::vector<uint8_t> values_;
};

constexpr uint8_t kBayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21},
};

inline int clamp255(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

}  // namespace

std::vector<Colour> choosePalette(const Dib& src, uint32_t colours) {
    if (colours < 2) colours = 2;
    if (colours > 256) colours = 256;
    std::vector<Colour> exact = distinctColours(src, colours);
    if (!exact.empty()) return exact;
    if (colours == 2) return {Colour{0, 0, 0, 0}, Colour{255, 255, 255, 0}};
    return medianCut(src, colours);
}

Status reduceColours(const Dib& src, unsigned bits, int dither, uint32_t colours, const Colour* palette,
                     uint32_t paletteLength, Dib& out, Progress& progress) {
    if (src.empty()) return kBadDib;
    if (bits != 1 && bits != 4 && bits != 8) return kBadArgument;
    if (dither < kDitherNone || dither > kDitherGrey) return kBadArgument;
    const uint32_t most = 1u << bits;
    if (colours == 0 || colours > most) colours = most;
    std::vector<Colour> pal;
    const bool grey = dither == kDitherGrey;
    if (grey) {
        for (uint32_t i = 0; i < colours; ++i) {
            const uint8_t v = uint8_t(colours > 1 ? (i * 255 + (colours - 1) / 2) / (colours - 1) : 0);
            pal.push_back(Colour{v, v, v, 0});
        }
    } else if (palette && paletteLength) {
        pal.assign(palette, palette + std::min(paletteLength, colours));
    } else {
        // A palette of the picture's own colours needs no dithering.
        pal = distinctColours(src, colours);
        if (!pal.empty()) dither = kDitherNone;
        else if (colours <= 2) pal = {Colour{0, 0, 0, 0}, Colour{255, 255, 255, 0}};
        else pal = medianCut(src, colours);
    }
    if (Status s = Dib::create(src.width(), src.height(), bits, out); s != kOk) return s;
    std::copy(pal.begin(), pal.end(), out.palette());

    const int32_t w = src.width(), h = src.height();
    Nearest nearest(pal);
    const bool diffuse = dither == kDitherBurkes || dither == kDitherFloyd || grey;
    const int channels = grey ? 1 : 3;
    // Error rows: this row and the next, with two pixels of margin on each side.
    std::vector<int> err0(diffuse ? size_t(w + 4) * 3 : 0), err1(err0.size());
    const double spread = std::min(255.0, 255.0 / std::max(1e-9, std::cbrt(double(colours)) - 1.0));
    bool cancelled = false;
    const bool rowsDone = eachRow(src, [&](int32_t y, const uint8_t* bgr) {
        if (cancelled) return;
        uint8_t* o = out.row(y);
        for (int32_t x = 0; x < w; ++x, bgr += 3) {
            int v[3] = {bgr[2], bgr[1], bgr[0]};
            if (grey) v[0] = int(luminance(unsigned(v[0]), unsigned(v[1]), unsigned(v[2])));
            unsigned index;
            if (diffuse) {
                int* e = &err0[size_t(x + 2) * 3];
                for (int c = 0; c < channels; ++c) v[c] = clamp255(v[c] + (e[c] >= 0 ? e[c] + 8 : e[c] - 8) / 16);
            } else if (dither == kDitherBayer) {
                const double t = (kBayer[y & 7][x & 7] - 31.5) / 64.0 * spread;
                for (int c = 0; c < 3; ++c) v[c] = clamp255(int(std::lround(v[c] + t)));
            }
            if (grey) {
                index = colours > 1 ? unsigned((v[0] * int(colours - 1) + 127) / 255) : 0;
            } else {
                index = nearest(unsigned(v[0]), unsigned(v[1]), unsigned(v[2]));
            }
            setIndex(o, x, bits, index);
            if (diffuse) {
                const Colour& got = pal[index];
                const int have[3] = {got.red, got.green, got.blue};
                for (int c = 0; c < channels; ++c) {
                    const int q = (v[c] - (grey ? got.red : have[c])) * 16;  // in sixteenths
                    int* e0 = &err0[size_t(x + 2) * 3 + size_t(c)];
                    int* e1 = &err1[size_t(x + 2) * 3 + size_t(c)];
                    if (dither == kDitherBurkes) {
                        // 8 4 / 2 4 8 4 2, out of 32
                        e0[3] += q * 8 / 32;
                        e0[6] += q * 4 / 32;
                        e1[-6] += q * 2 / 32;
                        e1[-3] += q * 4 / 32;
                        e1[0] += q * 8 / 32;
                        e1[3] += q * 4 / 32;
                        e1[6] += q * 2 / 32;
                    } else {
                        // 7 / 3 5 1, out of 16
                        e0[3] += q * 7 / 16;
                        e1[-3] += q * 3 / 16;
                        e1[0] += q * 5 / 16;
                        e1[3] += q * 1 / 16;
                    }
                }
            }
        }
        if (diffuse) {
            err0.swap(err1);
            std::fill(err1.begin(), err1.end(), 0);
        }
        if (!progress.rows(y + 1, h)) cancelled = true;
    });
    if (!rowsDone || cancelled) {
        out.reset();
        return rowsDone ? kCancelled : kNoMemory;
    }
    return kOk;
}

Status convertDepth(const Dib& src, unsigned bits, int dither, Dib& out, Progress& progress) {
    if (src.empty()) return kBadDib;
    if (bits == 0 || bits == src.bits()) return copyDib(src, out);
    if (bits == 16 || bits == 24 || bits == 32) return toTrueColour(src, bits, out, progress);
    if (bits != 1 && bits != 4 && bits != 8) return kBadArgument;
    if (src.bits() < bits) return widenIndexed(src, bits, out);
    return reduceColours(src, bits, dither, 0, nullptr, 0, out, progress);
}

}  // namespace img
