// The file information of CRDE2001.DLL on arbitrary bytes, by signature and by extension.
#include "codecs.h"
#include "fuzz_imaging.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzImagingSetUp();
    img::FileInfo info;
    img::fileInfo(data, size, "", info);
    img::fileInfo(data, size, ".tga", info);
    img::tiffInfo(data, size, 1, info);
    return 0;
}
