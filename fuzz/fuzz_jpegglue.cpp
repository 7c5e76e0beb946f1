// JPEG glue on arbitrary pictures: the plain decoder and the incremental decoder fed in
// pieces (the first byte chooses their size and whether one pass is forced).
#include <algorithm>
#include <cstdint>

#include "fuzz_common.h"
#include "jpegglue.h"
#include "render/fzbuffer.h"

namespace {
struct Counter : JpegPassListener {
    int passes = 0;
    void jpegPassReady(PicRecord*, bool, bool) override { ++passes; }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    jpegSetPixelLimit(kFuzzMaxPixels);
    const size_t piece = size_t(data[0] & 0x7F) * 13 + 1;
    const bool single = data[0] & 0x80;
    const uint8_t* pic = data + 1;
    const size_t n = size - 1;

    if (PicRecord* p = DecodeJpegFromMemory(pic, n)) fzFreeImage(&p);

    JpegStreamDecoder d;
    Counter c;
    size_t have = std::min(piece, n);
    if (d.begin(pic, n, have, single)) {
        for (int guard = 0; guard < 100000; ++guard) {
            if (d.run(&c) != JpegStreamDecoder::Result::Wait) break;
            if (have == n) {
                d.endOfInput();
                continue;
            }
            have = std::min(have + piece, n);
            d.update(pic, have);
        }
    }
    return 0;
}
