// The JPEG reader of CRDE2001.DLL on arbitrary bytes, at full and at an eighth of the size.
#include "codecs.h"
#include "fuzz_imaging.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzImagingSetUp();
    img::Progress none;
    for (int scale : {1, 8}) {
        img::Dib pic;
        if (img::readJpeg(data, size, scale, pic, none) == img::kOk) {
            volatile unsigned sum = fuzzTouch(pic);
            (void)sum;
        }
    }
    return 0;
}
