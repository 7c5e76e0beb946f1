// Pictures: made from device-independent bitmaps, scaled, converted into texture pixel blocks.
#include "scene/picture.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "scene/engine.h"
#include "scene/memblock.h"
#include "scene/quantise.h"

static_assert(std::endian::native == std::endian::little, "pixel words are little-endian");

namespace {

uint32_t g_nextId = 0;
PicBlockReleaseFn g_blockRelease = nullptr;

int fail(uint32_t level, const char* message) {
    errSetContext("???", 99999);
    errReport(level, "%s", message);
    return 0;
}

// A picture value on the stack whose pixels live elsewhere.
PicRecord localPicture(uint8_t* pixels, int32_t width, int32_t height, uint32_t bytesPerPixel) {
    PicRecord p{};
    p.pixels = pixels;
    p.width = width;
    p.height = height;
    p.bytesPerPixel = bytesPerPixel;
    return p;
}

// --- scaling --------------------------------------------------------------------------------

struct Channels {
    uint32_t c[4];  // red, green, blue, fourth
};

Channels readPixel(const uint8_t* p, bool wide) {
    Channels ch{};
    if (wide) {
        ch.c[0] = p[2];
        ch.c[1] = p[1];
        ch.c[2] = p[0];
        ch.c[3] = p[3];
    } else {
        const uint32_t v = picGet16(p);
        ch.c[0] = (v >> 10) & 31;
        ch.c[1] = (v >> 5) & 31;
        ch.c[2] = v & 31;
    }
    return ch;
}

void writePixel(uint8_t* p, bool wide, const Channels& ch) {
    if (wide) {
        p[0] = uint8_t(ch.c[2]);
        p[1] = uint8_t(ch.c[1]);
        p[2] = uint8_t(ch.c[0]);
        p[3] = uint8_t(ch.c[3]);
    } else {
        picPut16(p, (ch.c[0] << 10) | (ch.c[1] << 5) | ch.c[2]);
    }
}

struct Tap {
    int32_t index;
    double weight;
};

// For each destination coordinate the source pixels it covers and their covered lengths.
std::vector<std::vector<Tap>> axisTaps(int32_t sourceSize, int32_t destSize) {
    std::vector<std::vector<Tap>> taps(static_cast<size_t>(destSize));
    const double s = double(sourceSize) / double(destSize);
    for (int32_t d = 0; d < destSize; ++d) {
        const double a = d * s;
        const double b = d == destSize - 1 ? double(sourceSize) : (d + 1) * s;
        int32_t first = int32_t(std::floor(a));
        int32_t last = int32_t(std::ceil(b)) - 1;  // an exact whole-number end is not touched
        first = std::clamp(first, 0, sourceSize - 1);
        last = std::clamp(last, first, sourceSize - 1);
        for (int32_t i = first; i <= last; ++i) {
            const double w = std::min(b, double(i + 1)) - std::max(a, double(i));
            if (w > 0.0) taps[size_t(d)].push_back({i, w});
        }
    }
    return taps;
}

}  // namespace

// --- pictures from bitmaps ----------------------------------------------------------------------

