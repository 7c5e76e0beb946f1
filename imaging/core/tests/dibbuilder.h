// Test-side builder of packed DIBs and BMP files in every layout the readers take, from
// a picture given pixel by pixel; and helpers to compare pictures.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dib.h"

namespace dibb {

// A picture: indices (bits 1-8, with a colour table) or 0xRRGGBB values.
struct Pic {
    int32_t width = 0, height = 0;
    unsigned bits = 24;
    std::vector<img::Colour> palette;
    std::vector<uint32_t> px;  // row-major from the top
    uint32_t at(int32_t x, int32_t y) const { return px[size_t(y) * size_t(width) + size_t(x)]; }
    uint32_t rgb(int32_t x, int32_t y) const {
        const uint32_t v = at(x, y);
        if (bits > 8) return v;
        const img::Colour& c = palette[v];
        return uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue;
    }
};

inline Pic randomPic(int32_t w, int32_t h, unsigned bits, uint32_t seed, uint32_t colours = 0) {
    std::mt19937 rng(seed);
    Pic p;
    p.width = w;
    p.height = h;
    p.bits = bits;
    if (bits <= 8) {
        const uint32_t n = colours ? colours : 1u << bits;
        for (uint32_t i = 0; i < n; ++i) p.palette.push_back(img::Colour{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0});
        for (int64_t i = 0; i < int64_t(w) * h; ++i) p.px.push_back(rng() % n);
    } else {
        for (int64_t i = 0; i < int64_t(w) * h; ++i) p.px.push_back(rng() & 0xFFFFFF);
    }
    return p;
}

struct Layout {
    uint32_t headerSize = 40;  // 12, 40, 52, 56, 108, 124
    bool topDown = false;
    uint32_t compression = 0;  // 0, 1 (RLE8), 2 (RLE4), 3 (bit fields), 6
    uint32_t masks[4] = {0, 0, 0, 0};
    uint32_t clrUsed = 0;  // written as is; the table holds the picture's palette
};

inline void put16(std::vector<uint8_t>& v, uint16_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
inline void put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

// A channel value of 0-255 in a mask's bits, and what a reader makes of it again.
inline uint32_t toMask(uint32_t c, uint32_t mask) {
    if (!mask) return 0;
    unsigned shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    const uint32_t maxv = mask >> shift;
    return ((c * maxv + 127) / 255) << shift;
}
inline uint32_t fromMask(uint32_t v, uint32_t mask) {
    if (!mask) return 0;
    unsigned shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    const uint32_t maxv = mask >> shift;
    return uint32_t((uint64_t((v & mask) >> shift) * 255 + maxv / 2) / maxv);
}

// The pixel rows (file order), RLE-coded for compression 1 and 2.
inline std::vector<uint8_t> pixelData(const Pic& p, const Layout& l) {
    std::vector<uint8_t> out;
    const size_t stride = size_t(img::dibStride(uint64_t(p.width), p.bits));
    for (int32_t line = 0; line < p.height; ++line) {
        const int32_t y = l.topDown ? line : p.height - 1 - line;
        if (l.compression == 1 || l.compression == 2) {
            // Alternating encoded runs and absolute runs, then end of line.
            const bool four = l.compression == 2;
            int32_t x = 0;
            bool encoded = true;
            while (x < p.width) {
                if (encoded) {
                    int32_t n = 1;
                    while (x + n < p.width && n < 255 && p.at(x + n, y) == p.at(x, y)) ++n;
                    if (four) {  // a two-colour run: pixel pairs must repeat
                        n = 1;
                        out.push_back(uint8_t(n));
                        out.push_back(uint8_t(p.at(x, y) << 4));
                    } else {
                        out.push_back(uint8_t(n));
                        out.push_back(uint8_t(p.at(x, y)));
                    }
                    x += n;
                } else {
                    const int32_t n = std::min<int32_t>(p.width - x, 7);
                    if (n < 3) {
                        encoded = true;
                        continue;
                    }
                    out.push_back(0);
                    out.push_back(uint8_t(n));
                    size_t bytes = 0;
                    for (int32_t k = 0; k < n; ++k) {
                        if (four) {
                            if (k % 2 == 0) {
                                out.push_back(uint8_t(p.at(x + k, y) << 4));
                                ++bytes;
                            } else {
                                out.back() |= uint8_t(p.at(x + k, y));
                            }
                        } else {
                            out.push_back(uint8_t(p.at(x + k, y)));
                            ++bytes;
                        }
                    }
                    if (bytes & 1) out.push_back(0);
                    x += n;
                }
                encoded = !encoded;
            }
            out.push_back(0);
            out.push_back(line == p.height - 1 ? 1 : 0);
            continue;
        }
        std::vector<uint8_t> row(stride, 0);
        for (int32_t x = 0; x < p.width; ++x) {
            const uint32_t v = p.at(x, y);
            switch (p.bits) {
                case 1: if (v) row[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8)); break;
                case 2: row[size_t(x / 4)] |= uint8_t(v << (6 - 2 * (x % 4))); break;
                case 4: row[size_t(x / 2)] |= uint8_t(x % 2 ? v : v << 4); break;
                case 8: row[size_t(x)] = uint8_t(v); break;
                case 16: {
                    uint32_t s;
                    if (l.compression == 3)
                        s = toMask(v >> 16 & 255, l.masks[0]) | toMask(v >> 8 & 255, l.masks[1]) | toMask(v & 255, l.masks[2]);
                    else
                        s = ((v >> 19) & 31) << 10 | ((v >> 11) & 31) << 5 | ((v >> 3) & 31);
                    row[size_t(2 * x)] = uint8_t(s);
                    row[size_t(2 * x + 1)] = uint8_t(s >> 8);
                    break;
                }
                case 24:
                    row[size_t(3 * x)] = uint8_t(v);
                    row[size_t(3 * x + 1)] = uint8_t(v >> 8);
                    row[size_t(3 * x + 2)] = uint8_t(v >> 16);
                    break;
                case 32: {
                    uint32_t s = v;
                    if (l.compression == 3 || l.compression == 6)
                        s = toMask(v >> 16 & 255, l.masks[0]) | toMask(v >> 8 & 255, l.masks[1]) | toMask(v & 255, l.masks[2]);
                    for (int i = 0; i < 4; ++i) row[size_t(4 * x + i)] = uint8_t(s >> (8 * i));
                    break;
                }
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

// Info header, masks, colour table.
inline std::vector<uint8_t> infoPart(const Pic& p, const Layout& l) {
    std::vector<uint8_t> v;
    if (l.headerSize == 12) {
        put32(v, 12);
        put16(v, uint16_t(p.width));
        put16(v, uint16_t(p.height));
        put16(v, 1);
        put16(v, uint16_t(p.bits));
        for (const img::Colour& c : p.palette) {
            v.push_back(c.blue);
            v.push_back(c.green);
            v.push_back(c.red);
        }
        return v;
    }
    put32(v, l.headerSize);
    put32(v, uint32_t(p.width));
    put32(v, uint32_t(l.topDown ? -p.height : p.height));
    put16(v, 1);
    put16(v, uint16_t(p.bits));
    put32(v, l.compression);
    put32(v, 0);
    put32(v, 2835);
    put32(v, 2835);
    put32(v, l.clrUsed);
    put32(v, 0);
    const bool masked = l.compression == 3 || l.compression == 6;
    if (l.headerSize > 40) {
        for (int i = 0; i < 4; ++i) put32(v, masked ? l.masks[i] : 0);
        v.resize(l.headerSize, 0);
    } else if (masked) {
        for (int i = 0; i < (l.compression == 6 ? 4 : 3); ++i) put32(v, l.masks[i]);
    }
    for (const img::Colour& c : p.palette) {
        v.push_back(c.blue);
        v.push_back(c.green);
        v.push_back(c.red);
        v.push_back(0);
    }
    return v;
}

inline std::vector<uint8_t> packed(const Pic& p, const Layout& l = {}) {
    std::vector<uint8_t> v = infoPart(p, l);
    const std::vector<uint8_t> bits = pixelData(p, l);
    v.insert(v.end(), bits.begin(), bits.end());
    return v;
}

inline std::vector<uint8_t> bmpFile(const Pic& p, const Layout& l = {}) {
    const std::vector<uint8_t> info = infoPart(p, l);
    const std::vector<uint8_t> bits = pixelData(p, l);
    std::vector<uint8_t> v;
    v.push_back('B');
    v.push_back('M');
    put32(v, uint32_t(14 + info.size() + bits.size()));
    put32(v, 0);
    put32(v, uint32_t(14 + info.size()));
    v.insert(v.end(), info.begin(), info.end());
    v.insert(v.end(), bits.begin(), bits.end());
    return v;
}

// A Dib holding a picture (the library's own form).
inline img::Dib toDib(const Pic& p) {
    img::Dib d;
    const unsigned bits = p.bits == 2 ? 4 : p.bits;
    if (img::Dib::create(p.width, p.height, bits, d) != img::kOk) return d;
    for (size_t i = 0; i < p.palette.size(); ++i) d.palette()[i] = p.palette[i];
    for (int32_t y = 0; y < p.height; ++y)
        for (int32_t x = 0; x < p.width; ++x) {
            const uint32_t v = p.at(x, y);
            uint8_t* row = d.row(y);
            if (bits <= 8) img::setIndex(row, x, bits, v);
            else if (bits == 16) img::wr16(row + 2 * x, uint16_t(((v >> 19) & 31) << 10 | ((v >> 11) & 31) << 5 | ((v >> 3) & 31)));
            else if (bits == 24) {
                row[3 * x] = uint8_t(v);
                row[3 * x + 1] = uint8_t(v >> 8);
                row[3 * x + 2] = uint8_t(v >> 16);
            } else {
                img::wr32(row + 4 * x, v);
            }
        }
    return d;
}

// 0xRRGGBB of a pixel of a Dib.
inline uint32_t rgbAt(const img::Dib& d, int32_t x, int32_t y) {
    std::vector<uint8_t> bgr(size_t(d.width()) * 3);
    img::rowToBgr(d, y, bgr.data());
    return uint32_t(bgr[size_t(3 * x + 2)]) << 16 | uint32_t(bgr[size_t(3 * x + 1)]) << 8 | bgr[size_t(3 * x)];
}

// The first pixel where two pictures differ in colour by more than `tolerance` on a
// channel, as "x,y: want RRGGBB got RRGGBB"; empty when none.
inline std::string firstDifference(const img::Dib& want, const img::Dib& got, int tolerance = 0) {
    if (want.width() != got.width() || want.height() != got.height())
        return "size " + std::to_string(want.width()) + "x" + std::to_string(want.height()) + " against " +
               std::to_string(got.width()) + "x" + std::to_string(got.height());
    std::vector<uint8_t> a(size_t(want.width()) * 3), b(a.size());
    for (int32_t y = 0; y < want.height(); ++y) {
        img::rowToBgr(want, y, a.data());
        img::rowToBgr(got, y, b.data());
        for (size_t i = 0; i < a.size(); ++i)
            if (std::abs(int(a[i]) - int(b[i])) > tolerance) {
                char text[96];
                const size_t x = i / 3;
                std::snprintf(text, sizeof text, "%zu,%d: want %02x%02x%02x got %02x%02x%02x", x, int(y), a[3 * x + 2],
                              a[3 * x + 1], a[3 * x], b[3 * x + 2], b[3 * x + 1], b[3 * x]);
                return text;
            }
    }
    return "";
}

}  // namespace dibb
