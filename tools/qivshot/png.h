// A small PNG writer: 8-bit RGB, one zlib-compressed IDAT chunk, no filtering.
#pragma once
#include <cstdint>
#include <vector>

namespace qivpng {

// Largest side accepted.
constexpr uint32_t kMaxSide = 16384;

// rgb holds height rows of width pixels, 3 bytes each (red, green, blue), top row first.
// False for an empty or too large picture or when compression fails.
bool encode(const uint8_t* rgb, uint32_t width, uint32_t height, std::vector<uint8_t>* out);

// Encodes and writes the file beside path, renamed over it only when complete.
bool writeFile(const char* path, const uint8_t* rgb, uint32_t width, uint32_t height);

}  // namespace qivpng
