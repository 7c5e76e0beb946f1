// The TIFF reader of CRDE2001.DLL on arbitrary bytes: page count, first and second page.
#include "codecs.h"
#include "fuzz_imaging.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzImagingSetUp();
    img::Progress none;
    const int pages = img::tiffPageCount(data, size);
    for (int page = 0; page < 2 && page < pages + 1; ++page) {
        img::Dib pic;
        if (img::readTiff(data, size, page, pic, none) == img::kOk) {
            volatile unsigned sum = fuzzTouch(pic);
            (void)sum;
        }
    }
    return 0;
}
