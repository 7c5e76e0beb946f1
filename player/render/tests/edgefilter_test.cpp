#include "render/edgefilter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

// A picture over a vector of pixel words.
template <class Word>
struct Pic {
    std::vector<Word> px;
    PicRecord rec{};
    Pic(int32_t w, int32_t h, Word fill) : px(size_t(w) * h, fill) {
        rec.pixels = reinterpret_cast<uint8_t*>(px.data());
        rec.width = w;
        rec.height = h;
        rec.bytesPerPixel = sizeof(Word);
    }
    Word& at(int32_t x, int32_t y) { return px[size_t(y) * rec.width + x]; }
};

using Filter = uint32_t (*)(void*, int32_t, int32_t, int32_t);

// Rows 0..2 colour a, rows 4.. colour b; row 3 is a up to column 3 and b from column 4
// (or the other way round when flipped): a stair step of one pixel.
template <class Word>
Pic<Word> stairStep(Word a, Word b, bool flipped) {
    Pic<Word> p(8, 6, a);
    for (int32_t y = 3; y < 6; ++y)
        for (int32_t x = 0; x < 8; ++x) p.at(x, y) = (y > 3 || (x >= 4) != flipped) ? b : a;
    return p;
}

TEST(EdgeFilter, UniformPictureAndBorderUnchanged) {
    std::mt19937 rng(7);
    for (uint32_t colour : {0u, 0x7FFFu, 0x1234u, 0xFFFFu}) {
        Pic<uint16_t> a(9, 7, uint16_t(colour)), b(9, 7, uint16_t(colour));
        Pic<uint32_t> c(9, 7, colour * 0x10101u);
        fltFilter555(a.px.data(), 9, 7, 9);
        fltFilter565(b.px.data(), 9, 7, 9);
        fltFilter32(c.px.data(), 9, 7, 9);
        for (size_t i = 0; i < a.px.size(); ++i) {
            EXPECT_EQ(a.px[i], colour);
            EXPECT_EQ(b.px[i], colour);
            EXPECT_EQ(c.px[i], colour * 0x10101u);
        }
    }
    // Random two-colour picture with a row length beyond the width: the border and the padding stay as they were.
    const int32_t w = 23, h = 17, row = 27;
    Pic<uint32_t> noise(row, h, 0);
    for (auto& v : noise.px) v = (rng() & 1) ? 0x808080u : 0x102030u;  // two colours: many runs
    const std::vector<uint32_t> before = noise.px;
    ASSERT_EQ(fltFilter32(noise.px.data(), w, h, row), 1u);
    bool interiorChanged = false;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < row; ++x) {
            const size_t i = size_t(y) * row + x;
            const bool border = x == 0 || y == 0 || x >= w - 1 || y == h - 1;
            if (border)
                EXPECT_EQ(noise.px[i], before[i]) << x << "," << y;
            else
                interiorChanged |= noise.px[i] != before[i];
        }
    EXPECT_TRUE(interiorChanged);
}

TEST(EdgeFilter, StairStepIsRamped) {
    // Step to the left: the run follows the lower colour leftwards; two pixels become a ramp.
    Pic<uint32_t> left = stairStep<uint32_t>(0x000000, 0x5A5A5A, false);
    Pic<uint32_t> expectLeft = left;
    expectLeft.at(3, 3) = 0x3C3C3C;  // (0 + 2 x 90) / 3
    expectLeft.at(2, 3) = 0x1E1E1E;  // (2 x 0 + 90) / 3
    ASSERT_EQ(fltFilter32(left.px.data(), 8, 6, 8), 1u);
    EXPECT_EQ(left.px, expectLeft.px);

    // Step to the right: the run follows the left colour rightwards to column 6; one pixel blended.
    Pic<uint32_t> right = stairStep<uint32_t>(0x000000, 0x5A5A5A, true);
    ASSERT_EQ(fltFilter32(right.px.data(), 8, 6, 8), 1u);
    EXPECT_EQ(right.at(4, 3), 0x2D2D2Du);  // (0 + 90) / 2
    EXPECT_EQ(right.at(5, 3), 0x000000u);
}

