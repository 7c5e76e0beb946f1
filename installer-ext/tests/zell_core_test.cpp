#include "zell_core.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct DivCase {
  int32_t dividend, divisor;
  int16_t decimals;
  char decimalChar;
  const char* expected;
};

TEST(ZellDivFormat, FormatsMagnitudeRoundedHalfAwayFromZero) {
  const DivCase cases[] = {
      {1, 8, 3, ',', "0,125"},
      {1, 80, 3, ',', "0,013"},
      {10, 4, 0, ',', "3"},      // a half rounds up, not to even
      {-10, 4, 0, ',', "3"},     // magnitude only, never a sign
      {0, 5, 2, ',', "0,00"},
      {1, 3, 2, ',', "0,33"},
      {-7, 2, 1, ',', "3,5"},
      {7, -2, 1, '.', "3.5"},
      {1234567, 1, 2, ',', "1234567,00"}, // no grouping
      {1, 8, 2, '.', "0.13"},    // exact tie: 0.125 -> 0.13
      {3, 200, 2, '.', "0.02"},  // 0.015 is a tie on the exact quotient
      {999, 1000, 2, '.', "1.00"},
      {19999, 2000, 3, '.', "10.000"},
      {2, 3, 20, '.', "0.66666666666666666667"},
      {1, 1000, 2, '.', "0.00"},
      {INT_MIN, -1, 0, '.', "2147483648"},
      {INT_MIN, 1, 1, '.', "2147483648.0"},
      {INT_MAX, 1, 0, '.', "2147483647"},
      {10, 4, -3, '.', "3"}, // a negative count counts as none
  };
  for (const DivCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.dividend) + "/" + std::to_string(c.divisor) + " d=" + std::to_string(c.decimals));
    std::vector<char> out(zell::divFormatSize(c.dividend, c.divisor, c.decimals), '#');
    ASSERT_TRUE(zell::divFormat(out.data(), c.dividend, c.divisor, c.decimals, c.decimalChar));
    EXPECT_STREQ(out.data(), c.expected);
    EXPECT_EQ(out.size(), std::strlen(c.expected) + 1); // the size is exact
  }
}

TEST(ZellDivFormat, ZeroDivisorFailsAndLeavesBuffer) {
  char out[8] = "keep";
  EXPECT_FALSE(zell::divFormat(out, 7, 0, 2, '.'));
  EXPECT_FALSE(zell::divFormat(out, 0, 0, 0, '.'));
  EXPECT_STREQ(out, "keep");
}

struct DelimitCase {
  const char* in;
  char separator, decimalChar;
  const char* expected;
};

TEST(ZellDelimit, GroupsIntegerPartByThree) {
  const DelimitCase cases[] = {
      {"1234567.89", ',', '.', "1,234,567.89"},
      {"123456", ',', '.', "123,456"},
      {"1234", ',', '.', "1,234"},
      {"1000000", ',', '.', "1,000,000"},
      {"999", ',', '.', "999"},
      {"12", ',', '.', "12"},
      {"", ',', '.', ""},
      {"12345,6", '.', ',', "12.345,6"},
      {".5678", ',', '.', ".5678"},        // starts with the decimal character
      {"1234.5678.9", ',', '.', "1,234.5678.9"}, // only the first one counts
      {"-123", ',', '.', "-,123"},         // a sign counts like a digit
      {"-1234", ',', '.', "-1,234"},
      {"12345", ',', '\0', "12,345"},
  };
  for (const DelimitCase& c : cases) {
    SCOPED_TRACE(c.in);
    std::vector<char> out(zell::delimitSize(c.in, c.decimalChar), '#');
    zell::delimit(out.data(), c.in, c.separator, c.decimalChar);
    EXPECT_STREQ(out.data(), c.expected);
    EXPECT_EQ(out.size(), std::strlen(c.expected) + 1);
  }
}

TEST(ZellLaunch, CommandLineAndCreationFlags) {
  EXPECT_EQ(zell::launchCommandLine("prog.exe", ""), "prog.exe");
  EXPECT_EQ(zell::launchCommandLine("prog.exe", nullptr), "prog.exe");
  EXPECT_EQ(zell::launchCommandLine("C:\\a b\\x.exe", "-q  1"), "C:\\a b\\x.exe -q  1");
  EXPECT_EQ(zell::launchCommandLine("\"C:\\a b\\x.exe\"", "x"), "\"C:\\a b\\x.exe\" x");
  EXPECT_EQ(zell::launchCreationFlags(0), 0x1020u);
  EXPECT_EQ(zell::launchCreationFlags(1), 0x820u);
  EXPECT_EQ(zell::launchCreationFlags(-5), 0x820u);
  EXPECT_EQ(zell::launchCreationFlags(2), 0x820u);
}

