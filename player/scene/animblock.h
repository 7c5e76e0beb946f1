// Animation block of object files: one self-contained little-endian block
// (header, track records with key-list headers, sub-animation records, key
// entries, values, part map) that carries an object's whole animation.
#pragma once
#include <cstddef>
#include <cstdint>

#include "scene/anim.h"
#include "scene/vecmath.h"

struct PelContent;
struct ScnNode;

// Fixed sizes and header offsets of the block.
constexpr uint32_t ANIM_BLOCK_HEADER = 108;
constexpr uint32_t ANIM_BLOCK_TRACK_RECORD = 148;
constexpr uint32_t ANIM_BLOCK_LIST_HEADER = 32;
constexpr uint32_t ANIM_BLOCK_DESC_RECORD = 148;
constexpr uint32_t ANIM_BLOCK_KEY_ENTRY = 12;

constexpr uint32_t ANIM_BLOCK_FRAME_RATE = 60;
constexpr uint32_t ANIM_BLOCK_TRACK_COUNT = 64;
constexpr uint32_t ANIM_BLOCK_DESC_COUNT = 68;
constexpr uint32_t ANIM_BLOCK_INDEX_WORDS = 72;
constexpr uint32_t ANIM_BLOCK_KEY_COUNT = 76;
constexpr uint32_t ANIM_BLOCK_VALUE_WORDS = 80;
constexpr uint32_t ANIM_BLOCK_PART_COUNT = 84;
constexpr uint32_t ANIM_BLOCK_TRACK_OFFSET = 88;
constexpr uint32_t ANIM_BLOCK_DESC_OFFSET = 92;
constexpr uint32_t ANIM_BLOCK_KEY_OFFSET = 96;
constexpr uint32_t ANIM_BLOCK_VALUE_OFFSET = 100;
constexpr uint32_t ANIM_BLOCK_PART_OFFSET = 104;

// List kinds of the builder (list slot + 1).
enum : uint32_t {
    ANIM_BLOCK_POSITION = 1,
    ANIM_BLOCK_ROTATION = 2,
    ANIM_BLOCK_SCALE = 3,
    ANIM_BLOCK_EXTRA = 4,
};

// Floats reserved per vector in the value area for a list kind (1..4); 0 otherwise.
uint32_t animBlockReservedWords(uint32_t kind);

// One key array to write (shared key arrays are written once).
struct AnimBlockEntry {
    const AnimKey* keys;  // also the entry's identity
    uint32_t keyCount;
    uint32_t dimension;   // floats of each vector that are written
    uint32_t kind;        // ANIM_BLOCK_*
    uint32_t keyOffset;   // block offset of the first key entry
    float timeScale;
    AnimBlockEntry* next;
};

// Running sizes of a block being built.
struct AnimBlockSizing {
    uint64_t keyEntries;
    uint64_t valueWords;
    uint64_t trackBytes;
    uint64_t descBytes;
    uint64_t keyBytes;
    uint64_t valueBytes;
};

// One standalone track as a block: frame rate 15, one track, no sub-animations, no part map.
int animBlockSize(const AnimTrack* track, uint32_t* sizeOut);
int animBlockBuild(const AnimTrack* track, uint8_t** blockOut, uint32_t* sizeOut);
int animBlockFree(uint8_t** holder);

// Building steps (also used by the writer of saved objects).
int animBlockCollectLists(AnimBlockEntry** entries, const AnimTrack* track, float timeScale);
void animBlockRecordSize(const AnimTrack* track, AnimBlockSizing* sizing);
void animBlockKeySizes(const AnimBlockEntry* entries, AnimBlockSizing* sizing);
void animBlockAssignKeyOffsets(AnimBlockEntry* entries, uint32_t keyAreaOffset);
// Key-entry offset of the entry with that key array (0 when absent) and its time scale.
uint32_t animBlockFindList(const AnimKey* keys, const AnimBlockEntry* entries, float* timeScaleOut);
// Writes count track records. With nodes (nodeCount > 0) the records are
// re-expressed in the frame of the object file writer (node base, centre,
// mirrored x and y): one node applies to every record; several nodes are
// matched to records through partMap (the node whose index is the first part
// mapped to the record; records no part names are written as they are).
// Parent indices are positions in tracks plus indexBase.
int animBlockWriteRecords(const AnimBlockEntry* entries, uint32_t count, AnimTrack* tracks, uint32_t nodeCount,
                          ScnNode* const* nodes, const uint32_t* partMap, const Vec3* centre, uint32_t indexBase,
                          uint8_t** cursor);
void animBlockWriteKeys(const AnimBlockEntry* entries, uint8_t** cursor);
void animBlockWriteValues(const AnimBlockEntry* entries, uint8_t** cursor);
void animBlockFreeLists(AnimBlockEntry** entries);

// A parsed block: every count, offset and index checked against the block.
struct AnimBlockData {
    float frameRate;
    uint32_t trackCount;  // 0: no animation (the arrays are null)
    uint32_t descCount;
    uint32_t partCount;   // entries of partMap
    AnimTrack* tracks;    // trackCount records, parents within the array
    AnimDesc* descs;      // descCount records, their index lists behind them
    uint32_t* partMap;    // partCount track indices
};
// Parses size bytes. partCount: the parts of the content the block is for (the
// part map gets one entry per part; parts beyond the block's map take the last
// track), or null to take the block's own part-map count. Failures report
// level 4 (too short) or 3 (anything inconsistent) and leave *out empty.
int animBlockParse(const uint8_t* block, size_t size, const uint32_t* partCount, AnimBlockData* out);
void animBlockDataFree(AnimBlockData* data);

// Decodes one key-list header (32 bytes at header) of a block into *slot.
// kind: ANIM_BLOCK_*. The list owns its keys.
int pelReadKeyTrack(const uint8_t* header, AnimList** slot, const uint8_t* block, size_t size, uint32_t kind);

// Replaces the content's animation by the block's (chunk 20). A block that
// fails the checks leaves the content as it was and answers 0.
int animBlockApply(PelContent* content, const uint8_t* block, size_t size);
