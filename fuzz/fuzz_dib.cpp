// Packed bitmaps handed in by a host: the first bytes split the input into the
// header block and the pixel rows.
#include <cstdint>
#include <cstring>

#include "scene/engine.h"
#include "scene/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    size_t split = (size_t(data[0]) | size_t(data[1]) << 8) % (size - 1);
    const uint8_t* info = data + 2;
    size_t infoLength = split;
    const uint8_t* bits = info + infoLength;
    size_t bitsLength = size - 2 - infoLength;
    PicRecord* pic = nullptr;
    float wm = 0, hm = 0;
    if (picCreateFromDib(info, infoLength, bits, bitsLength, &pic, &wm, &hm)) {
        if (!pic || pic->width < 1 || pic->height < 1) __builtin_trap();
        picDestroy(&pic);
    } else if (pic) {
        __builtin_trap();  // a refusal leaves nothing behind
    }
    errReset();
    return 0;
}