// A process whose termination completes only when waited for, as on the
// platform: until then its exit code reads "still active".
class FakeProcess : public zell::ProcessOps {
public:
  bool alive = true, terminating = false, terminateFails = false, codeReadable = true, closed = false;
  uint32_t code = 259, terminatedWith = 0xFFFF;
  bool running() override { return alive; }
  bool terminate(uint32_t c) override {
    if (terminateFails) return false;
    terminating = true;
    terminatedWith = c;
    return true;
  }
  void waitEnded() override {
    if (terminating) {
      alive = false;
      code = terminatedWith;
    }
  }
  bool exitCode(uint32_t& c) override {
    if (!codeReadable) return false;
    c = code;
    return true;
  }
  void close() override { closed = true; }
};

TEST(ZellEndProcess, RunningProcessReportsFinalCode) {
  FakeProcess p;
  uint32_t code = 77;
  EXPECT_EQ(zell::endProcess(p, &code), zell::kOk);
  EXPECT_EQ(code, 0u); // never 259 ("still active")
  EXPECT_TRUE(p.closed);
}

TEST(ZellEndProcess, EndedFailedAndUnreadable) {
  FakeProcess ended;
  ended.alive = false;
  ended.code = 42;
  uint32_t code = 0;
  EXPECT_EQ(zell::endProcess(ended, &code), zell::kOk);
  EXPECT_EQ(code, 42u);
  EXPECT_FALSE(ended.terminating);

  FakeProcess refuses;
  refuses.terminateFails = true;
  code = 77;
  EXPECT_EQ(zell::endProcess(refuses, &code), zell::kFail);
  EXPECT_EQ(code, 77u);
  EXPECT_FALSE(refuses.closed);

  FakeProcess unreadable;
  unreadable.alive = false;
  unreadable.codeReadable = false;
  code = 77;
  EXPECT_EQ(zell::endProcess(unreadable, &code), zell::kOk);
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(unreadable.closed);
}

TEST(ZellCheckState, ModesTable) {
  struct Row {
    uint32_t mode;
    bool toggles, acceptsUndetermined;
    uint32_t after0, after1, after2;
  };
  const Row rows[] = {
      {0, true, true, 1, 0, 0}, {1, true, true, 1, 0, 0}, {2, false, false, 1, 0, 0},
      {3, true, false, 1, 0, 0}, {4, true, true, 1, 0, 0}, {5, false, true, 1, 0, 0},
      {6, true, true, 1, 2, 0}, {99, true, true, 1, 0, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.mode);
    EXPECT_EQ(zell::modeTogglesOnClick(r.mode), r.toggles);
    EXPECT_EQ(zell::modeAcceptsState(r.mode, 2), r.acceptsUndetermined);
    EXPECT_TRUE(zell::modeAcceptsState(r.mode, 1));
    EXPECT_EQ(zell::nextCheckState(r.mode, 0), r.after0);
    EXPECT_EQ(zell::nextCheckState(r.mode, 1), r.after1);
    EXPECT_EQ(zell::nextCheckState(r.mode, 2), r.after2);
  }
  EXPECT_EQ(zell::nextCheckState(6, 7), 0u); // beyond the glyph set goes back to unchecked
}

TEST(ZellCheckState, GlyphSourceStaysInsideBitmap) {
  EXPECT_EQ(zell::glyphSourceX(0, 11), 0);
  EXPECT_EQ(zell::glyphSourceX(1, 11), 11);
  EXPECT_EQ(zell::glyphSourceX(2, 11), 22);
  EXPECT_EQ(zell::glyphSourceX(3, 11), -1);
  EXPECT_EQ(zell::glyphSourceX(0xFFFF, 11), -1);
  EXPECT_EQ(zell::glyphSourceX(1, 0), -1); // no bitmap loaded
  EXPECT_EQ(zell::glyphTopOffset(16, 11), 2);
  EXPECT_EQ(zell::glyphTopOffset(8, 11), 0);
  EXPECT_EQ(zell::minRowHeight(true, 16, 11), 16);
  EXPECT_EQ(zell::minRowHeight(true, 9, 11), 12);
  EXPECT_EQ(zell::minRowHeight(false, 30, 11), 12);
  EXPECT_EQ(zell::itemWidth(true, 50, 11, false, 20), 63);
  EXPECT_EQ(zell::itemWidth(true, 50, 11, true, 20), 83);
  EXPECT_EQ(zell::itemWidth(false, 50, 11, false, 20), 12);
}

