// Animation block parser on arbitrary blocks: the first byte picks the part
// count, the rest is the block. Whatever parses must evaluate, and a track
// read from a block must build and read back to the same block.
#include <cstring>

#include "scene/anim.h"
#include "scene/animblock.h"
#include "scene/engine.h"

namespace {

void evaluateAll(AnimBlockData& d) {
    const float times[] = {-2.5f, 0.0f, 0.5f, 1.0f, 7.25f};
    Mat4 m;
    float extra[4];
    for (uint32_t i = 0; i < d.trackCount; ++i)
        for (float t : times) animTrackEval(&d.tracks[i], t, &m, extra);
    for (uint32_t k = 0; k < d.descCount; ++k) {
        const AnimDesc& a = d.descs[k];
        if (a.firstTrack < d.tracks || a.firstTrack + a.trackCount > d.tracks + d.trackCount) __builtin_trap();
        animTracksSetRange(a.trackCount, a.firstTrack, &a);
        for (uint32_t i = 0; i < a.trackCount; ++i) animTrackEvalFollowPath(&a.firstTrack[i], 0.75f, &m, extra);
    }
    for (uint32_t p = 0; p < d.partCount; ++p)
        if (d.partMap[p] >= d.trackCount) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint32_t parts = data[0] % 8;
    const uint8_t* block = data + 1;
    const size_t n = size - 1;

    AnimBlockData d;
    if (animBlockParse(block, n, &parts, &d)) {
        evaluateAll(d);
        animBlockDataFree(&d);
    }

    AnimTrack* t = nullptr;
    if (animTrackFromBlock(block, n, &t)) {
        uint8_t* first = nullptr;
        uint32_t firstSize = 0;
        if (!animBlockBuild(t, &first, &firstSize)) __builtin_trap();
        AnimTrack* back = nullptr;
        if (!animTrackFromBlock(first, firstSize, &back)) __builtin_trap();
        uint8_t* second = nullptr;
        uint32_t secondSize = 0;
        if (!animBlockBuild(back, &second, &secondSize)) __builtin_trap();
        if (firstSize != secondSize || std::memcmp(first, second, firstSize) != 0) __builtin_trap();
        animBlockFree(&first);
        animBlockFree(&second);
        animTrackFree(&back);
        animTrackFree(&t);
    }
    errReset();
    return 0;
}
