// Animation block of object files: sizing, building and checked parsing.
#include "scene/animblock.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "scene/bytes.h"
#include "scene/engine.h"
#include "scene/pelfile.h"
#include "scene/scene.h"

namespace {

using bytes::rd32;
using bytes::rdf;

const AnimList* listAt(const AnimTrack* t, uint32_t slot) {
    switch (slot) {
    case 0: return t->position;
    case 1: return t->rotation;
    case 2: return t->scale;
    case 3: return t->extra;
    }
    return nullptr;
}
AnimList** slotAt(AnimTrack* t, uint32_t slot) {
    switch (slot) {
    case 0: return &t->position;
    case 1: return &t->rotation;
    case 2: return &t->scale;
    case 3: return &t->extra;
    }
    return nullptr;
}

// A list that the block can carry.
bool writable(const AnimList* l) { return l && l->keys && l->keyCount > 0 && l->dimension >= 1; }

uint32_t presentBits(const AnimTrack* t) {
    uint32_t bits = 0;
    for (uint32_t s = 0; s < 4; ++s)
        if (writable(listAt(t, s))) bits |= 1u << s;
    return bits;
}

// Parameter words of a key entry: none when the tangents are given.
uint32_t paramWords(uint32_t flags) {
    if (flags & ANIM_KEY_TANGENTS) return 0;
    uint32_t n = 0;
    for (int b = 0; b < 5; ++b)
        if (flags & (1u << b)) ++n;
    return n;
}

uint32_t keyWords(const AnimKey& k, uint32_t reserved) {
    return (k.flags & ANIM_KEY_TANGENTS) ? 3 * reserved : reserved;
}

const AnimBlockEntry* findEntry(const AnimKey* keys, const AnimBlockEntry* e) {
    for (; e; e = e->next)
        if (e->keys == keys) return e;
    return nullptr;
}

void writeVector(uint8_t*& c, const float* v, uint32_t dimension, uint32_t reserved) {
    for (uint32_t i = 0; i < reserved; ++i) bytes::pushf(c, v && i < dimension ? v[i] : 0.0f);
}

// Record matrices re-expressed in the frame of the object file writer.
void objectTransform(AnimTrack* track, const ScnNode* node, const Vec3* centre, Mat4* pre, Mat4* post) {
    Mat4 tail, mirror;
    mtxMakeTranslation(centre ? -centre->x : 0.0f, centre ? -centre->y : 0.0f, centre ? -centre->z : 0.0f, &tail);
    mtxIdentity(&mirror);
    mirror.m[0] = -1.0f;
    mirror.m[5] = -1.0f;
    mtxPostMultiply(&mirror, &tail);  // tail = translation(-centre) x mirror
    Mat4 frame, inverse;
    mtxMultiply(&node->base, &tail, &frame);
    if (!mtxInvert(&frame, &inverse)) mtxIdentity(&inverse);
    mtxMultiply(&inverse, &track->preMatrix, pre);
    Mat4 s = node->base;
    if (!(track->kind & ANIM_TRACK_SAMPLED)) {
        Mat4 at0, inv0;
        animTrackEvalMatrix(track, 0.0f, &at0);
        if (!mtxInvert(&at0, &inv0)) mtxIdentity(&inv0);
        mtxMultiply(&inv0, &node->base, &s);
    }
    Mat4 m;
    mtxMultiply(&track->postMatrix, &s, &m);
    mtxMultiply(&m, &tail, post);
}

bool standaloneTrack(const AnimTrack* t) { return t && (t->kind & ANIM_TRACK_STANDALONE); }

// Entries and sizes of a one-track block; total in bytes.
int planSingle(const AnimTrack* track, AnimBlockEntry** entries, AnimBlockSizing* s, uint64_t* total) {
    *entries = nullptr;
    *s = AnimBlockSizing{};
    if (!animBlockCollectLists(entries, track, 1.0f)) {
        animBlockFreeLists(entries);
        return 0;
    }
    animBlockRecordSize(track, s);
    animBlockKeySizes(*entries, s);
    *total = ANIM_BLOCK_HEADER + s->trackBytes + s->descBytes + s->keyBytes + s->valueBytes;
    if (*total > 0x7FFFFFFFu || s->keyEntries > 0xFFFFFFFFu || s->valueWords > 0xFFFFFFFFu) {
        errReport(ERR_LENGTH, "Animation block too large");
        animBlockFreeLists(entries);
        return 0;
    }
    return 1;
}

// ---- Parsing ----------------------------------------------------------------

int bad(const char* what) {
    errReport(ERR_FORMAT, "Bad animation block: %s", what);
    return 0;
}

// [offset, offset + bytes) lies in the block.
bool inside(uint64_t offset, uint64_t bytes, size_t size) { return offset <= size && bytes <= size - offset; }

void freeTracks(AnimTrack* tracks, uint32_t count) {
    if (!tracks) return;
    for (uint32_t i = 0; i < count; ++i) animTrackFreeLists(&tracks[i]);
    memFree(tracks);
}

}  // namespace

