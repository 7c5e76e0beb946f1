#include "convert.h"

#include <gtest/gtest.h>

#include <set>

#include "dibbuilder.h"

namespace {

using img::Dib;

img::Progress none;

// 5-bit channels as a 16-bit picture stores them.
uint32_t as555(uint32_t rgb) {
    uint32_t out = 0;
    for (int s = 0; s < 24; s += 8) {
        const uint32_t c = (rgb >> s & 255) >> 3;
        out |= (c << 3 | c >> 2) << s;
    }
    return out;
}

TEST(ConvertDepth, EveryDepthToTwentyFourAndBackPixelByPixel) {
    for (unsigned bits : {1u, 4u, 8u, 16u, 32u}) {
        SCOPED_TRACE(bits);
        const dibb::Pic pic = dibb::randomPic(19, 5, bits, bits);
        const Dib src = dibb::toDib(pic);
        Dib wide;
        ASSERT_EQ(img::kOk, img::toTrueColour(src, 24, wide, none));
        ASSERT_EQ(24u, wide.bits());
        for (int32_t y = 0; y < pic.height; ++y)
            for (int32_t x = 0; x < pic.width; ++x) {
                const uint32_t want = bits == 16 ? as555(pic.rgb(x, y)) : pic.rgb(x, y) & 0xFFFFFF;
                ASSERT_EQ(want, dibb::rgbAt(wide, x, y)) << x << "," << y;
            }
        // Back: true-colour depths directly; indexed ones through their own colours.
        Dib back;
        ASSERT_EQ(img::kOk, img::convertDepth(wide, bits, img::kDitherFloyd, back, none));
        EXPECT_EQ(bits, back.bits());
        EXPECT_EQ("", dibb::firstDifference(wide, back));
    }
}

TEST(ConvertDepth, WideningKeepsIndicesAndColourTable) {
    const struct {
        unsigned from, to;
    } cases[] = {{1, 4}, {1, 8}, {4, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " to " + std::to_string(c.to));
        const Dib src = dibb::toDib(dibb::randomPic(11, 3, c.from, c.to));
        Dib out;
        ASSERT_EQ(img::kOk, img::widenIndexed(src, c.to, out));
        EXPECT_EQ(c.to, out.bits());
        for (uint32_t i = 0; i < src.colours(); ++i) EXPECT_EQ(src.palette()[i], out.palette()[i]);
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 11; ++x)
                EXPECT_EQ(img::indexAt(src.row(y), x, c.from), img::indexAt(out.row(y), x, c.to));
    }
    Dib out;
    EXPECT_EQ(img::kBadArgument, img::widenIndexed(dibb::toDib(dibb::randomPic(2, 2, 8, 1)), 4, out));
}

TEST(ReduceColours, FewColoursGiveTheirOwnTableWithoutDithering) {
    // 24 bits with 12 colours -> 4 bits: exact, whatever the dither asked.
    dibb::Pic pic = dibb::randomPic(30, 9, 4, 5, 12);
    const Dib indexed = dibb::toDib(pic);
    Dib wide, reduced;
    ASSERT_EQ(img::kOk, img::toTrueColour(indexed, 24, wide, none));
    for (int dither : {img::kDitherNone, img::kDitherBayer, img::kDitherBurkes, img::kDitherFloyd}) {
        ASSERT_EQ(img::kOk, img::reduceColours(wide, 4, dither, 0, nullptr, 0, reduced, none));
        EXPECT_EQ("", dibb::firstDifference(wide, reduced)) << dither;
    }
}

TEST(ReduceColours, WithoutDitherEveryPixelTakesTheNearestColour) {
    const Dib src = dibb::toDib(dibb::randomPic(40, 20, 24, 8));
    Dib out;
    ASSERT_EQ(img::kOk, img::reduceColours(src, 4, img::kDitherNone, 0, nullptr, 0, out, none));
    ASSERT_EQ(4u, out.bits());
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 40; ++x) {
            const uint32_t v = dibb::rgbAt(src, x, y);
            const int r = v >> 16, g = v >> 8 & 255, b = v & 255;
            uint32_t best = ~0u;
            for (uint32_t i = 0; i < 16; ++i) {
                const img::Colour& c = out.palette()[i];
                best = std::min(best, uint32_t((r - c.red) * (r - c.red) + (g - c.green) * (g - c.green) +
                                               (b - c.blue) * (b - c.blue)));
            }
            const img::Colour& got = out.palette()[img::indexAt(out.row(y), x, 4)];
            const uint32_t d = uint32_t((r - got.red) * (r - got.red) + (g - got.green) * (g - got.green) +
                                        (b - got.blue) * (b - got.blue));
            ASSERT_EQ(best, d) << x << "," << y;
        }
}

