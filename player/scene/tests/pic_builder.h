// A picture owned by a test, with its pixels and palette.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "scene/picture.h"

namespace picb {

struct Pic {
    std::vector<uint8_t> px;
    std::vector<uint32_t> pal;
    PicRecord rec{};
    Pic(int w, int h, uint32_t bpp, size_t bytes = 0) : px(bytes ? bytes : size_t(w) * h * bpp) {
        rec.pixels = px.data();
        rec.width = w;
        rec.height = h;
        rec.bytesPerPixel = bpp;
    }
    void fill(const std::function<uint32_t(int, int)>& f) {
        for (int y = 0; y < rec.height; ++y)
            for (int x = 0; x < rec.width; ++x) {
                uint8_t* p = px.data() + (size_t(y) * rec.width + x) * rec.bytesPerPixel;
                if (rec.bytesPerPixel == 2)
                    picPut16(p, f(x, y));
                else
                    picPut32(p, f(x, y));
            }
    }
    void setPalette(std::vector<uint32_t> colours) {
        pal = std::move(colours);
        rec.palette = pal.data();
        rec.paletteCount = uint32_t(pal.size());
    }
};

inline uint32_t rgb555(uint32_t r5, uint32_t g5, uint32_t b5) { return (r5 << 10) | (g5 << 5) | b5; }
inline uint32_t expand5(uint32_t c5) { return c5 * 8 + c5 / 4; }

}  // namespace picb