uint32_t animBlockReservedWords(uint32_t kind) {
    switch (kind) {
    case ANIM_BLOCK_POSITION: return 3;
    case ANIM_BLOCK_ROTATION: return 5;
    case ANIM_BLOCK_SCALE: return 3;
    case ANIM_BLOCK_EXTRA: return 4;
    }
    return 0;
}

// ---- Building -------------------------------------------------------------------

int animBlockCollectLists(AnimBlockEntry** entries, const AnimTrack* track, float timeScale) {
    if (!entries || !track) return 0;
    for (uint32_t s = 0; s < 4; ++s) {
        const AnimList* l = listAt(track, s);
        if (!writable(l) || findEntry(l->keys, *entries)) continue;
        auto* e = static_cast<AnimBlockEntry*>(memAllocZ(sizeof(AnimBlockEntry)));
        if (!e) return 0;
        e->keys = l->keys;
        e->keyCount = l->keyCount;
        e->kind = s + 1;
        e->dimension = std::min(l->dimension, animBlockReservedWords(e->kind));
        e->timeScale = timeScale;
        e->next = *entries;
        *entries = e;
    }
    return 1;
}

void animBlockRecordSize(const AnimTrack* track, AnimBlockSizing* sizing) {
    if (!track || !sizing) return;
    uint32_t bits = presentBits(track);
    sizing->trackBytes += ANIM_BLOCK_TRACK_RECORD;
    for (uint32_t s = 0; s < 4; ++s)
        if (bits & (1u << s)) sizing->trackBytes += ANIM_BLOCK_LIST_HEADER;
}

void animBlockKeySizes(const AnimBlockEntry* entries, AnimBlockSizing* sizing) {
    if (!sizing) return;
    for (const AnimBlockEntry* e = entries; e; e = e->next) {
        const uint32_t reserved = animBlockReservedWords(e->kind);
        for (uint32_t i = 0; i < e->keyCount; ++i) {
            sizing->keyBytes += ANIM_BLOCK_KEY_ENTRY + 4 * paramWords(e->keys[i].flags);
            sizing->keyEntries += 1;
            sizing->valueWords += keyWords(e->keys[i], reserved);
        }
    }
    sizing->valueBytes = 4 * sizing->valueWords;
}

void animBlockAssignKeyOffsets(AnimBlockEntry* entries, uint32_t keyAreaOffset) {
    uint32_t offset = keyAreaOffset;
    for (AnimBlockEntry* e = entries; e; e = e->next) {
        e->keyOffset = offset;
        for (uint32_t i = 0; i < e->keyCount; ++i) offset += ANIM_BLOCK_KEY_ENTRY + 4 * paramWords(e->keys[i].flags);
    }
}

uint32_t animBlockFindList(const AnimKey* keys, const AnimBlockEntry* entries, float* timeScaleOut) {
    const AnimBlockEntry* e = findEntry(keys, entries);
    if (timeScaleOut) *timeScaleOut = e ? e->timeScale : 1.0f;
    return e ? e->keyOffset : 0;
}

