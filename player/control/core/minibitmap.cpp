#include "minibitmap.h"

#include "scene/bytes.h"

namespace qivctl {

using bytes::rd16;
using bytes::wr16;
using bytes::wr32;

std::vector<uint8_t> miniBitmapFile(const PicRecord* frame, bool rowsUp) {
    if (!frame || !frame->pixels || frame->width <= 0 || frame->height <= 0) return {};
    const uint32_t bpp = frame->bytesPerPixel;
    if (bpp != 2 && bpp != 4) return {};
    constexpr size_t pixels = size_t(kMiniBitmapSide) * kMiniBitmapSide;
    std::vector<uint8_t> scaled(pixels * bpp);
    PicRecord small{};
    small.pixels = scaled.data();
    small.width = small.height = kMiniBitmapSide;
    small.bytesPerPixel = bpp;
    // The file keeps its rows bottom-up.
    picCopyRect(bpp == 2 ? 0 : 1, rowsUp ? 0 : 1, frame, &small);

    std::vector<uint8_t> file(kMiniBitmapFileBytes, 0);
    uint8_t* h = file.data();
    h[0] = 'B';
    h[1] = 'M';
    wr32(h + 2, uint32_t(kMiniBitmapFileBytes));
    wr32(h + 10, 54);
    wr32(h + 14, 40);
    wr32(h + 18, uint32_t(kMiniBitmapSide));
    wr32(h + 22, uint32_t(kMiniBitmapSide));
    wr16(h + 26, 1);
    wr16(h + 28, 16);
    wr32(h + 34, uint32_t(pixels * 2));
    uint8_t* out = h + 54;
    for (size_t i = 0; i < pixels; ++i) {
        uint32_t v;
        if (bpp == 2) {
            v = rd16(&scaled[2 * i]);
        } else {
            const uint8_t* p = &scaled[4 * i];
            const uint32_t rgb = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
            v = ((rgb >> 19) & 0x1F) << 10 | ((rgb >> 11) & 0x1F) << 5 | ((rgb >> 3) & 0x1F);
        }
        wr16(out + 2 * i, v);
    }
    return file;
}

}  // namespace qivctl
