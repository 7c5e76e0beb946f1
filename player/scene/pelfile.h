// Object file reader: header, geometry block and the chunks that come with it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "scene/pelchunk.h"

struct PelContent;
struct MatInput;

// Size of the caller's file-name buffer of pelLoad.
constexpr size_t PEL_FILE_NAME_MAX = 260;
constexpr uint32_t PEL_GEO_HEADER_SIZE = 64;

// Record sizes of the geometry block.
constexpr uint32_t PEL_LIGHT_RECORD = 32;
constexpr uint32_t PEL_MATERIAL_RECORD = 64;
constexpr uint32_t PEL_AREA_RECORD = 256;
constexpr uint32_t PEL_PART_RECORD = 40;
constexpr uint32_t PEL_NORMAL_RECORD = 12;
constexpr uint32_t PEL_VERTEX_SHORT = 24;
constexpr uint32_t PEL_VERTEX_LONG = 26;
constexpr uint32_t PEL_FACE_SHORT = 28;
constexpr uint32_t PEL_FACE_LONG = 46;
constexpr uint32_t PEL_SHORT_LIMIT = 65534;  // counts above it use the long forms

// Working view of a geometry block: the eight counts and where each array
// lies in the (mutable) copy of the block.
struct PelGeoBlock {
    uint32_t lightCount;
    uint32_t materialCount;
    uint32_t areaCount;
    uint32_t partCount;
    uint32_t vertexNormalCount;
    uint32_t faceNormalCount;
    uint32_t vertexCount;
    uint32_t faceCount;
    uint8_t* lights;
    uint8_t* materials;  // 64-byte file records
    uint8_t* areaNames;  // null when the block carries none
    uint8_t* parts;
    uint8_t* vertexNormals;
    uint8_t* faceNormals;
    uint8_t* vertices;
    uint8_t* faces;
    uint32_t vertexRecord;  // 24 or 26
    uint32_t faceRecord;    // 28 or 46
};

// Loads the object file at path (backslash-separated). fileName (at least
// PEL_FILE_NAME_MAX bytes) receives the part behind the last backslash,
// objectName (at least 100 bytes) the header's name.
int pelLoad(const char* path, char* fileName, char* objectName, PelFileInfo* info, PelContent** content,
            size_t* contentBytes);
// Header, directory and the chunks whose load option is on (kept until pelLoad applies them).
int pelReadFile(const char* path, char* objectName, PelFileInfo* info);
int pelReadGeometry(const char* path, const PelFileInfo* info, PelContent** content, size_t* contentBytes);
// Checks and decodes a geometry block of info->geoSize bytes; registers the content.
int pelDecodeGeometry(const uint8_t* block, const PelFileInfo* info, PelContent** content, size_t* contentBytes);

// Fills buffer with size bytes of chunk id; non-zero on success.
typedef int (*PelReadChunkFn)(void* buffer, uint32_t id, uint32_t size);
int pelLoadFromMemory(const uint8_t* block, const PelFileInfo* info, uint32_t chunkCount,
                      const PelChunkEntry* chunkList, PelReadChunkFn readChunk, PelContent** content,
                      size_t* contentBytes);

// Applies one chunk (texts, per-part values; animation once supported) to a content.
int pelApplyChunk(PelContent* content, uint32_t id, uint32_t size, const void* data);
// Header checks of pelReadFile for a header in memory (no messages).
int pelParseHeader(const uint8_t* header, char* objectName, PelFileInfo* info);

// Pairs textured faces with materials of their own area, adding materials
// where needed. *newMaterials receives the new 64-byte material records (or
// null when nothing changed); block->materials then points to them.
int pelFixAreaMaterials(PelGeoBlock* block, uint8_t** newMaterials);
// Areas of a block without name records: one past the highest area that a textured face or
// material names (materials up to 65535), at most the block's count.
uint32_t pelNamedAreaCount(const PelGeoBlock* block);
int pelBuildContent(PelGeoBlock* block, const PelFileInfo* info, PelContent** content, size_t* contentBytes);

// Frees the content's animation (track index, descriptor and track arrays)
// and clears every node's pointers into them.
void pelClearAnimation(PelContent* content);

// Load options: whether pelReadFile keeps the chunk with that id (20, 21, 0x10000, 0x10001).
int pelSetLoadOption(uint32_t id, int on);
// Size and data of a kept chunk (null when none).
const uint8_t* pelKeptChunk(uint32_t id, uint32_t* size);
// Frees the kept chunks and switches all load options off.
void pelResetReader();
