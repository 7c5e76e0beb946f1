#include "scale.h"

#include <gtest/gtest.h>

#include <cmath>

#include "../../core/tests/dibbuilder.h"

namespace {

using img::Dib;
img::Progress none;

// The area-weighted mean of one channel under target pixel (ox, oy), in doubles.
double direct(const std::function<double(int32_t, int32_t)>& value, int32_t sw, int32_t sh, int32_t dw, int32_t dh,
              int32_t ox, int32_t oy) {
    const double x0 = double(ox) * sw / dw, x1 = double(ox + 1) * sw / dw;
    const double y0 = double(oy) * sh / dh, y1 = double(oy + 1) * sh / dh;
    double sum = 0;
    for (int32_t sy = int32_t(y0); sy < sh && sy < y1; ++sy)
        for (int32_t sx = int32_t(x0); sx < sw && sx < x1; ++sx) {
            const double wx = std::min<double>(sx + 1, x1) - std::max<double>(sx, x0);
            const double wy = std::min<double>(sy + 1, y1) - std::max<double>(sy, y0);
            sum += wx * wy * value(sx, sy);
        }
    return sum / ((x1 - x0) * (y1 - y0));
}

TEST(ScaleDib, EveryPixelIsTheAreaMeanOfItsFootprint) {
    const struct {
        int32_t sw, sh, dw, dh;
        unsigned bits;
    } cases[] = {
        {40, 30, 20, 15, 24},  // half
        {37, 23, 11, 7, 24},   // odd ratios down
        {7, 5, 23, 17, 24},    // up
        {16, 9, 40, 3, 32},    // up in x, down in y
        {13, 11, 6, 6, 8},     // indexed: through 24 bits
        {1, 1, 5, 3, 24},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.sw) + "x" + std::to_string(c.sh) + " to " + std::to_string(c.dw) + "x" +
                     std::to_string(c.dh) + " at " + std::to_string(c.bits));
        const dibb::Pic pic = dibb::randomPic(c.sw, c.sh, c.bits, uint32_t(c.sw * c.dw));
        const Dib src = dibb::toDib(pic);
        Dib out;
        ASSERT_EQ(img::kOk, img::scaleDib(src, c.dw, c.dh, out, none));
        ASSERT_EQ(c.bits == 32 ? 32u : 24u, out.bits());
        for (int shift : {0, 8, 16})
            for (int32_t oy = 0; oy < c.dh; ++oy)
                for (int32_t ox = 0; ox < c.dw; ++ox) {
                    const double want = direct([&](int32_t x, int32_t y) { return double(pic.rgb(x, y) >> shift & 255); },
                                               c.sw, c.sh, c.dw, c.dh, ox, oy);
                    ASSERT_NEAR(want, double(dibb::rgbAt(out, ox, oy) >> shift & 255), 1.0) << ox << "," << oy;
                }
    }
}

TEST(ScaleDib, SameSizeIsACopyAndBadSizesAreRefused) {
    const Dib src = dibb::toDib(dibb::randomPic(9, 4, 24, 2));
    Dib out;
    ASSERT_EQ(img::kOk, img::scaleDib(src, 9, 4, out, none));
    EXPECT_EQ("", dibb::firstDifference(src, out));
    EXPECT_EQ(img::kBadArgument, img::scaleDib(src, 0, 4, out, none));
    EXPECT_EQ(img::kTooLarge, img::scaleDib(src, 1 << 20, 1 << 20, out, none));
    EXPECT_EQ(img::kBadDib, img::scaleDib(Dib(), 4, 4, out, none));
}

TEST(ScaleToGrey, GreyIsTheMeanLuminanceOfTheBitsUnderIt) {
    dibb::Pic pic = dibb::randomPic(29, 17, 1, 4);
    pic.palette = {img::Colour{0, 0, 0, 0}, img::Colour{255, 255, 255, 0}};
    const Dib src = dibb::toDib(pic);
    for (auto [dw, dh] : {std::pair{10, 6}, std::pair{29, 17}, std::pair{50, 40}}) {
        Dib out;
        ASSERT_EQ(img::kOk, img::scaleToGrey(src, dw, dh, out, none));
        ASSERT_EQ(8u, out.bits());
        EXPECT_EQ((img::Colour{77, 77, 77, 0}), out.palette()[77]);
        for (int32_t oy = 0; oy < dh; ++oy)
            for (int32_t ox = 0; ox < dw; ++ox) {
                const double want = direct([&](int32_t x, int32_t y) { return pic.at(x, y) ? 255.0 : 0.0; }, 29, 17, dw, dh, ox, oy);
                ASSERT_NEAR(want, double(img::indexAt(out.row(oy), ox, 8)), 1.0) << ox << "," << oy;
            }
    }
    Dib out;
    EXPECT_EQ(img::kBadArgument, img::scaleToGrey(dibb::toDib(dibb::randomPic(4, 4, 8, 1)), 2, 2, out, none));
}

}  // namespace
