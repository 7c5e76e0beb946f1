// The tests' own reader of 24-bit bitmap files: the headers checked against the file's size,
// pixels by (x, y from the top) as 0x00RRGGBB.
#pragma once
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qivtest {

struct Bitmap {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> bytes;
    uint32_t rowBytes = 0, offset = 0;
    static uint32_t le(const std::vector<uint8_t>& b, size_t at, int n) {
        uint32_t v = 0;
        for (int k = 0; k < n; ++k) v |= uint32_t(b[at + k]) << (8 * k);
        return v;
    }
    bool read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
        if (bytes.size() < 58 || bytes[0] != 'B' || bytes[1] != 'M') return false;
        if (le(bytes, 2, 4) != bytes.size() || le(bytes, 28, 2) != 24 || le(bytes, 30, 4) != 0) return false;
        offset = le(bytes, 10, 4);
        width = int32_t(le(bytes, 18, 4));
        height = int32_t(le(bytes, 22, 4));
        rowBytes = (uint32_t(width) * 3 + 3) & ~3u;
        return width > 0 && height > 0 && offset + uint64_t(rowBytes) * height == bytes.size();
    }
    uint32_t at(int32_t x, int32_t y) const {
        const size_t p = offset + size_t(height - 1 - y) * rowBytes + size_t(x) * 3;
        return uint32_t(bytes[p + 2]) << 16 | uint32_t(bytes[p + 1]) << 8 | bytes[p];
    }
};

}  // namespace qivtest
