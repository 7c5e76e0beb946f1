// Object stream parser on arbitrary streams: a parse and what the viewer does with the
// object (fuzz_viewer.h), for one input in four a second parse that takes over a node of
// the first content, and the command decoder alone.
// Its runs take -entropic=0 (the .options file beside it): with the tens of thousands of
// features that the viewer's steps reach, the entropic schedule's bookkeeping would cost
// more than the runs themselves.
#include <algorithm>
#include <cstring>
#include <vector>

#include "fuzz_viewer.h"
#include "render/light.h"
#include "scene/contentlist.h"
#include "scene/engine.h"
#include "scene/material.h"
#include "scene/qivstream.h"
#include "scene/scene.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Instances multiply parts; keep the objects small enough for quick runs.
    pelSetStreamLimits(1u << 15, 1u << 15);

    const uint32_t choice = fuzzChoice(data, size);
    PelContent* content = nullptr;
    PelStreamInfo* info = nullptr;
    if (pelParseStream(data, size, &content, &info, nullptr, 0, nullptr)) {
        pelFreeStream(&info);
        fuzzViewerSteps(&content, fuzzScratchPath("stream"), false, choice);
        // One input in four parses again into the place of the content a node shows.
        if ((choice >> 20) % 4 == 0) {
            ScnNode* node = nullptr;
            scnNodeCreate(content, 0, nullptr, nullptr, nullptr, &node);
            if (pelParseStream(data, size, &content, &info, nullptr, 0, nullptr)) pelFreeStream(&info);
            scnNodeFree(&node, nullptr);
        }
        pelFreeObject(&content);
    }

    // The input as one part record and its commands, into arrays of the declared counts
    // (no larger than the commands could fill: every command takes two bytes at least).
    if (size >= QIV_PART_RECORD) {
        std::vector<uint8_t> record(data, data + size);
        const uint32_t most = uint32_t(size / 2);
        uint32_t vertices = std::min<uint32_t>(uint32_t(record[40] | record[41] << 8), most);
        uint32_t faces = std::min<uint32_t>(uint32_t(record[42] | record[43] << 8), most);
        record[40] = uint8_t(vertices), record[41] = uint8_t(vertices >> 8);
        record[42] = uint8_t(faces), record[43] = uint8_t(faces >> 8);
        data = record.data();
        std::vector<PelVertex> vbuf(vertices + 1);
        std::vector<PelFace> fbuf(faces + 1);
        MatInput materials[2] = {};
        materials[1].flags = qivMatFlagIsTextured | qivMatFlagTwoSided;
        PelPart part{};
        PelContent c{};
        c.vertices = vbuf.data();
        c.faces = fbuf.data();
        c.materials = materials;
        c.materialCount = 2;
        c.parts = &part;
        c.partCount = 1;
        part.firstVertex = vbuf.data();
        part.firstFace = fbuf.data();
        const uint8_t* cursor = data + QIV_PART_RECORD;
        pelDecodePartGeometry(data, &c, &part, data + size, &cursor);
        for (uint32_t i = 0; i < part.faceCount; ++i)
            for (uint32_t v : fbuf[i].v)
                if (v >= part.vertexCount) __builtin_trap();
    }

    fuzzResetEngine();
    pelResetStream();
    return 0;
}
