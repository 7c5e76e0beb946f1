// Animation chunk writer for saved objects.
#include "scene/animwrite.h"

#include <cstring>
#include <vector>

#include "scene/bytes.h"
#include "scene/engine.h"
#include "scene/pelchunk.h"

namespace {

using bytes::push16;
using bytes::push32;
using bytes::pushf;

// Track index of a content's part, or none.
constexpr uint32_t kNoTrack = 0xFFFFFFFFu;
uint32_t partTrack(const PelContent* c, uint32_t part) {
    if (!c || c->trackCount == 0 || !c->trackIndex) return kNoTrack;
    const uint32_t t = c->trackIndex[part];
    return t < c->trackCount ? t : kNoTrack;
}

// Cuts the name at PEL_ANIM_NAME_MAX characters, clearing the bytes up to the sub-range words.
void cutName(AnimDesc* d) {
    const size_t n = strnlen(d->name, PEL_ANIM_NAME_MAX);
    std::memset(d->name + n, 0, PEL_ANIM_NAME_MAX + 1 - n);
}

struct Plan {
    std::vector<ScnNode*> nodes;
    std::vector<AnimDesc> descs;  // merged copies (index lists still the sources')
    AnimBlockEntry* entries = nullptr;
    AnimBlockSizing sizing{};
    uint64_t indexWords = 0;
    ~Plan() { animBlockFreeLists(&entries); }
};

}  // namespace

void pelDescRecordSize(const AnimDesc* desc, AnimBlockSizing* sizing) {
    if (!desc || !sizing) return;
    sizing->descBytes += ANIM_BLOCK_DESC_RECORD + 4 * uint64_t(desc->indexCount);
}

void pelWriteDescRecords(uint32_t count, const AnimDesc* descs, uint8_t** cursor) {
    if (!cursor || !*cursor || (count && !descs)) return;
    uint8_t* c = *cursor;
    uint32_t base = 0;  // position of the most recent earlier record that starts an object
    for (uint32_t i = 0; i < count; ++i) {
        const AnimDesc& d = descs[i];
        std::memcpy(c, d.name, sizeof d.name);
        c += sizeof d.name;
        push32(c, d.indexCount);
        pushf(c, d.start);
        pushf(c, d.end);
        push16(c, d.beforeMode);
        push16(c, d.afterMode);
        push32(c, d.flags);
        for (uint32_t k = 0; k < d.indexCount; ++k) push32(c, (d.indices ? d.indices[k] : 0) + base);
        if (d.flags & ANIM_DESC_FIRST) base = i;
    }
    *cursor = c;
}

void pelWritePartMap(ScnNode* const* nodes, const uint32_t* partMap, uint32_t emptyTrack, uint8_t** cursor) {
    if (!nodes || !cursor || !*cursor) return;
    uint8_t* c = *cursor;
    uint32_t part = 0, tracksBefore = 0;
    for (uint32_t k = 0; nodes[k]; ++k) {
        const PelContent* content = nodes[k]->content;
        if (!content) continue;
        for (uint32_t p = 0; p < content->partCount; ++p, ++part) {
            if (partMap) {
                push32(c, partMap[part]);
            } else {
                const uint32_t t = partTrack(content, p);
                push32(c, t == kNoTrack ? emptyTrack : t + tracksBefore);
            }
        }
        tracksBefore += content->trackCount;
    }
    *cursor = c;
}

