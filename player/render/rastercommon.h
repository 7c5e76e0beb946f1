// Helpers shared by the triangle and line rasterisers.
#pragma once
#include <cstdint>
#include <cstring>

// The 15.17 fixed-point scale.
constexpr double RASTER_FIX17 = 131072.0;
// A colour channel clamped to 0..1 (NaN gives 0). The usual channel, strictly between 0 and
// 1, is told by its bit pattern: those floats are the patterns 1 .. 0x3F7FFFFF.
inline double rasterUnit(float c) {
    uint32_t bits;
    std::memcpy(&bits, &c, sizeof bits);
    if (bits - 1u < 0x3F7FFFFFu) return double(c);
    return c > 0.0f ? (c < 1.0f ? double(c) : 1.0) : 0.0;
}
