#include "foreigndraw.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace qivctl;

TEST(ForeignDraw, RenderSizes) {
    struct Case {
        int64_t w, h;
        int32_t rw, rh;
    } cases[] = {
        {3000, 1500, 1024, 512},   // the larger side cut to 1024, the other in proportion
        {1500, 3000, 512, 1024},
        {640, 480, 640, 480},
        {101, 37, 104, 40},        // rounded up to multiples of 4
        {1, 1, 4, 4},
        {-300, -200, 300, 200},    // flipped bounds of mapping modes
        {1024, 1024, 1024, 1024},
        {1025, 10, 1024, 12},      // 10 * 1024 / 1025 = 9, rounded up
        {5000000000LL, 3, 1024, 4},  // no overflow, never below one pixel
        {21000, 29700, 724, 1024},   // HIMETRIC bounds of a page
    };
    for (const Case& c : cases) {
        int32_t w = 0, h = 0;
        ASSERT_TRUE(foreignRenderSize(c.w, c.h, &w, &h)) << c.w << "x" << c.h;
        EXPECT_EQ(c.rw, w) << c.w << "x" << c.h;
        EXPECT_EQ(c.rh, h) << c.w << "x" << c.h;
    }
    int32_t w = 7, h = 7;
    EXPECT_FALSE(foreignRenderSize(0, 100, &w, &h));
    EXPECT_FALSE(foreignRenderSize(100, 0, &w, &h));
}

TEST(ForeignDraw, StretchNeedsBothCapabilities) {
    EXPECT_TRUE(foreignCanStretch(0x808));
    EXPECT_TRUE(foreignCanStretch(0x7E99));  // a display's usual set
    EXPECT_FALSE(foreignCanStretch(0x800));  // RC_STRETCHBLT alone
    EXPECT_FALSE(foreignCanStretch(0x008));  // RC_BITMAP64 alone
    EXPECT_FALSE(foreignCanStretch(0));
}

TEST(ForeignDraw, ViewWindowKeepsCentreAndCoversTheOriginal) {
    // A 4:3 window of the control, printed into a wide and a tall target.
    float x0 = -2, x1 = 6, y0 = -1, y1 = 5;  // centre (2, 2), half 4 x 3
    foreignViewWindow(&x0, &x1, &y0, &y1, 800, 200);
    EXPECT_FLOAT_EQ(-10, x0);
    EXPECT_FLOAT_EQ(14, x1);
    EXPECT_FLOAT_EQ(-1, y0);
    EXPECT_FLOAT_EQ(5, y1);
    x0 = -2, x1 = 6, y0 = -1, y1 = 5;
    foreignViewWindow(&x0, &x1, &y0, &y1, 200, 400);
    EXPECT_FLOAT_EQ(-2, x0);
    EXPECT_FLOAT_EQ(6, x1);
    EXPECT_FLOAT_EQ(-6, y0);
    EXPECT_FLOAT_EQ(10, y1);
    // A degenerate window or size is left alone.
    x0 = 1, x1 = 1, y0 = 0, y1 = 2;
    foreignViewWindow(&x0, &x1, &y0, &y1, 100, 100);
    EXPECT_FLOAT_EQ(1, x0);
    EXPECT_FLOAT_EQ(1, x1);
    x0 = -1, x1 = 1, y0 = -1, y1 = 1;
    foreignViewWindow(&x0, &x1, &y0, &y1, 0, 100);
    EXPECT_FLOAT_EQ(-1, x0);
}