int picCreateFromDib(const uint8_t* info, size_t infoLength, const uint8_t* bits, size_t bitsLength,
                     PicRecord** holder, float* widthMetres, float* heightMetres) {
    if (!holder) return 0;
    *holder = nullptr;
    if (widthMetres) *widthMetres = 0.0f;
    if (heightMetres) *heightMetres = 0.0f;
    if (!info || !bits || infoLength < 40) return fail(ERR_LENGTH, "Bitmap header is truncated");

    const uint32_t headerSize = picGet32(info);
    const int32_t width = int32_t(picGet32(info + 4));
    const int32_t rawHeight = int32_t(picGet32(info + 8));
    const uint32_t bitCount = picGet16(info + 14);
    const uint32_t compression = picGet32(info + 16);
    const int32_t xPels = int32_t(picGet32(info + 24));
    const int32_t yPels = int32_t(picGet32(info + 28));
    const uint32_t coloursUsed = picGet32(info + 32);

    if (headerSize < 40 || headerSize > infoLength) return fail(ERR_LENGTH, "Bitmap header is truncated");
    const bool topDown = rawHeight < 0;
    const int64_t height = topDown ? -int64_t(rawHeight) : int64_t(rawHeight);
    if (width < 1 || width > PIC_MAX_WIDTH || height < 1 || height > PIC_MAX_HEIGHT)
        return fail(ERR_FORMAT, "Unsupported bitmap size");
    if (compression != 0) return fail(ERR_FORMAT, "Unsupported bitmap compression");
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24)
        return fail(ERR_FORMAT, "Unsupported bitmap depth");

    uint32_t entries = 0;
    if (bitCount != 24) {
        const uint32_t depthMax = 1u << bitCount;
        entries = std::min<uint32_t>(coloursUsed, 256);
        if (entries == 0 || entries > depthMax) entries = depthMax;
        if (uint64_t(headerSize) + uint64_t(entries) * 4 > infoLength)
            return fail(ERR_LENGTH, "Bitmap colour table is truncated");
    }
    const uint64_t rowBytes = (uint64_t(width) * bitCount + 31) / 32 * 4;
    if (rowBytes * uint64_t(height) > bitsLength) return fail(ERR_LENGTH, "Bitmap pixels are truncated");

    const uint32_t bpp = bitCount == 24 ? 4 : 1;
    MemPtr<PicRecord> pic(static_cast<PicRecord*>(memAllocZ(sizeof(PicRecord))));
    if (!pic) return 0;
    MemPtr<uint8_t> pixels = allocArray<uint8_t>(uint64_t(width) * uint64_t(height) * bpp);
    if (!pixels) return 0;
    MemPtr<uint32_t> palette;
    if (bpp == 1) {
        palette = allocArray<uint32_t>(256);
        if (!palette) return 0;
        const uint8_t* table = info + headerSize;
        for (uint32_t i = 0; i < entries; ++i) palette.get()[i] = picGet32(table + 4 * i) & 0x00FFFFFF;
    }

    for (int64_t r = 0; r < height; ++r) {
        const uint8_t* src = bits + uint64_t(r) * rowBytes;
        const int64_t y = topDown ? r : height - 1 - r;
        uint8_t* dst = pixels.get() + uint64_t(y) * uint64_t(width) * bpp;
        switch (bitCount) {
        case 24:
            for (int32_t x = 0; x < width; ++x) {
                dst[4 * x] = src[3 * x];
                dst[4 * x + 1] = src[3 * x + 1];
                dst[4 * x + 2] = src[3 * x + 2];
                dst[4 * x + 3] = 0;
            }
            break;
        case 8:
            std::memcpy(dst, src, size_t(width));
            break;
        case 4:
            for (int32_t x = 0; x < width; ++x) dst[x] = (x & 1) ? (src[x / 2] & 0x0F) : (src[x / 2] >> 4);
            break;
        case 1:
            for (int32_t x = 0; x < width; ++x) dst[x] = (src[x / 8] >> (7 - (x & 7))) & 1;
            break;
        }
    }

    if (widthMetres && xPels != 0) *widthMetres = float(width) / float(xPels);
    if (heightMetres && yPels != 0) *heightMetres = float(height) / float(yPels);
    pic->width = width;
    pic->height = int32_t(height);
    pic->bytesPerPixel = bpp;
    pic->pixels = pixels.release();
    if (palette) {
        pic->palette = palette.release();
        pic->paletteCount = 256;
    }
    *holder = pic.release();
    return 1;
}

// --- scaling ------------------------------------------------------------------------------------