int animBlockWriteRecords(const AnimBlockEntry* entries, uint32_t count, AnimTrack* tracks, uint32_t nodeCount,
                          ScnNode* const* nodes, const uint32_t* partMap, const Vec3* centre, uint32_t indexBase,
                          uint8_t** cursor) {
    if (!cursor || !*cursor || (count > 0 && !tracks)) return 0;
    uint8_t* c = *cursor;
    for (uint32_t r = 0; r < count; ++r) {
        AnimTrack* t = &tracks[r];
        Mat4 pre = t->preMatrix, post = t->postMatrix;
        const ScnNode* node = nullptr;
        if (nodes && nodeCount == 1) {
            node = nodes[0];
        } else if (nodes && nodeCount > 1 && partMap) {
            for (uint32_t p = 0; p < nodeCount && !node; ++p)
                if (partMap[p] == indexBase + r) node = nodes[p];
        }
        if (node) objectTransform(t, node, centre, &pre, &post);
        for (float f : pre.m) bytes::pushf(c, f);
        for (float f : post.m) bytes::pushf(c, f);
        const uint32_t bits = presentBits(t);
        bytes::push32(c, bits);
        for (float f : t->pivot) bytes::pushf(c, f);
        uint32_t parent = 0xFFFFFFFFu;
        if (t->parent && t->parent >= tracks && t->parent < tracks + count)
            parent = uint32_t(t->parent - tracks) + indexBase;
        bytes::push32(c, parent);
        for (uint32_t s = 0; s < 4; ++s) {
            if (!(bits & (1u << s))) continue;
            const AnimList* l = listAt(t, s);
            const AnimBlockEntry* e = findEntry(l->keys, entries);
            float scale = 1.0f;
            const uint32_t offset = animBlockFindList(l->keys, entries, &scale);
            uint32_t n = l->keyCount, d = std::min(l->dimension, animBlockReservedWords(s + 1));
            if (e) {
                n = std::min(n, e->keyCount);
                d = std::min(d, e->dimension);
            }
            bytes::push32(c, n);
            bytes::push32(c, d);
            bytes::push32(c, offset);
            bytes::pushf(c, l->startTime * scale);
            bytes::pushf(c, l->endTime * scale);
            bytes::push32(c, l->beforeMode);
            bytes::push32(c, l->afterMode);
            bytes::push32(c, (l->interpolation & ANIM_INTERP_SPHERICAL) ? 1u : 0u);
        }
    }
    *cursor = c;
    return 1;
}

void animBlockWriteKeys(const AnimBlockEntry* entries, uint8_t** cursor) {
    if (!cursor || !*cursor) return;
    uint8_t* c = *cursor;
    uint32_t valueIndex = 0;
    for (const AnimBlockEntry* e = entries; e; e = e->next) {
        const uint32_t reserved = animBlockReservedWords(e->kind);
        for (uint32_t i = 0; i < e->keyCount; ++i) {
            const AnimKey& k = e->keys[i];
            bytes::push32(c, valueIndex);
            bytes::pushf(c, k.time * e->timeScale);
            if (k.flags & ANIM_KEY_TANGENTS) {
                // No parameters follow: their bits stay out, so that a reader going by the bits agrees.
                bytes::push32(c, k.flags & ~uint32_t(0x1F));
            } else {
                bytes::push32(c, k.flags);
                const float params[5] = {k.tension, k.continuity, k.bias, k.easeTo, k.easeFrom};
                for (int b = 0; b < 5; ++b)
                    if (k.flags & (1u << b)) bytes::pushf(c, params[b]);
            }
            valueIndex += keyWords(k, reserved);
        }
    }
    *cursor = c;
}

void animBlockWriteValues(const AnimBlockEntry* entries, uint8_t** cursor) {
    if (!cursor || !*cursor) return;
    uint8_t* c = *cursor;
    for (const AnimBlockEntry* e = entries; e; e = e->next) {
        const uint32_t reserved = animBlockReservedWords(e->kind);
        for (uint32_t i = 0; i < e->keyCount; ++i) {
            const AnimKey& k = e->keys[i];
            writeVector(c, k.value, e->dimension, reserved);
            if (k.flags & ANIM_KEY_TANGENTS) {
                writeVector(c, k.inTangent, e->dimension, reserved);
                writeVector(c, k.outTangent, e->dimension, reserved);
            }
        }
    }
    *cursor = c;
}

void animBlockFreeLists(AnimBlockEntry** entries) {
    if (!entries) return;
    while (AnimBlockEntry* e = *entries) {
        *entries = e->next;
        memFree(e);
    }
}

