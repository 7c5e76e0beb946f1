// Object file chunk directory, chunk writing/removal in place, and the
// multilingual text lists carried by text chunks.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Fixed layout of the object file header.
constexpr uint32_t PEL_HEADER_SIZE = 256;
constexpr uint32_t PEL_MAGIC_SIZE = 24;
constexpr uint32_t PEL_SLOT_OFFSET = 24;       // four 16-byte chunk slots
constexpr uint32_t PEL_TOTAL_OFFSET = 88;
constexpr uint32_t PEL_NAME_OFFSET = 120;
constexpr uint32_t PEL_NAME_FIELD = 100;        // counted string, at most 98 characters
constexpr uint32_t PEL_NAME_MAX = PEL_NAME_FIELD - 2;
constexpr uint32_t PEL_CHUNK_ENTRY_SIZE = 16;

// Chunk ids.
constexpr uint32_t PEL_CHUNK_ANIM = 20;
constexpr uint32_t PEL_CHUNK_PARTVALUES = 21;
constexpr uint32_t PEL_CHUNK_TEXTS1 = 0x10000;  // part names, then animation names
constexpr uint32_t PEL_CHUNK_TEXTS2 = 0x10001;  // object texts
constexpr uint32_t PEL_CHUNK_CONTINUE = 0xFFFFFFFFu;

// One chunk directory entry (16 bytes in the file).
struct PelChunkEntry {
    uint32_t id;      // 0 = empty slot
    uint32_t offset;  // file offset of the data
    uint32_t size;    // bytes of data
    uint32_t extra;   // byte sum of the data when written by pelWriteChunk
};

// Values taken from the file header (sixteen 32-bit words).
struct PelFileInfo {
    uint32_t geoOffset;
    uint32_t geoSize;
    uint32_t geoChecksum;
    uint32_t previewOffset;
    uint32_t previewSize;
    uint32_t previewSum;
    uint32_t outlineOffset;
    uint32_t outlineSize;
    uint32_t outlineSum;
    float sizeX, sizeY, sizeZ;
    uint32_t callerValue;
    uint32_t areaNameBytes;
    uint32_t faceCount;
    uint32_t flags;  // bits 0..7 of the header flags
};

struct PelContent;

// Writes text (at most width - 2 characters) as a counted string into a zeroed field.
void pelMakeMagic(uint32_t width, uint8_t* field, const char* text);
// 1 when the first 24 header bytes hold one of the three known magics.
int pelCheckMagic(const uint8_t* header);
// Copies the header values into info and the object name (at most 98
// characters and a zero) into objectName; either may be null.
void pelHeaderToInfo(const uint8_t* header, char* objectName, PelFileInfo* info);

// Sum of the bytes as unsigned values (wrapping); 0 for size 0.
uint32_t pelByteSum(size_t size, const void* data);

// Opens path for binary reading, reads the header and checks magic and total
// length against the real file length (reported at levels 2, 3 and 4).
int pelOpenChecked(const char* path, std::FILE** file, uint8_t* header, uint64_t* length);

// Opens an object file and checks header, magic and total length (like
// pelReadFile); fills objectName (>= 100 bytes, may be null), info (may be
// null) and the directory (count 0 and null array when there are no chunks).
// The array is freed with pelFreeDirectory.
int pelReadDirectory(const char* path, char* objectName, PelFileInfo* info, uint32_t* count,
                     PelChunkEntry** directory);
// Directory of an open file whose 256-byte header was already read.
// fileLength is the real length of the file: entries that do not fit in it are refused.
int pelReadChunkList(std::FILE* file, const uint8_t* header, uint64_t fileLength, uint32_t* count,
                     PelChunkEntry** directory);
int pelFreeDirectory(PelChunkEntry** holder);

// Removes the first chunk with that id; 1 (file unchanged) when there is none.
int pelRemoveChunk(const char* path, uint32_t id);
// Adds a chunk, replacing one of the same id.
int pelWriteChunk(const char* path, uint32_t id, uint32_t size, const void* data);

// Content language (two upper-case letters; "DE" until set).
int pelSetLanguage(const char* code);
int pelGetLanguage(char* out);
// Puts the language back to "DE" (tests start clean).
void pelResetLanguage();
// Names the content's animation descriptors from its first text list (entry
// part count + i) in the current language, "XX" as fallback; at most
// maxChars characters. Names without a text stay.
void pelRenameDescs(PelContent* content, uint32_t maxChars);
// Entries that text lookups have passed over on their way to the one asked for, since the
// process started (a figure for tests).
uint64_t pelTextEntriesSkipped();

// Text of entry index in language (fallback: "XX" unless the language is "XY"
// or the entry is empty). out receives a new zero-terminated copy or null;
// free it with memFreeRef.
int pelGetLangText(const char* list, uint32_t size, const char* language, int fallback, uint32_t index,
                   char** out);
// Sets, replaces or (empty text) removes the text of entry index in language.
// An empty list becomes entryCount entries. The list is replaced by a new one.
int pelSetLangText(char** listHolder, uint32_t* sizeHolder, const char* text, uint32_t index,
                   const char* language, uint32_t entryCount);

// Sets the error reporter's fixed context ("???", 99999) before a report of the object file
// reader, writer and chunk operations.
void errContext();
