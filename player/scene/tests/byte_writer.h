// Appending little-endian fields to a byte buffer, for the test-side file builders.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

#include "scene/bytes.h"

namespace testbytes {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void putf(Bytes& b, float f) {
    uint32_t w;
    std::memcpy(&w, &f, 4);
    put32(b, w);
}
inline void set32(Bytes& b, size_t at, uint32_t v) { bytes::wr32(b.data() + at, v); }
inline uint32_t get32(const Bytes& b, size_t at) { return bytes::rd32(b.data() + at); }

}  // namespace testbytes
