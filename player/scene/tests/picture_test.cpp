#include "scene/picture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "scene/engine.h"

namespace {

void put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// A device-independent bitmap built in memory: information header with colour table, and rows.
struct Dib {
    std::vector<uint8_t> info;
    std::vector<uint8_t> bits;
    size_t rowBytes = 0;
};

// value(x, y) gives the palette index (or 0x00RRGGBB for 24 bits) of the picture's pixel
// (x, y), y counted from the top.
Dib makeDib(int32_t width, int32_t height, uint32_t bitCount, const std::function<uint32_t(int, int)>& value,
            uint32_t coloursUsed = 0, uint32_t tableEntries = 0, bool topDown = false) {
    Dib d;
    d.info.assign(40 + 4 * tableEntries, 0);
    put32(d.info, 0, 40);
    put32(d.info, 4, uint32_t(width));
    put32(d.info, 8, uint32_t(topDown ? -height : height));
    put16(d.info, 12, 1);
    put16(d.info, 14, bitCount);
    put32(d.info, 24, 1000);
    put32(d.info, 28, 0);
    put32(d.info, 32, coloursUsed);
    for (uint32_t i = 0; i < tableEntries; ++i) put32(d.info, 40 + 4 * i, 0xAB000000u | (i * 0x010203u));
    d.rowBytes = (size_t(width) * bitCount + 31) / 32 * 4;
    d.bits.assign(d.rowBytes * size_t(height), 0);
    for (int y = 0; y < height; ++y) {
        const int fileRow = topDown ? y : height - 1 - y;
        uint8_t* row = d.bits.data() + size_t(fileRow) * d.rowBytes;
        for (int x = 0; x < width; ++x) {
            const uint32_t v = value(x, y);
            switch (bitCount) {
            case 24:
                row[3 * x] = uint8_t(v);
                row[3 * x + 1] = uint8_t(v >> 8);
                row[3 * x + 2] = uint8_t(v >> 16);
                break;
            case 8: row[x] = uint8_t(v); break;
            case 4: row[x / 2] |= uint8_t((v & 15) << ((x & 1) ? 0 : 4)); break;
            case 1: row[x / 8] |= uint8_t((v & 1) << (7 - (x & 7))); break;
            }
        }
    }
    return d;
}

struct PicFree {
    PicRecord* p = nullptr;
    ~PicFree() { picDestroy(&p); }
};

PicRecord* fromDib(const Dib& d, float* wm = nullptr, float* hm = nullptr) {
    PicRecord* p = nullptr;
    EXPECT_EQ(picCreateFromDib(d.info.data(), d.info.size(), d.bits.data(), d.bits.size(), &p, wm, hm), 1);
    return p;
}

class PictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        errReset();
        picResetIds();
    }
};

struct DibCase {
    uint32_t bits;
    int32_t width;
    size_t rowBytes;
};

TEST_F(PictureTest, DibDepthsWithOddWidthsReadEveryPixel) {
    const DibCase cases[] = {{1, 33, 8}, {4, 7, 4}, {8, 5, 8}, {24, 5, 16}};
    for (const DibCase& c : cases) {
        SCOPED_TRACE(c.bits);
        const uint32_t levels = c.bits == 24 ? 0 : (1u << c.bits);
        auto value = [&](int x, int y) -> uint32_t {
            const uint32_t v = uint32_t(x * 7 + y * 13 + 1);
            return c.bits == 24 ? (v * 0x00050301u) & 0x00FFFFFF : v % levels;
        };
        for (bool topDown : {false, true}) {
            const Dib d = makeDib(c.width, 3, c.bits, value, 0, levels, topDown);
            ASSERT_EQ(d.rowBytes, c.rowBytes);
            PicFree pic{fromDib(d)};
            ASSERT_NE(pic.p, nullptr);
            EXPECT_EQ(pic.p->width, c.width);
            EXPECT_EQ(pic.p->height, 3);
            EXPECT_EQ(pic.p->bytesPerPixel, c.bits == 24 ? 4u : 1u);
            for (int y = 0; y < 3; ++y) {
                for (int x = 0; x < c.width; ++x) {
                    if (c.bits == 24)
                        ASSERT_EQ(picGet32(pic.p->pixels + 4 * (y * c.width + x)), value(x, y)) << x << "," << y;
                    else
                        ASSERT_EQ(pic.p->pixels[y * c.width + x], value(x, y)) << x << "," << y;
                }
            }
            if (c.bits != 24) {
                ASSERT_NE(pic.p->palette, nullptr);
                EXPECT_EQ(pic.p->paletteCount, 256u);
                EXPECT_EQ(pic.p->palette[1], 0x00010203u);  // fourth byte dropped
            }
        }
    }
}

