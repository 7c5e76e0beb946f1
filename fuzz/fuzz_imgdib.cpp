// Packed DIBs from clients on arbitrary bytes: decoding, the bitmap wrapper's header
// sizes and 8-to-24 step, then depth changes and scaling of what decoded.
#include "convert.h"
#include "dibheader.h"
#include "fuzz_imaging.h"
#include "scale.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzImagingSetUp();
    img::Progress none;
    if (size >= 40 && imaging::DibHeaderProblem(data, size).empty()) {
        volatile uint64_t sizes = imaging::DibHeaderSize(data) + imaging::DibImageSize(data);
        (void)sizes;
        img::Dib wide;
        const img::Colour grey[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
        imaging::Expand8To24(data, size, grey, 2, wide);
        fuzzTouch(wide);
    }
    img::Dib pic;
    if (img::decodePackedDib(data, size, pic, none) != img::kOk) return 0;
    fuzzTouch(pic);
    if (uint64_t(pic.width()) * uint64_t(pic.height()) > 4096) return 0;
    img::Dib out;
    const unsigned bits = 1u << (data[size - 1] % 6);  // 1, 2 (refused), 4, 8, 16, 32
    img::convertDepth(pic, bits, int(data[0] % 5), out, none);
    fuzzTouch(out);
    img::scaleDib(pic, pic.width() / 2 + 1, pic.height() + 3, out, none);
    fuzzTouch(out);
    if (pic.bits() == 1) img::scaleToGrey(pic, 3, pic.height() / 2 + 1, out, none);
    return 0;
}
