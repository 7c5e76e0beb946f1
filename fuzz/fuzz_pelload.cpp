// Object file reader on arbitrary files, and what the viewer does with every object it
// loaded (fuzz_viewer.h). The geometry checksum and the total length are made to match so
// that mutations reach the decoder. Most inputs are read from memory (header, directory
// through a memory stream, geometry, chunks in the reader's order); one in
// kFileShare goes through a file and pelLoad.
// Its runs take -entropic=0 (the .options file beside it): with the tens of thousands of
// features that the viewer's steps reach, the entropic schedule's bookkeeping would cost
// more than the runs themselves.
#include <cstdio>
#include <cstring>
#include <vector>

#include "fuzz_common.h"
#include "fuzz_viewer.h"

namespace {

constexpr uint32_t kFileShare = 8;

// pelLoad's road with the input in memory.
int loadFromMemory(std::vector<uint8_t>& b, PelContent** content) {
    *content = nullptr;
    if (b.size() < PEL_HEADER_SIZE) return 0;
    char name[100];
    PelFileInfo info;
    if (!pelParseHeader(b.data(), name, &info)) return 0;
    if (info.geoSize < PEL_GEO_HEADER_SIZE || info.geoOffset < PEL_HEADER_SIZE ||
        uint64_t(info.geoOffset) + info.geoSize > b.size())
        return 0;
    std::FILE* f = fmemopen(b.data(), b.size(), "rb");
    if (!f) return 0;
    uint32_t count = 0;
    PelChunkEntry* dir = nullptr;
    const int listed = pelReadChunkList(f, b.data(), b.size(), &count, &dir);
    std::fclose(f);
    if (!listed) return 0;
    size_t bytes = 0;
    if (pelDecodeGeometry(b.data() + info.geoOffset, &info, content, &bytes)) {
        for (uint32_t id : {PEL_CHUNK_ANIM, PEL_CHUNK_TEXTS1, PEL_CHUNK_TEXTS2, PEL_CHUNK_PARTVALUES})
            for (uint32_t i = 0; i < count; ++i)
                if (dir[i].id == id) {
                    // As the reader does, a chunk whose data lie past the end is left out.
                    if (uint64_t(dir[i].offset) + dir[i].size > b.size()) break;
                    pelApplyChunk(*content, id, dir[i].size, b.data() + dir[i].offset);
                    break;
                }
    }
    pelFreeDirectory(&dir);
    return *content ? 1 : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint32_t choice = fuzzChoice(data, size);
    std::vector<uint8_t> b(data, data + size);
    if (b.size() >= PEL_HEADER_SIZE) {
        fuzzWr32(b.data() + PEL_TOTAL_OFFSET, uint32_t(b.size()));
        uint64_t off = fuzzRd32(b.data() + 220), len = fuzzRd32(b.data() + 224);
        if (off + len <= b.size()) fuzzWr32(b.data() + 228, pelByteSum(size_t(len), b.data() + off));
    }
    PelContent* content = nullptr;
    if ((choice >> 12) % kFileShare == 0) {
        const std::string& path = fuzzScratchPath("load");
        if (fuzzWrite(path, b.data(), b.size())) {
            char file[PEL_FILE_NAME_MAX], name[100];
            PelFileInfo info;
            size_t bytes = 0;
            pelLoad(path.c_str(), file, name, &info, &content, &bytes);
        }
    } else {
        loadFromMemory(b, &content);
    }
    if (content) {
        fuzzViewerSteps(&content, fuzzScratchPath("loadback"), true, choice);
        pelFreeObject(&content);
    }

    // The decoder alone, on the input as a geometry block.
    PelFileInfo info{};
    info.geoSize = uint32_t(size);
    info.geoChecksum = pelByteSum(size, data);
    info.areaNameBytes = size > 0 ? data[size - 1] : 0;
    size_t bytes = 0;
    if (pelDecodeGeometry(data, &info, &content, &bytes)) pelFreeObject(&content);

    fuzzResetEngine();
    return 0;
}
