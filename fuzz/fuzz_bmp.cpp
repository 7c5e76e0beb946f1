// BMP texture reader on arbitrary bytes, in memory and through a file.
// Built with -DQIV_BMP_SEEDS instead, this file is the seed corpus generator:
//   fuzz_bmpseeds <dir>  ->  <dir>/bmp/*
#include <cstdint>
#include <cstring>

#include "scene/engine.h"
#include "scene/texture.h"

#if !defined(QIV_BMP_SEEDS)
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PicRecord* pic = picReadBmpMemory(data, size, nullptr, nullptr);
    picFree(&pic);

    const std::string& path = fuzzScratchPath("bmp");
    if (fuzzWrite(path, data, size)) {
        float wm = 0, hm = 0;
        PicRecord* fromFile = picReadBmp(path.c_str(), &wm, &hm);
        picFree(&fromFile);
    }
    errReset();
    return 0;
}

#else
#include <cstdio>
#include <filesystem>
#include <string>

#include "scene/tests/bmp_builder.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <corpus dir>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path dir = std::filesystem::path(argv[1]) / "bmp";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    struct Seed {
        const char* name;
        int32_t w, h;
        uint16_t bits;
        uint32_t header, used, entries;
    };
    const Seed seeds[] = {
        {"one", 33, 3, 1, 40, 0, 2},      {"four", 5, 4, 4, 40, 0, 16},    {"eight", 7, 3, 8, 40, 0, 256},
        {"used300", 6, 2, 8, 40, 300, 256}, {"v5", 4, 2, 8, 124, 16, 16}, {"topdown", 3, -5, 8, 108, 16, 16},
        {"rgb", 5, 3, 24, 40, 0, 0},       {"rgbtop", 3, -2, 24, 56, 0, 0},
    };
    int failed = 0;
    for (const Seed& s : seeds) {
        bmpb::BmpDesc desc;
        desc.width = s.w;
        desc.height = s.h;
        desc.bits = s.bits;
        desc.headerSize = s.header;
        desc.coloursUsed = s.used;
        desc.palette = bmpb::rampPalette(s.entries);
        if (!bmpb::writeFile((dir / s.name).string(), bmpb::build(desc))) failed = 1;
    }
    return failed;
}
#endif
