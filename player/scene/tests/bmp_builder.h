// Builds BMP file images for tests and fuzz seeds.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace bmpb {

using Bytes = std::vector<uint8_t>;

struct BmpDesc {
    int32_t width = 4;
    int32_t height = 4;  // negative: rows stored top-down
    uint16_t bits = 8;
    uint32_t headerSize = 40;
    uint32_t compression = 0;
    uint32_t coloursUsed = 0;
    int32_t xPels = 0, yPels = 0;
    uint32_t gap = 0;  // bytes between the palette and the pixels
    std::vector<uint32_t> palette;  // 0x00RRGGBB entries written (paletted depths)
    // Value of pixel (x, y), y counted from the top: an index, or 0x00RRGGBB for 24 bits.
    std::function<uint32_t(int32_t, int32_t)> pixel = [](int32_t x, int32_t y) { return uint32_t(x + y); };
};

inline void put16(Bytes& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
inline void put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

inline uint32_t rowBytes(int32_t width, uint32_t bits) { return (uint32_t(width) * bits + 31) / 32 * 4; }

inline Bytes build(const BmpDesc& s) {
    const int32_t h = s.height < 0 ? -s.height : s.height;
    const uint32_t stride = rowBytes(s.width, s.bits);
    const size_t paletteAt = 14 + s.headerSize;
    const size_t pixelsAt = paletteAt + s.palette.size() * 4 + s.gap;
    Bytes b(pixelsAt + size_t(stride) * h, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, uint32_t(b.size()));
    put32(b, 10, uint32_t(pixelsAt));
    put32(b, 14, s.headerSize);
    put32(b, 18, uint32_t(s.width));
    put32(b, 22, uint32_t(s.height));
    put16(b, 26, 1);
    put16(b, 28, s.bits);
    put32(b, 30, s.compression);
    put32(b, 38, uint32_t(s.xPels));
    put32(b, 42, uint32_t(s.yPels));
    put32(b, 46, s.coloursUsed);
    for (size_t i = 0; i < s.palette.size(); ++i) put32(b, paletteAt + 4 * i, s.palette[i]);
    for (int32_t y = 0; y < h; ++y) {
        const int32_t fileRow = s.height < 0 ? y : h - 1 - y;
        uint8_t* row = b.data() + pixelsAt + size_t(fileRow) * stride;
        for (int32_t x = 0; x < s.width; ++x) {
            const uint32_t v = s.pixel(x, y);
            switch (s.bits) {
            case 24:
                row[3 * x] = uint8_t(v);
                row[3 * x + 1] = uint8_t(v >> 8);
                row[3 * x + 2] = uint8_t(v >> 16);
                break;
            case 8: row[x] = uint8_t(v); break;
            case 4: row[x / 2] |= uint8_t((v & 15) << ((x & 1) ? 0 : 4)); break;
            case 1: row[x / 8] |= uint8_t((v & 1) << (7 - (x & 7))); break;
            default: break;
            }
        }
    }
    return b;
}

// A palette of n distinct colours.
inline std::vector<uint32_t> rampPalette(size_t n) {
    std::vector<uint32_t> p(n);
    for (size_t i = 0; i < n; ++i) p[i] = uint32_t((i * 37 + 11) & 255) << 16 | uint32_t(i & 255) << 8 | uint32_t(255 - (i & 255));
    return p;
}

inline bool writeFile(const std::string& path, const Bytes& b) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = b.empty() || std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

inline Bytes readFile(const std::string& path) {
    Bytes b;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return b;
    uint8_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
    std::fclose(f);
    return b;
}

}  // namespace bmpb
