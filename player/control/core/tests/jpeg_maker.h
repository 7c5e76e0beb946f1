// Makes JPEG fixtures with libjpeg's compressor (baseline or progressive).
#pragma once
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

namespace jpegmk {

using Bytes = std::vector<uint8_t>;

struct Options {
    int width = 64;
    int height = 48;
    bool progressive = false;
    bool gray = false;
    int quality = 85;
    int commentBytes = 0;  // a COM marker of this size before the frame
};

// Colour of pixel (x, y) of the test pattern.
inline void patternRgb(int x, int y, int w, int h, uint8_t* rgb) {
    rgb[0] = uint8_t(x * 255 / (w > 1 ? w - 1 : 1));
    rgb[1] = uint8_t(y * 255 / (h > 1 ? h - 1 : 1));
    rgb[2] = uint8_t(((x / 8 + y / 8) & 1) ? 200 : 40);
}

inline Bytes make(const Options& o) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(o.width);
    c.image_height = JDIMENSION(o.height);
    c.input_components = o.gray ? 1 : 3;
    c.in_color_space = o.gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, o.quality, TRUE);
    if (o.progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    if (o.commentBytes > 0) {
        std::vector<JOCTET> text(size_t(o.commentBytes), JOCTET('c'));
        jpeg_write_marker(&c, JPEG_COM, text.data(), unsigned(text.size()));
    }
    std::vector<JSAMPLE> row(size_t(o.width) * size_t(c.input_components));
    while (c.next_scanline < c.image_height) {
        const int y = int(c.next_scanline);
        for (int x = 0; x < o.width; ++x) {
            uint8_t rgb[3];
            patternRgb(x, y, o.width, o.height, rgb);
            if (o.gray) row[size_t(x)] = JSAMPLE((rgb[0] + rgb[1] + rgb[2]) / 3);
            else for (int k = 0; k < 3; ++k) row[size_t(x) * 3 + k] = rgb[k];
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    Bytes b(out, out + size);
    jpeg_destroy_compress(&c);
    std::free(out);
    return b;
}

}  // namespace jpegmk