void picCopyRect(uint32_t format, uint32_t flip, const PicRecord* source, PicRecord* destination) try {
    if (!source || !destination || !source->pixels || !destination->pixels) return;
    const int32_t sw = source->width, sh = source->height;
    const int32_t dw = destination->width, dh = destination->height;
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
    const bool wide = format != 0;
    const size_t ps = wide ? 4 : 2;
    const size_t srcStride = size_t(sw) * ps, dstStride = size_t(dw) * ps;
    auto dstRow = [&](int32_t y) {
        return destination->pixels + size_t(flip ? dh - 1 - y : y) * dstStride;
    };
    auto srcPixel = [&](int32_t x, int32_t y) {
        return source->pixels + size_t(y) * srcStride + size_t(x) * ps;
    };

    if (sw == dw && sh == dh) {
        for (int32_t y = 0; y < dh; ++y) std::memmove(dstRow(y), srcPixel(0, y), dstStride);
        return;
    }
    if (sw == 2 * dw && sh == 2 * dh) {
        for (int32_t y = 0; y < dh; ++y) {
            uint8_t* out = dstRow(y);
            for (int32_t x = 0; x < dw; ++x) {
                const Channels a = readPixel(srcPixel(2 * x, 2 * y), wide);
                const Channels b = readPixel(srcPixel(2 * x + 1, 2 * y), wide);
                const Channels c = readPixel(srcPixel(2 * x, 2 * y + 1), wide);
                const Channels d = readPixel(srcPixel(2 * x + 1, 2 * y + 1), wide);
                Channels m{};
                for (int k = 0; k < 3; ++k) m.c[k] = (a.c[k] + b.c[k] + c.c[k] + d.c[k]) / 4;
                m.c[3] = d.c[3];
                writePixel(out + size_t(x) * ps, wide, m);
            }
        }
        return;
    }

    if (sw % dw == 0 && sh % dh == 0) {
        // Whole-number ratios: box average over rx x ry source pixels, summed in integers.
        const int32_t rx = sw / dw, ry = sh / dh;
        const double scale = 1.0 / (double(rx) * ry);
        std::vector<uint64_t> columns(size_t(sw) * 3);
        for (int32_t y = 0; y < dh; ++y) {
            std::fill(columns.begin(), columns.end(), uint64_t(0));
            for (int32_t r = 0; r < ry; ++r)
                for (int32_t x = 0; x < sw; ++x) {
                    const Channels p = readPixel(srcPixel(x, y * ry + r), wide);
                    for (int k = 0; k < 3; ++k) columns[size_t(x) * 3 + k] += p.c[k];
                }
            uint8_t* out = dstRow(y);
            for (int32_t x = 0; x < dw; ++x) {
                uint64_t sum[3] = {0, 0, 0};
                for (int32_t q = 0; q < rx; ++q)
                    for (int k = 0; k < 3; ++k) sum[k] += columns[size_t(x * rx + q) * 3 + k];
                Channels m{};
                for (int k = 0; k < 3; ++k) m.c[k] = uint32_t(double(sum[k]) * scale + 0.5);
                writePixel(out + size_t(x) * ps, wide, m);
            }
        }
        return;
    }

    // Area-weighted resampling.
    const auto tx = axisTaps(sw, dw);
    const auto ty = axisTaps(sh, dh);
    const double norm = 1.0 / ((double(sw) / dw) * (double(sh) / dh));
    const uint32_t top = wide ? 255 : 31;
    for (int32_t y = 0; y < dh; ++y) {
        uint8_t* out = dstRow(y);
        for (int32_t x = 0; x < dw; ++x) {
            double sum[3] = {0, 0, 0};
            for (const Tap& vy : ty[size_t(y)]) {
                for (const Tap& vx : tx[size_t(x)]) {
                    const Channels p = readPixel(srcPixel(vx.index, vy.index), wide);
                    const double w = vx.weight * vy.weight;
                    for (int k = 0; k < 3; ++k) sum[k] += p.c[k] * w;
                }
            }
            Channels m{};
            for (int k = 0; k < 3; ++k) {
                const double v = sum[k] * norm + 0.5;
                m.c[k] = v <= 0.0 ? 0 : std::min<uint32_t>(uint32_t(v), top);
            }
            writePixel(out + size_t(x) * ps, wide, m);
        }
    }
} QIV_ENGINE_CATCH_VOID

// --- texture conversion -----------------------------------------------------------------------

