// Texture files (BMP read and write), tiled textures and texture bookkeeping.
#include "scene/bytes.h"
#include "scene/texture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "scene/engine.h"
#include "scene/memblock.h"
#include "scene/quantise.h"
#include "scene/scene.h"

namespace {

TexCacheRemoveFn g_cacheRemove = nullptr;

struct PicDeleter {
    void operator()(PicRecord* p) const { picDestroy(&p); }
};
using PicPtr = std::unique_ptr<PicRecord, PicDeleter>;

void report(uint32_t level, const char* message) {
    errSetContext("???", 99999);
    errReport(level, "%s", message);
}

void forget(TexPixelBlock* block) {
    if (block && g_cacheRemove) g_cacheRemove(block);
}

char* copyText(const char* text) {
    const size_t n = std::strlen(text) + 1;
    auto* p = static_cast<char*>(memAllocZ(n));
    if (p) std::memcpy(p, text, n);
    return p;
}

uint8_t colourByte(float c) {
    const float v = std::round(c * 255.0f);
    return uint8_t(std::clamp(v, 0.0f, 255.0f));
}



// --- reading ---------------------------------------------------------------------------------

// Random access to the bytes of a BMP file, on disk or in memory.
class BmpSource {
public:
    virtual ~BmpSource() = default;
    virtual uint64_t size() const = 0;
    // Exactly n bytes at offset (checked against the size).
    virtual bool read(uint64_t offset, uint8_t* out, size_t n) = 0;
};

class MemorySource final : public BmpSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint64_t size() const override { return size_; }
    bool read(uint64_t offset, uint8_t* out, size_t n) override {
        if (offset > size_ || n > size_ - offset) return false;
        if (n) std::memcpy(out, data_ + offset, n);
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
};

class FileSource final : public BmpSource {
public:
    FileSource(std::FILE* f, uint64_t size) : f_(f), size_(size) {}
    uint64_t size() const override { return size_; }
    bool read(uint64_t offset, uint8_t* out, size_t n) override {
        if (offset > size_ || n > size_ - offset) return false;
        if (offset != pos_) {
            if (!bytes::seekTo(f_, offset)) return false;
            pos_ = offset;
        }
        const size_t got = std::fread(out, 1, n, f_);
        pos_ += got;
        return got == n;
    }

private:
    std::FILE* f_;
    uint64_t size_;
    uint64_t pos_ = 0;
};

constexpr char kCorrupted[] = "BMP-File is corrupted";

PicRecord* readBmp(BmpSource& src, float* widthMetres, float* heightMetres) {
    uint8_t hd[54];
    if (src.size() < sizeof hd || !src.read(0, hd, sizeof hd)) return nullptr;
    if (hd[0] != 'B' || hd[1] != 'M') return nullptr;
    const uint64_t pixelOffset = picGet32(hd + 10);
    const uint64_t headerSize = picGet32(hd + 14);
    const int32_t width = int32_t(picGet32(hd + 18));
    const int32_t rawHeight = int32_t(picGet32(hd + 22));
    const uint32_t bits = picGet16(hd + 28);
    const uint32_t compression = picGet32(hd + 30);
    const int32_t xPels = int32_t(picGet32(hd + 38));
    const int32_t yPels = int32_t(picGet32(hd + 42));
    const uint32_t coloursUsed = picGet32(hd + 46);

    if (headerSize < 40) {
        report(ERR_FORMAT, "Unsupported BMP header");
        return nullptr;
    }
    if (14 + headerSize > src.size()) {
        report(ERR_LENGTH, kCorrupted);
        return nullptr;
    }
    // A negative height means rows stored top-down.
    const bool topDown = rawHeight < 0;
    const int64_t height = topDown ? -int64_t(rawHeight) : int64_t(rawHeight);
    if (width <= 0 || width > PIC_MAX_WIDTH || height == 0 || height > INT32_MAX) return nullptr;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return nullptr;
    if (compression != 0) {
        report(ERR_FORMAT, "Unsuported compression type of BMP-File");
        return nullptr;
    }

    const uint64_t stride = (uint64_t(width) * bits + 31) / 32 * 4;
    const uint64_t dataBytes = stride * uint64_t(height);
    if (pixelOffset > src.size() || dataBytes > src.size() - pixelOffset) {
        report(ERR_LENGTH, kCorrupted);
        return nullptr;
    }

    PicPtr pic(static_cast<PicRecord*>(memAllocZ(sizeof(PicRecord))));
    if (!pic) return nullptr;
    const uint32_t bpp = bits == 24 ? 4 : 1;
    pic->width = width;
    pic->height = int32_t(height);
    pic->bytesPerPixel = bpp;
    pic->pixels = allocArray<uint8_t>(uint64_t(width) * uint64_t(height) * bpp).release();
    if (!pic->pixels) return nullptr;

    if (bpp == 1) {
        const uint32_t most = 1u << bits;
        const uint32_t entries = (coloursUsed == 0 || coloursUsed > most) ? most : coloursUsed;
        pic->palette = allocArray<uint32_t>(256).release();
        if (!pic->palette) return nullptr;
        pic->paletteCount = 256;
        uint8_t table[256 * 4];
        if (!src.read(14 + headerSize, table, size_t(entries) * 4)) {
            report(ERR_LENGTH, kCorrupted);
            return nullptr;
        }
        for (uint32_t i = 0; i < entries; ++i) pic->palette[i] = picGet32(table + 4 * i) & 0x00FFFFFF;
    }

    MemPtr<uint8_t> row = allocArray<uint8_t>(stride);
    if (!row) return nullptr;
    for (int64_t r = 0; r < height; ++r) {
        if (!src.read(pixelOffset + uint64_t(r) * stride, row.get(), size_t(stride))) {
            report(ERR_LENGTH, kCorrupted);
            return nullptr;
        }
        const int64_t y = topDown ? r : height - 1 - r;
        uint8_t* dst = pic->pixels + uint64_t(y) * uint64_t(width) * bpp;
        const uint8_t* s = row.get();
        switch (bits) {
        case 24:
            for (int32_t x = 0; x < width; ++x) {
                dst[4 * x] = s[3 * x];
                dst[4 * x + 1] = s[3 * x + 1];
                dst[4 * x + 2] = s[3 * x + 2];
            }
            break;
        case 8:
            std::memcpy(dst, s, size_t(width));
            break;
        case 4:
            for (int32_t x = 0; x < width; ++x) dst[x] = (x & 1) ? (s[x / 2] & 0x0F) : (s[x / 2] >> 4);
            break;
        default:
            for (int32_t x = 0; x < width; ++x) dst[x] = (s[x / 8] >> (7 - (x & 7))) & 1;
            break;
        }
    }
    if (widthMetres) *widthMetres = xPels != 0 ? float(width) / float(xPels) : 0.0f;
    if (heightMetres) *heightMetres = yPels != 0 ? float(height) / float(yPels) : 0.0f;
    return pic.release();
}

// --- writing ---------------------------------------------------------------------------------

// Level 0 of a texture as 8-bit pixels with a 256-entry palette (0x00RRGGBB).
struct Image8 {
    int32_t width = 0, height = 0;
    const uint8_t* pixels = nullptr;
    uint32_t palette[256] = {};
};

const uint8_t kIndexZero = 0;

bool level0(const TexRecord* t, Image8* img) {
    const TexPixelBlock* b = t->block;
    if (!b) {
        img->width = img->height = 1;
        img->pixels = &kIndexZero;
        img->palette[0] = uint32_t(colourByte(t->colour[0])) << 16 | uint32_t(colourByte(t->colour[1])) << 8 |
                          colourByte(t->colour[2]);
        return true;
    }
    if (b->magic != TEX_BLOCK_MAGIC) {
        report(ERR_FORMAT, "Not a texture pixel block");
        return false;
    }
    const TexLevel* lv = texLevel(b, 0);
    if (b->log2Width > 14 || b->log2Height > 14 || !lv->pixels || !lv->palette) {
        report(ERR_FORMAT, "Bad texture pixel block");
        return false;
    }
    img->width = int32_t(1) << b->log2Width;
    img->height = int32_t(1) << b->log2Height;
    img->pixels = lv->pixels;
    const uint32_t n = std::min<uint32_t>(lv->paletteCount, 256);
    for (uint32_t i = 0; i < n; ++i) img->palette[i] = lv->palette[i] & 0x00FFFFFF;
    return true;
}

void putInfoHeader(uint8_t* p, int32_t w, int32_t h, uint32_t bits, uint32_t imageSize, int32_t xPels,
                   int32_t yPels) {
    picPut32(p + 0, TEX_BMP_INFO_HEADER);
    picPut32(p + 4, uint32_t(w));
    picPut32(p + 8, uint32_t(h));
    picPut16(p + 12, 1);
    picPut16(p + 14, bits);
    picPut32(p + 16, 0);
    picPut32(p + 20, imageSize);
    picPut32(p + 24, uint32_t(xPels));
    picPut32(p + 28, uint32_t(yPels));
    picPut32(p + 32, 0);
    picPut32(p + 36, 0);
}

void putFileHeader(uint8_t* p, uint32_t fileSize, uint32_t pixelOffset) {
    p[0] = 'B';
    p[1] = 'M';
    picPut32(p + 2, fileSize);
    picPut32(p + 6, 0);
    picPut32(p + 10, pixelOffset);
}

// Palette entries blue, green, red and a zero reserved byte.
void putPalette(uint8_t* p, const uint32_t* palette) {
    for (int i = 0; i < 256; ++i) picPut32(p + 4 * i, palette[i] & 0x00FFFFFF);
}

int32_t pixelsPerMetre(int32_t pixels, float metres) {
    if (metres == 0.0f || !std::isfinite(metres)) return 0;
    const double v = std::round(double(pixels) / double(metres));
    if (!(v >= double(INT32_MIN) && v <= double(INT32_MAX))) return 0;
    return int32_t(v);
}

bool writeAll(std::FILE* f, const uint8_t* data, size_t n) { return n == 0 || std::fwrite(data, 1, n, f) == n; }

}  // namespace