TEST_F(PictureTest, DibPaletteBeyondColoursUsedIsZero) {
    const Dib d = makeDib(4, 2, 8, [](int x, int) { return uint32_t(x); }, 16, 16);
    PicFree pic{fromDib(d)};
    ASSERT_NE(pic.p, nullptr);
    EXPECT_EQ(pic.p->palette[15], 15u * 0x010203u);
    for (int i = 16; i < 256; ++i) ASSERT_EQ(pic.p->palette[i], 0u) << i;
}

TEST_F(PictureTest, DibSizeInMetres) {
    const Dib d = makeDib(500, 2, 24, [](int, int) { return 0u; });
    float wm = -1, hm = -1;
    PicFree pic{fromDib(d, &wm, &hm)};
    EXPECT_FLOAT_EQ(wm, 0.5f);
    EXPECT_EQ(hm, 0.0f);
}

TEST_F(PictureTest, BadDibsAreRefusedWithAReport) {
    auto zero = [](int, int) { return 0u; };
    struct Case {
        const char* name;
        std::function<void(Dib&)> spoil;
    };
    const Case cases[] = {
        {"width 0", [](Dib& d) { put32(d.info, 4, 0); }},
        {"width 16385", [](Dib& d) { put32(d.info, 4, 16385); }},
        {"negative width", [](Dib& d) { put32(d.info, 4, uint32_t(-4)); }},
        {"height 0", [](Dib& d) { put32(d.info, 8, 0); }},
        {"height 16385", [](Dib& d) { put32(d.info, 8, 16385); }},
        {"lowest height", [](Dib& d) { put32(d.info, 8, 0x80000000u); }},
        {"huge picture, few bits", [](Dib& d) { put32(d.info, 4, 16384); put32(d.info, 8, 16384); }},
        {"16 bits", [](Dib& d) { put16(d.info, 14, 16); }},
        {"compressed", [](Dib& d) { put32(d.info, 16, 1); }},
        {"colour table past the block", [](Dib& d) { put32(d.info, 32, 17); }},
        {"colour table of 256 implied", [](Dib& d) { put32(d.info, 32, 0); }},
        {"header size past the block", [](Dib& d) { put32(d.info, 0, 200); }},
        {"rows short by one byte", [](Dib& d) { d.bits.pop_back(); }},
        {"header cut", [](Dib& d) { d.info.resize(39); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dib d = makeDib(7, 3, 8, zero, 16, 16);
        c.spoil(d);
        errReset();
        PicRecord* p = reinterpret_cast<PicRecord*>(&d);
        EXPECT_EQ(picCreateFromDib(d.info.data(), d.info.size(), d.bits.data(), d.bits.size(), &p, nullptr, nullptr),
                  0);
        EXPECT_EQ(p, nullptr);
        EXPECT_GE(errQueueSize(), 1u);
    }
    EXPECT_EQ(picCreateFromDib(nullptr, 0, nullptr, 0, nullptr, nullptr, nullptr), 0);
}

// --- scaling ---------------------------------------------------------------------------------

struct Pic32 {
    std::vector<uint8_t> px;
    PicRecord rec{};
    Pic32(int w, int h) : px(size_t(w) * h * 4) {
        rec.pixels = px.data();
        rec.width = w;
        rec.height = h;
        rec.bytesPerPixel = 4;
    }
    uint32_t at(int x, int y) const { return picGet32(px.data() + 4 * (y * rec.width + x)); }
    void set(int x, int y, uint32_t v) { picPut32(px.data() + 4 * (y * rec.width + x), v); }
};

// Grey value of a pixel's red byte.
uint32_t red(uint32_t v) { return (v >> 16) & 255; }

TEST_F(PictureTest, CopyHalvesByTruncatedAverage) {
    Pic32 src(4, 4), dst(2, 2);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) src.set(x, y, (uint32_t(x * 10 + y * 41 + 1) << 16) | uint32_t(y * 4 + x) << 24);
    picCopyRect(1, 0, &src.rec, &dst.rec);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 2; ++x) {
            const uint32_t sum = red(src.at(2 * x, 2 * y)) + red(src.at(2 * x + 1, 2 * y)) +
                                 red(src.at(2 * x, 2 * y + 1)) + red(src.at(2 * x + 1, 2 * y + 1));
            EXPECT_EQ(red(dst.at(x, y)), sum / 4);
            EXPECT_EQ(dst.at(x, y) >> 24, src.at(2 * x + 1, 2 * y + 1) >> 24);  // lower right's fourth byte
        }
    }
}