int animBlockSize(const AnimTrack* track, uint32_t* sizeOut) {
    if (sizeOut) *sizeOut = 0;
    if (!sizeOut || !standaloneTrack(track)) return 0;
    AnimBlockEntry* entries = nullptr;
    AnimBlockSizing s;
    uint64_t total = 0;
    if (!planSingle(track, &entries, &s, &total)) return 0;
    animBlockFreeLists(&entries);
    *sizeOut = uint32_t(total);
    return 1;
}

int animBlockBuild(const AnimTrack* track, uint8_t** blockOut, uint32_t* sizeOut) {
    if (blockOut) *blockOut = nullptr;
    if (sizeOut) *sizeOut = 0;
    if (!blockOut || !sizeOut || !standaloneTrack(track)) return 0;
    AnimBlockEntry* entries = nullptr;
    AnimBlockSizing s;
    uint64_t total = 0;
    if (!planSingle(track, &entries, &s, &total)) return 0;
    auto* block = static_cast<uint8_t*>(memAllocZ(size_t(total)));
    if (!block) {
        animBlockFreeLists(&entries);
        return 0;
    }
    const uint32_t trackOffset = ANIM_BLOCK_HEADER;
    const uint32_t descOffset = trackOffset + uint32_t(s.trackBytes);
    const uint32_t keyOffset = descOffset + uint32_t(s.descBytes);
    const uint32_t valueOffset = keyOffset + uint32_t(s.keyBytes);
    const uint32_t partOffset = valueOffset + uint32_t(s.valueBytes);
    uint8_t* h = block + ANIM_BLOCK_FRAME_RATE;
    bytes::pushf(h, ANIM_DEFAULT_FRAME_RATE);
    bytes::push32(h, 1);  // tracks
    bytes::push32(h, 0);  // sub-animations
    bytes::push32(h, 0);  // index words
    bytes::push32(h, uint32_t(s.keyEntries));
    bytes::push32(h, uint32_t(s.valueWords));
    bytes::push32(h, 0);  // part map
    bytes::push32(h, trackOffset);
    bytes::push32(h, descOffset);
    bytes::push32(h, keyOffset);
    bytes::push32(h, valueOffset);
    bytes::push32(h, partOffset);
    animBlockAssignKeyOffsets(entries, keyOffset);
    uint8_t* c = block + trackOffset;
    animBlockWriteRecords(entries, 1, const_cast<AnimTrack*>(track), 0, nullptr, nullptr, nullptr, 0, &c);
    animBlockWriteKeys(entries, &c);
    animBlockWriteValues(entries, &c);
    animBlockFreeLists(&entries);
    *blockOut = block;
    *sizeOut = uint32_t(total);
    return 1;
}

int animBlockFree(uint8_t** holder) { return memFreeRefT(holder); }

// ---- Parsing ----------------------------------------------------------------------

