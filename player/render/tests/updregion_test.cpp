#include "render/updregion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "scene/engine.h"

namespace {

struct R4 {
    int32_t x0, y0, x1, y1;
    bool operator==(const R4&) const = default;
};

std::vector<R4> listOf(const UpdateRegion* r) {
    std::vector<R4> out;
    for (const UpdateRect* q = r->first; q; q = q->next) out.push_back({q->x0, q->y0, q->x1, q->y1});
    return out;
}

// Brute-force oracle: cells of a small grid (with a margin for negative coordinates).
constexpr int kLo = -4, kHi = 24, kSide = kHi - kLo;
using Cells = std::vector<int>;

void paint(Cells& cells, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int add) {
    for (int y = std::max(y0, kLo); y < std::min(y1, kHi); ++y)
        for (int x = std::max(x0, kLo); x < std::min(x1, kHi); ++x) cells[(y - kLo) * kSide + (x - kLo)] += add;
}

class Regions : public ::testing::Test {
protected:
    void SetUp() override {
        errReset();
        rgnFailAllocAfter(-1);
        ASSERT_TRUE(rgnCreate(&region));
    }
    void TearDown() override {
        rgnFailAllocAfter(-1);
        EXPECT_TRUE(rgnFree(&region));
        EXPECT_EQ(region, nullptr);
    }
    void add(IRect r) { EXPECT_TRUE(rgnAddRect(&r, region)); }

    // Checks the region against the inputs so far: covered cells, disjoint
    // interiors and bounds. exact: the union equals the inputs' union (else it
    // may be larger, but stays inside the bounds).
    void check(const std::vector<IRect>& inputs, bool exact) {
        Cells want(kSide * kSide), got(kSide * kSide);
        bool any = false;
        int64_t bx0 = 0, by0 = 0, bx1 = 0, by1 = 0;
        for (const IRect& r : inputs) {
            if (r.w <= 0 || r.h <= 0) continue;
            paint(want, r.x, r.y, r.x + r.w, r.y + r.h, 1);
            if (!any) {
                bx0 = r.x, by0 = r.y, bx1 = r.x + r.w, by1 = r.y + r.h;
                any = true;
            }
            bx0 = std::min<int64_t>(bx0, r.x), by0 = std::min<int64_t>(by0, r.y);
            bx1 = std::max<int64_t>(bx1, r.x + r.w), by1 = std::max<int64_t>(by1, r.y + r.h);
        }
        ASSERT_EQ(region->first != nullptr, any);
        if (!any) return;
        EXPECT_EQ(region->bounds.x, bx0);
        EXPECT_EQ(region->bounds.y, by0);
        EXPECT_EQ(region->bounds.w, bx1 - bx0);
        EXPECT_EQ(region->bounds.h, by1 - by0);
        for (const R4& q : listOf(region)) paint(got, q.x0, q.y0, q.x1, q.y1, 1);
        Cells inBounds(kSide * kSide);
        paint(inBounds, int32_t(bx0), int32_t(by0), int32_t(bx1), int32_t(by1), 1);
        for (size_t i = 0; i < got.size(); ++i) {
            ASSERT_LE(got[i], 1) << "overlap at cell " << i;
            if (exact)
                ASSERT_EQ(got[i] != 0, want[i] != 0) << "cell " << i;
            else
                ASSERT_TRUE((want[i] == 0 || got[i] != 0) && got[i] <= inBounds[i]) << "cell " << i;
        }
        EXPECT_EQ(region->last, region->first ? [&] {
            const UpdateRect* q = region->first;
            while (q->next) q = q->next;
            return q;
        }() : nullptr);
    }