// Mean luminance of a picture.
double meanLuminance(const Dib& d) {
    double sum = 0;
    for (int32_t y = 0; y < d.height(); ++y)
        for (int32_t x = 0; x < d.width(); ++x) {
            const uint32_t v = dibb::rgbAt(d, x, y);
            sum += img::luminance(v >> 16, v >> 8 & 255, v & 255);
        }
    return sum / (double(d.width()) * d.height());
}

TEST(ReduceColours, DitheringKeepsTheMeanOfAGreyFieldAtOneBit) {
    // Greys of 99, 100 and 101: more colours than one bit holds.
    Dib grey;
    ASSERT_EQ(img::kOk, Dib::create(64, 64, 24, grey));
    for (size_t i = 0; i < grey.imageSize(); ++i) grey.pixels()[i] = uint8_t(99 + (i / 3) % 3);
    struct Case {
        int dither;
        double lo, hi;
    } cases[] = {
        {img::kDitherNone, 0, 0},  // all black: 100 is nearer to black
        {img::kDitherBayer, 90, 110},
        {img::kDitherBurkes, 95, 105},
        {img::kDitherFloyd, 95, 105},
        {img::kDitherGrey, 95, 105},
    };
    for (const Case& c : cases) {
        Dib out;
        ASSERT_EQ(img::kOk, img::reduceColours(grey, 1, c.dither, 0, nullptr, 0, out, none));
        const double mean = meanLuminance(out);
        EXPECT_GE(mean, c.lo) << c.dither;
        EXPECT_LE(mean, c.hi) << c.dither;
    }
}

TEST(ReduceColours, GreyModeUsesEvenGreyLevels) {
    const Dib src = dibb::toDib(dibb::randomPic(16, 16, 24, 3));
    Dib out;
    ASSERT_EQ(img::kOk, img::reduceColours(src, 4, img::kDitherGrey, 0, nullptr, 0, out, none));
    for (uint32_t i = 0; i < 16; ++i) {
        EXPECT_EQ(i * 17, out.palette()[i].red);
        EXPECT_EQ(out.palette()[i].red, out.palette()[i].green);
        EXPECT_EQ(out.palette()[i].red, out.palette()[i].blue);
    }
}

TEST(ReduceColours, MedianCutSpreadsOverTheColoursPresent) {
    // Two far-apart clusters of many colours: the palette has entries in both.
    dibb::Pic pic = dibb::randomPic(64, 64, 24, 4);
    for (int32_t i = 0; i < 64 * 64; ++i) pic.px[size_t(i)] = (i % 2 ? 0xF0F0F0 : 0x101010) ^ (pic.px[size_t(i)] & 0x0F0F0F);
    const Dib src = dibb::toDib(pic);
    const std::vector<img::Colour> pal = img::choosePalette(src, 16);
    ASSERT_EQ(16u, pal.size());
    int dark = 0, light = 0;
    for (const img::Colour& c : pal) (c.red < 128 ? dark : light)++;
    EXPECT_GE(dark, 4);
    EXPECT_GE(light, 4);
    Dib out;
    ASSERT_EQ(img::kOk, img::reduceColours(src, 8, img::kDitherNone, 16, nullptr, 0, out, none));
    EXPECT_EQ("", dibb::firstDifference(src, out, 16));
}

TEST(ReduceColours, AGivenPaletteIsUsed) {
    const img::Colour pal[2] = {{0, 0, 255, 0}, {255, 0, 0, 0}};  // red, blue
    const Dib src = dibb::toDib(dibb::randomPic(8, 8, 24, 6));
    Dib out;
    ASSERT_EQ(img::kOk, img::reduceColours(src, 1, img::kDitherNone, 2, pal, 2, out, none));
    EXPECT_EQ(pal[0], out.palette()[0]);
    EXPECT_EQ(pal[1], out.palette()[1]);
    EXPECT_EQ(img::kBadArgument, img::reduceColours(src, 2, 0, 0, nullptr, 0, out, none));
    EXPECT_EQ(img::kBadArgument, img::reduceColours(src, 8, 9, 0, nullptr, 0, out, none));
}

}  // namespace
