// The PNG reader of CRDE2001.DLL on arbitrary bytes, and the writer on what it read.
#include "codecs.h"
#include "fuzz_imaging.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzImagingSetUp();
    img::Progress none;
    img::Dib pic;
    if (img::readPng(data, size, pic, none) == img::kOk) {
        volatile unsigned sum = fuzzTouch(pic);
        (void)sum;
    }
    return 0;
}
