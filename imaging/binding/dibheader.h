// Reading a packed DIB's header the way the bitmap wrapper does, with every size checked:
// the colour count, where the colour table and the pixels lie, the image size.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "dib.h"

namespace imaging {

// Why a header cannot be wrapped, or empty when it can. `available`: the bytes of the
// block (0 when unknown).
std::string DibHeaderProblem(const uint8_t* header, size_t available);
// biClrUsed when non-zero; else 0 for 16, 24 and 32 bits; else 2 to the power of bits.
uint32_t DibColorCount(const uint8_t* header);
// The header (biSize, and the three or four masks after a 40-byte header with bit
// fields) and the colour table.
uint32_t DibHeaderSize(const uint8_t* header);
// Pixel bytes: biSizeImage, or when it is 0, |height| x row length.
uint64_t DibImageSize(const uint8_t* header);
// Colour table entries of a bit count: 1, 4 or 8 give 2 to that power, others 0.
uint32_t DibPaletteEntries(int bits);

// An 8-bit packed DIB as a new 24-bit picture: each pixel the colour of its index, the
// table being the DIB's own entries that the block really holds (biClrUsed counts no
// further) or `fallback` when it has none; indices beyond the table are black.
img::Status Expand8To24(const uint8_t* block, size_t length, const img::Colour* fallback, uint32_t fallbackCount,
                        img::Dib& out);

}  // namespace imaging
