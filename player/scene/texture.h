// Textures: BMP files read into pictures, textures made from them, tiled textures of large
// pictures, BMP and bitmap output, naming and freeing.
#pragma once
#include <cstddef>
#include <cstdint>

#include "scene/picture.h"

struct PelContent;

// A texture: average colour and pixel block (null for one colour) come first (TexHead).
struct TexRecord : TexHead {
    char* name;    // own copy, zero-terminated, or null
    char* source;  // own copy of the control's second text, or null
    uint32_t user;
    uint32_t unused;
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(TexRecord) == 32, "texture record layout");
#endif

// Largest texture made from a BMP file, and the tile size of tiled pictures.
constexpr int32_t TEX_FILE_LIMIT = 1024;
constexpr int32_t TEX_TILE_SIZE = 256;
// Sizes of the BMP headers written.
constexpr uint32_t TEX_BMP_FILE_HEADER = 14;
constexpr uint32_t TEX_BMP_INFO_HEADER = 40;
constexpr uint32_t TEX_BMP8_PIXEL_OFFSET = 14 + 40 + 256 * 4;  // 1078
constexpr uint32_t TEX_THUMB_SIZE = 64;

// Called with a pixel block before it is freed or changed (the hardware texture cache forgets
// it there); null for none. Also installed as the picture module's tile release hook.
using TexCacheRemoveFn = void (*)(TexPixelBlock* block);
void texSetCacheRemoveHook(TexCacheRemoveFn fn);
// Back to the state at load (no hook).
void texResetState();

int texAllocRecord(TexRecord** holder);

// Reads a BMP file (1, 4, 8 or 24 bits, uncompressed); null on failure. Metre outputs may be null.
PicRecord* picReadBmp(const char* name, float* widthMetres, float* heightMetres);
// The same on a file image in memory.
PicRecord* picReadBmpMemory(const uint8_t* data, size_t size, float* widthMetres, float* heightMetres);

// Reads a BMP file into a new texture (level chain, at most 1024 x 1024). memorySize may be null.
int texLoadFile(const char* name, uint32_t unused, TexRecord** texture, float* widthMetres,
                float* heightMetres, uint32_t* memorySize);
// Reads a BMP file as an 8-bit picture and builds its tiles.
int texLoadPalettized(const char* name, PicRecord** picture, int32_t* width, int32_t* height);
// Builds the 256 x 256 tile textures of an 8-bit picture (at most 16 x 12 tiles).
int texBuild(PicRecord* picture);

// Writes level 0 (or a 1 x 1 picture of the average colour) as an 8-bit BMP file.
int picWriteBmp(const TexRecord* texture, float widthMetres, float heightMetres, const char* name);
// 16-bit BMP file image in one memAllocZ allocation (free with memFree); size may be null.
int texEncodeBmp16(const TexRecord* texture, uint8_t** buffer, uint32_t thumbnail, uint32_t* size);
int texEncodeBmp(const TexRecord* texture, uint8_t** buffer, uint32_t* size);

// Packed 8-bit device-independent bitmap (information header, 256 colours, rows bottom-up):
// its size, and the bytes written into out (capacity bytes).
int texDibSize(const TexRecord* texture, uint32_t* size);
int texWriteDib(const TexRecord* texture, uint8_t* out, size_t capacity);
#if defined(_WIN32)
// The packed bitmap in movable global memory; handle receives the HGLOBAL.
int texToGlobalDib(const TexRecord* texture, void** handle, uint32_t* size);
#endif

int texSetName(TexRecord* texture, const char* name, const char* source, uint32_t value);
// Outputs point into the record (may be null).
int picGetInfo(const TexRecord* texture, const char** name, const char** source, uint32_t* value);
// 1 when the texture has a pixel block (blockSize gets its size).
int texGetData(const TexRecord* texture, float colour[3], uint32_t* blockSize, const char** name);
// Copies the content's area names (count names, each closed by a zero byte and possibly
// empty, then one more zero byte) into buffer; 0 with nothing copied when they need more
// than capacity bytes. Read the buffer by the count: an empty name does not end the list.
int pelGetAreaNames(const PelContent* content, uint32_t* count, char* buffer, size_t capacity);
// Bytes pelGetAreaNames needs (1 for a content without names).
size_t pelAreaNamesSize(const PelContent* content);
// Name of area a (possibly empty), or null when the content has no name for it.
const char* pelAreaName(const PelContent* content, uint32_t a);
// Builds the text of count names from a packed text of size bytes (names closed by zero
// bytes): names the text lacks are empty, a last name without its zero is closed, bytes
// behind the count-th name are dropped; one more zero ends the list. out needs
// pelAreaTextBound(size, count) bytes; answers the bytes written.
uint64_t pelAreaTextBound(uint64_t size, uint32_t count);
uint64_t pelNormalizeAreaText(const char* text, uint64_t size, uint32_t count, char* out);

int texScaleColours(TexRecord* texture, float red, float green, float blue);

int texFree(TexRecord** holder);
int picFree(PicRecord** holder);
int texFreeRef(TexPixelBlock** holder);
