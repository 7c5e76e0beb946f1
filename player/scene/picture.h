// Pictures and texture pixel blocks.
#pragma once
#include <cstddef>
#include <cstdint>

#include "scene/bytes.h"

struct TexPixelBlock;

// Tile grid of a picture used as a tiled texture.
constexpr int PIC_TILE_COLUMNS = 16;
constexpr int PIC_TILE_ROWS = 12;

// Limits of pictures made from device-independent bitmaps.
constexpr int32_t PIC_MAX_WIDTH = 16384;
constexpr int32_t PIC_MAX_HEIGHT = 16384;

// Picture flags
enum : uint32_t {
    // pixels and palette belong to someone else: freeing the picture frees only its record
    PIC_BORROWED = 1,
};

// Picture: rows top first, packed one after the other.
// Pixels: 1 byte (palette index), 2 bytes (RGB555) or 4 bytes (blue, green, red, fourth byte
// from the lowest address, i.e. the word 0x00RRGGBB).
struct PicRecord {
    uint8_t* pixels;
    int16_t* depth;  // depth plane of frame buffers, else null
    int32_t height;
    int32_t width;
    uint32_t bytesPerPixel;
    uint32_t paletteCount;  // 256 when a palette exists
    uint32_t* palette;      // 256 words 0x00RRGGBB (1 byte per pixel only)
    uint32_t tileColumns;
    uint32_t tileRows;
    float tileColours[PIC_TILE_COLUMNS][PIC_TILE_ROWS][3];  // column-major
    TexPixelBlock* tileBlocks[PIC_TILE_COLUMNS][PIC_TILE_ROWS];
    uint32_t flags;
};

constexpr uint32_t TEX_BLOCK_MAGIC = 0x534D4D32;

// One level record of a texture pixel block.
struct TexLevel {
    uint8_t* pixels;
    float coordScale;  // 2^(log2 width + 16 - level)
    uint32_t* palette;
    uint32_t paletteCount;
};

// Texture pixel block: one allocation holding this header, extraLevels + 1 level records
// (texLevel), the shared palette, then the 8-bit pixels of each level padded to 4 bytes.
struct TexPixelBlock {
    uint32_t magic;
    uint32_t extraLevels;
    uint32_t log2Width;
    uint32_t log2Height;
    float format;  // 1.0 single level, 3.0 level chain
    uint32_t totalSize;
    uint32_t reserved;
    uint32_t id;
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(TexPixelBlock) == 32 && sizeof(TexLevel) == 16, "block layout");
static_assert(sizeof(PicRecord) == 4 * (9 + 16 * 12 * 3 + 16 * 12 + 1), "picture layout");
#endif

inline TexLevel* texLevel(TexPixelBlock* block, uint32_t k) {
    return reinterpret_cast<TexLevel*>(reinterpret_cast<uint8_t*>(block) + sizeof(TexPixelBlock)) + k;
}
inline const TexLevel* texLevel(const TexPixelBlock* block, uint32_t k) {
    return reinterpret_cast<const TexLevel*>(reinterpret_cast<const uint8_t*>(block) +
                                             sizeof(TexPixelBlock)) +
           k;
}

// Leading fields of a texture record: what picture conversion fills and reads.
// The texture record derives from it (its first fields are these).
struct TexHead {
    float colour[3];  // average red, green, blue, 0..1
    TexPixelBlock* block;
};

// Device-independent bitmap: info = the 40-byte information header (or a longer one: its
// first word is its size) followed by the colour table, infoLength bytes in all; bits = the
// pixel rows, bitsLength bytes. Positive heights are bottom-up, negative ones top-down.
// Only uncompressed 1, 4, 8 and 24 bits per pixel. Metre outputs may be null.
int picCreateFromDib(const uint8_t* info, size_t infoLength, const uint8_t* bits, size_t bitsLength,
                     PicRecord** holder, float* widthMetres, float* heightMetres);

// Scales source into destination (both sized and allocated by the caller).
// format 0: 2 bytes per pixel, else 4. flip: destination rows written bottom-up.
void picCopyRect(uint32_t format, uint32_t flip, const PicRecord* source, PicRecord* destination);

// Makes an 8-bit power-of-two texture from any picture (the source is not changed).
int picConvert(const PicRecord* source, int32_t maxWidth, int32_t maxHeight, uint32_t chain,
               uint32_t bottomUp, TexHead* texture, uint32_t* outSize);

int picAverageColour(const PicRecord* picture, float colour[3], uint32_t* single);
void picLumaToAlpha(uint32_t* palette, uint32_t count);

// A picture showing level 0 of the texture's block; it borrows the block's memory.
int picFromTexBlock(const TexHead* texture, PicRecord** holder);

uint32_t picNextId();
uint32_t picNextIdStub();
void picResetIds();  // running number back to 0 (tests start clean)

// Frees the pixel block in the holder and clears it; 0 for a null holder.
int picFreeRef(TexPixelBlock** holder);

// Frees a picture: its own pixels, palette and tile blocks (none of them when borrowed), and
// the record; clears the holder. 0 for a null holder address, 1 otherwise.
int picDestroy(PicRecord** holder);
// Called with every tile block just before picDestroy frees it (the hardware texture cache
// forgets it there); null for none.
using PicBlockReleaseFn = void (*)(TexPixelBlock* block);
void picSetBlockReleaseHook(PicBlockReleaseFn fn);

// Pixel accessors (little-endian words at any alignment).
inline uint16_t picGet16(const uint8_t* p) { return bytes::rd16(p); }
inline uint32_t picGet32(const uint8_t* p) { return bytes::rd32(p); }
inline void picPut16(uint8_t* p, uint32_t v) { bytes::wr16(p, v); }
inline void picPut32(uint8_t* p, uint32_t v) { bytes::wr32(p, v); }

// 2-byte pixels (RGB555: red in bits 10 to 14, green 5 to 9, blue 0 to 4) from 0x00RRGGBB,
// keeping each channel's top five bits.
inline uint16_t picRgb555(uint32_t rgb) {
    return uint16_t(((rgb >> 9) & 0x7C00) | ((rgb >> 6) & 0x3E0) | ((rgb >> 3) & 0x1F));
}
// Back to 0x00RRGGBB with the low three bits of each channel 0 (packs to the same word).
inline uint32_t picRgb555ToRgb(uint32_t v) { return ((v & 0x7C00) << 9) | ((v & 0x3E0) << 6) | ((v & 0x1F) << 3); }
// For display: each 5-bit channel spread over the whole byte range (31 gives 255).
inline uint32_t picRgb555ToFullRgb(uint32_t v) {
    const uint32_t c = picRgb555ToRgb(v);
    return c | ((c >> 5) & 0x070707);
}