int pelReadKeyTrack(const uint8_t* header, AnimList** slot, const uint8_t* block, size_t size, uint32_t kind) {
    if (!slot) return 0;
    *slot = nullptr;
    const uint32_t reserved = animBlockReservedWords(kind);
    if (!header || !block || reserved == 0 || size < ANIM_BLOCK_HEADER) return 0;
    const uint64_t n = rd32(header), d = rd32(header + 4);
    uint64_t entry = rd32(header + 8);
    const uint64_t valueOffset = rd32(block + ANIM_BLOCK_VALUE_OFFSET);
    const uint64_t valueWords = rd32(block + ANIM_BLOCK_VALUE_WORDS);
    if (n == 0 || n * ANIM_BLOCK_KEY_ENTRY > size) return bad("key count");
    if (d == 0 || d > reserved) return bad("key dimension");
    if (!inside(valueOffset, 4 * valueWords, size)) return bad("value area outside the block");
    if (n * sizeof(AnimKey) > SIZE_MAX || n * 3 * d * sizeof(float) > SIZE_MAX) return bad("key count");
    auto* keys = static_cast<AnimKey*>(memAllocZ(size_t(n) * sizeof(AnimKey)));
    auto* values = static_cast<float*>(memAllocZ(size_t(n * 3 * d) * sizeof(float)));
    auto fail = [&](const char* what) {
        memFree(values);
        memFree(keys);
        return what ? bad(what) : 0;
    };
    if (!keys || !values) return fail(nullptr);
    for (uint64_t i = 0; i < n; ++i) {
        if (!inside(entry, ANIM_BLOCK_KEY_ENTRY, size)) return fail("key entry outside the block");
        const uint8_t* e = block + entry;
        AnimKey& k = keys[i];
        const uint64_t index = rd32(e);
        k.time = rdf(e + 4);
        k.flags = rd32(e + 8);
        entry += ANIM_BLOCK_KEY_ENTRY;
        float params[5] = {};
        // The parameters follow their bits, whatever flag 32 says.
        for (int b = 0; b < 5; ++b)
            if (k.flags & (1u << b)) {
                if (!inside(entry, 4, size)) return fail("key parameters outside the block");
                params[b] = rdf(block + entry);
                entry += 4;
            }
        k.tension = params[0], k.continuity = params[1], k.bias = params[2];
        k.easeTo = params[3], k.easeFrom = params[4];
        const bool tangents = k.flags & ANIM_KEY_TANGENTS;
        const uint64_t need = (tangents ? 2 * reserved : 0) + d;
        if (index + need > valueWords) return fail("key value outside the value area");
        k.value = values + 3 * d * i;
        k.inTangent = k.value + d;
        k.outTangent = k.value + 2 * d;
        const uint8_t* v = block + valueOffset + 4 * index;
        for (uint64_t c = 0; c < d; ++c) {
            k.value[c] = rdf(v + 4 * c);
            if (tangents) {
                k.inTangent[c] = rdf(v + 4 * (reserved + c));
                k.outTangent[c] = rdf(v + 4 * (2 * reserved + c));
            }
        }
    }
    animTangentsCompute(uint32_t(n), uint32_t(d), keys);
    AnimListRange r{};
    r.start = r.activeStart = rdf(header + 12);
    r.end = r.activeEnd = rdf(header + 16);
    r.beforeMode = r.activeBeforeMode = rd32(header + 20);
    r.afterMode = r.activeAfterMode = rd32(header + 24);
    r.interpolation = (rd32(header + 28) ? uint32_t(ANIM_INTERP_SPHERICAL) : 0u) +
                      (kind == ANIM_BLOCK_ROTATION ? uint32_t(ANIM_INTERP_QUAT) : 0u);
    if (!animListCreate(uint32_t(n), uint32_t(d), keys, 1, &r, slot)) return fail(nullptr);
    return 1;
}

void animBlockDataFree(AnimBlockData* data) {
    if (!data) return;
    freeTracks(data->tracks, data->trackCount);
    memFree(data->descs);
    memFree(data->partMap);
    *data = AnimBlockData{};
}