TEST_F(PictureTest, CopyToThirdsUsesAreaWeights) {
    Pic32 src(4, 4), dst(3, 3);
    // Only the corner pixel lit: the corner output weighs it 1, its neighbours 1/3 per axis.
    src.set(0, 0, 0x00900000);
    picCopyRect(1, 0, &src.rec, &dst.rec);
    EXPECT_EQ(red(dst.at(0, 0)), uint32_t(144.0 * 9 / 16 + 0.5));
    EXPECT_EQ(red(dst.at(1, 1)), 0u);
    // The four central pixels weigh equally in the centre output.
    Pic32 centre(4, 4);
    centre.set(1, 1, 0x00100000);
    centre.set(2, 1, 0x00200000);
    centre.set(1, 2, 0x00300000);
    centre.set(2, 2, 0x00400000);
    picCopyRect(1, 0, &centre.rec, &dst.rec);
    EXPECT_EQ(red(dst.at(1, 1)), uint32_t((16 + 32 + 48 + 64) * (4.0 / 9.0) * (9.0 / 16.0) + 0.5));
    // Corner output: corner source 1, side neighbours 1/3, diagonal 1/9 of the area.
    EXPECT_EQ(red(dst.at(0, 0)), uint32_t(16 * (1.0 / 9.0) * (9.0 / 16.0) + 0.5));
}

TEST_F(PictureTest, CopyWholeRatiosRoundTheBoxAverage) {
    struct Pic16 {
        std::vector<uint8_t> px;
        PicRecord rec{};
    };
    Pic16 src{std::vector<uint8_t>(6 * 3 * 2), {}}, dst{std::vector<uint8_t>(2 * 1 * 2), {}};
    src.rec = {src.px.data(), nullptr, 3, 6, 2, 0, nullptr, 0, 0, {}, {}, 0};
    dst.rec = {dst.px.data(), nullptr, 1, 2, 2, 0, nullptr, 0, 0, {}, {}, 0};
    // Left block: blue values summing to 14 over 9 pixels (1.56 -> 2); right block all red 31.
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x) picPut16(src.px.data() + 2 * (y * 6 + x), x < 3 ? (x + y == 0 ? 6 : 1) : 31 << 10);
    picCopyRect(0, 0, &src.rec, &dst.rec);
    EXPECT_EQ(picGet16(dst.px.data()), 2);
    EXPECT_EQ(picGet16(dst.px.data() + 2), 31 << 10);

    // 4-byte pixels, blocks of 4 x 2 turned upside down: a sum of 12 over 8 pixels is 1.5 and
    // rounds up; 250 x 8 stays 250; a half below (11 / 8) rounds down.
    Pic32 wide(8, 4), out(2, 2);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            uint32_t v = 250u << 8;  // green everywhere
            if (x < 4 && y < 2) v |= (x == 0 && y == 0) ? 5u : 1u;      // blue sum 12
            if (x >= 4 && y >= 2) v |= ((x == 4 && y == 2) ? 4u : 1u) << 16;  // red sum 11
            wide.set(x, y, v);
        }
    picCopyRect(1, 1, &wide.rec, &out.rec);
    EXPECT_EQ(out.at(0, 1) & 0xFFFFFFu, 0x00FA02u);  // top-left block, now in the last row
    EXPECT_EQ(out.at(1, 0) & 0xFFFFFFu, 0x01FA00u);
    EXPECT_EQ(out.at(1, 1) & 0xFFFFFFu, 0x00FA00u);
}

