#include "scene/texture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bmp_builder.h"
#include "scene/engine.h"
#include "scene/scene.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;

struct PicGuard {
    PicRecord* p = nullptr;
    ~PicGuard() { picFree(&p); }
};
struct TexGuard {
    TexRecord* t = nullptr;
    ~TexGuard() { texFree(&t); }
};

std::vector<TexPixelBlock*> g_forgotten;
void recordForget(TexPixelBlock* b) { g_forgotten.push_back(b); }

class TextureTest : public ::testing::Test {
protected:
    void SetUp() override {
        errReset();
        texResetState();
        picResetIds();
        g_forgotten.clear();
        std::random_device rd;
        dir_ = fs::temp_directory_path() / ("qivtex_" + std::to_string(rd()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        texResetState();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string path(const char* name) const { return (dir_ / name).string(); }
    std::string write(const char* name, const bmpb::Bytes& b) {
        std::string p = path(name);
        EXPECT_TRUE(bmpb::writeFile(p, b));
        return p;
    }
    // Level of the newest queued report, or -1 when nothing was reported.
    static int lastLevel() {
        uint32_t level = 0;
        if (!errPop(&level, nullptr, nullptr, nullptr)) return -1;
        return int(level);
    }
    fs::path dir_;
};

// A texture whose block keeps the given 8-bit power-of-two picture unchanged.
void makeTexture(int32_t w, int32_t h, const std::vector<uint32_t>& palette, TexRecord** out) {
    ASSERT_EQ(texAllocRecord(out), 1);
    std::vector<uint8_t> pixels(size_t(w) * h);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i % palette.size());
    std::vector<uint32_t> pal(256, 0);
    std::copy(palette.begin(), palette.end(), pal.begin());
    PicRecord pic{};
    pic.pixels = pixels.data();
    pic.width = w;
    pic.height = h;
    pic.bytesPerPixel = 1;
    pic.palette = pal.data();
    pic.paletteCount = 256;
    ASSERT_EQ(picConvert(&pic, 1024, 1024, 0, 0, *out, nullptr), 1);
    ASSERT_NE((*out)->block, nullptr);
}

TEST_F(TextureTest, ReadsDepthsHeadersAndOrientation) {
    struct Case {
        const char* what;
        int32_t w, h;
        uint16_t bits;
        uint32_t headerSize, coloursUsed, paletteWritten, gap;
    };
    const Case cases[] = {
        {"1 bit, width 33", 33, 3, 1, 40, 0, 2, 0},
        {"4 bit, odd width", 5, 4, 4, 40, 0, 16, 0},
        {"8 bit, colours used 0", 7, 3, 8, 40, 0, 256, 0},
        {"8 bit, colours used 300", 6, 2, 8, 40, 300, 256, 0},
        {"8 bit, 16 colours used", 4, 4, 8, 40, 16, 16, 0},
        {"8 bit, 124-byte header", 4, 2, 8, 124, 16, 16, 0},
        {"8 bit, top-down", 3, -5, 8, 108, 16, 16, 0},
        {"8 bit, pixels beyond 64 KiB", 4, 2, 8, 40, 16, 16, 70000},
        {"24 bit, 3 x 2", 3, 2, 24, 40, 0, 0, 0},
        {"24 bit, top-down, width 5", 5, -3, 24, 56, 0, 0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bmpb::BmpDesc s;
        s.width = c.w;
        s.height = c.h;
        s.bits = c.bits;
        s.headerSize = c.headerSize;
        s.coloursUsed = c.coloursUsed;
        s.gap = c.gap;
        s.palette = bmpb::rampPalette(c.paletteWritten);
        const uint32_t levels = c.bits == 24 ? 0 : (1u << c.bits);
        s.pixel = [&](int32_t x, int32_t y) {
            return c.bits == 24 ? uint32_t(x * 40 + 1) << 16 | uint32_t(y * 50 + 2) << 8 | uint32_t(x + y + 3)
                                : uint32_t(x * 3 + y * 5) % std::min<uint32_t>(levels, c.paletteWritten);
        };
        const bmpb::Bytes file = bmpb::build(s);
        PicGuard g;
        g.p = picReadBmpMemory(file.data(), file.size(), nullptr, nullptr);
        ASSERT_NE(g.p, nullptr);
        const int32_t h = c.h < 0 ? -c.h : c.h;
        EXPECT_EQ(g.p->width, c.w);
        EXPECT_EQ(g.p->height, h);
        EXPECT_EQ(g.p->bytesPerPixel, c.bits == 24 ? 4u : 1u);
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < c.w; ++x) {
                const uint32_t want = s.pixel(x, y);
                const uint8_t* p = g.p->pixels + (size_t(y) * c.w + x) * g.p->bytesPerPixel;
                const uint32_t got = c.bits == 24 ? picGet32(p) : *p;
                ASSERT_EQ(got, want) << "pixel " << x << "," << y;
            }
        }
        if (c.bits != 24) {
            ASSERT_NE(g.p->palette, nullptr);
            EXPECT_EQ(g.p->paletteCount, 256u);
            for (uint32_t i = 0; i < 256; ++i) {
                const uint32_t want = i < c.paletteWritten && i < levels ? s.palette[i] : 0;
                ASSERT_EQ(g.p->palette[i], want) << "entry " << i;
            }
        }
    }
    EXPECT_EQ(errQueueSize(), 0u);
}

TEST_F(TextureTest, BadFilesFailWithTheirLevel) {
    bmpb::BmpDesc base;
    base.width = 8;
    base.height = 4;
    base.palette = bmpb::rampPalette(256);
    const bmpb::Bytes good = bmpb::build(base);
    auto with = [&](auto change) {
        bmpb::BmpDesc s = base;
        change(s);
        return bmpb::build(s);
    };
    auto patched = [](bmpb::Bytes b, size_t at, uint32_t v) {
        bmpb::put32(b, at, v);
        return b;
    };
    struct Case {
        const char* what;
        bmpb::Bytes file;
        int level;  // -1: no report
    };
    const std::vector<Case> cases = {
        {"pixels cut short", bmpb::Bytes(good.begin(), good.end() - 1), ERR_LENGTH},
        {"palette cut short", bmpb::Bytes(good.begin(), good.begin() + 54 + 100), ERR_LENGTH},
        {"pixel offset past the end", patched(good, 10, 0x7FFFFFF0), ERR_LENGTH},
        {"header past the end", patched(good, 14, 0x10000), ERR_LENGTH},
        {"height beyond the file", patched(good, 22, 1000000), ERR_LENGTH},
        {"compressed", with([](bmpb::BmpDesc& s) { s.compression = 1; }), ERR_FORMAT},
        {"compressed 24 bit", with([](bmpb::BmpDesc& s) { s.compression = 3, s.bits = 24, s.palette.clear(); }),
         ERR_FORMAT},
        {"old 12-byte header", patched(good, 14, 12), ERR_FORMAT},
        {"header only", bmpb::Bytes(good.begin(), good.begin() + 53), -1},
        {"no BM", patched(good, 0, 0x4D42 << 8), -1},
        {"width 0", with([](bmpb::BmpDesc& s) { s.width = 0; }), -1},
        {"width 16385", patched(good, 18, 16385), -1},
        {"negative width", patched(good, 18, 0xFFFFFFF8u), -1},
        {"height 0", patched(good, 22, 0), -1},
        {"16 bit", patched(good, 28, 16), -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        errReset();
        PicRecord* p = picReadBmpMemory(c.file.data(), c.file.size(), nullptr, nullptr);
        EXPECT_EQ(p, nullptr);
        picFree(&p);
        EXPECT_EQ(lastLevel(), c.level);
    }

    // The file reader: missing file, and a truncated file on disk.
    errReset();
    EXPECT_EQ(picReadBmp(path("missing.bmp").c_str(), nullptr, nullptr), nullptr);
    EXPECT_EQ(lastLevel(), int(ERR_READ));
    const std::string cut = write("cut.bmp", cases[0].file);
    EXPECT_EQ(picReadBmp(cut.c_str(), nullptr, nullptr), nullptr);
    EXPECT_EQ(lastLevel(), int(ERR_LENGTH));
}

TEST_F(TextureTest, SizeInMetresFromPixelsPerMetre) {
    bmpb::BmpDesc s;
    s.width = 500;
    s.height = 2;
    s.bits = 24;
    s.xPels = 1000;
    s.yPels = 0;
    const std::string p = write("m.bmp", bmpb::build(s));
    float wm = -1, hm = -1;
    PicGuard g;
    g.p = picReadBmp(p.c_str(), &wm, &hm);
    ASSERT_NE(g.p, nullptr);
    EXPECT_FLOAT_EQ(wm, 0.5f);
    EXPECT_EQ(hm, 0.0f);
}

TEST_F(TextureTest, LoadFileMakesANamedChainedTexture) {
    bmpb::BmpDesc s;
    s.width = 300;
    s.height = 200;
    s.bits = 24;
    s.pixel = [](int32_t x, int32_t y) { return uint32_t(x & 255) << 16 | uint32_t(y & 255) << 8 | 0x40; };
    const std::string p = write("t.bmp", bmpb::build(s));
    TexGuard g;
    uint32_t bytes = 0;
    float wm = 0, hm = 0;
    ASSERT_EQ(texLoadFile(p.c_str(), 0, &g.t, &wm, &hm, &bytes), 1);
    ASSERT_NE(g.t->block, nullptr);
    EXPECT_EQ(g.t->block->log2Width, 8u);
    EXPECT_EQ(g.t->block->log2Height, 8u);
    EXPECT_EQ(g.t->block->extraLevels, 8u);
    EXPECT_EQ(bytes, g.t->block->totalSize + sizeof(TexRecord));
    ASSERT_NE(g.t->name, nullptr);
    EXPECT_EQ(std::string(g.t->name), p);

    // One colour: no block, the colour only.
    s.pixel = [](int32_t, int32_t) { return 0x336699u; };
    const std::string q = write("one.bmp", bmpb::build(s));
    TexGuard one;
    ASSERT_EQ(texLoadFile(q.c_str(), 0, &one.t, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(one.t->block, nullptr);
    EXPECT_FLOAT_EQ(one.t->colour[0], 0x33 / 255.0f);
    EXPECT_FLOAT_EQ(one.t->colour[2], 0x99 / 255.0f);

    TexRecord* bad = g.t;  // must be cleared
    EXPECT_EQ(texLoadFile(path("none.bmp").c_str(), 0, &bad, nullptr, nullptr, &bytes), 0);
    EXPECT_EQ(bad, nullptr);
    EXPECT_EQ(bytes, 0u);
}

TEST_F(TextureTest, WriteThenReadRoundTrips) {
    TexGuard g;
    makeTexture(8, 4, bmpb::rampPalette(5), &g.t);
    const std::string p = path("out.bmp");
    ASSERT_EQ(picWriteBmp(g.t, 0.5f, 0.0f, p.c_str()), 1);

    const bmpb::Bytes file = bmpb::readFile(p);
    ASSERT_EQ(file.size(), 8u * 4 + 1078);
    EXPECT_EQ(picGet32(&file[2]), file.size());
    EXPECT_EQ(picGet32(&file[38]), 16u);  // 8 pixels / 0.5 m
    // The block keeps a luminance in its palette's fourth byte; files get 0 there.
    for (int i = 0; i < 256; ++i) ASSERT_EQ(file[54 + 4 * i + 3], 0) << "entry " << i;

    float wm = 0;
    PicGuard back;
    back.p = picReadBmp(p.c_str(), &wm, nullptr);
    ASSERT_NE(back.p, nullptr);
    const TexLevel* lv = texLevel(g.t->block, 0);
    ASSERT_EQ(back.p->width, 8);
    ASSERT_EQ(back.p->height, 4);
    EXPECT_EQ(std::memcmp(back.p->pixels, lv->pixels, 32), 0);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(back.p->palette[i], lv->palette[i] & 0xFFFFFF);
    EXPECT_FLOAT_EQ(wm, 0.5f);
    EXPECT_FALSE(fs::exists(p + ".~tmp"));

    // A texture of one colour: a 1 x 1 picture with three padding bytes.
    TexGuard one;
    ASSERT_EQ(texAllocRecord(&one.t), 1);
    one.t->colour[0] = 1.0f;
    one.t->colour[1] = 0.5f;
    ASSERT_EQ(picWriteBmp(one.t, 0, 0, p.c_str()), 1);
    const bmpb::Bytes small = bmpb::readFile(p);
    ASSERT_EQ(small.size(), 1082u);
    EXPECT_EQ(picGet32(&small[54]), 0x00FF8000u);
    EXPECT_EQ(picGet32(&small[1078]), 0u);

    // An unwritable target leaves nothing behind.
    EXPECT_EQ(picWriteBmp(g.t, 0, 0, path("no/such/dir.bmp").c_str()), 0);
}

TEST_F(TextureTest, EncodeBmp16PadsRowsAndMakesThumbnails) {
    TexGuard narrow;  // 1 x 4: rows of 2 bytes padded to 4
    const std::vector<uint32_t> pal = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    makeTexture(1, 4, pal, &narrow.t);
    uint8_t* buf = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(texEncodeBmp(narrow.t, &buf, &size), 1);
    ASSERT_EQ(size, 54u + 4 * 4);
    EXPECT_EQ(picGet32(buf + 2), size);
    EXPECT_EQ(picGet32(buf + 10), 54u);
    EXPECT_EQ(picGet16(buf + 28), 16u);
    EXPECT_EQ(picGet32(buf + 34), 16u);
    const uint16_t rgb555[4] = {0x7C00, 0x03E0, 0x001F, 0x7FFF};
    for (int r = 0; r < 4; ++r) {  // bottom row first
        EXPECT_EQ(picGet16(buf + 54 + 4 * r), rgb555[3 - r]) << "row " << r;
        EXPECT_EQ(picGet16(buf + 54 + 4 * r + 2), 0u);
    }
    memFree(buf);

    TexGuard plain;
    ASSERT_EQ(texAllocRecord(&plain.t), 1);
    plain.t->colour[2] = 1.0f;
    struct Case {
        const TexRecord* t;
        uint32_t thumb, size, width;
    };
    const Case cases[] = {{narrow.t, 1, 8246, 64}, {plain.t, 1, 8246, 64}, {plain.t, 0, 54 + 32, 4}};
    for (const Case& c : cases) {
        ASSERT_EQ(texEncodeBmp16(c.t, &buf, c.thumb, &size), 1);
        EXPECT_EQ(size, c.size);
        EXPECT_EQ(picGet32(buf + 18), c.width);
        if (c.t == plain.t) {
            EXPECT_EQ(picGet16(buf + 54), 0x001F);
        }
        memFree(buf);
    }
    EXPECT_EQ(texEncodeBmp16(nullptr, &buf, 0, &size), 0);
    EXPECT_EQ(buf, nullptr);
}

TEST_F(TextureTest, PackedBitmapLayout) {
    TexGuard g;
    makeTexture(2, 2, {0x102030, 0x405060, 0x708090}, &g.t);
    uint32_t size = 0;
    ASSERT_EQ(texDibSize(g.t, &size), 1);
    ASSERT_EQ(size, 4u * 2 + 1064);
    std::vector<uint8_t> dib(size, 0xEE);
    EXPECT_EQ(texWriteDib(g.t, dib.data(), size - 1), 0);
    ASSERT_EQ(texWriteDib(g.t, dib.data(), size), 1);
    EXPECT_EQ(picGet32(&dib[0]), 40u);
    EXPECT_EQ(picGet32(&dib[4]), 2u);
    EXPECT_EQ(picGet16(&dib[14]), 8u);
    EXPECT_EQ(picGet32(&dib[40 + 4]), 0x405060u);  // reserved byte 0
    // Pixels 0 1 / 2 0, bottom row first, padded to 4.
    const uint8_t rows[8] = {2, 0, 0, 0, 0, 1, 0, 0};
    EXPECT_EQ(std::memcmp(&dib[1064], rows, 8), 0);

#if defined(_WIN32)
    void* handle = nullptr;
    uint32_t gsize = 0;
    ASSERT_EQ(texToGlobalDib(g.t, &handle, &gsize), 1);
    ASSERT_EQ(gsize, size);
    void* p = GlobalLock(static_cast<HGLOBAL>(handle));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::memcmp(p, dib.data(), size), 0);
    GlobalUnlock(static_cast<HGLOBAL>(handle));
    GlobalFree(static_cast<HGLOBAL>(handle));
#endif
}

TEST_F(TextureTest, TilesRepeatEdgesAndRespectLimits) {
    texSetCacheRemoveHook(recordForget);
    // 257 x 1: column 256 is the only one of colour A; the second tile repeats it.
    const uint32_t pal[2] = {0x0000FF, 0xFF0000};
    std::vector<uint8_t> px(257, 0);
    px[256] = 1;
    std::vector<uint32_t> palette(256, 0);
    palette[0] = pal[0];
    palette[1] = pal[1];
    PicRecord pic{};
    pic.pixels = px.data();
    pic.width = 257;
    pic.height = 1;
    pic.bytesPerPixel = 1;
    pic.palette = palette.data();
    pic.paletteCount = 256;
    ASSERT_EQ(texBuild(&pic), 1);
    EXPECT_EQ(pic.tileColumns, 2u);
    EXPECT_EQ(pic.tileRows, 1u);
    EXPECT_EQ(pic.tileBlocks[1][0], nullptr);  // one colour
    EXPECT_FLOAT_EQ(pic.tileColours[1][0][0], 1.0f);
    EXPECT_FLOAT_EQ(pic.tileColours[1][0][2], 0.0f);
    EXPECT_FLOAT_EQ(pic.tileColours[0][0][2], 1.0f);

    // Rebuilding forgets and frees the old tiles.
    px[3] = 1;
    ASSERT_EQ(texBuild(&pic), 1);
    ASSERT_NE(pic.tileBlocks[0][0], nullptr);
    TexPixelBlock* built = pic.tileBlocks[0][0];
    g_forgotten.clear();
    pic.width = 4097;  // 17 columns
    EXPECT_EQ(texBuild(&pic), 0);
    EXPECT_EQ(pic.tileColumns, 0u);
    EXPECT_EQ(pic.tileBlocks[0][0], nullptr);
    ASSERT_EQ(g_forgotten.size(), 1u);
    EXPECT_EQ(g_forgotten[0], built);

    std::vector<uint8_t> tall(3073, 0);
    pic.pixels = tall.data();
    pic.width = 1;
    pic.height = 3073;  // 13 rows
    EXPECT_EQ(texBuild(&pic), 0);
    pic.bytesPerPixel = 2;
    EXPECT_EQ(texBuild(&pic), 0);
}

TEST_F(TextureTest, LoadPalettizedReducesTrueColour) {
    bmpb::BmpDesc s;
    s.width = 300;
    s.height = 20;
    s.bits = 24;
    s.pixel = [](int32_t x, int32_t y) { return x < 150 ? 0xFF0000u : 0x0000FFu; };
    const std::string p = write("p.bmp", bmpb::build(s));
    texSetCacheRemoveHook(recordForget);
    PicRecord* pic = nullptr;
    int32_t w = 0, h = 0;
    ASSERT_EQ(texLoadPalettized(p.c_str(), &pic, &w, &h), 1);
    EXPECT_EQ(w, 300);
    EXPECT_EQ(h, 20);
    ASSERT_EQ(pic->bytesPerPixel, 1u);
    EXPECT_EQ(pic->palette[pic->pixels[0]], 0xFF0000u);
    EXPECT_EQ(pic->palette[pic->pixels[299]], 0x0000FFu);
    EXPECT_EQ(pic->tileColumns, 2u);
    TexPixelBlock* tile = pic->tileBlocks[0][0];
    ASSERT_NE(tile, nullptr);
    EXPECT_EQ(picFree(&pic), 1);
    EXPECT_EQ(pic, nullptr);
    ASSERT_EQ(g_forgotten.size(), 1u);  // tile 1 is one colour: no block
    EXPECT_EQ(g_forgotten[0], tile);
}

TEST_F(TextureTest, NamesAndData) {
    TexGuard g;
    ASSERT_EQ(texAllocRecord(&g.t), 1);
    ASSERT_EQ(texSetName(g.t, "wood", "file://wood.bmp", 7), 1);
    ASSERT_EQ(texSetName(g.t, "oak", nullptr, 0), 1);
    const char *name = nullptr, *source = nullptr;
    uint32_t user = 0;
    ASSERT_EQ(picGetInfo(g.t, &name, &source, &user), 1);
    EXPECT_STREQ(name, "oak");
    EXPECT_STREQ(source, "file://wood.bmp");
    EXPECT_EQ(user, 7u);
    float colour[3] = {};
    uint32_t bytes = 1;
    EXPECT_EQ(texGetData(g.t, colour, &bytes, &name), 0);  // no block
    EXPECT_EQ(bytes, 0u);
    EXPECT_STREQ(name, "oak");
    EXPECT_EQ(picGetInfo(nullptr, &name, nullptr, nullptr), 0);
    EXPECT_EQ(name, nullptr);
}

TEST_F(TextureTest, AreaNamesRespectTheCapacity) {
    PelContent content{};
    char names[] = "ab\0\0c\0";  // "ab", "", "c", closed by an empty name
    content.areaCount = 3;
    content.areaNames = names;
    content.areaNameBytes = 7;
    EXPECT_EQ(pelAreaNamesSize(&content), 7u);
    char buf[16];
    std::memset(buf, 'x', sizeof buf);
    uint32_t count = 9;
    EXPECT_EQ(pelGetAreaNames(&content, &count, buf, 6), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(buf[1], 'x');
    EXPECT_EQ(lastLevel(), int(ERR_LENGTH));
    ASSERT_EQ(pelGetAreaNames(&content, &count, buf, 7), 1);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(std::memcmp(buf, names, 7), 0);
    EXPECT_EQ(buf[7], 'x');
    content.areaCount = 0;
    EXPECT_EQ(pelGetAreaNames(&content, &count, buf, 1), 1);
    EXPECT_EQ(count, 0u);
}

TEST_F(TextureTest, ScaleColoursAndFreeForgetTheBlock) {
    texSetCacheRemoveHook(recordForget);
    TexGuard g;
    makeTexture(2, 2, {0x808080, 0x10F020}, &g.t);
    const float before = g.t->colour[0];
    ASSERT_EQ(texScaleColours(g.t, 2.0f, 0.5f, 1.0f), 1);
    const TexLevel* lv = texLevel(g.t->block, 0);
    EXPECT_EQ(lv->palette[0] & 0xFFFFFF, 0xFF4080u);
    EXPECT_EQ(lv->palette[1] & 0xFFFFFF, 0x207820u);
    EXPECT_FLOAT_EQ(g.t->colour[0], before * 2.0f);
    TexPixelBlock* block = g.t->block;
    ASSERT_EQ(texFree(&g.t), 1);
    EXPECT_EQ(g.t, nullptr);
    ASSERT_EQ(g_forgotten.size(), 2u);
    EXPECT_EQ(g_forgotten[0], block);
    EXPECT_EQ(g_forgotten[1], block);
    EXPECT_EQ(texFree(&g.t), 1);
    EXPECT_EQ(texFree(nullptr), 0);
    EXPECT_EQ(texScaleColours(nullptr, 1, 1, 1), 1);
}

}  // namespace