namespace {

bool isPowerOfTwo(int64_t v) { return v > 0 && (v & (v - 1)) == 0; }

uint32_t log2Of(int64_t v) {
    uint32_t k = 0;
    while ((int64_t(1) << (k + 1)) <= v) ++k;
    return k;
}

// Power of two nearest to size (the larger on a tie), halved while above the limit.
int64_t targetSize(int64_t size, int64_t limit) {
    int64_t lower = 1;
    while (lower * 2 <= size) lower *= 2;
    int64_t t = lower;
    if (lower != size) t = (size - lower < 2 * lower - size) ? lower : 2 * lower;
    while (t > limit) t /= 2;
    return t;
}

// Mean of four colours where black texels may be left out (see picConvert).
uint32_t reduceChannel(const uint32_t v[4], const bool zero[4], bool skipZeros) {
    uint32_t s = 0;
    int zeros = 0;
    for (int i = 0; i < 4; ++i) {
        if (skipZeros && zero[i]) {
            ++zeros;
            continue;
        }
        s += v[i];
    }
    switch (zeros) {
    case 0: return (s + 2) / 4;
    case 1: return (s & 1) ? (s + 1) / 3 : (s + 2) / 3;
    case 2: return (s + 1) / 2;
    default: return 0;
    }
}

}  // namespace