TEST_F(PictureTest, CopyWithFlipTurnsRows) {
    Pic32 src(2, 3), dst(2, 3);
    for (int y = 0; y < 3; ++y) src.set(0, y, uint32_t(y + 1));
    picCopyRect(1, 1, &src.rec, &dst.rec);
    EXPECT_EQ(dst.at(0, 0), 3u);
    EXPECT_EQ(dst.at(0, 2), 1u);
}

// --- texture blocks ----------------------------------------------------------------------------

struct Tex {
    TexHead head{};
    ~Tex() { picFreeRef(&head.block); }
};

Pic32 gradient(int w, int h) {
    Pic32 p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p.set(x, y, (uint32_t(x * 255 / w) << 16) | (uint32_t(y * 255 / h) << 8) | 0x40);
    return p;
}

TEST_F(PictureTest, ConvertChoosesNearestPowerOfTwo) {
    struct Case {
        int w, h, maxW, maxH;
        uint32_t lw, lh;
    };
    const Case cases[] = {{300, 200, 1024, 1024, 8, 8}, {384, 96, 1024, 1024, 9, 7}, {384, 96, 256, 64, 8, 6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.w);
        Pic32 src = gradient(c.w, c.h);
        Tex t;
        uint32_t size = 0;
        ASSERT_EQ(picConvert(&src.rec, c.maxW, c.maxH, 0, 0, &t.head, &size), 1);
        ASSERT_NE(t.head.block, nullptr);
        EXPECT_EQ(t.head.block->log2Width, c.lw);
        EXPECT_EQ(t.head.block->log2Height, c.lh);
        const uint32_t pixels = (1u << c.lw) * (1u << c.lh);
        EXPECT_EQ(size, sizeof(TexPixelBlock) + sizeof(TexLevel) + 1024 + pixels);
        EXPECT_EQ(t.head.block->totalSize, size);
        EXPECT_EQ(t.head.block->format, 1.0f);
        EXPECT_EQ(texLevel(t.head.block, 0)->paletteCount, 256u);
    }
}

TEST_F(PictureTest, ConvertOfOneColourGivesColourAndNoBlock) {
    Pic32 src(10, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x) src.set(x, y, 0x00336699);
    Tex t;
    t.head.block = nullptr;
    ASSERT_EQ(picConvert(&src.rec, 1024, 1024, 1, 0, &t.head, nullptr), 1);
    EXPECT_EQ(t.head.block, nullptr);
    EXPECT_NEAR(t.head.colour[0], 0x33 / 255.0, 1e-6);
    EXPECT_NEAR(t.head.colour[1], 0x66 / 255.0, 1e-6);
    EXPECT_NEAR(t.head.colour[2], 0x99 / 255.0, 1e-6);
}

TEST_F(PictureTest, ConvertChainHoldsEveryLevel) {
    Pic32 src = gradient(64, 16);
    Tex t;
    uint32_t size = 0;
    ASSERT_EQ(picConvert(&src.rec, 1024, 1024, 1, 0, &t.head, &size), 1);
    const TexPixelBlock* b = t.head.block;
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->magic, TEX_BLOCK_MAGIC);
    EXPECT_EQ(b->extraLevels, 4u);
    EXPECT_EQ(b->format, 3.0f);
    EXPECT_EQ(b->id, 0u);
    const uint32_t colours = texLevel(b, 0)->paletteCount;
    ASSERT_GT(colours, 1u);
    ASSERT_LE(colours, 256u);
    const uint8_t* base = reinterpret_cast<const uint8_t*>(b);
    uint64_t expected = sizeof(TexPixelBlock) + 5 * sizeof(TexLevel);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(texLevel(b, 0)->palette), base + expected);
    expected += colours * 4;
    for (uint32_t k = 0; k <= 4; ++k) {
        const TexLevel* lv = texLevel(b, k);
        EXPECT_EQ(lv->pixels, base + expected) << k;
        EXPECT_EQ(lv->coordScale, std::ldexp(1.0f, int(6 + 16 - k)));
        EXPECT_EQ(lv->palette, texLevel(b, 0)->palette);
        const uint32_t n = (64u >> k) * (16u >> k);
        for (uint32_t i = 0; i < n; ++i) ASSERT_LT(lv->pixels[i], colours);
        expected += (n + 3) & ~3u;
    }
    EXPECT_EQ(size, expected);
    // Palette entries carry their luminance in the fourth byte.
    const uint32_t p = texLevel(b, 0)->palette[0];
    EXPECT_EQ(p >> 24, uint32_t(0.11 * (p & 255) + 0.59 * ((p >> 8) & 255) + 0.3 * ((p >> 16) & 255) + 0.5));
}