int pelWriteAnimation(const char* path, ScnNode* const* nodes, const uint32_t* partMap, uint32_t descCount,
                      const AnimDesc* descs, const Vec3* centre, float frameRate) try {
    if (!path || !nodes) return 0;
    errSetContext("???", 99999);
    const bool own = partMap && descCount && descs;
    Plan plan;
    uint64_t parts = 0, contentDescs = 0, contentTracks = 0;
    bool needEmpty = false;
    for (uint32_t k = 0; nodes[k]; ++k) {
        plan.nodes.push_back(nodes[k]);
        const PelContent* c = nodes[k]->content;
        if (!c) continue;
        parts += c->partCount;
        contentDescs += c->descs ? c->descCount : 0;
        contentTracks += c->tracks ? c->trackCount : 0;
        for (uint32_t p = 0; p < c->partCount; ++p) needEmpty = needEmpty || partTrack(c, p) == kNoTrack;
    }
    if (plan.nodes.empty()) return 1;
    if (!own && contentDescs == 0) return 1;
    if (parts > 0xFFFFFF || contentTracks > 0xFFFFFF) return 0;

    uint64_t trackCount = 0;
    const AnimTrack* run = nullptr;  // the caller's track run
    if (own) {
        run = descs[0].firstTrack;
        trackCount = descs[0].trackCount;
        if (!run || trackCount == 0) return 0;
        for (uint32_t i = 0; i < descCount; ++i) {
            if (descs[i].firstTrack != run || descs[i].trackCount != trackCount) return 0;
            AnimDesc d = descs[i];
            d.flags = (d.flags & ~uint32_t(ANIM_DESC_SUBRANGE | ANIM_DESC_FIRST)) | (i == 0 ? ANIM_DESC_FIRST : 0u);
            d.name[sizeof d.name - 1] = 0;
            plan.descs.push_back(d);
        }
        for (uint64_t p = 0; p < parts; ++p)
            if (partMap[p] >= trackCount) return 0;
        for (uint64_t t = 0; t < trackCount; ++t) {
            if (!animBlockCollectLists(&plan.entries, &run[t], 1.0f)) return 0;
            animBlockRecordSize(&run[t], &plan.sizing);
        }
    } else {
        uint32_t tracksBefore = 0, partsBefore = 0;
        for (ScnNode* node : plan.nodes) {
            const PelContent* c = node->content;
            if (!c) continue;
            const float s = c->frameRate != 0.0f ? frameRate / c->frameRate : 1.0f;
            for (uint32_t i = 0; c->descs && i < c->descCount; ++i) {
                AnimDesc d = c->descs[i];
                d.flags = (d.flags & ~uint32_t(ANIM_DESC_FIRST)) | (i == 0 ? ANIM_DESC_FIRST : 0u);
                d.start *= s;
                d.end *= s;
                cutName(&d);
                if (!(d.flags & ANIM_DESC_SUBRANGE)) {
                    animDescSetTrackRange(&d, tracksBefore, c->trackCount);
                    animDescSetPartRange(&d, partsBefore, c->partCount);
                } else {
                    uint32_t first = 0, count = 0;
                    animDescGetTrackRange(&c->descs[i], &first, &count);
                    animDescSetTrackRange(&d, first + tracksBefore, count);
                    animDescGetPartRange(&c->descs[i], &first, &count);
                    animDescSetPartRange(&d, first + partsBefore, count);
                }
                d.flags |= ANIM_DESC_SUBRANGE;
                plan.descs.push_back(d);
            }
            for (uint32_t t = 0; c->tracks && t < c->trackCount; ++t) {
                if (!animBlockCollectLists(&plan.entries, &c->tracks[t], s)) return 0;
                animBlockRecordSize(&c->tracks[t], &plan.sizing);
            }
            tracksBefore += c->tracks ? c->trackCount : 0;
            partsBefore += c->partCount;
        }
        trackCount = contentTracks;
    }
    for (const AnimDesc& d : plan.descs) {
        pelDescRecordSize(&d, &plan.sizing);
        plan.indexWords += d.indexCount;
    }
    AnimTrack empty{};
    mtxIdentity(&empty.preMatrix);
    mtxIdentity(&empty.localMatrix);
    mtxIdentity(&empty.cachedMatrix);
    mtxIdentity(&empty.postMatrix);
    empty.lastTime = ANIM_TIME_UNSET;
    if (!own && needEmpty) {
        animBlockRecordSize(&empty, &plan.sizing);
        ++trackCount;
    }
    animBlockKeySizes(plan.entries, &plan.sizing);
    const AnimBlockSizing& s = plan.sizing;
    const uint64_t total = ANIM_BLOCK_HEADER + s.trackBytes + s.descBytes + s.keyBytes + s.valueBytes + 4 * parts;
    if (total > 0x7FFFFFFF) {
        errReport(ERR_LENGTH, "Animation of %llu bytes is too large", static_cast<unsigned long long>(total));
        return 0;
    }
    auto* block = static_cast<uint8_t*>(memAllocZ(size_t(total)));
    if (!block) return 0;
    const uint32_t trackOffset = ANIM_BLOCK_HEADER;
    const uint32_t descOffset = trackOffset + uint32_t(s.trackBytes);
    const uint32_t keyOffset = descOffset + uint32_t(s.descBytes);
    const uint32_t valueOffset = keyOffset + uint32_t(s.keyBytes);
    const uint32_t partOffset = valueOffset + uint32_t(s.valueBytes);
    uint8_t* h = block + ANIM_BLOCK_FRAME_RATE;
    pushf(h, frameRate);
    push32(h, uint32_t(trackCount));
    push32(h, uint32_t(plan.descs.size()));
    push32(h, uint32_t(plan.indexWords));
    push32(h, uint32_t(s.keyEntries));
    push32(h, uint32_t(s.valueWords));
    push32(h, uint32_t(parts));
    push32(h, trackOffset);
    push32(h, descOffset);
    push32(h, keyOffset);
    push32(h, valueOffset);
    push32(h, partOffset);
    animBlockAssignKeyOffsets(plan.entries, keyOffset);

    uint8_t* c = block + trackOffset;
    if (own) {
        // Each record takes the transform of the node whose part names it first.
        std::vector<ScnNode*> owner(static_cast<size_t>(trackCount), nullptr);
        std::vector<uint32_t> identityMap(static_cast<size_t>(trackCount));
        for (uint32_t r = 0; r < trackCount; ++r) identityMap[r] = r;
        uint64_t part = 0;
        for (ScnNode* node : plan.nodes) {
            const uint32_t n = node->content ? node->content->partCount : 0;
            for (uint32_t p = 0; p < n; ++p, ++part)
                if (!owner[partMap[part]]) owner[partMap[part]] = node;
        }
        animBlockWriteRecords(plan.entries, uint32_t(trackCount), const_cast<AnimTrack*>(run), uint32_t(trackCount),
                              owner.data(), identityMap.data(), centre, 0, &c);
    } else {
        uint32_t base = 0;
        for (ScnNode* node : plan.nodes) {
            PelContent* content = node->content;
            if (!content || !content->tracks || !content->trackCount) continue;
            animBlockWriteRecords(plan.entries, content->trackCount, content->tracks, 1, &node, nullptr, centre, base,
                                  &c);
            base += content->trackCount;
        }
        if (needEmpty) animBlockWriteRecords(plan.entries, 1, &empty, 1, &plan.nodes[0], nullptr, centre, base, &c);
    }
    pelWriteDescRecords(uint32_t(plan.descs.size()), plan.descs.data(), &c);
    animBlockWriteKeys(plan.entries, &c);
    animBlockWriteValues(plan.entries, &c);
    pelWritePartMap(nodes, own ? partMap : nullptr, uint32_t(contentTracks), &c);

    int ok = pelWriteChunk(path, PEL_CHUNK_ANIM, uint32_t(total), block);
    memFree(block);
    if (!ok) return 0;

    // Per-part sub-animation indices, shifted past the sub-animations of the nodes before.
    bool anyPartWords = false;
    for (ScnNode* node : plan.nodes) anyPartWords = anyPartWords || (node->content && node->content->partWords);
    if (!own && anyPartWords && parts) {
        std::vector<uint8_t> words(size_t(4 * parts));
        uint8_t* w = words.data();
        uint32_t descsBefore = 0;
        for (ScnNode* node : plan.nodes) {
            const PelContent* content = node->content;
            if (!content) continue;
            for (uint32_t p = 0; p < content->partCount; ++p) {
                const uint32_t v = content->partWords ? content->partWords[p] : kNoTrack;
                push32(w, v == kNoTrack ? kNoTrack : v + descsBefore);
            }
            descsBefore += content->descs ? content->descCount : 0;
        }
        ok = pelWriteChunk(path, PEL_CHUNK_PARTVALUES, uint32_t(words.size()), words.data());
    }
    return ok ? 1 : 0;
} QIV_ENGINE_CATCH(0)

