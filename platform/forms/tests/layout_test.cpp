#include "forms/layout.h"

#include <gtest/gtest.h>

namespace {

using forms::Align;
using forms::Rect;

TEST(Layout, AlignedItemsShareTheClientArea) {
    std::vector<forms::AlignItem> items = {
        {Rect::Bounds(0, 0, 50, 20), Align::Top},     {Rect::Bounds(0, 0, 30, 10), Align::Bottom},
        {Rect::Bounds(0, 0, 40, 5), Align::Left},     {Rect::Bounds(0, 0, 25, 5), Align::Right},
        {Rect::Bounds(0, 0, 1, 1), Align::Client},    {Rect::Bounds(0, 50, 99, 7), Align::Top},
        {Rect::Bounds(3, 4, 5, 6), Align::None},      {Rect::Bounds(0, 0, 10, 10), Align::Top, false},
    };
    forms::AlignItems({0, 0, 200, 100}, items);
    EXPECT_EQ(Rect::Bounds(0, 0, 200, 20), items[0].bounds);
    EXPECT_EQ(Rect::Bounds(0, 20, 200, 7), items[5].bounds) << "second top item below the first";
    EXPECT_EQ(Rect::Bounds(0, 90, 200, 10), items[1].bounds);
    EXPECT_EQ(Rect::Bounds(0, 27, 40, 63), items[2].bounds);
    EXPECT_EQ(Rect::Bounds(175, 27, 25, 63), items[3].bounds);
    EXPECT_EQ(Rect::Bounds(40, 27, 135, 63), items[4].bounds);
    EXPECT_EQ(Rect::Bounds(3, 4, 5, 6), items[6].bounds);
    EXPECT_EQ(Rect::Bounds(0, 0, 10, 10), items[7].bounds) << "hidden items stay";
}

TEST(Layout, TooLittleRoomNeverGivesNegativeSizes) {
    std::vector<forms::AlignItem> items = {{Rect::Bounds(0, 0, 10, 80), Align::Top},
                                           {Rect::Bounds(0, 0, 10, 80), Align::Bottom},
                                           {Rect::Bounds(0, 0, 10, 10), Align::Client}};
    forms::AlignItems({0, 0, 100, 100}, items);
    EXPECT_GE(items[2].bounds.Height(), 0);
    EXPECT_GE(items[1].bounds.Height(), 0);
}

TEST(Layout, AnchorsFollowTheParentsSides) {
    const Rect b = Rect::Bounds(10, 20, 30, 40);
    struct Case {
        forms::Anchors a;
        Rect want;
    } cases[] = {
        {forms::akLeft | forms::akTop, b},
        {forms::akRight | forms::akTop, Rect::Bounds(60, 20, 30, 40)},
        {forms::akLeft | forms::akRight | forms::akTop | forms::akBottom, Rect::Bounds(10, 20, 80, 60)},
        {forms::akLeft | forms::akBottom, Rect::Bounds(10, 40, 30, 40)},
        {0, Rect::Bounds(22, 28, 30, 40)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.want, forms::AnchorBounds(b, c.a, 100, 100, 150, 120)) << "anchors " << c.a;
}

}  // namespace