void texSetCacheRemoveHook(TexCacheRemoveFn fn) {
    g_cacheRemove = fn;
    picSetBlockReleaseHook(fn);
}

void texResetState() { texSetCacheRemoveHook(nullptr); }

int texAllocRecord(TexRecord** holder) {
    if (!holder) return 0;
    *holder = static_cast<TexRecord*>(memAllocZ(sizeof(TexRecord)));
    return *holder ? 1 : 0;
}

PicRecord* picReadBmpMemory(const uint8_t* data, size_t size, float* widthMetres, float* heightMetres) {
    if (widthMetres) *widthMetres = 0.0f;
    if (heightMetres) *heightMetres = 0.0f;
    if (!data) return nullptr;
    MemorySource src(data, size);
    return readBmp(src, widthMetres, heightMetres);
}

PicRecord* picReadBmp(const char* name, float* widthMetres, float* heightMetres) try {
    if (widthMetres) *widthMetres = 0.0f;
    if (heightMetres) *heightMetres = 0.0f;
    std::FILE* f = name ? std::fopen(name, "rb") : nullptr;
    std::error_code ec;
    const uint64_t size = f ? uint64_t(std::filesystem::file_size(name, ec)) : 0;
    if (!f || ec) {
        if (f) std::fclose(f);
        report(ERR_READ, "Unable to open texture file");
        return nullptr;
    }
    FileSource src(f, size);
    PicRecord* pic = readBmp(src, widthMetres, heightMetres);
    std::fclose(f);
    return pic;
} QIV_ENGINE_CATCH(nullptr)