TEST_F(PictureTest, ConvertKeepsFittingEightBitPicturesAndTheSource) {
    std::vector<uint8_t> px(8 * 4);
    for (size_t i = 0; i < px.size(); ++i) px[i] = uint8_t(i % 3);
    std::vector<uint32_t> pal(256, 0);
    pal[0] = 0x00FF0000;
    pal[1] = 0x0000FF00;
    pal[2] = 0x000000FF;
    const std::vector<uint8_t> pxBefore = px;
    const std::vector<uint32_t> palBefore = pal;
    PicRecord src{};
    src.pixels = px.data();
    src.width = 8;
    src.height = 4;
    src.bytesPerPixel = 1;
    src.palette = pal.data();
    src.paletteCount = 256;
    Tex t;
    ASSERT_EQ(picConvert(&src, 8, 4, 0, 1, &t.head, nullptr), 1);
    ASSERT_NE(t.head.block, nullptr);
    EXPECT_EQ(std::memcmp(texLevel(t.head.block, 0)->pixels, px.data(), px.size()), 0);
    EXPECT_EQ(texLevel(t.head.block, 0)->palette[1] & 0x00FFFFFF, 0x0000FF00u);
    EXPECT_EQ(px, pxBefore);
    EXPECT_EQ(pal, palBefore);
}

TEST_F(PictureTest, ConvertTurnsTrueColourRowsOnlyWhenAsked) {
    Pic32 src(4, 4);
    for (int x = 0; x < 4; ++x) {
        src.set(x, 0, 0x00FF0000);
        for (int y = 1; y < 4; ++y) src.set(x, y, 0x000000FF);
    }
    for (uint32_t bottomUp : {0u, 1u}) {
        Tex t;
        ASSERT_EQ(picConvert(&src.rec, 64, 64, 0, bottomUp, &t.head, nullptr), 1);
        const TexLevel* lv = texLevel(t.head.block, 0);
        const uint32_t topRow = lv->palette[lv->pixels[0]] & 0x00FFFFFF;
        const uint32_t bottomRow = lv->palette[lv->pixels[12]] & 0x00FFFFFF;
        EXPECT_EQ(bottomUp ? bottomRow : topRow, 0x00FF0000u) << bottomUp;
    }
}

TEST_F(PictureTest, ConvertRefusesBadArguments) {
    Pic32 src = gradient(4, 4);
    Tex t;
    EXPECT_EQ(picConvert(&src.rec, 0, 64, 0, 0, &t.head, nullptr), 0);
    EXPECT_EQ(picConvert(nullptr, 64, 64, 0, 0, &t.head, nullptr), 0);
    src.rec.bytesPerPixel = 3;
    EXPECT_EQ(picConvert(&src.rec, 64, 64, 0, 0, &t.head, nullptr), 0);
    EXPECT_EQ(t.head.block, nullptr);
}