int picConvert(const PicRecord* source, int32_t maxWidth, int32_t maxHeight, uint32_t chain,
               uint32_t bottomUp, TexHead* texture, uint32_t* outSize) try {
    if (outSize) *outSize = 0;
    if (!source || !texture || !source->pixels || source->width <= 0 || source->height <= 0)
        return fail(ERR_FORMAT, "No picture to convert");
    if (maxWidth < 1 || maxHeight < 1) return fail(ERR_FORMAT, "Bad texture size limits");
    const uint32_t bpp = source->bytesPerPixel;
    if (bpp != 1 && bpp != 2 && bpp != 4) return fail(ERR_FORMAT, "Unsupported picture depth");
    if (bpp == 1 && !source->palette) return fail(ERR_FORMAT, "Picture has no palette");

    const int64_t sw = source->width, sh = source->height;
    int64_t w = sw, h = sh;
    const uint8_t* indices = nullptr;  // 8-bit pixels, w x h packed
    MemPtr<uint8_t> ownIndices;
    uint32_t palette[256] = {};
    uint32_t paletteCount = 256;

    if (bpp == 1 && isPowerOfTwo(sw) && isPowerOfTwo(sh) && sw <= maxWidth && sh <= maxHeight) {
        indices = source->pixels;
        std::memcpy(palette, source->palette, std::min<uint32_t>(source->paletteCount, 256) * 4);
    } else {
        // True-colour working picture: the source itself, or the 8-bit source expanded.
        PicRecord rgb = *source;
        MemPtr<uint8_t> expanded;
        uint32_t flip = bottomUp;
        if (bpp == 1) {
            expanded = allocArray<uint8_t>(uint64_t(sw) * uint64_t(sh) * 4);
            if (!expanded) return 0;
            const uint32_t n = std::min<uint32_t>(source->paletteCount, 256);
            for (int64_t i = 0; i < sw * sh; ++i) {
                const uint32_t k = source->pixels[i];
                picPut32(expanded.get() + 4 * i, k < n ? source->palette[k] : 0);
            }
            rgb = localPicture(expanded.get(), int32_t(sw), int32_t(sh), 4);
            flip = 0;  // 8-bit sources keep their row order
        }
        w = targetSize(sw, std::min<int64_t>(maxWidth, PIC_MAX_WIDTH));
        h = targetSize(sh, std::min<int64_t>(maxHeight, PIC_MAX_HEIGHT));
        const uint32_t ps = rgb.bytesPerPixel;
        MemPtr<uint8_t> scaledPixels = allocArray<uint8_t>(uint64_t(w) * uint64_t(h) * ps);
        if (!scaledPixels) return 0;
        PicRecord scaled = localPicture(scaledPixels.get(), int32_t(w), int32_t(h), ps);
        picCopyRect(ps == 4 ? 1 : 0, flip, &rgb, &scaled);
        expanded.reset();

        paletteCount = palFromImage(&scaled, palette, 256);
        if (paletteCount == 0) return 0;
        ownIndices = allocArray<uint8_t>(uint64_t(w) * uint64_t(h));
        if (!ownIndices) return 0;
        PicRecord mapped = localPicture(ownIndices.get(), int32_t(w), int32_t(h), 1);
        mapped.palette = palette;
        mapped.paletteCount = paletteCount;
        if (!palMapImage(&scaled, &mapped, 0)) return 0;
        indices = ownIndices.get();
    }

    {
        PicRecord eight = localPicture(const_cast<uint8_t*>(indices), int32_t(w), int32_t(h), 1);
        eight.palette = palette;
        eight.paletteCount = 256;
        uint32_t single = 0;
        picAverageColour(&eight, texture->colour, &single);
        if (single) {
            texture->block = nullptr;
            return 1;
        }
    }
    picLumaToAlpha(palette, 256);

    const uint32_t lw = log2Of(w), lh = log2Of(h);
    const uint32_t levels = chain ? std::min(lw, lh) : 0;
    const uint32_t blockPalette = chain ? paletteCount : 256;
    uint64_t size = sizeof(TexPixelBlock) + uint64_t(levels + 1) * sizeof(TexLevel) + uint64_t(blockPalette) * 4;
    const uint64_t pixelStart = size;
    for (uint32_t k = 0; k <= levels; ++k) size += ((uint64_t(w >> k) * uint64_t(h >> k)) + 3) & ~uint64_t(3);
    if (size > UINT32_MAX) return fail(ERR_LENGTH, "Texture is too large");

    MemPtr<uint8_t> block = allocArray<uint8_t>(size);
    if (!block) return 0;
    auto* head = reinterpret_cast<TexPixelBlock*>(block.get());
    head->magic = TEX_BLOCK_MAGIC;
    head->extraLevels = levels;
    head->log2Width = lw;
    head->log2Height = lh;
    head->format = chain ? 3.0f : 1.0f;
    head->totalSize = uint32_t(size);
    head->reserved = 0;
    uint32_t* blockPal = reinterpret_cast<uint32_t*>(block.get() + sizeof(TexPixelBlock) +
                                                     (levels + 1) * sizeof(TexLevel));
    std::memcpy(blockPal, palette, blockPalette * 4);

    uint64_t offset = pixelStart;
    for (uint32_t k = 0; k <= levels; ++k) {
        TexLevel* lv = texLevel(head, k);
        lv->pixels = block.get() + offset;
        lv->coordScale = std::ldexp(1.0f, int(lw + 16 - k));
        lv->palette = blockPal;
        lv->paletteCount = blockPalette;
        offset += ((uint64_t(w >> k) * uint64_t(h >> k)) + 3) & ~uint64_t(3);
    }
    std::memcpy(texLevel(head, 0)->pixels, indices, size_t(w * h));

    if (levels > 0) {
        bool anyZero = false;
        for (uint32_t i = 0; i < paletteCount; ++i) anyZero = anyZero || palette[i] == 0;
        // Reduced levels are matched on colour alone.
        uint32_t plain[256];
        for (int i = 0; i < 256; ++i) plain[i] = palette[i] & 0x00FFFFFF;
        MemPtr<uint8_t> reduced = allocArray<uint8_t>(uint64_t(w / 2) * uint64_t(h / 2) * 4);
        if (!reduced) return 0;
        for (uint32_t k = 1; k <= levels; ++k) {
            const int64_t pw = w >> (k - 1), nw = w >> k, nh = h >> k;
            const uint8_t* prev = texLevel(head, k - 1)->pixels;
            for (int64_t y = 0; y < nh; ++y) {
                for (int64_t x = 0; x < nw; ++x) {
                    const uint32_t c[4] = {palette[prev[(2 * y) * pw + 2 * x]], palette[prev[(2 * y) * pw + 2 * x + 1]],
                                           palette[prev[(2 * y + 1) * pw + 2 * x]],
                                           palette[prev[(2 * y + 1) * pw + 2 * x + 1]]};
                    const bool zero[4] = {c[0] == 0, c[1] == 0, c[2] == 0, c[3] == 0};
                    uint32_t out = 0;
                    for (int shift = 0; shift <= 16; shift += 8) {
                        const uint32_t v[4] = {(c[0] >> shift) & 255, (c[1] >> shift) & 255, (c[2] >> shift) & 255,
                                               (c[3] >> shift) & 255};
                        out |= reduceChannel(v, zero, anyZero) << shift;
                    }
                    picPut32(reduced.get() + 4 * (y * nw + x), out);
                }
            }
            PicRecord src = localPicture(reduced.get(), int32_t(nw), int32_t(nh), 4);
            PicRecord dst = localPicture(texLevel(head, k)->pixels, int32_t(nw), int32_t(nh), 1);
            dst.palette = plain;
            dst.paletteCount = paletteCount;
            if (!palMapImage(&src, &dst, 0)) return 0;
        }
    }

    head->id = picNextId();
    texture->block = reinterpret_cast<TexPixelBlock*>(block.release());
    if (outSize) *outSize = uint32_t(size);
    return 1;
} QIV_ENGINE_CATCH(0)