int texLoadFile(const char* name, uint32_t, TexRecord** texture, float* widthMetres, float* heightMetres,
                uint32_t* memorySize) try {
    if (memorySize) *memorySize = 0;
    if (widthMetres) *widthMetres = 0.0f;
    if (heightMetres) *heightMetres = 0.0f;
    if (!texture) return 0;
    *texture = nullptr;
    if (!name) return 0;
    MemPtr<char> copy(copyText(name));
    if (!copy) return 0;
    PicPtr pic(picReadBmp(name, widthMetres, heightMetres));
    TexRecord* t = nullptr;
    uint32_t blockSize = 0;
    if (!pic || !texAllocRecord(&t) ||
        !picConvert(pic.get(), TEX_FILE_LIMIT, TEX_FILE_LIMIT, 1, 0, t, &blockSize)) {
        texFree(&t);
        if (widthMetres) *widthMetres = 0.0f;
        if (heightMetres) *heightMetres = 0.0f;
        return 0;
    }
    t->name = copy.release();
    if (memorySize) *memorySize = blockSize + uint32_t(sizeof(TexRecord));
    *texture = t;
    return 1;
} QIV_ENGINE_CATCH(0)

int texBuild(PicRecord* picture) {
    if (!picture || picture->bytesPerPixel != 1 || !picture->pixels || !picture->palette) return 0;
    auto releaseTiles = [picture] {
        for (auto& column : picture->tileBlocks) {
            for (TexPixelBlock*& block : column) {
                forget(block);
                memFree(block);
                block = nullptr;
            }
        }
    };
    const int64_t w = picture->width, h = picture->height;
    const int64_t columns = w > 0 ? (w - 1) / TEX_TILE_SIZE + 1 : 0;
    const int64_t rows = h > 0 ? (h - 1) / TEX_TILE_SIZE + 1 : 0;
    releaseTiles();
    picture->tileColumns = picture->tileRows = 0;
    if (columns < 1 || rows < 1) return 1;
    if (columns > PIC_TILE_COLUMNS || rows > PIC_TILE_ROWS) return 0;

    const int32_t n = TEX_TILE_SIZE;
    MemPtr<uint8_t> work = allocArray<uint8_t>(uint64_t(n) * n * 4);
    if (!work) return 0;
    PicRecord tile{};
    tile.pixels = work.get();
    tile.width = tile.height = n;
    tile.bytesPerPixel = 4;
    const uint32_t entries = std::min<uint32_t>(picture->paletteCount, 256);
    for (int64_t tr = 0; tr < rows; ++tr) {
        for (int64_t tc = 0; tc < columns; ++tc) {
            // The picture's last column and row repeat past its edges.
            for (int32_t y = 0; y < n; ++y) {
                const int64_t sy = std::min<int64_t>(tr * n + y, h - 1);
                const uint8_t* src = picture->pixels + sy * w;
                uint8_t* dst = work.get() + size_t(y) * n * 4;
                for (int32_t x = 0; x < n; ++x) {
                    const uint8_t k = src[std::min<int64_t>(tc * n + x, w - 1)];
                    picPut32(dst + 4 * x, k < entries ? picture->palette[k] & 0x00FFFFFF : 0);
                }
            }
            TexHead head{};
            if (!picConvert(&tile, n, n, 1, 0, &head, nullptr)) {
                releaseTiles();
                return 0;
            }
            picture->tileBlocks[tc][tr] = head.block;
            std::memcpy(picture->tileColours[tc][tr], head.colour, sizeof head.colour);
        }
    }
    picture->tileColumns = uint32_t(columns);
    picture->tileRows = uint32_t(rows);
    return 1;
}

