#include "transitions.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using img::Transition;

TEST(TransitionSteps, EveryPixelIsDrawnExactlyOnceInFewSteps) {
    const Transition kinds[] = {Transition::SkipHorizontal, Transition::SkipVertical, Transition::SkipDiagonals,
                                Transition::SkipDiagonalSquares, Transition::SkipRectangles};
    const struct {
        int32_t w, h, thick;
    } sizes[] = {{64, 48, 4}, {101, 37, 7}, {3, 200, 1}, {1, 1, 4}, {50, 50, 0}, {640, 480, 100}, {97, 13, 1000}};
    for (Transition kind : kinds)
        for (const auto& s : sizes) {
            SCOPED_TRACE(std::to_string(int(kind)) + ": " + std::to_string(s.w) + "x" + std::to_string(s.h) + " thick " +
                         std::to_string(s.thick));
            const auto steps = img::transitionSteps(kind, s.w, s.h, s.thick);
            ASSERT_FALSE(steps.empty());
            EXPECT_LE(steps.size(), size_t(img::kMaxTransitionSteps));
            std::vector<int> count(size_t(s.w) * size_t(s.h), 0);
            for (const auto& step : steps) {
                EXPECT_FALSE(step.empty());
                for (const img::Rect& r : step) {
                    ASSERT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= s.w && r.bottom <= s.h && r.left < r.right &&
                                r.top < r.bottom)
                        << r.left << "," << r.top << "," << r.right << "," << r.bottom;
                    for (int32_t y = r.top; y < r.bottom; ++y)
                        for (int32_t x = r.left; x < r.right; ++x) ++count[size_t(y) * size_t(s.w) + size_t(x)];
                }
            }
            for (size_t i = 0; i < count.size(); ++i) ASSERT_EQ(1, count[i]) << "pixel " << i % size_t(s.w) << "," << i / size_t(s.w);
        }
}

TEST(TransitionSteps, OrderOfEachEffect) {
    // Horizontal: the first step has every eighth band from the top, the second the
    // bands in between them.
    auto h = img::transitionSteps(Transition::SkipHorizontal, 10, 64, 4);
    ASSERT_EQ(8u, h.size());
    EXPECT_EQ(0, h[0][0].top);
    EXPECT_EQ(32, h[0][1].top);
    EXPECT_EQ(16, h[1][0].top);
    // Rectangles: the first step is the centre, the last touches the edges.
    auto r = img::transitionSteps(Transition::SkipRectangles, 160, 80, 4);
    ASSERT_EQ(16u, r.size());
    EXPECT_EQ(75, r[0][0].left);
    EXPECT_EQ(0, r.back()[0].top);
    // Diagonals: the top left square first, the bottom right last.
    auto d = img::transitionSteps(Transition::SkipDiagonals, 32, 32, 8);
    EXPECT_EQ(0, d.front()[0].left);
    EXPECT_EQ(24, d.back().back().left);
    EXPECT_TRUE(img::transitionSteps(Transition::SkipVertical, 0, 10, 4).empty());
}

}  // namespace