TEST_F(PictureTest, PictureFromBlockBorrowsItsMemory) {
    Pic32 src = gradient(16, 8);
    Tex t;
    ASSERT_EQ(picConvert(&src.rec, 64, 64, 1, 0, &t.head, nullptr), 1);
    PicRecord* pic = nullptr;
    ASSERT_EQ(picFromTexBlock(&t.head, &pic), 1);
    EXPECT_EQ(pic->width, 16);
    EXPECT_EQ(pic->height, 8);
    EXPECT_EQ(pic->bytesPerPixel, 1u);
    EXPECT_EQ(pic->pixels, texLevel(t.head.block, 0)->pixels);
    EXPECT_EQ(pic->palette, texLevel(t.head.block, 0)->palette);
    EXPECT_EQ(pic->depth, nullptr);
    // Freeing the picture leaves the block whole (the block is freed once, by its owner).
    EXPECT_EQ(picDestroy(&pic), 1);
    EXPECT_EQ(pic, nullptr);
    EXPECT_EQ(t.head.block->magic, TEX_BLOCK_MAGIC);

    t.head.block->magic = 0x12345678;
    EXPECT_EQ(picFromTexBlock(&t.head, &pic), 0);
    EXPECT_EQ(pic, nullptr);
    t.head.block->magic = TEX_BLOCK_MAGIC;
    TexHead none{};
    EXPECT_EQ(picFromTexBlock(&none, &pic), 0);
}

TEST_F(PictureTest, AverageColourAndLuminance) {
    std::vector<uint8_t> px = {0, 0, 0, 1};
    uint32_t pal[256] = {0x00FF0000, 0x000000FF};
    PicRecord pic{};
    pic.pixels = px.data();
    pic.width = 2;
    pic.height = 2;
    pic.bytesPerPixel = 1;
    pic.palette = pal;
    pic.paletteCount = 256;
    float c[3];
    uint32_t single = 7;
    ASSERT_EQ(picAverageColour(&pic, c, &single), 1);
    EXPECT_FLOAT_EQ(c[0], 0.75f);
    EXPECT_FLOAT_EQ(c[1], 0.0f);
    EXPECT_FLOAT_EQ(c[2], 0.25f);
    EXPECT_EQ(single, 0u);
    pic.bytesPerPixel = 2;
    EXPECT_EQ(picAverageColour(&pic, c, &single), 0);

    uint32_t lum[3] = {0x00FFFFFF, 0x000000FF, 0x00010000};
    picLumaToAlpha(lum, 3);
    EXPECT_EQ(lum[0] >> 24, 255u);
    EXPECT_EQ(lum[1] >> 24, 28u);  // 0.11 x 255 = 28.05
    EXPECT_EQ(lum[2] >> 24, 0u);
    EXPECT_EQ(lum[1] & 0x00FFFFFF, 0x000000FFu);
}

TEST_F(PictureTest, RunningNumbersAndHolders) {
    EXPECT_EQ(picNextId(), 0u);
    EXPECT_EQ(picNextIdStub(), 1u);
    EXPECT_EQ(picNextId(), 2u);
    EXPECT_EQ(picFreeRef(nullptr), 0);
    TexPixelBlock* empty = nullptr;
    EXPECT_EQ(picFreeRef(&empty), 1);
    EXPECT_EQ(picDestroy(nullptr), 0);
    PicRecord* none = nullptr;
    EXPECT_EQ(picDestroy(&none), 1);
}

}  // namespace

namespace {

TEST_F(PictureTest, ChainReductionLeavesBlackTexelsOut) {
    // One black texel among three white ones: the next level is white, not the plain mean grey.
    struct Case {
        uint8_t texels[4];
        uint8_t reduced;
    };
    const Case cases[] = {{{0, 1, 1, 1}, 1}, {{0, 0, 0, 1}, 0}, {{2, 2, 2, 2}, 2}};
    uint32_t pal[256] = {0x00000000, 0x00FFFFFF, 0x00BFBFBF};
    for (const Case& c : cases) {
        std::vector<uint8_t> px(c.texels, c.texels + 4);
        PicRecord src{};
        src.pixels = px.data();
        src.width = 2;
        src.height = 2;
        src.bytesPerPixel = 1;
        src.palette = pal;
        src.paletteCount = 256;
        Tex t;
        ASSERT_EQ(picConvert(&src, 2, 2, 1, 0, &t.head, nullptr), 1);
        if (c.texels[0] == c.texels[1] && c.texels[1] == c.texels[3]) {
            EXPECT_EQ(t.head.block, nullptr);  // one index: no block
            continue;
        }
        ASSERT_NE(t.head.block, nullptr);
        ASSERT_EQ(t.head.block->extraLevels, 1u);
        EXPECT_EQ(texLevel(t.head.block, 1)->pixels[0], c.reduced);
    }
}

}  // namespace