int texLoadPalettized(const char* name, PicRecord** picture, int32_t* width, int32_t* height) try {
    if (width) *width = 0;
    if (height) *height = 0;
    if (!picture) return 0;
    *picture = nullptr;
    PicPtr pic(picReadBmp(name, nullptr, nullptr));
    if (!pic) return 0;
    if (pic->bytesPerPixel != 1) {
        uint32_t colours[256] = {};
        const uint32_t n = palFromImage(pic.get(), colours, 256);
        if (n == 0) return 0;
        MemPtr<uint8_t> pixels = allocArray<uint8_t>(uint64_t(pic->width) * uint64_t(pic->height));
        MemPtr<uint32_t> palette = allocArray<uint32_t>(256);
        if (!pixels || !palette) return 0;
        std::memcpy(palette.get(), colours, sizeof colours);
        PicRecord eight{};
        eight.pixels = pixels.get();
        eight.width = pic->width;
        eight.height = pic->height;
        eight.bytesPerPixel = 1;
        eight.palette = palette.get();
        eight.paletteCount = n;
        if (!palMapImage(pic.get(), &eight, 0)) return 0;
        memFree(pic->pixels);
        pic->pixels = pixels.release();
        pic->palette = palette.release();
        pic->paletteCount = 256;
        pic->bytesPerPixel = 1;
    }
    pic->tileColumns = pic->tileRows = 0;
    if (!texBuild(pic.get())) return 0;
    if (width) *width = pic->width;
    if (height) *height = pic->height;
    *picture = pic.release();
    return 1;
} QIV_ENGINE_CATCH(0)

