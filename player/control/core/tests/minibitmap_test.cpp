#include "minibitmap.h"

#include <gtest/gtest.h>

#include <vector>

#include "scene/bytes.h"

using namespace qivctl;
using bytes::rd16;
using bytes::rd32;

namespace {

// A frame whose lower half is red and upper half blue (in picture rows, row 0 first).
struct Frame {
    Frame(int32_t w, int32_t h, uint32_t bpp) : pixels(size_t(w) * h * bpp) {
        pic.pixels = pixels.data();
        pic.width = w;
        pic.height = h;
        pic.bytesPerPixel = bpp;
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                uint8_t* p = &pixels[(size_t(y) * w + x) * bpp];
                const bool first = y < h / 2;
                if (bpp == 2) {
                    bytes::wr16(p, first ? 0x7C00 : 0x001F);
                } else {
                    bytes::wr32(p, first ? 0x00FF0000 : 0x000000FF);
                }
            }
    }
    std::vector<uint8_t> pixels;
    PicRecord pic{};
};

}  // namespace

TEST(MiniBitmap, HeaderAndRowsOfBothPixelSizes) {
    for (uint32_t bpp : {2u, 4u}) {
        Frame f(200, 120, bpp);
        for (bool rowsUp : {true, false}) {
            const std::vector<uint8_t> file = miniBitmapFile(&f.pic, rowsUp);
            ASSERT_EQ(file.size(), kMiniBitmapFileBytes);
            const uint8_t* h = file.data();
            EXPECT_EQ(h[0], 'B');
            EXPECT_EQ(h[1], 'M');
            EXPECT_EQ(rd32(h + 2), 8246u);
            EXPECT_EQ(rd32(h + 6), 0u);
            EXPECT_EQ(rd32(h + 10), 54u);
            EXPECT_EQ(rd32(h + 14), 40u);
            EXPECT_EQ(rd32(h + 18), 64u);
            EXPECT_EQ(rd32(h + 22), 64u);
            EXPECT_EQ(rd16(h + 26), 1u);
            EXPECT_EQ(rd16(h + 28), 16u);
            EXPECT_EQ(rd32(h + 30), 0u);
            EXPECT_EQ(rd32(h + 34), 8192u);
            for (int off = 38; off < 54; off += 4) EXPECT_EQ(rd32(h + off), 0u) << off;
            // The file's first row is the picture's bottom row: red when the frame's row 0 is
            // its bottom, blue when row 0 is its top.
            const uint16_t bottom = rd16(h + 54), top = rd16(h + 54 + 63 * 128 + 63 * 2);
            EXPECT_EQ(bottom, rowsUp ? 0x7C00 : 0x001F) << bpp;
            EXPECT_EQ(top, rowsUp ? 0x001F : 0x7C00) << bpp;
        }
    }
}

TEST(MiniBitmap, NothingForFramesItCannotRead) {
    Frame f(10, 10, 2);
    EXPECT_TRUE(miniBitmapFile(nullptr, true).empty());
    PicRecord odd = f.pic;
    odd.bytesPerPixel = 3;
    EXPECT_TRUE(miniBitmapFile(&odd, true).empty());
    PicRecord empty = f.pic;
    empty.width = 0;
    EXPECT_TRUE(miniBitmapFile(&empty, true).empty());
    // A frame smaller than the picture is stretched.
    EXPECT_EQ(miniBitmapFile(&f.pic, true).size(), kMiniBitmapFileBytes);
}
