#include "png.h"

#include <zlib.h>

#include <cstdio>
#include <string>

namespace qivpng {

namespace {

void put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int s = 24; s >= 0; s -= 8) v.push_back(uint8_t(x >> s));
}

void chunk(std::vector<uint8_t>& out, const char type[4], const uint8_t* data, size_t size) {
    put32(out, uint32_t(size));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    if (size) out.insert(out.end(), data, data + size);
    const uLong crc = crc32(0L, out.data() + start, uInt(out.size() - start));
    put32(out, uint32_t(crc));
}

}  // namespace

bool encode(const uint8_t* rgb, uint32_t width, uint32_t height, std::vector<uint8_t>* out) {
    if (!rgb || !out || width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return false;
    const size_t row = size_t(width) * 3;
    std::vector<uint8_t> raw;
    raw.reserve((row + 1) * height);
    for (uint32_t y = 0; y < height; ++y) {
        raw.push_back(0);  // filter: none
        raw.insert(raw.end(), rgb + y * row, rgb + (y + 1) * row);
    }
    uLongf packedSize = compressBound(uLong(raw.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), uLong(raw.size()), 6) != Z_OK) return false;

    out->clear();
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out->insert(out->end(), kSignature, kSignature + 8);
    std::vector<uint8_t> ihdr;
    put32(ihdr, width);
    put32(ihdr, height);
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, adaptive filters, no interlace
    chunk(*out, "IHDR", ihdr.data(), ihdr.size());
    chunk(*out, "IDAT", packed.data(), packedSize);
    chunk(*out, "IEND", nullptr, 0);
    return true;
}

bool writeFile(const char* path, const uint8_t* rgb, uint32_t width, uint32_t height) {
    std::vector<uint8_t> data;
    if (!path || !encode(rgb, width, height, &data)) return false;
    const std::string temp = std::string(path) + ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    if (std::fclose(f) != 0) ok = false;
    if (ok) {
        std::remove(path);
        ok = std::rename(temp.c_str(), path) == 0;
    }
    if (!ok) std::remove(temp.c_str());
    return ok;
}

}  // namespace qivpng