int picWriteBmp(const TexRecord* texture, float widthMetres, float heightMetres, const char* name) try {
    if (!texture || !name) return 0;
    Image8 img;
    if (!level0(texture, &img)) return 0;
    const uint64_t stride = (uint64_t(img.width) + 3) & ~uint64_t(3);
    const uint64_t fileSize = stride * uint64_t(img.height) + TEX_BMP8_PIXEL_OFFSET;
    uint8_t head[TEX_BMP8_PIXEL_OFFSET];
    putFileHeader(head, uint32_t(fileSize), TEX_BMP8_PIXEL_OFFSET);
    putInfoHeader(head + 14, img.width, img.height, 8, 0, pixelsPerMetre(img.width, widthMetres),
                  pixelsPerMetre(img.height, heightMetres));
    putPalette(head + 54, img.palette);

    // Written beside the target and renamed over it only when complete.
    const std::string temp = std::string(name) + ".~tmp";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        report(ERR_READ, "Unable to create texture file");
        return 0;
    }
    bool ok = writeAll(f, head, sizeof head);
    uint8_t rowBuf[16384 + 4] = {};
    for (int32_t y = img.height - 1; ok && y >= 0; --y) {
        std::memcpy(rowBuf, img.pixels + size_t(y) * size_t(img.width), size_t(img.width));
        ok = writeAll(f, rowBuf, size_t(stride));
    }
    ok = (std::fclose(f) == 0) && ok;
    std::error_code ec;
    if (ok) std::filesystem::rename(temp, name, ec);
    if (!ok || ec) {
        std::filesystem::remove(temp, ec);
        report(ERR_READ, "Unable to write texture file");
        return 0;
    }
    return 1;
} QIV_ENGINE_CATCH(0)

