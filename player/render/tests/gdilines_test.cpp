#include "render/gdilines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

static bool operator==(const LnPoint& a, const LnPoint& b) { return a.x == b.x && a.y == b.y; }

namespace {

struct Drawn {
    std::vector<LnPoint> pts;
    uint32_t pen;  // colour of the selected pen when drawn (0 in sink mode)
};

// Recording device: pens are numbered objects carrying their colour.
struct Recorder {
    std::vector<Drawn> runs;
    std::vector<uint32_t> penColour;  // index = pen handle - 1; 0xdead when deleted
    uintptr_t selected = 1000;        // the device context's own pen
    std::vector<std::string> events;
};
Recorder* rec = nullptr;

struct PenDesc {
    uint32_t colour;
};

int recPolyline(void*, const LnPoint* p, uint32_t n) {
    uint32_t colour = rec->selected >= 1 && rec->selected <= rec->penColour.size()
                          ? rec->penColour[rec->selected - 1]
                          : 0;
    rec->runs.push_back({std::vector<LnPoint>(p, p + n), colour});
    return 1;
}
void* recCreate(void* desc, uint32_t colour) {
    static_cast<PenDesc*>(desc)->colour = colour;
    rec->penColour.push_back(colour);
    rec->events.push_back("create");
    return reinterpret_cast<void*>(uintptr_t(rec->penColour.size()));
}
void* recSelect(void*, void* pen) {
    uintptr_t old = rec->selected;
    rec->selected = reinterpret_cast<uintptr_t>(pen);
    rec->events.push_back("select");
    return reinterpret_cast<void*>(old);
}
void recDelete(void* pen) {
    uintptr_t h = reinterpret_cast<uintptr_t>(pen);
    ASSERT_NE(h, rec->selected) << "deleted the selected pen";
    ASSERT_TRUE(h >= 1 && h <= rec->penColour.size()) << "deleted a pen it did not create";
    rec->penColour[h - 1] = 0xdead;
    rec->events.push_back("delete");
}
const LnDeviceOps kOps = {recPolyline, recCreate, recSelect, recDelete};

std::vector<Drawn> sinkRuns;
uint32_t recordSink(const LnPoint* p, uint32_t n) {
    sinkRuns.push_back({std::vector<LnPoint>(p, p + n), 0});
    return 1;
}

struct Seg {
    float x0, y0, x1, y1;
    uint32_t colour;
};

class GdiLines : public ::testing::Test {
protected:
    Recorder r;
    PenDesc desc{};
    void SetUp() override {
        lnReset();
        rec = &r;
        sinkRuns.clear();
        lnSetDevice(&kOps);
    }
    void TearDown() override {
        lnReset();
        rec = nullptr;
    }
    void add(const std::vector<Seg>& segs) {
        for (const Seg& s : segs) lnAddLine(s.x0, s.y0, s.x1, s.y1, s.colour);
    }
};

std::vector<LnPoint> P(std::initializer_list<LnPoint> l) { return l; }

TEST_F(GdiLines, JoinsConnectedSegmentsOfOneColourIntoOnePolyline) {
    struct Case {
        const char* name;
        std::vector<Seg> segs;
        std::vector<LnPoint> expected;
    };
    const uint32_t red = 0xff;
    const Case cases[] = {
        {"chain", {{0, 0, 10, 0, red}, {10, 0, 10, 10, red}, {10, 10, 0, 10, red}},
         P({{0, 0}, {10, 0}, {10, 10}, {0, 10}})},
        {"backwards at first point", {{0, 0, 5, 5, red}, {10, 0, 0, 0, red}}, P({{10, 0}, {0, 0}, {5, 5}})},
        {"start at first point", {{0, 0, 5, 5, red}, {0, 0, -3, 1, red}}, P({{-3, 1}, {0, 0}, {5, 5}})},
        {"end at last point", {{0, 0, 5, 5, red}, {7, 7, 5, 5, red}}, P({{0, 0}, {5, 5}, {7, 7}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        r = Recorder{};
        lnBegin(reinterpret_cast<void*>(1), &desc, 0);
        add(c.segs);
        EXPECT_TRUE(r.runs.empty()) << "drawn before the flush";
        lnFlush(1);
        ASSERT_EQ(r.runs.size(), 1u);
        EXPECT_EQ(r.runs[0].pts, c.expected);
        EXPECT_EQ(r.runs[0].pen, red);
        EXPECT_EQ(r.selected, 1000u) << "original pen restored";
        EXPECT_EQ(desc.colour, red);
    }
}

TEST_F(GdiLines, ColourChangeFlushesAndSwapsPens) {
    lnBegin(reinterpret_cast<void*>(1), &desc, 0);
    add({{0, 0, 10, 0, 1}, {10, 0, 20, 0, 2}, {20, 0, 30, 0, 2}, {50, 50, 60, 60, 2}});
    lnFlush(1);
    ASSERT_EQ(r.runs.size(), 3u);
    EXPECT_EQ(r.runs[0].pts, P({{0, 0}, {10, 0}}));
    EXPECT_EQ(r.runs[0].pen, 1u);
    EXPECT_EQ(r.runs[1].pts, P({{10, 0}, {20, 0}, {30, 0}}));
    EXPECT_EQ(r.runs[1].pen, 2u);
    EXPECT_EQ(r.runs[2].pen, 2u);
    // Every created pen is deleted by the end, and the device's pen is back.
    EXPECT_EQ(r.selected, 1000u);
    for (uint32_t c : r.penColour) EXPECT_EQ(c, 0xdeadu);
}

TEST_F(GdiLines, LongChainsAreSplitAtTheBufferEnds) {
    for (int direction : {1, -1}) {
        SCOPED_TRACE(direction);
        r = Recorder{};
        lnBegin(reinterpret_cast<void*>(1), &desc, 0);
        // Forward chains grow at the end, backward chains at the start.
        for (int i = 0; i < 150; ++i) {
            float a = float(i), b = float(i + 1);
            if (direction > 0)
                lnAddLine(a, 0, b, 0, 7);
            else
                lnAddLine(-b, 0, -a, 0, 7);
        }
        lnFlush(1);
        ASSERT_GT(r.runs.size(), 1u);
        size_t points = 0;
        for (const Drawn& run : r.runs) {
            EXPECT_LE(run.pts.size(), LN_BUFFER_POINTS);
            points += run.pts.size() - 1;
        }
        EXPECT_EQ(points, 150u) << "every segment drawn exactly once";
    }
}

TEST_F(GdiLines, SinkModeIgnoresTheColourArgument) {
    lnSetSink(recordSink);
    EXPECT_EQ(lnBegin(nullptr, &desc, 1), nullptr);
    add({{0, 0, 1, 1, 5}, {1, 1, 2, 0, 6}, {9, 9, 8, 8, 6}});
    lnFlush(1);
    ASSERT_EQ(sinkRuns.size(), 2u);
    EXPECT_EQ(sinkRuns[0].pts, P({{0, 0}, {1, 1}, {2, 0}}));
    EXPECT_EQ(sinkRuns[1].pts, P({{9, 9}, {8, 8}}));
    EXPECT_TRUE(r.runs.empty());
    EXPECT_TRUE(r.events.empty()) << "no pens in sink mode";
}

TEST(GdiLinesCoords, TruncateTowardZeroAndSaturate) {
    struct Case {
        float in;
        int32_t out;
    } cases[] = {{1.9f, 1},     {-1.9f, -1},        {32767.5f, 32767}, {40000.0f, 32767}, {-40000.0f, -32768},
                 {70000.0f, 32767}, {-32768.0f, -32768}, {1e30f, 32767},    {-1e30f, -32768},  {NAN, 0}};
    for (const Case& c : cases) EXPECT_EQ(lnCoord16(c.in), c.out) << c.in;
}

TEST_F(GdiLines, FarCoordinatesStayOnTheirSide) {
    // 70000 would wrap to 4464 in 16 bits; saturation keeps it at the edge.
    lnSetSink(recordSink);
    lnBegin(nullptr, nullptr, 1);
    lnAddLine(0, 0, 70000.0f, -70000.0f, 0);
    lnFlush(1);
    ASSERT_EQ(sinkRuns.size(), 1u);
    EXPECT_EQ(sinkRuns[0].pts, P({{0, 0}, {32767, -32768}}));
}

}  // namespace
