// Chunk directory operations on arbitrary files and the text list operations
// on arbitrary lists.
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "scene/engine.h"
#include "scene/pelchunk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Text lists: lookup and update on the input as a list.
    if (size >= 4) {
        const char lang[2] = {char(data[0]), char(data[1])};
        uint32_t index = data[2] % 8;
        char* out = nullptr;
        const char* list = reinterpret_cast<const char*>(data + 3);
        uint32_t listSize = uint32_t(size - 3);
        pelGetLangText(list, listSize, lang, data[2] & 0x80, index, &out);
        memFreeRefT(&out);
        char* held = static_cast<char*>(memAllocZ(listSize));
        if (held) {
            std::memcpy(held, list, listSize);
            uint32_t heldSize = listSize;
            const char* text = (data[2] & 0x40) ? "" : "fuzz";
            const char code[3] = {lang[0], lang[1], 0};
            if (pelSetLangText(&held, &heldSize, text, index, code, 8))
                if (pelGetLangText(held, heldSize, code, 0, index, &out) && text[0])
                    if (std::strcmp(out, text) != 0) __builtin_trap();  // a text set must be found again
            memFreeRefT(&out);
            memFreeRefT(&held);
        }
    }

    // Directory, write and remove on the input as a file (total length made to match).
    std::vector<uint8_t> b(data, data + size);
    if (b.size() >= PEL_HEADER_SIZE) fuzzWr32(b.data() + PEL_TOTAL_OFFSET, uint32_t(b.size()));
    const std::string& path = fuzzScratchPath("chunk");
    if (fuzzWrite(path, b.data(), b.size())) {
        uint32_t count = 0;
        PelChunkEntry* dir = nullptr;
        char name[100];
        PelFileInfo info;
        if (pelReadDirectory(path.c_str(), name, &info, &count, &dir)) {
            uint32_t id = count ? dir[count / 2].id : 21;
            pelFreeDirectory(&dir);
            const uint8_t extra[7] = {1, 2, 3, 4, 5, 6, 7};
            if (id != 0 && id != 0xFFFFFFFFu && pelWriteChunk(path.c_str(), id, sizeof extra, extra)) {
                // The rewritten file must read back with the new chunk last.
                if (!pelReadDirectory(path.c_str(), name, &info, &count, &dir) || count == 0 ||
                    dir[count - 1].id != id || dir[count - 1].size != sizeof extra)
                    __builtin_trap();
                pelFreeDirectory(&dir);
                if (!pelRemoveChunk(path.c_str(), id)) __builtin_trap();
            }
        }
    }
    errReset();
    return 0;
}