int texEncodeBmp16(const TexRecord* texture, uint8_t** buffer, uint32_t thumbnail, uint32_t* size) {
    if (size) *size = 0;
    if (buffer) *buffer = nullptr;
    if (!texture || !buffer) return 0;

    // The picture as RGB555, top row first.
    int32_t w = 0, h = 0;
    MemPtr<uint8_t> full;
    if (texture->block) {
        Image8 img;
        if (!level0(texture, &img)) return 0;
        w = img.width;
        h = img.height;
        full = allocArray<uint8_t>(uint64_t(w) * uint64_t(h) * 2);
        if (!full) return 0;
        for (size_t i = 0; i < size_t(w) * size_t(h); ++i) {
            const uint32_t p = img.palette[img.pixels[i]];
            picPut16(full.get() + 2 * i, picRgb555(p));
        }
    } else {
        w = h = thumbnail ? int32_t(TEX_THUMB_SIZE) : 4;
        full = allocArray<uint8_t>(uint64_t(w) * uint64_t(h) * 2);
        if (!full) return 0;
        const uint16_t v = picRgb555(uint32_t(colourByte(texture->colour[0])) << 16 |
                                     uint32_t(colourByte(texture->colour[1])) << 8 | colourByte(texture->colour[2]));
        for (size_t i = 0; i < size_t(w) * size_t(h); ++i) picPut16(full.get() + 2 * i, v);
    }
    if (thumbnail && (w != int32_t(TEX_THUMB_SIZE) || h != int32_t(TEX_THUMB_SIZE))) {
        MemPtr<uint8_t> small = allocArray<uint8_t>(uint64_t(TEX_THUMB_SIZE) * TEX_THUMB_SIZE * 2);
        if (!small) return 0;
        PicRecord s{}, d{};
        s.pixels = full.get();
        s.width = w;
        s.height = h;
        s.bytesPerPixel = 2;
        d.pixels = small.get();
        d.width = d.height = int32_t(TEX_THUMB_SIZE);
        d.bytesPerPixel = 2;
        picCopyRect(0, 0, &s, &d);
        full = std::move(small);
        w = h = int32_t(TEX_THUMB_SIZE);
    }

    // Rows padded to 4 bytes, bottom row first.
    const uint64_t rowBytes = uint64_t(w) * 2;
    const uint64_t stride = (rowBytes + 3) & ~uint64_t(3);
    const uint64_t imageSize = stride * uint64_t(h);
    const uint64_t total = 54 + imageSize;
    MemPtr<uint8_t> out = allocArray<uint8_t>(total);
    if (!out) return 0;
    putFileHeader(out.get(), uint32_t(total), 54);
    putInfoHeader(out.get() + 14, w, h, 16, uint32_t(imageSize), 0, 0);
    for (int32_t y = 0; y < h; ++y)
        std::memcpy(out.get() + 54 + uint64_t(h - 1 - y) * stride, full.get() + uint64_t(y) * rowBytes,
                    size_t(rowBytes));
    *buffer = out.release();
    if (size) *size = uint32_t(total);
    return 1;
}

int texEncodeBmp(const TexRecord* texture, uint8_t** buffer, uint32_t* size) {
    return texEncodeBmp16(texture, buffer, 0, size);
}

int texDibSize(const TexRecord* texture, uint32_t* size) {
    if (size) *size = 0;
    if (!texture || !size) return 0;
    Image8 img;
    if (!level0(texture, &img)) return 0;
    *size = uint32_t(((uint64_t(img.width) + 3) & ~uint64_t(3)) * uint64_t(img.height) + 1064);
    return 1;
}

int texWriteDib(const TexRecord* texture, uint8_t* out, size_t capacity) {
    if (!texture || !out) return 0;
    Image8 img;
    if (!level0(texture, &img)) return 0;
    const uint64_t stride = (uint64_t(img.width) + 3) & ~uint64_t(3);
    const uint64_t total = stride * uint64_t(img.height) + 1064;
    if (total > capacity) return 0;
    std::memset(out, 0, size_t(total));
    putInfoHeader(out, img.width, img.height, 8, 0, 0, 0);
    putPalette(out + 40, img.palette);
    for (int32_t y = 0; y < img.height; ++y)
        std::memcpy(out + 1064 + uint64_t(img.height - 1 - y) * stride, img.pixels + size_t(y) * size_t(img.width),
                    size_t(img.width));
    return 1;
}

int texSetName(TexRecord* texture, const char* name, const char* source, uint32_t value) {
    if (!texture) return 0;
    MemPtr<char> n(name ? copyText(name) : nullptr), s(source ? copyText(source) : nullptr);
    if ((name && !n) || (source && !s)) return 0;
    if (name) {
        memFree(texture->name);
        texture->name = n.release();
    }
    if (source) {
        memFree(texture->source);
        texture->source = s.release();
    }
    if (value != 0) texture->user = value;
    return 1;
}

int picGetInfo(const TexRecord* texture, const char** name, const char** source, uint32_t* value) {
    if (name) *name = nullptr;
    if (source) *source = nullptr;
    if (value) *value = 0;
    if (!texture) return 0;
    if (name) *name = texture->name;
    if (source) *source = texture->source;
    if (value) *value = texture->user;
    return 1;
}