    UpdateRegion* region = nullptr;
};

TEST_F(Regions, MergeCases) {
    struct Case {
        const char* what;
        std::vector<IRect> adds;
        std::vector<R4> list;
        uint32_t count;
        IRect bounds;
    };
    const Case cases[] = {
        {"empty rectangle", {{0, 0, 0, 10}}, {}, 0, {0, 0, 0, 0}},
        {"apart", {{0, 0, 10, 10}, {20, 20, 10, 10}}, {{0, 0, 10, 10}, {20, 20, 30, 30}}, 2, {0, 0, 30, 30}},
        {"covered", {{0, 0, 10, 10}, {2, 2, 3, 3}}, {{0, 0, 10, 10}}, 1, {0, 0, 10, 10}},
        {"touching on the right",
         {{0, 0, 10, 10}, {10, 0, 10, 10}},
         {{0, 0, 10, 0}, {0, 0, 20, 10}},
         2,
         {0, 0, 20, 10}},
        {"containing", {{0, 0, 10, 10}, {-5, -5, 20, 20}}, {{-5, -5, 15, 15}}, 1, {-5, -5, 20, 20}},
        {"band across",
         {{0, 0, 10, 10}, {5, -5, 2, 20}},
         {{0, 0, 5, 10}, {7, 0, 10, 10}, {5, -5, 7, 15}},
         3,
         {0, -5, 10, 20}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        rgnClear(region);
        for (const IRect& r : k.adds) add(r);
        EXPECT_EQ(listOf(region), k.list);
        EXPECT_EQ(region->count, k.count);
        EXPECT_EQ(region->bounds.x, k.bounds.x);
        EXPECT_EQ(region->bounds.y, k.bounds.y);
        EXPECT_EQ(region->bounds.w, k.bounds.w);
        EXPECT_EQ(region->bounds.h, k.bounds.h);
        check(k.adds, true);
    }
}

TEST_F(Regions, RandomSequencesAgainstOracle) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> pos(-3, 19), size(-1, 9);
    for (int round = 0; round < 400; ++round) {
        rgnClear(region);
        std::vector<IRect> inputs;
        const int n = 1 + round % 25;
        for (int i = 0; i < n; ++i) {
            inputs.push_back({pos(rng), pos(rng), size(rng), size(rng)});
            add(inputs.back());
            check(inputs, true);
            if (HasFatalFailure()) return;
        }
    }
}

TEST_F(Regions, AddRegionUnites) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> pos(-3, 19), size(1, 8);
    UpdateRegion* other = nullptr;
    ASSERT_TRUE(rgnCreate(&other));
    for (int round = 0; round < 50; ++round) {
        rgnClear(region);
        rgnClear(other);
        std::vector<IRect> inputs;
        for (int i = 0; i < 6; ++i) {
            IRect a = {pos(rng), pos(rng), size(rng), size(rng)}, b = {pos(rng), pos(rng), size(rng), size(rng)};
            rgnAddRect(&a, region);
            rgnAddRect(&b, other);
            inputs.push_back(a);
            inputs.push_back(b);
        }
        EXPECT_TRUE(rgnAddRegion(other, region));
        check(inputs, true);
        // A region added to itself stays as it is.
        const std::vector<R4> before = listOf(region);
        EXPECT_TRUE(rgnAddRegion(region, region));
        EXPECT_EQ(listOf(region), before);
    }
    rgnFree(&other);
}

// Running out of memory never loses recorded area: the region falls back to
// its bounding rectangle, which also holds the new rectangle.
TEST_F(Regions, OutOfMemoryFallsBackToBounds) {
    add({0, 0, 10, 10});
    rgnFailAllocAfter(0);
    IRect band = {5, -5, 2, 20};  // trims the first rectangle, then needs two appends
    EXPECT_TRUE(rgnAddRect(&band, region));
    EXPECT_EQ(listOf(region), (std::vector<R4>{{0, -5, 10, 15}}));
    check({{0, 0, 10, 10}, band}, false);
    uint32_t level = 99;
    ASSERT_TRUE(errPop(&level, nullptr, nullptr, nullptr));
    EXPECT_EQ(level, uint32_t(ERR_NOMEM));

    std::mt19937 rng(99);
    std::uniform_int_distribution<int> pos(-3, 19), size(1, 9), budget(0, 6);
    for (int round = 0; round < 200; ++round) {
        rgnFailAllocAfter(-1);
        rgnClear(region);
        std::vector<IRect> inputs;
        for (int i = 0; i < 12; ++i) {
            if (i == 4) rgnFailAllocAfter(budget(rng));
            inputs.push_back({pos(rng), pos(rng), size(rng), size(rng)});
            rgnAddRect(&inputs.back(), region);
            check(inputs, false);
            if (HasFatalFailure()) return;
        }
    }
    // An empty region that cannot get its first rectangle stays empty.
    rgnFailAllocAfter(0);
    rgnClear(region);
    IRect r = {0, 0, 5, 5};
    EXPECT_EQ(rgnAddRect(&r, region), 0);
    EXPECT_EQ(region->first, nullptr);
}

TEST_F(Regions, PreferBounds) {
    EXPECT_EQ(rgnPreferBounds(region), 1);
    add({0, 0, 10, 10});
    EXPECT_EQ(rgnPreferBounds(region), 1);  // one rectangle
    add({20, 20, 10, 10});
    EXPECT_EQ(rgnPreferBounds(region), 1);  // 20000 + 200 > 900 + 10000

    rgnClear(region);
    add({0, 0, 100, 100});
    add({1000, 1000, 100, 100});
    EXPECT_EQ(rgnPreferBounds(region), 0);  // 40000 < 1210000 + 10000

    // Areas beyond 32 bits: 2 x 2.5e9 + 20000 against 7.5e9 + 10000.
    rgnClear(region);
    add({0, 0, 50000, 50000});
    add({100000, 0, 50000, 50000});
    EXPECT_EQ(rgnPreferBounds(region), 0);
}

TEST_F(Regions, ClearAndHugeCoordinates) {
    add({INT32_MAX - 5, INT32_MIN, 100, 100});  // kept within the coordinate limit
    add({INT32_MIN, 0, INT32_MAX, 10});
    ASSERT_NE(region->first, nullptr);
    EXPECT_GT(region->bounds.w, 0);
    EXPECT_GT(region->bounds.h, 0);
    for (const R4& q : listOf(region)) {
        EXPECT_LE(q.x1, RGN_COORD_LIMIT);
        EXPECT_GE(q.x0, -RGN_COORD_LIMIT);
    }
    EXPECT_TRUE(rgnClear(region));
    EXPECT_EQ(region->first, nullptr);
    EXPECT_EQ(region->last, nullptr);
    EXPECT_EQ(region->count, 0u);
    EXPECT_EQ(region->bounds.w, 0);
    UpdateRegion* none = nullptr;
    EXPECT_EQ(rgnFree(&none), 1);
}

}  // namespace