int picAverageColour(const PicRecord* picture, float colour[3], uint32_t* single) {
    if (!picture || picture->bytesPerPixel != 1 || !picture->pixels || !picture->palette) return 0;
    if (picture->width <= 0 || picture->height <= 0) return 0;
    uint64_t counts[256] = {};
    const uint64_t n = uint64_t(picture->width) * uint64_t(picture->height);
    for (uint64_t i = 0; i < n; ++i) ++counts[picture->pixels[i]];
    const uint32_t entries = std::min<uint32_t>(picture->paletteCount, 256);
    uint64_t sum[3] = {0, 0, 0};
    uint32_t used = 0;
    for (uint32_t i = 0; i < 256; ++i) {
        if (!counts[i]) continue;
        ++used;
        const uint32_t p = i < entries ? picture->palette[i] : 0;
        sum[0] += counts[i] * ((p >> 16) & 255);
        sum[1] += counts[i] * ((p >> 8) & 255);
        sum[2] += counts[i] * (p & 255);
    }
    if (colour) {
        const double d = double(n) * 255.0;
        for (int k = 0; k < 3; ++k) colour[k] = float(double(sum[k]) / d);
    }
    if (single) *single = used <= 1 ? 1 : 0;
    return 1;
}

void picLumaToAlpha(uint32_t* palette, uint32_t count) {
    if (!palette) return;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t p = palette[i];
        const double y = 0.11 * (p & 255) + 0.59 * ((p >> 8) & 255) + 0.3 * ((p >> 16) & 255);
        const uint32_t a = std::min<uint32_t>(uint32_t(y + 0.5), 255);
        palette[i] = (p & 0x00FFFFFF) | (a << 24);
    }
}

int picFromTexBlock(const TexHead* texture, PicRecord** holder) {
    if (!texture || !holder) return 0;
    *holder = nullptr;
    const TexPixelBlock* block = texture->block;
    if (!block) return 0;
    if (block->magic != TEX_BLOCK_MAGIC) return fail(ERR_FORMAT, "Not a texture pixel block");
    if (block->log2Width > 15 || block->log2Height > 15) return fail(ERR_FORMAT, "Bad texture pixel block");
    auto* pic = static_cast<PicRecord*>(memAllocZ(sizeof(PicRecord)));
    if (!pic) return 0;
    const TexLevel* level = texLevel(block, 0);
    pic->width = int32_t(1) << block->log2Width;
    pic->height = int32_t(1) << block->log2Height;
    pic->pixels = level->pixels;
    pic->palette = level->palette;
    pic->paletteCount = level->paletteCount;
    pic->bytesPerPixel = 1;
    pic->flags = PIC_BORROWED;
    *holder = pic;
    return 1;
}

uint32_t picNextId() { return g_nextId++; }
uint32_t picNextIdStub() { return picNextId(); }
void picResetIds() { g_nextId = 0; }

int picFreeRef(TexPixelBlock** holder) {
    if (!holder) return 0;
    memFree(*holder);
    *holder = nullptr;
    return 1;
}

int picDestroy(PicRecord** holder) {
    if (!holder) return 0;
    PicRecord* pic = *holder;
    if (!pic) return 1;
    for (auto& column : pic->tileBlocks) {
        for (TexPixelBlock*& block : column) {
            if (!block) continue;
            if (g_blockRelease) g_blockRelease(block);
            memFree(block);
            block = nullptr;
        }
    }
    if (!(pic->flags & PIC_BORROWED)) {
        memFree(pic->pixels);
        memFree(pic->palette);
    }
    memFree(pic);
    *holder = nullptr;
    return 1;
}

void picSetBlockReleaseHook(PicBlockReleaseFn fn) { g_blockRelease = fn; }