int texGetData(const TexRecord* texture, float colour[3], uint32_t* blockSize, const char** name) {
    if (blockSize) *blockSize = 0;
    if (name) *name = nullptr;
    if (!texture) return 0;
    if (colour) std::memcpy(colour, texture->colour, sizeof texture->colour);
    if (name) *name = texture->name;
    if (!texture->block) return 0;
    if (blockSize) *blockSize = texture->block->totalSize;
    return 1;
}

size_t pelAreaNamesSize(const PelContent* content) {
    if (!content || content->areaCount == 0 || !content->areaNames || content->areaNameBytes == 0) return 1;
    return content->areaNameBytes;
}

const char* pelAreaName(const PelContent* content, uint32_t a) {
    if (!content || a >= content->areaCount || !content->areaNames) return nullptr;
    const char* p = content->areaNames;
    const char* end = p + content->areaNameBytes;
    for (uint32_t i = 0; p < end; ++i) {
        const void* z = std::memchr(p, 0, size_t(end - p));
        if (!z) return nullptr;
        if (i == a) return p;
        p = static_cast<const char*>(z) + 1;
    }
    return nullptr;
}

uint64_t pelAreaTextBound(uint64_t size, uint32_t count) { return size + count + 1; }

uint64_t pelNormalizeAreaText(const char* text, uint64_t size, uint32_t count, char* out) {
    uint64_t at = 0, w = 0;
    uint32_t i = 0;
    for (; i < count && at < size; ++i) {
        while (at < size && text[at]) out[w++] = text[at++];
        out[w++] = 0;
        if (at < size) ++at;  // its zero
    }
    // Names the text lacks, and the closing zero.
    std::memset(out + w, 0, size_t(count - i) + 1);
    return w + (count - i) + 1;
}

int pelGetAreaNames(const PelContent* content, uint32_t* count, char* buffer, size_t capacity) {
    if (count) *count = 0;
    if (buffer && capacity > 0) buffer[0] = 0;
    if (!content || content->areaCount == 0 || !content->areaNames || content->areaNameBytes == 0) return 1;
    const size_t need = pelAreaNamesSize(content);
    if (!buffer || need > capacity) {
        report(ERR_LENGTH, "Area name buffer is too small");
        return 0;
    }
    std::memcpy(buffer, content->areaNames, need);
    if (count) *count = content->areaCount;
    return 1;
}

int texScaleColours(TexRecord* texture, float red, float green, float blue) {
    if (!texture) return 1;
    forget(texture->block);
    const float f[3] = {red, green, blue};
    for (int k = 0; k < 3; ++k) texture->colour[k] *= f[k];
    TexPixelBlock* b = texture->block;
    if (!b || b->magic != TEX_BLOCK_MAGIC) return 1;
    TexLevel* lv = texLevel(b, 0);
    if (!lv->palette) return 1;
    const uint32_t n = std::min<uint32_t>(lv->paletteCount, 256);
    auto scale = [](uint32_t c, float k) {
        return uint32_t(std::clamp(std::round(float(c) * k), 0.0f, 255.0f));
    };
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t p = lv->palette[i];
        lv->palette[i] = (p & 0xFF000000u) | scale((p >> 16) & 255, red) << 16 |
                         scale((p >> 8) & 255, green) << 8 | scale(p & 255, blue);
    }
    return 1;
}

int texFree(TexRecord** holder) {
    if (!holder) return 0;
    TexRecord* t = *holder;
    if (!t) return 1;
    forget(t->block);
    memFree(t->name);
    memFree(t->source);
    memFree(t->block);
    memFree(t);
    *holder = nullptr;
    return 1;
}

int picFree(PicRecord** holder) { return picDestroy(holder); }

int texFreeRef(TexPixelBlock** holder) {
    if (!holder) return 0;
    forget(*holder);
    memFree(*holder);
    *holder = nullptr;
    return 1;
}