int animBlockParse(const uint8_t* block, size_t size, const uint32_t* partCount, AnimBlockData* out) try {
    if (!out) return 0;
    *out = AnimBlockData{};
    if (!block) return 0;
    if (size < ANIM_BLOCK_HEADER) {
        errReport(ERR_LENGTH, "Animation block too short (%llu bytes)", static_cast<unsigned long long>(size));
        return 0;
    }
    AnimBlockData d{};
    d.frameRate = rdf(block + ANIM_BLOCK_FRAME_RATE);
    const uint64_t T = rd32(block + ANIM_BLOCK_TRACK_COUNT);
    if (T == 0) {
        *out = d;
        return 1;
    }
    const uint64_t D = rd32(block + ANIM_BLOCK_DESC_COUNT);
    const uint64_t indexWords = rd32(block + ANIM_BLOCK_INDEX_WORDS);
    const uint64_t keyCount = rd32(block + ANIM_BLOCK_KEY_COUNT);
    const uint64_t valueWords = rd32(block + ANIM_BLOCK_VALUE_WORDS);
    const uint64_t P = rd32(block + ANIM_BLOCK_PART_COUNT);
    const uint64_t trackOffset = rd32(block + ANIM_BLOCK_TRACK_OFFSET);
    const uint64_t descOffset = rd32(block + ANIM_BLOCK_DESC_OFFSET);
    const uint64_t valueOffset = rd32(block + ANIM_BLOCK_VALUE_OFFSET);
    const uint64_t partOffset = rd32(block + ANIM_BLOCK_PART_OFFSET);
    if (!inside(trackOffset, T * ANIM_BLOCK_TRACK_RECORD, size)) return bad("track records outside the block");
    if (!inside(descOffset, D * ANIM_BLOCK_DESC_RECORD, size)) return bad("sub-animations outside the block");
    if (keyCount * ANIM_BLOCK_KEY_ENTRY > size) return bad("key count");
    if (4 * indexWords > size) return bad("index word count");
    if (!inside(valueOffset, 4 * valueWords, size)) return bad("value area outside the block");
    if (!inside(partOffset, 4 * P, size)) return bad("part map outside the block");
    const uint64_t parts = partCount ? *partCount : P;

    if (T * sizeof(AnimTrack) > SIZE_MAX) return bad("track count");
    std::vector<int64_t> parents(size_t(T), -1);
    d.trackCount = uint32_t(T);
    d.tracks = static_cast<AnimTrack*>(memAllocZ(size_t(T) * sizeof(AnimTrack)));
    if (!d.tracks) return 0;
    auto fail = [&](const char* what) {
        animBlockDataFree(&d);
        return what ? bad(what) : 0;
    };
    // Lists may share key entries; the keys decoded in all stay within a multiple of
    // what the block can hold, so that memory grows with the block, not its square.
    uint64_t keyBudget = 4 * (size / ANIM_BLOCK_KEY_ENTRY);
    uint64_t at = trackOffset;
    for (uint64_t i = 0; i < T; ++i) {
        AnimTrack& t = d.tracks[i];
        mtxIdentity(&t.localMatrix);
        mtxIdentity(&t.cachedMatrix);
        t.lastTime = ANIM_TIME_UNSET;
        if (!inside(at, ANIM_BLOCK_TRACK_RECORD, size)) return fail("track record outside the block");
        const uint8_t* r = block + at;
        for (int k = 0; k < 16; ++k) {
            t.preMatrix.m[k] = rdf(r + 4 * k);
            t.postMatrix.m[k] = rdf(r + 64 + 4 * k);
        }
        const uint32_t present = rd32(r + 128);
        for (int k = 0; k < 3; ++k) t.pivot[k] = rdf(r + 132 + 4 * k);
        const int32_t parent = int32_t(rd32(r + 144));
        if (parent < -1 || (parent >= 0 && uint64_t(parent) >= T)) return fail("parent index");
        parents[size_t(i)] = parent;
        at += ANIM_BLOCK_TRACK_RECORD;
        for (uint32_t s = 0; s < 4; ++s) {
            if (!(present & (1u << s))) continue;
            if (!inside(at, ANIM_BLOCK_LIST_HEADER, size)) return fail("key-list header outside the block");
            const uint64_t keys = rd32(block + at);
            if (keys > keyBudget) return fail("more keys than the block holds");
            keyBudget -= keys;
            if (!pelReadKeyTrack(block + at, slotAt(&t, s), block, size, s + 1)) return fail(nullptr);
            at += ANIM_BLOCK_LIST_HEADER;
        }
        const AnimList* p = t.position;
        if (p && p->keyCount >= 2 && p->dimension >= 2)
            t.headingOffset = std::atan2(p->keys[0].outTangent[1], p->keys[0].outTangent[0]);
    }
    for (uint64_t i = 0; i < T; ++i)
        if (parents[size_t(i)] >= 0) d.tracks[i].parent = &d.tracks[parents[size_t(i)]];

    // Sub-animations: sizes first, so that one allocation holds them and their index lists.
    uint64_t indexTotal = 0;
    at = descOffset;
    for (uint64_t i = 0; i < D; ++i) {
        if (!inside(at, ANIM_BLOCK_DESC_RECORD, size)) return fail("sub-animation outside the block");
        const uint64_t c = rd32(block + at + 128);
        if (!inside(at + ANIM_BLOCK_DESC_RECORD, 4 * c, size)) return fail("index list outside the block");
        indexTotal += c;
        at += ANIM_BLOCK_DESC_RECORD + 4 * c;
    }
    if (indexTotal > indexWords) return fail("index lists longer than declared");
    if (D * sizeof(AnimDesc) + 4 * indexTotal > SIZE_MAX) return fail("sub-animation count");
    if (D > 0) {
        d.descs = static_cast<AnimDesc*>(memAllocZ(size_t(D * sizeof(AnimDesc) + 4 * indexTotal)));
        if (!d.descs) return fail(nullptr);
        d.descCount = uint32_t(D);
    }
    uint32_t* indices = d.descs ? reinterpret_cast<uint32_t*>(d.descs + D) : nullptr;
    at = descOffset;
    for (uint64_t i = 0; i < D; ++i) {
        AnimDesc& a = d.descs[i];
        const uint8_t* r = block + at;
        std::memcpy(a.name, r, sizeof a.name);
        a.indexCount = rd32(r + 128);
        a.start = rdf(r + 132);
        a.end = rdf(r + 136);
        a.beforeMode = uint32_t(r[140]) | uint32_t(r[141]) << 8;
        a.afterMode = uint32_t(r[142]) | uint32_t(r[143]) << 8;
        a.flags = rd32(r + 144);
        a.indices = a.indexCount ? indices : nullptr;
        for (uint32_t k = 0; k < a.indexCount; ++k) *indices++ = rd32(r + ANIM_BLOCK_DESC_RECORD + 4 * k);
        at += ANIM_BLOCK_DESC_RECORD + 4 * uint64_t(a.indexCount);
        a.name[sizeof a.name - 1] = 0;
        if (a.flags & ANIM_DESC_SUBRANGE) {
            uint32_t first = 0, count = 0, partFirst = 0, partNum = 0;
            animDescGetTrackRange(&a, &first, &count);
            animDescGetPartRange(&a, &partFirst, &partNum);
            if (uint64_t(first) + count > T) return fail("sub-animation track range");
            if (uint64_t(partFirst) + partNum > parts) return fail("sub-animation part range");
            a.name[110] = 0;  // the words behind the name stay out of it
            a.firstTrack = d.tracks + first;
            a.trackCount = count;
        } else {
            a.firstTrack = d.tracks;
            a.trackCount = uint32_t(T);
        }
    }

    if (parts * 4 > SIZE_MAX) return fail("part count");
    d.partMap = static_cast<uint32_t*>(memAllocZ(size_t(std::max<uint64_t>(parts, 1)) * 4));
    if (!d.partMap) return fail(nullptr);
    d.partCount = uint32_t(parts);
    for (uint64_t i = 0; i < parts; ++i) {
        uint32_t track = uint32_t(T - 1);
        if (i < P) {
            track = rd32(block + partOffset + 4 * i);
            if (track >= T) return fail("part map entry");
        }
        d.partMap[i] = track;
    }
    *out = d;
    return 1;
} QIV_ENGINE_CATCH(0)

