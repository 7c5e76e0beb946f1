// Test-side makers of picture files in variants the library's writers do not make:
// PNG of any colour type and depth, interlaced GIF with a frame inside its screen,
// TGA of every origin and map, PCX of planes and depths.
#pragma once
#include <csetjmp>
#include <cstdint>
#include <vector>

#include <gif_lib.h>
#include <png.h>

#include "../../core/tests/dibbuilder.h"

namespace files {

using Bytes = std::vector<uint8_t>;

// PNG through libpng: rows of packed samples as the format stores them, top first.
inline Bytes png(uint32_t w, uint32_t h, int colourType, int depth, bool interlaced, const std::vector<Bytes>& rows,
                 const std::vector<png_color>& palette = {}) {
    Bytes out;
    png_structp p = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(p);
    if (setjmp(png_jmpbuf(p))) {
        png_destroy_write_struct(&p, &info);
        return {};
    }
    png_set_write_fn(
        p, &out, [](png_structp s, png_bytep d, png_size_t n) {
            Bytes* o = static_cast<Bytes*>(png_get_io_ptr(s));
            o->insert(o->end(), d, d + n);
        },
        nullptr);
    png_set_IHDR(p, info, w, h, depth, colourType, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(p, info, palette.data(), int(palette.size()));
    png_write_info(p, info);
    std::vector<png_bytep> ptrs;
    for (const Bytes& r : rows) ptrs.push_back(const_cast<png_bytep>(r.data()));
    png_write_image(p, ptrs.data());
    png_write_end(p, info);
    png_destroy_write_struct(&p, &info);
    return out;
}

inline int gifOut(GifFileType* g, const GifByteType* d, int n) {
    Bytes* o = static_cast<Bytes*>(g->UserData);
    o->insert(o->end(), d, d + n);
    return n;
}

// A GIF whose screen is bigger than its one frame, interlaced when asked; indices top first.
inline Bytes gif(int sw, int sh, int left, int top, int w, int h, bool interlaced, int background,
                 const std::vector<uint8_t>& indices, int colours) {
    Bytes out;
    int err = 0;
    GifFileType* g = EGifOpen(&out, gifOut, &err);
    std::vector<GifColorType> c(static_cast<size_t>(colours));
    for (int i = 0; i < colours; ++i) c[size_t(i)] = GifColorType{uint8_t(i * 40), uint8_t(255 - i * 30), uint8_t(i * 7)};
    ColorMapObject* map = GifMakeMapObject(colours, c.data());
    EGifPutScreenDesc(g, sw, sh, 8, background, map);
    EGifPutImageDesc(g, left, top, w, h, interlaced, nullptr);
    static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < (interlaced ? 4 : 1); ++pass)
        for (int y = interlaced ? start[pass] : 0; y < h; y += interlaced ? step[pass] : 1)
            EGifPutLine(g, const_cast<GifPixelType*>(indices.data() + size_t(y) * size_t(w)), w);
    EGifCloseFile(g, &err);
    GifFreeMapObject(map);
    return out;
}

// A TGA file: header fields and the data after the colour map as given.
inline Bytes tga(int type, int depth, int w, int h, int descriptor, const Bytes& map, int mapFirst, int mapLength,
                 int mapEntry, const Bytes& data, const char* id = "") {
    Bytes v(18, 0);
    const size_t idLength = std::strlen(id);
    v[0] = uint8_t(idLength);
    v[1] = mapLength ? 1 : 0;
    v[2] = uint8_t(type);
    img::wr16(v.data() + 3, uint16_t(mapFirst));
    img::wr16(v.data() + 5, uint16_t(mapLength));
    v[7] = uint8_t(mapEntry);
    img::wr16(v.data() + 12, uint16_t(w));
    img::wr16(v.data() + 14, uint16_t(h));
    v[16] = uint8_t(depth);
    v[17] = uint8_t(descriptor);
    v.insert(v.end(), id, id + idLength);
    v.insert(v.end(), map.begin(), map.end());
    v.insert(v.end(), data.begin(), data.end());
    return v;
}

// A PCX file, uncompressed: scan lines of every plane as given (bytes per line each).
inline Bytes pcx(int bpp, int planes, int w, int h, int bytesPerLine, const Bytes& lines, const Bytes& headerPalette = {}) {
    Bytes v(128, 0);
    v[0] = 0x0A;
    v[1] = 5;
    v[2] = 0;
    v[3] = uint8_t(bpp);
    img::wr16(v.data() + 8, uint16_t(w - 1));
    img::wr16(v.data() + 10, uint16_t(h - 1));
    std::copy(headerPalette.begin(), headerPalette.end(), v.begin() + 16);
    v[65] = uint8_t(planes);
    img::wr16(v.data() + 66, uint16_t(bytesPerLine));
    v.insert(v.end(), lines.begin(), lines.end());
    return v;
}

}  // namespace files