int pelWriteObjectAnimation(const char* path, ScnNode* node, uint32_t descCount, const AnimDesc* descs,
                            const Vec3* centre, float frameRate) try {
    if (!node || !node->content) return 1;
    ScnNode* list[2] = {node, nullptr};
    const PelContent* c = node->content;
    if (descCount && descs) {
        // The content's track index serves as the part map, one entry per part.
        if (!c->trackIndex) return 0;
        return pelWriteAnimation(path, list, c->trackIndex, descCount, descs, centre, frameRate);
    }
    if (c->trackCount == 0) return 1;
    return pelWriteAnimation(path, list, nullptr, 0, nullptr, centre, frameRate);
} QIV_ENGINE_CATCH(0)

int pelSaveWithAnimation(int mergeAreas, const char* path, ScnNode* const* nodes, uint32_t descCount,
                         const AnimDesc* descs, const uint32_t* partMap, const PelWriteInfo* info, Vec3* centreOut,
                         float frameRate, uint32_t nameCount, const char* const* names) try {
    Vec3 centre{};
    if (!pelSaveObject(mergeAreas, path, nodes, info, &centre, nameCount, names)) return 0;
    if (centreOut) *centreOut = centre;
    return pelWriteAnimation(path, nodes, partMap, descCount, descs, &centre, frameRate);
} QIV_ENGINE_CATCH(0)