TEST(EdgeFilter, ThresholdPerFormat) {
    struct Case {
        const char* name;
        Filter filter;
        uint32_t step;      // colour b (a is 0): one channel raised
        uint32_t expected;  // pixel (3, 3) afterwards
    };
    const Case cases[] = {
        {"555 by 2 (16) is alike", fltFilter555, 2u << 10, 0},
        {"555 by 3 (24) is an edge", fltFilter555, 3u << 10, 2u << 10},  // (0 + 2 x 24) / 3 = 16
        {"565 by 20 is alike", fltFilter565, 20u << 11, 0},
        {"565 by 21 is an edge", fltFilter565, 21u << 11, 14u << 11},
        {"565 green by 21 is an edge", fltFilter565, 21u << 5, 14u << 5},
        {"32 by 20 is alike", fltFilter32, 20u << 8, 0},
        {"32 by 21 is an edge", fltFilter32, 21u, 14u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool wide = c.filter == fltFilter32;
        if (wide) {
            Pic<uint32_t> p = stairStep<uint32_t>(0, c.step, false);
            ASSERT_EQ(c.filter(p.px.data(), 8, 6, 8), 1u);
            EXPECT_EQ(p.at(3, 3), c.expected);
        } else {
            Pic<uint16_t> p = stairStep<uint16_t>(0, uint16_t(c.step), false);
            ASSERT_EQ(c.filter(p.px.data(), 8, 6, 8), 1u);
            EXPECT_EQ(p.at(3, 3), c.expected);
        }
    }
}

TEST(EdgeFilter, ApplyAndCopyScaled) {
    // Pictures of 1 or 3 bytes per pixel are refused and left alone.
    for (uint32_t bpp : {1u, 3u}) {
        std::vector<uint8_t> bytes(8 * 6 * bpp);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 37);
        const std::vector<uint8_t> before = bytes;
        PicRecord rec{};
        rec.pixels = bytes.data();
        rec.width = 8;
        rec.height = 6;
        rec.bytesPerPixel = bpp;
        EXPECT_EQ(fltApply(&rec), 0u);
        EXPECT_EQ(bytes, before);
    }
    EXPECT_EQ(fltApply(nullptr), 0u);

    // fltApply on RGB555 filters like the variant.
    Pic<uint16_t> viaApply = stairStep<uint16_t>(0, 3u << 10, false);
    ASSERT_EQ(fltApply(&viaApply.rec), 1u);
    EXPECT_EQ(viaApply.at(3, 3), 2u << 10);

    // Copy: 8 x 6 source, first 4 rows into a 4-wide destination of height 3 (needs 2 rows).
    Pic<uint16_t> src(8, 6, 0x1111), dst(4, 3, 0);
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 8; ++x) src.at(x, y) = uint16_t(y < 4 ? 0x7C00 : 0x001F);
    const auto srcBefore = src.px;
    const auto dstBefore = dst.px;
    EXPECT_EQ(fltCopyScaled(&src.rec, &dst.rec, 7, 0), 0u);  // more rows than the source has
    EXPECT_EQ(src.px, srcBefore);
    EXPECT_EQ(dst.px, dstBefore);
    Pic<uint16_t> tooLow(4, 1, 0);
    EXPECT_EQ(fltCopyScaled(&src.rec, &tooLow.rec, 4, 0), 0u);
    Pic<uint32_t> otherSize(4, 3, 0);
    EXPECT_EQ(fltCopyScaled(&src.rec, &otherSize.rec, 4, 0), 0u);

    ASSERT_EQ(fltCopyScaled(&src.rec, &dst.rec, 4, 1), 1u);
    EXPECT_EQ(src.rec.height, 6);
    EXPECT_EQ(dst.rec.height, 3);
    for (int32_t x = 0; x < 4; ++x) {
        EXPECT_EQ(dst.at(x, 0), 0x7C00);
        EXPECT_EQ(dst.at(x, 1), 0x7C00);
        EXPECT_EQ(dst.at(x, 2), 0);  // below the needed height: untouched
    }
}

}  // namespace
