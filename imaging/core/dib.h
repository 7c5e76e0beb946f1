// Packed device-independent bitmaps in memory: a 40-byte info header, the colour table
// (4-byte entries blue, green, red, reserved), then the pixel rows, each padded to a
// multiple of 4 bytes, bottom row first. The blocks come from one process-wide
// allocator, so that a Windows layer can hand them out as global memory unchanged.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "status.h"

namespace img {

struct Colour {
    uint8_t blue = 0, green = 0, red = 0, reserved = 0;
    bool operator==(const Colour&) const = default;
};

constexpr size_t kInfoHeaderSize = 40;
// No picture of more pixels than this is made, whatever its file says.
constexpr uint64_t kMaxPixels = uint64_t(1) << 28;
// 75 pixels per inch, the resolution written into new headers.
constexpr int32_t kPixelsPerMetre = 2953;

struct DibAllocator {
    uint8_t* (*allocate)(size_t bytes);  // zero-filled; nullptr when there is no memory
    void (*release)(uint8_t* block);
};
// Replaces the allocator of every later block (the default uses the C heap).
void setDibAllocator(const DibAllocator& allocator);
// Bytes that can still be allocated, asked before every large block; the default knows
// no limit beyond kMaxPixels.
void setMemoryProbe(uint64_t (*available)());
uint64_t memoryAvailable();

// Row length in bytes of a picture row.
constexpr uint64_t dibStride(uint64_t width, unsigned bits) { return (width * bits + 31) / 32 * 4; }
// Checks a picture size before its block is made: sides positive, at most kMaxPixels
// pixels, and the block within the memory available.
Status checkPictureSize(int64_t width, int64_t height, unsigned bits);

// Little-endian fields of outside data.
inline uint16_t rd16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t rd32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint16_t rd16be(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
inline uint32_t rd32be(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline void wr16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void wr32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// One packed DIB of the library's own form: header of 40 bytes, BI_RGB, bottom-up,
// bits 1, 4, 8 (with a full colour table of 2^bits entries, so that every index has its
// colour), 16 (5-5-5), 24 or 32 (blue, green, red, and a fourth byte kept as it came).
class Dib {
public:
    Dib() = default;
    ~Dib() { reset(); }
    Dib(Dib&& other) noexcept { *this = static_cast<Dib&&>(other); }
    Dib& operator=(Dib&& other) noexcept;
    Dib(const Dib&) = delete;
    Dib& operator=(const Dib&) = delete;

    // A new zero-filled picture (its colour table black).
    static Status create(int32_t width, int32_t height, unsigned bits, Dib& out);
    // The same size and depth as `like`, with its colour table copied.
    static Status createLike(const Dib& like, Dib& out);
    // A view of a block that already has the library's own form (checked against its
    // length); kBadDib when it has another. The block stays the caller's.
    static Status borrow(const uint8_t* block, size_t length, Dib& out);

    bool empty() const { return block_ == nullptr; }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    unsigned bits() const { return bits_; }
    uint32_t colours() const { return colours_; }
    size_t stride() const { return stride_; }
    size_t headerSize() const { return kInfoHeaderSize + 4 * size_t(colours_); }
    size_t imageSize() const { return stride_ * size_t(height_); }

    Colour* palette() { return reinterpret_cast<Colour*>(block_ + kInfoHeaderSize); }
    const Colour* palette() const { return reinterpret_cast<const Colour*>(block_ + kInfoHeaderSize); }
    uint8_t* pixels() { return block_ + headerSize(); }
    const uint8_t* pixels() const { return block_ + headerSize(); }
    // Row y counted from the top.
    uint8_t* row(int32_t y) { return pixels() + size_t(height_ - 1 - y) * stride_; }
    const uint8_t* row(int32_t y) const { return pixels() + size_t(height_ - 1 - y) * stride_; }

    uint8_t* data() { return block_; }
    const uint8_t* data() const { return block_; }
    size_t size() const { return size_; }
    // Hands the block over to the caller (to be freed through the allocator); null for a
    // borrowed block.
    uint8_t* release();
    void reset();

private:
    uint8_t* block_ = nullptr;
    size_t size_ = 0, stride_ = 0;
    int32_t width_ = 0, height_ = 0;
    unsigned bits_ = 0;
    uint32_t colours_ = 0;
    bool owned_ = true;
};

// The pixel at x of a row of an indexed picture (bits 1, 4 or 8).
inline unsigned indexAt(const uint8_t* row, int32_t x, unsigned bits) {
    switch (bits) {
        case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
        case 4: return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
        default: return row[x];
    }
}
inline void setIndex(uint8_t* row, int32_t x, unsigned bits, unsigned v) {
    switch (bits) {
        case 1: {
            const uint8_t m = uint8_t(0x80 >> (x & 7));
            row[x >> 3] = uint8_t(v ? row[x >> 3] | m : row[x >> 3] & ~m);
            break;
        }
        case 4: {
            const int shift = (x & 1) ? 0 : 4;
            row[x >> 1] = uint8_t((row[x >> 1] & ~(15 << shift)) | (v & 15) << shift);
            break;
        }
        default: row[x] = uint8_t(v);
    }
}

// One row of any picture of the library's form as blue, green, red bytes (3 per pixel).
void rowToBgr(const Dib& dib, int32_t y, uint8_t* bgr);

// An outside packed DIB (a block from a client or a file): header of 12 (core), 40, 52,
// 56, 64, 108 or 124 bytes; bits 1, 2, 4, 8, 16, 24, 32; BI_RGB, RLE8, RLE4,
// BI_BITFIELDS or BI_ALPHABITFIELDS; rows either way up. `bits` points at the pixel
// data (a file gives its offset; a packed block has them after the colour table, see
// packedBitsOffset). Everything is checked against the lengths given.
struct DibSource {
    const uint8_t* info = nullptr;
    size_t infoLength = 0;  // bytes from the header to the end of what is there
    const uint8_t* bits = nullptr;
    size_t bitsLength = 0;
};
// Offset of the pixel data in a packed block: header, masks, colour table. 0 when the
// header cannot be read.
size_t packedBitsOffset(const uint8_t* info, size_t length);
// Decodes into the library's form: indexed pictures keep their depth (2 bits become
// 4), 16 bits stay 16 when 5-5-5, 32 bits stay 32 when 8-8-8, other masks give 24.
Status decodeDib(const DibSource& src, Dib& out, Progress& progress);
// The same on a packed block of the given length.
Status decodePackedDib(const uint8_t* block, size_t length, Dib& out, Progress& progress);

}  // namespace img
