#include "exportstrips.h"

#include <gtest/gtest.h>

using namespace qivctl;

namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

}  // namespace

TEST(ExportStrips, RequestChecks) {
    struct Case {
        int32_t w, h, q;
        uint32_t b;
        ExportCheck expected;
    };
    const Case cases[] = {
        {2048, 2048, 2, 4, ExportCheck::Ok},          {2049, 10, 0, 4, ExportCheck::WidthTooLarge},
        {10, 2049, 0, 4, ExportCheck::Ok},             {0, 10, 0, 4, ExportCheck::BadSize},
        {2048, 699050, 0, 4, ExportCheck::Ok},         {2048, 699051, 0, 4, ExportCheck::HeightTooLarge},
        {1, 0x7FFFFFFF, 0, 4, ExportCheck::HeightTooLarge},
        {10, 0, 0, 4, ExportCheck::BadSize},           {-5, 10, 0, 4, ExportCheck::BadSize},
        {10, 10, 3, 4, ExportCheck::BadQuality},       {10, 10, -1, 4, ExportCheck::BadQuality},
        {10, 10, 0, 3, ExportCheck::BadPixelSize},     {1, 1, 0, 2, ExportCheck::Ok},
        {100000, 100000, 2, 4, ExportCheck::WidthTooLarge},
    };
    for (const Case& c : cases) {
        ExportPlan p;
        ExportCheck got = ExportCheck::Ok;
        EXPECT_EQ(checkExport({c.w, c.h, c.q, c.b}), c.expected) << c.w << "x" << c.h;
        EXPECT_EQ(planExport({c.w, c.h, c.q, c.b}, -1, 1, &p, &got), c.expected == ExportCheck::Ok);
        EXPECT_EQ(got, c.expected);
    }
}

// Strips cover the image exactly, each within the memory bound, with windows
// and screen rows that join without gaps.
TEST(ExportStrips, StripsTileTheImageWithinTheBound) {
    ExportPlan p;
    ASSERT_TRUE(planExport({2048, 2048, 2, 4}, -3, 5, &p));
    EXPECT_EQ(p.stripRows, 21);  // 4194304 / (6 * 16 * 2048)
    EXPECT_EQ(p.oversample, 4);
    EXPECT_TRUE(p.filter);
    for (int32_t w : {1, 3, 640, 1023, 2048})
        for (int32_t h : {1, 2, 479, 2048})
            for (int32_t q : {0, 1, 2})
                for (uint32_t b : {2u, 4u}) {
                    SCOPED_TRACE(testing::Message() << w << "x" << h << " q" << q << " b" << b);
                    ASSERT_TRUE(planExport({w, h, q, b}, -2.0, 6.0, &p));
                    const int32_t s = p.oversample;
                    EXPECT_EQ(s, q == 0 ? 1 : q == 1 ? 2 : 4);
                    EXPECT_LE(uint64_t(b + 2) * uint64_t(p.frameWidth) * uint64_t(p.frameHeight), kExportStripBytes);
                    EXPECT_EQ(p.frameWidth, s * w);
                    EXPECT_EQ(p.screenHeight, s * h);
                    int32_t next = 0;
                    double top = -2.0;
                    for (const ExportStrip& st : p.strips) {
                        EXPECT_EQ(st.firstRow, next);
                        EXPECT_GE(st.rows, 1);
                        EXPECT_LE(st.rows, p.stripRows);
                        EXPECT_NEAR(st.windowBottom, top, 1e-12);
                        EXPECT_EQ(st.screenHeight, st.rows * s);
                        EXPECT_EQ(st.screenRowOffset, -st.firstRow * s);
                        EXPECT_EQ(st.percentAtStart, int32_t(int64_t(st.firstRow) * 100 / h));
                        next += st.rows;
                        top = st.windowTop;
                    }
                    EXPECT_EQ(next, h);
                    EXPECT_NEAR(top, 6.0, 1e-9);
                    EXPECT_EQ(p.rowBytes % 4, 0u);
                    EXPECT_EQ(p.fileBytes, 58 + p.rowBytes * uint32_t(h));
                }
}