TEST(ZellHitTest, FixedRows) {
  struct Case {
    int x, y, count, top, height, index;
    bool onBox;
    int shift = 0;
  };
  const Case cases[] = {
      {5, 0, 5, 0, 16, 0, true},    {12, 17, 5, 0, 16, 1, true},  {13, 17, 5, 0, 16, 1, false},
      {5, 80, 5, 0, 16, -1, false}, {5, 79, 5, 0, 16, 4, true},   {5, 17, 5, 3, 16, 4, true},
      {5, 40, 5, 3, 16, -1, false}, // below the last item when scrolled down
      {5, 5, 5, 0, 0, -1, false},   {5, -1, 5, 0, 16, -1, false},
      {5, 5, 5, 0, 16, 0, false, 30}, // the box scrolled away with the text
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " top " << c.top);
    const zell::Hit h = zell::hitTestFixed(c.x, c.y, c.count, c.top, c.height, 11, c.shift);
    EXPECT_EQ(h.index, c.index);
    if (h.index >= 0) {
      EXPECT_EQ(h.onBox, c.onBox);
    }
  }
}

TEST(ZellHitTest, VariableRowsUseGlyphBandAndScroll) {
  const zell::Rect rows[] = {{0, 0, 100, 20}, {0, 20, 100, 40}, {0, 40, 100, 60}};
  struct Case {
    int x, y, scroll;
    bool fixed;
    int index;
    bool onBox;
  };
  const Case cases[] = {
      {5, 5, 0, false, 7, true},   {5, 1, 0, false, -1, false}, // above the glyph band
      {50, 25, 0, false, 8, false}, {12, 45, 0, false, 9, true},
      {5, 5, 30, false, 7, false},  // box scrolled away to the left
      {5, 5, 30, true, 7, true},    // fixed boxes stay put
      {85, 5, 30, false, -1, false}, // past the shifted right edge
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " scroll " << c.scroll);
    const zell::Hit h = zell::hitTestRows(c.x, c.y, rows, 3, 7, c.scroll, c.fixed, 11, 11);
    EXPECT_EQ(h.index, c.index);
    if (h.index >= 0) {
      EXPECT_EQ(h.onBox, c.onBox);
    }
  }
}

TEST(ZellScroll, DeltasByCode) {
  zell::ScrollState s;
  s.minPos = 0;
  s.maxPos = 299;
  s.page = 100;
  s.pos = 50;
  s.step = 7;
  s.extent = 300;
  s.clientWidth = 100;
  using H = zell::HScroll;
  EXPECT_EQ(zell::hscrollDelta(s, H::LineLeft, 0), -7);
  EXPECT_EQ(zell::hscrollDelta(s, H::LineRight, 0), 7);
  EXPECT_EQ(zell::hscrollDelta(s, H::PageLeft, 0), -50);
  EXPECT_EQ(zell::hscrollDelta(s, H::PageRight, 0), 100);
  EXPECT_EQ(zell::hscrollDelta(s, H::Left, 0), -50);
  EXPECT_EQ(zell::hscrollDelta(s, H::Right, 0), 150);
  EXPECT_EQ(zell::hscrollDelta(s, H::End, 0), 0);
  EXPECT_EQ(zell::hscrollDelta(s, H::ThumbPosition, 0), 0);
  EXPECT_EQ(zell::hscrollDelta(s, H::ThumbTrack, 120), 70);
  s.pos = 3;
  EXPECT_EQ(zell::hscrollDelta(s, H::LineLeft, 0), -3);
  s.pos = 200;
  EXPECT_EQ(zell::hscrollDelta(s, H::LineRight, 0), 0);
  EXPECT_EQ(zell::hscrollDelta(s, H::PageRight, 0), 0);
  s.maxPos = 0;
  EXPECT_EQ(zell::hscrollDelta(s, H::ThumbTrack, 5), 0); // empty range: no division by zero
  EXPECT_EQ(zell::mulDiv(7, 3, 2), 11);
  EXPECT_EQ(zell::mulDiv(-7, 3, 2), -11);
  EXPECT_EQ(zell::mulDiv(5, 5, 0), -1);
}

TEST(ZellAssertReport, ComposesFixedText) {
  EXPECT_EQ(zell::assertReport("p != 0", "C:\\Setup\\setup.exe", nullptr, "C:\\src\\zell/win.cpp", 42),
            "Expression: p != 0\nTask: C:\\Setup\\setup.exe\nModule: <Unknown>\nFile: win.cpp(42)\n"
            "Press Retry to debug the application.");
}

} // namespace
