// Test-side builders for the rasteriser tests: targets with canary borders, vertices,
// texture blocks, and exact reference coverage.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "render/span.h"
#include "render/triangle.h"
#include "scene/picture.h"
#include "scene/scene.h"

namespace raster {

constexpr uint8_t kCanary = 0xA5;
constexpr size_t kGuard = 64;  // canary bytes before and after each plane

// A picture whose colour and depth planes are surrounded by canary bytes.
class Target {
public:
    Target(int32_t width, int32_t height, uint32_t bytesPerPixel, bool depth = true)
        : colour_(size_t(width) * height * bytesPerPixel + 2 * kGuard, kCanary),
          depth_(depth ? size_t(width) * height * 2 + 2 * kGuard : 0, kCanary) {
        std::memset(&pic_, 0, sizeof pic_);
        pic_.pixels = colour_.data() + kGuard;
        pic_.depth = depth ? reinterpret_cast<int16_t*>(depth_.data() + kGuard) : nullptr;
        pic_.width = width;
        pic_.height = height;
        pic_.bytesPerPixel = bytesPerPixel;
        clear(0, 32767);
    }
    ~Target() { EXPECT_TRUE(canariesIntact()) << "write outside the picture"; }
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    PicRecord* pic() { return &pic_; }
    int32_t width() const { return pic_.width; }
    int32_t height() const { return pic_.height; }
    void clear(uint32_t colour, int16_t depth) {
        for (int32_t i = 0; i < pic_.width * pic_.height; ++i) set(i % pic_.width, i / pic_.width, colour);
        if (pic_.depth)
            for (int32_t i = 0; i < pic_.width * pic_.height; ++i) pic_.depth[i] = depth;
    }
    uint32_t at(int32_t x, int32_t y) const {
        const uint8_t* p = pic_.pixels + (size_t(y) * pic_.width + x) * pic_.bytesPerPixel;
        return pic_.bytesPerPixel == 2 ? picGet16(p) : picGet32(p);
    }
    void set(int32_t x, int32_t y, uint32_t v) {
        uint8_t* p = pic_.pixels + (size_t(y) * pic_.width + x) * pic_.bytesPerPixel;
        if (pic_.bytesPerPixel == 2)
            picPut16(p, v);
        else
            picPut32(p, v);
    }
    int16_t depth(int32_t x, int32_t y) const { return pic_.depth[size_t(y) * pic_.width + x]; }
    std::vector<uint32_t> pixels() const {
        std::vector<uint32_t> out;
        for (int32_t y = 0; y < pic_.height; ++y)
            for (int32_t x = 0; x < pic_.width; ++x) out.push_back(at(x, y));
        return out;
    }
    std::vector<int16_t> depths() const {
        return std::vector<int16_t>(pic_.depth, pic_.depth + size_t(pic_.width) * pic_.height);
    }
    bool canariesIntact() const {
        auto guardOk = [](const std::vector<uint8_t>& v) {
            if (v.empty()) return true;
            for (size_t i = 0; i < kGuard; ++i)
                if (v[i] != kCanary || v[v.size() - 1 - i] != kCanary) return false;
            return true;
        };
        return guardOk(colour_) && guardOk(depth_);
    }

private:
    PicRecord pic_;
    std::vector<uint8_t> colour_;
    std::vector<uint8_t> depth_;
};

inline PelVertex vertex(float x, float y, float z = 0.0f, float r = 1.0f, float g = 1.0f, float b = 1.0f,
                        float u = 0.0f, float v = 0.0f, float w = 1.0f) {
    PelVertex p;
    std::memset(&p, 0, sizeof p);
    p.sx = x;
    p.sy = y;
    p.sz = z;
    p.sw = w;
    p.r = r;
    p.g = g;
    p.b = b;
    p.eu = p.u = u;
    p.ev = p.v = v;
    p.flags = VTX_PROJECTED;
    return p;
}

inline void setId(PelVertex& v, uint32_t id) { std::memcpy(&v.r, &id, 4); }

// A texture pixel block with levels 0..extra (2^lw x 2^lh texels at level 0).
// texel(level, x, y) gives the palette index; palette has 256 entries.
class Texture {
public:
    template <class TexelFn>
    Texture(uint32_t lw, uint32_t lh, uint32_t extra, const std::vector<uint32_t>& palette, TexelFn texel,
            uint32_t id = 1) {
        size_t pixels = 0;
        for (uint32_t k = 0; k <= extra; ++k) pixels += (size_t(1) << (lw - k)) * (size_t(1) << (lh - k)) + 4;
        const size_t header = sizeof(TexPixelBlock) + (extra + 1) * sizeof(TexLevel);
        storage_.assign((header + 1024 + pixels) / 8 + 2, 0);
        auto* base = reinterpret_cast<uint8_t*>(storage_.data());
        block_ = reinterpret_cast<TexPixelBlock*>(base);
        block_->magic = TEX_BLOCK_MAGIC;
        block_->extraLevels = extra;
        block_->log2Width = lw;
        block_->log2Height = lh;
        block_->format = extra ? 3.0f : 1.0f;
        block_->totalSize = uint32_t(storage_.size() * 8);
        block_->id = id;
        auto* pal = reinterpret_cast<uint32_t*>(base + header);
        for (size_t i = 0; i < 256; ++i) pal[i] = i < palette.size() ? palette[i] : 0;
        uint8_t* px = base + header + 1024;
        for (uint32_t k = 0; k <= extra; ++k) {
            TexLevel* lv = texLevel(block_, k);
            lv->pixels = px;
            lv->coordScale = float(std::ldexp(1.0, int(lw) + 16 - int(k)));
            lv->palette = pal;
            lv->paletteCount = 256;
            const uint32_t w = 1u << (lw - k), h = 1u << (lh - k);
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = 0; x < w; ++x) px[y * w + x] = uint8_t(texel(k, x, y));
            px += w * h + 4;
        }
    }
    TexPixelBlock* block() { return block_; }
    uint32_t* palette() { return texLevel(block_, 0)->palette; }

private:
    std::vector<uint64_t> storage_;
    TexPixelBlock* block_;
};

// Exact reference of the fill rule for points on a 1/16 grid: a pixel centre is covered
// when it is strictly inside, or on an edge that has the interior to its left (a right
// edge) or above it (a horizontal bottom edge).
inline bool refCovers(const double* x, const double* y, int32_t cx, int32_t cy) {
    int64_t X[3], Y[3];
    for (int i = 0; i < 3; ++i) {
        X[i] = std::llround(x[i] * 16.0);
        Y[i] = std::llround(y[i] * 16.0);
    }
    const int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
    if (area == 0) return false;
    const int64_t px = int64_t(cx) * 16, py = int64_t(cy) * 16;
    for (int i = 0; i < 3; ++i) {
        int a = i, b = (i + 1) % 3;
        if (area < 0) std::swap(a, b);
        const int64_t e = (X[b] - X[a]) * (py - Y[a]) - (Y[b] - Y[a]) * (px - X[a]);
        if (e < 0) return false;
        if (e == 0) {
            const bool inclusive = (Y[b] > Y[a]) || (Y[b] == Y[a] && X[b] < X[a]);
            if (!inclusive) return false;
        }
    }
    return true;
}

// RGB555 fields
inline uint32_t red5(uint32_t c) { return (c >> 10) & 0x1F; }
inline uint32_t green5(uint32_t c) { return (c >> 5) & 0x1F; }
inline uint32_t blue5(uint32_t c) { return c & 0x1F; }

}  // namespace raster