int animBlockApply(PelContent* content, const uint8_t* block, size_t size) try {
    if (!content || !block) return 0;
    AnimBlockData d;
    if (!animBlockParse(block, size, &content->partCount, &d)) return 0;
    // The nodes' new part arrays come first, so that a failure changes nothing; until the
    // content takes them, the parsed block and the arrays go at every exit.
    std::vector<ScnPart*> fresh;
    struct Pending {
        AnimBlockData& data;
        std::vector<ScnPart*>& parts;
        bool taken = false;
        ~Pending() {
            if (taken) return;
            for (ScnPart*& p : parts) memFreeRefT(&p);
            animBlockDataFree(&data);
        }
    } pending{d, fresh};
    if (d.trackCount && content->partCount) {
        for (ScnNode* n = content->firstNode; n; n = n->next) {
            MemHold<ScnPart> parts(static_cast<ScnPart*>(memAllocZ(size_t(content->partCount) * sizeof(ScnPart))));
            if (!parts) return 0;
            fresh.push_back(parts.get());
            parts.release();
        }
    }
    pelClearAnimation(content);
    if (d.trackCount == 0) return 1;
    pending.taken = true;
    content->frameRate = d.frameRate;
    content->trackCount = d.trackCount;
    content->descCount = d.descCount;
    content->tracks = d.tracks;
    content->descs = d.descs;
    content->trackIndex = d.partMap;
    size_t k = 0;
    for (ScnNode* n = content->firstNode; n; n = n->next) {
        memFreeRefT(&n->parts);
        if (k < fresh.size()) {
            n->parts = fresh[k++];
            for (uint32_t p = 0; p < content->partCount; ++p) {
                n->parts[p].track = &content->tracks[content->trackIndex[p]];
                mtxIdentity(&n->parts[p].local);
            }
        }
        scnSetTime(n, n->reqTime == SCN_TIME_UNSET ? 0.0f : n->reqTime);
    }
    return 1;
} QIV_ENGINE_CATCH(0)
