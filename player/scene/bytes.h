// Little-endian fields of stored layouts, and 64-bit file positions.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace bytes {

inline uint16_t rd16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t rd32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline float rdf(const uint8_t* p) {
    uint32_t w = rd32(p);
    float f;
    std::memcpy(&f, &w, 4);
    return f;
}
inline void wr16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void wr32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void wrf(uint8_t* p, float f) {
    uint32_t w;
    std::memcpy(&w, &f, 4);
    wr32(p, w);
}
// The same, advancing the cursor behind the field.
inline void push16(uint8_t*& c, uint32_t v) {
    wr16(c, v);
    c += 2;
}
inline void push32(uint8_t*& c, uint32_t v) {
    wr32(c, v);
    c += 4;
}
inline void pushf(uint8_t*& c, float f) {
    wrf(c, f);
    c += 4;
}

// Length of an open file; leaves the position at 0. -1 on failure.
inline int64_t fileLength(std::FILE* f) {
    if (std::fseek(f, 0, SEEK_END) != 0) return -1;
#if defined(_WIN32)
    int64_t n = _ftelli64(f);
#else
    int64_t n = ftello(f);
#endif
    if (std::fseek(f, 0, SEEK_SET) != 0) return -1;
    return n;
}

inline bool seekTo(std::FILE* f, uint64_t offset) {
#if defined(_WIN32)
    return _fseeki64(f, int64_t(offset), SEEK_SET) == 0;
#else
    return fseeko(f, off_t(offset), SEEK_SET) == 0;
#endif
}

}  // namespace bytes
