// Object file reader on arbitrary files, and what the viewer does with every object it
// loaded (fuzz_viewer.h). The geometry checksum and the total length are made to match so
// that mutations reach the decoder.
#include <cstring>
#include <vector>

#include "fuzz_common.h"
#include "fuzz_viewer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> b(data, data + size);
    if (b.size() >= PEL_HEADER_SIZE) {
        fuzzWr32(b.data() + PEL_TOTAL_OFFSET, uint32_t(b.size()));
        uint64_t off = fuzzRd32(b.data() + 220), len = fuzzRd32(b.data() + 224);
        if (off + len <= b.size()) fuzzWr32(b.data() + 228, pelByteSum(size_t(len), b.data() + off));
    }
    const std::string& path = fuzzScratchPath("load");
    if (fuzzWrite(path, b.data(), b.size())) {
        char file[PEL_FILE_NAME_MAX], name[100];
        PelFileInfo info;
        PelContent* content = nullptr;
        size_t bytes = 0;
        if (pelLoad(path.c_str(), file, name, &info, &content, &bytes)) {
            fuzzViewerSteps(&content, fuzzScratchPath("loadback"), true, fuzzChoice(data, size));
            pelFreeObject(&content);
        }
    }

    // The decoder alone, on the input as a geometry block.
    PelFileInfo info{};
    info.geoSize = uint32_t(size);
    info.geoChecksum = pelByteSum(size, data);
    info.areaNameBytes = size > 0 ? data[size - 1] : 0;
    PelContent* content = nullptr;
    size_t bytes = 0;
    if (pelDecodeGeometry(data, &info, &content, &bytes)) pelFreeObject(&content);

    fuzzResetEngine();
    return 0;
}