TEST(ExportStrips, HeaderAndRows) {
    ExportPlan p;
    ASSERT_TRUE(planExport({3, 2, 0, 4}, 0, 1, &p));
    std::vector<uint8_t> h = exportHeaderBytes(p);
    ASSERT_EQ(h.size(), 58u);
    EXPECT_EQ(h[0], 'B');
    EXPECT_EQ(h[1], 'M');
    EXPECT_EQ(le32(h, 2), 58u + 12 * 2);
    EXPECT_EQ(le32(h, 10), 58u);
    EXPECT_EQ(le32(h, 14), 40u);
    EXPECT_EQ(le32(h, 18), 3u);
    EXPECT_EQ(le32(h, 22), 2u);
    EXPECT_EQ(h[26] | h[27] << 8, 1);
    EXPECT_EQ(h[28] | h[29] << 8, 24);
    EXPECT_EQ(le32(h, 34), 24u);
    for (size_t i = 38; i < 58; ++i) EXPECT_EQ(h[i], 0) << i;

    // Top row red, green, blue; bottom row white, black, grey (0x00RRGGBB words).
    const uint32_t px[6] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x808080};
    std::vector<uint8_t> bytes;
    for (uint32_t v : px)
        for (int k = 0; k < 4; ++k) bytes.push_back(uint8_t(v >> (8 * k)));
    std::vector<uint8_t> rows = packStripRows(bytes.data(), 3, 2, 4);
    const std::vector<uint8_t> want = {255, 255, 255, 0, 0, 0, 128, 128, 128, 0, 0, 0,
                                       0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0};
    EXPECT_EQ(rows, want);
    // RGB555: full red, full green, full blue in one row.
    const uint16_t px16[3] = {0x7C00, 0x03E0, 0x001F};
    std::vector<uint8_t> b16;
    for (uint16_t v : px16) b16.push_back(uint8_t(v)), b16.push_back(uint8_t(v >> 8));
    EXPECT_EQ(packStripRows(b16.data(), 3, 1, 2), (std::vector<uint8_t>{0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(packStripRows(b16.data(), 3, 1, 3).empty());
    EXPECT_TRUE(packStripRows(nullptr, 3, 1, 2).empty());

    ExportStrip st;
    st.percentAtStart = 40;
    st.percentShare = 20;
    EXPECT_EQ(exportProgress(st, 0), 40);
    EXPECT_EQ(exportProgress(st, 0.5), 50);
    EXPECT_EQ(exportProgress(st, 2), 60);
}

// With the viewport's slack each strip's window holds exactly the whole image's rows there:
// its bottom at the rows below it, its extent its own rows less the slack.
TEST(ExportStrips, StripWindowsKeepTheWholeImageRows) {
    const double slack = 0.3;
    ExportPlan p;
    ASSERT_TRUE(planExport({300, 1000, 2, 2}, -2.0, 3.0, &p, nullptr, slack));
    ASSERT_GT(p.strips.size(), 2u);
    const double perRow = 5.0 / (4000.0 - slack);
    for (const ExportStrip& st : p.strips) {
        EXPECT_NEAR(st.windowBottom, -2.0 + 4.0 * st.firstRow * perRow, 1e-12);
        EXPECT_NEAR(st.windowTop - st.windowBottom, (st.screenHeight - slack) * perRow, 1e-12);
    }
    EXPECT_NEAR(p.strips.back().windowTop, 3.0, 1e-12);
    // A slack outside 0..1 is not taken.
    ExportPlan q;
    ASSERT_TRUE(planExport({300, 1000, 2, 2}, -2.0, 3.0, &q, nullptr, 7.0));
    EXPECT_DOUBLE_EQ(q.strips[1].windowBottom, -2.0 + 5.0 * q.strips[1].firstRow / 1000.0);
}
