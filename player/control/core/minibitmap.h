// The small picture of SaveMiniBitmap: the frame scaled to 64 x 64 pixels of 16 bits and
// stored as a BMP file image of 8246 bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "scene/picture.h"

namespace qivctl {

constexpr int32_t kMiniBitmapSide = 64;
constexpr size_t kMiniBitmapFileBytes = 8246;  // 14 + 40 header bytes, 64 x 64 x 2 pixel bytes

// "BM", file size 8246, reserved 0, pixel offset 54; info header (40 bytes: width and height
// 64, 1 plane, 16 bits, no compression, image size 8192, the rest 0); then the rows bottom row
// first, each pixel RGB555. rowsUp: row 0 of the frame is its bottom row. Empty for a frame
// without pixels, of no size, or of other pixel sizes than 2 (RGB555) and 4 (0x00RRGGBB).
std::vector<uint8_t> miniBitmapFile(const PicRecord* frame, bool rowsUp);

}  // namespace qivctl
